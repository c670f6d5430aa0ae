// Whether a JPEG file is whole, told from its structure without decoding it:
// for the paths that hand a JPEG on as it is (the unchanged copy, the
// lossless transform), which must refuse a damaged file as the decoder does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The frame a JPEG's header describes.
struct TJPEGFrame {
    uint32_t Width = 0, Height = 0;
    bool Arithmetic = false;
    // Sampling factors (horizontal, vertical; 1 .. 4) of each component.
    std::vector<std::pair<uint8_t, uint8_t>> Sampling;

    // Bytes of the picture's DCT coefficients (64 two-byte values per block,
    // blocks padded to whole MCUs): what a lossless transform holds of it.
    uint64_t CoefficientBytes() const;
};

// Walks the markers of the Size bytes at Data: valid segment lengths, one
// frame header whose size the data can hold (the decoder's plausibility
// rule), a scan header after it, and an end-of-image marker after the first
// scan (coded data never holds one, so a file cut short has none; whatever
// follows it, a camera's trailer, is not looked at). Only markers the decoder
// knows may stand anywhere; behind the first scan only restart markers (in
// their turn, 0 to 7 from each scan header on, and only with an interval),
// tables, the restart interval, scan headers, DNL, APPn and comments. Empty when the file
// passes; otherwise the decoder's words for what is wrong ("Premature end of
// JPEG file" for a file cut short). Frame, when given, receives the frame
// header. Reads each byte of the coded data once at most.
std::string CheckJPEGStructure(const uint8_t* Data, size_t Size, TJPEGFrame* Frame = nullptr);

// Raises the error a damaged picture gets on the decoding path: "Failed to
// load file: " and Why.
[[noreturn]] void RaiseLoadFailed(const std::string& Why);
