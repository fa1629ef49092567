// What every window driver needs around the program: settings of a first run on a fast line
// in a temporary folder, and the control library.
#pragma once

#include "core/registry.h"
#include "core/settings.h"
#include "shell/ui/controllibrary.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdio>

namespace kestrune::bench {

struct DriverSetup {
    QTemporaryDir root;
    Registry registry{root.filePath(QStringLiteral("settings"))};
    Settings settings{registry, root.path()};
    ControlLibrary controls;

    // Loads the control library from `pluginDir` (where the program looks when empty); false,
    // with the reason on stderr, when it cannot be loaded.
    bool prepare(const QString &pluginDir) {
        settings.setFirstSetup(QStringLiteral("DSL/Cable/LAN"));
        if (pluginDir.isEmpty() ? controls.load() : controls.load({pluginDir}))
            return true;
        std::fprintf(stderr, "%s\n", qPrintable(controls.errorString()));
        return false;
    }
};

} // namespace kestrune::bench
