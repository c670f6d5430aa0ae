// Giving back the pages of a mapped input behind its reader.
#include "platform/FileMap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Kilobytes of the mapping starting at Begin that count in the process's
// resident memory (its smaps entry), or -1.
long ResidentKB(const uint8_t* Begin)
{
    std::ifstream F("/proc/self/smaps");
    std::ostringstream Start;
    Start << std::hex << reinterpret_cast<uintptr_t>(Begin) << "-";
    bool Ours = false;
    for (std::string L; std::getline(F, L);) {
        if (L.find('-') != std::string::npos && L.find(' ') > L.find('-'))
            Ours = L.rfind(Start.str(), 0) == 0;
        if (Ours && L.rfind("Rss:", 0) == 0)
            return std::stol(L.substr(4));
    }
    return -1;
}

} // namespace

// Whole pages inside the range go, the partly covered ones at its ends stay;
// the returned place lets the next call start where this one stopped; the
// bytes read the same afterwards.
TEST(FileMapRelease, WholePagesInsideTheRangeAreGivenBackOnce)
{
    const long page = sysconf(_SC_PAGESIZE);
    const fs::path P = fs::temp_directory_path() / ("vestro_release_" + std::to_string(::getpid()));
    std::string bytes(size_t(page) * 6, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 13 + i / 4096);
    std::ofstream(P, std::ios::binary) << bytes;
    {
        platform::TMappedFile m(P.string());
        ASSERT_NE(m.Data(), nullptr);
        const uint8_t* d = m.Data();
        const volatile uint8_t* touch = d;
        for (size_t i = 0; i < bytes.size(); i += size_t(page))
            (void)touch[i];
        ASSERT_EQ(ResidentKB(d), page * 6 / 1024);
        EXPECT_EQ(platform::ReleaseMappedPages(d, 100, uint64_t(page) * 4 + 7), uint64_t(page) * 4);
        EXPECT_EQ(ResidentKB(d), page * 3 / 1024); // pages 1..3 went; 0 and 4 hold bytes outside the range
        EXPECT_EQ(platform::ReleaseMappedPages(d, 50, 60), 50u); // inside one page: nothing
        EXPECT_EQ(platform::ReleaseMappedPages(d, uint64_t(page) * 4, uint64_t(page) * 6), uint64_t(page) * 6);
        EXPECT_EQ(ResidentKB(d), page / 1024);
        EXPECT_EQ(platform::ReleaseMappedPages(d, uint64_t(page) * 6, uint64_t(page) * 2), uint64_t(page) * 6);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), d, [](char a, uint8_t b) { return uint8_t(a) == b; }));
        EXPECT_FALSE(m.Damaged());
    }
    fs::remove(P);
}
