// Header probes (read_wic_info) and EXIF blocks for sources without one
// (create_exif).
#include "kodex/KodexCommon.h"

#include "platform/FileMap.h"

#include <cstring>
#include <vector>

namespace {

using kodex::Be16;
using kodex::Be32;
using kodex::TakeExif;

// JPEG: frame size from the first SOF, density from JFIF, EXIF from APP1.
bool JpegInfo(const uint8_t* D, size_t N, TKodexInfo& Info)
{
    if (N < 4 || D[0] != 0xFF || D[1] != 0xD8)
        return false;
    size_t p = 2;
    bool haveExif = false;
    while (p + 4 <= N) {
        if (D[p] != 0xFF) {
            ++p; // stray byte between segments
            continue;
        }
        const uint8_t m = D[p + 1];
        if (m == 0xFF) {
            ++p;
            continue;
        }
        if (m == 0xD9 || m == 0xDA)
            break;
        const size_t len = Be16(D + p + 2);
        if (len < 2 || len > N - p - 2)
            break;
        const uint8_t* s = D + p + 4;
        const size_t n = len - 2;
        if (m == 0xE0 && n >= 12 && std::memcmp(s, "JFIF\0", 5) == 0 && !(haveExif && Info.XResolution > 0)) {
            const double x = Be16(s + 8), y = Be16(s + 10);
            if (s[7] == 1 && x > 0 && y > 0)
                Info.XResolution = x, Info.YResolution = y;
            else if (s[7] == 2 && x > 0 && y > 0)
                Info.XResolution = x * 2.54, Info.YResolution = y * 2.54;
        } else if (m == 0xE1 && !haveExif && n >= 6 && std::memcmp(s, "Exif\0\0", 6) == 0) {
            kodex::TExifFacts f;
            if (kodex::ParseExif(s + 6, n - 6, f)) {
                haveExif = true;
                TakeExif(f, Info);
            }
        } else if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC && n >= 5) {
            Info.Height = Be16(s + 1);
            Info.Width = Be16(s + 3);
        }
        p += 2 + len;
    }
    return Info.Width > 0;
}

// PNG: IHDR size, pHYs in metres, eXIf.
bool PngInfo(const uint8_t* D, size_t N, TKodexInfo& Info)
{
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10};
    if (N < 33 || std::memcmp(D, sig, 8) != 0)
        return false;
    size_t p = 8;
    while (p + 12 <= N) {
        const uint64_t len = Be32(D + p);
        if (len > N - p - 12)
            break;
        const uint8_t* t = D + p + 4;
        const uint8_t* s = D + p + 8;
        if (std::memcmp(t, "IHDR", 4) == 0 && len >= 8) {
            Info.Width = Be32(s);
            Info.Height = Be32(s + 4);
        } else if (std::memcmp(t, "pHYs", 4) == 0 && len >= 9 && s[8] == 1) {
            Info.XResolution = Be32(s) * 0.0254;
            Info.YResolution = Be32(s + 4) * 0.0254;
        } else if (std::memcmp(t, "eXIf", 4) == 0) {
            kodex::TExifFacts f;
            if (kodex::ParseExif(s, size_t(len), f))
                TakeExif(f, Info);
        } else if (std::memcmp(t, "IDAT", 4) == 0 || std::memcmp(t, "IEND", 4) == 0) {
            break;
        }
        p += 12 + len;
    }
    return Info.Width > 0;
}

// Maps a whole file; false (after reporting) on failure.
bool MapFile(const char* Name, platform::TMappedFile& File)
{
    if (File.Open(Name))
        return true;
    kodex::ReportError(Name, "Failed to read the file");
    return false;
}

bool ProbeFile(const char* Name, TKodexInfo& Info)
{
    platform::TMappedFile file;
    if (!MapFile(Name, file))
        return false;
    const uint8_t* d = file.Data();
    const size_t n = size_t(file.Size());
    bool ok = false;
    try {
        ok = JpegInfo(d, n, Info) || PngInfo(d, n, Info) || kodex::WicInfo(d, n, Info);
    } catch (...) {
        ok = false;
    }
    return ok && !file.Damaged();
}

// ---- EXIF writer ------------------------------------------------------------

// A big-endian TIFF structure built front to back.
struct TTiffWriter {
    std::vector<uint8_t> B;
    void U16(uint16_t V)
    {
        B.push_back(uint8_t(V >> 8));
        B.push_back(uint8_t(V));
    }
    void U32(uint32_t V)
    {
        U16(uint16_t(V >> 16));
        U16(uint16_t(V));
    }
    void Put32(size_t At, uint32_t V)
    {
        B[At] = uint8_t(V >> 24), B[At + 1] = uint8_t(V >> 16), B[At + 2] = uint8_t(V >> 8), B[At + 3] = uint8_t(V);
    }
};

struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count;
    std::vector<uint8_t> Value; // big-endian bytes; over 4 go to the value area
};

TEntry Short(uint16_t Tag, uint16_t V)
{
    return {Tag, 3, 1, {uint8_t(V >> 8), uint8_t(V), 0, 0}};
}
TEntry Long(uint16_t Tag, uint32_t V)
{
    return {Tag, 4, 1, {uint8_t(V >> 24), uint8_t(V >> 16), uint8_t(V >> 8), uint8_t(V)}};
}
TEntry Rational(uint16_t Tag, double V)
{
    // Whole or tenth-unit resolutions are what people use; keep it exact for those.
    const uint32_t num = uint32_t(V * 10 + 0.5), den = 10;
    TEntry e{Tag, 5, 1, {}};
    for (uint32_t x : {num, den})
        for (int s = 24; s >= 0; s -= 8)
            e.Value.push_back(uint8_t(x >> s));
    return e;
}
TEntry Ascii(uint16_t Tag, const char* S, size_t N)
{
    TEntry e{Tag, 2, uint32_t(N + 1), std::vector<uint8_t>(S, S + N)};
    e.Value.push_back(0);
    return e;
}

// Writes an IFD with its value area; returns the position of its next-IFD
// offset. Entries must come in ascending tag order.
size_t WriteIfd(TTiffWriter& W, std::vector<TEntry>& E, std::vector<std::pair<size_t, size_t>>* Patch = nullptr)
{
    const size_t start = W.B.size();
    size_t area = start + 2 + E.size() * 12 + 4;
    W.U16(uint16_t(E.size()));
    std::vector<size_t> spill;
    for (size_t i = 0; i < E.size(); ++i) {
        W.U16(E[i].Tag);
        W.U16(E[i].Type);
        W.U32(E[i].Count);
        if (E[i].Value.size() <= 4) {
            std::vector<uint8_t> v = E[i].Value;
            v.resize(4, 0);
            W.B.insert(W.B.end(), v.begin(), v.end());
            if (Patch)
                Patch->push_back({E[i].Tag, W.B.size() - 4});
        } else {
            W.U32(uint32_t(area));
            spill.push_back(i);
            area += (E[i].Value.size() + 1) & ~size_t(1);
        }
    }
    const size_t next = W.B.size();
    W.U32(0);
    for (size_t i : spill) {
        W.B.insert(W.B.end(), E[i].Value.begin(), E[i].Value.end());
        if (E[i].Value.size() & 1)
            W.B.push_back(0);
    }
    return next;
}

bool ValidDate(const char* D)
{
    // "YYYY:MM:DD hh:mm:ss"
    for (int i = 0; i < 19; ++i) {
        const bool sep = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
        if (sep ? (D[i] != (i == 10 ? ' ' : ':')) : (D[i] < '0' || D[i] > '9'))
            return false;
    }
    return true;
}

} // namespace

KODEX_EXPORT int read_wic_info(const char* FileName, TKodexInfo* Info)
{
    if (!FileName || !Info)
        return 0;
    TKodexInfo info{};
    if (!ProbeFile(FileName, info) || info.Width == 0 || info.Height == 0) {
        kodex::ReportError(FileName, "Unknown format");
        return 0;
    }
    *Info = info;
    return 1;
}

KODEX_EXPORT int create_exif(const char* SrcFileName, const TKodexInfo* Info, const uint8_t* Thumb, uint32_t ThumbSize,
                             uint8_t* Out, uint32_t Capacity, uint32_t* OutSize)
{
    if (OutSize)
        *OutSize = 0;
    if (!Info || !Out || !OutSize || (ThumbSize && !Thumb)) {
        kodex::ReportError(SrcFileName ? SrcFileName : "", "create_exif: missing argument");
        return 0;
    }
    try {
        // What the record leaves open (no date, orientation 0) comes from
        // the source's own EXIF: the picture is stored as the source stores
        // it, so a viewer must still be told how to turn it.
        char date[20] = {};
        std::memcpy(date, Info->DateTime, 19);
        uint16_t orientation = Info->Orientation;
        if ((!ValidDate(date) || orientation == 0) && SrcFileName) {
            TKodexInfo src{};
            platform::TMappedFile file;
            if (MapFile(SrcFileName, file) &&
                (PngInfo(file.Data(), size_t(file.Size()), src) ||
                 kodex::WicInfo(file.Data(), size_t(file.Size()), src)) &&
                !file.Damaged()) {
                if (!ValidDate(date))
                    std::memcpy(date, src.DateTime, 19);
                if (orientation == 0)
                    orientation = src.Orientation;
            }
        }
        const bool haveDate = ValidDate(date);

        TTiffWriter w;
        w.B = {'M', 'M', 0, 42};
        w.U32(8);
        std::vector<TEntry> ifd0;
        if (orientation >= 1 && orientation <= 8)
            ifd0.push_back(Short(0x0112, orientation));
        const bool res =
            Info->XResolution > 0 && Info->YResolution > 0 && Info->XResolution < 1e8 && Info->YResolution < 1e8;
        if (res) {
            ifd0.push_back(Rational(0x011A, Info->XResolution));
            ifd0.push_back(Rational(0x011B, Info->YResolution));
            ifd0.push_back(Short(0x0128, 2));
        }
        ifd0.push_back(Ascii(0x0131, "Vestro", 6));
        const bool exifIfd = haveDate || (Info->Width && Info->Height);
        if (exifIfd)
            ifd0.push_back(Long(0x8769, 0)); // patched below
        std::vector<std::pair<size_t, size_t>> patch;
        const size_t next0 = WriteIfd(w, ifd0, &patch);
        if (exifIfd) {
            for (auto& [tag, at] : patch)
                if (tag == 0x8769)
                    w.Put32(at, uint32_t(w.B.size()));
            std::vector<TEntry> ex;
            ex.push_back({0x9000, 7, 4, {'0', '2', '3', '0'}});
            if (haveDate)
                ex.push_back(Ascii(0x9003, date, 19));
            if (Info->Width && Info->Height) {
                ex.push_back(Long(0xA002, Info->Width));
                ex.push_back(Long(0xA003, Info->Height));
            }
            WriteIfd(w, ex);
        }
        if (Thumb && ThumbSize) {
            if (ThumbSize > 65533) {
                kodex::ReportError(SrcFileName ? SrcFileName : "", "The EXIF thumbnail is too large");
                return 0;
            }
            w.Put32(next0, uint32_t(w.B.size()));
            std::vector<TEntry> ifd1{Short(0x0103, 6), Long(0x0201, 0), Long(0x0202, ThumbSize)};
            std::vector<std::pair<size_t, size_t>> p1;
            WriteIfd(w, ifd1, &p1);
            for (auto& [tag, at] : p1)
                if (tag == 0x0201)
                    w.Put32(at, uint32_t(w.B.size()));
            w.B.insert(w.B.end(), Thumb, Thumb + ThumbSize);
        }
        const uint64_t payload = 6 + w.B.size();
        const uint64_t total = 4 + 2 + payload;
        if (payload > 65533 || total > Capacity) {
            kodex::ReportError(SrcFileName ? SrcFileName : "", "The EXIF block does not fit");
            return 0;
        }
        uint8_t* o = Out;
        *o++ = 0xFF, *o++ = 0xD8, *o++ = 0xFF, *o++ = 0xE1;
        *o++ = uint8_t((payload + 2) >> 8), *o++ = uint8_t(payload + 2);
        std::memcpy(o, "Exif\0\0", 6);
        std::memcpy(o + 6, w.B.data(), w.B.size());
        *OutSize = uint32_t(total);
        return 1;
    } catch (...) {
        kodex::ReportError(SrcFileName ? SrcFileName : "", "Out of memory");
        return 0;
    }
}
