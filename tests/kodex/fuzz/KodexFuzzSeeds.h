// Seed files for the codec fuzz target (KodexFuzzSeeds.cpp says which).
#pragma once
#include <libheif/heif.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct jpeg_compress_struct;

// Writes the seeds into Folder (which must exist), one file each.
void MakeFuzzSeeds(const std::string& Folder);

// A JPEG coded in memory with libjpeg: Components 1 (gray), 3 (RGB) or 4
// (CMYK); Setup adjusts the coder after its defaults, Started (markers) after
// the start, and Row(y) gives row y.
std::vector<uint8_t> EncodeJpeg(uint32_t W, uint32_t H, int Components,
                                const std::function<void(jpeg_compress_struct&)>& Setup,
                                const std::function<const uint8_t*(uint32_t)>& Row,
                                const std::function<void(jpeg_compress_struct&)>& Started = {});
// A 24 x 16 RGB (or RGBA) HEIF turned a quarter by the file, with a profile,
// a thumbnail and, when given, an EXIF block (an APP1 payload, "Exif\0\0"
// first), written to Path. False when this libheif build cannot encode Fmt.
bool EncodeTurnedHeif(const std::string& Path, heif_compression_format Fmt, bool Alpha,
                      const std::vector<uint8_t>& Exif = {});
