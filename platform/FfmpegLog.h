// FFmpeg's libraries print lines of their own on standard error whenever a
// file puzzles them ("moov atom not found"). The program says what went
// wrong in its own words, so those lines are heard only by someone looking
// for them: with VELTRANA_DEBUG set (to anything but nothing).
//
// No Qt here.
#pragma once

namespace vt {

// The environment variable that lets FFmpeg's own lines through.
inline constexpr const char* DebugVariable = "VELTRANA_DEBUG";

// Silences FFmpeg's log for the whole process unless DebugVariable is set.
// Called once, first thing in main, before any file is opened.
void quietFfmpegUnlessDebugging();

}  // namespace vt
