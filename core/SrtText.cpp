#include "core/SrtText.h"

#include "core/TimeStrings.h"

#include <algorithm>

namespace vt {

namespace {

constexpr std::u16string_view LineEnd = u"\r\n";

}  // namespace

void appendBlockHead(std::u16string& out, int32_t number, const TimelineEntry& line, float frameRate)
{
    auto appendAscii = [&out](std::string_view ascii) { out.append(ascii.begin(), ascii.end()); };
    appendAscii(std::to_string(number));
    out += LineEnd;
    appendAscii(FrameToTime(line.StartFrame, frameRate));
    appendAscii(" --> ");
    appendAscii(FrameToTime(line.EndFrame, frameRate));
    out += LineEnd;
}

void appendTextLines(std::u16string& out, std::u16string_view text)
{
    for (size_t mark; (mark = text.find(LineBreak)) != std::u16string_view::npos;) {
        out += text.substr(0, mark);
        out += LineEnd;
        text.remove_prefix(mark + LineBreak.size());
    }
    out += text;
    out += LineEnd;
}

std::u16string srtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate)
{
    std::u16string out;
    int32_t count = std::clamp<int32_t>(timelineCount, 0, static_cast<int32_t>(timeline.size()));
    for (int32_t i = 0; i < count; ++i) {
        const TimelineEntry& slot = timeline[static_cast<size_t>(i)];
        appendBlockHead(out, i + 1, slot, frameRate);
        appendTextLines(out, slot.Text);
        out += LineEnd;
    }
    return out;
}

}  // namespace vt
