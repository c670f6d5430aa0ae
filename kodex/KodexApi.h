// The codec library's C interface (libkodex.so in the program's bin/ folder).
//
// Every entry point uses the C calling convention and returns non-zero for
// success, 0 for failure. Failures are also reported through the error
// callback (set_errormsg_callback) with a short English reason.
//
// Pixels handed back: a TImgInfo whose block comes from platform::PageAlloc
// with the CalcBpl stride and room for BlockRows(Height) rows, rows bottom-up
// (memory row 0 is the bottom picture row), channels blue, green, red (alpha);
// 1 channel is gray, 2 channels gray then alpha. The caller owns the block and
// frees it with FreeImg. ICC profiles handed back are PageAlloc blocks too,
// freed with FreeICC. On failure nothing is handed back (Mem and Profile stay
// null) and nothing leaks.
//
// The library accepts concurrent calls on different records from any thread.
// Strings (paths, extensions, messages) are UTF-8.
#pragma once
#include "kodex/KodexImage.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#define KODEX_EXPORT extern "C" __attribute__((visibility("default")))

// read_png flags.
enum : uint32_t {
    KODEX_PNG_FLATTEN = 1,            // in: the caller flattens alpha onto BGColor afterwards
    KODEX_PNG_OWN_BG = 0x10000,       // out: BGColor now holds the file's own background (bKGD)
    KODEX_PNG_GRAYALPHA = 0x20000,    // out (set by the bridge): the source was gray with alpha
    KODEX_PNG_RELEASE_INPUT = 0x40000 // in (read_png_bands, read_tiff_bands): the data is a read-only file
                                      // mapping whose pages may be given back once the decoder is past them
};

// read_jpeg flags.
enum : uint32_t {
    KODEX_JPEG_PASS = 1,   // the caller's pass-through flag; the library ignores it
    KODEX_JPEG_YCBCR = 2,  // in: YCbCr pixels are accepted; out: the pixels are YCbCr
    KODEX_JPEG_WARNED = 4, // out: the decoder warned about the file's data (a few stray bytes
                           // before its end marker, no end marker) and still decoded the whole
                           // picture; a file it finds damaged fails instead
};

// write_jpeg flags.
enum : uint32_t {
    KODEX_WJPEG_YCBCR = 2,          // the 3-channel pixels are Y, Cb, Cr (in B, G, R places)
    KODEX_WJPEG_THUMBNAIL = 0x10000 // EXIF thumbnail: no JFIF header, no markers
};

struct TKodexReadPNG {
    TImgInfo Img;     // out: 1, 2, 3 or 4 channels, 8 bits (16-bit files are reduced)
    uint32_t Flags;   // in and out, KODEX_PNG_*
    TBGColor BGColor; // in; replaced by the file's bKGD colour (0..255) when it has one
    TICCInfo* ICC;    // in: record to receive the iCCP profile, or null
};

struct TKodexReadJPEG {
    TImgInfo Img;         // out: 1 (gray), 3 (BGR or YCbCr) or 4 channels (CMYK as stored:
                          // Adobe files hold inverted samples)
    uint32_t Denominator; // in: 1, 2, 4 or 8: decode at 1/Denominator of the size (rounded up)
    uint32_t Flags;       // in and out, KODEX_JPEG_*
    uint32_t DCTMethod;   // in: 2 floating point, anything else the accurate integer method
    TICCInfo* ICC;        // in: record to receive the APP2 profile, or null
};

// read_wic, read_wic_thumbnail, read_wic_preview: TIFF, GIF (first frame),
// WebP, HEIF and (where the build decodes it) AVIF; read_wic and
// read_wic_thumbnail also read PNG (gray with alpha then arrives as 4 channels).
struct TKodexReadWIC {
    TImgInfo Img;  // out: 1, 3 or 4 channels, bottom-up like every other read
    TICCInfo* ICC; // in: record to receive the embedded profile, or null
};

// read_jpeg_bands: the picture handed over in bands of rows, top to bottom,
// each as soon as it is decoded, so that the caller never needs the whole
// picture at once. Band is a picture of its own (rows bottom-up, memory row 0
// the band's bottom row) whose top row is picture row Top; its block is the
// library's and is overwritten by the next band. Before any decoding, once
// the size is known, the callback is called with a null Band: the record's
// Width, Height, Channels and Held are set, and the caller plans (or
// refuses) what it will keep. Returning 0 from the callback stops the decode
// (read_jpeg_bands then returns 0 and reports nothing: the caller says why);
// the callback must not throw. A file found damaged after some bands were
// handed over fails as a whole: the caller throws away what it was given.
// The memory budget counts what the library holds while it hands the bands
// over (Held): the band block, and for a file of several scans its
// coefficients; what the caller keeps of the bands is the caller's to count.
typedef int (*TKodexJPEGBandProc)(void* Context, const TImgInfo* Band, uint32_t Top);

struct TKodexReadJPEGBands {
    uint32_t Width, Height, Channels; // out: the decoded picture, set before the first call
    uint32_t Denominator;             // in, Flags in and out, DCTMethod and ICC in: as for read_jpeg
    uint32_t Flags;
    uint32_t DCTMethod;
    TICCInfo* ICC;     // the profile is handed back after the last band
    uint32_t BandRows; // in: rows per band (the last may have fewer); 0 counts as 1
    TKodexJPEGBandProc Band;
    void* Context;
    uint64_t Held; // out, set before the first call: bytes the library holds until it returns
};

struct TKodexWritePNG {
    TImgInfo Img;           // 1 (gray, or indices with a palette), 2, 3 or 4 channels
    int32_t Level;          // zlib level 0..9
    int32_t Filter;         // libpng's filter flags (PNG_FILTER_NONE 0x08 .. PNG_FILTER_PAETH 0x80);
                            // 0 leaves the choice to the library
    TICCInfo* ICC;          // profile to embed as iCCP, or null
    const uint8_t* Palette; // red, green, blue triplets, or null
    int32_t PaletteCount;   // 1..256 entries; every index of Img must be below it
    int32_t FourBit;        // -1: write 4-bit indices (PaletteCount <= 16)
    int32_t Transparent;    // -1: palette index 0 is fully transparent
    int32_t PhysX, PhysY;   // pHYs pixels per unit
    int32_t PhysMode;       // -1 no pHYs; 0 unit unknown (aspect only); 1 metre
    int32_t Threads;        // threads the compression may use; below 2 only the caller's
};

struct TKodexWriteJPEG {
    TImgInfo Img;      // 1 or 3 channels
    int32_t Quality;   // 1..100
    int32_t HSampling; // luma sampling factors 1..4
    int32_t VSampling;
    int32_t Smoothing; // 0..100
    uint32_t Flags;    // KODEX_WJPEG_*
    int32_t DCTMethod; // 2 floating point, else integer
    TICCInfo* ICC;     // profile to embed (APP2), or null
    int32_t XDensity, YDensity;
    int32_t DensityUnit; // 1 dots per inch; 0 aspect only
    int32_t Progressive; // non-zero: progressive scans
};

// Header facts of a file (read_wic_info) and the input of create_exif.
struct TKodexInfo {
    uint32_t Width, Height;
    double XResolution, YResolution; // dots per inch; 0 when unknown
    uint16_t Orientation;            // EXIF orientation 1..8; 0 when absent
    uint16_t Reserved;
    uint32_t HasExif;  // non-zero: the file holds an EXIF block
    char DateTime[20]; // "YYYY:MM:DD hh:mm:ss", zero-terminated; empty when absent
    uint32_t Padding;
};
static_assert(sizeof(TKodexInfo) == 56, "the info record keeps its 56 bytes");

typedef void (*TKodexErrorCallback)(const char* FileName, const char* Message);
typedef void (*TKodexExtensionCallback)(const char* Extension);

// Decoders: Rec in and out, Data/Size the whole file in memory.
KODEX_EXPORT int read_png(TKodexReadPNG* Rec, const uint8_t* Data, size_t Size);
KODEX_EXPORT int read_jpeg(TKodexReadJPEG* Rec, const uint8_t* Data, size_t Size);
KODEX_EXPORT int read_jpeg_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size);
// A PNG handed over in bands as read_jpeg_bands does (Denominator and
// DCTMethod unused; Flags out 0; the profile is stored before the first
// band). Pictures without interlacing are decoded a band at a time; an
// interlaced one is decoded whole first (and Held says so).
KODEX_EXPORT int read_png_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size);
// A TIFF (its first picture) handed over in bands as read_jpeg_bands does
// (Denominator and DCTMethod unused; Flags out 0; the profile is stored after
// the last band): strip by strip, or a row of tiles at a time. The same
// pixels as read_wic, and the same verdict on a damaged file.
KODEX_EXPORT int read_tiff_bands(TKodexReadJPEGBands* Rec, const uint8_t* Data, size_t Size);
KODEX_EXPORT int read_wic(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size);
// A small picture for the file list: the file's embedded thumbnail (HEIF),
// else the picture shrunk by a whole factor to a long side of at least 160
// pixels (box average). Formats as read_wic, within the picture budget.
KODEX_EXPORT int read_wic_thumbnail(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size);
// The same picture as read_wic (kept for the entry table; the program does not call it).
KODEX_EXPORT int read_wic_preview(TKodexReadWIC* Rec, const uint8_t* Data, size_t Size);
// Header probe of a file by path (JPEG, PNG and every read_wic format): size,
// resolution, EXIF orientation and shooting date (DateTimeOriginal, else DateTime).
KODEX_EXPORT int read_wic_info(const char* FileName, TKodexInfo* Info);

// Encoders. Fd is an open, writable file descriptor; the library writes from
// its current position and neither closes nor syncs it.
KODEX_EXPORT int write_png(const TKodexWritePNG* Rec, int Fd);
// Exif/ExifSize: an APP1 payload starting with "Exif\0\0" (at most 65533
// bytes) written right after the JFIF header, or null and 0.
KODEX_EXPORT int write_jpeg(const TKodexWriteJPEG* Rec, int Fd, const uint8_t* Exif, uint32_t ExifSize);
// The same into Buffer. *Size holds the capacity on entry and the bytes written
// on return; a picture that does not fit fails (and *Size is 0).
KODEX_EXPORT int write_jpeg_to_memory(const TKodexWriteJPEG* Rec, uint8_t* Buffer, size_t* Size, const uint8_t* Exif,
                                      uint32_t ExifSize);

// Builds an EXIF block for a source that has none.
//   SrcFileName  the source file (UTF-8 path); when it is a file whose own
//                metadata the library reads (TIFF, WebP, HEIF, PNG eXIf), its
//                shooting date and orientation are used when Info has none.
//                May be null.
//   Info         what to write (zeros mean "leave out"): Width/Height become
//                PixelXDimension/PixelYDimension, XResolution/YResolution
//                (dots per inch) the IFD0 resolution with unit inch, Orientation
//                the IFD0 orientation, DateTime DateTimeOriginal. HasExif and
//                the padding are ignored. IFD0 always carries Software "Vestro".
//   Thumb/ThumbSize  a baseline JPEG to place as the IFD1 thumbnail, or null
//                and 0 (then IFD0's next-IFD offset is 0, so the caller may
//                append its own IFD1 at the end of the segment).
//   Out/Capacity the output buffer. On success Out holds, big-endian
//                ("MM"): SOI (FF D8), then the APP1 marker (FF E1), its
//                2-byte length, "Exif\0\0" and the TIFF structure; *OutSize is
//                the number of bytes written (4 + APP1 length).
// Fails (0, *OutSize 0, Out untouched past Capacity) when the block would not
// fit Capacity or exceed one segment (65533 payload bytes), or when an
// argument is null.
KODEX_EXPORT int create_exif(const char* SrcFileName, const TKodexInfo* Info, const uint8_t* Thumb, uint32_t ThumbSize,
                             uint8_t* Out, uint32_t Capacity, uint32_t* OutSize);

// Calls Callback once for each extension read_wic decodes in this build, as
// ".tif" (lower case, with the point). Returns the number of calls.
KODEX_EXPORT int enumextensions(TKodexExtensionCallback Callback);

// Installs the error callback (null removes it). FileName is the path when
// the library knows it (read_wic_info, create_exif), else "". The callback may
// run on any thread that calls the library.
KODEX_EXPORT int set_errormsg_callback(TKodexErrorCallback Callback);

// Bytes one picture may take while it is decoded (its pixels and the
// decoder's own whole-picture buffers). A file that would need more fails
// with "picture too large" before anything large is allocated. 0 restores
// the library's default (half the machine's memory). Applies process-wide.
KODEX_EXPORT int set_picture_memory_limit(uint64_t Bytes);

// The flag that stops the decodes of the calling thread: while *Flag is
// true, a running decode gives up (0, nothing reported) as soon as the
// decoder looks at it, between rows or scans. Null removes it. The flag
// must outlive its use on this thread.
KODEX_EXPORT int set_cancel_flag(const std::atomic<bool>* Flag);

// Pixel blocks the library makes for pictures it writes whole come from, and
// blocks it frees go to, Take and Keep (the program's own platform::
// TakeKeptPages and KeepPages), so that a batch worker's next file takes
// pages the last one left. Null for both: the library maps its own.
KODEX_EXPORT int set_page_reuse(void* (*Take)(uint64_t Size, bool Grow), bool (*Keep)(void* P));

// Entry types, for the program's loader.
typedef int (*TKodexReadPNGProc)(TKodexReadPNG*, const uint8_t*, size_t);
typedef int (*TKodexReadJPEGProc)(TKodexReadJPEG*, const uint8_t*, size_t);
typedef int (*TKodexReadJPEGBandsProc)(TKodexReadJPEGBands*, const uint8_t*, size_t);
typedef int (*TKodexReadWICProc)(TKodexReadWIC*, const uint8_t*, size_t);
typedef int (*TKodexReadWICInfoProc)(const char*, TKodexInfo*);
typedef int (*TKodexWritePNGProc)(const TKodexWritePNG*, int);
typedef int (*TKodexWriteJPEGProc)(const TKodexWriteJPEG*, int, const uint8_t*, uint32_t);
typedef int (*TKodexWriteJPEGToMemoryProc)(const TKodexWriteJPEG*, uint8_t*, size_t*, const uint8_t*, uint32_t);
typedef int (*TKodexCreateExifProc)(const char*, const TKodexInfo*, const uint8_t*, uint32_t, uint8_t*, uint32_t,
                                    uint32_t*);
typedef int (*TKodexEnumExtensionsProc)(TKodexExtensionCallback);
typedef int (*TKodexSetErrorCallbackProc)(TKodexErrorCallback);
typedef int (*TKodexSetPictureMemoryLimitProc)(uint64_t);
typedef int (*TKodexSetCancelFlagProc)(const std::atomic<bool>*);
typedef int (*TKodexSetPageReuseProc)(void* (*)(uint64_t, bool), bool (*)(void*));
