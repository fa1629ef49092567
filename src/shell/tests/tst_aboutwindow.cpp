// The about window offscreen: its web address is a link that opens the program's website
// and lights up under the mouse, on the splash and on the enlarged about box alike.
#include "components/activelink.h"
#include "core/version.h"
#include "shell/ui/aboutwindow.h"

#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace kestrune;

class TestAboutWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void websiteLinkOpensTheProgramsWebsite();
};

void TestAboutWindow::websiteLinkOpensTheProgramsWebsite() {
    QCursor::setPos(QPoint(3000, 3000)); // away from the window: only sent events hover
    AboutWindow about;
    auto *link = about.findChild<ActiveLink *>(QStringLiteral("Label6"));
    QVERIFY(link);
    QCOMPARE(about.websiteLink(), link);
    QList<QUrl> opened;
    link->setOpener([&](const QUrl &url) {
        opened.append(url);
        return true;
    });
    about.showAsSplash();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(link->captionLabel()->text(), ProgramWebsite);
    QVERIFY(link->isVisible());

    const QColor plain = link->captionLabel()->palette().color(QPalette::WindowText);
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(link, &enter);
    QVERIFY(link->isHot());
    QVERIFY(link->captionLabel()->font().underline());
    QVERIFY(link->captionLabel()->palette().color(QPalette::WindowText) != plain);
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);

    QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4));
    QCOMPARE(opened, QList<QUrl>{QUrl(ProgramWebsite)});
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    QVERIFY(!link->captionLabel()->font().underline());

    // The enlarged about box still shows the link above its OK button.
    about.enlarge();
    QVERIFY(about.okButton()->geometry().top() > link->geometry().bottom());
    QVERIFY(about.rect().contains(about.okButton()->geometry()));
}

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
