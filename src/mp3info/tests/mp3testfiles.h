// Real MP3 files for the tests: a tone made here, encoded by the lame program, tagged by the
// id3v2 and eyeD3 programs, read back by mp3info. Every tool must be on PATH (CI installs
// them); a missing one fails the test that needs it.
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

namespace kestrune::testfiles {

inline constexpr int ToolTimeout = 60000; // ms for one run of an outside program

// The outside program's path, or empty when it is not on PATH.
inline QString tool(const QString &name) {
    return QStandardPaths::findExecutable(name);
}

// The outside programs these tests make and read files with; the first one missing, or empty.
inline QString missingTool() {
    for (const char *name : {"lame", "id3v2", "eyeD3", "mp3info"})
        if (tool(QLatin1String(name)).isEmpty())
            return QLatin1String(name);
    return QString();
}

struct RunResult {
    bool ok = false; // started, finished in time, exit status 0
    QByteArray out;
    QByteArray err;
};

inline RunResult run(const QString &name, const QStringList &arguments) {
    RunResult result;
    const QString program = tool(name);
    if (program.isEmpty()) {
        result.err = name.toUtf8() + " is not on PATH";
        return result;
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(ToolTimeout)) {
        process.kill();
        process.waitForFinished(ToolTimeout);
        result.err = name.toUtf8() + " did not finish";
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return result;
}

// A 16-bit PCM WAV file of a tone, `seconds` long.
inline QByteArray toneWav(int rate, int channels, int seconds) {
    return testsupport::ToneWav(rate, channels, qint64(rate) * seconds);
}

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Encodes a tone with lame into `dir`/`name`; empty when lame fails (`error` says why).
inline QString makeMp3(const QDir &dir, const QString &name, int rate, int channels, int seconds,
                       const QStringList &lameArguments, QString *error) {
    const QString wav = dir.filePath(name + QStringLiteral(".wav"));
    const QString mp3 = dir.filePath(name);
    if (!writeFile(wav, toneWav(rate, channels, seconds))) {
        *error = QStringLiteral("cannot write ") + wav;
        return {};
    }
    const RunResult lame = run(QStringLiteral("lame"), QStringList{QStringLiteral("--quiet")} +
                                                           lameArguments + QStringList{wav, mp3});
    QFile::remove(wav);
    if (!lame.ok) {
        *error = QStringLiteral("lame: ") + QString::fromLocal8Bit(lame.err);
        return {};
    }
    return mp3;
}

} // namespace kestrune::testfiles
