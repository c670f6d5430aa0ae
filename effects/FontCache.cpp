#include "effects/FontCache.h"

#include "core/Errors.h"
#include "core/Resize.h"
#include "core/ResourceText.h"

// VESTRO_NO_TEXT_DRAWING builds the program that converts at once without the
// window system's libraries: it draws no text (the program hands a run with
// text to the one that does), and asks no font database.
#ifndef VESTRO_NO_TEXT_DRAWING
#include "effects/WindowFuncs.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <fontconfig/fontconfig.h>
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The font database is filled once per process.
struct TFontDatabase {
    std::once_flag Once;
    std::atomic<bool> Ready{false};
};

TFontDatabase& FontDatabase()
{
    static TFontDatabase D;
    return D;
}

void RequireGuiApplication()
{
    // Without the application object the font system aborts the process;
    // fail the picture instead.
#ifndef VESTRO_NO_TEXT_DRAWING
    if (!qGuiApp)
#endif
        throw EVestroError("Text cannot be drawn: the font system is not started");
}

#ifndef VESTRO_NO_TEXT_DRAWING

// Trunc(V x 4) for a length in output pixels. Lengths beyond a few thousand
// pixels make no sense for text and would only overflow the sums below.
int64_t Quadruple(double V)
{
    if (!(V == V))
        return 0;
    return int64_t(std::clamp(V, -100000.0, 100000.0) * 4.0);
}

// Lines as a string list splits them: CR LF, LF or CR end a line, and a
// break at the very end does not start another line. No text is one empty line.
std::vector<QString> SplitLines(const std::string& Text)
{
    std::vector<QString> Lines;
    size_t Start = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r' && Text[i] != '\n')
            continue;
        Lines.push_back(QString::fromUtf8(Text.data() + Start, qsizetype(i - Start)));
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
            ++i;
        Start = i + 1;
    }
    if (Start < Text.size() || Lines.empty())
        Lines.push_back(QString::fromUtf8(Text.data() + Start, qsizetype(Text.size() - Start)));
    return Lines;
}

// Beyond some 17000 pixels the font engine's metrics wrap around (ascent
// and line height come back negative, the line drawn off the bitmap), and
// some fonts sooner or later: text is drawn at most this large, four times
// over, which is 3072 points; larger text is refused.
constexpr int64_t MaxDrawPixels = 16384;
// The size at which a text too large to draw is measured, to say the size it
// would have.
constexpr int64_t ProbePixels = 1024;

// The block of the lines at one pixel size, four times over.
struct TTextBlock {
    int64_t Width = 0, LineHeight = 0, Ascent = 0;
    bool Sane = false; // the metrics are those of a drawable font
};

TTextBlock MeasureText(QFont F, int64_t PixelSize, const std::vector<QString>& Lines)
{
    F.setPixelSize(int(PixelSize));
    const QFontMetrics M(F);
    TTextBlock B;
    B.LineHeight = M.height();
    B.Ascent = M.ascent();
    B.Sane = B.Ascent > 0 && M.descent() >= 0 && B.LineHeight >= B.Ascent;
    for (const QString& L : Lines) {
        const int64_t W = TextWidthItalicCorrected(F, L);
        B.Sane = B.Sane && W >= 0;
        B.Width = std::max(B.Width, W);
    }
    return B;
}

[[noreturn]] void TooLargeToDraw(double W, double H)
{
    // Said in output pixels: the bitmap is reduced four times.
    auto Out = [](double V) { return std::to_string(int64_t(std::min(std::ceil(V / 4), 1e15))); };
    throw EVestroError(LoadResText("the text is too large to draw") + ": " + Out(W) + " x " + Out(H) + " " +
                       LoadResText("pixels"));
}

// True when a line holds a glyph that leaves ink (not only spaces).
bool HasInk(const QFont& F, const std::vector<QString>& Lines)
{
    const QFontMetrics M(F);
    return std::any_of(Lines.begin(), Lines.end(), [&](const QString& L) { return !M.tightBoundingRect(L).isEmpty(); });
}

bool BlankImage(const QImage& B)
{
    for (int y = 0; y < B.height(); ++y) {
        const uchar* Row = B.constScanLine(y);
        if (std::any_of(Row, Row + B.width(), [](uchar V) { return V != 0; }))
            return false;
    }
    return true;
}

#endif

// Row by row: each record has its own stride.
void CopyMask(const TImgInfo& Src, TImgInfo& Dst)
{
    AllocImg(Dst, Src.Width, Src.Height, 1);
    for (uint32_t y = 0; y < Src.Height; ++y)
        std::memcpy(ScanLine(Dst, y), ScanLine(Src, y), Src.Width);
}

} // namespace

#ifdef VESTRO_NO_TEXT_DRAWING

std::string MenuFontName()
{
    return {};
}

bool FontFamilyExists(const std::string&)
{
    return false;
}

void NoFontSetUpAtExit()
{
}

void InitTextRendering()
{
}

#else

std::string MenuFontName()
{
    if (!qGuiApp)
        return {};
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family().toStdString();
}

bool FontFamilyExists(const std::string& Name)
{
    if (!qGuiApp)
        return false;
    return QFontDatabase::hasFamily(QString::fromStdString(Name));
}

void NoFontSetUpAtExit()
{
    // Qt's font database, when it goes, releases fontconfig's current
    // configuration, and asking for it loads the whole set-up first. A run
    // that never drew text hands it an empty one instead.
    qAddPostRoutine([] {
        if (!FontDatabase().Ready)
            FcConfigSetCurrent(FcConfigCreate());
    });
}

void InitTextRendering()
{
    if (!qGuiApp)
        return;
    std::call_once(FontDatabase().Once, [] {
        (void)QFontDatabase::families();
        FontDatabase().Ready = true;
    });
}

#endif

bool TextRenderingReady()
{
    return FontDatabase().Ready;
}

TFontCache::~TFontCache()
{
    FreeImg(FFontCache);
}

void FreeFontCache(TFontCache*& Cache)
{
    delete Cache;
    Cache = nullptr;
}

void TFontCache::GetAntialiasingText(const std::string& Text, const TFont& Font, TImgInfo& Img, double LinePitch,
                                     double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                                     TResizer* Resizer)
{
    if (FFontCache.Mem && Text == FText && Font.Name == FFontName && Font.Size == FFontSize &&
        Font.Style == FFontStyle && Font.Charset == FFontCharset && LinePitch == FLinePitch &&
        MarginLeft == FMarginLeft && MarginTop == FMarginTop && MarginRight == FMarginRight &&
        MarginBottom == FMarginBottom) {
        CopyMask(FFontCache, Img);
        return;
    }
    RequireGuiApplication();
#ifdef VESTRO_NO_TEXT_DRAWING
    (void)Resizer;
#else
    if (!Resizer)
        throw EVestroError("No resampler");
    FText = Text;
    FFontName = Font.Name;
    FFontSize = Font.Size;
    FFontStyle = Font.Style;
    FFontCharset = Font.Charset;
    FLinePitch = LinePitch;
    FMarginLeft = MarginLeft;
    FMarginTop = MarginTop;
    FMarginRight = MarginRight;
    FMarginBottom = MarginBottom;
    FreeImg(FFontCache);
    // Should a worker be the first to draw text, the database is set up here.
    InitTextRendering();

    // Points at 96 dots per inch, four times over.
    const int64_t Points = std::max<int64_t>(1, std::abs(int64_t(Font.Size)));
    const int64_t PixelSize = (Points * 4 * 96 + 36) / 72;
    QFont F(QString::fromStdString(Font.Name));
    F.setBold(Font.Style & fsBold);
    F.setItalic(Font.Style & fsItalic);
    F.setUnderline(Font.Style & fsUnderline);
    F.setStrikeOut(Font.Style & fsStrikeOut);

    const std::vector<QString> Lines = SplitLines(Text);
    const int64_t Pitch = Quadruple(LinePitch);
    const int64_t Left = Quadruple(MarginLeft), Top = Quadruple(MarginTop);
    // A negative pitch or margin can eat the whole block; keep one pixel.
    auto BlockWidth = [&](double TextW) { return std::max(1.0, TextW + double(Quadruple(MarginLeft + MarginRight))); };
    auto BlockHeight = [&](double LineHeight) {
        return std::max(1.0,
                        double(Lines.size()) * (double(Pitch) + LineHeight) - double(Pitch) +
                            double(Quadruple(MarginTop + MarginBottom)));
    };
    const TTextBlock Block = PixelSize <= MaxDrawPixels ? MeasureText(F, PixelSize, Lines) : TTextBlock{};
    if (!Block.Sane) {
        // Measured small, the size the text would have.
        const TTextBlock Probe = MeasureText(F, ProbePixels, Lines);
        const double Scale = double(PixelSize) / double(ProbePixels);
        TooLargeToDraw(BlockWidth(double(Probe.Width) * Scale), BlockHeight(double(Probe.LineHeight) * Scale));
    }
    F.setPixelSize(int(PixelSize));
    const int64_t LineHeight = Block.LineHeight;
    const int64_t W = int64_t(BlockWidth(double(Block.Width)));
    const int64_t H = int64_t(BlockHeight(double(LineHeight)));
    if (W > 32767 || H > 32767 || W * H > (int64_t(1) << 28))
        TooLargeToDraw(double(W), double(H));

    QImage B(int(W), int(H), QImage::Format_Grayscale8);
    if (B.isNull())
        throw EOutOfMemory();
    B.fill(0);
    {
        QPainter P(&B);
        P.setFont(F);
        P.setPen(Qt::white);
        int64_t Y = Top;
        for (const QString& L : Lines) {
            P.drawText(QPointF(double(Left), double(Y + Block.Ascent)), L);
            Y += Pitch + LineHeight;
        }
    }
    // Letters that left no ink were not drawn: no mask without the text.
    if (BlankImage(B) && HasInk(F, Lines))
        throw EVestroError(LoadResText("the text could not be drawn"));

    TImgInfo Big;
    AllocImg(Big, uint64_t(W), uint64_t(H), 1);
    for (int64_t y = 0; y < H; ++y)
        std::memcpy(ScanLine(Big, uint32_t(y)), B.constScanLine(int(y)), size_t(W));
    try {
        Resizer->ResizeImage(Big, uint32_t((W + 3) / 4), uint32_t((H + 3) / 4), false);
        CopyMask(Big, FFontCache);
    } catch (...) {
        FreeImg(Big);
        throw;
    }
    Img = Big;
#endif
}
