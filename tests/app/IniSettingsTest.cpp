// The settings file: what a user's file looks like after a load and a save.
#include "app/IniSettings.h"
#include "core/IniFile.h"
#include "platform/Session.h"
#include "tests/app/TestApp.h"
#include "tests/effectsui/CommaLocale.h"

#include <algorithm>
#include <set>

namespace fs = std::filesystem;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = ScratchDir("ini");
        SystemOption.ProcessorCount = 8;
        CPUFeatures = 4; // SSE2, as on every x86-64
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        WorkAreaRight = WorkAreaBottom = 1 << 20;
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

std::string Name(const TIniKey& K) { return std::string(K.Section) + "/" + K.Key; }

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

TEST_F(Settings, EveryKeyOfTheTableRoundTrips)
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

TEST_F(Settings, RoundTripKeepsWhatTheProgramDoesNotKnow)
{
    const std::string f = Write("user.ini",
                                "; written by hand\r\n"
                                "[Combine]\r\nRows,=5\r\nMyOwnKey=kept\r\n"
                                "[Resize]\r\nHistory=\"10,800,600\",\"1,1024,0\"\r\n"
                                "[Bitmap]\r\nAlphaCheckStrict=1\r\n"
                                "[Elsewhere]\r\nA=1\r\n");
    LoadIniFile(f);
    EXPECT_EQ(CombineOption.Rows, 5);
    EXPECT_EQ(ResizeOption.History, "\"10,800,600\",\"1,1024,0\"");
    EXPECT_EQ(BitmapOption.AlphaCheckType, 2); // the older key wins over the default
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

TEST_F(Settings, BomLessAndUtf8ProfilesLoadAndSurviveASave)
{
    const std::string plain = Write("plain.ini", "[File]\nOutPutDirectory=/tmp/Bilder \xC3\xBC\nAtOnce=1\n[X]\nY=z\n");
    LoadIniFile(plain);
    EXPECT_EQ(FileOption.OutputDirectory, "/tmp/Bilder \xC3\xBC");
    EXPECT_TRUE(FileOption.AtOnce);
    ASSERT_TRUE(SaveIniFile(plain));
    LoadIniFile(plain);
    EXPECT_EQ(FileOption.OutputDirectory, "/tmp/Bilder \xC3\xBC");
    EXPECT_EQ(TMemIniFile(plain).ReadString("X", "Y", ""), "z");

    const std::string bom = Write("bom.ini", "\xEF\xBB\xBF[File]\r\nStartNumber=42\r\nOutPutDirectory=C:\\Pics\\Out\r\n");
    LoadIniFile(bom);
    EXPECT_EQ(FileOption.StartNumber, 42);
    EXPECT_EQ(FileOption.OutputDirectory, "C:/Pics/Out"); // "\" reads as "/"
}

TEST_F(Settings, ValuesNoDialogCouldStoreAreCorrected)
{
    const std::string f = Write("odd.ini",
                                "[System]\nMaxThread=0\n"
                                "[Resize]\nRule=12\nHistory=8,640,480\nDecimationType=42\n"
                                "[JPEG]\nConvertTo=7\nQuality=250\n[PNG]\nConvertTo=0\n"
                                "[Preview]\nWidth=5000\n");
    WorkAreaRight = 1920;
    LoadIniFile(f);
    EXPECT_EQ(SystemOption.MaxThread, 8); // below 1: every processor the process may use
    EXPECT_EQ(ResizeOption.Rule, 0);
    EXPECT_EQ(ResizeOption.History, "\"8,640,480\"");
    EXPECT_EQ(std::make_tuple(ResizeOption.DecimationMode, JPEGOption.ConvertTo), std::make_tuple(7, 2));
    EXPECT_EQ(std::make_tuple(JPEGOption.Quality, PNGOption.ConvertTo), std::make_tuple(100, 3));
    EXPECT_EQ(PreviewOption.Width, 1920);

    Write("odd.ini", "[System]\nMaxThread=16\n");
    LoadIniFile(f);
    EXPECT_EQ(SystemOption.MaxThread, 8); // above the processor count
    EXPECT_TRUE(SystemOption.ParallelProcessing);
    Write("odd.ini", "[System]\nMaxThread=1\nParallel=1\n");
    LoadIniFile(f);
    EXPECT_FALSE(SystemOption.ParallelProcessing);
}

TEST_F(Settings, SizeListsAreWrittenWithAPointAndReadInEitherForm)
{
    const std::string f = Write("size.ini", "[Resize]\nSize1=50.5,abc,480\n");
    LoadIniFile(f);
    // Damaged (the second) or missing (the fourth): the rule's built-in value.
    EXPECT_THAT(std::vector<double>(ResizeOption.Size1.begin(), ResizeOption.Size1.begin() + 4),
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
    EXPECT_DOUBLE_EQ(ResizeOption.Size1[0], 50.5);
}

TEST_F(Settings, AFailedSaveRetriesThenAsksAndLeavesTheOldFile)
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

} // namespace
