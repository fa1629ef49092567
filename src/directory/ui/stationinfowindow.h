// Three pages about the station playing, one per tab: its web site, the server's song
// history and the server's status page. Pages are fetched by our own code and shown as
// static rich text: no scripts, nothing loaded from disk or network for them (images stay
// blank), and a clicked link opens in the user's browser.
#pragma once

#include <QDialog>
#include <QString>
#include <QTextBrowser>
#include <QUrl>

#include "recorder/nowplaying.h"

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QPushButton;
class QTabWidget;

namespace kestrune {

class PageFetcher;

// A page view that fetches nothing by itself: every resource a page asks for (style sheets
// and the like) comes back empty, and images are drawn as blank boxes of their stated size.
// Both matter: for a missing resource the document would read a file of that name from
// disk, and the stock image handler opens an image's name as a file path by itself.
class StaticPageView : public QTextBrowser {
    Q_OBJECT
public:
    explicit StaticPageView(QWidget *parent = nullptr);
    QVariant loadResource(int type, const QUrl &name) override;
    // Shows a page's markup.
    void showPage(const QString &html);

private:
    QObject *m_blankImages = nullptr;
};

// The Song history tab's page for titles the program saw itself: one row per title, newest
// first as given, its time (hh:mm:ss) beside it. Titles are plain text.
QString SeenSongsPage(const QList<SeenSong> &songs);

class StationInfoWindow : public QDialog {
    Q_OBJECT
public:
    // Opens a link clicked in a page; QDesktopServices::openUrl unless replaced.
    using UrlOpener = std::function<void(const QUrl &)>;

    // Tab captions, which Refresh goes by.
    static constexpr char WebsiteCaption[] = "Website";
    static constexpr char HistoryCaption[] = "Song history";
    static constexpr char StatusCaption[] = "Station info";
    static constexpr qint64 MaxPageBytes = 2 * 1024 * 1024; // bytes
    static constexpr int PageTimeoutMs = 15000;             // ms

    // `stationLink` is the address the stream announced as the station's web site;
    // `serverUrl` the stream server in use. Either may be empty. Loads all three tabs.
    StationInfoWindow(QString stationLink, QString serverUrl, QWidget *parent = nullptr);
    // Titles an Icecast server listed for the station playing, newest first; nullopt for a
    // server that keeps its own history page.
    using SongHistorySource = std::function<std::optional<QList<SeenSong>>()>;
    // As above; the Song history tab shows what `history` gives, when it gives anything.
    StationInfoWindow(QString stationLink, QString serverUrl, SongHistorySource history,
                      QWidget *parent = nullptr);
    ~StationInfoWindow() override;

    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // Each loads one tab's page; an empty or unusable address leaves the tab as it is.
    void GetWebSite();
    void GetSongHistory();
    void GetArtist();

    QTabWidget *tabs() const { return m_tabs; }
    QTextBrowser *websiteView() const { return m_websiteTab.view; }
    QTextBrowser *historyView() const { return m_historyTab.view; }
    QTextBrowser *statusView() const { return m_statusTab.view; }
    QPushButton *refreshButton() const { return m_refresh; }
    QPushButton *okButton() const { return m_ok; }

Q_SIGNALS:
    // A tab's fetch ended: its page is shown, or a line saying it could not be loaded.
    void pageDone(QTextBrowser *view, bool loaded);

private:
    struct Tab {
        StaticPageView *view = nullptr;
        PageFetcher *fetcher = nullptr;
        QString address;
    };
    void load(Tab &tab, const QString &address);
    void refreshSelected();
    void openLink(Tab &tab, const QUrl &link);

    QString m_stationLink;
    QString m_serverUrl;
    SongHistorySource m_songHistory;
    UrlOpener m_openUrl;
    QNetworkAccessManager *m_manager = nullptr;
    QTabWidget *m_tabs = nullptr;
    Tab m_websiteTab;
    Tab m_historyTab;
    Tab m_statusTab;
    QPushButton *m_refresh = nullptr;
    QPushButton *m_ok = nullptr;
};

} // namespace kestrune
