// Directory pages for tests, laid out row by row the way the directory sends them.
#pragma once

#include <QString>

#include <optional>

namespace kestrune::testpages {

struct Station {
    QString id = QStringLiteral("1");
    QString genre = QStringLiteral("[Rock]");
    QString url = QStringLiteral("http://radio.test/");
    QString name = QStringLiteral("Station");
    std::optional<QString> song = QStringLiteral("Song");
    QString listeners = QStringLiteral("10/100");
    QString bitrate = QStringLiteral("128");
};

// Sits between the name's "</a>" and "Now Playing:", which starts 46 characters after the
// "<" of "</a>".
inline const QString Filler = QStringLiteral(R"(</font><br><font size="1" color="#C0C0C0">)");

inline QString row(const Station &s) {
    QString text = QStringLiteral(R"(<tr><td><a href="/sbin/shoutcast-playlist.pls?rn=)") + s.id +
                   QStringLiteral(R"(&file=filename.pls"><img src="/img/tune.gif" border="0">)") +
                   QStringLiteral(R"(</a></td><td><font face="Arial" size="2"><b>)") + s.genre +
                   QStringLiteral(R"(</font></b><br><a id="_scurl" href=")") + s.url +
                   QStringLiteral(R"(">)") + s.name + QStringLiteral("</a>") + Filler;
    if (s.song)
        text += QStringLiteral("Now Playing:</font> ") + *s.song + QStringLiteral("</font>");
    text += QStringLiteral(R"(</td><td align="center"><font color="#FFFFFF">)") + s.listeners +
            QStringLiteral(R"(</font></td><td align="center"><font color="#FFFFFF">)") + s.bitrate +
            QStringLiteral("</font></td></tr>");
    return text;
}

// A paging link as the directory writes it, with enough text before it that the link's
// start lies within the 50 characters before the button text.
inline QString pagingLink(const QString &startAt, const QString &buttonText) {
    return QStringLiteral(
               R"(<p align="center"><font size="2"><a href="/directory/index.html?startat=)") +
           startAt + QStringLiteral(R"(&s=x">)") + buttonText + QStringLiteral("</a></font></p>");
}

} // namespace kestrune::testpages
