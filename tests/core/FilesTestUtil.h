// Helpers for the file-list, name-rule, EXIF and loader tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <string>
#include <tuple>

#include "core/Errors.h"
#include "core/Global.h"
#include "PictureTestUtil.h"

// The message of the program's error that Fn raises; "" when it raises none.
template <typename F> std::string ErrorOf(F&& Fn)
{
    try {
        Fn();
    } catch (const EVestroError& E) {
        return E.what();
    }
    return "";
}

// A fresh folder under the temporary folder, removed with the object.
class TTempDir {
public:
    TTempDir()
    {
        static int Serial = 0;
        Path = (std::filesystem::temp_directory_path() /
                ("vestro-files-" + std::to_string(::getpid()) + "-" +
                 std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" + std::to_string(Serial++)))
                   .string() +
            "/";
        std::filesystem::create_directories(Path);
    }
    ~TTempDir()
    {
        std::error_code Ec;
        std::filesystem::remove_all(Path, Ec);
    }
    std::string File(const std::string& Name) const { return Path + Name; }
    std::string Path;
};

inline void WriteBytes(const std::string& Path, const std::vector<uint8_t>& Data)
{
    std::ofstream F(Path, std::ios::binary | std::ios::trunc);
    F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& Path)
{
    std::ifstream F(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
}

// Puts the settings back as they were when it was made.
struct TOptionGuard {
    const TSettings Saved = Settings;
    ~TOptionGuard() { Settings = Saved; }
};

inline void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + i] = uint8_t(x >> (8 * i));
}
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t at)
{
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (uint32_t(v[at + 3]) << 24);
}

// ---- BMP files built by hand ----

// A BMP file built by hand: header of HeaderSize bytes, then Extra (masks or
// palette), then the bits; the data offset points right after Extra.
struct TBmpSpec {
    uint32_t HeaderSize = 40;
    int32_t Width = 1, Height = 1;
    uint16_t Bits = 24;
    uint32_t Compression = 0;
    uint32_t ColorsUsed = 0;
    uint32_t Masks[4] = {};
    std::vector<uint8_t> Extra{};
    std::vector<uint8_t> Data{};
};

inline std::vector<uint8_t> MakeBmp(const TBmpSpec& S)
{
    std::vector<uint8_t> f(14 + S.HeaderSize, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 14, S.HeaderSize);
    Put32(f, 18, uint32_t(S.Width));
    Put32(f, 22, uint32_t(S.Height));
    f[26] = 1;
    f[28] = uint8_t(S.Bits);
    Put32(f, 30, S.Compression);
    Put32(f, 46, S.ColorsUsed);
    if (S.HeaderSize >= 56)
        for (int i = 0; i < 4; ++i)
            Put32(f, 54 + 4 * i, S.Masks[i]);
    f.insert(f.end(), S.Extra.begin(), S.Extra.end());
    Put32(f, 10, uint32_t(f.size()));
    f.insert(f.end(), S.Data.begin(), S.Data.end());
    Put32(f, 2, uint32_t(f.size()));
    return f;
}

// ---- EXIF blocks and JPEG headers built byte by byte ----
#include "core/ExifReader.h"

struct TTestEntry {
    uint16_t Tag = 0, Type = 0;
    uint32_t Count = 1;
    uint32_t Value = 0;       // inline value (SHORT in the first two bytes)
    std::vector<uint8_t> Ext; // when not empty: stored after the IFD, Value := its offset
    int SubIfd = -1;          // when >= 0: Value := offset of that IFD
};

inline TTestEntry ShortEntry(uint16_t Tag, uint16_t V)
{
    return {Tag, ttSHORT, 1, V, {}, -1};
}
inline TTestEntry LongEntry(uint16_t Tag, uint32_t V)
{
    return {Tag, ttLONG, 1, V, {}, -1};
}
inline TTestEntry AsciiEntry(uint16_t Tag, const std::string& S)
{
    TTestEntry E{Tag, ttASCII, uint32_t(S.size() + 1), 0, {}, -1};
    std::vector<uint8_t> B(S.begin(), S.end());
    B.push_back(0);
    if (B.size() <= 4) {
        B.resize(4);
        E.Value = uint32_t(B[0]) | uint32_t(B[1]) << 8 | uint32_t(B[2]) << 16 | uint32_t(B[3]) << 24;
        E.Type = 0x100 | ttASCII; // marker: raw inline bytes
    } else {
        E.Ext = B;
    }
    return E;
}
inline TTestEntry RationalEntry(uint16_t Tag, uint32_t Num, uint32_t Den, TEndianType O)
{
    TTestEntry E{Tag, ttRATIONAL, 1, 0, std::vector<uint8_t>(8), -1};
    PutRational(E.Ext.data(), Num, Den, O);
    return E;
}

// "Exif\0\0" + TIFF. Ifds[0] is IFD0, Ifds[1] the Exif IFD (pointed to by
// entries with SubIfd 1), Ifds[2] IFD1 (linked from IFD0 when not empty).
inline std::vector<uint8_t> BuildExif(TEndianType O, const std::vector<std::vector<TTestEntry>>& Ifds)
{
    std::vector<uint32_t> Off(Ifds.size());
    uint32_t P = 8;
    for (size_t I = 0; I < Ifds.size(); ++I) {
        Off[I] = P;
        if (Ifds[I].empty() && I > 0)
            continue;
        P += 2 + 12 * uint32_t(Ifds[I].size()) + 4;
        for (const auto& E : Ifds[I])
            P += uint32_t(E.Ext.size());
    }
    std::vector<uint8_t> B = {'E', 'x', 'i', 'f', 0, 0};
    if (O == etMM) {
        B.push_back('M');
        B.push_back('M');
    } else {
        B.push_back('I');
        B.push_back('I');
    }
    WriteWord(B, 42, O);
    WriteDWord(B, 8, O);
    for (size_t I = 0; I < Ifds.size(); ++I) {
        if (Ifds[I].empty() && I > 0)
            continue;
        const auto& Ifd = Ifds[I];
        WriteWord(B, uint16_t(Ifd.size()), O);
        uint32_t Data = Off[I] + 2 + 12 * uint32_t(Ifd.size()) + 4;
        for (const auto& E : Ifd) {
            WriteWord(B, E.Tag, O);
            WriteWord(B, uint16_t(E.Type & 0xFF), O);
            WriteDWord(B, E.Count, O);
            if (!E.Ext.empty()) {
                WriteDWord(B, Data, O);
                Data += uint32_t(E.Ext.size());
            } else if (E.SubIfd >= 0) {
                WriteDWord(B, Off[size_t(E.SubIfd)], O);
            } else if (E.Type & 0x100) {
                for (int K = 0; K < 4; ++K)
                    B.push_back(uint8_t(E.Value >> (8 * K)));
            } else if (E.Type == ttSHORT) {
                WriteWord(B, uint16_t(E.Value), O);
                WriteWord(B, 0, O);
            } else {
                WriteDWord(B, E.Value, O);
            }
        }
        WriteDWord(B, (I == 0 && Ifds.size() > 2 && !Ifds[2].empty()) ? Off[2] : 0, O);
        for (const auto& E : Ifd)
            B.insert(B.end(), E.Ext.begin(), E.Ext.end());
    }
    return B;
}

inline void PutBE16(std::vector<uint8_t>& B, uint32_t V)
{
    B.push_back(uint8_t(V >> 8));
    B.push_back(uint8_t(V));
}

// SOI, the given segments (marker, payload), a baseline frame header of W x H,
// EOI. Enough for the header probe, not for a decoder.
inline std::vector<uint8_t> BuildJPEGHeader(const std::vector<std::pair<uint16_t, std::vector<uint8_t>>>& Segs,
                                            uint16_t W, uint16_t H, bool FrameFirst = false)
{
    std::vector<uint8_t> B = {0xFF, 0xD8};
    auto Frame = [&] {
        PutBE16(B, 0xFFC0);
        PutBE16(B, 17);
        B.push_back(8);
        PutBE16(B, H);
        PutBE16(B, W);
        B.push_back(3);
        for (int C = 1; C <= 3; ++C) {
            B.push_back(uint8_t(C));
            B.push_back(0x11);
            B.push_back(0);
        }
    };
    if (FrameFirst)
        Frame();
    for (const auto& [M, Payload] : Segs) {
        PutBE16(B, M);
        PutBE16(B, uint32_t(Payload.size() + 2));
        B.insert(B.end(), Payload.begin(), Payload.end());
    }
    if (!FrameFirst)
        Frame();
    PutBE16(B, 0xFFD9);
    return B;
}

// ---- real pictures through the codec library ----
#include "core/Kodex.h"

inline void EnsureKodex()
{
    if (KodexProcs.ReadPNG)
        return;
    std::string Err;
    ASSERT_TRUE(LoadKodex(std::string(VESTRO_DIST_DIR) + "/", Err)) << Err;
}

// A smooth picture (so that it compresses as photographs do).
inline TImgInfo MakeGradient(uint32_t W, uint32_t H, uint32_t Ch)
{
    TImgInfo I;
    AllocImg(I, W, H, Ch);
    for (uint32_t Y = 0; Y < H; ++Y)
        for (uint32_t X = 0; X < W; ++X)
            for (uint32_t C = 0; C < Ch; ++C)
                ScanLine(I, Y)[X * Ch + C] = uint8_t(C == 3 ? 128 : (X * 255 / W + Y * 64 / H + C * 40) & 255);
    return I;
}
