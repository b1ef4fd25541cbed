// What this run last read from or wrote to each timeline file, so that a save
// can tell whether another program has written the file since: its version
// is then not replaced without a word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// The file at path held (or now holds) bytes as this program read or wrote them.
void rememberContents(const std::string& path, std::string_view bytes);

// True when the file is there and holds other bytes than those remembered.
// False when nothing is remembered for it, when it is gone (a save then
// loses nothing) or cannot be read (the save will say why).
bool changedSinceRemembered(const std::string& path);

// A fingerprint of the timeline (timelineFingerprint, core/TimelineWriter.h) when
// it was loaded from or saved to path: a window shows whether the timeline
// in memory still is that one.
void rememberSavedTimeline(const std::string& path, uint64_t fingerprint);

// True when fingerprint is the one last remembered for path; false when none is.
bool matchesSavedTimeline(const std::string& path, uint64_t fingerprint);

}  // namespace vt
