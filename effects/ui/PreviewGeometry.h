// The preview window's arithmetic: view and picture coordinates, scrolling,
// zoom and the selection's handles, free of widgets.
#pragma once
#include "core/ImgInfo.h"
#include "effects/Effect.h" // TSize

#include <cstdint>

// The arithmetic of the window, free of widgets. Floating-point values become
// integers by truncation towards zero; +0.5 is added where rounding is meant.
namespace previewgeom {

// V truncated towards zero.
int32_t Trunc(double V);

// Image point shown at view coordinate V (paint-box pixels) with scroll
// origin Origin (magnified pixels): Trunc((V + Origin) / Zoom + 0.5).
int32_t ViewToImage(int32_t V, int32_t Origin, double Zoom);

// The picture region visible in a magnified view of a W x H picture through a
// PW x PH paint box: columns left..right (exclusive), memory rows top..bottom
// (exclusive; Top is the lowest memory row visible, rows count bottom-up).
TRect MagnifiedViewRect(uint32_t W, uint32_t H, int32_t PW, int32_t PH, int32_t VX, int32_t VY, double Zoom);

// Scroll origin limit of one axis: at most Trunc(Size x Zoom) - Page, at least 0.
int32_t LimitOrigin(int32_t V, uint32_t Size, int32_t Page, double Zoom);

// New scroll origin of one axis when the zoom changes from OldZoom to NewZoom,
// keeping the image point at the middle of a Page-pixel paint box in place.
int32_t KeepCentre(int32_t V, int32_t Page, double OldZoom, double NewZoom);

// Selection handle under view point (X, Y) (scroll origin already added) of
// the selection (SX, SY)-(SX2, SY2): 0 outside, else 1..9 in reading order.
// Handles are half the selection's view size, at most 16 pixels.
int32_t HitTestSelection(int32_t X, int32_t Y, int32_t SX, int32_t SY, int32_t SX2, int32_t SY2, double Zoom);

// The moving corner (SX2, SY2) of a selection anchored at (SX, SY) that must
// keep the aspect Cx:Cy (both non-zero) while covering the pointer at
// (PX, PY); cut back at the W x H picture's edges with the aspect kept.
void AspectCorner(int32_t SX, int32_t SY, int32_t PX, int32_t PY, int32_t Cx, int32_t Cy, uint32_t W, uint32_t H,
                  int32_t& SX2, int32_t& SY2);

// Size of a W x H picture fitted into a CW x CH area: unchanged when it fits,
// else scaled by the tighter side (64-bit products, truncated), each side at
// least 1.
TSize FitSize(uint32_t W, uint32_t H, int32_t CW, int32_t CH);

} // namespace previewgeom
