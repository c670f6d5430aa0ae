// The reply of the JPEG XR decoding program (kodex/helper) on its standard
// output, as the codec library reads it.
#pragma once
#include <cstdint>

namespace kodex {

// The decoding program's file name, beside the codec library.
inline constexpr char kJxrDecoder[] = "vestro-jxr-decode";

// What the decoding program tells the program before the pixels: Status 0 and
// the picture's facts, or Status 1 and a message. The rows (top-down, Width x
// Channels bytes each) and IccLen profile bytes follow a good reply.
struct TJxrReply {
    uint32_t Status, Width, Height, Channels, IccLen;
    float XResolution, YResolution;
    char Message[100];
};

} // namespace kodex
