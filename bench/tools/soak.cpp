// The soak: the real main window plays a station of the station simulator for a long while and
// records it the whole time, as a user would: Record again whenever a recording ended (a
// server change closes it), Play again when the player stopped (noise instead of audio stops
// it with a message), message boxes answered, the library opened and closed now and then.
// Every minute it prints resident memory, open descriptors, files and splits; at the end the
// slopes per hour and the byte balance: what the simulator says it sent on each stream
// connection (its log, "sent PATH BYTES"), what the stream client received after each
// response header, what it received while recording, and what the files hold without tags.
// Usage: kestrune-bench-soak MINUTES PLUGIN_DIR SIMULATOR_LOG [LIBRARY_MINUTES]
#include "core/registry.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "library/ui/librarywindow.h"
#include "recorder/recorder.h"
#include "shell/appmodel.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/httpstream.h"
#include "stream/playerstatus.h"

#include "driversetup.h"
#include "stationlist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <functional>

using namespace kestrune;
using bench::listStations;
using bench::runFor;
using bench::waitFor;

namespace {

long residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

qsizetype openDescriptors() {
    return QDir(QStringLiteral("/proc/self/fd"))
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
        .size();
}

// Least-squares slope of y over x.
double slope(const QList<double> &x, const QList<double> &y) {
    const qsizetype n = x.size();
    if (n < 2)
        return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (qsizetype i = 0; i < n; ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = double(n) * sxx - sx * sx;
    return d == 0 ? 0 : (double(n) * sxy - sx * sy) / d;
}

// One stream connection as the client saw it.
struct Connection {
    QByteArray head; // the first bytes, until the response header's end is among them
    qint64 headerBytes = -1;
    qint64 bytes = 0; // everything received, header included
};

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const int minutes = args.value(1, QStringLiteral("60")).toInt();
    const QString pluginDir = args.value(2);
    const QString simulatorLog = args.value(3);
    const int libraryMinutes = qMax(1, args.value(4, QStringLiteral("5")).toInt());
    if (minutes < 1 || simulatorLog.isEmpty()) {
        std::fprintf(
            stderr,
            "usage: kestrune-bench-soak MINUTES PLUGIN_DIR SIMULATOR_LOG [LIBRARY_MINUTES]\n");
        return 2;
    }

    bench::DriverSetup setup;
    if (!setup.prepare(pluginDir))
        return 1;
    Settings &settings = setup.settings;
    ControlLibrary &controls = setup.controls;
    settings.LoadSettings();
    const QString recordings = setup.root.filePath(QStringLiteral("recordings"));
    settings.RecOutputDir = recordings;
    settings.ReqTimeOut = QStringLiteral("5");
    settings.SaveSettings();

    // Everything the program owns lives in this block, so that under LeakSanitizer all of it
    // is gone before main returns.
    int exitCode = 0;
    {
        AppModel model(settings);
        MainWindow window(model, controls);
        window.Load(nullptr);
        window.show();
        StationGrid *grid = window.stationGrid();
        if (!listStations(window, model)) {
            std::fprintf(stderr, "no stations\n");
            return 1;
        }
        QTreeView *view = grid->view();
        const QModelIndex first = view->model()->index(0, 0);
        view->setCurrentIndex(first);
        Q_EMIT view->doubleClicked(first);

        auto *record = window.findChild<QPushButton *>(QStringLiteral("cmdRecord"));
        auto *play = window.findChild<QPushButton *>(QStringLiteral("cmdStartStreaming"));
        auto *library = window.findChild<QPushButton *>(QStringLiteral("Command4"));
        HTTPStream &client = window.engine().client();
        const RecordingState &recording = model.recording();

        // The client's side of the balance.
        QList<Connection> connections;
        qint64 receivedWhileRecording = 0;
        QObject::connect(&client, &HTTPStream::Status, &app, [&](const QString &text) {
            if (text == QLatin1String("Sending response"))
                connections.append(Connection{});
        });
        QObject::connect(&client, &HTTPStream::Streaming, &app,
                         [&](const QByteArray &block, qint32 count) {
                             if (connections.isEmpty())
                                 connections.append(Connection{});
                             Connection &c = connections.last();
                             c.bytes += count;
                             if (c.headerBytes < 0) {
                                 c.head += block;
                                 const qsizetype end = c.head.indexOf("\r\n\r\n");
                                 if (end >= 0) {
                                     c.headerBytes = end + 4;
                                     c.head.clear();
                                 }
                             }
                             if (recording.IsRecording)
                                 receivedWhileRecording += count;
                         });
        QStringList files;
        int sessions = 0;
        // A file closed before any block reached it is told at once, with what was going on.
        QElapsedTimer clock;
        clock.start();
        QString openFile;
        QObject::connect(&model.recorder(), &Recorder::fileToRecordText, &app,
                         [&](const QString &name) {
                             if (!openFile.isEmpty() && QFileInfo(openFile).size() == 0)
                                 std::printf("  %lld s: %s closed empty by a %s (%s)\n",
                                             static_cast<long long>(clock.elapsed() / 1000),
                                             qPrintable(QFileInfo(openFile).fileName()),
                                             name == NoRecordingFile ? "stop" : "split",
                                             qPrintable(model.status().text()));
                             openFile = name == NoRecordingFile ? QString() : recording.RecFileName;
                             if (name != NoRecordingFile && !files.contains(recording.RecFileName))
                                 files << recording.RecFileName;
                         });
        QObject::connect(&model.recorder(), &Recorder::recordingChanged, &app, [&](bool on) {
            if (on)
                ++sessions;
        });
        QStringList messages;
        int plays = 1;
        int stoppedTicks = 0;
        QPointer<LibraryWindow> openLibrary;
        int libraryOpened = 0;

        // The user: answers boxes, records again, plays again.
        QTimer user;
        QObject::connect(&user, &QTimer::timeout, &app, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && modal != openLibrary.data()) {
                if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    messages << box->text().simplified();
                    if (!box->buttons().isEmpty())
                        box->buttons().first()->click();
                } else if (auto *yes = modal->findChild<QPushButton *>(QStringLiteral("cmdOK"))) {
                    yes->click(); // the question before stopping a recording
                }
                return;
            }
            const PlayerPhase phase = model.status().phase();
            stoppedTicks = phase == PlayerPhase::Stopped ? stoppedTicks + 1 : 0;
            if (stoppedTicks >= 4 && !modal) {
                ++plays;
                stoppedTicks = 0;
                play->click();
            }
            if (phase == PlayerPhase::Playing && !recording.IsRecording && record->isEnabled() &&
                !modal)
                record->click();
        });
        user.start(500);

        QList<double> hours, rss, fds;
        const auto sample = [&](int minute) {
            const long kib = residentKiB();
            const qsizetype fd = openDescriptors();
            const qsizetype splits = qMax<qsizetype>(0, files.size() - sessions);
            std::printf("minute %3d  rss %8.1f MiB  fds %4lld  files %4lld  splits %4lld  "
                        "connections %3lld  widgets %4lld  %s\n",
                        minute, double(kib) / 1024.0, static_cast<long long>(fd),
                        static_cast<long long>(files.size()), static_cast<long long>(splits),
                        static_cast<long long>(connections.size()),
                        static_cast<long long>(QApplication::allWidgets().size()),
                        qPrintable(model.status().text()));
            std::fflush(stdout);
            if (minute > 2) {
                hours << minute / 60.0;
                rss << double(kib) / 1024.0;
                fds << double(fd);
            }
        };
        sample(0);
        for (int minute = 1; minute <= minutes; ++minute) {
            if (minute % libraryMinutes == 0) {
                QTimer::singleShot(0, library, &QPushButton::click);
                waitFor(
                    &user, &QTimer::timeout,
                    [&] {
                        openLibrary =
                            qobject_cast<LibraryWindow *>(QApplication::activeModalWidget());
                        return !openLibrary.isNull();
                    },
                    5000);
                if (openLibrary) {
                    ++libraryOpened;
                    // Closed from inside the event loop, as a click closes it: a window closed
                    // from outside any loop is deleted only when that loop level returns, which
                    // this driver's never does.
                    QTimer::singleShot(5000, openLibrary.data(), [&] { openLibrary->close(); });
                }
                runFor(60000);
            } else {
                runFor(60000);
            }
            sample(minute);
        }
        user.stop();

        // The end: the last file closed, the stream stopped, and the simulator's report of it.
        model.recorder().StopRecord();
        model.connection().Stop();
        QByteArray log;
        QList<qint64> sent;
        QStringList faults;
        const auto readLog = [&] {
            QFile file(simulatorLog);
            if (file.open(QIODevice::ReadOnly))
                log = file.readAll();
            sent.clear();
            faults.clear();
            for (const QByteArray &line : log.split('\n')) {
                const QList<QByteArray> words = line.split(' ');
                if (words.size() == 3 && words[0] == "sent")
                    sent << words[2].toLongLong();
                else if (words.size() == 3 && words[0] == "fault" && words[2] != "0")
                    faults << QString::fromLatin1(words[1]);
            }
            return sent.size() >= connections.size();
        };
        for (int i = 0; i < 40 && !readLog(); ++i)
            runFor(100);

        qint64 saved = 0;
        int tagged = 0;
        int empty = 0;
        for (const QString &path : std::as_const(files)) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const qint64 size = file.size();
            file.seek(qMax<qint64>(0, size - 128));
            const bool tag = size >= 128 && file.read(3) == "TAG";
            tagged += tag ? 1 : 0;
            saved += size - (tag ? 128 : 0);
            // The recorder leaves a file that received nothing empty and without a tag.
            empty += size == 0 ? 1 : 0;
            if (size == 0)
                std::printf("empty: %s\n", qPrintable(QFileInfo(path).fileName()));
            if (!tag && size > 0)
                std::printf("untagged: %s, %lld bytes\n", qPrintable(QFileInfo(path).fileName()),
                            static_cast<long long>(size));
        }
        qint64 serverAudio = 0;
        for (qint64 bytes : std::as_const(sent))
            serverAudio += bytes;
        qint64 clientAudio = 0;
        int differing = 0;
        std::printf("\nconnections: client %lld, simulator %lld; faults injected into a "
                    "playing stream: %lld (%s)\n",
                    static_cast<long long>(connections.size()), static_cast<long long>(sent.size()),
                    static_cast<long long>(faults.size()),
                    qPrintable(faults.join(QLatin1Char(' '))));
        for (qsizetype i = 0; i < connections.size(); ++i) {
            const Connection &c = connections[i];
            const qint64 audio = c.headerBytes < 0 ? 0 : c.bytes - c.headerBytes;
            clientAudio += audio;
            const qint64 server = sent.value(i, -1);
            if (server != audio) {
                ++differing;
                std::printf("  connection %lld: simulator sent %lld audio bytes, client received "
                            "%lld (%+lld)\n",
                            static_cast<long long>(i + 1), static_cast<long long>(server),
                            static_cast<long long>(audio), static_cast<long long>(audio - server));
            }
        }
        std::printf("audio bytes: simulator sent %lld, client received %lld, difference %lld "
                    "over %d connection(s)\n",
                    static_cast<long long>(serverAudio), static_cast<long long>(clientAudio),
                    static_cast<long long>(serverAudio - clientAudio), differing);
        std::printf("recorded: received while recording %lld, in the files without tags %lld, "
                    "difference %lld\n",
                    static_cast<long long>(receivedWhileRecording), static_cast<long long>(saved),
                    static_cast<long long>(receivedWhileRecording - saved));
        std::printf(
            "files %lld (%d tagged, %d empty), recordings %d, splits %lld, plays %d, library "
            "opened %d times\n",
            static_cast<long long>(files.size()), tagged, empty, sessions,
            static_cast<long long>(qMax<qsizetype>(0, files.size() - sessions)), plays,
            libraryOpened);
        for (const QString &text : std::as_const(messages))
            std::printf("message: %s\n", qPrintable(text));
        std::printf("slope over minutes 3..%d: rss %+.2f MiB/h, fds %+.2f /h\n", minutes,
                    slope(hours, rss), slope(hours, fds));
        std::fflush(stdout);
        if (receivedWhileRecording != saved || files.isEmpty() || tagged + empty != files.size())
            exitCode = 1;
    }
    return exitCode;
}
