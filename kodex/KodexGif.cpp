// GIF through giflib: the first frame.
#include "kodex/KodexCommon.h"
#include "kodex/KodexWicShared.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>

namespace kodex {

namespace {
int GifRead(GifFileType* G, GifByteType* Buf, int N)
{
    auto* f = static_cast<TMemFile*>(G->UserData);
    if (N <= 0 || f->Pos >= f->Size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(N), f->Size - f->Pos);
    std::memcpy(Buf, f->Data + f->Pos, n);
    f->Pos += n;
    return int(n);
}

struct TGifCloser {
    void operator()(GifFileType* G) const
    {
        int err = 0;
        DGifCloseFile(G, &err);
    }
};
} // namespace

// Bytes of a GIF's coded picture data: the LZW sub-blocks of its frames,
// without colour tables and extensions (comments cost nothing to add).
uint64_t GifImageBytes(const uint8_t* D, size_t N)
{
    auto skipBlocks = [&](size_t P, uint64_t* Sum) {
        while (P < N) {
            const size_t len = D[P++];
            if (len == 0)
                break;
            if (Sum)
                *Sum += std::min<uint64_t>(len, N - P);
            P += len;
        }
        return P;
    };
    if (N < 13)
        return 0;
    size_t p = 13;
    if (D[10] & 0x80)
        p += 3 * (size_t(2) << (D[10] & 7));
    uint64_t data = 0;
    while (p < N) {
        const uint8_t b = D[p++];
        if (b == 0x21 && p < N) { // extension: label, sub-blocks
            p = skipBlocks(p + 1, nullptr);
        } else if (b == 0x2C && p + 10 <= N) { // frame: descriptor, colours, code size, data
            const uint8_t f = D[p + 8];
            p += 9;
            if (f & 0x80)
                p += 3 * (size_t(2) << (f & 7));
            p = skipBlocks(p + 1, &data);
        } else {
            break;
        }
    }
    return data;
}

bool DecodeGIF(const uint8_t* Data, size_t Size, TImgInfo& Img)
{
    TMemFile mf{Data, Size, 0};
    int err = 0;
    std::unique_ptr<GifFileType, TGifCloser> g(DGifOpen(&mf, GifRead, &err));
    if (!g) {
        ReportError("", "%s", GifErrorString(err) ? GifErrorString(err) : "Not a GIF file");
        return false;
    }
    auto fail = [&](const char* Why) {
        const char* s = g->Error ? GifErrorString(g->Error) : nullptr;
        ReportError("", "%s", s ? s : Why);
        FreeImg(Img);
        return false;
    };
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(g.get(), &type) == GIF_ERROR)
            return fail("Damaged GIF file");
        if (type == TERMINATE_RECORD_TYPE)
            return fail("The GIF file holds no picture");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(g.get(), &code, &ext) == GIF_ERROR)
                return fail("Damaged GIF file");
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
                transparent = ext[4];
            while (ext)
                if (DGifGetExtensionNext(g.get(), &ext) == GIF_ERROR)
                    return fail("Damaged GIF file");
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(g.get()) == GIF_ERROR)
            return fail("Damaged GIF file");
        const GifImageDesc& d = g->Image;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
        if (!map || d.Width <= 0 || d.Height <= 0 || d.Left < 0 || d.Top < 0)
            return fail("Damaged GIF file");
        // The canvas is the logical screen; a frame reaching past it widens it.
        const uint64_t cw = std::max<uint64_t>(g->SWidth, uint64_t(d.Left) + d.Width);
        const uint64_t chh = std::max<uint64_t>(g->SHeight, uint64_t(d.Top) + d.Height);
        const uint32_t ch = transparent >= 0 ? 4 : 3;
        if (!WithinBudget(ImageBytes(cw, chh, ch)))
            return false;
        // LZW codes stand for at most 4096 pixels each.
        const uint64_t coded = GifImageBytes(Data, Size);
        if (!PlausibleForSize(cw * chh, coded, 4096) || !PlausibleForSize(uint64_t(d.Width) * d.Height, coded, 4096))
            return fail("Damaged GIF file");
        if (!NewImage(Img, cw, chh, ch))
            return false; // NewImage said why
        // The screen shows its background colour where no frame covers it; a
        // black one is what the fresh block holds already, untouched.
        const GifColorType* bg = ch == 3 && g->SColorMap && g->SBackGroundColor < g->SColorMap->ColorCount
            ? &g->SColorMap->Colors[g->SBackGroundColor]
            : nullptr;
        if (bg && (bg->Red | bg->Green | bg->Blue) != 0) {
            uint8_t* first = MemRow(Img, 0);
            for (uint32_t x = 0; x < Img.Width; ++x)
                first[x * 3] = bg->Blue, first[x * 3 + 1] = bg->Green, first[x * 3 + 2] = bg->Red;
            for (uint32_t y = 1; y < Img.Height; ++y)
                std::memcpy(MemRow(Img, y), first, size_t(Img.Width) * 3);
        }
        std::vector<GifPixelType> line(size_t(d.Width));
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int p = 0; p < passes; ++p) {
            for (int y = d.Interlace ? start[p] : 0; y < d.Height; y += d.Interlace ? step[p] : 1) {
                if (DGifGetLine(g.get(), line.data(), d.Width) == GIF_ERROR)
                    return fail("Damaged GIF file");
                if (Cancelled()) {
                    FreeImg(Img);
                    return false;
                }
                uint8_t* row = ScanLine(Img, uint32_t(d.Top + y)) + size_t(d.Left) * ch;
                for (int x = 0; x < d.Width; ++x, row += ch) {
                    const int idx = line[size_t(x)];
                    if (idx == transparent)
                        continue;
                    if (idx < map->ColorCount) {
                        const GifColorType c = map->Colors[idx];
                        row[0] = c.Blue, row[1] = c.Green, row[2] = c.Red;
                    } else {
                        row[0] = row[1] = row[2] = 0;
                    }
                    if (ch == 4)
                        row[3] = 255;
                }
            }
        }
        return true;
    }
}

} // namespace kodex
