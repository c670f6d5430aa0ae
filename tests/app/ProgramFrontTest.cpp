// The program's front: which executable does a start's work, and what the
// user sees either way (the run's files, lines and status, the settings file
// named after the program), seen from outside as a user or script starts it.
#include "ProgramFixture.h"
#include "app/Startup.h"

#include <gmock/gmock.h>

#include <QImage>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using endtoend::kProgram;
using endtoend::Program;
using endtoend::TResult;
using ::testing::HasSubstr;

// Which libraries the processes started with LD_DEBUG=libs loaded, one entry
// per process (its debug output file's text).
std::vector<std::string> LoaderLogs(const fs::path& Dir, const std::string& Prefix)
{
    std::vector<std::string> Logs;
    for (const auto& E : fs::directory_iterator(Dir))
        if (E.path().filename().string().starts_with(Prefix + ".")) {
            std::ostringstream S;
            S << std::ifstream(E.path()).rdbuf();
            Logs.push_back(S.str());
        }
    return Logs;
}

int LogsLoading(const std::vector<std::string>& Logs, const std::string& Library)
{
    return int(std::count_if(Logs.begin(), Logs.end(),
                             [&](const std::string& L) { return L.find(Library) != std::string::npos; }));
}

// Environment variables for the processes started next (they copy the
// environment when started), put back when the object goes.
struct TStartEnvironment {
    std::vector<std::pair<std::string, std::optional<std::string>>> Kept;
    void Set(const std::string& Name, const std::string& Value)
    {
        const char* Old = std::getenv(Name.c_str());
        Kept.emplace_back(Name, Old ? std::optional<std::string>(Old) : std::nullopt);
        setenv(Name.c_str(), Value.c_str(), 1);
    }
    ~TStartEnvironment()
    {
        for (auto It = Kept.rbegin(); It != Kept.rend(); ++It)
            It->second ? setenv(It->first.c_str(), It->second->c_str(), 1) : unsetenv(It->first.c_str());
    }
};

// Starts Program (a copy of the front) offscreen in Dir with Args, with a
// socket folder of its own.
void StartCopy(QProcess& P, const fs::path& Dir, const fs::path& Program, const QStringList& Args)
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("QT_QPA_PLATFORM", "offscreen");
    Env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
    P.setProcessEnvironment(Env);
    P.setWorkingDirectory(QString::fromStdString(Dir.string()));
    P.start(QString::fromStdString(Program.string()), Args);
}

// A text in a solid blue box at the top left: the box's corner shows whether
// the text was drawn.
const std::string kBlueBoxText = "[AddText]\nUse=1\nText=Box\nFontName=DejaVu Sans\nFontSize=12\nBasePos=0\n"
                                 "X=0\nY=0\nBackColor=16711680\nBackOpacity=100\nMarginX=8\nMarginY=8\n";

bool BlueCorner(const fs::path& P)
{
    const QImage I(QString::fromStdString(P.string()));
    if (I.isNull())
        return false;
    const QColor C = I.pixelColor(2, 2);
    return C.blue() > 200 && C.red() < 60 && C.green() < 60;
}

TEST_F(Program, AnUnwatchedRunWithoutTextLoadsNoWindowSystemLibraryAndOneWithTextDrawsIt)
{
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    TStartEnvironment Env;
    Env.Set("LD_DEBUG", "libs");

    WriteProfile();
    Env.Set("LD_DEBUG_OUTPUT", (Dir / "plain").string());
    const TResult Plain = Run({"in/a.jpg"});
    EXPECT_EQ(Plain.Status, 0) << Plain.Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(320, 240));
    EXPECT_FALSE(BlueCorner(Dir / "out" / "a.jpg"));
    const std::vector<std::string> PlainLogs = LoaderLogs(Dir, "plain");
    ASSERT_FALSE(PlainLogs.empty());
    EXPECT_EQ(LogsLoading(PlainLogs, "libQt6Core"), 1);
    EXPECT_EQ(LogsLoading(PlainLogs, "libQt6Gui"), 0);
    EXPECT_EQ(LogsLoading(PlainLogs, "libQt6Widgets"), 0);

    fs::remove_all(Dir / "out");
    WriteProfile(kBlueBoxText);
    Env.Set("LD_DEBUG_OUTPUT", (Dir / "text").string());
    const TResult Text = Run({"in/a.jpg"});
    EXPECT_EQ(Text.Status, 0) << Text.Err;
    EXPECT_TRUE(BlueCorner(Dir / "out" / "a.jpg"));
    EXPECT_EQ(LogsLoading(LoaderLogs(Dir, "text"), "libQt6Gui"), 1);
}

TEST_F(Program, AHandOffThatDrawsTextIsConvertedWithItsTextAndItsLines)
{
    // Thirty large photographs, one at a time, keep the first start busy well
    // past the time the second takes to hand its files over.
    WriteProfile("Parallel=0\n");
    const std::vector<std::string> Names = Photos(30);
    WritePhoto(Dir / "in" / "trip" / "late.jpg", 640, 480, 99);
    TStartEnvironment Env;
    Env.Set("LD_DEBUG", "libs");
    Env.Set("LD_DEBUG_OUTPUT", (Dir / "first").string());
    QProcess first;
    Start(first, Profile, Names);
    WaitForLock();
    unsetenv("LD_DEBUG");

    // A later start whose profile draws text, with a file that is not there.
    ModeProfile("text-" + Profile, "", "[Resize]\nRule=0\nSize1=50\n" + kBlueBoxText, "text");
    QProcess second;
    Start(second, "text-" + Profile, {"in/trip/late.jpg", "in/trip/gone.jpg"});
    const std::string Err = Ended(second, 1, 60000);
    Ended(first, 0, 60000);
    EXPECT_EQ(ImageSize(Dir / "text" / "late.jpg"), QSize(320, 240));
    EXPECT_TRUE(BlueCorner(Dir / "text" / "late.jpg"));
    EXPECT_EQ(Count(Err, "gone.jpg: "), 1) << Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "p29.jpg"), QSize(320, 213));
    // The running instance did not draw the text itself: a program with the
    // window system did it for that run.
    const std::vector<std::string> Logs = LoaderLogs(Dir, "first");
    EXPECT_EQ(LogsLoading(Logs, "libQt6Gui"), 1) << Logs.size() << " processes";
}

TEST_F(Program, TheSettingsFileIsNamedAfterTheProgramTheUserStarted)
{
    const std::string Name = "front-" + Dir.filename().string();
    const fs::path Copy = fs::path(VESTRO_DIST_DIR) / Name;
    fs::copy_file(kProgram, Copy);
    struct TRemove {
        fs::path P;
        ~TRemove() { fs::remove(P); }
    } Remove{Copy};
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    // Without text the program without windows does the run, with text the
    // one with windows: both read the settings file of the name started.
    for (const std::string& Text : {std::string(), kBlueBoxText}) {
        ModeProfile(Name + ".ini", "", "[Resize]\nRule=0\nSize1=25\n" + Text, "named");
        QProcess P;
        StartCopy(P, Dir, Copy, {"in/a.jpg"});
        Ended(P, 0);
        EXPECT_EQ(ImageSize(Dir / "named" / "a.jpg"), QSize(160, 120)) << Text;
        EXPECT_EQ(BlueCorner(Dir / "named" / "a.jpg"), !Text.empty());
        fs::remove_all(Dir / "named");
    }
}

TEST_F(Program, AFrontWithoutItsProgramsSaysSoForEachFile)
{
    fs::create_directories(Dir / "alone" / "ini");
    fs::copy_file(kProgram, Dir / "alone" / "vestro-resizer");
    std::ofstream(Dir / "alone" / "ini" / "vestro-resizer.ini") << "[File]\nAtOnce=1\n";
    WritePhoto(Dir / "in" / "a.jpg", 64, 48, 1);
    QProcess P;
    StartCopy(P, Dir, Dir / "alone" / "vestro-resizer", {"in/a.jpg", "/ini=x.ini"});
    const std::string Err = Ended(P, 2);
    EXPECT_EQ(Count(Err, "\na.jpg: "), 1) << Err;
    EXPECT_THAT(Err, HasSubstr("cannot be started"));
    EXPECT_EQ(Count(Err, "x.ini"), 0) << Err;
}

// Which starts the program without windows takes: only those that surely
// convert at once, nobody looking, without text.
TEST(ProgramFront, OnlyAnUnwatchedAtOnceStartWithoutTextGoesWithoutWindows)
{
    const fs::path Dir = ScratchDir("front");
    const fs::path Photo = Dir / "a.jpg";
    std::ofstream(Photo) << "x";
    auto Profile = [&](const std::string& Text) {
        const fs::path P = Dir / "p.ini";
        std::ofstream(P) << Text;
        return P.string();
    };
    struct TCase {
        const char* Platform;
        const char* NonInteractive;
        std::vector<std::string> Args;
        std::string Ini;
        bool Expected;
    };
    const std::vector<TCase> Cases = {
        {"offscreen", "", {"a.jpg"}, "[File]\nAtOnce=1\n", true},
        {"xcb", "1", {"/ini=p.ini", Photo.string()}, "[File]\nAtOnce=1\n[AddText]\nUse=0\n", true},
        {"xcb", "", {"a.jpg"}, "[File]\nAtOnce=1\n", false},                          // someone looks
        {"offscreen", "", {"a.jpg"}, "[File]\nAtOnce=0\n", false},                    // not at once
        {"offscreen", "", {"a.jpg"}, "[File]\nAtOnce=1\n[AddText]\nUse=1\n", false},  // text
        {"offscreen", "", {"/ini=p.ini", "/x"}, "[File]\nAtOnce=1\n", false},         // no path at all
        {"offscreen", "", {"/INI=p.ini", "/maybe.jpg"}, "[File]\nAtOnce=1\n", false}, // a picture's name only
        {"offscreen", "", {"/ini=p.ini", "/dir/b.jpg"}, "[File]\nAtOnce=1\n", true},
    };
    TStartEnvironment Env;
    for (const TCase& C : Cases) {
        Env.Set("QT_QPA_PLATFORM", C.Platform);
        Env.Set("VESTRO_NONINTERACTIVE", C.NonInteractive);
        EXPECT_EQ(ConvertsWithoutWindowSystem(C.Args, Profile(C.Ini)), C.Expected)
            << C.Platform << " " << C.NonInteractive << " " << C.Args.back() << " " << C.Ini;
    }
    fs::remove_all(Dir);
}

} // namespace
