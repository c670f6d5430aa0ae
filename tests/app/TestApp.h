// One QApplication for all window tests of this binary.
#pragma once
#include <QApplication>

inline void EnsureApp()
{
    static int argc = 1;
    static char name[] = "test_app";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Never destroyed: at exit Qt's own globals (the icon theme loader)
        // are gone before a static application object would be.
        new QApplication(argc, argv);
    }
}
