// Settings files of many sections: reading one, and looking up a section of
// it by name. A section is found by its name in constant time, so four times
// the sections take about four times as long to read (a look-up that walked
// the sections would take sixteen times), and a look-up costs what reaching
// the section's memory costs, whatever the count.
//
//   bench_inifile [--benchmark_filter=...]
#include "core/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// A settings file of Sections sections of two keys each, in the temporary
// folder; removed when the benchmark ends.
struct TManySections {
    explicit TManySections(int64_t Sections)
        : Path((std::filesystem::temp_directory_path() /
                ("bench-ini-" + std::to_string(::getpid()) + "-" + std::to_string(Sections) + ".ini"))
                   .string())
    {
        std::ofstream F(Path, std::ios::binary);
        F << "[File]\nAtOnce=1\n";
        for (int64_t i = 0; i < Sections; ++i)
            F << "[Section" << i << "]\nKey=" << i << "\nOther=1\n";
    }
    ~TManySections() { std::remove(Path.c_str()); }
    std::string Path;
};

void ReadFile(benchmark::State& State)
{
    const TManySections File(State.range(0));
    for (auto _ : State) {
        TMemIniFile Ini(File.Path);
        benchmark::DoNotOptimize(Ini.ReadInteger("File", "AtOnce", 0));
    }
    State.SetComplexityN(State.range(0));
}
BENCHMARK(ReadFile)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Unit(benchmark::kMillisecond)->Complexity();

void FindSection(benchmark::State& State)
{
    const TManySections File(State.range(0));
    const TMemIniFile Ini(File.Path);
    int64_t i = 0;
    for (auto _ : State) {
        benchmark::DoNotOptimize(Ini.ReadInteger("section" + std::to_string(i), "KEY", -1));
        i = (i * 7919 + 1) % State.range(0);
    }
    State.SetComplexityN(State.range(0));
}
BENCHMARK(FindSection)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity();

} // namespace

BENCHMARK_MAIN();
