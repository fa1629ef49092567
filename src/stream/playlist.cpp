#include "stream/playlist.h"

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

} // namespace

PlaylistServers ParsePlaylist(const QString &original) {
    const QString buffer = withLineFeeds(original);
    const QStringView text(buffer);
    const QStringView Http = u"http://";
    const QStringView EqualsHttp = u"=http://";
    const auto takes = [](QStringView address) { return address.size() <= MaxAddressLength; };

    // `start` plays the part of cutting the text's head off: everything before it is gone.
    qsizetype start = 0;
    if (const qsizetype p = text.indexOf(u"[playlist]"); p >= 0) {
        start = qMin(p + 27, text.size());
        const qsizetype lf = text.indexOf(u'\n', start);
        start = lf >= 0 ? lf + 1 : text.size();
    }
    if (const qsizetype c = text.indexOf(EqualsHttp, start); c >= 0)
        start = c + 1;

    PlaylistServers result;
    ForwardFinder nextHttp(text, Http);
    ForwardFinder nextLineFeed(text, u"\n");
    ForwardFinder nextEntry(text, EqualsHttp);
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
