#include "shell/ui/helpwindow.h"

#include "components/namedbutton.h"
#include "core/version.h"
#include "shell/ui/logo.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QTextBrowser>
#include <QVBoxLayout>

// The pages sit in a static library: nothing would pull their object file into the program, so
// they are registered by name (Q_INIT_RESOURCE must be called outside any namespace).
static void registerHelpPages() {
    Q_INIT_RESOURCE(help);
}

namespace kestrune {

namespace {

void ensureHelpPages() {
    static const bool registered = [] {
        registerHelpPages();
        return true;
    }();
    Q_UNUSED(registered);
}

const QString HelpFolder = QStringLiteral("/help/");
const QString StyleSheetResource = QStringLiteral(":/help/help.css");
const QString WindowName = QStringLiteral("helpWindow");

bool insideHelp(const QUrl &url) {
    return url.scheme() == QLatin1String("qrc") && url.host().isEmpty() &&
           url.path().startsWith(HelpFolder);
}

bool isOutsideAddress(const QUrl &url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
           scheme == QLatin1String("mailto");
}

// The browser reads nothing but the help's own resources: a page that names a file on disk, a
// web address or another resource folder gets nothing, whatever the text browser would do.
class HelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl &name) override {
        QUrl url = name;
        if (url.isRelative()) {
            // Every page lives in the one folder, so the folder itself is the base when the
            // page being left or loaded is not known yet.
            const QUrl base = insideHelp(source()) ? source() : QUrl(HelpWindow::PagesRoot);
            url = base.resolved(name);
        }
        if (!insideHelp(url))
            return {};
        url.setFragment({});
        return QTextBrowser::loadResource(type, url);
    }
};

QString readStyleSheet() {
    QFile file(StyleSheetResource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_opener(desktopUrlOpener())
    , m_message(nonBlockingMessage()) {
    ensureHelpPages();
    setObjectName(WindowName);
    setWindowTitle(Title);
    setWindowIcon(programIcon());

    m_browser = new HelpBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    // Links are followed here, never by the text browser itself: only this window knows which
    // ones stay inside the help.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    m_browser->document()->setDefaultStyleSheet(readStyleSheet());
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);

    m_backButton = namedButton("helpBack", QStringLiteral("< &Back"), this);
    m_forwardButton = namedButton("helpForward", QStringLiteral("&Forward >"), this);
    m_homeButton = namedButton("helpHome", QStringLiteral("&Home"), this);
    m_backButton->setEnabled(false);
    m_forwardButton->setEnabled(false);
    connect(m_backButton, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forwardButton, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_homeButton, &QPushButton::clicked, this, [this] { showTopic(StartTopic); });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_backButton, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forwardButton, &QPushButton::setEnabled);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_backButton);
    buttons->addWidget(m_forwardButton);
    buttons->addWidget(m_homeButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);
    resize(640, 560);
}

void HelpWindow::setUrlOpener(UrlOpener opener) {
    m_opener = opener ? std::move(opener) : desktopUrlOpener();
}

void HelpWindow::setMessageFunction(PlainMessage message) {
    m_message = message ? std::move(message) : nonBlockingMessage();
}

QUrl HelpWindow::topicUrl(const QString &topic) {
    if (topic.trimmed().isEmpty())
        return {};
    const QUrl relative(topic, QUrl::TolerantMode);
    if (!relative.isValid() || !relative.isRelative())
        return {};
    const QUrl url = QUrl(PagesRoot).resolved(relative);
    return insideHelp(url) ? url : QUrl();
}

bool HelpWindow::isHelpPage(const QUrl &url) {
    ensureHelpPages();
    if (!insideHelp(url) || !url.path().endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
        return false;
    return QFileInfo(QLatin1Char(':') + url.path()).isFile();
}

bool HelpWindow::showTopic(const QString &topic) {
    return showPage(topicUrl(topic), topic);
}

bool HelpWindow::showPage(const QUrl &page, const QString &asked) {
    if (!isHelpPage(page)) {
        tell(QStringLiteral("The help page \"%1\" could not be found.").arg(asked));
        return false;
    }
    m_browser->setSource(page, QTextDocument::HtmlResource);
    if (m_browser->document()->isEmpty()) {
        tell(QStringLiteral("The help page \"%1\" could not be shown.").arg(asked));
        return false;
    }
    return true;
}

void HelpWindow::followLink(const QUrl &link) {
    if (isOutsideAddress(link)) {
        if (!m_opener(link))
            tell(noBrowserText(link));
        return;
    }
    if (!link.isRelative() && !insideHelp(link))
        return; // file:, javascript: and the like: never followed, never handed on
    const QUrl base = insideHelp(m_browser->source()) ? m_browser->source() : QUrl(PagesRoot);
    const QUrl target = base.resolved(link);
    if (insideHelp(target))
        showPage(target, link.toString()); // the same page with an anchor only scrolls
}

void HelpWindow::tell(const QString &text) {
    m_message(this, text);
}

bool HTMLShowTopic(QWidget *mainWindow, int helpFile, const QString &window, const QString &topic) {
    Q_UNUSED(helpFile);
    Q_UNUSED(window);
    HelpWindow *help = nullptr;
    if (mainWindow) {
        help = mainWindow->findChild<HelpWindow *>(WindowName, Qt::FindDirectChildrenOnly);
    } else {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *found = qobject_cast<HelpWindow *>(w); found && !found->parent()) {
                help = found;
                break;
            }
        }
    }
    const bool fresh = help == nullptr;
    if (fresh) {
        help = new HelpWindow(mainWindow);
        // Without a main window to own it, the window goes when it is closed.
        if (!mainWindow)
            help->setAttribute(Qt::WA_DeleteOnClose);
    }
    // Shown first, so that a message about the topic has a window to sit on.
    help->show();
    help->raise();
    help->activateWindow();
    const bool shown = help->showTopic(topic);
    if (!shown && fresh)
        help->showTopic(HelpWindow::StartTopic);
    return shown;
}

} // namespace kestrune
