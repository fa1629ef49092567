// What the user picks a directory query from: the connection speeds and the genres, in the
// order the combo boxes list them, and the bitrate limit each speed stands for.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kestrune {

// Bitrate limit in kbit/s meaning "no limit".
inline constexpr qint16 NoBitrateLimit = 999;

// The six entries of the bandwidth box; the first is selected at start-up.
const QStringList &BandwidthEntries();

// The bitrate limit of a bandwidth entry; nullopt for any other text (an edited one), which
// leaves the current limit as it is.
std::optional<qint16> MaxBitrateFor(const QString &bandwidthText);

// The 65 entries of the genre box. Entries starting with "- " are sub-genres of the nearest
// top-level entry above them.
const QStringList &GenreEntries();
// Index of the entry selected at start-up ("Top 25 streams").
inline constexpr int InitialGenreIndex = 1;

} // namespace kestrune
