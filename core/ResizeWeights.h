// Weight tables of the resampler: the window functions and the setters that
// turn one axis (source length -> output length) into rows of weights, 16-bit
// fixed point (Q14, pairs) for the integer kernels or floats for the others.
#pragma once
#include "core/Filter.h"

#include <atomic>
#include <cstdint>
#include <vector>

// The plan of one axis. Owns its weight block; not copyable.
struct TResizeParam {
    void* WeightTableBuf = nullptr;           // AllocAligned block of the weight rows
    std::vector<const void*> WeightTableList; // distinct rows, in order of creation
    std::vector<uintptr_t> WeightTableInfo;   // 2 x DestLength: offset, weight address
    uint32_t DestLength = 0;                  // output pixels of this axis
    uint32_t SrcLength = 0;                   // input pixels
    uint64_t Step = 0;                        // input bytes per position (float) or pair (integer)
    uint32_t BLoopCount = 0;                  // conversion groups per source row
    uint32_t XLoopCount = 0;                  // output pixels (H) or column items (V)
    uint32_t YLoopCount = 0;                  // row items (H) or output rows (V)
    uint32_t BufMask = 0;                     // unused by the resampling classes
    uint32_t MinBlock = 0;                    // share granule
    uint64_t BufLength = 0;                   // most weights (or pairs) a row can need

    TResizeParam() = default;
    TResizeParam(const TResizeParam&) = delete;
    TResizeParam& operator=(const TResizeParam&) = delete;
    ~TResizeParam() { Reset(); }
    // Releases the tables and zeroes the whole record.
    void Reset();
};

// A resampling filter: builds the weight tables of one axis. Reference
// counted: the creator's reference goes to the first holder; every further
// holder calls AddRef, and Release frees the object when the count falls
// below 0. Read-only while planning, so copies of a resizer share it.
class TWeightSetter {
public:
    std::atomic<int32_t> RefCount{0};
    virtual ~TWeightSetter() = default;
    virtual void SetIntWeight(TResizeParam& Prm) = 0;
    virtual void SetFloatWeight(TResizeParam& Prm) = 0;
    // Fills WeightTableBuf/List/Info and BufLength of Prm (whose DestLength,
    // SrcLength and Step are set). Raises EOutOfMemory.
    void SetWeight(TResizeParam& Prm, TWeightType Type);
    void AddRef() { ++RefCount; }
    void Release()
    {
        if (--RefCount < 0)
            delete this;
    }
};

// Windowed kernels. Radius is the half-width in source pixels when
// enlarging and in output pixels when shrinking.
class TWndFuncWeight : public TWeightSetter {
public:
    int32_t Radius = 1;
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
    // Kernel value at signed distance X.
    virtual double WindowFunc(double X) = 0;
};

class TLanczos : public TWndFuncWeight {
public:
    explicit TLanczos(int32_t ARadius); // clamped to 1..32
    double WindowFunc(double X) override;
};

class TBilinear : public TWndFuncWeight {
public:
    TBilinear() { Radius = 1; }
    double WindowFunc(double X) override;
};

class TMitchellNetravali : public TWndFuncWeight {
public:
    double b, c;
    TMitchellNetravali(double B, double C) : b(B), c(C) { Radius = 2; }
    double WindowFunc(double X) override;
};

class TBlackmanSinc : public TWndFuncWeight {
public:
    explicit TBlackmanSinc(int32_t ARadius); // at least 1
    double WindowFunc(double X) override;
};

class TSpline16 : public TWndFuncWeight {
public:
    TSpline16() { Radius = 2; }
    double WindowFunc(double X) override;
};

class TSpline36 : public TWndFuncWeight {
public:
    TSpline36() { Radius = 3; }
    double WindowFunc(double X) override;
};

class TGaussian : public TWndFuncWeight {
public:
    double a, expw;
    explicit TGaussian(int32_t Blur); // Blur below 1 counts as 1
    double WindowFunc(double X) override;
};

// Each output pixel averages the source pixels it covers, by covered area.
class TAreaAverage : public TWeightSetter {
public:
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
};

class TNearestNeighbor : public TWeightSetter {
public:
    void SetIntWeight(TResizeParam& Prm) override;
    void SetFloatWeight(TResizeParam& Prm) override;
};

// Filter ids of the settings: 1 area average, 2 Lanczos (Radius), 3 bilinear,
// 4 bicubic (Sharp: c = (Sharp + 4) / 12, b = max(0, 1 - 2c)), 5 Blackman-sinc
// (Radius), 6 Spline16, 7 Spline36, 8 Gaussian (Blur), 9 nearest neighbour.
// A new setter with RefCount 0, or nullptr for an unknown id.
TWeightSetter* CreateWeightSetter(uint32_t Mode, int32_t Radius, int32_t Sharp, int32_t Blur);
