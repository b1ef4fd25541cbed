#include "core/DeliveryChecks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace vt {

namespace {

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\u3000' || c == u'\u00A0' || c == u'\r' || c == u'\n';
}

bool isPunctuation(char32_t c)
{
    return (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E) || c == 0xB7 || (c >= 0x2010 && c <= 0x205E) ||  // dashes, quotes, ellipsis
           (c >= 0x3001 && c <= 0x303F) ||                                           // 、。「」《》【】…
           (c >= 0xFF01 && c <= 0xFF0F) || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFF65) || (c >= 0xFE30 && c <= 0xFE4F);  // full-width and vertical forms
}

bool isHalfWidth(char32_t c)
{
    return c < 0x1100 || (c >= 0xFF61 && c <= 0xFFDC) || (c >= 0xFFE8 && c <= 0xFFEE);
}

// Calls each(halves) for every character of one line of text, and
// lineBreak() at every "^p"; override blocks count nothing.
template <class Each, class Break>
void walk(std::u16string_view text, Each each, Break lineBreak)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'^' && i + 1 < text.size() && text[i + 1] == u'p') {
            lineBreak();
            ++i;
            continue;
        }
        if (c == u'{') {
            const size_t close = text.find(u'}', i);
            if (close != std::u16string_view::npos) {
                i = close;
                continue;
            }
        }
        if (isSpace(c))
            continue;
        char32_t code = c;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            ++i;
        }
        each(isPunctuation(code) || isHalfWidth(code) ? 1 : 2);
    }
}

// Characters a second x 10, rounded half up, for `halves` over `frames`.
int32_t speedTenthsOf(int32_t halves, int32_t frames, float frameRate)
{
    if (halves <= 0)
        return 0;
    if (frames <= 0)
        return INT32_MAX;
    const double tenths = double(halves) * 5.0 * double(frameRate) / double(frames);
    return int32_t(std::min(std::floor(tenths + 0.5 + 1e-9), double(INT32_MAX)));
}

int32_t maxFramesOf(const DeliveryRules& rules, float frameRate)
{
    return int32_t(std::floor(double(rules.MaxSecondsTenths) * double(frameRate) / 10.0 + 1e-9));
}

// The fewest frames on which the text reads within the speed limit.
int32_t framesForSpeed(int32_t halves, float frameRate, const DeliveryRules& rules)
{
    if (halves <= 0 || rules.MaxSpeedTenths <= 0)
        return 0;
    int32_t frames = std::max(1, int32_t(std::ceil(double(halves) * 5.0 * double(frameRate) /
                                                   (double(rules.MaxSpeedTenths) + 0.5))));
    while (frames > 1 && speedTenthsOf(halves, frames - 1, frameRate) <= rules.MaxSpeedTenths)
        --frames;
    while (speedTenthsOf(halves, frames, frameRate) > rules.MaxSpeedTenths)
        ++frames;
    return frames;
}

std::string framesText(int32_t frames)
{
    return std::to_string(frames) + " 帧";
}

}  // namespace

int32_t readingHalves(std::u16string_view text)
{
    int32_t halves = 0;
    walk(text, [&](int32_t n) { halves += n; }, [] {});
    return halves;
}

std::vector<int32_t> lineHalves(std::u16string_view text)
{
    std::vector<int32_t> lines;
    if (text.empty())
        return lines;
    lines.push_back(0);
    walk(text, [&](int32_t n) { lines.back() += n; }, [&] { lines.push_back(0); });
    return lines;
}

LineCheck checkLine(const TimelineArray& timeline, int32_t timelineCount, int32_t slot, float frameRate,
                    const DeliveryRules& rules)
{
    LineCheck check;
    check.slot = slot;
    const TimelineEntry& line = timeline[size_t(slot)];
    check.halves = readingHalves(line.Text);
    const std::vector<int32_t> lines = lineHalves(line.Text);
    check.lines = int32_t(lines.size());
    for (int32_t h : lines)
        check.longestLineHalves = std::max(check.longestLineHalves, h);
    check.frames = int32_t(std::clamp<int64_t>(int64_t(line.EndFrame) - line.StartFrame, INT32_MIN, INT32_MAX));
    check.speedTenths = speedTenthsOf(check.halves, check.frames, frameRate);
    check.gapFrames = INT32_MAX;
    if (slot + 1 < timelineCount)
        check.gapFrames = int32_t(std::clamp<int64_t>(int64_t(timeline[size_t(slot) + 1].StartFrame) - line.EndFrame,
                                                      INT32_MIN, INT32_MAX));

    uint32_t p = 0;
    if (check.speedTenths > rules.MaxSpeedTenths)
        p |= TooFast;
    if (check.longestLineHalves > 2 * rules.MaxLineCharacters)
        p |= LineTooLong;
    if (check.lines > rules.MaxLines)
        p |= TooManyLines;
    if (check.frames < rules.MinFrames)
        p |= TooShort;
    if (double(check.frames) * 10.0 > double(rules.MaxSecondsTenths) * double(frameRate) + 1e-6)
        p |= TooLong;
    if (check.gapFrames != INT32_MAX) {
        if (check.gapFrames < rules.MinGapFrames)
            p |= TooClose;
        else if (check.gapFrames > rules.MinGapFrames && check.gapFrames <= rules.CloseGapFrames)
            p |= SmallGap;
    }
    check.problems = p;
    return check;
}

std::vector<LineCheck> checkTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                     const DeliveryRules& rules)
{
    std::vector<LineCheck> broken;
    const int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(timeline.size()));
    for (int32_t i = 0; i < count; ++i)
        if (LineCheck c = checkLine(timeline, count, i, frameRate, rules); c.problems != 0)
            broken.push_back(c);
    return broken;
}

std::string problemText(uint32_t problems)
{
    static const std::pair<DeliveryProblem, const char*> names[] = {
        {TooClose, "离下一行太近"}, {TooFast, "太快"},       {TooShort, "太短"},     {TooLong, "太长"},
        {SmallGap, "空隙太小"},     {LineTooLong, "一行太长"}, {TooManyLines, "行数太多"},
    };
    std::string text;
    for (const auto& [bit, name] : names)
        if (problems & bit)
            text += std::string(text.empty() ? "" : ProblemSeparator) + name;
    return text;
}

std::string speedText(int32_t speedTenths)
{
    if (speedTenths == INT32_MAX)
        return "—字/秒";
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d字/秒", speedTenths / 10, speedTenths % 10);
    return text;
}

std::vector<DeliveryFix> fixTimeline(TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                     int32_t mediaLength, const DeliveryRules& rules)
{
    std::vector<DeliveryFix> fixes;
    const int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(timeline.size()));
    const int32_t maxFrames = maxFramesOf(rules, frameRate);
    const int32_t gap = rules.MinGapFrames;
    for (int32_t i = 0; i < count; ++i) {
        const LineCheck check = checkLine(timeline, count, i, frameRate, rules);
        if (!(check.problems & (TooClose | SmallGap | TooShort | TooFast)))
            continue;
        TimelineEntry& line = timeline[size_t(i)];
        const int64_t lowStart = i > 0 ? int64_t(timeline[size_t(i) - 1].EndFrame) + gap : 0;
        const bool hasNext = i + 1 < count;
        const int64_t nextStart = hasNext ? timeline[size_t(i) + 1].StartFrame : 0;
        const int64_t highEnd = hasNext ? nextStart - gap : (mediaLength > 0 ? int64_t(mediaLength) : INT32_MAX);
        int64_t start = line.StartFrame, end = line.EndFrame;
        std::vector<std::string> why;

        // too short or too fast for its text: longer, first at the end, then at the start
        if (check.problems & (TooShort | TooFast)) {
            const int64_t needed =
                std::min<int64_t>(std::max(rules.MinFrames, framesForSpeed(check.halves, frameRate, rules)), maxFrames);
            if (end - start < needed) {
                const int64_t wasStart = start, wasEnd = end;
                end = std::max(end, std::min(highEnd, start + needed));
                // the room ends before the next line, even where the line runs into it now
                const int64_t roomEnd = std::min(end, highEnd);
                if (roomEnd - start < needed)
                    start = std::min(start, std::max(lowStart, roomEnd - needed));
                // a gap left before the line that is itself to be closed: closed
                if (i > 0 && start < wasStart) {
                    const int64_t before = start - timeline[size_t(i) - 1].EndFrame;
                    if (before > gap && before <= rules.CloseGapFrames && end - lowStart <= maxFrames)
                        start = lowStart;
                }
                if (end - start > wasEnd - wasStart)
                    why.push_back(check.problems & TooShort ? "太短" : "太快");
                else
                    start = wasStart, end = wasEnd;
            }
        }
        // running into the next line: end the gap before it, where the line stays long enough
        if ((check.problems & TooClose) && end > highEnd && highEnd - start >= std::max(rules.MinFrames, 1)) {
            end = highEnd;
            why.push_back("离下一行太近");
        }
        // a small gap to the next line: closed to the minimum by ending the line later
        if (hasNext) {
            const int64_t after = nextStart - end;
            if (after > gap && after <= rules.CloseGapFrames && highEnd - start <= maxFrames) {
                end = highEnd;
                why.push_back("空隙太小");
            }
        }
        if (start == line.StartFrame && end == line.EndFrame)
            continue;
        DeliveryFix fix{i, line.StartFrame, line.EndFrame, int32_t(start), int32_t(end), {}};
        line.StartFrame = int32_t(start);
        line.EndFrame = int32_t(end);
        std::string reason;
        for (const std::string& w : why)
            reason += (reason.empty() ? "" : "、") + w;
        reason += "：";
        if (fix.newStart != fix.oldStart)
            reason += std::string("开头") + (fix.newStart < fix.oldStart ? "提前 " : "推后 ") +
                      framesText(std::abs(fix.newStart - fix.oldStart));
        if (fix.newEnd != fix.oldEnd)
            reason += std::string(fix.newStart != fix.oldStart ? "，" : "") + "结尾" +
                      (fix.newEnd < fix.oldEnd ? "提前 " : "推后 ") + framesText(std::abs(fix.newEnd - fix.oldEnd));
        fix.reason = reason;
        fixes.push_back(std::move(fix));
    }
    return fixes;
}

}  // namespace vt
