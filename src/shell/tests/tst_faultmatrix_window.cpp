// The real main window, offscreen, against servers that misbehave: the directory, the
// playlist and the stream each meet every kind of hostile answer, and the stream meets every
// fault of the station simulator. For each case: what the user is shown, how long it took,
// whether the window kept answering meanwhile, and the memory it took. The cases run side by
// side (each with its own window, settings and server), so the whole matrix takes about as
// long as its slowest case.
#include "components/statuspanels.h"
#include "directory/ui/stationgrid.h"
#include "hostileserver.h"
#include "procstatus.h"
#include "shell/ui/mainwindow.h"
#include "stationsim/simulator.h"
#include "stream/connection.h"
#include "stream/playerstatus.h"
#include "streamsynth/mp3synth.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <memory>

using namespace kestrune;
using namespace kestrune::test;
using namespace kestrune::stationsim;

namespace {

// Longer than this without a tick of a 50 ms timer, the event loop was blocked.
constexpr qint64 GrossStallMs = 2000;
// How much the process may grow over the whole matrix, in bytes: some forty windows side by
// side, each with its ring, decoder and page or playlist buffers, grow by 140 to 290 MB under
// the sanitizers, more when a busy machine keeps more cases alive at once. A server flooding
// at loopback speed whose bytes were kept without bound would pass the bound within seconds.
constexpr qint64 MemoryBound = 512 * 1024 * 1024;

qint64 residentBytes() {
    return test::procStatusBytes(QStringLiteral("self"), "VmRSS");
}

// What the window shows the user, gathered from its widgets.
struct Seen {
    QString panel;   // status panel 1
    QString caption; // the station grid's caption
    QString txtStatus;
    QStringList boxes;   // open message boxes
    QStringList history; // every text panel 1 showed, however briefly
    int rows = 0;
    bool getStationsEnabled = false;

    bool box(const QString &text) const { return boxes.contains(text); }
    QString summary() const {
        QString text = panel + QStringLiteral(" / caption:") + caption;
        for (const QString &b : boxes)
            text += QStringLiteral(" / box: ") + QString(b).replace(u'\n', u' ');
        return text;
    }
};

Seen look(MainWindow &w) {
    Seen seen;
    seen.panel = w.statusPanels()->panelText(1);
    seen.caption = w.stationGrid()->caption();
    if (auto *edit = w.findChild<QLineEdit *>(QStringLiteral("txtStatus")))
        seen.txtStatus = edit->text();
    for (QMessageBox *box : w.findChildren<QMessageBox *>(QStringLiteral("message")))
        seen.boxes << box->text();
    seen.rows = w.stationGrid()->rowCount();
    seen.getStationsEnabled =
        w.findChild<QPushButton *>(QStringLiteral("cmdGetStations"))->isEnabled();
    return seen;
}

struct Expectation {
    QString what; // what the user is meant to see, for the table
    std::function<bool(const Seen &)> reached;
    qint64 boundMs = 15000;
};

const QString Playing = PlayerStatus::PlayingText;
const QString NoConnection = QStringLiteral("Error loading stations. No connection?");
const QString TooLarge = QStringLiteral("Error loading stations. The directory page is too large");
const QString PlaylistFailed = QStringLiteral("Couldn't load the station's playlist\n\n");
const QString UnableToOpen = QStringLiteral("Unable to open stream !");

Expectation playing() {
    return {QStringLiteral("plays"), [](const Seen &s) { return s.panel == Playing; }};
}
Expectation box(const QString &text, qint64 boundMs = 15000) {
    return {QStringLiteral("box \"%1\"").arg(QString(text).replace(u'\n', u' ')),
            [text](const Seen &s) { return s.box(text); }, boundMs};
}
// The watchdog gives up on the server and asks the next one (the same, with one in the list).
Expectation nextServer() {
    return {QStringLiteral("tries the next server"),
            [](const Seen &s) { return s.history.contains(PlayerStatus::NextServerText); }};
}
// A box that begins and ends so; the middle names an address only the running case knows.
Expectation boxAround(const QString &start, const QString &end) {
    return {QStringLiteral("box \"%1...%2\"").arg(QString(start).replace(u'\n', u' '), end),
            [start, end](const Seen &s) {
                return std::any_of(s.boxes.begin(), s.boxes.end(), [&](const QString &b) {
                    return b.startsWith(start) && b.endsWith(end);
                });
            }};
}
// Redirects: a loop names the address it came back to, a file is refused by its address.
Expectation redirectEnds(const QString &before, const QString &subject, Hostile hostile) {
    if (hostile == Hostile::RedirectLoop)
        return boxAround(before + subject +
                             QStringLiteral(" redirects in a loop, back to "
                                            "http://127.0.0.1:"),
                         QStringLiteral("."));
    return boxAround(before + subject + QStringLiteral(" redirects to file:///"),
                     QStringLiteral(", which is neither an http nor an https address."));
}
Expectation directoryAnswered(const QString &answer) {
    return box(QStringLiteral("Error loading stations. The directory answered ") + answer);
}
Expectation playlistAnswered(const QString &answer) {
    return box(PlaylistFailed + QStringLiteral("The directory answered ") + answer + u'.');
}

Expectation expectedFor(Place place, Hostile hostile) {
    switch (place) {
    case Place::Directory:
        switch (hostile) {
        case Hostile::EndlessHeader:
            // Data keeps coming, so only the page's own minute ends it.
            return box(NoConnection, 75000);
        case Hostile::LongHeaderLine:
        case Hostile::SplitHeader:
        case Hostile::NegativeLength:
            return {QStringLiteral("caption \" 3 stations found.\""), [](const Seen &s) {
                        return s.caption == QStringLiteral(" 3 stations found.") && s.rows == 3;
                    }};
        case Hostile::EmptyBody:
            return {QStringLiteral("caption \" 0 stations found.\""), [](const Seen &s) {
                        return s.caption == QStringLiteral(" 0 stations found.") &&
                               s.getStationsEnabled;
                    }};
        case Hostile::NotFound:
            return directoryAnswered(QStringLiteral("404 Not Found"));
        case Hostile::ServerError:
            return directoryAnswered(QStringLiteral("500 Internal Server Error"));
        case Hostile::RedirectLoop:
        case Hostile::FileRedirect:
            return redirectEnds(QStringLiteral("Error loading stations. "),
                                QStringLiteral("The directory"), hostile);
        case Hostile::Silent:
            return box(NoConnection, 75000);
        case Hostile::HugeLength:
        case Hostile::Flood:
            return box(TooLarge);
        }
        break;
    case Place::Playlist:
        switch (hostile) {
        case Hostile::EndlessHeader:
        case Hostile::LongHeaderLine:
        case Hostile::Flood:
            return box(PlaylistFailed + QStringLiteral("The playlist is larger than 1 MB."));
        case Hostile::SplitHeader:
        case Hostile::HugeLength:
        case Hostile::NegativeLength:
            return playing();
        case Hostile::EmptyBody:
            return box(QStringLiteral("Couldn't find station addresses"));
        case Hostile::NotFound:
            return playlistAnswered(QStringLiteral("404 Not Found"));
        case Hostile::ServerError:
            return playlistAnswered(QStringLiteral("500 Internal Server Error"));
        case Hostile::RedirectLoop:
        case Hostile::FileRedirect:
            return redirectEnds(PlaylistFailed, QStringLiteral("The directory"), hostile);
        case Hostile::Silent:
            return box(PlaylistFailed +
                       QStringLiteral("The directory did not send it within 3 seconds."));
        }
        break;
    case Place::Stream:
        switch (hostile) {
        case Hostile::EndlessHeader:
        case Hostile::LongHeaderLine:
            return box(UnableToOpen);
        case Hostile::SplitHeader:
        case Hostile::HugeLength:
        case Hostile::NegativeLength:
        case Hostile::Flood:
            return playing();
        case Hostile::EmptyBody:
        case Hostile::NotFound:
        case Hostile::ServerError:
        case Hostile::Silent:
            return nextServer();
        case Hostile::RedirectLoop:
        case Hostile::FileRedirect:
            // Said once; the watchdog goes on to the next server (the same, here).
            return redirectEnds(QString(), QStringLiteral("The server"), hostile);
        }
        break;
    }
    return {};
}

Expectation expectedFor(Fault fault) {
    switch (fault) {
    case Fault::DeadFirst:
        return playing();
    case Fault::Stall:
        // The watchdog never leaves a server that sent its first frames.
        return {QStringLiteral("stays prebuffering"), [](const Seen &s) {
                    return s.panel.startsWith(QStringLiteral("Status: Prebuffering ")) &&
                           s.caption == s.panel;
                }};
    case Fault::Garbage:
        return box(UnableToOpen);
    case Fault::Drip:
        return nextServer();
    case Fault::Close:
        return playing();
    }
    return {};
}

} // namespace

class FaultMatrixWindowTest : public QObject {
    Q_OBJECT

    struct Case {
        QString name;
        QString family;
        Expectation expected;
        std::unique_ptr<WindowFixture> fixture;
        TestWindow window;
        HostileServer *server = nullptr;
        std::unique_ptr<StationSimulator> simulator;
        bool playsStation = true; // double-clicks the first station once the list is in
        bool clicked = false;
        bool done = false;
        qint64 startedMs = 0;
        qint64 reachedMs = -1;
        qint64 longestGapMs = 0;
        qint64 rssAtEnd = 0;
        Seen seen;
        QStringList history;
    };

private Q_SLOTS:
    void initTestCase() {
        testsupport::Mp3Params params;
        params.seconds = 20;
        m_mp3 = testsupport::synthesizeMp3(params);
        QVERIFY(m_mp3.size() > 200 * 1024);
        m_serverThread.start();
    }

    void cleanupTestCase() {
        m_serverThread.quit();
        m_serverThread.wait();
    }

    void everyCaseShowsItsMessageWithTheWindowAnswering() {
        QTemporaryDir files;
        std::vector<std::unique_ptr<Case>> cases;
        std::vector<HostileServer *> servers; // deleted with their thread

        // FAULTMATRIX_CASES=TEXT runs only the cases whose "family: name" contains TEXT, to
        // look at one case alone.
        const QString only = qEnvironmentVariable("FAULTMATRIX_CASES");
        const auto wanted = [&](const QString &family, const QString &name) {
            return (family + QStringLiteral(": ") + name).contains(only);
        };
        const auto addWindow = [&](Case &c, quint16 directoryPort) {
            c.fixture = std::make_unique<WindowFixture>();
            QVERIFY(c.fixture->prepare());
            qputenv("KESTRUNE_DIRECTORY_URL",
                    QStringLiteral("http://127.0.0.1:%1").arg(directoryPort).toLatin1());
            c.window = c.fixture->window();
            c.fixture->settings.ReqTimeOut = QStringLiteral("3"); // a short watchdog
            auto *history = &c.history;
            connect(&c.window->model().status(), &PlayerStatus::textChanged, this,
                    [history](const QString &text) { *history << text; });
        };

        for (const Place place : {Place::Directory, Place::Playlist, Place::Stream}) {
            for (const Hostile hostile : allHostiles()) {
                if (!wanted(placeName(place), hostileName(hostile)))
                    continue;
                auto c = std::make_unique<Case>();
                c->name = hostileName(hostile);
                c->family = placeName(place);
                c->expected = expectedFor(place, hostile);
                c->playsStation = place != Place::Directory;
                const QString file =
                    files.filePath(QStringLiteral("%1-%2").arg(int(place)).arg(int(hostile)));
                c->server = new HostileServer(place, hostile, m_mp3, file);
                servers.push_back(c->server);
                const quint16 port = c->server->startOn(&m_serverThread);
                QVERIFY(port != 0);
                addWindow(*c, port);
                cases.push_back(std::move(c));
            }
        }
        for (const Fault fault :
             {Fault::DeadFirst, Fault::Stall, Fault::Garbage, Fault::Drip, Fault::Close}) {
            if (!wanted(QStringLiteral("stream"), simulatorCaseName(fault)))
                continue;
            auto c = std::make_unique<Case>();
            c->name = simulatorCaseName(fault);
            c->family = QStringLiteral("stream");
            c->expected = expectedFor(fault);
            QString error;
            c->simulator = startFaultySimulator(fault, &error);
            QVERIFY2(c->simulator, qPrintable(error));
            addWindow(*c, c->simulator->directoryPort());
            cases.push_back(std::move(c));
        }

        // Everything is built: from here on the growth is what the cases cost.
        const qint64 baseline = residentBytes();
        qint64 peak = baseline;
        QElapsedTimer clock;
        clock.start();
        qint64 lastTick = 0;
        QTimer ticker;
        ticker.setInterval(50);
        const auto step = [&] {
            const qint64 now = clock.elapsed();
            const qint64 gap = now - lastTick;
            lastTick = now;
            peak = std::max(peak, residentBytes());
            for (auto &c : cases) {
                if (c->done)
                    continue;
                c->longestGapMs = std::max(c->longestGapMs, gap);
                MainWindow &w = *c->window;
                c->seen = look(w);
                c->seen.history = c->history;
                if (c->playsStation && !c->clicked) {
                    if (c->seen.rows > 0 && c->seen.caption.endsWith(QStringLiteral("found."))) {
                        c->clicked = true;
                        QTreeView *view = w.stationGrid()->view();
                        const QModelIndex index = view->model()->index(0, 0);
                        view->setCurrentIndex(index);
                        Q_EMIT view->doubleClicked(index);
                    }
                } else if (c->expected.reached(c->seen)) {
                    c->reachedMs = now - c->startedMs;
                    c->done = true;
                }
                if (!c->done && now - c->startedMs > c->expected.boundMs)
                    c->done = true;
                if (c->done) {
                    c->rssAtEnd = residentBytes();
                    // Nothing more of this case runs while the others go on.
                    c->window->connection().Stop();
                    if (c->server)
                        c->server->stop();
                }
            }
        };
        connect(&ticker, &QTimer::timeout, this, step);
        for (auto &c : cases) {
            c->startedMs = clock.elapsed();
            c->window->findChild<QPushButton *>(QStringLiteral("cmdGetStations"))->click();
        }
        ticker.start();
        QVERIFY(QTest::qWaitFor(
            [&] {
                return std::all_of(cases.begin(), cases.end(),
                                   [](const auto &c) { return c->done; });
            },
            90000));
        ticker.stop();

        qInfo().noquote() << QStringLiteral("Fault matrix, main window (%1 cases side by side, "
                                            "%2 s in all)")
                                 .arg(cases.size())
                                 .arg(double(clock.elapsed()) / 1000, 0, 'f', 1);
        qInfo().noquote() << "| case | target | what the user saw | time to it | longest tick gap "
                             "| process RSS growth |";
        qInfo().noquote() << "|---|---|---|---|---|---|";
        for (const auto &c : cases) {
            qInfo().noquote() << QStringLiteral("| %1 | window, %2 | %3 | %4 | %5 ms | %6 MB |")
                                     .arg(c->name, c->family, c->seen.summary(),
                                          c->reachedMs < 0
                                              ? QStringLiteral("NOT REACHED")
                                              : QStringLiteral("%1 s").arg(
                                                    double(c->reachedMs) / 1000, 0, 'f', 1))
                                     .arg(c->longestGapMs)
                                     .arg(double(c->rssAtEnd - baseline) / (1024 * 1024), 0, 'f',
                                          1);
        }
        qInfo().noquote() << QStringLiteral("Peak process RSS growth: %1 MB")
                                 .arg(double(peak - baseline) / (1024 * 1024), 0, 'f', 1);

        for (const auto &c : cases) {
            const QString label = c->family + QStringLiteral(": ") + c->name;
            QVERIFY2(c->reachedMs >= 0,
                     qPrintable(label + QStringLiteral(" should show ") + c->expected.what +
                                QStringLiteral(", shows ") + c->seen.summary()));
            QVERIFY2(c->longestGapMs < GrossStallMs, qPrintable(label));
        }
        QVERIFY2(peak - baseline < MemoryBound,
                 qPrintable(QStringLiteral("grew by %1 bytes").arg(peak - baseline)));
        // Nothing was fetched from a file: a file's answer would lead to "/leak".
        for (const auto &server : servers)
            QVERIFY(!server->targets().join(u' ').contains(QStringLiteral("/leak")));

        for (const auto &server : servers)
            server->stop();
        cases.clear();
    }

private:
    QByteArray m_mp3;
    QThread m_serverThread;
};

QTEST_MAIN(FaultMatrixWindowTest)
#include "tst_faultmatrix_window.moc"
