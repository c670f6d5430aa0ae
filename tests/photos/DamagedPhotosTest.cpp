// Damaged photographs among whole ones, through the built program's paths
// that take a JPEG as it is (the unchanged copy, the lossless transform) and
// the one that decodes it: each damaged file gets one line, the same on every
// path, no output and its source kept; the whole ones go through as before.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ::testing;

namespace {

const fs::path kDist = VESTRO_DIST_DIR;
const fs::path kPhotoDir = "/usr/share/backgrounds/mate";

std::string Bytes(const fs::path& P)
{
    std::ifstream F(P, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(F), {});
}

void Write(const fs::path& P, const std::string& B)
{
    std::ofstream(P, std::ios::binary) << B;
}

struct TRun {
    int Status = -1;
    std::vector<std::string> Lines;
};

class DamagedPhotos : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kDist / "vestro-resizer")) << "the program is not built";
        ASSERT_TRUE(fs::exists(kPhotoDir / "nature" / "Blinds.jpg"))
            << "the photographs of Debian's mate-backgrounds package are missing: run scripts/setup";
        // Short: the single-instance socket's name is made from it.
        const std::string Tag = std::to_string(::getpid());
        Dir = fs::temp_directory_path() / ("vestro-dmg-" + Tag);
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        fs::create_directories(Dir / "run");
        fs::permissions(Dir / "run", fs::perms::owner_all);
        Ini = "damaged-" + Tag + ".ini";
    }
    void TearDown() override
    {
        fs::remove_all(Dir);
        fs::remove(kDist / "ini" / Ini);
    }
    // An at-once run of the default settings into out/ under the input's
    // name, the sources deleted once written; Sections adds settings.
    void Profile(const std::string& Sections = "")
    {
        std::ofstream(kDist / "ini" / Ini)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=<old>\nDeleteInputFile=1\n"
            << Sections;
    }
    // Name in in/: the photograph Source, cut to Length bytes when given.
    std::string Photo(const std::string& Source, const std::string& Name, size_t Length = std::string::npos)
    {
        const std::string B = Bytes(kPhotoDir / Source);
        Write(Dir / "in" / Name, B.substr(0, Length));
        return Bytes(Dir / "in" / Name);
    }
    TRun Run(const std::vector<std::string>& Names)
    {
        QStringList Args{"/ini=" + QString::fromStdString(Ini)};
        for (const std::string& N : Names)
            Args << QString::fromStdString((Dir / "in" / N).string());
        QProcess P;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("XDG_RUNTIME_DIR", QString::fromStdString((Dir / "run").string()));
        P.setProcessEnvironment(Env);
        P.start(QString::fromStdString((kDist / "vestro-resizer").string()), Args);
        EXPECT_TRUE(P.waitForFinished(120000));
        TRun R;
        R.Status = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
        for (const QString& L : QString::fromUtf8(P.readAllStandardError()).split('\n', Qt::SkipEmptyParts))
            if (!L.startsWith("Fontconfig") && !L.startsWith("QStandardPaths"))
                R.Lines.push_back(L.toStdString());
        std::sort(R.Lines.begin(), R.Lines.end());
        return R;
    }
    fs::path Dir;
    std::string Ini;
};

} // namespace

TEST_F(DamagedPhotos, TheUnchangedCopyRefusesCutPhotosAndKeepsTheirSources)
{
    // A camera file cut in its EXIF block, and at fractions of its length.
    const std::string Source = "nature/Blinds.jpg";
    const size_t Size = fs::file_size(kPhotoDir / Source);
    std::map<std::string, std::string> Cut;
    Cut["head.jpg"] = Photo(Source, "head.jpg", 5000);
    for (const int Percent : {2, 10, 50, 90, 99}) {
        const std::string Name = "cut" + std::to_string(Percent) + ".jpg";
        Cut[Name] = Photo(Source, Name, Size * size_t(Percent) / 100);
    }
    // Whole ones, one with a camera's trailer (a second picture, cut) behind its end.
    std::map<std::string, std::string> Whole;
    Whole["whole.jpg"] = Photo("nature/Storm.jpg", "whole.jpg");
    Photo("nature/Dune.jpg", "trailer.jpg");
    Whole["trailer.jpg"] =
        Bytes(Dir / "in" / "trailer.jpg") + Bytes(kPhotoDir / "nature" / "Aqua.jpg").substr(0, 30000);
    Write(Dir / "in" / "trailer.jpg", Whole["trailer.jpg"]);
    // No JPEG at all, only named like one: no JPEG's words for it.
    Write(Dir / "in" / "notes.jpg", "a text, no picture");
    Profile();

    std::vector<std::string> Names{"notes.jpg"};
    for (const auto& M : {Cut, Whole})
        for (const auto& [Name, B] : M)
            Names.push_back(Name);
    const TRun R = Run(Names);
    EXPECT_EQ(R.Status, 1);
    std::vector<std::string> Expected{"notes.jpg: Unknown format"};
    for (const auto& [Name, B] : Cut)
        Expected.push_back(Name + (Name == "head.jpg" ? ": " : ": Failed to load file: ") +
                           "Premature end of JPEG file");
    std::sort(Expected.begin(), Expected.end());
    EXPECT_EQ(R.Lines, Expected);
    for (const auto& [Name, B] : Cut) {
        EXPECT_FALSE(fs::exists(Dir / "out" / Name)) << Name;
        EXPECT_TRUE(Bytes(Dir / "in" / Name) == B) << Name << ": the source is gone or changed";
    }
    for (const auto& [Name, B] : Whole) {
        EXPECT_TRUE(Bytes(Dir / "out" / Name) == B) << Name << ": not copied byte for byte";
        EXPECT_FALSE(fs::exists(Dir / "in" / Name)) << Name << ": the source was not deleted as asked";
    }
}

TEST_F(DamagedPhotos, ALyingFrameAndACutPhotoGetOneVerdictOnEveryPath)
{
    // A 80 KB photograph whose frame header claims 65000 x 65000 pixels.
    std::string Liar = Bytes(kPhotoDir / "nature" / "FreshFlower.jpg");
    const size_t Sof = Liar.find("\xFF\xC2");
    ASSERT_NE(Sof, std::string::npos);
    Liar.replace(Sof + 5, 4, "\xFD\xE8\xFD\xE8");
    const size_t Size = fs::file_size(kPhotoDir / "nature" / "Garden.jpg");
    const std::vector<std::string> Expected = {
        "cut.jpg: Failed to load file: Premature end of JPEG file",
        "liar.jpg: Failed to load file: The JPEG file is damaged (size 65000x65000)"};
    for (const char* Path : {"", "[JPEG]\nAlwaysRecompress=1\n", "[JPEGTran]\nUse=1\nRotation=2\n"}) {
        SCOPED_TRACE(Path);
        Write(Dir / "in" / "liar.jpg", Liar);
        const std::string Cut = Photo("nature/Garden.jpg", "cut.jpg", Size * 3 / 4);
        Profile(Path);
        const TRun R = Run({"liar.jpg", "cut.jpg"});
        EXPECT_EQ(R.Status, 1);
        EXPECT_EQ(R.Lines, Expected);
        EXPECT_TRUE(!fs::exists(Dir / "out") || fs::is_empty(Dir / "out"));
        EXPECT_TRUE(Bytes(Dir / "in" / "liar.jpg") == Liar && Bytes(Dir / "in" / "cut.jpg") == Cut);
    }
}

TEST_F(DamagedPhotos, ATransformOverTheBudgetIsRefusedAsADecodeIs)
{
    // 3840 x 2160: its coefficients alone take 24 MiB.
    for (const char* Path : {"[JPEG]\nAlwaysRecompress=1\n", "[JPEGTran]\nUse=1\n"}) {
        SCOPED_TRACE(Path);
        const std::string Big = Photo("abstract/Elephants_3840x2160.jpg", "big.jpg");
        const std::string Small = Photo("nature/FreshFlower.jpg", "small.jpg");
        Profile(std::string("[System]\nPictureMemoryLimit=16\n") + Path);
        const TRun R = Run({"big.jpg", "small.jpg"});
        EXPECT_EQ(R.Status, 1);
        EXPECT_EQ(R.Lines, std::vector<std::string>{"big.jpg: Failed to load file: picture too large"});
        EXPECT_FALSE(fs::exists(Dir / "out" / "big.jpg"));
        EXPECT_TRUE(Bytes(Dir / "in" / "big.jpg") == Big);
        // The small one is converted and its source deleted as asked.
        EXPECT_TRUE(fs::exists(Dir / "out" / "small.jpg"));
        EXPECT_FALSE(fs::exists(Dir / "in" / "small.jpg"));
        fs::remove_all(Dir / "out");
    }
}

TEST_F(DamagedPhotos, PhotosDamagedInTheirScanOrCutAreRefusedByAResizeAndKeepTheirSources)
{
    // Damage in the middle of the coded data: 256 zero bytes written over it
    // at 35 %, or 64 bytes at half its length. The decoder finishes the
    // picture before its data ends (or runs into a marker), so what is left
    // over behind the last row tells; one of them leaves only a few bytes of
    // coded data before the end marker, which are no fill.
    const auto Overwritten = [](const std::string& B, size_t At, const std::string& With) {
        return B.substr(0, At) + With + B.substr(At + With.size());
    };
    const auto Pattern = [](int Step) {
        std::string P;
        for (int i = 0; i < 64; ++i)
            P += char((i * Step + 11) % 256);
        return P;
    };
    std::map<std::string, std::string> Damaged;
    for (const char* Name : {"Storm", "Garden"}) {
        const std::string B = Bytes(kPhotoDir / "nature" / (std::string(Name) + ".jpg"));
        Damaged[std::string(Name) + "-zeros.jpg"] = Overwritten(B, B.size() * 35 / 100, std::string(256, '\0'));
    }
    for (const auto& [Name, Step] : {std::pair{"Storm", 37}, {"Wood", 37}, {"Aqua", 101}}) {
        const std::string B = Bytes(kPhotoDir / "nature" / (std::string(Name) + ".jpg"));
        Damaged[std::string(Name) + "-overwritten.jpg"] = Overwritten(B, B.size() / 2, Pattern(Step));
    }
    // Cut at fractions of its length.
    const size_t Size = fs::file_size(kPhotoDir / "nature" / "Dune.jpg");
    std::map<std::string, std::string> Cut;
    for (const int Percent : {2, 10, 50, 90, 99})
        Cut["cut" + std::to_string(Percent) + ".jpg"] =
            Bytes(kPhotoDir / "nature" / "Dune.jpg").substr(0, Size * size_t(Percent) / 100);

    const std::string Resize = "[Resize]\nRule=10\nSize1=100,800,600,800,600,100,100,800,800,0,800,800\n"
                               "Size2=0,0,0,0,0,100,100,600,600,0,800,600\n";
    // In bands at a reduced decoding size, and whole at full size before a turn.
    for (const std::string& Path :
         {Resize, Resize + "[JPEG]\nDecodeWithDownScaling=0\n[RotationFilter]\nUse=1\nValue=1\n"}) {
        SCOPED_TRACE(Path);
        fs::remove_all(Dir / "out");
        std::vector<std::string> Names{"whole.jpg"};
        Photo("nature/Dune.jpg", "whole.jpg");
        for (const auto& M : {Damaged, Cut})
            for (const auto& [Name, B] : M) {
                Write(Dir / "in" / Name, B);
                Names.push_back(Name);
            }
        Profile(Path);
        const TRun R = Run(Names);
        EXPECT_EQ(R.Status, 1);
        // One line for each damaged file, in the decoder's words.
        ASSERT_EQ(R.Lines.size(), Damaged.size() + Cut.size()) << ::testing::PrintToString(R.Lines);
        for (const std::string& L : R.Lines) {
            const std::string Name = L.substr(0, L.find(':'));
            if (Cut.count(Name))
                EXPECT_EQ(L, Name + ": Failed to load file: Premature end of JPEG file");
            else
                EXPECT_THAT(L, StartsWith(Name + ": Failed to load file: Corrupt JPEG data: "));
        }
        for (const auto& M : {Damaged, Cut})
            for (const auto& [Name, B] : M) {
                EXPECT_FALSE(fs::exists(Dir / "out" / Name)) << Name;
                EXPECT_TRUE(Bytes(Dir / "in" / Name) == B) << Name << ": the source is gone or changed";
            }
        // The whole photograph is written and its source deleted as asked.
        EXPECT_TRUE(fs::exists(Dir / "out" / "whole.jpg"));
        EXPECT_FALSE(fs::exists(Dir / "in" / "whole.jpg"));
    }
}
