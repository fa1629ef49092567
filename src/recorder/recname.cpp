#include "recorder/recname.h"

#include "core/fileutil.h"

#include <QDir>
#include <QFileInfo>
#include <QList>

namespace kestrune {

namespace {

bool replacedInNames(char32_t code) {
    switch (code) {
    case '"':
    case '*':
    case '.':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|':
        return true;
    default:
        // C0, DEL and C1 controls, and the Unicode line and paragraph separators: none of
        // them shows in a name, and a line break in one splits every list that prints it.
        return code < 32 || (code >= 127 && code <= 159) || code == 0x2028 || code == 0x2029;
    }
}

// Blank once cleaned (".." in a group, "   ", a lone no-break space): such a folder or file
// cannot be told apart from its neighbours, so it is named as if nothing had been given.
bool blank(const QString &cleaned) {
    return cleaned.trimmed().isEmpty();
}

// The longest file name GetRecName can make: 50 characters of up to 4 bytes in UTF-8, then
// "[" + a 64-bit counter + "].mp3". Linux refuses a name over 255 bytes.
static_assert(RecNameMaxLength * 4 + 1 + 19 + 5 <= 255);

// An entry of any kind: QFileInfo::exists follows links, so a dangling one needs asking too.
bool nameTaken(const QString &path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString CleanRecName(const QString &name, QChar replacement) {
    QString cleaned;
    int characters = 0;
    for (const char32_t code : name.toUcs4()) {
        if (characters == RecNameMaxLength)
            break;
        if (replacedInNames(code))
            cleaned.append(replacement);
        else
            cleaned.append(QString::fromUcs4(&code, 1));
        ++characters;
    }
    return cleaned;
}

QString GetRecName(QString &recOutputDir, const RecNameInput &input) {
    QString group;
    if (input.recStationType == FromStationName)
        group = input.station;
    else if (input.recStationType == FromGenre)
        group = input.genre;
    if (group.isEmpty())
        group = QStringLiteral("Unknown");

    recOutputDir = withTrailingSeparator(recOutputDir);
    group = CleanRecName(group, QLatin1Char(' '));
    if (blank(group))
        group = QStringLiteral("Unknown");
    const QString folder = recOutputDir + group;
    QDir().mkpath(folder);

    QString song = input.artist;
    if (song.isEmpty() || song == QLatin1String("Unknown"))
        song = QStringLiteral("Recording");
    else
        song = CleanRecName(song, QLatin1Char('_'));
    if (blank(song))
        song = QStringLiteral("Recording");

    const QString stem = folder + pathSeparator() + song; // without ".mp3"
    QString path = stem + QStringLiteral(".mp3");
    for (qint64 n = 1; nameTaken(path); ++n)
        path = stem + QLatin1Char('[') + QString::number(n) + QStringLiteral("].mp3");
    return path;
}

} // namespace kestrune
