// EXIF blocks: reading the fields the program uses, and the byte-order
// primitives for patching a block.
//
// A block is the payload of an APP1 segment: "Exif", 0, 0, then a TIFF
// structure whose offsets count from its byte-order mark (6 bytes into the
// block). Positions handed out count from the block's first byte. Every
// offset, count and position read from the block is checked against the
// block's size; anything outside makes the block "broken".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ImageInfo.h"

// TIFF field types the program reads or writes.
enum : uint16_t { ttASCII = 2, ttSHORT = 3, ttLONG = 4, ttRATIONAL = 5, ttSLONG = 9 };

// Fixed-order loads and stores. The caller guarantees the bytes exist.
uint16_t GetWord(const uint8_t* P, TEndianType Order);
uint32_t GetDWord(const uint8_t* P, TEndianType Order);
void PutWord(uint8_t* P, uint16_t Value, TEndianType Order);
void PutDWord(uint8_t* P, uint32_t Value, TEndianType Order);
// A RATIONAL: numerator then denominator.
void PutRational(uint8_t* P, uint32_t Numerator, uint32_t Denominator, TEndianType Order);

// Appending forms for building IFDs.
void WriteWord(std::vector<uint8_t>& S, uint16_t Value, TEndianType Order);
void WriteDWord(std::vector<uint8_t>& S, uint32_t Value, TEndianType Order);
// One 12-byte entry: tag, SHORT, count 1, the value, a zero word.
void WriteShortEntry(std::vector<uint8_t>& S, uint16_t Tag, uint16_t Value, TEndianType Order);
// One 12-byte entry: tag, LONG, count 1, the value.
void WriteLongEntry(std::vector<uint8_t>& S, uint16_t Tag, uint32_t Value, TEndianType Order);
// One 12-byte entry: tag, RATIONAL, count 1, Offset; the value itself
// (numerator, denominator) is appended to Values.
void WriteRationalEntry(std::vector<uint8_t>& S, std::vector<uint8_t>& Values, uint16_t Tag, TEndianType Order,
                        uint32_t Offset, uint32_t Denominator, uint32_t Numerator);

// Reads the EXIF fields of Block (Size bytes, starting at "Exif") into Info:
// byte order, IFD0 (count and position, orientation, Software, resolution),
// the Exif IFD (shooting date, pixel dimensions) and IFD1 (the JPEG thumbnail,
// its orientation). Positions are relative to the block; ExifPos is the
// block's file offset, used for the thumbnail's file position. Returns false
// when the block is broken; what was read before the fault stands, except the
// thumbnail and resolution, which are kept only when complete.
bool ParseExifBlock(const uint8_t* Block, size_t Size, uint32_t ExifPos, TImageInfo& Info);

// Finds the first APP1 "Exif" segment of a JPEG held in memory, before the
// frame header. Returns its payload's offset and size (segment length - 2);
// false when there is none or the markers are damaged before it.
bool FindJPEGExif(const uint8_t* Data, size_t Size, size_t& ExifPos, size_t& ExifSize);

// Sets IFD0's Orientation (a SHORT) to 1 in a JPEG held in memory. False (and
// nothing changed) when there is no such entry or the block is damaged.
bool ResetExifOrientationInMemory(uint8_t* Data, size_t Size);
