// How the program comes up: one running copy only, the control library, the first-run
// dialog while no connection speed is stored, the splash, then the main window.
#pragma once

#include "core/registry.h"
#include "core/settings.h"
#include "shell/appmodel.h"
#include "shell/ui/controllibrary.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class QLockFile;

namespace kestrune {

class AboutWindow;
class MainWindow;

enum class StartResult {
    Running,               // the splash is up and the main window is on its way
    AlreadyRunning,        // another copy runs; told the user and loaded nothing
    Cancelled,             // the first-run dialog was cancelled
    ControlLibraryMissing, // lumactl could not be loaded; told the user where we looked
};

int exitCodeFor(StartResult result);

class Startup : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString userSettingsRoot;  // empty: the user's real settings
        QString programFolder;     // empty: the executable's folder
        QString lockFile;          // empty: "kestrune.lock" in the user's runtime folder
        QStringList pluginFolders; // empty: ControlLibrary::searchFolders()
    };

    explicit Startup(Options options = {});
    ~Startup() override;

    // Runs up to the splash and returns; the main window loads once the event loop turns.
    StartResult Main();

    MainWindow *mainWindow() const { return m_mainWindow.get(); }
    const Settings &settings() const { return m_settings; }

    static QString defaultLockFile();

Q_SIGNALS:
    // The program is to end with this exit code (main window closed, or first run
    // cancelled from the main window's load).
    void finished(int exitCode);

private:
    void loadMainWindow();

    Options m_options;
    Registry m_registry;
    Settings m_settings;
    ControlLibrary m_controls;
    std::unique_ptr<QLockFile> m_lock;
    QPointer<AboutWindow> m_splash;
    // The model outlives its window.
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MainWindow> m_mainWindow;
};

} // namespace kestrune
