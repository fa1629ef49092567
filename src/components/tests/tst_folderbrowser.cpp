// The folder chooser offscreen: what the dialog is asked and what its answer does to the text,
// the keys that open it, Change for every kind of change, and the layout rule.
#include "components/folderbrowser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace kestrune;

namespace {

constexpr int WaitMs = 5000;

// A dialog that records what it was asked and answers with a fixed choice.
struct ScriptedDialog {
    QString answer;
    int calls = 0;
    QString title;
    QString start;
    QWidget *parent = nullptr;

    FolderBrowser::FolderDialog dialog() {
        return [this](QWidget *owner, const QString &t, const QString &s) {
            ++calls;
            parent = owner;
            title = t;
            start = s;
            return answer;
        };
    }
};

} // namespace

class TestFolderBrowser : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dialogIsAskedWithTitleAndCurrentFolder();
    void cancelledDialogChangesNothing();
    void chosenFolderIsShownCleanOnce_data();
    void chosenFolderIsShownCleanOnce();
    void altDownOpensTheDialogAndDownAloneDoesNot();
    void everyChangeOfTheTextIsReported();
    void selectionAndLock();
    void layoutKeepsTheButtonAtTheRightEdge();
    void realDialogReturnsTheFolderAccepted();
};

void TestFolderBrowser::dialogIsAskedWithTitleAndCurrentFolder() {
    FolderBrowser browser;
    ScriptedDialog scripted;
    browser.setFolderDialog(scripted.dialog());
    browser.setText(QStringLiteral("/srv/recordings"));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    QTest::mouseClick(browser.browseButton(), Qt::LeftButton);
    QCOMPARE(scripted.calls, 1);
    QCOMPARE(scripted.title, QStringLiteral("Select a folder"));
    QCOMPARE(scripted.start, QStringLiteral("/srv/recordings"));
    QCOMPARE(scripted.parent, &browser);

    browser.Execute();
    QCOMPARE(scripted.calls, 2);
    QVERIFY(browser.findChild<QLineEdit *>(QStringLiteral("txtFolder")) == browser.textBox());
    QVERIFY(browser.findChild<QToolButton *>(QStringLiteral("cmdBrowse")) ==
            browser.browseButton());
    QVERIFY(!browser.browseButton()->icon().isNull());
}

void TestFolderBrowser::cancelledDialogChangesNothing() {
    FolderBrowser browser;
    ScriptedDialog scripted; // answers "": cancelled
    browser.setFolderDialog(scripted.dialog());
    browser.setText(QStringLiteral("/home/someone/Music"));
    QSignalSpy changes(&browser, &FolderBrowser::Change);

    browser.Execute();
    QCOMPARE(scripted.calls, 1);
    QCOMPARE(browser.text(), QStringLiteral("/home/someone/Music"));
    QCOMPARE(changes.count(), 0);
}

void TestFolderBrowser::chosenFolderIsShownCleanOnce_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("shown");
    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/");
    QTest::newRow("root twice") << QStringLiteral("//") << QStringLiteral("/");
    QTest::newRow("folder") << QStringLiteral("/srv/music") << QStringLiteral("/srv/music");
    QTest::newRow("trailing slash")
        << QStringLiteral("/srv/music/") << QStringLiteral("/srv/music");
    QTest::newRow("dot steps") << QStringLiteral("/srv/./old/../music//")
                               << QStringLiteral("/srv/music");
}

void TestFolderBrowser::chosenFolderIsShownCleanOnce() {
    QFETCH(QString, chosen);
    QFETCH(QString, shown);
    FolderBrowser browser;
    ScriptedDialog scripted;
    scripted.answer = chosen;
    browser.setFolderDialog(scripted.dialog());
    browser.setText(QStringLiteral("/somewhere/else"));
    QSignalSpy changes(&browser, &FolderBrowser::Change);

    browser.Execute();
    QCOMPARE(browser.text(), shown);
    QCOMPARE(changes.count(), 1);

    // The same folder again is no change.
    browser.Execute();
    QCOMPARE(browser.text(), shown);
    QCOMPARE(changes.count(), 1);
}

void TestFolderBrowser::altDownOpensTheDialogAndDownAloneDoesNot() {
    FolderBrowser browser;
    ScriptedDialog scripted;
    scripted.answer = QStringLiteral("/media/disk");
    browser.setFolderDialog(scripted.dialog());
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.activateWindow();
    browser.setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(browser.textBox()->hasFocus(), WaitMs);

    QTest::keyClick(browser.textBox(), Qt::Key_Down);
    QTest::keyClick(browser.textBox(), Qt::Key_Down, Qt::ShiftModifier | Qt::AltModifier);
    QTest::keyClick(browser.textBox(), Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(browser.textBox(), Qt::Key_Up, Qt::AltModifier);
    QCOMPARE(scripted.calls, 0);
    QVERIFY(browser.text().isEmpty());

    QTest::keyClick(browser.textBox(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(scripted.calls, 1);
    QCOMPARE(browser.text(), QStringLiteral("/media/disk"));

    // The same key on the button, after tabbing to it.
    browser.browseButton()->setFocus();
    QTest::keyClick(browser.browseButton(), Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(scripted.calls, 2);
}

void TestFolderBrowser::everyChangeOfTheTextIsReported() {
    FolderBrowser browser;
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QSignalSpy changes(&browser, &FolderBrowser::Change);

    QTest::keyClicks(browser.textBox(), QStringLiteral("/tmp"));
    QCOMPARE(changes.count(), 4);
    QCOMPARE(browser.text(), QStringLiteral("/tmp"));
    QTest::keyClick(browser.textBox(), Qt::Key_Backspace);
    QCOMPARE(changes.count(), 5);
    QCOMPARE(browser.text(), QStringLiteral("/tm"));

    browser.setText(QStringLiteral("/var"));
    QCOMPARE(changes.count(), 6);
    browser.setText(QStringLiteral("/var"));
    QCOMPARE(changes.count(), 6);
    QCOMPARE(browser.property("text").toString(), QStringLiteral("/var"));
}

void TestFolderBrowser::selectionAndLock() {
    FolderBrowser browser;
    browser.setText(QStringLiteral("/home/user/Music"));
    browser.setSelStart(6);
    QCOMPARE(browser.selStart(), 6);
    QCOMPARE(browser.selLength(), 0);
    browser.setSelLength(4);
    QCOMPARE(browser.selText(), QStringLiteral("user"));
    QCOMPARE(browser.selStart(), 6);
    browser.setSelText(QStringLiteral("guest"));
    QCOMPARE(browser.text(), QStringLiteral("/home/guest/Music"));
    QCOMPARE(browser.selLength(), 0);
    browser.setSelLength(1000); // clipped at the end of the text
    QCOMPARE(browser.selText(), QStringLiteral("/Music"));

    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    browser.setLocked(true);
    QVERIFY(browser.textBox()->isReadOnly());
    browser.setSelStart(0);
    QTest::keyClicks(browser.textBox(), QStringLiteral("xyz"));
    QCOMPARE(browser.text(), QStringLiteral("/home/guest/Music"));
    // The program may still write into a locked box.
    browser.setSelStart(1);
    browser.setSelLength(4);
    browser.setSelText(QStringLiteral("srv"));
    QCOMPARE(browser.text(), QStringLiteral("/srv/guest/Music"));
    ScriptedDialog scripted;
    scripted.answer = QStringLiteral("/opt/audio");
    browser.setFolderDialog(scripted.dialog());
    browser.Execute();
    QCOMPARE(browser.text(), QStringLiteral("/opt/audio"));

    browser.setBackColor(QColor(0xEF, 0xEF, 0xEF));
    browser.setForeColor(Qt::darkBlue);
    QCOMPARE(browser.textBox()->palette().color(QPalette::Base), QColor(0xEF, 0xEF, 0xEF));
    QCOMPARE(browser.textBox()->palette().color(QPalette::Text), QColor(Qt::darkBlue));
    browser.setToolTip(QStringLiteral("Where recordings go"));
    QCOMPARE(browser.textBox()->toolTip(), QStringLiteral("Where recordings go"));
    browser.setEnabled(false);
    QVERIFY(!browser.textBox()->isEnabled());
    QVERIFY(!browser.browseButton()->isEnabled());
}

void TestFolderBrowser::layoutKeepsTheButtonAtTheRightEdge() {
    QWidget holder;
    auto *browser = new FolderBrowser(&holder);
    holder.resize(400, 100);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));

    browser->setGeometry(10, 10, 240, 30);
    const QRect inner = browser->contentsRect();
    const QRect button = browser->browseButton()->geometry();
    const QRect text = browser->textBox()->geometry();
    const int b = button.width();
    QVERIFY(b > 0);
    QCOMPARE(button.right(), inner.right());
    QCOMPARE(button.top(), inner.top());
    QCOMPARE(button.height(), inner.height());
    QCOMPARE(text.left(), inner.left() + 1);
    QCOMPARE(text.top(), inner.top() + 1);
    QCOMPARE(text.right() + 1 + 2, button.left());

    browser->resize(160, 44);
    QCOMPARE(browser->browseButton()->width(), b);
    QCOMPARE(browser->browseButton()->geometry().right(), browser->contentsRect().right());
    QCOMPARE(browser->browseButton()->height(), browser->contentsRect().height());
    QCOMPARE(browser->textBox()->geometry().right() + 1 + 2, browser->browseButton()->x());
    const QRect lastText = browser->textBox()->geometry();

    // Too narrow for any text box: the text box keeps its size, the button still moves.
    const int margins = browser->contentsMargins().left() + browser->contentsMargins().right();
    browser->resize(margins + 3 + b, 44);
    QCOMPARE(browser->textBox()->geometry(), lastText);
    QCOMPARE(browser->browseButton()->width(), b);
    QCOMPARE(browser->browseButton()->geometry().right(), browser->contentsRect().right());
    browser->resize(margins + b - 5, 40);
    QCOMPARE(browser->textBox()->geometry(), lastText);
    QCOMPARE(browser->browseButton()->geometry().right(), browser->contentsRect().right());
    QCOMPARE(browser->browseButton()->height(), browser->contentsRect().height());
}

void TestFolderBrowser::realDialogReturnsTheFolderAccepted() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("start")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("chosen")));
    const QString start = QDir(dir.path()).filePath(QStringLiteral("start"));
    const QString chosen = QDir(dir.path()).filePath(QStringLiteral("chosen"));

    FolderBrowser browser;
    browser.setText(start);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QSignalSpy changes(&browser, &FolderBrowser::Change);

    QString seenTitle;
    QString seenStart;
    bool answered = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, &browser, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFileDialog *>(w);
            if (!dialog || !dialog->isVisible() || answered)
                continue;
            answered = true;
            seenTitle = dialog->windowTitle();
            seenStart = QDir(dialog->directory()).absolutePath();
            dialog->setDirectory(chosen);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    poll.start();
    // Closes any dialog left open if the poll above never found it, so the test ends.
    QTimer::singleShot(WaitMs, &browser, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QFileDialog *>(w))
                dialog->reject();
    });
    browser.Execute();
    poll.stop();

    QVERIFY(answered);
    QCOMPARE(seenTitle, QStringLiteral("Select a folder"));
    QCOMPARE(seenStart, QDir(start).absolutePath());
    QCOMPARE(browser.text(), QDir::toNativeSeparators(chosen));
    QCOMPARE(changes.count(), 1);
}

QTEST_MAIN(TestFolderBrowser)
#include "tst_folderbrowser.moc"
