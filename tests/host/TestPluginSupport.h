// Helpers for tests that run the host against the recording test plug-in: where the bundles are, the plug-in's
// shared state, and the one QApplication of the test program.
#pragma once

#include "TestPluginControl.h"

#include <QApplication>
#include <QFile>
#include <QString>

#include <dlfcn.h>

#include <map>

namespace testplugin {

inline QString bundlePath(const char* name = "Test Plugin")
{
    return QStringLiteral(REELFINCH_TEST_PLUGINS_DIR "/") + QString::fromUtf8(name) + QStringLiteral(".plugin");
}

// The state of the named bundle's plug-in. The test keeps its own handle on the library for the whole run, so the
// host's loading and unloading reach the same state and the recorded calls survive NP_Shutdown.
inline TestPluginControl* control(const char* name = "Test Plugin")
{
    static std::map<std::string, TestPluginControl*> controls;
    auto found = controls.find(name);
    if (found != controls.end())
        return found->second;
    const QString executable = bundlePath(name) + QLatin1Char('/') + QString::fromUtf8(name) + QStringLiteral(".so");
    void* handle = dlopen(QFile::encodeName(executable).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto controlFunc = reinterpret_cast<TestPluginControlFunc>(dlsym(handle, "TestPlugin_Control"));
    TestPluginControl* state = controlFunc ? controlFunc() : nullptr;
    controls[name] = state;
    return state;
}

// Widgets, the desktop-services handlers and painting need one application object; it lives for the whole run.
inline void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "host_tests";
    static char* argv[] = { name, nullptr };
    // Never destroyed: at exit Qt's own statics (input devices among them) go first, and an application object
    // destroyed after them crashes the program.
    new QApplication(argc, argv);
}

} // namespace testplugin
