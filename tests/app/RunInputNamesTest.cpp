// What the built program makes of the names it is given: hard and symbolic
// links, a combine page whose pictures cannot be read, a move that fails,
// a running instance that ends during a hand-off, and files whose names look
// like the toolkit's own options.
#include "TestApp.h"
#include "tests/app/FileSizeLimit.h"
#include "app/SingleInstance.h"

#include <QProcess>
#include <QSignalSpy>

#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class RunInputNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        if (!fs::exists(Program))
            GTEST_SKIP() << "the program is not built";
        Dir = ScratchDir("names");
        fs::create_directories(Dir / "in");
        // Short: the socket's path must fit its address.
        RunDir = fs::temp_directory_path() / ("vestro-run-" + std::to_string(::getpid()));
        fs::remove_all(RunDir);
        fs::create_directories(RunDir);
        fs::permissions(RunDir, fs::perms::owner_all, fs::perm_options::replace);
        Profile = Dir.filename().string() + ".ini";
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove_all(RunDir);
        fs::remove(IniDir + Profile);
    }
    // An at-once profile writing Out/<old> at a quarter of the size; File
    // goes into [File], Rest after it.
    void WriteProfile(const std::string& File = "", const std::string& Rest = "", std::string Out = "")
    {
        if (Out.empty())
            Out = (Dir / "out").string();
        std::ofstream(IniDir + Profile) << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << Out
                                        << "\nFileNameFormat=<old>\nAddSubFolder=1\n"
                                        << File << "[Resize]\nRule=0\nSize1=25\n"
                                        << Rest;
    }
    struct TResult {
        int Status = -1;
        std::string Err;
    };
    void Launch(QProcess& P, const std::vector<std::string>& Args)
    {
        QStringList A{QString::fromStdString("/ini=" + Profile)};
        for (const std::string& S : Args)
            A << QString::fromStdString(S);
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString(RunDir.string()));
        P.setProcessEnvironment(Env);
        P.setWorkingDirectory(QString::fromStdString(Dir.string()));
        LimitFileSize(P, FileLimit);
        P.start(QString::fromStdString(Program), A);
        ASSERT_TRUE(P.waitForStarted());
    }
    static TResult Ended(QProcess& P, int TimeoutMs = 60000)
    {
        EXPECT_TRUE(P.waitForFinished(TimeoutMs));
        return {P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1, P.readAllStandardError().toStdString()};
    }
    TResult Run(const std::vector<std::string>& Args)
    {
        QProcess P;
        Launch(P, Args);
        return Ended(P);
    }
    // The names in Dir/Folder, sorted.
    std::vector<std::string> Files(const std::string& Folder = "out") const
    {
        std::vector<std::string> Names;
        if (fs::is_directory(Dir / Folder))
            for (const auto& E : fs::directory_iterator(Dir / Folder))
                Names.push_back(E.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
    static int Lines(const std::string& Err) { return Count(Err, "\n"); }

    const std::string Program = std::string(VESTRO_DIST_DIR) + "/vestro-resizer";
    const std::string IniDir = std::string(VESTRO_DIST_DIR) + "/ini/";
    fs::path Dir, RunDir;
    std::string Profile;
    rlim_t FileLimit = 0;
};

} // namespace

// Hard links are names of their own: each is written. A symbolic link is
// the same file again: written once, and the link's name says so. The same
// name given twice is one input and nothing is missing.
TEST_F(RunInputNames, EveryHardLinkIsWrittenAndASymbolicLinkOnce)
{
    WriteProfile();
    WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
    WritePhoto(Dir / "in" / "b.jpg", 300, 400, 2);
    fs::create_directories(Dir / "in" / "sub");
    fs::create_hard_link(Dir / "in" / "a.jpg", Dir / "in" / "a2.jpg");
    fs::create_hard_link(Dir / "in" / "a.jpg", Dir / "in" / "sub" / "a3.jpg");
    fs::create_symlink("a.jpg", Dir / "in" / "s.jpg");
    const std::string Said = "s.jpg: the same file as a.jpg, written once under that name\n";
    const struct {
        std::vector<std::string> Args;
        int Status;
        std::vector<std::string> Out;
        std::string Err;
    } Runs[] = {
        {{"in/a.jpg", "in/a2.jpg", "in/sub/a3.jpg"}, 0, {"a.jpg", "a2.jpg", "a3.jpg"}, ""},
        {{"in/a.jpg", "in/s.jpg", "in/b.jpg", "in/a.jpg", "./in/a.jpg"}, 1, {"a.jpg", "b.jpg"}, Said},
        // A folder walk finds every link (in name order, a.jpg before s.jpg).
        {{"in"}, 1, {"a.jpg", "a2.jpg", "a3.jpg", "b.jpg"}, Said},
    };
    for (const auto& R : Runs) {
        SCOPED_TRACE(R.Args.front() + " ... " + R.Args.back());
        fs::remove_all(Dir / "out");
        const TResult r = Run(R.Args);
        EXPECT_EQ(r.Status, R.Status) << r.Err;
        EXPECT_EQ(r.Err, R.Err);
        EXPECT_EQ(Files(), R.Out);
        for (const std::string& N : R.Out)
            EXPECT_EQ(ImageSize(Dir / "out" / N), N[0] == 'a' ? QSize(100, 75) : QSize(75, 100)) << N;
    }
}

// An output may take the name of a hard link of an input (it replaces that
// name, not the file), never the name of an input itself.
TEST_F(RunInputNames, AnOutputOverAHardLinkLeavesTheInputWhole)
{
    WriteProfile("NotOverwrite=0\n", "[Bitmap]\nConvertTo=2\n[PNG]\nConvertTo=2\n", (Dir / "in").string());
    WritePhoto(Dir / "in" / "p.png", 400, 300, 3);
    WritePhoto(Dir / "in" / "q.bmp", 200, 100, 4);
    fs::create_hard_link(Dir / "in" / "q.bmp", Dir / "in" / "p.jpg"); // where p.png's output goes
    WritePhoto(Dir / "in" / "r.png", 400, 300, 5);
    WritePhoto(Dir / "in" / "r.jpg", 64, 64, 6); // another input: r.png's output may not replace it
    const std::string Q = ReadFile(Dir / "in" / "q.bmp"), R = ReadFile(Dir / "in" / "r.jpg");
    const TResult r = Run({"in/p.png", "in/q.bmp", "in/r.png", "in/r.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Err,
              "r.png: cannot write " + (Dir / "in" / "r.jpg").string() +
                  ": it is the input of another file of this run\n");
    EXPECT_EQ(ImageSize(Dir / "in" / "p.jpg"), QSize(100, 75));
    EXPECT_TRUE(ReadFile(Dir / "in" / "q.bmp") == Q);
    EXPECT_EQ(ImageSize(Dir / "in" / "q.jpg"), QSize(50, 25));
    EXPECT_EQ(ImageSize(Dir / "in" / "r.jpg"), QSize(16, 16)); // converted in place
    EXPECT_FALSE(ReadFile(Dir / "in" / "r.jpg") == R);
}

// A page of which no picture can be read makes no sheet and says so once per
// file; a sheet is named after its first picture that was read.
TEST_F(RunInputNames, ACombineSheetIsNamedAfterItsFirstPictureRead)
{
    WritePhoto(Dir / "in" / "good.jpg", 400, 300, 1);
    WritePhoto(Dir / "in" / "cut.jpg", 400, 300, 2);
    fs::resize_file(Dir / "in" / "cut.jpg", fs::file_size(Dir / "in" / "cut.jpg") / 2);
    const std::string CutSaid = "cut.jpg: Failed to load file: Premature end of JPEG file\n";
    const struct {
        const char* FillBlank;
        std::vector<std::string> Args;
        int Status;
        std::vector<std::string> Out;
        QSize Sheet;
    } Runs[] = {
        {"0", {"in/cut.jpg"}, 1, {}, {}},
        {"1", {"in/cut.jpg"}, 1, {}, {}},
        {"0", {"in/cut.jpg", "in/good.jpg"}, 1, {"good.jpg"}, {200, 100}},
        {"1", {"in/cut.jpg", "in/good.jpg"}, 1, {"good.jpg"}, {133, 100}},
        // Two pages: the first of holes only takes no number.
        {"0", {"in/cut.jpg", "in/cut.jpg", "in/good.jpg"}, 1, {"good.jpg"}, {100, 100}},
    };
    for (const auto& R : Runs) {
        SCOPED_TRACE(std::string(R.FillBlank) + " " + std::to_string(R.Args.size()));
        WriteProfile("NotOverwrite=1\n",
                     "[Combine]\nUse=1\nWidth=100\nHeight=100\nRows,=2\nColumns=1\nFillBlank=" +
                         std::string(R.FillBlank) + "\n");
        fs::remove_all(Dir / "out");
        const TResult r = Run(R.Args);
        EXPECT_EQ(r.Status, R.Status) << r.Err;
        const int Cut = int(std::count(R.Args.begin(), R.Args.end(), "in/cut.jpg"));
        EXPECT_EQ(Count(r.Err, CutSaid), Cut) << r.Err;
        EXPECT_EQ(Lines(r.Err), Cut) << r.Err;
        EXPECT_EQ(Files(), R.Out);
        EXPECT_EQ(R.Out.empty() ? QSize() : ImageSize(Dir / "out" / R.Out.front()), R.Sheet);
    }
}

// A move that fails says why, as a failed write does; so does a copy to
// another file system. The source stays.
TEST_F(RunInputNames, AFailedRenameSaysTheSystemsReason)
{
    WriteProfile("NotOverwrite=0\nRenameOnly=1\n");
    WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
    fs::create_directories(Dir / "out" / "a.jpg"); // a folder where the file would go
    const std::string A = ReadFile(Dir / "in" / "a.jpg");
    TResult r = Run({"in/a.jpg"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err,
              "a.jpg: Failed to rename file: cannot write " + (Dir / "out" / "a.jpg").string() + ": File exists\n");
    EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == A);

    // Onto another file system with no room for it.
    const fs::path Shm = "/dev/shm/" + Dir.filename().string();
    struct stat Here {
    }, There{};
    if (::stat(Dir.c_str(), &Here) != 0 || ::stat("/dev/shm", &There) != 0 || Here.st_dev == There.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    WriteProfile("NotOverwrite=0\nRenameOnly=1\n", "", Shm.string());
    FileLimit = 1000;
    r = Run({"in/a.jpg"});
    fs::remove_all(Shm);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "a.jpg: Failed to copy file: cannot write " + (Shm / "a.jpg").string() + ": File too large\n");
    EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == A);
}

// The running instance takes the files and ends before it answers (as when
// it is killed): the start names each file it handed over and fails.
TEST_F(RunInputNames, ARunningInstanceThatEndsDuringAHandOffLeavesEachFileNamed)
{
    WriteProfile();
    WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
    WritePhoto(Dir / "in" / "b.jpg", 400, 300, 2);
    // The running instance of the program folder, in this process.
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(RunDir.string()));
    auto Running = std::make_unique<TSingleInstance>(fs::canonical(VESTRO_DIST_DIR).string() + "/");
    qunsetenv("XDG_RUNTIME_DIR");
    ASSERT_TRUE(Running->TryBecomeFirst());
    ASSERT_TRUE(Running->Alone().empty()) << Running->Alone();
    Running->SetReportsResults(true);
    Running->SetAccepting(true);
    QSignalSpy Took(Running.get(), &TSingleInstance::Received);
    QProcess P;
    Launch(P, {"in/a.jpg", "in/b.jpg", "in/"});
    ASSERT_TRUE(WaitFor([&] { return Took.count() > 0; }));
    const auto Queued = Running->TakeQueuedRuns();
    ASSERT_EQ(Queued.size(), 1u);
    EXPECT_NE(Queued.front().Ticket, 0); // the start waits for a result
    Running.reset();                     // its connections close as a killed process's do
    const TResult r = Ended(P);
    EXPECT_EQ(r.Status, 1);
    const std::string Why = ": the running instance ended before it said what became of this file\n";
    EXPECT_EQ(r.Err, "a.jpg" + Why + "b.jpg" + Why + "in" + Why);
    EXPECT_FALSE(fs::exists(Dir / "out"));
}

// Names the toolkit would read as its options are files like any other: all
// converted at once, and the toolkit hears of none of them (a platform named
// "x" would end the program, a style or widget count would be said).
TEST_F(RunInputNames, FileNamesThatLookLikeToolkitOptionsAreConverted)
{
    WriteProfile();
    const std::vector<std::string> Names = {"-reverse", "-style=x.jpg", "-platform",
                                            "x",        "-widgetcount", "-stylesheet=s.jpg"};
    for (size_t i = 0; i < Names.size(); ++i)
        WritePhoto(Dir / "in" / "p.jpg", 80, 40, int(i)), fs::rename(Dir / "in" / "p.jpg", Dir / Names[i]);
    const TResult r = Run(Names);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"-platform.jpg", "-reverse.jpg", "-style=x.jpg", "-stylesheet=s.jpg",
                                        "-widgetcount.jpg", "x.jpg"}));
    EXPECT_EQ(ImageSize(Dir / "out" / "-reverse.jpg"), QSize(20, 10));
}

// "Skip" keeps an output that exists: a run whose every picture is kept so
// did what was asked (status 0, no line), one with a damaged picture among
// them says so for that one alone, and a folder without pictures is still
// refused.
TEST_F(RunInputNames, ARunWhoseEveryOutputIsSkippedEndsWithoutError)
{
    WriteProfile("NotOverwrite=1\nSkip=1\n");
    WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
    WritePhoto(Dir / "in" / "b.jpg", 300, 400, 2);
    TResult r = Run({"in"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ASSERT_EQ(Files(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    const std::string A = ReadFile(Dir / "out" / "a.jpg");
    WritePhoto(Dir / "in" / "a.jpg", 200, 200, 3);

    r = Run({"in"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(ReadFile(Dir / "out" / "a.jpg"), A);

    std::ofstream(Dir / "in" / "c.jpg") << "not a picture";
    r = Run({"in/a.jpg", "in/c.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Lines(r.Err), 1) << r.Err;
    EXPECT_TRUE(r.Err.starts_with("c.jpg:")) << r.Err;
    EXPECT_TRUE(fs::exists(Dir / "in" / "c.jpg"));

    fs::create_directories(Dir / "empty");
    r = Run({"empty"});
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_NE(r.Err.find("no pictures found in"), std::string::npos) << r.Err;
}
