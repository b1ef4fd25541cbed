// The pieces of the project that a change to the timeline touches, as the
// edits, the file tools' shift and the undo history see them.
#pragma once

#include "core/ProjectState.h"

#include <cstdint>

namespace vt {

// The pieces of the project an edit changes. The window builds it from the
// project with timelineStateOf; tests build it over a state of their own.
// The operations refuse counts outside the array (std::invalid_argument)
// before changing anything.
struct TimelineState {
    TimelineArray& Timeline;
    int32_t& TimelineCount;
    int32_t& TextCount;
    ByteArray& WaveMarks;   // as long as WaveSummary
    float FrameRate;
};

inline TimelineState timelineStateOf(ProjectState& project)
{
    return TimelineState{project.Timeline, project.TimelineCount, project.TextCount, project.WaveMarks,
                         project.FrameRate};
}

}  // namespace vt
