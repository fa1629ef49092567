#include "directory/pageparser.h"

#include "core/numbertext.h"
#include "directory/directoryquery.h"

namespace kestrune {

namespace {

// The markers the station loop looks for.
enum Marker { Playlist, Ampersand, GenreStart, FontEnd, LinkId, Quote, LinkEnd, Cell, TagStart };
constexpr int MarkerCount = TagStart + 1;
const QString MarkerText[MarkerCount] = {
    QStringLiteral("/sbin/shoutcast-playlist.pls"),
    QStringLiteral("&"),
    QStringLiteral("<b>["),
    QStringLiteral("</font>"),
    QStringLiteral("_scurl"),
    QStringLiteral("\""),
    QStringLiteral("</a>"),
    QStringLiteral("#FFFFFF"),
    QStringLiteral("<"),
};

// The text still to be scanned, with 1-based positions relative to where the scan stands:
// 0 means "not found". The scan only ever moves forward, so the page is never copied: the
// rest is an offset into it. Each marker's next occurrence is remembered, and so is its
// absence (none from here on means none further on either); a marker is therefore searched
// for over every part of the page at most once, and a missing one costs nothing per row.
class Scan {
public:
    explicit Scan(const QString &page)
        : m_page(page) {
        for (qsizetype &at : m_next)
            at = Unknown;
    }

    qsizetype find(Marker marker) {
        qsizetype &at = m_next[marker];
        if (at == Unknown || (at >= 0 && at < m_pos))
            at = m_page.indexOf(MarkerText[marker], m_pos);
        return at < 0 ? 0 : at - m_pos + 1;
    }
    // The rest from character k on; a k below 1 leaves it as it is.
    void drop(qsizetype k) {
        if (k >= 1)
            m_pos = k - 1 >= m_page.size() - m_pos ? m_page.size() : m_pos + k - 1;
    }
    // Puts the first n characters into `field`; a negative n leaves the field as it was.
    void take(qsizetype n, QString &field) const {
        if (n >= 0)
            field = m_page.mid(m_pos, n);
    }
    bool startsWith(const QString &text) const {
        return QStringView(m_page).sliced(m_pos).startsWith(text);
    }

private:
    static constexpr qsizetype Unknown = -2;

    const QString &m_page;
    qsizetype m_pos = 0;
    qsizetype m_next[MarkerCount];
};

// Removes "&amp;" from a station name the way the shared text replacement does, in one pass:
// positions are visited one after another up to the name's first length, and a deletion
// moves the next visit one past the characters that close the gap, so of two adjacent
// entities the second stays ("A&amp;&amp;B" shows as "A&amp;B").
void removeAmpEntities(QString &name) {
    static const QString entity = QStringLiteral("&amp;");
    const qsizetype n = name.size();
    if (n < entity.size() || !name.contains(entity))
        return;
    const QStringView text(name);
    QString kept;
    kept.reserve(n);
    qsizetype copied = 0; // text before this is in `kept` or deleted
    qsizetype at = 0;     // the next position visited, in the unchanged text
    while (at + entity.size() <= n) {
        if (text.sliced(at, entity.size()) == entity) {
            kept += text.sliced(copied, at - copied);
            copied = at + entity.size();
            at += entity.size() + 1;
        } else {
            ++at;
        }
    }
    kept += text.sliced(copied);
    name = kept;
}

// Leading and trailing blanks off; other white space belongs to the text.
QString trimBlanks(const QString &text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// One paging link: the address is cut out of the 50 characters before the button text on,
// from after "?startat=" up to the closing quote.
PagingUpdate readPaging(const QString &page, const QString &buttonText, const QString &current,
                        const QString &directoryHost) {
    PagingUpdate update;
    const qsizetype p = page.indexOf(buttonText) + 1;
    if (p == 0) {
        update.state = PagingUpdate::State::Disabled;
        return update;
    }
    QString url = current;
    if (p - 50 >= 1) {
        url = page.mid(p - 50 - 1);
        update.urlChanged = true;
    }
    const qsizetype s = url.indexOf(QLatin1String("?startat=")) + 1;
    if (s > 0) {
        url = url.mid(s + 9 - 1);
        update.urlChanged = true;
        const qsizetype q = url.indexOf(QLatin1Char('"')) + 1;
        if (q > 0) {
            url = directoryHost +
                  QStringLiteral("/directory/?sGenre=sGenre&numresult=25&startat=") +
                  url.left(q - 1);
            update.state = PagingUpdate::State::Enabled;
        }
    }
    if (update.urlChanged)
        update.url = url;
    return update;
}

} // namespace

ParsedPage ReadList(const QString &page, qint16 maxBitrate, const QString &directoryHost,
                    const QString &nextPageUrl, const QString &previousPageUrl) {
    ParsedPage result;
    result.next = readPaging(page, QStringLiteral("[ Next ]"), nextPageUrl, directoryHost);
    result.previous =
        readPaging(page, QStringLiteral("[ Previous ]"), previousPageUrl, directoryHost);

    // The fields and positions outlive a row on purpose: a row whose marker is missing
    // shows the previous row's value, and a missing position reuses the previous one.
    QString id, genre, name, nowPlaying, listeners, bitrateText;
    qsizetype f = 0, q = 0, t = 0;

    Scan rest(page);
    qsizetype p = 0;
    while ((p = rest.find(Playlist)) > 0) {
        rest.drop(p + 32); // marker and "?rn="
        const qsizetype a = rest.find(Ampersand);
        if (a == 0)
            continue;
        rest.take(a - 1, id);
        rest.drop(a);

        const qsizetype g = rest.find(GenreStart);
        if (g > 0) {
            rest.drop(g + 3);
            f = rest.find(FontEnd);
            rest.take(f - 1, genre);
        }
        rest.drop(f);

        const qsizetype u = rest.find(LinkId);
        if (u > 0) {
            rest.drop(u + 14); // _scurl" href="
            q = rest.find(Quote);
            rest.take(q - 1, name);
        }
        rest.drop(q + 2); // the link's closing quote and ">"
        const qsizetype e = rest.find(LinkEnd);
        rest.take(e - 1, name);
        removeAmpEntities(name);
        rest.drop(e + 46);

        if (rest.startsWith(QStringLiteral("Now Playing:"))) {
            rest.drop(21); // "Now Playing:</font> "
            const qsizetype f2 = rest.find(FontEnd);
            QString song = nowPlaying;
            rest.take(f2 - 1, song);
            nowPlaying = trimBlanks(song);
            rest.drop(f2);
        } else {
            nowPlaying = QStringLiteral("Unknown");
        }

        qsizetype h = rest.find(Cell);
        rest.drop(h + 9); // #FFFFFF">
        t = rest.find(TagStart);
        rest.take(t - 1, listeners);
        rest.drop(t);

        h = rest.find(Cell);
        rest.drop(h + 9);
        t = rest.find(TagStart);
        rest.take(t - 1, bitrateText);
        const double bitrate = LeadingNumber(bitrateText);
        rest.drop(t);

        if (bitrate <= maxBitrate) {
            ++result.stationCount;
            result.rows.append({name, genre, listeners, bitrateText, nowPlaying,
                                QStringLiteral("/sbin/shoutcast-playlist.pls?rn=") + id});
        }
    }

    result.caption = SignedNumber(result.stationCount) + QStringLiteral(" stations found.");
    result.statusText = QStringLiteral("Status: Ready");
    return result;
}

} // namespace kestrune
