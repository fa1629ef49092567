#include "recorder/nowplaying.h"

#include "recorder/icecaststatus.h"
#include "recorder/pagefetcher.h"

#include <QNetworkAccessManager>
#include <QStringDecoder>

#include <array>

namespace kestrune {

namespace {

bool isAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isTagSpace(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

// Only ASCII letters change: a name with other characters keeps its length.
QString asciiUpper(QStringView text) {
    QString out = text.toString();
    for (QChar &c : out) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return out;
}

// Index of the '>' that ends a tag whose name ends at `from`, or -1. A '>' inside a quoted
// attribute value does not end it; when a quote never closes, the first '>' does, as
// browsers recover.
qsizetype tagEnd(const QString &html, qsizetype from) {
    QChar quote;
    QChar previous;
    for (qsizetype i = from; i < html.size(); ++i) {
        const QChar c = html.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'>')
            return i;
        if ((c == u'"' || c == u'\'') && previous == u'=')
            quote = c;
        if (!isTagSpace(c))
            previous = c;
    }
    return quote.isNull() ? -1 : html.indexOf(u'>', from);
}

// Elements whose content is text, not markup: a "<" inside them opens no tag.
bool isRawTextElement(const QString &upperName) {
    return upperName == QLatin1String("SCRIPT") || upperName == QLatin1String("STYLE") ||
           upperName == QLatin1String("TEXTAREA") || upperName == QLatin1String("XMP");
}

// The bytes 0x80 to 0x9F of windows-1252; the five it leaves open map to the C1 controls,
// as browsers do.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(QByteArrayView bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *to = out.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *to++ = QChar(b >= 0x80 && b <= 0x9F ? Windows1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

// Decodes with the character set a label names, or nullopt when the label names none we
// know. Labels browsers read as windows-1252 are read so here too.
std::optional<QString> decodeAs(QByteArray label, QByteArrayView bytes) {
    label = label.trimmed().toLower();
    if (label.isEmpty())
        return std::nullopt;
    static const QList<QByteArray> western = {
        "windows-1252",   "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
        "iso_8859-1",     "latin1", "l1",       "ascii",      "us-ascii",
        "ansi_x3.4-1968", "cp819",  "ibm819",   "iso-ir-100", "csisolatin1"};
    if (western.contains(label))
        return fromWindows1252(bytes);
    QStringDecoder decoder(label.constData());
    if (!decoder.isValid())
        return std::nullopt;
    // Malformed sequences become replacement characters, as in a browser.
    return QString(decoder.decode(bytes));
}

QByteArray charsetParameter(const QByteArray &value) {
    const QByteArray lower = value.toLower();
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0)
        return {};
    QByteArray rest = value.mid(at + 8).trimmed();
    if (rest.startsWith('"') || rest.startsWith('\'')) {
        const char quote = rest.at(0);
        const qsizetype close = rest.indexOf(quote, 1);
        return close < 0 ? rest.mid(1) : rest.mid(1, close - 1);
    }
    qsizetype end = 0;
    while (end < rest.size() && !QByteArrayView(";, \t\r\n\"'/>").contains(rest.at(end)))
        ++end;
    return rest.left(end);
}

// The charset a <meta> tag near the top of the page names, if any.
QByteArray metaCharset(const QByteArray &body) {
    const QByteArray head = body.left(4096).toLower();
    qsizetype at = 0;
    while ((at = head.indexOf("<meta", at)) >= 0) {
        const qsizetype end = head.indexOf('>', at);
        const QByteArray tag = head.mid(at, end < 0 ? -1 : end - at);
        const QByteArray charset = charsetParameter(tag);
        if (!charset.isEmpty())
            return charset;
        if (end < 0)
            break;
        at = end;
    }
    return {};
}

} // namespace

QString NormaliseStatusMarkup(const QString &html) {
    QString out;
    out.reserve(html.size() + html.size() / 16);
    qsizetype bodyStart = -1;
    qsizetype bodyEnd = -1;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        if (html.at(i) != u'<') {
            qsizetype next = html.indexOf(u'<', i);
            if (next < 0)
                next = n;
            out += QStringView(html).mid(i, next - i);
            i = next;
            continue;
        }
        // Comments and declarations pass unchanged.
        if (QStringView(html).mid(i, 4) == QLatin1String("<!--")) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), i + 4);
            const qsizetype stop = close < 0 ? n : close + 3;
            out += QStringView(html).mid(i, stop - i);
            i = stop;
            continue;
        }
        if (i + 1 < n && (html.at(i + 1) == u'!' || html.at(i + 1) == u'?')) {
            const qsizetype close = html.indexOf(u'>', i);
            const qsizetype stop = close < 0 ? n : close + 1;
            out += QStringView(html).mid(i, stop - i);
            i = stop;
            continue;
        }
        const bool closing = i + 1 < n && html.at(i + 1) == u'/';
        const qsizetype nameStart = i + 1 + (closing ? 1 : 0);
        if (nameStart >= n || !isAsciiLetter(html.at(nameStart))) {
            out += u'<'; // a "<" that opens no tag is text
            ++i;
            continue;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < n && !isTagSpace(html.at(nameEnd)) && html.at(nameEnd) != u'/' &&
               html.at(nameEnd) != u'>')
            ++nameEnd;
        const qsizetype end = tagEnd(html, nameEnd);
        if (end < 0) {
            out += QStringView(html).mid(i); // a tag cut off by the page's end
            break;
        }
        const QString name = asciiUpper(QStringView(html).mid(nameStart, nameEnd - nameStart));
        if (!closing && (name == QLatin1String("TR") || name == QLatin1String("TD") ||
                         name == QLatin1String("TH")))
            out += QLatin1String("\r\n");
        const bool isBody = name == QLatin1String("BODY");
        if (closing && isBody && bodyStart >= 0 && bodyEnd < 0)
            bodyEnd = out.size();
        out += u'<';
        if (closing)
            out += u'/';
        out += name;
        out += QStringView(html).mid(nameEnd, end + 1 - nameEnd);
        i = end + 1;
        if (!closing && isBody && bodyStart < 0)
            bodyStart = out.size();
        if (!closing && isRawTextElement(name)) {
            // Up to the element's own end tag, whatever it holds.
            const QString endTag = QLatin1String("</") + name;
            const qsizetype close = html.indexOf(endTag, i, Qt::CaseInsensitive);
            const qsizetype stop = close < 0 ? n : close;
            out += QStringView(html).mid(i, stop - i);
            i = stop;
        }
    }
    if (bodyStart < 0)
        return out;
    return out.mid(bodyStart, (bodyEnd < 0 ? out.size() : bodyEnd) - bodyStart);
}

std::optional<QString> SongFromStatusPage(const QString &normalised) {
    const qsizetype label = normalised.indexOf(QLatin1String("Current Song"));
    if (label < 0)
        return std::nullopt;
    // Past the page's end the rest is empty, and so is the song.
    const QStringView rest =
        QStringView(normalised).mid(qMin(label + SongOffset, normalised.size()));
    const qsizetype close = rest.indexOf(QLatin1String("</B>"));
    if (close < 0)
        return QString();
    return rest.left(close).toString();
}

QString DecodeStatusPage(const QByteArray &body, const QByteArray &contentTypeHeader) {
    if (body.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(body).sliced(3));
    if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(body.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE);
        return decoder.decode(QByteArrayView(body).sliced(2));
    }
    if (std::optional<QString> text = decodeAs(charsetParameter(contentTypeHeader), body))
        return *text;
    QByteArray meta = metaCharset(body);
    // A page that could be read to find its meta tag is not UTF-16, whatever the tag says.
    if (meta.startsWith("utf-16"))
        meta = "utf-8";
    if (std::optional<QString> text = decodeAs(meta, body))
        return *text;
    return fromWindows1252(body);
}

NowPlayingTracker::NowPlayingTracker(std::function<QString()> currentUrl, QObject *parent)
    : QObject(parent)
    , m_currentUrl(std::move(currentUrl))
    , m_manager(new QNetworkAccessManager(this))
    , m_fetcher(new PageFetcher(m_manager, this))
    , m_statusFetcher(new PageFetcher(m_manager, this)) {
    m_statusFetcher->setMaxBytes(MaxIcecastStatusBytes);
    m_statusFetcher->setAcceptsJson(true);
    connect(m_fetcher, &PageFetcher::pageFetched, this, &NowPlayingTracker::onPage);
    // An Icecast mount answers the page fetch with audio, which the fetch refuses.
    connect(m_fetcher, &PageFetcher::fetchFailed, this,
            [this](const QString &address, const QString &) { noSongOnPage(address); });
    connect(m_statusFetcher, &PageFetcher::pageFetched, this,
            [this](const QString &, const QByteArray &body, const QByteArray &) {
                onIcecastStatus(body);
            });
}

NowPlayingTracker::~NowPlayingTracker() {
    // The fetches go before the manager whose replies they hold.
    delete m_fetcher;
    delete m_statusFetcher;
}

void NowPlayingTracker::GetArtist() {
    const QString address = m_currentUrl ? m_currentUrl() : QString();
    if (address.isEmpty())
        return;
    m_statusFetcher->abort();
    m_pollStarted.start();
    m_fetcher->fetch(address);
}

std::optional<QList<SeenSong>> NowPlayingTracker::icecastHistory() const {
    if (m_icecastAddress.isEmpty() || !m_currentUrl || m_currentUrl() != m_icecastAddress)
        return std::nullopt;
    return m_history;
}

void NowPlayingTracker::clearHistory() {
    m_icecastAddress.clear();
    m_history.clear();
}

void NowPlayingTracker::onPage(const QString &address, const QByteArray &body,
                               const QByteArray &contentType) {
    // A reply for a server or station that is no longer playing must not change the song.
    if (!m_currentUrl || address != m_currentUrl())
        return;
    const std::optional<QString> song =
        SongFromStatusPage(NormaliseStatusMarkup(DecodeStatusPage(body, contentType)));
    if (!song) {
        noSongOnPage(address);
        return;
    }
    if (m_icecastAddress == address)
        clearHistory(); // the server keeps its own history page after all
    Q_EMIT songRead(song->isEmpty() ? QString::fromLatin1(UnknownSong) : *song);
}

void NowPlayingTracker::noSongOnPage(const QString &address) {
    if (!m_currentUrl || address != m_currentUrl() || !m_streamHead ||
        !IsIcecastResponse(m_streamHead()))
        return;
    const QUrl status = IcecastStatusUrl(address);
    // What is left of the poll's time; the next poll must not find this one still running.
    const qint64 left = PollBudgetMs - m_pollStarted.elapsed();
    if (status.isEmpty() || left < 100)
        return;
    if (m_icecastAddress != address) {
        m_history.clear();
        m_icecastAddress = address;
    }
    m_statusFor = address;
    m_statusFetcher->setTimeoutMs(int(left));
    m_statusFetcher->fetch(status.toString());
}

void NowPlayingTracker::onIcecastStatus(const QByteArray &body) {
    const QString address = m_statusFor;
    if (!m_currentUrl || address != m_currentUrl())
        return;
    const std::optional<QString> song =
        IcecastSongFromStatus(body, QUrl(address).path(QUrl::FullyDecoded));
    if (!song)
        return;
    noteTitle(address, *song);
    Q_EMIT songRead(song->isEmpty() ? QString::fromLatin1(UnknownSong) : *song);
}

void NowPlayingTracker::noteTitle(const QString &address, const QString &title) {
    if (m_icecastAddress != address) {
        m_history.clear();
        m_icecastAddress = address;
    }
    if (title.isEmpty() || (!m_history.isEmpty() && m_history.first().title == title))
        return;
    m_history.prepend({QDateTime::currentDateTime(), title});
    if (m_history.size() > MaxHistory)
        m_history.removeLast();
}

} // namespace kestrune
