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

// Cancelled once the first file is written, with many still to go: status 2
// (also after a failed file), the cancel said, every named input not written
// named on one line of its own (one that failed keeps its own reason), and
// the command never started. A folder walk asks for the files named like
// pictures; others (a photo named p0.dat, a text) count only once written.
// Sheets of one picture each: a picture counts as written once its sheet is.
TEST_F(AtOnceCancel, ACancelledRunDoesNotStartTheCommand)
{
    std::vector<std::string> Names, Photos;
    for (int i = 0; i < 16; ++i)
        WritePhoto(Dir / "in" / Names.emplace_back("p" + std::to_string(i) + ".jpg"), 2400, 1600, i);
    for (const std::string& N : Names)
        Photos.push_back("in/" + N);
    std::ofstream(Dir / "in" / "bad.jpg") << "not a picture";
    std::vector<std::string> Named{"in/bad.jpg"};
    Named.insert(Named.end(), Photos.begin(), Photos.end());
    fs::create_directories(Dir / "walk");
    fs::copy_file(Dir / "in" / "bad.jpg", Dir / "walk" / "bad.jpg");
    for (int i = 0; i < 16; ++i)
        fs::copy_file(Dir / "in" / Names[size_t(i)], Dir / "walk" / ("p" + std::to_string(i) + ".dat"));
    std::ofstream(Dir / "walk" / "notes.txt") << "not a picture";

    struct TCase {
        const char* Name;
        std::string Settings, System;
        std::vector<std::string> Args;
    };
    const std::string Slow = "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0,1999,512\n"
                             "Size2=0,0,0,0,0,100,100,384,384,0,1999,384\nDecimationType=2\n";
    const TCase Cases[] = {
        {"named", Slow, "Parallel=0\n", Named},
        {"folder", Slow, "Parallel=0\n", {"walk"}},
        {"combine", "[Combine]\nUse=1\nRows,=1\nColumns=1\nWidth=2400\nHeight=1600\n", "", Named},
        // Small sheets: the run spends its time reading the photos, so the
        // cancel cuts a read short, which is no failure of that photo.
        {"combine small", "[Combine]\nUse=1\nRows,=1\nColumns=1\nWidth=64\nHeight=64\n", "", Named},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        fs::remove_all(Dir / "out");
        Profile(C.Settings, C.System);
        QProcess P;
        Launch(P, C.Args);
        ASSERT_TRUE(WaitFor([&] { return !Written().empty(); }, 60000));
        ::kill(pid_t(P.processId()), SIGHUP);
        ASSERT_TRUE(P.waitForFinished(60000));
        const std::string Err = P.readAllStandardError().toStdString();
        EXPECT_EQ(P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, 2) << Err;
        const std::set<std::string> Done = Written();
        ASSERT_LT(Done.size(), Names.size()) << "the run ended before the cancel";
        const std::string Cancelled = ": not written, the run was cancelled";
        if (C.Name != std::string("folder")) {
            EXPECT_THAT(Err, HasSubstr("Cancelled: " + std::to_string(17 - Done.size()) + " of 17 files not written"));
            for (const std::string& N : Names)
                EXPECT_EQ(LineOf(Err, N), Done.count(N) ? "" : N + Cancelled) << Err;
            EXPECT_NE(LineOf(Err, "bad.jpg"), "") << Err;
            EXPECT_EQ(Err.find("bad.jpg" + Cancelled), std::string::npos) << Err;
        } else if (C.Name == std::string("folder")) {
            // bad.jpg was asked for and failed; the photos written count too.
            EXPECT_THAT(Err, HasSubstr("Cancelled: 1 of " + std::to_string(1 + Done.size()) + " files not written"));
            EXPECT_EQ(Err.find(Cancelled), std::string::npos) << Err;
            EXPECT_NE(LineOf(Err, "bad.jpg"), "") << Err;
        }
        // A command started at the run's end touches its file within moments
        // (the finished run above shows it).
        EXPECT_FALSE(WaitFor([&] { return fs::exists(Dir / "out" / "ran"); }, 2000)) << Err;
    }
}
