// The tone curve effect: six user-drawn curves (master, red, green, blue in
// RGB; luma and chroma in the luma/chroma form), each a short list of control
// points on a 0..255 grid, drawn as a smooth piecewise cubic Bezier curve and
// sampled into the lookup tables of the colour kernels. Also the curve maths
// the editor draws with, the preview's form of the effect and the preset
// files of the ToneCurve folder.
//
// The sampled tables are process-wide. They are written only by
// BuildToneCurveTables, on the GUI thread, when the settings are read or the
// editor closes, never while a batch runs; during a run every worker reads
// them without locking.
#pragma once
#include "effects/Effect.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A control point; both coordinates 0..255 in every list the program keeps.
struct TCurvePoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const TCurvePoint&) const = default;
};
using TPointArray = std::vector<TCurvePoint>;

// List indexes of the six curves.
enum : int { tcRGB = 0, tcRed = 1, tcGreen = 2, tcBlue = 3, tcLuma = 4, tcChroma = 5, tcCount = 6 };
using TCurveSet = std::array<TPointArray, tcCount>;

// Settings / preset keys in list order, and each list's default text.
extern const std::array<const char*, tcCount> ToneCurveKeys;
extern const std::array<const char*, tcCount> ToneCurveDefaults;

// Items of a comma text: commas and blanks separate; a quoted item may hold
// either; a comma at the very end adds an empty item.
std::vector<std::string> SplitItems(const std::string& S);
// "x0,y0,x1,y1,..."; empty text for an empty list.
std::string PointsToStr(const TPointArray& P);
// Parses a points text (commas or blanks separate items). An empty text, an
// odd item count, an item that is not an integer or a coordinate outside
// 0..255 gives the identity (0,0),(255,255) and false. The order of the x
// values is not checked here (see SortCurvePoints).
bool StrToPoints(const std::string& S, TPointArray& P);
// A list as the curve maths needs it: x strictly increasing. Sorts by x
// (stable) and keeps the first of several points with the same x;
// coordinates are clamped to 0..255. Sound lists come back unchanged.
TPointArray SortCurvePoints(const TPointArray& P);
// (0,0),(255,255); the chroma curve also accepts (0,0),(128,128),(255,255).
bool IsIdentityCurve(const TPointArray& P, bool IsChroma);

// ---- Curve maths ----

struct TDPoint {
    double x = 0;
    double y = 0;
};
// The cubic Bezier of P0..P3 at t (0..1).
TDPoint BezierPoint(const TDPoint& P0, const TDPoint& P1, const TDPoint& P2, const TDPoint& P3, double t);
// Control polygon through the points (x strictly increasing): 3(n-1)+1
// points, C[3i] = point i, inner controls at tension 0.3 with each inner
// point's tangent parallel to the line through its neighbours, control x
// kept within its segment so that x rises along every segment.
std::vector<TDPoint> BuildBezierControls(const TPointArray& P);

// y of the curve at x, for x rising from call to call (one object per table:
// the search carries its segment and lower bisection step over). Left of the
// first point and right of the last the curve is flat.
class TBezierYForX {
public:
    explicit TBezierYForX(const TPointArray& P); // P with x strictly increasing, not empty
    double operator()(double X);

private:
    std::vector<TDPoint> C;
    std::vector<int32_t> Steps; // bisection steps per segment: 32 per x unit
    size_t Seg = 0;
    int32_t Lo = 0;
};

// 256 entries: curve at x = 0..255, rounded half up, 0..255. An empty list
// gives the identity.
void CurveToTable(const TPointArray& P, uint16_t* Out);
// 4081 entries for the 12-bit scale: curve at v x 255 / 4080, scaled by
// 4080 / 255, rounded half up, 0..4080; chroma entries are then centred on 0
// (-2040..2040).
void CurveToLargeTable(const TPointArray& P, int16_t* Out, bool IsChroma);
// The RGB table of the kernels (1024 entries): blue, green and red each
// after the master curve, then the master curve alone.
void ComposeRGBTables(const uint16_t* Master, const uint16_t* Red, const uint16_t* Green, const uint16_t* Blue,
                      int16_t* Out);
// The editor's marker square around (x, y): right and bottom exclusive.
TRect MarkerRect(int32_t x, int32_t y, int32_t r);

// ---- The effect ----

class TToneCurveEffect : public TEffect {
public:
    // Identity curves; their stages are skipped until settings are read.
    TToneCurveEffect();
    std::unique_ptr<TEffect> Clone() const override { return CloneEffect(*this); }
    void DoEffect(TImgInfo& Img, TEffectParams& Params) override;
    // Reads the curves (damaged lists become the identity, unsorted ones are
    // sorted) and rebuilds the process-wide tables.
    void ReadIniFile(TMemIniFile& Ini) override;
    void WriteIniFile(TMemIniFile& Ini) override;
    // Samples the curves into the process-wide tables and sets the skip
    // flags. GUI thread only, never while a batch runs (settings load, and
    // the editor closing with OK or Cancel).
    void BuildToneCurveTables();

    TCurveSet FControlPoints;
    bool FPreview = true;
    bool FSkipRGB = true;       // curves 0..3 are all the identity
    bool FSkipYCC = true;       // luma and chroma curves are the identity
    bool FHistogram = true;     // the editor shows the histogram window
    int32_t FHistogramType = 0; // 0 linear, 1 logarithmic
};

// The preview's form of the effect on a BGR(A) or gray picture, with tables
// local to the call (the process-wide ones are left alone).
void ApplyToneCurvePreview(TImgInfo& Img, const TCurveSet& Pt);

// ---- Presets: ini-form text files, section "ToneCurve" ----

// DataDir + "ToneCurve/".
std::string ToneCurvePresetDir();
// Base names of the "*.txt" files there, in the order the directory lists
// them; empty when the folder is missing.
std::vector<std::string> ToneCurvePresetNames();
// Reads the six curves of a preset. A missing or unreadable file or key
// gives that list's default; a damaged list the identity. Never throws.
void ReadToneCurvePreset(const std::string& FileName, TCurveSet& Pt);
// Writes the six curves under their keys (other content of an existing
// file is kept). Raises EVestroError when the file cannot be written; it is
// then unchanged.
void WriteToneCurvePreset(const std::string& FileName, const TCurveSet& Pt);
