#include "core/Coverage.h"

#include "core/FrameRate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace vt {

namespace {

int32_t truncToInt32(double v)
{
    // frames past the 32-bit range cannot occur in a timeline, but a wild
    // value must not turn into undefined behaviour
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(std::trunc(v), lo, hi));
}

void fillSpan(ByteArray& marks, int32_t startFrame, int32_t endFrame, float frameRate, uint8_t value)
{
    if (marks.empty())
        return;
    int64_t from = std::max(summaryIndexOfFrame(startFrame, frameRate), 0);
    int64_t to = std::min<int64_t>(summaryIndexOfFrame(endFrame, frameRate), int64_t(marks.size()) - 1);
    if (from > to)
        return;
    std::memset(marks.data() + from, value, size_t(to - from + 1));
}

}  // namespace

int32_t summaryIndexOfFrame(int32_t frame, float frameRate)
{
    return truncToInt32(double(frame) * SummaryIndicesPerSecond / double(frameRate));
}

int32_t frameOfSummaryIndex(int32_t index, float frameRate)
{
    // multiplying first keeps whole results exact: 920 / 200 x 25 divided
    // first comes out a hair below 115 and would truncate to 114
    return truncToInt32(double(index) * double(frameRate) / SummaryIndicesPerSecond);
}

void markSpan(ByteArray& marks, int32_t startFrame, int32_t endFrame, float frameRate)
{
    fillSpan(marks, startFrame, endFrame, frameRate, 1);
}

void unmarkSpan(ByteArray& marks, int32_t startFrame, int32_t endFrame, float frameRate)
{
    fillSpan(marks, startFrame, endFrame, frameRate, 0);
}

void rebuildWaveMarks(ByteArray& marks, const TimelineArray& timeline, int32_t timelineCount,
                      float frameRate)
{
    requirePositiveFrameRate(frameRate);
    std::fill(marks.begin(), marks.end(), uint8_t(0));
    int64_t used = std::min<int64_t>(std::max(timelineCount, 0), int64_t(timeline.size()));
    for (int64_t i = 0; i < used; ++i)
        markLine(marks, timeline[size_t(i)], frameRate);
}

void tidyTimeline(TimelineArray& timeline, int32_t timelineCount)
{
    if (timeline.empty())
        return;
    auto atLeastMinimum = [](TimelineEntry& line) {
        line.EndFrame = std::max(line.EndFrame, line.StartFrame + MinimumLineFrames);
    };
    if (timeline[0].StartFrame < FreeSlotFrame)
        atLeastMinimum(timeline[0]);
    int64_t used = std::min<int64_t>(timelineCount, int64_t(timeline.size()));
    for (int64_t i = 1; i < used; ++i) {
        TimelineEntry& line = timeline[size_t(i)];
        line.StartFrame = std::max(line.StartFrame, timeline[size_t(i - 1)].EndFrame + 1);
        atLeastMinimum(line);
    }
}

}  // namespace vt
