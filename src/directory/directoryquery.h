// Asking the station directory for a page: the query address built from the genre and
// bandwidth boxes, the progress texts shown while a page arrives, and the download itself,
// which writes the page into a temporary file and hands it on joined into one line.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QNetworkAccessManager;

namespace kestrune {

// A number as the directory texts show it: one leading blank when it is not negative
// (" 25 stations found.", "Loading stations:  5120 bytes received").
QString SignedNumber(qint64 n);

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

// Downloads one directory page at a time into the temporary file. A new download aborts the
// one running without a word from it.
class DirectoryDownload : public QObject {
    Q_OBJECT
public:
    inline static const QString TemporaryFileName = QStringLiteral("$$tmp.kt");

    // Codes of `failed`. Only these two are reported to the user.
    static constexpr int NoConnection = 1001;
    static constexpr int CannotConnect = 1004;
    // Any other failure is OtherFailureBase + the network error value (a 404 gives 1203).
    static constexpr int OtherFailureBase = 1000;

    // The temporary file goes into `programFolder`, or into the system's temporary folder
    // when that one is not writable.
    explicit DirectoryDownload(const QString &programFolder, QObject *parent = nullptr);
    ~DirectoryDownload() override;

    QString temporaryFilePath() const { return m_tempPath; }

    // Starts downloading `url` (built from text as it is; blanks go out as %20). With
    // `deleteOldFile` an existing temporary file is removed first; otherwise new data is
    // appended to whatever it holds.
    void start(const QString &url, bool deleteOldFile);
    // Stops the running download; nothing is signalled for it.
    void abort();
    bool isRunning() const { return m_reply != nullptr; }

    // The response header as text: status line, then "Name: value" lines, each ending in
    // CR LF, then the blank line. Empty until the header has arrived.
    QString headerText() const { return m_headerText; }

    // How a network error is reported; exposed for tests.
    static int failureCode(int networkError, bool anyDataReceived);

Q_SIGNALS:
    void progress(qint32 chunk, const QString &headerText);
    // The whole page is in the temporary file.
    void finished();
    void failed(int code);

private:
    void onHeader();
    void onReadyRead();
    void onFinished();
    void writeAvailable();
    void closeFile();

    QNetworkAccessManager *m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    QString m_tempPath;
    bool m_headerCounted = false; // the header block went into a progress count
    QString m_headerText;
    bool m_anyData = false;
};

} // namespace kestrune
