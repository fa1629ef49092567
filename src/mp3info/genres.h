// The genre list of the tag editor: the published ID3v1 genres 0..148, a name for each.
#pragma once

#include <QList>
#include <QString>

namespace kestrune {

inline constexpr int GenreCount = 149; // numbers 0..148

struct GenreEntry {
    int number = 0; // the tag's genre byte
    QString name;
};

// The name of genre `number`; empty for a number outside 0..148 (255 is "no genre").
QString GenreName(int number);

// All 149 entries in the order the editor lists them: by name, ignoring case.
QList<GenreEntry> GenresByName();

} // namespace kestrune
