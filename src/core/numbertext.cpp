#include "core/numbertext.h"

namespace kestrune {

QString SignedNumber(qint64 n) {
    const QString digits = QString::number(n);
    return n < 0 ? digits : QLatin1Char(' ') + digits;
}

double LeadingNumber(const QString &text) {
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('+') || t[end] == QLatin1Char('-')))
        ++end;
    const qsizetype digitsStart = end;
    bool point = false;
    while (end < t.size() && (t[end].isDigit() || (!point && t[end] == QLatin1Char('.')))) {
        if (t[end] == QLatin1Char('.'))
            point = true;
        ++end;
    }
    bool ok = false;
    const double value = end > digitsStart ? t.left(end).toDouble(&ok) : 0.0;
    return ok ? value : 0.0;
}

} // namespace kestrune
