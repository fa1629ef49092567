// What a test of the main window needs around it: the control library from the build tree
// and settings in a temporary folder, with a connection speed stored.
#pragma once

#include "core/registry.h"
#include "core/settings.h"
#include "shell/appmodel.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"

#include <QTemporaryDir>

#include <memory>

namespace kestrune::test {

// A main window with its own application model; the window goes first, as in the program.
struct TestWindow {
    std::unique_ptr<AppModel> model;
    std::unique_ptr<MainWindow> window;

    MainWindow *operator->() const { return window.get(); }
    MainWindow &operator*() const { return *window; }
};

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

    // A loaded main window (the directory address is read now, from the environment).
    TestWindow window() {
        TestWindow w;
        w.model = std::make_unique<AppModel>(settings);
        w.window = std::make_unique<MainWindow>(*w.model, controls);
        w.window->Load(nullptr);
        return w;
    }
};

} // namespace kestrune::test
