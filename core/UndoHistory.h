// Undo and redo of the changes to the timeline. Every change (a move, an
// insertion, a deletion, a text edit, a shift on the file-tools screen) is
// one step. A step keeps only what changed: for the time codes and for the
// texts, the stretch of slots that differs between before and after (an
// insertion or a deletion in the middle is one slot, not every slot after
// it), the WaveMarks bytes that changed (as runs), the two counts and the
// array's size. The history holds one copy of the timeline as it was last
// recorded, against which the next change is measured.
#pragma once

#include "core/TimelineState.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vt {

// Every step of a run is kept, whatever their number: a user who undoes
// expects to get back to where the session began. Only when the steps hold
// more than this (hundreds of thousands of ordinary edits, or hundreds of
// frame-rate conversions of a long film) do the oldest go, so memory stays
// bounded.
inline constexpr size_t UndoBudgetBytes = size_t(256) << 20;

// A run of equal WaveMarks bytes.
struct MarkRun {
    uint32_t length = 0;
    uint8_t value = 0;
};

// One column's change: from slot `at`, the values `before` were replaced by
// `after`; the column ended at slot `extentBefore`, now at `extentAfter`
// (past its last used value: free slots for the time codes, empty texts for
// the texts).
template <typename Value>
struct ColumnChange {
    int32_t at = 0;
    std::vector<Value> before;
    std::vector<Value> after;
    int32_t extentBefore = 0;
    int32_t extentAfter = 0;
};

// A slot's time code as the history keeps it: its frames and the file event
// it was read from, which moves with it.
struct TimeCode {
    int32_t start = 0;
    int32_t end = 0;
    int32_t source = TimelineEntry::NewEvent;
    friend bool operator==(const TimeCode&, const TimeCode&) = default;
};

struct UndoStep {
    ColumnChange<TimeCode> times;
    ColumnChange<std::u16string> texts;
    int64_t marksAt = 0;
    std::vector<MarkRun> marksBefore;
    std::vector<MarkRun> marksAfter;
    int64_t marksLengthBefore = 0;
    int64_t marksLengthAfter = 0;
    int32_t slotsBefore = 0;
    int32_t slotsAfter = 0;
    int32_t timelineCountBefore = 0;
    int32_t timelineCountAfter = 0;
    int32_t textCountBefore = 0;
    int32_t textCountAfter = 0;
};

// Where an undo or redo leaves the user: the first slot it changed and the
// frame to put the play position on (that line's in-point), when the slot
// holds a time code.
struct StepPlace {
    int32_t slot = -1;
    std::optional<int32_t> frame;
};

class UndoHistory {
public:
    // Starts over from this timeline: nothing to undo or redo.
    void reset(const TimelineState& state);

    // Starts over unless the timeline is still the one last recorded (a load
    // or anything else that changed it behind the history's back).
    void follow(const TimelineState& state);

    // Records what changed since the last record as one step, and drops the
    // steps that were undone. Returns false, recording nothing, when nothing
    // changed. `near` is the slot where a line went in or out, when the
    // caller knows it: a line inserted in front of a line with the same text
    // could as well have gone in behind it, and undo stands where it went.
    bool record(const TimelineState& state, std::optional<int32_t> near = std::nullopt);

    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < steps_.size(); }

    // Takes the last step back (or does the next undone step again) on the
    // state, which must be the one last recorded; nothing when there is none.
    std::optional<StepPlace> undo(TimelineState& state);
    std::optional<StepPlace> redo(TimelineState& state);

    size_t undoableSteps() const { return done_; }
    size_t redoableSteps() const { return steps_.size() - done_; }

    // Bytes the steps hold (vectors and texts), without the copy of the timeline.
    size_t stepBytes() const;

    // Called after every record that changed something, every undo and every
    // redo: the timeline now differs from what it was.
    std::function<void()> onChange;

private:
    struct Copy {
        TimelineArray Timeline;
        int32_t TimelineCount = 0;
        int32_t TextCount = 0;
        ByteArray WaveMarks;
    };

    std::optional<StepPlace> apply(TimelineState& state, const UndoStep& step, bool backwards);
    TimelineState copyState();

    std::deque<UndoStep> steps_;
    size_t done_ = 0;   // steps_[0 .. done_) are done, the rest undone
    size_t bytes_ = 0;  // what stepBytes() would count, kept as steps come and go
    Copy copy_;
};

// The project's history, for as long as the program runs: the editor and the
// file tools record into it, the editor undoes from it.
extern UndoHistory TimelineHistory;

}  // namespace vt
