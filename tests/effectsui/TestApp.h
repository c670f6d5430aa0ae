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
        static QApplication app(argc, argv);
    }
}
