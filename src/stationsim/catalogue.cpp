#include "stationsim/catalogue.h"

#include <algorithm>

namespace kestrune::stationsim {

namespace {

// A small generator of our own: the standard distributions differ between libraries, and the
// catalogue must not change with the toolchain.
struct Dice {
    quint32 state;

    quint32 next() {
        // xorshift32; a zero state would stay zero.
        if (state == 0)
            state = 0x9E3779B9u;
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % quint32(n)); }
    template <typename T, qsizetype N> const T &pick(const T (&items)[N]) {
        return items[below(int(N))];
    }
};

const char *const TopGenres[] = {"Pop",    "Rock",      "Jazz",  "Dance",    "Country",
                                 "Metal",  "Classical", "Chill", "R&B/Soul", "Top 40",
                                 "Reggae", "Folk",      "House", "Oldies",   "Blues"};

const char *const Adjectives[] = {"Blue",     "Midnight", "Golden", "Electric", "Velvet",
                                  "Northern", "Urban",    "Cosmic", "Sunny",    "Deep",
                                  "Solid",    "Wild",     "Silver", "Crystal",  "Lucky"};
const char *const Nouns[] = {"Wave",   "Groove",  "Beat",   "Sound", "Lounge", "Channel", "Express",
                             "Garden", "Harbour", "Signal", "Pulse", "Tower",  "Valley"};
// Words that pair up around an ampersand, the way station names like to do it.
const char *const PairWords[] = {"Rock", "Roll",  "Blues", "Soul", "Rhythm", "Jazz",   "Swing",
                                 "Bass", "Beats", "Sun",   "Sea",  "Hits",   "Oldies", "Chill"};

const char *const Artists[] = {
    "The Velvet Owls", "Mira Lindqvist", "Kofi & The Lanterns", "Paper Harbours", "Juniper Grey",
    "DJ Halcyon",      "Nova Quartet",   "Ruben Alves",         "Sister Comet",   "The Low Tides",
    "Ada Moreno",      "Lumen & Ash",    "Orchard Street",      "Tomas Weller",   "Cinder Hall"};
const char *const Titles[] = {
    "Slow Rain",  "Harbour Lights", "Midnight Train",   "Salt & Honey",  "Paper Moon",
    "Coastline",  "Gold Dust",      "Falling Upward",   "Static Hearts", "Northbound",
    "Quiet Fire", "Open Window",    "Satellite Summer", "Rust & Roses",  "After Hours"};

// Listener limits stations set for themselves.
const int Capacities[] = {32, 50, 64, 100, 128, 150, 200, 250, 300, 400, 500, 750, 1000, 2000};

// Common rates come up more often, as they do on a real directory.
int pickBitrate(Dice &dice) {
    static const int weights[] = {1, 2, 2, 2, 3, 2, 1, 8, 1, 2, 1, 1};
    static_assert(std::size(weights) == std::size(StationBitrates));
    int total = 0;
    for (int w : weights)
        total += w;
    int roll = dice.below(total);
    for (size_t i = 0; i < std::size(weights); ++i) {
        if (roll < weights[i])
            return StationBitrates[i];
        roll -= weights[i];
    }
    return 128;
}

// Rates an encoder really offers at each bit rate; low rates go mono.
void pickFormat(Dice &dice, Station &s) {
    const int br = s.bitrateKbps;
    if (br == 24)
        s.sampleRate = dice.below(2) ? 22050 : 11025;
    else if (br <= 56)
        s.sampleRate = 22050;
    else if (br <= 112)
        s.sampleRate = dice.below(3) ? 44100 : 22050;
    else
        s.sampleRate = 44100;
    s.channels = br <= 48 ? 1 : 2;
}

QString pairName(Dice &dice, const char *joint, const char *tail) {
    const int a = dice.below(int(std::size(PairWords)));
    const int b = (a + 1 + dice.below(int(std::size(PairWords)) - 1)) % int(std::size(PairWords));
    return QStringLiteral("%1 %2 %3 %4")
        .arg(QLatin1String(PairWords[a]), QLatin1String(joint), QLatin1String(PairWords[b]),
             QLatin1String(tail));
}

QString plainName(Dice &dice) {
    const QString adj = QLatin1String(dice.pick(Adjectives));
    const QString noun = QLatin1String(dice.pick(Nouns));
    switch (dice.below(4)) {
    case 0:
        return adj + u' ' + noun + QStringLiteral(" Radio");
    case 1:
        return adj + u' ' + noun + QStringLiteral(" FM");
    case 2:
        return QStringLiteral("Radio ") + adj + u' ' + noun;
    default:
        return QStringLiteral("The ") + adj + u' ' + noun;
    }
}

QStringList makeSongs(Dice &dice) {
    QStringList songs;
    const int count = 8 + dice.below(8);
    for (int i = 0; i < count; ++i) {
        songs << QStringLiteral("%1 - %2").arg(QLatin1String(dice.pick(Artists)),
                                               QLatin1String(dice.pick(Titles)));
    }
    return songs;
}

} // namespace

quint32 wordSeed(const QString &word) {
    quint32 h = 2166136261u;
    for (const char c : word.toUtf8()) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return h;
}

QString Station::songAt(qint64 slot) const {
    if (songs.isEmpty())
        return {};
    const qint64 n = songs.size();
    return songs.at(qsizetype(((slot % n) + n) % n));
}

QString Catalogue::takeId(quint32 &state) {
    Dice dice{state};
    QString id;
    do {
        id = QString::number(10000 + dice.below(90000));
    } while (m_byId.contains(id));
    state = dice.state;
    return id;
}

const QList<Station> &Catalogue::stations(const QString &genre) {
    const auto known = m_byGenre.find(genre);
    if (known != m_byGenre.end())
        return known->second;
    // Ids are five digits: past this many words new ones would run out of them, so a client
    // that keeps inventing words gets the default list from then on.
    if (m_byGenre.size() >= MaxGenres && genre != defaultGenre())
        return stations(defaultGenre());

    Dice dice{wordSeed(genre)};
    const bool top = genre == defaultGenre();
    const int count = top ? 60 + dice.below(21) : 40 + dice.below(41);

    QList<Station> list(count);
    for (Station &s : list) {
        s.maxListeners = dice.pick(Capacities);
        s.listeners = dice.below(s.maxListeners + 1);
    }
    std::stable_sort(list.begin(), list.end(), [](const Station &a, const Station &b) {
        return a.listeners != b.listeners ? a.listeners > b.listeners
                                          : a.maxListeners > b.maxListeners;
    });

    quint32 idState = dice.next();
    for (int rank = 0; rank < count; ++rank) {
        Station &s = list[rank];
        s.id = takeId(idState);
        m_byId.insert(s.id, {genre, rank});
        s.genre = top ? QString::fromUtf8(dice.pick(TopGenres)) : genre;
        s.bitrateKbps = pickBitrate(dice);
        pickFormat(dice, s);
        // Every list has a name with an ampersand near the top, and one with two in a row,
        // since both have tripped up page scanners before.
        if (rank == 12)
            s.name = pairName(dice, "&&", "Live");
        else if (rank == 1 || dice.below(8) == 0)
            s.name = pairName(dice, "&", "Radio");
        else
            s.name = plainName(dice);
        s.hasSong = rank != 4 && dice.below(5) != 0;
        const int servers = dice.below(10);
        s.servers = servers == 0 ? 1 : servers == 1 ? 2 : 3;
        s.crlfPlaylist = dice.below(4) == 0;
        s.genreFirst = dice.below(3) == 0;
        s.songs = makeSongs(dice);
    }
    return m_byGenre.emplace(genre, std::move(list)).first->second;
}

const Station *Catalogue::find(const QString &id) const {
    const auto at = m_byId.constFind(id);
    if (at == m_byId.constEnd())
        return nullptr;
    const auto list = m_byGenre.find(at->first);
    return list == m_byGenre.end() ? nullptr : &list->second.at(at->second);
}

int Catalogue::rankOf(const QString &id) const {
    const auto at = m_byId.constFind(id);
    return at == m_byId.constEnd() ? -1 : at->second;
}

} // namespace kestrune::stationsim
