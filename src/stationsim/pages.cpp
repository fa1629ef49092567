#include "stationsim/pages.h"

#include <QUrl>

namespace kestrune::stationsim {

namespace {

QByteArray utf8(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

// Titles and headings use the escaped text; the genre in a row is shown as given, only
// made harmless, because clients read it back verbatim.
QString rowGenre(const QString &genre) {
    QString out = genre;
    out.replace(u'<', QLatin1String("&lt;"));
    out.replace(u'>', QLatin1String("&gt;"));
    return out;
}

QByteArray pageHead(const QString &title) {
    return "<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" + htmlEscape(title).toUtf8() +
           "</title>\n</head>\n<body>\n";
}

constexpr char PageFoot[] = "</body>\n</html>\n";

} // namespace

QString htmlEscape(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString withoutControls(const QString &text) {
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return out;
}

QString homeUrl(quint16 directoryPort, const QString &id) {
    return QStringLiteral("http://127.0.0.1:%1/home/%2").arg(directoryPort).arg(id);
}

QByteArray directoryRow(const Station &station, const QString &song, quint16 directoryPort) {
    QByteArray row;
    row += "<tr><td><a href=\"" + utf8(PlaylistPath) + "?rn=" + station.id.toUtf8() +
           "&file=filename.pls\"><img src=\"/img/tune.gif\" border=\"0\"></a></td>";
    row += "<td><font face=\"Arial\" size=\"2\"><b>[" + rowGenre(station.genre).toUtf8() +
           "]</font></b><br><a id=\"_scurl\" href=\"" +
           homeUrl(directoryPort, station.id).toUtf8() + "\">" + htmlEscape(station.name).toUtf8() +
           "</a>";
    row += utf8(RowGap);
    if (song.isEmpty())
        row += utf8(NoSong);
    else
        row += "Now Playing:</font> " + htmlEscape(song).toUtf8() + "</font>";
    row += "</td><td align=\"center\"><font color=\"#FFFFFF\">" +
           QByteArray::number(station.listeners) + '/' + QByteArray::number(station.maxListeners) +
           "</font></td><td align=\"center\"><font color=\"#FFFFFF\">" +
           QByteArray::number(station.bitrateKbps) + "</font></td></tr>\n";
    return row;
}

QByteArray directoryPage(const DirectoryPage &page) {
    const qsizetype total = page.listing.size();
    const qsizetype first = qBound(qsizetype(0), qsizetype(page.startAt), total);
    const qsizetype end = qMin(total, first + page.pageSize);

    QByteArray html = pageHead(QStringLiteral("Kestrune station simulator: ") + page.genre);
    html += "<h2>" + htmlEscape(page.genre).toUtf8() + "</h2>\n";
    html += "<p>Stations " + QByteArray::number(first + (end > first ? 1 : 0)) + " to " +
            QByteArray::number(end) + " of " + QByteArray::number(total) + "</p>\n";
    // The two links stay apart, with the whole table between them: clients look for the
    // number just before "[ Next ]" and must not pick up the other one.
    if (page.startAt > 0) {
        const int previous = qMax(0, page.startAt - page.pageSize);
        html += "<p><a href=\"/directory/?startat=" + QByteArray::number(previous) +
                "\">[ Previous ]</a></p>\n";
    }
    html += "<table border=\"0\" cellpadding=\"2\" width=\"100%\">\n"
            "<tr><th></th><th>Station</th><th>Listeners</th><th>Bitrate</th></tr>\n";
    for (qsizetype i = first; i < end; ++i) {
        const Station &s = *page.listing.at(i);
        html += directoryRow(s, s.hasSong ? s.songAt(page.songSlot) : QString(), page.port);
    }
    html += "</table>\n";
    if (end < total) {
        html +=
            "<p><a href=\"/directory/?startat=" + QByteArray::number(end) + "\">[ Next ]</a></p>\n";
    }
    return html + PageFoot;
}

QByteArray homePage(const Station &station, quint16 directoryPort, qint64 songSlot) {
    QByteArray html = pageHead(station.name);
    html += "<h1>" + htmlEscape(station.name).toUtf8() + "</h1>\n<table>\n";
    const auto line = [&html](const char *label, const QString &value) {
        html += "<tr><td>" + QByteArray(label) + "</td><td>" + htmlEscape(value).toUtf8() +
                "</td></tr>\n";
    };
    line("Genre", station.genre);
    line("Listeners", QStringLiteral("%1 of %2").arg(station.listeners).arg(station.maxListeners));
    line("Bit rate", QStringLiteral("%1 kbit/s").arg(station.bitrateKbps));
    line("Format",
         QStringLiteral("MPEG audio, %1 Hz, %2")
             .arg(station.sampleRate)
             .arg(station.channels == 1 ? QStringLiteral("mono") : QStringLiteral("stereo")));
    line("Playing", station.songAt(songSlot));
    html += "</table>\n<p><a href=\"" + utf8(PlaylistPath) + "?rn=" + station.id.toUtf8() +
            "&amp;file=filename.pls\">Listen</a></p>\n";
    html += "<p><a href=\"http://127.0.0.1:" + QByteArray::number(directoryPort) +
            "/directory/?sgenre=" + QUrl::toPercentEncoding(station.genre) +
            "&amp;numresult=25&amp;maxbitrate=999\">More stations like this</a></p>\n";
    return html + PageFoot;
}

QByteArray notFoundPage(const QByteArray &target) {
    return pageHead(QStringLiteral("Not found")) + "<h1>Not found</h1>\n<p>" +
           htmlEscape(QString::fromUtf8(target)).toUtf8() + " is not here.</p>\n" + PageFoot;
}

QByteArray playlist(const Station &station, const QStringList &addresses, bool crlf) {
    const QByteArray eol = crlf ? "\r\n" : "\n";
    const qsizetype n = addresses.size();
    QByteArray text = "[playlist]" + eol + "numberofentries=" + QByteArray::number(n) + eol;
    for (qsizetype i = 0; i < n; ++i) {
        // Each server carries its share of the listeners.
        const qsizetype listeners = station.listeners / n + (i == 0 ? station.listeners % n : 0);
        const qsizetype capacity = qMax(listeners, qsizetype(station.maxListeners / n));
        const QByteArray k = QByteArray::number(i + 1);
        text += "File" + k + '=' + addresses.at(i).toUtf8() + eol;
        text += "Title" + k + "=(#" + k + " - " + QByteArray::number(listeners) + '/' +
                QByteArray::number(capacity) + ") " + station.name.toUtf8() + eol;
        text += "Length" + k + "=-1" + eol;
    }
    return text + "Version=2" + eol;
}

QByteArray streamHeader(const Station &station, quint16 directoryPort) {
    const QByteArray name = "icy-name:" + station.name.toUtf8() + "\r\n";
    const QByteArray genre = "icy-genre:" + station.genre.toUtf8() + "\r\n";
    return "ICY 200 OK\r\nicy-notice1:This stream requires a player\r\n" +
           (station.genreFirst ? genre + name : name + genre) +
           "icy-url:" + homeUrl(directoryPort, station.id).toUtf8() +
           "\r\ncontent-type:audio/mpeg\r\nicy-pub:1\r\nicy-br:" +
           QByteArray::number(station.bitrateKbps) + "\r\n\r\n";
}

QByteArray statusPage(const Station &station, int serverNumber, qint64 songSlot,
                      quint16 directoryPort) {
    QByteArray html = pageHead(station.name + QStringLiteral(" - server status"));
    html += "<table cellpadding=2 cellspacing=0 border=0>\n";
    const auto line = [&html](std::string_view label, const QByteArray &value) {
        html += utf8(StatusRowOpen) + utf8(label) + utf8(StatusRowMiddle) + value +
                utf8(StatusRowClose) + '\n';
    };
    line("Server Status", "Server " + QByteArray::number(serverNumber) + " is up");
    line("Stream Status", "Stream is up at " + QByteArray::number(station.bitrateKbps) +
                              " kbps with " + QByteArray::number(station.listeners) + " of " +
                              QByteArray::number(station.maxListeners) + " listeners");
    line("Stream Title", htmlEscape(station.name).toUtf8());
    line("Content Type", "audio/mpeg");
    line("Stream Genre", htmlEscape(station.genre).toUtf8());
    line("Stream URL", "<a href=\"" + homeUrl(directoryPort, station.id).toUtf8() + "\">" +
                           homeUrl(directoryPort, station.id).toUtf8() + "</a>");
    line(SongLabel, htmlEscape(station.songAt(songSlot)).toUtf8());
    html += "</table>\n";
    html += "<p><a href=\"/" + station.id.toUtf8() + "/played.html\">Played history</a></p>\n";
    return html + PageFoot;
}

QByteArray playedPage(const Station &station, qint64 songSlot, const QDateTime &start,
                      int songSeconds) {
    QByteArray html = pageHead(station.name + QStringLiteral(" - played history"));
    html += "<table cellpadding=\"2\" cellspacing=\"0\" border=\"1\">\n"
            "<tr><td><b>Played at</b></td><td><b>Song</b></td></tr>\n";
    for (qint64 slot = songSlot; slot > songSlot - 10; --slot) {
        const QDateTime began = start.addSecs(slot * songSeconds);
        html += "<tr><td>" + began.toString(QStringLiteral("HH:mm:ss")).toUtf8() + "</td><td>" +
                htmlEscape(station.songAt(slot)).toUtf8() + "</td></tr>\n";
    }
    return html + "</table>\n" + PageFoot;
}

QByteArray httpResponse(const QByteArray &statusLine, const QByteArray &contentType,
                        const QByteArray &body, bool withLength) {
    QByteArray out = statusLine + "\r\nContent-Type: " + contentType + "\r\n";
    if (withLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return out + "Connection: close\r\n\r\n" + body;
}

} // namespace kestrune::stationsim
