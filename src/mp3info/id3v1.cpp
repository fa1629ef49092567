#include "mp3info/id3v1.h"

#include <QList>

#include <array>

namespace kestrune {

namespace {

struct GenreKeyword {
    const char *keyword; // upper case
    quint8 genre;
};

// Order matters: a mixed genre text takes the first row that matches, so the more special
// styles come before the broad ones ("Alternative Rock" is Alternative, "Pop Rock" is Pop).
constexpr std::array<GenreKeyword, 34> GenreKeywords{{
    {"ALTERNATIVE", 20},
    {"INDUSTRIAL", 19},
    {"PUNK", 43},
    {"HARDCORE", 129},
    {"SKA", 21},
    {"BLUES", 0},
    {"FOLK", 80},
    {"BLUEGRASS", 89},
    {"CLASSICAL", 32},
    {"CONTEMPORARY", 140},
    {"OPERA", 103},
    {"SYMPHONIC", 106},
    {"COUNTRY", 2},
    {"WESTERN SWING", 83},
    {"ELECTRONIC", 52},
    {"AMBIENT", 26},
    {"DRUM AND BASS", 127},
    {"TRANCE", 31},
    {"TECHNO", 18},
    {"HOUSE", 35},
    {"BREAKBEAT", 135},
    {"ACID JAZZ", 34},
    {"POP", 13},
    {"80S", 13},
    {"ROCK", 17},
    {"METAL", 9},
    {"OLDIES", 11},
    {"TOP 40", 60},
    {"FUNK", 5},
    {"GOSPEL", 38},
    {"COMEDY", 57},
    {"REGGAE", 16},
    {"LATIN", 86},
    {"INSTRUMENTAL", 33},
}};

// One byte per character (a surrogate pair is one character), "?" for anything beyond
// ISO-8859-1; cut to `length` bytes and padded with spaces.
QByteArray latin1Field(const QString &text, int length) {
    QByteArray out;
    out.reserve(length);
    for (const char32_t code : text.toUcs4()) {
        if (out.size() == length)
            break;
        out.append(code <= 0xFF ? char(code) : '?');
    }
    out.append(length - out.size(), ' ');
    return out;
}

// Up to the first zero byte.
QByteArray rawField(const QByteArray &block, int offset, int length) {
    QByteArray bytes = block.mid(offset, length);
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return bytes;
}

QString readField(const QByteArray &block, int offset, int length) {
    QByteArray bytes = rawField(block, offset, length);
    while (bytes.endsWith(' '))
        bytes.chop(1);
    return QString::fromLatin1(bytes);
}

// Blanks as the editor trims them: spaces and the other ASCII white space.
QString trimmedField(const QByteArray &block, int offset, int length) {
    return QString::fromLatin1(rawField(block, offset, length).trimmed());
}

// The fields of a 128-byte block, each read by `field` (block, offset, length).
template <typename FieldReader> Id3v1Fields fieldsOf(const QByteArray &block, FieldReader field) {
    Id3v1Fields fields;
    fields.title = field(block, 3, 30);
    fields.artist = field(block, 33, 30);
    fields.album = field(block, 63, 30);
    fields.year = field(block, 93, 4);
    fields.comment = field(block, 97, 30);
    fields.genre = quint8(block.at(127));
    return fields;
}

} // namespace

quint8 GenreNumber(const QString &genreText) {
    const QString upper = genreText.toUpper();
    for (const GenreKeyword &row : GenreKeywords) {
        if (upper.contains(QLatin1String(row.keyword)))
            return row.genre;
    }
    return NoGenre;
}

QByteArray BuildId3v1Tag(const Id3v1Fields &fields) {
    QByteArray tag("TAG");
    tag.reserve(Id3v1Size);
    tag += latin1Field(fields.title, 30);
    tag += latin1Field(fields.artist, 30);
    tag += latin1Field(fields.album, 30);
    tag += latin1Field(fields.year, 4);
    tag += latin1Field(fields.comment, 30);
    tag += char(fields.genre);
    return tag;
}

QByteArray EmptyId3v1Tag() {
    QByteArray tag("TAG");
    tag.append(Id3v1Size - 4, '\0');
    tag.append(char(NoGenre));
    return tag;
}

std::optional<Id3v1Fields> ReadId3v1Tag(const QByteArray &last128) {
    if (last128.size() != Id3v1Size || !last128.startsWith("TAG"))
        return std::nullopt;
    return fieldsOf(last128, readField);
}

bool IsId3v1Tag(const QByteArray &last128) {
    return last128.size() == Id3v1Size && last128.left(3).toUpper() == "TAG";
}

std::optional<Id3v1Fields> ReadAnyId3v1Tag(const QByteArray &last128) {
    if (!IsId3v1Tag(last128))
        return std::nullopt;
    return fieldsOf(last128, trimmedField);
}

} // namespace kestrune
