#include "stream/playlist.h"

#include <optional>

namespace kestrune {

namespace {

// Playlists of the period came with all three line ends; the scan below knows only LF.
QString withLineFeeds(const QString &text) {
    QString out(text.size(), Qt::Uninitialized);
    QChar *to = out.data();
    const QChar *from = text.constData();
    const QChar *const end = from + text.size();
    while (from != end) {
        const QChar c = *from++;
        if (c == u'\r') {
            *to++ = u'\n';
            if (from != end && *from == u'\n')
                ++from;
        } else {
            *to++ = c;
        }
    }
    out.truncate(to - out.constData());
    return out;
}

// The first occurrence of a needle at or after a start that only moves forward. A search
// resumes past the occurrence it found last, so one scan of the text reads it once per
// needle however many entries it holds.
class ForwardFinder {
public:
    ForwardFinder(QStringView text, QStringView needle)
        : m_text(text)
        , m_needle(needle) {}

    qsizetype from(qsizetype start) {
        if (m_found == None)
            return None; // none after an earlier start, so none after this one either
        if (m_found < start)
            m_found = m_text.indexOf(m_needle, start);
        return m_found;
    }

private:
    static constexpr qsizetype NotSearched = -2;
    static constexpr qsizetype None = -1;
    QStringView m_text;
    QStringView m_needle;
    qsizetype m_found = NotSearched;
};

// The first of two needles at or after a start that only moves forward: "http://" or
// "https://", and the same after "=".
class EitherFinder {
public:
    EitherFinder(QStringView text, QStringView one, QStringView other)
        : m_one(text, one)
        , m_other(text, other) {}

    qsizetype from(qsizetype start) {
        const qsizetype a = m_one.from(start);
        const qsizetype b = m_other.from(start);
        return a < 0 ? b : b < 0 ? a : qMin(a, b);
    }

private:
    ForwardFinder m_one;
    ForwardFinder m_other;
};

// The body of a response (after its header block, when it starts with a status line), or
// the whole text.
QStringView bodyOf(QStringView text) {
    if (!text.startsWith(u"HTTP/") && !text.startsWith(u"ICY "))
        return text;
    const qsizetype end = text.indexOf(u"\n\n");
    return end < 0 ? QStringView() : text.sliced(end + 2);
}

bool isSchemeCharacter(QChar c, bool first) {
    const char16_t u = c.unicode();
    const bool letter = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    if (first)
        return letter;
    return letter || (u >= u'0' && u <= u'9') || u == u'+' || u == u'-' || u == u'.';
}

// "scheme://" and something after it.
bool isAddressLine(QStringView line) {
    const qsizetype colon = line.indexOf(u"://");
    if (colon <= 0 || colon + 3 >= line.size())
        return false;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(line.at(i), i == 0))
            return false;
    }
    return true;
}

// An http or https address, its scheme in lower case as the stream client wants it; empty
// for any other line.
QString serverAddress(QStringView line) {
    for (const QStringView scheme : {QStringView(u"http://"), QStringView(u"https://")}) {
        if (!line.startsWith(scheme, Qt::CaseInsensitive))
            continue;
        if (line.size() > MaxAddressLength)
            return QString();
        for (const QChar c : line) {
            if (c.unicode() <= 32 || c.unicode() == 127)
                return QString();
        }
        return scheme.toString() + line.sliced(scheme.size()).toString();
    }
    return QString();
}

// The servers of an M3U body; unset when the body is no M3U.
std::optional<PlaylistServers> parseM3u(QStringView body) {
    if (body.startsWith(u'\xfeff'))
        body = body.sliced(1);
    const bool tagged = body.startsWith(u"#EXTM3U");
    bool anyLine = false;
    PlaylistServers result;
    for (QStringView line : body.tokenize(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (!isAddressLine(line)) {
            if (!tagged)
                return std::nullopt;
            continue;
        }
        anyLine = true;
        if (const QString address = serverAddress(line); !address.isEmpty())
            result.servers << address;
    }
    if (!tagged && !anyLine)
        return std::nullopt;
    result.anyAddress = !result.servers.isEmpty();
    return result;
}

} // namespace

PlaylistServers ParsePlaylist(const QString &original) {
    const QString buffer = withLineFeeds(original);
    const QStringView text(buffer);
    if (auto m3u = parseM3u(bodyOf(text)))
        return *std::move(m3u);

    // A secure address is an address like any other.
    const QStringView Http = u"http://";
    const QStringView Https = u"https://";
    const QStringView EqualsHttp = u"=http://";
    const QStringView EqualsHttps = u"=https://";
    const auto takes = [](QStringView address) { return address.size() <= MaxAddressLength; };

    // `start` plays the part of cutting the text's head off: everything before it is gone.
    qsizetype start = 0;
    if (const qsizetype p = text.indexOf(u"[playlist]"); p >= 0) {
        start = qMin(p + 27, text.size());
        const qsizetype lf = text.indexOf(u'\n', start);
        start = lf >= 0 ? lf + 1 : text.size();
    }
    if (const qsizetype c = EitherFinder(text, EqualsHttp, EqualsHttps).from(start); c >= 0)
        start = c + 1;

    PlaylistServers result;
    EitherFinder nextHttp(text, Http, Https);
    ForwardFinder nextLineFeed(text, u"\n");
    EitherFinder nextEntry(text, EqualsHttp, EqualsHttps);
    for (;;) {
        const qsizetype a = nextHttp.from(start);
        const qsizetype b = nextLineFeed.from(start);
        const qsizetype c = nextEntry.from(start);
        if (a < 0 || b < 0 || c < 0)
            break;
        if (b > a) {
            const QStringView entry = text.sliced(a, b - a);
            if (takes(entry) && !entry.contains(u"stream"))
                result.servers << entry.toString();
        }
        start = c + 1;
    }
    // The last entry: taken whatever its address says, but only with a line break after it.
    const qsizetype a = nextHttp.from(start);
    const qsizetype b = nextLineFeed.from(start);
    if (a >= 0 && b > a && takes(text.sliced(a, b - a)))
        result.servers << text.sliced(a, b - a).toString();
    result.anyAddress = a >= 0;
    return result;
}

QString PlaylistRefusal(const QByteArray &response) {
    const qsizetype lineEnd = response.indexOf('\n');
    const QByteArray line = (lineEnd < 0 ? response : response.left(lineEnd)).trimmed();
    if (!line.startsWith("HTTP/") && !line.startsWith("ICY "))
        return QString();
    const QList<QByteArray> words = line.split(' ');
    const QByteArray code = words.value(1);
    bool numeric = false;
    const int status = code.toInt(&numeric);
    if (code.size() == 3 && numeric && status >= 200 && status <= 299)
        return QString();
    // Shown as plain text: printable ASCII only, and not a whole page of it.
    QString answer = QString::fromLatin1(line.mid(line.indexOf(' ') + 1).left(100));
    for (QChar &c : answer) {
        if (c.unicode() < 32 || c.unicode() > 126)
            c = u'?';
    }
    return answer.simplified();
}

} // namespace kestrune
