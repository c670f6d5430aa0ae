// What an at-once run shows a user of its name rule and of its failures: the
// names of the written files for the rule's tokens, and lines that stay one
// line in a terminal whatever a file's name holds.
#include "AtOnceRun.h"

#include <chrono>

namespace fs = std::filesystem;

namespace {

class RunOutcomes : public AtOnceRun { };

} // namespace

// Each rule names the file written from a.jpg (96 x 64, last written on
// 7 March 2005), halved with the settings of its row.
TEST_F(RunOutcomes, NameTokensAsTheWrittenFilesShowThem)
{
    using namespace std::chrono;
    const struct {
        const char* Rule;
        const char* Resize;
        const char* Name;
    } Rows[] = {
        {"<yy><mm><dd>_<old>", "", "050307_a.jpg"},
        {"<yyyy>-<mm>_<old>", "", "2005-03_a.jpg"},
        {"<resizemode>", "DecimationType=5\nDecimationRadius=4\n", "BlackmanSinc4_float.jpg"},
        {"<resizemode>", "DecimationType=2\nDecimationRadius=3\n", "Lanczos3_float.jpg"},
        {"<resizemode>", "DecimationType=4\nDecimationSharp=2\n", "Bicubic2_float.jpg"},
        {"<resizemode>", "DecimationType=8\nDecimationBlur=7\n", "Gaussian7_float.jpg"},
        {"<resizemode>", "DecimationType=6\n", "Spline16_float.jpg"},
    };
    WritePhoto(Dir / "in" / "a.jpg", 96, 64, 1);
    const sys_seconds Noon = sys_days(year(2005) / March / 7) + hours(12);
    fs::last_write_time(Dir / "in" / "a.jpg", file_clock::from_sys(Noon));
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Rule + std::string(" ") + R.Resize);
        fs::remove_all(Dir / "out");
        std::ofstream(std::string(VESTRO_DIST_DIR) + "/ini/" + Profile)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=" << R.Rule << "\n[Resize]\nRule=0\nSize1=50\nSIMD=2\n"
            << R.Resize;
        const auto [Status, Err] = Start({"in/a.jpg"});
        EXPECT_EQ(Status, 0) << Err;
        std::vector<std::string> Written;
        for (const auto& E : fs::directory_iterator(Dir / "out"))
            Written.push_back(E.path().filename().string());
        EXPECT_THAT(Written, ElementsAre(R.Name)) << Err;
    }
}

// A damaged file whose name holds a control character (a tab, DEL) is one
// line on standard error, the character shown as "?".
TEST_F(RunOutcomes, ALineNamesAFileWithControlCharactersOnOneLine)
{
    WriteProfile("");
    const std::string Names[] = {"tab\tbad.jpg",
                                 "del\x7f"
                                 "bad.jpg"};
    for (const std::string& N : Names)
        std::ofstream(Dir / "in" / N) << "not a picture";
    const auto [Status, Err] = Start({"in/" + Names[0], "in/" + Names[1]});
    EXPECT_EQ(Status, 1) << Err;
    for (const char* Shown : {"tab?bad.jpg", "del?bad.jpg"})
        EXPECT_NE(LineOf(Err, Shown), "") << Err;
    EXPECT_EQ(Err.find('\x7f'), std::string::npos) << Err;
    EXPECT_EQ(Err.find('\t'), std::string::npos) << Err;
    EXPECT_FALSE(fs::exists(Dir / "out"));
}

// A settings file written by another tool may say "on" with any number but 0
// (-1, 2): the switch is on.
TEST_F(RunOutcomes, AnyNumberButZeroSwitchesASettingOn)
{
    WritePhoto(Dir / "in" / "a.jpg", 96, 64, 1);
    for (const char* On : {"1", "-1", "2"}) {
        SCOPED_TRACE(On);
        fs::remove_all(Dir / "out");
        WriteProfile(std::string("[Resize]\nRule=0\nSize1=50\n[JPEG]\nProgressive=") + On + "\n");
        const auto [Status, Err] = Start({"in/a.jpg"});
        EXPECT_EQ(Status, 0) << Err;
        // A progressive frame's marker.
        EXPECT_NE(ReadFile(Dir / "out" / "a.jpg").find("\xFF\xC2"), std::string::npos);
    }
}

// A combined sheet holds each picture fitted into its 100 x 100 cell at the
// rounded size: a white 200 x 300 picture is 67 (66.67) wide, a 300 x 200 one
// 67 high, centred on black.
TEST_F(RunOutcomes, ACombinedSheetHoldsEachPictureAtItsRoundedSize)
{
    const struct {
        const char* Name;
        int W, H, Wide, High;
    } Rows[] = {{"tall.bmp", 200, 300, 67, 100}, {"wide.bmp", 300, 200, 100, 67}};
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Name);
        fs::remove_all(Dir / "out");
        QImage White(R.W, R.H, QImage::Format_RGB32);
        White.fill(Qt::white);
        ASSERT_TRUE(White.save(QString::fromStdString((Dir / "in" / R.Name).string())));
        WriteProfile("[Bitmap]\nConvertTo=1\n[Combine]\nUse=1\nRows=1\nColumns=1\nWidth=100\nHeight=100\n"
                     "FillBlank=0\nRowSpace=0\nColumnSpace=0\nBackgroundColor=0\n");
        const auto [Status, Err] = Start({std::string("in/") + R.Name});
        ASSERT_EQ(Status, 0) << Err;
        const QImage Sheet(QString::fromStdString((Dir / "out" / R.Name).string()));
        ASSERT_EQ(Sheet.size(), QSize(100, 100));
        int Wide = 0, High = 0;
        for (int i = 0; i < 100; ++i) {
            Wide += qGray(Sheet.pixel(i, 50)) > 128;
            High += qGray(Sheet.pixel(50, i)) > 128;
        }
        EXPECT_EQ(Wide, R.Wide);
        EXPECT_EQ(High, R.High);
    }
}
