// The file tools on a 10,000-entry SRT (two text lines per entry, Chinese,
// in GBK): the bilingual merge, the re-timed export and the text export,
// each reading the other file, building the text and writing it atomically;
// and the frame-rate conversion of a 10,000-line timeline: its new-rate
// times alone, and the whole conversion with its save; the delivery checks
// of the 10,000 lines, and "全部修正" on them.
#include "core/DeliveryChecks.h"
#include "core/FileIO.h"
#include "core/TimelineWriter.h"
#include "core/TextCodec.h"
#include "filetools/Export.h"
#include "filetools/FrameRateConversion.h"
#include "filetools/Merge.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

constexpr int32_t Entries = 10000;
constexpr float Rate = 25.0f;
const FileEncoding Gbk{TextEncoding::Gbk, false};

struct Project {
    fs::path dir;
    TimelineArray timeline;
    std::string timelineFile, secondFile;

    Project()
    {
        std::string tmpl = (fs::temp_directory_path() / "veltrana-bench-tools-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        dir = tmpl;
        // the first save over a timeline backs it up into the state folder: keep it here
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        for (int32_t i = 0; i < Entries; ++i) {
            int32_t start = 50 + i * 60;
            timeline.push_back({start, start + 45, u"第" + fromUtf8(std::to_string(i)) + u"句字幕^p第二行文字"});
        }
        timeline.resize(timeline.size() + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        timelineFile = (dir / "film.srt").string();
        secondFile = (dir / "second.srt").string();
        bool newTimeline = false;
        proSaveSrt(timeline, Entries, Rate, timelineFile, Gbk, newTimeline);
        // the second file: the same entries at other times with other texts
        TimelineArray second = timeline;
        for (auto& line : second)
            line.Text = u"Subtitle line in the other language^pand its second line";
        writeFileAtomically(secondFile, encodeText(srtText(second, Entries, 23.976f), Gbk));
    }
    ~Project() { fs::remove_all(dir); }

    ToolTimeline tool() const { return {timeline, Entries, Rate, Gbk, timelineFile}; }
    std::string out(const char* name) const { return (dir / name).string(); }
};

Project& project()
{
    static Project p;
    return p;
}

void BM_BilingualMerge(benchmark::State& state)
{
    Project& p = project();
    for (auto _ : state)
        saveBilingualSrt(p.tool(), p.secondFile, p.out("second.双语.srt"), false);
}
BENCHMARK(BM_BilingualMerge)->Unit(benchmark::kMillisecond);

void BM_RetimedExport(benchmark::State& state)
{
    Project& p = project();
    for (auto _ : state)
        saveRetimedSrt(p.tool(), p.secondFile, p.out("second.导出.srt"));
}
BENCHMARK(BM_RetimedExport)->Unit(benchmark::kMillisecond);

void BM_TextExport(benchmark::State& state)
{
    Project& p = project();
    for (auto _ : state)
        saveSpareText(p.secondFile, p.out("second.txt"), p.timelineFile);
}
BENCHMARK(BM_TextExport)->Unit(benchmark::kMillisecond);

void BM_NewRateTimes(benchmark::State& state)
{
    Project& p = project();
    for (auto _ : state) {
        for (int32_t i = 0; i < Entries; ++i) {
            benchmark::DoNotOptimize(FrameToNewTime(p.timeline[size_t(i)].StartFrame, 23.976f));
            benchmark::DoNotOptimize(FrameToNewTime(p.timeline[size_t(i)].EndFrame, 23.976f));
        }
    }
}
BENCHMARK(BM_NewRateTimes)->Unit(benchmark::kMillisecond);

void BM_FrameRateConversion(benchmark::State& state)
{
    Project& p = project();
    for (auto _ : state) {
        float frameRate = Rate;
        bool newTimeline = false;
        convertFrameRate("25.000", "23.976", p.timeline, Entries, frameRate, p.timelineFile, Gbk, newTimeline);
    }
}
BENCHMARK(BM_FrameRateConversion)->Unit(benchmark::kMillisecond);

// 10,000 lines a second and a bit apart, 10 to 59 frames long: short ones,
// small gaps and fast ones among them.
const TimelineArray& uneven()
{
    static const TimelineArray lines = [] {
        TimelineArray t = project().timeline;
        for (int32_t i = 0; i < Entries; ++i)
            t[size_t(i)].EndFrame = t[size_t(i)].StartFrame + 10 + (i * 7) % 50;
        return t;
    }();
    return lines;
}

// Every line's figures against the Chinese preset.
void BM_DeliveryChecks(benchmark::State& state)
{
    const DeliveryRules rules;
    size_t broken = 0;
    for (auto _ : state)
        broken = checkTimeline(uneven(), Entries, Rate, rules).size();
    state.counters["lines_listed"] = double(broken);
}
BENCHMARK(BM_DeliveryChecks)->Unit(benchmark::kMillisecond);

void BM_FixAll(benchmark::State& state)
{
    const DeliveryRules rules;
    size_t fixed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TimelineArray copy = uneven();
        state.ResumeTiming();
        fixed = fixTimeline(copy, Entries, Rate, 1000000, rules).size();
    }
    state.counters["lines_fixed"] = double(fixed);
}
BENCHMARK(BM_FixAll)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
