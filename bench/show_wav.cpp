// One refresh of the waveform strip on a 2-hour film at 25 fps with about
// 1500 timed lines: the columns alone (ShowWav), and the current-line lookup
// plus the columns, as every tick of the refresh timer does them. At the
// design width (556 columns) and at 1800 columns.
#include "core/Coverage.h"
#include "editor/CurrentLine.h"
#include "editor/WaveView.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace vt;

namespace {

constexpr float Rate = 25.0f;
constexpr int32_t FilmSeconds = 2 * 60 * 60;

struct Film {
    ByteArray summary;
    ByteArray marks;
    TimelineArray timeline;
    int32_t count = 0;

    Film()
    {
        std::mt19937 rng(7);
        // speech-like sound: loudness that swells and fades over a few seconds, with noise
        summary.resize(size_t(FilmSeconds) * SummaryIndicesPerSecond);
        std::uniform_real_distribution<double> noise(0.6, 1.0);
        for (size_t pair = 0; pair < summary.size() / 2; ++pair) {
            const double t = double(pair) / 100.0;
            const double level = 60.0 * std::fabs(std::sin(t * 0.9) * std::sin(t * 0.13));
            summary[2 * pair] = uint8_t(int8_t(level * noise(rng)));
            summary[2 * pair + 1] = uint8_t(int8_t(-level * noise(rng)));
        }
        // lines of 1 to 4 s with gaps of 0.5 to 4 s: about 1500 over two hours
        std::uniform_int_distribution<int32_t> length(25, 100), gap(12, 100);
        for (int32_t at = 250; at < FilmSeconds * 25 - 200;) {
            const int32_t end = at + length(rng);
            timeline.push_back({at, end, u"字幕"});
            at = end + 1 + gap(rng);
        }
        count = int32_t(timeline.size());
        timeline.resize(timeline.size() + TimelineGrowth, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        marks.assign(summary.size(), 0);
        rebuildWaveMarks(marks, timeline, count, Rate);
    }
};

const Film& film()
{
    static const Film f;
    return f;
}

// A play position inside a line in the middle of the film.
int32_t middlePosition()
{
    const Film& f = film();
    const TimelineEntry& line = f.timeline[size_t(f.count / 2)];
    return (line.StartFrame + line.EndFrame) / 2;
}

void ShowWavColumns(benchmark::State& state)
{
    const Film& f = film();
    const int32_t width = int32_t(state.range(0));
    const int32_t position = middlePosition();
    WaveViewState view;
    view.WaveWidth = width;
    for (auto _ : state) {
        WavePicture pic = ShowWav({f.summary, f.marks, f.timeline, f.count, Rate, position, f.count / 2, 0}, view);
        benchmark::DoNotOptimize(pic.Columns.data());
    }
    state.counters["lines"] = f.count;
}

void RefreshWithLookup(benchmark::State& state)
{
    const Film& f = film();
    const int32_t width = int32_t(state.range(0));
    const int32_t position = middlePosition();
    WaveViewState view;
    view.WaveWidth = width;
    view.WaveViewStart = summaryIndexOfFrame(position, Rate) - width;
    // as the editor refreshes: the current line's delivery checks too
    const DeliveryRules rules;
    for (auto _ : state) {
        const int32_t line = GetCurrLineNumb(f.timeline, f.count, f.marks, Rate, view, position);
        WavePicture pic = ShowWav(
            {f.summary, f.marks, f.timeline, f.count, Rate, position, line, 0, nullptr, nullptr, nullptr, &rules}, view);
        benchmark::DoNotOptimize(pic.Columns.data());
    }
}

}  // namespace

BENCHMARK(ShowWavColumns)->Arg(556)->Arg(1800)->Unit(benchmark::kMicrosecond);
BENCHMARK(RefreshWithLookup)->Arg(556)->Arg(1800)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
