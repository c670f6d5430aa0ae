// Whether a JPEG file holds enough coded data for the frame its header
// claims. Shared by the decoder and by the program's checks that never
// decode (the unchanged copy, the lossless transform), so that a file whose
// header lies gets one verdict, in the same words, on every path. Header
// only: the program includes it as well as the codec library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kodex {

// Whether a JPEG holds at least Needed bytes that may be picture data: the
// file less its APPn and COM segments, which cost nothing to add (before the
// frame, between scans or behind the last one). Stops as soon as it knows,
// so that a huge tail is not read.
inline bool EnoughCodedBytes(const uint8_t* D, size_t N, uint64_t Needed)
{
    uint64_t data = 0;
    size_t p = 2;
    while (p + 4 <= N && data < Needed) {
        if (D[p] != 0xFF) {
            // Coded data: up to the next marker that is not a stuffed byte,
            // a restart marker or fill.
            const size_t span = size_t(N - p < Needed - data ? N - p : Needed - data);
            const uint8_t* q = static_cast<const uint8_t*>(std::memchr(D + p, 0xFF, span));
            const size_t next = q ? size_t(q - D) : p + span;
            data += next - p;
            p = next;
            continue;
        }
        const uint8_t m = D[p + 1];
        if (m == 0x00 || m == 0xFF || (m >= 0xD0 && m <= 0xD7) || m == 0x01) {
            ++p, ++data;
            continue;
        }
        if (m == 0xD9)
            break;
        const size_t len = size_t(D[p + 2]) << 8 | D[p + 3];
        if (len < 2 || len > N - p - 2)
            break;
        if (!((m >= 0xE0 && m <= 0xEF) || m == 0xFE))
            data += 2 + len;
        p += 2 + len;
    }
    return data >= Needed;
}

// Whether the Size bytes of a JPEG file can describe a Width x Height frame:
// Huffman coding needs at least a bit or two per 8 x 8 block and channel,
// arithmetic coding of a flat picture far less; the first 16 M pixels are
// always allowed (PlausibleForSize's rule, on the bytes EnoughCodedBytes
// counts). When not, Why (Len bytes) receives the decoder's words for it.
inline bool JpegFramePlausible(const uint8_t* Data, size_t Size, uint32_t Width, uint32_t Height, bool Arithmetic,
                               char* Why = nullptr, size_t Len = 0)
{
    const uint64_t pixels = uint64_t(Width) * Height;
    const uint64_t perByte = Arithmetic ? (uint64_t(1) << 18) : 4096;
    const uint64_t allowance = uint64_t(1) << 24;
    const uint64_t needed = pixels > allowance ? (pixels - allowance + perByte - 1) / perByte : 0;
    if (EnoughCodedBytes(Data, Size, needed))
        return true;
    if (Why && Len)
        std::snprintf(Why, Len, "The JPEG file is damaged (size %ux%u)", Width, Height);
    return false;
}

} // namespace kodex
