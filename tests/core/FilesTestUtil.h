// Helpers for the file-list, name-rule, EXIF and loader tests.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Global.h"

// A fresh folder under the temporary folder, removed with the object.
class TTempDir {
public:
    TTempDir()
    {
        static int Serial = 0;
        Path = (std::filesystem::temp_directory_path() /
                ("vestro-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" + std::to_string(Serial++)))
                   .string() + "/";
        std::filesystem::create_directories(Path);
    }
    ~TTempDir()
    {
        std::error_code Ec;
        std::filesystem::remove_all(Path, Ec);
    }
    std::string File(const std::string& Name) const { return Path + Name; }
    std::string Path;
};

inline void WriteBytes(const std::string& Path, const std::vector<uint8_t>& Data)
{
    std::ofstream F(Path, std::ios::binary | std::ios::trunc);
    F.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& Path)
{
    std::ifstream F(Path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(F), std::istreambuf_iterator<char>());
}

// Puts every option record back to its defaults when the test ends.
struct TOptionGuard {
    TFileOption File = FileOption;
    TResizeOption Resize = ResizeOption;
    TJPEGOption JPEG = JPEGOption;
    TPNGOption PNG = PNGOption;
    TBitmapOption Bitmap = BitmapOption;
    TWICOption WIC = WICOption;
    TSPIOption SPI = SPIOption;
    TMetadataOption Metadata = MetadataOption;
    int32_t Mode = RunMode;
    ~TOptionGuard()
    {
        FileOption = File;
        ResizeOption = Resize;
        JPEGOption = JPEG;
        PNGOption = PNG;
        BitmapOption = Bitmap;
        WICOption = WIC;
        SPIOption = SPI;
        MetadataOption = Metadata;
        RunMode = Mode;
    }
};
