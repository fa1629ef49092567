// The simulator's stations: a made-up but stable catalogue for any genre word, so the same
// query always lists the same stations and a station id always leads back to its station.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <map>

namespace kestrune::stationsim {

// Bit rates stations use, in kbit/s.
inline constexpr int StationBitrates[] = {24, 32, 48, 56, 64, 96, 112, 128, 160, 192, 256, 320};

struct Station {
    QString id;    // five digits, unique over all genres
    QString name;  // plain text; pages escape it
    QString genre; // plain text
    int listeners = 0;
    int maxListeners = 0;
    int bitrateKbps = 128;
    int sampleRate = 44100;
    int channels = 2;
    bool hasSong = true;       // whether the directory says what is playing
    int servers = 3;           // stream servers its playlist lists, 1 to 3
    bool crlfPlaylist = false; // playlist written with CRLF line ends
    bool genreFirst = false;   // stream header names the genre before the name
    QStringList songs;         // plain text, played one after the other, over and over

    // The song playing in the given 30-second slot; any slot, also negative ones.
    QString songAt(qint64 slot) const;
};

class Catalogue {
public:
    // Word used when a client pages without having asked for a genre first.
    static QString defaultGenre() { return QStringLiteral("TopTen"); }

    // All stations for a genre word, most listeners first. Made on first use and kept, so
    // ids stay unique across words; the same word always yields the same stations, names and
    // numbers, and the ids too as long as words are first asked for in the same order.
    const QList<Station> &stations(const QString &genre);
    // The station with the id, or null if no list made so far holds it. The pointer stays
    // valid for the catalogue's lifetime.
    const Station *find(const QString &id) const;
    // Where the station with the id stands in its list (0: most listeners), or -1.
    int rankOf(const QString &id) const;

private:
    QString takeId(quint32 &state);

    static constexpr size_t MaxGenres = 500;

    // A map keeps its elements in place, so references handed out stay valid.
    std::map<QString, QList<Station>> m_byGenre;
    QHash<QString, QPair<QString, int>> m_byId; // id -> genre word, index in its list
};

// A stable 32-bit hash of a word (FNV-1a over its UTF-8 bytes).
quint32 wordSeed(const QString &word);

} // namespace kestrune::stationsim
