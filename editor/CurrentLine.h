// The current line (the line nearest to the play position, or to the
// pointer while it is over the waveform), the jumps from line to line, and
// growing the timeline array.
#pragma once

#include "core/ProjectState.h"
#include "editor/EditorState.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace vt {

// Slots added to the timeline array each time an insertion finds it full.
inline constexpr int32_t TimelineGrowth = 256;

// Covered bytes counted outwards from the anchor (in steps of 2 indices,
// so 0.12 s of subtitle) before a candidate line is taken.
inline constexpr int32_t CoveredBytesToCount = 12;

// The slot of the current line at the play position, or -1. The anchor is
// the play position, or the pointer while view.MouseOverWave is set; only
// lines the waveform view shows take part (from view.WaveViewStart across
// view.WaveWidth columns). The chosen point belongs to the first line that
// has not ended before it, so a point on a line's last frame is that line.
// The slot scan can end on a free slot when the chosen point lies after
// every used line; that counts as no current line, so the result is then -1
// and no operation acts on a free slot. Throws std::invalid_argument for a
// frame rate that is not positive.
int32_t GetCurrLineNumb(const TimelineArray& timeline, int32_t timelineCount, const ByteArray& waveMarks,
                        float frameRate, const WaveViewState& view, int32_t playPosition);

// The frame the player is to step to for Page Down / R: the start of the
// first line that lies wholly after the play position; empty when there is
// none.
std::optional<int32_t> procBackLine(const TimelineArray& timeline, int32_t timelineCount, int32_t playPosition);

// The frame for Page Up / W: the start of the last line that has ended before
// the play position, or of line 0 when none has; empty for an empty timeline.
std::optional<int32_t> procFrontLine(const TimelineArray& timeline, int32_t timelineCount, int32_t playPosition);

// Saves the timeline through `save` first, then adds TimelineGrowth free
// slots. When the save throws, the array stays as it was and the exception
// passes on.
void ZoomSrtArray(TimelineArray& timeline, const std::function<void()>& save);

}  // namespace vt
