// Recordings for the library's tests, made the way users' files are: PCM written to a WAV
// file, encoded by the lame command, read back by mp3info for comparison.
#pragma once

#include "streamsynth/wavfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cmath>

namespace kestrune::testing {

inline bool writeWav(const QString &path, int rate, int channels, qint64 frames) {
    const QByteArray wav = testsupport::ToneWav(rate, channels, frames);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

// Runs a tool to its end (60 s at most); its standard output, or a null array on failure.
inline QByteArray runTool(const QString &tool, const QStringList &args) {
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        return {};
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    QByteArray out = process.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out;
}

// Encodes `frames` PCM frames at `rate` with lame and the extra `lameArgs` into dir/name;
// the MP3 keeps the rate. Empty on failure.
inline QString makeMp3(const QString &dir, const QString &name, int rate, int channels,
                       qint64 frames, const QStringList &lameArgs) {
    const QString wav = QDir(dir).filePath(name + QStringLiteral(".wav"));
    const QString mp3 = QDir(dir).filePath(name);
    if (!writeWav(wav, rate, channels, frames))
        return {};
    QStringList args{QStringLiteral("--quiet"), QStringLiteral("--resample"),
                     QString::number(rate / 1000.0)};
    args += lameArgs;
    args << wav << mp3;
    const bool ok = !runTool(QStringLiteral("lame"), args).isNull();
    QFile::remove(wav);
    return ok ? mp3 : QString();
}

// What mp3info reports: seconds, average kbit/s, Hz, mode text, layer text, frames.
struct Mp3InfoReport {
    bool ok = false;
    int seconds = 0;
    double kbps = 0;
    int rate = 0;
    QString mode;
    QString layer;
    int frames = 0; // good frames found
};

inline Mp3InfoReport mp3infoReport(const QString &path) {
    Mp3InfoReport report;
    const QByteArray out = runTool(QStringLiteral("mp3info"),
                                   {QStringLiteral("-r"), QStringLiteral("a"), QStringLiteral("-p"),
                                    QStringLiteral("%S|%r|%Q|%o|%L|%u"), path});
    const QStringList parts = QString::fromUtf8(out).split(u'|');
    if (parts.size() != 6)
        return report;
    report.ok = true;
    report.seconds = parts[0].toInt();
    report.kbps = parts[1].toDouble();
    report.rate = parts[2].toInt();
    report.mode = parts[3];
    report.layer = parts[4];
    report.frames = parts[5].toInt();
    return report;
}

} // namespace kestrune::testing
