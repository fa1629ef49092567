// Drives the real main window against the station simulator: gets a page of stations, plays
// the first and, once sound flows, puts the window into the state asked for (shown, hidden or
// minimised); then lets it play for a while and prints the process's CPU time and context
// switches per minute of that while, and its peak resident memory. One line per run;
// bench/gui-cpu runs it under each platform and state and sums up.
// Usage: kestrune-bench-guicpu shown|hidden|minimised SECONDS [PLUGIN_DIR]
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "shell/appmodel.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"

#include "cputime.h"
#include "driversetup.h"
#include "stationlist.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

using namespace kestrune;
using bench::cpuSeconds;
using bench::listStations;
using bench::waitFor;

namespace {

// Voluntary and involuntary, over all the process's threads.
long contextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// KiB, from /proc (what the kernel saw, not what a parent's rusage would say).
long peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// With GUICPU_PAINTS set: which widgets paint, and how often, during the measured while.
class PaintCounter : public QObject {
public:
    QHash<QString, int> counts;
    bool counting = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (counting && event->type() == QEvent::Paint)
            ++counts[QString::fromLatin1(watched->metaObject()->className()) + QLatin1Char(' ') +
                     watched->objectName()];
        return false;
    }
};

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString state = args.value(1, QStringLiteral("shown"));
    const int seconds = args.value(2, QStringLiteral("60")).toInt();
    const QString pluginDir = args.value(3);
    if (state != QLatin1String("shown") && state != QLatin1String("hidden") &&
        state != QLatin1String("minimised")) {
        std::fprintf(stderr, "state: shown, hidden or minimised\n");
        return 2;
    }

    bench::DriverSetup setup;
    if (!setup.prepare(pluginDir))
        return 1;
    Settings &settings = setup.settings;
    ControlLibrary &controls = setup.controls;

    AppModel model(settings);
    MainWindow window(model, controls);
    window.Load(nullptr);
    StationGrid *grid = window.stationGrid();
    if (!listStations(window, model)) {
        std::fprintf(stderr, "no stations\n");
        return 1;
    }
    QTreeView *view = grid->view();
    const QModelIndex index = view->model()->index(0, 0);
    view->setCurrentIndex(index);
    bool sounding = false;
    QObject::connect(&window.engine().output(), &AudioOutput::played, &window,
                     [&] { sounding = true; });
    Q_EMIT view->doubleClicked(index);
    const auto playing = [&] { return sounding && model.status().phase() == PlayerPhase::Playing; };
    if (!waitFor(&window.engine().output(), &AudioOutput::played, playing, 20000)) {
        std::fprintf(stderr, "the station did not play\n");
        return 1;
    }

    if (state == QLatin1String("hidden"))
        window.hide();
    else if (state == QLatin1String("minimised"))
        window.showMinimized();
    // Let the window system answer before the measured minute begins.
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    PaintCounter paints;
    const bool tracePaints = qEnvironmentVariableIsSet("GUICPU_PAINTS");
    if (tracePaints) {
        app.installEventFilter(&paints);
        paints.counting = true;
    }
    const double cpuBefore = cpuSeconds();
    const long switchesBefore = contextSwitches();
    QEventLoop play;
    QTimer::singleShot(seconds * 1000, &play, &QEventLoop::quit);
    play.exec();
    const double perMinute = 60.0 / seconds;
    const double cpu = (cpuSeconds() - cpuBefore) * perMinute;
    const double switches = double(contextSwitches() - switchesBefore) * perMinute;
    const bool stillPlaying = model.status().phase() == PlayerPhase::Playing;
    QWindow *handle = window.windowHandle();
    std::printf("%s on %s: cpu %.3f s/min, context switches %.0f /min, peak memory %.1f MiB, "
                "window %s, %s\n",
                qPrintable(state), qPrintable(QGuiApplication::platformName()), cpu, switches,
                double(peakResidentKiB()) / 1024.0,
                handle ? (handle->visibility() == QWindow::Minimized ? "minimised"
                          : handle->isVisible()                      ? "visible"
                                                                     : "not visible")
                       : "never made",
                stillPlaying ? "playing" : "NOT PLAYING");
    paints.counting = false;
    for (auto it = paints.counts.cbegin(); it != paints.counts.cend(); ++it)
        std::printf("  %6.0f paints/min  %s\n", it.value() * perMinute, qPrintable(it.key()));
    std::fflush(stdout);
    window.StopStreaming();
    return stillPlaying ? 0 : 1;
}
