// The spare file's exports: re-timed with the timeline, and its texts alone.
#pragma once

#include "core/TimelineBackup.h"
#include "filetools/SubtitleBlocks.h"

#include <string>
#include <vector>

namespace vt {

// For each line i < timelineCount: its number, its time line at frameRate,
// spareTexts[i] split at "^p" (one empty line for an empty text or past
// the spare file's end), an empty line; CR LF after every line. Spare texts
// past timelineCount are left out.
std::u16string retimedSrtText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                              const std::vector<std::u16string>& spareTexts);

// Each text's lines (split at "^p") followed by one empty line, CR LF after
// every line; an empty text gives two empty lines. No texts, no text.
std::u16string plainSubtitleText(const std::vector<std::u16string>& spareTexts);

// "保存" of the re-timed SRT: reads spareFileName (readSubtitleBlocks, with
// its refusals), refuses an output that is the timeline file, and writes
// retimedSrtText over outputFileName atomically in the spare file's own
// encoding (byte-order mark only if it had one). An output the user had is
// copied to the backups first, or, when it cannot be, replaced only if the
// dialogue's confirmReplace says so (readyToOverwrite, core/TimelineBackup.h);
// false when it was left alone. Throws UserError or FileError; after any
// failure no file has changed.
bool saveRetimedSrt(const ToolTimeline& timeline, const std::string& spareFileName, const std::string& outputFileName,
                    const SaveDialogue& dialogue = {});

// "保存" of the plain text: the same reading and refusals, plainSubtitleText
// written in the spare file's encoding; a blank spare file gives an empty
// output file. The output is filled in from the spare file's name, so it may
// well be the user's own script: it is never replaced without a copy or a
// question.
bool saveSpareText(const std::string& spareFileName, const std::string& outputFileName,
                   const std::string& timelineFileName, const SaveDialogue& dialogue = {});

}  // namespace vt
