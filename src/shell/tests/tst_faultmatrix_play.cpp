// kestrune-play, the real binary with the null output, against stream servers that misbehave
// in every way the hostile server knows and every fault of the station simulator. For each
// case: what it printed last and its exit status, how long that took, and its peak resident
// memory. The processes run side by side.
#include "hostileserver.h"
#include "procstatus.h"
#include "stationsim/simulator.h"
#include "streamsynth/mp3synth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace kestrune;
using namespace kestrune::test;
using namespace kestrune::stationsim;

namespace {

// kestrune-play's own peak under the sanitizers is a few tens of megabytes; a stream it
// gathered without bound would pass this within a second of a fast server.
constexpr qint64 PeakBound = 300 * 1024 * 1024;

qint64 peakResident(qint64 pid) {
    return test::procStatusBytes(QString::number(pid), "VmHWM");
}

struct Expectation {
    QString what;
    QString line; // a line it prints
    int exitCode = 0;
};

const QString Played = QStringLiteral("Status: Playing stream");
const QString NothingPlayed = QStringLiteral("Nothing played within 4 s");
const QString Completed = QStringLiteral("Response completed");

Expectation expectedFor(Hostile hostile) {
    switch (hostile) {
    case Hostile::EndlessHeader:
    case Hostile::LongHeaderLine:
        return {QStringLiteral("Unable to open stream !"),
                QStringLiteral("Unable to open stream !"), 1};
    case Hostile::SplitHeader:
    case Hostile::HugeLength:
    case Hostile::NegativeLength:
    case Hostile::Flood:
        return {QStringLiteral("plays, stops after 1 s"), Played, 0};
    case Hostile::EmptyBody:
    case Hostile::NotFound:
    case Hostile::ServerError:
        return {QStringLiteral("the response ends, exit 1"), Completed, 1};
    case Hostile::RedirectLoop:
    case Hostile::FileRedirect:
        // The line names an address: see redirectEnd.
        return {QStringLiteral("the redirect is refused, exit 1"), QString(), 1};
    case Hostile::Silent:
        return {QStringLiteral("gives up, exit 3"), NothingPlayed, 3};
    }
    return {};
}

// A redirect back to the stream's own address, or to a file, ends with an Error naming it.
QString redirectEnd(Hostile hostile, const QString &url, const QString &file) {
    if (hostile == Hostile::RedirectLoop)
        return QStringLiteral("Error 310: The server redirects in a loop, back to %1.").arg(url);
    return QStringLiteral("Error 310: The server redirects to %1, which is neither an http nor "
                          "an https address.")
        .arg(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));
}

} // namespace

class FaultMatrixPlayTest : public QObject {
    Q_OBJECT

    struct Case {
        QString name;
        Expectation expected;
        QString url;
        HostileServer *server = nullptr;
        std::unique_ptr<StationSimulator> simulator;
        std::unique_ptr<QProcess> process;
        qint64 pid = 0;
        qint64 startedMs = 0;
        qint64 endedMs = -1;
        qint64 peak = 0;
        QStringList lines;
    };

private Q_SLOTS:
    void initTestCase() { m_serverThread.start(); }

    void cleanupTestCase() {
        m_serverThread.quit();
        m_serverThread.wait();
    }

    void everyCaseEndsWithItsMessage() {
        testsupport::Mp3Params params;
        params.seconds = 20;
        const QByteArray mp3 = testsupport::synthesizeMp3(params);
        QTemporaryDir files;
        std::vector<std::unique_ptr<Case>> cases;

        for (const Hostile hostile : allHostiles()) {
            auto c = std::make_unique<Case>();
            c->name = hostileName(hostile);
            c->expected = expectedFor(hostile);
            const QString file = files.filePath(QString::number(int(hostile)));
            c->server = new HostileServer(Place::Stream, hostile, mp3, file);
            const quint16 port = c->server->startOn(&m_serverThread);
            QVERIFY(port != 0);
            c->url = QStringLiteral("http://127.0.0.1:%1/stream").arg(port);
            if (c->expected.line.isEmpty())
                c->expected.line = redirectEnd(hostile, c->url, file);
            cases.push_back(std::move(c));
        }
        for (const Fault fault :
             {Fault::DeadFirst, Fault::Stall, Fault::Garbage, Fault::Drip, Fault::Close}) {
            auto c = std::make_unique<Case>();
            c->name = simulatorCaseName(fault);
            QString error;
            c->simulator = startFaultySimulator(fault, &error);
            QVERIFY2(c->simulator, qPrintable(error));
            const Station &station =
                c->simulator->catalogue().stations(Catalogue::defaultGenre()).first();
            // kestrune-play takes one address: the first of the playlist, as a person would.
            c->url = c->simulator->playlistAddresses(station).value(0);
            switch (fault) {
            case Fault::DeadFirst:
                c->expected = {QStringLiteral("connection refused, exit 1"),
                               QStringLiteral("Error 10061: Connection refused"), 1};
                break;
            case Fault::Stall:
                c->expected = {QStringLiteral("prebuffers, gives up, exit 3"), NothingPlayed, 3};
                break;
            case Fault::Garbage:
                c->expected = {QStringLiteral("Unable to open stream !"),
                               QStringLiteral("Unable to open stream !"), 1};
                break;
            case Fault::Drip:
                c->expected = {QStringLiteral("gives up, exit 3"), NothingPlayed, 3};
                break;
            case Fault::Close:
                // It plays, and is stopped after its second before the server hangs up.
                c->expected = {QStringLiteral("plays, stops after 1 s"), Played, 0};
                break;
            }
            cases.push_back(std::move(c));
        }

        QElapsedTimer clock;
        clock.start();
        for (auto &c : cases) {
            c->process = std::make_unique<QProcess>();
            c->process->setProcessChannelMode(QProcess::MergedChannels);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("KESTRUNE_AUDIO"), QStringLiteral("null"));
            c->process->setProcessEnvironment(env);
            Case *raw = c.get();
            connect(c->process.get(), &QProcess::finished, this,
                    [raw, &clock] { raw->endedMs = clock.elapsed() - raw->startedMs; });
            c->startedMs = clock.elapsed();
            c->process->start(QStringLiteral(KESTRUNE_PLAY),
                              {QStringLiteral("--timeout"), QStringLiteral("4"),
                               QStringLiteral("--seconds"), QStringLiteral("1"), c->url});
            QVERIFY(c->process->waitForStarted(10000));
            c->pid = c->process->processId();
        }
        // The peak is read while each process lives; /proc forgets it at the exit. A process
        // that ends before the first sample had no time to grow.
        QTimer sampler;
        sampler.setInterval(50);
        connect(&sampler, &QTimer::timeout, this, [&] {
            for (auto &c : cases) {
                if (c->endedMs < 0)
                    c->peak = std::max(c->peak, peakResident(c->pid));
            }
        });
        sampler.start();
        const bool allEnded = QTest::qWaitFor(
            [&] {
                return std::all_of(cases.begin(), cases.end(),
                                   [](const auto &c) { return c->endedMs >= 0; });
            },
            60000);
        sampler.stop();
        for (auto &c : cases) {
            if (c->endedMs < 0) {
                c->process->kill();
                c->process->waitForFinished(5000);
            }
            c->lines =
                QString::fromLocal8Bit(c->process->readAll()).split(u'\n', Qt::SkipEmptyParts);
        }

        qInfo().noquote() << QStringLiteral("Fault matrix, kestrune-play (%1 cases side by side, "
                                            "%2 s in all)")
                                 .arg(cases.size())
                                 .arg(double(clock.elapsed()) / 1000, 0, 'f', 1);
        qInfo().noquote()
            << "| case | target | what the user saw | time to it | peak RSS (VmHWM) |";
        qInfo().noquote() << "|---|---|---|---|---|";
        for (const auto &c : cases) {
            // The last status line, without the summary of what was played.
            QString last;
            for (const QString &line : c->lines) {
                if (!line.startsWith(QStringLiteral("Played: ")))
                    last = line;
            }
            qInfo().noquote() << QStringLiteral("| %1 | kestrune-play | %2 (exit %3) | %4 | %5 |")
                                     .arg(c->name, last)
                                     .arg(c->process->exitCode())
                                     .arg(c->endedMs < 0
                                              ? QStringLiteral("NOT ENDED")
                                              : QStringLiteral("%1 s").arg(
                                                    double(c->endedMs) / 1000, 0, 'f', 1))
                                     .arg(c->peak == 0
                                              ? QStringLiteral("(ended before a sample)")
                                              : QStringLiteral("%1 MB").arg(
                                                    double(c->peak) / (1024 * 1024), 0, 'f', 1));
        }

        QVERIFY(allEnded);
        for (const auto &c : cases) {
            const QString label =
                c->name + QStringLiteral(": ") + c->lines.join(QStringLiteral(" / "));
            QVERIFY2(c->process->exitStatus() == QProcess::NormalExit, qPrintable(label));
            QVERIFY2(c->lines.contains(c->expected.line), qPrintable(label));
            QVERIFY2(c->process->exitCode() == c->expected.exitCode, qPrintable(label));
            QVERIFY2(c->peak < PeakBound, qPrintable(label));
            if (c->server)
                QVERIFY(!c->server->targets().join(u' ').contains(QStringLiteral("/leak")));
        }
        for (auto &c : cases) {
            if (c->server)
                c->server->stop();
        }
    }

private:
    QThread m_serverThread;
};

QTEST_MAIN(FaultMatrixPlayTest)
#include "tst_faultmatrix_play.moc"
