#include "filetools/Shift.h"

#include "core/Errors.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace vt;

namespace {

using Frames = std::vector<std::pair<int32_t, int32_t>>;

TimelineArray timelineOf(const Frames& lines, size_t freeSlots = 2)
{
    TimelineArray timeline;
    for (auto [start, end] : lines)
        timeline.push_back({start, end, u"text"});
    timeline.resize(timeline.size() + freeSlots, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    return timeline;
}

Frames framesOf(const TimelineArray& timeline, int32_t count)
{
    Frames frames;
    for (int32_t i = 0; i < count; ++i)
        frames.emplace_back(timeline[size_t(i)].StartFrame, timeline[size_t(i)].EndFrame);
    return frames;
}

}  // namespace

TEST(Shift, SecondsFieldGivesFramesRoundedHalfAwayFromZero)
{
    struct Row {
        const char* seconds;
        float rate;
        std::optional<int32_t> frames;
    };
    const int32_t length = 90000;
    const Row rows[] = {
        {"2.5", 25.0f, 63},
        {"-2.5", 25.0f, -63},
        {"2.3", 25.0f, 58},  // 57.49999999999999 in binary, 57.5 as typed
        {" +1 ", 25.0f, 25},
        {"0", 25.0f, 0},
        {"4.170", 23.976f, 100},
        {"99999", 25.0f, length},
        {"-99999", 25.0f, -length},
        {"abc", 25.0f, std::nullopt},
        {"2.5s", 25.0f, std::nullopt},
        {"", 25.0f, std::nullopt},
        {"nan", 25.0f, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(secondsToShiftFrames(row.seconds, row.rate, length), row.frames) << row.seconds;
}

TEST(Shift, FramesFieldGivesSecondsCutAfterTheThirdDecimal)
{
    struct Row {
        int32_t frames;
        float rate;
        const char* seconds;
    };
    const Row rows[] = {
        {250, 25.0f, "10"}, {100, 23.976f, "4.170"}, {-63, 25.0f, "-2.52"}, {2, 3.0f, "0.666"}, {0, 25.0f, "0"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(shiftFramesToSeconds(row.frames, row.rate), row.seconds) << row.frames;

    EXPECT_EQ(readShiftFrames(" -63 "), -63);
    EXPECT_EQ(readShiftFrames("+5"), 5);
    for (const char* refused : {"", "1.5", "5x", "99999999999", "--5"})
        EXPECT_EQ(readShiftFrames(refused), std::nullopt) << refused;
}

TEST(Shift, MovesTheRangeAndTidies)
{
    struct Row {
        const char* what;
        Frames before;
        int32_t frames;
        ShiftRange range;
        int32_t playPosition;
        Frames after;
        int32_t moved;
    };
    const Row rows[] = {
        {"all later", {{10, 20}, {30, 40}}, 10, ShiftRange::All, 0, {{20, 30}, {40, 50}}, 2},
        {"all earlier, the first to frame 0", {{10, 20}, {30, 40}}, -10, ShiftRange::All, 35, {{0, 10}, {20, 30}}, 2},
        {"following: the play position after the last line moves nothing", {{10, 20}, {30, 40}}, 50,
         ShiftRange::Following, 41, {{10, 20}, {30, 40}}, 0},
        {"following: from the line that has not ended", {{10, 20}, {30, 40}, {50, 60}}, 5, ShiftRange::Following, 40,
         {{10, 20}, {35, 45}, {55, 65}}, 2},
        {"following, earlier than the gap: pushed on after the unmoved line", {{20, 30}, {40, 50}, {52, 70}}, -15,
         ShiftRange::Following, 40, {{20, 30}, {31, 39}, {40, 55}}, 2},
        {"by 0 still tidies", {{10, 12}, {11, 30}}, 0, ShiftRange::All, 0, {{10, 18}, {19, 30}}, 2},
    };
    for (const Row& row : rows) {
        TimelineArray timeline = timelineOf(row.before);
        int32_t count = int32_t(row.before.size());
        ByteArray marks(100, 0);
        EXPECT_EQ(shiftTimeline(timeline, count, row.frames, row.range, row.playPosition, marks, 25.0f), row.moved)
            << row.what;
        EXPECT_EQ(framesOf(timeline, count), row.after) << row.what;
        EXPECT_TRUE(timeline[size_t(count)].isFree()) << row.what;
    }
}

TEST(Shift, RebuildsTheMarks)
{
    // at 25 fps a frame is 8 summary indices
    TimelineArray timeline = timelineOf({{2, 3}});
    ByteArray marks(200, 0);
    marks[0] = marks[199] = 1;  // stale marks go
    shiftTimeline(timeline, 1, 10, ShiftRange::All, 0, marks, 25.0f);
    ASSERT_EQ(framesOf(timeline, 1), (Frames{{12, 20}}));  // made 8 frames long
    for (size_t i = 0; i < marks.size(); ++i)
        EXPECT_EQ(marks[i], i >= 96 && i <= 160 ? 1 : 0) << i;
}

TEST(Shift, RefusedShiftChangesNothing)
{
    struct Row {
        int32_t frames;
        ShiftRange range;
        std::string_view message;
    };
    const Row rows[] = {
        {-11, ShiftRange::All, MsgShiftBeforeZero},
        // the first line is checked also when only later lines would move
        {-11, ShiftRange::Following, MsgShiftBeforeZero},
        {INT32_MIN, ShiftRange::All, MsgShiftBeforeZero},
        // 60 hours at 25 fps is frame 5400000
        {5400000 - 40, ShiftRange::All, MsgShiftBeyondTimes},
        {INT32_MAX, ShiftRange::Following, MsgShiftBeyondTimes},
    };
    for (const Row& row : rows) {
        const TimelineArray before = timelineOf({{10, 20}, {30, 40}});
        TimelineArray timeline = before;
        ByteArray marks(400, 7);
        try {
            shiftTimeline(timeline, 2, row.frames, row.range, 35, marks, 25.0f);
            ADD_FAILURE() << "not refused: " << row.frames;
        } catch (const UserError& error) {
            EXPECT_EQ(error.what(), row.message);
        }
        EXPECT_EQ(framesOf(timeline, int32_t(timeline.size())), framesOf(before, int32_t(before.size())));
        EXPECT_EQ(marks, ByteArray(400, 7));
    }
    // the last time a time string holds is still allowed
    TimelineArray timeline = timelineOf({{10, 20}, {30, 40}});
    ByteArray marks(400, 0);
    EXPECT_EQ(shiftTimeline(timeline, 2, 5400000 - 41, ShiftRange::All, 0, marks, 25.0f), 2);
    EXPECT_TRUE(shiftStartsBeforeZero(timeline, 2, -5400000));
}

TEST(Shift, EmptyTimelineIsLeftAlone)
{
    TimelineArray timeline = timelineOf({}, 3);
    ByteArray marks(10, 1);
    EXPECT_EQ(shiftTimeline(timeline, 0, -100, ShiftRange::All, 0, marks, 25.0f), 0);
    EXPECT_TRUE(timeline[0].isFree());
    EXPECT_EQ(marks, ByteArray(10, 1));
}
