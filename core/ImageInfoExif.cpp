// Carrying a source's EXIF block and JPEG markers over into an output.
#include "core/ImageInfoExif.h"
#include "kodex/KodexCommon.h" // Be16
#include "core/RunSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/ExifReader.h"
#include "core/Global.h"
#include "core/ImageLoader.h"
#include "core/JPEGCheck.h"
#include "core/Kodex.h"
#include "core/Resize.h"
#include "core/Rotate.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"
#include "platform/FileMap.h"
#include "platform/FileTimes.h"

namespace {

void PutBE16(uint8_t* P, uint32_t V)
{
    P[0] = uint8_t(V >> 8);
    P[1] = uint8_t(V);
}

// A density as JFIF can hold it (1 .. 65535).
uint16_t Density(int32_t V)
{
    return uint16_t(std::clamp<int32_t>(V, 1, 65535));
}

std::string TrimBlanks(const std::string& S)
{
    size_t A = 0, B = S.size();
    while (A < B && uint8_t(S[A]) <= ' ')
        ++A;
    while (B > A && uint8_t(S[B - 1]) <= ' ')
        --B;
    return S.substr(A, B - A);
}

// Round(A x B / C) as the thumbnail sizes round: add 0.5 and truncate; at least 1.
uint32_t Scaled(uint32_t A, uint32_t B, uint32_t C)
{
    return std::max<uint32_t>(1, uint32_t(double(A) * B / C + 0.5));
}

} // namespace

void NewExifThumbnailSize(uint32_t W, uint32_t H, uint32_t& TW, uint32_t& TH, bool& Turned)
{
    TW = W;
    TH = H;
    Turned = false;
    if (W == 0 || H == 0)
        return;
    if (W <= H) {
        if (W > 120 || H > 160) {
            TW = 120;
            TH = Scaled(H, 120, W);
            if (TH > 160) {
                TH = 160;
                TW = Scaled(W, 160, H);
            }
            Turned = true;
        }
    } else if (W > 160 || H > 120) {
        TW = 160;
        TH = Scaled(H, 160, W);
        if (TH > 120) {
            TH = 120;
            TW = Scaled(W, 120, H);
        }
    }
}

void FitThumbnail160(uint32_t W, uint32_t H, uint32_t& TW, uint32_t& TH)
{
    TW = W;
    TH = H;
    if (W == 0 || H == 0 || (W <= 160 && H <= 160))
        return;
    TW = 160;
    TH = Scaled(H, 160, W);
    if (TH > 160) {
        TH = 160;
        TW = Scaled(W, 160, H);
    }
}

void TImageInfo::PatchExifBlock(std::vector<uint8_t>& B, bool Rotated, uint32_t W, uint32_t H, bool UpdateExif,
                                bool UpdateExifResolution, int32_t Resolution)
{
    FNewExifSize = 0;
    if (FExifBroken || B.size() != FExifSize || B.size() < 14)
        return;
    const TEndianType O = FET;
    // Every write is checked again: the positions were checked against the
    // block the probe saw, and this one has the same size, but nothing is
    // written on trust.
    auto Fits = [&](uint32_t Pos, uint64_t Len) { return Pos != 0 && uint64_t(Pos) + Len <= B.size(); };
    // Positions inside IFD0's entries move when IFD0 is rebuilt below.
    uint32_t OrientationPos = FOrientationPos, UnitPos = FResolutionUnitPos;

    if (Rotated && Fits(OrientationPos, 2))
        PutWord(&B[OrientationPos], 1, O);

    if (UpdateExif) {
        auto Dim = [&](uint32_t Pos, uint16_t Type, uint32_t V) {
            if (Type == ttSHORT && Fits(Pos, 2))
                PutWord(&B[Pos], uint16_t(std::min<uint32_t>(V, 0xFFFF)), O);
            else if ((Type == ttLONG || Type == ttSLONG) && Fits(Pos, 4))
                PutDWord(&B[Pos], V, O);
        };
        Dim(FXDimensionPos, FXDimensionType, W);
        Dim(FYDimensionPos, FYDimensionType, H);
    }

    const uint32_t OldEnd = uint32_t(B.size());
    if (FSoftwareLenPos == 0) {
        // No Software entry: IFD0 is rebuilt at the end with one more entry.
        const uint32_t N = FIFD0Entry;
        const uint64_t NewSize = uint64_t(OldEnd) + 7 + 12 * (uint64_t(N) + 1) + 6;
        if (NewSize <= MaxExifBlockSize && Fits(FIFD0Pos, 2 + 12 * uint64_t(N) + 4)) {
            B.resize(NewSize);
            std::memcpy(&B[OldEnd], ExifSoftwareName, 7); // with its zero byte
            const uint32_t NewIfd = OldEnd + 7;
            PutWord(&B[NewIfd], uint16_t(N + 1), O);
            std::memcpy(&B[NewIfd + 2], &B[FIFD0Pos + 2], 12 * size_t(N));
            uint8_t* E = &B[NewIfd + 2 + 12 * N];
            PutWord(E, 305, O);
            PutWord(E + 2, ttASCII, O);
            PutDWord(E + 4, 7, O);
            PutDWord(E + 8, OldEnd - 6, O);
            std::memcpy(E + 12, &B[FIFD0Pos + 2 + 12 * N], 4); // next-IFD offset
            PutDWord(&B[10], NewIfd - 6, O);
            auto Moved = [&](uint32_t& Pos) {
                if (Pos >= FIFD0Pos + 2 && Pos < FIFD0Pos + 2 + 12 * N)
                    Pos = Pos - FIFD0Pos + NewIfd;
            };
            Moved(OrientationPos);
            Moved(UnitPos);
            FNewExifSize = uint32_t(NewSize);
        }
    } else if (Fits(FSoftwarePos, FSoftwareLen) && Fits(FSoftwareLenPos, 8)) {
        const char* Old = reinterpret_cast<const char*>(&B[FSoftwarePos]);
        const std::string Text =
            std::string(ExifSoftwareName) + "," + TrimBlanks(std::string(Old, strnlen(Old, FSoftwareLen)));
        const uint32_t L = uint32_t(Text.size());
        if (L < FSoftwareLen) {
            PutDWord(&B[FSoftwareLenPos], L + 1, O);
            std::memset(&B[FSoftwarePos], 0, FSoftwareLen);
            std::memcpy(&B[FSoftwarePos], Text.data(), L);
        } else if (uint64_t(OldEnd) + L + 1 <= MaxExifBlockSize) {
            B.insert(B.end(), Text.begin(), Text.end());
            B.push_back(0);
            PutDWord(&B[FSoftwareLenPos], L + 1, O);
            PutDWord(&B[FSoftwareLenPos + 4], OldEnd - 6, O);
            FNewExifSize = uint32_t(B.size());
        } else if (FSoftwareLen > 6) {
            PutDWord(&B[FSoftwareLenPos], 7, O);
            std::memset(&B[FSoftwarePos], 0, FSoftwareLen);
            std::memcpy(&B[FSoftwarePos], ExifSoftwareName, 6);
        }
    }

    if (UpdateExifResolution && Fits(FXResolutionPos, 8) && Fits(FYResolutionPos, 8) && Fits(UnitPos, 2)) {
        const uint32_t R = uint32_t(std::max(Resolution, 1));
        PutRational(&B[FXResolutionPos], R, 1, O);
        PutRational(&B[FYResolutionPos], R, 1, O);
        PutWord(&B[UnitPos], 2, O);
    }
}

bool RebuildExifThumbnail(std::vector<uint8_t>& S, const uint8_t* Thumbnail, uint32_t ThumbnailSize,
                          uint16_t Orientation, uint32_t& NewSize, uint32_t& APP1Pos)
{
    if (S.size() < 4 || kodex::Be16(&S[0]) != 0xFFD8)
        return false;
    size_t P = 2;
    while (P + 4 <= S.size() && kodex::Be16(&S[P]) == 0xFFE0)
        P += 2 + kodex::Be16(&S[P + 2]);
    if (P + 4 > S.size() || kodex::Be16(&S[P]) != 0xFFE1)
        return false;
    const size_t Len = kodex::Be16(&S[P + 2]);
    const size_t Payload = P + 4;
    const size_t End = P + 2 + Len;
    const size_t Tiff = Payload + 6;
    if (Len < 2 + 6 + 8 || End > S.size())
        return false;
    const TEndianType O = (S[Tiff] == 'M' && S[Tiff + 1] == 'M') ? etMM : etII;
    const uint64_t Ifd0 = uint64_t(Tiff) + GetDWord(&S[Tiff + 4], O);
    if (Ifd0 + 2 > End)
        return false;
    const uint64_t Next = Ifd0 + 2 + 12 * uint64_t(GetWord(&S[Ifd0], O));
    if (Next + 4 > End)
        return false;
    const uint64_t Total = (End - Payload) + 90 + 16 + uint64_t(ThumbnailSize);
    if (Total > MaxExifBlockSize)
        return false;

    std::vector<uint8_t> R(S.begin(), S.begin() + long(End));
    PutDWord(&R[Next], uint32_t(End - Tiff), O);
    const uint32_t Values = uint32_t(End + 90 - Tiff); // TIFF offset of the value area
    std::vector<uint8_t> Ifd, Vals;
    WriteWord(Ifd, 7, O);
    WriteShortEntry(Ifd, 259, 6, O);
    WriteShortEntry(Ifd, 274, Orientation, O);
    WriteRationalEntry(Ifd, Vals, 282, O, Values, 1, 96);
    WriteRationalEntry(Ifd, Vals, 283, O, Values + 8, 1, 96);
    WriteShortEntry(Ifd, 296, 2, O);
    WriteLongEntry(Ifd, 513, Values + 16, O);
    WriteLongEntry(Ifd, 514, ThumbnailSize, O);
    WriteDWord(Ifd, 0, O);
    R.insert(R.end(), Ifd.begin(), Ifd.end());
    R.insert(R.end(), Vals.begin(), Vals.end());
    R.insert(R.end(), Thumbnail, Thumbnail + ThumbnailSize);
    S.swap(R);
    APP1Pos = uint32_t(Payload);
    NewSize = uint32_t(Total);
    return true;
}

void CopyJPEGMetadata(const std::string& Source, const std::string& Dest, bool DropExif, const TImageInfo& Info,
                      bool DropICC, const TRunSettings& S)
{
    // Mapped, not read: a file with a huge tail costs only the pages copied.
    platform::TMappedFile File;
    if (!File.Open(Source))
        throw EVestroError(LoadResText(SLoadFailed));
    const uint8_t* In = File.Data();
    const size_t InSize = size_t(File.Size());
    // A damaged file is refused as the decoder refuses it, before anything is
    // written or the source deleted: a copy must not pass it off as whole.
    if (const std::string Why = CheckJPEGStructure(In, InSize); !Why.empty())
        RaiseLoadFailed(Why);
    auto Need = [&](size_t Pos, size_t Len) {
        if (Pos > InSize || Len > InSize - Pos)
            throw EVestroError("Stream read error");
    };
    auto IsId = [&](size_t Segment, const char* Id, size_t IdLen) {
        return kodex::Be16(In + Segment + 2) >= 2 + IdLen && std::memcmp(In + Segment + 4, Id, IdLen) == 0;
    };
    const TMetadataOption& Meta = S.Metadata;

    Need(0, 6);
    const size_t FirstEnd = 4 + size_t(kodex::Be16(In + 4));
    Need(0, FirstEnd);
    const uint16_t First = kodex::Be16(In + 2);
    const bool IsSOI = kodex::Be16(In + 0) == 0xFFD8;
    std::vector<uint8_t> Out;
    bool Modified = false;
    if (IsSOI && First == 0xFFE1 && DropExif && IsId(2, "Exif", 4)) {
        // The EXIF segment goes; a JFIF header takes its place.
        int32_t X = Meta.Resolution, Y = Meta.Resolution;
        if (Meta.KeepResolution) {
            int32_t DX = 0, DY = 0;
            ResolutionToDPI(DX, DY, Info.Resolution());
            if (DX >= 2 && DY >= 2) {
                X = DX;
                Y = DY;
            }
        }
        Out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
        PutBE16(&Out[14], Density(X));
        PutBE16(&Out[16], Density(Y));
        Modified = true;
    } else {
        Out.assign(In, In + FirstEnd);
        // Only a real JFIF header of full length is patched.
        if (IsSOI && First == 0xFFE0 && !Meta.KeepResolution && FirstEnd >= 18 && IsId(2, "JFIF\0", 5)) {
            Out[13] = 1;
            PutBE16(&Out[14], Density(Meta.Resolution));
            PutBE16(&Out[16], Density(Meta.Resolution));
            Modified = true;
        }
    }

    bool Abandoned = false;
    size_t P = FirstEnd;
    for (;;) {
        Need(P, 4);
        const uint16_t M = kodex::Be16(In + P);
        if ((M >> 8) != 0xFF || kodex::Be16(In + P + 2) < 2) {
            Abandoned = true;
            break;
        }
        if ((M >= 0xFFC1 && M <= 0xFFCF) || M == 0xFFDA)
            break;
        const size_t Next = P + 2 + kodex::Be16(In + P + 2);
        Need(P, Next - P);
        if (M == 0xFFE1 && DropExif && IsId(P, "Exif", 4))
            Modified = true;
        else if (M == 0xFFE2 && DropICC && IsId(P, "ICC_PROFILE", 11))
            Modified = true;
        else
            Out.insert(Out.end(), In + P, In + Next);
        P = Next;
    }
    if (Abandoned) {
        Modified = false;
        Out.clear();
    }
    // A modified output is the rebuilt head, then the rest of the source as it is.
    const size_t Tail = P;
    // Why the copy failed, said as a failed convert says it.
    std::string Why;
    auto Write = [&](std::FILE* F) {
        errno = 0;
        const bool Ok = Modified ? std::fwrite(Out.data(), 1, Out.size(), F) == Out.size() &&
                std::fwrite(In + Tail, 1, InSize - Tail, F) == InSize - Tail
                                 : std::fwrite(In, 1, InSize, F) == InSize;
        if (!Ok)
            Why = std::strerror(errno != 0 ? errno : EIO);
        else if (File.Damaged()) // cut short by another program while copied
            Why = LoadResText("the source changed while it was copied");
        return Why.empty();
    };

    const bool Same = platform::SameFile(Source, Dest);
    if (Same && !Modified)
        return;
    platform::TFileStat St;
    const bool WasReadOnly = platform::StatFile(Dest, St) && St.ReadOnly;
    if (WasReadOnly && !platform::SetReadOnly(Dest, false))
        throw EVestroError(LoadResText(SSetAttributesFailed));
    errno = 0;
    const bool Written = WriteFileAtomically(Dest, Write);
    if (!Written) {
        // Not our writer's: the temporary file could not be made or renamed.
        if (Why.empty())
            Why = errno != 0 ? std::strerror(errno) : LoadResText("Failed to save file");
        ErrorLog.PutFileError(Info.Name(),
                              LoadResText(SCopyFailed) + ": " + LoadResText("cannot write") + " " + Dest + ": " + Why);
    }
    // The input goes only when its output is there and is another file.
    if (Written && S.File.DeleteInputFile && !Same && platform::StatFile(Dest, St) &&
        !platform::SameFile(Source, Dest)) {
        std::error_code Ec;
        std::filesystem::remove(Source, Ec);
    }
    if (Written && Meta.KeepLastWriteTime)
        RestoreFileTimes(Info, Dest, Meta);
    if (WasReadOnly)
        platform::SetReadOnly(Dest, true);
}

// ------------------------------------------------------------ GetExifInfo ---

namespace {

// Thumbnail JPEG of Img in at most Capacity bytes; false when the library
// fails or the picture does not fit.
bool EncodeThumbnail(const TImgInfo& Img, bool IsYCbCr, int32_t SampleType, int32_t Quality, uint32_t Capacity,
                     std::vector<uint8_t>& Out, const TRunSettings& S)
{
    Out.resize(Capacity);
    size_t Size = Capacity;
    if (!WriteThumbnailJPEG(Out.data(), Size, Img, IsYCbCr, SampleType, 0, Quality, S) || Size == 0 || Size > Capacity)
        return false;
    Out.resize(Size);
    return true;
}

// A picture of the thumbnail's size: Src itself when the size matches, else a
// resampled copy owned here.
class TThumbPicture {
public:
    // Resizer may be null only when the size matches.
    TThumbPicture(const TImgInfo& Src, TResizer* Resizer, uint32_t W, uint32_t H) : FSrc(Src)
    {
        if (W != Src.Width || H != Src.Height)
            Resizer->ResizeImage(Src, FCopy, W, H, Src.Channels == 4);
    }
    ~TThumbPicture() { FreeImg(FCopy); }
    TThumbPicture(const TThumbPicture&) = delete;
    TThumbPicture& operator=(const TThumbPicture&) = delete;
    // Turns the picture a quarter clockwise (into an owned copy).
    void TurnClockwise()
    {
        if (!FCopy.Mem) {
            AllocImg(FCopy, FSrc.Width, FSrc.Height, FSrc.Channels);
            CopyImageRect(FSrc, FCopy, TRect{0, 0, int32_t(FSrc.Width), int32_t(FSrc.Height)}, 0, 0);
        }
        RotateImage90(FCopy, true);
    }
    const TImgInfo& Picture() const { return FCopy.Mem ? FCopy : FSrc; }

private:
    const TImgInfo& FSrc;
    TImgInfo FCopy;
};

uint8_t* AlignedCopy(const uint8_t* Data, size_t Size)
{
    uint8_t* P = static_cast<uint8_t*>(AllocAligned(Size, 16));
    std::memcpy(P, Data, Size);
    return P;
}

// The APP1 payload in S (SOI, APP0 segments, APP1); false when S is not so.
bool FindAPP1Payload(const std::vector<uint8_t>& S, uint32_t& Pos, uint32_t& Size)
{
    if (S.size() < 4 || kodex::Be16(&S[0]) != 0xFFD8)
        return false;
    size_t P = 2;
    while (P + 4 <= S.size() && kodex::Be16(&S[P]) == 0xFFE0)
        P += 2 + kodex::Be16(&S[P + 2]);
    if (P + 4 > S.size() || kodex::Be16(&S[P]) != 0xFFE1 || kodex::Be16(&S[P + 2]) < 2 ||
        P + 2 + kodex::Be16(&S[P + 2]) > S.size())
        return false;
    Pos = uint32_t(P + 4);
    Size = kodex::Be16(&S[P + 2]) - 2u;
    return true;
}

} // namespace

uint8_t* TImageInfo::GetExifInfo(bool AutoRotation, const TImgInfo& Src, TResizer* Resizer, bool UpdateExif,
                                 bool UpdateExifResolution, bool IsYCbCr, const TRunSettings& S)
{
    const bool Rotated = AutoRotation && FOrientation != 0 && FOrientation != 1;
    FNewExifSize = 0;
    if (FExifPos == 0)
        return NewExifBlock(Rotated, Src, Resizer, UpdateExif, UpdateExifResolution, IsYCbCr, S);

    std::vector<uint8_t> Block(FExifSize);
    {
        std::ifstream F(FPath, std::ios::binary);
        F.seekg(std::streamoff(FExifPos));
        F.read(reinterpret_cast<char*>(Block.data()), std::streamsize(Block.size()));
        if (!F)
            throw EVestroError(LoadResText(SLoadFailed));
    }
    if (FExifBroken)
        return AlignedCopy(Block.data(), Block.size());

    PatchExifBlock(Block, Rotated, Src.Width, Src.Height, UpdateExif, UpdateExifResolution, S.Metadata.Resolution);
    if (S.JPEG.UpdateExifThumbnail && Resizer && FThumbnailPos != 0 && FThumbnailSize != 0 &&
        uint64_t(FThumbnailOffset) + FThumbnailSize <= Block.size()) {
        uint32_t TW, TH;
        FitThumbnail160(Src.Width, Src.Height, TW, TH);
        TThumbPicture T(Src, Resizer, TW, TH);
        // The old slot keeps its size: the best 4:2:2 quality that fits, else 4:2:0.
        std::vector<uint8_t> J;
        bool Fits = false;
        for (int32_t Q = 95; Q >= 80 && !Fits; --Q)
            Fits = EncodeThumbnail(T.Picture(), IsYCbCr, 1, Q, FThumbnailSize, J, S);
        for (int32_t Q = 90; Q >= 1 && !Fits; --Q)
            Fits = EncodeThumbnail(T.Picture(), IsYCbCr, 0, Q, FThumbnailSize, J, S);
        if (Fits) {
            std::memset(&Block[FThumbnailOffset], 0, FThumbnailSize);
            std::memcpy(&Block[FThumbnailOffset], J.data(), J.size());
            // The new thumbnail shows the picture upright; the old one keeps its orientation.
            if (Rotated && FThumbnailOrientationPos != 0 && uint64_t(FThumbnailOrientationPos) + 2 <= Block.size())
                PutWord(&Block[FThumbnailOrientationPos], 1, FET);
        }
    }
    return AlignedCopy(Block.data(), Block.size());
}

uint8_t* TImageInfo::NewExifBlock(bool Rotated, const TImgInfo& Src, TResizer* Resizer, bool UpdateExif,
                                  bool UpdateExifResolution, bool IsYCbCr, const TRunSettings& Settings)
{
    TKodexInfo Rec{};
    if (UpdateExif) {
        Rec.Width = Src.Width;
        Rec.Height = Src.Height;
    }
    if (UpdateExifResolution)
        Rec.XResolution = Rec.YResolution = Settings.Metadata.Resolution;
    if (Rotated)
        Rec.Orientation = 1;
    uint16_t ThumbOrientation = (Rotated || FOrientation == 0) ? 1 : FOrientation;

    std::vector<uint8_t> S(65535);
    uint32_t OutSize = 0;
    if (!CreateExif(FPath, Rec, nullptr, 0, S.data(), uint32_t(S.size()), OutSize) || OutSize > S.size())
        return nullptr;
    S.resize(OutSize);
    FExifSize = 0;

    uint32_t Pos = 0, Size = 0;
    bool Done = false;
    uint32_t TW, TH;
    bool Turned;
    NewExifThumbnailSize(Src.Width, Src.Height, TW, TH, Turned);
    if (Resizer || (TW == Src.Width && TH == Src.Height)) {
        TThumbPicture T(Src, Resizer, TW, TH);
        if (Turned) {
            T.TurnClockwise();
            ThumbOrientation = 8;
        }
        // One APP1 segment holds the whole block: a thumbnail too large for
        // what is left is encoded again smaller, and left out when even the
        // smallest does not fit.
        std::vector<uint8_t> J;
        for (int32_t Q = 90; Q >= 10 && !Done; Q -= 10)
            Done = EncodeThumbnail(T.Picture(), IsYCbCr, 1, Q, 65535, J, Settings) &&
                RebuildExifThumbnail(S, J.data(), uint32_t(J.size()), ThumbOrientation, Size, Pos);
    }
    if (!Done && !FindAPP1Payload(S, Pos, Size))
        return nullptr;
    FNewExifSize = Size;
    return AlignedCopy(&S[Pos], Size);
}
