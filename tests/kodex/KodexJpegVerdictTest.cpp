// What the JPEG reader makes of coded data that is damaged but does not run
// out: every way it decodes a picture gives the same verdict, and the
// profiles the writers embed always fit the pixels written.
#include "KodexTestUtil.h"

#include <jpeglib.h>
#include <png.h>

#include <cstring>

using JpegVerdict = TKodexTest;

namespace {

// A 160 x 120 picture of busy detail, sequential or progressive, with a
// restart marker after every row of blocks when asked.
std::vector<uint8_t> Encoded(bool Progressive, bool Restarts)
{
    TOwnedImg pic{MakePicture(160, 120, 3)};
    return EncodeJpeg(
        160, 120, 3,
        [&](jpeg_compress_struct& c) {
            jpeg_set_quality(&c, 90, TRUE);
            if (Progressive)
                jpeg_simple_progression(&c);
            c.restart_in_rows = Restarts ? 1 : 0;
        },
        [&](uint32_t y) { return ScanLine(pic.Img, y); });
}

size_t FindMarker(const std::vector<uint8_t>& B, uint8_t M, size_t From = 2)
{
    for (size_t i = From; i + 1 < B.size(); ++i)
        if (B[i] == 0xFF && B[i + 1] == M)
            return i;
    return 0;
}

// The first scan's coded data: [begin, end).
std::pair<size_t, size_t> FirstScan(const std::vector<uint8_t>& B)
{
    const size_t sos = FindMarker(B, 0xDA);
    const size_t begin = sos + 2 + size_t(B[sos + 2] << 8 | B[sos + 3]);
    size_t end = begin;
    while (end + 1 < B.size() && !(B[end] == 0xFF && B[end + 1] != 0 && (B[end + 1] < 0xD0 || B[end + 1] > 0xD7)))
        ++end;
    return {begin, end};
}

// The damages: a stretch of the first scan's coded data written twice (the
// codes run out of step and the decoder finishes with data left over), a
// frame header of 10 rows over the whole scan, stray fill bytes before the
// end marker, a few bytes of coded data there instead, no end marker, a second start marker behind the last scan, stray
// bytes between the markers before the frame (where no picture data is).
std::vector<uint8_t> Damaged(const std::vector<uint8_t>& Good, const std::string& Kind)
{
    std::vector<uint8_t> b = Good;
    const auto [begin, end] = FirstScan(b);
    if (Kind == "repeated") {
        const size_t from = begin + (end - begin) / 4, to = begin + (end - begin) / 2;
        b.insert(b.begin() + long(to), Good.begin() + long(from), Good.begin() + long(to));
    } else if (Kind == "10 rows") {
        const size_t sof = std::max(FindMarker(b, 0xC0), FindMarker(b, 0xC2));
        b[sof + 5] = 0, b[sof + 6] = 10;
    } else if (Kind.rfind("stray ", 0) == 0) {
        b.insert(b.end() - 2, size_t(std::stoi(Kind.substr(6))), uint8_t(0x00));
    } else if (Kind.rfind("coded ", 0) == 0) {
        b.insert(b.end() - 2, size_t(std::stoi(Kind.substr(6))), uint8_t(0x5A));
    } else if (Kind == "no end") {
        b.resize(b.size() - 2);
    } else if (Kind == "second start") {
        b.insert(b.end() - 2, {0xFF, 0xD8});
    } else if (Kind == "junk before the frame") {
        b.insert(b.begin() + long(FindMarker(b, 0xDB)), 40, uint8_t(0x5A));
    }
    return b;
}

struct TVerdict {
    bool Read;
    bool Warned;
    std::string Said;
    bool YCbCr = false; // said of pixels that were asked for as BGR
};

// The file through read_jpeg at full and 1/8 size and read_jpeg_bands at
// full and half size; each must come to the same verdict.
std::vector<TVerdict> Verdicts(const std::vector<uint8_t>& File)
{
    std::vector<TVerdict> v;
    for (uint32_t den : {1u, 8u}) {
        TKodexReadJPEG rec{};
        rec.Denominator = den;
        rec.Flags = KODEX_JPEG_PASS; // the caller's own: it tells nothing about the file
        TOwnedImg img{};
        const int r = KodexProcs.ReadJPEG(&rec, File.data(), File.size());
        img.Img = rec.Img;
        EXPECT_EQ(r != 0, img.Img.Mem != nullptr);
        const std::vector<std::string> said = TakeErrors();
        v.push_back({r != 0, (rec.Flags & KODEX_JPEG_WARNED) != 0, said.empty() ? "" : said[0],
                     (rec.Flags & KODEX_JPEG_YCBCR) != 0});
    }
    for (uint32_t den : {1u, 2u}) {
        TBandSink sink;
        TKodexReadJPEGBands rec{};
        rec.Denominator = den;
        rec.BandRows = 16;
        rec.Band = TBandSink::Take;
        rec.Context = &sink;
        sink.Rec = &rec;
        const int r = KodexProcs.ReadJPEGBands(&rec, File.data(), File.size());
        const std::vector<std::string> said = TakeErrors();
        v.push_back({r != 0, (rec.Flags & KODEX_JPEG_WARNED) != 0, said.empty() ? "" : said[0],
                     (rec.Flags & KODEX_JPEG_YCBCR) != 0});
    }
    return v;
}

// The same picture coded arithmetically, with restart markers when asked.
std::vector<uint8_t> EncodedArithmetic(bool Restarts)
{
    TOwnedImg pic{MakePicture(160, 120, 3)};
    return EncodeJpeg(
        160, 120, 3,
        [&](jpeg_compress_struct& c) {
            jpeg_set_quality(&c, 90, TRUE);
            c.arith_code = TRUE;
            c.restart_in_rows = Restarts ? 1 : 0;
        },
        [&](uint32_t y) { return ScanLine(pic.Img, y); });
}

std::vector<uint8_t> Inserted(std::vector<uint8_t> B, size_t At, const std::vector<uint8_t>& What)
{
    B.insert(B.begin() + long(At), What.begin(), What.end());
    return B;
}

// A profile record of the colour space Space, freed with the object.
struct TProfile {
    TICCInfo Icc;
    explicit TProfile(const char* Space) : Icc(ProfileBlock(MakeProfile("Test", Space))) { }
    ~TProfile() { FreeICC(Icc); }
};

// The colour space of the profile embedded in a written JPEG or PNG, "" when none.
std::string EmbeddedSpace(const std::string& File, bool Png)
{
    TOwnedImg img{};
    TICCInfo icc;
    if (!(Png ? ReadPng(File, img.Img, &icc) : ReadJpeg(File, img.Img, &icc)))
        return "read failed";
    const std::string s = icc.Profile && icc.Len >= 20 ? std::string(reinterpret_cast<char*>(icc.Profile) + 16, 4) : "";
    FreeICC(icc);
    return s;
}

} // namespace

TEST_F(JpegVerdict, DamagedCodedDataFailsOnEveryDecodingWayAndStrayBytesAtTheEndOnlyWarn)
{
    const struct {
        const char* Kind;
        bool Read, Warned;
        const char* Said; // the decoder's words, for a refused file
    } Cases[] = {
        {"whole", true, false, ""},
        {"repeated", false, false, "Corrupt JPEG data"},
        {"10 rows", false, false, "Corrupt JPEG data"},
        {"stray 24", false, false, "extraneous bytes before marker 0xd9"},
        {"stray 16", true, true, ""},
        {"coded 12", false, false, "extraneous bytes before marker 0xd9"},
        {"no end", true, true, ""},
        {"second start", false, false, "two SOI markers"},
        {"junk before the frame", true, true, ""},
    };
    for (bool progressive : {false, true})
        for (bool restarts : {false, true}) {
            const std::vector<uint8_t> good = Encoded(progressive, restarts);
            for (const auto& c : Cases) {
                SCOPED_TRACE(testing::Message()
                             << c.Kind << (progressive ? ", progressive" : "") << (restarts ? ", restarts" : ""));
                const std::vector<uint8_t> file = Damaged(good, c.Kind);
                for (const TVerdict& v : Verdicts(file)) {
                    EXPECT_EQ(v.Read, c.Read) << v.Said;
                    if (c.Read)
                        EXPECT_EQ(std::make_pair(v.Warned, v.YCbCr), std::make_pair(c.Warned, false));
                    else
                        EXPECT_NE(v.Said.find(c.Said), std::string::npos) << v.Said;
                }
            }
        }
}

// Each warning of the decoder that means the coded data is damaged fails the
// file on every decoding way: restart markers out of turn (the decoder must
// resynchronise) or missing (the next one stands behind data left over), a marker amid a coded segment (it ends before
// its data), codes that decode to nothing, and an arithmetic scan cut short.
TEST_F(JpegVerdict, EveryWarningThatMeansDamagedDataFailsTheFile)
{
    for (bool progressive : {false, true}) {
        const std::vector<uint8_t> good = Encoded(progressive, true);
        const auto [begin, end] = FirstScan(good);
        const size_t rst2 = FindMarker(good, 0xD2);
        ASSERT_NE(rst2, 0u);
        std::vector<uint8_t> outOfTurn = good, missing = good, badCodes = good;
        outOfTurn[rst2 + 1] = 0xD3;
        missing.erase(missing.begin() + long(rst2), missing.begin() + long(rst2) + 2);
        // Sixteen one bits and more: no Huffman table holds such a code.
        for (size_t i = 0; i < 16; i += 2)
            badCodes[begin + 2 + i] = 0xFF, badCodes[begin + 3 + i] = 0x00;
        const struct {
            const char* Kind;
            std::vector<uint8_t> File;
            const char* Said;
        } Cases[] = {
            {"restart marker out of turn", outOfTurn, "Corrupt JPEG data: found marker 0xd3 instead of RST2"},
            {"restart marker missing", missing, "extraneous bytes before marker 0xd3"}, // the next one's
            {"a marker amid a segment", Inserted(good, (begin + end) / 2 + 3, {0xFF, 0xDE, 0x00, 0x02}),
             "Corrupt JPEG data: premature end of data segment"},
            {"codes of sixteen one bits", badCodes, "Corrupt JPEG data: bad Huffman code"},
        };
        for (const auto& c : Cases) {
            SCOPED_TRACE(testing::Message() << c.Kind << (progressive ? ", progressive" : ""));
            for (const TVerdict& v : Verdicts(c.File)) {
                EXPECT_FALSE(v.Read);
                EXPECT_NE(v.Said.find(c.Said), std::string::npos) << v.Said;
            }
        }
    }
    // Arithmetic coding reads past its data without a word: the end of the
    // file inside the scan is what tells, with or without restart markers.
    for (bool restarts : {false, true}) {
        SCOPED_TRACE(restarts ? "arithmetic, restarts" : "arithmetic");
        const std::vector<uint8_t> good = EncodedArithmetic(restarts);
        for (const TVerdict& v : Verdicts(good))
            EXPECT_TRUE(v.Read) << v.Said;
        const std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() * 6 / 10));
        for (const TVerdict& v : Verdicts(cut)) {
            EXPECT_FALSE(v.Read);
            EXPECT_NE(v.Said.find("Premature end of JPEG file"), std::string::npos) << v.Said;
        }
    }
}

// The profile read from a CMYK file, or one left with a picture an effect
// turned gray, would make a viewer misread the pixels: only a profile of the
// output's colour space is embedded.
TEST_F(JpegVerdict, OnlyAProfileOfTheOutputsColourSpaceIsEmbedded)
{
    TOwnedImg gray{MakePicture(24, 16, 1)}, graya{MakePicture(24, 16, 2)}, rgb{MakePicture(24, 16, 3)},
        rgba{MakePicture(24, 16, 4)};
    TOwnedImg index{MakePicture(24, 16, 1)};
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 24; ++x)
            ScanLine(index.Img, y)[x] &= 3;
    const uint8_t palette[12] = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    const struct {
        const char* Output;
        const TImgInfo& Img;
        bool Palette;
        const char* Kept; // the one space whose profile stays
    } Outputs[] = {
        {"jpeg gray", gray.Img, false, "GRAY"},   {"jpeg rgb", rgb.Img, false, "RGB "},
        {"png gray", gray.Img, false, "GRAY"},    {"png gray+alpha", graya.Img, false, "GRAY"},
        {"png rgb", rgb.Img, false, "RGB "},      {"png rgba", rgba.Img, false, "RGB "},
        {"png palette", index.Img, true, "RGB "},
    };
    for (const auto& o : Outputs)
        for (const char* space : {"RGB ", "GRAY", "CMYK"}) {
            SCOPED_TRACE(testing::Message() << o.Output << " with a " << space << " profile");
            TProfile prof(space);
            const bool png = std::strncmp(o.Output, "png", 3) == 0;
            const std::string f = Scratch / (png ? "p.png" : "p.jpg");
            ASSERT_TRUE(png ? WritePNG(f, o.Img, 0, false, false, {}, o.Palette ? 4 : 0, o.Palette ? palette : nullptr,
                                       &prof.Icc, 6, TakeRunSettings())
                            : WriteJPEG(f, o.Img, 90, {}, false, &prof.Icc, nullptr, 0, 1, 0, TakeRunSettings()));
            EXPECT_EQ(EmbeddedSpace(f, png), std::strcmp(space, o.Kept) == 0 ? space : "");
            EXPECT_TRUE(TakeErrors().empty());
        }
    // A profile shorter than its header names no colour space: left out.
    std::vector<uint8_t> head = MakeProfile("Test");
    head.resize(100);
    TICCInfo cut = ProfileBlock(head);
    ASSERT_TRUE(WriteJPEG(Scratch / "cut.jpg", rgb.Img, 90, {}, false, &cut, nullptr, 0, 1, 0, TakeRunSettings()));
    FreeICC(cut);
    EXPECT_EQ(EmbeddedSpace(Scratch / "cut.jpg", false), "");
    // The size search encodes into memory: the same rule.
    TProfile cmyk("CMYK");
    std::vector<uint8_t> buf(1 << 16);
    size_t n = buf.size();
    ASSERT_TRUE(
        WriteJPEGToMemory(buf.data(), n, rgb.Img, {}, false, &cmyk.Icc, nullptr, 0, 1, 0, 90, TakeRunSettings()));
    buf.resize(n);
    EXPECT_EQ(FindMarker(buf, 0xE2), 0u);
}
