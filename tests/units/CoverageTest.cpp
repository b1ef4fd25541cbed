#include "core/Coverage.h"

#include <gtest/gtest.h>

using namespace vt;

namespace {

TimelineArray linesOf(std::initializer_list<std::pair<int32_t, int32_t>> frames)
{
    TimelineArray t;
    for (auto [start, end] : frames)
        t.push_back({start, end, {}});
    t.resize(t.size() + 2, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    return t;
}

// The set marks as runs "from-to".
std::string runs(const ByteArray& marks)
{
    std::string out;
    for (size_t i = 0; i < marks.size(); ++i) {
        if (!marks[i] || (i > 0 && marks[i - 1]))
            continue;
        size_t j = i;
        while (j + 1 < marks.size() && marks[j + 1])
            ++j;
        out += (out.empty() ? "" : " ") + std::to_string(i) + "-" + std::to_string(j);
    }
    return out;
}

}  // namespace

TEST(Coverage, FramesAndIndicesTruncate)
{
    EXPECT_EQ(summaryIndexOfFrame(25, 25.0f), 200);
    EXPECT_EQ(summaryIndexOfFrame(24, 23.976f), 200);   // 200.2
    EXPECT_EQ(summaryIndexOfFrame(1, 29.97f), 6);        // 6.67
    EXPECT_EQ(frameOfSummaryIndex(167, 25.0f), 20);      // 20.875
    EXPECT_EQ(frameOfSummaryIndex(-9, 25.0f), -1);       // an index difference leftwards: toward zero
    EXPECT_EQ(frameOfSummaryIndex(920, 25.0f), 115);     // exactly, not a hair below
    EXPECT_EQ(frameOfSummaryIndex(1001, 23.976f), 119);  // 119.9999
}

TEST(Coverage, TidyAndMarksOfALoadedTimeline)
{
    // 00:00:01,000 --> 00:00:01,100 and 00:00:01,050 --> 00:00:03,000 at 25 fps
    TimelineArray t = linesOf({{25, 28}, {26, 75}});
    tidyTimeline(t, 2);
    EXPECT_EQ(t[0].EndFrame, 33);
    EXPECT_EQ(t[1].StartFrame, 34);
    EXPECT_EQ(t[1].EndFrame, 75);
    ByteArray marks(1000, 1);
    rebuildWaveMarks(marks, t, 2, 25.0f);
    EXPECT_EQ(runs(marks), "200-264 272-600");
    rebuildWaveMarks(marks, t, 1, 25.0f);   // slots past the count are not marked
    EXPECT_EQ(runs(marks), "200-264");
}

TEST(Coverage, TidyRepairsEndsAndOrder)
{
    TimelineArray t = linesOf({{125, 100}, {50, 60}, {150, 300}, {400, 402}});
    tidyTimeline(t, 4);
    EXPECT_EQ(t[0].EndFrame, 133);      // an end before its start: start + 8
    EXPECT_EQ(t[1].StartFrame, 134);    // pushed behind the line before
    EXPECT_EQ(t[1].EndFrame, 142);
    EXPECT_EQ(t[2].StartFrame, 150);
    EXPECT_EQ(t[2].EndFrame, 300);
    EXPECT_EQ(t[3].EndFrame, 408);
    EXPECT_TRUE(t[4].isFree());

    TimelineArray empty = linesOf({});
    tidyTimeline(empty, 0);
    EXPECT_TRUE(empty[0].isFree());
}

TEST(Coverage, MarksAreClippedToTheArray)
{
    ByteArray marks(100, 0);
    markSpan(marks, -2, 1, 25.0f);     // indices -16..8
    markSpan(marks, 11, 40, 25.0f);    // 88..320
    markSpan(marks, 20, 30, 25.0f);    // wholly past the end
    EXPECT_EQ(runs(marks), "0-8 88-99");
    ByteArray none;
    markSpan(none, 0, 10, 25.0f);
    EXPECT_TRUE(none.empty());
}

TEST(Coverage, UnmarkLeavesTheNeighbours)
{
    ByteArray marks(400, 0);
    TimelineArray t = linesOf({{2, 10}, {11, 20}, {21, 40}});
    rebuildWaveMarks(marks, t, 3, 25.0f);
    EXPECT_EQ(runs(marks), "16-80 88-160 168-320");
    unmarkLine(marks, t[1], 25.0f);
    EXPECT_EQ(runs(marks), "16-80 168-320");
}
