// A test plug-in reading binary PGM (P5) and PPM (P6) files.
//
// P6 comes back as a bottom-up 24-bit bitmap, P5 as a top-down 8-bit bitmap
// with a gray palette. Comments in the header steer the damaged cases:
// "#badheader" hands back a header of the wrong size, "#shortbits" a pixel
// block too small for the picture, "#fail" an error code.
// GetPictureInfo reports in Left how the picture was handed over (0 file,
// 1 memory). A second caller inside GetPicture at the same time is an error:
// the program must serialise picture calls.
#include "core/SusieAPI.h"

#include <atomic>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifndef SPI_ID
#define SPI_ID "00IN"
#endif

namespace {

struct Pnm {
    int Kind = 0; // 5 or 6
    int Width = 0, Height = 0;
    std::string Comments;
    const unsigned char* Pixels = nullptr;
    size_t Size = 0;
};

// "P5" or "P6", comment lines, width, height and 255, one blank, the pixels.
bool Parse(const std::vector<unsigned char>& D, Pnm& P)
{
    if (D.size() < 3 || D[0] != 'P' || (D[1] != '5' && D[1] != '6'))
        return false;
    P.Kind = D[1] - '0';
    const std::string text(D.begin(), D.begin() + long(std::min<size_t>(D.size(), 256)));
    size_t i = 2;
    while ((i = text.find_first_not_of(" \t\r\n", i)) != std::string::npos && text[i] == '#') {
        const size_t end = text.find('\n', i);
        P.Comments += text.substr(i, end - i);
        i = end;
    }
    int maxValue = 0, used = 0;
    if (i == std::string::npos ||
        std::sscanf(text.c_str() + i, "%d %d %d%n", &P.Width, &P.Height, &maxValue, &used) != 3)
        return false;
    i += size_t(used) + 1; // one blank after the maximum value
    const size_t need = size_t(P.Width) * P.Height * (P.Kind == 6 ? 3 : 1);
    if (P.Width <= 0 || P.Height <= 0 || maxValue != 255 || i + need > D.size())
        return false;
    P.Pixels = D.data() + i;
    P.Size = need;
    return true;
}

bool Load(const char* Buf, intptr_t Len, unsigned Flag, std::vector<unsigned char>& D)
{
    if ((Flag & 7) == SPI_INPUT_MEMORY) {
        D.assign(reinterpret_cast<const unsigned char*>(Buf), reinterpret_cast<const unsigned char*>(Buf) + Len);
        return true;
    }
    std::ifstream f(Buf, std::ios::binary);
    f.seekg(std::streamoff(Len));
    D.assign(std::istreambuf_iterator<char>(f), {});
    return bool(f) || f.eof();
}

void Put32(unsigned char* P, uint32_t V)
{
    for (int i = 0; i < 4; ++i)
        P[i] = (unsigned char)(V >> (8 * i));
}

std::atomic<int> Inside{0};

} // namespace

extern "C" {

int GetPluginInfo(int InfoNo, char* Buf, int BufLen)
{
    static const char* const texts[] = {SPI_ID, "PNM test reader", "*.ppm", "PPM", "*.PGM", "PGM"};
    if (InfoNo < 0 || InfoNo >= 6 || BufLen <= 0)
        return 0;
    std::strncpy(Buf, texts[InfoNo], size_t(BufLen));
    return int(std::strlen(Buf) < size_t(BufLen) ? std::strlen(Buf) : size_t(BufLen));
}

int IsSupported(const char*, const void* Header)
{
    const auto* h = static_cast<const unsigned char*>(Header);
    return h[0] == 'P' && (h[1] == '5' || h[1] == '6');
}

int GetPictureInfo(const char* Buf, intptr_t Len, unsigned Flag, TPictureInfo* Info)
{
    std::vector<unsigned char> d;
    Pnm p;
    if (!Load(Buf, Len, Flag, d) || !Parse(d, p))
        return 2;
    std::memset(Info, 0, sizeof *Info);
    Info->Left = int32_t(Flag & 7), Info->Width = p.Width, Info->Height = p.Height;
    Info->colorDepth = p.Kind == 6 ? 24 : 8;
    Info->hInfo = std::malloc(16);
    std::strcpy(static_cast<char*>(Info->hInfo), "PNM picture");
    return 0;
}

int GetPicture(const char* Buf, intptr_t Len, unsigned Flag, void** HBInfo, void** HBm, SPI_PROGRESS Progress,
               intptr_t Data)
{
    if (Inside.fetch_add(1) != 0) {
        Inside.fetch_sub(1);
        return 9; // called again while busy
    }
    struct Leave {
        ~Leave() { Inside.fetch_sub(1); }
    } leave;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::vector<unsigned char> d;
    Pnm p;
    if (!Load(Buf, Len, Flag, d) || !Parse(d, p) || p.Comments.find("#fail") != std::string::npos)
        return 2;
    const bool gray = p.Kind == 5;
    const size_t palette = gray ? 1024 : 0;
    const size_t row = (size_t(p.Width) * (gray ? 1 : 3) + 3) & ~size_t(3);
    auto* info = static_cast<unsigned char*>(std::calloc(1, 40 + palette));
    size_t bitsSize = row * p.Height;
    if (p.Comments.find("#shortbits") != std::string::npos)
        bitsSize /= 2;
    auto* bits = static_cast<unsigned char*>(std::calloc(1, bitsSize ? bitsSize : 1));
    Put32(info, p.Comments.find("#badheader") != std::string::npos ? 12 : 40);
    Put32(info + 4, uint32_t(p.Width));
    Put32(info + 8, uint32_t(gray ? -p.Height : p.Height));
    info[12] = 1;
    info[14] = gray ? 8 : 24;
    for (int i = 0; gray && i < 256; ++i)
        info[40 + 4 * i] = info[41 + 4 * i] = info[42 + 4 * i] = (unsigned char)i;
    for (int y = 0; y < p.Height; ++y) {
        // P5 rows stay top-down; P6 rows are stored bottom-up.
        const size_t at = size_t(gray ? y : p.Height - 1 - y) * row;
        if (at + row > bitsSize)
            continue;
        const int n = gray ? 1 : 3; // P6 samples are red, green, blue; a bitmap's blue, green, red
        const unsigned char* s = p.Pixels + size_t(y) * p.Width * n;
        for (int x = 0; x < p.Width; ++x)
            for (int c = 0; c < n; ++c)
                bits[at + n * x + c] = s[n * x + n - 1 - c];
        if (Progress)
            Progress(y + 1, p.Height, Data);
    }
    *HBInfo = info;
    *HBm = bits;
    return 0;
}

int ConfigurationDlg(void*, int Fnc)
{
    return Fnc == 1 ? 42 : 0;
}

} // extern "C"
