#include "shell/ui/controllibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>

namespace kestrune {

ControlLibrary::ControlLibrary() = default;

// The factory's library stays loaded for the life of the process: controls it made may
// outlive this object during shutdown.
ControlLibrary::~ControlLibrary() = default;

QStringList ControlLibrary::searchFolders() {
    const QDir appDir(QCoreApplication::applicationDirPath());
    QStringList folders{QDir::cleanPath(appDir.filePath(QStringLiteral("plugins")))};
    const QString installed =
        QDir::cleanPath(appDir.filePath(QStringLiteral(KESTRUNE_PLUGIN_RELDIR)));
    if (!folders.contains(installed))
        folders << installed;
    return folders;
}

bool ControlLibrary::load(const QStringList &folders) {
    QStringList reasons;
    for (const QString &folder : folders) {
        auto loader = std::make_unique<QPluginLoader>(QDir(folder).filePath(LibraryName));
        if (!QLibrary::isLibrary(loader->fileName())) {
            reasons << QDir::toNativeSeparators(folder) + QStringLiteral(": not found");
            continue;
        }
        QObject *instance = loader->instance();
        auto *factory = qobject_cast<LumaKit::ControlFactory *>(instance);
        if (!factory) {
            reasons << QDir::toNativeSeparators(loader->fileName()) + QStringLiteral(": ") +
                           (instance ? QStringLiteral("not a control library")
                                     : loader->errorString());
            continue;
        }
        if (!factory->ProgIds().contains(QString::fromLatin1(LumaKit::LumaboxProgId))) {
            reasons << QDir::toNativeSeparators(loader->fileName()) +
                           QStringLiteral(": does not provide ") +
                           QString::fromLatin1(LumaKit::LumaboxProgId);
            continue;
        }
        m_loader = std::move(loader);
        m_factory = factory;
        m_error.clear();
        return true;
    }
    m_error = QStringLiteral("The control library %1 could not be loaded.\n\nLooked in:\n%2")
                  .arg(LibraryName, reasons.join(QLatin1Char('\n')));
    return false;
}

QString ControlLibrary::fileVersion() const {
    return m_factory ? m_factory->FileVersion() : QString();
}

LumaKit::Lumabox *ControlLibrary::create(const QString &progId, QWidget *parent) const {
    return m_factory ? m_factory->CreateControl(progId, parent) : nullptr;
}

} // namespace kestrune
