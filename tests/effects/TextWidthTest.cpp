// The width the text masks are measured with: a slanted last letter is
// never cut at the end of its line.
#include "effects/FontCache.h"
#include "effects/WindowFuncs.h"

#include "EffectTestUtil.h"
#include "core/Resize.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace {

// One past the rightmost column that Text, drawn at x = 0 in Font, inks.
int InkRight(const QFont& Font, const QString& Text)
{
    const QFontMetrics M(Font);
    QImage Img(M.horizontalAdvance(Text) + 4 * M.height(), M.height() * 2, QImage::Format_Grayscale8);
    Img.fill(0);
    {
        QPainter P(&Img);
        P.setFont(Font);
        P.setPen(Qt::white);
        P.drawText(0, M.ascent(), Text);
    }
    int Right = 0;
    for (int y = 0; y < Img.height(); ++y)
        for (int x = Img.width() - 1; x >= Right; --x)
            if (Img.constScanLine(y)[x] > 24) { // ignore the faintest antialiasing
                Right = x + 1;
                break;
            }
    return Right;
}

QFont Font(const char* Family, bool Bold, bool Italic)
{
    QFont F{QString::fromLatin1(Family)};
    F.setPixelSize(64);
    F.setBold(Bold);
    F.setItalic(Italic);
    return F;
}

} // namespace

TEST(TextWidthItalicCorrected, TheLastLetterOfALineFitsItsWidth)
{
    int Widened = 0;
    for (const char* Family : {"DejaVu Sans", "DejaVu Serif"})
        for (const bool Bold : {false, true})
            for (const bool Italic : {false, true})
                for (const char* Text : {"f", "Wf", "lly", "AV", "x"}) {
                    const QFont F = Font(Family, Bold, Italic);
                    const QString T = QString::fromLatin1(Text);
                    const int W = TextWidthItalicCorrected(F, T), Advance = QFontMetrics(F).horizontalAdvance(T);
                    EXPECT_GE(W, Advance) << Family << Bold << Italic << Text;
                    EXPECT_LE(InkRight(F, T), W + 1) << Family << Bold << Italic << Text;
                    Widened += W > Advance;
                }
    EXPECT_GE(Widened, 4); // the slanted "f" and "y" reach past their advance
    EXPECT_EQ(TextWidthItalicCorrected(Font("DejaVu Sans", false, true), QString()), 0);
}

TEST(FontCache, TheMaskIsAsWideAsItsWidestCorrectedLine)
{
    TResizer R;
    R.SetDecimationMode(1, CreateWeightSetter(1, 0, 0, 0));
    R.SetInterpolationMode(1, CreateWeightSetter(1, 0, 0, 0));
    R.SetSIMDMode(3, false);
    R.SetMaxThreadNum(1);
    TFontCache Cache;
    // 12 points at 96 dots per inch, drawn four times over: 64 pixels.
    for (const uint8_t Style : {uint8_t(0), uint8_t(fsItalic), uint8_t(fsBold | fsItalic)}) {
        TImgInfo Img;
        // The widest line ends in a letter that reaches past its advance.
        Cache.GetAntialiasingText("WWf\nx\n\nabc", TFont{"DejaVu Sans", 1, 12, 0, Style}, Img, 0, 2, 1, 3, 1, &R);
        const QFont F = Font("DejaVu Sans", Style & fsBold, Style & fsItalic);
        int Widest = 0;
        for (const char* Line : {"WWf", "x", "abc"})
            Widest = std::max(Widest, TextWidthItalicCorrected(F, QString::fromLatin1(Line)));
        EXPECT_EQ(Img.Width, uint32_t(Widest + (2 + 3) * 4 + 3) / 4) << int(Style);
        FreeImg(Img);
    }
}
