// Reading SRT timelines and subtitle text files, from the lines of a file
// decoded by readTextFile / decodeTextFile (core/TextCodec.h):
//
//     TextFile srt = readTextFile(Project.TimelineFileName);
//     auto times = readSrtTimeCodes(srt.lines);   // milliseconds
//     auto texts = readSrtTexts(srt.lines);
//
// Results are whole vectors; the caller sizes the timeline from them.
#pragma once

#include "core/Errors.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

using TextLines = std::vector<std::u16string>;

struct SrtTimeCode {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
};

// A time line whose times cannot be read. The message names the line.
class SrtTimeLineError : public UserError {
public:
    SrtTimeLineError(int32_t lineNumber, std::u16string_view line);
    int32_t lineNumber() const { return lineNumber_; }

private:
    int32_t lineNumber_;
};

// The message's two fixed parts: prefix, 1-based line number, middle, the line.
inline constexpr char MsgTimeLinePrefix[] = "时间轴文件第 ";
inline constexpr char MsgTimeLineMiddle[] = " 行的时间码无法识别：";

// A line holding " --> " anywhere is a time line; so is one whose arrow has
// no spaces around it ("00:00:04,000-->00:00:06,000") when the times on its
// two sides are written out in full, with ',' or '.' before the milliseconds.
bool isTimeLine(std::u16string_view line);

// A line of nothing but spaces, tabs, ideographic spaces (or nothing).
bool isBlankLine(std::u16string_view line);

// Sizing counts: the SRT's time lines; the text file's lines (one subtitle
// per line) or its blank lines (paragraphs).
int32_t countTimeLines(const TextLines& lines);
int32_t countTxtSubtitles(const TextLines& lines, bool oneLinePerSubtitle);

// One time code per time line, in file order, in milliseconds. Blanks around
// each time and a one-digit hour are accepted; a time that still cannot be
// read throws SrtTimeLineError.
std::vector<SrtTimeCode> readSrtTimeCodes(const TextLines& lines);

// The SRT read as blocks: an optional number line, the time line, text lines.
// There is one text per time line, so texts stay with their own time codes
// whatever the blank lines do: a block's text is its non-blank lines joined
// with "^p" (empty if it has none); text before the first block goes to the
// first block, text between blocks to the block before it. A file without
// time lines gives one text per paragraph; blank lines alone give none.
std::vector<std::u16string> readSrtTexts(const TextLines& lines);

// The texts of a subtitle text file: every line is one text ("一行一幕"), or
// runs of non-blank lines joined with nothing, separated by blank lines
// ("空行分幕"); there, blank lines at the very start give one empty text
// before the first paragraph.
std::vector<std::u16string> readTxtTexts(const TextLines& lines, bool oneLinePerSubtitle);

}  // namespace vt
