// What the merge and the exports have in common: the second (or spare)
// subtitle file read as blocks, the timeline they take their times from,
// and the names the screen offers for their outputs.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Refusals of the second or spare file; nothing is written after any of
// them. The two "…：" texts are followed by the file's name.
inline constexpr std::string_view MsgSecondFileMissing = "字幕文件不存在，请检查。";
inline constexpr std::string_view MsgSecondFileUndecodable = "字幕文件的编码无法识别：";
inline constexpr std::string_view MsgSecondFileWithoutTimeCodes = "字幕文件里找不到时间码：";
// An output named like the timeline file would be saved over when the
// screen closes: the merge or export would be lost without a word.
inline constexpr std::string_view MsgOutputIsTimeline = "不能保存到当前的时间轴文件上，请另选一个文件名。";

// The endings that replace the last three characters of the chosen file's
// name: a.srt gives a.双语.srt, a.导出.srt and a.txt.
inline constexpr std::string_view BilingualEnding = "双语.srt";
inline constexpr std::string_view RetimedEnding = "导出.srt";
inline constexpr std::string_view TextExportEnding = "txt";

// path less its last three characters (characters, not bytes: a name
// ending in Chinese loses whole characters) followed by ending.
std::string toolOutputName(std::string_view path, std::string_view ending);

// A subtitle file read as blocks: one text per time line, its lines joined
// with "^p", an entry without text one empty text (readSrtTexts).
struct SubtitleBlocks {
    std::vector<std::u16string> texts;
    FileEncoding encoding;  // as read, byte-order mark included
};

// Reads the second or spare file. Throws UserError: MsgSecondFileMissing
// when no file is at path; MsgSecondFileUndecodable + name when its bytes
// are no text; an ASS/SSA script or a WebVTT file gives its events' texts
// as a reader sees them (core/SubtitleDocument.h), and a broken one throws
// its reader's error naming the line; MsgSecondFileWithoutTimeCodes + name
// when it is not blank yet has no time line (a text file). An empty or
// blank file gives no texts. FileError when it cannot be read.
SubtitleBlocks readSubtitleBlocks(const std::string& path);

// The same for the file's bytes, path naming it in messages.
SubtitleBlocks subtitleBlocksOf(std::string_view bytes, const std::string& path);

// Throws UserError(MsgOutputIsTimeline) when output names the timeline
// file (the same file, however the path is written).
void refuseTimelineAsOutput(const std::string& output, const std::string& timelineFileName);

// What the merge and the re-timed export take from the project.
struct ToolTimeline {
    const TimelineArray& Timeline;
    int32_t TimelineCount = 0;
    float FrameRate = 0;
    FileEncoding Encoding;     // the timeline file's, which the merge writes in
    std::string FileName;      // the timeline file, which no output may replace
};

inline ToolTimeline toolTimelineOf(const ProjectState& state)
{
    return {state.Timeline, state.TimelineCount, state.FrameRate, state.TimelineEncoding, state.TimelineFileName};
}

}  // namespace vt
