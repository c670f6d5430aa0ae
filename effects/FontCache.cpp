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

#endif

void CopyMask(const TImgInfo& Src, TImgInfo& Dst)
{
    AllocImg(Dst, Src.Width, Src.Height, 1);
    std::memcpy(Dst.Mem, Src.Mem, size_t(uint64_t(Src.Bpl) * BlockRows(Src.Height)));
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
    const int64_t Points = std::clamp<int64_t>(std::abs(int64_t(Font.Size)), 1, 4096);
    QFont F(QString::fromStdString(Font.Name));
    F.setPixelSize(int((Points * 4 * 96 + 36) / 72));
    F.setBold(Font.Style & fsBold);
    F.setItalic(Font.Style & fsItalic);
    F.setUnderline(Font.Style & fsUnderline);
    F.setStrikeOut(Font.Style & fsStrikeOut);
    const QFontMetrics M(F);
    const int64_t LineHeight = M.height();

    const std::vector<QString> Lines = SplitLines(Text);
    const int64_t Pitch = Quadruple(LinePitch);
    int64_t TextW = 0, TextH = -Pitch;
    for (const QString& L : Lines) {
        TextH += Pitch + LineHeight;
        TextW = std::max<int64_t>(TextW, TextWidthItalicCorrected(F, L));
    }
    const int64_t Left = Quadruple(MarginLeft), Top = Quadruple(MarginTop);
    // A negative pitch or margin can eat the whole block; keep one pixel.
    const int64_t W = std::max<int64_t>(1, TextW + Quadruple(MarginLeft + MarginRight));
    const int64_t H = std::max<int64_t>(1, TextH + Quadruple(MarginTop + MarginBottom));
    // Drawn four times over, then reduced: say the size the text would have.
    if (W > 32767 || H > 32767 || W * H > (int64_t(1) << 28))
        throw EVestroError(LoadResText("the text is too large to draw") + ": " + std::to_string((W + 3) / 4) + " x " +
                           std::to_string((H + 3) / 4) + " " + LoadResText("pixels"));

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
            P.drawText(QPointF(double(Left), double(Y + M.ascent())), L);
            Y += Pitch + LineHeight;
        }
    }

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
