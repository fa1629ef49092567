// The 128-byte ID3v1 block that ends a recording: pure functions on bytes.
//
// Layout (byte offsets within the block):
//   0 "TAG" | 3 title 30 | 33 artist 30 | 63 album 30 | 93 year 4 | 97 comment 30 | 127 genre
// Text fields are ISO-8859-1, one byte per character, "?" for a character outside it, cut to
// the field and padded with spaces (never zero bytes). The whole comment field is comment (no
// track number). Genre 255 means none.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kestrune {

inline constexpr int Id3v1Size = 128;  // bytes
inline constexpr quint8 NoGenre = 255; // the genre byte of a tag without genre

// The genre number for a station's genre text: the first keyword of the program's table that
// occurs anywhere in the upper-cased text decides ("Alternative Rock" gives 20, not 17); 255
// when none does.
quint8 GenreNumber(const QString &genreText);

struct Id3v1Fields {
    QString title, artist, album, year, comment;
    quint8 genre = NoGenre;
};

// Exactly 128 bytes in the layout above.
QByteArray BuildId3v1Tag(const Id3v1Fields &fields);

// The tag put in place before the real one is written: "TAG", zero bytes, genre 255.
QByteArray EmptyId3v1Tag();

// The fields of a block that starts with "TAG" (nothing otherwise, or when it is not 128
// bytes long). Text ends at the first zero byte, trailing spaces are dropped.
std::optional<Id3v1Fields> ReadId3v1Tag(const QByteArray &last128);

// Whether a file's last 128 bytes are a tag as other programs write them too: 128 bytes that
// start with "tag" in any case.
bool IsId3v1Tag(const QByteArray &last128);

// The fields of such a tag, for editing: text ends at the first zero byte (other programs pad
// with zeros), then blanks are trimmed on both sides. Nothing when IsId3v1Tag() is false.
std::optional<Id3v1Fields> ReadAnyId3v1Tag(const QByteArray &last128);

} // namespace kestrune
