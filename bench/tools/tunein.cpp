// Drives the real main window (offscreen) against the station simulator: gets a page of
// stations, double-clicks one and times how long it takes to "Status: Playing stream" and to
// the first sound reaching the output; then plays on for a while and reports the process's
// CPU time for it, waiting on signals and timers only (no polling). Prints one line per run;
// bench/tune-in runs it and sums up.
//
// With a kind of station as fourth argument (plain, https, redirect, m3u, pls) it asks the
// JSON directory at KESTRUNE_DIRECTORY_URL instead and plays, run after run, the stations of
// the top list whose address is of that kind (one after the other, again from the first when
// the list has fewer): a stream address, an https one, one that redirects, an M3U or a PLS
// playlist. The driver trusts the test certificate authority for that, as a benchmark may; the
// program never does by itself.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "directory/radiobrowser.h"
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
#include "streamsynth/testtls.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <cstdio>
#include <functional>
#include <optional>

using namespace kestrune;
using bench::cpuSeconds;
using bench::listStations;
using bench::waitFor;

namespace {

// How long a station has to start playing and be heard before the run counts as failed.
constexpr int TuneInLimitSeconds = 20;

// Which stations are played: those of the classic pages, row by row, or those of the JSON
// directory whose address is of a kind.
enum class Via { Classic, Plain, Https, Redirect, M3u, Pls };

std::optional<Via> parseVia(const QString &text) {
    static const QHash<QString, Via> names{
        {QStringLiteral("classic"), Via::Classic}, {QStringLiteral("plain"), Via::Plain},
        {QStringLiteral("https"), Via::Https},     {QStringLiteral("redirect"), Via::Redirect},
        {QStringLiteral("m3u"), Via::M3u},         {QStringLiteral("pls"), Via::Pls}};
    const auto found = names.constFind(text.isEmpty() ? QStringLiteral("classic") : text);
    return found == names.constEnd() ? std::nullopt : std::optional<Via>(*found);
}

// Whether a JSON directory address is of the kind: the simulator's redirects start at its
// directory's "/go/", its playlists end with their type.
bool isOfKind(Via via, const QUrl &address, const QUrl &directory) {
    const bool onDirectory =
        address.scheme() == QLatin1String("http") && address.port(80) == directory.port(80);
    const QString path = address.path();
    switch (via) {
    case Via::Plain:
        return address.scheme() == QLatin1String("http") && !onDirectory;
    case Via::Https:
        return address.scheme() == QLatin1String("https");
    case Via::Redirect:
        return onDirectory && path.startsWith(QLatin1String("/go/"));
    case Via::M3u:
        return onDirectory && path.endsWith(QLatin1String(".m3u"));
    case Via::Pls:
        return onDirectory && path.endsWith(QLatin1String(".pls"));
    case Via::Classic:
        break;
    }
    return false;
}

// The grid row of the `run`-th station of the kind (counted from the first again when there
// are fewer), or -1 when the list has none.
int rowOfKind(const DirectoryController &directory, Via via, int run) {
    const QUrl home(qEnvironmentVariable("KESTRUNE_DIRECTORY_URL"));
    QList<int> rows;
    const QList<RadioBrowserStation> &stations = directory.radioBrowserStations();
    for (int i = 0; i < stations.size(); ++i) {
        if (isOfKind(via, QUrl(stations.at(i).urlResolved), home))
            rows << i;
    }
    return rows.isEmpty() ? -1 : rows.at(run % rows.size());
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const int runs = args.value(1, QStringLiteral("5")).toInt();
    const int playSeconds = args.value(2, QStringLiteral("60")).toInt();
    const QString pluginDir = args.value(3);
    const std::optional<Via> via = parseVia(args.value(4));
    if (!via) {
        std::fprintf(stderr,
                     "unknown kind of station: %s (classic, plain, https, redirect, m3u "
                     "or pls)\n",
                     qPrintable(args.value(4)));
        return 2;
    }

    bench::DriverSetup setup;
    if (!setup.prepare(pluginDir))
        return 1;
    Settings &settings = setup.settings;
    ControlLibrary &controls = setup.controls;
    if (*via != Via::Classic) {
        if (!qEnvironmentVariableIsSet("KESTRUNE_DIRECTORY_URL")) {
            std::fprintf(stderr, "KESTRUNE_DIRECTORY_URL names no directory\n");
            return 2;
        }
        settings.DirectoryProvider = DirectoryProviderValue::RadioBrowser;
        settings.SaveSettings();
        testsupport::trustTestAuthority();
    }

    for (int run = 0; run < runs; ++run) {
        AppModel model(settings);
        MainWindow window(model, controls);
        window.Load(nullptr);
        // The JSON directory's whole answer is in before a row is picked by its address.
        const bool listed = *via == Via::Classic
                                ? listStations(window, model, run)
                                : listStations(window, model) &&
                                      waitFor(
                                          &model.directory(), &DirectoryController::busyChanged,
                                          [&] { return !model.directory().isSearching(); }, 20000);
        if (!listed) {
            std::fprintf(stderr, "no stations\n");
            return 1;
        }
        const int row = *via == Via::Classic ? run : rowOfKind(model.directory(), *via, run);
        if (row < 0) {
            std::printf("run %d: no station of the kind \"%s\" in the list\n", run + 1,
                        qPrintable(args.value(4)));
            return 1;
        }
        QTreeView *view = window.stationGrid()->view();
        const QModelIndex index = view->model()->index(row, 0);
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
        QTimer::singleShot(TuneInLimitSeconds * 1000, &loop, &QEventLoop::quit);
        clock.start();
        Q_EMIT view->doubleClicked(index);
        loop.exec();
        if (playingMs < 0 || soundMs < 0) {
            std::printf("run %d: %s after %d s: %s\n", run + 1,
                        playingMs < 0 ? "not playing" : "no sound", TuneInLimitSeconds,
                        qPrintable(model.status().text()));
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
        const QString address =
            *via == Via::Classic
                ? QString()
                : QStringLiteral(" (%1)").arg(
                      model.directory().radioBrowserStations().at(row).urlResolved);
        std::printf(
            "run %d: playing after %lld ms, first sound after %lld ms%s%s\n", run + 1,
            static_cast<long long>(playingMs), static_cast<long long>(soundMs),
            cpu >= 0
                ? qPrintable(
                      QStringLiteral(", cpu %1 s per minute while playing").arg(cpu, 0, 'f', 2))
                : "",
            qPrintable(address));
        std::fflush(stdout);
        window.StopStreaming();
    }
    return 0;
}
