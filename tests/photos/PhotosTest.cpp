// The built program on real photographs, started as a user or a script starts
// it: an at-once profile and files on the command line, no display. Outputs are
// read back with outside readers (Qt's image readers, exiftool) and compared
// with an independent resize of the source.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ::testing;

namespace {

const fs::path kDist = VESTRO_DIST_DIR;
const fs::path kPhotoDir = "/usr/share/backgrounds/mate/nature";
// A year before the run: a kept time cannot be mistaken for the time of writing.
const auto kShot = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);

QString Q(const fs::path& P)
{
    return QString::fromStdString(P.string());
}

QImage Load(const fs::path& P)
{
    QImageReader R(Q(P));
    R.setAutoTransform(false);
    return R.read().convertToFormat(QImage::Format_RGB32);
}

// Peak signal-to-noise ratio over the colour channels, in dB.
double PSNR(const QImage& A, const QImage& B)
{
    if (A.size() != B.size() || A.isNull())
        return 0;
    double Sum = 0;
    for (int Y = 0; Y < A.height(); ++Y) {
        const QRgb* P = reinterpret_cast<const QRgb*>(A.constScanLine(Y));
        const QRgb* R = reinterpret_cast<const QRgb*>(B.constScanLine(Y));
        for (int X = 0; X < A.width(); ++X) {
            const int D[3] = {qRed(P[X]) - qRed(R[X]), qGreen(P[X]) - qGreen(R[X]), qBlue(P[X]) - qBlue(R[X])};
            Sum += D[0] * D[0] + D[1] * D[1] + D[2] * D[2];
        }
    }
    const double MSE = Sum / (3.0 * A.width() * A.height());
    return MSE == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / MSE);
}

// The source as it should look: turned clockwise by Turns quarter turns and
// resized by Qt's own smooth scaling.
QImage Reference(const fs::path& Source, QSize Size, int Turns = 0, bool Gray = false)
{
    QImage I = Load(Source).transformed(QTransform().rotate(90 * Turns));
    I = I.scaled(Size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (Gray)
        for (int Y = 0; Y < I.height(); ++Y)
            for (int X = 0; X < I.width(); ++X) {
                const QRgb C = I.pixel(X, Y);
                const int L = qRound(0.299 * qRed(C) + 0.587 * qGreen(C) + 0.114 * qBlue(C));
                I.setPixel(X, Y, qRgb(L, L, L));
            }
    return I;
}

// Fits inside the box, keeps the aspect and touches the box on one side.
void ExpectInscribed(QSize Out, QSize Source, int Box)
{
    EXPECT_TRUE(Out.width() <= Box && Out.height() <= Box) << Out.width() << "x" << Out.height();
    EXPECT_EQ(std::max(Out.width(), Out.height()), Box);
    EXPECT_NEAR(double(Out.width()) / Out.height(), double(Source.width()) / Source.height(), 0.01);
}

std::string Hash(const fs::path& P)
{
    QFile F(Q(P));
    EXPECT_TRUE(F.open(QIODevice::ReadOnly)) << P;
    return QCryptographicHash::hash(F.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
}

std::string Joined(const std::vector<std::string>& Lines)
{
    return PrintToString(Lines);
}

struct TRun {
    int Status = -1;
    std::vector<std::string> Lines; // the error log, one line per failure
};

class Photos : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(kDist / "vestro-resizer")) << "the program is not built";
        ASSERT_TRUE(fs::exists(kPhotoDir / "Dune.jpg"))
            << "the photographs of Debian's mate-backgrounds package are missing: run scripts/setup";
        const std::string Tag =
            std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Dir = fs::temp_directory_path() / ("vestro-photos-" + Tag);
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in");
        // The single-instance socket lives here: parallel tests never meet.
        fs::create_directories(Dir / "run");
        fs::permissions(Dir / "run", fs::perms::owner_all);
        Ini = "photos-" + Tag + ".ini";
    }
    void TearDown() override
    {
        // The run never touches its inputs and leaves nothing beside them.
        std::map<std::string, std::string> Now;
        for (const auto& E : fs::directory_iterator(Dir / "in"))
            Now[E.path().filename().string()] = Hash(E.path());
        EXPECT_EQ(Now, Inputs);
        for (const auto& [Name, Time] : Times)
            EXPECT_EQ(fs::last_write_time(Dir / "in" / Name), Time) << Name;
        fs::remove_all(Dir);
        fs::remove(kDist / "ini" / Ini);
    }

    // A photograph of the package copied into in/ as Name.
    fs::path Photo(const std::string& Source, const std::string& Name = "")
    {
        const fs::path P = Dir / "in" / (Name.empty() ? Source : Name);
        fs::copy_file(kPhotoDir / Source, P);
        return P;
    }
    // Changes a file's tags with exiftool (Args such as "-Orientation=6").
    void Tag(const fs::path& P, const QStringList& Args)
    {
        QProcess X;
        X.start("exiftool", QStringList{"-q", "-n", "-overwrite_original"} + Args + QStringList{Q(P)});
        ASSERT_TRUE(X.waitForFinished(30000) && X.exitCode() == 0) << X.readAllStandardError().toStdString();
    }
    // An sRGB profile embedded into P.
    void AddProfile(const fs::path& P)
    {
        const fs::path Icc = Dir / "srgb.icc";
        QFile F(Q(Icc));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(QColorSpace(QColorSpace::SRgb).iccProfile());
        F.close();
        Tag(P, {"-ICC_Profile<=" + Q(Icc)});
    }
    // The tags of each file, as exiftool reads them, by path below Dir ("out/a.jpg").
    std::map<std::string, QJsonObject> Tags(const std::vector<fs::path>& Files)
    {
        QProcess X;
        QStringList A{"-json",
                      "-n",
                      "-Orientation",
                      "-Make",
                      "-Model",
                      "-Software",
                      "-ExifImageWidth",
                      "-ExifImageHeight",
                      "-ProfileDescription",
                      "-ColorType"};
        for (const fs::path& P : Files)
            A << Q(P);
        X.start("exiftool", A);
        EXPECT_TRUE(X.waitForFinished(30000));
        std::map<std::string, QJsonObject> M;
        for (const QJsonValue& V : QJsonDocument::fromJson(X.readAllStandardOutput()).array())
            M[fs::relative(V["SourceFile"].toString().toStdString(), Dir).string()] = V.toObject();
        return M;
    }

    // The profile: an at-once run into out/ under the input's own name, never
    // overwriting, two workers (or Workers); System adds [System] keys,
    // Sections the rest.
    void Profile(const std::string& Sections, int Workers = 2, const std::string& System = "")
    {
        std::ofstream(kDist / "ini" / Ini)
            << "[File]\nAtOnce=1\nSameDirectory=0\nOutPutDirectory=" << (Dir / "out").string()
            << "\nFileNameFormat=<old>\nNotOverwrite=1\n"
            << "[System]\nMaxThread=" << Workers << "\n"
            << System << Sections;
    }
    // Fit into Box x Box with Lanczos 3 both ways.
    static std::string Fit(int Box)
    {
        const std::string B = std::to_string(Box);
        return "[Resize]\nRule=10\nSize1=100,512,384,512,384,100,100,512,512,0," + B +
            ",512\n"
            "Size2=0,0,0,0,0,100,100,384,384,0," +
            B +
            ",384\nDecimationType=2\nDecimationRadius=3\n"
            "InterpolationType=2\nInterpolationRadius=3\n";
    }

    // The program's run; unless the test expects failures it must end with
    // status 0 and say nothing. PeakKiB, when given, receives the most memory
    // the program held at once (measured by /usr/bin/time, which starts it).
    TRun Run(const QStringList& Args, bool Clean = true, long* PeakKiB = nullptr)
    {
        for (const auto& E : fs::directory_iterator(Dir / "in")) {
            fs::last_write_time(E.path(), kShot);
            Inputs[E.path().filename().string()] = Hash(E.path());
            Times[E.path().filename().string()] = kShot;
        }
        QProcess P;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("QT_QPA_PLATFORM", "offscreen");
        Env.insert("VESTRO_NONINTERACTIVE", "1");
        Env.insert("XDG_RUNTIME_DIR", Q(Dir / "run"));
        P.setProcessEnvironment(Env);
        P.setWorkingDirectory(Q(Dir));
        const QStringList Line = QStringList{Q(kDist / "vestro-resizer"), "/ini=" + QString::fromStdString(Ini)} + Args;
        if (PeakKiB)
            P.start("/usr/bin/time", QStringList{"-f", "%M", "-o", Q(Dir / "peak")} + Line);
        else
            P.start(Line[0], Line.mid(1));
        EXPECT_TRUE(P.waitForFinished(120000));
        // Its last line (a status other than 0 is said on a line before it).
        std::ifstream F(Dir / "peak");
        for (std::string L; PeakKiB && std::getline(F, L);)
            *PeakKiB = std::atol(L.c_str());
        TRun R;
        R.Status = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
        // Warnings of the libraries underneath are not the program's log.
        for (const QString& L : QString::fromUtf8(P.readAllStandardError()).split('\n', Qt::SkipEmptyParts))
            if (!L.startsWith("Fontconfig") && !L.startsWith("QStandardPaths"))
                R.Lines.push_back(L.toStdString());
        if (Clean) {
            EXPECT_EQ(R.Status, 0) << Joined(R.Lines);
            EXPECT_TRUE(R.Lines.empty()) << Joined(R.Lines);
        }
        return R;
    }
    fs::path Out(const std::string& Name) const { return Dir / "out" / Name; }
    // The output Name: the photograph Source (turned clockwise by Turns
    // quarter turns) fitted into Box x Box, and with a MinPSNR, close to an
    // independent resize of it.
    QImage ExpectFitted(const std::string& Name, const std::string& Source, int Box, double MinPSNR = 0, int Turns = 0,
                        bool Gray = false)
    {
        const QImage O = Load(Out(Name));
        EXPECT_FALSE(O.isNull()) << Name;
        const QSize S = QImageReader(Q(kPhotoDir / Source)).size();
        ExpectInscribed(O.size(), Turns % 2 ? S.transposed() : S, Box);
        if (MinPSNR > 0) {
            EXPECT_GT(PSNR(O, Reference(kPhotoDir / Source, O.size(), Turns, Gray)), MinPSNR) << Name;
        }
        return O;
    }

    fs::path Dir;
    std::string Ini;
    std::map<std::string, std::string> Inputs;
    std::map<std::string, fs::file_time_type> Times;
};

} // namespace

TEST_F(Photos, JPEGKeepsExifProfileAndTimeAndStandsUpright)
{
    Photo("Dune.jpg");                                         // a camera file, landscape
    Tag(Photo("Storm.jpg", "turned.jpg"), {"-Orientation=6"}); // shot with the camera on its side
    AddProfile(Photo("FreshFlower.jpg", "profiled.jpg"));      // no EXIF, an ICC profile
    Profile(Fit(480) +
            "[JPEG]\nQuality=90\nAddExifInfo=1\nUpdateExif=1\n"
            "[Metadata]\nKeepICCProfile=1\nKeepLastWriteTime=1\n[ExifRotationFilter]\nUse=1\n");
    Run({"in"});

    auto T = Tags({Out("Dune.jpg"), Out("turned.jpg"), Out("profiled.jpg"), Dir / "in" / "profiled.jpg"});
    const struct {
        const char* Name;
        const char* Source;
        int Turns;
    } Cases[] = {{"Dune.jpg", "Dune.jpg", 0}, {"turned.jpg", "Storm.jpg", 1}, {"profiled.jpg", "FreshFlower.jpg", 0}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const QImage O = ExpectFitted(C.Name, C.Source, 480, 30, C.Turns);
        EXPECT_LT(std::chrono::abs(fs::last_write_time(Out(C.Name)) - kShot), std::chrono::seconds(2));
        const QJsonObject& E = T["out/" + std::string(C.Name)];
        // Upright in every viewer: turned pixels, and no tag that would turn them again.
        EXPECT_EQ(E["Orientation"].toInt(1), 1);
        EXPECT_EQ(E["ExifImageWidth"].toInt(O.width()), O.width());
        EXPECT_EQ(E["ExifImageHeight"].toInt(O.height()), O.height());
    }
    EXPECT_EQ(T["out/Dune.jpg"]["Make"].toString(), "Canon");
    EXPECT_EQ(T["out/turned.jpg"]["Model"].toString(), "Canon EOS 400D DIGITAL");
    EXPECT_TRUE(T["out/turned.jpg"]["Software"].toString().startsWith("Vestro"));
    EXPECT_FALSE(T["out/profiled.jpg"]["ProfileDescription"].toString().isEmpty());
    EXPECT_EQ(T["out/profiled.jpg"]["ProfileDescription"], T["in/profiled.jpg"]["ProfileDescription"]);
    EXPECT_FALSE(T["out/Dune.jpg"].contains("ProfileDescription"));
}

TEST_F(Photos, PNGThroughEveryPictureEffect)
{
    AddProfile(Photo("FreshFlower.jpg", "profiled.jpg"));
    Photo("Wood.jpg");
    // The overlay: a corner of another photograph.
    const QImage Overlay = Load(kPhotoDir / "LadyBird.jpg").copy(900, 700, 64, 48);
    ASSERT_TRUE(Overlay.save(Q(Dir / "logo.png")));
    // Cut 10 px off each side, turn clockwise, fit into 400 x 400, add a black
    // 8 px margin, sharpen, correct, brighten the middle tones, write the name
    // in white at the top left and put the overlay at the bottom right.
    Profile(Fit(400) +
            "[JPEG]\nConvertTo=3\n[Metadata]\nKeepICCProfile=0\n"
            "[TrimmingFilter]\nUse=1\nType=1\nValue=10,10,10,10,10,10,10,10\n"
            "[RotationFilter]\nUse=1\nType=0\nValue=0\n"
            "[AddBlankFilter]\nUse=1\nPreview=1\nBlankType=1\nBlankColor=0\nValue=8,8,8,8,8,8,8,8\n"
            "[UnSharpMask]\nUse=1\nRadius=1.5\nStrengthW=120\nStrengthB=120\n"
            "[ColorCorrection]\nUse=1\nChroma=20\n"
            "[ToneCurve]\nUse=1\nRGB=0,0,128,160,255,255\n"
            "[AddText]\nUse=1\nText=<old>\nBasePos=0\nFontName=DejaVu Sans\nFontSize=16\n"
            "FontColor=16777215\n"
            "[Composite]\nUse=1\nMode=0\nBasePos=8\nOpacity=100\nImageFileName=" +
            (Dir / "logo.png").string() + "\n");
    Run({"in/profiled.jpg", "in/Wood.jpg"});

    auto T = Tags({Out("profiled.png"), Out("Wood.png")});
    for (const char* Source : {"FreshFlower.jpg", "Wood.jpg"}) {
        const std::string Name = Source == std::string("Wood.jpg") ? "Wood.png" : "profiled.png";
        SCOPED_TRACE(Name);
        const QImage O = Load(Out(Name));
        ASSERT_FALSE(O.isNull());
        const QSize S = QImageReader(Q(kPhotoDir / Source)).size();
        ExpectInscribed(O.size() - QSize(16, 16), (S - QSize(20, 20)).transposed(), 400);
        // The margin is black at the top right.
        int Bright = 0;
        for (int Y = 0; Y < 8; ++Y)
            for (int X = O.width() - 60; X < O.width(); ++X)
                Bright += qGray(O.pixel(X, Y)) > 16;
        EXPECT_EQ(Bright, 0);
        // The overlay, unchanged, in the bottom-right corner.
        const QRect Corner(O.width() - Overlay.width(), O.height() - Overlay.height(), Overlay.width(),
                           Overlay.height());
        EXPECT_GT(PSNR(O.copy(Corner), Overlay), 45);
        EXPECT_FALSE(T["out/" + Name].contains("ProfileDescription"));
    }
    const QImage O = Load(Out("profiled.png"));
    int White = 0;
    for (int Y = 8; Y < 36; ++Y)
        for (int X = 8; X < 120; ++X)
            White += qGray(O.pixel(X, Y)) > 240;
    EXPECT_GT(White, 100); // the name in white at the top left, on the dark flower
}

// Gray BMP with the longer side 360 px, and a palette PNG of at most 64
// colours: each close to an independent resize.
TEST_F(Photos, GrayBMPAndPalettePNG)
{
    const struct {
        std::string Sections;
        const char *A, *B, *Ext;
        int Box;
        double MinPSNR;
        bool Gray;
    } Cases[] = {
        {"[Resize]\nRule=1\nSize1=100,360,384,512,384,100,100,512,512,0,512,512\n"
         "[JPEG]\nConvertTo=1\n[GrayscaleFilter]\nUse=1\n",
         "Dune", "Aqua", ".bmp", 360, 30, true},
        {Fit(320) + "[JPEG]\nConvertTo=3\n[DecreaseColor]\nUse=1\nMode=3\nPaletteEntries=64\n", "GreenMeadow",
         "YellowFlower", ".png", 320, 25, false},
    };
    for (const auto& C : Cases) {
        Profile(C.Sections);
        Run({Q(Photo(std::string(C.A) + ".jpg")), Q(Photo(std::string(C.B) + ".jpg"))});
        for (const std::string Name : {C.A, C.B}) {
            SCOPED_TRACE(Name);
            const std::string File = Name + C.Ext;
            EXPECT_EQ(ExpectFitted(File, Name + ".jpg", C.Box, C.MinPSNR, 0, C.Gray).allGray(), C.Gray);
            if (!C.Gray) {
                EXPECT_EQ(Tags({Out(File)})["out/" + File]["ColorType"].toInt(), 3); // palette
                EXPECT_LE(QImageReader(Q(Out(File))).read().colorCount(), 64);
            }
        }
    }
}

TEST_F(Photos, FileSizeLimitIsMet)
{
    Photo("RainDrops.jpg");
    Photo("Storm.jpg");
    Profile(Fit(1024) +
            "[JPEG]\nQuality=95\nUseFileSizeLimit=1\nFileSizeLimit=60\nQualityLimit=30\n"
            "AddExifInfo=0\n");
    Run({"in/RainDrops.jpg", "in/Storm.jpg"}); // quality 95 would give twice the limit
    auto T = Tags({Out("Storm.jpg")});
    for (const char* Name : {"RainDrops.jpg", "Storm.jpg"}) {
        SCOPED_TRACE(Name);
        ASSERT_TRUE(fs::exists(Out(Name)));
        EXPECT_LE(fs::file_size(Out(Name)), 60u * 1024);
        EXPECT_GT(fs::file_size(Out(Name)), 30u * 1024); // not starved either
        ExpectFitted(Name, Name, 1024, 28);
        // Modification times are left to the system unless kept.
        EXPECT_GT(fs::last_write_time(Out(Name)), kShot + std::chrono::hours(24));
    }
    EXPECT_FALSE(T["out/Storm.jpg"].contains("Make")); // EXIF dropped, as set
}

TEST_F(Photos, LosslessTurnFollowsTheCamera)
{
    Tag(Photo("Storm.jpg", "turned.jpg"), {"-Orientation=6"});
    Photo("Dune.jpg");
    Profile("[JPEGTran]\nUse=1\nRotation=1\nOptimize=1\n");
    Run({"in"});
    auto T = Tags({Out("turned.jpg"), Out("Dune.jpg")});
    const QImage Turned = Load(Out("turned.jpg"));
    EXPECT_EQ(Turned.size(), QSize(1280, 1920));
    EXPECT_GT(PSNR(Turned, Load(kPhotoDir / "Storm.jpg").transformed(QTransform().rotate(90))), 40);
    EXPECT_EQ(T["out/turned.jpg"]["Orientation"].toInt(), 1);
    EXPECT_EQ(T["out/turned.jpg"]["Make"].toString(), "Canon");
    // Not turned: the same picture, losslessly.
    EXPECT_EQ(PSNR(Load(Out("Dune.jpg")), Load(kPhotoDir / "Dune.jpg")), 99);
}

// One worker reuses the blocks of the file before: photographs of many sizes
// and kinds give, byte for byte, what each gives in a run of its own.
TEST_F(Photos, OneWorkerWritesWhatEachFileGivesAlone)
{
    std::vector<std::string> Names = {"Wood.jpg", "Dune.jpg", "GreenMeadow.jpg", "Aqua.jpg"};
    for (const std::string& N : Names)
        Photo(N);
    Names.insert(Names.end(), {"turned.jpg", "Blinds.png"});
    Tag(Photo("Storm.jpg", "turned.jpg"), {"-Orientation=6"});
    ASSERT_TRUE(Load(kPhotoDir / "Blinds.jpg").save(Q(Dir / "in" / "Blinds.png")));
    for (const std::string Output : {"", "[JPEG]\nConvertTo=3\n"}) {
        const std::string Sections = Fit(700) + Output + "[ExifRotationFilter]\nUse=1\n";
        const auto OutName = [&](const std::string& N) {
            return Output.empty() ? N : N.substr(0, N.find('.')) + ".png"; // a PNG stays PNG
        };
        Profile(Sections, 1);
        Run({"in"});
        std::map<std::string, std::string> Together;
        for (const std::string& N : Names)
            Together[N] = Hash(Out(OutName(N)));
        fs::remove_all(Dir / "out");
        for (const std::string& N : Names) {
            Run({Q(Dir / "in" / N)});
            EXPECT_EQ(Hash(Out(OutName(N))), Together[N]) << N << (Output.empty() ? " to JPEG" : " to PNG");
        }
        fs::remove_all(Dir / "out");
    }
}

// A JPEG only resized never exists whole: a budget under the decoded 15 MB but
// over the resize's 10 MB converts it; another effect needs it whole: refused.
TEST_F(Photos, OverBudgetJPEGIsResizedInBandsNotWhole)
{
    Photo("Wood.jpg"); // 2560 x 1920
    Profile(Fit(700), 2, "PictureMemoryLimit=12\n");
    Run({"in"}); // clean
    ExpectFitted("Wood.jpg", "Wood.jpg", 700, 30);
    fs::remove_all(Dir / "out");

    Profile(Fit(700) + "[UnSharpMask]\nUse=1\nRadius=1.5\nStrengthW=120\nStrengthB=120\n", 2,
            "PictureMemoryLimit=12\n");
    const TRun R = Run({"in"}, false);
    EXPECT_EQ(R.Status, 1);
    EXPECT_THAT(R.Lines, ElementsAre(AllOf(StartsWith("Wood.jpg: "), HasSubstr("too large"))));
    EXPECT_FALSE(fs::exists(Out("Wood.jpg")));
}

// An image with alpha laid under a photograph, written as JPEG: flattened onto
// the background colour like any picture with alpha (blue here), the photo at
// the top left. An image too large for the budget is refused, naming it, on
// each picture's line.
TEST_F(Photos, AlphaImageUnderIsFlattened)
{
    Photo("Dune.jpg");
    QImage Under(1000, 800, QImage::Format_ARGB32);
    Under.fill(Qt::transparent);
    for (int Y = 0; Y < 100; ++Y)
        for (int X = 0; X < Under.width(); ++X)
            Under.setPixel(X, Y, qRgba(255, 0, 0, 128));
    ASSERT_TRUE(Under.save(Q(Dir / "under.png")));
    const std::string Composite = "[DefaultBGColor]\nRed=0\nGreen=0\nBlue=255\n"
                                  "[Composite]\nUse=1\nBasePos=0\nMode=";
    Profile(Fit(400) + Composite + "1\nImageFileName=" + (Dir / "under.png").string() + "\n");
    Run({"in"});
    const QImage O = Load(Out("Dune.jpg"));
    ASSERT_EQ(O.size(), QSize(1000, 800));
    for (const auto& [At, Want] : {std::pair{QPoint(900, 700), qRgb(0, 0, 255)}, {QPoint(900, 50), qRgb(128, 0, 127)}})
        for (int Diff :
             {qRed(O.pixel(At)) - qRed(Want), qGreen(O.pixel(At)) - qGreen(Want), qBlue(O.pixel(At)) - qBlue(Want)})
            EXPECT_LE(std::abs(Diff), 4) << At.x() << "," << At.y();
    EXPECT_GT(PSNR(O.copy(0, 100, 400, 150), Reference(kPhotoDir / "Dune.jpg", QSize(400, 250)).copy(0, 100, 400, 150)),
              30);
    fs::remove_all(Dir / "out");

    QImage Big(4000, 2800, QImage::Format_ARGB32); // 45 MB: more than half of a 64 MB budget
    Big.fill(Qt::transparent);
    ASSERT_TRUE(Big.save(Q(Dir / "big.png")));
    Profile(Fit(400) + Composite + "0\nImageFileName=" + (Dir / "big.png").string() + "\n", 2,
            "PictureMemoryLimit=64\n");
    const TRun R = Run({"in"}, false);
    EXPECT_EQ(R.Status, 1);
    EXPECT_THAT(R.Lines,
                ElementsAre(AllOf(StartsWith("Dune.jpg: "), HasSubstr((Dir / "big.png").string()),
                                  HasSubstr("too large (4000 x 2800)"))));
    EXPECT_FALSE(fs::exists(Out("Dune.jpg")));
}

// All pictures of a run share one budget (48 MiB here): four photographs as
// PNG, each needing more than half of it, go through four workers one after
// another, so that the program holds no more than the budget beyond what an
// idle run holds; only a picture larger than the whole budget is refused.
TEST_F(Photos, PicturesOfARunShareOneBudget)
{
    fs::create_directories(Dir / "idle");
    ASSERT_TRUE(Load(kPhotoDir / "Wood.jpg").scaled(64, 48).save(Q(Dir / "idle" / "idle.png")));
    ASSERT_TRUE(Load(kPhotoDir / "Wood.jpg").save(Q(Dir / "in" / "w0.png"))); // 2560 x 1920, 15 MB
    for (const char* N : {"w1.png", "w2.png", "w3.png"})
        fs::copy_file(Dir / "in" / "w0.png", Dir / "in" / N);
    QImage Huge(5000, 5000, QImage::Format_ARGB32); // 100 MB, read whole (alpha is flattened on the whole picture)
    Huge.fill(Qt::gray);
    ASSERT_TRUE(Huge.save(Q(Dir / "in" / "huge.png")));
    Profile(Fit(700), 4, "PictureMemoryLimit=48\n");
    long Idle = 0, Peak = 0;
    Run({"idle"}, true, &Idle);
    const TRun R = Run({"in"}, false, &Peak);
    EXPECT_EQ(R.Status, 1);
    EXPECT_THAT(R.Lines, ElementsAre(AllOf(StartsWith("huge.png: "), HasSubstr("too large"))));
    for (const char* N : {"w0.png", "w1.png", "w2.png", "w3.png"})
        ExpectFitted(N, "Wood.jpg", 700, 30);
    EXPECT_LT(Peak - Idle, 48 * 1024);
}

// A result larger than the budget is refused before it is made, naming its
// size, whether the picture is read whole (PNG) or resized as it is decoded
// (JPEG): the file itself was read well.
TEST_F(Photos, EnlargementBeyondBudget)
{
    Photo("Wood.jpg");
    ASSERT_TRUE(Load(kPhotoDir / "Wood.jpg").save(Q(Dir / "in" / "Wood.png")));
    Profile(Fit(4500), 2, "PictureMemoryLimit=64\n"); // 46 MB, but 72 MB beside the temporary
    const TRun R = Run({"in"}, false);
    EXPECT_EQ(R.Status, 1);
    EXPECT_THAT(R.Lines,
                UnorderedElementsAre(StartsWith("Wood.jpg: result too large: 4500 x 3375 ("),
                                     StartsWith("Wood.png: result too large: 4500 x 3375 (")));
    EXPECT_FALSE(fs::exists(Out("Wood.jpg")) || fs::exists(Out("Wood.png")));
}
