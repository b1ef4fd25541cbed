// The editor's command map: which key, wheel turn, mouse button or button of
// the bottom row does what. Every handler returns an EditorEffect; its
// command (an EditCommand) is carried out by the editor's session
// (EditorSession.h).
#pragma once

#include "core/ProjectState.h"
#include "editor/EditorEffect.h"
#include "editor/EditorState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace vt {

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

// The virtual-key codes the key table uses (platform/KeyTranslation turns
// Qt's keys into these).
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
inline constexpr int32_t B = 66;
inline constexpr int32_t C = 67;
inline constexpr int32_t D = 68;
inline constexpr int32_t E = 69;
inline constexpr int32_t F = 70;
inline constexpr int32_t G = 71;
inline constexpr int32_t J = 74;
inline constexpr int32_t K = 75;
inline constexpr int32_t L = 76;
inline constexpr int32_t M = 77;
inline constexpr int32_t N = 78;
inline constexpr int32_t R = 82;
inline constexpr int32_t S = 83;
inline constexpr int32_t T = 84;
inline constexpr int32_t V = 86;
inline constexpr int32_t W = 87;
inline constexpr int32_t X = 88;
inline constexpr int32_t Y = 89;
inline constexpr int32_t Z = 90;
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

// A key pressed anywhere in the editor window: the key's command at the
// selected step size, and the waveform refresh restarted at 10 ms, for every
// key, used or not. The space key pauses normal play and plays anything else
// at the normal speed; an insertion key stands the video still, as every
// insertion does, whether or not a line goes in. While Edit1 is open the keys
// belong to the text and nothing happens.
EditorEffect FormKeyDown(int32_t virtualKey, bool edit1Visible, int32_t stepItemIndex,
                         int32_t playSpeed);

// Keys held with Ctrl that take a change back or do it again. They are
// looked at before the key table: Ctrl with a letter of the table is still
// that letter's command.
struct HistoryKey {
    int32_t key;
    bool shift;
    EditOp op;  // Undo or Redo
};

std::span<const HistoryKey> historyKeys();

// A key pressed with Ctrl: Undo or Redo for a history key, the video stood
// still on the line that came back (as after an insertion) and the refresh
// restarted at 10 ms; an empty effect (EditOp::None) for any other key,
// which then goes to FormKeyDown. While Edit1 is open the keys belong to
// the text, whose own undo takes back what was typed.
EditorEffect historyKeyDown(int32_t virtualKey, bool shift, bool edit1Visible);

// ---------------------------------------------------------------------------
// Wheel

enum class WheelTurn : uint8_t { TowardsUser, AwayFromUser };

// One notch: towards the user the out-point comes a step earlier, away from
// the user a step later. Acts also while Edit1 is open.
EditorEffect FormMouseWheel(WheelTurn turn, int32_t stepItemIndex);

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
EditorEffect PaintBoxWavMouseDown(MouseButton button, const WaveViewState& view, float frameRate);

// A button pressed on the video (the window's own area): acts on the play
// position. Ignored below the window's outer height minus 300 pixels, and,
// like a press on the waveform, when no current line is shown. Throws
// std::invalid_argument for a frame rate that is not positive.
EditorEffect FormMouseDown(MouseButton button, int32_t y, int32_t outerHeight,
                           int32_t playPosition, float frameRate, const WaveViewState& view,
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

// ButtonHelpClick, ButtonSaveClick, ButtonBackClick, ButtonNextClick: Back
// and Next store the next page and close the editor (its closing saves the
// timeline), Save saves and stays, Help shows the help window beside it.
EditorEffect buttonAction(EditorButton button);

}  // namespace vt
