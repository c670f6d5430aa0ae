// A small ICC profile for the tests that carry profiles from file to file.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// A profile good enough for libpng's checks, with description Desc, for the
// colour space Space ("RGB ", "GRAY", "CMYK": header bytes 16..19).
inline std::vector<uint8_t> MakeProfile(const std::string& Desc, const char* Space = "RGB ")
{
    std::vector<uint8_t> p(128 + 4 + 12);
    auto put32 = [&](size_t At, uint32_t V) {
        p[At] = uint8_t(V >> 24), p[At + 1] = uint8_t(V >> 16), p[At + 2] = uint8_t(V >> 8), p[At + 3] = uint8_t(V);
    };
    for (auto [at, text] :
         {std::pair<size_t, const char*>{12, "mntr"}, {16, Space}, {20, "XYZ "}, {36, "acsp"}, {132, "desc"}})
        std::memcpy(&p[at], text, 4);
    // Version 2.1, the D50 white point, one tag: the description right after the table.
    for (auto [at, v] : {std::pair<size_t, uint32_t>{8, 0x02100000},
                         {68, 0xF6D6},
                         {72, 0x10000},
                         {76, 0xD32D},
                         {128, 1},
                         {136, uint32_t(p.size())}})
        put32(at, v);
    std::vector<uint8_t> tag(12 + Desc.size() + 1 + 4 + 4 + 67, 0);
    std::memcpy(&tag[0], "desc", 4);
    tag[11] = uint8_t(Desc.size() + 1);
    std::memcpy(&tag[12], Desc.data(), Desc.size());
    put32(140, uint32_t(tag.size()));
    p.insert(p.end(), tag.begin(), tag.end());
    p.resize((p.size() + 3) / 4 * 4 + 1024, 0);
    put32(0, uint32_t(p.size()));
    return p;
}
