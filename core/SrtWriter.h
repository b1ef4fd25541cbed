// Saving the timeline as an SRT file.
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

// Writes srtText in the given encoding over fileName through a temporary
// file, so a failure leaves the old file as it was; then clears newTimeline.
// The first save over an existing file in a run copies it to the backup
// folder first (core/TimelineBackup.h); a save removes the timeline's
// autosaved copy (core/TimelineRecovery.h).
// On failure throws FileError (core/FileIO.h) with the system's text
// and leaves newTimeline alone.
void proSaveSrt(const TimelineArray& timeline, int32_t timelineCount, float frameRate, const std::string& fileName,
                FileEncoding encoding, bool& newTimeline);

}  // namespace vt
