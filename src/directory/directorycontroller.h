// The station directory's logic behind the main window: the Get stations, Next and Previous
// buttons, the download of a page and the station list read from it. The controller shows
// nothing itself; each of its signals maps onto one widget change, so the window only
// forwards them.
#pragma once

#include "directory/directoryquery.h"
#include "directory/directorystate.h"
#include "directory/pageparser.h"
#include "directory/radiobrowser.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace kestrune {

class DirectoryController : public QObject {
    Q_OBJECT
public:
    using TextSource = std::function<QString()>;

    inline static const QString SearchingCaption = QStringLiteral(" Searching...");
    inline static const QString SearchingStatus = QStringLiteral("Status: Searching stations");
    inline static const QString NoConnectionCaption =
        QStringLiteral(" Error loading stations. No connection?");
    inline static const QString NoConnectionMessage =
        QStringLiteral("Error loading stations. No connection?");
    inline static const QString PageTooLargeMessage =
        QStringLiteral("Error loading stations. The directory page is too large");
    // Followed by the status code and reason phrase: "... answered 404 Not Found".
    inline static const QString ErrorStatusMessage =
        QStringLiteral("Error loading stations. The directory answered ");
    // The caption after any other failure; no message box is shown for those.
    inline static const QString FailedCaption = QStringLiteral(" Error loading stations.");
    inline static const QString ReadyStatus = QStringLiteral("Status: Ready");

    // `state` is the window's own directory state (the window shows its figures); it must
    // outlive the controller. The temporary page file goes into `programFolder` (see
    // DirectoryDownload). The directory host is DirectoryHost() until set otherwise.
    DirectoryController(DirectoryState &state, const QString &programFolder,
                        QObject *parent = nullptr);

    // Also the only host pages are fetched from: paging links elsewhere are not followed.
    void setDirectoryHost(const QString &host);
    QString directoryHost() const { return m_host; }

    // The grid caption as it is now. The player writes into the same caption ("Prebuffering"),
    // so the window should hand over a source; without one the controller goes by the last
    // caption it set or was told of.
    void setCaptionSource(TextSource source) { m_captionSource = std::move(source); }
    void noteCaption(const QString &caption) { m_lastCaption = caption; }
    // The bandwidth box text as it is now; a finished page is filtered by the limit the box
    // shows then. Without a source the text of the last Get stations counts.
    void setBandwidthSource(TextSource source) { m_bandwidthSource = std::move(source); }
    // Whether Get stations asks the JSON directory rather than the classic pages; asked at
    // each Get stations, so a changed setting counts from the next search on. Without a
    // source the classic pages are asked.
    void setRadioBrowserSource(std::function<bool()> source) {
        m_radioBrowserSource = std::move(source);
    }

    // Get stations: a new query for the genre and bandwidth box texts.
    void getStations(const QString &genreText, const QString &bandwidthText,
                     const QString &currentCaption);
    // The paging buttons: fetch the page the last page linked to. A link that does not lead
    // to the directory host is not followed: nothing happens (its button is disabled).
    void next();
    void previous();
    // The genre or bandwidth box was clicked: the paging links no longer apply.
    void selectionChanged();

    const DirectoryState &state() const { return m_state; }
    // The playlist path of each grid row, in row order.
    const QStringList &playlistPaths() const { return m_playlistPaths; }
    const DownloadProgress &downloadProgress() const { return m_progress; }
    DirectoryDownload &download() { return m_download; }
    RadioBrowserClient &radioBrowser() { return m_radioBrowser; }
    // Whether a page is being fetched, from either directory.
    bool isSearching() const { return m_download.isRunning() || m_radioBrowser.isSearching(); }
    // Whether the rows shown came from the JSON directory; its stations then stand row for
    // row in radioBrowserStations().
    bool pageIsRadioBrowser() const { return m_pageIsRadioBrowser; }
    const QList<RadioBrowserStation> &radioBrowserStations() const { return m_stations; }

Q_SIGNALS:
    void busyChanged(bool busy); // busy cursor on, or restored
    void getStationsEnabled(bool enabled);
    void statusText(const QString &text); // status panel 1
    void captionChanged(const QString &text);
    void titleChanged(const QString &text); // the window title
    void gridCleared();
    void rowAdded(const QString &name, const QStringList &cells);
    void playlistPathsChanged(const QStringList &paths);
    void nextEnabled(bool enabled);
    void previousEnabled(bool enabled);
    // The playlist connection (owned by the connection manager) should be closed.
    void closePlaylistSocketRequested();
    // A message box text.
    void message(const QString &text);

private:
    void page(const QString &url);
    void onProgress(qint32 chunk, const QString &headerText);
    void onFinished();
    void onFailed(int code);
    void radioBrowserPage(int offset);
    void onRadioBrowserPage(const RadioBrowserPage &page);
    void onRadioBrowserFailed(const RadioBrowserClient::Result &result);
    void clearForPage();
    void endFailedSearch(const QString &caption, const QString &messageText);
    void setCaption(const QString &text);
    void applyPaging(const PagingUpdate &update, QString &url,
                     void (DirectoryController::*signal)(bool));
    QString currentCaption() const;
    QString currentBandwidth() const;

    DirectoryState &m_state;
    DirectoryDownload m_download;
    DownloadProgress m_progress;
    QString m_host;
    TextSource m_captionSource;
    TextSource m_bandwidthSource;
    QString m_lastCaption;
    QString m_lastBandwidth;
    QStringList m_playlistPaths;
    RadioBrowserClient m_radioBrowser;
    std::function<bool()> m_radioBrowserSource;
    bool m_pageIsRadioBrowser = false; // the rows shown (or being fetched)
    QList<RadioBrowserStation> m_stations;
    QString m_radioBrowserGenre;  // the genre box text of the last Get stations
    int m_radioBrowserOffset = 0; // of the page shown or being fetched
    bool m_radioBrowserHasNext = false;
};

} // namespace kestrune
