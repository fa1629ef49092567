#include "stream/playlist.h"

namespace kestrune {

PlaylistServers ParsePlaylist(QString text) {
    // Playlists of the period came with all three line ends; the scan below knows only LF.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    const QString Http = QStringLiteral("http://");
    const QString EqualsHttp = QStringLiteral("=http://");

    // Skip the section line and the entry count (whose value is not used).
    if (const qsizetype p = text.indexOf(QStringLiteral("[playlist]")); p >= 0) {
        text = text.mid(p + 26);
        const qsizetype lf = text.indexOf(QLatin1Char('\n'));
        text = lf >= 0 ? text.mid(lf + 1) : QString();
    }
    if (const qsizetype c = text.indexOf(EqualsHttp); c >= 0)
        text = text.mid(c + 1);

    PlaylistServers result;
    for (;;) {
        const qsizetype a = text.indexOf(Http);
        const qsizetype b = text.indexOf(QLatin1Char('\n'));
        const qsizetype c = text.indexOf(EqualsHttp);
        if (a < 0 || b < 0 || c < 0)
            break;
        if (b > a) {
            const QString entry = text.mid(a, b - a);
            if (!entry.contains(QStringLiteral("stream")))
                result.servers << entry;
        }
        text = text.mid(c + 1);
    }
    // The last entry: taken whatever its address says, but only with a line break after it.
    const qsizetype a = text.indexOf(Http);
    const qsizetype b = text.indexOf(QLatin1Char('\n'));
    if (a >= 0 && b > a)
        result.servers << text.mid(a, b - a);
    result.anyAddress = a >= 0;
    return result;
}

} // namespace kestrune
