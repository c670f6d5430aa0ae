// Small owned pictures, scratch folders and the codec library for the effect tests.
#pragma once
#include "../core/FilesTestUtil.h" // ErrorOf

using V = std::vector<uint8_t>;

struct TTestImg {
    TImgInfo I;
    // W x H, every pixel holding Px (its size is the channel count).
    TTestImg(uint32_t W, uint32_t H, V Px)
    {
        AllocImg(I, W, H, uint32_t(Px.size()));
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W; ++x)
                std::memcpy(ScanLine(I, y) + x * Px.size(), Px.data(), Px.size());
    }
    // An image to be filled by the code under test.
    TTestImg() = default;
    TTestImg(const TTestImg& S) : TTestImg(S.I.Width, S.I.Height, V(S.I.Channels))
    {
        std::memcpy(I.Mem, S.I.Mem, size_t(uint64_t(I.Bpl) * BlockRows(I.Height)));
    }
    TTestImg& operator=(const TTestImg&) = delete;
    ~TTestImg() { FreeImg(I); }
    V At(uint32_t x, uint32_t y) const { return {Px(x, y), Px(x, y) + I.Channels}; }
    // Pixel (x, y), top-down.
    uint8_t* Px(uint32_t x, uint32_t y) const { return ScanLine(I, y) + x * I.Channels; }
    // Same size and samples (strides may differ).
    bool SameAs(const TImgInfo& O) const
    {
        return O.Width == I.Width && O.Height == I.Height && O.Channels == I.Channels && ::Pixels(O) == ::Pixels(I);
    }
    bool operator==(const TTestImg& O) const { return SameAs(O.I); }
    V Pixels() const { return ::Pixels(I); }
    // A value unique to upright pixel (X, Y) and channel C (modulo 256).
    static uint8_t MarkOf(uint32_t X, uint32_t Y, uint32_t C = 0) { return uint8_t(1 + Y * 40 + X * 4 + C); }
    // Stores the marks of upright pixel (X, Y) at (SX, SY).
    void Mark(uint32_t X, uint32_t Y, uint32_t SX, uint32_t SY)
    {
        for (uint32_t c = 0; c < I.Channels; ++c)
            Px(SX, SY)[c] = MarkOf(X, Y, c);
    }
    // Every pixel marked with its own place.
    void MarkAll()
    {
        for (uint32_t y = 0; y < I.Height; ++y)
            for (uint32_t x = 0; x < I.Width; ++x)
                Mark(x, y, x, y);
    }
};

// A black picture of C channels.
struct TTestPicture : TTestImg {
    TTestPicture(uint32_t W, uint32_t H, uint32_t C) : TTestImg(W, H, V(C)) { }
};

// A picture whose neighbouring samples all differ.
struct TPatternPicture : TTestImg {
    TPatternPicture(uint32_t W, uint32_t H, uint32_t C) : TTestImg(W, H, V(C))
    {
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W * C; ++x)
                MemRow(I, y)[x] = uint8_t(37 * x + 91 * y + 11 * (x % C));
    }
};

// A scratch folder, removed with everything in it.
struct TTestDir : TTempDir {
    const std::filesystem::path P{Path};
    // Writes Text to the file Name in it; its path.
    std::string File(const std::string& Name, const std::string& Text) const
    {
        std::ofstream(Path + Name, std::ios::binary) << Text;
        return Path + Name;
    }
};
