// The undo history on a 10,000-line timeline of a two-hour film (1.44 MB of
// marks): the memory 1,000 steps take (heap in use before and after,
// mallinfo2, and what the steps themselves hold), and the time one step
// takes to record and to undo. The steps are what a user does: moves of a
// line, insertions and deletions near the front (every later line moves a
// slot), texts typed.
#include "core/Coverage.h"
#include "editor/CurrentLine.h"
#include "editor/EditOps.h"
#include "core/UndoHistory.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <random>
#include <string>

using namespace vt;

namespace {

constexpr int32_t Lines = 10000;
constexpr float Rate = 25.0f;
constexpr int32_t FilmFrames = 2 * 3600 * 25;

struct Film {
    TimelineArray timeline;
    int32_t count = Lines;
    int32_t texts = Lines;
    ByteArray marks;
    TimelineState state{timeline, count, texts, marks, Rate};

    Film()
    {
        // a line every 0.72 s of the two hours, 0.4 to 0.6 s long
        for (int32_t i = 0; i < Lines; ++i) {
            const int32_t start = 18 * i;
            timeline.push_back({start, start + 10 + i % 6, u"第" + std::u16string(1, char16_t(u'0' + i % 10))
                                                               + u"句字幕，两行文字^p第二行的文字"});
        }
        timeline.resize(timeline.size() + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        marks.assign(size_t(FilmFrames) * 8, 0);
        rebuildWaveMarks(marks, timeline, count, Rate);
    }
};

// One user's change on the film, chosen by the generator.
void change(Film& f, std::mt19937& rng)
{
    const int32_t line = std::uniform_int_distribution<int32_t>(0, f.count - 2)(rng);
    switch (rng() % 4) {
    case 0: {
        WaveViewState view;
        const int32_t position = f.timeline[size_t(line)].StartFrame + 2;
        view.WaveViewStart = std::max(0, summaryIndexOfFrame(position, Rate) - 400) & ~1;
        moveTimeLine(f.state, view, position, FilmFrames, -2, -2);
        break;
    }
    case 1: procDel(f.state, line % 50, EditColumns{true, true}); break;
    case 2: procIns(f.state, line % 50, f.timeline[size_t(line % 50)].EndFrame + 1, EditColumns{false, true}, [] {});
            break;
    default: f.timeline[size_t(line)].Text = u"改过的字幕"; break;
    }
}

// small blocks and the large ones malloc maps on their own (the marks)
size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// 1,000 steps: the heap they add (the history's copy of the timeline
// included), and what the steps alone hold.
void BM_ThousandStepsMemory(benchmark::State& s)
{
    for (auto _ : s) {
        s.PauseTiming();
        Film film;
        std::mt19937 rng(7);
        s.ResumeTiming();
        const size_t before = heapInUse();
        UndoHistory history;
        history.reset(film.state);
        for (int i = 0; i < 1000;) {
            change(film, rng);
            i += history.record(film.state);
        }
        s.counters["heap_MB"] = double(heapInUse() - before) / 1e6;
        s.counters["steps_MB"] = double(history.stepBytes()) / 1e6;
        s.counters["steps"] = double(history.undoableSteps());
    }
}
BENCHMARK(BM_ThousandStepsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RecordOneStep(benchmark::State& s)
{
    Film film;
    std::mt19937 rng(11);
    UndoHistory history;
    history.reset(film.state);
    for (auto _ : s) {
        s.PauseTiming();
        change(film, rng);
        s.ResumeTiming();
        benchmark::DoNotOptimize(history.record(film.state));
    }
}
BENCHMARK(BM_RecordOneStep)->Unit(benchmark::kMicrosecond);

// Every one of 1,000 steps undone, then redone: the time per step.
void BM_UndoAndRedoEveryStep(benchmark::State& s)
{
    Film film;
    std::mt19937 rng(13);
    UndoHistory history;
    history.reset(film.state);
    for (int i = 0; i < 1000;) {
        change(film, rng);
        i += history.record(film.state);
    }
    for (auto _ : s) {
        while (history.canUndo())
            benchmark::DoNotOptimize(history.undo(film.state));
        while (history.canRedo())
            benchmark::DoNotOptimize(history.redo(film.state));
    }
    s.SetItemsProcessed(int64_t(s.iterations()) * 2000);
}
BENCHMARK(BM_UndoAndRedoEveryStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
