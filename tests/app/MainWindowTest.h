// Tests of the main window: a started program's globals, a scratch "program
// folder" Dir (with in/ and ini/) that the window's settings live in, and the
// window the test opens.
#pragma once
#include "app/MainFrm.h"
#include "core/ErrorLog.h"
#include "core/ImageInfo.h"
#include "tests/app/TestApp.h"

#include <memory>

class TMainWindowTest : public TStartedTest {
protected:
    void SetUp() override
    {
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        Dir = ScratchDir("main");
        UseDataFolder(Dir);
        App.FileList->Clear();
        ErrorLog.Clear();
    }
    void TearDown() override
    {
        Window.reset();
        if (App.FileList)
            App.FileList->Clear();
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        std::filesystem::remove_all(Dir);
    }

    std::filesystem::path Dir;
    std::unique_ptr<TMainForm> Window;
};
