// Drawing of pictures with alpha over a checkerboard, for previews.
#pragma once
#include "core/ImgInfo.h"

class QImage;

// Draws the part Rect (top-down picture coordinates, right and bottom
// exclusive) of a 2- or 4-channel picture into a 24-bit Bitmap
// (QImage::Format_BGR888 or Format_RGB888) with its top-left corner at
// (DestX, DestY). Parts of Rect before the picture's origin move the
// destination instead, parts before the bitmap's origin are cut off, and the
// rest is limited to what both hold; nothing is drawn when nothing is left.
// Alpha is flattened onto 8 x 8 cells alternating white and light gray
// (0xAAAAAA), counted from the drawn area's top-left corner. Other channel
// counts and other bitmap formats draw nothing.
void DrawImageToBitmap(const TImgInfo& Img, const TRect& Rect, QImage& Bitmap, int32_t DestY, int32_t DestX);
