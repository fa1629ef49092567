// The figures the status line shows once a second: elapsed time, amounts of data, and the
// free space where recordings go.
#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace kestrune {

// Elapsed time from start to end as "hh:mm:ss" (or whole seconds when secondsOnly); empty
// when start is later than end. Spans across midnight count their real length.
QString TimeDiff(const QDateTime &start, const QDateTime &end, bool secondsOnly);

// "Downloaded: 1.50 Mb" above 1,000,000 bytes (in units of 1024 x 1024), else
// "Downloaded: 512.00 kb" (in units of 1000).
QString DownloadedText(qint64 bytes);

// The recorded size beside the elapsed time: "T (x.xx kb)" up to 1,000,000 bytes, else
// "T  (x.xx Mb)".
QString RecordedText(const QString &elapsed, qint64 bytes);

// The unsigned 32-bit value of four bytes, least significant first.
void BytesToNumber(quint8 b0, quint8 b1, quint8 b2, quint8 b3, double &out);

struct FreeSpace {
    QVariant DiskFreeText; // "1,234.57 Gb", "976.56 Mb", "1,000.00 Kb"
    double DiskTotalBytes = 0;
    qint16 DiskFreePercent = 0; // whole percent, halves to even
};

// Free space from the two counts a file-system query gives.
FreeSpace FreeSpaceFrom(double freeBytes, double totalBytes);

// Asks the file system that holds `path` (a recording file or its folder). Returns false,
// leaving `result` as it was, when it cannot tell.
bool GetFreeSpace(const QString &path, FreeSpace &result);

} // namespace kestrune
