// Where a recording goes: output folder, a group folder named after the station's genre or
// name, and a file named after the song.
//
//   RecOutputDir/  Rock/  AC_DC_ Back_.mp3, Recording.mp3, Recording[1].mp3 ...
#pragma once

#include <QChar>
#include <QString>

namespace kestrune {

inline const QString FromStationName = QStringLiteral("From Station Name");
inline const QString FromGenre = QStringLiteral("From Genre");

inline constexpr int RecNameMaxLength = 50; // characters

struct RecNameInput {
    QString recStationType; // FromStationName or FromGenre; anything else groups as "Unknown"
    QString station;        // the station's name as shown
    QString genre;          // the station's genre as shown
    QString artist;         // the now-playing text as shown
};

// A name as the recorder cleans it: each of " * . / : < > ? \ | and every control character
// (0-31, 127-159) and line or paragraph separator (U+2028, U+2029) becomes `replacement` (a
// space in group folders, "_" in song names); everything else stays. Then cut to its first 50
// characters; a character outside the Basic Multilingual Plane counts as one and is never
// split. A lone surrogate comes out as U+FFFD, so the name on disk is the name returned.
QString CleanRecName(const QString &name, QChar replacement);

// The full path of the next recording file. Appends the separator to `recOutputDir` when it
// has none (the caller's in-memory setting keeps it), creates the output and group folders
// with every missing level, and returns the first name that is free. A group or song that is
// blank once cleaned ("..", "   ") counts as not given: "Unknown", "Recording". The names
// tried are "Song.mp3", then "Song[1].mp3", "Song[2].mp3"... Any entry of that name (a hidden file,
// a folder, a dangling link) counts as taken. Creating the folders may fail; opening the file then
// tells why.
QString GetRecName(QString &recOutputDir, const RecNameInput &input);

} // namespace kestrune
