#include "editor/CurrentLine.h"

#include "core/Coverage.h"
#include "core/FrameRate.h"

#include <algorithm>

namespace vt {

int32_t GetCurrLineNumb(const TimelineArray& timeline, int32_t timelineCount, const ByteArray& waveMarks,
                        float frameRate, const WaveViewState& view, int32_t playPosition)
{
    requirePositiveFrameRate(frameRate);
    const int64_t anchor = view.MouseOverWave ? int64_t(view.WaveViewStart) + 2 * int64_t(view.WaveMouseX)
                                              : summaryIndexOfFrame(playPosition, frameRate);
    const int64_t rightLimit = std::min<int64_t>(int64_t(view.WaveViewStart) + 2 * int64_t(view.WaveWidth),
                                                 int64_t(waveMarks.size()) - 1);

    int32_t counted = 0;
    int64_t right = anchor;
    while (counted < CoveredBytesToCount && right <= rightLimit) {
        if (coveredAt(waveMarks, right))
            ++counted;
        right += 2;
    }
    const bool rightFound = counted == CoveredBytesToCount;

    counted = 0;
    int64_t left = anchor;
    while (counted < CoveredBytesToCount && left >= view.WaveViewStart) {
        if (coveredAt(waveMarks, left))
            ++counted;
        left -= 2;
    }
    const bool leftFound = counted == CoveredBytesToCount;

    if (!rightFound && !leftFound)
        return -1;
    int64_t chosen;
    if (view.PreferPreviousLine)
        chosen = leftFound ? left : right;
    else if (leftFound && rightFound)
        chosen = (anchor - left < right - anchor) ? left : right;  // a tie goes to the later line
    else
        chosen = leftFound ? left : right;

    if (timeline.empty())
        return -1;
    const int32_t e = frameOfSummaryIndex(int32_t(chosen), frameRate);
    size_t m = 0;
    for (; m + 1 < timeline.size(); ++m) {
        const TimelineEntry& line = timeline[m];
        if ((line.StartFrame > e && line.EndFrame > e) || (line.StartFrame <= e && line.EndFrame >= e))
            break;
    }
    return int64_t(m) < int64_t(timelineCount) ? int32_t(m) : -1;
}

std::optional<int32_t> procBackLine(const TimelineArray& timeline, int32_t timelineCount, int32_t playPosition)
{
    const int64_t used = std::min<int64_t>(timelineCount, int64_t(timeline.size()));
    for (int64_t i = 0; i < used; ++i) {
        const TimelineEntry& line = timeline[size_t(i)];
        if (line.StartFrame > playPosition && line.EndFrame > playPosition)
            return line.StartFrame;
    }
    return std::nullopt;
}

std::optional<int32_t> procFrontLine(const TimelineArray& timeline, int32_t timelineCount, int32_t playPosition)
{
    const int64_t used = std::min<int64_t>(timelineCount, int64_t(timeline.size()));
    if (used <= 0)
        return std::nullopt;
    for (int64_t i = used - 1; i >= 0; --i) {
        const TimelineEntry& line = timeline[size_t(i)];
        if (line.StartFrame < playPosition && line.EndFrame < playPosition)
            return line.StartFrame;
    }
    return timeline[0].StartFrame;
}

void ZoomSrtArray(TimelineArray& timeline, const std::function<void()>& save)
{
    save();
    timeline.resize(timeline.size() + TimelineGrowth, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
}

}  // namespace vt
