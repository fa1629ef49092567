// The recordings on disk as the library window shows them: the group folders below the
// recording output folder, one folder's files with their figures, and the texts of the cells
// and totals.
#pragma once

#include "mp3info/audiofacts.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrune {

struct LibraryEntry {
    QString name;       // file name with extension
    QString path;       // full path
    qint64 size = 0;    // bytes
    QDateTime modified; // last modified, local time
    AudioFacts facts;   // from the headers only
};

struct LibraryTotals {
    int files = 0;
    qint64 size = 0;     // bytes
    qint64 lengthMs = 0; // ms
};

// Header-only analysis with libmpg123: open, mpg123_length, the first frame's format; never a
// scan of the whole file. A VBR file's bitrate is its average (audio bytes over play length).
// `valid` false for a file that is not MPEG audio (the other figures then stay 0).
AudioFacts AnalyseAudioFile(const QString &path);

// Names of the sub-folders of `outputDir` that hold at least one listed file (any size),
// sorted by name. Empty for an empty `outputDir` (never the file system's root) and for a
// folder that cannot be read.
QStringList GroupFolders(const QString &outputDir);

// The files of `folder` in alphabetical order, analysed: regular files only, of 1 byte or
// more; hidden entries, links to non-files, sockets and pipes are skipped. `progress` (may be
// empty) is called after each file with (done, total); returning false stops early and
// gives what was read so far.
QList<LibraryEntry> ReadFolder(const QString &folder,
                               const std::function<bool(int done, int total)> &progress = {});

// Adds the entries' sizes and lengths.
LibraryTotals TotalsOf(const QList<LibraryEntry> &entries);

// Cell and label texts, numbers in `locale`.
QString FileSizeText(qint64 bytes, const QLocale &locale); // "100.00 kB", "0.10 MB"
QString BitrateText(int kbps, const QLocale &locale);      // "96 Kbps", "08 Kbps", "---" below 1
QString SampleRateText(int hz, const QLocale &locale);     // "44.100 Hz"
QString LengthText(qint64 ms);                             // "0:03:25", "12:00:00"
QString TimeText(qint64 ms);                               // "m:ss.mmm", "mm:ss.mmm", "h:mm:ss.mmm"
QString TotalsSizeText(const LibraryTotals &totals,
                       const QLocale &locale); // " 12 files, (45.67 MB)"
QString RecordDateText(const QDateTime &modified, const QLocale &locale);
// "STEREO", "JOINT", "DUAL", "MONO"; empty for an unknown mode.
QString ChannelModeText(ChannelMode mode); // for the LED read-out

// Checks a name typed for Rename: empty text when it may be used, else why not. A name with
// "/", "\" or a zero character, and "." and "..", are refused; an empty name is the
// caller's Cancel and not checked here.
QString RenameProblem(const QString &newName);

} // namespace kestrune
