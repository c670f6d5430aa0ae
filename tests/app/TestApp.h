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
        // Never destroyed: tearing Qt down among the static destructors
        // crashes once an input device exists (any key event makes one).
        new QApplication(argc, argv);
    }
}
