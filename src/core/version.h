// The program's name, version and web address as the windows show them.
#pragma once

#include <QString>

namespace kestrune {

inline const QString ProgramTitle = QStringLiteral("Kestrune");
inline constexpr int VersionMajor = KESTRUNE_VERSION_MAJOR;
inline constexpr int VersionMinor = KESTRUNE_VERSION_MINOR;
inline constexpr int VersionRevision = KESTRUNE_VERSION_PATCH;
// Chosen when the program is built (the CMake cache variable KESTRUNE_WEBSITE).
inline const QString ProgramWebsite = QStringLiteral(KESTRUNE_WEBSITE);

// "1.0.0": major, minor and revision, each in plain decimal.
inline QString versionText() {
    return QStringLiteral("%1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionRevision);
}

} // namespace kestrune
