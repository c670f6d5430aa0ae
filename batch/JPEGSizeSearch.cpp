#include "batch/JPEGSizeSearch.h"

#include <algorithm>

TJPEGSearchResult SearchJPEGFileSize(const TJPEGSizeSearch& S, std::vector<uint8_t>& Buf,
                                     const TJPEGMemoryEncoder& Encode, const std::atomic<bool>* Cancel)
{
    // Out-of-range settings would walk sample types the encoder does not know
    // or qualities below 1; keep the search inside the valid values so that
    // it always ends.
    const int32_t L = (S.SampleTypeLimit >= 0 && S.SampleTypeLimit <= 3) ? S.SampleTypeLimit : 0;
    const int32_t QMin = std::clamp(S.QualityLimit, 1, 100);
    TJPEGSearchResult R;
    R.Quality = std::clamp(S.Quality, 1, 100);
    R.SampleType = (S.SampleType >= 0 && S.SampleType <= 3) ? S.SampleType : 0;
    for (;;) {
        if (Cancel && *Cancel)
            return R;
        ++R.Tries;
        uint32_t Size = 0;
        if (Encode(R.Quality, R.SampleType, Buf, Size) && Size <= Buf.size()) {
            R.Fitted = true;
            R.Size = Size;
            return R;
        }
        if (L != 3 && R.SampleType < L)
            R.SampleType = L;
        if (R.SampleType == L) {
            if (QMin >= R.Quality)
                return R;
            --R.Quality;
        } else {
            switch (R.SampleType) {
            case 2:
                R.SampleType = 1;
                break;
            case 1:
                R.SampleType = 0;
                break;
            case 0:
                R.SampleType = 3;
                break;
            default:
                R.SampleType = 0;
                break;
            }
        }
    }
}
