#include "mp3info/tagfile.h"

#include <QFile>
#include <QFileInfo>

namespace kestrune {

namespace {

// Unbuffered, so a failed write is seen by write() itself and not lost in a later flush;
// ExistingOnly, so a file that vanished is never created again.
constexpr QIODevice::OpenMode EditMode =
    QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered;

QString fileText(const QString &path) {
    return QFileInfo(path).fileName();
}

TagResult failure(const QString &text) {
    return {false, text};
}

// Opens `path` for editing; `reason` says why not.
bool openForEdit(QFile &file, QString &reason) {
    if (!QFileInfo(file.fileName()).isFile()) {
        reason = QStringLiteral("%1 is not a file.").arg(fileText(file.fileName()));
        return false;
    }
    if (file.open(EditMode))
        return true;
    reason = QStringLiteral("%1 cannot be written: %2")
                 .arg(fileText(file.fileName()), file.errorString());
    return false;
}

// The last 128 bytes of an open file, or empty when it is shorter or they cannot be read.
QByteArray lastBlock(QFile &file) {
    const qint64 length = file.size();
    if (length < Id3v1Size || !file.seek(length - Id3v1Size))
        return {};
    return file.read(Id3v1Size);
}

// Opens `file` for editing when its last 128 bytes are a tag; `reason` says why not.
bool openTagged(QFile &file, QString &reason) {
    if (!openForEdit(file, reason))
        return false;
    if (IsId3v1Tag(lastBlock(file)))
        return true;
    reason = QStringLiteral("%1 has no ID3 tag.").arg(fileText(file.fileName()));
    return false;
}

} // namespace

TagLookup ReadTagFile(const QString &path) {
    TagLookup lookup;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        lookup.reason = QStringLiteral("%1 cannot be read.").arg(fileText(path));
        return lookup;
    }
    lookup.readable = true;
    lookup.fileLength = file.size();
    lookup.tag = ReadAnyId3v1Tag(lastBlock(file));
    return lookup;
}

TagResult AddEmptyTag(const QString &path) {
    QFile file(path);
    QString reason;
    if (!openForEdit(file, reason))
        return failure(reason);
    if (IsId3v1Tag(lastBlock(file)))
        return failure(QStringLiteral("%1 already has an ID3 tag.").arg(fileText(path)));
    const qint64 length = file.size();
    const QByteArray empty = EmptyId3v1Tag();
    if (!file.seek(length) || file.write(empty) != empty.size()) {
        const QString error = file.errorString();
        file.resize(length);
        return failure(
            QStringLiteral("The tag could not be added to %1: %2").arg(fileText(path), error));
    }
    return {true, {}};
}

TagResult RemoveTag(const QString &path) {
    QFile file(path);
    QString reason;
    if (!openTagged(file, reason))
        return failure(reason);
    if (!file.resize(file.size() - Id3v1Size)) {
        return failure(QStringLiteral("The tag could not be removed from %1: %2")
                           .arg(fileText(path), file.errorString()));
    }
    return {true, {}};
}

TagResult SaveTag(const QString &path, const Id3v1Fields &fields) {
    QFile file(path);
    QString reason;
    if (!openTagged(file, reason))
        return failure(reason);
    const QByteArray tag = BuildId3v1Tag(fields);
    if (!file.seek(file.size() - Id3v1Size) || file.write(tag) != tag.size()) {
        return failure(QStringLiteral("The tag could not be saved to %1: %2")
                           .arg(fileText(path), file.errorString()));
    }
    return {true, {}};
}

} // namespace kestrune
