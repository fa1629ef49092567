#include "stream/statusformat.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStorageInfo>

#include <cmath>

namespace kestrune {

namespace {

QString twoDecimals(double value) {
    return QString::number(value, 'f', 2);
}

// "##,##0.00": thousands grouped with commas, two decimals, whatever the user's locale.
QString grouped(double value) {
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(value, 'f', 2);
}

} // namespace

QString TimeDiff(const QDateTime &start, const QDateTime &end, bool secondsOnly) {
    if (start > end)
        return QString();
    const qint64 d = start.secsTo(end);
    if (secondsOnly)
        return QString::number(d);
    return QStringLiteral("%1:%2:%3")
        .arg(d / 3600, 2, 10, QLatin1Char('0'))
        .arg(d % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(d % 60, 2, 10, QLatin1Char('0'));
}

QString DownloadedText(qint64 bytes) {
    if (bytes > 1000000)
        return QStringLiteral("Downloaded: ") + twoDecimals(bytes / 1024.0 / 1024.0) +
               QStringLiteral(" Mb");
    return QStringLiteral("Downloaded: ") + twoDecimals(bytes / 1000.0) + QStringLiteral(" kb");
}

QString RecordedText(const QString &elapsed, qint64 bytes) {
    if (bytes <= 1000000)
        return elapsed + QStringLiteral(" (") + twoDecimals(bytes / 1000.0) +
               QStringLiteral(" kb)");
    return elapsed + QStringLiteral("  (") + twoDecimals(bytes / 1024.0 / 1024.0) +
           QStringLiteral(" Mb)");
}

void BytesToNumber(quint8 b0, quint8 b1, quint8 b2, quint8 b3, double &out) {
    out = b3 * 16777216.0 + b2 * 65536.0 + b1 * 256.0 + b0;
}

FreeSpace FreeSpaceFrom(double freeBytes, double totalBytes) {
    FreeSpace result;
    result.DiskTotalBytes = totalBytes;
    result.DiskFreePercent =
        totalBytes > 0 ? qint16(std::nearbyint(100.0 * freeBytes / totalBytes)) : 0;
    const double k = freeBytes / 1024;
    if (k > 1000000)
        result.DiskFreeText = grouped(freeBytes / 1024 / 1024 / 1024) + QStringLiteral(" Gb");
    else if (k > 1000)
        result.DiskFreeText = grouped(freeBytes / 1024 / 1024) + QStringLiteral(" Mb");
    else
        result.DiskFreeText = grouped(k) + QStringLiteral(" Kb");
    return result;
}

bool GetFreeSpace(const QString &path, FreeSpace &result) {
    // The nearest existing folder on the way up: the file may not have been written yet.
    QFileInfo info(path);
    QDir dir = info.isDir() ? QDir(path) : info.dir();
    while (!dir.exists() && !dir.isRoot())
        if (!dir.cdUp())
            break;
    const QStorageInfo storage(dir.absolutePath());
    if (!storage.isValid() || storage.bytesTotal() <= 0)
        return false;
    result = FreeSpaceFrom(double(storage.bytesAvailable()), double(storage.bytesTotal()));
    return true;
}

} // namespace kestrune
