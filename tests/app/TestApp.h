// One QApplication for all window tests of this binary, and the helpers the
// tests share.
#pragma once
#include "app/IniSettings.h"
#include "app/Startup.h"
#include "core/ErrorLog.h"
#include "core/Global.h"
#include "core/ImageInfo.h"
#include "core/MemReservoir.h"
#include "core/Resize.h"
#include "effects/Effect.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPainter>
#include <QThread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

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
    // Kept short: the program's socket lives in a folder of it, and a socket
    // path has a hard length limit. The test's name is cut and a hash of the
    // whole keeps tests with a common start apart.
    const auto* T = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string Name = T ? T->name() : "";
    char Hash[9];
    std::snprintf(Hash, sizeof Hash, "%08zx", std::hash<std::string>{}(Name)&0xffffffffu);
    const auto P = std::filesystem::temp_directory_path() /
        ("vestro-" + Tag + "-" + std::to_string(::getpid()) + "-" + Name.substr(0, 20) + "-" + Hash);
    std::filesystem::remove_all(P);
    std::filesystem::create_directories(P);
    return P;
}

// Dir as the program's data folder: in/ and ini/ made, DataDir and IniDir set.
inline void UseDataFolder(const std::filesystem::path& Dir)
{
    std::filesystem::create_directories(Dir / "in");
    std::filesystem::create_directories(Dir / "ini");
    Startup.DataDir = Dir.string() + "/";
    Startup.IniDir = Startup.DataDir + "ini/";
}

// The program started from the data folder Dir: its default settings file
// (outputs to Dir/out named as the inputs, two threads) followed by Settings,
// written and loaded.
inline void LoadTestSettings(const std::filesystem::path& Dir, const std::string& Settings)
{
    Startup.ExeDir = Startup.DataDir;
    Startup.IniFileName = GetSettingsFileName({});
    std::ofstream(Startup.IniFileName) << "[File]\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
                                       << "\nFileNameFormat=<old>\nShowDirectory=0\n[System]\nMaxThread=2\n"
                                       << Settings;
    LoadIniFile(Startup.IniFileName);
}

// The bytes of a file ("" when there is none).
inline std::string ReadFile(const std::filesystem::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

// The names of the files in Folder, sorted; none when it does not exist.
inline std::vector<std::string> SortedNames(const std::filesystem::path& Folder)
{
    std::vector<std::string> Names;
    if (std::filesystem::exists(Folder))
        for (const auto& E : std::filesystem::directory_iterator(Folder))
            Names.push_back(E.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
}

// How often Part occurs in Text.
inline int Count(const std::string& Text, const std::string& Part)
{
    int N = 0;
    for (size_t P = Text.find(Part); P != std::string::npos; P = Text.find(Part, P + 1))
        ++N;
    return N;
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

// A photograph-like picture in the format its suffix names: gradients and a
// shape, so that it compresses like a photo and pictures of other seeds differ.
inline void WritePhoto(const std::filesystem::path& P, int W, int H, int Seed = 0)
{
    QImage Img(W, H, QImage::Format_RGB32);
    QPainter Painter(&Img);
    QLinearGradient G(0, 0, W, H);
    G.setColorAt(0, QColor::fromHsv(Seed * 40 % 360, 200, 240));
    G.setColorAt(1, QColor::fromHsv((Seed * 40 + 150) % 360, 180, 60));
    Painter.fillRect(Img.rect(), G);
    Painter.setBrush(Qt::white);
    Painter.drawEllipse(W / 4, H / 4, W / 3, H / 3);
    Painter.end();
    ASSERT_TRUE(Img.save(QString::fromStdString(P.string()), nullptr, 90)) << P;
}

// Effects that do nothing, named Names, appended to List in that order.
inline void AddNamedEffects(TEffectList& List, std::initializer_list<const char*> Names)
{
    struct TNamed : TEffect {
        TNamed(const std::string& N, uint32_t ID) : TEffect(N, 'x', N, ID) { }
        std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
        void DoEffect(TImgInfo&, TEffectParams&) override { }
    };
    for (const char* N : Names)
        List.AddFilter(std::make_unique<TNamed>(N, 1u << List.Count()));
    List.ReOrder();
}

// The names of the chain's effects in their order, each followed by a blank.
inline std::string ChainNames(const TEffectList& L)
{
    std::string S;
    for (int i = 0; i < L.Count(); ++i)
        S += L.Items(i)->FName + " ";
    return S;
}

// The picture size a file's header gives.
inline QSize ImageSize(const std::filesystem::path& P)
{
    return QImageReader(QString::fromStdString(P.string())).size();
}

// The main resizer as the tests run it: plain code, one thread.
inline void SetUpTestResizer(TResizer& R)
{
    R.SetDecimationMode(1, CreateWeightSetter(1, 3, 0, 10));
    R.SetInterpolationMode(2, CreateWeightSetter(2, 3, 0, 10));
    R.SetSIMDMode(3, false);
    R.SetMaxThreadNum(1);
}

// The settings and the start-up folders the tests change.
inline auto SettingRecords()
{
    return std::tie(Settings, Startup.ExeDir, Startup.DataDir, Startup.IniDir, Startup.IniFileName, Startup.DesktopDir,
                    Startup.SendToDir, Startup.CPUFeatures);
}

inline auto SettingValues()
{
    return std::apply([](auto&... R) { return std::make_tuple(R...); }, SettingRecords());
}

// Puts the settings and folders back as they were when it was made.
struct TKeptSettings {
    decltype(SettingValues()) Kept = SettingValues();
    ~TKeptSettings() { SettingRecords() = Kept; }
};

// A test with lists of its own in the program's place: the file list, the
// effect chain and the main resizer, a scratch folder and the settings kept.
struct TListsTest : ::testing::Test {
    void SetUp() override
    {
        EnsureApp();
        Dir = ScratchDir(::testing::UnitTest::GetInstance()->current_test_suite()->name());
        SetUpTestResizer(Resizer);
        App.FileList = &Files;
        EffectList = &Effects;
        App.MainResizer = &Resizer;
        ErrorLog.Clear();
    }
    void TearDown() override
    {
        Files.Clear();
        App.FileList = nullptr;
        EffectList = nullptr;
        App.MainResizer = nullptr;
        ErrorLog.Clear();
        std::filesystem::remove_all(Dir);
    }
    TKeptSettings Kept;
    std::filesystem::path Dir;
    TResizer Resizer;
    TImageInfoList Files;
    TEffectList Effects;
};

// Tests of the started program: its globals made once for the suite, from
// the build's program folder (the codec library and the tools).
struct TStartedTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        EnsureApp();
        SavedExeDir = Startup.ExeDir;
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        InitializeGlobals({});
    }
    static void TearDownTestSuite()
    {
        FinalizeGlobals();
        Startup.ExeDir = SavedExeDir;
    }
    static inline std::string SavedExeDir;
};
