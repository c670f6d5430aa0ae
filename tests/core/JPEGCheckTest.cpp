// The structure check of the paths that hand a JPEG on undecoded: a file
// that is not whole is refused, in the decoder's words; a whole one, with
// whatever follows its end, passes.
#include "core/ErrorLog.h"
#include "core/ImgInfo.h"
#include "core/JPEGCheck.h"
#include "core/RunSettings.h"
#include "FilesTestUtil.h"

#include <gtest/gtest.h>

namespace {

using TBytes = std::vector<uint8_t>;

std::string Check(const TBytes& B, TJPEGFrame* F = nullptr)
{
    return CheckJPEGStructure(B.data(), B.size(), F);
}

// A real JPEG of W x H made by the codec library.
TBytes Encoded(uint32_t W, uint32_t H, int32_t SampleType, bool Progressive = false)
{
    EnsureKodex();
    TRunSettings S = TakeRunSettings();
    S.JPEG.Progressive = Progressive;
    TImgInfo I = MakeGradient(W, H, 3);
    TBytes B(1 << 20);
    size_t N = B.size();
    EXPECT_NE(
        WriteJPEGToMemory(B.data(), N, I, TResolutionInfo{72, 72, 1}, false, nullptr, nullptr, 0, SampleType, 0, 90, S),
        0);
    FreeImg(I);
    B.resize(N);
    return B;
}

// What the decoder says of the bytes; empty when it decodes them.
std::string DecoderSays(const TBytes& B)
{
    TErrorCapture Said;
    TImgInfo I;
    const int R = ReadJPEGFromMemory(B.data(), B.size(), I, TakeRunSettings());
    FreeImg(I);
    return R ? std::string() : Said.Text();
}

size_t Find(const TBytes& B, uint8_t Marker, size_t From = 0)
{
    for (size_t P = From; P + 1 < B.size(); ++P)
        if (B[P] == 0xFF && B[P + 1] == Marker)
            return P;
    return std::string::npos;
}

// The frame header's size fields replaced.
TBytes WithFrame(TBytes B, uint16_t W, uint16_t H)
{
    size_t Sof = Find(B, 0xC0);
    if (Sof == std::string::npos)
        Sof = Find(B, 0xC2);
    B[Sof + 5] = uint8_t(H >> 8), B[Sof + 6] = uint8_t(H);
    B[Sof + 7] = uint8_t(W >> 8), B[Sof + 8] = uint8_t(W);
    return B;
}

TBytes Segment(uint8_t Marker, const TBytes& Payload)
{
    TBytes S = {0xFF, Marker, uint8_t((Payload.size() + 2) >> 8), uint8_t(Payload.size() + 2)};
    S.insert(S.end(), Payload.begin(), Payload.end());
    return S;
}

TBytes Insert(TBytes B, size_t At, const TBytes& What)
{
    B.insert(B.begin() + long(At), What.begin(), What.end());
    return B;
}

} // namespace

TEST(JPEGCheck, EveryCutOfAWholeFileIsAPrematureEnd)
{
    for (const bool Progressive : {false, true}) {
        SCOPED_TRACE(Progressive ? "progressive" : "baseline");
        const TBytes Whole = Encoded(40, 24, 0, Progressive);
        ASSERT_EQ(Check(Whole), "");
        // Cut anywhere, in a header, a scan or between scans: no end marker.
        for (size_t Len = 0; Len + 1 < Whole.size(); ++Len)
            ASSERT_EQ(Check(TBytes(Whole.begin(), Whole.begin() + long(Len))), "Premature end of JPEG file") << Len;
    }
}

TEST(JPEGCheck, WhatFollowsTheEndMarkerIsNotLookedAt)
{
    const TBytes Whole = Encoded(40, 24, 0);
    // A camera's trailer: a second, cut picture, and marker-like bytes.
    TBytes Trailer = Whole;
    const TBytes Cut(Whole.begin(), Whole.begin() + long(Whole.size() / 2));
    Trailer.insert(Trailer.end(), Cut.begin(), Cut.end());
    Trailer.insert(Trailer.end(), {0xFF, 0xDA, 0x00, 0x01, 0xFF});
    EXPECT_EQ(Check(Trailer), "");
    // Stray bytes before the end marker are the decoder's to judge.
    EXPECT_EQ(Check(Insert(Whole, Whole.size() - 2, {1, 2, 3, 0xFF, 0xFF})), "");
}

TEST(JPEGCheck, AnEndMarkerInsideASegmentIsNoEnd)
{
    const TBytes Whole = Encoded(40, 24, 0, true);
    // A comment holding FF D9 between two scans, the file cut after it.
    const size_t SecondScan = Find(Whole, 0xDA, Find(Whole, 0xDA) + 2);
    ASSERT_NE(SecondScan, std::string::npos);
    const TBytes WithComment = Insert(Whole, SecondScan, Segment(0xFE, {'a', 0xFF, 0xD9, 'b'}));
    EXPECT_EQ(Check(WithComment), "");
    EXPECT_EQ(Check(TBytes(WithComment.begin(), WithComment.begin() + long(SecondScan + 9))),
              "Premature end of JPEG file");
}

// A file's damage as the decoder words it, and the check the same.
TEST(JPEGCheck, SaysWhatTheDecoderSays)
{
    const TBytes Baseline = Encoded(40, 24, 0), Progressive = Encoded(40, 24, 2, true);
    const struct {
        const char* Name;
        TBytes Bytes;
        std::string Words;
    } Cases[] = {
        {"cut in the scan", TBytes(Baseline.begin(), Baseline.begin() + long(Baseline.size() - 40)),
         "Premature end of JPEG file"},
        {"lying baseline frame", WithFrame(Baseline, 65000, 65000), "The JPEG file is damaged (size 65000x65000)"},
        {"lying progressive frame", WithFrame(Progressive, 65000, 65000),
         "The JPEG file is damaged (size 65000x65000)"},
        {"frame larger than its data", WithFrame(Baseline, 20000, 10000),
         "The JPEG file is damaged (size 20000x10000)"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(Check(C.Bytes), C.Words);
        EXPECT_EQ(DecoderSays(C.Bytes), C.Words);
    }
    // A large frame whose data could hold it passes: size is no damage.
    TBytes Padded = WithFrame(Baseline, 4096, 4096);
    EXPECT_EQ(Check(Padded), "");
}

TEST(JPEGCheck, BrokenStructureIsNamed)
{
    const TBytes Whole = Encoded(40, 24, 0);
    const size_t Sof = Find(Whole, 0xC0), Sos = Find(Whole, 0xDA);
    const TBytes Frame(Whole.begin() + long(Sof), Whole.begin() + long(Sos));
    TBytes ShortSegment = Whole;
    ShortSegment[Sof + 2] = 0, ShortSegment[Sof + 3] = 1;
    TBytes NoComponents = Whole;
    NoComponents[Sof + 9] = 0;
    TBytes ZeroSampling = Whole;
    ZeroSampling[Sof + 11] = 0x01;
    TBytes ScanOfTwo = Whole; // a scan header naming two components in the room of three
    ScanOfTwo[Sos + 4] = 2;
    const struct {
        const char* Name;
        TBytes Bytes;
        std::string Words;
    } Cases[] = {
        {"not a JPEG", {'B', 'M', 0, 0}, "Not a JPEG file: starts with 0x42 0x4d"},
        {"segment length below 2", ShortSegment, "Bogus marker length"},
        {"frame without components", NoComponents, "Bogus marker length"},
        {"sampling factor 0", ZeroSampling, "Bogus sampling factors"},
        {"scan header of the wrong length", ScanOfTwo, "Bogus marker length"},
        {"two frames", Insert(Whole, Sof, Frame), "Invalid JPEG file structure: two SOF markers"},
        {"scan before the frame", Insert(Whole, Sof, TBytes(Whole.begin() + long(Sos), Whole.begin() + long(Sos) + 14)),
         "Invalid JPEG file structure: SOS before SOF"},
        {"no scan", Insert(TBytes(Whole.begin(), Whole.begin() + long(Sos)), Sos, {0xFF, 0xD9}),
         "JPEG datastream contains no image"},
        {"a second start", Insert(Whole, Sof, {0xFF, 0xD8}), "Invalid JPEG file structure: two SOI markers"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(Check(C.Bytes), C.Words) << C.Name;
}

TEST(JPEGCheck, CoefficientsAreCountedInWholeMCUs)
{
    const struct {
        uint32_t W, H;
        int32_t SampleType;
        uint64_t Blocks;
    } Cases[] = {
        {17, 9, 0, 2 * 2 * 1 * 2 + 2 + 2}, // 4:2:0: two MCUs of 16 x 16 across, one down
        {17, 9, 2, 3 * 3 * 2},             // 4:4:4: 3 x 2 blocks of each component
        {16, 8, 1, 2 * 1 + 1 + 1},         // 4:2:2: one MCU of 16 x 8
    };
    for (const auto& C : Cases) {
        TJPEGFrame F;
        ASSERT_EQ(Check(Encoded(C.W, C.H, C.SampleType), &F), "");
        EXPECT_EQ(std::make_pair(F.Width, F.Height), std::make_pair(C.W, C.H));
        EXPECT_EQ(F.CoefficientBytes(), C.Blocks * 128) << C.W << "x" << C.H << " type " << C.SampleType;
    }
}
