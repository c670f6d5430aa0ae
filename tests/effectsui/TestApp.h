// One QApplication for all widget tests of this binary.
#pragma once
#include <QApplication>

inline void EnsureApp()
{
    static int argc = 1;
    static char name[] = "test_effectsui";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Never destroyed: at exit Qt's own statics (the input devices that the
        // key events created) may already be gone.
        new QApplication(argc, argv);
    }
}
