#include "core/Coverage.h"
#include "editor/CurrentLine.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace vt;

namespace {

// A timeline at 25 fps (frame f is summary index 8f) with its marks.
struct Lines {
    TimelineArray timeline;
    int32_t count = 0;
    ByteArray marks;

    Lines(std::initializer_list<std::pair<int32_t, int32_t>> frames, size_t markBytes = 4000) : marks(markBytes, 0)
    {
        for (auto [start, end] : frames)
            timeline.push_back({start, end, {}});
        count = int32_t(timeline.size());
        timeline.resize(timeline.size() + 4, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        rebuildWaveMarks(marks, timeline, count, 25.0f);
    }

    // The line under a pointer at x over a view starting at viewStart.
    int32_t atPointer(int32_t x, int32_t viewStart = 0, bool preferPrevious = false) const
    {
        WaveViewState view{.MouseOverWave = true, .WaveMouseX = x, .WaveViewStart = viewStart,
                           .PreferPreviousLine = preferPrevious};
        return GetCurrLineNumb(timeline, count, marks, 25.0f, view, 0);
    }
};

}  // namespace

TEST(CurrentLine, AnchorJustInsideALongLine)
{
    // line 1 lasts 2 s from frame 50 (index 400); line 0 ends just before it
    Lines f({{25, 49}, {50, 100}});
    EXPECT_EQ(f.atPointer(205), 1);   // 0.05 s into line 1
    // the play position 0.04 s into it, pointer off the strip
    EXPECT_EQ(GetCurrLineNumb(f.timeline, f.count, f.marks, 25.0f, WaveViewState{}, 51), 1);
}

TEST(CurrentLine, MidpointGoesToTheLaterLineUnlessThePreviousIsPreferred)
{
    // the 0.12 s points: leftwards from line 0's end (index 392) at 368,
    // rightwards from line 1's start (index 800) at 824; midway is 596
    Lines f({{25, 49}, {100, 150}});
    EXPECT_EQ(f.atPointer(298), 1);
    EXPECT_EQ(f.atPointer(297), 0);   // index 594 is nearer the earlier line
    EXPECT_EQ(f.atPointer(298, 0, true), 0);
    EXPECT_EQ(f.atPointer(10, 0, true), 0);   // nothing before the anchor: the line after it
}

TEST(CurrentLine, OnlyLinesInViewTakePart)
{
    EXPECT_EQ(Lines({}).atPointer(100), -1);
    EXPECT_EQ(Lines({{400, 450}}).atPointer(100), -1);   // right of the view (which ends at 1112)
    // a line left of the view is never current, even when it is nearer
    EXPECT_EQ(Lines({{25, 49}, {200, 260}}).atPointer(10, 1000), 1);
    EXPECT_EQ(Lines({{25, 49}}).atPointer(10, 1000), -1);
    // the count stops at the end of the marks: 10 covered bytes are not enough
    EXPECT_EQ(Lines({{40, 60}}, 500).atPointer(235), 0);
    EXPECT_EQ(Lines({{60, 70}}, 500).atPointer(235), -1);
}

TEST(CurrentLine, EdgesOfTheCountAndOfTheLine)
{
    struct Case {
        const char* what;
        Lines lines;
        int32_t x;           // pointer over a strip starting at index viewStart
        int32_t viewStart;
        int32_t expected;
    };
    const Case cases[] = {
        // anchor 778, 22 indices before line 0 ends: the 0.12 s points lie
        // 24 indices either side, the later one (802) is on line 0's last
        // frame (100), which still belongs to line 0
        {"point on the out-point frame", Lines({{50, 100}, {150, 200}}), 389, 0, 0},
        // anchor 1090: the 12th covered byte is 1112, the view's right edge
        {"last byte at the view's right edge", Lines({{136, 300}}), 545, 0, 0},
        // anchor 1022, leftwards the 12th covered byte is 1000, where the view starts
        {"last byte at the view's left edge", Lines({{100, 128}}), 11, 1000, 0},
        // the marks end at 502, which is the 12th covered byte from 480
        {"last byte at the end of the marks", Lines({{60, 70}}, 503), 235, 0, 0},
        {"one byte short of the marks", Lines({{60, 70}}, 502), 235, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lines.atPointer(c.x, c.viewStart), c.expected) << c.what;
}

TEST(CurrentLine, ShortLineLetsTheCountRunIntoTheNext)
{
    // line 0 covers only 5 even indices; the 12th covered byte falls into line 1
    EXPECT_EQ(Lines({{25, 26}, {30, 60}}).atPointer(90), 1);
}

TEST(CurrentLine, PointAfterEveryLineNamesNoSlot)
{
    // marks two indices past line 0's end (only 100 fps or more could make
    // them) put the chosen point after the last line: the scan ends on a free
    // slot, which is no current line
    Lines f({{25, 27}});
    for (int i = 200; i <= 222; ++i)
        f.marks[i] = 1;
    EXPECT_EQ(f.atPointer(90), -1);
    f.timeline.resize(1);   // in a full array the scan stops at the last, used slot
    EXPECT_EQ(f.atPointer(90), 0);
    EXPECT_THROW(GetCurrLineNumb(f.timeline, 1, f.marks, 0.0f, WaveViewState{}, 0), std::invalid_argument);
}

TEST(CurrentLine, PageDownAndPageUp)
{
    Lines f({{25, 49}, {100, 150}, {200, 250}});
    EXPECT_EQ(procBackLine(f.timeline, f.count, 30), 100);
    EXPECT_EQ(procBackLine(f.timeline, f.count, 100), 200);            // at a line's start: the next one
    EXPECT_EQ(procBackLine(f.timeline, f.count, 210), std::nullopt);   // after the last start
    EXPECT_EQ(procFrontLine(f.timeline, f.count, 30), 25);             // before the first line ends
    EXPECT_EQ(procFrontLine(f.timeline, f.count, 120), 25);            // inside a line: the one before
    EXPECT_EQ(procFrontLine(f.timeline, f.count, 300), 200);
    EXPECT_EQ(procFrontLine(f.timeline, 0, 300), std::nullopt);
}

TEST(CurrentLine, GrowingSavesFirst)
{
    TimelineArray t{{10, 20, u"a"}, {30, 40, u"b"}};
    size_t sizeWhenSaved = 0;
    ZoomSrtArray(t, [&] { sizeWhenSaved = t.size(); });
    EXPECT_EQ(sizeWhenSaved, 2u);
    ASSERT_EQ(t.size(), 258u);
    EXPECT_EQ(t[1].Text, u"b");
    EXPECT_TRUE(t[257].isFree());

    EXPECT_THROW(ZoomSrtArray(t, [] { throw std::runtime_error("disk full"); }), std::runtime_error);
    EXPECT_EQ(t.size(), 258u);
}
