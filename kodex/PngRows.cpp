#include "kodex/PngRows.h"

#include "platform/FileMap.h"

#include "kodex/PngUnfilter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace kodex {

namespace {

uint32_t FileSamples(int Type)
{
    return (Type & PNG_COLOR_MASK_PALETTE)
        ? 1
        : ((Type & PNG_COLOR_MASK_COLOR) ? 3 : 1) + ((Type & PNG_COLOR_MASK_ALPHA) ? 1 : 0);
}

// A 16-bit sample to 8 bits, rounded as libpng does it.
inline uint8_t Scale16(const uint8_t* P)
{
    int32_t t = P[0];
    t += ((int32_t(P[1]) - t + 128) * 65535) >> 24;
    return uint8_t(t);
}

// One unfiltered row (the file's samples) into the picture's row.
void ConvertRow(const TPngLayout& L, const uint8_t* In, uint8_t* Out)
{
    const uint32_t w = L.Width;
    const int depth = L.Depth;
    auto sub = [&](uint32_t X) -> uint32_t { // a sample smaller than a byte
        const uint32_t bit = X * uint32_t(depth);
        return (In[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
    };
    switch (L.Type) {
    case PNG_COLOR_TYPE_GRAY: {
        const uint32_t mul = depth == 1 ? 255 : depth == 2 ? 0x55 : depth == 4 ? 0x11 : 1;
        const uint32_t key = depth < 8 ? L.Key.gray & ((1u << depth) - 1)
            : depth == 8               ? L.Key.gray & 0xFFu
                                       : L.Key.gray;
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t v;
            uint8_t g;
            if (depth == 16) {
                v = uint32_t(In[2 * x]) << 8 | In[2 * x + 1];
                g = Scale16(In + 2 * x);
            } else {
                v = depth == 8 ? In[x] : sub(x);
                g = uint8_t(v * mul);
            }
            if (L.HasKey) {
                Out[2 * x] = g;
                Out[2 * x + 1] = v == key ? 0 : 255;
            } else {
                Out[x] = g;
            }
        }
        break;
    }
    case PNG_COLOR_TYPE_PALETTE: {
        const uint32_t ch = L.TransCount > 0 ? 4 : 3;
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t i = depth == 8 ? In[x] : sub(x);
            uint8_t* o = Out + x * ch;
            if (int(i) < L.PaletteCount) {
                o[0] = L.Palette[i].blue;
                o[1] = L.Palette[i].green;
                o[2] = L.Palette[i].red;
            } else {
                o[0] = o[1] = o[2] = 0; // libpng's palette is padded with black
            }
            if (ch == 4)
                o[3] = int(i) < L.TransCount ? L.TransAlpha[i] : 255;
        }
        break;
    }
    case PNG_COLOR_TYPE_RGB: {
        const uint32_t ch = L.HasKey ? 4 : 3;
        if (depth == 8) {
            const uint8_t kr = uint8_t(L.Key.red), kg = uint8_t(L.Key.green), kb = uint8_t(L.Key.blue);
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t* i = In + 3 * x;
                uint8_t* o = Out + x * ch;
                o[0] = i[2];
                o[1] = i[1];
                o[2] = i[0];
                if (ch == 4)
                    o[3] = i[0] == kr && i[1] == kg && i[2] == kb ? 0 : 255;
            }
        } else {
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t* i = In + 6 * x;
                uint8_t* o = Out + x * ch;
                o[0] = Scale16(i + 4);
                o[1] = Scale16(i + 2);
                o[2] = Scale16(i);
                if (ch == 4) {
                    const auto s = [i](int k) { return uint32_t(i[2 * k]) << 8 | i[2 * k + 1]; };
                    o[3] = s(0) == L.Key.red && s(1) == L.Key.green && s(2) == L.Key.blue ? 0 : 255;
                }
            }
        }
        break;
    }
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        if (depth == 8)
            std::memcpy(Out, In, size_t(w) * 2);
        else
            for (uint32_t k = 0; k < 2 * w; ++k)
                Out[k] = Scale16(In + 2 * k);
        break;
    default: // colour with alpha
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* o = Out + 4 * x;
            if (depth == 8) {
                const uint8_t* i = In + 4 * x;
                o[0] = i[2];
                o[1] = i[1];
                o[2] = i[0];
                o[3] = i[3];
            } else {
                const uint8_t* i = In + 8 * x;
                o[0] = Scale16(i + 4);
                o[1] = Scale16(i + 2);
                o[2] = Scale16(i);
                o[3] = Scale16(i + 6);
            }
        }
        break;
    }
}

// The data of the run of IDAT chunks that starts at Pos (a chunk's start),
// each chunk's CRC checked.
class TIdatChunks {
public:
    TIdatChunks(const uint8_t* Data, size_t Size, size_t Pos) : FData(Data), FSize(Size), FPos(Pos) { }
    // The next chunk's data; false at the end of the run, and Bad() when a
    // chunk is cut short or its CRC is wrong.
    bool Next(const uint8_t*& P, size_t& N)
    {
        if (FBad || FPos > FSize || FSize - FPos < 8 || std::memcmp(FData + FPos + 4, "IDAT", 4) != 0)
            return false;
        const uint8_t* h = FData + FPos;
        const uint64_t len = uint64_t(h[0]) << 24 | uint64_t(h[1]) << 16 | uint64_t(h[2]) << 8 | h[3];
        if (len > 0x7FFFFFFFu || len + 12 > FSize - FPos) {
            FBad = true;
            return false;
        }
        const uint8_t* c = h + 8 + len;
        const uint32_t crc = uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | c[3];
        if (libdeflate_crc32(0, h + 4, size_t(len) + 4) != crc) {
            FBad = true;
            return false;
        }
        P = h + 8;
        N = size_t(len);
        FPos += size_t(len) + 12;
        return true;
    }
    bool Bad() const { return FBad; }
    // Gives back the whole pages before the chunk Next returns next.
    void ReleaseBehind() { FReleased = size_t(platform::ReleaseMappedPages(FData, FReleased, std::min(FPos, FSize))); }

private:
    const uint8_t* FData;
    size_t FSize, FPos;
    size_t FReleased = 0;
    bool FBad = false;
};

struct TFreeDecompressor {
    void operator()(libdeflate_decompressor* D) const { libdeflate_free_decompressor(D); }
};

} // namespace

uint32_t PngRowChannels(const TPngLayout& L)
{
    if (L.Type == PNG_COLOR_TYPE_PALETTE)
        return L.TransCount > 0 ? 4 : 3;
    return FileSamples(L.Type) + (L.HasKey && !(L.Type & PNG_COLOR_MASK_ALPHA) ? 1 : 0);
}

TPngRowsResult DecodePngRows(const uint8_t* Data, size_t Size, size_t Pos, const TPngLayout& L, TPngRowTarget Target,
                             void* Context, uint64_t WholeLimit, bool Release) noexcept
{
    try {
        const uint32_t samples = FileSamples(L.Type);
        const uint64_t rowBytes = (uint64_t(L.Width) * samples * uint32_t(L.Depth) + 7) / 8;
        const uint32_t bpp = std::max<uint32_t>(1, samples * uint32_t(L.Depth) / 8);
        const uint64_t stride = rowBytes + 1;
        const uint64_t filtered = stride * L.Height;
        TIdatChunks chunks(Data, Size, Pos);
        const uint8_t* p = nullptr;
        size_t n = 0;
        std::vector<uint8_t> zeros(size_t(rowBytes), 0);
        auto finish = [&](uint8_t* Row, const uint8_t* Prev, uint32_t Y) {
            if (!UnfilterRow(Row[0], Row + 1, Prev, uint32_t(rowBytes), bpp))
                return TPngRowsResult::Fallback;
            uint8_t* out = Target(Context, Y);
            if (!out)
                return TPngRowsResult::Cancelled;
            ConvertRow(L, Row + 1, out);
            return TPngRowsResult::Done;
        };
        if (filtered <= WholeLimit) {
            // The whole stream at once: a lone chunk in place, several joined.
            std::vector<uint8_t> joined;
            const uint8_t* in = nullptr;
            size_t inSize = 0;
            while (chunks.Next(p, n)) {
                if (!in) {
                    in = p;
                    inSize = n;
                    continue;
                }
                if (joined.empty())
                    joined.assign(in, in + inSize);
                joined.insert(joined.end(), p, p + n);
                in = joined.data();
                inSize = joined.size();
            }
            if (chunks.Bad() || !in)
                return TPngRowsResult::Fallback;
            const auto rows = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(filtered));
            std::unique_ptr<libdeflate_decompressor, TFreeDecompressor> d(libdeflate_alloc_decompressor());
            if (!d ||
                libdeflate_zlib_decompress(d.get(), in, inSize, rows.get(), size_t(filtered), nullptr) !=
                    LIBDEFLATE_SUCCESS)
                return TPngRowsResult::Fallback;
            const uint8_t* prev = zeros.data();
            for (uint32_t y = 0; y < L.Height; ++y) {
                uint8_t* row = rows.get() + y * stride;
                const TPngRowsResult r = finish(row, prev, y);
                if (r != TPngRowsResult::Done)
                    return r;
                prev = row + 1;
            }
            return TPngRowsResult::Done;
        }
        // Row by row: two rows held, whatever the picture's size.
        std::vector<uint8_t> a(static_cast<size_t>(stride)), b(static_cast<size_t>(stride));
        uint8_t *cur = a.data(), *prev = nullptr;
        z_stream z{};
        if (inflateInit(&z) != Z_OK)
            return TPngRowsResult::Fallback;
        struct TEnd {
            z_stream& Z;
            ~TEnd() { inflateEnd(&Z); }
        } end{z};
        for (uint32_t y = 0; y < L.Height; ++y) {
            z.next_out = cur;
            z.avail_out = uInt(stride);
            while (z.avail_out > 0) {
                if (z.avail_in == 0) {
                    if (Release)
                        chunks.ReleaseBehind();
                    if (!chunks.Next(p, n))
                        return TPngRowsResult::Fallback;
                    z.next_in = const_cast<Bytef*>(p);
                    z.avail_in = uInt(n);
                    continue;
                }
                const int r = inflate(&z, Z_NO_FLUSH);
                if (r != Z_OK && !(r == Z_STREAM_END && z.avail_out == 0 && y + 1 == L.Height))
                    return TPngRowsResult::Fallback;
            }
            const TPngRowsResult r = finish(cur, prev ? prev + 1 : zeros.data(), y);
            if (r != TPngRowsResult::Done)
                return r;
            prev = cur;
            cur = cur == a.data() ? b.data() : a.data();
        }
        return TPngRowsResult::Done;
    } catch (...) {
        return TPngRowsResult::Fallback;
    }
}

} // namespace kodex
