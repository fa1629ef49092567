// Names that come from servers are not to be trusted: station names, genres and song titles
// with separators, "..", control characters, invalid UTF-8, bidirectional marks and texts far
// too long. Whatever arrives, every recording lands inside the recordings folder under a name
// Linux accepts (no "/", no NUL, not "." or "..", not empty, at most 255 bytes), and the
// library finds it under the very name the recorder chose.
#include "core/registry.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "library/libraryfolder.h"
#include "recorder/recname.h"
#include "recorder/recorder.h"
#include "shell/appmodel.h"
#include "stationsim/pages.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/httpstream.h"
#include "stream/playerstatus.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"

#include "onestation.h"
#include "pageserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;
using testsupport::httpReply;
using testsupport::requestPath;

namespace {

const QChar Rlo(0x202E); // right-to-left override
const QChar Rlm(0x200F); // right-to-left mark
const QChar LineSep(0x2028);
const QChar ParaSep(0x2029);

// How the program turns a server's bytes into text: the now-playing page as UTF-8 (bad
// sequences become U+FFFD), the stream header and a directory page that is not UTF-8 as
// Latin-1 (bytes 0x80-0x9F become C1 controls).
QString asUtf8(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8.decode(bytes);
}
QString asLatin1(const QByteArray &bytes) {
    return QString::fromLatin1(bytes);
}

QString repeated(const QString &piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// What Linux asks of one path component, and what the recordings ask of it.
QString componentProblem(const QString &name) {
    const QByteArray bytes = QFile::encodeName(name);
    if (name.isEmpty())
        return QStringLiteral("empty");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("a folder reference");
    if (bytes.contains('/') || bytes.contains('\0'))
        return QStringLiteral("a separator or NUL");
    if (bytes.size() > 255)
        return QStringLiteral("%1 bytes").arg(bytes.size());
    if (name.trimmed().isEmpty())
        return QStringLiteral("blank");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            return QStringLiteral("control U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    if (QFile::decodeName(bytes) != name)
        return QStringLiteral("not the same name on disk");
    return {};
}

// `path` lies in a group folder directly below `outputDir`, both on disk after canonical
// resolution, and each of its two components is a sound name. Empty when all holds.
QString recordingProblem(const QString &outputDir, const QString &path) {
    const QString root = QFileInfo(outputDir).canonicalFilePath();
    const QString real = QFileInfo(path).canonicalFilePath();
    if (root.isEmpty() || real.isEmpty())
        return QStringLiteral("missing on disk: ") + path;
    if (!real.startsWith(root + QLatin1Char('/')))
        return QStringLiteral("outside the recordings: ") + real;
    const QStringList parts = real.mid(root.size() + 1).split(QLatin1Char('/'));
    if (parts.size() != 2)
        return QStringLiteral("not one folder deep: ") + real;
    if (QFileInfo(path).absoluteFilePath() != QFileInfo(real).absoluteFilePath())
        return QStringLiteral("reached through a link or a folder reference: ") + path;
    for (const QString &part : parts) {
        const QString problem = componentProblem(part);
        if (!problem.isEmpty())
            return QStringLiteral("component \"%1\": %2").arg(part, problem);
    }
    return {};
}

bool create(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write("x", 1) == 1;
}

// Every entry below `dir`, relative to it.
QStringList everything(const QString &dir) {
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Raw bytes stand in the server's texts where these markers are.
const QByteArray NameMark = "@@NAME@@";
const QByteArray GenreMark = "@@GENRE@@";
const QByteArray SongMark = "@@SONG@@";

// One station on one port: the directory page listing it, its playlist, its stream with a
// header naming it in raw bytes, and its status page whose song the test sets (players ask
// without naming themselves; page fetchers always do).
class HostileStation {
public:
    HostileStation(QByteArray name, QByteArray genre)
        : m_name(std::move(name))
        , m_genre(std::move(genre)) {
        m_station.id = QStringLiteral("12345");
        m_station.name = QStringLiteral("../../Directory/Name\u202E ..");
        m_station.genre = QStringLiteral("..");
        m_station.servers = 1;
        m_station.listeners = 10;
        m_station.maxListeners = 100;
        testsupport::Mp3Params params;
        params.seconds = 3;
        m_audio = testsupport::synthesizeMp3(params);
        m_server.setRouter([this](const QByteArray &head) { return route(head); });
    }
    bool listen() { return m_server.listen() && !m_audio.isEmpty(); }
    QString address() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()); }
    void setSong(const QByteArray &song) { m_song = song; }

private:
    testsupport::StreamRoute route(const QByteArray &head) {
        using testsupport::StreamRoute;
        const QByteArray path = requestPath(head);
        StreamRoute route;
        route.kind = StreamRoute::Kind::Reply;
        route.reply = testsupport::oneStationDirectoryAnswer(path, m_station, m_server.port(),
                                                             {address() + "/12345"});
        if (!route.reply.isEmpty())
            return route; // the directory's page or the playlist
        if (path == "/12345" && head.toLower().contains("\r\nuser-agent:")) {
            stationsim::Station shown = m_station;
            shown.songs = QStringList{QString::fromLatin1(SongMark)};
            QByteArray page = stationsim::statusPage(shown, 1, 0, m_server.port());
            route.reply = httpReply("text/html", page.replace(SongMark, m_song));
        } else if (path == "/12345") {
            stationsim::Station named = m_station;
            named.name = QString::fromLatin1(NameMark);
            named.genre = QString::fromLatin1(GenreMark);
            QByteArray header = stationsim::streamHeader(named, m_server.port());
            route.kind = StreamRoute::Kind::Stream;
            route.options.responseHeader =
                header.replace(NameMark, m_name).replace(GenreMark, m_genre);
            route.options.audio = m_audio;
            route.options.burstBytes = 80 * 1024;
        } else {
            route.reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
        }
        return route;
    }

    QByteArray m_name;
    QByteArray m_genre;
    QByteArray m_song;
    QByteArray m_audio;
    stationsim::Station m_station;
    testsupport::PacedStreamServer m_server{testsupport::StreamServerOptions{}};
};

} // namespace

class HostileNamesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_root.isValid()); }

    void names_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("separators") << "AC/DC \\ Live/../../etc";
        QTest::newRow("parent") << "..";
        QTest::newRow("self") << ".";
        QTest::newRow("dots") << "....";
        QTest::newRow("climb") << "../../../../../../tmp/escaped";
        QTest::newRow("spaces") << "   ";
        QTest::newRow("dots and spaces") << " . . ";
        QTest::newRow("trailing space") << "Rock ";
        QTest::newRow("trailing dot") << "Rock.";
        QTest::newRow("no-break spaces") << QString(3, QChar(0x00A0));
        QTest::newRow("C0 and DEL") << QString("a\x01\nb\r\tc") + QChar(0x7F) + "d";
        QTest::newRow("NUL") << QString("ab") + QChar(0) + "cd";
        QTest::newRow("C1") << QString("a") + QChar(0x85) + "b" + QChar(0x9B) + "31m" + QChar(0x80);
        QTest::newRow("only C1") << QString(QChar(0x85)) + QChar(0x9F);
        QTest::newRow("line and paragraph separators")
            << QString("one") + LineSep + "two" + ParaSep + "three";
        QTest::newRow("only line separators") << QString(4, LineSep);
        QTest::newRow("right-to-left override")
            << QString("Song ") + Rlo + "3pm.exe" + Rlm + QChar(0x202C);
        QTest::newRow("invalid UTF-8 as UTF-8")
            << asUtf8("Caf\xc3 \xff\xfe \xed\xa0\x80 \xc0\xaf..\xc0\xaf x\xe2\x82");
        QTest::newRow("invalid UTF-8 as Latin-1") << asLatin1("Caf\xc3\x28 \x85\x9b\x80/\xc0\xaf");
        QTest::newRow("lone surrogates")
            << QString("a") + QChar(0xD800) + "b" + QChar(0xDFFF) + QChar(0xDC00);
        QTest::newRow("1000 characters") << QString(1000, 'x');
        QTest::newRow("1000 four-byte characters")
            << repeated(QString::fromUtf8("\xf0\x9f\x8e\xb5"), 1000);
        QTest::newRow("255 bytes of three-byte characters")
            << QString(85, QChar(0x6771)); // 85 * 3 = 255 bytes
        QTest::newRow("255 bytes plus .mp3") << QString(251, 'y');
        QTest::newRow("combining marks") << QString("e") + QString(300, QChar(0x0301));
    }

    // Every hostile text as station name, as genre and as song, on a real file system:
    // the folder and the file (and the next two free names) can be created, lie inside the
    // recordings folder, and every component is a valid name of at most 255 bytes.
    void names() {
        QFETCH(QString, text);
        const QString group = CleanRecName(text, QLatin1Char(' '));
        const QString song = CleanRecName(text, QLatin1Char('_'));
        for (const QString &cleaned : {group, song}) {
            QVERIFY(cleaned.toUcs4().size() <= RecNameMaxLength);
            QVERIFY(!cleaned.contains(QLatin1Char('/')) && !cleaned.contains(QChar(0)));
            for (const QChar c : cleaned) {
                QVERIFY2(c.category() != QChar::Other_Control &&
                             c.category() != QChar::Separator_Line &&
                             c.category() != QChar::Separator_Paragraph,
                         qPrintable(QString::number(c.unicode(), 16)));
            }
            QVERIFY2(!cleaned.toUcs4().contains(0xD800) && !cleaned.toUcs4().contains(0xDFFF) &&
                         !cleaned.toUcs4().contains(0xDC00),
                     "a lone surrogate survived");
        }

        const QList<RecNameInput> inputs{
            {FromStationName, text, QStringLiteral("Rock"), QStringLiteral("Song")},
            {FromGenre, QStringLiteral("Station"), text, QStringLiteral("Song")},
            {FromGenre, QStringLiteral("Station"), QStringLiteral("Rock"), text},
            {FromStationName, text, text, text},
        };
        for (const RecNameInput &input : inputs) {
            QTemporaryDir dir(m_root.filePath(QStringLiteral("names-XXXXXX")));
            QVERIFY(dir.isValid());
            const QString outputDir = dir.filePath(QStringLiteral("Recordings"));
            QString setting = outputDir;
            for (int take = 0; take < 3; ++take) {
                const QString path = GetRecName(setting, input);
                QVERIFY2(create(path), qPrintable(path));
                const QString problem = recordingProblem(outputDir, path);
                QVERIFY2(problem.isEmpty(), qPrintable(problem));
                // The folder read finds the file under the name the recorder chose.
                const QFileInfo info(path);
                QVERIFY(GroupFolders(outputDir).contains(info.dir().dirName()));
                bool listed = false;
                for (const LibraryEntry &entry : ReadFolder(info.absolutePath()))
                    listed = listed || entry.name == info.fileName();
                QVERIFY2(listed, qPrintable(info.fileName()));
            }
            // Nothing beside the recordings folder, nothing deeper than group/file.
            QCOMPARE(
                QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                QStringList{QStringLiteral("Recordings")});
            const QStringList entries = everything(outputDir);
            QCOMPARE(entries.size(), 4);
            for (const QString &entry : entries)
                QVERIFY2(entry.count(QLatin1Char('/')) <= 1, qPrintable(entry));
        }
    }

    // The path users take: a station whose stream header names it and its genre in hostile
    // bytes, and whose status page announces hostile songs, played and recorded through the
    // application model across a song change per text; a change of the grouping setting half
    // way names folders after the station too. Every file lands one group folder below the
    // recordings folder under a sound name, and the library's folder read lists them all.
    void recordingAHostileStation() {
        const QByteArray name = "../../evil/\x01\x85\xe2\x80\xae\xc3\x28\xff/..";
        HostileStation station(name, "..");
        QVERIFY(station.listen());
        qputenv("KESTRUNE_DIRECTORY_URL", station.address().toLatin1());
        const QList<QByteArray> songs{
            "../../../../tmp/escaped",
            "\xc3\x28\xff\xfe invalid \xed\xa0\x80",
            "Song \xe2\x80\xae"
            "3pm.exe\xe2\x80\x8f",
            "\xe2\x80\xa8\xc2\x85 line",
            QByteArray("\xf0\x9f\x8e\xb5").repeated(1000),
            "..",
            "a\x01\x02\x7f"
            "b",
            "Song .",
        };
        station.setSong(songs.first());

        QTemporaryDir root(m_root.filePath(QStringLiteral("user-XXXXXX")));
        QVERIFY(root.isValid());
        Registry registry(root.filePath(QStringLiteral("settings")));
        Settings settings(registry, root.path());
        settings.LoadSettings();
        QTemporaryDir recordingsParent(m_root.filePath(QStringLiteral("rec-XXXXXX")));
        const QString recordings = recordingsParent.filePath(QStringLiteral("Recordings"));
        QVERIFY(QDir().mkpath(recordings));
        settings.RecOutputDir = recordings;
        settings.RecStationType = FromGenre;
        AppModel model(settings);
        PlayerStatus &status = model.status();

        model.directory().getStations(QStringLiteral("Top 25 streams"),
                                      QStringLiteral("All Bitrates"), status.caption());
        QTRY_VERIFY_WITH_TIMEOUT(
            !model.directory().download().isRunning() && model.stationRows().size() == 1, 10000);
        QVERIFY(model.selectStation(0));
        model.connection().Start();
        QTRY_COMPARE_WITH_TIMEOUT(status.phase(), PlayerPhase::Playing, 10000);
        // The server's header names replace the directory's.
        QTRY_COMPARE_WITH_TIMEOUT(model.label(StationLabel::Genre), QStringLiteral(".."), 5000);
        model.GetArtist();
        QTRY_VERIFY_WITH_TIMEOUT(!model.label(StationLabel::Artist).isEmpty(), 5000);

        QStringList files;
        model.recorder().Record();
        QVERIFY(model.recording().IsRecording);
        files << model.recording().RecFileName;
        for (qsizetype i = 1; i < songs.size(); ++i) {
            if (i == songs.size() / 2)
                settings.RecStationType = FromStationName;
            // Some of the stream reaches each file, so the library lists it.
            QTRY_VERIFY_WITH_TIMEOUT(model.engine().client().DownloadedBytes() >
                                         model.recording().RecordStartBytes,
                                     5000);
            const QString before = model.label(StationLabel::Artist);
            station.setSong(songs.at(i));
            model.GetArtist();
            QTRY_VERIFY_WITH_TIMEOUT(model.label(StationLabel::Artist) != before, 5000);
            QVERIFY(model.recording().IsRecording);
            QVERIFY(model.recording().RecFileName != files.last());
            files << model.recording().RecFileName;
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            model.engine().client().DownloadedBytes() > model.recording().RecordStartBytes, 5000);
        model.recorder().StopRecord();
        QVERIFY(!model.recording().IsRecording);
        model.connection().Stop();

        QStringList expected;
        QStringList groups;
        for (const QString &file : files) {
            const QString problem = recordingProblem(recordings, file);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            const QFileInfo info(file);
            expected << info.dir().dirName() << info.dir().dirName() + "/" + info.fileName();
            groups << info.dir().dirName();
        }
        expected.removeDuplicates();
        expected.sort();
        groups.removeDuplicates();
        groups.sort();
        // The genre ".." names no folder of its own; the station's name does.
        QCOMPARE(groups.size(), 2);
        QVERIFY(groups.contains(QStringLiteral("Unknown")));
        QCOMPARE(everything(recordings), expected);
        QCOMPARE(QDir(recordingsParent.path())
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Recordings")});

        QCOMPARE(GroupFolders(recordings), groups);
        QStringList listed;
        for (const QString &group : groups)
            for (const LibraryEntry &entry : ReadFolder(QDir(recordings).filePath(group)))
                listed << group + "/" + entry.name;
        listed.sort();
        QStringList filesOnly = expected;
        filesOnly.removeIf([](const QString &e) { return !e.contains(QLatin1Char('/')); });
        QCOMPARE(listed, filesOnly);
    }

    // Ordinary names stay as they were.
    void ordinaryNamesUnchanged() {
        QCOMPARE(CleanRecName(QStringLiteral("Caf\u00e9 del Mar - Lounge"), QLatin1Char('_')),
                 QStringLiteral("Caf\u00e9 del Mar - Lounge"));
        QCOMPARE(CleanRecName(QStringLiteral(" Rock "), QLatin1Char(' ')),
                 QStringLiteral(" Rock "));
        QTemporaryDir dir;
        QString outputDir = dir.path();
        QCOMPARE(GetRecName(outputDir, {FromGenre, "S", "Top 40", "Artist - Title (Live)"}),
                 dir.filePath("Top 40/Artist - Title (Live).mp3"));
    }

    // What a blank name becomes: the name for "nothing given".
    void blankNamesTakeTheDefaults() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        QCOMPARE(GetRecName(outputDir, {FromGenre, "S", "..", "Song"}),
                 dir.filePath("Unknown/Song.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromStationName, " . ", "Jazz", "Song"}),
                 dir.filePath("Unknown/Song.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromGenre, "S", "Jazz", "   "}),
                 dir.filePath("Jazz/Recording.mp3"));
        // In a song ".." and line separators become underscores: not blank, kept.
        QCOMPARE(GetRecName(outputDir, {FromGenre, "S", "Jazz", ".."}),
                 dir.filePath("Jazz/__.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromGenre, "S", "Jazz", QString(3, LineSep)}),
                 dir.filePath("Jazz/___.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromGenre, QString(2, LineSep), "Jazz", "Song"}),
                 dir.filePath("Jazz/Song.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromStationName, QString(2, LineSep), "Jazz", "Song"}),
                 dir.filePath("Unknown/Song.mp3"));
    }

    // Rename takes the name as typed, but a name that would leave the folder is refused; one
    // the file system refuses (too long) leaves the file where it was.
    void renameKeepsTheFileInItsFolder() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("Rock"));
        QVERIFY(QDir().mkpath(folder));
        const QString outside = dir.path();
        int taken = 0;
        const QStringList hostile{
            QStringLiteral("../escaped.mp3"),
            QStringLiteral("a/b.mp3"),
            QStringLiteral("..\\escaped.mp3"),
            QStringLiteral(".."),
            QStringLiteral("."),
            QStringLiteral("/etc/passwd"),
            QString("a") + QChar(0) + "b",
            QString(".. "),
            QString("Song\n\x01") + QChar(0x85) + LineSep + Rlo + "3pm.exe",
            asLatin1("Caf\xc3\x28 \x85"),
            asUtf8("Caf\xc3 \xff"),
            QString(255, 'z'),
            QString(256, 'z'),
            QString(1000, QChar(0x6771)),
        };
        for (const QString &name : hostile) {
            const QString source = QDir(folder).filePath(QStringLiteral("song.mp3"));
            QVERIFY(QFileInfo::exists(source) || create(source));
            if (!RenameProblem(name).isEmpty()) {
                ++taken;
                continue;
            }
            const QString target = QDir(folder).filePath(name);
            if (QFile::rename(source, target)) {
                const QString real = QFileInfo(target).canonicalFilePath();
                QCOMPARE(QFileInfo(real).absolutePath(), QFileInfo(folder).canonicalFilePath());
                QVERIFY(QFile::rename(target, source));
            } else {
                QVERIFY2(QFileInfo::exists(source), qPrintable(name));
            }
        }
        QCOMPARE(taken, 7); // separators, NUL, "." and ".." refused
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Rock")});
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("song.mp3")});
    }
};

QTEST_GUILESS_MAIN(HostileNamesTest)
#include "tst_hostilenames.moc"
