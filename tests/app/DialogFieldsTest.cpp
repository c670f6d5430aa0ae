// Every field of the settings dialogs, worked as a user works it: opened from
// the main window, the field set by keys or clicks, OK clicked, the settings
// saved as the program saves them and the file read back. Each row names the
// keys its field must change and nothing else may change, so a field stored
// under a neighbour's key, or not stored at all, fails its row; Cancel must
// leave the file as it was. Rows whose field shapes the output then load the
// saved file, run the listed pictures and compare what was written with a
// run of the unchanged settings.
#include "DialogFieldsTest.h"

#include "app/BitmapOptionFrm.h"
#include "app/CombineOptionFrm.h"
#include "app/FolderOptionFrm.h"
#include "app/JPEGOptionFrm.h"
#include "app/MetadataOptionFrm.h"
#include "app/PNGOptionFrm.h"
#include "app/PictureFormatFrm.h"
#include "app/PreviewOptionFrm.h"
#include "app/ResizeOptionFrm.h"
#include "app/SusiePluginOptionFrm.h"
#include "app/SystemOptionFrm.h"
#include "effects/ui/NumEdit.h"

#include <chrono>

namespace fieldtest {

template <> struct TOpener<TPictureFormatForm> {
    static void Open(TMainForm& W) { W.SetPictureFormat->trigger(); }
};
template <> struct TOpener<TJPEGOptionForm> {
    static void Open(TMainForm& W) { W.SetJPEGOption->trigger(); }
};
template <> struct TOpener<TPNGOptionForm> {
    static void Open(TMainForm& W) { W.SetPNGOption->trigger(); }
};
template <> struct TOpener<TBitmapOptionForm> {
    static void Open(TMainForm& W) { W.SetBMPOption->trigger(); }
};
template <> struct TOpener<TResizeOptionForm> {
    static void Open(TMainForm& W) { W.SetResizeOption->trigger(); }
};
template <> struct TOpener<TMetadataOptionForm> {
    static void Open(TMainForm& W) { W.SetMetaDataOption->trigger(); }
};
template <> struct TOpener<TSystemOptionForm> {
    static void Open(TMainForm& W) { W.SystemOptionSetting->trigger(); }
};
template <> struct TOpener<TCombineOptionForm> {
    static void Open(TMainForm& W) { W.Combine->trigger(); }
};
template <> struct TOpener<TFolderOptionForm> {
    static void Open(TMainForm& W) { W.SetOutPutFolder->trigger(); }
};
template <> struct TOpener<TPreviewOptionForm> {
    static void Open(TMainForm& W) { W.SetPreviewOption->trigger(); }
};
template <> struct TOpener<TSusiePluginOptionForm> {
    static void Open(TMainForm& W) { W.SetSPIOption->trigger(); }
};

namespace {

uint32_t Be16(const std::string& S, size_t At)
{
    return uint32_t(uint8_t(S[At])) << 8 | uint8_t(S[At + 1]);
}
uint32_t Le16(const std::string& S, size_t At)
{
    return uint32_t(uint8_t(S[At + 1])) << 8 | uint8_t(S[At]);
}
uint32_t Be32(const std::string& S, size_t At)
{
    return Be16(S, At) << 16 | Be16(S, At + 2);
}

void JPEGFacts(const std::string& J, const std::string& L, std::set<std::string>& Facts)
{
    std::string Quant, Sampling;
    bool Exif = false;
    for (size_t i = 2; i + 4 < J.size() && uint8_t(J[i]) == 0xFF;) {
        const uint8_t M = uint8_t(J[i + 1]);
        const size_t Len = Be16(J, i + 2);
        if (M == 0xDB)
            for (size_t t = i + 4; t + 65 <= i + 2 + Len; t += 65)
                Quant += (Quant.empty() ? "" : ",") + std::to_string(uint8_t(J[t + 1]));
        if (M == 0xC0 || M == 0xC2) {
            Facts.insert(L + ":" + std::to_string(Be16(J, i + 7)) + "x" + std::to_string(Be16(J, i + 5)));
            if (M == 0xC2)
                Facts.insert(L + ":progressive");
            for (int c = 0; c < uint8_t(J[i + 9]); ++c) {
                char Hex[8];
                std::snprintf(Hex, sizeof Hex, "%x", uint8_t(J[i + 11 + 3 * size_t(c)]));
                Sampling += (Sampling.empty() ? "" : ",") + std::string(Hex);
            }
        }
        if (M == 0xE0 && J.compare(i + 4, 5, std::string("JFIF\0", 5)) == 0 && J[i + 11] == 1)
            Facts.insert(L + ":dpi" + std::to_string(Be16(J, i + 12)));
        if (M == 0xE1 && J.compare(i + 4, 6, std::string("Exif\0\0", 6)) == 0) {
            Exif = true;
            if (const size_t W = J.find(std::string("\x02\xA0\x04\0\x01\0\0\0", 8), i); W < i + 2 + Len)
                Facts.insert(L + ":exifw" + std::to_string(Le16(J, W + 8)));
        }
        if (M == 0xDA)
            break;
        i += 2 + Len;
    }
    Facts.insert(L + ":q" + Quant);
    Facts.insert(L + ":s" + Sampling);
    if (!Exif)
        Facts.insert(L + ":noexif");
}

void PNGFacts(const std::string& P, const std::string& L, std::set<std::string>& Facts)
{
    bool Data = false;
    for (size_t i = 8; i + 12 <= P.size();) {
        const size_t Len = Be32(P, i);
        const std::string Type = P.substr(i + 4, 4);
        if (Type == "IHDR")
            Facts.insert({L + ":t" + std::to_string(uint8_t(P[i + 8 + 9])),
                          L + ":" + std::to_string(Be32(P, i + 8)) + "x" + std::to_string(Be32(P, i + 12))});
        if (Type == "tRNS" || Type == "pHYs")
            Facts.insert(L + ":" + Type);
        if (Type == "IDAT" && !Data) {
            Data = true;
            Facts.insert(L + ":z" + std::to_string(uint8_t(P[i + 9]) >> 6));
        }
        i += 12 + Len;
    }
}

} // namespace

std::set<std::string> OutputFacts(const fs::path& Out, const fs::path& Before, const fs::path& In)
{
    std::set<std::string> Facts;
    if (!fs::exists(Out))
        return Facts;
    for (const auto& E : fs::directory_iterator(Out)) {
        const std::string Name = E.path().filename().string(), L = E.path().stem().string();
        const std::string Bytes = ReadFile(E.path()), Ext = E.path().extension().string();
        Facts.insert("file:" + Name);
        if (Bytes != ReadFile(Before / Name))
            Facts.insert(L + ":new");
        for (const char* Input : {".jpg", ".bmp", ".png"})
            if (fs::exists(In / (L + Input)) &&
                std::chrono::abs(fs::last_write_time(E.path()) - fs::last_write_time(In / (L + Input))) <
                    std::chrono::seconds(3))
                Facts.insert(L + ":oldtime");
        if (Ext == ".jpg")
            JPEGFacts(Bytes, L, Facts);
        else if (Ext == ".png")
            PNGFacts(Bytes, L, Facts);
        else if (Ext == ".bmp" && Bytes.size() > 30)
            Facts.insert({L + ":" + std::to_string(Le16(Bytes, 28)) + "bit", L + ":h" + std::to_string(Le16(Bytes, 14)),
                          L + ":ppm" + std::to_string(Le16(Bytes, 38)),
                          L + ":" + std::to_string(Le16(Bytes, 18)) + "x" + std::to_string(Le16(Bytes, 22))});
    }
    return Facts;
}

void OpenEffectRow(TMainForm& W, const char* Section)
{
    for (int i = 0; i < EffectList->Count(); ++i)
        if (EffectList->Items(i)->FSectionName == Section) {
            Click(W.EffectStrip->FilterList.at(size_t(i))->FSpeedButton);
            return;
        }
    if (W.EffectStrip->DCPanel && EffectList->DecreaseColorEffect()->FSectionName == Section)
        return Click(W.EffectStrip->DCPanel->FSpeedButton);
    ADD_FAILURE() << "no strip row " << Section;
}

void DialogFields::SetUp()
{
    if (!Startup.KodexLoaded)
        GTEST_SKIP() << "the codec library is not built";
    Dir = ScratchDir("fields");
    for (const char* Sub : {"in", "out", "before", "ini", "plugins"})
        fs::create_directories(Dir / Sub);
    Startup.DataDir = Dir.string() + "/";
    Startup.IniDir = Startup.DataDir + "ini/";
    Settings.System.ProcessorCount = 4;

    // a.jpg carries Exif (orientation 1, 96 x 64 in its Exif IFD) and 96
    // dpi; b.bmp and c.png have four colours in blocks, few enough for a palette.
    WritePhoto(Dir / "in" / "a.jpg", 96, 64, 1);
    std::string J = ReadFile(Dir / "in" / "a.jpg");
    const char Exif[] = "\xFF\xE1\x00\x4C"
                        "Exif\0\0"
                        "II\x2A\0\x08\0\0\0"
                        "\x02\0"
                        "\x12\x01\x03\0\x01\0\0\0\x01\0\0\0"
                        "\x69\x87\x04\0\x01\0\0\0\x26\0\0\0"
                        "\0\0\0\0"
                        "\x02\0"
                        "\x02\xA0\x04\0\x01\0\0\0\x60\0\0\0"
                        "\x03\xA0\x04\0\x01\0\0\0\x40\0\0\0"
                        "\0\0\0\0";
    J.insert(2, Exif, sizeof Exif - 1);
    std::ofstream(Dir / "in" / "a.jpg", std::ios::binary) << J;
    QImage Q(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            Q.setPixel(x, y, qRgb(x < 48 ? 250 : 10, y < 32 ? 200 : 30, 90));
    ASSERT_TRUE(Q.save(QString::fromStdString((Dir / "in" / "b.bmp").string())));
    ASSERT_TRUE(Q.save(QString::fromStdString((Dir / "in" / "c.png").string())));
    for (const char* N : {"a.jpg", "b.bmp", "c.png"})
        fs::last_write_time(Dir / "in" / N, fs::file_time_type::clock::now() - std::chrono::hours(48));

    // Two plug-ins, both off.
    const fs::path Built = fs::path(VESTRO_TEST_BIN_DIR) / "spi" / "pnm.spi";
    for (const char* Spi : {"a.spi", "b.spi"})
        if (fs::exists(Built))
            fs::copy_file(Built, Dir / "plugins" / Spi);

    // Halved into out/ under the input's name, one run at a time.
    BaseText = "[File]\nSameDirectory=0\nOutPutDirectory=" + (Dir / "out").string() +
        "\nFileNameFormat=<old>\nShowDirectory=0\n[Resize]\nRule=0\nSize1=50\n[System]\nMaxThread=2\n"
        "[SPI]\nSPIDirectory=" +
        (Dir / "plugins").string() + "\nSPIOrder=a.spi=0,b.spi=0\n";
    std::ofstream(Dir / "base.ini") << BaseText;
    LoadIniFile((Dir / "base.ini").string());
    for (TEffect* E : {EffectList->JPEGTranEffect(), EffectList->DecreaseColorEffect()})
        StartUse[E->FSectionName] = E->FUse;
    for (int i = 0; i < EffectList->Count(); ++i)
        StartUse[EffectList->Items(i)->FSectionName] = EffectList->Items(i)->FUse;
    Window = std::make_unique<TMainForm>(std::vector<std::string>{});
    Window->Confirm = [](const QString&) { return true; };
    Window->Notice = [this](const QString& Text) { Notices.push_back(Text.toStdString()); };
    Window->show();
}

void DialogFields::TearDown()
{
    Window.reset();
    if (App.FileList)
        App.FileList->Clear();
    Settings.SPIOrder = KeptOrder;
    fs::remove_all(Dir);
}

bool DialogFields::WorkDialog(const TFieldRow& Row, bool Ok)
{
    bool Opened = false;
    QTimer::singleShot(0, [&] {
        auto* D = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!D)
            return;
        Opened = true;
        Row.Work(*D);
        ClickButton(D, Ok ? "OK" : "Cancel");
        if (D->isVisible()) {
            ADD_FAILURE() << "still open";
            D->reject();
        }
    });
    Row.Open(*Window);
    return Opened;
}

std::map<std::string, std::string> DialogFields::Saved(const fs::path& File)
{
    fs::remove(File);
    EXPECT_TRUE(Window->SaveIniFile(File.string()));
    std::map<std::string, std::string> Keys;
    std::istringstream Text(TMemIniFile(File.string()).GetText());
    std::string Section;
    for (std::string Line; std::getline(Text, Line);) {
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (Line.size() > 1 && Line.front() == '[')
            Section = Line.substr(1, Line.size() - 2);
        else if (const size_t Eq = Line.find('='); Eq != std::string::npos)
            Keys[Section + "/" + Line.substr(0, Eq)] = Line.substr(Eq + 1);
    }
    return Keys;
}

void DialogFields::RunInto(const fs::path& File)
{
    Window->LoadProfile(File.string(), false);
    fs::remove_all(Dir / "out");
    Window->FileListView->ClearList();
    Window->AddPaths(
        {(Dir / "in" / "a.jpg").string(), (Dir / "in" / "b.bmp").string(), (Dir / "in" / "c.png").string()});
    // The lossless transform lists JPEG files only.
    ASSERT_TRUE(WaitFor([] { return App.FileList->Count() == (Settings.RunMode == 1 ? 1 : 3); }))
        << App.FileList->Count();
    Window->ConvertRun->trigger();
}

const DialogFields::TBefore& DialogFields::BeforeOf(const std::string& Settings)
{
    if (auto It = Befores.find(Settings); It != Befores.end())
        return It->second;
    TBefore& B = Befores[Settings];
    const std::string Tag = std::to_string(Befores.size());
    B.File = Dir / ("base" + Tag + ".ini");
    B.Out = Dir / ("before" + Tag);
    // Every effect as at the start unless Settings says otherwise: a missing
    // "Use" keeps what the last profile said.
    std::string Text = BaseText;
    for (const auto& [Section, Use] : StartUse)
        if (const std::string Key = "[" + Section + "]\nUse="; Settings.find(Key) == std::string::npos)
            Text += Key + (Use ? "1\n" : "0\n");
    std::ofstream(B.File) << Text << Settings;
    Window->LoadProfile(B.File.string(), false);
    B.Keys = Saved(Dir / "saved.ini");
    RunInto(B.File);
    fs::rename(Dir / "out", B.Out);
    B.Facts = OutputFacts(B.Out, B.Out, Dir / "in");
    EXPECT_EQ(B.Facts.count("file:a.jpg"), 1u)
        << ::testing::PrintToString(B.Facts) << ::testing::PrintToString(Notices);
    return B;
}

std::vector<std::string> DialogFields::Changes(const TBefore& B)
{
    std::vector<std::string> C;
    // Where the windows were and the sizes run before: what opening a
    // preview dialog records, whatever its fields.
    auto After = Saved(Dir / "after.ini");
    for (const char* Kept : {"Preview/Left", "Preview/Top", "Preview/Width", "Preview/Height", "Resize/History"})
        if (B.Keys.count(Kept))
            After[Kept] = B.Keys.at(Kept);
    for (const auto& [Key, Value] : After)
        if (auto It = B.Keys.find(Key); It == B.Keys.end() || It->second != Value)
            C.push_back(Key + "=" + Value);
    for (const auto& [Key, Value] : B.Keys)
        if (!After.count(Key))
            C.push_back(Key + " gone");
    std::sort(C.begin(), C.end());
    return C;
}

void DialogFields::WorkRows(std::span<const TFieldRow> Rows)
{
    for (const TFieldRow& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        const TBefore& B = BeforeOf(Row.Settings);
        Window->LoadProfile(B.File.string(), false);
        ASSERT_TRUE(WorkDialog(Row, false)) << "not opened";
        EXPECT_THAT(Changes(B), ::testing::IsEmpty()) << "after Cancel";

        Window->LoadProfile(B.File.string(), false);
        ASSERT_TRUE(WorkDialog(Row, true)) << "not opened";
        std::vector<std::string> Want = Row.Keys;
        std::sort(Want.begin(), Want.end());
        EXPECT_EQ(Changes(B), Want);
        if (Row.Output.empty())
            continue;

        // The saved file as a profile: the named facts are new, and only the
        // files they name were written otherwise.
        fs::copy_file(Dir / "after.ini", Dir / "row.ini", fs::copy_options::overwrite_existing);
        RunInto(Dir / "row.ini");
        const auto Facts = OutputFacts(Dir / "out", B.Out, Dir / "in");
        std::set<std::string> Named;
        for (const std::string& F : Row.Output) {
            EXPECT_TRUE(Facts.count(F) && !B.Facts.count(F)) << F << " in " << ::testing::PrintToString(Facts);
            Named.insert(F.starts_with("file:") ? F.substr(5, 1) : F.substr(0, 1));
        }
        for (const std::string L : {"a", "b", "c"}) {
            if (!Named.count(L)) {
                EXPECT_FALSE(Facts.count(L + ":new")) << L << " changed too";
            }
        }
    }
}

} // namespace fieldtest

TEST_F(DialogFields, OptionDialogsStoreEachFieldUnderItsOwnKey)
{
    const TFieldRow Rows[] = {
        // Format Conversion Settings: one list per kind of input, and the background colour.
        Row<TPictureFormatForm>("BMP to", [](auto& F) { Down(F.BitmapList); }, {"Bitmap/ConvertTo=2"}, {"file:b.jpg"}),
        Row<TPictureFormatForm>("JPEG to", [](auto& F) { Down(F.JPEGList); }, {"JPEG/ConvertTo=3"}, {"file:a.png"}),
        Row<TPictureFormatForm>("PNG to", [](auto& F) { Up(F.PNGList); }, {"PNG/ConvertTo=2"}, {"file:c.jpg"}),
        Row<TPictureFormatForm>("SPI to", [](auto& F) { Up(F.SPIList); }, {"SPI/ConvertTo=2"}),
        Row<TPictureFormatForm>("WIC to", [](auto& F) { Down(F.WICList); }, {"WIC/ConvertTo=3"}),
        Row<TPictureFormatForm>(
            "background", [](auto& F) { PickColour(F.ColorPanel, "#102030"); },
            {"DefaultBGColor/Red=16", "DefaultBGColor/Green=32", "DefaultBGColor/Blue=48", "DefaultBGColor/Gray=29"}),

        // JPEG Settings.
        Row<TJPEGOptionForm>("quality", [](auto& F) { Type(F.QualityEdit, "75"); }, {"JPEG/Quality=75"},
                             {"a:q8,9", "a:new"}),
        Row<TJPEGOptionForm>("smoothing", [](auto& F) { Type(F.SmoothingEdit, "30"); }, {"JPEG/Smoothing=30"},
                             {"a:new"}),
        Row<TJPEGOptionForm>("subsampling", [](auto& F) { Down(F.SampleList); }, {"JPEG/SampleType=2"},
                             {"a:s11,11,11", "a:new"}),
        Row<TJPEGOptionForm>("downscaling", [](auto& F) { Down(F.DownScalingList); }, {"JPEG/DecodeWithDownScaling=1"}),
        Row<TJPEGOptionForm>("downscaling limit",
                             [](auto& F) {
                                 Down(F.DownScalingList);
                                 Type(F.DownScalingEdit, "300");
                             },
                             {"JPEG/DecodeWithDownScaling=1", "JPEG/DownScalingLimit=300"}),
        Row<TJPEGOptionForm>("DCT method", [](auto& F) { Down(F.DCTList); }, {"JPEG/DCTMethod=1"}, {"a:new"}),
        Row<TJPEGOptionForm>("keep Exif", [](auto& F) { Click(F.ExifCheck); }, {"JPEG/AddExifInfo=0"},
                             {"a:new", "a:noexif"}),
        Row<TJPEGOptionForm>("update Exif", [](auto& F) { Click(F.UpdateExifCheck); }, {"JPEG/UpdateExif=0"},
                             {"a:exifw96", "a:new"}),
        Row<TJPEGOptionForm>("Exif thumbnail", [](auto& F) { Click(F.ExifThumbnailCheck); },
                             {"JPEG/UpdateExifThumbnail=1"}),
        Row<TJPEGOptionForm>("size limit", [](auto& F) { Click(F.SizeLimitCheck); }, {"JPEG/UseFileSizeLimit=1"}),
        Row<TJPEGOptionForm>("size",
                             [](auto& F) {
                                 Click(F.SizeLimitCheck);
                                 Type(F.SizeEdit, "500");
                             },
                             {"JPEG/UseFileSizeLimit=1", "JPEG/FileSizeLimit=500"}),
        Row<TJPEGOptionForm>("min quality",
                             [](auto& F) {
                                 Click(F.SizeLimitCheck);
                                 Type(F.QualityLimitEdit, "60");
                             },
                             {"JPEG/UseFileSizeLimit=1", "JPEG/QualityLimit=60"}),
        Row<TJPEGOptionForm>("limit subsampling",
                             [](auto& F) {
                                 Click(F.SizeLimitCheck);
                                 Down(F.SampleLimitList);
                             },
                             {"JPEG/UseFileSizeLimit=1", "JPEG/SampleTypeLimit=1"}),
        Row<TJPEGOptionForm>("recompress", [](auto& F) { Click(F.RecompressCheck); }, {"JPEG/AlwaysRecompress=1"}),
        Row<TJPEGOptionForm>("progressive", [](auto& F) { Click(F.ProgressiveCheck); }, {"JPEG/Progressive=1"},
                             {"a:progressive", "a:new"}),

        // PNG Settings.
        Row<TPNGOptionForm>("level", [](auto& F) { Type(F.LevelEdit, "3"); }, {"PNG/CompressLevel=3"},
                            {"c:z1", "c:new"}),
        Row<TPNGOptionForm>("filter None", [](auto& F) { Click(F.FilterChecks[0]); }, {"PNG/Filter=8"}),
        Row<TPNGOptionForm>("filter Sub", [](auto& F) { Click(F.FilterChecks[1]); }, {"PNG/Filter=16"}),
        Row<TPNGOptionForm>("filter Up", [](auto& F) { Click(F.FilterChecks[2]); }, {"PNG/Filter=32"}),
        Row<TPNGOptionForm>("filter Average", [](auto& F) { Click(F.FilterChecks[3]); }, {"PNG/Filter=64"}),
        Row<TPNGOptionForm>("filter Paeth", [](auto& F) { Click(F.FilterChecks[4]); }, {"PNG/Filter=128"}),
        Row<TPNGOptionForm>("resolution", [](auto& F) { Click(F.PHYsCheck); }, {"PNG/WritepHYsChunk=1"},
                            {"c:pHYs", "c:new"}),
        Row<TPNGOptionForm>("optimiser", [](auto& F) { Click(F.PNGOUTCheck); }, {"PNG/UsePNGOUT=1"}),
        Row<TPNGOptionForm>("maximum optimisation",
                            [](auto& F) {
                                Click(F.PNGOUTCheck);
                                Click(F.MaxOptCheck);
                            },
                            {"PNG/UsePNGOUT=1", "PNG/MaximumOptimization=1"}),
        Row<TPNGOptionForm>("full colour optimisation",
                            [](auto& F) {
                                Click(F.PNGOUTCheck);
                                Click(F.FullColorCheck);
                            },
                            {"PNG/UsePNGOUT=1", "PNG/FullColorOptimization=1"}),
        Row<TPNGOptionForm>("index colour", [](auto& F) { Click(F.IndexColorCheck); }, {"PNG/IndexColor=0"},
                            {"c:t2", "c:new"}),
        Row<TPNGOptionForm>("transparent corner", [](auto& F) { Down(F.TransparentList); }, {"PNG/TransparentType=1"},
                            {"c:tRNS", "c:new"}),
        Row<TPNGOptionForm>("transparent colour",
                            [](auto& F) {
                                Choose(F.TransparentList, 5);
                                PickColour(F.ColorPanel, "#102030");
                            },
                            {"PNG/TransparentType=5", "PNG/TransparentColor=3153936"}),
        Row<TPNGOptionForm>("decoder", [](auto& F) { Click(F.WICCheck); }, {"PNG/UseWIC=1"}),

        // BMP Settings.
        Row<TBitmapOptionForm>("alpha", [](auto& F) { Click(F.AlphaCheck); }, {"Bitmap/AlphaChannelSupport=0"}),
        Row<TBitmapOptionForm>("header", [](auto& F) { Up(F.HeaderList); }, {"Bitmap/AlphaBitmapHeaderType=0"}),
        Row<TBitmapOptionForm>("32-bit without masks", [](auto& F) { Down(F.AlphaCheckList); },
                               {"Bitmap/AlphaCheckType=1"}),
        Row<TBitmapOptionForm>("index colour", [](auto& F) { Click(F.IndexColorCheck); }, {"Bitmap/IndexColor=1"},
                               {"b:8bit", "b:new"}),

        // Resize: each side's filter and the parameter its filter shows.
        Row<TResizeOptionForm>("downscaling filter", [](auto& F) { Down(F.DecimationList); },
                               {"Resize/DecimationType=8"}, {"a:new", "b:new", "c:new"}),
        Row<TResizeOptionForm>("downscaling radius",
                               [](auto& F) {
                                   Choose(F.DecimationList, 1); // Lanczos
                                   Type(F.DecRadiusEdit, "5");
                               },
                               {"Resize/DecimationType=2", "Resize/DecimationRadius=5"}),
        Row<TResizeOptionForm>("downscaling sharpness",
                               [](auto& F) {
                                   Choose(F.DecimationList, 3); // Bicubic
                                   Type(F.DecSharpEdit, "-2");
                               },
                               {"Resize/DecimationType=4", "Resize/DecimationSharp=-2"}),
        Row<TResizeOptionForm>("downscaling blur",
                               [](auto& F) {
                                   Choose(F.DecimationList, 7); // Gaussian
                                   Type(F.DecBlurEdit, "15");
                               },
                               {"Resize/DecimationType=8", "Resize/DecimationBlur=15"}),
        Row<TResizeOptionForm>("upscaling filter", [](auto& F) { Down(F.InterpolationList); },
                               {"Resize/InterpolationType=8"}),
        Row<TResizeOptionForm>("upscaling radius",
                               [](auto& F) {
                                   Choose(F.InterpolationList, 0); // Lanczos
                                   Type(F.IntRadiusEdit, "6");
                               },
                               {"Resize/InterpolationType=2", "Resize/InterpolationRadius=6"}),
        Row<TResizeOptionForm>("upscaling sharpness",
                               [](auto& F) {
                                   Choose(F.InterpolationList, 2); // Bicubic
                                   Type(F.IntSharpEdit, "3");
                               },
                               {"Resize/InterpolationType=4", "Resize/InterpolationSharp=3"}),
        Row<TResizeOptionForm>("upscaling blur",
                               [](auto& F) {
                                   Choose(F.InterpolationList, 6); // Gaussian
                                   Type(F.IntBlurEdit, "20");
                               },
                               {"Resize/InterpolationType=8", "Resize/InterpolationBlur=20"}),
        Row<TResizeOptionForm>("SIMD", [](auto& F) { Up(F.SIMDList); }, {"Resize/SIMD=2"}),
        Row<TResizeOptionForm>("threads", [](auto& F) { Type(F.MaxThreadEdit, "6"); }, {"Resize/MaxThread=6"}),
        Row<TResizeOptionForm>("linear light", [](auto& F) { Click(F.DegammaCheck); },
                               {"Resize/Degamma=1", "Resize/SIMD=2"}, {"a:new", "b:new", "c:new"}),
        Row<TResizeOptionForm>("no enlarging", [](auto& F) { Click(F.NoExpandCheck); }, {"Resize/NoExpand=1"}),

        // Metadata Settings.
        Row<TMetadataOptionForm>("keep Exif", [](auto& F) { Click(F.KeepExif); }, {"JPEG/AddExifInfo=0"},
                                 {"a:new", "a:noexif"}),
        Row<TMetadataOptionForm>("update Exif", [](auto& F) { Click(F.UpdateExif); }, {"JPEG/UpdateExif=0"},
                                 {"a:exifw96", "a:new"}),
        Row<TMetadataOptionForm>("update Exif resolution",
                                 [](auto& F) {
                                     Click(F.KeepResolution);
                                     Click(F.UpdateExifResolution);
                                 },
                                 {"Metadata/KeepResolution=0", "JPEG/UpdateExifResolution=1"}),
        Row<TMetadataOptionForm>("Exif thumbnail", [](auto& F) { Click(F.UpdateExifThumbnail); },
                                 {"JPEG/UpdateExifThumbnail=1"}),
        Row<TMetadataOptionForm>("ICC", [](auto& F) { Click(F.KeepICC); }, {"Metadata/KeepICCProfile=0"}),
        Row<TMetadataOptionForm>("creation time", [](auto& F) { Click(F.KeepCreationTime); },
                                 {"Metadata/KeepCreationTime=1"}),
        Row<TMetadataOptionForm>("last write time", [](auto& F) { Click(F.KeepLastWriteTime); },
                                 {"Metadata/KeepLastWriteTime=1"}, {"a:oldtime", "b:oldtime", "c:oldtime"}),
        Row<TMetadataOptionForm>("keep resolution", [](auto& F) { Click(F.KeepResolution); },
                                 {"Metadata/KeepResolution=0"}, {"a:dpi72", "a:new", "b:ppm2835", "b:new"}),
        Row<TMetadataOptionForm>("resolution",
                                 [](auto& F) {
                                     Click(F.KeepResolution);
                                     Type(F.Resolution, "300");
                                 },
                                 {"Metadata/KeepResolution=0", "Metadata/Resolution=300"},
                                 {"a:dpi300", "a:new", "b:ppm11811", "b:new"}),
        Row<TMetadataOptionForm>("PNG resolution", [](auto& F) { Click(F.WritepHYs); }, {"PNG/WritepHYsChunk=1"},
                                 {"c:pHYs", "c:new"}),

        // System Settings.
        Row<TSystemOptionForm>("parallel", [](auto& F) { Click(F.Parallel); }, {"System/Parallel=0"}),
        Row<TSystemOptionForm>("threads", [](auto& F) { Type(F.MaxThread, "3"); }, {"System/MaxThread=3"}),
        Row<TSystemOptionForm>("memory", [](auto& F) { Click(F.MemReserve); }, {"System/MemReserve=1"}),
        Row<TSystemOptionForm>("don't overwrite", [](auto& F) { Click(F.NotOverwrite); }, {"File/NotOverwrite=0"}),
        Row<TSystemOptionForm>("skip", [](auto& F) { Click(F.Skip); }, {"File/Skip=1"}),
        Row<TSystemOptionForm>("subfolders", [](auto& F) { Click(F.AddSubFolder); }, {"File/AddSubFolder=0"}),
        Row<TSystemOptionForm>("clear list", [](auto& F) { Click(F.RemoveList); }, {"File/RemoveList=1"}),
        Row<TSystemOptionForm>("start number", [](auto& F) { Type(F.StartNumber, "42"); }, {"File/StartNumber=42"}),
        Row<TSystemOptionForm>("reset at start-up", [](auto& F) { Click(F.ResetType[1]); }, {"File/NumberResetType=1"}),
        Row<TSystemOptionForm>("never reset", [](auto& F) { Click(F.ResetType[2]); }, {"File/NumberResetType=2"}),
        Row<TSystemOptionForm>("read-only", [](auto& F) { Click(F.IgnoreReadOnly); }, {"File/IgnoreReadOnlyAttr=1"}),
        Row<TSystemOptionForm>("external tool", [](auto& F) { Click(F.UseExternalTool); },
                               {"System/UseExternalTool=1"}),
        Row<TSystemOptionForm>("command",
                               [](auto& F) {
                                   Click(F.UseExternalTool);
                                   Type(F.Command, "touch <DIR>/done");
                               },
                               {"System/UseExternalTool=1", "System/Command=touch <DIR>/done"}),
        Row<TSystemOptionForm>("no list-up check", [](auto& F) { Click(F.SkipImageCheck); },
                               {"System/SkipImageCheck=1"}),
        Row<TSystemOptionForm>("sort folder", [](auto& F) { Click(F.SortFiles); }, {"File/SortMode=1"}),
        Row<TSystemOptionForm>("delete input", [](auto& F) { Click(F.DeleteInput); }, {"File/DeleteInputFile=1"}),
        Row<TSystemOptionForm>("abort on error", [](auto& F) { Click(F.AbortOnError); }, {"System/AbortOnError=1"}),
        Row<TSystemOptionForm>("auto sort", [](auto& F) { Down(F.AutoSort); }, {"File/AutoSortMode=1"}),
        Row<TSystemOptionForm>(
            "background", [](auto& F) { PickColour(F.ColorPanel, "#302010"); },
            {"DefaultBGColor/Red=48", "DefaultBGColor/Green=32", "DefaultBGColor/Blue=16", "DefaultBGColor/Gray=35"}),
        Row<TSystemOptionForm>("font", [](auto& F) { PickFont(F.FontButton, OtherFamily(), "13"); },
                               {"Font/P_FontName=" + OtherFamily().toStdString(), "Font/P_FontSize=13"}),

        // Combine Settings.
        Row<TCombineOptionForm>("width", [](auto& F) { Type(F.TileWidth, "640"); }, {"Combine/Width=640"}),
        Row<TCombineOptionForm>("height", [](auto& F) { Type(F.TileHeight, "480"); }, {"Combine/Height=480"}),
        Row<TCombineOptionForm>("priority", [](auto& F) { Down(F.Order); }, {"Combine/Order=1"}),
        Row<TCombineOptionForm>("rows", [](auto& F) { Type(F.Rows, "4"); }, {"Combine/Rows,=4"}),
        Row<TCombineOptionForm>("columns", [](auto& F) { Type(F.Columns, "5"); }, {"Combine/Columns=5"}),
        Row<TCombineOptionForm>("row space", [](auto& F) { Type(F.RowSpace, "6"); }, {"Combine/RowSpace=6"}),
        Row<TCombineOptionForm>("column space", [](auto& F) { Type(F.ColumnSpace, "7"); }, {"Combine/ColumnSpace=7"}),
        Row<TCombineOptionForm>("background", [](auto& F) { PickColour(F.ColorPanel, "#102030"); },
                                {"Combine/BackgroundColor=3153936"}),
        Row<TCombineOptionForm>("without space", [](auto& F) { Click(F.FillBlank); }, {"Combine/FillBlank=0"}),

        // Output Folder Settings.
        Row<TFolderOptionForm>("same folder", [](auto& F) { Click(F.SameDirectory); }, {"File/SameDirectory=1"}),
        Row<TFolderOptionForm>("output folder", [](auto& F) { Type(F.OutputEdit, "/tmp/elsewhere"); },
                               {"File/OutPutDirectory=/tmp/elsewhere"}),
        Row<TFolderOptionForm>("open after", [](auto& F) { Click(F.ShowDirectory); }, {"File/ShowDirectory=1"}),
        Row<TFolderOptionForm>("clipboard folder", [](auto& F) { Type(F.ClipboardEdit, "/tmp/clips"); },
                               {"File/ClipBoardTemp=/tmp/clips"}),

        // External Viewer Settings.
        Row<TPreviewOptionForm>("viewer", [](auto& F) { Type(F.ViewerPathEdit, "/usr/bin/true"); },
                                {"Preview/ViewerPath=/usr/bin/true"}),
        Row<TPreviewOptionForm>("option", [](auto& F) { Type(F.ViewerOptionEdit, "-a"); }, {"Preview/ViewerOption=-a"}),
        Row<TPreviewOptionForm>("option 2", [](auto& F) { Type(F.ViewerOption2Edit, "-b"); },
                                {"Preview/ViewerOption2=-b"}),

        // Susie Plug-in Settings: a plug-in switched on by the keyboard, one moved down.
        Row<TSusiePluginOptionForm>("switched on", [](auto& F) { QTest::keyClick(F.CheckList, Qt::Key_Space); },
                                    {"SPI/SPIOrder=a.spi=1,b.spi=0"}),
        Row<TSusiePluginOptionForm>("moved down", [](auto& F) { Click(F.DownButton); },
                                    {"SPI/SPIOrder=b.spi=0,a.spi=0"}),
    };
    WorkRows(Rows);
}

// Every "..." of a folder: the folder picked in the box lands in its own key.
TEST_F(DialogFields, FolderPickersStoreThePickedFolderUnderItsOwnKey)
{
    const fs::path Picked = Dir / "picked", Plugins = Dir / "plugins2";
    fs::create_directories(Picked);
    fs::create_directories(Plugins);
    // The same plug-ins as the first folder, so their order stays as it was.
    for (const char* Spi : {"a.spi", "b.spi"})
        if (fs::exists(Dir / "plugins" / Spi))
            fs::copy_file(Dir / "plugins" / Spi, Plugins / Spi);
    const std::string P = Picked.string(), S = Plugins.string();
    const TFieldRow Rows[] = {
        Row<TFolderOptionForm>("output folder", [P](auto& F) { PickPath(F.OutputButton, P); },
                               {"File/OutPutDirectory=" + P}),
        Row<TFolderOptionForm>("clipboard folder", [P](auto& F) { PickPath(F.ClipboardButton, P); },
                               {"File/ClipBoardTemp=" + P}),
        Row<TSusiePluginOptionForm>("plug-in folder", [S](auto& F) { PickPath(F.FolderButton, S); },
                                    {"SPI/SPIDirectory=" + S}),
    };
    WorkRows(Rows);

    // The program's own plug-in folder picked is stored as none, so that the
    // settings follow the program when it moves.
    BeforeOf("");
    const fs::path Own = Dir / "program" / "SusiePlugin";
    fs::create_directories(Own);
    for (const char* Spi : {"a.spi", "b.spi"})
        if (fs::exists(Dir / "plugins" / Spi))
            fs::copy_file(Dir / "plugins" / Spi, Own / Spi);
    struct TKeptExeDir {
        std::string Kept = Startup.ExeDir;
        ~TKeptExeDir() { Startup.ExeDir = Kept; }
    } KeptExeDir;
    Startup.ExeDir = (Dir / "program").string() + "/";
    const TFieldRow OwnRows[] = {
        Row<TSusiePluginOptionForm>("the program's own plug-in folder",
                                    [Own](auto& F) { PickPath(F.FolderButton, Own.string()); }, {"SPI/SPIDirectory="}),
    };
    WorkRows(OwnRows);
}
