// Records a station of the station simulator through its song changes with the program's own
// model (no window): first plays for a while, then plays and records as long, and prints the
// bytes the server sent while recording, the bytes saved in the files (tags left out) and the
// CPU time per minute of each half. bench/record starts the simulator and runs it.
#include "core/registry.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "recorder/recorder.h"
#include "shell/appmodel.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"

#include "cputime.h"
#include "waitfor.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace kestrune;
using bench::cpuSeconds;
using bench::runFor;

namespace {

// Runs the event loop until `done` holds or `ms` have passed; false on time-out.
bool waitFor(const std::function<bool()> &done, int ms) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(20);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int seconds = args.value(1, QStringLiteral("40")).toInt();
    // "control": the second half plays without recording, to see how much the two halves
    // differ by themselves.
    const bool control = args.value(2) == QLatin1String("control");

    QTemporaryDir root;
    Registry registry(root.filePath(QStringLiteral("settings")));
    Settings settings(registry, root.path());
    settings.LoadSettings();
    settings.RecOutputDir = root.filePath(QStringLiteral("recordings"));
    AppModel model(settings);

    // The window's two timers, without the window.
    QTimer timer1;
    QObject::connect(&timer1, &QTimer::timeout, &model, [&] { model.timer1Tick(); });
    timer1.start(1000);
    QTimer timer2;
    QObject::connect(&timer2, &QTimer::timeout, &model, [&] { model.timer2Tick(); });
    timer2.start(5000);

    model.directory().getStations(QStringLiteral("Top 25 streams"), QStringLiteral("All Bitrates"),
                                  QString());
    if (!waitFor([&] { return !model.stationRows().isEmpty(); }, 20000) ||
        !model.selectStation(0)) {
        std::fprintf(stderr, "no stations\n");
        return 1;
    }
    model.connection().Start();
    if (!waitFor([&] { return model.status().phase() == PlayerPhase::Playing; }, 20000)) {
        std::fprintf(stderr, "the station did not play\n");
        return 1;
    }
    runFor(3000);

    const double beforePlaying = cpuSeconds();
    const double beforePlayingSystem = cpuSeconds(true);
    runFor(seconds * 1000);
    const double playing = cpuSeconds() - beforePlaying;
    const double playingSystem = cpuSeconds(true) - beforePlayingSystem;

    QStringList files;
    QObject::connect(&model.recorder(), &Recorder::fileToRecordText, &model,
                     [&](const QString &name) {
                         if (name != NoRecordingFile)
                             files << model.recording().RecFileName;
                     });
    const double beforeRecording = cpuSeconds();
    const double beforeRecordingSystem = cpuSeconds(true);
    if (!control)
        model.recorder().Record();
    const qint64 start =
        control ? model.engine().client().DownloadedBytes() : model.recording().RecordStartBytes;
    runFor(seconds * 1000);
    model.recorder().StopRecord();
    const qint64 sent = model.engine().client().DownloadedBytes() - start;
    const double recording = cpuSeconds() - beforeRecording;
    const double recordingSystem = cpuSeconds(true) - beforeRecordingSystem;
    model.connection().Stop();

    qint64 saved = 0;
    int tagged = 0;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const bool tag = bytes.size() >= 128 && bytes.right(128).startsWith("TAG");
        tagged += tag ? 1 : 0;
        saved += bytes.size() - (tag ? 128 : 0);
    }
    const double perMinute = 60.0 / seconds;
    std::printf("recorded %d s: %lld files (%lld song changes), %d tagged\n", seconds,
                static_cast<long long>(files.size()),
                static_cast<long long>(qMax<qsizetype>(0, files.size() - 1)), tagged);
    std::printf("bytes sent while recording: %lld, saved: %lld, lost: %lld\n",
                static_cast<long long>(sent), static_cast<long long>(saved),
                static_cast<long long>(sent - saved));
    std::printf("cpu per minute: playing %.3f s, playing and recording %.3f s, added %.3f s\n",
                playing * perMinute, recording * perMinute, (recording - playing) * perMinute);
    std::printf("of which in the system: playing %.3f s, playing and recording %.3f s\n",
                playingSystem * perMinute, recordingSystem * perMinute);
    return control || (sent == saved && files.size() > 1) ? 0 : 1;
}
