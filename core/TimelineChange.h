// The one way the project's timeline changes, from whichever screen: the
// change is measured against the timeline as the history last saw it, is
// recorded as exactly one step of the history (one Ctrl+Z takes it back),
// and the history's onChange tells those who follow the timeline (the
// autosave, the screens' "unsaved" marks).
#pragma once

#include "core/ProjectState.h"
#include "core/TimelineState.h"
#include "core/UndoHistory.h"

#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>

namespace vt {

// Runs change(state) and records what it changed as one step of history,
// also when change throws after changing something (the exception goes on).
// change may return the slot where a line went in or out
// (UndoHistory::record's near), or nothing. Returns whether anything
// changed. The state is taken to be the one the history last saw: the
// editor's session keeps it so.
template <typename Change>
bool commitTimelineChange(UndoHistory& history, TimelineState state, Change&& change)
{
    std::optional<int32_t> near;
    try {
        if constexpr (std::is_void_v<decltype(change(state))>)
            change(state);
        else
            near = change(state);
    } catch (...) {
        history.record(state, near);
        throw;
    }
    return history.record(state, near);
}

// The same over the project's timeline from a screen that does not keep
// the history in step: measured against the timeline as it is now, so that
// a change made behind the history's back (the film's sound arriving in the
// editor) starts it over rather than have a step measured across it.
template <typename Change>
bool commitTimelineChange(ProjectState& project, Change&& change)
{
    TimelineHistory.follow(timelineStateOf(project));
    return commitTimelineChange(TimelineHistory, timelineStateOf(project), std::forward<Change>(change));
}

// A timeline that replaces the project's whole (a load, a recovered copy):
// the history starts over from before it, and taking it in is one step.
template <typename Change>
bool commitNewTimeline(ProjectState& project, Change&& change)
{
    TimelineHistory.reset(timelineStateOf(project));
    return commitTimelineChange(project, std::forward<Change>(change));
}

}  // namespace vt
