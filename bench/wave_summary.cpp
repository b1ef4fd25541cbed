// Summarising a 2-hour film sound track (44.1 kHz, 16-bit stereo PCM, about
// 1.27 GB), against `cat file > /dev/null` on the same warm file.
//
// The WAV is generated into $VT_BENCH_DIR (default: the system's temporary
// folder) at start and deleted at the end. After the runs the program prints
// the ratio of the medians and the peak resident memory of the process.
#include "analysis/WaveSummary.h"
#include "bench/support/CollectingReporter.h"
#include "bench/support/Percentiles.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint16_t Channels = 2;
constexpr uint16_t Bits = 16;
constexpr uint64_t Seconds = 2 * 60 * 60;
constexpr uint64_t FrameBytes = Channels * Bits / 8;
constexpr uint64_t SecondsPerWrite = 24;  // about 4 MB written at a time

std::string gWav;
std::string gWs;

void putLe(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i) & 0xFF);
}

// A tone whose loudness drifts, so the summary is not constant.
void generateWav(const std::string& path)
{
    const uint64_t dataBytes = Seconds * Rate * FrameBytes;
    std::string header = "RIFF";
    putLe(header, uint32_t(36 + dataBytes), 4);
    header += "WAVEfmt ";
    putLe(header, 16, 4);
    putLe(header, 1, 2);
    putLe(header, Channels, 2);
    putLe(header, Rate, 4);
    putLe(header, uint32_t(Rate * FrameBytes), 4);
    putLe(header, uint32_t(FrameBytes), 2);
    putLe(header, Bits, 2);
    header += "data";
    putLe(header, uint32_t(dataBytes), 4);

    std::vector<int16_t> block(SecondsPerWrite * Rate * Channels);
    for (uint64_t f = 0; f < SecondsPerWrite * Rate; ++f) {
        double t = double(f) / Rate;
        double loud = 0.5 + 0.45 * std::sin(2 * M_PI * t / SecondsPerWrite);
        auto v = int16_t(32767 * loud * std::sin(2 * M_PI * 440 * t));
        block[2 * f] = v;
        block[2 * f + 1] = int16_t(v / 2);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    for (uint64_t s = 0; s < Seconds; s += SecondsPerWrite)
        out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 2));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

void BM_Cat(benchmark::State& state)
{
    std::string cmd = "cat '" + gWav + "' > /dev/null";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0)
            state.SkipWithError("cat failed");
}
BENCHMARK(BM_Cat)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

void BM_CreateWS(benchmark::State& state)
{
    int calls = 0;
    for (auto _ : state) {
        auto result = vt::CreateWS(gWav, gWs, [&](int) { ++calls; });
        if (!result.built() || result.summary.size() != 2 * Seconds * 100)
            state.SkipWithError("the WAV was not summarised");
        benchmark::DoNotOptimize(result.summary.data());
    }
    state.counters["progress_calls"] = calls;
}
BENCHMARK(BM_CreateWS)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

// The same without writing the cache (the cache is flushed to disk, which
// depends on the disk more than on this code).
void BM_summarizeWav(benchmark::State& state)
{
    for (auto _ : state) {
        auto result = vt::summarizeWav(gWav);
        benchmark::DoNotOptimize(result.summary.data());
    }
}
BENCHMARK(BM_summarizeWav)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const char* env = std::getenv("VT_BENCH_DIR");
    fs::path dir = fs::path(env && *env ? env : fs::temp_directory_path().string()) / "vt-wave-summary-bench";
    fs::create_directories(dir);
    gWav = (dir / "film.wav").string();
    gWs = (dir / "film.ws").string();

    std::printf("generating %s ...\n", gWav.c_str());
    std::fflush(stdout);
    generateWav(gWav);
    // warm the page cache so both sides read from memory
    std::system(("cat '" + gWav + "' > /dev/null").c_str());

    vt::bench::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    double cat = vt::bench::median(reporter.times["BM_Cat"]);
    double ws = vt::bench::median(reporter.times["BM_CreateWS"]);
    double summary = vt::bench::median(reporter.times["BM_summarizeWav"]);
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("\nfile: %.2f GB\n", double(fs::file_size(gWav)) / 1e9);
    if (cat > 0 && ws > 0)
        std::printf("median cat: %.0f ms, median CreateWS: %.0f ms, ratio %.2fx (target <= 1.20x)\n",
                    cat, ws, ws / cat);
    if (cat > 0 && summary > 0)
        std::printf("median summarizeWav (no cache written): %.0f ms, ratio %.2fx\n", summary,
                    summary / cat);
    std::printf("peak resident memory: %.1f MB (target < 64 MB)\n", double(usage.ru_maxrss) / 1024);

    fs::remove_all(dir);
    return 0;
}
