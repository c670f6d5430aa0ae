#include "kodex/PngImageData.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kodex {

namespace {

enum : uint8_t { kFilterNone = 0x08, kFilterSub = 0x10, kFilterUp = 0x20, kFilterAvg = 0x40, kFilterPaeth = 0x80 };

struct TFreeDeleter {
    void operator()(void* P) const { std::free(P); }
};
using TBuffer = std::unique_ptr<uint8_t[], TFreeDeleter>;

TBuffer NewBuffer(uint64_t Size)
{
    return TBuffer(static_cast<uint8_t*>(std::malloc(size_t(std::max<uint64_t>(Size, 1)))));
}

// The rows of the picture as the file stores them: red first, 4-bit indices
// packed. Rows that need no change are read in place.
class TRowSource {
public:
    TRowSource(const TImgInfo& Img, const TPngDataFormat& Fmt) : FImg(Img), FFmt(Fmt) { }
    bool Init()
    {
        if (FFmt.SwapRB || FFmt.FourBit) {
            FBuf = NewBuffer(FFmt.RowBytes);
            return bool(FBuf);
        }
        return true;
    }
    // Row Y (top-down); valid until the next call.
    const uint8_t* Row(uint32_t Y)
    {
        const uint8_t* src = ScanLine(FImg, Y);
        if (FFmt.FourBit) {
            uint8_t* d = FBuf.get();
            const uint32_t w = FImg.Width;
            for (uint32_t x = 0; x + 1 < w; x += 2)
                *d++ = uint8_t(src[x] << 4 | (src[x + 1] & 0x0F));
            if (w & 1)
                *d = uint8_t(src[w - 1] << 4);
            return FBuf.get();
        }
        if (FFmt.SwapRB) {
            uint8_t* d = FBuf.get();
            const uint32_t ch = FImg.Channels, w = FImg.Width;
            std::memcpy(d, src, size_t(w) * ch);
            for (uint32_t x = 0; x < w; ++x)
                std::swap(d[x * ch], d[x * ch + 2]);
            return d;
        }
        return src;
    }

private:
    const TImgInfo& FImg;
    const TPngDataFormat& FFmt;
    TBuffer FBuf;
};

// The Paeth predictor without branches, so that the compiler can work on
// many bytes at once: the nearest of A (left), B (above), C (above left) to
// A + B - C, ties going to A, then B.
inline uint8_t Paeth(uint8_t A, uint8_t B, uint8_t C)
{
    const int pa = std::abs(int(B) - C), pb = std::abs(int(A) - C), pc = std::abs(int(A) + B - 2 * C);
    const int bc = pb <= pc ? B : C;
    return uint8_t(pa <= pb && pa <= pc ? A : bc);
}

// Filters Cur (Prev: the row above, zeros for the top row) with filter
// Type (1 sub .. 4 Paeth, else none) into Out.
void ApplyFilter(int Type, const uint8_t* Cur, const uint8_t* Prev, uint32_t N, uint32_t Bpp, uint8_t* Out)
{
    const uint32_t lead = std::min(Bpp, N);
    switch (Type) {
    case 1:
        std::memcpy(Out, Cur, lead);
        for (uint32_t i = lead; i < N; ++i)
            Out[i] = uint8_t(Cur[i] - Cur[i - Bpp]);
        break;
    case 2:
        for (uint32_t i = 0; i < N; ++i)
            Out[i] = uint8_t(Cur[i] - Prev[i]);
        break;
    case 3:
        for (uint32_t i = 0; i < lead; ++i)
            Out[i] = uint8_t(Cur[i] - (Prev[i] >> 1));
        for (uint32_t i = lead; i < N; ++i)
            Out[i] = uint8_t(Cur[i] - ((Prev[i] + Cur[i - Bpp]) >> 1));
        break;
    case 4:
        for (uint32_t i = 0; i < lead; ++i)
            Out[i] = uint8_t(Cur[i] - Prev[i]);
        for (uint32_t i = lead; i < N; ++i)
            Out[i] = uint8_t(Cur[i] - Paeth(Cur[i - Bpp], Prev[i], Prev[i - Bpp]));
        break;
    default:
        std::memcpy(Out, Cur, N);
        break;
    }
}

// The usual estimate of how well a filtered row compresses: the sum of its
// bytes taken as signed magnitudes.
uint64_t RowCost(const uint8_t* P, uint32_t N)
{
    uint64_t sum = 0;
    for (uint32_t i = 0; i < N; ++i) {
        const int8_t v = int8_t(P[i]);
        sum += uint32_t(v < 0 ? -v : v);
    }
    return sum;
}

// Filters rows [Y0, Y1) into Out, each row one filter-type byte and its
// bytes. The filter of every row depends only on that row and the one above,
// so any band of rows gives the same bytes as the whole picture does.
class TRowFilter {
public:
    TRowFilter(const TImgInfo& Img, const TPngDataFormat& Fmt) : FSource(Img, Fmt), FFmt(Fmt) { }
    bool Init()
    {
        const uint32_t n = FFmt.RowBytes;
        FPrev = NewBuffer(n);
        FTry = NewBuffer(n);
        if (!FSource.Init() || !FPrev || !FTry)
            return false;
        return true;
    }
    void Filter(uint32_t Y0, uint32_t Y1, uint8_t* Out)
    {
        const uint32_t n = FFmt.RowBytes;
        if (Y0 == 0)
            std::memset(FPrev.get(), 0, n);
        else
            std::memcpy(FPrev.get(), FSource.Row(Y0 - 1), n);
        for (uint32_t y = Y0; y < Y1; ++y, Out += uint64_t(n) + 1) {
            const uint8_t* cur = FSource.Row(y);
            FilterOne(cur, Out);
            std::memcpy(FPrev.get(), cur, n);
        }
    }

private:
    void FilterOne(const uint8_t* Cur, uint8_t* Out)
    {
        const uint32_t n = FFmt.RowBytes, bpp = FFmt.Bpp;
        const uint8_t set = FFmt.Filters;
        static const uint8_t bits[5] = {kFilterNone, kFilterSub, kFilterUp, kFilterAvg, kFilterPaeth};
        int only = -1, count = 0;
        for (int t = 0; t < 5; ++t)
            if (set & bits[t]) {
                only = t;
                ++count;
            }
        if (count <= 1) {
            Out[0] = uint8_t(only < 0 ? 0 : only);
            ApplyFilter(Out[0], Cur, FPrev.get(), n, bpp, Out + 1);
            return;
        }
        // The first filter of the set that gives the smallest sum wins.
        uint64_t best = ~uint64_t(0);
        for (int t = 0; t < 5; ++t) {
            if (!(set & bits[t]))
                continue;
            uint8_t* dst = best == ~uint64_t(0) ? Out + 1 : FTry.get();
            ApplyFilter(t, Cur, FPrev.get(), n, bpp, dst);
            const uint64_t cost = RowCost(dst, n);
            if (cost < best) {
                best = cost;
                Out[0] = uint8_t(t);
                if (dst != Out + 1)
                    std::memcpy(Out + 1, dst, n);
            }
        }
    }

    TRowSource FSource;
    const TPngDataFormat& FFmt;
    TBuffer FPrev, FTry;
};

bool Put(TPngDataSink Sink, void* Context, const uint8_t* Data, size_t Size)
{
    return Size == 0 || Sink(Context, Data, Size);
}

// The whole picture in one buffer, compressed in one call.
bool EncodeOneCall(const TImgInfo& Img, const TPngDataFormat& Fmt, int Level, TPngDataSink Sink, void* Context)
{
    const uint64_t size = uint64_t(Img.Height) * (uint64_t(Fmt.RowBytes) + 1);
    TRowFilter filter(Img, Fmt);
    TBuffer data = NewBuffer(size);
    if (!data || !filter.Init())
        return false;
    filter.Filter(0, Img.Height, data.get());
    // libdeflate's level n compresses photographs within a percent of zlib's
    // level n (smaller at most levels) in half the time or less.
    libdeflate_compressor* c = libdeflate_alloc_compressor(Level);
    if (!c)
        return false;
    const size_t bound = libdeflate_zlib_compress_bound(c, size_t(size));
    TBuffer out = NewBuffer(bound);
    size_t n = 0;
    if (out)
        n = libdeflate_zlib_compress(c, data.get(), size_t(size), out.get(), bound);
    libdeflate_free_compressor(c);
    return n > 0 && Put(Sink, Context, out.get(), n);
}

// One band of rows compressed on its own.
struct TBand {
    uint32_t Y0 = 0, Y1 = 0;
    std::vector<uint8_t> Out;
    uint32_t Adler = 1;
    uint64_t Bytes = 0; // filtered bytes
    bool Done = false;
    bool Failed = false;
};

class TBandEncoder {
public:
    TBandEncoder(const TImgInfo& Img, const TPngDataFormat& Fmt, int Level, uint64_t BandBytes)
        : FImg(Img), FFmt(Fmt), FLevel(Level)
    {
        const uint64_t stride = uint64_t(Fmt.RowBytes) + 1;
        FRowsPerBand = uint32_t(std::clamp<uint64_t>(BandBytes / stride, 1, Img.Height));
        FDictRows = uint32_t(std::min<uint64_t>((32768 + stride - 1) / stride, Img.Height));
        FStrategy = Fmt.Filters == kFilterNone ? Z_DEFAULT_STRATEGY : Z_FILTERED;
    }
    uint32_t BandCount() const { return (FImg.Height + FRowsPerBand - 1) / FRowsPerBand; }

    // Compresses band B into Band (the worker's own zlib state and buffers).
    void Encode(uint32_t B, TBand& Band, z_stream& Z, TRowFilter& Filter, std::vector<uint8_t>& Buf)
    {
        const uint64_t stride = uint64_t(FFmt.RowBytes) + 1;
        Band.Y0 = B * FRowsPerBand;
        Band.Y1 = std::min(FImg.Height, Band.Y0 + FRowsPerBand);
        const uint32_t from = Band.Y0 > FDictRows ? Band.Y0 - FDictRows : 0;
        const uint64_t lead = uint64_t(Band.Y0 - from) * stride;
        Band.Bytes = uint64_t(Band.Y1 - Band.Y0) * stride;
        try {
            Buf.resize(size_t(lead + Band.Bytes));
            Filter.Filter(from, Band.Y1, Buf.data());
            const uint8_t* data = Buf.data() + lead;
            Band.Adler = uint32_t(libdeflate_adler32(1, data, size_t(Band.Bytes)));
            if (deflateReset(&Z) != Z_OK) {
                Band.Failed = true;
                return;
            }
            if (lead > 0) {
                const uint64_t dict = std::min<uint64_t>(lead, 32768);
                deflateSetDictionary(&Z, data - dict, uInt(dict));
            }
            const bool last = Band.Y1 == FImg.Height;
            Band.Out.resize(size_t(deflateBound(&Z, uLong(Band.Bytes)) + 64));
            Z.next_in = const_cast<Bytef*>(data);
            Z.avail_in = uInt(Band.Bytes);
            Z.next_out = Band.Out.data();
            Z.avail_out = uInt(Band.Out.size());
            for (;;) {
                const int r = deflate(&Z, last ? Z_FINISH : Z_SYNC_FLUSH);
                if (r == Z_STREAM_END)
                    break;
                // Room left over: a flushed band is complete; anything else
                // would make no progress with more room either.
                const bool room = Z.avail_out > 0;
                if (room && !last && Z.avail_in == 0 && (r == Z_OK || r == Z_BUF_ERROR))
                    break;
                if (room || (r != Z_OK && r != Z_BUF_ERROR)) {
                    Band.Failed = true;
                    return;
                }
                const size_t used = Band.Out.size() - Z.avail_out;
                Band.Out.resize(Band.Out.size() * 2);
                Z.next_out = Band.Out.data() + used;
                Z.avail_out = uInt(Band.Out.size() - used);
            }
            // Drop the room left unused (erase: a shrinking resize makes
            // some compilers warn of a fill that never happens).
            Band.Out.erase(Band.Out.end() - std::ptrdiff_t(Z.avail_out), Band.Out.end());
        } catch (...) {
            Band.Failed = true;
        }
    }

    bool InitStream(z_stream& Z) const
    {
        std::memset(&Z, 0, sizeof Z);
        return deflateInit2(&Z, FLevel, Z_DEFLATED, -15, 8, FStrategy) == Z_OK;
    }

    uint8_t HeaderFlags() const
    {
        // The level hint of the zlib header, as zlib itself writes it.
        const int lv = FStrategy >= Z_HUFFMAN_ONLY || FLevel < 2 ? 0 : FLevel < 6 ? 1 : FLevel == 6 ? 2 : 3;
        uint8_t flg = uint8_t(lv << 6);
        flg = uint8_t(flg + 31 - (0x78 * 256 + flg) % 31);
        return flg;
    }

private:
    const TImgInfo& FImg;
    const TPngDataFormat& FFmt;
    int FLevel;
    int FStrategy;
    uint32_t FRowsPerBand = 1, FDictRows = 0;
};

// Bands compressed by up to Threads threads (the caller's among them) and
// handed to the sink in order. At most a few bands per thread are held at
// once, so memory stays small whatever the picture's size.
bool EncodeBands(const TImgInfo& Img, const TPngDataFormat& Fmt, int Level, int Threads, TPngDataSink Sink,
                 void* Context, uint64_t BandBytes)
{
    TBandEncoder enc(Img, Fmt, Level, BandBytes);
    const uint32_t bands = enc.BandCount();
    const uint32_t workers = uint32_t(std::clamp<int64_t>(Threads, 1, bands));
    const uint32_t window = workers * 2;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<TBand> slots(window); // band b lives in slot b % window
    uint32_t next = 0, emitted = 0;
    bool failed = false;
    uLong adler = 1; // of the whole, combined from the bands' own as they pass

    // Takes and compresses bands while the window has room; the emitter (the
    // caller's thread) also hands each finished band on in order, and stays
    // until every band is handed on.
    auto work = [&](bool Emitter) -> bool {
        z_stream z;
        TRowFilter filter(Img, Fmt);
        std::vector<uint8_t> buf;
        const bool ready = enc.InitStream(z);
        bool ok = ready && filter.Init();
        std::unique_lock<std::mutex> g(lock);
        if (!ok)
            failed = true;
        for (;;) {
            if (failed || (Emitter ? emitted == bands : next == bands))
                break;
            if (Emitter && slots[emitted % window].Done) {
                TBand& b = slots[emitted % window];
                g.unlock();
                const bool put = Put(Sink, Context, b.Out.data(), b.Out.size());
                adler = adler32_combine(adler, b.Adler, z_off_t(b.Bytes));
                g.lock();
                b.Done = false;
                std::vector<uint8_t>().swap(b.Out);
                if (!put)
                    failed = true;
                ++emitted;
                changed.notify_all();
                continue;
            }
            if (next < bands && next < emitted + window) {
                const uint32_t i = next++;
                TBand& b = slots[i % window];
                g.unlock();
                enc.Encode(i, b, z, filter, buf);
                g.lock();
                if (b.Failed)
                    failed = true;
                b.Done = true;
                changed.notify_all();
                continue;
            }
            changed.wait(g);
        }
        g.unlock();
        if (ready)
            deflateEnd(&z);
        return !failed;
    };

    std::vector<std::thread> helpers;
    for (uint32_t t = 1; t < workers; ++t) {
        try {
            helpers.emplace_back([&] { work(false); });
        } catch (...) {
            break; // fewer threads; the caller's still does every band
        }
    }
    const uint8_t head[2] = {0x78, enc.HeaderFlags()};
    if (!Put(Sink, Context, head, 2)) {
        std::lock_guard<std::mutex> g(lock);
        failed = true;
    }
    // The caller's thread hands on each band when it is ready.
    const bool ok = work(true);
    {
        std::lock_guard<std::mutex> g(lock);
        if (!ok)
            failed = true;
        changed.notify_all();
    }
    for (auto& h : helpers)
        h.join();
    if (failed)
        return false;
    const uint8_t tail[4] = {uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)};
    return Put(Sink, Context, tail, 4);
}

} // namespace

TPngDataFormat PngDataFormat(const TImgInfo& Img, bool Palette, bool FourBit, int FilterFlags)
{
    TPngDataFormat f;
    const uint32_t ch = Palette ? 1 : Img.Channels;
    f.FourBit = Palette && FourBit;
    f.SwapRB = !Palette && ch >= 3;
    f.RowBytes = f.FourBit ? (Img.Width + 1) / 2 : Img.Width * ch;
    f.Bpp = f.FourBit ? 1 : ch;
    uint8_t set = uint8_t(FilterFlags & 0xF8);
    if (set == 0)
        set =
            Palette ? uint8_t(kFilterNone) : uint8_t(kFilterNone | kFilterSub | kFilterUp | kFilterAvg | kFilterPaeth);
    if (Img.Height == 1)
        set &= uint8_t(~(kFilterUp | kFilterAvg | kFilterPaeth));
    if (uint64_t(Img.Width) * ch == 1)
        set &= uint8_t(~(kFilterSub | kFilterAvg | kFilterPaeth));
    f.Filters = set ? set : uint8_t(kFilterNone);
    return f;
}

bool EncodePngData(const TImgInfo& Img, const TPngDataFormat& Fmt, int Level, int Threads, TPngDataSink Sink,
                   void* Context, const TPngDataPlan& Plan) noexcept
{
    try {
        Level = std::clamp(Level, 0, 9);
        const uint64_t size = uint64_t(Img.Height) * (uint64_t(Fmt.RowBytes) + 1);
        if (size < Plan.BandFrom)
            return EncodeOneCall(Img, Fmt, Level, Sink, Context);
        return EncodeBands(Img, Fmt, Level, Threads, Sink, Context, std::max<uint64_t>(Plan.BandBytes, 1));
    } catch (...) {
        return false;
    }
}

} // namespace kodex
