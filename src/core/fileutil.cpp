#include "core/fileutil.h"

#include <QDir>
#include <QFileInfo>

namespace kestrune {

QString pathSeparator() {
    return QString(QDir::separator());
}

QString withTrailingSeparator(const QString &path) {
    if (path.endsWith(QDir::separator()) || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QDir::separator();
}

bool FolderExists(const QString &path) {
    if (path.isEmpty())
        return false;
    if (path.endsWith(QDir::separator()) || path.endsWith(QLatin1Char('/')))
        return QFileInfo(path).isDir();

    // No trailing separator: the listing pattern path & "*.*" matches every entry of the
    // parent folder whose name begins with the last path element.
    const QFileInfo info(path);
    const QDir parent = info.dir();
    if (!parent.exists())
        return false;
    const QStringList names =
        parent.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    const QString prefix = info.fileName();
    for (const QString &name : names) {
        if (name.startsWith(prefix))
            return true;
    }
    return false;
}

QString FileExists(const QString &path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir() ? QStringLiteral("True") : QStringLiteral("False");
}

QString ReplaceText(QString &text, const QString &find, const QString &replacement) {
    if (text.size() < find.size())
        return text;
    // Positions are 1-based in the description above; here 0-based. The bound is the
    // starting length and is not re-evaluated.
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (find.isEmpty() || i + find.size() > text.size())
            continue;
        if (QStringView(text).sliced(i, find.size()) == find)
            text = text.left(i) + replacement + text.mid(i + find.size());
    }
    return text;
}

} // namespace kestrune
