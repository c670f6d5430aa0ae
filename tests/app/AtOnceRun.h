// The built program started at once on files, with a profile of its own,
// offscreen: its status and what it said.
#pragma once
#include "TestApp.h"

#include <QProcess>

#include <sstream>

// The line of Err that names File ("" when none does).
inline std::string LineOf(const std::string& Err, const std::string& File)
{
    std::istringstream In(Err);
    for (std::string L; std::getline(In, L);)
        if (L.find(File + ":") != std::string::npos)
            return L;
    return {};
}

class AtOnceRun : public ::testing::Test {
protected:
    const std::string Program = std::string(VESTRO_DIST_DIR) + "/vestro-resizer";
    void SetUp() override
    {
        EnsureApp();
        if (!std::filesystem::exists(Program) ||
            !std::filesystem::exists(std::string(VESTRO_DIST_DIR) + "/bin/libkodex.so"))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("atonce");
        std::filesystem::create_directories(Dir / "in");
        // The socket's folder: short, as socket paths must be.
        Run = std::filesystem::temp_directory_path() / ("vr-" + std::to_string(::getpid()));
        std::filesystem::remove_all(Run);
        std::filesystem::create_directories(Run);
        std::filesystem::permissions(Run, std::filesystem::perms::owner_all);
        Profile = Dir.filename().string() + ".ini";
    }
    void TearDown() override
    {
        std::filesystem::remove_all(Dir);
        std::filesystem::remove_all(Run);
        std::filesystem::remove(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile);
    }
    // An at-once profile converting into Dir/out under the input's name, then Extra.
    void WriteProfile(const std::string& Extra)
    {
        std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=<old>\n"
            << Extra;
    }
    // Runs the program on Args (relative to Dir); its status and stderr.
    std::pair<int, std::string> Start(const std::vector<std::string>& Args)
    {
        QStringList A{QString::fromStdString("/ini=" + Profile)};
        for (const std::string& S : Args)
            A << QString::fromStdString(S);
        QProcess P;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Run.string()));
        P.setProcessEnvironment(Env);
        P.setWorkingDirectory(QString::fromStdString(Dir.string()));
        P.start(QString::fromStdString(Program), A);
        EXPECT_TRUE(P.waitForStarted());
        EXPECT_TRUE(P.waitForFinished(60000));
        return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAllStandardError().toStdString()};
    }
    std::filesystem::path Dir, Run;
    std::string Profile;
};
