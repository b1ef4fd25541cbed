// Saving the timeline as an SRT file.
#pragma once

#include "core/ProjectState.h"

#include <string>

namespace vt {

// The SRT text of slots 0 .. timelineCount - 1: per slot its number, the
// 29-character time line, its text split at every "^p" (each remainder
// after a "^p" cut to 4096 characters) and an empty line; CR LF after every
// line. No slots give an empty text.
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
