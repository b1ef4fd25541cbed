// The copy of a timeline with unsaved changes that the program keeps while
// the user edits, so that a crash, a killed program or a lost session costs
// at most the last half minute of work. It is written beside the backups in
// the user's state folder, named after the timeline's full path, and removed
// by every save; the next opening of the timeline offers it back
// (opening/Recovery.h).
#pragma once

#include "core/ProjectState.h"

#include <string>

namespace vt {

// stateFolder()/recovery; empty when there is no state folder.
std::string recoveryFolder();

// The recovery file of a timeline: <its stem>.<hash of its full path>.srt in
// recoveryFolder() (film.srt -> film.1a2b3c4d.srt); empty when there is no
// state folder.
std::string recoveryFileName(const std::string& timelinePath);

// How long after a change the timeline is written at the latest.
inline constexpr int AutosaveDelaySeconds = 30;

// AutosaveDelaySeconds, or the whole number of seconds (at least 1) in the
// environment variable VELTRANA_AUTOSAVE_SECONDS, which the tests use to
// wait less.
int autosaveDelaySeconds();

// Writes the timeline as its save would (srtText in the file's encoding) to
// its recovery file, atomically, when that differs from the timeline file
// on disk; when they are the same, removes a recovery file left over.
// Returns whether it wrote. Throws FileError when it cannot write.
bool autosaveTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                      const std::string& fileName, FileEncoding encoding);

// After a save: the timeline file holds everything, the copy goes.
void removeRecoveryFile(const std::string& timelinePath);

}  // namespace vt
