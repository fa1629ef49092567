#include "core/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace kestrune {

namespace {

QStringList keySegments(const QString &path) {
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

bool usesNativeRegistry(const QString &userRoot) {
#ifdef Q_OS_WIN
    return userRoot.isEmpty();
#else
    Q_UNUSED(userRoot);
    return false;
#endif
}

} // namespace

Registry::Registry(QString userRoot)
    : m_userRoot(std::move(userRoot)) {}

QString Registry::locationOf(RegistryRoot root, const QString &path) const {
    Q_UNUSED(root); // one hive only
    const QStringList segments = keySegments(path);
    if (usesNativeRegistry(m_userRoot))
        return QStringLiteral("HKEY_CURRENT_USER\\") + segments.join(QLatin1Char('\\'));

    // The last segment names the application ("Software\Kestrune\" -> Kestrune); that is
    // where per-user configuration files of desktop programs are expected on this platform.
    const QString folder =
        m_userRoot.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            : m_userRoot;
    const QString app = segments.isEmpty() ? QStringLiteral("Kestrune") : segments.last();
    return QDir(folder).filePath(app + QLatin1Char('/') + app + QStringLiteral(".conf"));
}

QString Registry::ReadRegistryValue(RegistryRoot root, const QString &path, const QString &name,
                                    const QString &defaultValue) const {
    const QString location = locationOf(root, path);
    // Open, not create: reading must never leave an empty file or key behind.
    if (!usesNativeRegistry(m_userRoot) && !QFileInfo(location).isFile())
        return defaultValue;

    QSettings store(location, QSettings::NativeFormat);
    if (store.status() != QSettings::NoError || !store.contains(name))
        return defaultValue;

    const QVariant value = store.value(name);
    QString text;
    if (value.typeId() == QMetaType::QStringList)
        text = value.toStringList().join(QStringLiteral(", ")); // a hand-edited list of words
    else if (value.canConvert<QString>())
        text = value.toString();
    else
        return defaultValue;

    // The stored form carries a terminating NUL, so only texts shorter than the buffer fit.
    if (text.size() + 1 > ReadBufferChars)
        return defaultValue;
    return text;
}

bool Registry::WriteRegistryValue(RegistryRoot root, const QString &path, const QString &name,
                                  RegistryType type, const QVariant &value) const {
    if (type != RegistryType::String)
        return false;
    const QString location = locationOf(root, path);
    if (!usesNativeRegistry(m_userRoot) && !QDir().mkpath(QFileInfo(location).path()))
        return false;

    QSettings store(location, QSettings::NativeFormat);
    store.setValue(name, value.toString());
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace kestrune
