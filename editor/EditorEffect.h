// What an event makes the editor window do, as data. Every handler of the
// window reads its controls, calls one logic function (playTick, the pointer
// handlers, FormKeyDown, FormMouseWheel, the two mouse-down handlers,
// buttonAction) and hands the EditorEffect it returns to the window's one
// function that applies an effect. Nothing here touches a window or a player.
#pragma once

#include "core/PointerShape.h"
#include "core/ProjectState.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vt {

// ---------------------------------------------------------------------------
// Player commands

enum class PlayerAction : uint8_t { StepBy, Play, Pause, Stop };

// One call on the editor's player: MediaPlayer::step(frames), play(),
// pause() or stop().
struct PlayerCommand {
    PlayerAction action = PlayerAction::Play;
    int32_t frames = 0;  // StepBy only: signed frame count

    static PlayerCommand stepBy(int32_t n) { return {PlayerAction::StepBy, n}; }
    static PlayerCommand play() { return {PlayerAction::Play, 0}; }
    static PlayerCommand pause() { return {PlayerAction::Pause, 0}; }
    static PlayerCommand stop() { return {PlayerAction::Stop, 0}; }

    friend bool operator==(const PlayerCommand&, const PlayerCommand&) = default;
};

using PlayerCommands = std::vector<PlayerCommand>;

// ---------------------------------------------------------------------------
// Controls revealed and hidden by the pointer

// The controls that the pointer handlers enable/disable (buttons, check
// boxes, RadioGroup1) or show/hide (the two track bars and ScrollBar1).
enum class RevealedControl : uint8_t {
    ButtonHelp,
    ButtonSave,
    ButtonBack,
    ButtonNext,
    CheckBoxTime,
    CheckBoxText,
    RadioGroup1,
    TrackBar2,
    TrackBar1,
    ScrollBar1,
};
inline constexpr std::size_t RevealedControlCount = 10;

// True for the controls that are shown and hidden; the others are enabled
// and disabled (a disabled or hidden control passes the pointer's moves on to
// the window, which is what lets the window reveal it).
constexpr bool revealsByShowing(RevealedControl control)
{
    return control == RevealedControl::TrackBar2 || control == RevealedControl::TrackBar1
           || control == RevealedControl::ScrollBar1;
}

// For each control: empty = leave as it is, true = enable/show, false =
// disable/hide.
class ControlReveal {
public:
    std::optional<bool> operator[](RevealedControl c) const { return states_[index(c)]; }
    void set(RevealedControl c, bool on) { states_[index(c)] = on; }
    bool anySet() const
    {
        return std::any_of(states_.begin(), states_.end(), [](const auto& s) { return s.has_value(); });
    }

    friend bool operator==(const ControlReveal&, const ControlReveal&) = default;

private:
    static std::size_t index(RevealedControl c) { return static_cast<std::size_t>(c); }
    std::array<std::optional<bool>, RevealedControlCount> states_{};
};

// ---------------------------------------------------------------------------
// Edit commands

enum class EditOp : uint8_t {
    None,
    PlayPause,   // the space key; its effect is carried by playSpeed and pointer
    FrontLine,   // procFrontLine: to the start of the previous line
    BackLine,    // procBackLine: to the start of the next line
    Move,        // moveTimeLine(moveTimeIn, moveTimeOut)
    Insert,      // procIns
    Delete,      // procDel
    Undo,        // the last change to the timeline taken back
    Redo,        // the change taken back last done again
    SnapToSpeech,  // the current line's ends to the nearest speech edges
    TimeNextLine,  // the next line on the next speech span, and play on
    PlayBeforeIn,  // play the half second before the in-point, then stand where play started
    PlayLine,      // play the whole line, likewise
    PlayAfterOut,  // play the half second after the out-point, likewise
    SnapToCutsOnOff,  // lines snap to the film's cuts, or no longer
    PreviousCut,      // the play position to the cut before it
    NextCut,          // the play position to the cut after it
};

// An operation on the current line, carried out by runCommand (Commands.h).
struct EditCommand {
    EditOp op = EditOp::None;
    int32_t moveTimeIn = 0;    // Move: frames added to the in-point
    int32_t moveTimeOut = 0;   // Move: frames added to the out-point
    // Move: the line before the play position is the one to move (its
    // out-point goes to the play position); set for the duration of the move.
    bool preferPreviousLine = false;
    // Mouse buttons: the summary index the point is moved to; -1 otherwise.
    int32_t targetIndex = -1;

    friend bool operator==(const EditCommand&, const EditCommand&) = default;
};

// ---------------------------------------------------------------------------
// The effect

// TrackBar1's selection: from the standstill mark to the level's mark.
struct GaugeSelection {
    int32_t start = 0;
    int32_t end = 0;

    friend bool operator==(const GaugeSelection&, const GaugeSelection&) = default;
};

// What one event makes the editor window do. An empty optional, a false flag,
// an empty list, an unset reveal and EditOp::None all mean "leave it as it
// is", so an effect names only what changes.
//
// The window applies an effect in this order (one function, for every
// handler):
//  1. restartWavTimer: stop TimerForWav; step 6 starts it again.
//  2. playerCommands: each, in order, to the editor's MediaPlayer.
//  3. playSpeed to PlaySpeed, pulsePhase to PulsePhase.
//  4. mouseOverWave and waveMouseX to the WaveViewState's MouseOverWave and
//     WaveMouseX (before the command, which looks up the line at the pointer).
//  5. command: runCommand(command, the window's EditOperations).
//  6. playIntervalMs to TimerForPlay, wavIntervalMs to TimerForWav, through
//     Timer::setInterval (an interval a timer already has must not restart
//     it); then, with restartWavTimer, enable TimerForWav.
//  7. pointer to the window's pointer shape; speedGauge to TrackBar1's
//     selection; reveal: each control that is set is enabled or disabled, or,
//     where revealsByShowing, shown or hidden.
//  8. Buttons: nextPage to Project.NextPage; save: proSaveSrt, the editor
//     stays open; showHelp: the help window, not modal; closeEditor: close
//     the window last (its closing saves the timeline).
struct EditorEffect {
    // playback
    PlayerCommands playerCommands;
    std::optional<int32_t> playSpeed;        // PlaySpeed
    std::optional<int32_t> pulsePhase;       // PulsePhase
    std::optional<int32_t> playIntervalMs;   // TimerForPlay
    std::optional<int32_t> wavIntervalMs;    // TimerForWav
    // Keys stop TimerForWav while they act and start it again afterwards, so
    // its countdown begins anew even when the interval was already 10 ms.
    bool restartWavTimer = false;
    std::optional<GaugeSelection> speedGauge;  // TrackBar1
    std::optional<PointerShape> pointer;

    // the pointer over the waveform
    std::optional<bool> mouseOverWave;
    std::optional<int32_t> waveMouseX;

    ControlReveal reveal;

    // the timeline
    EditCommand command;

    // the bottom row's buttons
    std::optional<Page::Number> nextPage;
    bool save = false;
    bool showHelp = false;
    bool closeEditor = false;
};

}  // namespace vt
