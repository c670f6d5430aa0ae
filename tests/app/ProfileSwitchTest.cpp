// The profile a start reads: the "/ini=" switches of the command line choose
// one file for the earliest read (language, memory reserve) and the settings
// alike, and a switch that is refused sets nothing.
#include "TestApp.h"
#include "core/MemReservoir.h"

#include <QProcess>

namespace fs = std::filesystem;
using ::testing::Not;

namespace {

const std::string kDist = VESTRO_DIST_DIR;

class ProfileSwitch : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(kDist + "/vestro-resizer") || !fs::exists(kDist + "/bin/libkodex.so"))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("profile");
        // Short enough for a socket's name.
        Run = fs::temp_directory_path() / ("vp-" + std::to_string(getpid()));
        fs::create_directories(Run);
        fs::permissions(Run, fs::perms::owner_all);
        Name = Dir.filename().string();
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove_all(Run);
        for (const std::string& N : Inis)
            fs::remove(kDist + "/ini/" + N);
    }
    // An at-once profile of the program's ini folder speaking Language.
    std::string Profile(const std::string& Tag, const std::string& Language)
    {
        const std::string N = Name + "-" + Tag + ".ini";
        std::ofstream(kDist + "/ini/" + N)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=<old>\n[System]\nLanguage=" << Language << "\n";
        Inis.push_back(N);
        return N;
    }
    // Starts the program in Dir with Args; its status and standard error.
    std::pair<int, std::string> Start(const QStringList& Args)
    {
        QProcess P;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Run.string()));
        Env.insert("LANG", "C.UTF-8");
        for (const char* V : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            Env.remove(V);
        P.setProcessEnvironment(Env);
        P.setWorkingDirectory(QString::fromStdString(Dir.string()));
        P.start(QString::fromStdString(kDist + "/vestro-resizer"), Args);
        EXPECT_TRUE(P.waitForFinished(60000));
        return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAllStandardError().toStdString()};
    }
    fs::path Dir, Run;
    std::string Name;
    std::vector<std::string> Inis;
};

} // namespace

TEST_F(ProfileSwitch, ARefusedSecondSwitchSetsNeitherTheLanguageNorTheSettings)
{
    const std::string Plain = Profile("plain", "de");
    // Outside the ini folder, speaking Japanese and writing elsewhere.
    std::ofstream(Dir / "x2.ini") << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "x2out").string()
                                  << "\n[System]\nLanguage=ja\n";
    const std::string Escape = "/ini=" + fs::relative(Dir / "x2.ini", kDist + "/ini").string();
    ASSERT_EQ(Escape.substr(0, 8), "/ini=../");
    WritePhoto(Dir / "a.jpg", 320, 240, 1);

    const auto [Status, Err] =
        Start({QString::fromStdString("/ini=" + Plain), QString::fromStdString(Escape), "a.jpg", "missing.jpg"});
    EXPECT_EQ(Status, 1) << Err;
    EXPECT_THAT(Err, HasSubstr("Ignored " + Escape));
    // The first profile's language and folder: German, not Japanese.
    EXPECT_THAT(Err, HasSubstr("missing.jpg: Datei nicht gefunden")) << Err;
    EXPECT_THAT(Err, Not(HasSubstr("ファイルが見つかりません")));
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    EXPECT_FALSE(fs::exists(Dir / "x2out"));

    // The same switches in the other order: the profile of the ini folder
    // still wins, whichever comes last.
    const auto [Status2, Err2] =
        Start({QString::fromStdString(Escape), QString::fromStdString("/INI=" + Plain), "missing.jpg"});
    EXPECT_EQ(Status2, 1) << Err2;
    EXPECT_THAT(Err2, HasSubstr("missing.jpg: Datei nicht gefunden")) << Err2;
}

TEST_F(ProfileSwitch, TheEarlyReadAndTheSettingsTakeTheSameFile)
{
    const std::string Keep = Startup.ExeDir;
    Startup.ExeDir = "/opt/vestro/";
    const std::string Default = GetSettingsFileName({});
    struct TCase {
        std::vector<std::string> Args;
        std::string File; // "" for the default file
        int Ignored;
    };
    const TCase Cases[] = {
        {{"/ini=a.ini", "/ini=../x2.ini"}, "/opt/vestro/ini/a.ini", 1},
        {{"/ini=a.ini", "/ini=/etc/passwd"}, "/opt/vestro/ini/etc/passwd", 0}, // always below the folder
        {{"/ini=a.ini", "/ini=sub/"}, "/opt/vestro/ini/a.ini", 1},
        {{"/ini=a.ini", "/ini=sub/../../a.ini"}, "/opt/vestro/ini/a.ini", 1},
        {{"/ini=sub/../b.ini", "x.jpg"}, "/opt/vestro/ini/b.ini", 0},
        {{"/ini=..", "/ini=."}, "", 2},
        {{"/INI=a.ini", "/Ini=b.ini"}, "/opt/vestro/ini/b.ini", 0},
    };
    for (const TCase& C : Cases) {
        std::vector<std::string> Ignored;
        EXPECT_EQ(GetSettingsFileName(C.Args, &Ignored), C.File.empty() ? Default : C.File) << C.Args.back();
        EXPECT_EQ(int(Ignored.size()), C.Ignored) << C.Args.back();
        EXPECT_EQ(ProfileFileName(C.Args), GetSettingsFileName(C.Args)) << C.Args.back();
    }
    Startup.ExeDir = Keep;
}
