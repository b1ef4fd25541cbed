#include "editor/EditOps.h"

#include "core/Coverage.h"
#include "core/FrameRate.h"
#include "core/Numbers.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

namespace vt {

namespace {

// A new line takes at most this much of the free room, in summary indices.
constexpr int64_t FreeRoomStep = 40;
constexpr int64_t FreeRoomMeasured = 300;   // measuring stops once this much is found
constexpr int64_t FreeRoomNeeded = 60;      // less free room than this: no insertion
constexpr int64_t SummaryEndMargin = 60;    // the new line keeps this far from the end of the marks

// Counts outside the array would make every operation read or write past it.
void requireCountsWithinArray(const TimelineState& s)
{
    const int64_t slots = int64_t(s.Timeline.size());
    if (s.TimelineCount < 0 || s.TimelineCount > slots || s.TextCount < 0 || s.TextCount > slots)
        throw std::invalid_argument("timeline of " + std::to_string(slots) + " slots cannot hold "
                                    + std::to_string(s.TimelineCount) + " time codes and "
                                    + std::to_string(s.TextCount) + " texts");
}

std::optional<PlannedLine> planInsertedLine(const TimelineState& s, int32_t playPosition)
{
    const ByteArray& marks = s.WaveMarks;
    const int64_t length = int64_t(marks.size());
    const int64_t p = summaryIndexOfFrame(playPosition, s.FrameRate);
    if (p < 0 || coveredAt(marks, p))
        return std::nullopt;

    // The room is measured in steps of 0.2 s, but against the first covered
    // index after the position rather than the index at each step: a line
    // shorter than a step would otherwise lie hidden between two probes.
    const int64_t reach = std::min(p + FreeRoomMeasured + FreeRoomStep, length - 1);
    int64_t nextCovered = std::numeric_limits<int64_t>::max();
    for (int64_t j = p + 1; j <= reach; ++j) {
        if (marks[size_t(j)] != 0) {
            nextCovered = j;
            break;
        }
    }
    int64_t g = 0;
    while (g < FreeRoomMeasured && p + g + FreeRoomStep < length - SummaryEndMargin
           && p + g + FreeRoomStep < nextCovered)
        g += FreeRoomStep;
    if (g < FreeRoomNeeded)
        return std::nullopt;

    const int32_t in = playPosition;
    const int32_t out = frameOfSummaryIndex(int32_t(p + g), s.FrameRate);
    const TimelineArray& t = s.Timeline;
    const int32_t count = s.TimelineCount;
    int32_t slot = -1;
    if (count == 0 || t[0].StartFrame >= out)
        slot = 0;
    else if (t[size_t(count - 1)].EndFrame <= in)
        slot = count;
    else {
        for (int32_t j = count - 1; j >= 1; --j) {
            if (t[size_t(j - 1)].EndFrame <= in && t[size_t(j)].StartFrame >= out) {
                slot = j;
                break;
            }
        }
    }
    // no gap holds the line: only a timeline out of order could get here,
    // and putting the line anywhere would make it worse
    if (slot < 0)
        return std::nullopt;
    return PlannedLine{in, out, slot};
}

}  // namespace

std::u16string placeholderText(int32_t slot)
{
    std::u16string text(PlaceholderTextBefore);
    for (char c : std::to_string(int64_t(slot) + 1))
        text.push_back(char16_t(c));
    text += PlaceholderTextAfter;
    return text;
}

int32_t moveTimeLine(TimelineState& s, const WaveViewState& view, int32_t playPosition, int32_t mediaLength,
                     int32_t moveTimeIn, int32_t moveTimeOut)
{
    requireCountsWithinArray(s);
    const int32_t a = GetCurrLineNumb(s.Timeline, s.TimelineCount, s.WaveMarks, s.FrameRate, view, playPosition);
    if (a < 0)
        return -1;
    TimelineEntry& line = s.Timeline[size_t(a)];

    const int64_t low = a == 0 ? 0 : int64_t(s.Timeline[size_t(a - 1)].EndFrame) + 1;
    const bool isLast = a + 1 >= s.TimelineCount;
    const int64_t high = isLast ? int64_t(mediaLength) : int64_t(s.Timeline[size_t(a + 1)].StartFrame) - 1;
    const int64_t minimum = MinimumLineFrames;

    // The move against the given upper limits: shifted, stopped against the
    // neighbours keeping its length, or stretched and cut back to fit.
    auto moved = [&](int64_t shiftHigh, int64_t fitHigh) {
        int64_t in = int64_t(line.StartFrame) + moveTimeIn;
        int64_t out = int64_t(line.EndFrame) + moveTimeOut;
        if (int64_t(moveTimeIn) + moveTimeOut == 0) {
            if (out > fitHigh) {
                in -= out - fitHigh;
                out = fitHigh;
            }
            in = std::max(in, low);
            out = std::min(out, fitHigh);
            if (out - in < minimum) {
                const int64_t widen = (minimum - (out - in) + 1) / 2;
                in -= widen;
                out += widen;
            }
        }
        if (moveTimeIn == moveTimeOut) {
            if (moveTimeIn > 0) {
                if (out > shiftHigh) {
                    in -= out - shiftHigh;
                    out = shiftHigh;
                }
            } else if (in < low) {
                out += low - in;
                in = low;
            }
        }
        if (moveTimeIn != 0 && moveTimeOut == 0) {
            if (moveTimeIn > 0) {
                if (out - in < minimum)
                    in = out - minimum;
            } else if (in < low) {
                in = low;
            }
        }
        if (moveTimeIn == 0 && moveTimeOut != 0) {
            if (moveTimeOut > 0) {
                if (out > fitHigh) {
                    in -= out - fitHigh;
                    out = fitHigh;
                    in = std::max(in, low);
                }
            } else if (out - in < minimum) {
                out = in + minimum;
            }
        }
        return std::pair{in, out};
    };

    auto [in, out] = moved(high, high);
    // A last line can already run past the end of the video (an SRT made for
    // a longer cut, or a line inserted into the placeholder summary's extra
    // seconds), or the video can end less than a line's length after the line
    // before. Where the move against the media length would then overlap the
    // line before or leave the line too short, the media length still pulls
    // it back, but a shift stops against the line before it and a stretch
    // leaves it its minimum length. A result that is already sound stands,
    // so a move by nothing changes nothing it need not. Between two lines
    // these limits are what the gap holds anyway.
    if (isLast && (in < low || out - in < minimum))
        std::tie(in, out) = moved(std::max(high, low + (int64_t(line.EndFrame) - line.StartFrame)),
                                  std::max(high, low + minimum));

    unmarkLine(s.WaveMarks, line, s.FrameRate);
    line.StartFrame = clampToInt32(in);
    line.EndFrame = clampToInt32(out);
    markLine(s.WaveMarks, line, s.FrameRate);
    return a;
}

InsertResult procIns(TimelineState& s, int32_t currentLine, int32_t playPosition, EditColumns columns,
                     const std::function<void()>& save)
{
    requirePositiveFrameRate(s.FrameRate);
    requireCountsWithinArray(s);
    InsertResult result;
    result.CurrentLine = currentLine;

    std::optional<PlannedLine> planned;
    if (columns.Times) {
        planned = planInsertedLine(s, playPosition);
        if (!planned)
            return result;
    }
    return insertPlannedLine(s, currentLine, planned, columns, save);
}

InsertResult insertPlannedLine(TimelineState& s, int32_t currentLine, const std::optional<PlannedLine>& planned,
                               EditColumns columns, const std::function<void()>& save)
{
    requirePositiveFrameRate(s.FrameRate);
    requireCountsWithinArray(s);
    InsertResult result;
    result.CurrentLine = currentLine;
    const int32_t countAfter = s.TimelineCount + (planned ? 1 : 0);
    const int32_t textSlot = planned ? planned->slot : currentLine;
    // a slot past the timed lines (left by deleting the last line) is no current line
    const bool insertText = columns.Texts && textSlot >= 0 && textSlot < countAfter;

    int64_t needed = 0;
    if (planned)
        needed = int64_t(s.TimelineCount) + 1;
    if (insertText)
        needed = std::max({needed, int64_t(s.TextCount) + 1, int64_t(textSlot) + 1});
    // grow before anything changes, so that a failed save leaves the state as it was
    while (int64_t(s.Timeline.size()) < needed)
        ZoomSrtArray(s.Timeline, save);

    TimelineArray& t = s.Timeline;
    if (planned) {
        const int32_t k = planned->slot;
        for (int32_t j = s.TimelineCount - 1; j >= k; --j) {
            t[size_t(j) + 1].StartFrame = t[size_t(j)].StartFrame;
            t[size_t(j) + 1].EndFrame = t[size_t(j)].EndFrame;
            t[size_t(j) + 1].Source = t[size_t(j)].Source;
        }
        int32_t in = planned->in;
        int32_t out = planned->out;
        if (k > 0)
            in = std::max(in, t[size_t(k) - 1].EndFrame + 1);
        if (k < s.TimelineCount)
            out = std::min(out, t[size_t(k) + 1].StartFrame - 1);
        t[size_t(k)].StartFrame = in;
        t[size_t(k)].EndFrame = out;
        t[size_t(k)].Source = TimelineEntry::NewEvent;
        markLine(s.WaveMarks, t[size_t(k)], s.FrameRate);
        ++s.TimelineCount;
        result.CurrentLine = k;
        result.TimeInserted = true;
    }
    if (insertText) {
        for (int32_t j = s.TextCount - 1; j >= textSlot; --j)
            t[size_t(j) + 1].Text = std::move(t[size_t(j)].Text);
        t[size_t(textSlot)].Text = placeholderText(textSlot);
        ++s.TextCount;
        result.TextInserted = true;
    }
    return result;
}

void procDel(TimelineState& s, int32_t currentLine, EditColumns columns)
{
    requireCountsWithinArray(s);
    // Right after the last line was deleted the current line names the slot
    // past the end until the next refresh looks it up again: that is no
    // current line, for either column, or a held X would drop another
    // line's text and leave its time code.
    if (currentLine < 0 || currentLine >= s.TimelineCount)
        return;
    TimelineArray& t = s.Timeline;
    if (columns.Times) {
        unmarkLine(s.WaveMarks, t[size_t(currentLine)], s.FrameRate);
        for (int32_t j = currentLine; j + 1 < s.TimelineCount; ++j) {
            t[size_t(j)].StartFrame = t[size_t(j) + 1].StartFrame;
            t[size_t(j)].EndFrame = t[size_t(j) + 1].EndFrame;
            t[size_t(j)].Source = t[size_t(j) + 1].Source;
        }
        t[size_t(s.TimelineCount) - 1].StartFrame = FreeSlotFrame;
        t[size_t(s.TimelineCount) - 1].EndFrame = FreeSlotFrame;
        t[size_t(s.TimelineCount) - 1].Source = TimelineEntry::NewEvent;
        --s.TimelineCount;
    }
    if (columns.Texts && s.TextCount > 0) {
        for (int32_t j = currentLine + 1; j < s.TextCount; ++j)
            t[size_t(j) - 1].Text = std::move(t[size_t(j)].Text);
        t[size_t(s.TextCount) - 1].Text.clear();
        --s.TextCount;
    }
}

std::optional<TextEdit> beginTextEdit(const TimelineArray& timeline, int32_t timelineCount,
                                      const ByteArray& waveMarks, float frameRate, const WaveViewState& view,
                                      int32_t playPosition)
{
    const int32_t line = GetCurrLineNumb(timeline, timelineCount, waveMarks, frameRate, view, playPosition);
    if (line < 0)
        return std::nullopt;
    return TextEdit{line, timeline[size_t(line)].Text};
}

int32_t storeEditedText(TimelineArray& timeline, int32_t currentLine, const TextEdit& edit, std::u16string text)
{
    const int32_t slot = currentLine >= 0 ? currentLine : edit.Slot;
    if (slot < 0 || size_t(slot) >= timeline.size())
        return -1;
    timeline[size_t(slot)].Text = std::move(text);
    return slot;
}

}  // namespace vt
