// The hyperlink label offscreen: the address a click hands to the desktop (what the opener
// receives), the addresses it refuses, the order of the click's events, and the hover look.
#include "components/activelink.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace kestrune;

namespace {

// An opener that records what it was given and answers as told.
struct RecordingOpener {
    QList<QUrl> opened;
    bool accept = true;

    ActiveLink::Opener opener() {
        return [this](const QUrl &url) {
            opened.append(url);
            return accept;
        };
    }
};

bool writeFile(const QString &path, const QByteArray &content,
               QFileDevice::Permissions permissions = QFileDevice::ReadOwner |
                                                      QFileDevice::WriteOwner) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

void enter(ActiveLink *link) {
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(link, &event);
}

void leave(ActiveLink *link) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(link, &event);
}

QColor captionColor(const ActiveLink &link) {
    return link.captionLabel()->palette().color(QPalette::Active, QPalette::WindowText);
}

} // namespace

class TestActiveLink : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void mailLinkKeepsItsPartsApartAndInOrder();
    void mailPrefixIsRecognisedInAnyCase_data();
    void mailPrefixIsRecognisedInAnyCase();
    void programsAndUnknownAddressesAreRefused();
    void documentsAndWebAddressesOpen();
    void emptyAddressDoesNothing();
    void clickAsksBeforeJumpingAndCanBeCancelled();
    void hoverLookFollowsEnterAndLeave();
    void picturesAndAutoSize();
};

void TestActiveLink::init() {
    // The pointer rests away from every window, so only the events a test sends move it.
    QCursor::setPos(QPoint(3000, 3000));
}

void TestActiveLink::mailLinkKeepsItsPartsApartAndInOrder() {
    ActiveLink link(QStringLiteral("Write to us"));
    RecordingOpener recorder;
    link.setOpener(recorder.opener());
    QSignalSpy notFound(&link, &ActiveLink::AppNotFound);
    link.setAddressType(ActiveLink::MailAddress);
    link.setAddress(QStringLiteral("someone@example.org"));
    link.setMailSubject(QStringLiteral("Hi"));

    QVERIFY(link.Jump());
    QCOMPARE(recorder.opened.size(), 1);
    QCOMPARE(recorder.opened.at(0).toEncoded(),
             QByteArray("mailto:someone@example.org?subject=Hi&body=&CC=&BCC="));

    const QString subject = QStringLiteral("Tom & Jerry #1?\nSecond line");
    const QString body = QStringLiteral("a=b; 100% sure\r\nBye");
    link.setMailSubject(subject);
    link.setMailBody(body);
    link.setMailCC(QStringLiteral("copy@example.org,other@example.org"));
    link.setMailBCC(QStringLiteral("hidden@example.org"));
    QVERIFY(link.Jump());
    QCOMPARE(recorder.opened.size(), 2);
    const QUrl mail = recorder.opened.at(1);
    QCOMPARE(mail.toEncoded(), QByteArray("mailto:someone@example.org"
                                          "?subject=Tom%20%26%20Jerry%20%231%3F%0ASecond%20line"
                                          "&body=a%3Db%3B%20100%25%20sure%0D%0ABye"
                                          "&CC=copy@example.org,other@example.org"
                                          "&BCC=hidden@example.org"));
    QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
    QCOMPARE(mail.path(), QStringLiteral("someone@example.org"));
    QVERIFY(mail.fragment().isEmpty());
    const QUrlQuery query(mail);
    QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), subject);
    QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded), body);
    QCOMPARE(query.queryItems().size(), 4);
    QCOMPARE(notFound.count(), 0);
}

void TestActiveLink::mailPrefixIsRecognisedInAnyCase_data() {
    QTest::addColumn<QString>("address");
    QTest::newRow("none") << QStringLiteral("a@example.org");
    QTest::newRow("lower") << QStringLiteral("mailto:a@example.org");
    QTest::newRow("upper") << QStringLiteral("MAILTO:a@example.org");
    QTest::newRow("mixed") << QStringLiteral("MailTo:a@example.org");
}

void TestActiveLink::mailPrefixIsRecognisedInAnyCase() {
    QFETCH(QString, address);
    ActiveLink link;
    RecordingOpener recorder;
    link.setOpener(recorder.opener());
    link.setAddressType(ActiveLink::MailAddress);
    link.setAddress(address);
    QVERIFY(link.Jump());
    QCOMPARE(recorder.opened.size(), 1);
    const QUrl mail = recorder.opened.at(0);
    QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
    QCOMPARE(mail.path(), QStringLiteral("a@example.org"));
    QCOMPARE(
        QString::fromLatin1(mail.toEncoded()).count(QStringLiteral("mailto:"), Qt::CaseInsensitive),
        1);
}

void TestActiveLink::programsAndUnknownAddressesAreRefused() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("tool"));
    QVERIFY(writeFile(script, "#!/bin/sh\necho hello\n",
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QString launcher = dir.filePath(QStringLiteral("player.desktop"));
    QVERIFY(writeFile(launcher, "[Desktop Entry]\nType=Application\nExec=/bin/true\n"));
    const QString batch = dir.filePath(QStringLiteral("SETUP.BAT"));
    QVERIFY(writeFile(batch, "echo hello\r\n"));
    const QString disguised = dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(QFile::link(launcher, disguised));

    const QStringList refused = {
        script,
        QUrl::fromLocalFile(script).toString(),
        launcher,
        batch,
        disguised,
        QUrl::fromLocalFile(launcher).toString(),
        dir.filePath(QStringLiteral("missing.txt")),
        QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.txt"))).toString(),
        dir.path(),
        QStringLiteral("javascript:alert(1)"),
        QStringLiteral("smb://server/share/tool.exe"),
        QStringLiteral("ssh://host"),
        QStringLiteral("http://"),
    };
    for (const QString &address : refused) {
        ActiveLink link;
        RecordingOpener recorder;
        link.setOpener(recorder.opener());
        QSignalSpy notFound(&link, &ActiveLink::AppNotFound);
        link.setAddress(address);
        QVERIFY2(!link.Jump(), qPrintable(address));
        QVERIFY2(recorder.opened.isEmpty(), qPrintable(address));
        QVERIFY2(notFound.count() == 1, qPrintable(address));
    }
}

void TestActiveLink::documentsAndWebAddressesOpen() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString notes = dir.filePath(QStringLiteral("read me.txt"));
    QVERIFY(writeFile(notes, "Some notes\n"));

    const QList<QPair<QString, QUrl>> allowed = {
        {notes, QUrl::fromLocalFile(notes)},
        {QUrl::fromLocalFile(notes).toString(), QUrl::fromLocalFile(notes)},
        {QStringLiteral("https://kestrune.example.org/help"),
         QUrl(QStringLiteral("https://kestrune.example.org/help"))},
        {QStringLiteral("HTTP://example.org/"), QUrl(QStringLiteral("http://example.org/"))},
        {QStringLiteral("ftp://files.example.org/pub/"),
         QUrl(QStringLiteral("ftp://files.example.org/pub/"))},
    };
    for (const auto &[address, expected] : allowed) {
        ActiveLink link;
        RecordingOpener recorder;
        link.setOpener(recorder.opener());
        QSignalSpy notFound(&link, &ActiveLink::AppNotFound);
        link.setAddress(address);
        QVERIFY2(link.Jump(), qPrintable(address));
        QCOMPARE(recorder.opened.size(), 1);
        QCOMPARE(recorder.opened.at(0), expected);
        QCOMPARE(notFound.count(), 0);
    }

    // The desktop refusing an allowed address is reported the same way.
    ActiveLink link;
    RecordingOpener recorder;
    recorder.accept = false;
    link.setOpener(recorder.opener());
    QSignalSpy notFound(&link, &ActiveLink::AppNotFound);
    link.setAddress(notes);
    QVERIFY(!link.Jump());
    QCOMPARE(recorder.opened.size(), 1);
    QCOMPARE(notFound.count(), 1);
}

void TestActiveLink::emptyAddressDoesNothing() {
    ActiveLink link;
    RecordingOpener recorder;
    link.setOpener(recorder.opener());
    QSignalSpy notFound(&link, &ActiveLink::AppNotFound);
    link.setAddressType(ActiveLink::MailAddress);
    link.setMailSubject(QStringLiteral("Hi"));
    QVERIFY(!link.Jump());
    link.setAddressType(0);
    QVERIFY(!link.Jump());
    QVERIFY(recorder.opened.isEmpty());
    QCOMPARE(notFound.count(), 0);
}

void TestActiveLink::clickAsksBeforeJumpingAndCanBeCancelled() {
    ActiveLink link(QStringLiteral("Station list"));
    RecordingOpener recorder;
    link.setOpener(recorder.opener());
    link.setAddress(QStringLiteral("https://example.org/stations"));
    link.resize(160, 24);
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));

    QStringList events;
    bool cancelNext = false;
    connect(&link, &ActiveLink::BeforeJump, this, [&](bool &cancel) {
        events << QStringLiteral("before") + (cancel ? QStringLiteral(" set") : QString());
        cancel = cancelNext;
    });
    connect(&link, &ActiveLink::Click, this,
            [&] { events << QStringLiteral("click") + QString::number(recorder.opened.size()); });
    connect(
        &link, &ActiveLink::MouseDown, this,
        [&](Qt::MouseButton button, Qt::KeyboardModifiers, const QPointF &pos) {
            events << QStringLiteral("down %1 %2,%3").arg(int(button)).arg(pos.x()).arg(pos.y());
        });
    connect(&link, &ActiveLink::MouseUp, this,
            [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPointF &) { events << "up"; });
    QSignalSpy dblClicks(&link, &ActiveLink::DblClick);

    QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, QPoint(10, 8));
    QCOMPARE(events, QStringList({"down 1 10,8", "up", "before", "click1"}));
    QCOMPARE(recorder.opened.size(), 1);

    events.clear();
    cancelNext = true;
    QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, QPoint(10, 8));
    QCOMPARE(events, QStringList({"down 1 10,8", "up", "before", "click1"}));
    QCOMPARE(recorder.opened.size(), 1);

    // A right click is no click; a release outside the control neither.
    events.clear();
    QTest::mouseClick(&link, Qt::RightButton, Qt::NoModifier, QPoint(10, 8));
    QTest::mousePress(&link, Qt::LeftButton, Qt::NoModifier, QPoint(10, 8));
    QTest::mouseRelease(&link, Qt::LeftButton, Qt::NoModifier, QPoint(400, 8));
    QVERIFY(!events.contains(QStringLiteral("before")));
    QCOMPARE(recorder.opened.size(), 1);

    cancelNext = false;
    QTest::mouseDClick(&link, Qt::LeftButton, Qt::NoModifier, QPoint(10, 8));
    QCOMPARE(dblClicks.count(), 1);
}

void TestActiveLink::hoverLookFollowsEnterAndLeave() {
    QWidget holder;
    auto *link = new ActiveLink(QStringLiteral("Our website"), &holder);
    QFont normalFont = link->font();
    QFont hoverFont = normalFont;
    hoverFont.setUnderline(true);
    hoverFont.setBold(true);
    link->setLinkFont(normalFont);
    link->setActiveFont(hoverFont);
    link->setForeColor(QColor(0x20, 0x20, 0x80));
    link->setActiveForeColor(QColor(0xE0, 0x30, 0x30));
    link->setBackColor(QColor(0xF0, 0xF0, 0xF0));
    link->setActiveBackColor(QColor(0xFF, 0xFF, 0xD0));
    link->setGeometry(5, 5, 160, 24);
    holder.resize(200, 60);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    QSignalSpy entered(link, &ActiveLink::MouseEnter);
    QSignalSpy left(link, &ActiveLink::MouseLeave);

    QVERIFY(!link->isHot());
    QCOMPARE(link->captionLabel()->text(), QStringLiteral("Our website"));
    QCOMPARE(captionColor(*link), QColor(0x20, 0x20, 0x80));
    QVERIFY(!link->captionLabel()->font().underline());

    enter(link);
    QVERIFY(link->isHot());
    QCOMPARE(entered.count(), 1);
    QVERIFY(link->captionLabel()->font().underline());
    QVERIFY(link->captionLabel()->font().bold());
    QCOMPARE(captionColor(*link), QColor(0xE0, 0x30, 0x30));
    // Empty ActiveCaption: the caption stays.
    QCOMPARE(link->captionLabel()->text(), QStringLiteral("Our website"));
    // No address and no AlwaysHandCursor: the ordinary pointer.
    QVERIFY(!link->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(link->grab().toImage().pixelColor(1, 1), QColor(0xFF, 0xFF, 0xD0));

    enter(link); // a second enter without a leave is the same visit
    QCOMPARE(entered.count(), 1);

    leave(link);
    QVERIFY(!link->isHot());
    QCOMPARE(left.count(), 1);
    QVERIFY(!link->captionLabel()->font().underline());
    QCOMPARE(captionColor(*link), QColor(0x20, 0x20, 0x80));
    QCOMPARE(link->grab().toImage().pixelColor(1, 1), QColor(0xF0, 0xF0, 0xF0));
    leave(link);
    QCOMPARE(left.count(), 1);

    link->setActiveCaption(QStringLiteral("Open our website"));
    link->setAddress(QStringLiteral("https://kestrune.example.org/"));
    QCOMPARE(link->captionLabel()->text(), QStringLiteral("Our website"));
    enter(link);
    QCOMPARE(entered.count(), 2);
    QCOMPARE(link->captionLabel()->text(), QStringLiteral("Open our website"));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    leave(link);
    QCOMPARE(left.count(), 2);
    QCOMPARE(link->captionLabel()->text(), QStringLiteral("Our website"));

    link->setAddress(QString());
    link->setAlwaysHandCursor(true);
    enter(link);
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    leave(link);

    // A disabled link takes no hover look.
    link->setEnabled(false);
    enter(link);
    QVERIFY(!link->isHot());
    QCOMPARE(entered.count(), 3);
}

void TestActiveLink::picturesAndAutoSize() {
    QPixmap normal(40, 20);
    normal.fill(Qt::darkGreen);
    QPixmap active(30, 16);
    active.fill(Qt::yellow);

    ActiveLink link; // no caption over the pictures' pixels
    link.setPicture(normal);
    link.resize(100, 30);
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));

    enter(&link);
    QCOMPARE(link.shownPicture().toImage(), normal.toImage());
    QCOMPARE(link.grab().toImage().pixelColor(2, 2), QColor(Qt::darkGreen));
    leave(&link);

    link.setActivePicture(active);
    enter(&link);
    QCOMPARE(link.shownPicture().toImage(), active.toImage());
    QCOMPARE(link.grab().toImage().pixelColor(2, 2), QColor(Qt::yellow));
    leave(&link);
    QCOMPARE(link.shownPicture().toImage(), normal.toImage());
    QCOMPARE(link.size(), QSize(100, 30));

    link.setAutoSize(true);
    QCOMPARE(link.size(), QSize(40, 20));
    link.setBorderStyle(ActiveLink::FixedSingle);
    const int edge = 2 * link.frameWidth();
    QVERIFY(edge > 0);
    QCOMPARE(link.size(), QSize(40 + edge, 20 + edge));
    QCOMPARE(link.captionLabel()->geometry(), link.contentsRect());
    // The size follows the normal picture: a smaller hover picture must not pull the control
    // from under the mouse.
    enter(&link);
    link.Refresh();
    QCOMPARE(link.shownPicture().toImage(), active.toImage());
    QCOMPARE(link.size(), QSize(40 + edge, 20 + edge));
    leave(&link);
    QCOMPARE(link.size(), QSize(40 + edge, 20 + edge));
}

QTEST_MAIN(TestActiveLink)
#include "tst_activelink.moc"
