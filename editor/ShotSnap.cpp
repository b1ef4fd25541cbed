#include "editor/ShotSnap.h"

#include "core/Coverage.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace vt {

namespace {

// The cut nearest to `at` among those for which `near(cut)` holds.
template <typename Near>
std::optional<int32_t> nearestCut(const CutList& cuts, int32_t at, Near near)
{
    std::optional<int32_t> best;
    for (int32_t c : cuts)
        if (near(c) && (!best || std::llabs(int64_t(c) - at) < std::llabs(int64_t(*best) - at)))
            best = c;
    return best;
}

}  // namespace

bool snapLineToCuts(TimelineState& s, int32_t line, const CutList& cuts)
{
    if (line < 0 || line >= s.TimelineCount || size_t(line) >= s.Timeline.size())
        return false;
    TimelineEntry& entry = s.Timeline[size_t(line)];
    const int64_t low = line == 0 ? 0 : int64_t(s.Timeline[size_t(line) - 1].EndFrame) + 1;
    const bool hasNext = line + 1 < s.TimelineCount;
    const int64_t nextStart = hasNext ? int64_t(s.Timeline[size_t(line) + 1].StartFrame)
                                      : std::numeric_limits<int64_t>::max();
    int64_t in = entry.StartFrame;
    int64_t out = entry.EndFrame;
    auto fits = [&](int64_t a, int64_t b) { return a >= low && b < nextStart && b - a >= MinimumLineFrames; };

    if (auto c = nearestCut(cuts, int32_t(in), [&](int32_t c) { return std::llabs(int64_t(c) - in) <= CutInReach; }))
        if (fits(*c, out))
            in = *c;
    if (auto c = nearestCut(cuts, int32_t(out), [&](int32_t c) {
            return out >= int64_t(c) - CutOutReach && out < int64_t(c) + CutOutReach;
        }))
        if (fits(in, int64_t(*c) - CutOutClear))
            out = int64_t(*c) - CutOutClear;
    if (hasNext && nextStart - out <= SmallGap && fits(in, nextStart - GapClosedTo))
        out = nextStart - GapClosedTo;

    if (in == entry.StartFrame && out == entry.EndFrame)
        return false;
    unmarkLine(s.WaveMarks, entry, s.FrameRate);
    entry.StartFrame = int32_t(in);
    entry.EndFrame = int32_t(out);
    markLine(s.WaveMarks, entry, s.FrameRate);
    return true;
}

std::optional<int32_t> previousCut(const CutList& cuts, int32_t playPosition)
{
    auto it = std::lower_bound(cuts.begin(), cuts.end(), playPosition);
    if (it == cuts.begin())
        return std::nullopt;
    return *std::prev(it);
}

std::optional<int32_t> nextCut(const CutList& cuts, int32_t playPosition)
{
    auto it = std::upper_bound(cuts.begin(), cuts.end(), playPosition);
    if (it == cuts.end())
        return std::nullopt;
    return *it;
}

}  // namespace vt
