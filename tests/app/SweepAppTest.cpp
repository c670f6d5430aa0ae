// The built program on the settings whose effect only shows in what it
// writes: each test compares outputs a user would compare.
#include "AtOnceRun.h"
#include "app/IniSettings.h"
#include "app/MainFrm.h"
#include "app/RunEnd.h"
#include "core/MemReservoir.h"

#include <QComboBox>
#include <QLineEdit>
#include "../core/FilesTestUtil.h"

namespace fs = std::filesystem;

using SweepApp = AtOnceRun;

// Date tokens of the added text take the shooting date from the EXIF block,
// not the file's time: "<yyyy>.<mm>" draws what the text "2019.05" draws.
TEST_F(SweepApp, TextDateTokensTakeTheShootingDate)
{
    const fs::path Plain = Dir / "plain.jpg", Src = Dir / "in" / "a.jpg";
    WritePhoto(Plain, 160, 100, 3);
    std::string J = ReadFile(Plain);
    TTestEntry Sub = LongEntry(34665, 0);
    Sub.SubIfd = 1;
    const std::vector<uint8_t> Exif = BuildExif(etII, {{Sub}, {AsciiEntry(36867, "2019:05:04 03:02:01")}});
    std::string App1 = "\xFF\xE1";
    App1 += char((Exif.size() + 2) >> 8);
    App1 += char((Exif.size() + 2) & 0xFF);
    App1.append(Exif.begin(), Exif.end());
    J.insert(2, App1);
    std::ofstream(Src, std::ios::binary) << J;
    const std::string Common = "[JPEG]\nAddExifInfo=0\nAlwaysRecompress=1\n[AddText]\nUse=1\nFontName=DejaVu Sans\n"
                               "FontSize=14\nFontColor=16777215\nFontOpacity=100\nBasePos=4\n";
    for (const char* Text : {"<yyyy>.<mm>", "2019.05"}) {
        fs::remove_all(Dir / "out");
        WriteProfile(Common + "Text=" + Text + "\n");
        const auto [Status, Err] = Start({"in/a.jpg"});
        ASSERT_EQ(Status, 0) << Err;
        fs::rename(Dir / "out" / "a.jpg", Dir / (std::string(Text[0] == '<' ? "tokens" : "literal") + ".jpg"));
    }
    EXPECT_EQ(ReadFile(Dir / "tokens.jpg"), ReadFile(Dir / "literal.jpg"));
}

// Size history entries as the settings file holds them: the history rule
// itself (9) and unknown rules read as percent, one-side rules repeat their
// side, and what is written reads back as it was.
TEST(SweepSizeHistory, EntriesReadAndWriteAsStored)
{
    const struct {
        const char* Entry;
        bool Ok;
        int Rule;
        double Side1, Side2;
        const char* Written;
    } Rows[] = {
        {"9,640,480", true, 0, 640, 480, "0,640,640"},
        {"12,50,50", true, 0, 50, 50, "0,50,50"},
        {"3,640,480", true, 3, 640, 480, "3,640,640"},
        {"8,640,480", true, 8, 640, 480, "8,640,480"},
        {"10,12.5", true, 10, 12.5, 12.5, "10,12.5,12.5"},
        {"7,0,480", false, 7, 0, 480, ""},
        {"5,50,0", false, 5, 50, 0, ""},
        {"2,50,0", true, 2, 50, 0, "2,50,50"},
    };
    for (const auto& R : Rows) {
        SCOPED_TRACE(R.Entry);
        int Rule = -1;
        double S1 = -1, S2 = -1;
        ASSERT_EQ(ReadHistoryEntry(R.Entry, Rule, S1, S2), R.Ok);
        if (!R.Ok)
            continue;
        EXPECT_EQ(Rule, R.Rule);
        EXPECT_EQ(S1, R.Side1);
        EXPECT_EQ(S2, R.Side2);
        EXPECT_EQ(HistoryEntryText(Rule, S1, S2), R.Written);
    }
}

namespace {

class SweepMainWindow : public TStartedTest {
protected:
    void SetUp() override
    {
        if (!Startup.KodexLoaded)
            GTEST_SKIP() << "the codec library is not built";
        Dir = ScratchDir("sweepmain");
        fs::create_directories(Dir / "ini");
        Startup.DataDir = Dir.string() + "/";
        Startup.IniDir = Startup.DataDir + "ini/";
    }
    void TearDown() override
    {
        Window.reset();
        Startup.ExeDir = VESTRO_DIST_DIR "/";
        fs::remove_all(Dir);
    }
    void Open(const std::string& Settings)
    {
        Startup.ExeDir = Startup.DataDir;
        Startup.IniFileName = GetSettingsFileName({});
        std::ofstream(Startup.IniFileName) << Settings;
        LoadIniFile(Startup.IniFileName);
        Window = std::make_unique<TMainForm>(std::vector<std::string>{});
        Window->show();
    }
    fs::path Dir;
    std::unique_ptr<TMainForm> Window;
};

} // namespace

// A size taken from the history goes to its top; the others keep their order
// below it, as the user last used them.
TEST_F(SweepMainWindow, AHistorySizeUsedAgainGoesToTheTopAndTheRestKeepTheirOrder)
{
    Open("[Resize]\nRule=1\nHistory=\"1,101,101\",\"1,102,102\",\"1,103,103\",\"1,104,104\"\n");
    ASSERT_EQ(Window->ResizeHistory, (std::vector<std::string>{"1,101,101", "1,102,102", "1,103,103", "1,104,104"}));
    Window->cbxResizeRule->setCurrentIndex(9);
    emit Window->cbxResizeRule->activated(9);
    Window->SizeHistoryCombo->setCurrentIndex(2);
    ASSERT_TRUE(Window->SetResizeParam());
    EXPECT_EQ(Window->ResizeHistory, (std::vector<std::string>{"1,103,103", "1,101,101", "1,102,102", "1,104,104"}));
    ASSERT_EQ(Window->SizeHistoryCombo->count(), 4);
    const int Shown[4] = {103, 101, 102, 104};
    for (int I = 0; I < 4; ++I)
        EXPECT_TRUE(Window->SizeHistoryCombo->itemText(I).contains(QString::number(Shown[I])))
            << Window->SizeHistoryCombo->itemText(I).toStdString();
    EXPECT_EQ(std::make_pair(EffectList->FResizeType, EffectList->FResizeValue), std::make_pair(1, 103.0));
}

// Every "<DIR>" of the after-run command is replaced, also one right after
// another and with a folder shorter or longer than the token.
TEST(SweepAfterRun, EveryDirTokenIsReplaced)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(AfterRunArguments("sync <dir><DIR> x<Dir>y", "/o"), (V{"sync", "/o/o", "x/oy"}));
    EXPECT_EQ(AfterRunArguments("sync <dir><dir><dir>", "/a/long/folder"),
              (V{"sync", "/a/long/folder/a/long/folder/a/long/folder"}));
    EXPECT_EQ(AfterRunArguments("sync <dir>", "<dir>"), (V{"sync", "<dir>"})); // a folder of that name stays
}
