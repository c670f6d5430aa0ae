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

// The built program started as a script starts it: offscreen, in Dir, with
// Args after "/ini=Profile" and its single-instance socket in RunDir. Its exit
// status (-1 when it crashed or ran past TimeoutMs) and what it wrote to
// standard error.
struct TProgramResult {
    int Status = -1;
    std::string Err;
};
inline TProgramResult RunProgramAtOnce(const std::string& Profile, const std::vector<std::string>& Args,
                                       const std::filesystem::path& Dir, const std::filesystem::path& RunDir,
                                       int TimeoutMs = 120000)
{
    QStringList A{QString::fromStdString("/ini=" + Profile)};
    for (const std::string& S : Args)
        A << QString::fromStdString(S);
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert("QT_QPA_PLATFORM", "offscreen");
    Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(RunDir.string()));
    QProcess P;
    P.setProcessEnvironment(Env);
    P.setWorkingDirectory(QString::fromStdString(Dir.string()));
    P.start(QString::fromStdString(std::string(VESTRO_DIST_DIR) + "/vestro-resizer"), A);
    if (!P.waitForFinished(TimeoutMs)) {
        P.kill();
        P.waitForFinished();
        ADD_FAILURE() << "still running after " << TimeoutMs << " ms";
        return {-1, P.readAllStandardError().toStdString()};
    }
    return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAllStandardError().toStdString()};
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
        const TProgramResult R = RunProgramAtOnce(Profile, Args, Dir, Run, 60000);
        return {R.Status, R.Err};
    }
    std::filesystem::path Dir, Run;
    std::string Profile;
};
