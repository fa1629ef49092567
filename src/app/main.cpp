#include "core/version.h"
#include "shell/ui/logo.h"
#include "shell/ui/startup.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kestrune::ProgramTitle);
    QApplication::setApplicationVersion(kestrune::versionText());
    QApplication::setDesktopFileName(QStringLiteral("kestrune"));
    QApplication::setWindowIcon(kestrune::programIcon());
    // The program ends when the main window closes, not when the splash or the first-run
    // dialog happens to be the last window.
    QApplication::setQuitOnLastWindowClosed(false);

    kestrune::Startup startup;
    const kestrune::StartResult result = startup.Main();
    if (result != kestrune::StartResult::Running)
        return kestrune::exitCodeFor(result);
    QObject::connect(&startup, &kestrune::Startup::finished, &app, &QCoreApplication::exit);
    return QApplication::exec();
}
