// Patterned pictures and scratch settings files for the colour effects' tests.
#pragma once
#include "PictureTestUtil.h"
#include "core/IniFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

// A picture whose neighbouring samples all differ.
struct TPatternPicture : TTestPicture {
    TPatternPicture(uint32_t W, uint32_t H, uint32_t C) : TTestPicture(W, H, C)
    {
        for (uint32_t y = 0; y < H; ++y)
            for (uint32_t x = 0; x < W * C; ++x)
                MemRow(I, y)[x] = uint8_t(37 * x + 91 * y + 11 * (x % C));
    }
    // Same size and samples (strides may differ).
    bool SameAs(const TImgInfo& O) const
    {
        bool same = O.Width == I.Width && O.Height == I.Height && O.Channels == I.Channels;
        for (uint32_t y = 0; same && y < I.Height; ++y)
            same = std::memcmp(MemRow(I, y), MemRow(O, y), size_t(I.Width) * I.Channels) == 0;
        return same;
    }
};

// A scratch folder, removed with everything in it.
struct TTestDir {
    std::filesystem::path P = std::filesystem::temp_directory_path() /
                              ("vestro-fx-" + std::to_string(getpid()) + "-" +
                               std::to_string(reinterpret_cast<uintptr_t>(this)));
    TTestDir() { std::filesystem::create_directories(P); }
    ~TTestDir() { std::filesystem::remove_all(P); }
    std::string File(const std::string& Name, const std::string& Text) const
    {
        const std::string f = (P / Name).string();
        std::ofstream(f, std::ios::binary) << Text;
        return f;
    }
};
