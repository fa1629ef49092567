#include "directory/choices.h"

#include <array>
#include <utility>

namespace kestrune {

namespace {

struct Bandwidth {
    const char *text;
    qint16 maxBitrate;
};

constexpr std::array<Bandwidth, 6> Bandwidths{{
    {"All Bitrates", NoBitrateLimit},
    {"DSL/Cable/LAN", NoBitrateLimit},
    {"28.8 modem", 24},
    {"33.6 modem", 32},
    {"56k modem", 56},
    {"128 Kbps ISDN", 128},
}};

} // namespace

const QStringList &BandwidthEntries() {
    static const QStringList entries = [] {
        QStringList list;
        for (const Bandwidth &b : Bandwidths)
            list << QString::fromLatin1(b.text);
        return list;
    }();
    return entries;
}

std::optional<qint16> MaxBitrateFor(const QString &bandwidthText) {
    for (const Bandwidth &b : Bandwidths) {
        if (bandwidthText == QLatin1String(b.text))
            return b.maxBitrate;
    }
    return std::nullopt;
}

const QStringList &GenreEntries() {
    static const QStringList entries = {
        QStringLiteral("Choose genre"),    QStringLiteral("Top 25 streams"),
        QStringLiteral("Alternative"),     QStringLiteral("- College"),
        QStringLiteral("- Industrial"),    QStringLiteral("- Punk"),
        QStringLiteral("- Hardcore"),      QStringLiteral("- Ska"),
        QStringLiteral("Americana"),       QStringLiteral("- Blues"),
        QStringLiteral("- Folk"),          QStringLiteral("- Cajun"),
        QStringLiteral("- Bluegrass"),     QStringLiteral("Classical"),
        QStringLiteral("- Contemporary"),  QStringLiteral("- Opera"),
        QStringLiteral("- Symphonic"),     QStringLiteral("Country"),
        QStringLiteral("- Western Swing"), QStringLiteral("- New Country"),
        QStringLiteral("- Blue Grass"),    QStringLiteral("Electronic"),
        QStringLiteral("- Ambient"),       QStringLiteral("- Drum and Bass"),
        QStringLiteral("- Trance"),        QStringLiteral("- Techno"),
        QStringLiteral("- House"),         QStringLiteral("- Downtempo"),
        QStringLiteral("- Breakbeat"),     QStringLiteral("- Acid Jazz"),
        QStringLiteral("Pop/Rock"),        QStringLiteral("- Oldies"),
        QStringLiteral("- Classic"),       QStringLiteral("- 80s"),
        QStringLiteral("- Top 40"),        QStringLiteral("- Metal"),
        QStringLiteral("- Rock"),          QStringLiteral("- Pop"),
        QStringLiteral("R&B/Soul"),        QStringLiteral("- Contemporary"),
        QStringLiteral("- Classic"),       QStringLiteral("- Funk"),
        QStringLiteral("- Smooth"),        QStringLiteral("- Urban"),
        QStringLiteral("Spiritual"),       QStringLiteral("- Pop"),
        QStringLiteral("- Rock"),          QStringLiteral("- Alternative"),
        QStringLiteral("- Gospel"),        QStringLiteral("- Country"),
        QStringLiteral("Spoken"),          QStringLiteral("- Talk"),
        QStringLiteral("- Comedy"),        QStringLiteral("- Spoken Word"),
        QStringLiteral("World"),           QStringLiteral("- Reggae/Island"),
        QStringLiteral("- African"),       QStringLiteral("- Latin"),
        QStringLiteral("- European"),      QStringLiteral("- Middle Eastern"),
        QStringLiteral("- Asian"),         QStringLiteral("Other/Mixed"),
        QStringLiteral("- Eclectic"),      QStringLiteral("- Film/Show"),
        QStringLiteral("- Instrumental"),
    };
    return entries;
}

} // namespace kestrune
