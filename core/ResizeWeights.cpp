#include "core/ResizeWeights.h"

#include "core/Errors.h"
#include "core/ImgInfo.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

void TResizeParam::Reset()
{
    if (WeightTableBuf)
        FreeAligned(WeightTableBuf);
    WeightTableBuf = nullptr;
    WeightTableList.clear();
    WeightTableList.shrink_to_fit();
    WeightTableInfo.clear();
    WeightTableInfo.shrink_to_fit();
    DestLength = SrcLength = 0;
    Step = 0;
    BLoopCount = XLoopCount = YLoopCount = BufMask = MinBlock = 0;
    BufLength = 0;
}

void TWeightSetter::SetWeight(TResizeParam& Prm, TWeightType Type)
{
    if (Type == wtInt)
        SetIntWeight(Prm);
    else
        SetFloatWeight(Prm);
}

namespace {

constexpr uint64_t MaxRowSlots = uint64_t(1) << 30;

// Drops the tables of an earlier call on the same axis and sizes the info
// for a fresh set.
void StartTables(TResizeParam& P, uint64_t BufLength)
{
    if (P.WeightTableBuf)
        FreeAligned(P.WeightTableBuf);
    P.WeightTableBuf = nullptr;
    P.WeightTableList.clear();
    P.WeightTableInfo.assign(uint64_t(P.DestLength) * 2, 0);
    P.BufLength = BufLength;
}

// Output I reads from byte Offset with the weights at Weights.
void SetRowInfo(TResizeParam& P, uint32_t I, uint64_t Offset, const uint8_t* Weights)
{
    P.WeightTableInfo[2 * uint64_t(I)] = uintptr_t(Offset);
    P.WeightTableInfo[2 * uint64_t(I) + 1] = reinterpret_cast<uintptr_t>(Weights);
}

// Writes weight rows one after another into the axis's block and shares
// identical rows: a row equal, count included, to one already stored points
// at that one. Equal rows are found through a hash of their words instead of
// a walk over every earlier row (which costs seconds on long axes whose
// phases never repeat); since the list holds no two equal rows, the row found
// is the one a walk in list order would find.
class TRowWriter {
public:
    // Slots: the most weight slots (16-bit: 2 per pair) a row can need.
    TRowWriter(TResizeParam& Prm, TWeightType Type, uint64_t BufLength) : P(Prm), Int(Type == wtInt)
    {
        StartTables(P, BufLength);
        if (BufLength > MaxRowSlots)
            throw EOutOfMemory();
        const uint64_t rowBytes = 4 + 4 * BufLength; // count + pairs of int16 or floats
        if (P.DestLength && rowBytes > (uint64_t(1) << 44) / P.DestLength)
            throw EOutOfMemory();
        Cap = rowBytes * P.DestLength + 64;
        P.WeightTableBuf = AllocAligned(Cap, 64);
        Buf = static_cast<uint8_t*>(P.WeightTableBuf);
    }

    // Row of output I from source index First with N values (already
    // normalised), in long double; integer rows in Q14 (ToQ14).
    void AddRow(uint32_t I, int64_t First, const long double* V, uint64_t N)
    {
        if (Int) {
            Ints.assign(N, 0);
            ToQ14(V, N, Ints.data());
            AddIntRow(I, First, Ints.data(), N);
        } else {
            Floats.resize(N);
            for (uint64_t k = 0; k < N; ++k)
                Floats[k] = float(V[k]);
            AddFloatRow(I, First, Floats.data(), N);
        }
    }

    // Integer row in the pair layout: a zero slot in front when First is odd,
    // one at the end when the slot count is odd.
    void AddIntRow(uint32_t I, int64_t First, const int16_t* W, uint64_t N)
    {
        const int64_t even = First & ~int64_t(1);
        const uint64_t lead = uint64_t(First - even);
        const uint64_t slots = lead + N;
        const uint64_t pairs = (slots + 1) / 2;
        uint8_t* row = Place(4 + pairs * 4);
        const uint32_t cnt = uint32_t(pairs);
        std::memcpy(row, &cnt, 4);
        auto* w = reinterpret_cast<int16_t*>(row + 4);
        std::fill(w, w + pairs * 2, int16_t(0));
        std::copy(W, W + N, w + lead);
        Finish(I, uint64_t(even / 2) * P.Step, row, 4 + pairs * 4);
    }

    void AddFloatRow(uint32_t I, int64_t First, const float* W, uint64_t N)
    {
        uint8_t* row = Place(4 + N * 4);
        const uint32_t cnt = uint32_t(N);
        std::memcpy(row, &cnt, 4);
        std::memcpy(row + 4, W, N * 4);
        Finish(I, uint64_t(First) * P.Step, row, 4 + N * 4);
    }

private:
    // Q14 weights of a row. Truncating each weight on its own loses up to a
    // unit per tap, which over the thousands of taps of a strong reduction
    // darkens the picture (a white row of 60000 pixels averaged into one came
    // out black). Each weight is instead the step between rounded running
    // sums: what one weight drops the next one gets back, every weight stays
    // within a unit of its exact value, and a normalised row sums to exactly
    // 16384. Saturated: an extreme kernel (a very sharp bicubic) may give
    // weights beyond the 16-bit range, and -32767 keeps every pair product sum
    // inside 32 bits.
    static void ToQ14(const long double* V, uint64_t N, int16_t* Out)
    {
        constexpr long double Limit = 1e15L; // far beyond any usable row; keeps llroundl defined
        long double exact = 0.0L;
        long long prev = 0;
        for (uint64_t k = 0; k < N; ++k) {
            long double q = V[k] * 16384.0L;
            if (!(std::fabs(q) <= Limit))
                q = q != q ? 0.0L : q > 0 ? Limit : -Limit; // NaN weighs nothing
            exact += q;
            const long long cur = std::llround(std::clamp(exact, -Limit, Limit));
            Out[k] = int16_t(std::clamp<long long>(cur - prev, -32767, 32767));
            prev = cur;
        }
    }

    uint8_t* Place(uint64_t Bytes)
    {
        if (Used + Bytes > Cap)
            throw EOutOfMemory(); // cannot happen: rows never exceed BufLength
        return Buf + Used;
    }

    void Finish(uint32_t I, uint64_t Offset, uint8_t* Row, uint64_t Bytes)
    {
        uint64_t h = 1469598103934665603ull;
        for (uint64_t k = 0; k < Bytes; ++k)
            h = (h ^ Row[k]) * 1099511628211ull;
        const uint8_t* found = nullptr;
        auto range = Seen.equal_range(h);
        for (auto it = range.first; it != range.second && !found; ++it) {
            uint32_t cnt;
            std::memcpy(&cnt, it->second, 4);
            if (4 + uint64_t(cnt) * 4 == Bytes && std::memcmp(it->second, Row, Bytes) == 0)
                found = it->second;
        }
        if (!found) {
            P.WeightTableList.push_back(Row);
            Seen.emplace(h, Row);
            Used += Bytes;
            found = Row;
        }
        SetRowInfo(P, I, Offset, found + 4);
    }

    TResizeParam& P;
    bool Int;
    uint8_t* Buf = nullptr;
    uint64_t Cap = 0, Used = 0;
    std::unordered_multimap<uint64_t, const uint8_t*> Seen;
    std::vector<int16_t> Ints;
    std::vector<float> Floats;
};

// Adds tap values into the slots of a row, folding taps outside the axis onto
// its first and last pixel. Returns the sum of all taps.
struct TFoldedRow {
    std::vector<long double> Slot;
    int64_t S0 = 0, S1 = 0;

    void Begin(int64_t First, int64_t Last, int64_t Len)
    {
        S0 = std::clamp<int64_t>(First, 0, Len - 1);
        S1 = std::clamp<int64_t>(Last, 0, Len - 1);
        Slot.assign(uint64_t(S1 - S0 + 1), 0.0L);
    }
    void Add(int64_t K, long double V)
    {
        const int64_t k = std::clamp(K, S0, S1);
        Slot[uint64_t(k - S0)] += V;
    }
    void Normalise(long double Sum)
    {
        // A sum of 0 (a degenerate kernel) would divide by zero; such a row
        // then keeps its raw values.
        if (Sum != 0.0L)
            for (auto& v : Slot)
                v /= Sum;
    }
};

// Taps T of the shrinking builder: ceil(2 R Src / Dest), refused when absurd.
uint64_t ShrinkTaps(int32_t Radius, uint32_t Src, uint32_t Dest)
{
    const unsigned __int128 t =
        (static_cast<unsigned __int128>(2 * uint64_t(uint32_t(Radius))) * Src + Dest - 1) / Dest;
    if (t > MaxRowSlots)
        throw EOutOfMemory();
    return uint64_t(t);
}

// Row of output I: taps First .. First + T - 1, tap k weighing the kernel at
// X(k), folded onto the axis of Len pixels and normalised.
template <class TX>
void AddWindowRow(TWndFuncWeight& F, TRowWriter& Wr, TFoldedRow& Row, uint32_t I, int64_t First, uint64_t T,
                  int64_t Len, TX X)
{
    const int64_t last = First + int64_t(T) - 1;
    Row.Begin(First, last, Len);
    long double sum = 0.0L;
    for (int64_t k = First; k <= last; ++k) {
        const long double v = F.WindowFunc(double(X(k)));
        Row.Add(k, v);
        sum += v;
    }
    Row.Normalise(sum);
    Wr.AddRow(I, Row.S0, Row.Slot.data(), Row.Slot.size());
}

void BuildWindowed(TWndFuncWeight& F, TResizeParam& P, TWeightType Type)
{
    const uint32_t src = P.SrcLength, dst = P.DestLength;
    const int32_t R = F.Radius;
    TFoldedRow row;
    if (src <= dst) {
        // Enlarging: distances in source pixels from the output's centre.
        const uint64_t T = 2 * uint64_t(uint32_t(R));
        TRowWriter wr(P, Type, Type == wtInt ? uint64_t(R) + 1 : T);
        for (uint32_t i = 0; i < dst; ++i) {
            const long double c = (i + 0.5L) * src / dst;
            const int64_t first = int64_t(floorl(c - R + 0.5L));
            const long double x0 = first + 0.5L - c;
            AddWindowRow(F, wr, row, i, first, T, src, [&](int64_t k) { return x0 + (k - first); });
        }
    } else {
        // Shrinking: distances in output pixels.
        const uint64_t T = ShrinkTaps(R, src, dst);
        TRowWriter wr(P, Type, Type == wtInt ? T / 2 + 1 : T);
        for (uint32_t i = 0; i < dst; ++i) {
            const int64_t first = int64_t(floorl((int64_t(i) - R + 0.5L) * src / dst + 0.5L));
            AddWindowRow(F, wr, row, i, first, T, src, [&](int64_t k) { return (k + 0.5L) * dst / src - (i + 0.5L); });
        }
    }
}

// Each source pixel is DestLength units wide; output i covers units
// i x Src .. (i + 1) x Src - 1. Products in 64 bits: 32-bit ones go wrong
// from about 2^31 (50000 to 45000 pixels already) and the rows would reach
// outside the axis.
void BuildArea(TResizeParam& P, TWeightType Type)
{
    const uint64_t src = P.SrcLength, dst = P.DestLength;
    const uint64_t M = (src + dst - 1) / dst + 1;
    TRowWriter wr(P, Type, Type == wtInt ? M / 2 + 1 : M);
    std::vector<long double> wi;
    std::vector<float> wf;
    for (uint64_t i = 0; i < dst; ++i) {
        const uint64_t a = i * src, b = (i + 1) * src - 1;
        const uint64_t first = a / dst, last = b / dst;
        const uint64_t n = last - first + 1;
        wi.assign(n, 0.0L);
        wf.assign(n, 0.0f);
        for (uint64_t k = 0; k < n; ++k) {
            const uint64_t lo = std::max(a, (first + k) * dst);
            const uint64_t hi = std::min(b, (first + k + 1) * dst - 1);
            const uint64_t units = hi - lo + 1;
            wi[k] = static_cast<long double>(units) / src;
            wf[k] = float(units) / float(src);
        }
        if (Type == wtInt)
            wr.AddRow(uint32_t(i), int64_t(first), wi.data(), n);
        else
            wr.AddFloatRow(uint32_t(i), int64_t(first), wf.data(), n);
    }
}

void BuildNearest(TResizeParam& P, TWeightType Type)
{
    const uint32_t src = P.SrcLength, dst = P.DestLength;
    StartTables(P, 1);
    P.WeightTableBuf = AllocAligned(32, 64);
    auto* b = static_cast<uint8_t*>(P.WeightTableBuf);
    const uint32_t one = 1;
    std::memcpy(b, &one, 4);
    std::memcpy(b + 8, &one, 4);
    if (Type == wtInt) {
        const int16_t even[2] = {16384, 0}, odd[2] = {0, 16384};
        std::memcpy(b + 4, even, 4);
        std::memcpy(b + 12, odd, 4);
    } else {
        const float w = 1.0f;
        std::memcpy(b + 4, &w, 4);
    }
    for (uint32_t i = 0; i < dst; ++i) {
        uint64_t s = uint64_t((i + 0.5L) * src / dst);
        if (s >= src)
            s = src - 1;
        if (Type == wtInt)
            SetRowInfo(P, i, (s / 2) * P.Step, b + ((s & 1) ? 12 : 4));
        else
            SetRowInfo(P, i, s * P.Step, b + 4);
    }
}

constexpr double Pi = 3.14159265358979323846;

} // namespace

void TWndFuncWeight::SetIntWeight(TResizeParam& Prm)
{
    BuildWindowed(*this, Prm, wtInt);
}

void TWndFuncWeight::SetFloatWeight(TResizeParam& Prm)
{
    BuildWindowed(*this, Prm, wtSingle);
}

TLanczos::TLanczos(int32_t ARadius)
{
    Radius = std::clamp(ARadius, 1, 32);
}

double TLanczos::WindowFunc(double X)
{
    const double u = std::fabs(X), R = Radius;
    if (u <= 1e-12)
        return 1.0;
    if (u <= R)
        return std::sin(Pi * u) * std::sin(Pi * u / R) / (Pi * Pi * u * u / R);
    return 0.0;
}

double TBilinear::WindowFunc(double X)
{
    const double v = 1.0 - std::fabs(X);
    return v < 0.0 ? 0.0 : v;
}

double TMitchellNetravali::WindowFunc(double X)
{
    const double u = std::fabs(X);
    if (u < 1.0)
        return ((12 - 9 * b - 6 * c) * u * u * u + (-18 + 12 * b + 6 * c) * u * u + (6 - 2 * b)) / 6;
    if (u < 2.0)
        return ((-b - 6 * c) * u * u * u + (6 * b + 30 * c) * u * u + (-12 * b - 48 * c) * u + (8 * b + 24 * c)) / 6;
    return 0.0;
}

TBlackmanSinc::TBlackmanSinc(int32_t ARadius)
{
    // A radius of 0 would divide by zero in the window and plan empty rows.
    Radius = std::max(ARadius, 1);
}

double TBlackmanSinc::WindowFunc(double X)
{
    const double u = std::fabs(X), R = Radius;
    if (u > R)
        return 0.0;
    if (u <= 1e-12)
        return 1.0;
    const double t = Pi * u;
    return std::sin(t) / t * (0.42 + 0.5 * std::cos(t / R) + 0.08 * std::cos(2 * t / R));
}

double TSpline16::WindowFunc(double X)
{
    const double u = std::fabs(X);
    if (u < 1.0)
        return ((u - 1.8) * u - 0.2) * u + 1.0;
    if (u < 2.0) {
        const double v = u - 1.0;
        return ((-1.0 / 3.0 * v + 0.8) * v - 7.0 / 15.0) * v;
    }
    return 0.0;
}

double TSpline36::WindowFunc(double X)
{
    const double u = std::fabs(X);
    if (u < 1.0)
        return ((13.0 / 11.0 * u - 453.0 / 209.0) * u - 3.0 / 209.0) * u + 1.0;
    if (u < 2.0) {
        const double v = u - 1.0;
        return ((-6.0 / 11.0 * v + 270.0 / 209.0) * v - 156.0 / 209.0) * v;
    }
    if (u < 3.0) {
        const double w = u - 2.0;
        return ((1.0 / 11.0 * w - 45.0 / 209.0) * w + 26.0 / 209.0) * w;
    }
    return 0.0;
}

TGaussian::TGaussian(int32_t Blur)
{
    // A blur of 0 would divide by zero in a.
    Blur = std::max(Blur, 1);
    Radius = std::max((Blur + 5) / 6, 1);
    a = double(Radius) * Radius / (double(Blur) * Blur * 0.02);
    expw = std::exp(-4.0 * a);
}

double TGaussian::WindowFunc(double X)
{
    const double u = std::fabs(X);
    if (u > Radius)
        return 0.0;
    const double t = 2.0 * u / Radius;
    return std::exp(-a * t * t) - expw;
}

void TAreaAverage::SetIntWeight(TResizeParam& Prm)
{
    BuildArea(Prm, wtInt);
}

void TAreaAverage::SetFloatWeight(TResizeParam& Prm)
{
    BuildArea(Prm, wtSingle);
}

void TNearestNeighbor::SetIntWeight(TResizeParam& Prm)
{
    BuildNearest(Prm, wtInt);
}

void TNearestNeighbor::SetFloatWeight(TResizeParam& Prm)
{
    BuildNearest(Prm, wtSingle);
}

TWeightSetter* CreateWeightSetter(uint32_t Mode, int32_t Radius, int32_t Sharp, int32_t Blur)
{
    switch (Mode) {
    case 1:
        return new TAreaAverage;
    case 2:
        return new TLanczos(Radius);
    case 3:
        return new TBilinear;
    case 4: {
        const double c = (Sharp + 4) / 12.0;
        double b = 1.0 - 2.0 * c;
        if (b < 0.0)
            b = 0.0;
        return new TMitchellNetravali(b, c);
    }
    case 5:
        return new TBlackmanSinc(Radius);
    case 6:
        return new TSpline16;
    case 7:
        return new TSpline36;
    case 8:
        return new TGaussian(Blur);
    case 9:
        return new TNearestNeighbor;
    default:
        return nullptr;
    }
}
