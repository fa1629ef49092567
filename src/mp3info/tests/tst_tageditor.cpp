// The tag editor dialog, offscreen, on lame files tagged by id3v2 and eyeD3; what it saves is
// read back by mp3info and eyeD3. Also the genre list and the refusals of the tag operations.
#include "mp3info/genres.h"
#include "mp3info/id3v1.h"
#include "mp3info/tagfile.h"
#include "mp3info/ui/tageditordialog.h"
#include "mp3testfiles.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::testfiles;

namespace {

struct Message {
    QString text, title;
};

AudioFacts facts(int rate, int channels, int layer, int kbps) {
    AudioFacts f;
    f.valid = true;
    f.sampleRate = rate;
    f.channels = channels;
    f.layer = layer;
    f.bitrateKbps = kbps;
    return f;
}

// A dialog for `file` whose messages are gathered, shown (which loads it).
struct Editor {
    TagEditorDialog dialog;
    QList<Message> messages;
    int releases = 0;
    qint64 sizeWhenReleased = -1;

    Editor(const QString &file, const AudioFacts &f)
        : dialog(file, f, [this, file] {
            ++releases;
            sizeWhenReleased = QFileInfo(file).size();
        }) {
        dialog.setMessageHandler([this](const QString &text, const QString &title) {
            messages.append({text, title});
        });
        dialog.show();
    }
    QString label(const char *name) {
        auto *l = dialog.findChild<QLabel *>(QLatin1String(name));
        return l ? l->text() : QStringLiteral("(no %1)").arg(QLatin1String(name));
    }
    QLineEdit *edit(const char *name) { return dialog.findChild<QLineEdit *>(QLatin1String(name)); }
    QPushButton *button(const char *name) {
        return dialog.findChild<QPushButton *>(QLatin1String(name));
    }
    QComboBox *genre() { return dialog.findChild<QComboBox *>(QStringLiteral("Genre")); }
    int genreNumber() { return genre()->currentIndex() < 0 ? -1 : genre()->currentData().toInt(); }
    void chooseGenre(int number) { genre()->setCurrentIndex(genre()->findData(number)); }
    bool showsTagged() {
        return button("cmdRemove")->isVisibleTo(&dialog) &&
               !button("cmdAdd")->isVisibleTo(&dialog) && button("cmdSave")->isEnabled();
    }
    bool showsUntagged() {
        return !button("cmdRemove")->isVisibleTo(&dialog) &&
               button("cmdAdd")->isVisibleTo(&dialog) && !button("cmdSave")->isEnabled();
    }
};

QStringList mp3infoTag(const QString &file) {
    const RunResult r = run("mp3info", {"-p", "%t|%a|%l|%y|%c|%G", file});
    return QString::fromLatin1(r.out).split(QLatin1Char('|'));
}

QByteArray padded(const QByteArray &text, int length) {
    return text + QByteArray(length - text.size(), ' ');
}

} // namespace

class TagEditorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(missingTool().isEmpty(), qPrintable(missingTool()));
        QVERIFY(m_dir.isValid());
        QString error;
        m_stereo = makeMp3(QDir(m_dir.path()), "stereo.mp3", 44100, 2, 3, {"-b", "128"}, &error);
        QVERIFY2(!m_stereo.isEmpty(), qPrintable(error));
        m_mono = makeMp3(QDir(m_dir.path()), "mono.mp3", 22050, 1, 3,
                         {"-b", "8", "-m", "m", "-c", "-o"}, &error);
        QVERIFY2(!m_mono.isEmpty(), qPrintable(error));
    }

    void init() {
        m_file = m_dir.filePath(QStringLiteral("work%1.mp3").arg(m_count++));
        QVERIFY(QFile::copy(m_stereo, m_file));
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner | QFile::WriteOwner));
        m_audio = readFile(m_file);
    }

    void genreList() {
        const QList<GenreEntry> list = GenresByName();
        QCOMPARE(list.size(), 149);
        QList<bool> seen(149, false);
        for (qsizetype i = 0; i < list.size(); ++i) {
            QVERIFY(list[i].number >= 0 && list[i].number < 149);
            QVERIFY2(!seen[list[i].number], qPrintable(list[i].name));
            seen[list[i].number] = true;
            QCOMPARE(GenreName(list[i].number), list[i].name);
            if (i > 0)
                QVERIFY(list[i - 1].name.compare(list[i].name, Qt::CaseInsensitive) < 0);
        }
        QCOMPARE(list.first().name, QString("A Cappella"));
        QCOMPARE(GenreName(149), QString());
        QCOMPARE(GenreName(255), QString());
        // The numbers that follow the published list: as mp3info names them.
        const RunResult r = run("mp3info", {"-G"});
        QVERIFY(r.ok);
        QMap<int, QString> published;
        QRegularExpression entry("(\\d+) (\\S+(?: \\S+)*)");
        for (auto it = entry.globalMatch(QString::fromLatin1(r.out)); it.hasNext();) {
            const auto m = it.next();
            published.insert(m.captured(1).toInt(), m.captured(2));
        }
        QVERIFY(published.size() >= 148);
        for (int number : {8, 29, 146, 25, 54, 124, 53, 62, 78, 0, 17, 52, 131})
            QCOMPARE(GenreName(number), published.value(number));
    }

    void loadsTagsOfOtherPrograms_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("fields"); // title, artist, album, year, comment
        QTest::addColumn<int>("genre");
        QTest::newRow("id3v2 -1") << "id3v2"
                                  << QStringList{"A Title", "Some Artist", "Album X", "1999", "cmt"}
                                  << 17;
        QTest::newRow("eyeD3 v1.1 with a track")
            << "eyeD3" << QStringList{"Eye Title", "Eye Artist", "", "", "Note"} << 52;
        QTest::newRow("lower-case tag, blanks and zeros")
            << "hand" << QStringList{"Low", "Case", "", "2020", "x y"} << 255;
    }
    void loadsTagsOfOtherPrograms() {
        QFETCH(QString, how);
        QFETCH(QStringList, fields);
        QFETCH(int, genre);
        if (how == "id3v2") {
            QVERIFY(run("id3v2", {"-1", "-t", fields[0], "-a", fields[1], "-A", fields[2], "-y",
                                  fields[3], "-c", fields[4], "-g", QString::number(genre), m_file})
                        .ok);
        } else if (how == "eyeD3") {
            QVERIFY(run("eyeD3", {"-Q", "--to-v1.1", "-t", fields[0], "-a", fields[1], "-c",
                                  fields[4], "-G", "Electronic", "-n", "7", m_file})
                        .ok);
        } else {
            QByteArray tag = "tag" + padded("  Low", 30) + QByteArray("Case") +
                             QByteArray(26, '\0') + QByteArray(30, ' ') + "2020" +
                             QByteArray(" x y ") + QByteArray(1, '\0') + "junk" +
                             QByteArray(20, ' ') + QByteArray(1, char(255));
            QCOMPARE(tag.size(), 128);
            QVERIFY(writeFile(m_file, m_audio + tag));
        }
        QVERIFY(IsId3v1Tag(readFile(m_file).right(128)));

        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsTagged());
        QCOMPARE(editor.edit("Title")->text(), fields[0]);
        QCOMPARE(editor.edit("Artist")->text(), fields[1]);
        QCOMPARE(editor.edit("Album")->text(), fields[2]);
        QCOMPARE(editor.edit("Year")->text(), fields[3]);
        QCOMPARE(editor.edit("Comment")->text(), fields[4]);
        QCOMPARE(editor.genreNumber(), genre == 255 ? -1 : genre);
        QVERIFY(editor.messages.isEmpty());
    }

    void showsWhatTheFileIs() {
        Editor stereo(m_file, facts(44100, 2, 3, 128));
        QCOMPARE(stereo.dialog.objectName(), QString("frmTag"));
        QCOMPARE(stereo.dialog.windowTitle(), QString("MPEG File Info Box + ID3 Tag Editor"));
        QCOMPARE(stereo.label("lblFileName"), QDir::toNativeSeparators(m_file));
        QCOMPARE(stereo.label("lblFreq"), QString("44.100 Hz, Stereo"));
        QCOMPARE(stereo.label("lblLayer"), QString("MPEG Layer 3"));
        QCOMPARE(stereo.label("lblBitrate"), QString("128 Kbps"));
        QCOMPARE(stereo.label("lblCRC"), QString("No"));
        QCOMPARE(stereo.label("lblCopyright"), QString("No"));
        QCOMPARE(stereo.label("lblOriginal"), QString("Yes"));
        QCOMPARE(stereo.label("lblEmphasis"), QString("None"));
        QVERIFY(stereo.showsUntagged());
        QCOMPARE(stereo.genreNumber(), -1);
        QCOMPARE(stereo.genre()->count(), 149);
        const qint64 size = QFileInfo(m_file).size();
        QCOMPARE(stereo.label("lblSize"),
                 QString::number(double(size) / 1024 / 1024, 'f', 2) + " MB");

        // Copyrighted, a copy, 8 kbit/s mono at 22.05 kHz.
        Editor mono(m_mono, facts(22050, 1, 3, 8));
        QCOMPARE(mono.label("lblFreq"), QString("22.050 Hz, Mono"));
        QCOMPARE(mono.label("lblBitrate"), QString("08 Kbps"));
        QCOMPARE(mono.label("lblCopyright"), QString("Yes"));
        QCOMPARE(mono.label("lblOriginal"), QString("No"));
        QVERIFY(mono.messages.isEmpty());
    }

    void notAnMp3File() {
        QVERIFY(writeFile(m_file, QByteArray("plain text, no audio\n").repeated(40)));
        Editor editor(m_file, AudioFacts());
        QCOMPARE(editor.messages.size(), 1);
        QCOMPARE(editor.messages[0].text, QString("Not a MP3 file..."));
        QCOMPARE(editor.messages[0].title, QString("Error..."));
        for (const char *name : {"lblCRC", "lblCopyright", "lblOriginal", "lblEmphasis", "lblFreq",
                                 "lblLayer", "lblBitrate"})
            QCOMPARE(editor.label(name), QString());
        QVERIFY(editor.showsUntagged());
        QVERIFY(editor.dialog.isVisible());
    }

    void saveIsReadBackByOtherPrograms() {
        QVERIFY(run("id3v2", {"-1", "-t", "Old", "-g", "3", m_file}).ok);
        const QByteArray before = readFile(m_file);
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsTagged());
        editor.edit("Title")->setText("Thirty-five characters of a title!!"); // 35
        editor.edit("Artist")->setText(QString::fromUtf8("Bj\xc3\xb6rk"));
        editor.edit("Album")->setText("Debut");
        editor.edit("Year")->setText("93");
        editor.edit("Comment")->setText("  spaced");
        editor.chooseGenre(78);
        QTest::mouseClick(editor.button("cmdSave"), Qt::LeftButton);
        QCOMPARE(editor.dialog.result(), int(QDialog::Accepted));
        QVERIFY(!editor.dialog.isVisible());
        QVERIFY(editor.messages.isEmpty());

        const QByteArray after = readFile(m_file);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.left(after.size() - 128), before.left(before.size() - 128));
        const QByteArray tag = after.right(128);
        QCOMPARE(tag.mid(3, 30), QByteArray("Thirty-five characters of a ti"));
        QCOMPARE(tag.mid(33, 30), padded("Bj\xf6rk", 30));
        QCOMPARE(tag.mid(93, 4), QByteArray("93  "));
        QCOMPARE(tag.mid(97, 30), padded("  spaced", 30));
        QCOMPARE(quint8(tag.at(127)), quint8(78));

        QCOMPARE(mp3infoTag(m_file),
                 (QStringList{"Thirty-five characters of a ti", QString::fromUtf8("Bj\xc3\xb6rk"),
                              "Debut", "93", "  spaced", "78"}));
        const RunResult eye = run("eyeD3", {"--no-color", "-1", m_file});
        QVERIFY(eye.ok);
        const QString shown = QString::fromUtf8(eye.out);
        QVERIFY2(shown.contains("title: Thirty-five characters of a ti"), qPrintable(shown));
        QVERIFY2(shown.contains("album: Debut"), qPrintable(shown));
        QVERIFY2(shown.contains("(id 78)"), qPrintable(shown));
    }

    void noGenreRoundTrip() {
        QVERIFY(writeFile(m_file, m_audio + BuildId3v1Tag({"T", "A", "B", "2000", "C", 255})));
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QCOMPARE(editor.genreNumber(), -1);
        editor.edit("Title")->setText("T2");
        QTest::mouseClick(editor.button("cmdSave"), Qt::LeftButton);
        QCOMPARE(editor.dialog.result(), int(QDialog::Accepted));
        const QByteArray after = readFile(m_file);
        QCOMPARE(after.size(), m_audio.size() + 128);
        QCOMPARE(quint8(after.at(after.size() - 1)), NoGenre);
        QCOMPARE(after.mid(m_audio.size() + 3, 30), padded("T2", 30));
    }

    void addThenSave() {
        const qint64 n = m_audio.size();
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsUntagged());
        QTest::mouseClick(editor.button("cmdAdd"), Qt::LeftButton);
        QVERIFY(editor.showsTagged());
        QVERIFY(editor.dialog.isVisible());
        QByteArray empty = "TAG" + QByteArray(124, '\0') + QByteArray(1, char(255));
        QCOMPARE(readFile(m_file), m_audio + empty);

        editor.edit("Title")->setText("New");
        editor.edit("Year")->setText("2024");
        editor.chooseGenre(8);
        QCOMPARE(editor.genre()->currentText(), QString("Jazz"));
        QTest::mouseClick(editor.button("cmdSave"), Qt::LeftButton);
        QCOMPARE(editor.dialog.result(), int(QDialog::Accepted));
        const QByteArray after = readFile(m_file);
        QCOMPARE(after.size(), n + 128);
        QCOMPARE(after.left(n), m_audio);
        QCOMPARE(after.right(128), "TAG" + padded("New", 30) + QByteArray(60, ' ') + "2024" +
                                       QByteArray(30, ' ') + QByteArray(1, char(8)));
        QCOMPARE(mp3infoTag(m_file), (QStringList{"New", "", "", "2024", "", "8"}));
    }

    void removeCutsTheTagOnly() {
        QVERIFY(run("eyeD3", {"-Q", "--to-v1.1", "-t", "Gone", m_file}).ok);
        const QByteArray before = readFile(m_file);
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsTagged());
        QTest::mouseClick(editor.button("cmdRemove"), Qt::LeftButton);
        QCOMPARE(editor.releases, 1);
        QCOMPARE(editor.sizeWhenReleased, before.size()); // let go before the cut
        QCOMPARE(editor.dialog.result(), int(QDialog::Accepted));
        QCOMPARE(editor.dialog.windowTitle(), QString("Removing Tag"));
        QCOMPARE(readFile(m_file), before.left(before.size() - 128));
        QCOMPARE(readFile(m_file), m_audio);
        QVERIFY(editor.messages.isEmpty());
    }

    // What changed on disk after the dialog loaded is refused, reported, and left as it is.
    void refusalsKeepTheFileAndTheDialog() {
        QVERIFY(writeFile(m_file, m_audio + BuildId3v1Tag({"T", "A", "B", "2000", "C", 1})));
        {
            Editor editor(m_file, facts(44100, 2, 3, 128));
            QVERIFY(editor.showsTagged());
            QVERIFY(writeFile(m_file, m_audio)); // the tag went meanwhile
            QTest::mouseClick(editor.button("cmdSave"), Qt::LeftButton);
            QTest::mouseClick(editor.button("cmdRemove"), Qt::LeftButton);
            QCOMPARE(readFile(m_file), m_audio);
            QCOMPARE(editor.messages.size(), 2);
            for (const Message &m : editor.messages)
                QCOMPARE(m.text, QFileInfo(m_file).fileName() + " has no ID3 tag.");
            QVERIFY(editor.dialog.isVisible());
            QCOMPARE(editor.dialog.windowTitle(), TagEditorDialog::Title);
        }
        {
            Editor editor(m_file, facts(44100, 2, 3, 128));
            QVERIFY(editor.showsUntagged());
            const QByteArray tagged = m_audio + BuildId3v1Tag({"X", "", "", "", "", 2});
            QVERIFY(writeFile(m_file, tagged)); // a tag came meanwhile: no second one
            QTest::mouseClick(editor.button("cmdAdd"), Qt::LeftButton);
            QCOMPARE(readFile(m_file), tagged);
            QCOMPARE(editor.messages.size(), 1);
            QVERIFY(editor.messages[0].text.contains("already has an ID3 tag"));
            QVERIFY(editor.showsUntagged());
        }
        // Files too short for a tag, and no file at all.
        const QString tiny = m_dir.filePath("tiny.mp3");
        QVERIFY(writeFile(tiny, "TAG"));
        QVERIFY(!RemoveTag(tiny).ok);
        QVERIFY(!SaveTag(tiny, {}).ok);
        QCOMPARE(readFile(tiny), QByteArray("TAG"));
        QVERIFY(!ReadTagFile(tiny).tag);
        const QString missing = m_dir.filePath("missing.mp3");
        for (const TagResult &r :
             {AddEmptyTag(missing), RemoveTag(missing), SaveTag(missing, {})}) {
            QVERIFY(!r.ok);
            QVERIFY(!r.reason.isEmpty());
        }
        QVERIFY(!QFile::exists(missing));
        QVERIFY(!ReadTagFile(missing).readable);
    }

    // The disk refuses part of the tag (a file size limit stands in for a full disk): the
    // partial tag is taken back, the user is told, and the dialog stays as it was.
    void addThatFailsHalfway() {
        const qint64 n = m_audio.size();
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsUntagged());
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit limit = old;
        limit.rlim_cur = rlim_t(n + 50);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        QTest::mouseClick(editor.button("cmdAdd"), Qt::LeftButton);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(readFile(m_file), m_audio);
        QCOMPARE(editor.messages.size(), 1);
        QVERIFY2(editor.messages[0].text.startsWith("The tag could not be added to " +
                                                    QFileInfo(m_file).fileName()),
                 qPrintable(editor.messages[0].text));
        QVERIFY(editor.showsUntagged());
        QVERIFY(editor.dialog.isVisible());
    }

    void readOnlyFile() {
        if (geteuid() == 0)
            QSKIP("running as root: a read-only file can still be written");
        QVERIFY(run("id3v2", {"-1", "-t", "Kept", m_file}).ok);
        const QByteArray before = readFile(m_file);
        QVERIFY(QFile::setPermissions(m_file, QFile::ReadOwner));
        Editor editor(m_file, facts(44100, 2, 3, 128));
        QVERIFY(editor.showsTagged());
        editor.edit("Title")->setText("Changed");
        QTest::mouseClick(editor.button("cmdSave"), Qt::LeftButton);
        QTest::mouseClick(editor.button("cmdRemove"), Qt::LeftButton);
        QCOMPARE(editor.messages.size(), 2);
        QVERIFY(editor.messages[0].text.contains("cannot be written"));
        QVERIFY(editor.dialog.isVisible());
        QVERIFY(!AddEmptyTag(m_file).ok);
        QCOMPARE(readFile(m_file), before);
    }

private:
    QTemporaryDir m_dir;
    QString m_stereo, m_mono;
    QString m_file;
    QByteArray m_audio;
    int m_count = 0;
};

QTEST_MAIN(TagEditorTest)
#include "tst_tageditor.moc"
