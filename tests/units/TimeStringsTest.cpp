#include "core/TimeStrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace vt;

TEST(TimeStrings, FrameToTimeAt25fps)
{
    EXPECT_EQ(FrameToTime(0, 25.0f), "00:00:00,000");
    EXPECT_EQ(FrameToTime(1, 25.0f), "00:00:00,040");
    EXPECT_EQ(FrameToTime(25, 25.0f), "00:00:01,000");
    EXPECT_EQ(FrameToTime(90000, 25.0f), "01:00:00,000");
    EXPECT_EQ(FrameToTime(2147483, 25.0f), "23:51:39,320");
    EXPECT_EQ(FrameToTime(-1, 25.0f), "");
}

TEST(TimeStrings, FrameToTimeAt23976fps)
{
    EXPECT_EQ(FrameToTime(24, 23.976f), "00:00:01,001");
    EXPECT_EQ(FrameToTime(1, 23.976f), "00:00:00,041");
    EXPECT_EQ(MsToFrame(StrToMs("00:00:01,001"), 23.976f), 24);
}

TEST(TimeStrings, FrameToTimeAt2997fps)
{
    EXPECT_EQ(FrameToTime(25, 29.97f), "00:00:00,834");
}

TEST(TimeStrings, FrameToTimeWrapsHoursAfter59)
{
    EXPECT_EQ(FrameToTime(59 * 3600 * 25 + 25, 25.0f), "59:00:01,000");
    EXPECT_EQ(FrameToTime(60 * 3600 * 25 + 25, 25.0f), "00:00:01,000");
}

TEST(TimeStrings, FrameToTimePastTheThirtyTwoBitProductDoesNotWrap)
{
    // 2147484 x 1000 no longer fits in 32 bits
    EXPECT_EQ(FrameToTime(2147484, 25.0f), "23:51:39,360");
    EXPECT_EQ(FrameToTime(std::numeric_limits<int32_t>::max(), 25.0f), "40:55:45,880");
}

TEST(TimeStrings, FrameToTimeWithoutARateIsEmpty)
{
    EXPECT_EQ(FrameToTime(100, 0.0f), "");
    EXPECT_EQ(FrameToTime(100, -25.0f), "");
}

TEST(TimeStrings, StrToMsReadsEachField)
{
    EXPECT_EQ(StrToMs("01:02:03,456"), 3723456);
    EXPECT_EQ(StrToMs("00:00:00,000"), 0);
    EXPECT_EQ(StrToMs("99:59:59,999"), 359999999);
}

TEST(TimeStrings, StrToMsDoesNotExamineTheSeparators)
{
    EXPECT_EQ(StrToMs("00:00:01.500"), 1500);
    EXPECT_EQ(StrToMs("00-00-01x500"), 1500);
}

TEST(TimeStrings, StrToMsReadsAFieldCutShortByTheEnd)
{
    EXPECT_EQ(StrToMs("00:00:01,5"), 1005);
    EXPECT_EQ(StrToMs("00:00:01,5000"), 1500);  // characters past 12 are not read
}

TEST(TimeStrings, StrToMsRefusesAFieldThatIsNotADecimalNumber)
{
    EXPECT_THROW(StrToMs("0a:00:00,000"), TimeStringError);
    EXPECT_THROW(StrToMs(" 1:00:00,000"), TimeStringError);
    EXPECT_THROW(StrToMs("00:00:00,-10"), TimeStringError);
    EXPECT_THROW(StrToMs("00:00:01,"), TimeStringError);
    EXPECT_THROW(StrToMs(""), TimeStringError);
}

TEST(TimeStrings, MsToFrameRoundsHalfUp)
{
    EXPECT_EQ(MsToFrame(3723456, 25.0f), 93086);
    EXPECT_EQ(FrameToTime(93086, 25.0f), "01:02:03,440");
    EXPECT_EQ(MsToFrame(1020, 25.0f), 26);  // 25.5 rounds up
    EXPECT_EQ(MsToFrame(1019, 25.0f), 25);
    EXPECT_EQ(MsToFrame(1000, 25.0f), 25);
}

TEST(TimeStrings, MsToFrameClipsToThirtyTwoBits)
{
    EXPECT_EQ(MsToFrame(std::numeric_limits<int64_t>::max(), 1000.0f), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(MsToFrame(std::numeric_limits<int64_t>::min(), 1000.0f), std::numeric_limits<int32_t>::min());
}
