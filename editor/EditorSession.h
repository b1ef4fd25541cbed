// The editor's session: the timeline being edited, the current line, the
// view the last refresh left, a stretch being played to check a line, and
// the player, all without a window. The window turns keys, clicks and the
// wheel into commands (Commands.h) and hands each to run(); it draws what
// the session holds. Every change a command makes to the timeline is one
// step of the history (core/TimelineChange.h).
#pragma once

#include "core/PlayerControl.h"
#include "core/ProjectState.h"
#include "core/UndoHistory.h"
#include "editor/EditOps.h"
#include "editor/EditorEffect.h"
#include "editor/EditorState.h"
#include "editor/SpeechTiming.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vt {

// What the window's controls hold when a command runs.
struct EditorControls {
    EditColumns columns;      // what insertion and deletion act on
    bool snapToCuts = false;  // the box "吸附镜头"
};

// What a command changed that the window shows besides the timeline.
struct CommandOutcome {
    bool timelineChanged = false;    // a step was recorded, undone or redone
    std::optional<bool> snapToCuts;  // the box is to show this
};

class EditorSession {
public:
    // save: what growing a full timeline writes first (the project's own
    // save); a save that throws inserts nothing.
    EditorSession(ProjectState& project, UndoHistory& history, PlayerControl& player, std::function<void()> save);

    // A visit of the editor begins: no round plays, no move prefers the
    // previous line.
    void beginVisit();

    // Carries one command out: the edit operations, the speech keys, the
    // cuts and the history, with the player moved where the command says.
    // A command that changes the timeline is one step of the history, also
    // when it throws after changing something (the exception goes on: a
    // FileError from the save before growing).
    CommandOutcome run(const EditCommand& command, const EditorControls& controls);

    // The text typed over the line an open text edit began on goes in: one
    // step of the history.
    void storeText(const TextEdit& edit, const std::u16string& typed);

    // On every play tick: the round being played ends (the effect to carry
    // out: stand where it started) or is forgotten when the user took play
    // over; nothing while it goes on or when none plays.
    std::optional<EditorEffect> followPlayRound(int32_t playSpeed);

    // The history goes on from the timeline as it is, or starts over when it
    // changed behind its back (a load since the last visit, the film's own
    // sound giving the marks their real length).
    void followTimeline();

    int32_t playerPosition() const;

    // The design's globals of the editor, read by the window's drawing and
    // refresh: the view the last refresh left, and the current line.
    WaveViewState WaveView;
    int32_t CurrentLine = -1;

private:
    TimelineState state();
    void stepTo(std::optional<int32_t> frame);
    void standOn(std::optional<StepPlace> place);
    // Carries out one command that changes the timeline; the slot where a
    // line went in or out, for the history, when it is known.
    std::optional<int32_t> edit(const EditCommand& command, const EditorControls& controls, TimelineState& state);
    void moveTimeLine(TimelineState& state, const EditCommand& command, const EditorControls& controls);
    void snapToCuts(TimelineState& state, const EditorControls& controls);
    void startPlayRound(EditOp part);

    ProjectState& project_;
    UndoHistory& history_;
    PlayerControl& player_;
    std::function<void()> save_;
    // a stretch played to check a line, then back to where it started
    std::optional<PlayRound> playRound_;
};

}  // namespace vt
