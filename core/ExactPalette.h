// Exact palette of a picture with few colours: every colour gets an index in
// the order of its first appearance, scanning memory rows from row 0 (the
// bottom row) upwards, each from left to right. Used by the palette BMP and
// palette PNG writers; nothing is approximated.
#pragma once
#include "core/ImgInfo.h"

#include <cstdint>

struct TExactPalette {
    uint32_t Count = 0;          // entries in use: highest index + 1 (1..256)
    uint8_t Colors[256][3] = {}; // blue, green, red of each index
};

// A colour in pixel order as one number: blue | green << 8 | red << 16.
inline uint32_t PixelColor(const uint8_t* P)
{
    return P[0] | (P[1] << 8) | (uint32_t(P[2]) << 16);
}

// Maps the 3-channel picture Img onto indices. The key colour (pixel order,
// see PixelColor) always has index 0, whether or not it occurs; every other
// colour gets the next index from 1. Index receives a new 1-channel image of
// the same size (index bytes, stride by CalcBpl) owned by the caller.
// Returns false, with Index left empty, when a colour would need index 256 or
// Img does not have 3 channels. Raises EOutOfMemory when the 16 MiB colour map
// or the index image cannot be had.
bool MakeExactPalette(const TImgInfo& Img, uint32_t KeyColor, TImgInfo& Index, TExactPalette& Palette);
