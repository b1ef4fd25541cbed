// Coverage marks: which summary indices (1/200 s each) a timed line covers,
// and the tidy pass that makes a freshly read timeline well-formed. The
// loader builds the marks with these after reading a timeline; the editor
// keeps them in step line by line.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>

namespace vt {

// Summary indices per second.
inline constexpr int32_t SummaryIndicesPerSecond = 200;

// The shortest line the tidy pass and the editing operations leave, in frames.
inline constexpr int32_t MinimumLineFrames = 8;

// The conversions below divide by the frame rate as given; an operation
// checks it once with requirePositiveFrameRate before it converts.

// truncate(frame x 200 / frameRate), in double precision, not clipped.
int32_t summaryIndexOfFrame(int32_t frame, float frameRate);

// truncate(index / 200 x frameRate), also for negative indices (an index
// difference converts to a frame difference the same way). Computed so that
// an index that is a whole number of frames gives exactly that frame.
int32_t frameOfSummaryIndex(int32_t index, float frameRate);

// Sets (or clears) the marks from the index of startFrame to the index of
// endFrame, both included, clipped to the array; a span wholly outside the
// array writes nothing.
void markSpan(ByteArray& marks, int32_t startFrame, int32_t endFrame, float frameRate);
void unmarkSpan(ByteArray& marks, int32_t startFrame, int32_t endFrame, float frameRate);

// Whether a timed line covers the summary index; indices outside the marks
// count as uncovered, so the searches that step past either end read nothing
// out of range.
inline bool coveredAt(const ByteArray& marks, int64_t index)
{
    return index >= 0 && index < int64_t(marks.size()) && marks[size_t(index)] != 0;
}

inline void markLine(ByteArray& marks, const TimelineEntry& line, float frameRate)
{
    markSpan(marks, line.StartFrame, line.EndFrame, frameRate);
}
inline void unmarkLine(ByteArray& marks, const TimelineEntry& line, float frameRate)
{
    unmarkSpan(marks, line.StartFrame, line.EndFrame, frameRate);
}

// All marks to 0, then every used slot (below both timelineCount and the
// array's length) marked.
void rebuildWaveMarks(ByteArray& marks, const TimelineArray& timeline, int32_t timelineCount,
                      float frameRate);

// In slot order: every line ends at least MinimumLineFrames after its start,
// and each starts after the one before has ended. A start that lies too
// early is moved later; an end is never moved earlier. Slot 0 is left alone
// when it is a free slot (an empty timeline).
void tidyTimeline(TimelineArray& timeline, int32_t timelineCount);

}  // namespace vt
