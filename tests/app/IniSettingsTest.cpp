// The settings file: what a user's file looks like after a load and a save.
#include "app/IniSettings.h"
#include "core/IniFile.h"
#include "effects/FontCache.h"
#include "platform/Session.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/CommaLocale.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = ScratchDir("ini");
        Settings.System.ProcessorCount = 8;
        Startup.CPUFeatures = 4; // SSE2, as on every x86-64
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        App.WorkAreaRight = App.WorkAreaBottom = 1 << 20;
    }
    std::string Write(const std::string& Name, const std::string& Bytes)
    {
        const fs::path p = Dir / Name;
        std::ofstream(p, std::ios::binary) << Bytes;
        return p.string();
    }
    TKeptSettings Kept;
    fs::path Dir;
};

// A value of the row's type that differs from its default where the key
// allows one, and from the other rows' values where it can (two rows bound to
// one field then show). Row is the row's place in the table.
TIniValue OtherValue(const TIniKey& K, size_t Row)
{
    const TIniValue d = K.Default();
    if (K.Type == TIniType::Text)
        return std::get<std::string>(d) + "/x y" + std::to_string(Row);
    const int32_t v = std::get<int32_t>(d);
    if (K.Type == TIniType::Bool)
        return int32_t(!v);
    // The worker count's default is every processor: another value is fewer.
    if (std::string_view(K.Section) == "System" && std::string_view(K.Key) == "MaxThread")
        return int32_t(2);
    if (K.Fix.Kind != TIniFix::None)
        return K.Fix.Hi != v ? K.Fix.Hi : K.Fix.Lo;
    return v + 3 + int32_t(Row);
}

std::string Name(const TIniKey& K)
{
    return std::string(K.Section) + "/" + K.Key;
}

bool Is(const TIniKey& K, const char* Section, const char* Key)
{
    return std::string_view(K.Section) == Section && std::string_view(K.Key) == Key;
}

void ResetAll()
{
    for (const TIniKey& k : IniKeys())
        if (k.Section)
            k.Set(k.Default());
}

TEST_F(SettingsFile, EveryKeyOfTheTableRoundTrips)
{
    std::set<std::string> seen;
    std::vector<TIniValue> want;
    for (const TIniKey& k : IniKeys()) {
        if (!k.Section) {
            want.emplace_back();
            continue;
        }
        std::string lower = Name(k);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        EXPECT_TRUE(seen.insert(lower).second) << Name(k) << " appears twice";
        k.Set(CorrectIniValue(k, OtherValue(k, want.size())));
        want.push_back(k.Get());
    }
    const std::string f = (Dir / "all.ini").string();
    ASSERT_TRUE(SaveIniFile(f));
    const TMemIniFile saved(f);
    ResetAll();
    LoadIniFile(f);
    for (size_t i = 0; i < IniKeys().size(); ++i) {
        const TIniKey& k = IniKeys()[i];
        if (!k.Section)
            continue;
        EXPECT_EQ(saved.ValueExists(k.Section, k.Key), k.Use != TIniUse::ReadOnly) << Name(k);
        // Rules that join keys: the plug-in order is merged with the plug-ins
        // found, and rename-only switches combining off.
        if (k.Use != TIniUse::ReadWrite || Is(k, "SPI", "SPIOrder") || Is(k, "Combine", "Use"))
            continue;
        EXPECT_EQ(k.Get(), want[i]) << Name(k);
        // A write under another name would load the default instead.
        EXPECT_NE(k.Get(), CorrectIniValue(k, k.Default())) << Name(k);
    }
    ResetAll();
}

TEST_F(SettingsFile, RoundTripKeepsWhatTheProgramDoesNotKnow)
{
    const std::string f = Write("user.ini",
                                "; written by hand\r\n"
                                "[Combine]\r\nRows,=5\r\nMyOwnKey=kept\r\n"
                                "[Resize]\r\nHistory=\"10,800,600\",\"1,1024,0\"\r\n"
                                "[Bitmap]\r\nAlphaCheckStrict=1\r\n"
                                "[Elsewhere]\r\nA=1\r\n");
    LoadIniFile(f);
    EXPECT_EQ(Settings.Combine.Rows, 5);
    EXPECT_EQ(Settings.Resize.History, "\"10,800,600\",\"1,1024,0\"");
    EXPECT_EQ(Settings.Bitmap.AlphaCheckType, 2); // the older key wins over the default
    ASSERT_TRUE(SaveIniFile(f));

    const TMemIniFile saved(f);
    EXPECT_EQ(saved.ReadString("Combine", "MyOwnKey", ""), "kept");
    EXPECT_EQ(saved.ReadString("Elsewhere", "A", ""), "1");
    EXPECT_EQ(saved.ReadInteger("Combine", "Rows,", 0), 5);
    EXPECT_EQ(saved.ReadString("Resize", "History", ""), "\"10,800,600\",\"1,1024,0\"");
    EXPECT_FALSE(saved.ValueExists("Bitmap", "AlphaCheckStrict"));
    EXPECT_EQ(saved.ReadInteger("Bitmap", "AlphaCheckType", 0), 2);
    EXPECT_THAT(saved.GetText(), HasSubstr("; written by hand"));
}

TEST_F(SettingsFile, BomLessAndUtf8ProfilesLoadAndSurviveASave)
{
    const std::string plain = Write("plain.ini", "[File]\nOutPutDirectory=/tmp/Bilder \xC3\xBC\nAtOnce=1\n[X]\nY=z\n");
    LoadIniFile(plain);
    EXPECT_EQ(Settings.File.OutputDirectory, "/tmp/Bilder \xC3\xBC");
    EXPECT_TRUE(Settings.File.AtOnce);
    ASSERT_TRUE(SaveIniFile(plain));
    LoadIniFile(plain);
    EXPECT_EQ(Settings.File.OutputDirectory, "/tmp/Bilder \xC3\xBC");
    EXPECT_EQ(TMemIniFile(plain).ReadString("X", "Y", ""), "z");

    const std::string bom =
        Write("bom.ini", "\xEF\xBB\xBF[File]\r\nStartNumber=42\r\nOutPutDirectory=C:\\Pics\\Out\r\n");
    LoadIniFile(bom);
    EXPECT_EQ(Settings.File.StartNumber, 42);
    EXPECT_EQ(Settings.File.OutputDirectory, "C:/Pics/Out"); // "\" reads as "/"
}

TEST_F(SettingsFile, ValuesNoDialogCouldStoreAreCorrected)
{
    const std::string f = Write("odd.ini",
                                "[System]\nMaxThread=0\n"
                                "[Resize]\nRule=12\nHistory=8,640,480\nDecimationType=42\n"
                                "[JPEG]\nConvertTo=7\nQuality=250\n[PNG]\nConvertTo=0\n"
                                "[Preview]\nWidth=5000\n");
    App.WorkAreaRight = 1920;
    LoadIniFile(f);
    EXPECT_EQ(Settings.System.MaxThread, 8); // below 1: every processor the process may use
    EXPECT_EQ(Settings.Resize.Rule, 0);
    EXPECT_EQ(Settings.Resize.History, "\"8,640,480\"");
    EXPECT_EQ(std::make_tuple(Settings.Resize.DecimationMode, Settings.JPEG.ConvertTo), std::make_tuple(7, 2));
    EXPECT_EQ(std::make_tuple(Settings.JPEG.Quality, Settings.PNG.ConvertTo), std::make_tuple(100, 3));
    EXPECT_EQ(Settings.Preview.Width, 1920);

    Write("odd.ini", "[System]\nMaxThread=16\n");
    LoadIniFile(f);
    EXPECT_EQ(Settings.System.MaxThread, 8); // above the processor count
    EXPECT_TRUE(Settings.System.ParallelProcessing);
    for (int Workers : {1, 2}) {
        Write("odd.ini", "[System]\nMaxThread=" + std::to_string(Workers) + "\nParallel=1\n");
        LoadIniFile(f);
        EXPECT_EQ(Settings.System.ParallelProcessing, Workers == 2); // one worker runs nothing side by side
    }
}

TEST_F(SettingsFile, SizeListsAreWrittenWithAPointAndReadInEitherForm)
{
    const std::string f = Write("size.ini", "[Resize]\nSize1=50.5,abc,480\n");
    LoadIniFile(f);
    // Damaged (the second) or missing (the fourth): the rule's built-in value.
    EXPECT_THAT(std::vector<double>(Settings.Resize.Size1.begin(), Settings.Resize.Size1.begin() + 4),
                ElementsAre(50.5, 640, 480, 640));

    // A German locale must not put "," inside the comma list.
    bool saved = false;
    {
        const TCommaLocale German;
        EXPECT_TRUE(German.Ok());
        saved = SaveIniFile(f);
        LoadIniFile(f);
    }
    ASSERT_TRUE(saved);
    EXPECT_EQ(TMemIniFile(f).ReadString("Resize", "Size1", "").substr(0, 12), "50.5,640,480");
    EXPECT_DOUBLE_EQ(Settings.Resize.Size1[0], 50.5);
}

TEST_F(SettingsFile, AFailedSaveRetriesThenAsksAndLeavesTheOldFile)
{
    int attempts = 0, asked = 0;
    SaveRetryQuestion = [&](const std::string& Msg) {
        ++asked;
        EXPECT_EQ(Msg, "locked");
        return asked < 2; // retry once, then cancel
    };
    EXPECT_FALSE(RunSaveWithRetry([&] {
        ++attempts;
        throw std::runtime_error("locked");
    }));
    EXPECT_EQ(attempts, 22); // 20 silent, then one per answer
    EXPECT_EQ(asked, 2);
    SaveRetryQuestion = nullptr;

    // A folder that cannot take the temporary file: the old file is intact.
    // (As root a read-only folder is still writable, so the file is reached
    // through a link into a read-only file system instead.)
    std::string target;
    if (platform::CurrentUserId() != 0) {
        target = Write("old.ini", "[File]\nStartNumber=7\n");
        fs::permissions(Dir, fs::perms::owner_read | fs::perms::owner_exec);
    } else {
        target = (Dir / "old.ini").string();
        fs::create_symlink("/proc/version", target);
    }
    const std::string oldText = ReadFile(target);
    EXPECT_FALSE(SaveIniFile(target));
    EXPECT_EQ(ReadFile(target), oldText);
    fs::permissions(Dir, fs::perms::owner_all);
}

// What a fresh start (no settings file) writes, key by key, effects
// included: the defaults a user meets. $P is the pictures folder, $T the
// temporary one, $F the system font, $M the menu font, $C the processor count.
using FreshStart = TStartedTest;
TEST_F(FreshStart, WritesTheDefaults)
{
    const char* Want = R"([Window] Left=-1000 Top=-1000 ClientWidth=0 ClientHeight=0
[File] SameDirectory=1 OutPutDirectory=$PVestroPlus FileNameFormat=resize/<old> NotOverwrite=1 RenameOnly=0
  AddSubFolder=1 AtOnce=0 ShowDirectory=1 RemoveList=0 Skip=0 StartNumber=1 NumberResetType=0 IgnoreReadOnlyAttr=0
  ClipBoardTemp=$T SortMode=0 DeleteInputFile=0 AutoSortMode=0
[Resize] Size1=100,512,384,512,384,100,100,512,512,0,512,512 Size2=0,0,0,0,0,100,100,384,384,0,384,384 Rule=0
  DecimationType=7 DecimationRadius=3 DecimationSharp=2 DecimationBlur=10 InterpolationType=7 InterpolationRadius=3
  InterpolationSharp=0 InterpolationBlur=11 SIMD=3 MaxThread=$C History="8,640,480","0,50,50" Degamma=0 NoExpand=0
[Bitmap] ConvertTo=1 AlphaChannelSupport=1 AlphaBitmapHeaderType=1 AlphaCheckType=0 IndexColor=0
[JPEG] ConvertTo=2 SampleType=1 Smoothing=0 Quality=90 AddExifInfo=1 DecodeWithDownScaling=0 DownScalingLimit=200
  DCTMethod=0 UpdateExif=1 UpdateExifResolution=0 UseFileSizeLimit=0 FileSizeLimit=200 QualityLimit=75
  SampleTypeLimit=0 UpdateExifThumbnail=0 AlwaysRecompress=0 Progressive=0
[PNG] ConvertTo=3 Filter=0 CompressLevel=6 WritepHYsChunk=0 IndexColor=1 TransparentType=0 TransparentColor=0
  UsePNGOUT=0 MaximumOptimization=0 FullColorOptimization=0 UseWIC=0
[WIC] ConvertTo=2
[SPI] ConvertTo=3 SPIDirectory= SPIOrder=
[Preview] ViewerPath= ViewerOption=/getclip_/user=vestro ViewerOption2=/getclip_/newwnd_/user=vestro Left=-1 Top=-1
  Width=800 Height=600 HistogramType=0 HistogramChannel=0 ViewMode=1
[Metadata] KeepICCProfile=1 KeepCreationTime=0 KeepLastWriteTime=0 Resolution=72 KeepResolution=1
[DefaultBGColor] Red=255 Green=255 Blue=255 Gray=255
[ThumbnailWindow] Visible=1 Left=-65535 Top=-65535 UseEmbeddedThumbnail=1
[Dir] Picture=$P
[System] MaxThread=$C Parallel=1 MemReserve=0 UseExternalTool=0 Command= Caption=%ini SkipImageCheck=0 AbortOnError=0
  PictureMemoryLimit=0
[ListView] Header0=-1 Header1=-1 Header2=-1 Header3=-1 Header4=-1 Header5=-1 Header6=-1
[GrayscaleFilter] Use=0 Order=0 Red=0 Green=0 Blue=0 Type=0
[ExifRotationFilter] Use=1 Order=1
[TrimmingFilter] Use=0 Order=2 Type=1 Value=0,0,0,0,0,0,0,0 Preview=1 SelectMode=
[RotationFilter] Use=0 Order=3 Type=0 Value=0
[ResizeFilter] Use=1 Order=4
[AddBlankFilter] Use=0 Order=5 BlankType=1 ColorType=4 BlankColor=-1 Value=0,0,0,0,0,0,0,0 UseFrame1=0 Frame1Color=0
  Frame1Width=1 UseFrame2=0 Frame2Color=16777215 Frame2Width=6 UseFrame3=0 Frame3Color=0 Frame3Width=1 Shadow=0
  ShadowColor=0 ShadowOpacity=75 ShadowRadius=4 ShadowStr=4 ShadowOffsetX=4 ShadowOffsetY=4 Preview=1
[UnSharpMask] Use=0 Order=6 StrengthW=100 StrengthB=100 Radius=1 Threshold=0 Degamma=0 LumaOnly=1 Preview=1
  Histogram=1
[ColorCorrection] Use=0 Order=7 LumaMin=0 LumaMax=0 Chroma=0 Hue=0 Contrast=0 RGBGamma=1 YGamma=1 Preview=1
  Histogram=1
[ToneCurve] Use=0 Order=8 RGB=0,0,255,255 Red=0,0,255,255 Green=0,0,255,255 Blue=0,0,255,255 Luma=0,0,255,255
  Chroma=0,0,128,128,255,255 Histogram=0 Preview=1
[AddText] Use=0 Order=9 Text=<ymdhn> BasePos=8 X=0 Y=0 FontName=$M FontCharset=128 FontSize=20 FontColor=16777215
  FontStyle=0 FontOpacity=100 BackColor=16777215 BackOpacity=0 MarginX=0 MarginY=0 LinePitch=0 Shadow=1 ShadowColor=0
  ShadowOpacity=75 ShadowRadius=2 ShadowStr=4 ShadowOffsetX=2 ShadowOffsetY=2 Glow=1 GlowColor=16776960 GlowOpacity=75
  GlowRadius=6 GlowStr=8
[Composite] Use=0 Order=10 Mode=0 BasePos=8 OffsetX=0 OffsetY=0 Opacity=100 ImageFileName=
[JPEGTran] Use=0 Order=-1 Optimize=1 Progressive=0 Grayscale=0 Trimming=0 RemoveExtraMarker=0 Rotation=0
[DecreaseColor] Use=0 Order=-1 Option=-Y10_-C10_-G10_-O8_-I8 Mode=2 PaletteEntries=256 TransparentType=0 DitherType=2
  DitherStr=8 Quality=9
[Font] P_FontName=$F P_FontSize=9
[ShortCut] Desktop=0 MakeIni=1 AtOnce=0
[Combine] Width=320 Height=240 Order=0 Rows,=3 Columns=3 RowSpace=0 ColumnSpace=0 BackgroundColor=16777215 FillBlank=1
  Use=0)";
    std::map<std::string, std::string> want, got;
    std::istringstream in(Want);
    std::string section, word;
    while (in >> word) {
        if (word.front() == '[') {
            section = word.substr(1, word.size() - 2);
            continue;
        }
        const size_t eq = word.find('=');
        std::string v = word.substr(eq + 1);
        std::replace(v.begin(), v.end(), '_', ' ');
        for (auto [Tag, Text] : {std::pair{"$P", Startup.MyPicturesDir},
                                 {"$T", Startup.TempDir},
                                 {"$F", Startup.SystemFontName},
                                 {"$C", std::to_string(Settings.System.ProcessorCount)},
                                 {"$M", MenuFontName()}})
            if (v.starts_with(Tag))
                v = Text + v.substr(2);
        want[section + "/" + word.substr(0, eq)] = v;
    }
    const fs::path Dir = ScratchDir("fresh");
    const std::string f = (Dir / "fresh.ini").string();
    LoadIniFile(f);
    ASSERT_TRUE(SaveIniFile(f));
    std::istringstream saved(TMemIniFile(f).GetText());
    for (std::string line; std::getline(saved, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.starts_with('['))
            section = line.substr(1, line.size() - 2);
        else if (const size_t eq = line.find('='); eq != std::string::npos)
            got[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
    }
    got.erase("System/Language");
    fs::remove_all(Dir);
    EXPECT_EQ(got, want);
}

// A file from before the nine anchors: its Position key is read once, turned
// into BasePos, and gone after the program saves; a file holding both keeps
// its BasePos. Keys the program does not know stay.
TEST_F(FreshStart, AnOlderAnchorKeyIsGoneAfterASave)
{
    const fs::path Dir = ScratchDir("anchor");
    const std::string f = (Dir / "old.ini").string();
    for (auto [Text, Anchor] : {std::pair{"[AddText]\r\nPosition=1\r\nMine=kept\r\n", 2},
                                {"[AddText]\r\nPosition=2\r\nBasePos=5\r\nMine=kept\r\n", 5}}) {
        SCOPED_TRACE(Text);
        std::ofstream(f, std::ios::binary | std::ios::trunc) << Text;
        LoadIniFile(f);
        ASSERT_TRUE(SaveIniFile(f));
        const TMemIniFile Saved(f);
        EXPECT_FALSE(Saved.ValueExists("AddText", "Position"));
        EXPECT_EQ(Saved.ReadInteger("AddText", "BasePos", -1), Anchor);
        EXPECT_EQ(Saved.ReadString("AddText", "Mine", ""), "kept");
        // Read again, the anchor is the same.
        LoadIniFile(f);
        ASSERT_TRUE(SaveIniFile(f));
        EXPECT_EQ(TMemIniFile(f).ReadInteger("AddText", "BasePos", -1), Anchor);
    }
    fs::remove_all(Dir);
}

} // namespace
