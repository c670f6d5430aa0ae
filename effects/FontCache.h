// Antialiased text masks for the add-text effect, and the font record the
// effect keeps.
//
// Text is drawn with QPainter on a QImage (FreeType underneath), which works
// on any thread once a QGuiApplication exists; the font database is best
// initialised on the main thread (InitTextRendering) before workers start.
#pragma once
#include "core/ImgInfo.h"

#include <cstdint>
#include <string>

class TResizer;

// Font style bits, as stored in the settings file.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font as the add-text effect stores it. Size is in points (at 96 dots per
// inch; 0 or less is taken as 1). Color is red in the low byte, green next,
// blue in bits 16-23. Charset is kept and compared but does not choose glyphs:
// the font system picks them by the text's characters.
struct TFont {
    std::string Name;
    int32_t Charset = 1;
    int32_t Size = 0;
    int32_t Color = 0;
    uint8_t Style = 0;
};

// The family the interface uses for menus; empty without a QGuiApplication.
std::string MenuFontName();
// True when Name is an installed family (false without a QGuiApplication).
bool FontFamilyExists(const std::string& Name);

// Initialises the font database. Call once on the main thread after the
// QGuiApplication is made; later calls do nothing.
void InitTextRendering();
// A run that may draw no text calls it at start: the font set-up is not read
// at exit when nothing read it before.
void NoFontSetUpAtExit();
// True once InitTextRendering has run.
bool TextRenderingReady();

// One text mask, kept while the text and font stay the same. One per effect
// context (TEffectParams), used only by that context's thread.
class TFontCache {
public:
    TFontCache() = default;
    ~TFontCache();
    TFontCache(const TFontCache&) = delete;
    TFontCache& operator=(const TFontCache&) = delete;

    // Fills Img (which must hold no block) with a new 1-channel mask of Text:
    // 0 background, up to 255 inside the glyphs; the caller owns and frees the
    // block. Lines are separated by CR LF, LF or CR. LinePitch and the margins
    // are in output pixels (the text is drawn at four times the size and
    // shrunk with Resizer, which gives the antialiasing). Raises EVestroError
    // when there is no QGuiApplication or no resizer, EOutOfMemory when the
    // mask is too large.
    void GetAntialiasingText(const std::string& Text, const TFont& Font, TImgInfo& Img, double LinePitch,
                             double MarginLeft, double MarginTop, double MarginRight, double MarginBottom,
                             TResizer* Resizer);

    // The key of the cached mask.
    std::string FText, FFontName;
    int32_t FFontSize = 0;
    uint8_t FFontStyle = 0;
    int32_t FFontCharset = 0;
    double FLinePitch = 0, FMarginLeft = 0, FMarginTop = 0, FMarginRight = 0, FMarginBottom = 0;
    TImgInfo FFontCache; // owned
};

// Deletes a context's cache (when there is one) and sets the pointer to null.
void FreeFontCache(TFontCache*& Cache);
