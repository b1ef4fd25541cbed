// The editor's command map: which key, wheel turn or mouse button does what
// to the current line. Every command is returned as data (an EditCommand);
// runCommand hands it to the editing operations, which look up the current
// line themselves and do the edit.
#pragma once

#include "core/ProjectState.h"
#include "editor/EditorState.h"
#include "editor/PlayControl.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace vt {

// ---------------------------------------------------------------------------
// Commands

enum class EditOp : uint8_t {
    None,
    PlayPause,   // the space key; its effect is CommandOutcome::playSpeed/pointer
    FrontLine,   // procFrontLine: to the start of the previous line
    BackLine,    // procBackLine: to the start of the next line
    Move,        // moveTimeLine(moveTimeIn, moveTimeOut)
    Insert,      // procIns
    Delete,      // procDel
};

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

// What an input event makes the editor do. Empty fields stay as they are.
struct CommandOutcome {
    EditCommand command;
    std::optional<int32_t> playSpeed;
    std::optional<PointerShape> pointer;
    std::optional<int32_t> wavIntervalMs;  // TimerForWav
    // Keys stop TimerForWav while they act and start it again afterwards, so
    // its countdown begins anew even when the interval was already 10 ms.
    bool restartWavTimer = false;
};

// ---------------------------------------------------------------------------
// Step size (RadioGroup1)

struct StepSizeItem {
    const char* caption;  // UTF-8
    int32_t frames;
};

// The items of RadioGroup1 in order.
std::span<const StepSizeItem> stepSizeItems();

// Frames of one step for the selected item index; no (or an unknown)
// selection gives 3.
int32_t StepSize(int32_t itemIndex);

// ---------------------------------------------------------------------------
// Keys

// The virtual-key codes the key table uses.
namespace VirtualKey {
inline constexpr int32_t Space = 32;
inline constexpr int32_t PageUp = 33;
inline constexpr int32_t PageDown = 34;
inline constexpr int32_t Left = 37;
inline constexpr int32_t Up = 38;
inline constexpr int32_t Right = 39;
inline constexpr int32_t Down = 40;
inline constexpr int32_t Insert = 45;
inline constexpr int32_t Delete = 46;
inline constexpr int32_t A = 65;  // letters are 65 ('A') .. 90 ('Z')
inline constexpr int32_t D = 68;
inline constexpr int32_t E = 69;
inline constexpr int32_t F = 70;
inline constexpr int32_t G = 71;
inline constexpr int32_t R = 82;
inline constexpr int32_t S = 83;
inline constexpr int32_t V = 86;
inline constexpr int32_t W = 87;
inline constexpr int32_t X = 88;
}  // namespace VirtualKey

// One row of the key table: a Move adds inSteps and outSteps times the step
// size to the in- and out-point.
struct KeyBinding {
    int32_t key;
    EditOp op;
    int32_t inSteps;
    int32_t outSteps;
};

std::span<const KeyBinding> keyBindings();

// The command of a virtual-key code at a step size; EditOp::None for a key
// without one.
EditCommand keyCommand(int32_t virtualKey, int32_t stepSize);

// Translates a Qt key value (QKeyEvent::key(), or a key combination with its
// modifier bits) into the virtual-key code of the key table; 0 for a key the
// editor does not use. Case and modifiers make no difference.
int32_t qtKeyToVirtualKey(int32_t qtKey);

// The space key: normal play pauses, anything else plays normally.
struct PauseToggle {
    int32_t playSpeed;
    PointerShape pointer;
};
PauseToggle togglePause(int32_t playSpeed);

// A key pressed anywhere in the editor window. While Edit1 is open the keys
// belong to the text and nothing happens.
CommandOutcome FormKeyDown(int32_t virtualKey, bool edit1Visible, int32_t stepItemIndex,
                           int32_t playSpeed);

// ---------------------------------------------------------------------------
// Wheel

enum class WheelTurn : uint8_t { TowardsUser, AwayFromUser };

// One notch: towards the user the out-point comes a step earlier, away from
// the user a step later. Acts also while Edit1 is open.
CommandOutcome FormMouseWheel(WheelTurn turn, int32_t stepItemIndex);

// ---------------------------------------------------------------------------
// Mouse buttons

enum class MouseButton : uint8_t { Left, Middle, Right };

// Where the clicked index lies against the current line.
enum class ClickRegion : uint8_t { BeforeIn, Inside, AtOrAfterOut };

enum class ClickMove : uint8_t {
    Nothing,
    InToPoint,              // moveTimeLine(d, 0), d = frames of (point - In)
    OutToPoint,             // moveTimeLine(0, d), d = frames of (point - Out)
    PreviousLineOutToPoint, // the line before's out-point to the point
};

struct ClickRule {
    ClickRegion region;
    ClickMove leftOrMiddle;
    ClickMove right;
};

std::span<const ClickRule> waveClickRules();
std::span<const ClickRule> videoClickRules();

// "End of the previous line": from inIndex - 2 leftwards in steps of 2
// while the index is right of waveViewStart and uncovered; the index where
// that stops.
int32_t previousLineEnd(int32_t inIndex, int32_t waveViewStart, const ByteArray& waveMarks);

// A button pressed on the waveform strip, at the pointer's last place: the
// summary index view.WaveViewStart + 2 x view.WaveMouseX, against the current
// line the last refresh left in view. Acts also while Edit1 is open. With no
// current line shown (In or Out below 0) a press moves nothing: the move's
// own lookup may find a line the refresh did not, and a distance measured
// from index -1 would throw that line across the timeline.
CommandOutcome PaintBoxWavMouseDown(MouseButton button, const WaveViewState& view, float frameRate);

// A button pressed on the video (the window's own area): acts on the play
// position. Ignored below the window's outer height minus 300 pixels, and,
// like a press on the waveform, when no current line is shown. Throws
// std::invalid_argument for a frame rate that is not positive.
CommandOutcome FormMouseDown(MouseButton button, int32_t y, int32_t outerHeight,
                             int32_t playerPosition, float frameRate, const WaveViewState& view,
                             const ByteArray& waveMarks);

// ---------------------------------------------------------------------------
// Check boxes: what insertion and deletion act on. One always stays ticked.

// The boxes after CheckBoxTime has changed to columns.Times; the window sets
// both boxes from the result.
EditColumns CheckBoxTimeClick(EditColumns columns);
// The boxes after CheckBoxText has changed to columns.Texts.
EditColumns CheckBoxTextClick(EditColumns columns);

// ---------------------------------------------------------------------------
// Buttons of the bottom row

enum class EditorButton : uint8_t { Help, Save, Back, Next };

struct ButtonAction {
    std::optional<int8_t> nextPage;  // stored before the window closes
    bool closesEditor = false;       // closing saves the timeline
    bool saves = false;              // proSaveSrt, the editor stays open
    bool showsHelp = false;          // the help window, not modal
};

ButtonAction buttonAction(EditorButton button);

// ---------------------------------------------------------------------------
// Carrying a command out

// The editing operations a command may call.
struct EditOperations {
    std::function<void(int32_t moveTimeIn, int32_t moveTimeOut)> moveTimeLine;
    std::function<void()> procIns;
    std::function<void()> procDel;
    std::function<void()> procFrontLine;
    std::function<void()> procBackLine;
    std::function<void(bool)> setPreferPreviousLine;
};

// Calls the operation the command names. PreferPreviousLine is set only for
// the one move and cleared afterwards, also when the move throws. None and
// PlayPause call nothing.
void runCommand(const EditCommand& command, const EditOperations& ops);

}  // namespace vt
