// A timeline as SRT text, the one layout every writer of SRT uses: the
// timeline's save, its autosaved copy, the merge and the exports.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// The SRT text of slots 0 .. timelineCount - 1: per slot its number, the
// 29-character time line, its text split at every "^p" and an empty line;
// CR LF after every line. No slots give an empty text. Nothing is cut: a
// save writes every character of every text.
// The pieces of an SRT block, CR LF after every line, shared by every
// writer of SRT text (the timeline, the merge, the exports): the number line
// and the 29-character time line at frameRate; a text's lines, split at
// every "^p" (an empty text is one empty line).
void appendBlockHead(std::u16string& out, int32_t number, const TimelineEntry& line, float frameRate);
void appendTextLines(std::u16string& out, std::u16string_view text);

std::u16string srtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate);

}  // namespace vt
