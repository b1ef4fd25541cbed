// Subtitles that respect the film's cuts: when snapping is on, a line that
// is inserted, moved, stretched or set by a click starts on the first frame
// of a shot that begins near its in-point, ends two frames before a cut
// near its out-point, and closes a small gap to the next line to two
// frames; and the play position jumps from cut to cut.
#pragma once

#include "core/TimelineState.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vt {

// A cut is the first frame of the new shot; the list is in order.
using CutList = std::vector<int32_t>;

// An in-point this close to a cut (either side) goes onto the cut.
inline constexpr int32_t CutInReach = 7;
// An out-point from this many frames before a cut until less than this
// many past it ends CutOutClear frames before the cut.
inline constexpr int32_t CutOutReach = 12;
inline constexpr int32_t CutOutClear = 2;
// A gap to the next line of at most this many frames becomes GapClosedTo.
inline constexpr int32_t SmallGap = 12;
inline constexpr int32_t GapClosedTo = 2;

// Applies the three rules to the line, in-point first; a rule that would
// run the line into a neighbour or leave it shorter than MinimumLineFrames
// is not applied. Whether anything moved.
bool snapLineToCuts(TimelineState& state, int32_t line, const CutList& cuts);

// The cut before / after the play position; empty when there is none.
std::optional<int32_t> previousCut(const CutList& cuts, int32_t playPosition);
std::optional<int32_t> nextCut(const CutList& cuts, int32_t playPosition);

}  // namespace vt
