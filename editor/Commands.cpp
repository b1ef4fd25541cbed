#include "editor/Commands.h"

#include "core/Coverage.h"
#include "core/FrameRate.h"
#include "core/Numbers.h"
#include "editor/PlayControl.h"

namespace vt {

namespace {

constexpr StepSizeItem StepSizeTable[] = {
    {"微", 1},
    {"小", 2},
    {"中", 3},
    {"大", 5},
};
// With no item selected the editor steps by the middle size.
constexpr int32_t UnselectedStepSize = 3;

namespace VK = VirtualKey;

constexpr KeyBinding KeyTable[] = {
    {VK::Space, EditOp::PlayPause, 0, 0},
    {VK::PageUp, EditOp::FrontLine, 0, 0},
    {VK::PageDown, EditOp::BackLine, 0, 0},
    {VK::Left, EditOp::Move, -1, -1},
    {VK::Up, EditOp::Move, 0, 1},
    {VK::Right, EditOp::Move, 1, 1},
    {VK::Down, EditOp::Move, 0, -1},
    {VK::Insert, EditOp::Insert, 0, 0},
    {VK::Delete, EditOp::Delete, 0, 0},
    {VK::A, EditOp::Move, -4, -4},
    {VK::D, EditOp::Move, 0, -2},
    {VK::E, EditOp::Move, 0, 2},
    {VK::F, EditOp::Move, 2, 2},
    {VK::G, EditOp::Move, 4, 4},
    {VK::R, EditOp::BackLine, 0, 0},
    {VK::S, EditOp::Move, -2, -2},
    {VK::V, EditOp::Insert, 0, 0},
    {VK::W, EditOp::FrontLine, 0, 0},
    {VK::X, EditOp::Delete, 0, 0},
    {VK::C, EditOp::SnapToSpeech, 0, 0},
    {VK::T, EditOp::TimeNextLine, 0, 0},
    {VK::J, EditOp::PlayBeforeIn, 0, 0},
    {VK::K, EditOp::PlayLine, 0, 0},
    {VK::L, EditOp::PlayAfterOut, 0, 0},
    {VK::B, EditOp::SnapToCutsOnOff, 0, 0},
    {VK::N, EditOp::PreviousCut, 0, 0},
    {VK::M, EditOp::NextCut, 0, 0},
};

// Ctrl+Z takes back; Ctrl+Y and Ctrl+Shift+Z, as in most programs, do again.
constexpr HistoryKey HistoryKeyTable[] = {
    {VK::Z, false, EditOp::Undo},
    {VK::Y, false, EditOp::Redo},
    {VK::Z, true, EditOp::Redo},
};

using CR = ClickRegion;
using CM = ClickMove;

// On the waveform the button says which point goes to the pointer; a press
// on the far side of the line from that point does nothing.
constexpr ClickRule WaveClickTable[] = {
    {CR::BeforeIn, CM::InToPoint, CM::Nothing},
    {CR::Inside, CM::InToPoint, CM::OutToPoint},
    {CR::AtOrAfterOut, CM::Nothing, CM::OutToPoint},
};

// On the video the play position is the point: before the line the right
// button ends the previous line there, after it both buttons end this one.
constexpr ClickRule VideoClickTable[] = {
    {CR::BeforeIn, CM::InToPoint, CM::PreviousLineOutToPoint},
    {CR::Inside, CM::InToPoint, CM::OutToPoint},
    {CR::AtOrAfterOut, CM::OutToPoint, CM::OutToPoint},
};

// A press on the video counts only this far above the window's bottom edge.
constexpr int32_t VideoClickMarginFromOuterHeight = 300;

ClickRegion regionOf(int64_t index, const WaveViewState& view)
{
    if (index < view.CurrentInIndex)
        return ClickRegion::BeforeIn;
    if (index < view.CurrentOutIndex)
        return ClickRegion::Inside;
    return ClickRegion::AtOrAfterOut;
}

ClickMove ruleFor(std::span<const ClickRule> rules, ClickRegion region, MouseButton button)
{
    for (const ClickRule& r : rules)
        if (r.region == region)
            return button == MouseButton::Right ? r.right : r.leftOrMiddle;
    return ClickMove::Nothing;
}

EditCommand moveTo(int32_t moveTimeIn, int32_t moveTimeOut, int64_t target)
{
    EditCommand c;
    c.op = EditOp::Move;
    c.moveTimeIn = moveTimeIn;
    c.moveTimeOut = moveTimeOut;
    c.targetIndex = clampToInt32(target);
    return c;
}

int32_t framesBetween(int64_t toIndex, int64_t fromIndex, float frameRate)
{
    return frameOfSummaryIndex(clampToInt32(toIndex - fromIndex), frameRate);
}

// The move a click makes with the point at summary index `point`.
EditCommand clickCommand(ClickMove move, int64_t point, const WaveViewState& view, float frameRate,
                         const ByteArray* marks)
{
    switch (move) {
    case ClickMove::InToPoint:
        return moveTo(framesBetween(point, view.CurrentInIndex, frameRate), 0, point);
    case ClickMove::OutToPoint:
        return moveTo(0, framesBetween(point, view.CurrentOutIndex, frameRate), point);
    case ClickMove::PreviousLineOutToPoint: {
        const int32_t end = previousLineEnd(view.CurrentInIndex, view.WaveViewStart, *marks);
        EditCommand c = moveTo(0, framesBetween(point, end, frameRate), point);
        c.preferPreviousLine = true;
        return c;
    }
    case ClickMove::Nothing: break;
    }
    return {};
}

bool playsOn(EditOp op)
{
    return op == EditOp::TimeNextLine || op == EditOp::PlayBeforeIn || op == EditOp::PlayLine
           || op == EditOp::PlayAfterOut;
}

bool noCurrentLine(const WaveViewState& view)
{
    return view.CurrentInIndex < 0 || view.CurrentOutIndex < 0;
}

// The space key: normal play pauses, anything else plays normally.
void togglePause(int32_t playSpeed, EditorEffect& effect)
{
    const bool pausing = playSpeed == NormalPlaySpeed;
    effect.playSpeed = pausing ? 0 : NormalPlaySpeed;
    effect.pointer = pausing ? PointerShape::AppStarting : PointerShape::Arrow;
}

}  // namespace

std::span<const StepSizeItem> stepSizeItems()
{
    return StepSizeTable;
}

int32_t StepSize(int32_t itemIndex)
{
    if (itemIndex < 0 || itemIndex >= static_cast<int32_t>(std::size(StepSizeTable)))
        return UnselectedStepSize;
    return StepSizeTable[itemIndex].frames;
}

std::span<const KeyBinding> keyBindings()
{
    return KeyTable;
}

EditCommand keyCommand(int32_t virtualKey, int32_t stepSize)
{
    for (const KeyBinding& k : KeyTable) {
        if (k.key != virtualKey)
            continue;
        EditCommand c;
        c.op = k.op;
        c.moveTimeIn = k.inSteps * stepSize;
        c.moveTimeOut = k.outSteps * stepSize;
        return c;
    }
    return {};
}

EditorEffect FormKeyDown(int32_t virtualKey, bool edit1Visible, int32_t stepItemIndex,
                         int32_t playSpeed)
{
    EditorEffect out;
    if (edit1Visible)
        return out;
    out.command = keyCommand(virtualKey, StepSize(stepItemIndex));
    if (out.command.op == EditOp::PlayPause)
        togglePause(playSpeed, out);
    if (out.command.op == EditOp::Insert) {
        // the user places the new line against a still picture
        out.playSpeed = 0;
        out.pointer = PointerShape::AppStarting;
    }
    if (playsOn(out.command.op)) {
        // timing by speech goes on listening; a round plays, then stands
        out.playSpeed = NormalPlaySpeed;
        out.pointer = PointerShape::Arrow;
    }
    // every key, used or not, restarts the refresh at 10 ms
    out.wavIntervalMs = ImmediateRefreshMs;
    out.restartWavTimer = true;
    return out;
}

std::span<const HistoryKey> historyKeys()
{
    return HistoryKeyTable;
}

EditorEffect historyKeyDown(int32_t virtualKey, bool shift, bool edit1Visible)
{
    EditorEffect out;
    if (edit1Visible)
        return out;
    for (const HistoryKey& k : HistoryKeyTable) {
        if (k.key != virtualKey || k.shift != shift)
            continue;
        out.command.op = k.op;
        // the line that came back stands still in the picture
        out.playSpeed = 0;
        out.pointer = PointerShape::AppStarting;
        out.wavIntervalMs = ImmediateRefreshMs;
        out.restartWavTimer = true;
        break;
    }
    return out;
}

EditorEffect FormMouseWheel(WheelTurn turn, int32_t stepItemIndex)
{
    const int32_t s = StepSize(stepItemIndex);
    EditorEffect out;
    out.command.op = EditOp::Move;
    out.command.moveTimeOut = turn == WheelTurn::TowardsUser ? -s : s;
    out.wavIntervalMs = ImmediateRefreshMs;
    return out;
}

std::span<const ClickRule> waveClickRules()
{
    return WaveClickTable;
}

std::span<const ClickRule> videoClickRules()
{
    return VideoClickTable;
}

int32_t previousLineEnd(int32_t inIndex, int32_t waveViewStart, const ByteArray& waveMarks)
{
    int64_t i = int64_t{inIndex} - 2;
    while (i > waveViewStart && !coveredAt(waveMarks, i))
        i -= 2;
    return clampToInt32(i);
}

EditorEffect PaintBoxWavMouseDown(MouseButton button, const WaveViewState& view, float frameRate)
{
    EditorEffect out;
    out.wavIntervalMs = ImmediateRefreshMs;
    if (noCurrentLine(view))
        return out;
    const int64_t x = int64_t{view.WaveViewStart} + 2 * int64_t{view.WaveMouseX};
    const ClickMove move = ruleFor(WaveClickTable, regionOf(x, view), button);
    out.command = clickCommand(move, x, view, frameRate, nullptr);
    return out;
}

EditorEffect FormMouseDown(MouseButton button, int32_t y, int32_t outerHeight,
                           int32_t playPosition, float frameRate, const WaveViewState& view,
                           const ByteArray& waveMarks)
{
    EditorEffect out;
    if (int64_t{y} > int64_t{outerHeight} - VideoClickMarginFromOuterHeight)
        return out;
    requirePositiveFrameRate(frameRate);
    out.wavIntervalMs = ImmediateRefreshMs;
    if (noCurrentLine(view))
        return out;
    const int64_t p = summaryIndexOfFrame(playPosition, frameRate);
    const ClickMove move = ruleFor(VideoClickTable, regionOf(p, view), button);
    out.command = clickCommand(move, p, view, frameRate, &waveMarks);
    return out;
}

EditColumns CheckBoxTimeClick(EditColumns columns)
{
    if (!columns.Texts && !columns.Times)
        columns.Texts = true;
    return columns;
}

EditColumns CheckBoxTextClick(EditColumns columns)
{
    if (!columns.Times && !columns.Texts)
        columns.Times = true;
    return columns;
}

EditorEffect buttonAction(EditorButton button)
{
    EditorEffect a;
    switch (button) {
    case EditorButton::Help: a.showHelp = true; break;
    case EditorButton::Save: a.save = true; break;
    case EditorButton::Back:
        a.nextPage = Page::OpenProject;
        a.closeEditor = true;
        break;
    case EditorButton::Next:
        a.nextPage = Page::FileTools;
        a.closeEditor = true;
        break;
    }
    return a;
}

}  // namespace vt
