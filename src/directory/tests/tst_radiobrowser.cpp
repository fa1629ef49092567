// The JSON station directory behind the directory controller: the queries it sends to the
// station simulator, the rows and paging it shows, and what it makes of answers that are
// broken, wrong-typed or hostile (from a scripted server on 127.0.0.1).
#include "directory/choices.h"
#include "directory/directorycontroller.h"
#include "directory/radiobrowser.h"
#include "stationsim/simulator.h"
#include "streamsynth/streamserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace kestrune;
using namespace kestrune::stationsim;

namespace {

constexpr int Timeout = 10000;
const QString Tail =
    QStringLiteral("codec=MP3&hidebroken=true&order=clickcount&reverse=true&limit=25&offset=");

// Answers every request with what `respond` gives for its target (path and query).
class JsonServer : public QObject {
public:
    std::function<QByteArray(const QByteArray &target)> respond;
    QList<QByteArray> targets;

    JsonServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                auto request = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
                    *request += socket->readAll();
                    if (!request->contains("\r\n\r\n"))
                        return;
                    const QByteArray target = request->split(' ').value(1);
                    targets << target;
                    socket->write(respond(target));
                    socket->disconnectFromHost();
                });
            }
        });
    }
    bool listen() { return testsupport::listenOnLowPort(m_server); }
    QString base() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

QByteArray jsonAnswer(const QByteArray &body, const QByteArray &status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// A station as the directory lists it; `change` edits one field before it is written.
QByteArray stationJson(const QString &uuid, const QString &name,
                       const std::function<void(QJsonObject &)> &change = {}) {
    QJsonObject o{
        {"stationuuid", uuid},   {"name", name}, {"url_resolved", "http://127.0.0.1:1/" + uuid},
        {"tags", "jazz,smooth"}, {"votes", 7},   {"clickcount", 1234},
        {"bitrate", 128},        {"hls", 0}};
    if (change)
        change(o);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

struct Run {
    QTemporaryDir folder;
    DirectoryState state;
    std::unique_ptr<DirectoryController> controller;
    QStringList names;
    QList<QStringList> cells;
    QString caption;
    QString status;
    QStringList messages;
    bool next = false;
    bool previous = false;

    explicit Run(const QString &base) {
        controller = std::make_unique<DirectoryController>(state, folder.path());
        controller->setRadioBrowserSource([] { return true; });
        controller->radioBrowser().setBase(base);
        QObject::connect(controller.get(), &DirectoryController::gridCleared, [this] {
            names.clear();
            cells.clear();
        });
        QObject::connect(controller.get(), &DirectoryController::rowAdded,
                         [this](const QString &name, const QStringList &row) {
                             names << name;
                             cells << row;
                         });
        QObject::connect(controller.get(), &DirectoryController::captionChanged,
                         [this](const QString &text) { caption = text; });
        QObject::connect(controller.get(), &DirectoryController::statusText,
                         [this](const QString &text) { status = text; });
        QObject::connect(controller.get(), &DirectoryController::message,
                         [this](const QString &text) { messages << text; });
        QObject::connect(controller.get(), &DirectoryController::nextEnabled,
                         [this](bool on) { next = on; });
        QObject::connect(controller.get(), &DirectoryController::previousEnabled,
                         [this](bool on) { previous = on; });
    }
    // Waits for the search to end, found or failed.
    bool settle() {
        return QTest::qWaitFor([this] { return status == QStringLiteral("Status: Ready"); },
                               Timeout);
    }
    bool get(const QString &genre, const QString &bandwidth) {
        status.clear();
        controller->getStations(genre, bandwidth, QString());
        return settle();
    }
};

} // namespace

class RadioBrowserTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StationSimulator> simulator() {
        SimulatorOptions options = FreePortOptions();
        auto sim = std::make_unique<StationSimulator>(options);
        QString error;
        if (!sim->start(&error))
            qWarning() << "simulator:" << error;
        return sim;
    }
    static QString base(const StationSimulator &sim) {
        return QStringLiteral("http://127.0.0.1:%1").arg(sim.directoryPort());
    }
    // What the simulator lists for a query, as the grid should show it.
    static QStringList expectedNames(StationSimulator &sim, const QString &word, int maxBitrate,
                                     int offset) {
        QStringList names;
        int skipped = 0;
        for (const Station &s : sim.catalogue().stations(word)) {
            if (s.bitrateKbps > maxBitrate || skipped++ < offset)
                continue;
            if (skipped > offset + 25)
                break;
            if (!sim.isHlsStation(s))
                names << s.name;
        }
        return names;
    }
    static QString lastSearch(const StationSimulator &sim) {
        for (qsizetype i = sim.jsonRequests().size() - 1; i >= 0; --i) {
            if (sim.jsonRequests().at(i).target.startsWith("/json/stations/search"))
                return sim.jsonRequests().at(i).target;
        }
        return QString();
    }

private Q_SLOTS:
    void queriesAndRowsFromTheSimulator_data() {
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("bandwidth");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("maxBitrate");
        QTest::newRow("top, all bitrates") << "Top 25 streams"
                                           << "All Bitrates"
                                           << "/json/stations/search?" + Tail + "0"
                                           << "TopTen" << 999;
        QTest::newRow("sub-genre, 56k")
            << "- Techno"
            << "56k modem"
            << "/json/stations/search?tag=Techno&bitrateMax=56&" + Tail + "0"
            << "Techno" << 56;
        QTest::newRow("encoded tag, DSL") << "R&B/Soul"
                                          << "DSL/Cable/LAN"
                                          << "/json/stations/search?tag=R%26B%2FSoul&" + Tail + "0"
                                          << "R&B/Soul" << 999;
    }
    void queriesAndRowsFromTheSimulator() {
        QFETCH(QString, genre);
        QFETCH(QString, bandwidth);
        QFETCH(QString, query);
        QFETCH(QString, word);
        QFETCH(int, maxBitrate);
        auto sim = simulator();
        Run run(base(*sim));
        QVERIFY(run.get(genre, bandwidth));
        QCOMPARE(lastSearch(*sim), query);
        // Every request names the program; the server list is asked for first.
        QVERIFY(!sim->jsonRequests().isEmpty());
        QCOMPARE(sim->jsonRequests().first().target, QString("/json/servers"));
        for (const StationSimulator::JsonRequest &r : sim->jsonRequests())
            QCOMPARE(r.userAgent, QString("Kestrune/1.0.0"));

        const QStringList expected = expectedNames(*sim, word, maxBitrate, 0);
        QVERIFY(expected.size() >= 10);
        QCOMPARE(run.names, expected);
        QCOMPARE(run.caption, QString(" %1 stations found.").arg(expected.size()));
        QVERIFY(run.messages.isEmpty());
        // The cells of the first row: "[first tag]", votes/clicks, bitrate, "Unknown".
        const Station *first = nullptr;
        for (const Station &s : sim->catalogue().stations(word)) {
            if (s.name == run.names.first()) {
                first = &s;
                break;
            }
        }
        QVERIFY(first);
        QCOMPARE(run.cells.first(),
                 (QStringList{"[" + first->genre.toLower() + "]",
                              QString("%1/%2").arg(first->maxListeners / 10).arg(first->listeners),
                              QString::number(first->bitrateKbps), "Unknown"}));
        QCOMPARE(run.controller->playlistPaths().first(), StationSimulator::stationUuid(first->id));
        // The HLS station of the list is never shown.
        for (const Station &s : sim->catalogue().stations(word)) {
            if (sim->isHlsStation(s))
                QVERIFY(!run.names.contains(s.name));
        }
    }

    void nextAndPreviousFollowThePage() {
        auto sim = simulator();
        Run run(base(*sim));
        QVERIFY(run.get("Top 25 streams", "All Bitrates"));
        const QStringList page1 = run.names;
        QVERIFY(run.next);
        QVERIFY(!run.previous);

        run.status.clear();
        run.controller->next();
        QVERIFY(run.settle());
        QCOMPARE(lastSearch(*sim), "/json/stations/search?" + Tail + "25");
        QCOMPARE(run.names, expectedNames(*sim, "TopTen", 999, 25));
        QVERIFY(run.names.first() != page1.first());
        QVERIFY(run.previous);

        // Paging on to the end: the last page is not full, and Next goes off there.
        int pages = 2;
        while (run.next && pages < 10) {
            run.status.clear();
            run.controller->next();
            QVERIFY(run.settle());
            ++pages;
        }
        QVERIFY(!run.next);
        QCOMPARE(pages, int((sim->catalogue().stations("TopTen").size() + 24) / 25));

        // Back to the first page.
        while (run.previous) {
            run.status.clear();
            run.controller->previous();
            QVERIFY(run.settle());
        }
        QCOMPARE(lastSearch(*sim), "/json/stations/search?" + Tail + "0");
        QCOMPARE(run.names, page1);
        QVERIFY(run.next);

        // A new genre choice makes the paging stale.
        run.controller->selectionChanged();
        QVERIFY(!run.next);
        const qsizetype asked = sim->jsonRequests().size();
        run.controller->next();
        run.controller->previous();
        QTest::qWait(100);
        QCOMPARE(sim->jsonRequests().size(), asked);
    }

    void brokenAndWrongTypedAnswers() {
        JsonServer server;
        QVERIFY(server.listen());
        QByteArray search;
        QByteArray status = "200 OK";
        // Two dead servers in the list: the search falls back until it reaches this one.
        server.respond = [&](const QByteArray &target) {
            if (target == "/json/servers")
                return jsonAnswer("[{\"name\":\"127.0.0.1:1\"},{\"name\":\"127.0.0.1:2\"},"
                                  "{\"name\":\"evil.test/x@y\"},{\"name\":\"127.0.0.1:" +
                                  QByteArray::number(server.port()) + "\"}]");
            return jsonAnswer(search, status);
        };
        Run run(server.base());

        // Every field is checked: a station with one missing or wrong is left out whole.
        const QList<std::function<void(QJsonObject &)>> spoilers{
            [](QJsonObject &o) { o.remove("name"); },
            [](QJsonObject &o) { o["votes"] = "7"; },
            [](QJsonObject &o) { o["bitrate"] = 128.5; },
            [](QJsonObject &o) { o["clickcount"] = -3; },
            [](QJsonObject &o) { o["hls"] = "0"; },
            [](QJsonObject &o) { o["hls"] = 1; },
            [](QJsonObject &o) { o["tags"] = QJsonArray{"jazz"}; },
            [](QJsonObject &o) { o["url_resolved"] = "file:///etc/passwd"; },
            [](QJsonObject &o) { o["url_resolved"] = "ftp://127.0.0.1/x"; },
            [](QJsonObject &o) { o["url_resolved"] = QJsonValue(); },
            [](QJsonObject &o) { o["stationuuid"] = "../../etc"; },
        };
        search = "[" + stationJson("good-1", "Good One");
        for (qsizetype i = 0; i < spoilers.size(); ++i)
            search += "," + stationJson(QString("bad-%1").arg(i), "Bad", spoilers.at(i));
        // Junk entries fill the page up to 25: a full page, though only two are shown.
        search += ",42,\"text\",null,[],{},1,2,3,4,5,6,7," +
                  stationJson("good-2", "Good\nTwo",
                              [](QJsonObject &o) {
                                  o["tags"] = "";
                                  o["hls"] = false;
                              }) +
                  "]";
        QVERIFY(run.get("- Jazz", "All Bitrates"));
        QCOMPARE(run.names, (QStringList{"Good One", "Good Two"}));
        QCOMPARE(run.cells.first(), (QStringList{"[jazz]", "7/1234", "128", "Unknown"}));
        QCOMPARE(run.cells.last().first(), QString("[]"));
        QCOMPARE(run.caption, QString(" 2 stations found."));
        QVERIFY(run.messages.isEmpty());
        // Only the good servers were asked; the bad name never became an address.
        for (const QByteArray &target : server.targets)
            QVERIFY(!target.contains("evil"));
        // A full page may go on, however few of its entries could be shown; a shorter one
        // is the last.
        QVERIFY(run.next);
        search.replace(",7,", ",");
        QVERIFY(run.get("- Jazz", "All Bitrates"));
        QCOMPARE(run.names.size(), 2);
        QVERIFY(!run.next);

        // Malformed JSON, and JSON that is no list: the error path, no rows, no box.
        for (const QByteArray &body : {QByteArray("[{\"stationuuid\": \"a\","),
                                       QByteArray("{\"stations\": []}"), QByteArray("<html>")}) {
            search = body;
            QVERIFY(run.get("- Jazz", "All Bitrates"));
            QCOMPARE(run.caption, QString(" Error loading stations."));
            QVERIFY(run.names.isEmpty());
            QVERIFY(run.messages.isEmpty());
        }

        // An error status is told as the classic pages tell theirs.
        search = "[]";
        status = "500 Internal Server Error";
        QVERIFY(run.get("- Jazz", "All Bitrates"));
        QCOMPARE(run.messages,
                 QStringList{"Error loading stations. The directory answered 500 Internal "
                             "Server Error"});
        status = "200 OK";

        // Past the cap the answer is abandoned.
        run.messages.clear();
        search = "[" + QByteArray(int(MaxJsonBytes), ' ') + "]";
        QVERIFY(run.get("- Jazz", "All Bitrates"));
        QCOMPARE(run.messages,
                 QStringList{"Error loading stations. The directory page is too large"});
        QVERIFY(run.names.isEmpty());
    }

    void noServerAtAllIsNoConnection() {
        // A base nobody listens on: no server list, and the base itself fails too.
        QTcpServer closed;
        QVERIFY(testsupport::listenOnLowPort(closed));
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
        closed.close();
        Run run(base);
        QVERIFY(run.get("Top 25 streams", "All Bitrates"));
        QCOMPARE(run.messages, QStringList{"Error loading stations. No connection?"});
        QCOMPARE(run.caption, QString(" Error loading stations. No connection?"));
        QVERIFY(!run.controller->isSearching());
    }
};

QTEST_GUILESS_MAIN(RadioBrowserTest)
#include "tst_radiobrowser.moc"
