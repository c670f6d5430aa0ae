// What the program knows about one input file, and the ordered file list.
//
// A TImageInfo is filled by a header probe (BMP, PNG and JPEG headers are read
// here; plug-ins and the codec library answer for everything else) without
// decoding the picture. EXIF positions are byte offsets relative to ExifPos,
// the first byte of the "Exif" identifier inside the APP1 segment; every one of
// them has been checked to lie inside the EXIF block before it is stored, so the
// output side may write through them.
//
// The file list is touched by the GUI thread only; a batch reads it unchanged.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/ImgInfo.h"
#include "platform/FileTimes.h"

class TSusiePlugin;
class TSPIList;
class TResizer;
struct TRunSettings;

enum TEndianType { etII, etMM };

// Date-time as days since 1899-12-30 00:00, the fraction being the time of day.
// 0 means "none".
using TDateTime = double;

// Encodes a date-time; false (and Out untouched) when the values do not form a
// valid date (year 1..9999) and time.
bool TryEncodeDateTime(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute, int32_t Second,
                       TDateTime& Out);
// Splits a date-time into its parts, rounded to the nearest second.
void DecodeDateTime(TDateTime D, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour, int32_t& Minute,
                    int32_t& Second);
// An EXIF date text "yyyy:mm:dd hh:nn:ss" as a date-time; 0 when it has not
// exactly six parts (split at ":" and blanks) or they do not form a valid date.
TDateTime ExifDateToDateTime(const std::string& Text);
// A file stamp as local date-time, and back (whole seconds).
TDateTime FileStampToLocal(const platform::TFileStamp& T);

// Path pieces ("/" separates folders). ExtractFilePath keeps the trailing "/";
// ExtractFileExt keeps the dot and is empty when the last part has no dot.
std::string ExtractFilePath(const std::string& Path);
std::string ExtractFileName(const std::string& Path);
std::string ExtractFileExt(const std::string& Path);
std::string AsciiLower(std::string S);

// The resize step's scale pair: new size / old size. (1.0, 1.0) means none.
struct TScale {
    double XScale = 1.0;
    double YScale = 1.0;
};

// Picture formats of TImageInfo::PictureFormat.
enum : int32_t {
    pfUnknown = 0,
    pfBMP = 1,
    pfJPEG = 2,
    pfPNG = 3,
    pfWIC = 6,
    pfSPI = 7,
};

class TImageInfo {
public:
    TImageInfo() = default;
    TImageInfo(const TImageInfo&) = delete;
    TImageInfo& operator=(const TImageInfo&) = delete;
    // Deletes the file at Path when IsTempFile is set (a pasted picture).
    ~TImageInfo();

    // Forgets everything a probe found (see the .cpp for which fields stay).
    void ResetParam();

    const std::string& Path() const { return FPath; }
    void SetPath(const std::string& P) { FPath = P; }
    std::string Name() const; // file name part of Path
    std::string Ext() const;  // extension of Path without the dot
    uint32_t ExifPos() const { return FExifPos; }
    uint32_t ExifSize() const { return FNewExifSize ? FNewExifSize : FExifSize; }
    uint32_t ThumbnailPos() const { return FThumbnailPos; }
    uint32_t ThumbnailSize() const { return FThumbnailSize; }
    uint32_t OrientationPos() const { return FOrientationPos; }
    uint16_t Orientation() const { return FOrientation; }
    void SetOrientation(uint16_t O) { FOrientation = O; }
    TSusiePlugin* SPI() const { return FSPI; }
    bool HasExif() const { return FHasExif; }
    bool ExifBroken() const { return FExifBroken; }
    double XResolution() const { return FXResolution; }
    double YResolution() const { return FYResolution; }
    int32_t ResolutionUnit() const { return FResolutionUnit; }
    TResolutionInfo Resolution() const { return {FXResolution, FYResolution, FResolutionUnit}; }
    const std::vector<uint8_t>& Thumbnail() const { return FThumbnail; }
    void SetThumbnail(const std::vector<uint8_t>& T) { FThumbnail = T; }
    // Shell type name of the picture's format (see TExtInfoList).
    std::string ImageType() const;
    // File size as text: "1023 Byte", "1.00 KB", "999 KB", "0.98 MB", "100 MB".
    std::string SizeStr() const;

    // EXIF carry-over for a JPEG output (ImageInfoExif.cpp). Returns a block from
    // AllocAligned of ExifSize() bytes starting at "Exif", owned by the caller
    // (FreeAligned), or null when there is nothing to carry.
    uint8_t* GetExifInfo(bool AutoRotation, const TImgInfo& Src, TResizer* Resizer, bool UpdateExif,
                         bool UpdateExifResolution, bool IsYCbCr, const TRunSettings& S);
    // Steps of GetExifInfo on a block read from this file (FExifSize bytes):
    // orientation 1 when Rotated, the pixel dimensions (UpdateExif), the
    // Software text, the resolution (Resolution dpi, with
    // UpdateExifResolution). The block may grow; FNewExifSize then holds its
    // size. Nothing is patched when the EXIF is broken.
    void PatchExifBlock(std::vector<uint8_t>& Block, bool Rotated, uint32_t Width, uint32_t Height, bool UpdateExif,
                        bool UpdateExifResolution, int32_t Resolution);

    // --- what the probes fill; the list, the batch and the windows read them ---
    std::string FPath;
    uint32_t FExifPos = 0;      // file offset of "Exif"
    uint32_t FExifSize = 0;     // APP1 length - 2 (at most 65533)
    uint32_t FNewExifSize = 0;  // size of a rebuilt block, 0 when none
    uint32_t FThumbnailPos = 0; // file offset of the IFD1 JPEG thumbnail
    uint32_t FThumbnailSize = 0;
    uint32_t FThumbnailOffset = 0; // FThumbnailPos - FExifPos
    uint32_t FThumbnailOrientationPos = 0;
    std::vector<uint8_t> FThumbnail; // picture kept for the list's thumbnails
    // What making the list's thumbnail had to say (a damaged file) is in the
    // error log: later thumbnails of this file say it no more.
    bool FThumbnailSaid = false;
    uint32_t FOrientationPos = 0;
    uint16_t FOrientation = 0;    // 1..8, 0 when absent
    TSusiePlugin* FSPI = nullptr; // not owned
    bool FHasExif = false;
    TEndianType FET = etII;
    uint32_t FXDimensionPos = 0;
    uint16_t FXDimensionType = 0; // TIFF type: 3 SHORT, 4 LONG, 9 SLONG
    uint32_t FYDimensionPos = 0;
    uint16_t FYDimensionType = 0;
    uint32_t FSoftwarePos = 0;
    uint32_t FSoftwareLen = 0; // bytes including the terminating zero
    uint32_t FSoftwareLenPos = 0;
    double FXResolution = 0;
    uint32_t FXResolutionPos = 0;
    double FYResolution = 0;
    uint32_t FYResolutionPos = 0;
    int32_t FResolutionUnit = 0; // TResolutionInfo coding
    uint32_t FResolutionUnitPos = 0;
    bool FExifBroken = false;
    uint32_t FIFD0Entry = 0;
    uint32_t FIFD0Pos = 0;
    uint32_t FIFD0NextPos = 0; // position of IFD0's next-IFD offset

    int32_t Width = 0, Height = 0;
    int64_t Size = 0; // bytes
    int32_t PictureFormat = pfUnknown;
    bool Progressive = false; // a JPEG coded in progressive scans
    uint8_t PNGBitDepth = 0;  // a PNG's IHDR bit depth and colour type (0 when not a PNG)
    uint8_t PNGColorType = 0;
    TDateTime DateTimeOriginal = 0;        // local, from EXIF
    TDateTime DateTimeLastWrite = 0;       // local
    platform::TFileStamp LastWriteStamp;   // the raw last-write time, for an exact restore
    platform::TFileStamp DateTimeCreation; // raw; Linux cannot set it back
    bool Checked = false;
    std::string Dir;  // sub-folder recreated under the output folder ("" or ending in "/")
    std::string Base; // folder the entry was listed from
    std::string OutPutFileName;
    bool IsTempFile = false;
    int32_t Number = 0;

private:
    // GetExifInfo for a source without EXIF: a block from the codec library
    // with a new thumbnail.
    uint8_t* NewExifBlock(bool Rotated, const TImgInfo& Src, TResizer* Resizer, bool UpdateExif,
                          bool UpdateExifResolution, bool IsYCbCr, const TRunSettings& S);
};

// Ordered file list; owns its entries.
class TImageInfoList {
public:
    TImageInfoList();
    ~TImageInfoList();
    TImageInfoList(const TImageInfoList&) = delete;
    TImageInfoList& operator=(const TImageInfoList&) = delete;

    int32_t Add(TImageInfo* Info); // takes ownership; returns the index
    void Delete(int32_t Index);
    // Moves the entry at From to the place To; the entries between shift by
    // one. Nothing for indices outside the list.
    void Move(int32_t From, int32_t To);
    void Clear();
    bool Contains(const std::string& Path) const; // letter case ignored
    // Stable sort by key 0..6 (name, dimensions, size, format, last write,
    // shooting date, path); then the key's direction is reversed for the next call.
    void SortList(int32_t Key);

    int32_t Count() const { return int32_t(FItems.size()); }
    TImageInfo* Items(int32_t Index) const { return FItems[size_t(Index)]; }
    TImageInfo* operator[](int32_t Index) const { return FItems[size_t(Index)]; }

    int32_t SD[7];
    int32_t SD2 = 0;

private:
    std::vector<TImageInfo*> FItems;
    std::multiset<std::string>
        FPathList; // paths as given, for Contains: on Linux two names that differ only in case are two files
};

// Extension -> type name (".jpg" -> "JPEG image"), filled on first use of
// each extension. The names are the program's own, returned in the interface
// language (the file list's type column must not switch to the system's
// language): the formats the program reads have a name each, any other
// extension reads "XYZ file".
class TExtInfoList {
public:
    std::string AddExt(const std::string& Ext); // Ext with its dot, e.g. ".jpg"
    std::string GetExtType(const std::string& Ext) { return AddExt(Ext); }

private:
    struct TType {
        const char* Text = nullptr; // English name, the catalogue key
        std::string Ext;            // upper-case extension for "%s file"
    };
    std::mutex FLock;
    std::map<std::string, TType> FTypes; // lower-cased extension -> name
};
// What the program knows of picture types.
struct TPictureTypes {
    TExtInfoList ExtInfoList;
    // The plug-in list the probes and the loader consult; start-up points it
    // at the process-wide list it loads from the settings (null: no plug-ins).
    TSPIList* ActiveSPIList = nullptr;
};
extern TPictureTypes PictureTypes;

// Header probes. Each returns true when it recognised the file.
bool GetImageInfo(const std::string& FileName, TImageInfo& Info);
// Only size, times and path; false when the file is missing.
bool GetBasicFileInfo(const std::string& FileName, TImageInfo& Info);
// Last write as a local date-time, 0 when the file is not found.
TDateTime GetFileLastWriteTime(const std::string& FileName);
// Sets the IFD0 orientation of a JPEG file's EXIF to 1. The file is rewritten
// through a temporary file in its folder and is left as it was on any failure.
// True when the orientation was reset.
bool ResetJPEGExifOrientation(const std::string& FileName);

// Reads a whole file. False when it cannot be read.
bool LoadWholeFile(const std::string& Path, std::vector<uint8_t>& Data);
