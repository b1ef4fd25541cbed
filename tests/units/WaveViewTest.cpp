#include "core/Coverage.h"
#include "core/DeliveryChecks.h"
#include "editor/WaveView.h"

#include <gtest/gtest.h>

using namespace vt;

namespace {

const TimelineArray NoLines{{FreeSlotFrame, FreeSlotFrame, {}}};

ByteArray summaryOf(size_t pairs, int8_t hi, int8_t lo)
{
    ByteArray s(pairs * 2);
    for (size_t i = 0; i < pairs; ++i) {
        s[2 * i] = uint8_t(hi);
        s[2 * i + 1] = uint8_t(lo);
    }
    return s;
}

// A refresh on a strip `width` columns wide, with the view it leaves.
struct Refresh : WavePicture {
    WaveViewState view;
};

Refresh refresh(const WaveViewInput& in, int32_t width)
{
    Refresh r;
    r.view.WaveWidth = width;
    static_cast<WavePicture&>(r) = ShowWav(in, r.view);
    return r;
}

// At 25 fps (frame f is index 8f) on a 40-column strip: line 0 at frames
// 2..4 (columns 8..16), line 1 at frames 6..7 (columns 24..28).
struct TwoLines {
    TimelineArray timeline{{2, 4, u"你好^p世界"}, {6, 7, u"二"}, {FreeSlotFrame, FreeSlotFrame, {}}};
    ByteArray marks = ByteArray(80, 0);
    TwoLines() { rebuildWaveMarks(marks, timeline, 2, 25.0f); }
    Refresh show(const ByteArray& summary, int32_t frame, int32_t line) const
    {
        return refresh({summary, marks, timeline, 2, 25.0f, frame, line, 0}, 40);
    }
};

uint32_t top(const WavePicture& pic, int column) { return pic.Columns[size_t(column)].Segments[0].Colour; }

}  // namespace

TEST(WaveView, GainAndEnvelopeSteps)
{
    EXPECT_FLOAT_EQ(waveGain(-10), 3.8333333f);
    EXPECT_FLOAT_EQ(waveGain(0), 0.5f);
    EXPECT_FLOAT_EQ(waveGain(5), 0.3f);
    EXPECT_FLOAT_EQ(waveGain(10), 0.1f);
    const std::pair<int32_t, int32_t> rises[] = {{-5, 0}, {0, 0}, {1, 16}, {3, 24}, {4, 28},
                                                 {8, 30}, {15, 30}, {16, 31}, {1000, 31}};
    for (auto [n, rise] : rises)
        EXPECT_EQ(envelopeRise(n), rise) << n;
}

TEST(WaveView, EnvelopeRisesWithSoundAndFallsToZeroInEightSilentColumns)
{
    // columns 0..9 loud (+15 a column, 127 from column 8), then silent (-16 a column)
    ByteArray summary = summaryOf(40, 0, 0);
    for (size_t i = 0; i < 20; i += 2) {
        summary[i] = 100;
        summary[i + 1] = uint8_t(-100);
    }
    ByteArray marks(80, 0);
    // cursor band at columns 15..17: after 6, 7 and 8 silent columns
    Refresh pic = refresh({summary, marks, NoLines, 0, 25.0f, 4, -1, 0}, 40);
    EXPECT_EQ(top(pic, 15), rgb(0, 31 + 32, 31 + 64));
    EXPECT_EQ(top(pic, 16), rgb(0, 15 + 32, 15 + 64));
    EXPECT_EQ(top(pic, 17), rgb(0, 32, 64));
    // cursor band at columns 7..9: envelope 120, 127, 127
    pic = refresh({summary, marks, NoLines, 0, 25.0f, 2, -1, 0}, 40);
    EXPECT_EQ(top(pic, 7), rgb(0, 120, 152));
    const WaveColumn& c = pic.Columns[8];
    ASSERT_EQ(c.SegmentCount, 3);
    EXPECT_EQ(c.Segments[0], (WaveSegment{0, 14, rgb(0, 127, 159)}));
    EXPECT_EQ(c.Segments[1], (WaveSegment{14, 114, rgb(64, 191, 64)}));
    EXPECT_EQ(c.Segments[2], (WaveSegment{114, 128, rgb(0, 127, 159)}));
}

TEST(WaveView, ColourOfEachColumnClass)
{
    // current line 0; play position frame 6 (column 24, on line 1)
    struct Row {
        int column;
        uint32_t silent, sound, wave;
    };
    const Row rows[] = {
        {0, rgb(0, 0, 0), rgb(0, 0, 0), rgb(32, 128, 32)},                // nothing timed
        {7, rgb(0, 0, 0), rgb(0, 0, 0), rgb(32, 128, 32)},                // just before it
        {8, rgb(191, 191, 128), rgb(191, 191, 128), rgb(32, 128, 32)},    // the current line: first column,
        {10, rgb(191, 191, 128), rgb(191, 191, 128), rgb(32, 128, 32)},   // inside,
        {16, rgb(191, 191, 128), rgb(191, 191, 128), rgb(32, 128, 32)},   // last column (its out-point)
        {17, rgb(0, 0, 0), rgb(0, 0, 0), rgb(32, 128, 32)},               // just after it
        {27, rgb(96, 96, 80), rgb(96, 96, 80), rgb(32, 128, 32)},         // another line
        {23, rgb(0, 32, 64), rgb(0, 0, 32), rgb(64, 191, 64)},            // cursor band, untimed
        {24, rgb(64, 96, 128), rgb(32, 96, 128), rgb(64, 255, 64)},       // cursor band, timed
    };
    TwoLines t;
    const WavePicture silent = t.show(summaryOf(40, 0, 0), 6, 0);
    const WavePicture sound = t.show(summaryOf(40, 1, -1), 6, 0);   // n = 1: the envelope stays 0
    for (const Row& r : rows) {
        const WaveColumn& s = silent.Columns[size_t(r.column)];
        ASSERT_EQ(s.SegmentCount, 1) << r.column;
        EXPECT_EQ(s.Segments[0], (WaveSegment{0, 128, r.silent})) << r.column;
        const WaveColumn& w = sound.Columns[size_t(r.column)];
        ASSERT_EQ(w.SegmentCount, 3) << r.column;
        EXPECT_EQ(w.Segments[0].Colour, r.sound) << r.column;
        EXPECT_EQ(w.Segments[1].Colour, r.wave) << r.column;
        EXPECT_EQ(w.Segments[2].Colour, r.sound) << r.column;
    }
}

TEST(WaveView, LabelsAndTheirStyle)
{
    TwoLines t;
    const ByteArray summary = summaryOf(40, 0, 0);
    Refresh pic = t.show(summary, 6, 0);
    EXPECT_EQ(pic.LabelTime, "00:00:00,240");
    EXPECT_EQ(pic.LabeltxtText, u"你好^p世界");
    EXPECT_TRUE(pic.ShowTimeLabels);
    EXPECT_EQ(pic.LabelTimeIn, "00:00:00,080");
    EXPECT_EQ(pic.LabelTimeOut, "00:00:00,160");
    EXPECT_EQ(pic.view.CurrentInIndex, 16);
    EXPECT_EQ(pic.view.CurrentOutIndex, 32);
    EXPECT_EQ(pic.LabeltxtFont, (LabelFont{"宋体", 10, rgb(160, 160, 164)}));   // play position outside it
    EXPECT_EQ(t.show(summary, 6, 1).LabeltxtFont, (LabelFont{"黑体", 18, rgb(0, 0, 0)}));
    EXPECT_EQ(t.show(summary, 7, 1).LabeltxtFont, InsideLineFont);    // at the out-point
    EXPECT_EQ(t.show(summary, 8, 1).LabeltxtFont, OutsideLineFont);   // one frame after it
}

TEST(WaveView, NoCurrentLine)
{
    TwoLines t;
    for (int32_t line : {-1, 2}) {   // none, and a free slot
        Refresh pic = t.show(summaryOf(40, 0, 0), 3, line);
        EXPECT_EQ(pic.LabeltxtText, u" -*- -*- -*- 无 字 幕 -*- -*- -*- ");
        EXPECT_FALSE(pic.ShowTimeLabels);
        EXPECT_EQ(pic.view.CurrentInIndex, -1);
        EXPECT_EQ(pic.view.CurrentOutIndex, -1);
        EXPECT_EQ(pic.LabeltxtFont, OutsideLineFont);
        EXPECT_EQ(top(pic, 10), rgb(96, 96, 80));   // line 0 grey, not pale yellow
    }
}

TEST(WaveView, ViewFollowsThePlayPosition)
{
    const ByteArray summary = summaryOf(10000, 0, 0);   // 50 s
    const ByteArray marks(20000, 0);
    auto at = [&](int32_t frame) { return refresh({summary, marks, NoLines, 0, 25.0f, frame, -1, 0}, 556); };
    Refresh pic = at(0);   // cursor band in columns 0 and 1
    EXPECT_EQ(pic.view.WaveViewStart, 0);
    EXPECT_EQ(top(pic, 1), rgb(0, 32, 64));
    EXPECT_EQ(top(pic, 2), rgb(0, 0, 0));
    pic = at(1000);   // index 8000 in the middle column
    EXPECT_EQ(pic.view.WaveViewStart, 7444);
    EXPECT_EQ(top(pic, 278), rgb(0, 32, 64));
    EXPECT_EQ(at(2490).view.WaveViewStart, 18888);   // pinned to the last 2W bytes
    pic = at(3000);                             // past the end: pinned, no cursor band
    EXPECT_EQ(pic.view.WaveViewStart, 18888);
    for (const WaveColumn& c : pic.Columns)
        EXPECT_EQ(c.Segments[0].Colour, rgb(0, 0, 0));
    // frame 1 at 29.97 fps: index 6.67 rounds to 7, made even
    EXPECT_EQ(refresh({summary, marks, NoLines, 0, 29.97f, 1, -1, 0}, 556).PlayIndex, 8);
}

TEST(WaveView, OddSummaryLengthStaysInsideTheSummary)
{
    ByteArray summary = summaryOf(600, 20, -20);
    summary.push_back(0);   // 1201 bytes: the view starts at 89, made even
    const ByteArray marks(1201, 0);
    Refresh pic = refresh({summary, marks, NoLines, 0, 25.0f, 200, -1, 0}, 556);
    EXPECT_EQ(pic.view.WaveViewStart, 90);
    EXPECT_EQ(pic.Columns[554].SegmentCount, 3);
    // the last column is held at the last two bytes (-20 over 0: no sound)
    EXPECT_EQ(pic.Columns[555].SegmentCount, 1);
}

TEST(WaveView, ShortSummaryLeavesColumnsPastItsEndBlack)
{
    const ByteArray summary = summaryOf(200, 50, -50);   // 400 bytes, less than 2W
    const ByteArray marks(400, 0);
    Refresh pic = refresh({summary, marks, NoLines, 0, 25.0f, 40, -1, 0}, 556);
    EXPECT_EQ(pic.view.WaveViewStart, 0);
    EXPECT_EQ(pic.Columns[199].SegmentCount, 3);
    EXPECT_EQ(top(pic, 160), rgb(0, 127, 159));   // cursor at index 320
    for (size_t x = 200; x < 556; ++x)
        ASSERT_EQ(pic.Columns[x].Segments[0], (WaveSegment{0, 128, rgb(0, 0, 0)})) << x;
    const ByteArray none;
    EXPECT_EQ(refresh({none, none, NoLines, 0, 25.0f, 0, -1, 0}, 10).Columns.size(), 10u);
}

TEST(WaveView, WaveIsCutAtTheStripEdges)
{
    const ByteArray marks(1200, 0);
    auto column = [&](int8_t hi, int8_t lo, int32_t scale) {
        const ByteArray summary = summaryOf(600, hi, lo);
        return refresh({summary, marks, NoLines, 0, 25.0f, 2000, -1, scale}, 100).Columns[0];
    };
    const WaveColumn full = column(127, -128, -10);   // gain 3.833 overfills the strip
    EXPECT_EQ(full.Segments[0], (WaveSegment{0, 0, rgb(0, 0, 0)}));
    EXPECT_EQ(full.Segments[1], (WaveSegment{0, 128, rgb(32, 128, 32)}));
    EXPECT_EQ(full.Segments[2], (WaveSegment{128, 128, rgb(0, 0, 0)}));
    EXPECT_EQ(column(100, -100, 10).Segments[1], (WaveSegment{54, 74, rgb(32, 128, 32)}));   // gain 0.1
    EXPECT_EQ(column(32, 24, 0).Segments[1], (WaveSegment{48, 52, rgb(32, 128, 32)}));      // above the baseline
    EXPECT_EQ(column(30, 30, 0).SegmentCount, 1);   // equal high and low: one colour
}

// The pale yellow marks whichever line is current; the other timed lines stay grey.
TEST(WaveView, CurrentLineColourFollowsTheCurrentLine)
{
    constexpr uint32_t yellow = rgb(191, 191, 128), grey = rgb(96, 96, 80);
    struct Row {
        int32_t line;
        int32_t inIndex, outIndex;
        uint32_t line0First, line0Last, line1First, line1Last;   // columns 8, 16, 24, 28
    };
    const Row rows[] = {
        {0, 16, 32, yellow, yellow, grey, grey},
        {1, 48, 56, grey, grey, yellow, yellow},
        {-1, -1, -1, grey, grey, grey, grey},
    };
    TwoLines t;
    for (const Row& r : rows) {
        const Refresh pic = t.show(summaryOf(40, 0, 0), 9, r.line);   // cursor band at columns 35..37
        EXPECT_EQ(pic.view.CurrentInIndex, r.inIndex) << r.line;
        EXPECT_EQ(pic.view.CurrentOutIndex, r.outIndex) << r.line;
        EXPECT_EQ(top(pic, 8), r.line0First) << r.line;
        EXPECT_EQ(top(pic, 16), r.line0Last) << r.line;
        EXPECT_EQ(top(pic, 24), r.line1First) << r.line;
        EXPECT_EQ(top(pic, 28), r.line1Last) << r.line;
    }
}

// The labels show the current line's text, ends and reading, and only its:
// the reading label names its most serious broken rule, the full list names all.
TEST(WaveView, LabelsShowTheCurrentLine)
{
    // at 25 fps: line 0 ends a frame before line 1 starts, line 1 is ten
    // characters in nine frames, line 2 breaks nothing
    const TimelineArray timeline{{0, 50, u"你好"},
                                 {51, 60, u"一二三四五六七八九十"},
                                 {100, 150, u"好"},
                                 {FreeSlotFrame, FreeSlotFrame, {}}};
    ByteArray marks(2000, 0);
    rebuildWaveMarks(marks, timeline, 3, 25.0f);
    const ByteArray summary = summaryOf(1000, 0, 0);
    const DeliveryRules rules;
    auto at = [&](int32_t line) {   // play position 3 s, between lines 1 and 2
        return refresh({summary, marks, timeline, 3, 25.0f, 75, line, 0, nullptr, nullptr, nullptr, &rules}, 100);
    };
    struct Row {
        int32_t line;
        std::u16string_view text;
        const char* timeIn;
        const char* timeOut;
        int32_t speedTenths;
        uint32_t problems;      // every rule the line breaks
        uint32_t mostSerious;
    };
    const Row rows[] = {
        {0, u"你好", "00:00:00,000", "00:00:02,000", 10, TooClose, TooClose},
        {1, u"一二三四五六七八九十", "00:00:02,040", "00:00:02,400", 278, TooFast | TooShort, TooFast},
        {2, u"好", "00:00:04,000", "00:00:06,000", 5, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.line);
        const Refresh pic = at(r.line);
        EXPECT_EQ(pic.LabelTime, "00:00:03,000");
        EXPECT_EQ(pic.LabeltxtText, r.text);
        EXPECT_TRUE(pic.ShowTimeLabels);
        EXPECT_EQ(pic.LabelTimeIn, r.timeIn);
        EXPECT_EQ(pic.LabelTimeOut, r.timeOut);
        const std::string speed = speedText(r.speedTenths);
        EXPECT_EQ(pic.LabelReading, r.problems ? speed + " " + problemText(r.mostSerious) : speed);
        EXPECT_EQ(pic.LabelReadingAll, r.problems ? speed + " " + problemText(r.problems) : speed);
        EXPECT_EQ(pic.ReadingBreaksRule, r.problems != 0);
    }
    for (int32_t line : {-1, 3}) {   // none, and the free slot past the used ones
        SCOPED_TRACE(line);
        const Refresh pic = at(line);
        EXPECT_EQ(pic.LabeltxtText, NoSubtitleText);
        EXPECT_FALSE(pic.ShowTimeLabels);
        EXPECT_EQ(pic.LabelTimeIn, "");
        EXPECT_EQ(pic.LabelReading, "");
        EXPECT_EQ(pic.LabelReadingAll, "");
        EXPECT_FALSE(pic.ReadingBreaksRule);
    }
}
