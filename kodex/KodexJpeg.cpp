// JPEG reading and writing over libjpeg (scaled decoding, YCbCr output, CMYK,
// ICC profiles, EXIF marker, progressive and optimised output).
//
// libjpeg reports fatal errors through error_exit, which must not return: we
// longjmp back to the entry point. Everything that has to be released after
// such a jump lives in a state record reached through a pointer that is set
// before setjmp and never changed, so its members are never held only in
// registers across the jump.
#include "kodex/KodexCommon.h"
#include "kodex/JpegPlausible.h"

#include "platform/FdFile.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace {

constexpr int kMaxScans = 1000; // a progressive file needs a few dozen at most
// Each scan of a progressive file walks every block of its components again.
// A few dozen passes over the picture are what encoders write; a file that
// asks for more (a thousand scans over a large picture) is refused before it
// takes minutes. The allowance keeps small pictures free of the rule.
constexpr uint64_t kPassesPerPicture = 64;
constexpr uint64_t kFreeBlockVisits = uint64_t(1) << 24;

// Stray bytes before the end marker that still leave a picture whole: some
// encoders flush a few bytes more than their last code needs, or pad their
// output to a multiple of 16 bytes, and what they write there is fill (zero
// bytes, or one bits). Damaged coded data that the decoder finishes early
// leaves, but for such a chance, far more behind, and what it leaves is
// coded data: a few bytes of it, not fill, mean a damaged picture too.
constexpr unsigned kStrayBytesBeforeEnd = 16;

struct TJpegError {
    jpeg_error_mgr Pub;
    jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX + 64];
    bool SawEnd;
    bool Damaged;        // the coded data was cut or corrupt: the picture would be garbage
    bool Warned;         // the decoder warned about the data, whatever the verdict
    bool Quiet;          // stopped on request: nothing to report
    const uint8_t* Base; // the file in memory, when the decoder reads from it (null otherwise)
};

// True when the Count bytes that the decoder passed over just before the
// marker it now stands at are all fill (0x00 or 0xFF). The decoder stands on
// the marker's first byte when it warns; fill bytes 0xFF before it belong to
// the marker.
bool StrayBytesAreFill(j_decompress_ptr D, const uint8_t* Base, unsigned Count)
{
    if (!Base || !D->src || !D->src->next_input_byte)
        return false;
    const uint8_t* At = D->src->next_input_byte;
    if (At < Base + Count)
        return false;
    for (const uint8_t* p = At - Count; p < At; ++p)
        if (*p != 0x00 && *p != 0xFF)
            return false;
    return true;
}

void ErrorExit(j_common_ptr C)
{
    auto* e = reinterpret_cast<TJpegError*>(C->err);
    if (!e->Message[0])
        e->Pub.format_message(C, e->Message);
    longjmp(e->Jump, 1);
}

// Marks the picture damaged; the first reason is the one reported.
void SetDamaged(TJpegError* E, j_common_ptr C, const char* Why)
{
    if (!E->Damaged && !E->Message[0]) {
        if (Why)
            std::snprintf(E->Message, sizeof E->Message, "%s", Why);
        else
            E->Pub.format_message(C, E->Message);
    }
    E->Damaged = true;
}

// Warnings. The decoder goes on through damaged coded data and fills what it
// cannot decode with gray, which would pass a damaged picture off as good:
// - the end of the file inside coded data: for Huffman coding, the end of
//   the data followed by a coded segment that needed more bits; arithmetic
//   coding reads past its data without telling, so there the end of the
//   file inside any scan counts (such a file must carry its end marker);
// - a coded segment that ends before its data (a marker where bits were
//   needed), codes that decode to nothing, restart markers out of order;
// - bytes left over behind a scan's data: a damaged scan whose codes ran
//   out of step decodes its last block before its data ends (and every
//   block after the damage shifted and off-colour); a frame header of fewer
//   rows than the scan holds leaves the same. Only a few stray bytes just
//   before the end marker are let pass, and only when they are fill
//   (kStrayBytesBeforeEnd, StrayBytesAreFill).
// The end of the data alone is harmless for Huffman coding (a file without
// its end marker, or the decoder reading ahead), as are stray bytes between
// the markers before the first scan. Every warning about the data is
// remembered (Warned): the caller keeps the source of such a picture.
void EmitMessage(j_common_ptr C, int Level)
{
    auto* e = reinterpret_cast<TJpegError*>(C->err);
    if (Level >= 0)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(C);
    const int code = e->Pub.msg_code;
    if (code != JWRN_JFIF_MAJOR && code != JWRN_ADOBE_XFORM)
        e->Warned = true;
    switch (code) {
    case JWRN_EXTRANEOUS_DATA:
        if (C->is_decompressor && d->input_scan_number > 0 &&
            !(e->Pub.msg_parm.i[1] == JPEG_EOI && unsigned(e->Pub.msg_parm.i[0]) <= kStrayBytesBeforeEnd &&
              StrayBytesAreFill(d, e->Base, unsigned(e->Pub.msg_parm.i[0]))))
            SetDamaged(e, C, nullptr);
        break;
    case JWRN_JPEG_EOF:
        e->SawEnd = true;
        if (C->is_decompressor && d->arith_code && d->input_scan_number > 0 && d->input_iMCU_row < d->total_iMCU_rows)
            SetDamaged(e, C, "Premature end of JPEG file");
        break;
    case JWRN_HIT_MARKER:
        SetDamaged(e, C, e->SawEnd ? "Premature end of JPEG file" : nullptr);
        break;
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        SetDamaged(e, C, nullptr);
        break;
    default:
        break;
    }
}

// The decoder calls this between rows and scans: it stops a decode that was
// cancelled, that has too many scans, or whose scans walk the picture's
// blocks too often.
struct TProgress {
    jpeg_progress_mgr Pub;
    int LastScan;
    uint64_t BlockVisits, MaxBlockVisits;
};

void ProgressMonitor(j_common_ptr C)
{
    auto* e = reinterpret_cast<TJpegError*>(C->err);
    if (kodex::Cancelled()) {
        e->Quiet = true;
        longjmp(e->Jump, 1);
    }
    if (!C->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(C);
    auto* p = reinterpret_cast<TProgress*>(C->progress);
    if (d->input_scan_number > kMaxScans) {
        std::snprintf(e->Message, sizeof e->Message, "Too many scans in JPEG file");
        longjmp(e->Jump, 1);
    }
    if (d->input_scan_number != p->LastScan && d->comps_in_scan > 0) {
        p->LastScan = d->input_scan_number;
        for (int i = 0; i < d->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i)
            if (const jpeg_component_info* c = d->cur_comp_info[i])
                p->BlockVisits += uint64_t(c->width_in_blocks) * c->height_in_blocks;
        if (p->BlockVisits > p->MaxBlockVisits) {
            std::snprintf(e->Message, sizeof e->Message, "Too many scans in JPEG file for its size");
            longjmp(e->Jump, 1);
        }
    }
}

void InitError(TJpegError& E, jpeg_common_struct* C)
{
    C->err = jpeg_std_error(&E.Pub);
    E.Pub.error_exit = ErrorExit;
    E.Pub.emit_message = EmitMessage;
    E.Message[0] = 0;
    E.SawEnd = false;
    E.Damaged = false;
    E.Warned = false;
    E.Quiet = false;
    E.Base = nullptr;
}

struct TReadState {
    jpeg_decompress_struct Info;
    TJpegError Err;
    TProgress Progress;
    TImgInfo Img;
    JOCTET* Icc;
    unsigned int IccLen;
    bool Created;
};

void CleanRead(TReadState* S)
{
    if (S->Created)
        jpeg_destroy_decompress(&S->Info);
    FreeImg(S->Img);
    std::free(S->Icc);
    S->Icc = nullptr;
}

// Decodes into Rec->Img, or, given Bands, into a block of Bands->BandRows
// rows handed to Bands->Band as each band is complete.
int ReadJpeg(TReadState* S, TKodexReadJPEG* Rec, const uint8_t* Data, size_t Size, TKodexReadJPEGBands* Bands)
{
    InitError(S->Err, reinterpret_cast<jpeg_common_struct*>(&S->Info));
    if (setjmp(S->Err.Jump)) {
        if (!S->Err.Quiet && S->Err.Message[0])
            kodex::ReportError("", "%s", S->Err.Message);
        CleanRead(S);
        return 0;
    }
    jpeg_create_decompress(&S->Info);
    S->Created = true;
    S->Progress.Pub.progress_monitor = ProgressMonitor;
    S->Progress.LastScan = 0;
    S->Progress.MaxBlockVisits = UINT64_MAX;
    S->Info.progress = &S->Progress.Pub;
    jpeg_mem_src(&S->Info, Data, static_cast<unsigned long>(Size));
    S->Err.Base = Data;
    if (Rec->ICC)
        jpeg_save_markers(&S->Info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&S->Info, TRUE);
    // A header that claims more than the file's data can describe is damage,
    // whatever the size it would decode to: said before the size or the
    // budget are looked at, as the checks that never decode say it.
    if (!kodex::JpegFramePlausible(Data, Size, S->Info.image_width, S->Info.image_height, S->Info.arith_code,
                                   S->Err.Message, sizeof S->Err.Message))
        longjmp(S->Err.Jump, 1);
    uint64_t blocks = 0;
    for (int c = 0; c < S->Info.num_components; ++c)
        blocks += uint64_t(S->Info.comp_info[c].width_in_blocks) * S->Info.comp_info[c].height_in_blocks;
    S->Progress.MaxBlockVisits = kPassesPerPicture * blocks + kFreeBlockVisits;

    const uint32_t den = Rec->Denominator;
    S->Info.scale_num = 1;
    S->Info.scale_denom = (den == 2 || den == 4 || den == 8) ? den : 1;
    S->Info.dct_method = Rec->DCTMethod == 2 ? JDCT_FLOAT : JDCT_ISLOW;
    const bool ycc = S->Info.jpeg_color_space == JCS_YCbCr && (Rec->Flags & KODEX_JPEG_YCBCR) != 0;
    switch (S->Info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        S->Info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        S->Info.out_color_space = JCS_CMYK;
        break;
    case JCS_YCbCr:
        S->Info.out_color_space = ycc ? JCS_YCbCr : JCS_EXT_BGR;
        break;
    default:
        S->Info.out_color_space = JCS_EXT_BGR;
        break;
    }
    jpeg_calc_output_dimensions(&S->Info);
    const uint32_t ch = static_cast<uint32_t>(S->Info.output_components);
    if (ch != 1 && ch != 3 && ch != 4) {
        std::snprintf(S->Err.Message, sizeof S->Err.Message, "Unsupported JPEG colour space");
        longjmp(S->Err.Jump, 1);
    }
    // A file of several scans is first taken in whole, as coefficients: two
    // bytes for each of the 64 of every block (rounded up to whole MCUs).
    uint64_t coefficients = 0;
    if (jpeg_has_multiple_scans(&S->Info))
        for (int c = 0; c < S->Info.num_components; ++c) {
            const jpeg_component_info& k = S->Info.comp_info[c];
            const uint64_t bw = (uint64_t(k.width_in_blocks) + k.h_samp_factor - 1) / k.h_samp_factor * k.h_samp_factor;
            const uint64_t bh =
                (uint64_t(k.height_in_blocks) + k.v_samp_factor - 1) / k.v_samp_factor * k.v_samp_factor;
            coefficients += bw * bh * sizeof(JBLOCK);
        }
    const uint32_t h = S->Info.output_height;
    // The budget counts what is held here: the picture, or in bands one band,
    // beside the coefficients. (The caller counts what it keeps of the bands.)
    const uint32_t blockRows = Bands ? std::min(std::max(Bands->BandRows, 1u), h) : h;
    // Every row is decoded into the block before it is handed over.
    if (!kodex::NewImage(S->Img, S->Info.output_width, blockRows, ch, coefficients, true)) {
        S->Err.Quiet = true; // NewImage said why
        longjmp(S->Err.Jump, 1);
    }
    if (Bands) {
        Bands->Width = S->Img.Width;
        Bands->Height = h;
        Bands->Channels = ch;
        Bands->Held = uint64_t(S->Img.Bpl) * BlockRows(S->Img.Height) + coefficients;
        if (!Bands->Band(Bands->Context, nullptr, 0)) {
            S->Err.Quiet = true; // the caller cannot take the picture and says why
            longjmp(S->Err.Jump, 1);
        }
    }
    // libjpeg's own large buffers stay within what is left (with room for
    // its small ones, which it counts too).
    const uint64_t left = kodex::PictureBudget() - uint64_t(S->Img.Bpl) * BlockRows(S->Img.Height);
    S->Info.mem->max_memory_to_use = long(std::min<uint64_t>(left + (uint64_t(32) << 20), uint64_t(LONG_MAX)));
    jpeg_start_decompress(&S->Info);
    // A progressive file has taken in all its scans by now. When its data
    // ended before every coefficient was complete, it was cut between two
    // scans and would decode to a blurred picture.
    if (S->Info.progressive_mode && S->Err.SawEnd && S->Info.coef_bits) {
        for (int c = 0; c < S->Info.num_components && !S->Err.Damaged; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                if (S->Info.coef_bits[c][k] != 0) {
                    SetDamaged(&S->Err, reinterpret_cast<j_common_ptr>(&S->Info), "Premature end of JPEG file");
                    break;
                }
    }
    while (S->Info.output_scanline < h && !S->Err.Damaged) {
        const uint32_t top = S->Info.output_scanline;
        const uint32_t rows = std::min(blockRows, h - top);
        TImgInfo band = S->Img;
        band.Height = rows;
        while (S->Info.output_scanline < top + rows && !S->Err.Damaged) {
            JSAMPROW row = MemRow(band, top + rows - 1 - S->Info.output_scanline);
            if (jpeg_read_scanlines(&S->Info, &row, 1) != 1)
                break;
        }
        if (S->Info.output_scanline < top + rows || S->Err.Damaged)
            break;
        if (Bands && !Bands->Band(Bands->Context, &band, top)) {
            S->Err.Quiet = true; // the caller stopped and says why
            longjmp(S->Err.Jump, 1);
        }
    }
    if (S->Err.Damaged || S->Info.output_scanline < h) {
        if (!S->Err.Message[0])
            std::snprintf(S->Err.Message, sizeof S->Err.Message, "Premature end of JPEG file");
        longjmp(S->Err.Jump, 1);
    }
    // The profile's markers go with the decoder's memory when it finishes.
    if (Rec->ICC && !jpeg_read_icc_profile(&S->Info, &S->Icc, &S->IccLen))
        S->Icc = nullptr;
    // Read on to the end marker: what is left behind the last row tells a
    // whole scan from one whose codes ran out of step. A file of several
    // scans was read to its end before its first row; a single scan leaves
    // at most the end of its last row of blocks. A missing end marker is no
    // reason to throw the picture away; a marker that makes no sense behind
    // the scan (a second start of image) fails the file, as it does a file
    // of several scans, which meets it before its first row.
    jpeg_finish_decompress(&S->Info);
    if (S->Err.Damaged)
        longjmp(S->Err.Jump, 1);
    if (S->Icc && !kodex::StoreICC(Rec->ICC, S->Icc, S->IccLen, "ICC Profile")) {
        std::snprintf(S->Err.Message, sizeof S->Err.Message, "Out of memory");
        longjmp(S->Err.Jump, 1);
    }
    jpeg_destroy_decompress(&S->Info);
    S->Created = false;
    std::free(S->Icc);
    S->Icc = nullptr;
    if (!Bands) {
        Rec->Img = S->Img;
        S->Img = TImgInfo{};
    } else {
        FreeImg(S->Img); // the band block is the library's own
    }
    Rec->Flags &= ~uint32_t(KODEX_JPEG_YCBCR | KODEX_JPEG_WARNED);
    Rec->Flags |= (ycc ? uint32_t(KODEX_JPEG_YCBCR) : 0u) | (S->Err.Warned ? uint32_t(KODEX_JPEG_WARNED) : 0u);
    return 1;
}

// Destinations: a file descriptor through a 64 KiB buffer, or a fixed buffer.
struct TFdDest {
    jpeg_destination_mgr Pub;
    int Fd;
    JOCTET Buffer[65536];
};

void FdInit(j_compress_ptr C)
{
    auto* d = reinterpret_cast<TFdDest*>(C->dest);
    d->Pub.next_output_byte = d->Buffer;
    d->Pub.free_in_buffer = sizeof d->Buffer;
}

boolean FdEmpty(j_compress_ptr C)
{
    auto* d = reinterpret_cast<TFdDest*>(C->dest);
    if (!platform::FdWriteAll(d->Fd, d->Buffer, sizeof d->Buffer))
        ERREXIT(C, JERR_FILE_WRITE);
    FdInit(C);
    return TRUE;
}

void FdTerm(j_compress_ptr C)
{
    auto* d = reinterpret_cast<TFdDest*>(C->dest);
    if (!platform::FdWriteAll(d->Fd, d->Buffer, sizeof d->Buffer - d->Pub.free_in_buffer))
        ERREXIT(C, JERR_FILE_WRITE);
}

struct TMemDest {
    jpeg_destination_mgr Pub;
    JOCTET* Buffer;
    size_t Capacity;
};

void MemInit(j_compress_ptr C)
{
    auto* d = reinterpret_cast<TMemDest*>(C->dest);
    d->Pub.next_output_byte = d->Buffer;
    d->Pub.free_in_buffer = d->Capacity;
}

boolean MemEmpty(j_compress_ptr C)
{
    auto* e = reinterpret_cast<TJpegError*>(C->err);
    std::snprintf(e->Message, sizeof e->Message, "The JPEG data does not fit the output buffer");
    longjmp(e->Jump, 1);
}

void MemTerm(j_compress_ptr)
{
}

struct TWriteState {
    jpeg_compress_struct Info;
    TJpegError Err;
    bool Created;
};

// Writes Rec's picture to the destination installed by Install.
template <typename TInstall>
int WriteJpeg(TWriteState* S, const TKodexWriteJPEG* Rec, const uint8_t* Exif, uint32_t ExifSize, TInstall Install)
{
    InitError(S->Err, reinterpret_cast<jpeg_common_struct*>(&S->Info));
    if (setjmp(S->Err.Jump)) {
        kodex::ReportError("", "%s", S->Err.Message);
        if (S->Created)
            jpeg_destroy_compress(&S->Info);
        return 0;
    }
    const TImgInfo& img = Rec->Img;
    const bool thumb = (Rec->Flags & KODEX_WJPEG_THUMBNAIL) != 0;
    auto fail = [&](const char* Why) {
        std::snprintf(S->Err.Message, sizeof S->Err.Message, "%s", Why);
        longjmp(S->Err.Jump, 1);
    };
    if (!kodex::ValidImage(img, 1, 3) || img.Channels == 2)
        fail("JPEG output needs a 1- or 3-channel picture");
    if (img.Width > JPEG_MAX_DIMENSION || img.Height > JPEG_MAX_DIMENSION)
        fail("The picture is too large for JPEG");
    if (Exif && (ExifSize == 0 || ExifSize > 65533))
        fail("The EXIF block does not fit one JPEG marker");
    jpeg_create_compress(&S->Info);
    S->Created = true;
    Install(&S->Info);
    S->Info.image_width = img.Width;
    S->Info.image_height = img.Height;
    S->Info.input_components = static_cast<int>(img.Channels);
    S->Info.in_color_space = img.Channels == 1 ? JCS_GRAYSCALE
        : (Rec->Flags & KODEX_WJPEG_YCBCR)     ? JCS_YCbCr
                                               : JCS_EXT_BGR;
    jpeg_set_defaults(&S->Info);
    const int q = Rec->Quality < 1 ? 1 : Rec->Quality > 100 ? 100 : Rec->Quality;
    jpeg_set_quality(&S->Info, q, TRUE);
    if (img.Channels == 3) {
        const int hs = Rec->HSampling, vs = Rec->VSampling;
        S->Info.comp_info[0].h_samp_factor = (hs >= 1 && hs <= 4) ? hs : 2;
        S->Info.comp_info[0].v_samp_factor = (vs >= 1 && vs <= 4) ? vs : 2;
        for (int c = 1; c < 3; ++c)
            S->Info.comp_info[c].h_samp_factor = S->Info.comp_info[c].v_samp_factor = 1;
    }
    S->Info.smoothing_factor = Rec->Smoothing < 0 ? 0 : Rec->Smoothing > 100 ? 100 : Rec->Smoothing;
    S->Info.dct_method = Rec->DCTMethod == 2 ? JDCT_FLOAT : JDCT_ISLOW;
    S->Info.optimize_coding = TRUE;
    if (Rec->Progressive)
        jpeg_simple_progression(&S->Info);
    if (thumb) {
        S->Info.write_JFIF_header = FALSE;
    } else if (Rec->DensityUnit == 1 && Rec->XDensity > 0 && Rec->YDensity > 0) {
        S->Info.density_unit = 1;
        S->Info.X_density = static_cast<UINT16>(Rec->XDensity > 65535 ? 65535 : Rec->XDensity);
        S->Info.Y_density = static_cast<UINT16>(Rec->YDensity > 65535 ? 65535 : Rec->YDensity);
    } else {
        S->Info.density_unit = 0;
        S->Info.X_density = S->Info.Y_density = 1;
    }
    jpeg_start_compress(&S->Info, TRUE);
    if (Exif && !thumb)
        jpeg_write_marker(&S->Info, JPEG_APP0 + 1, Exif, ExifSize);
    if (const TICCInfo* icc = thumb ? nullptr : kodex::ProfileFor(Rec->ICC, img.Channels == 1))
        jpeg_write_icc_profile(&S->Info, icc->Profile, icc->Len);
    while (S->Info.next_scanline < img.Height) {
        JSAMPROW row = MemRow(img, img.Height - 1 - S->Info.next_scanline);
        jpeg_write_scanlines(&S->Info, &row, 1);
    }
    jpeg_finish_compress(&S->Info);
    jpeg_destroy_compress(&S->Info);
    S->Created = false;
    return 1;
}

} // namespace

KODEX_EXPORT int read_jpeg(TKodexReadJPEG* Rec, const uint8_t* Data, size_t Size)
{
    if (!Rec || !Data || Size < 4 || Size > 0xFFFFFFFFu) {
        kodex::ReportError("", "Not a JPEG file");
        return 0;
    }
    Rec->Img = TImgInfo{};
    auto* s = static_cast<TReadState*>(std::calloc(1, sizeof(TReadState)));
    if (!s)
        return 0;
    const int r = ReadJpeg(s, Rec, Data, Size, nullptr);
    std::free(s);
    return r;
}

KODEX_EXPORT int read_jpeg_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size)
{
    if (!Rec || !Rec->Band || !Data || Size < 4 || Size > 0xFFFFFFFFu) {
        kodex::ReportError("", "Not a JPEG file");
        return 0;
    }
    Rec->Width = Rec->Height = Rec->Channels = 0;
    Rec->Held = 0;
    TKodexReadJPEG whole{};
    whole.Denominator = Rec->Denominator;
    whole.Flags = Rec->Flags;
    whole.DCTMethod = Rec->DCTMethod;
    whole.ICC = Rec->ICC;
    auto* s = static_cast<TReadState*>(std::calloc(1, sizeof(TReadState)));
    if (!s)
        return 0;
    const int r = ReadJpeg(s, &whole, Data, Size, Rec);
    std::free(s);
    if (r)
        Rec->Flags = whole.Flags;
    return r;
}

KODEX_EXPORT int write_jpeg(const TKodexWriteJPEG* Rec, int Fd, const uint8_t* Exif, uint32_t ExifSize)
{
    if (!Rec || Fd < 0)
        return 0;
    auto* s = static_cast<TWriteState*>(std::calloc(1, sizeof(TWriteState)));
    auto* d = static_cast<TFdDest*>(std::calloc(1, sizeof(TFdDest)));
    int r = 0;
    if (s && d) {
        d->Fd = Fd;
        d->Pub.init_destination = FdInit;
        d->Pub.empty_output_buffer = FdEmpty;
        d->Pub.term_destination = FdTerm;
        r = WriteJpeg(s, Rec, Exif, ExifSize, [d](j_compress_ptr C) { C->dest = &d->Pub; });
    }
    std::free(d);
    std::free(s);
    return r;
}

KODEX_EXPORT int write_jpeg_to_memory(const TKodexWriteJPEG* Rec, uint8_t* Buffer, size_t* Size, const uint8_t* Exif,
                                      uint32_t ExifSize)
{
    if (!Rec || !Buffer || !Size)
        return 0;
    auto* s = static_cast<TWriteState*>(std::calloc(1, sizeof(TWriteState)));
    TMemDest d{};
    d.Buffer = Buffer;
    d.Capacity = *Size;
    d.Pub.init_destination = MemInit;
    d.Pub.empty_output_buffer = MemEmpty;
    d.Pub.term_destination = MemTerm;
    int r = 0;
    if (s)
        r = WriteJpeg(s, Rec, Exif, ExifSize, [&d](j_compress_ptr C) { C->dest = &d.Pub; });
    *Size = r ? d.Capacity - d.Pub.free_in_buffer : 0;
    std::free(s);
    return r;
}
