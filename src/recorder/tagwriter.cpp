#include "recorder/tagwriter.h"

#include "mp3info/id3v1.h"

#include <QFile>
#include <QFileInfo>

namespace kestrune {

namespace {

// Unbuffered, so a failed write (disk full, file size limit) is seen by write() itself and not
// lost in a later flush; ExistingOnly, so a file that vanished is never created again.
constexpr QIODevice::OpenMode TagOpenMode =
    QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered;

} // namespace

bool SaveMP3Info(const QString &mp3File, const QString &genre, const QString &artist,
                 const QString &title, const QString &year, const QString &comment) {
    if (!QFileInfo(mp3File).isFile())
        return false;

    Id3v1Fields fields;
    fields.title = title;
    fields.artist = artist;
    fields.album = QStringLiteral("Unknown");
    fields.year = year;
    fields.comment = comment;
    fields.genre = GenreNumber(genre);
    const QByteArray tag = BuildId3v1Tag(fields);

    qint64 length = 0; // bytes before the tag, measured once
    {
        QFile file(mp3File);
        if (!file.open(TagOpenMode))
            return false;
        length = file.size();
        if (length <= 0)
            return false;
        const QByteArray placeholder = EmptyId3v1Tag();
        if (!file.seek(length) || file.write(placeholder) != placeholder.size()) {
            file.resize(length);
            return false;
        }
    }

    QFile file(mp3File);
    if (!file.open(TagOpenMode))
        return false; // the empty tag stays
    if (!file.seek(length))
        return false;
    return file.write(tag) == tag.size();
}

} // namespace kestrune
