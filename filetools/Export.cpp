#include "filetools/Export.h"

#include "core/FileIO.h"
#include "core/SrtText.h"
#include "core/TextCodec.h"

#include <algorithm>

namespace vt {

std::u16string retimedSrtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                              const std::vector<std::u16string>& spareTexts)
{
    std::u16string out;
    int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(std::min<size_t>(timeline.size(), INT32_MAX)));
    for (int32_t i = 0; i < count; ++i) {
        appendBlockHead(out, i + 1, timeline[size_t(i)], frameRate);
        appendTextLines(out, size_t(i) < spareTexts.size() ? std::u16string_view(spareTexts[size_t(i)])
                                                           : std::u16string_view());
        out += u"\r\n";
    }
    return out;
}

std::u16string plainSubtitleText(const std::vector<std::u16string>& spareTexts)
{
    std::u16string out;
    for (const std::u16string& text : spareTexts) {
        appendTextLines(out, text);
        out += u"\r\n";
    }
    return out;
}

bool saveRetimedSrt(const ToolTimeline& timeline, const std::string& spareFileName, const std::string& outputFileName,
                    const SaveDialogue& dialogue)
{
    SubtitleBlocks spare = readSubtitleBlocks(spareFileName);
    refuseTimelineAsOutput(outputFileName, timeline.FileName);
    std::u16string text = retimedSrtText(timeline.Timeline, timeline.TimelineCount, timeline.FrameRate, spare.texts);
    if (!readyToOverwrite(outputFileName, dialogue))
        return false;
    writeFileAtomically(outputFileName, encodeText(text, spare.encoding));
    return true;
}

bool saveSpareText(const std::string& spareFileName, const std::string& outputFileName,
                   const std::string& timelineFileName, const SaveDialogue& dialogue)
{
    SubtitleBlocks spare = readSubtitleBlocks(spareFileName);
    refuseTimelineAsOutput(outputFileName, timelineFileName);
    if (!readyToOverwrite(outputFileName, dialogue))
        return false;
    writeFileAtomically(outputFileName, encodeText(plainSubtitleText(spare.texts), spare.encoding));
    return true;
}

}  // namespace vt
