#include "core/JPEGProfile.h"

#include "core/SafeWrite.h"
#include "kodex/KodexCommon.h"
#include "platform/FileMap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

bool DropContradictingJPEGProfile(const std::string& FileName)
{
    platform::TMappedFile File;
    if (!File.Open(FileName))
        return false;
    const uint8_t* D = File.Data();
    const size_t N = size_t(File.Size());
    if (N < 4 || kodex::Be16(D) != 0xFFD8)
        return false;
    // The profile's pieces (their place, sequence number and payload) and
    // the frame's components, from the segments before the first scan.
    struct TPiece {
        size_t Pos, Len;
        uint8_t Seq;
    };
    std::vector<TPiece> Pieces;
    uint32_t Components = 0;
    size_t P = 2;
    for (;;) {
        if (P + 4 > N || D[P] != 0xFF)
            return false;
        const uint8_t M = D[P + 1];
        const size_t Len = kodex::Be16(D + P + 2);
        if (Len < 2 || Len > N - P - 2)
            return false;
        if (M == 0xDA)
            break;
        const uint8_t* S = D + P + 4;
        if (M >= 0xC0 && M <= 0xCF && M != 0xC4 && M != 0xC8 && M != 0xCC && Len >= 8)
            Components = S[5];
        else if (M == 0xE2 && Len >= 2 + 14 && std::memcmp(S, "ICC_PROFILE", 12) == 0)
            Pieces.push_back({P, 2 + Len, S[12]});
        P += 2 + Len;
    }
    if (Pieces.empty())
        return true;
    std::vector<TPiece> Ordered = Pieces;
    std::stable_sort(Ordered.begin(), Ordered.end(), [](const TPiece& A, const TPiece& B) { return A.Seq < B.Seq; });
    std::vector<uint8_t> Profile;
    for (const TPiece& I : Ordered)
        Profile.insert(Profile.end(), D + I.Pos + 4 + 14, D + I.Pos + I.Len);
    if (kodex::ProfileSpaceMatches(Profile.data(), Profile.size(), Components))
        return true;
    // Everything but the profile's segments, in its order.
    return WriteFileAtomically(FileName, [&](std::FILE* F) {
        size_t From = 0;
        for (const TPiece& I : Pieces) {
            if (std::fwrite(D + From, 1, I.Pos - From, F) != I.Pos - From)
                return false;
            From = I.Pos + I.Len;
        }
        return std::fwrite(D + From, 1, N - From, F) == N - From && !File.Damaged();
    });
}
