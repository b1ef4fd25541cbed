// Delivery checks: how a text is counted, each rule at its limit and a
// frame either side, and "全部修正" on chains of lines and on a long random
// timeline, where it must fix everything timing can fix and nothing else.
#include "core/DeliveryChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>

using namespace vt;

namespace {

TimelineArray linesOf(std::vector<TimelineEntry> lines)
{
    lines.resize(lines.size() + 16, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    return lines;
}

std::u16string cjk(int n)
{
    return std::u16string(size_t(n), u'字');
}

}  // namespace

TEST(DeliveryChecks, TextIsCountedAsItIsRead)
{
    const struct {
        std::u16string text;
        int32_t halves;
        std::vector<int32_t> lines;
    } cases[] = {
        {u"你好", 4, {4}},
        {u"Hello", 5, {5}},
        {u"你好，世界！", 10, {10}},            // full-width punctuation counts half
        {u"他说：“走吧……”", 13, {13}},
        {u"你好^p世界", 8, {4, 4}},              // the break is no character
        {u"^p你好^p", 4, {0, 4, 0}},
        {u"{\\an8}你好{\\i1}", 4, {4}},          // override blocks are not read
        {u"{未闭合", 7, {7}},
        {u"a b\u3000c", 3, {3}},                 // spaces are not read
        {u"ＡＢ１２", 8, {8}},                   // full-width letters and digits
        {u"ｱｲ", 2, {2}},                         // half-width katakana
        {u"\U00020000好", 4, {4}},               // beyond the basic plane: one character
        {u"", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
        EXPECT_EQ(readingHalves(c.text), c.halves);
        EXPECT_EQ(lineHalves(c.text), c.lines);
    }
}

// Each rule at its limit passes and one step past it breaks; the speed
// shown and the check agree to the tenth.
TEST(DeliveryChecks, EveryRuleAtItsLimitAndOneFrameEitherSide)
{
    DeliveryRules wide;  // lines of any length, for the speeds of long texts
    wide.MaxLineCharacters = 1000;
    const struct {
        const char* name;
        float rate;
        int32_t frames;
        std::u16string text;
        int32_t gap;  // to a second line after it; INT32_MAX for none
        uint32_t problems;
        const char* speed;
        bool anyLength = false;  // lines of any length, for the speeds of long texts
    } cases[] = {
        {"18 characters in 2 s: 9.0", 25.0f, 50, cjk(18), INT32_MAX, 0, "9.0字/秒", true},
        {"a frame less: 9.2", 25.0f, 49, cjk(18), INT32_MAX, TooFast, "9.2字/秒", true},
        {"a frame more: 8.8", 25.0f, 51, cjk(18), INT32_MAX, 0, "8.8字/秒", true},
        {"9.04 shows 9.0 and passes", 24.0f, 150, cjk(56) + u"a", INT32_MAX, 0, "9.0字/秒", true},
        {"9.10 shows 9.1 and breaks", 24.0f, 149, cjk(56) + u"a", INT32_MAX, TooFast, "9.1字/秒", true},
        {"16 characters a line", 25.0f, 100, cjk(16) + u"^p" + cjk(2), INT32_MAX, 0, "4.5字/秒"},
        {"16 characters on the second line", 25.0f, 100, cjk(2) + u"^p" + cjk(16), INT32_MAX, 0, "4.5字/秒"},
        {"17 characters on the second line", 25.0f, 100, cjk(2) + u"^p" + cjk(17), INT32_MAX, LineTooLong,
         "4.8字/秒"},
        {"17 characters on the first line", 25.0f, 100, cjk(17) + u"^p" + cjk(2), INT32_MAX, LineTooLong,
         "4.8字/秒"},
        {"17 characters a line", 25.0f, 100, cjk(17), INT32_MAX, LineTooLong, "4.3字/秒"},
        {"32 half-width a line", 25.0f, 100, std::u16string(32, u'a'), INT32_MAX, 0, "4.0字/秒"},
        {"33 half-width a line", 25.0f, 100, std::u16string(33, u'a'), INT32_MAX, LineTooLong, "4.1字/秒"},
        {"3 lines", 25.0f, 100, u"一^p二^p三", INT32_MAX, TooManyLines, "0.8字/秒"},
        {"20 frames", 25.0f, 20, u"好", INT32_MAX, 0, "1.3字/秒"},
        {"19 frames", 25.0f, 19, u"好", INT32_MAX, TooShort, "1.3字/秒"},
        {"7 s at 25 fps", 25.0f, 175, u"好", INT32_MAX, 0, "0.1字/秒"},
        {"7 s and a frame at 25 fps", 25.0f, 176, u"好", INT32_MAX, TooLong, "0.1字/秒"},
        {"6.965 s at 23.976 fps", 23.976f, 167, u"好", INT32_MAX, 0, "0.1字/秒"},
        {"7.007 s at 23.976 fps", 23.976f, 168, u"好", INT32_MAX, TooLong, "0.1字/秒"},
        {"gap of 2", 25.0f, 50, u"好", 2, 0, "0.5字/秒"},
        {"gap of 1", 25.0f, 50, u"好", 1, TooClose, "0.5字/秒"},
        {"overlap", 25.0f, 50, u"好", -3, TooClose, "0.5字/秒"},
        {"gap of 3", 25.0f, 50, u"好", 3, SmallGap, "0.5字/秒"},
        {"gap of 12", 25.0f, 50, u"好", 12, SmallGap, "0.5字/秒"},
        {"gap of 13", 25.0f, 50, u"好", 13, 0, "0.5字/秒"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TimelineEntry> lines = {{100, 100 + c.frames, c.text}};
        if (c.gap != INT32_MAX)
            lines.push_back({100 + c.frames + c.gap, 100 + c.frames + c.gap + 50, u"下一行"});
        const TimelineArray timeline = linesOf(lines);
        const LineCheck check = checkLine(timeline, int32_t(lines.size()), 0, c.rate, c.anyLength ? wide : DeliveryRules{});
        EXPECT_EQ(check.problems, c.problems) << problemText(check.problems);
        EXPECT_EQ(speedText(check.speedTenths), c.speed);
    }
}

// Chains of lines where fixing one line naively would break its
// neighbour: every fix stays inside the free time around the line.
TEST(DeliveryChecks, FixesStayInsideTheFreeTimeAroundEachLine)
{
    const DeliveryRules rules;
    const struct {
        const char* name;
        std::vector<TimelineEntry> before;
        std::vector<std::pair<int32_t, int32_t>> after;
        int32_t fixed;
        int32_t mediaLength = 100000;
    } cases[] = {
        {"a short line grows at its end up to 2 frames before the next, then at its start",
         {{0, 40, u"甲"}, {100, 110, u"乙"}, {115, 165, u"丙"}},
         {{0, 40}, {93, 113}, {115, 165}}, 1},
        {"a line running into the next ends 2 frames before it",
         {{0, 60, u"甲"}, {50, 100, u"乙"}},
         {{0, 48}, {50, 100}}, 1},
        {"one that would be too short then stays",
         {{40, 60, u"甲"}, {50, 100, u"乙"}},
         {{40, 60}, {50, 100}}, 0},
        {"small gaps in a row close one after the other",
         {{0, 30, u"甲"}, {35, 65, u"乙"}, {77, 107, u"丙"}, {120, 150, u"丁"}},
         {{0, 33}, {35, 75}, {77, 107}, {120, 150}}, 2},
        {"a short line with no room after it grows at its start and closes what is left of the gap before",
         {{0, 30, u"甲"}, {50, 60, cjk(4)}, {62, 110, u"乙"}},
         {{0, 30}, {32, 60}, {62, 110}}, 1},
        {"a short line running into the next grows at its start, then ends before the next",
         {{0, 30, u"甲"}, {60, 75, u"乙"}, {70, 120, u"丙"}},
         {{0, 30}, {48, 68}, {70, 120}}, 1},
        {"a line kept under 7 s: the gap after it stays",
         {{0, 170, u"甲"}, {180, 200, u"乙乙乙乙乙"}},
         {{0, 170}, {180, 200}}, 0},
        // the film's end is the last line's limit, as the next line is the others'
        {"a short last line grows up to the film's end, then at its start",
         {{0, 40, u"甲"}, {985, 990, u"乙"}},
         {{0, 40}, {980, 1000}}, 1, 1000},
        {"a short last line that already ends with the film grows at its start",
         {{0, 40, u"甲"}, {990, 1000, u"乙"}},
         {{0, 40}, {980, 1000}}, 1, 1000},
        {"a last line too fast for its text grows up to the film's end, then at its start",
         {{0, 40, u"甲"}, {950, 990, cjk(18)}},
         {{0, 40}, {950, 1000}}, 1, 1000},
        {"the film's length unknown: the last line grows at its end",
         {{0, 40, u"甲"}, {985, 990, u"乙"}},
         {{0, 40}, {985, 1005}}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TimelineArray timeline = linesOf(c.before);
        const auto fixes = fixTimeline(timeline, int32_t(c.before.size()), 25.0f, c.mediaLength, rules);
        EXPECT_EQ(int32_t(fixes.size()), c.fixed);
        for (size_t i = 0; i < c.after.size(); ++i) {
            EXPECT_EQ(timeline[i].StartFrame, c.after[i].first) << "line " << i;
            EXPECT_EQ(timeline[i].EndFrame, c.after[i].second) << "line " << i;
            EXPECT_EQ(timeline[i].Text, c.before[i].Text);
        }
        for (const DeliveryFix& f : fixes)
            EXPECT_FALSE(f.reason.empty());
    }
}

// A random 2,000-line timeline at 23.976 fps: after "全部修正" every
// duration, gap or overlap problem left is one no timing inside the free
// time can fix, no text changed, and no line that broke no rule moved.
TEST(DeliveryChecks, FixingEverythingLeavesOnlyWhatTimingCannotFix)
{
    const DeliveryRules rules;
    const float rate = 23.976f;
    std::mt19937 random(20261208);
    std::vector<TimelineEntry> lines;
    int32_t at = 10;
    for (int i = 0; i < 2000; ++i) {
        const int32_t length = std::uniform_int_distribution<int32_t>(5, 200)(random);
        std::u16string text = cjk(std::uniform_int_distribution<int32_t>(1, 40)(random));
        lines.push_back({at, at + length, text});
        at += length + std::uniform_int_distribution<int32_t>(-6, 30)(random);
    }
    TimelineArray timeline = linesOf(lines);
    const int32_t count = int32_t(lines.size());
    const TimelineArray before = timeline;
    const int32_t media = at + 100;
    const std::vector<DeliveryFix> fixes = fixTimeline(timeline, count, rate, media, rules);
    ASSERT_FALSE(fixes.empty());

    const int32_t maxFrames = int32_t(rules.MaxSecondsTenths * rate / 10);
    for (int32_t i = 0; i < count; ++i) {
        SCOPED_TRACE("line " + std::to_string(i));
        const TimelineEntry& line = timeline[size_t(i)];
        EXPECT_EQ(line.Text, before[size_t(i)].Text);
        const uint32_t was = checkLine(before, count, i, rate, rules).problems;
        if (line.StartFrame != before[size_t(i)].StartFrame || line.EndFrame != before[size_t(i)].EndFrame)
            EXPECT_NE(was & (TooClose | SmallGap | TooShort | TooFast), 0u) << "moved without a problem";
        const LineCheck now = checkLine(timeline, count, i, rate, rules);
        // the free time around the line, as the lines around it stand now
        const int64_t low = i > 0 ? int64_t(timeline[size_t(i) - 1].EndFrame) + rules.MinGapFrames : 0;
        const int64_t high = i + 1 < count ? int64_t(timeline[size_t(i) + 1].StartFrame) - rules.MinGapFrames : media;
        if (now.problems & TooClose)
            EXPECT_LT(high - line.StartFrame, rules.MinFrames) << "could have ended before the next line";
        if (now.problems & SmallGap)
            EXPECT_GT(high - line.StartFrame, maxFrames) << "could have closed the gap";
        if (now.problems & TooShort)
            EXPECT_LT(std::min<int64_t>(high - low, maxFrames), rules.MinFrames) << "had room to grow";
        if (i > 0)
            EXPECT_GE(int64_t(line.StartFrame) - timeline[size_t(i) - 1].EndFrame,
                      std::min<int64_t>(rules.MinGapFrames,
                                        int64_t(before[size_t(i)].StartFrame) - before[size_t(i) - 1].EndFrame))
                << "a gap got smaller than the minimum";
    }
}
