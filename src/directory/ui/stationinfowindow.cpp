#include "directory/ui/stationinfowindow.h"

#include "recorder/nowplaying.h"
#include "recorder/pagefetcher.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTabWidget>
#include <QTextImageFormat>
#include <QTextObjectInterface>
#include <QVBoxLayout>

namespace kestrune {

namespace {

bool isWebAddress(const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// Lays out an image as the blank box its width and height attributes give, and draws
// nothing: the picture is never looked for.
class BlankImageHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument *, int, const QTextFormat &format) override {
        const QTextImageFormat image = format.toImageFormat();
        return QSizeF(qMax(0.0, image.width()), qMax(0.0, image.height()));
    }
    void drawObject(QPainter *, const QRectF &, QTextDocument *, int,
                    const QTextFormat &) override {}
};

} // namespace

StaticPageView::StaticPageView(QWidget *parent)
    : QTextBrowser(parent)
    , m_blankImages(new BlankImageHandler(this)) {}

QVariant StaticPageView::loadResource(int, const QUrl &) {
    return QByteArray();
}

void StaticPageView::showPage(const QString &html) {
    // Set each time: the handler belongs to the document's layout, not to the view.
    document()->documentLayout()->registerHandler(QTextFormat::ImageObject, m_blankImages);
    setHtml(html);
}

QString SeenSongsPage(const QList<SeenSong> &songs) {
    if (songs.isEmpty())
        return QStringLiteral("<html><body><p>No song titles seen yet.</p></body></html>");
    QString html = QStringLiteral("<html><body><table cellpadding=2 cellspacing=0>\n");
    for (const SeenSong &song : songs)
        html += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>\n")
                    .arg(song.firstSeen.toString(QStringLiteral("hh:mm:ss")),
                         song.title.toHtmlEscaped());
    return html + QStringLiteral("</table></body></html>");
}

StationInfoWindow::StationInfoWindow(QString stationLink, QString serverUrl, QWidget *parent)
    : StationInfoWindow(std::move(stationLink), std::move(serverUrl), SongHistorySource(), parent) {
}

StationInfoWindow::StationInfoWindow(QString stationLink, QString serverUrl,
                                     SongHistorySource history, QWidget *parent)
    : QDialog(parent)
    , m_stationLink(std::move(stationLink))
    , m_serverUrl(std::move(serverUrl))
    , m_songHistory(std::move(history))
    , m_openUrl([](const QUrl &url) { QDesktopServices::openUrl(url); })
    , m_manager(new QNetworkAccessManager(this))
    , m_tabs(new QTabWidget(this))
    , m_refresh(new QPushButton(tr("&Refresh"), this))
    , m_ok(new QPushButton(tr("OK"), this)) {
    setObjectName(QStringLiteral("frmStationInfo"));
    setWindowTitle(tr("Station info"));
    m_tabs->setObjectName(QStringLiteral("SSActiveTabs2"));
    m_refresh->setObjectName(QStringLiteral("cmdRefresh"));
    m_ok->setObjectName(QStringLiteral("Command1"));
    m_ok->setDefault(true);

    const auto addTab = [this](Tab &tab, const char *objectName, const char *caption) {
        tab.view = new StaticPageView(m_tabs);
        tab.view->setObjectName(QLatin1String(objectName));
        tab.view->setOpenLinks(false);
        tab.view->setOpenExternalLinks(false);
        tab.fetcher = new PageFetcher(m_manager, this);
        tab.fetcher->setMaxBytes(MaxPageBytes);
        tab.fetcher->setTimeoutMs(PageTimeoutMs);
        connect(tab.view, &QTextBrowser::anchorClicked, this,
                [this, &tab](const QUrl &link) { openLink(tab, link); });
        connect(tab.fetcher, &PageFetcher::pageFetched, this,
                [this, &tab](const QString &, const QByteArray &body, const QByteArray &type) {
                    tab.view->showPage(DecodeStatusPage(body, type));
                    Q_EMIT pageDone(tab.view, true);
                });
        connect(tab.fetcher, &PageFetcher::fetchFailed, this,
                [this, &tab](const QString &address, const QString &reason) {
                    tab.view->setPlainText(tr("%1 could not be loaded: %2.").arg(address, reason));
                    Q_EMIT pageDone(tab.view, false);
                });
        m_tabs->addTab(tab.view, QLatin1String(caption));
    };
    addTab(m_websiteTab, "WebBrowser1", WebsiteCaption);
    addTab(m_historyTab, "WebBrowser4", HistoryCaption);
    addTab(m_statusTab, "WebBrowser3", StatusCaption);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_refresh);
    buttons->addWidget(m_ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(m_refresh, &QPushButton::clicked, this, &StationInfoWindow::refreshSelected);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    m_tabs->setCurrentIndex(0);
    GetWebSite();
    GetSongHistory();
    GetArtist();
}

StationInfoWindow::~StationInfoWindow() {
    // The fetches go before the manager whose replies they hold.
    for (Tab *tab : {&m_websiteTab, &m_historyTab, &m_statusTab}) {
        delete tab->fetcher;
        tab->fetcher = nullptr;
    }
}

void StationInfoWindow::GetWebSite() {
    // The address comes from the stream's header: anything but a web address (a local file,
    // a script) is not followed.
    if (isWebAddress(QUrl(m_stationLink)))
        load(m_websiteTab, m_stationLink);
}

void StationInfoWindow::GetSongHistory() {
    // An Icecast server keeps no history page: the titles the program saw stand in for it.
    if (const std::optional<QList<SeenSong>> seen =
            m_songHistory ? m_songHistory() : std::nullopt) {
        m_historyTab.fetcher->abort();
        m_historyTab.view->showPage(SeenSongsPage(*seen));
        Q_EMIT pageDone(m_historyTab.view, true);
        return;
    }
    if (!m_serverUrl.isEmpty())
        load(m_historyTab, m_serverUrl + QLatin1String("/played.html"));
}

void StationInfoWindow::GetArtist() {
    if (!m_serverUrl.isEmpty())
        load(m_statusTab, m_serverUrl);
}

void StationInfoWindow::load(Tab &tab, const QString &address) {
    if (tab.fetcher->fetch(address))
        tab.address = address;
}

void StationInfoWindow::refreshSelected() {
    const QString caption = m_tabs->tabText(m_tabs->currentIndex());
    if (caption == QLatin1String(WebsiteCaption))
        GetWebSite();
    else if (caption == QLatin1String(HistoryCaption))
        GetSongHistory();
    else if (caption == QLatin1String(StatusCaption))
        GetArtist();
}

void StationInfoWindow::openLink(Tab &tab, const QUrl &link) {
    if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
        tab.view->scrollToAnchor(link.fragment());
        return;
    }
    const QUrl target = link.isRelative() ? QUrl(tab.address).resolved(link) : link;
    if (isWebAddress(target) && m_openUrl)
        m_openUrl(target);
}

} // namespace kestrune

#include "stationinfowindow.moc"
