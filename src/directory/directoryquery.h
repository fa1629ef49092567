// Asking the station directory for a page: the query address built from the genre and
// bandwidth boxes, the progress texts shown while a page arrives, and the download itself,
// which writes the page into a temporary file and hands it on joined into one line.
#pragma once

#include "core/numbertext.h"
#include "net/redirectchain.h"

#include <QByteArray>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QTimer;

namespace kestrune {

// The word the directory is asked for. A sub-genre entry ("- Drum and Bass") loses its first
// two characters; note that any "-" in the text counts, wherever it stands. The top entry
// is asked for as "TopTen".
QString GenreWord(const QString &genreText);

// The query text: host + "/directory/?sgenre=" + genre word as it is (blanks, "&" and "/"
// are not encoded) + "&numresult=25&maxbitrate=" + limit.
QString QueryUrlText(const QString &directoryHost, const QString &genreWord, qint16 maxBitrate);

// The limit a bandwidth entry stands for; an edited text keeps `current`.
qint16 MaxBitrateAfter(const QString &bandwidthText, qint16 current);

// The number after "Content-length:" (any case) in a response header text, and whether the
// name was found at all. Blanks, tabs and line feeds after the colon are skipped; the digits
// up to the first other character count (0 when there are none).
std::optional<qint32> ContentLengthIn(const QString &headerText);

// A downloaded page as the parser wants it: every line (ending in LF, CR LF or a lone CR)
// joined without a separator, so a marker broken over two lines becomes whole again.
// UTF-8 when the bytes are valid UTF-8, else Latin-1 (older pages).
QString JoinPageLines(const QByteArray &bytes);

// Reads the temporary page file joined as above and deletes it. A file that cannot be read
// gives an empty page.
QString TakePageFile(const QString &path);

// Whether `url` is on the directory itself: the scheme, host and port of `directoryHost` (a
// scheme's usual port counts when none is written). Only such addresses are fetched; a page
// is outside text, and a link in it could otherwise send the download anywhere, a local
// file included.
bool IsDirectoryAddress(const QString &url, const QString &directoryHost);

// Why a directory download failed: the code DirectoryDownload::failed carries.
enum class DownloadError : int {
    // Any failure not named here is reported as this plus the QNetworkReply::NetworkError
    // value: a 404 gives 1203, a page broken off halfway 1002. Up to 1499.
    OtherFailureBase = 1000,
    // No network, or the host name does not resolve.
    NoConnection = 1001,
    // The host refused the connection, did not answer in time, or closed it before
    // answering.
    CannotConnect = 1004,
    // The page grew past DirectoryDownload::MaxPageBytes and was abandoned.
    PageTooLarge = 1600,
    // The address is not on the directory host (see IsDirectoryAddress); nothing was fetched.
    AddressRefused = 1601,
    // A redirect that is not followed: a loop, a sixth hop, or a target that is neither http
    // nor https (DirectoryDownload::failureText says which, and where it led).
    RedirectFailed = 1602,
    // An https directory whose certificate does not verify, or with which no secure
    // connection could be made (failureText names the host and the reason).
    SecureConnectionFailed = 1603,
};

// The progress texts of a directory download. The counting state lives as long as the
// window and is kept across downloads: a download that never reaches its full length leaves
// the count running, and the next download goes on from the old figures.
class DownloadProgress {
public:
    struct Update {
        std::optional<QString> caption; // the grid caption, when it changes
        std::optional<QString> title;   // the window title, when it changes
    };

    // One chunk of `chunk` bytes has arrived. `directoryBytes` is the window's running byte
    // count for this download (incremented here); `headerText` is the response header as
    // text, empty while it is not known; `caption` is the grid caption as it is now (a
    // "Prebuffering" caption of the player is not overwritten).
    Update onProgress(qint32 chunk, const QString &headerText, const QString &caption,
                      qint32 &directoryBytes);

    bool counting() const { return m_counting; }
    qint32 contentLength() const { return m_contentLength; }
    qint32 receivedCount() const { return m_receivedCount; }

private:
    bool m_counting = false;
    qint32 m_contentLength = 0;
    qint32 m_receivedCount = 0;
};

// Downloads one directory page at a time into the temporary file. Every download starts from
// no file at all, and a new download abandons the one running without a word from it, its
// partial page removed, so no page ever carries rows of another.
class DirectoryDownload : public QObject {
    Q_OBJECT
public:
    inline static const QString TemporaryFileName = QStringLiteral("$$tmp.kt");
    // The largest page taken, in bytes of the body. Real pages are a few tens of kilobytes;
    // past this the directory is sending something else, or never stops.
    static constexpr qint64 MaxPageBytes = 8 * 1024 * 1024;

    // The temporary file goes into `programFolder`, or, when that one is not a writable
    // folder, into the user's own cache folder, which is created (or closed) for the owner
    // alone. Never into the shared temporary folder, where another user's file or a planted
    // link would take its place. The directory host is DirectoryHost() until set otherwise.
    explicit DirectoryDownload(const QString &programFolder, QObject *parent = nullptr);
    ~DirectoryDownload() override;

    QString temporaryFilePath() const { return m_tempPath; }

    // The longest a page may take from the request to its last byte, in ms. Data that keeps
    // coming (a header without end, a page sent a byte at a time) would otherwise keep the
    // search going for ever, since the transfer time-out only counts silence.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    // Only addresses on this host are fetched. Its redirects are followed to any http or
    // https address (RedirectChain's rules); a page's own links stay on the host.
    void setDirectoryHost(const QString &host) { m_host = host; }
    QString directoryHost() const { return m_host; }

    // Starts downloading `url` (built from text as it is; blanks go out as %20). Any page
    // file there is removed first. An address off the directory host fails with
    // AddressRefused, signalled from the event loop like any other failure.
    void start(const QString &url);
    // Stops the running download and removes its partial page; nothing is signalled for it.
    void abort();
    bool isRunning() const { return m_reply != nullptr; }

    // The page of the download that has just finished, lines joined (JoinPageLines), and the
    // page file removed. Empty when the download wrote no page file of its own.
    QString takePage();

    // The response header as text: status line, then "Name: value" lines, each ending in
    // CR LF, then the blank line. Empty until the header has arrived.
    QString headerText() const { return m_headerText; }
    // The status code and reason phrase of the last answer (0 and empty before one came):
    // what `failed` had to say about an error status.
    int httpStatus() const { return m_httpStatus; }
    QString reasonPhrase() const { return m_reasonPhrase; }

    // Why the last download failed with RedirectFailed or SecureConnectionFailed; empty
    // otherwise.
    QString failureText() const { return m_failureText; }

    // How a network error is reported: a DownloadError value, or OtherFailureBase plus the
    // error. Exposed for tests.
    static int failureCode(int networkError, bool anyDataReceived);

Q_SIGNALS:
    void progress(qint32 chunk, const QString &headerText);
    // The whole page is in the temporary file.
    void finished();
    // `code` as failureCode() gives it.
    void failed(int code);

private:
    // Sends the request for one address of the redirect chain.
    void request(const QUrl &url);
    void onHeader();
    void onReadyRead();
    void onFinished();
    void writeAvailable();
    void readStatus();
    void fail(DownloadError code);
    void detachReply();
    void closeFile();
    void discardPageFile();

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QString m_host;
    QFile m_file;
    QString m_tempPath;
    bool m_fileCreated = false; // this download made the page file
    bool m_fileFailed = false;  // and could not write all of the page into it
    quint64 m_attempt = 0;      // a refusal still to be signalled belongs to this one
    qint64 m_bodyBytes = 0;
    bool m_headerCounted = false; // the header block went into a progress count
    QString m_headerText;
    int m_httpStatus = 0;
    QString m_reasonPhrase;
    bool m_anyData = false;
    // The answer in hand is a redirect: its body is no page.
    bool m_redirecting = false;
    RedirectChain m_redirects{QStringLiteral("The directory")};
    QString m_failureText;
    // What the certificate check of the current request said.
    QList<QSslError> m_sslErrors;
    QTimer *m_deadline = nullptr;
    int m_timeLimitMs = 60000;
};

} // namespace kestrune
