// Small JPEGs carrying a colour profile, and the profile's colour space read
// back, for the tests of profiles through a run.
#pragma once
#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// A Components-channel JPEG (1 gray, 3 RGB, 4 CMYK) of 96 x 64 photo-like
// samples (no palette would hold them) carrying Profile.
inline std::string ProfiledJPEG(int Components, const std::vector<uint8_t>& Profile)
{
    jpeg_compress_struct C;
    jpeg_error_mgr E;
    C.err = jpeg_std_error(&E);
    jpeg_create_compress(&C);
    unsigned char* Out = nullptr;
    unsigned long Size = 0;
    jpeg_mem_dest(&C, &Out, &Size);
    C.image_width = 96;
    C.image_height = 64;
    C.input_components = Components;
    C.in_color_space = Components == 1 ? JCS_GRAYSCALE : Components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&C);
    jpeg_start_compress(&C, TRUE);
    jpeg_write_icc_profile(&C, Profile.data(), unsigned(Profile.size()));
    std::vector<uint8_t> Row(96 * size_t(Components));
    while (C.next_scanline < C.image_height) {
        for (size_t i = 0; i < Row.size(); ++i)
            Row[i] = uint8_t(i * (i % Components + 1) + 3 * C.next_scanline);
        JSAMPROW R = Row.data();
        jpeg_write_scanlines(&C, &R, 1);
    }
    jpeg_finish_compress(&C);
    jpeg_destroy_compress(&C);
    std::string J(reinterpret_cast<char*>(Out), Size);
    std::free(Out);
    return J;
}

// The colour space of the profile a JPEG file carries ("" for none): bytes
// 16..19 of the profile's header in its first APP2 piece.
inline std::string JPEGProfileSpace(const std::string& J)
{
    const size_t At = J.find(std::string("ICC_PROFILE\0", 12));
    return At == std::string::npos || At + 14 + 20 > J.size() ? "" : J.substr(At + 14 + 16, 4);
}
