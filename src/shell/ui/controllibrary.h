// Finds and loads the combo control library and hands out its controls. The program never
// links against the library; only the interface header is shared.
#pragma once

#include <lumactl/lumabox.h>

#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class QPluginLoader;

namespace kestrune {

class ControlLibrary {
public:
    // File name of the library without prefix or suffix.
    static inline const QString LibraryName = QStringLiteral("lumactl");

    ControlLibrary();
    ~ControlLibrary();
    ControlLibrary(const ControlLibrary &) = delete;
    ControlLibrary &operator=(const ControlLibrary &) = delete;

    // The program's plugin folders, in search order: "plugins" beside the executable (the
    // build tree, and installs that keep everything in one folder), then the installed
    // tree's library folder.
    static QStringList searchFolders();

    // Loads the library from the first folder that has it and checks that it makes
    // "LumaKit.Lumabox". On failure errorString() names the library and where it looked.
    bool load(const QStringList &folders = searchFolders());
    bool isLoaded() const { return m_factory != nullptr; }
    QString errorString() const { return m_error; }
    QString fileVersion() const;

    // A new control of the given identifier, owned by `parent`; nullptr if the library is
    // not loaded or does not know the identifier.
    LumaKit::Lumabox *create(const QString &progId, QWidget *parent) const;
    LumaKit::Lumabox *createLumabox(QWidget *parent) const {
        return create(QString::fromLatin1(LumaKit::LumaboxProgId), parent);
    }

private:
    std::unique_ptr<QPluginLoader> m_loader;
    LumaKit::ControlFactory *m_factory = nullptr;
    QString m_error;
};

} // namespace kestrune
