// The after-run command of an at-once start: a run that ends with every file
// written starts it, in the output folder's name; a run cancelled by a closed
// terminal never does, and says which files it left unwritten.
#include "AtOnceRun.h"

#include <csignal>
#include <set>

namespace fs = std::filesystem;

namespace {

class AtOnceCancel : public AtOnceRun {
protected:
    // Converts or combines into out/ and then touches out/ran.
    void Profile(const std::string& Extra, const std::string& System = {})
    {
        WriteProfile(Extra + "[System]\nUseExternalTool=1\nCommand=touch <DIR>/ran\n" + System);
    }
    // The program started on Args (in Dir), left running.
    void Launch(QProcess& P, const std::vector<std::string>& Args)
    {
        QStringList A{QString::fromStdString("/ini=" + AtOnceRun::Profile)};
        for (const std::string& S : Args)
            A << QString::fromStdString(S);
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(Run.string()));
        P.setProcessEnvironment(Env);
        P.setWorkingDirectory(QString::fromStdString(Dir.string()));
        P.start(QString::fromStdString(Program), A);
    }
    // The pictures out/ holds (not the marker, not a hidden file).
    std::set<std::string> Written() const
    {
        std::set<std::string> W;
        std::error_code Ec;
        for (const auto& E : fs::directory_iterator(Dir / "out", Ec))
            if (const std::string N = E.path().filename().string(); N[0] != '.' && N != "ran")
                W.insert(N);
        return W;
    }
};

} // namespace

TEST_F(AtOnceCancel, AFinishedRunStartsTheCommandInTheOutputFolder)
{
    for (const char* N : {"a.jpg", "b.jpg"})
        WritePhoto(Dir / "in" / N, 64, 48, 1);
    Profile("");
    const auto [Status, Err] = Start({"in/a.jpg", "in/b.jpg"});
    EXPECT_EQ(Status, 0) << Err;
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Dir / "out" / "ran"); })) << Err;
    EXPECT_EQ(Written(), (std::set<std::string>{"a.jpg", "b.jpg"}));
}

// Cancelled once the first file is written, with many still to go: status 2,
// the cancel said, every input not written named on a line of its own, and
// the command never started.
TEST_F(AtOnceCancel, ACancelledRunDoesNotStartTheCommand)
{
    struct TCase {
        const char* Name;
        std::string Settings, System;
        bool Named; // the output files bear the inputs' names
    };
    const std::string Slow = "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,1999,512\n"
                             "Size2=0,0,0,0,0,100,100,384,384,0,1999,384\nDecimationType=2\n";
    const TCase Cases[] = {
        {"convert", Slow, "Parallel=0\n", true},
        {"combine", "[Combine]\nUse=1\nRows=1\nColumns=1\nWidth=2400\nHeight=1600\n", "", false},
    };
    std::vector<std::string> Names;
    for (int i = 0; i < 16; ++i)
        WritePhoto(Dir / "in" / Names.emplace_back("p" + std::to_string(i) + ".jpg"), 2400, 1600, i);
    std::vector<std::string> Args;
    for (const std::string& N : Names)
        Args.push_back("in/" + N);
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        fs::remove_all(Dir / "out");
        Profile(C.Settings, C.System);
        QProcess P;
        Launch(P, Args);
        ASSERT_TRUE(WaitFor([&] { return !Written().empty(); }, 60000));
        ::kill(pid_t(P.processId()), SIGHUP);
        ASSERT_TRUE(P.waitForFinished(60000));
        const std::string Err = P.readAllStandardError().toStdString();
        EXPECT_EQ(P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, 2) << Err;
        const std::set<std::string> Done = Written();
        ASSERT_LT(Done.size(), Names.size()) << "the run ended before the cancel";
        if (C.Named) {
            const std::string Left = std::to_string(Names.size() - Done.size());
            EXPECT_THAT(Err, HasSubstr("Cancelled: " + Left + " of 16 files not written")) << Err;
            for (const std::string& N : Names)
                EXPECT_EQ(LineOf(Err, N), Done.count(N) ? "" : N + ": not written, the run was cancelled") << Err;
        }
        // A command started at the run's end touches its file within moments
        // (the finished run above shows it).
        EXPECT_FALSE(WaitFor([&] { return fs::exists(Dir / "out" / "ran"); }, 2000)) << Err;
    }
}
