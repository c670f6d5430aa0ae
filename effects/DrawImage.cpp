#include "effects/DrawImage.h"

#include "core/AlphaBlend.h"

#include <QImage>
#include <algorithm>

void DrawImageToBitmap(const TImgInfo& Img, const TRect& Rect, QImage& Bitmap, int32_t DestY, int32_t DestX)
{
    if (!Img.Mem || (Img.Channels != 2 && Img.Channels != 4) || Bitmap.isNull())
        return;
    const bool bgr = Bitmap.format() == QImage::Format_BGR888;
    if (!bgr && Bitmap.format() != QImage::Format_RGB888)
        return;

    // 64-bit arithmetic: none of the sums below can wrap.
    int64_t left = Rect.Left, top = Rect.Top, dx = DestX, dy = DestY;
    if (left < 0) {
        dx -= left;
        left = 0;
    }
    if (top < 0) {
        dy -= top;
        top = 0;
    }
    if (dx < 0) {
        left -= dx;
        dx = 0;
    }
    if (dy < 0) {
        top -= dy;
        dy = 0;
    }
    const int64_t right = std::min<int64_t>(Rect.Right, Img.Width);
    const int64_t bottom = std::min<int64_t>(Rect.Bottom, Img.Height);
    const int64_t w = std::min<int64_t>(right - left, int64_t(Bitmap.width()) - dx);
    const int64_t h = std::min<int64_t>(bottom - top, int64_t(Bitmap.height()) - dy);
    if (w < 1 || h < 1)
        return;

    // Byte offsets of blue and red in a bitmap pixel.
    const int ob = bgr ? 0 : 2, orr = bgr ? 2 : 0;
    for (int64_t i = 0; i < h; ++i) {
        uint8_t* d = Bitmap.scanLine(int(dy + i)) + dx * 3;
        const uint8_t* s = ScanLine(Img, uint32_t(top + i)) + left * Img.Channels;
        const bool oddRow = (i / 8) & 1;
        for (int64_t j = 0; j < w; ++j, d += 3) {
            const uint32_t cell = (((j / 8) & 1) != oddRow) ? 0xAA : 0xFF;
            if (Img.Channels == 4) {
                const uint32_t a = s[3];
                d[ob] = FlattenSample(s[0], a, cell);
                d[1] = FlattenSample(s[1], a, cell);
                d[orr] = FlattenSample(s[2], a, cell);
                s += 4;
            } else {
                d[0] = d[1] = d[2] = FlattenSample(s[0], s[1], cell);
                s += 2;
            }
        }
    }
}
