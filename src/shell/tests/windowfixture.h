// What a test of the main window needs around it: the control library from the build tree
// and settings in a temporary folder, with a connection speed stored.
#pragma once

#include "core/registry.h"
#include "core/settings.h"
#include "shell/ui/controllibrary.h"

#include <QTemporaryDir>

#include <memory>

namespace kestrune::test {

struct WindowFixture {
    QTemporaryDir root;
    Registry registry{root.filePath(QStringLiteral("settings"))};
    Settings settings{registry, root.path()};
    ControlLibrary controls;

    // False when the control library cannot be loaded.
    bool prepare() {
        settings.setFirstSetup(QStringLiteral("DSL/Cable/LAN"));
        return controls.load({QStringLiteral(KESTRUNE_TEST_PLUGIN_DIR)});
    }
};

} // namespace kestrune::test
