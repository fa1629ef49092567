// Recordings for the library's tests, made the way users' files are: PCM written to a WAV
// file, encoded by the lame command, read back by mp3info for comparison.
#pragma once

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

// A tone with some noise, so that a VBR encoder has something to vary over.
inline bool writeWav(const QString &path, int rate, int channels, qint64 frames) {
    QByteArray data(frames * channels * 2, Qt::Uninitialized);
    quint32 noise = 12345;
    for (qint64 i = 0; i < frames; ++i) {
        const double tone = std::sin(double(i) * 2.0 * M_PI * 440.0 / rate) * 6000.0 +
                            std::sin(double(i) * 2.0 * M_PI * 3150.0 / rate) * 2500.0;
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const auto sample = qint16(tone * (c == 0 ? 1.0 : 0.6) + int(noise >> 22) - 512);
            qToLittleEndian(sample, data.data() + (i * channels + c) * 2);
        }
    }
    QByteArray head(44, '\0');
    auto put = [&head](int at, const char *tag) { memcpy(head.data() + at, tag, 4); };
    auto put32 = [&head](int at, quint32 v) { qToLittleEndian(v, head.data() + at); };
    auto put16 = [&head](int at, quint16 v) { qToLittleEndian(v, head.data() + at); };
    put(0, "RIFF");
    put32(4, quint32(36 + data.size()));
    put(8, "WAVE");
    put(12, "fmt ");
    put32(16, 16);
    put16(20, 1);
    put16(22, quint16(channels));
    put32(24, quint32(rate));
    put32(28, quint32(rate * channels * 2));
    put16(32, quint16(channels * 2));
    put16(34, 16);
    put(36, "data");
    put32(40, quint32(data.size()));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(head) == head.size() &&
           file.write(data) == data.size();
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
