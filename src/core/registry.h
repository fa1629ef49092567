// The per-user settings store: named string values under a key path, as the program has
// always kept them. On Windows the key lives in the registry of the current user; elsewhere
// it is a configuration file in the user's configuration folder, "Software\Kestrune\" being
// the file Kestrune/Kestrune.conf there.
#pragma once

#include <QString>
#include <QVariant>

namespace kestrune {

// The hive a key path is opened under. The program only ever uses the current user's.
enum class RegistryRoot { CurrentUser };

// Value types a caller may pass to WriteRegistryValue; the program only writes strings.
enum class RegistryType : quint32 { String = 1 };

// The program's settings key, trailing backslash included as callers have always passed it.
inline const QString SettingsKeyPath = QStringLiteral("Software\\Kestrune\\");

class Registry {
public:
    // Values of 2048 characters or more do not fit the read buffer and read as the default.
    static constexpr int ReadBufferChars = 2048;

    // `userRoot` is the folder standing for the current user's hive. Empty means the real
    // one (the registry on Windows, the user's configuration folder elsewhere); tests pass
    // a temporary folder so nothing they do touches the user's settings.
    explicit Registry(QString userRoot = {});

    // Missing key, missing value, a value too long for the buffer or any failure: `defaultValue`.
    // An empty stored string reads as "".
    QString ReadRegistryValue(RegistryRoot root, const QString &path, const QString &name,
                              const QString &defaultValue) const;

    // Creates the key as needed, stores the value and flushes it to disk. Returns false when
    // the store could not be written (callers ignore it: a failed write leaves the old value).
    bool WriteRegistryValue(RegistryRoot root, const QString &path, const QString &name,
                            RegistryType type, const QVariant &value) const;

    // Where a key path is kept: a registry path on Windows, a file path elsewhere.
    QString locationOf(RegistryRoot root, const QString &path) const;

private:
    QString m_userRoot;
};

} // namespace kestrune
