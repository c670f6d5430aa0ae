// Quarter turns, half turns and mirroring of a picture.
//
// All four work on 8-bit pictures of 1, 2, 3 or 4 channels and leave any other
// channel count untouched. Directions are as the user sees the picture
// (top-down), whatever the bottom-up storage of the rows.
#pragma once
#include "core/ImgInfo.h"

// Turns the picture by 90 degrees (clockwise when Clockwise, else counter-
// clockwise) into a new pixel block: width and height swap and the stride is
// recomputed for the new width. The old block is freed. Raises EOutOfMemory
// when the new block cannot be had; Img is then unchanged.
void RotateImage90(TImgInfo& Img, bool Clockwise);

// Turns the picture by 180 degrees in place.
void RotateImage180(TImgInfo& Img);

// Mirrors the picture left-right in place.
void MirrorImage(TImgInfo& Img);

// Flips the picture top-bottom in place (swaps whole rows).
void FlipImage(TImgInfo& Img);
