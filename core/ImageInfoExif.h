// EXIF and marker carry-over into JPEG outputs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/ImageInfo.h"

// No EXIF block may be larger than one APP1 segment can hold.
constexpr uint32_t MaxExifBlockSize = 65532;
// Text of the Software tag: the product, or the product and a comma before the
// source's own text.
inline constexpr const char ExifSoftwareName[] = "Vestro";

// Size of the thumbnail put into a newly built EXIF block for a W x H
// picture: landscape pictures fit 160 x 120; portrait and square ones fit
// 120 x 160 and are then stored turned a quarter clockwise (Turned, with
// thumbnail orientation 8). Pictures that already fit keep their size.
void NewExifThumbnailSize(uint32_t W, uint32_t H, uint32_t& TW, uint32_t& TH, bool& Turned);
// Size of a replacement thumbnail: W x H fitted into 160 x 160.
void FitThumbnail160(uint32_t W, uint32_t H, uint32_t& TW, uint32_t& TH);

// S holds SOI, optional APP0 segments and an APP1 EXIF segment (as the codec
// library's create_exif writes it). Appends IFD1 (JPEG compression, the given
// thumbnail orientation, 96 dpi) and the thumbnail behind the segment's data,
// and links IFD0 to it. APP1Pos receives the offset of the APP1 payload
// ("Exif"), NewSize the payload's new length. False, with S unchanged, when S
// is not of that form or the payload would exceed MaxExifBlockSize.
bool RebuildExifThumbnail(std::vector<uint8_t>& S, const uint8_t* Thumbnail, uint32_t ThumbnailSize,
                          uint16_t Orientation, uint32_t& NewSize, uint32_t& APP1Pos);

// Copies an unchanged JPEG at marker level, by the run's settings S: the JFIF density set from
// [Metadata] Resolution unless KeepResolution; EXIF dropped (and a JFIF header
// put in its place) when DropExif; ICC profile segments dropped when DropICC.
// Dest is written through a temporary file. A failed write is logged as
// "name: Failed to copy file: cannot write <Dest>: <reason>"; the source is deleted ([File] DeleteInputFile)
// only after Dest was written and when Dest is another file than Source.
// Raises EVestroError when the source cannot be read or its markers are cut
// short.
void CopyJPEGMetadata(const std::string& Source, const std::string& Dest, bool DropExif, const TImageInfo& Info,
                      bool DropICC, const TRunSettings& S);
