// One application object for the whole test binary (offscreen platform), and
// an event pump for tests that wait on calls queued to the GUI thread.
#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <functional>

inline QApplication& TestApp()
{
    static int Argc = 1;
    static char Arg0[] = "test_effectsui";
    static char* Argv[] = {Arg0, nullptr};
    // Never destroyed: tearing Qt down among the static destructors crashes.
    static QApplication* App = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(Argc, Argv);
    }();
    return *App;
}

// Made before the first test, so that a test run on its own (ctest starts one
// process per test) finds it whatever it constructs first.
struct TTestAppEnvironment : ::testing::Environment {
    void SetUp() override { TestApp(); }
};
inline ::testing::Environment* const TestAppEnvironment = ::testing::AddGlobalTestEnvironment(new TTestAppEnvironment);

// Processes events until Done() holds or Ms milliseconds have passed; the
// result of Done() at the end.
inline bool PumpUntil(const std::function<bool()>& Done, int Ms = 5000)
{
    TestApp();
    QElapsedTimer T;
    T.start();
    while (!Done() && T.elapsed() < Ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return Done();
}

// A key pressed in W without modifiers, typing Text.
inline void Key(QWidget* W, int K, const QString& Text = {})
{
    QKeyEvent E(QEvent::KeyPress, K, Qt::NoModifier, Text);
    QApplication::sendEvent(W, &E);
}

// The left button pressed, moved with or released at (X, Y) in W.
inline void Mouse(QWidget* W, QEvent::Type T, int X, int Y)
{
    const Qt::MouseButtons Held = T == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent E(T, QPointF(X, Y), W->mapToGlobal(QPointF(X, Y)),
                  T == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, Held, Qt::NoModifier);
    QApplication::sendEvent(W, &E);
}

// The left button pressed at (X0, Y0) in W, moved to (X1, Y1) and let go there.
inline void Stroke(QWidget* W, int X0, int Y0, int X1, int Y1)
{
    Mouse(W, QEvent::MouseButtonPress, X0, Y0);
    Mouse(W, QEvent::MouseMove, X1, Y1);
    Mouse(W, QEvent::MouseButtonRelease, X1, Y1);
}

// Runs Edit on the modal dialog of type Form once it is up, then presses its
// OK (OkButton) or Cancel (CancelButton).
template <class Form, class Fn> void WhenShown(bool Ok, Fn Edit)
{
    QTimer::singleShot(0, [=] {
        auto* F = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(F, nullptr);
        Edit(*F);
        (Ok ? F->OkButton : F->CancelButton)->click();
    });
}
