// PNG reading and writing over libpng.
//
// libpng reports fatal errors through the error function, which longjmps
// back to the entry point; as in the JPEG code, whatever must be released
// after the jump is held in a state record behind an unchanging pointer.
#include "kodex/KodexCommon.h"

#include "kodex/PngImageData.h"
#include "kodex/PngRows.h"
#include "platform/FdFile.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace {

struct TPngState {
    png_structp Png;
    png_infop Info;
    jmp_buf Jump;
    char Message[256];
    bool Quiet; // the reason was reported already (or the read was cancelled)
    // Reading
    const uint8_t* Data;
    size_t Size, Pos;
    TImgInfo Img;        // the picture, or in bands the band block
    TICCInfo* StoredICC; // profile handed to the caller's record, taken back on failure
    // Reading in bands: rows [Top, Top + Img.Height) live in the block; rows
    // before Handed were handed over. A decode that starts again (libpng
    // after the own decoder gave up) puts rows already handed in Scratch.
    TKodexReadJPEGBands* Bands;
    uint32_t Top, Handed;
    uint8_t* Scratch;
    // Writing
    int Fd;
};

void PngError(png_structp Png, png_const_charp Msg)
{
    auto* s = static_cast<TPngState*>(png_get_error_ptr(Png));
    if (!s->Message[0])
        std::snprintf(s->Message, sizeof s->Message, "%s", Msg);
    longjmp(s->Jump, 1);
}

void PngWarning(png_structp, png_const_charp)
{
}

void ReadData(png_structp Png, png_bytep Out, size_t N)
{
    auto* s = static_cast<TPngState*>(png_get_io_ptr(Png));
    if (N > s->Size - s->Pos)
        png_error(Png, "The PNG file is truncated");
    std::memcpy(Out, s->Data + s->Pos, N);
    s->Pos += N;
}

void WriteData(png_structp Png, png_bytep P, size_t N)
{
    auto* s = static_cast<TPngState*>(png_get_io_ptr(Png));
    if (!platform::FdWriteAll(s->Fd, P, N))
        png_error(Png, "Write error");
}

void FlushData(png_structp)
{
}

uint16_t To8(uint16_t V, int Depth)
{
    switch (Depth) {
    case 16:
        return uint16_t((V * 255u + 32767u) / 65535u);
    case 8:
        return V & 0xFF;
    default: {
        const unsigned max = (1u << Depth) - 1;
        return uint16_t(((V & max) * 255u + max / 2) / max);
    }
    }
}

// Bytes of the picture data (the IDAT chunks): ancillary chunks cost nothing
// to add and say nothing about how much picture the file can hold.
uint64_t IdatBytes(const uint8_t* D, size_t N)
{
    uint64_t data = 0;
    for (size_t p = 8; p + 12 <= N;) {
        const uint64_t len = uint64_t(D[p]) << 24 | uint64_t(D[p + 1]) << 16 | uint64_t(D[p + 2]) << 8 | D[p + 3];
        if (std::memcmp(D + p + 4, "IDAT", 4) == 0)
            data += std::min<uint64_t>(len, N - p - 8);
        else if (std::memcmp(D + p + 4, "IEND", 4) == 0)
            break;
        if (len > N - p - 12)
            break;
        p += 12 + size_t(len);
    }
    return data;
}

// Hands rows [S->Handed, Upto) of the block over in bands of at most
// BandRows rows; false when the caller stopped.
bool HandOver(TPngState* S, uint32_t Upto)
{
    const uint32_t most = std::max(S->Bands->BandRows, 1u);
    while (S->Handed < Upto) {
        const uint32_t n = std::min(most, Upto - S->Handed);
        TImgInfo band = S->Img;
        band.Mem = ScanLine(S->Img, S->Handed - S->Top + n - 1);
        band.Height = n;
        if (!S->Bands->Band(S->Bands->Context, &band, S->Handed))
            return false;
        S->Handed += n;
    }
    return true;
}

// Where row Y (top-down, each row once and in order) goes: the picture, or
// the band block, handed over first when it is full; null once the decode is
// cancelled or the caller stopped.
uint8_t* RowFor(void* State, uint32_t Y)
{
    auto* s = static_cast<TPngState*>(State);
    if (kodex::Cancelled())
        return nullptr;
    if (!s->Bands)
        return ScanLine(s->Img, Y);
    if (Y < s->Handed)
        return s->Scratch;
    if (Y - s->Top == s->Img.Height) {
        if (!HandOver(s, Y))
            return nullptr;
        s->Top = Y;
    }
    return ScanLine(s->Img, Y - s->Top);
}

// Chunks after the image data carry nothing the picture needs; a file cut
// short after its last IDAT still gives the whole picture. In bands, the
// rest goes to the caller and the block is freed.
int Finished(TPngState* S, TKodexReadPNG* Rec, uint32_t Height)
{
    png_destroy_read_struct(&S->Png, &S->Info, nullptr);
    if (!S->Bands) {
        Rec->Img = S->Img;
        return 1;
    }
    const bool ok = HandOver(S, Height);
    FreeImg(S->Img);
    std::free(S->Scratch);
    S->Scratch = nullptr;
    if (!ok && S->StoredICC)
        FreeICC(*S->StoredICC);
    return ok ? 1 : 0;
}

// Decodes into Rec->Img, or, given S->Bands, into a block of BandRows rows
// handed over as each band is complete (an interlaced picture is decoded
// whole first).
int ReadPng(TPngState* S, TKodexReadPNG* Rec)
{
    if (setjmp(S->Jump)) {
        if (!S->Quiet)
            kodex::ReportError("", "%s", S->Message);
        png_destroy_read_struct(&S->Png, S->Info ? &S->Info : nullptr, nullptr);
        FreeImg(S->Img);
        std::free(S->Scratch);
        if (S->StoredICC)
            FreeICC(*S->StoredICC);
        return 0;
    }
    S->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, S, PngError, PngWarning);
    if (!S->Png)
        return 0;
    S->Info = png_create_info_struct(S->Png);
    if (!S->Info)
        png_error(S->Png, "Out of memory");
    png_set_read_fn(S->Png, S, ReadData);
    png_read_info(S->Png, S->Info);

    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(S->Png, S->Info, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
    // zlib cannot compress better than about 1032:1; a header claiming far
    // more raw data than the file can hold is damaged (or hostile), and
    // refusing it here keeps us from committing memory for it.
    const uint64_t samples = (type & PNG_COLOR_MASK_PALETTE)
        ? 1
        : ((type & PNG_COLOR_MASK_COLOR) ? 3 : 1) + ((type & PNG_COLOR_MASK_ALPHA) ? 1 : 0);
    const uint64_t raw = ((uint64_t(w) * samples * depth + 7) / 8 + 1) * h;
    if (!kodex::SizeAcceptable(w, h) || raw / 1100 > IdatBytes(S->Data, S->Size))
        png_error(S->Png, "Unsupported or damaged PNG picture size");

    png_color_16p bkgd = nullptr;
    if (png_get_bKGD(S->Png, S->Info, &bkgd) && bkgd) {
        TBGColor& bg = Rec->BGColor;
        bool ok = true;
        if (type == PNG_COLOR_TYPE_PALETTE) {
            png_colorp pal = nullptr;
            int n = 0;
            ok = png_get_PLTE(S->Png, S->Info, &pal, &n) && bkgd->index < n;
            if (ok) {
                bg.Red = pal[bkgd->index].red;
                bg.Green = pal[bkgd->index].green;
                bg.Blue = pal[bkgd->index].blue;
            }
        } else if (type & PNG_COLOR_MASK_COLOR) {
            bg.Red = To8(bkgd->red, depth);
            bg.Green = To8(bkgd->green, depth);
            bg.Blue = To8(bkgd->blue, depth);
        } else {
            bg.Red = bg.Green = bg.Blue = bg.Gray = To8(bkgd->gray, depth);
        }
        if (ok)
            Rec->Flags |= KODEX_PNG_OWN_BG;
    }

    if (depth == 16)
        png_set_scale_16(S->Png);
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(S->Png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(S->Png);
    if (png_get_valid(S->Png, S->Info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(S->Png);
    png_set_bgr(S->Png);
    const int passes = png_set_interlace_handling(S->Png);
    png_read_update_info(S->Png, S->Info);
    const uint32_t ch = png_get_channels(S->Png, S->Info);
    if (ch < 1 || ch > 4 || png_get_rowbytes(S->Png, S->Info) != uint64_t(w) * ch)
        png_error(S->Png, "Unsupported PNG pixel format");

    if (Rec->ICC) {
        png_charp name = nullptr;
        int comp = 0;
        png_bytep prof = nullptr;
        png_uint_32 len = 0;
        if (png_get_iCCP(S->Png, S->Info, &name, &comp, &prof, &len) && prof && len &&
            kodex::StoreICC(Rec->ICC, prof, len, name))
            S->StoredICC = Rec->ICC;
    }

    // By the last interlace pass (or the last row of the own decoder, or of
    // libpng after it gave up) every pixel of every row has been written.
    const bool own =
        interlace == PNG_INTERLACE_NONE && S->Pos >= 8 && std::memcmp(S->Data + S->Pos - 4, "IDAT", 4) == 0;
    const uint32_t blockRows = S->Bands && own ? std::min(std::max(S->Bands->BandRows, 1u), h) : h;
    // The filtered rows are held whole beside the picture only where the
    // budget has room for both; read in bands, never (a band's worth of
    // memory is the point of reading in bands).
    const uint64_t whole = own && !S->Bands && kodex::ImageBytes(w, blockRows, ch) + raw <= kodex::PictureBudget()
        ? kodex::kPngInflateWhole
        : 0;
    if (!kodex::NewImage(S->Img, w, blockRows, ch, 0, true)) {
        S->Quiet = true; // NewImage said why
        png_error(S->Png, "Cannot hold the decoded PNG picture");
    }
    if (S->Bands) {
        S->Bands->Width = w;
        S->Bands->Height = h;
        S->Bands->Channels = ch;
        S->Bands->Held = uint64_t(S->Img.Bpl) * BlockRows(blockRows);
        if (!S->Bands->Band(S->Bands->Context, nullptr, 0)) {
            S->Quiet = true; // the caller stopped and says why
            png_error(S->Png, "Stopped");
        }
    }
    if (own) {
        kodex::TPngLayout l;
        l.Width = w;
        l.Height = h;
        l.Depth = depth;
        l.Type = type;
        png_get_PLTE(S->Png, S->Info, &l.Palette, &l.PaletteCount);
        png_color_16p key = nullptr;
        if (png_get_tRNS(S->Png, S->Info, &l.TransAlpha, &l.TransCount, &key)) {
            l.HasKey = key && !(type & PNG_COLOR_MASK_PALETTE);
            if (l.HasKey)
                l.Key = *key;
        }
        if (type != PNG_COLOR_TYPE_PALETTE || !l.TransAlpha)
            l.TransCount = 0;
        if (!l.Palette)
            l.PaletteCount = 0;
        using kodex::TPngRowsResult;
        const TPngRowsResult r = kodex::PngRowChannels(l) == ch
            ? kodex::DecodePngRows(S->Data, S->Size, S->Pos - 8, l, RowFor, S, whole,
                                   S->Bands && (S->Bands->Flags & KODEX_PNG_RELEASE_INPUT))
            : TPngRowsResult::Fallback;
        if (r == TPngRowsResult::Cancelled) {
            S->Quiet = true;
            png_error(S->Png, "Cancelled");
        }
        if (r == TPngRowsResult::Done)
            return Finished(S, Rec, h);
        // libpng starts again from the top; rows already handed over are
        // decoded aside.
        if (S->Handed > 0 && !(S->Scratch = static_cast<uint8_t*>(std::malloc(size_t(w) * ch + 64))))
            png_error(S->Png, "Out of memory");
    }
    // Row by row (each interlace pass over all rows), so that a cancel stops it.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y) {
            uint8_t* row = RowFor(S, y);
            if (!row) {
                S->Quiet = true;
                png_error(S->Png, "Cancelled");
            }
            png_read_row(S->Png, row, nullptr);
        }
    return Finished(S, Rec, h);
}

// The zlib stream as IDAT chunks of up to 1 MB, then the closing IEND.
class TIdatWriter {
public:
    explicit TIdatWriter(int Fd) : FFd(Fd) { }
    static bool Sink(void* Self, const uint8_t* Data, size_t Size)
    {
        auto* w = static_cast<TIdatWriter*>(Self);
        try {
            w->FPending.insert(w->FPending.end(), Data, Data + Size);
        } catch (...) {
            return false;
        }
        return w->FPending.size() < kChunk || w->Flush();
    }
    bool Flush()
    {
        if (FPending.empty())
            return true;
        const bool ok = Chunk("IDAT", FPending.data(), FPending.size());
        FPending.clear();
        return ok;
    }
    bool End() { return Flush() && Chunk("IEND", nullptr, 0); }

private:
    static constexpr size_t kChunk = size_t(1) << 20;
    bool Chunk(const char* Type, const uint8_t* Data, size_t Size)
    {
        uint8_t head[8] = {uint8_t(Size >> 24), uint8_t(Size >> 16), uint8_t(Size >> 8), uint8_t(Size)};
        std::memcpy(head + 4, Type, 4);
        uLong crc = crc32(0, head + 4, 4);
        if (Size)
            crc = crc32(crc, Data, uInt(Size));
        const uint8_t tail[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        return platform::FdWriteAll(FFd, head, 8) && (!Size || platform::FdWriteAll(FFd, Data, Size)) &&
            platform::FdWriteAll(FFd, tail, 4);
    }
    int FFd;
    std::vector<uint8_t> FPending;
};

// Writes the picture's IDAT chunks and IEND. Kept apart from the libpng calls:
// nothing here may be skipped by their jump.
bool WriteImageData(int Fd, const TImgInfo& Img, const kodex::TPngDataFormat& Fmt, int Level, int Threads) noexcept
{
    try {
        TIdatWriter w(Fd);
        return kodex::EncodePngData(Img, Fmt, Level, Threads, TIdatWriter::Sink, &w) && w.End();
    } catch (...) {
        return false;
    }
}

int WritePng(TPngState* S, const TKodexWritePNG* Rec)
{
    if (setjmp(S->Jump)) {
        kodex::ReportError("", "%s", S->Message);
        png_destroy_write_struct(&S->Png, S->Info ? &S->Info : nullptr);
        return 0;
    }
    const TImgInfo& img = Rec->Img;
    if (!kodex::ValidImage(img, 1, 4)) {
        kodex::ReportError("", "PNG output needs a picture of 1 to 4 channels");
        return 0;
    }
    const bool palette = Rec->Palette && img.Channels == 1;
    const int count = Rec->PaletteCount;
    if (palette && (count < 1 || count > 256)) {
        kodex::ReportError("", "Palette of %d colours", count);
        return 0;
    }
    const bool four = palette && Rec->FourBit && count <= 16;
    if (palette) {
        // An index past the palette would make a file every viewer rejects.
        for (uint32_t y = 0; y < img.Height; ++y) {
            const uint8_t* r = MemRow(img, y);
            for (uint32_t x = 0; x < img.Width; ++x)
                if (r[x] >= count) {
                    kodex::ReportError("", "Palette index %d outside the %d-colour palette", r[x], count);
                    return 0;
                }
        }
    }
    S->Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, S, PngError, PngWarning);
    if (!S->Png)
        return 0;
    S->Info = png_create_info_struct(S->Png);
    if (!S->Info)
        png_error(S->Png, "Out of memory");
    png_set_write_fn(S->Png, S, WriteData, FlushData);
    // A profile libpng finds fault with is left out rather than failing the file.
    png_set_benign_errors(S->Png, 1);
    static const int types[5] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                 PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(S->Png, S->Info, img.Width, img.Height, four ? 4 : 8,
                 palette ? PNG_COLOR_TYPE_PALETTE : types[img.Channels], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        png_color pal[256];
        for (int i = 0; i < count; ++i) {
            pal[i].red = Rec->Palette[i * 3];
            pal[i].green = Rec->Palette[i * 3 + 1];
            pal[i].blue = Rec->Palette[i * 3 + 2];
        }
        png_set_PLTE(S->Png, S->Info, pal, count);
        if (Rec->Transparent) {
            png_byte alpha = 0;
            png_set_tRNS(S->Png, S->Info, &alpha, 1, nullptr);
        }
    }
    // A palette holds RGB colours whatever the picture looks like.
    const TICCInfo* icc = kodex::ProfileFor(Rec->ICC, !palette && img.Channels <= 2);
    if (icc && icc->Len >= 132) {
        // The keyword must be 1..79 printable Latin-1 characters.
        char key[80] = {};
        size_t n = 0;
        for (size_t i = 0; i < 79 && icc->Name[i]; ++i) {
            const unsigned char c = static_cast<unsigned char>(icc->Name[i]);
            if (c >= 32 && c < 127 && !(c == ' ' && (n == 0 || key[n - 1] == ' ')))
                key[n++] = static_cast<char>(c);
        }
        while (n > 0 && key[n - 1] == ' ')
            key[--n] = 0;
        png_set_iCCP(S->Png, S->Info, n ? key : "ICC Profile", PNG_COMPRESSION_TYPE_BASE, icc->Profile, icc->Len);
    }
    if (Rec->PhysMode >= 0 && Rec->PhysX > 0 && Rec->PhysY > 0)
        png_set_pHYs(S->Png, S->Info, static_cast<png_uint_32>(Rec->PhysX), static_cast<png_uint_32>(Rec->PhysY),
                     Rec->PhysMode == 1 ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN);
    png_write_info(S->Png, S->Info);
    const kodex::TPngDataFormat fmt = kodex::PngDataFormat(img, palette, four, Rec->Filter);
    if (!WriteImageData(S->Fd, img, fmt, Rec->Level, Rec->Threads)) {
        kodex::ReportError("", "Write error");
        png_destroy_write_struct(&S->Png, &S->Info);
        return 0;
    }
    png_destroy_write_struct(&S->Png, &S->Info);
    return 1;
}

} // namespace

KODEX_EXPORT int read_png(TKodexReadPNG* Rec, const uint8_t* Data, size_t Size)
{
    if (!Rec || !Data || Size < 8 || png_sig_cmp(Data, 0, 8) != 0) {
        kodex::ReportError("", "Not a PNG file");
        return 0;
    }
    Rec->Img = TImgInfo{};
    Rec->Flags &= ~uint32_t(KODEX_PNG_OWN_BG | KODEX_PNG_GRAYALPHA);
    auto* s = static_cast<TPngState*>(std::calloc(1, sizeof(TPngState)));
    if (!s)
        return 0;
    s->Data = Data;
    s->Size = Size;
    const int r = ReadPng(s, Rec);
    std::free(s);
    return r;
}

KODEX_EXPORT int read_png_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size)
{
    if (!Rec || !Rec->Band || !Data || Size < 8 || png_sig_cmp(Data, 0, 8) != 0) {
        kodex::ReportError("", "Not a PNG file");
        return 0;
    }
    auto* s = static_cast<TPngState*>(std::calloc(1, sizeof(TPngState)));
    if (!s)
        return 0;
    s->Data = Data;
    s->Size = Size;
    s->Bands = Rec;
    TKodexReadPNG whole{};
    whole.ICC = Rec->ICC;
    const int r = ReadPng(s, &whole);
    Rec->Flags = 0; // out: nothing to report
    std::free(s);
    return r;
}

KODEX_EXPORT int write_png(const TKodexWritePNG* Rec, int Fd)
{
    if (!Rec || Fd < 0)
        return 0;
    auto* s = static_cast<TPngState*>(std::calloc(1, sizeof(TPngState)));
    if (!s)
        return 0;
    s->Fd = Fd;
    const int r = WritePng(s, Rec);
    std::free(s);
    return r;
}
