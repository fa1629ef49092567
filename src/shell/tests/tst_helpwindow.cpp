// The help window and its pages, offscreen: every page from the resources, every link between
// them, what leaves the help and what is refused, the one window of the program, the website,
// and the program's own texts as the pages quote them.
#include "core/version.h"
#include "directory/directorycontroller.h"
#include "library/ui/librarywindow.h"
#include "mp3info/mpeginfo.h"
#include "mp3info/ui/tageditordialog.h"
#include "recorder/recname.h"
#include "shell/ui/helpwindow.h"
#include "shell/ui/website.h"
#include "stream/intake.h"
#include "stream/playerstatus.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextDocumentFragment>

using namespace kestrune;

namespace {

struct Link {
    QString text;
    QString href;
    int position = 0; // in the document
};

// The links and anchor names of the document the browser shows, as the browser sees them.
void scanDocument(const QTextDocument *doc, QList<Link> *links, QSet<QString> *anchors) {
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (anchors) {
                for (const QString &name : format.anchorNames())
                    anchors->insert(name);
            }
            if (links && format.isAnchor() && !format.anchorHref().isEmpty())
                links->append({fragment.text(), format.anchorHref(), fragment.position()});
        }
    }
}

QStringList helpPages() {
    QStringList pages;
    QDirIterator it(QStringLiteral(":/help"), {QStringLiteral("*.html")}, QDir::Files);
    while (it.hasNext()) {
        it.next();
        pages << it.fileName();
    }
    pages.sort();
    return pages;
}

QString pageSource(const QString &page) {
    QFile file(QStringLiteral(":/help/") + page);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString withoutAccelerator(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

QString decodeEntities(QString text) {
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return text;
}

// Every string literal of the program's own sources (not its tests, not the help, not the
// simulator), with the accelerator marks taken out.
QStringList programLiterals() {
    const QString root = QStringLiteral(KESTRUNE_TEST_SOURCE_ROOT) + QStringLiteral("/src");
    static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\\\n]|\\\\.)*)\""));
    QStringList literals;
    QDirIterator it(root, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String("/tests/")) || path.contains(QLatin1String("/help/")) ||
            path.contains(QLatin1String("/stationsim/")) ||
            path.contains(QLatin1String("/streamsynth/")))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : lines) {
            if (line.trimmed().startsWith(QLatin1String("//")))
                continue; // a quotation in a comment is not a text the program shows
            auto matches = literal.globalMatch(line);
            while (matches.hasNext()) {
                QString text = matches.next().captured(1);
                text.replace(QStringLiteral("\\\""), QStringLiteral("\""));
                text.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
                literals << withoutAccelerator(text);
            }
        }
    }
    return literals;
}

// The windows of the options dialog and the menus are built beside this work; their captions
// are quoted in the help now and found in the sources once those parts are in.
struct Recorded {
    QList<QUrl> opened;
    QStringList messages;
    bool openerAnswer = true;

    UrlOpener opener() {
        return [this](const QUrl &url) {
            opened << url;
            return openerAnswer;
        };
    }
    PlainMessage message() {
        return [this](QWidget *, const QString &text) { messages << text; };
    }
};

QUrl startPage() {
    return QUrl(HelpWindow::PagesRoot).resolved(QUrl(HelpWindow::StartTopic));
}

// Clicks the link that shows `text` in the browser, where it is drawn.
void clickLink(QTextBrowser *browser, const QString &text) {
    QList<Link> links;
    scanDocument(browser->document(), &links, nullptr);
    auto found =
        std::find_if(links.begin(), links.end(), [&](const Link &l) { return l.text == text; });
    QVERIFY2(found != links.end(), qPrintable(text));
    QTextCursor cursor(browser->document());
    cursor.setPosition(found->position + 1);
    browser->setTextCursor(cursor);
    browser->ensureCursorVisible();
    const QPoint inside = browser->cursorRect(cursor).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, inside);
}

QMessageBox *openMessageBox() {
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

} // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesLoadAndLinksResolve();
    void pagesUseTheStyleSheet();
    void startTopicAndUnknownTopics();
    void linksInsideStayInside();
    void outsideLinksGoToTheBrowser();
    void otherLinksAreNotFollowed();
    void oneHelpWindowForTheProgram();
    void oneHelpWindowWithoutMainWindow();
    void websiteOpensTheBuildsAddress();
    void pagesQuoteTheProgramsTexts();
    void captionsExistInTheProgram();
};

void HelpWindowTest::pagesLoadAndLinksResolve() {
    HelpWindow window;
    Recorded recorded;
    window.setMessageFunction(recorded.message());
    const QStringList pages = helpPages();
    QVERIFY2(pages.contains(HelpWindow::StartTopic), qPrintable(pages.join(", ")));
    QVERIFY(pages.size() >= 6);

    QHash<QString, QSet<QString>> anchorsOf;
    QHash<QString, QList<Link>> linksOf;
    for (const QString &page : pages) {
        QVERIFY2(window.showTopic(page), qPrintable(page));
        const QTextDocument *doc = window.browser()->document();
        QVERIFY2(!doc->isEmpty(), qPrintable(page));
        QVERIFY2(!window.browser()->documentTitle().isEmpty(), qPrintable(page));
        scanDocument(doc, &linksOf[page], &anchorsOf[page]);
    }
    QVERIFY2(recorded.messages.isEmpty(), qPrintable(recorded.messages.join("\n")));

    // Every link between pages leads to a page and, if it names one, to an anchor there.
    int internal = 0;
    QSet<QString> reached{HelpWindow::StartTopic};
    QStringList queue{HelpWindow::StartTopic};
    while (!queue.isEmpty()) {
        const QString page = queue.takeFirst();
        const QUrl base = QUrl(HelpWindow::PagesRoot).resolved(QUrl(page));
        for (const Link &link : linksOf.value(page)) {
            const QUrl target = base.resolved(QUrl(link.href));
            const QString where = page + QStringLiteral(": ") + link.href;
            QVERIFY2(target.scheme() == QLatin1String("qrc"), qPrintable(where));
            QVERIFY2(HelpWindow::isHelpPage(target), qPrintable(where));
            const QString targetPage = target.fileName();
            if (target.hasFragment())
                QVERIFY2(anchorsOf.value(targetPage).contains(target.fragment()),
                         qPrintable(where));
            ++internal;
            if (!reached.contains(targetPage)) {
                reached.insert(targetPage);
                queue << targetPage;
            }
        }
    }
    QVERIFY(internal > 20);
    // No page is left that the start page does not lead to.
    QCOMPARE(QSet<QString>(pages.begin(), pages.end()), reached);
}

void HelpWindowTest::pagesUseTheStyleSheet() {
    HelpWindow window;
    QVERIFY(window.showTopic(HelpWindow::StartTopic));
    // The program's captions are set in bold by the stylesheet's "ui" class.
    QList<Link> unused;
    const QTextDocument *doc = window.browser()->document();
    bool captionBold = false;
    bool bodyNormal = false;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.text() == QLatin1String("Get stations"))
                captionBold = f.charFormat().fontWeight() >= QFont::Bold;
            if (f.text().startsWith(QLatin1String("Kestrune plays internet radio")))
                bodyNormal = f.charFormat().fontWeight() < QFont::Bold;
        }
    }
    QVERIFY(captionBold);
    QVERIFY(bodyNormal);
}

void HelpWindowTest::startTopicAndUnknownTopics() {
    HelpWindow window;
    Recorded recorded;
    window.setMessageFunction(recorded.message());
    window.setUrlOpener(recorded.opener());
    QCOMPARE(window.objectName(), QStringLiteral("helpWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Kestrune Help"));

    QVERIFY(window.showTopic(QStringLiteral("Using kestrune.html")));
    QCOMPARE(window.browser()->source(), startPage());
    QCOMPARE(window.browser()->documentTitle(), QStringLiteral("Using Kestrune"));
    QVERIFY(recorded.messages.isEmpty());

    // Each of these is reported and leaves the page as it was.
    const QStringList unknown = {
        QStringLiteral("No such page.html"),    QStringLiteral(""),
        QStringLiteral("../etc/passwd"),        QStringLiteral("/etc/passwd"),
        QStringLiteral("file:///etc/passwd"),   QStringLiteral("help.css"),
        QStringLiteral("https://example.org/"), QStringLiteral("javascript:alert(1)"),
    };
    for (const QString &topic : unknown) {
        recorded.messages.clear();
        QVERIFY2(!window.showTopic(topic), qPrintable(topic));
        QCOMPARE(recorded.messages.size(), 1);
        QVERIFY2(recorded.messages.first().contains(QStringLiteral("\"") + topic + "\""),
                 qPrintable(recorded.messages.first()));
        QCOMPARE(window.browser()->source(), startPage());
    }
    QVERIFY(recorded.opened.isEmpty());

    // A topic may name a place on its page.
    QVERIFY(window.showTopic(QStringLiteral("Options.html#timeout")));
    QCOMPARE(window.browser()->source().fileName(), QStringLiteral("Options.html"));
    QCOMPARE(window.browser()->source().fragment(), QStringLiteral("timeout"));
}

void HelpWindowTest::linksInsideStayInside() {
    HelpWindow window;
    Recorded recorded;
    window.setMessageFunction(recorded.message());
    window.setUrlOpener(recorded.opener());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.showTopic(HelpWindow::StartTopic));
    QVERIFY(!window.backButton()->isEnabled());

    clickLink(window.browser(), QStringLiteral("Troubleshooting"));
    QTRY_COMPARE_WITH_TIMEOUT(window.browser()->source().fileName(),
                              QStringLiteral("Troubleshooting.html"), 5000);
    QCOMPARE(window.browser()->documentTitle(), QStringLiteral("Troubleshooting"));
    QVERIFY(window.backButton()->isEnabled());

    clickLink(window.browser(), QStringLiteral("options"));
    QTRY_COMPARE_WITH_TIMEOUT(window.browser()->source().fileName(), QStringLiteral("Options.html"),
                              5000);
    QCOMPARE(window.browser()->source().fragment(), QStringLiteral("timeout"));

    window.backButton()->click();
    QCOMPARE(window.browser()->source().fileName(), QStringLiteral("Troubleshooting.html"));
    QVERIFY(window.forwardButton()->isEnabled());
    window.forwardButton()->click();
    QCOMPARE(window.browser()->source().fileName(), QStringLiteral("Options.html"));
    window.homeButton()->click();
    QCOMPARE(window.browser()->source(), startPage());

    // An anchor on the same page only moves within it.
    clickLink(window.browser(), QStringLiteral("Recording"));
    QTRY_COMPARE_WITH_TIMEOUT(window.browser()->source().fragment(), QStringLiteral("recording"),
                              5000);
    QCOMPARE(window.browser()->source().fileName(), startPage().fileName());
    QVERIFY(recorded.opened.isEmpty());
    QVERIFY(recorded.messages.isEmpty());
}

void HelpWindowTest::outsideLinksGoToTheBrowser() {
    HelpWindow window;
    Recorded recorded;
    window.setMessageFunction(recorded.message());
    window.setUrlOpener(recorded.opener());
    QVERIFY(window.showTopic(HelpWindow::StartTopic));

    const QList<QUrl> outside = {QUrl(QStringLiteral("https://example.org/radio?x=1")),
                                 QUrl(QStringLiteral("http://example.org/")),
                                 QUrl(QStringLiteral("mailto:someone@example.org"))};
    for (const QUrl &url : outside)
        Q_EMIT window.browser()->anchorClicked(url);
    QCOMPARE(recorded.opened, outside);
    QCOMPARE(window.browser()->source(), startPage());
    QVERIFY(recorded.messages.isEmpty());

    // No browser: the user is told, with the address to type by hand.
    recorded.openerAnswer = false;
    Q_EMIT window.browser()->anchorClicked(outside.first());
    QCOMPARE(recorded.messages.size(), 1);
    QVERIFY2(recorded.messages.first().contains(QStringLiteral("https://example.org/radio?x=1")),
             qPrintable(recorded.messages.first()));
    QCOMPARE(window.browser()->source(), startPage());
}

void HelpWindowTest::otherLinksAreNotFollowed() {
    QTemporaryDir dir;
    QFile secret(dir.filePath(QStringLiteral("secret.html")));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("<html><head><title>Secret</title></head><body>secret</body></html>");
    secret.close();

    HelpWindow window;
    Recorded recorded;
    window.setMessageFunction(recorded.message());
    window.setUrlOpener(recorded.opener());
    QVERIFY(window.showTopic(HelpWindow::StartTopic));
    const QList<QUrl> refused = {QUrl::fromLocalFile(secret.fileName()),
                                 QUrl(QStringLiteral("javascript:alert(1)")),
                                 QUrl(QStringLiteral("ftp://example.org/file")),
                                 QUrl(QStringLiteral("qrc:/other/page.html")),
                                 QUrl(QStringLiteral("../../") + secret.fileName())};
    for (const QUrl &url : refused) {
        Q_EMIT window.browser()->anchorClicked(url);
        QCOMPARE(window.browser()->source(), startPage());
        QVERIFY(window.browser()->documentTitle() != QLatin1String("Secret"));
    }
    QVERIFY(recorded.opened.isEmpty());
    QVERIFY(recorded.messages.isEmpty());

    // Nor does the browser read anything outside the help for a page, whatever it names.
    QVERIFY(window.browser()
                ->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(secret.fileName()))
                .isNull());
    QVERIFY(window.browser()
                ->loadResource(QTextDocument::HtmlResource, QUrl(QStringLiteral("help.css")))
                .isValid());
}

void HelpWindowTest::oneHelpWindowForTheProgram() {
    QWidget mainWindow;
    mainWindow.show();
    QVERIFY(HTMLShowTopic(&mainWindow, 1, QString(), QStringLiteral("Using kestrune.html")));
    const auto first = mainWindow.findChildren<HelpWindow *>();
    QCOMPARE(first.size(), 1);
    HelpWindow *help = first.first();
    QVERIFY(help->isVisible());
    QVERIFY(help->isWindow());
    QCOMPARE(help->browser()->source(), startPage());

    help->close();
    QVERIFY(HTMLShowTopic(&mainWindow, 0, QStringLiteral("main"), QStringLiteral("Options.html")));
    QCOMPARE(mainWindow.findChildren<HelpWindow *>().size(), 1);
    QCOMPARE(mainWindow.findChild<HelpWindow *>(), help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->browser()->source().fileName(), QStringLiteral("Options.html"));
    // The same window, with its history.
    QVERIFY(help->backButton()->isEnabled());

    // An unknown topic: a message, and the window keeps its page.
    QVERIFY(!HTMLShowTopic(&mainWindow, 1, QString(), QStringLiteral("Missing.html")));
    QMessageBox *box = nullptr;
    QVERIFY(QTest::qWaitFor([&] { return (box = openMessageBox()) != nullptr; }, 5000));
    QVERIFY2(box->text().contains(QStringLiteral("Missing.html")), qPrintable(box->text()));
    box->close();
    QCOMPARE(help->browser()->source().fileName(), QStringLiteral("Options.html"));
    QCOMPARE(mainWindow.findChildren<HelpWindow *>().size(), 1);
}

void HelpWindowTest::oneHelpWindowWithoutMainWindow() {
    auto helpWindows = [] {
        QList<HelpWindow *> found;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *help = qobject_cast<HelpWindow *>(w))
                found << help;
        return found;
    };
    QVERIFY(helpWindows().isEmpty());
    // A first topic that does not exist still leaves a window with the start page.
    QVERIFY(!HTMLShowTopic(nullptr, 1, QString(), QStringLiteral("Missing.html")));
    QVERIFY(QTest::qWaitFor([] { return openMessageBox() != nullptr; }, 5000));
    openMessageBox()->close();
    QCOMPARE(helpWindows().size(), 1);
    QPointer<HelpWindow> help = helpWindows().first();
    QCOMPARE(help->browser()->source(), startPage());

    QVERIFY(HTMLShowTopic(nullptr, 1, QString(), QStringLiteral("Troubleshooting.html")));
    QCOMPARE(helpWindows().size(), 1);
    QCOMPARE(helpWindows().first(), help.data());
    help->close();
    QTRY_VERIFY_WITH_TIMEOUT(help.isNull(), 5000);
}

void HelpWindowTest::websiteOpensTheBuildsAddress() {
    // The address comes from the build's cache variable, not from the source.
    QCOMPARE(ProgramWebsite, QStringLiteral(KESTRUNE_TEST_WEBSITE));
    Recorded recorded;
    QWidget parent;
    QVERIFY(openWebsite(&parent, recorded.opener(), recorded.message()));
    QCOMPARE(recorded.opened, QList<QUrl>{QUrl(ProgramWebsite)});
    QVERIFY(recorded.messages.isEmpty());

    recorded.openerAnswer = false;
    QVERIFY(!openWebsite(&parent, recorded.opener(), recorded.message()));
    QCOMPARE(recorded.opened.size(), 2);
    QCOMPARE(recorded.messages.size(), 1);
    QVERIFY2(recorded.messages.first().contains(ProgramWebsite),
             qPrintable(recorded.messages.first()));
}

void HelpWindowTest::pagesQuoteTheProgramsTexts() {
    HelpWindow window;
    QString allText;
    for (const QString &page : helpPages()) {
        QVERIFY(window.showTopic(page));
        allText += window.browser()->document()->toPlainText() + QLatin1Char('\n');
    }

    // Texts of the program's windows, read from the windows themselves.
    QTemporaryDir dir;
    QString recordings = dir.path();
    LibraryWindow library(recordings, [] { return QString(); });
    QStringList quoted = {library.windowTitle()};
    for (const char *name :
         {"cmdRefresh", "cmdDelete", "cmdRename", "cmdMP3Info", "btnPlay", "btnPause", "btnStop"}) {
        auto *button = library.findChild<QPushButton *>(QLatin1String(name));
        QVERIFY2(button, name);
        quoted << withoutAccelerator(button->text());
    }
    QCOMPARE(quoted.first(), QStringLiteral("Recording Library"));

    // And the program's named texts.
    quoted << TagEditorDialog::Title << PlayerStatus::PlayingText << PlayerStatus::ResyncText
           << PlayerStatus::NextServerText << PlayerStatus::RequestingText
           << PlayerStatus::StoppedText << StreamIntake::UnableToOpenText
           << StreamIntake::UnableToPlayText << DirectoryController::NoConnectionMessage
           << FromGenre << FromStationName << QString::fromLatin1(NotMpegText);
    for (const QString &text : quoted)
        QVERIFY2(allText.contains(text), qPrintable(text));
}

void HelpWindowTest::captionsExistInTheProgram() {
    const QStringList literals = programLiterals();
    QVERIFY(literals.size() > 500);
    static const QRegularExpression captionMark(
        QStringLiteral("<span class=\"ui\">([^<]*)</span>"));
    int checked = 0;
    QStringList missing;
    for (const QString &page : helpPages()) {
        auto matches = captionMark.globalMatch(pageSource(page));
        while (matches.hasNext()) {
            const QString caption = decodeEntities(matches.next().captured(1)).simplified();
            const bool found = std::any_of(literals.begin(), literals.end(),
                                           [&](const QString &l) { return l.contains(caption); });
            if (found) {
                ++checked;
            } else {
                missing << page + QStringLiteral(": ") + caption;
            }
        }
    }
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1Char('\n'))));
    QVERIFY(checked > 80);
}

QTEST_MAIN(HelpWindowTest)
#include "tst_helpwindow.moc"
