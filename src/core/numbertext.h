// Numbers as the program writes and reads them in its texts.
#pragma once

#include <QString>

namespace kestrune {

// A number with a sign position: one leading blank when it is not negative, as counts are
// written in the status texts (" 25 stations found.", "Server 1 of 3").
QString SignedNumber(qint64 n);

// The number a text starts with, after leading and trailing blanks are trimmed: an optional
// sign, digits and at most one decimal point ("15.5" gives 15.5, "10 s" gives 10). 0 when the
// text does not start with a number.
double LeadingNumber(const QString &text);

} // namespace kestrune
