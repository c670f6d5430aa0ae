// Header probes: what the list learns about a file without decoding it.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "core/ExifReader.h"
#include "core/ImageInfo.h"
#include "core/Kodex.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"
#include "core/SafeWrite.h"
#include "platform/FileMap.h"
#include "platform/FdFile.h"

namespace {

constexpr const char SStreamReadError[] = "Stream read error";

// Sequential reads of an open file; a short read raises, as a damaged header does.
class TProbeFile {
public:
    explicit TProbeFile(const std::string& Path) : F(nullptr, &std::fclose)
    {
        // Never waits on a FIFO or device named like a picture.
        const int Fd = platform::FdOpenRead(Path);
        if (Fd < 0)
            return;
        F.reset(fdopen(Fd, "rb"));
        if (!F)
            platform::FdClose(Fd);
    }
    bool IsOpen() const { return F != nullptr; }
    void Seek(uint64_t Pos)
    {
        if (Pos > uint64_t(INT64_MAX) || std::fseek(F.get(), long(Pos), SEEK_SET) != 0)
            throw EVestroError(LoadResText(SStreamReadError));
    }
    void Read(void* Buf, size_t Len)
    {
        if (std::fread(Buf, 1, Len, F.get()) != Len)
            throw EVestroError(LoadResText(SStreamReadError));
    }
    // True when Len bytes were read; false at the end of the file.
    bool TryRead(void* Buf, size_t Len) { return std::fread(Buf, 1, Len, F.get()) == Len; }
    // Reads up to Len bytes; returns how many there were.
    size_t ReadUpTo(void* Buf, size_t Len) { return std::fread(Buf, 1, Len, F.get()); }
    uint16_t BE16()
    {
        uint8_t B[2];
        Read(B, 2);
        return uint16_t(B[0] << 8 | B[1]);
    }
    uint32_t BE32()
    {
        uint8_t B[4];
        Read(B, 4);
        return uint32_t(B[0]) << 24 | uint32_t(B[1]) << 16 | uint32_t(B[2]) << 8 | B[3];
    }
    int32_t LE32()
    {
        uint8_t B[4];
        Read(B, 4);
        return int32_t(uint32_t(B[3]) << 24 | uint32_t(B[2]) << 16 | uint32_t(B[1]) << 8 | B[0]);
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> F;
};

bool ProbeBMP(TProbeFile& F, const std::string& FileName, TImageInfo& Info)
{
    F.Seek(0);
    uint8_t Sig[2];
    if (!F.TryRead(Sig, 2) || Sig[0] != 'B' || Sig[1] != 'M') {
        F.Seek(0);
        return false;
    }
    // The reader's own checks, so that the list says of a cut or impossible
    // file what a run would say; but a picture without pixels is listed as
    // such, and the run says so in its own words. Mapped: only the header
    // pages are read.
    platform::TMappedFile File;
    if (!File.Open(FileName))
        throw EVestroError(LoadResText(SStreamReadError));
    const uint8_t* D = File.Data();
    const uint64_t N = File.Size();
    auto Le32 = [&](uint64_t At) {
        return At + 4 > N ? 0 : int32_t(uint32_t(D[At] | D[At + 1] << 8 | D[At + 2] << 16 | uint32_t(D[At + 3]) << 24));
    };
    const int32_t W = Le32(18), H = Le32(22);
    if (N < 54 || (W != 0 && H != 0)) {
        TBitmapLayout L;
        CheckBitmapFile(D, N, L);
    }
    if (W < 0 || H == INT32_MIN)
        return false; // no picture has such a size
    Info.Width = W;
    Info.Height = H < 0 ? -H : H;
    Info.FXResolution = Le32(38);
    Info.FYResolution = Le32(42);
    Info.FResolutionUnit = 3;
    Info.PictureFormat = pfBMP;
    return true;
}

bool ProbePNG(TProbeFile& F, TImageInfo& Info)
{
    F.Seek(0);
    uint8_t Sig[8];
    if (!F.TryRead(Sig, 8) || std::memcmp(Sig, "\x89PNG", 4) != 0) {
        F.Seek(0);
        return false;
    }
    bool Recognised = false;
    // Chunk lengths are unsigned 32-bit; every step moves forward by at least
    // the 12 bytes of length, type and CRC, and a chunk reaching past the end of
    // the file ends the walk.
    const uint64_t FileSize = uint64_t(Info.Size);
    uint64_t Pos = 8;
    while (Pos + 8 <= FileSize) {
        F.Seek(Pos);
        const uint32_t Len = F.BE32();
        char Type[4];
        F.Read(Type, 4);
        if (std::memcmp(Type, "IHDR", 4) == 0 && Len >= 8) {
            const uint32_t W = F.BE32(), H = F.BE32();
            if (W > uint32_t(INT32_MAX) || H > uint32_t(INT32_MAX))
                return false;
            Info.Width = int32_t(W);
            Info.Height = int32_t(H);
            Info.PictureFormat = pfPNG;
            if (Len >= 10) {
                const uint16_t DepthType = F.BE16();
                Info.PNGBitDepth = uint8_t(DepthType >> 8);
                Info.PNGColorType = uint8_t(DepthType);
            }
            Recognised = true;
        } else if (std::memcmp(Type, "pHYs", 4) == 0 && Len >= 9) {
            const uint32_t X = F.BE32(), Y = F.BE32();
            uint8_t Unit = 0;
            F.Read(&Unit, 1);
            Info.FXResolution = X;
            Info.FYResolution = Y;
            Info.FResolutionUnit = Unit == 1 ? 3 : 0;
            break;
        } else if (std::memcmp(Type, "IDAT", 4) == 0) {
            break;
        }
        Pos += 12 + uint64_t(Len);
    }
    return Recognised;
}

bool IsSOF(uint16_t M)
{
    return M >= 0xFFC0 && M <= 0xFFCB && M != 0xFFC4 && M != 0xFFC8;
}

bool ProbeJPEG(TProbeFile& F, TImageInfo& Info)
{
    F.Seek(0);
    uint8_t Sig[2];
    if (!F.TryRead(Sig, 2) || Sig[0] != 0xFF || Sig[1] != 0xD8) {
        F.Seek(0);
        return false;
    }
    bool Recognised = false;
    uint64_t ExifPos = 0, ExifSize = 0;
    const uint64_t FileSize = uint64_t(Info.Size);
    uint64_t Pos = 2;
    while (Pos + 4 <= FileSize) {
        F.Seek(Pos);
        const uint16_t M = F.BE16();
        if ((M >> 8) != 0xFF || M == 0xFFD9)
            break;
        const uint16_t Len = F.BE16();
        if (IsSOF(M)) {
            uint8_t Precision;
            F.Read(&Precision, 1);
            Info.Height = F.BE16();
            Info.Width = F.BE16();
            Info.PictureFormat = pfJPEG;
            Info.Progressive = M == 0xFFC2 || M == 0xFFC6 || M == 0xFFCA;
            Recognised = true;
            break;
        }
        if (Len < 2)
            break;
        if (M == 0xFFE0 && Len >= 2 + 12) {
            uint8_t J[12];
            F.Read(J, 12);
            if (std::memcmp(J, "JFIF", 4) == 0) {
                Info.FXResolution = uint16_t(J[8] << 8 | J[9]);
                Info.FYResolution = uint16_t(J[10] << 8 | J[11]);
                Info.FResolutionUnit = J[7] == 1 ? 1 : J[7] == 2 ? 2 : 0;
            }
        } else if (M == 0xFFE1 && ExifPos == 0 && Len >= 2 + 4) {
            char Id[4];
            F.Read(Id, 4);
            if (std::memcmp(Id, "Exif", 4) == 0) {
                ExifPos = Pos + 4;
                ExifSize = Len - 2u;
            }
        }
        Pos += 2 + uint64_t(Len);
    }
    if (!Recognised) {
        F.Seek(0);
        return false;
    }
    if (ExifPos != 0) {
        Info.FExifPos = uint32_t(ExifPos);
        Info.FExifSize = uint32_t(ExifSize);
        Info.FHasExif = true;
        std::vector<uint8_t> Block(ExifSize);
        bool Ok = ExifPos + ExifSize <= FileSize;
        if (Ok) {
            F.Seek(ExifPos);
            Ok = F.TryRead(Block.data(), Block.size());
        }
        if (!Ok || !ParseExifBlock(Block.data(), Block.size(), Info.FExifPos, Info)) {
            Info.FExifBroken = true;
            ErrorLog.PutProbeError(Info.Name(), LoadResText(SExifDamaged));
        }
    }
    return true;
}

// Files a plug-in reads: the first plug-in that lists the extension and
// accepts the file's head answers for its size.
bool ProbeThroughPlugin(TProbeFile& F, const std::string& FileName, TImageInfo& Info)
{
    if (!PictureTypes.ActiveSPIList || !PictureTypes.ActiveSPIList->IsSupportExt(FileName))
        return false;
    std::vector<uint8_t> Header(SPI_HEADER_SIZE, 0);
    F.Seek(0);
    F.ReadUpTo(Header.data(), Header.size());
    TSusiePlugin* Plugin = PictureTypes.ActiveSPIList->FindSupportSPI(FileName, Header.data());
    if (!Plugin)
        return false;
    TPictureInfo P{};
    if (Plugin->GetPictureInfo(FileName, P) != 0 || P.Width < 0 || P.Height < 0)
        return false;
    Info.Width = P.Width;
    Info.Height = P.Height;
    Info.FXResolution = P.x_Density;
    Info.FYResolution = P.y_Density;
    Info.FResolutionUnit = 0;
    Info.FSPI = Plugin;
    Info.PictureFormat = pfSPI;
    return true;
}

// Files the codec library reads beyond BMP, PNG and JPEG (TIFF, WebP, HEIF, ...):
// the library's own header probe.
bool ProbeThroughKodex(const std::string& FileName, const std::string& Ext, TImageInfo& Info)
{
    // Each listed extension is followed by ",", so ".ti" does not match ".tif".
    if (Ext.empty() || GetWICExtensions().find(Ext + ",") == std::string::npos)
        return false;
    TKodexInfo K{};
    if (!ReadWICInfo(FileName, K))
        return false;
    if (K.Width > uint32_t(INT32_MAX) || K.Height > uint32_t(INT32_MAX))
        return false;
    Info.Width = int32_t(K.Width);
    Info.Height = int32_t(K.Height);
    Info.FXResolution = K.XResolution;
    Info.FYResolution = K.YResolution;
    Info.FOrientation = K.Orientation;
    Info.FHasExif = K.HasExif != 0;
    Info.DateTimeOriginal = ExifDateToDateTime(std::string(K.DateTime, strnlen(K.DateTime, sizeof K.DateTime)));
    Info.FResolutionUnit = 1;
    Info.PictureFormat = pfWIC;
    return true;
}

void FillFileTimes(const platform::TFileStat& St, TImageInfo& Info)
{
    Info.Size = int64_t(St.Size);
    Info.LastWriteStamp = St.LastWrite;
    Info.DateTimeLastWrite = FileStampToLocal(St.LastWrite);
    Info.DateTimeCreation = St.Creation;
}

} // namespace

bool GetImageInfo(const std::string& FileName, TImageInfo& Info)
{
    Info.ResetParam();
    const std::string Ext = AsciiLower(ExtractFileExt(FileName));
    platform::TFileStat St;
    if (!platform::StatFile(FileName, St) || St.IsDirectory)
        return false;
    Info.SetPath(FileName);
    try {
        if (!St.IsRegular)
            throw EVestroError(LoadResText("Not a regular file"));
        TProbeFile F(FileName);
        if (!F.IsOpen())
            throw EVestroError("Cannot open file");
        FillFileTimes(St, Info);

        bool Found = false;
        int Tried = 0; // 1 BMP, 2 PNG, 3 JPEG
        if (Ext == ".bmp" || Ext == ".dib") {
            Tried = 1;
            Found = ProbeBMP(F, FileName, Info);
        } else if (Ext == ".png") {
            Tried = 2;
            Found = ProbePNG(F, Info);
        } else if (Ext == ".jpg" || Ext == ".jpeg" || Ext == ".jfif" || Ext == ".exif" || Ext == ".jpe") {
            Tried = 3;
            Found = ProbeJPEG(F, Info);
        }
        // The extension may lie: try the content.
        if (!Found && Tried != 1)
            Found = ProbeBMP(F, FileName, Info);
        if (!Found && Tried != 2)
            Found = ProbePNG(F, Info);
        if (!Found && Tried != 3)
            Found = ProbeJPEG(F, Info);
        if (!Found)
            Found = ProbeThroughPlugin(F, FileName, Info);
        if (!Found)
            Found = ProbeThroughKodex(FileName, Ext, Info);
        if (Found)
            PictureTypes.ExtInfoList.AddExt(Ext);
        return Found;
    } catch (const std::exception& E) {
        ErrorLog.PutProbeError(Info.Name(), E.what());
        return false;
    }
}

bool GetBasicFileInfo(const std::string& FileName, TImageInfo& Info)
{
    Info.ResetParam();
    platform::TFileStat St;
    if (!platform::StatFile(FileName, St))
        return false;
    FillFileTimes(St, Info);
    Info.SetPath(FileName);
    return true;
}

TDateTime GetFileLastWriteTime(const std::string& FileName)
{
    platform::TFileStat St;
    return platform::StatFile(FileName, St) ? FileStampToLocal(St.LastWrite) : 0;
}

bool ResetJPEGExifOrientation(const std::string& FileName)
{
    // Mapped, not read: only the head up to the end of the EXIF block
    // changes; the rest is written from the mapping as it is.
    platform::TMappedFile File;
    size_t Pos = 0, Len = 0;
    if (!File.Open(FileName) || !FindJPEGExif(File.Data(), size_t(File.Size()), Pos, Len))
        return false;
    std::vector<uint8_t> Head(File.Data(), File.Data() + Pos + Len);
    if (!ResetExifOrientationInMemory(Head.data(), Head.size()))
        return false;
    const size_t Rest = size_t(File.Size()) - Head.size();
    return WriteFileAtomically(FileName, [&](std::FILE* F) {
        return std::fwrite(Head.data(), 1, Head.size(), F) == Head.size() &&
            std::fwrite(File.Data() + Head.size(), 1, Rest, F) == Rest && !File.Damaged();
    });
}
