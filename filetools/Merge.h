// The bilingual merge: the timeline's numbers, times and texts with the
// second file's texts, entry by entry in order.
#pragma once

#include "core/TimelineBackup.h"
#include "filetools/SubtitleBlocks.h"

#include <string>
#include <vector>

namespace vt {

// For each line i < timelineCount: its number, its time line at frameRate,
// then its own text split at "^p" and secondTexts[i] split at "^p" —
// the second text first when secondOnTop — then an empty line; CR LF after
// every line. A line past the end of secondTexts gets one empty line as
// its second text; second texts past timelineCount are left out. No lines
// give an empty text.
std::u16string bilingualSrtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                                 const std::vector<std::u16string>& secondTexts, bool secondOnTop);

// "另存为": reads secondFileName (readSubtitleBlocks, with its refusals),
// refuses an output that is the timeline file, and writes bilingualSrtText
// over outputFileName atomically, in the timeline's encoding (the second
// file's when the timeline's is undecided, i.e. pure ASCII); an empty
// timeline gives an empty file, without byte-order mark. An output the user
// had is replaced only as readyToOverwrite (core/TimelineBackup.h) allows;
// false when it was left alone. Throws UserError or FileError; after any
// failure no file has changed.
bool saveBilingualSrt(const ToolTimeline& timeline, const std::string& secondFileName,
                      const std::string& outputFileName, bool secondOnTop, const SaveDialogue& dialogue = {});

}  // namespace vt
