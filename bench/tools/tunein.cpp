// Drives the real main window (offscreen) against the station simulator: gets a page of
// stations, double-clicks one and times how long it takes to "Status: Playing stream" and to
// the first sound reaching the output; then plays on for a while and reports the process's
// CPU time for it, waiting on signals and timers only (no polling). Prints one line per run;
// bench/tune-in runs it and sums up.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "shell/appmodel.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"

#include "cputime.h"
#include "driversetup.h"
#include "stationlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

using namespace kestrune;
using bench::cpuSeconds;
using bench::listStations;
using bench::waitFor;

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const int runs = args.value(1, QStringLiteral("5")).toInt();
    const int playSeconds = args.value(2, QStringLiteral("60")).toInt();
    const QString pluginDir = args.value(3);

    bench::DriverSetup setup;
    if (!setup.prepare(pluginDir))
        return 1;
    Settings &settings = setup.settings;
    ControlLibrary &controls = setup.controls;

    for (int run = 0; run < runs; ++run) {
        AppModel model(settings);
        MainWindow window(model, controls);
        window.Load(nullptr);
        if (!listStations(window, model, run)) {
            std::fprintf(stderr, "no stations\n");
            return 1;
        }
        QTreeView *view = window.stationGrid()->view();
        const QModelIndex index = view->model()->index(run, 0);
        view->setCurrentIndex(index);

        QElapsedTimer clock;
        qint64 playingMs = -1;
        qint64 soundMs = -1;
        QObject::connect(&window.engine().output(), &AudioOutput::played, &window, [&] {
            if (soundMs < 0)
                soundMs = clock.elapsed();
        });
        if (qEnvironmentVariableIsSet("TUNEIN_TRACE")) {
            const auto trace = [&](const QString &t) {
                std::fprintf(stderr, "  %5lld ms %s\n", static_cast<long long>(clock.elapsed()),
                             qPrintable(t.left(60)));
            };
            QObject::connect(&window.engine().client(), &HTTPStream::Status, &window, trace);
            QObject::connect(&model.status(), &PlayerStatus::textChanged, &window, trace);
            QObject::connect(&window.connection(), &ConnectionManager::serversChanged, &window,
                             [=] { trace(QStringLiteral("playlist")); });
        }
        // An event loop of its own, not a polling wait: a poll would add its own delay to
        // every step being timed.
        QEventLoop loop;
        QObject::connect(&model.status(), &PlayerStatus::phaseChanged, &loop,
                         [&](PlayerPhase phase) {
                             if (playingMs < 0 && phase == PlayerPhase::Playing)
                                 playingMs = clock.elapsed();
                         });
        QObject::connect(&window.engine().output(), &AudioOutput::played, &loop, [&] {
            if (playingMs >= 0)
                loop.quit();
        });
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        clock.start();
        Q_EMIT view->doubleClicked(index);
        loop.exec();
        const bool started = playingMs >= 0 && soundMs >= 0;
        if (!started) {
            std::fprintf(stderr, "station %d did not play\n", run + 1);
            return 1;
        }

        double cpu = -1;
        if (playSeconds > 0 && run == 0) {
            const double before = cpuSeconds();
            // Nothing but the program's own events: a polling wait would add its own.
            QEventLoop play;
            QTimer::singleShot(playSeconds * 1000, &play, &QEventLoop::quit);
            play.exec();
            cpu = (cpuSeconds() - before) * 60.0 / playSeconds;
        }
        std::printf(
            "run %d: playing after %lld ms, first sound after %lld ms%s\n", run + 1,
            static_cast<long long>(playingMs), static_cast<long long>(soundMs),
            cpu >= 0
                ? qPrintable(
                      QStringLiteral(", cpu %1 s per minute while playing").arg(cpu, 0, 'f', 2))
                : "");
        std::fflush(stdout);
        window.StopStreaming();
    }
    return 0;
}
