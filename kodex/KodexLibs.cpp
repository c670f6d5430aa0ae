// The format libraries only some pictures need (TIFF, WebP, HEIF) are loaded
// with the first picture that needs them, not with this library: their own
// start-up, and that of everything they pull in, would otherwise be paid by
// every run, most of which read nothing but JPEG.
//
// Calls into them are linked against jump stubs defined here under the
// libraries' own names; each stub jumps through a slot that NeedLibrary fills
// from dlsym. A reader calls NeedLibrary before its first call into the
// library (a slot not yet filled points at a trap that ends the program with
// a message, never at address 0).
#include "kodex/KodexCommon.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

// The functions called, as the linker sees them (inline helpers in the
// headers call the ...Internal ones).
// clang-format off
#define KODEX_TIFF_SYMBOLS(X)                                                                                      \
    X(TIFFClientOpenExt) X(TIFFClose) X(TIFFGetField) X(TIFFGetFieldDefaulted) X(TIFFGetStrileByteCountWithErr)     \
    X(TIFFGetStrileOffsetWithErr) X(TIFFIsTiled) X(TIFFNumberOfStrips) X(TIFFNumberOfTiles) X(TIFFOpenOptionsAlloc) \
    X(TIFFOpenOptionsFree) X(TIFFOpenOptionsSetErrorHandlerExtR) X(TIFFOpenOptionsSetMaxSingleMemAlloc)             \
    X(TIFFOpenOptionsSetWarningHandlerExtR) X(TIFFRGBAImageBegin) X(TIFFRGBAImageEnd) X(TIFFRGBAImageGet)           \
    X(TIFFRGBAImageOK) X(TIFFReadScanline) X(TIFFScanlineSize) X(TIFFTileSize64) X(TIFFVStripSize64) X(_TIFFfree)   \
    X(_TIFFmalloc)
#define KODEX_WEBP_SYMBOLS(X)                                                                                      \
    X(WebPDecodeBGRAInto) X(WebPDecodeBGRInto) X(WebPGetFeaturesInternal) X(WebPAnimDecoderDelete)                   \
    X(WebPAnimDecoderGetInfo) X(WebPAnimDecoderGetNext) X(WebPAnimDecoderNewInternal)                               \
    X(WebPAnimDecoderOptionsInitInternal) X(WebPDemuxDelete) X(WebPDemuxGetChunk) X(WebPDemuxInternal)              \
    X(WebPDemuxReleaseChunkIterator)
#define KODEX_HEIF_SYMBOLS(X)                                                                                      \
    X(heif_check_filetype) X(heif_context_alloc) X(heif_context_free) X(heif_context_get_primary_image_handle)      \
    X(heif_context_read_from_memory_without_copy) X(heif_context_set_maximum_image_size_limit)                     \
    X(heif_decode_image) X(heif_have_decoder_for_format)                                                           \
    X(heif_image_get_height) X(heif_image_get_plane_readonly) X(heif_image_get_width)                              \
    X(heif_image_handle_get_height) X(heif_image_handle_get_list_of_metadata_block_IDs)                            \
    X(heif_image_handle_get_list_of_thumbnail_IDs) X(heif_image_handle_get_metadata)                               \
    X(heif_image_handle_get_metadata_size) X(heif_image_handle_get_raw_color_profile)                              \
    X(heif_image_handle_get_raw_color_profile_size) X(heif_image_handle_get_thumbnail)                             \
    X(heif_image_handle_get_width) X(heif_image_handle_has_alpha_channel) X(heif_image_handle_release)             \
    X(heif_image_release) X(heif_init)
// clang-format on

extern "C" __attribute__((visibility("hidden"), used, noreturn)) void kodex_lib_unloaded()
{
    std::fputs("codec library: a format library was called before it was loaded\n", stderr);
    std::abort();
}

// One slot and one stub per function. The stub keeps every argument register
// as it is (including %al of a variadic call) and jumps on.
#define KODEX_STUB(Name)                                                                                               \
    extern "C" __attribute__((visibility("hidden"))) void* kodex_slot_##Name;                                          \
    __attribute__((used)) void* kodex_slot_##Name = reinterpret_cast<void*>(&kodex_lib_unloaded);                      \
    asm(".text\n\t.p2align 4\n\t.globl " #Name "\n\t.hidden " #Name "\n\t.type " #Name ", @function\n" #Name           \
        ":\n\tendbr64\n\tjmp *kodex_slot_" #Name "(%rip)\n\t.size " #Name ", .-" #Name "\n");
KODEX_TIFF_SYMBOLS(KODEX_STUB)
KODEX_WEBP_SYMBOLS(KODEX_STUB)
KODEX_HEIF_SYMBOLS(KODEX_STUB)

namespace kodex {

namespace {

struct TSymbol {
    const char* Name;
    void** Slot;
};
#define KODEX_SYMBOL(Name) {#Name, &kodex_slot_##Name},
const TSymbol TiffSymbols[] = {KODEX_TIFF_SYMBOLS(KODEX_SYMBOL)};
const TSymbol WebPSymbols[] = {KODEX_WEBP_SYMBOLS(KODEX_SYMBOL)};
const TSymbol HeifSymbols[] = {KODEX_HEIF_SYMBOLS(KODEX_SYMBOL)};

struct TLoad {
    const char* SoName;
    const TSymbol* First;
    const TSymbol* Last;
    std::once_flag Once;
    bool Loaded = false;
    std::string Why; // when not loaded
};

// The sonames are the ones the build linked against (set by CMake). WebP's
// demultiplexer library brings the decoder library with it.
TLoad& LoadOf(TLibrary Lib)
{
    static TLoad Loads[] = {
        {KODEX_SONAME_TIFF, std::begin(TiffSymbols), std::end(TiffSymbols), {}, false, {}},
        {KODEX_SONAME_WEBP, std::begin(WebPSymbols), std::end(WebPSymbols), {}, false, {}},
        {KODEX_SONAME_HEIF, std::begin(HeifSymbols), std::end(HeifSymbols), {}, false, {}},
    };
    return Loads[int(Lib)];
}

void Load(TLoad& L)
{
    void* h = dlopen(L.SoName, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = dlerror();
        L.Why = e ? e : L.SoName;
        return;
    }
    for (const TSymbol* s = L.First; s != L.Last; ++s)
        if (!dlsym(h, s->Name)) {
            L.Why = std::string(L.SoName) + ": no " + s->Name + " in it";
            dlclose(h);
            return;
        }
    for (const TSymbol* s = L.First; s != L.Last; ++s)
        *s->Slot = dlsym(h, s->Name);
    L.Loaded = true;
}

} // namespace

bool NeedLibrary(TLibrary Lib, bool Report)
{
    TLoad& L = LoadOf(Lib);
    std::call_once(L.Once, Load, L);
    if (!L.Loaded && Report)
        ReportError("", "Cannot load %s", L.Why.c_str());
    return L.Loaded;
}

} // namespace kodex
