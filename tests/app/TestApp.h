// One QApplication for all window tests of this binary, and the helpers the
// tests share.
#pragma once
#include "core/Resize.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include <unistd.h>

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

// An empty scratch folder of the running test (tests run side by side).
inline std::filesystem::path ScratchDir(const std::string& Tag)
{
    const auto* T = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto P = std::filesystem::temp_directory_path() /
                   ("vestro-" + Tag + "-" + std::to_string(::getpid()) + "-" + (T ? T->name() : ""));
    std::filesystem::remove_all(P);
    std::filesystem::create_directories(P);
    return P;
}

// Processes events until Done() holds or Ms milliseconds have passed.
inline bool WaitFor(const std::function<bool()>& Done, int Ms = 20000)
{
    QElapsedTimer T;
    T.start();
    while (!Done() && T.elapsed() < Ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return Done();
}

// The picture size a file's header gives.
inline QSize ImageSize(const std::filesystem::path& P) { return QImageReader(QString::fromStdString(P.string())).size(); }

// The main resizer as the tests run it: plain code, one thread.
inline void SetUpTestResizer(TResizer& R)
{
    R.SetDecimationMode(1, CreateWeightSetter(1, 3, 0, 10));
    R.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    R.SetSIMDMode(3, false);
    R.SetMaxThreadNum(1);
}
