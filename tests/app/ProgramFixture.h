// The built program started as a user or a script starts it: the fixture of
// the end-to-end tests of the program (EndToEndTest.cpp, EndToEndSettingsTest.cpp).
#pragma once
#include "TestApp.h"
#include "tests/app/FileSizeLimit.h"
#include "app/IniSettings.h"
#include "app/BitmapOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "effects/ui/NumEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <set>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace endtoend {
inline const std::string kProgram = std::string(VESTRO_DIST_DIR) + "/vestro-resizer";

struct TResult {
    int Status = -1;
    std::string Err;
};

// What a JPEG file's header says: the first entry of each quantisation table,
// the sampling factors of each component, and whether it is coded in
// progressive scans.
struct TJPEGHead {
    std::vector<int> Quant, Sampling;
    bool Progressive = false;
};
inline TJPEGHead JPEGHead(const std::string& J)
{
    TJPEGHead H;
    for (size_t i = 2; i + 4 < J.size() && uint8_t(J[i]) == 0xFF;) {
        const uint8_t M = uint8_t(J[i + 1]);
        const size_t Len = size_t(uint8_t(J[i + 2])) << 8 | uint8_t(J[i + 3]);
        if (M == 0xDB)
            for (size_t t = i + 4; t + 65 <= i + 2 + Len; t += 65)
                H.Quant.push_back(uint8_t(J[t + 1]));
        if (M == 0xC0 || M == 0xC2) {
            H.Progressive = M == 0xC2;
            for (int c = 0; c < uint8_t(J[i + 9]); ++c)
                H.Sampling.push_back(uint8_t(J[i + 11 + 3 * size_t(c)]));
        }
        if (M == 0xDA)
            break;
        i += 2 + Len;
    }
    return H;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(kProgram) || !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/libkodex.so"))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("e2e");
        fs::create_directories(Dir / "in" / "trip");
        fs::create_directories(Dir / "run");
        fs::permissions(Dir / "run", fs::perms::owner_all);
        Profile = Dir.filename().string() + ".ini";
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        for (const std::string& Name : Inis)
            fs::remove(std::string(VESTRO_DIST_DIR) + "/ini/" + Name);
    }
    // A profile of the program folder, removed after the test.
    void Ini(const std::string& Name, const std::string& Text)
    {
        std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Name) << Text;
        Inis.push_back(Name);
    }
    // An at-once profile writing Dir/Out/<old> (File adds to [File]), then Rest.
    void ModeProfile(const std::string& Name, const std::string& File, const std::string& Rest, const char* Out = "out")
    {
        Ini(Name,
            "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" + (Dir / Out).string() + "\nFileNameFormat=<old>\n" +
                File + Rest);
    }
    // Settings of the run: fit into 320 x 320, JPEG, into Dir/out/<dir><old>.
    void WriteProfile(const std::string& Extra = "", bool AtOnce = true)
    {
        Ini(Profile,
            "[File]\nAtOnce=" + std::string(AtOnce ? "1" : "0") + "\nSameDirectory=0\nOutPutDirectory=" +
                (Dir / "out").string() + "\nFileNameFormat=<dir><old>\nNotOverwrite=1\n" +
                "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,320,512\n"
                "Size2=0,0,0,0,0,100,100,384,384,0,320,384\nDecimationType=2\n"
                "[System]\nMaxThread=4\n" +
                Extra);
    }
    // N large pictures in/p0.jpg.. and their names as arguments.
    std::vector<std::string> Photos(int N)
    {
        std::vector<std::string> Names;
        for (int i = 0; i < N; ++i) {
            Names.push_back("in/p" + std::to_string(i) + ".jpg");
            WritePhoto(Dir / Names.back(), 2400, 1600, i);
        }
        return Names;
    }
    // Starts the program with the profile Name in Dir, offscreen (NoDisplay: with
    // no display at all), with a socket folder of its own.
    void Start(QProcess& P, const std::string& Name, const std::vector<std::string>& Args, bool NoDisplay = false)
    {
        QStringList A{QString::fromStdString("/ini=" + Name)};
        for (const std::string& S : Args)
            A << QString::fromStdString(S);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", Platform);
        if (NoDisplay)
            for (const char* V : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(V);
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
        if (!LibraryPath.empty())
            env.insert("LD_LIBRARY_PATH", QString::fromStdString(LibraryPath));
        P.setProcessEnvironment(env);
        P.setWorkingDirectory(QString::fromStdString((StartIn.empty() ? Dir : StartIn).string()));
        LimitFileSize(P, FileLimit);
        P.start(QString::fromStdString(kProgram), A);
        ASSERT_TRUE(P.waitForStarted());
    }
    // Waits until a started instance holds its lock, that is, it is the running one.
    void WaitForLock()
    {
        ASSERT_TRUE(WaitFor([this] { return !fs::is_empty(Dir / "run"); }));
    }
    TResult Run(const std::vector<std::string>& Args, int TimeoutMs = 60000, bool NoDisplay = false)
    {
        QProcess proc;
        Start(proc, Profile, Args, NoDisplay);
        EXPECT_TRUE(proc.waitForFinished(TimeoutMs));
        return {proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -1,
                proc.readAllStandardError().toStdString()};
    }
    // Waits for a started instance to end with Status; what it said on stderr.
    static std::string Ended(QProcess& P, int Status, int TimeoutMs = 120000)
    {
        EXPECT_TRUE(P.waitForFinished(TimeoutMs));
        const std::string Err = P.readAllStandardError().toStdString();
        EXPECT_EQ(P.exitCode(), Status) << Err;
        return Err;
    }
    fs::path Dir;
    std::string LibraryPath; // searched first for libraries
    std::string Profile;
    std::vector<std::string> Inis;
    QString Platform = "offscreen"; // "minimal" for a window: an offscreen start converts at once or refuses
    fs::path StartIn;               // the folder a start is made in (empty: Dir)
    rlim_t FileLimit = 0;
};

} // namespace endtoend
