#include "core/Coverage.h"
#include "editor/ShotSnap.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace vt;

namespace {

using Frames = std::pair<int32_t, int32_t>;

struct SnapCase {
    const char* what;
    std::vector<Frames> lines;  // the line snapped is the one at `line`
    int32_t line;
    CutList cuts;
    Frames after;
};

TEST(ShotSnap, InPointsOutPointsAndGapsAtTheirLimitsAndOneFrameBeyond)
{
    const SnapCase cases[] = {
        {"an in-point 3 frames into the shot goes back onto the cut", {{103, 150}}, 0, {100}, {100, 150}},
        {"an in-point exactly 7 frames before a cut goes onto it", {{93, 150}}, 0, {100}, {100, 150}},
        {"an in-point 8 frames away stays", {{92, 150}}, 0, {100}, {92, 150}},
        {"an in-point 8 frames into the shot stays", {{108, 150}}, 0, {100}, {108, 150}},
        {"an out-point exactly 12 frames before a cut ends 2 before it", {{50, 188}}, 0, {200}, {50, 198}},
        {"an out-point 13 frames before a cut stays", {{50, 187}}, 0, {200}, {50, 187}},
        {"an out-point 11 frames past a cut is pulled back to 2 before it", {{50, 211}}, 0, {200}, {50, 198}},
        {"an out-point 12 frames past a cut stays", {{50, 212}}, 0, {200}, {50, 212}},
        {"an out-point on the cut itself ends 2 before it", {{50, 200}}, 0, {200}, {50, 198}},
        {"a gap of exactly 12 frames closes to 2", {{50, 100}, {112, 150}}, 0, {}, {50, 110}},
        {"a gap of 13 frames stays", {{50, 100}, {113, 150}}, 0, {}, {50, 100}},
        {"lines that touch are opened to 2 frames", {{50, 100}, {101, 150}}, 0, {}, {50, 99}},
        {"both ends at once, the nearer cut each", {{96, 207}}, 0, {100, 210}, {100, 208}},
        {"a line shorter than the rules allow keeps its ends", {{100, 109}}, 0, {104}, {100, 109}},
        {"an in-point never crosses the line before", {{0, 98}, {103, 150}}, 1, {97}, {103, 150}},
        {"an out-point never crosses the line after", {{50, 100}, {102, 150}}, 0, {110}, {50, 100}},
        // the neighbours' own frames are theirs: a snapped end stops a frame short of them
        {"an in-point never lands on the previous line's end frame", {{0, 97}, {103, 150}}, 1, {97}, {103, 150}},
        {"an in-point lands on the frame after the previous line's end", {{0, 96}, {103, 150}}, 1, {97}, {97, 150}},
        {"an out-point never lands on the next line's start", {{100, 103}, {108, 150}}, 0, {110}, {100, 103}},
        {"an out-point lands on the frame before the next line's start", {{100, 103}, {109, 150}}, 0, {110},
         {100, 108}},
        {"a line snapped to exactly 8 frames", {{100, 109}}, 0, {101}, {101, 109}},
        {"a gap is not closed where the line would stay under 8 frames", {{100, 103}, {109, 150}}, 0, {}, {100, 103}},
        {"no cuts and no neighbours: nothing moves", {{50, 100}}, 0, {}, {50, 100}},
    };
    for (const SnapCase& c : cases) {
        TimelineArray timeline;
        for (auto [in, out] : c.lines)
            timeline.push_back({in, out, u""});
        int32_t count = int32_t(timeline.size());
        int32_t texts = count;
        ByteArray marks(40000, 0);
        rebuildWaveMarks(marks, timeline, count, 25.0f);
        TimelineState state{timeline, count, texts, marks, 25.0f};
        const Frames before(timeline[size_t(c.line)].StartFrame, timeline[size_t(c.line)].EndFrame);
        EXPECT_EQ(snapLineToCuts(state, c.line, c.cuts), before != c.after) << c.what;
        EXPECT_EQ(Frames(timeline[size_t(c.line)].StartFrame, timeline[size_t(c.line)].EndFrame), c.after) << c.what;
        ByteArray expected(marks.size(), 0);
        rebuildWaveMarks(expected, timeline, count, 25.0f);
        EXPECT_EQ(marks, expected) << c.what << ": the marks were not kept in step";
    }
}

TEST(ShotSnap, JumpsGoToTheCutBeforeOrAfterThePosition)
{
    const CutList cuts = {100, 200, 300};
    EXPECT_EQ(previousCut(cuts, 200), 100);
    EXPECT_EQ(previousCut(cuts, 201), 200);
    EXPECT_EQ(previousCut(cuts, 100), std::nullopt);
    EXPECT_EQ(nextCut(cuts, 200), 300);
    EXPECT_EQ(nextCut(cuts, 99), 100);
    EXPECT_EQ(nextCut(cuts, 300), std::nullopt);
}

}  // namespace
