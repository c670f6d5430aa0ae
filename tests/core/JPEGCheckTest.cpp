// The structure check of the paths that hand a JPEG on undecoded: a file
// that is not whole is refused, in the decoder's words; a whole one, with
// whatever follows its end, passes.
#include "core/ErrorLog.h"
#include "core/ImgInfo.h"
#include "core/JPEGCheck.h"
#include "core/RunSettings.h"
#include "FilesTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

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

// A W x H picture of busy detail through libjpeg itself, 4:2:0, with a
// restart marker after every RestartRows rows of MCUs (none for 0).
TBytes WithRestarts(uint32_t W, uint32_t H, bool Progressive, int RestartRows)
{
    jpeg_compress_struct C;
    jpeg_error_mgr E;
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = W;
    C.image_height = H;
    C.input_components = 3;
    C.in_color_space = JCS_RGB;
    jpeg_set_defaults(&C);
    jpeg_set_quality(&C, 90, TRUE);
    if (Progressive)
        jpeg_simple_progression(&C);
    C.restart_in_rows = RestartRows;
    jpeg_start_compress(&C, TRUE);
    std::vector<uint8_t> Row(size_t(W) * 3);
    for (uint32_t Y = 0; Y < H; ++Y) {
        for (uint32_t X = 0; X < W * 3; ++X)
            Row[X] = uint8_t((X * 37 + Y * 11 + (X * Y) % 29) * 7);
        JSAMPROW R = Row.data();
        jpeg_write_scanlines(&C, &R, 1);
    }
    jpeg_finish_compress(&C);
    jpeg_destroy_compress(&C);
    TBytes B(Out, Out + Size);
    std::free(Out);
    return B;
}

// What the decoder says of the bytes; empty when it decodes them.
std::string DecoderSays(const TBytes& B)
{
    EnsureKodex();
    TErrorCapture Said;
    TImgInfo I;
    const int R = ReadJPEGFromMemory(B.data(), B.size(), I, TakeRunSettings());
    FreeImg(I);
    return R ? std::string() : Said.Text().empty() ? "refused" : Said.Text();
}

size_t Find(const TBytes& B, uint8_t Marker, size_t From = 0)
{
    for (size_t P = From; P + 1 < B.size(); ++P)
        if (B[P] == 0xFF && B[P + 1] == Marker)
            return P;
    return std::string::npos;
}

// Where the N-th (0-based) marker M stands.
size_t FindNth(const TBytes& B, uint8_t Marker, int N)
{
    size_t P = Find(B, Marker);
    while (N-- > 0 && P != std::string::npos)
        P = Find(B, Marker, P + 2);
    return P;
}

// The segment (marker and payload) that starts at At.
TBytes SegmentAt(const TBytes& B, size_t At)
{
    return TBytes(B.begin() + long(At), B.begin() + long(At + 2 + size_t(B[At + 2] << 8 | B[At + 3])));
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

// Behind the first scan stand restart markers, all eight in their turn, fill
// bytes before any marker, and between the scans of a progressive file the
// tables, the restart interval, DNL, comments and application segments:
// none of them is damage, to the check or to the decoder.
TEST(JPEGCheck, EveryMarkerThatMayStandBehindAScanPasses)
{
    const TBytes Fill = {0xFF, 0xFF, 0xFF};
    for (const bool Progressive : {false, true}) {
        SCOPED_TRACE(Progressive ? "progressive" : "baseline");
        // Ten rows of MCUs, a restart after each: RST0 .. RST7 and RST0 again.
        const TBytes Whole = WithRestarts(48, 160, Progressive, 1);
        for (uint8_t M = 0xD0; M <= 0xD7; ++M)
            ASSERT_NE(Find(Whole, M), std::string::npos) << "no RST" << M - 0xD0;
        ASSERT_EQ(Check(Whole), "");
        ASSERT_EQ(DecoderSays(Whole), "");

        // Fill before a restart marker in the scan and before the end.
        TBytes B = Insert(Whole, Whole.size() - 2, Fill);
        B = Insert(B, Find(B, 0xD5), Fill);
        EXPECT_EQ(Check(B), "");
        EXPECT_EQ(DecoderSays(B), "");
        if (!Progressive)
            continue;
        // Before the second scan: its own tables again (a copy of the segment
        // right before it), the quantisation tables, its restart interval,
        // a DNL of the height, a comment, an application segment, all after
        // fill bytes.
        const size_t Second = FindNth(Whole, 0xDA, 1);
        const size_t Before = Find(Whole, 0xC4, FindNth(Whole, 0xDA, 0));
        ASSERT_LT(Before, Second) << "no table before the second scan";
        size_t Interval = Find(Whole, 0xDD); // the last before the second scan: it is the scan's own
        for (size_t P = Interval; P < Second; P = Find(Whole, 0xDD, P + 2))
            Interval = P;
        TBytes Between = Fill;
        for (const TBytes& S : {SegmentAt(Whole, Before), SegmentAt(Whole, Find(Whole, 0xDB)),
                                SegmentAt(Whole, Interval), Segment(0xDC, {0, 160}),
                                Segment(0xFE, {'n', 'o', 't', 'e'}), Segment(0xEF, {'A', 'p', 'p', 0xFF, 0xDE})}) {
            Between.insert(Between.end(), S.begin(), S.end());
            Between.insert(Between.end(), Fill.begin(), Fill.end());
        }
        B = Insert(B, FindNth(B, 0xDA, 1), Between);
        EXPECT_EQ(Check(B), "");
        EXPECT_EQ(DecoderSays(B), "");
    }
}

// A marker that cannot stand behind a scan header is damage, however its
// bytes would read as a length: the check refuses it, and so does the
// decoder (in its words where it meets it as a marker; in the middle of the
// coded data it finds the data cut).
TEST(JPEGCheck, AMarkerThatCannotStandBehindAScanIsDamage)
{
    const TBytes Plain = WithRestarts(48, 160, false, 0);
    for (const bool Progressive : {false, true}) {
        SCOPED_TRACE(Progressive ? "progressive" : "baseline");
        const TBytes Whole = WithRestarts(48, 160, Progressive, 1);
        // At the start of the fourth restart interval of the first scan.
        const size_t InScan = FindNth(Whole, 0xD3, 0) + 2, AtEnd = Whole.size() - 2;
        TBytes OutOfTurn = Whole; // RST2 written as RST3
        OutOfTurn[Find(OutOfTurn, 0xD2) + 1] = 0xD3;
        TBytes LongDRI = Whole;
        LongDRI = Insert(LongDRI, Find(LongDRI, 0xDD), Segment(0xDD, {0, 1, 0}));
        struct TCase {
            std::string Name;
            TBytes Bytes;
            std::string Words;
        };
        std::vector<TCase> Cases = {
            {"DHP in the scan", Insert(Whole, InScan, {0xFF, 0xDE, 0x00, 0x04, 0x12, 0x34}),
             "Unsupported marker type 0xde"},
            {"DHP before the end", Insert(Whole, AtEnd, {0xFF, 0xDE, 0x00, 0x02}), "Unsupported marker type 0xde"},
            {"fill, then EXP in the scan", Insert(Whole, InScan, {0xFF, 0xFF, 0xDF, 0x00, 0x02}),
             "Unsupported marker type 0xdf"},
            {"JPG in the scan", Insert(Whole, InScan, {0xFF, 0xC8, 0x00, 0x02}), "Unsupported marker type 0xc8"},
            {"JPG0 in the scan", Insert(Whole, InScan, {0xFF, 0xF0, 0x00, 0x02}), "Unsupported marker type 0xf0"},
            {"JPG13 in the scan", Insert(Whole, InScan, {0xFF, 0xFD, 0x00, 0x02}), "Unsupported marker type 0xfd"},
            {"a reserved marker in the scan", Insert(Whole, InScan, {0xFF, 0x02, 0x00, 0x02}),
             "Unsupported marker type 0x02"},
            {"the last reserved marker", Insert(Whole, InScan, {0xFF, 0xBF, 0x00, 0x02}),
             "Unsupported marker type 0xbf"},
            {"TEM in the scan", Insert(Whole, InScan, {0xFF, 0x01}), "Unsupported marker type 0x01"},
            {"restart markers out of turn", OutOfTurn, "Corrupt JPEG data: found marker 0xd3 instead of RST2"},
            {"a restart marker without an interval", Insert(Plain, Plain.size() / 2, {0xFF, 0xD0}),
             "Unsupported marker type 0xd0"},
            {"a restart interval of three bytes", LongDRI, "Bogus marker length"},
        };
        if (Progressive)
            Cases.push_back({"DHP between scans", Insert(Whole, FindNth(Whole, 0xDA, 1), Segment(0xDE, {0, 0, 0})),
                             "Unsupported marker type 0xde"});
        for (const TCase& C : Cases) {
            SCOPED_TRACE(C.Name);
            EXPECT_EQ(Check(C.Bytes), C.Words);
            EXPECT_NE(DecoderSays(C.Bytes), "");
        }
    }
    // Before the frame the decoder meets such a segment as a marker: the
    // same words.
    const TBytes Header = Insert(Plain, Find(Plain, 0xC0), Segment(0xDE, {1, 2}));
    EXPECT_EQ(Check(Header), "Unsupported marker type 0xde");
    EXPECT_EQ(DecoderSays(Header), "Unsupported marker type 0xde");
}
