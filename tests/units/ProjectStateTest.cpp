#include "core/ProjectState.h"

#include <gtest/gtest.h>

using namespace vt;

TEST(ProjectState, ResetGivesTheStartValues)
{
    ProjectState s;
    s.VideoFileName = "film.avi";
    s.FrameRate = 25.0f;
    s.Timeline.resize(3);
    s.TimelineCount = 3;
    s.StepSizeIndex = 3;
    s.EditTimes = false;
    s.EditorLeft = 10;
    s.ToolRangeIndex = 0;
    s.MergeOnTop = true;
    s.NextPage = 0;
    resetProjectState(s);

    EXPECT_TRUE(s.VideoFileName.empty());
    EXPECT_EQ(s.FrameRate, 0.0f);
    EXPECT_EQ(s.NewFrameRate, 0.0f);
    EXPECT_TRUE(s.Timeline.empty());
    EXPECT_EQ(s.TimelineCount, 0);
    EXPECT_EQ(s.StepSizeIndex, 1);
    EXPECT_EQ(s.WaveScale, 0);
    EXPECT_TRUE(s.EditTimes);
    EXPECT_TRUE(s.EditTexts);
    EXPECT_EQ(s.EditorLeft, -1);
    EXPECT_EQ(s.EditorHeight, -1);
    EXPECT_EQ(s.ToolRangeIndex, 1);
    EXPECT_FALSE(s.MergeOnTop);
    EXPECT_FALSE(s.NewTimeline);
    EXPECT_EQ(s.NextPage, 2);
}
