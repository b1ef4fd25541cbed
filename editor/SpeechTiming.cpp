#include "editor/SpeechTiming.h"

#include "core/Coverage.h"
#include "core/FrameRate.h"
#include "editor/PlayControl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vt {

namespace {

int32_t framesOf(double seconds, float frameRate)
{
    return int32_t(std::lround(seconds * double(frameRate)));
}

// The value of `edges` nearest to `from` within `reach` frames that `fits`; empty when none.
template <typename Edge, typename Fits>
std::optional<int32_t> nearestEdge(const SpeechFrameList& speech, Edge edge, int32_t from, int32_t reach, Fits fits)
{
    std::optional<int32_t> best;
    int64_t bestDistance = std::numeric_limits<int64_t>::max();
    for (const SpeechFrames& span : speech) {
        const int32_t at = edge(span);
        const int64_t distance = std::llabs(int64_t(at) - from);
        if (distance <= reach && distance < bestDistance && fits(at)) {
            best = at;
            bestDistance = distance;
        }
    }
    return best;
}

}  // namespace

int32_t lineForSpeechKeys(const TimelineArray& timeline, int32_t timelineCount, int32_t currentLine,
                          int32_t playPosition)
{
    const int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(timeline.size()));
    if (currentLine >= 0 && currentLine < count)
        return currentLine;
    int32_t nearest = -1;
    int64_t nearestDistance = std::numeric_limits<int64_t>::max();
    for (int32_t i = 0; i < count; ++i) {
        const TimelineEntry& line = timeline[size_t(i)];
        int64_t distance = 0;
        if (playPosition < line.StartFrame)
            distance = int64_t(line.StartFrame) - playPosition;
        else if (playPosition > line.EndFrame)
            distance = int64_t(playPosition) - line.EndFrame;
        if (distance < nearestDistance) {
            nearest = i;
            nearestDistance = distance;
        }
    }
    return nearest;
}

bool snapToSpeech(TimelineState& s, int32_t line, const SpeechFrameList& speech)
{
    requirePositiveFrameRate(s.FrameRate);
    if (line < 0 || line >= s.TimelineCount || size_t(line) >= s.Timeline.size())
        return false;
    TimelineEntry& entry = s.Timeline[size_t(line)];
    const int64_t low = line == 0 ? 0 : int64_t(s.Timeline[size_t(line) - 1].EndFrame) + 1;
    const int64_t high = line + 1 < s.TimelineCount ? int64_t(s.Timeline[size_t(line) + 1].StartFrame) - 1
                                                    : std::numeric_limits<int32_t>::max();
    const int32_t reach = framesOf(1.0, s.FrameRate);

    const int32_t oldIn = entry.StartFrame;
    const int32_t oldOut = entry.EndFrame;
    const int32_t in = nearestEdge(
        speech, [](const SpeechFrames& f) { return f.StartFrame; }, oldIn, reach,
        [&](int32_t at) { return at >= low; }).value_or(oldIn);
    const int32_t out = nearestEdge(
        speech, [](const SpeechFrames& f) { return f.EndFrame; }, oldOut, reach,
        [&](int32_t at) { return at <= high; }).value_or(oldOut);
    auto longEnough = [](int32_t a, int32_t b) { return int64_t(b) - a >= MinimumLineFrames; };
    // both ends if the line stays long enough, else the one end that keeps it so
    int32_t newIn = oldIn;
    int32_t newOut = oldOut;
    if (longEnough(in, out)) {
        newIn = in;
        newOut = out;
    } else if (in != oldIn && longEnough(in, oldOut)) {
        newIn = in;
    } else if (longEnough(oldIn, out)) {
        newOut = out;
    }
    if (newIn == entry.StartFrame && newOut == entry.EndFrame)
        return false;
    unmarkLine(s.WaveMarks, entry, s.FrameRate);
    entry.StartFrame = newIn;
    entry.EndFrame = newOut;
    markLine(s.WaveMarks, entry, s.FrameRate);
    return true;
}

std::optional<PlannedLine> planTimedLine(const TimelineState& s, const SpeechFrameList& speech, int32_t playPosition,
                                         int32_t mediaLength)
{
    requirePositiveFrameRate(s.FrameRate);
    const int32_t shortest = int32_t(std::ceil(TimedLineShortestSeconds * double(s.FrameRate) - 1e-9));
    const int32_t longest = int32_t(std::floor(TimedLineLongestSeconds * double(s.FrameRate) + 1e-9));
    const int32_t count = std::clamp<int32_t>(s.TimelineCount, 0, int32_t(s.Timeline.size()));
    const TimelineArray& t = s.Timeline;

    // the slot a line starting at `in` takes: after every line that starts before it
    int32_t slot = 0;
    for (const SpeechFrames& span : speech) {
        if (span.StartFrame < playPosition)
            continue;
        const int64_t in = span.StartFrame;
        while (slot < count && t[size_t(slot)].StartFrame <= in)
            ++slot;
        // spoken while an earlier line is shown: timed already
        if (slot > 0 && t[size_t(slot) - 1].EndFrame >= in)
            continue;
        int64_t out = std::clamp<int64_t>(span.EndFrame, in + shortest, in + longest);
        if (slot < count)
            out = std::min<int64_t>(out, int64_t(t[size_t(slot)].StartFrame) - TimedLineClearFrames);
        if (mediaLength > 0)
            out = std::min<int64_t>(out, mediaLength);
        if (out - in < shortest)
            continue;
        return PlannedLine{int32_t(in), int32_t(out), slot};
    }
    return std::nullopt;
}

InsertResult timeNextLine(TimelineState& s, const SpeechFrameList& speech, int32_t currentLine, int32_t playPosition,
                          int32_t mediaLength, EditColumns columns, const std::function<void()>& save)
{
    InsertResult nothing;
    nothing.CurrentLine = currentLine;
    std::optional<PlannedLine> planned = planTimedLine(s, speech, playPosition, mediaLength);
    if (!planned)
        return nothing;
    // the key times lines: the time column goes in whatever the boxes say,
    // the text column as they choose, so a text file's lines follow one by one
    return insertPlannedLine(s, currentLine, planned, {true, columns.Texts}, save);
}

PlayRound playRoundFor(PlayPart part, const TimelineEntry& line, int32_t playPosition, float frameRate)
{
    requirePositiveFrameRate(frameRate);
    const int32_t around = std::max(framesOf(PlayAroundSeconds, frameRate), 1);
    switch (part) {
    case PlayPart::BeforeIn: return {std::max(line.StartFrame - around, 0), line.StartFrame, playPosition};
    case PlayPart::AfterOut: return {line.EndFrame, line.EndFrame + around, playPosition};
    case PlayPart::Line: break;
    }
    return {line.StartFrame, line.EndFrame, playPosition};
}

RoundProgress roundProgress(const PlayRound& round, int32_t playPosition, int32_t playSpeed)
{
    if (playSpeed != NormalPlaySpeed)
        return RoundProgress::Left;
    return playPosition >= round.To ? RoundProgress::Ended : RoundProgress::Playing;
}

EditorEffect endOfRound(const PlayRound& round, int32_t playPosition)
{
    EditorEffect out;
    out.playerCommands = {PlayerCommand::pause(), PlayerCommand::stop(),
                          PlayerCommand::stepBy(round.ReturnTo - playPosition)};
    out.playSpeed = 0;
    out.pointer = PointerShape::AppStarting;
    out.wavIntervalMs = ImmediateRefreshMs;
    return out;
}

}  // namespace vt
