#include "filetools/Merge.h"

#include "core/FileIO.h"
#include "core/SrtText.h"
#include "core/TextCodec.h"

#include <algorithm>

namespace vt {

namespace {

// number, time line and the line ends around a block's texts, roughly
constexpr size_t BlockHeadAndBreaks = 48;

}  // namespace

std::u16string bilingualSrtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                 const std::vector<std::u16string>& secondTexts, bool secondOnTop)
{
    std::u16string out;
    int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(std::min<size_t>(timeline.size(), INT32_MAX)));
    size_t expected = 0;
    for (int32_t i = 0; i < count; ++i)
        expected += timeline[size_t(i)].Text.size() + (size_t(i) < secondTexts.size() ? secondTexts[size_t(i)].size() : 0) +
                    BlockHeadAndBreaks;
    out.reserve(expected);
    for (int32_t i = 0; i < count; ++i) {
        const TimelineEntry& line = timeline[size_t(i)];
        // past the second file's end, one empty line stands for its text
        std::u16string_view second = size_t(i) < secondTexts.size() ? std::u16string_view(secondTexts[size_t(i)])
                                                                      : std::u16string_view();
        appendBlockHead(out, i + 1, line, frameRate);
        if (secondOnTop)
            appendTextLines(out, second);
        appendTextLines(out, line.Text);
        if (!secondOnTop)
            appendTextLines(out, second);
        out += u"\r\n";
    }
    return out;
}

bool saveBilingualSrt(const ToolTimeline& timeline, const std::string& secondFileName,
                      const std::string& outputFileName, bool secondOnTop, const SaveDialogue& dialogue)
{
    SubtitleBlocks second = readSubtitleBlocks(secondFileName);
    refuseTimelineAsOutput(outputFileName, timeline.FileName);
    // A timeline of pure ASCII decided nothing; the second file's texts then
    // say what the output is to be read in.
    FileEncoding encoding = timelineEncoding(timeline.Encoding, &second.encoding);
    std::u16string text =
        bilingualSrtText(timeline.Timeline, timeline.TimelineCount, timeline.FrameRate, second.texts, secondOnTop);
    if (!readyToOverwrite(outputFileName, dialogue))
        return false;
    writeFileAtomically(outputFileName, encodeText(text, encoding));
    return true;
}

}  // namespace vt
