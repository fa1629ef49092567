#include "directory/directorycontroller.h"

#include "core/numbertext.h"
#include "directory/choices.h"

namespace kestrune {

DirectoryController::DirectoryController(DirectoryState &state, const QString &programFolder,
                                         QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_download(programFolder)
    , m_host(DirectoryHost()) {
    m_download.setDirectoryHost(m_host);
    connect(&m_download, &DirectoryDownload::progress, this, &DirectoryController::onProgress);
    connect(&m_download, &DirectoryDownload::finished, this, &DirectoryController::onFinished);
    connect(&m_download, &DirectoryDownload::failed, this, &DirectoryController::onFailed);
    connect(&m_radioBrowser, &RadioBrowserClient::searchFinished, this,
            &DirectoryController::onRadioBrowserPage);
    connect(&m_radioBrowser, &RadioBrowserClient::searchFailed, this,
            &DirectoryController::onRadioBrowserFailed);
}

void DirectoryController::setDirectoryHost(const QString &host) {
    m_host = host;
    m_download.setDirectoryHost(host);
}

void DirectoryController::getStations(const QString &genreText, const QString &bandwidthText,
                                      const QString &currentCaption) {
    m_lastCaption = currentCaption;
    m_lastBandwidth = bandwidthText;
    Q_EMIT busyChanged(true);
    Q_EMIT getStationsEnabled(false);
    m_state.NextPageUrl.clear();
    m_state.PreviousPageUrl.clear();
    m_state.DirectoryBytes = 0;
    Q_EMIT statusText(SearchingStatus);
    setCaption(SearchingCaption);
    m_state.MaxBitrate = MaxBitrateAfter(bandwidthText, m_state.MaxBitrate);
    // Only one search runs, whichever directory it asks.
    m_download.abort();
    m_radioBrowser.abortSearch();
    if (m_radioBrowserSource && m_radioBrowserSource()) {
        m_pageIsRadioBrowser = true;
        m_radioBrowserGenre = genreText;
        m_radioBrowserHasNext = false;
        Q_EMIT gridCleared();
        m_state.StationCount = 0;
        m_state.DirectoryPage.clear();
        radioBrowserPage(0);
        return;
    }
    m_pageIsRadioBrowser = false;
    m_stations.clear();
    const QString word = GenreWord(genreText);
    Q_EMIT gridCleared();
    m_state.DirectoryUrl = QueryUrlText(m_host, word, m_state.MaxBitrate);
    m_state.StationCount = 0;
    m_state.DirectoryPage.clear();
    m_download.start(m_state.DirectoryUrl);
}

void DirectoryController::next() {
    if (m_pageIsRadioBrowser) {
        if (m_radioBrowserHasNext) {
            clearForPage();
            radioBrowserPage(m_radioBrowserOffset + RadioBrowserPageSize);
        }
        return;
    }
    page(m_state.NextPageUrl);
}

void DirectoryController::previous() {
    if (m_pageIsRadioBrowser) {
        if (m_radioBrowserOffset > 0) {
            clearForPage();
            radioBrowserPage(qMax(0, m_radioBrowserOffset - RadioBrowserPageSize));
        }
        return;
    }
    page(m_state.PreviousPageUrl);
}

void DirectoryController::clearForPage() {
    Q_EMIT closePlaylistSocketRequested();
    setCaption(SearchingCaption);
    Q_EMIT gridCleared();
    m_state.DirectoryBytes = 0;
    m_state.StationCount = 0;
    m_state.DirectoryPage.clear();
}

void DirectoryController::radioBrowserPage(int offset) {
    m_radioBrowserOffset = offset;
    const QString path = RadioBrowserSearchPath(m_radioBrowserGenre, m_state.MaxBitrate, offset);
    m_state.DirectoryUrl = m_radioBrowser.currentServer() + path;
    m_radioBrowser.search(path);
}

void DirectoryController::onRadioBrowserPage(const RadioBrowserPage &page) {
    m_state.MaxBitrate = MaxBitrateAfter(currentBandwidth(), m_state.MaxBitrate);
    Q_EMIT gridCleared();
    m_playlistPaths.clear();
    m_stations.clear();
    for (const RadioBrowserStation &station : page.stations) {
        // The limit is the server's to apply; one that ignores it is held to it here.
        if (m_state.MaxBitrate != NoBitrateLimit && station.bitrate > m_state.MaxBitrate)
            continue;
        const StationRow row = station.row();
        Q_EMIT rowAdded(row.name, row.cells());
        m_playlistPaths.append(row.playlistPath);
        m_stations.append(station);
    }
    Q_EMIT playlistPathsChanged(m_playlistPaths);
    m_state.StationCount = qint32(m_stations.size());
    // A full page may have more behind it; the paths are kept for whoever shows the state.
    m_radioBrowserHasNext = page.entries >= RadioBrowserPageSize;
    m_state.NextPageUrl = m_radioBrowserHasNext
                              ? RadioBrowserSearchPath(m_radioBrowserGenre, m_state.MaxBitrate,
                                                       m_radioBrowserOffset + RadioBrowserPageSize)
                              : QString();
    m_state.PreviousPageUrl =
        m_radioBrowserOffset > 0
            ? RadioBrowserSearchPath(m_radioBrowserGenre, m_state.MaxBitrate,
                                     qMax(0, m_radioBrowserOffset - RadioBrowserPageSize))
            : QString();
    Q_EMIT nextEnabled(m_radioBrowserHasNext);
    Q_EMIT previousEnabled(m_radioBrowserOffset > 0);
    setCaption(SignedNumber(m_state.StationCount) + QStringLiteral(" stations found."));
    Q_EMIT statusText(ReadyStatus);
    Q_EMIT busyChanged(false);
    Q_EMIT getStationsEnabled(true);
}

void DirectoryController::onRadioBrowserFailed(const RadioBrowserClient::Result &result) {
    switch (result.failure) {
    case RadioBrowserClient::Failure::NoConnection:
        endFailedSearch(NoConnectionCaption, NoConnectionMessage);
        return;
    case RadioBrowserClient::Failure::TooLarge:
        endFailedSearch(QLatin1Char(' ') + PageTooLargeMessage, PageTooLargeMessage);
        return;
    case RadioBrowserClient::Failure::Status: {
        QString answer = QString::number(result.httpStatus);
        if (!result.reasonPhrase.isEmpty())
            answer += QLatin1Char(' ') + result.reasonPhrase;
        const QString text = ErrorStatusMessage + answer;
        endFailedSearch(QLatin1Char(' ') + text, text);
        return;
    }
    case RadioBrowserClient::Failure::Secure: {
        const QString text = FailedCaption.trimmed() + QLatin1Char(' ') + result.failureText;
        endFailedSearch(QLatin1Char(' ') + text, text);
        return;
    }
    case RadioBrowserClient::Failure::Malformed:
    case RadioBrowserClient::Failure::Other:
        break;
    }
    endFailedSearch(currentCaption().contains(QLatin1String("Prebuffering")) ? QString()
                                                                             : FailedCaption,
                    QString());
}

void DirectoryController::page(const QString &url) {
    if (!IsDirectoryAddress(url, m_host))
        return;
    clearForPage();
    m_download.start(url);
}

void DirectoryController::selectionChanged() {
    m_radioBrowserHasNext = false;
    m_radioBrowserOffset = 0;
    m_state.NextPageUrl.clear();
    m_state.PreviousPageUrl.clear();
    Q_EMIT nextEnabled(false);
    Q_EMIT previousEnabled(false);
}

void DirectoryController::onProgress(qint32 chunk, const QString &headerText) {
    const DownloadProgress::Update update =
        m_progress.onProgress(chunk, headerText, currentCaption(), m_state.DirectoryBytes);
    if (update.caption)
        setCaption(*update.caption);
    if (update.title)
        Q_EMIT titleChanged(*update.title);
}

void DirectoryController::onFinished() {
    m_state.DirectoryPage = m_download.takePage();
    m_state.MaxBitrate = MaxBitrateAfter(currentBandwidth(), m_state.MaxBitrate);
    const ParsedPage parsed = ReadList(m_state.DirectoryPage, m_state.MaxBitrate, m_host,
                                       m_state.NextPageUrl, m_state.PreviousPageUrl);

    Q_EMIT gridCleared();
    m_playlistPaths.clear();
    for (const StationRow &row : parsed.rows) {
        Q_EMIT rowAdded(row.name, row.cells());
        m_playlistPaths.append(row.playlistPath);
    }
    Q_EMIT playlistPathsChanged(m_playlistPaths);
    m_state.StationCount = parsed.stationCount;
    applyPaging(parsed.next, m_state.NextPageUrl, &DirectoryController::nextEnabled);
    applyPaging(parsed.previous, m_state.PreviousPageUrl, &DirectoryController::previousEnabled);
    setCaption(parsed.caption);
    Q_EMIT statusText(parsed.statusText);
    Q_EMIT busyChanged(false);
    Q_EMIT getStationsEnabled(true);
}

void DirectoryController::onFailed(int code) {
    const DownloadError error = DownloadError(code);
    if (error == DownloadError::NoConnection || error == DownloadError::CannotConnect) {
        endFailedSearch(NoConnectionCaption, NoConnectionMessage);
    } else if (error == DownloadError::PageTooLarge) {
        endFailedSearch(QLatin1Char(' ') + PageTooLargeMessage, PageTooLargeMessage);
    } else if (error == DownloadError::RedirectFailed ||
               error == DownloadError::SecureConnectionFailed) {
        const QString text = FailedCaption.trimmed() + QLatin1Char(' ') + m_download.failureText();
        endFailedSearch(QLatin1Char(' ') + text, text);
    } else if (m_download.httpStatus() >= 300) {
        // A redirect that could not be followed (a loop, or off the directory) ends on its
        // own answer, which says more than a bare failure.
        QString answer = QString::number(m_download.httpStatus());
        const QString reason = m_download.reasonPhrase().simplified();
        if (!reason.isEmpty())
            answer += QLatin1Char(' ') + reason;
        const QString text = ErrorStatusMessage + answer;
        endFailedSearch(QLatin1Char(' ') + text, text);
    } else {
        // Not worth a message box, but the caption must not go on counting bytes; a caption
        // of the player's stays, as it does while a page loads.
        endFailedSearch(currentCaption().contains(QLatin1String("Prebuffering")) ? QString()
                                                                                 : FailedCaption,
                        QString());
    }
}

// Whatever went wrong, nothing may go on saying that stations are being searched.
void DirectoryController::endFailedSearch(const QString &caption, const QString &messageText) {
    if (!caption.isEmpty())
        setCaption(caption);
    Q_EMIT statusText(ReadyStatus);
    if (!messageText.isEmpty())
        Q_EMIT message(messageText);
    Q_EMIT busyChanged(false);
    Q_EMIT getStationsEnabled(true);
}

void DirectoryController::applyPaging(const PagingUpdate &update, QString &url,
                                      void (DirectoryController::*signal)(bool)) {
    if (update.urlChanged)
        url = update.url;
    // A page is outside text: a link it carries is followed only when it leads back to the
    // directory. A partial link kept from the page text usually does not.
    PagingUpdate::State state = update.state;
    if (state != PagingUpdate::State::Disabled && !IsDirectoryAddress(url, m_host))
        state = PagingUpdate::State::Disabled;
    if (state == PagingUpdate::State::Enabled)
        Q_EMIT(this->*signal)(true);
    else if (state == PagingUpdate::State::Disabled)
        Q_EMIT(this->*signal)(false);
}

void DirectoryController::setCaption(const QString &text) {
    m_lastCaption = text;
    Q_EMIT captionChanged(text);
}

QString DirectoryController::currentCaption() const {
    return m_captionSource ? m_captionSource() : m_lastCaption;
}

QString DirectoryController::currentBandwidth() const {
    return m_bandwidthSource ? m_bandwidthSource() : m_lastBandwidth;
}

} // namespace kestrune
