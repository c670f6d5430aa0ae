#include "core/ExifReader.h"
#include "kodex/KodexCommon.h" // Be16

#include <cstring>
#include <utility>

uint16_t GetWord(const uint8_t* P, TEndianType Order)
{
    return Order == etMM ? uint16_t(P[0] << 8 | P[1]) : uint16_t(P[1] << 8 | P[0]);
}

uint32_t GetDWord(const uint8_t* P, TEndianType Order)
{
    if (Order == etMM)
        return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
    return uint32_t(P[3]) << 24 | uint32_t(P[2]) << 16 | uint32_t(P[1]) << 8 | P[0];
}

void PutWord(uint8_t* P, uint16_t Value, TEndianType Order)
{
    if (Order == etMM) {
        P[0] = uint8_t(Value >> 8);
        P[1] = uint8_t(Value);
    } else {
        P[0] = uint8_t(Value);
        P[1] = uint8_t(Value >> 8);
    }
}

void PutDWord(uint8_t* P, uint32_t Value, TEndianType Order)
{
    if (Order == etMM) {
        PutWord(P, uint16_t(Value >> 16), etMM);
        PutWord(P + 2, uint16_t(Value), etMM);
    } else {
        PutWord(P, uint16_t(Value), etII);
        PutWord(P + 2, uint16_t(Value >> 16), etII);
    }
}

void PutRational(uint8_t* P, uint32_t Numerator, uint32_t Denominator, TEndianType Order)
{
    PutDWord(P, Numerator, Order);
    PutDWord(P + 4, Denominator, Order);
}

void WriteWord(std::vector<uint8_t>& S, uint16_t Value, TEndianType Order)
{
    uint8_t B[2];
    PutWord(B, Value, Order);
    S.insert(S.end(), B, B + 2);
}

void WriteDWord(std::vector<uint8_t>& S, uint32_t Value, TEndianType Order)
{
    uint8_t B[4];
    PutDWord(B, Value, Order);
    S.insert(S.end(), B, B + 4);
}

void WriteShortEntry(std::vector<uint8_t>& S, uint16_t Tag, uint16_t Value, TEndianType Order)
{
    WriteWord(S, Tag, Order);
    WriteWord(S, ttSHORT, Order);
    WriteDWord(S, 1, Order);
    WriteWord(S, Value, Order);
    WriteWord(S, 0, Order);
}

void WriteLongEntry(std::vector<uint8_t>& S, uint16_t Tag, uint32_t Value, TEndianType Order)
{
    WriteWord(S, Tag, Order);
    WriteWord(S, ttLONG, Order);
    WriteDWord(S, 1, Order);
    WriteDWord(S, Value, Order);
}

void WriteRationalEntry(std::vector<uint8_t>& S, std::vector<uint8_t>& Values, uint16_t Tag, TEndianType Order,
                        uint32_t Offset, uint32_t Denominator, uint32_t Numerator)
{
    WriteWord(S, Tag, Order);
    WriteWord(S, ttRATIONAL, Order);
    WriteDWord(S, 1, Order);
    WriteDWord(S, Offset, Order);
    WriteDWord(Values, Numerator, Order);
    WriteDWord(Values, Denominator, Order);
}

namespace {

struct EBrokenExif { };

// Bounds-checked view of one block. Positions are block positions; TIFF
// offsets are turned into block positions by adding 6.
class TExifView {
public:
    TExifView(const uint8_t* B, size_t S) : FBlock(B), FSize(S) { }
    // Throws unless Len bytes at Pos lie inside the block (computed in 64 bits).
    void Need(uint64_t Pos, uint64_t Len) const
    {
        if (Pos > FSize || Len > FSize - Pos)
            throw EBrokenExif();
    }
    uint16_t Word(uint64_t Pos) const
    {
        Need(Pos, 2);
        return GetWord(FBlock + Pos, Order);
    }
    uint32_t DWord(uint64_t Pos) const
    {
        Need(Pos, 4);
        return GetDWord(FBlock + Pos, Order);
    }
    // Block position of a TIFF offset whose data is Len bytes long.
    uint32_t At(uint32_t TiffOffset, uint64_t Len) const
    {
        Need(uint64_t(TiffOffset) + 6, Len);
        return TiffOffset + 6;
    }
    // Block position of an IFD's entries after checking the whole table and
    // the next-IFD offset behind it. Returns the entry count.
    uint16_t Ifd(uint32_t Pos) const
    {
        const uint16_t N = Word(Pos);
        Need(uint64_t(Pos) + 2, uint64_t(N) * 12 + 4);
        return N;
    }
    const uint8_t* Ptr(uint64_t Pos) const { return FBlock + Pos; }
    TEndianType Order = etII;

private:
    const uint8_t* FBlock;
    size_t FSize;
};

// Byte ranges of the block's structure: the TIFF header and the entry tables
// (count, entries, next-IFD offset) of the IFDs read. A value the program
// rewrites in place must lie clear of all of them, or patching it would
// destroy the block it is meant to update.
class TStructure {
public:
    void Add(uint64_t Pos, uint64_t Len) { FRanges.push_back({Pos, Pos + Len}); }
    bool Clear(uint64_t Pos, uint64_t Len) const
    {
        for (const auto& [A, B] : FRanges)
            if (Pos < B && A < Pos + Len)
                return false;
        return true;
    }

private:
    std::vector<std::pair<uint64_t, uint64_t>> FRanges;
};

constexpr uint64_t kTiffHeaderPos = 6, kTiffHeaderLen = 8;

uint64_t IfdTableLen(uint16_t Entries)
{
    return 2 + 12 * uint64_t(Entries) + 4;
}

// The value of a SHORT or LONG entry at block position E.
uint32_t EntryValue(const TExifView& V, uint32_t E)
{
    return V.Word(E + 2) == ttSHORT ? V.Word(E + 8) : V.DWord(E + 8);
}

} // namespace

bool ParseExifBlock(const uint8_t* Block, size_t Size, uint32_t ExifPos, TImageInfo& Info)
{
    TExifView V(Block, Size);
    try {
        V.Need(0, 6 + 8);
        V.Order = (Block[6] == 'M' && Block[7] == 'M') ? etMM : etII;
        Info.FET = V.Order;
        const uint32_t Ifd0 = V.At(V.DWord(10), 2);
        const uint16_t N0 = V.Ifd(Ifd0);
        TStructure Tables;
        Tables.Add(kTiffHeaderPos, kTiffHeaderLen);
        // An IFD0 that overlaps the header leaves nothing that can be patched safely.
        if (!Tables.Clear(Ifd0, IfdTableLen(N0)))
            throw EBrokenExif();
        Tables.Add(Ifd0, IfdTableLen(N0));
        Info.FIFD0Pos = Ifd0;
        Info.FIFD0Entry = N0;
        Info.FIFD0NextPos = Ifd0 + 2 + N0 * 12u;

        // IFD0: orientation, Software, resolution, the Exif IFD pointer.
        uint32_t ExifIfdOffset = 0;
        bool HasExifIfd = false;
        uint32_t XResPos = 0, YResPos = 0, UnitPos = 0;
        double XRes = 0, YRes = 0;
        uint16_t Unit = 0;
        uint32_t SoftwarePos = 0;
        int Seen = 0;
        auto Rational = [&](uint32_t E, uint32_t& Pos) {
            Pos = V.At(V.DWord(E + 8), 8);
            const uint32_t Num = V.DWord(Pos), Den = V.DWord(Pos + 4);
            return Den ? double(Num) / Den : 0.0;
        };
        for (uint32_t I = 0; I < N0 && Seen < 6; ++I) {
            const uint32_t E = Ifd0 + 2 + I * 12;
            const uint16_t Tag = V.Word(E), Type = V.Word(E + 2);
            const uint32_t Count = V.DWord(E + 4);
            switch (Tag) {
            case 274:
                ++Seen;
                if (Type == ttSHORT) {
                    Info.FOrientationPos = E + 8;
                    Info.FOrientation = V.Word(E + 8);
                }
                break;
            case 305:
                ++Seen;
                // The text lives in the value field when it fits there.
                SoftwarePos = Count > 4 ? V.At(V.DWord(E + 8), Count) : E + 8;
                Info.FSoftwareLenPos = E + 4;
                Info.FSoftwareLen = Count;
                break;
            case 34665:
                ++Seen;
                ExifIfdOffset = V.DWord(E + 8);
                HasExifIfd = true;
                break;
            case 282:
                ++Seen;
                if (Type == ttRATIONAL)
                    XRes = Rational(E, XResPos);
                break;
            case 283:
                ++Seen;
                if (Type == ttRATIONAL)
                    YRes = Rational(E, YResPos);
                break;
            case 296:
                ++Seen;
                if (Type == ttSHORT) {
                    UnitPos = E + 8;
                    Unit = V.Word(E + 8);
                }
                break;
            }
        }
        // Exif IFD: shooting date and pixel dimensions.
        if (HasExifIfd) {
            const uint32_t Ifd = V.At(ExifIfdOffset, 2);
            const uint16_t N = V.Ifd(Ifd);
            // Dimensions are patched in place: only in a table of its own.
            const bool Own = Tables.Clear(Ifd, IfdTableLen(N));
            Tables.Add(Ifd, IfdTableLen(N));
            Seen = 0;
            for (uint32_t I = 0; I < N && Seen < 3; ++I) {
                const uint32_t E = Ifd + 2 + I * 12;
                const uint16_t Tag = V.Word(E), Type = V.Word(E + 2);
                if (Tag == 36867) {
                    ++Seen;
                    const uint32_t P = V.At(V.DWord(E + 8), 20);
                    const char* T = reinterpret_cast<const char*>(V.Ptr(P));
                    Info.DateTimeOriginal = ExifDateToDateTime(std::string(T, strnlen(T, 20)));
                } else if (Tag == 40962) {
                    ++Seen;
                    Info.FXDimensionPos = Own ? E + 8 : 0;
                    Info.FXDimensionType = Type;
                } else if (Tag == 40963) {
                    ++Seen;
                    Info.FYDimensionPos = Own ? E + 8 : 0;
                    Info.FYDimensionType = Type;
                }
            }
        }

        // IFD1: the JPEG thumbnail, whose slot is rewritten in place.
        const uint32_t Ifd1Offset = V.DWord(Info.FIFD0NextPos);
        uint32_t ThumbPos = 0, ThumbLen = 0, ThumbOrientationPos = 0;
        if (Ifd1Offset != 0) {
            const uint32_t Ifd1 = V.At(Ifd1Offset, 2);
            const uint16_t N = V.Ifd(Ifd1);
            const bool Own = Tables.Clear(Ifd1, IfdTableLen(N));
            Tables.Add(Ifd1, IfdTableLen(N));
            uint32_t Compression = 0, Jif = 0, JifLen = 0;
            int Found = 0;
            for (uint32_t I = 0; I < N && Found != 7; ++I) {
                const uint32_t E = Ifd1 + 2 + I * 12;
                const uint16_t Tag = V.Word(E);
                if (Tag == 259) {
                    Compression = EntryValue(V, E);
                    Found |= 1;
                } else if (Tag == 513) {
                    Jif = EntryValue(V, E);
                    Found |= 2;
                } else if (Tag == 514) {
                    JifLen = EntryValue(V, E);
                    Found |= 4;
                } else if (Tag == 274 && V.Word(E + 2) == ttSHORT) {
                    ThumbOrientationPos = E + 8;
                }
            }
            if (Found == 7 && Compression == 6) {
                ThumbPos = V.At(Jif, JifLen);
                ThumbLen = JifLen;
            }
            if (!Own)
                ThumbPos = ThumbOrientationPos = 0;
        }

        // Values stored behind the tables are taken only when they lie clear
        // of every table; otherwise the tag counts as absent. (A Software
        // entry whose text overlaps stays known as an entry: no second one is
        // added, and its text is left alone.)
        Info.FSoftwarePos =
            Tables.Clear(SoftwarePos, Info.FSoftwareLen) || SoftwarePos == Info.FSoftwareLenPos + 4 ? SoftwarePos : 0;
        if (!Tables.Clear(XResPos, 8) || !Tables.Clear(YResPos, 8))
            XResPos = YResPos = 0;
        if (ThumbPos != 0 && Tables.Clear(ThumbPos, ThumbLen)) {
            Info.FThumbnailOffset = ThumbPos;
            Info.FThumbnailPos = ExifPos + ThumbPos;
            Info.FThumbnailSize = ThumbLen;
        }
        Info.FThumbnailOrientationPos = ThumbOrientationPos;

        if (XResPos && YResPos && UnitPos) {
            Info.FXResolution = XRes;
            Info.FYResolution = YRes;
            Info.FXResolutionPos = XResPos;
            Info.FYResolutionPos = YResPos;
            Info.FResolutionUnitPos = UnitPos;
            Info.FResolutionUnit = Unit == 2 ? 1 : Unit == 3 ? 2 : 0;
        }

        return true;
    } catch (const EBrokenExif&) {
        return false;
    }
}

namespace {

bool IsSOF(uint16_t M)
{
    return M >= 0xFFC0 && M <= 0xFFCB && M != 0xFFC4 && M != 0xFFC8;
}

} // namespace

bool FindJPEGExif(const uint8_t* Data, size_t Size, size_t& ExifPos, size_t& ExifSize)
{
    if (Size < 4 || kodex::Be16(Data) != 0xFFD8)
        return false;
    size_t P = 2;
    while (P + 4 <= Size) {
        const uint16_t M = kodex::Be16(Data + P);
        if ((M >> 8) != 0xFF || IsSOF(M) || M == 0xFFD9)
            return false;
        const uint16_t Len = kodex::Be16(Data + P + 2);
        if (Len < 2)
            return false;
        if (M == 0xFFE1 && Len >= 6 && P + 4 + 4 <= Size && std::memcmp(Data + P + 4, "Exif", 4) == 0) {
            ExifPos = P + 4;
            ExifSize = Len - 2u;
            return ExifPos + ExifSize <= Size;
        }
        P += 2 + size_t(Len);
    }
    return false;
}

bool ResetExifOrientationInMemory(uint8_t* Data, size_t Size)
{
    size_t Pos = 0, Len = 0;
    if (!FindJPEGExif(Data, Size, Pos, Len))
        return false;
    // Only IFD0 matters here: damage further on must not keep a turned picture
    // from losing its now wrong orientation.
    TExifView V(Data + Pos, Len);
    try {
        V.Need(0, 6 + 8);
        V.Order = (Data[Pos + 6] == 'M' && Data[Pos + 7] == 'M') ? etMM : etII;
        const uint32_t Ifd0 = V.At(V.DWord(10), 2);
        const uint16_t N = V.Ifd(Ifd0);
        if (Ifd0 < kTiffHeaderPos + kTiffHeaderLen)
            return false; // IFD0 overlaps the header: writing into it would break the block
        for (uint32_t I = 0; I < N; ++I) {
            const uint32_t E = Ifd0 + 2 + I * 12;
            if (V.Word(E) == 274) {
                if (V.Word(E + 2) != ttSHORT)
                    return false;
                PutWord(Data + Pos + E + 8, 1, V.Order);
                return true;
            }
        }
    } catch (const EBrokenExif&) {
    }
    return false;
}
