#include "effects/ui/PreviewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int32_t Sign(int32_t V)
{
    return V > 0 ? 1 : (V < 0 ? -1 : 0);
}

} // namespace

namespace previewgeom {

int32_t Trunc(double V)
{
    return int32_t(std::trunc(V));
}

int32_t ViewToImage(int32_t V, int32_t Origin, double Zoom)
{
    return Trunc((double(V) + Origin) / Zoom + 0.5);
}

TRect MagnifiedViewRect(uint32_t W, uint32_t H, int32_t PW, int32_t PH, int32_t VX, int32_t VY, double Zoom)
{
    TRect R;
    R.Left = Trunc(VX / Zoom);
    R.Right = std::min<int64_t>(Trunc((double(PW) + VX + Zoom - 1) / Zoom), W);
    R.Bottom = int32_t(int64_t(H) - Trunc(VY / Zoom));
    R.Top = std::max<int64_t>(0, int64_t(H) - Trunc((double(PH) + VY + Zoom - 1) / Zoom));
    return R;
}

int32_t LimitOrigin(int32_t V, uint32_t Size, int32_t Page, double Zoom)
{
    V = std::min(V, Trunc(Size * Zoom) - Page);
    return std::max(V, 0);
}

int32_t KeepCentre(int32_t V, int32_t Page, double OldZoom, double NewZoom)
{
    const int32_t C = Trunc((V + Page / 2.0) / OldZoom);
    return Trunc(C * NewZoom - Page / 2.0);
}

int32_t HitTestSelection(int32_t X, int32_t Y, int32_t SX, int32_t SY, int32_t SX2, int32_t SY2, double Zoom)
{
    const int32_t x0 = Trunc(std::min(SX, SX2) * Zoom + 0.5), x1 = Trunc(std::max(SX, SX2) * Zoom + 0.5);
    const int32_t y0 = Trunc(std::min(SY, SY2) * Zoom + 0.5), y1 = Trunc(std::max(SY, SY2) * Zoom + 0.5);
    if (X < x0 || X > x1 || Y < y0 || Y > y1)
        return 0;
    const int32_t hx = std::min((x1 - x0) / 2, 16), hy = std::min((y1 - y0) / 2, 16);
    const int32_t Col = X <= x0 + hx ? 0 : (X >= x1 - hx ? 2 : 1);
    const int32_t Row = Y <= y0 + hy ? 0 : (Y >= y1 - hy ? 2 : 1);
    return Row * 3 + Col + 1;
}

void AspectCorner(int32_t SX, int32_t SY, int32_t PX, int32_t PY, int32_t Cx, int32_t Cy, uint32_t W, uint32_t H,
                  int32_t& SX2, int32_t& SY2)
{
    SX2 = PX;
    SY2 = PY;
    const int32_t w = SX2 - SX, h = SY2 - SY;
    const double Ax = std::abs(double(Cx)), Ay = std::abs(double(Cy));
    const int32_t hw = Trunc(std::abs(w) * Ay / Ax + 0.5);
    if (std::abs(h) <= hw) {
        SY2 = SY + Sign(h) * hw;
        if (SY2 > int64_t(H) || SY2 < 0) {
            SY2 = SY2 < 0 ? 0 : int32_t(H);
            SX2 = SX + Sign(w) * Trunc(std::abs(SY2 - SY) * Ax / Ay + 0.5);
        }
    } else {
        SX2 = SX + Sign(w) * Trunc(std::abs(h) * Ax / Ay + 0.5);
        if (SX2 > int64_t(W) || SX2 < 0) {
            SX2 = SX2 < 0 ? 0 : int32_t(W);
            SY2 = SY + Sign(h) * Trunc(std::abs(SX2 - SX) * Ay / Ax + 0.5);
        }
    }
}

TSize FitSize(uint32_t W, uint32_t H, int32_t CW, int32_t CH)
{
    if (W == 0 || H == 0)
        return TSize{W, H};
    if (CW >= int64_t(W) && CH >= int64_t(H))
        return TSize{W, H};
    const int64_t cw = std::max(CW, 0), ch = std::max(CH, 0);
    TSize S;
    const int64_t h = cw * H / W;
    if (ch >= h)
        S = TSize{cw, h};
    else
        S = TSize{ch * W / H, ch};
    S.cx = std::max<int64_t>(S.cx, 1);
    S.cy = std::max<int64_t>(S.cy, 1);
    return S;
}

} // namespace previewgeom
