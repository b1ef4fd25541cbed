#include "filetools/Shift.h"

#include "core/Coverage.h"
#include "core/Errors.h"
#include "core/FrameRate.h"
#include "core/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vt {

namespace {

// Two-digit hours: 60 hours is the first time a time string cannot hold.
constexpr double TimeStringLimitMs = 60.0 * 60 * 60 * 1000;

std::string_view trimmed(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A leading '+' is what a user types for "later"; from_chars takes only '-'.
std::string_view withoutPlus(std::string_view text)
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

template <typename Number>
std::optional<Number> wholeText(std::string_view text)
{
    text = withoutPlus(trimmed(text));
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool pastTimeStrings(int64_t frame, float frameRate)
{
    return std::trunc(double(frame) * 1000.0 / double(frameRate)) >= TimeStringLimitMs;
}

}  // namespace

std::optional<int32_t> secondsToShiftFrames(std::string_view secondsText, float frameRate, int32_t videoLengthFrames)
{
    std::optional<double> seconds = wholeText<double>(secondsText);
    if (!seconds || !std::isfinite(*seconds))
        return std::nullopt;
    double length = std::abs(double(videoLengthFrames));
    double frames = *seconds > 0 ? std::min(length, *seconds * double(frameRate) + 0.5)
                                 : std::max(-length, *seconds * double(frameRate) - 0.5);
    // Kept in single precision before it is cut, so that seconds typed in
    // decimals (2.3 s x 25 is 57.49999999999999 in binary) still round half away.
    return static_cast<int32_t>(std::trunc(static_cast<float>(frames)));
}

std::optional<int32_t> readShiftFrames(std::string_view framesText)
{
    return wholeText<int32_t>(framesText);
}

std::string shiftFramesToSeconds(int32_t frames, float frameRate)
{
    if (!(frameRate > 0.0f))
        return {};
    double seconds = double(frames) / double(frameRate);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.15g", seconds);
    std::string text = buffer;
    if (text.find('e') != std::string::npos) {
        // a tiny or huge quotient: written out, never with an exponent
        std::snprintf(buffer, sizeof buffer, "%.20f", seconds);
        text = buffer;
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    size_t point = text.find('.');
    if (point != std::string::npos)
        text.resize(std::min(text.size(), point + 4));
    return text;
}

bool shiftStartsBeforeZero(const TimelineArray& timeline, int32_t timelineCount, int32_t frames)
{
    return timelineCount > 0 && !timeline.empty() && int64_t(timeline[0].StartFrame) + frames < 0;
}

int32_t shiftTimeline(TimelineArray& timeline, int32_t timelineCount, int32_t frames, ShiftRange range,
                      int32_t playPosition, ByteArray& waveMarks, float frameRate)
{
    int32_t count = std::min<int32_t>(timelineCount, int32_t(std::min<size_t>(timeline.size(), INT32_MAX)));
    if (count <= 0)
        return 0;
    requirePositiveFrameRate(frameRate);
    if (shiftStartsBeforeZero(timeline, count, frames))
        throw UserError(std::string(MsgShiftBeforeZero));

    int32_t first = 0;
    if (range == ShiftRange::Following) {
        auto notEnded = std::find_if(timeline.begin(), timeline.begin() + count,
                                     [&](const TimelineEntry& line) { return line.EndFrame >= playPosition; });
        first = int32_t(notEnded - timeline.begin());
    }

    // Worked on a copy, so that a refusal found after the tidy pass leaves
    // the timeline as it was.
    TimelineArray shifted = timeline;
    if (frames > 0) {
        int32_t latestEnd = 0;
        for (int32_t i = first; i < count; ++i)
            latestEnd = std::max(latestEnd, shifted[size_t(i)].EndFrame);
        // checked before adding too, so no sum nears the 32-bit limit
        if (first < count && pastTimeStrings(int64_t(latestEnd) + frames, frameRate))
            throw UserError(std::string(MsgShiftBeyondTimes));
    }
    for (int32_t i = first; i < count; ++i) {
        TimelineEntry& line = shifted[size_t(i)];
        line.StartFrame = clampToInt32(int64_t(line.StartFrame) + frames);
        line.EndFrame = clampToInt32(int64_t(line.EndFrame) + frames);
    }
    tidyTimeline(shifted, count);
    if (frames > 0 && pastTimeStrings(shifted[size_t(count) - 1].EndFrame, frameRate))
        throw UserError(std::string(MsgShiftBeyondTimes));

    timeline.swap(shifted);
    rebuildWaveMarks(waveMarks, timeline, count, frameRate);
    return count - first;
}

}  // namespace vt
