// The one application object every test of this program that needs Qt shares.
#pragma once

#include <QApplication>

namespace plugintest {

inline QApplication& Application()
{
    static int argc = 1;
    static char name[] = "plugin_tests";
    static char* argv[] = { name, nullptr };
    // Never destroyed: at exit Qt's own statics go first, and an application object destroyed after them
    // crashes the program. The static pointer keeps it reachable to the end.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

} // namespace plugintest
