#include "core/JPEGCheck.h"

#include "core/Errors.h"
#include "core/ResourceText.h"
#include "kodex/JpegPlausible.h"
#include "kodex/KodexCommon.h" // Be16

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The decoder's own words for each fault found here.
constexpr const char kPrematureEnd[] = "Premature end of JPEG file";
constexpr const char kBogusLength[] = "Bogus marker length";
constexpr const char kNoImage[] = "JPEG datastream contains no image";
constexpr const char kTwoSOI[] = "Invalid JPEG file structure: two SOI markers";
constexpr const char kTwoSOF[] = "Invalid JPEG file structure: two SOF markers";
constexpr const char kSOSNoSOF[] = "Invalid JPEG file structure: SOS before SOF";
constexpr const char kEmptyImage[] = "Empty JPEG image (DNL not supported)";
constexpr const char kBadSampling[] = "Bogus sampling factors";

bool IsSOF(uint8_t M)
{
    return M >= 0xC0 && M <= 0xCF && M != 0xC4 && M != 0xC8 && M != 0xCC;
}

bool IsRST(uint8_t M)
{
    return M >= 0xD0 && M <= 0xD7;
}

// The segments that may stand before a scan and between two: tables (DHT,
// DAC, DQT), the restart interval, DNL, application segments and comments.
bool IsTableOrMisc(uint8_t M)
{
    return M == 0xC4 || M == 0xCC || M == 0xDB || M == 0xDD || M == 0xDC || (M >= 0xE0 && M <= 0xEF) || M == 0xFE;
}

std::string Unsupported(uint8_t M)
{
    char Why[48];
    std::snprintf(Why, sizeof Why, "Unsupported marker type 0x%02x", M);
    return Why;
}

// Reads a frame header's payload (after the length); empty when it holds.
std::string ReadFrame(uint8_t M, const uint8_t* S, size_t Len, TJPEGFrame& F)
{
    if (Len < 6 || Len != 6 + 3 * size_t(S[5]))
        return kBogusLength;
    F.Height = kodex::Be16(S + 1);
    F.Width = kodex::Be16(S + 3);
    F.Arithmetic = M >= 0xC9;
    if (F.Width == 0 || F.Height == 0 || S[5] == 0)
        return kEmptyImage;
    for (size_t C = 0; C < S[5]; ++C) {
        const uint8_t HV = S[6 + 3 * C + 1];
        const uint8_t H = HV >> 4, V = HV & 15;
        if (H < 1 || H > 4 || V < 1 || V > 4)
            return kBadSampling;
        F.Sampling.emplace_back(H, V);
    }
    return std::string();
}

} // namespace

uint64_t TJPEGFrame::CoefficientBytes() const
{
    uint32_t HMax = 1, VMax = 1;
    for (const auto& [H, V] : Sampling)
        HMax = std::max<uint32_t>(HMax, H), VMax = std::max<uint32_t>(VMax, V);
    const uint64_t McuX = (uint64_t(Width) + 8 * HMax - 1) / (8 * HMax);
    const uint64_t McuY = (uint64_t(Height) + 8 * VMax - 1) / (8 * VMax);
    uint64_t Blocks = 0;
    for (const auto& [H, V] : Sampling)
        Blocks += McuX * H * McuY * V;
    return Blocks * 64 * 2;
}

std::string CheckJPEGStructure(const uint8_t* D, size_t N, TJPEGFrame* Frame)
{
    if (N < 2)
        return kPrematureEnd;
    if (D[0] != 0xFF || D[1] != 0xD8) {
        char Why[64];
        std::snprintf(Why, sizeof Why, "Not a JPEG file: starts with 0x%02x 0x%02x", D[0], D[1]);
        return Why;
    }
    TJPEGFrame F;
    bool SawFrame = false, SawScan = false;
    // The restart interval in force, and the restart marker the current scan
    // must show next: an encoder numbers them 0 to 7 and over again from
    // each scan header on, and the decoder refuses any other order.
    uint32_t Interval = 0, NextRST = 0;
    size_t P = 2;
    for (;;) {
        // The next marker. Bytes before it are coded data inside a scan, or
        // stray bytes, which the decoder passes over too; fill bytes (0xFF)
        // may stand before any marker.
        const void* Q = std::memchr(D + P, 0xFF, N - P);
        if (!Q)
            return kPrematureEnd;
        P = size_t(static_cast<const uint8_t*>(Q) - D);
        while (P + 1 < N && D[P + 1] == 0xFF)
            ++P;
        if (P + 1 >= N)
            return kPrematureEnd;
        const uint8_t M = D[P + 1];
        // A stuffed zero byte stands alone, as do restart markers and the
        // temporary marker before the first scan (the decoder passes over
        // them there). Coded data holds only restart markers, in their order,
        // and only where the scan has an interval: anything else behind a
        // scan header would be coded data the decoder cannot read.
        if (M == 0x00 || (!SawScan && (M == 0x01 || IsRST(M)))) {
            P += 2;
            continue;
        }
        if (IsRST(M)) {
            if (Interval == 0)
                return Unsupported(M);
            if (M != 0xD0 + NextRST) {
                char Why[80];
                std::snprintf(Why, sizeof Why, "Corrupt JPEG data: found marker 0x%02x instead of RST%u", M, NextRST);
                return Why;
            }
            NextRST = (NextRST + 1) & 7;
            P += 2;
            continue;
        }
        if (M == 0xD9) {
            if (!SawScan)
                return kNoImage;
            if (Frame)
                *Frame = std::move(F);
            return std::string();
        }
        if (M == 0xD8)
            return kTwoSOI;
        // Before and after the first scan alike, a marker the decoder does
        // not know is refused, not passed over by its length: behind a scan
        // it is damaged coded data (0xFF 0xDE, say) and what its "length"
        // skips is picture data.
        if (!IsSOF(M) && M != 0xDA && !IsTableOrMisc(M))
            return Unsupported(M);
        if (N - P < 4)
            return kPrematureEnd;
        const size_t Len = kodex::Be16(D + P + 2);
        if (Len < 2)
            return kBogusLength;
        if (Len > N - P - 2)
            return kPrematureEnd;
        const uint8_t* S = D + P + 4;
        if (IsSOF(M)) {
            if (SawFrame)
                return kTwoSOF;
            if (std::string Why = ReadFrame(M, S, Len - 2, F); !Why.empty())
                return Why;
            char Why[96];
            if (!kodex::JpegFramePlausible(D, N, F.Width, F.Height, F.Arithmetic, Why, sizeof Why))
                return Why;
            SawFrame = true;
        } else if (M == 0xDA) {
            if (!SawFrame)
                return kSOSNoSOF;
            if (Len < 3 || S[0] < 1 || S[0] > 4 || Len != 6 + 2 * size_t(S[0]))
                return kBogusLength;
            SawScan = true;
            NextRST = 0;
        } else if (M == 0xDD) {
            if (Len != 4)
                return kBogusLength;
            Interval = kodex::Be16(S);
        }
        P += 2 + Len;
    }
}

void RaiseLoadFailed(const std::string& Why)
{
    throw EVestroError(LoadResText(SLoadFailed) + ": " + Why);
}
