// The search for a JPEG that fits a file-size limit: chroma resolution is
// lowered first (4:4:4, 4:2:2, 4:2:0, 4:1:1 as far as the sample-type limit
// allows), then the quality one step per try down to the quality limit.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

// Sample types (chroma subsampling): 0 4:2:0, 1 4:2:2, 2 4:4:4, 3 4:1:1.
struct TJPEGSizeSearch {
    int32_t Quality = 90;        // first try, 1..100
    int32_t SampleType = 1;      // first try
    int32_t QualityLimit = 75;   // lowest quality tried
    int32_t SampleTypeLimit = 0; // the sample type the search moves to
};

// Encodes the picture at (Quality, SampleType) into Buf; true when the whole
// file fitted into Buf.size() bytes, with Size the bytes written.
using TJPEGMemoryEncoder =
    std::function<bool(int32_t Quality, int32_t SampleType, std::vector<uint8_t>& Buf, uint32_t& Size)>;

struct TJPEGSearchResult {
    bool Fitted = false; // Buf holds Size bytes of a file within the limit
    uint32_t Size = 0;
    int32_t Quality = 0;    // the last try: without a fit the file is written
    int32_t SampleType = 0; // at these without a size check
    int32_t Tries = 0;
};

// Tries encodings into Buf (its size is the limit) until one fits or the
// limits are reached. A set Cancel stops at the next try (result not fitted).
TJPEGSearchResult SearchJPEGFileSize(const TJPEGSizeSearch& S, std::vector<uint8_t>& Buf,
                                     const TJPEGMemoryEncoder& Encode, const std::atomic<bool>* Cancel = nullptr);
