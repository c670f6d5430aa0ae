#include "kodex/KodexCommon.h"

#include "platform/PageMemory.h"
#include "platform/SysInfo.h"

#include <atomic>
#include <pthread.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kodex {

namespace {
// The library's process-wide state.
struct TLibraryState {
    std::atomic<TKodexErrorCallback> ErrorCallback{nullptr};
    std::atomic<uint64_t> PictureMemoryLimit{0}; // 0: the default
    // Each thread's cancel flag, in a thread-specific key rather than a
    // thread_local: the library is loaded at run time, and its dynamic TLS
    // trips up the leak checker's thread scan.
    pthread_key_t CancelKey;
    pthread_once_t CancelKeyOnce = PTHREAD_ONCE_INIT;
};
TLibraryState Library;
void MakeCancelKey()
{
    pthread_key_create(&Library.CancelKey, nullptr);
}

// The profile's description: a v2 'desc' text (ASCII count + text) or the
// first record of a v4 'mluc' (UTF-16BE, kept when it is plain ASCII).
bool ProfileDescription(const uint8_t* P, uint64_t Len, char* Out, size_t OutSize)
{
    if (Len < 132)
        return false;
    const uint64_t count = Be32(P + 128);
    if (count > (Len - 132) / 12)
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        const uint8_t* t = P + 132 + i * 12;
        if (std::memcmp(t, "desc", 4) != 0)
            continue;
        const uint64_t off = Be32(t + 4), size = Be32(t + 8);
        if (off > Len || size > Len - off || size < 12)
            return false;
        const uint8_t* d = P + off;
        size_t n = 0;
        if (std::memcmp(d, "desc", 4) == 0) {
            uint64_t chars = Be32(d + 8);
            if (chars > size - 12)
                chars = size - 12;
            for (uint64_t k = 0; k < chars && n + 1 < OutSize && d[12 + k]; ++k)
                Out[n++] = static_cast<char>(d[12 + k]);
        } else if (std::memcmp(d, "mluc", 4) == 0 && size >= 28) {
            const uint64_t rlen = Be32(d + 20), roff = Be32(d + 24);
            if (roff > size || rlen > size - roff)
                return false;
            for (uint64_t k = 0; k + 1 < rlen && n + 1 < OutSize; k += 2) {
                const uint16_t c = uint16_t(d[roff + k] << 8 | d[roff + k + 1]);
                if (c == 0)
                    break;
                Out[n++] = c < 128 ? static_cast<char>(c) : '?';
            }
        } else {
            return false;
        }
        Out[n] = 0;
        return n > 0;
    }
    return false;
}
} // namespace

void ReportError(const char* FileName, const char* Fmt, ...)
{
    const TKodexErrorCallback cb = Library.ErrorCallback.load(std::memory_order_acquire);
    if (!cb)
        return;
    char msg[512];
    va_list ap;
    va_start(ap, Fmt);
    std::vsnprintf(msg, sizeof msg, Fmt, ap);
    va_end(ap);
    cb(FileName ? FileName : "", msg);
}

bool SizeAcceptable(uint64_t Width, uint64_t Height)
{
    return PictureSizeAcceptable(Width, Height);
}

uint64_t ImageBytes(uint64_t Width, uint64_t Height, uint32_t Channels)
{
    if (Width > (uint64_t(1) << 32) || Height > (uint64_t(1) << 32))
        return UINT64_MAX;
    const uint64_t bpl = CalcBpl(Width, Channels), rows = BlockRows(Height);
    return rows > UINT64_MAX / bpl ? UINT64_MAX : bpl * rows;
}

uint64_t PictureBudget()
{
    const uint64_t set = Library.PictureMemoryLimit.load(std::memory_order_relaxed);
    if (set)
        return set;
    const uint64_t ram = platform::PhysicalMemoryBytes();
    return ram ? ram / 2 : uint64_t(1) << 30;
}

bool WithinBudget(uint64_t Bytes)
{
    if (Bytes <= PictureBudget())
        return true;
    ReportError("", "picture too large");
    return false;
}

bool Cancelled()
{
    pthread_once(&Library.CancelKeyOnce, MakeCancelKey);
    const auto* flag = static_cast<const std::atomic<bool>*>(pthread_getspecific(Library.CancelKey));
    return flag && flag->load(std::memory_order_relaxed);
}

bool NewImage(TImgInfo& Img, uint64_t Width, uint64_t Height, uint32_t Channels, uint64_t Extra, bool RowsFilled)
{
    Img = TImgInfo{};
    if (!SizeAcceptable(Width, Height)) {
        ReportError("", "Unsupported picture size %llux%llu", (unsigned long long)Width, (unsigned long long)Height);
        return false;
    }
    const uint64_t bytes = ImageBytes(Width, Height, Channels);
    if (!WithinBudget(bytes > UINT64_MAX - Extra ? UINT64_MAX : bytes + Extra))
        return false;
    if (NewImgBlock(Img, Width, Height, Channels, CalcBpl(Width, Channels), RowsFilled ? Width * Channels : 0))
        return true;
    ReportError("", "Out of memory");
    return false;
}

bool StoreICC(TICCInfo* ICC, const uint8_t* Data, uint64_t Len, const char* Fallback)
{
    if (!ICC || !Data || Len == 0)
        return true;
    if (Len > 0xFFFFFFFFu)
        return false;
    auto* p = static_cast<uint8_t*>(platform::PageAlloc(Len));
    if (!p) {
        ReportError("", "Out of memory");
        return false;
    }
    std::memcpy(p, Data, Len);
    FreeICC(*ICC);
    ICC->Profile = p;
    ICC->Len = static_cast<uint32_t>(Len);
    std::memset(ICC->Name, 0, sizeof ICC->Name);
    if (!ProfileDescription(p, Len, ICC->Name, sizeof ICC->Name) && Fallback)
        std::snprintf(ICC->Name, sizeof ICC->Name, "%s", Fallback);
    return true;
}

const TICCInfo* ProfileFor(const TICCInfo* ICC, bool Gray)
{
    return ICC && ProfileSpaceMatches(ICC->Profile, ICC->Len, Gray ? 1 : 3) ? ICC : nullptr;
}

bool ValidImage(const TImgInfo& Img, uint32_t MinCh, uint32_t MaxCh)
{
    return Img.Mem && Img.Width > 0 && Img.Height > 0 && Img.Channels >= MinCh && Img.Channels <= MaxCh &&
        uint64_t(Img.Bpl) >= uint64_t(Img.Width) * Img.Channels;
}

namespace {
struct TTiffReader {
    const uint8_t* P;
    size_t Len;
    bool Big;
    uint16_t U16(size_t Off) const
    {
        return Big ? uint16_t(P[Off] << 8 | P[Off + 1]) : uint16_t(P[Off + 1] << 8 | P[Off]);
    }
    uint32_t U32(size_t Off) const
    {
        return Big ? Be32(P + Off)
                   : uint32_t(P[Off + 3]) << 24 | uint32_t(P[Off + 2]) << 16 | uint32_t(P[Off + 1]) << 8 | P[Off];
    }
    // Value of a RATIONAL entry at E (12-byte IFD entry), 0 when unreadable.
    double Rational(size_t E) const
    {
        const uint32_t off = U32(E + 8);
        if (U16(E + 2) != 5 || off > Len || Len - off < 8)
            return 0;
        const uint32_t den = U32(off + 4);
        return den ? double(U32(off)) / den : 0;
    }
    // Copies an ASCII date entry ("YYYY:MM:DD hh:mm:ss").
    void Date(size_t E, char* Out) const
    {
        const uint32_t count = U32(E + 4);
        if (U16(E + 2) != 2 || count < 19)
            return;
        const uint32_t off = U32(E + 8);
        if (off > Len || Len - off < 19)
            return;
        std::memcpy(Out, P + off, 19);
        Out[19] = 0;
        for (int i = 0; i < 19; ++i)
            if (Out[i] < ' ' || Out[i] > '~')
                Out[i] = ' ';
    }
};
} // namespace

bool ParseExif(const uint8_t* Tiff, size_t Len, TExifFacts& Facts)
{
    Facts = TExifFacts{};
    if (!Tiff || Len < 8)
        return false;
    TTiffReader r{Tiff, Len, false};
    if (Tiff[0] == 'M' && Tiff[1] == 'M')
        r.Big = true;
    else if (!(Tiff[0] == 'I' && Tiff[1] == 'I'))
        return false;
    if (r.U16(2) != 42)
        return false;
    uint32_t exifIfd = 0;
    double xres = 0, yres = 0;
    uint16_t unit = 2;
    char dateTime[20] = {}, original[20] = {};
    // IFD0, then the EXIF IFD it points to; each visited at most once.
    uint32_t ifd = r.U32(4);
    for (int pass = 0; pass < 2 && ifd; ++pass) {
        if (ifd > Len || Len - ifd < 2)
            break;
        const uint32_t n = r.U16(ifd);
        if (uint64_t(n) * 12 > Len - ifd - 2)
            break;
        for (uint32_t i = 0; i < n; ++i) {
            const size_t e = ifd + 2 + size_t(i) * 12;
            const uint16_t tag = r.U16(e);
            if (pass == 0) {
                switch (tag) {
                case 0x0112:
                    if (r.U16(e + 2) == 3)
                        Facts.Orientation = r.U16(e + 8);
                    break;
                case 0x011A:
                    xres = r.Rational(e);
                    break;
                case 0x011B:
                    yres = r.Rational(e);
                    break;
                case 0x0128:
                    if (r.U16(e + 2) == 3)
                        unit = r.U16(e + 8);
                    break;
                case 0x0132:
                    r.Date(e, dateTime);
                    break;
                case 0x8769:
                    exifIfd = r.U32(e + 8);
                    Facts.HasExifIfd = true;
                    break;
                case 0x0100:
                    Facts.Width = r.U16(e + 2) == 3 ? r.U16(e + 8) : r.U32(e + 8);
                    break;
                case 0x0101:
                    Facts.Height = r.U16(e + 2) == 3 ? r.U16(e + 8) : r.U32(e + 8);
                    break;
                default:
                    break;
                }
            } else if (tag == 0x9003) {
                r.Date(e, original);
            }
        }
        ifd = (pass == 0 && exifIfd != ifd) ? exifIfd : 0;
    }
    if (Facts.Orientation > 8)
        Facts.Orientation = 0;
    std::memcpy(Facts.DateTime, original[0] ? original : dateTime, 20);
    if (unit == 3) {
        xres *= 2.54;
        yres *= 2.54;
    }
    if (unit == 2 || unit == 3) {
        Facts.XResolution = xres;
        Facts.YResolution = yres;
    }
    return true;
}

bool ParseExifPayload(const uint8_t* Data, size_t Len, TExifFacts& Facts)
{
    if (!Data)
        return false;
    if (Len >= 6 && std::memcmp(Data, "Exif\0\0", 6) == 0)
        return ParseExif(Data + 6, Len - 6, Facts);
    if (Len >= 4) {
        const uint32_t skip = Be32(Data);
        if (skip <= Len - 4) {
            const uint8_t* p = Data + 4 + skip;
            const size_t n = Len - 4 - skip;
            if (n >= 6 && std::memcmp(p, "Exif\0\0", 6) == 0)
                return ParseExif(p + 6, n - 6, Facts);
            if (ParseExif(p, n, Facts))
                return true;
        }
    }
    return ParseExif(Data, Len, Facts);
}

void TakeExif(const TExifFacts& Facts, TKodexInfo& Info)
{
    Info.HasExif = 1;
    Info.Orientation = Facts.Orientation;
    std::memcpy(Info.DateTime, Facts.DateTime, sizeof Info.DateTime);
    if (Facts.XResolution > 0 && Facts.YResolution > 0) {
        Info.XResolution = Facts.XResolution;
        Info.YResolution = Facts.YResolution;
    }
}

} // namespace kodex

KODEX_EXPORT int set_errormsg_callback(TKodexErrorCallback Callback)
{
    kodex::Library.ErrorCallback.store(Callback, std::memory_order_release);
    return 1;
}

KODEX_EXPORT int set_picture_memory_limit(uint64_t Bytes)
{
    kodex::Library.PictureMemoryLimit.store(Bytes, std::memory_order_relaxed);
    return 1;
}

KODEX_EXPORT int set_page_reuse(void* (*Take)(uint64_t Size, bool Grow), bool (*Keep)(void* P))
{
    if (!Take != !Keep)
        return 0;
    platform::ForwardPageReuse(Take, Keep);
    return 1;
}

KODEX_EXPORT int set_cancel_flag(const std::atomic<bool>* Flag)
{
    pthread_once(&kodex::Library.CancelKeyOnce, kodex::MakeCancelKey);
    return pthread_setspecific(kodex::Library.CancelKey, Flag) == 0 ? 1 : 0;
}
