#include "editor/EditorSession.h"

#include "core/Numbers.h"
#include "core/TimelineChange.h"
#include "editor/CurrentLine.h"
#include "editor/ShotSnap.h"

#include <utility>

namespace vt {

namespace {

// The commands that change the timeline; the others move the player, play,
// switch snapping, or are the history itself.
bool changesTimeline(EditOp op)
{
    switch (op) {
    case EditOp::Move:
    case EditOp::Insert:
    case EditOp::Delete:
    case EditOp::SnapToSpeech:
    case EditOp::TimeNextLine:
        return true;
    default:
        return false;
    }
}

PlayPart playPartOf(EditOp op)
{
    return op == EditOp::PlayBeforeIn ? PlayPart::BeforeIn : op == EditOp::PlayAfterOut ? PlayPart::AfterOut
                                                                                          : PlayPart::Line;
}

}  // namespace

EditorSession::EditorSession(ProjectState& project, UndoHistory& history, PlayerControl& player,
                             std::function<void()> save)
    : project_(project), history_(history), player_(player), save_(std::move(save))
{
}

void EditorSession::beginVisit()
{
    playRound_.reset();
    WaveView.PreferPreviousLine = false;
}

TimelineState EditorSession::state()
{
    return timelineStateOf(project_);
}

int32_t EditorSession::playerPosition() const
{
    return clampToInt32(player_.position());
}

void EditorSession::stepTo(std::optional<int32_t> frame)
{
    if (frame && player_.isOpen())
        player_.step(clampToInt32(int64_t{*frame} - playerPosition()));
}

// The play position goes to the line an undo or redo changed, so that the
// user sees what came back.
void EditorSession::standOn(std::optional<StepPlace> place)
{
    if (!place)
        return;
    CurrentLine = place->slot;
    stepTo(place->frame);
}

CommandOutcome EditorSession::run(const EditCommand& command, const EditorControls& controls)
{
    CommandOutcome outcome;
    if (changesTimeline(command.op)) {
        outcome.timelineChanged = commitTimelineChange(
            history_, state(), [&](TimelineState& s) { return edit(command, controls, s); });
        return outcome;
    }
    switch (command.op) {
    case EditOp::FrontLine:
        stepTo(procFrontLine(project_.Timeline, project_.TimelineCount, playerPosition()));
        break;
    case EditOp::BackLine:
        stepTo(procBackLine(project_.Timeline, project_.TimelineCount, playerPosition()));
        break;
    case EditOp::Undo:
    case EditOp::Redo: {
        // a timeline changed behind the history's back starts it over
        // rather than have old steps written over it
        TimelineState s = state();
        history_.follow(s);
        const std::optional<StepPlace> place = command.op == EditOp::Undo ? history_.undo(s) : history_.redo(s);
        outcome.timelineChanged = place.has_value();
        standOn(place);
        break;
    }
    case EditOp::PlayBeforeIn:
    case EditOp::PlayLine:
    case EditOp::PlayAfterOut: startPlayRound(command.op); break;
    case EditOp::SnapToCutsOnOff: outcome.snapToCuts = !controls.snapToCuts; break;
    case EditOp::PreviousCut: stepTo(previousCut(project_.ShotChanges, playerPosition())); break;
    case EditOp::NextCut: stepTo(nextCut(project_.ShotChanges, playerPosition())); break;
    default: break;  // None, PlayPause: the window's own
    }
    return outcome;
}

std::optional<int32_t> EditorSession::edit(const EditCommand& command, const EditorControls& controls,
                                           TimelineState& s)
{
    switch (command.op) {
    case EditOp::Move:
        moveTimeLine(s, command, controls);
        return std::nullopt;
    case EditOp::Insert: {
        const InsertResult inserted = procIns(s, CurrentLine, playerPosition(), controls.columns, save_);
        CurrentLine = inserted.CurrentLine;
        if (inserted.TimeInserted)
            snapToCuts(s, controls);
        return CurrentLine;
    }
    case EditOp::Delete:
        procDel(s, CurrentLine, controls.columns);
        return CurrentLine;
    case EditOp::SnapToSpeech: {
        const int32_t line = lineForSpeechKeys(project_.Timeline, project_.TimelineCount, CurrentLine, playerPosition());
        if (snapToSpeech(s, line, project_.SpeechSpans))
            CurrentLine = line;
        return std::nullopt;
    }
    case EditOp::TimeNextLine: {
        const InsertResult inserted = timeNextLine(s, project_.SpeechSpans, CurrentLine, playerPosition(),
                                                   project_.VideoLengthFrames, controls.columns, save_);
        CurrentLine = inserted.CurrentLine;
        if (inserted.TimeInserted) {
            snapToCuts(s, controls);
            stepTo(project_.Timeline[size_t(inserted.CurrentLine)].StartFrame);
        }
        return CurrentLine;
    }
    default: return std::nullopt;
    }
}

void EditorSession::moveTimeLine(TimelineState& s, const EditCommand& command, const EditorControls& controls)
{
    const bool preferPrevious = command.preferPreviousLine;
    // the flag must not outlive the one move, whatever the move does
    struct ClearAfter {
        WaveViewState& view;
        bool set;
        ~ClearAfter()
        {
            if (set)
                view.PreferPreviousLine = false;
        }
    } clear{WaveView, preferPrevious};
    if (preferPrevious)
        WaveView.PreferPreviousLine = true;
    CurrentLine = vt::moveTimeLine(s, WaveView, playerPosition(), project_.VideoLengthFrames, command.moveTimeIn,
                                   command.moveTimeOut);
    snapToCuts(s, controls);
}

void EditorSession::snapToCuts(TimelineState& s, const EditorControls& controls)
{
    if (!controls.snapToCuts || CurrentLine < 0)
        return;
    snapLineToCuts(s, CurrentLine, project_.ShotChanges);
}

// A round starts where the player is and comes back there.
void EditorSession::startPlayRound(EditOp part)
{
    playRound_.reset();
    const int32_t position = playerPosition();
    const int32_t line = lineForSpeechKeys(project_.Timeline, project_.TimelineCount, CurrentLine, position);
    if (line < 0)
        return;
    playRound_ = playRoundFor(playPartOf(part), project_.Timeline[size_t(line)], position, project_.FrameRate);
    stepTo(playRound_->From);
}

std::optional<EditorEffect> EditorSession::followPlayRound(int32_t playSpeed)
{
    if (!playRound_)
        return std::nullopt;
    switch (roundProgress(*playRound_, playerPosition(), playSpeed)) {
    case RoundProgress::Playing: return std::nullopt;
    case RoundProgress::Left: playRound_.reset(); return std::nullopt;
    case RoundProgress::Ended: break;
    }
    const EditorEffect stand = endOfRound(*playRound_, playerPosition());
    playRound_.reset();
    return stand;
}

void EditorSession::storeText(const TextEdit& textEdit, const std::u16string& typed)
{
    commitTimelineChange(history_, state(), [&](TimelineState&) {
        storeEditedText(project_.Timeline, CurrentLine, textEdit, typed);
    });
}

void EditorSession::followTimeline()
{
    history_.follow(state());
}

}  // namespace vt
