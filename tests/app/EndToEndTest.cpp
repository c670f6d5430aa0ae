// The built program, started as a user or a script would start it, under the
// offscreen platform: files on the command line with an at-once profile.
#include "ProgramFixture.h"

using namespace endtoend;

namespace {

TEST_F(Program, ConvertsAFolderAndReportsADamagedFileWithStatus1)
{
    WriteProfile("[Metadata]\nKeepLastWriteTime=1\n");
    WritePhoto(Dir / "in" / "wide.jpg", 1200, 800, 1);
    const auto shot = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(Dir / "in" / "wide.jpg", shot);
    WritePhoto(Dir / "in" / "trip" / "tall.jpg", 600, 1000, 2);
    WritePhoto(Dir / "in" / "cut.jpg", 900, 700, 3);
    fs::resize_file(Dir / "in" / "cut.jpg", 700); // the header kept, most of the picture lost

    const TResult r = Run({"in"}); // relative to the folder the program starts in
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_THAT(r.Err, HasSubstr("cut.jpg"));
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "wide.jpg"), QSize(320, 213));
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "trip" / "tall.jpg"), QSize(192, 320));
    // Kept in steps of two seconds, as the times are stored for this option.
    EXPECT_LT(std::chrono::abs(fs::last_write_time(Dir / "out" / "in" / "wide.jpg") - shot), std::chrono::seconds(2));

    // Again, with NotOverwrite: new names, the first outputs untouched.
    const auto before = fs::last_write_time(Dir / "out" / "in" / "wide.jpg");
    fs::remove(Dir / "in" / "cut.jpg");
    const TResult again = Run({(Dir / "in").string()});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(fs::last_write_time(Dir / "out" / "in" / "wide.jpg"), before);
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "wide[1].jpg"), QSize(320, 213));
    EXPECT_TRUE(fs::exists(Dir / "out" / "in" / "trip" / "tall[1].jpg"));
}

TEST_F(Program, WithoutAtOnceItOpensTheWindowAndATermClosesIt)
{
    WriteProfile("", false);
    WritePhoto(Dir / "in" / "a.jpg", 100, 80, 1);
    QProcess proc;
    Platform = "minimal";
    Start(proc, Profile, {"in/a.jpg"});
    EXPECT_FALSE(proc.waitForFinished(1500)); // the window stays until it is closed: nothing is converted meanwhile
    proc.terminate();
    Ended(proc, 0, 20000);
    EXPECT_FALSE(fs::exists(Dir / "out"));
}

TEST_F(Program, WithoutADisplayItConvertsAtOnceAndRefusesOnlyTheWindow)
{
    WriteProfile();
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    TResult r = Run({"in/a.jpg"}, 60000, /*NoDisplay=*/true);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(320, 240));
    // A window has nothing to be shown on: said, and no crash.
    WriteProfile("", false);
    r = Run({"in/a.jpg"}, 60000, true);
    EXPECT_EQ(r.Status, 2) << r.Err;
    EXPECT_THAT(r.Err, HasSubstr("no display: the window cannot be shown"));
}

TEST_F(Program, ASecondStartHandsItsFilesOverAndNothingIsLost)
{
    WriteProfile();
    const std::vector<std::string> Names = Photos(12);
    WritePhoto(Dir / "in" / "trip" / "late.jpg", 640, 480, 99);
    QProcess first;
    Start(first, Profile, Names);

    // The second start names a profile of its own, writing elsewhere.
    ModeProfile("other-" + Profile, "", "[Resize]\nRule=0\nSize1=50\n", "other");
    // Whether the first is starting, converting or ending: done, with its own start's settings.
    QProcess second;
    Start(second, "other-" + Profile, {"in/trip/late.jpg"});
    Ended(second, 0, 60000);
    Ended(first, 0, 60000);
    EXPECT_EQ(ImageSize(Dir / "other" / "late.jpg"), QSize(320, 240));
    EXPECT_EQ(ImageSize(Dir / "out" / "p0.jpg"), QSize(320, 213));
}

TEST_F(Program, TerminatingCancelsCleanlyWithStatus2)
{
    WriteProfile("Parallel=0\n");
    QProcess proc;
    Start(proc, Profile, Photos(30));
    // Stop it once the first output is there, as Ctrl+C would.
    WaitFor([this] { return fs::exists(Dir / "out" / "p0.jpg"); });
    proc.terminate();
    const std::string err = Ended(proc, 2, 20000);
    int outputs = 0;
    for (const auto& e : fs::directory_iterator(Dir / "out")) {
        EXPECT_EQ(e.path().extension(), ".jpg") << e.path(); // no half-written temporary file
        ++outputs;
    }
    EXPECT_LT(outputs, 30);
    // It says what it left undone.
    EXPECT_EQ(Count(err, "Cancelled: " + std::to_string(30 - outputs) + " of 30 files not written"), 1) << err;
}

TEST_F(Program, TerminatingEndsASlowPNGOptimiserAtOnce)
{
    // A stand-in optimiser that would take 100 s a file, found through PATH.
    fs::create_directories(Dir / "tools");
    std::ofstream(Dir / "tools" / "zopflipng") << "#!/bin/sh\ntouch \"$0.started\"\nexec sleep 100\n";
    fs::permissions(Dir / "tools" / "zopflipng", fs::perms::owner_all);
    if (fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/zopflipng"))
        GTEST_SKIP() << "the program folder brings its own optimiser";
    WriteProfile("[JPEG]\nConvertTo=3\n[PNG]\nUsePNGOUT=1\nFullColorOptimization=1\n");
    const QByteArray Path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((Dir / "tools").string() + ":") + Path);
    QProcess proc;
    Start(proc, Profile, Photos(3));
    qputenv("PATH", Path);
    ASSERT_TRUE(WaitFor([this] { return fs::exists(Dir / "tools" / "zopflipng.started"); }));
    const auto Asked = std::chrono::steady_clock::now();
    proc.terminate();
    Ended(proc, 2, 20000);
    EXPECT_LT(std::chrono::steady_clock::now() - Asked, std::chrono::seconds(2));
}

TEST_F(Program, ACombineProfileMakesSheetsInsteadOfConvertingEachFile)
{
    ModeProfile(Profile, "NotOverwrite=1\n",
                "[Combine]\nUse=1\nWidth=100\nHeight=100\nRows,=2\nColumns=2\nFillBlank=0\n"
                "[System]\nMaxThread=3\n");
    for (int i = 0; i < 5; ++i)
        WritePhoto(Dir / "in" / (std::string(1, char('a' + i)) + ".jpg"), 400, 300, i);
    const TResult r = Run({"in"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    // Pages of 4 and 1 pictures, each sheet named after its first picture.
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(200, 200));
    EXPECT_EQ(ImageSize(Dir / "out" / "e.jpg"), QSize(100, 100));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 2);
}

TEST_F(Program, RenameOnlyMovesFilesAndNeverReplacesOne)
{
    // Even a profile that lets outputs be replaced: a move never replaces.
    ModeProfile(Profile, "NotOverwrite=0\nRenameOnly=1\n", "");
    WritePhoto(Dir / "in" / "a.jpg", 200, 100, 1);
    WritePhoto(Dir / "in" / "b.jpg", 200, 100, 2);
    fs::create_directories(Dir / "out");
    std::ofstream(Dir / "out" / "a.jpg") << "keep";
    const std::string b = ReadFile(Dir / "in" / "b.jpg");

    const TResult r = Run({"in/a.jpg", "in/b.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err; // a.jpg could not be moved
    EXPECT_THAT(r.Err, HasSubstr("a.jpg"));
    EXPECT_EQ(ReadFile(Dir / "out" / "a.jpg"), "keep");
    EXPECT_TRUE(fs::exists(Dir / "in" / "a.jpg"));
    EXPECT_EQ(ReadFile(Dir / "out" / "b.jpg"), b); // moved as it was
    EXPECT_FALSE(fs::exists(Dir / "in" / "b.jpg"));
}

// Named files and those a folder walk finds alike.
TEST_F(Program, WhatCannotBeReadIsSaidOnceAndTheStatusSaysSo)
{
    WriteProfile();
    fs::create_directories(Dir / "named");
    for (const char* Folder : {"named", "in"}) {
        WritePhoto(Dir / Folder / "good.jpg", 640, 480, 1);
        std::ofstream(Dir / Folder / "empty.jpg").flush();
    }
    std::ofstream(Dir / "named" / "words.jpg") << "no picture here, only words";
    for (const char* Cut : {"cut.jpg", "cut.png"}) { // the JPEG within its header, the PNG in its data
        WritePhoto(Dir / "named" / Cut, 640, 480, 2);
        fs::resize_file(Dir / "named" / Cut, Cut[4] == 'j' ? 100 : fs::file_size(Dir / "named" / Cut) / 2);
    }
    // A FIFO named like a picture: opening it must not wait for a writer.
    ASSERT_EQ(::mkfifo((Dir / "named" / "pipe.jpg").c_str(), 0600), 0);
    // A line break in a name does not split its line.
    std::ofstream(Dir / "named" / "two\nlines.jpg") << "words";
    std::ofstream(Dir / "in" / "trip" / "words.PNG") << "no picture here, only words";
    std::ofstream(Dir / "in" / "notes.txt") << "a text file stays out of it";
    fs::create_directories(Dir / "empty");
    fs::create_directories(Dir / "texts");
    std::ofstream(Dir / "texts" / "notes.txt") << "words";
    const struct {
        std::vector<std::string> Args;
        int Status;
        std::vector<std::string> Said;
    } Runs[] = {
        {{"named/good.jpg", "named/empty.jpg", "named/words.jpg", "named/cut.jpg", "named/cut.png", "named/pipe.jpg",
          "named/missing.jpg", "named/two\nlines.jpg"},
         1,
         {"empty.jpg: ", "words.jpg: ", "cut.jpg: ", "cut.png: ", "pipe.jpg: ", "missing.jpg: ", "two?lines.jpg: "}},
        // Only files that cannot be read: said, with status 1, not a silent 2.
        {{"named/empty.jpg", "named/pipe.jpg", "named/missing.jpg"}, 1, {"empty.jpg: ", "pipe.jpg: ", "missing.jpg: "}},
        // Full paths only: an at-once run that says what is missing, not an unseen window.
        {{(Dir / "nonexist.jpg").string(), (Dir / "gone" / "folder").string()}, 1, {"nonexist.jpg: ", "folder: "}},
        {{"in"}, 1, {"empty.jpg: ", "words.PNG: "}},
        // A folder with nothing to convert is refused, and says why.
        {{"empty"}, 2, {"no pictures found in " + (Dir / "empty").string()}},
        {{"texts"}, 2, {"no pictures found in " + (Dir / "texts").string()}},
    };
    for (const auto& R : Runs) {
        const TResult r = Run(R.Args, 30000);
        EXPECT_EQ(r.Status, R.Status) << R.Args[0] << "\n" << r.Err;
        for (const std::string& N : R.Said)
            EXPECT_EQ(Count(r.Err, N), 1) << N << "\n" << r.Err;
        EXPECT_EQ(Count(r.Err, "notes.txt"), 0) << r.Err;
    }
    EXPECT_EQ(ImageSize(Dir / "out" / "good.jpg"), QSize(320, 240));
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "good.jpg"), QSize(320, 240));
}

// A format whose library is missing says so; the others convert.
TEST_F(Program, MissingFormatLib)
{
    // A 2 x 2 gray TIFF, uncompressed: nine tags, then the four samples.
    std::string T("II*\0\x08\0\0\0\x09\0", 10);
    const std::pair<uint16_t, uint16_t> Tags[] = {{256, 2},   {257, 2}, {258, 8}, {259, 1}, {262, 1},
                                                  {273, 122}, {277, 1}, {278, 2}, {279, 4}};
    for (const auto& [Tag, V] : Tags)
        T += std::string{char(Tag), char(Tag >> 8), 3, 0, 1, 0, 0, 0, char(V), char(V >> 8), 0, 0};
    std::ofstream(Dir / "in" / "gray.tif", std::ios::binary) << T << std::string(4, '\0') << "\x10\x80\xc0\xff";
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    WriteProfile();
    TResult r = Run({"in/gray.tif", "in/a.jpg"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "gray.jpg"), QSize(320, 320));

    // The loader finds a damaged copy of the TIFF library first.
    fs::remove_all(Dir / "out");
    fs::create_directories(Dir / "libs");
    std::ofstream(Dir / "libs" / KODEX_SONAME_TIFF) << "not a library";
    LibraryPath = (Dir / "libs").string();
    r = Run({"in/gray.tif", "in/a.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "gray.tif: "), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, KODEX_SONAME_TIFF), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "\n"), 1) << r.Err;
    EXPECT_FALSE(fs::exists(Dir / "out" / "gray.jpg"));
    EXPECT_EQ(ImageSize(Dir / "out" / "a.jpg"), QSize(320, 240));
}

// (A short name: the socket's path holds it and has a length limit.)
TEST_F(Program, AtOnceBesideAWindowSaysSo)
{
    WriteProfile();
    WritePhoto(Dir / "in" / "a.jpg", 100, 80, 1);
    Ini("win-" + Profile, "[File]\nAtOnce=0\n");
    QProcess first;
    Platform = "minimal";
    Start(first, "win-" + Profile, {});
    Platform = "offscreen";
    // Its lock taken, it is the running instance.
    WaitForLock();
    const TResult r = Run({"in/a.jpg"});
    first.terminate();
    first.waitForFinished(20000);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Count(r.Err, "handed to the running window"), 1) << r.Err;
    EXPECT_FALSE(fs::exists(Dir / "out")); // the window lists them; nothing is converted
}

TEST_F(Program, EachHandedOverRunReportsToItsOwnStart)
{
    WriteProfile("Parallel=0\n"); // one worker: the first run lasts while the others start
    std::vector<std::string> a = Photos(16);
    // The first start's own run has one damaged file.
    WritePhoto(Dir / "in" / "cut.jpg", 900, 700, 3);
    fs::resize_file(Dir / "in" / "cut.jpg", 700);
    a.push_back("in/cut.jpg");
    WritePhoto(Dir / "in" / "trip" / "late.jpg", 640, 480, 99);
    std::ofstream(Dir / "in" / "trip" / "bad.jpg") << "not a picture";

    QProcess first;
    Start(first, Profile, a);
    WaitForLock();
    // A later run neither inherits the first's error (refused under AbortOnError) nor hands its result on.
    ModeProfile("strict-" + Profile, "", "[System]\nAbortOnError=1\n", "strict");
    QProcess good, bad;
    Start(good, "strict-" + Profile, {"in/trip/late.jpg"});
    Start(bad, Profile, {"in/trip/bad.jpg"});
    Ended(good, 0);
    const std::string badErr = Ended(bad, 1), firstErr = Ended(first, 1);
    EXPECT_EQ(Count(badErr, "bad.jpg: "), 1) << badErr;
    // The first instance did the later runs; it reports only its own files.
    EXPECT_EQ(Count(firstErr, "cut.jpg: "), 1) << firstErr;
    EXPECT_EQ(Count(firstErr, "bad.jpg"), 0) << firstErr;
    EXPECT_TRUE(fs::exists(Dir / "strict" / "late.jpg"));
    EXPECT_EQ(ImageSize(Dir / "out" / "p15.jpg"), QSize(320, 213));
}

TEST_F(Program, ALosslessTransformOfDamagedDataKeepsTheSource)
{
    if (!fs::exists("/usr/bin/jpegtran") && !fs::exists(std::string(VESTRO_DIST_DIR) + "/bin/jpegtran"))
        GTEST_SKIP() << "no jpegtran";
    ModeProfile(Profile, "NotOverwrite=1\nDeleteInputFile=1\n", "[JPEGTran]\nUse=1\nRotation=2\n");
    WritePhoto(Dir / "in" / "a.jpg", 640, 480, 1);
    WritePhoto(Dir / "in" / "whole.jpg", 640, 480, 2);
    WritePhoto(Dir / "in" / "mid.jpg", 640, 480, 4);
    // Cut inside the picture data: the tool would fill the rest with gray.
    fs::resize_file(Dir / "in" / "a.jpg", fs::file_size(Dir / "in" / "a.jpg") / 2);
    // Damaged inside the picture data, whole around it: the tool says so as
    // it goes, and the gray-filled picture it made is no output.
    std::string Mid = ReadFile(Dir / "in" / "mid.jpg");
    for (size_t I = 0; I < 64; ++I)
        Mid[Mid.size() / 2 + I] = char(I);
    std::ofstream(Dir / "in" / "mid.jpg", std::ios::binary) << Mid;
    // A PNG named on the command line is no JPEG to transform: said so.
    ASSERT_TRUE(QImage(20, 10, QImage::Format_RGB32).save(QString::fromStdString((Dir / "in" / "b.png").string())));
    // Cut before the picture data.
    WritePhoto(Dir / "in" / "head.jpg", 64, 48, 3);
    std::string Head = ReadFile(Dir / "in" / "head.jpg");
    Head.resize(Head.find("\xFF\xDA"));
    std::ofstream(Dir / "in" / "head.jpg", std::ios::binary) << Head;
    const TResult r = Run({"in/a.jpg", "in/whole.jpg", "in/b.png", "in/head.jpg", "in/mid.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    for (const char* N : {"a.jpg: ", "b.png: ", "head.jpg: ", "mid.jpg: "})
        EXPECT_EQ(Count(r.Err, N), 1) << r.Err;
    // The words the decoding path has for them.
    for (const char* N : {"a.jpg", "head.jpg"})
        EXPECT_THAT(r.Err, HasSubstr(N + std::string(": Failed to load file: Premature end of JPEG file\n")));
    EXPECT_THAT(r.Err, HasSubstr("mid.jpg: Failed to load file: Corrupt JPEG data"));
    EXPECT_EQ(ReadFile(Dir / "in" / "head.jpg"), Head);
    EXPECT_EQ(ReadFile(Dir / "in" / "mid.jpg"), Mid);
    for (const char* N : {"a.jpg", "head.jpg", "mid.jpg"}) {
        EXPECT_TRUE(fs::exists(Dir / "in" / N)) << N;
        EXPECT_FALSE(fs::exists(Dir / "out" / N)) << N << ": a failed transform leaves no output";
    }
    // The sound one is turned and its source deleted, as asked; no work file stays.
    EXPECT_EQ(ImageSize(Dir / "out" / "whole.jpg"), QSize(480, 640));
    EXPECT_FALSE(fs::exists(Dir / "in" / "whole.jpg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 1);

    // Onto itself: the damaged source stays, not replaced by what the tool made of it.
    ModeProfile(Profile, "NotOverwrite=0\nDeleteInputFile=1\n", "[JPEGTran]\nUse=1\nRotation=2\n", "in");
    const std::string Cut = ReadFile(Dir / "in" / "a.jpg");
    const TResult self = Run({"in/a.jpg", "in/mid.jpg"});
    EXPECT_EQ(self.Status, 1) << self.Err;
    EXPECT_EQ(Count(self.Err, "a.jpg: "), 1) << self.Err;
    EXPECT_EQ(Count(self.Err, "mid.jpg: "), 1) << self.Err;
    EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == Cut) << "the damaged source was replaced";
    EXPECT_TRUE(ReadFile(Dir / "in" / "mid.jpg") == Mid) << "the damaged source was replaced";
}

// A small file of the given bytes.
void WriteBytes(const fs::path& P, const std::string& Bytes)
{
    std::ofstream(P, std::ios::binary) << Bytes;
}

// A lossless WebP of 16383 x 16383 pixels of one colour: every prefix code
// has a single symbol, so the pixels take no bits at all.
std::string HugeLosslessWebP()
{
    std::string Bits; // one char per bit, least significant first
    auto Put = [&](uint32_t V, int N) {
        for (int I = 0; I < N; ++I)
            Bits += char((V >> I) & 1);
    };
    Put(16382, 14), Put(16382, 14), Put(0, 4); // sizes - 1, no alpha, version 0
    Put(0, 3);                                 // no transform, colour cache or meta codes
    for (int Code = 0; Code < 5; ++Code)
        Put(1, 1), Put(0, 1), Put(0, 1), Put(0, 1); // simple code: one 1-bit symbol, 0
    std::string Data = "\x2F";
    Data.resize(1 + (Bits.size() + 7) / 8, '\0');
    for (size_t I = 0; I < Bits.size(); ++I)
        Data[1 + I / 8] = char(Data[1 + I / 8] | Bits[I] << (I % 8));
    auto LE32 = [](uint32_t V) { return std::string{char(V), char(V >> 8), char(V >> 16), char(V >> 24)}; };
    return "RIFF" + LE32(uint32_t(12 + Data.size())) + "WEBPVP8L" + LE32(uint32_t(Data.size())) + Data;
}

// Inputs that are left out each say why, with the reason that holds: no
// pixels, a name over the system's limit, a folder walk that cannot go on; one
// file named twice is one input, and two names differing in letter case are
// two outputs.
TEST_F(Program, EveryInputLeftOutSaysItsOwnReason)
{
    WriteProfile();
    WritePhoto(Dir / "in" / "good.jpg", 64, 48, 1);
    std::string Bmp(54, '\0');
    Bmp[0] = 'B', Bmp[1] = 'M', Bmp[10] = 54, Bmp[14] = 40, Bmp[22] = 4, Bmp[26] = 1, Bmp[28] = 24;
    WriteBytes(Dir / "in" / "zero.bmp", Bmp); // 0 x 4
    WriteBytes(Dir / "in" / "zero.png",
               std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\0\0\0\0\0\x08\x02\0\0\0\0\0\0\0", 33));
    const std::string Jpeg = ReadFile(Dir / "in" / "good.jpg");
    const size_t Sof = Jpeg.find("\xFF\xC0");
    ASSERT_NE(Sof, std::string::npos);
    std::string Zero = Jpeg, Dnl = Jpeg;
    Zero.replace(Sof + 5, 4, std::string(4, '\0'));
    Dnl.replace(Sof + 5, 2, std::string(2, '\0')); // the height comes later, in a DNL marker
    WriteBytes(Dir / "in" / "zero.jpg", Zero);
    WriteBytes(Dir / "in" / "dnl.jpg", Dnl);
    WriteBytes(Dir / "in" / "huge.webp", HugeLosslessWebP());
    WritePhoto(Dir / "in" / "B.jpg", 64, 48, 2);
    WritePhoto(Dir / "in" / "b.jpg", 48, 64, 3);
    const std::string Long = "in/" + std::string(300, 'x') + ".jpg";
    const struct {
        std::vector<std::string> Args;
        int Status;
        std::vector<std::string> Said;
    } Runs[] = {
        {{"in/zero.bmp", "in/zero.png", "in/zero.jpg", "in/dnl.jpg", "in/huge.webp", "in/good.jpg", Long},
         1,
         {"zero.bmp: the picture has no pixels (0 x 4)", "zero.png: the picture has no pixels (0 x 0)",
          "zero.jpg: the picture has no pixels (0 x 0)",
          "dnl.jpg: the JPEG's height is given by a DNL marker, which is not supported",
          "huge.webp: Failed to load file: picture too large", ": File name too long"}},
        {{"in/zero.bmp"}, 1, {"zero.bmp: the picture has no pixels (0 x 4)"}},
        {{"in/good.jpg", "in/good.jpg", "./in/good.jpg", "in/B.jpg", "in/b.jpg"}, 0, {}},
    };
    for (const auto& R : Runs) {
        fs::remove_all(Dir / "out");
        const TResult r = Run(R.Args, 30000);
        EXPECT_EQ(r.Status, R.Status) << R.Args[0] << "\n" << r.Err;
        for (const std::string& N : R.Said)
            EXPECT_EQ(Count(r.Err, N), 1) << N << "\n" << r.Err;
        EXPECT_EQ(Count(r.Err, "Damaged"), 0) << r.Err;
        EXPECT_EQ(ImageSize(Dir / "out" / "good.jpg"), R.Args.size() > 1 ? QSize(320, 240) : QSize()) << R.Args[0];
    }
    // Named twice: one output; B.jpg and b.jpg: two, neither numbered.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 3);
    EXPECT_EQ(ImageSize(Dir / "out" / "b.jpg"), QSize(240, 320));

    // A folder tree deeper than a path may be long: the walk says where it
    // stopped, and converts the rest. (A folder without permission says
    // so too; root may read any.)
    fs::remove_all(Dir / "out");
    int Fd = ::open((Dir / "in").c_str(), O_DIRECTORY | O_RDONLY);
    const std::string Part(200, 'd');
    for (int Level = 0; Level < 24 && Fd >= 0; ++Level) {
        ::mkdirat(Fd, Part.c_str(), 0700);
        const int Next = ::openat(Fd, Part.c_str(), O_DIRECTORY | O_RDONLY);
        ::close(Fd);
        Fd = Next;
    }
    ::close(Fd);
    if (::geteuid() != 0) {
        fs::create_directories(Dir / "in" / "locked");
        fs::permissions(Dir / "in" / "locked", fs::perms::none);
    }
    const TResult r = Run({"in"}, 30000);
    QProcess::execute("rm", {"-rf", QString::fromStdString((Dir / "in" / Part).string())});
    if (::geteuid() != 0) {
        fs::permissions(Dir / "in" / "locked", fs::perms::owner_all);
        EXPECT_EQ(Count(r.Err, "locked: Permission denied"), 1) << r.Err;
    }
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, Part + ": File name too long"), 1) << r.Err;
    EXPECT_EQ(ImageSize(Dir / "out" / "in" / "good.jpg"), QSize(320, 240));
}

// With AbortOnError the files before the failing one are written and every
// later one says it was not; at-once runs walk folders in the order the
// window's list does (sub-folders first with SortMode 1).
TEST_F(Program, AbortOnErrorStopsAtTheFailingFileAndFoldersWalkAsTheListDoes)
{
    WriteProfile("AbortOnError=1\nParallel=0\n"); // one worker: with more, one may already be busy with c.jpg
    WritePhoto(Dir / "in" / "a.jpg", 64, 48, 1);
    std::ofstream(Dir / "in" / "b.jpg") << "no picture here";
    WritePhoto(Dir / "in" / "c.jpg", 64, 48, 3);
    TResult r = Run({"in/a.jpg", "in/b.jpg", "in/c.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "b.jpg: "), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "c.jpg: not converted: the run stopped at an error"), 1) << r.Err;
    EXPECT_TRUE(fs::exists(Dir / "out" / "a.jpg"));
    EXPECT_FALSE(fs::exists(Dir / "out" / "c.jpg"));
    // Alone, it is said once, as what it is.
    r = Run({"in/b.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "b.jpg: "), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "no pictures found"), 0) << r.Err;

    fs::remove(Dir / "in" / "b.jpg");
    fs::rename(Dir / "in" / "c.jpg", Dir / "in" / "trip" / "c.jpg");
    // Numbered on from one start to the next (NumberResetType 2 keeps the next number in the profile).
    Ini(Profile,
        "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" + (Dir / "numbered").string() +
            "\nFileNameFormat=<n>_<old>\nSortMode=1\nNumberResetType=2\nStartNumber=5\n");
    for (int Start : {5, 7}) {
        r = Run({"in"});
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(fs::exists(Dir / "numbered" / (std::to_string(Start) + "_c.jpg")) &&
                    fs::exists(Dir / "numbered" / (std::to_string(Start + 1) + "_a.jpg")))
            << Start << r.Err;
    }
}

// A sheet written beside its pictures under the first one's name does not
// take that picture's place.
TEST_F(Program, ACombineSheetNeverReplacesOneOfItsPictures)
{
    Ini(Profile,
        "[File]\nAtOnce=1\nSameDirectory=1\nFileNameFormat=<old>\nNotOverwrite=0\n"
        "[Combine]\nUse=1\nWidth=100\nHeight=100\nRows=1\nColumns=3\n");
    WritePhoto(Dir / "in" / "a.jpg", 400, 300, 1);
    WritePhoto(Dir / "in" / "b.jpg", 400, 300, 2);
    ASSERT_TRUE(QImage(40, 30, QImage::Format_RGB32).save(QString::fromStdString((Dir / "in" / "a.png").string())));
    const std::string A = ReadFile(Dir / "in" / "a.jpg");
    const TResult r = Run({"in/a.jpg", "in/b.jpg", "in/a.png"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "a.jpg: cannot write"), 1) << r.Err;
    EXPECT_TRUE(ReadFile(Dir / "in" / "a.jpg") == A);

    // Sheets number on from one start to the next as converted files do.
    Ini(Profile,
        "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" + (Dir / "sheets").string() +
            "\nFileNameFormat=s<n>\nNumberResetType=2\nStartNumber=5\n"
            "[Combine]\nUse=1\nWidth=100\nHeight=100\nRows=1\nColumns=3\n");
    for (const char* Sheet : {"s5.jpg", "s6.jpg"}) {
        const TResult Again = Run({"in/a.jpg"});
        EXPECT_EQ(Again.Status, 0) << Again.Err;
        EXPECT_TRUE(fs::exists(Dir / "sheets" / Sheet)) << Sheet;
    }
}

// Text drawn larger than any picture says so, not that memory ran out.
TEST_F(Program, TextTooLargeToDrawSaysSo)
{
    WriteProfile("[AddText]\nUse=1\nText=<old>\nFontName=DejaVu Sans\nFontSize=5000\n");
    WritePhoto(Dir / "in" / "a.jpg", 64, 48, 1);
    const TResult r = Run({"in/a.jpg"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "a.jpg: the text is too large to draw: "), 1) << r.Err;
    EXPECT_EQ(Count(r.Err, "Out of memory"), 0) << r.Err;
}

// Text of any size is drawn or refused with its line: never a crash, never a
// picture written without the text. Beyond some 3000 points the font's own
// measures wrap around; such sizes are refused with the size they would have.
TEST_F(Program, TextOfAnySizeIsDrawnOrRefused)
{
    QImage Src(1000, 1000, QImage::Format_RGB32);
    for (int y = 0; y < Src.height(); ++y)
        for (int x = 0; x < Src.width(); ++x)
            Src.setPixel(x, y, qRgb(x % 200, y % 180, 90));
    const fs::path In = Dir / "in" / "a.png", Out = Dir / "out" / "a.png";
    ASSERT_TRUE(Src.save(QString::fromStdString(In.string())));
    const std::string Before = ReadFile(In);
    auto Text = [&](const std::string& Size) {
        ModeProfile(Profile, "", "[AddText]\nUse=1\nText=W\nFontName=DejaVu Sans\nFontSize=" + Size + "\n");
        return Run({"in/a.png"});
    };
    for (const char* Size : {"4096", "100000", "200000", "2147483647"}) {
        const TResult r = Text(Size);
        EXPECT_EQ(r.Status, 1) << Size << ": " << r.Err;
        EXPECT_EQ(Count(r.Err, "a.png: the text is too large to draw: "), 1) << Size << ": " << r.Err;
        EXPECT_FALSE(fs::exists(Out)) << Size;
        EXPECT_TRUE(ReadFile(In) == Before) << Size;
    }
    // The largest drawable sizes are measured as before (shadow and glow
    // add ten pixels on each side).
    EXPECT_EQ(Count(Text("3000").Err, "a.png: the text is too large to draw: 3975 x 4677 pixels\n"), 1);

    // Drawn: at the bottom right (the default anchor) the picture changed,
    // at the top left it did not.
    const TResult r = Text("300");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const QImage Got(QString::fromStdString(Out.string()));
    ASSERT_EQ(Got.size(), Src.size());
    int Near = 0, Far = 0;
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1000; ++x)
            (x >= 500 && y >= 500 ? Near : Far) += (Got.pixel(x, y) & 0xFFFFFF) != (Src.pixel(x, y) & 0xFFFFFF);
    EXPECT_GT(Near, 20000);
    EXPECT_EQ(Far, 0);
}

} // namespace
