// The trimming effect: crops each picture to a rectangle given by four size
// expressions in W and H, with one set of four for landscape and one for
// portrait pictures. The crop rule is shared with the lossless JPEG
// transform's crop option, which reads the copies kept in the effect list.
#pragma once
#include "effects/Effect.h"

#include <array>
#include <string>

// What the four values mean (FType).
enum : int32_t {
    TRIM_RECT = 0,    // left, top, width, height in pixels
    TRIM_MARGIN = 1,  // left, top, right, bottom margins in pixels
    TRIM_PERCENT = 2, // left, top, right, bottom margins in percent
    TRIM_ASPECT = 3,  // width ratio, height ratio, horizontal and vertical position in percent
};
// Which value set applies (FExp): the first set for landscape pictures, with
// a square counting as landscape (0) or as portrait (1), or always (2).
enum : int32_t { TRIM_SQUARE_FIRST = 0, TRIM_SQUARE_SECOND = 1, TRIM_FIRST_ONLY = 2 };

// The crop size for a picture of S (in) under Type with the evaluated values
// A..D. Sides are rounded half up; negative or undefined values count as 0 and
// huge ones saturate, so the crop never exceeds the picture. False, S
// untouched, when a crop side would be below 1 or Type is not 0..3 (no crop);
// else S becomes the crop size.
bool CalcTrimRect(int32_t Type, TSize& S, double A, double B, double C, double D);

// Top-left corner (top-down picture coordinates) of the crop Crop, as given by
// CalcTrimRect for a picture of Image with the same values. Always places the
// crop wholly inside the picture: aspect positions outside 0..100 percent
// are held to the picture's edge.
void CalcTrimOrigin(int32_t Type, const TSize& Image, const TSize& Crop, double A, double B, double C, double D,
                    int64_t& X, int64_t& Y);

// The four expressions Values[0..3] with W = Width and H = Height. Raises the
// evaluation error (EVestroError) for a text that does not evaluate.
std::array<double, 4> EvaluateTrimValues(const std::string* Values, int64_t Width, int64_t Height);

class TTrimmingFilter : public TEffect {
public:
    TTrimmingFilter();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    // Crops to the rectangle of the value set that applies; a crop that would
    // leave nothing, or covers the whole picture, leaves it unchanged. Raises
    // the evaluation error for a value that does not evaluate and EOutOfMemory
    // when the crop's block cannot be had (the picture is then unchanged).
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // [TrimmingFilter] "Type" (FExp x 16 + FType), "Value" (eight values
    // joined by commas), "Preview", "SelectMode"; reads the older keys
    // "SizeList" and "Style" and deletes them on writing.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Copies FType and the values into the owner list for the lossless
    // transform (after reading the settings and after the dialog's OK).
    void CopyToOwner() const;

    int32_t FType = TRIM_MARGIN;                                               // 0..15 as stored; 4..15 crop nothing
    int32_t FExp = TRIM_SQUARE_FIRST;                                          // 0..15 as stored; 3..15 act as 1
    std::array<std::string, 8> FValue{"0", "0", "0", "0", "0", "0", "0", "0"}; // 0..3 first set, 4..7 second
    bool FPreview = true;                                                      // the dialog's preview switch
    std::string FSizeList; // the dialog's remembered sizes (comma text)
};
