#include "shell/ui/startup.h"

#include "shell/ui/aboutwindow.h"
#include "shell/ui/firstrundialog.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/messagebox.h"

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

namespace kestrune {

int exitCodeFor(StartResult result) {
    switch (result) {
    case StartResult::Running:
    case StartResult::AlreadyRunning:
    case StartResult::Cancelled:
        return 0;
    case StartResult::ControlLibraryMissing:
        return 2;
    }
    return 1;
}

namespace {

QString programFolderOr(const QString &folder) {
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

void tellConsole(const QString &text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

Startup::Startup(Options options)
    : m_options(std::move(options))
    , m_registry(m_options.userSettingsRoot)
    , m_settings(m_registry, programFolderOr(m_options.programFolder)) {}

Startup::~Startup() = default;

QString Startup::defaultLockFile() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("kestrune.lock"));
}

StartResult Startup::Main() {
    // One copy per user. The lock names the process holding it, so a lock left behind by a
    // copy that crashed is taken over instead of blocking every later start.
    m_lock = std::make_unique<QLockFile>(m_options.lockFile.isEmpty() ? defaultLockFile()
                                                                      : m_options.lockFile);
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0) && m_lock->error() == QLockFile::LockFailedError) {
        const QString text = QStringLiteral("Kestrune already started!");
        tellConsole(text);
        showMessage(nullptr, text);
        return StartResult::AlreadyRunning;
    }

    const bool loaded = m_options.pluginFolders.isEmpty()
                            ? m_controls.load()
                            : m_controls.load(m_options.pluginFolders);
    if (!loaded) {
        tellConsole(m_controls.errorString());
        showMessage(nullptr, m_controls.errorString());
        return StartResult::ControlLibraryMissing;
    }

    if (m_settings.firstSetup().isEmpty()) {
        FirstRunDialog first(m_controls, m_settings);
        QCoreApplication::processEvents();
        if (first.exec() != QDialog::Accepted)
            return StartResult::Cancelled;
    }

    m_splash = new AboutWindow;
    m_splash->setAttribute(Qt::WA_DeleteOnClose);
    m_splash->showAsSplash();
    // The splash's first activation: let it paint, then load the main window.
    QTimer::singleShot(0, this, [this] {
        QCoreApplication::processEvents();
        loadMainWindow();
    });
    return StartResult::Running;
}

void Startup::loadMainWindow() {
    if (m_mainWindow)
        return;
    m_model = std::make_unique<AppModel>(m_settings);
    m_mainWindow = std::make_unique<MainWindow>(*m_model, m_controls);
    connect(m_mainWindow.get(), &MainWindow::endProgramRequested, this, &Startup::finished);
    connect(m_mainWindow.get(), &MainWindow::closed, this, [this] { Q_EMIT finished(0); });
    m_mainWindow->Load(m_splash);
}

} // namespace kestrune
