#include "directory/pageparser.h"

#include "core/fileutil.h"
#include "directory/directoryquery.h"

namespace kestrune {

namespace {

const QString PlaylistMarker = QStringLiteral("/sbin/shoutcast-playlist.pls");

// The text still to be scanned, with 1-based positions: 0 means "not found".
class Scan {
public:
    explicit Scan(const QString &text)
        : m_rest(text) {}

    qsizetype find(const QString &marker) const { return m_rest.indexOf(marker) + 1; }
    // The rest from character k on; a k below 1 leaves it as it is.
    void drop(qsizetype k) {
        if (k >= 1)
            m_rest = k - 1 >= m_rest.size() ? QString() : m_rest.mid(k - 1);
    }
    // Puts the first n characters into `field`; a negative n leaves the field as it was.
    void take(qsizetype n, QString &field) const {
        if (n >= 0)
            field = m_rest.left(n);
    }
    bool startsWith(const QString &text) const { return m_rest.startsWith(text); }

private:
    QString m_rest;
};

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

double LeadingNumber(const QString &text) {
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('+') || t[end] == QLatin1Char('-')))
        ++end;
    const qsizetype digitsStart = end;
    bool point = false;
    while (end < t.size() && (t[end].isDigit() || (!point && t[end] == QLatin1Char('.')))) {
        if (t[end] == QLatin1Char('.'))
            point = true;
        ++end;
    }
    bool ok = false;
    const double value = end > digitsStart ? t.left(end).toDouble(&ok) : 0.0;
    return ok ? value : 0.0;
}

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
    while ((p = rest.find(PlaylistMarker)) > 0) {
        rest.drop(p + 32); // marker and "?rn="
        const qsizetype a = rest.find(QStringLiteral("&"));
        if (a == 0)
            continue;
        rest.take(a - 1, id);
        rest.drop(a);

        const qsizetype g = rest.find(QStringLiteral("<b>["));
        if (g > 0) {
            rest.drop(g + 3);
            f = rest.find(QStringLiteral("</font>"));
            rest.take(f - 1, genre);
        }
        rest.drop(f);

        const qsizetype u = rest.find(QStringLiteral("_scurl"));
        if (u > 0) {
            rest.drop(u + 14); // _scurl" href="
            q = rest.find(QStringLiteral("\""));
            rest.take(q - 1, name);
        }
        rest.drop(q + 2); // the link's closing quote and ">"
        const qsizetype e = rest.find(QStringLiteral("</a>"));
        rest.take(e - 1, name);
        ReplaceText(name, QStringLiteral("&amp;"), QString());
        rest.drop(e + 46);

        if (rest.startsWith(QStringLiteral("Now Playing:"))) {
            rest.drop(21); // "Now Playing:</font> "
            const qsizetype f2 = rest.find(QStringLiteral("</font>"));
            QString song = nowPlaying;
            rest.take(f2 - 1, song);
            nowPlaying = song;
            // Only blanks are trimmed; other white space belongs to the title.
            while (nowPlaying.startsWith(QLatin1Char(' ')))
                nowPlaying.remove(0, 1);
            while (nowPlaying.endsWith(QLatin1Char(' ')))
                nowPlaying.chop(1);
            rest.drop(f2);
        } else {
            nowPlaying = QStringLiteral("Unknown");
        }

        qsizetype h = rest.find(QStringLiteral("#FFFFFF"));
        rest.drop(h + 9); // #FFFFFF">
        t = rest.find(QStringLiteral("<"));
        rest.take(t - 1, listeners);
        rest.drop(t);

        h = rest.find(QStringLiteral("#FFFFFF"));
        rest.drop(h + 9);
        t = rest.find(QStringLiteral("<"));
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
