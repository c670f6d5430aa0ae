// Writes the sRGB <-> linear tables as a C++ source (run by the build, so the
// program never computes them at start). One argument: the file to write.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// v is rounded to a 32-bit float first, then everything runs in long double.
long double ToLinear(float v)
{
    const long double x = v;
    if (x <= 0.04045L)
        return x * 8192.0L / 12.92L;
    return powl((x + 0.055L) / 1.055L, 2.4L) * 8192.0L;
}

long double ToSRGB(float v)
{
    const long double x = v;
    if (x <= 0.0031308L)
        return 12.92L * x;
    return 1.055L * powl(x, 1.0L / 2.4L) - 0.055L;
}

template <typename T> void Write(FILE* F, const char* Decl, const std::vector<T>& V)
{
    std::fprintf(F, "%s[%zu] = {", Decl, V.size());
    for (size_t i = 0; i < V.size(); ++i) {
        if (i % 8 == 0)
            std::fputs("\n   ", F);
        if constexpr (std::is_same_v<T, float>)
            std::fprintf(F, " %af,", double(V[i])); // hexadecimal: exact
        else
            std::fprintf(F, " %u,", unsigned(V[i]));
    }
    std::fputs("\n};\n\n", F);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    std::vector<float> s8(256), s12(4081);
    std::vector<uint8_t> l8(8193);
    std::vector<uint16_t> l12(8193);
    for (int i = 0; i <= 255; ++i)
        s8[i] = float(ToLinear(float(i / 255.0L)));
    for (int j = 0; j <= 8192; ++j) {
        const long double s = ToSRGB(float(j / 8192.0L));
        l8[j] = uint8_t(static_cast<int>(s * 255.0L + 0.5L));
        l12[j] = uint16_t(static_cast<int>(s * 4080.0L + 0.5L));
    }
    for (int i = 0; i <= 4080; ++i)
        s12[i] = float(ToLinear(float(i / 4080.0L)));

    const std::string tmp = std::string(argv[1]) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) {
        std::perror(tmp.c_str());
        return 1;
    }
    std::fputs("// Written by core/gen/MakeGammaTables.cpp at build time.\n#include \"core/Filter.h\"\n\n", f);
    Write(f, "const float SRGB8ToLinear", s8);
    Write(f, "const uint8_t LinearToSRGB8", l8);
    Write(f, "const float SRGB12ToLinear", s12);
    Write(f, "const uint16_t LinearToSRGB12", l12);
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), argv[1]) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
