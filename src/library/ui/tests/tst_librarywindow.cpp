// The library window as a user drives it: the tree and list of real MP3 files on disk, the
// player's buttons on the null output, and Delete and Rename answered through the prompts.
#include "components/ledlabel.h"
#include "library/libraryfolder.h"
#include "library/libraryplayer.h"
#include "library/ui/libraryfilemodel.h"
#include "library/ui/librarywindow.h"
#include "streamsynth/mp3synth.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLCDNumber>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::testsupport;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray mp3(double seconds, int rate = 44100, int channels = 2, int kbps = 128) {
    Mp3Params p;
    p.seconds = seconds;
    p.sampleRate = rate;
    p.channels = channels;
    p.bitrateKbps = kbps;
    return synthesizeMp3(p);
}

// Answers the window's questions as the test says and keeps what it was told.
struct Answers {
    bool yes = true;
    QString text;
    QStringList asked;
    QStringList told;

    LibraryPrompts prompts() {
        LibraryPrompts p;
        p.askYesNo = [this](QWidget *, const QString &text, const QString &title,
                            LibraryPrompts::YesNo answer) {
            asked << title + QStringLiteral("|") + text;
            answer(yes);
        };
        p.askText = [this](QWidget *, const QString &prompt, const QString &title,
                           const QString &preset, LibraryPrompts::Text answer) {
            asked << title + QStringLiteral("|") + prompt + QStringLiteral("|") + preset;
            answer(text);
        };
        p.tell = [this](QWidget *, const QString &text) { told << text; };
        return p;
    }
};

} // namespace

class LibraryWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_outputDir;
    QByteArray m_short;  // 3 s, 44.1 kHz stereo, 128 kbit/s
    QString m_recording; // what the window is told is being recorded

    std::unique_ptr<LibraryWindow> window(Answers &answers) {
        auto w = std::make_unique<LibraryWindow>(m_outputDir, [this] { return m_recording; });
        w->setPrompts(answers.prompts());
        return w;
    }

    static bool show(LibraryWindow &w, const QString &key) {
        QSignalSpy shown(&w, &LibraryWindow::folderShown);
        w.showFolder(key);
        return shown.count() > 0 || shown.wait(10000);
    }

    template <typename T> static T *child(LibraryWindow &w, const char *name) {
        T *found = w.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    static QString text(LibraryWindow &w, const char *name) {
        return child<QLabel>(w, name)->text();
    }

    static QStringList names(LibraryWindow &w) {
        QStringList out;
        for (const LibraryEntry &e : w.files().entries())
            out << e.name;
        return out;
    }

    static QStringList treeTexts(LibraryWindow &w) {
        QStringList out;
        QTreeWidgetItem *root = w.tree()->topLevelItem(0);
        out << root->text(0) + (root->isExpanded() ? QStringLiteral("+") : QString());
        for (int i = 0; i < root->childCount(); ++i)
            out << root->child(i)->text(0);
        return out;
    }

    void makeRock() {
        const QString rock = m_outputDir + QStringLiteral("Rock/");
        QDir(rock).removeRecursively();
        QVERIFY(QDir().mkpath(rock));
        for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
            QVERIFY(writeFile(rock + QString::fromLatin1(name), m_short));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_outputDir = m_dir.filePath(QStringLiteral("out")); // no separator: the window adds it
        QVERIFY(QDir().mkpath(m_outputDir));
        m_short = mp3(3);
        QVERIFY(m_short.size() > 40000);
        m_outputDir += QLatin1Char('/');
        QVERIFY(QDir().mkpath(m_outputDir + QStringLiteral("Jazz")));
        QVERIFY(QDir().mkpath(m_outputDir + QStringLiteral("Empty")));
        QVERIFY(writeFile(m_outputDir + QStringLiteral("Jazz/zero.mp3"), QByteArray()));
        QVERIFY(writeFile(m_outputDir + QStringLiteral("top.mp3"), m_short));
        QVERIFY(writeFile(m_outputDir + QStringLiteral("notes.txt"), "not audio at all"));
    }

    void init() {
        makeRock();
        m_recording.clear();
    }

    void treeHoldsTheGroupFoldersWithFiles() {
        Answers answers;
        auto w = window(answers);
        QCOMPARE(w->objectName(), QString("frmLibrary"));
        QCOMPARE(w->windowTitle(), QString("Recording Library"));
        // "Empty" holds nothing; "Jazz" only a 0-byte file, which still counts for the tree.
        QCOMPARE(treeTexts(*w), QStringList({"Recordings+", "Jazz", "Rock"}));

        // A group folder added while the window is open appears at the next Refresh.
        QVERIFY(QDir().mkpath(m_outputDir + QStringLiteral("Blues")));
        QVERIFY(writeFile(m_outputDir + QStringLiteral("Blues/x.mp3"), m_short));
        QTest::mouseClick(child<QPushButton>(*w, "cmdRefresh"), Qt::LeftButton);
        QCOMPARE(treeTexts(*w), QStringList({"Recordings+", "Blues", "Jazz", "Rock"}));
        QVERIFY(QDir(m_outputDir + QStringLiteral("Blues")).removeRecursively());

        // An empty setting is never the file system's root: only the root node.
        QString none;
        LibraryWindow empty(none, [] { return QString(); });
        QCOMPARE(treeTexts(empty), QStringList({"Recordings+"}));
        QVERIFY(show(empty, QString()));
        QCOMPARE(empty.files().rowCount(), 0);
    }

    void listShowsTheFolderWithItsCellsAndTotals() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        QCOMPARE(names(*w), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        LibraryFileModel &m = w->files();
        QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QString("     Filename"));
        QCOMPARE(m.headerData(5, Qt::Horizontal).toString(), QString("Record date"));
        const QLocale locale;
        QCOMPARE(m.cellText(0, LibraryFileModel::Length), QString("0:00:03"));
        QCOMPARE(m.cellText(0, LibraryFileModel::Bitrate), QString("128 Kbps"));
        QCOMPARE(m.cellText(0, LibraryFileModel::Samplerate),
                 locale.toString(44.1, 'f', 3) + QString(" Hz"));
        QCOMPARE(m.cellText(0, LibraryFileModel::FileSize),
                 locale.toString(m_short.size() / 1000.0, 'f', 2) + QString(" kB"));
        // Three files pass 100,000 bytes together: the total is in MB.
        QVERIFY(3 * m_short.size() >= 100000);
        QCOMPARE(text(*w, "lblSize"),
                 QString(" 3 files, (%1 MB)")
                     .arg(locale.toString(3 * m_short.size() / 1048576.0, 'f', 2)));
        QCOMPARE(text(*w, "lblTime"), QString("0:00:09"));

        // The root lists the files lying directly in the output folder, of any kind.
        QVERIFY(show(*w, QString()));
        QCOMPARE(names(*w), QStringList({"notes.txt", "top.mp3"}));
        QCOMPARE(m.cellText(0, LibraryFileModel::Bitrate), QString("---"));

        // A folder with only an empty file lists nothing.
        QVERIFY(show(*w, QStringLiteral("Jazz")));
        QCOMPARE(m.rowCount(), 0);
        QCOMPARE(text(*w, "lblSize"),
                 QString(" 0 files, (%1 kB)").arg(locale.toString(0.0, 'f', 2)));
    }

    void rowClickLoadsThePlayerAndShowsTheFile() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        QCOMPARE(text(*w, "Label1"), QString("---"));
        w->selectRow(1);
        QCOMPARE(w->player().fileName(), m_outputDir + QStringLiteral("Rock/b.mp3"));
        QCOMPARE(text(*w, "lblFileName"), w->player().fileName());
        QCOMPARE(text(*w, "Label1"), QString("0:00.000"));
        QCOMPARE(child<QLCDNumber>(*w, "MMLEDPanel1")->intValue(), 44100);
        QCOMPARE(child<QLCDNumber>(*w, "MMLEDPanel2")->intValue(), 128);
        QVERIFY(!child<LedLabel>(*w, "MMLEDMode1")->caption().isEmpty());
        QVERIFY(child<QPushButton>(*w, "btnPlay")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "cmdDelete")->isEnabled(), 2000);
        QCOMPARE(child<QSlider>(*w, "SliderPosition")->maximum(), int(w->player().length()));
        QVERIFY(qAbs(w->player().length() - 3000) < 100);
    }

    void playPauseResumeStopAndTheEnd() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        w->selectRow(0);
        auto *play = child<QPushButton>(*w, "btnPlay");
        auto *pause = child<QPushButton>(*w, "btnPause");
        auto *stop = child<QPushButton>(*w, "btnStop");
        auto *slider = child<QSlider>(*w, "SliderPosition");
        QCOMPARE(pause->text(), QString("Pau&se"));

        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!play->isEnabled() && stop->isEnabled(), 5000);
        QVERIFY(slider->isEnabled() && pause->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() > 300, 5000);

        QTest::mouseClick(pause, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(pause->text(), QString("Resume"), 5000);
        QVERIFY(play->isEnabled());
        const int held = slider->value();
        QTest::qWait(300);
        QVERIFY(qAbs(slider->value() - held) < 60);

        // Play while paused resumes where it was instead of seeking.
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(pause->text(), QString("Pause"), 5000);
        QVERIFY(!play->isEnabled());
        QVERIFY(slider->value() >= held - 60);

        QTest::mouseClick(stop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(play->isEnabled() && !stop->isEnabled(), 5000);
        QCOMPARE(slider->value(), 0);
        QVERIFY(!slider->isEnabled() && !pause->isEnabled());

        // The end of the file acts as Stop.
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!play->isEnabled(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(play->isEnabled(), 10000);
        QCOMPARE(slider->value(), 0);
        QVERIFY(!slider->isEnabled());
        QCOMPARE(w->player().state(), 0);
    }

    // An idle library window costs nothing: its position tick runs only while a file plays,
    // and a pause or a seek still shows where the player stands.
    void positionTickRunsOnlyWhilePlaying() {
        Answers answers;
        auto w = window(answers);
        auto *tick = w->findChild<QTimer *>("Timer1");
        QVERIFY(tick);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        QVERIFY(!tick->isActive());
        w->selectRow(0);
        QVERIFY(!tick->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(child<QPushButton>(*w, "cmdDelete")->isEnabled(), 2000);

        auto *play = child<QPushButton>(*w, "btnPlay");
        auto *pause = child<QPushButton>(*w, "btnPause");
        auto *slider = child<QSlider>(*w, "SliderPosition");
        QTest::mouseClick(play, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(tick->isActive(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(slider->value() > 300, 5000);

        QTest::mouseClick(pause, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(pause->text(), QString("Resume"), 5000);
        QVERIFY(!tick->isActive());
        QCOMPARE(slider->value(), int(w->player().position()));
        QCOMPARE(text(*w, "Label1"), TimeText(slider->value()));

        // A seek while paused: the read-out follows without a tick.
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QVERIFY(!tick->isActive());
        QCOMPARE(text(*w, "Label1"), TimeText(w->player().position()));
        QVERIFY(w->player().position() > 300);

        QTest::mouseClick(pause, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(pause->text(), QString("Pause"), 5000);
        QVERIFY(tick->isActive());
        QTest::mouseClick(child<QPushButton>(*w, "btnStop"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(play->isEnabled(), 5000);
        QVERIFY(!tick->isActive());
    }

    void playNearTheEndStartsAgain() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        w->selectRow(0);
        auto *slider = child<QSlider>(*w, "SliderPosition");
        // Within five seconds of the end of a 3-second file: from the start.
        slider->setValue(2500);
        QTest::mouseClick(child<QPushButton>(*w, "btnPlay"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w->player().state() & LibraryPlayer::StatePlaying, 5000);
        QVERIFY(w->player().position() < 1500);
        w->player().Stop();
    }

    void deleteRemovesTheAskedFileOnly() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        const QString a = m_outputDir + QStringLiteral("Rock/a.mp3");
        const QString b = m_outputDir + QStringLiteral("Rock/b.mp3");
        const QString c = m_outputDir + QStringLiteral("Rock/c.mp3");
        QItemSelectionModel *selection = w->fileList()->selectionModel();
        selection->setCurrentIndex(w->files().index(1, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // The player holds another file than the row asked about.
        QVERIFY(w->player().setFileName(c));

        answers.yes = false;
        w->Delete();
        QCOMPARE(answers.asked, QStringList({"Delete file|Delete b.mp3 ?"}));
        QVERIFY(QFileInfo::exists(b));

        answers.yes = true;
        const qint64 before = w->totals().size;
        w->Delete();
        QVERIFY(!QFileInfo::exists(b));
        QVERIFY(QFileInfo::exists(a) && QFileInfo::exists(c));
        QCOMPARE(names(*w), QStringList({"a.mp3", "c.mp3"}));
        QCOMPARE(w->totals().size, before - m_short.size());
        // The row that took its place is loaded and selected.
        QCOMPARE(w->player().fileName(), c);
        QCOMPARE(selection->selectedRows().value(0).row(), 1);
        QVERIFY(text(*w, "lblSize").startsWith(QString(" 2 files, (")));

        // Deleting the last row leaves no row selected and the player without a file.
        w->Delete();
        QVERIFY(!QFileInfo::exists(c));
        QCOMPARE(names(*w), QStringList({"a.mp3"}));
        QVERIFY(selection->selectedRows().isEmpty());
        QVERIFY(w->player().fileName().isEmpty());
        QVERIFY(answers.told.isEmpty());
    }

    void failedDeleteKeepsRowTotalsAndPlayer() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        const QString a = m_outputDir + QStringLiteral("Rock/a.mp3");
        w->fileList()->selectionModel()->setCurrentIndex(w->files().index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        QCOMPARE(w->player().fileName(), a);
        const LibraryTotals before = w->totals();

        // Gone behind the window's back: the delete fails and says so.
        QVERIFY(QFile::remove(a));
        w->Delete();
        QCOMPARE(answers.told.size(), 1);
        QVERIFY(answers.told.first().startsWith(QString("Could not delete a.mp3: ")));
        QCOMPARE(names(*w), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        QCOMPARE(w->totals().size, before.size);
        QCOMPARE(w->totals().files, before.files);

        if (geteuid() == 0)
            QSKIP("a read-only folder does not stop the superuser");
        const QString rock = m_outputDir + QStringLiteral("Rock");
        QVERIFY(QFile::setPermissions(rock, QFile::ReadOwner | QFile::ExeOwner));
        w->fileList()->selectionModel()->setCurrentIndex(w->files().index(1, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        w->Delete();
        QFile::setPermissions(rock, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(answers.told.size(), 2);
        QVERIFY(QFileInfo::exists(rock + QStringLiteral("/b.mp3")));
        QCOMPARE(names(*w), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
        QCOMPARE(w->player().fileName(), rock + QStringLiteral("/b.mp3"));
    }

    void renameStaysInItsFolderAndNeverReplaces() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        const QString rock = m_outputDir + QStringLiteral("Rock/");
        w->fileList()->selectionModel()->setCurrentIndex(w->files().index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        const QByteArray bBytes = m_short;

        for (const char *bad : {"b.mp3", "../x", "a/b", "..", "a\\b"}) {
            answers.text = QString::fromLatin1(bad);
            answers.told.clear();
            w->Rename();
            QCOMPARE(answers.told.size(), 1);
            QCOMPARE(QDir(rock).entryList(QDir::Files), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
            QCOMPARE(names(*w), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
            QVERIFY(!QFileInfo::exists(m_outputDir + QStringLiteral("x")));
        }
        QCOMPARE(answers.asked.last(), QString("Rename file|Enter new name: |a.mp3"));

        // Cancel (an empty answer) does nothing.
        answers.text.clear();
        answers.told.clear();
        w->Rename();
        QVERIFY(answers.told.isEmpty());
        QVERIFY(QFileInfo::exists(rock + QStringLiteral("a.mp3")));

        // A name without ".mp3" is taken as typed and stays in the list.
        answers.text = QStringLiteral("first take");
        w->Rename();
        QVERIFY(answers.told.isEmpty());
        QVERIFY(!QFileInfo::exists(rock + QStringLiteral("a.mp3")));
        QVERIFY(QFileInfo::exists(rock + QStringLiteral("first take")));
        QCOMPARE(names(*w), QStringList({"first take", "b.mp3", "c.mp3"}));
        QCOMPARE(w->player().fileName(), rock + QStringLiteral("first take"));
        QCOMPARE(text(*w, "lblFileName"), rock + QStringLiteral("first take"));
    }

    void theFileBeingRecordedIsRefused() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        const QString a = m_outputDir + QStringLiteral("Rock/a.mp3");
        m_recording = m_outputDir + QStringLiteral("Rock//a.mp3"); // the same file, spelt otherwise
        w->fileList()->selectionModel()->setCurrentIndex(w->files().index(0, 0),
                                                         QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        answers.text = QStringLiteral("renamed.mp3");
        w->Delete();
        w->Rename();
        w->MP3Info();
        QCOMPARE(answers.told.size(), 3);
        for (const QString &told : answers.told)
            QVERIFY(told.startsWith(QString("a.mp3 is being recorded right now")));
        QVERIFY(answers.asked.isEmpty());
        QVERIFY(QFileInfo::exists(a));
        QVERIFY(!w->findChild<QDialog *>(QStringLiteral("frmTag")));
    }

    void mp3InfoOpensTheTagEditorOnThePlayersFile() {
        Answers answers;
        auto w = window(answers);
        QVERIFY(show(*w, QStringLiteral("Rock")));
        w->selectRow(2);
        w->MP3Info();
        auto *dialog = w->findChild<QDialog *>(QStringLiteral("frmTag"));
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(dialog->isVisible(), 2000);
        auto *fileName = dialog->findChild<QLabel *>(QStringLiteral("lblFileName"));
        QVERIFY(fileName);
        QTRY_COMPARE_WITH_TIMEOUT(fileName->text(), m_outputDir + QStringLiteral("Rock/c.mp3"),
                                  2000);
        // A tag added in the editor shows in the row and the totals once it closes.
        const qint64 before = w->totals().size;
        auto *add = dialog->findChild<QPushButton *>(QStringLiteral("cmdAdd"));
        QVERIFY(add && add->isVisible());
        add->click();
        QCOMPARE(QFileInfo(m_outputDir + QStringLiteral("Rock/c.mp3")).size(),
                 m_short.size() + 128);
        dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->findChild<QDialog *>(QStringLiteral("frmTag")), 2000);
        QCOMPARE(w->files().entry(2).size, m_short.size() + 128);
        QCOMPARE(w->totals().size, before + 128);
        QCOMPARE(w->totals().files, 3);
    }
};

QTEST_MAIN(LibraryWindowTest)
#include "tst_librarywindow.moc"
