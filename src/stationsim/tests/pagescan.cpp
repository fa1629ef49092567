#include "pagescan.h"

namespace {

// "Rest from position P + k" with P the 1-based position of a marker is index p + k with p
// its 0-based index; the player counts 1-based, so the distances below are its numbers.
QString upTo(const QString &text, qsizetype from, const QString &end, qsizetype *endAt) {
    const qsizetype at = text.indexOf(end, from);
    if (endAt)
        *endAt = at;
    return at < 0 ? QString() : text.mid(from, at - from);
}

// The number in a link shortly before `label`, read as the player does: the last
// "?startat=" within the 50 characters before it, up to the next double quote.
int linkNumber(const QString &text, const QString &label) {
    const qsizetype at = text.indexOf(label);
    if (at < 0)
        return -1;
    const qsizetype from = qMax(qsizetype(0), at - 50);
    const QString window = text.mid(from, at - from);
    const qsizetype s = window.lastIndexOf(QLatin1String("?startat="));
    if (s < 0)
        return -2;
    const QString number = upTo(window, s + 9, QStringLiteral("\""), nullptr);
    bool ok = false;
    const int value = number.toInt(&ok);
    return ok ? value : -3;
}

} // namespace

QString joinedLines(const QByteArray &html) {
    QString text = QString::fromUtf8(html);
    text.remove(u'\r');
    text.remove(u'\n');
    return text;
}

ScannedPage scanDirectoryPage(const QByteArray &html) {
    const QString text = joinedLines(html);
    ScannedPage page;
    page.next = linkNumber(text, QStringLiteral("[ Next ]"));
    page.previous = linkNumber(text, QStringLiteral("[ Previous ]"));

    qsizetype from = 0;
    for (;;) {
        const qsizetype p = text.indexOf(QLatin1String("/sbin/shoutcast-playlist.pls"), from);
        if (p < 0)
            break;
        ScannedRow row;
        const auto fail = [&](const char *why) {
            page.problem = QStringLiteral("row %1: %2").arg(page.rows.size()).arg(why);
            return page;
        };
        row.id = upTo(text, p + 32, QStringLiteral("&"), nullptr);
        const qsizetype g = text.indexOf(QLatin1String("<b>["), p);
        if (g < 0)
            return fail("no genre");
        row.genre = upTo(text, g + 3, QStringLiteral("</font>"), nullptr);
        const qsizetype u = text.indexOf(QLatin1String("_scurl"), g);
        if (u < 0)
            return fail("no station link");
        qsizetype q = -1;
        row.url = upTo(text, u + 14, QStringLiteral("\""), &q);
        if (q < 0)
            return fail("unterminated address");
        qsizetype e = -1;
        row.name = upTo(text, q + 2, QStringLiteral("</a>"), &e);
        if (e < 0)
            return fail("unterminated name");
        const QString playing = text.mid(e + 46);
        row.hasSong = playing.startsWith(QLatin1String("Now Playing:"));
        if (row.hasSong)
            row.song = upTo(playing, 20, QStringLiteral("</font>"), nullptr);
        const qsizetype h = text.indexOf(QLatin1String("#FFFFFF"), e);
        if (h < 0)
            return fail("no listeners");
        row.listeners = upTo(text, h + 9, QStringLiteral("<"), nullptr);
        const qsizetype b = text.indexOf(QLatin1String("#FFFFFF"), h + 1);
        if (b < 0)
            return fail("no bit rate");
        row.bitrate = upTo(text, b + 9, QStringLiteral("<"), nullptr);
        page.rows << row;
        from = b + 1;
    }
    return page;
}
