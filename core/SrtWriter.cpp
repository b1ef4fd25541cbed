#include "core/SrtWriter.h"

#include "core/FileIO.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"
#include "core/TimelineBackup.h"
#include "core/TimelineRecovery.h"

#include <algorithm>

namespace vt {

namespace {

constexpr std::u16string_view LineEnd = u"\r\n";
constexpr size_t MaxRemainder = 4096;

void appendLine(std::u16string& out, std::u16string_view line)
{
    out += line;
    out += LineEnd;
}

std::u16string widen(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::u16string srtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate)
{
    std::u16string out;
    int32_t count = std::clamp<int32_t>(timelineCount, 0, static_cast<int32_t>(timeline.size()));
    for (int32_t i = 0; i < count; ++i) {
        const TimelineEntry& slot = timeline[static_cast<size_t>(i)];
        appendLine(out, widen(std::to_string(i + 1)));
        appendLine(out, widen(FrameToTime(slot.StartFrame, frameRate) + " --> " + FrameToTime(slot.EndFrame, frameRate)));
        std::u16string_view t = slot.Text;
        for (size_t mark; (mark = t.find(LineBreak)) != std::u16string_view::npos;) {
            appendLine(out, t.substr(0, mark));
            t = t.substr(mark + LineBreak.size(), MaxRemainder);
        }
        appendLine(out, t);
        appendLine(out, u"");
    }
    return out;
}

void proSaveSrt(const TimelineArray& timeline, int32_t timelineCount, float frameRate, const std::string& fileName,
                FileEncoding encoding, bool& newTimeline)
{
    std::string bytes = encodeText(srtText(timeline, timelineCount, frameRate), encoding);
    backUpBeforeFirstSave(fileName);
    writeFileAtomically(fileName, bytes);
    removeRecoveryFile(fileName);
    newTimeline = false;
}

}  // namespace vt
