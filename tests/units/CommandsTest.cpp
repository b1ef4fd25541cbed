#include "editor/Commands.h"

#include "editor/PlayControl.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace vt;

namespace {

EditCommand move(int32_t in, int32_t out, int32_t target = -1)
{
    EditCommand c;
    c.op = EditOp::Move;
    c.moveTimeIn = in;
    c.moveTimeOut = out;
    c.targetIndex = target;
    return c;
}

EditCommand op(EditOp o)
{
    EditCommand c;
    c.op = o;
    return c;
}

// The view a refresh left: the strip from index viewStart, the current line
// from index in to index out, the pointer last at mouseX.
WaveViewState shown(int32_t viewStart, int32_t in, int32_t out, int32_t mouseX = 0)
{
    WaveViewState view;
    view.WaveViewStart = viewStart;
    view.CurrentInIndex = in;
    view.CurrentOutIndex = out;
    view.WaveMouseX = mouseX;
    return view;
}

WaveViewState pointerAt(WaveViewState view, int32_t mouseX)
{
    view.WaveMouseX = mouseX;
    return view;
}

}  // namespace

TEST(KeyTable, EveryKeyAtTheSmallStep)
{
    struct Row { int32_t key; EditCommand command; };
    const Row rows[] = {
        {32, op(EditOp::PlayPause)},  {33, op(EditOp::FrontLine)}, {34, op(EditOp::BackLine)},
        {37, move(-2, -2)},           {38, move(0, 2)},            {39, move(2, 2)},
        {40, move(0, -2)},            {45, op(EditOp::Insert)},    {46, op(EditOp::Delete)},
        {'A', move(-8, -8)},          {'D', move(0, -4)},          {'E', move(0, 4)},
        {'F', move(4, 4)},            {'G', move(8, 8)},           {'R', op(EditOp::BackLine)},
        {'S', move(-4, -4)},          {'V', op(EditOp::Insert)},   {'W', op(EditOp::FrontLine)},
        {'X', op(EditOp::Delete)},
        // timing by speech, and the film's cuts
        {'C', op(EditOp::SnapToSpeech)},    {'T', op(EditOp::TimeNextLine)}, {'J', op(EditOp::PlayBeforeIn)},
        {'K', op(EditOp::PlayLine)},        {'L', op(EditOp::PlayAfterOut)}, {'B', op(EditOp::SnapToCutsOnOff)},
        {'N', op(EditOp::PreviousCut)},     {'M', op(EditOp::NextCut)},
        {'Q', EditCommand{}}, {13, EditCommand{}}, {27, EditCommand{}}, {0, EditCommand{}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(keyCommand(r.key, 2), r.command) << r.key;
}

TEST(KeyTable, StepSizeScalesTheMoves)
{
    EXPECT_EQ(keyCommand('A', StepSize(3)), move(-20, -20));
    EXPECT_EQ(keyCommand('G', StepSize(3)), move(20, 20));
    EXPECT_EQ(keyCommand(37, StepSize(0)), move(-1, -1));
    EXPECT_EQ(keyCommand(39, StepSize(0)), move(1, 1));
}

TEST(KeyTable, StepSizes)
{
    EXPECT_EQ(StepSize(0), 1);
    EXPECT_EQ(StepSize(1), 2);
    EXPECT_EQ(StepSize(2), 3);
    EXPECT_EQ(StepSize(3), 5);
    EXPECT_EQ(StepSize(-1), 3);  // nothing selected
    EXPECT_EQ(StepSize(4), 3);
}

TEST(KeyHandler, KeysDoNothingWhileEditingText)
{
    const EditorEffect o = FormKeyDown(' ', true, 1, 6);
    EXPECT_EQ(o.command, EditCommand{});
    EXPECT_EQ(o.playSpeed, std::nullopt);
    EXPECT_EQ(o.wavIntervalMs, std::nullopt);
    EXPECT_FALSE(o.restartWavTimer);
    // otherwise every key, used or not, restarts the refresh
    const EditorEffect unused = FormKeyDown('Q', false, 1, 6);
    EXPECT_EQ(unused.wavIntervalMs, 10);
    EXPECT_TRUE(unused.restartWavTimer);
    EXPECT_EQ(FormKeyDown('G', false, 3, 6).command, move(20, 20));
}

TEST(KeyHandler, SpacePausesNormalPlayAndPlaysAnythingElse)
{
    EXPECT_EQ(FormKeyDown(' ', false, 1, 6).playSpeed, 0);
    EXPECT_EQ(FormKeyDown(' ', false, 1, 6).pointer, PointerShape::AppStarting);
    for (int32_t speed : {0, 3, -5, 7, 2000}) {
        EXPECT_EQ(FormKeyDown(' ', false, 1, speed).playSpeed, 6) << speed;
        EXPECT_EQ(FormKeyDown(' ', false, 1, speed).pointer, PointerShape::Arrow) << speed;
    }
}

TEST(KeyHandler, InsertionStandsTheVideoStill)
{
    for (int32_t key : {int32_t{45}, int32_t{'V'}}) {
        for (int32_t speed : {6, -3, 0}) {
            const EditorEffect e = FormKeyDown(key, false, 1, speed);
            EXPECT_EQ(e.command, op(EditOp::Insert)) << key;
            EXPECT_EQ(e.playSpeed, 0) << key << " at " << speed;
            EXPECT_EQ(e.pointer, PointerShape::AppStarting) << key << " at " << speed;
        }
    }
    // the other commands leave the speed to the pointer
    for (int32_t key : {'X', 'W', 'G'})
        EXPECT_EQ(FormKeyDown(key, false, 1, 6).playSpeed, std::nullopt) << key;
}

// Timing by speech goes on listening, and a round plays its stretch, from
// whatever speed: these keys play at the normal speed. Snapping, switching
// cuts and jumping between them leave the speed alone.
TEST(KeyHandler, SpeechKeysPlayAtTheNormalSpeed)
{
    const struct {
        int32_t key;
        std::optional<int32_t> speed;
    } rows[] = {
        {'T', NormalPlaySpeed}, {'J', NormalPlaySpeed}, {'K', NormalPlaySpeed}, {'L', NormalPlaySpeed},
        {'C', std::nullopt},    {'B', std::nullopt},    {'N', std::nullopt},    {'M', std::nullopt},
    };
    for (const auto& r : rows)
        for (int32_t speed : {0, -3, NormalPlaySpeed}) {
            const EditorEffect e = FormKeyDown(r.key, false, 1, speed);
            EXPECT_EQ(e.playSpeed, r.speed) << char(r.key) << " at " << speed;
            if (r.speed)
                EXPECT_EQ(e.pointer, PointerShape::Arrow) << char(r.key) << " at " << speed;
        }
}

TEST(Wheel, OneStepOfTheOutPoint)
{
    EXPECT_EQ(FormMouseWheel(WheelTurn::TowardsUser, 1).command, move(0, -2));
    EXPECT_EQ(FormMouseWheel(WheelTurn::AwayFromUser, 1).command, move(0, 2));
    EXPECT_EQ(FormMouseWheel(WheelTurn::AwayFromUser, -1).command, move(0, 3));
    EXPECT_EQ(FormMouseWheel(WheelTurn::TowardsUser, 1).wavIntervalMs, 10);
}

// ---------------------------------------------------------------------------
// At 25 fps one summary index is 1/8 frame. The current line spans indices
// 1200 (frame 150) to 1400 (frame 175); the view starts at index 1000.

TEST(WaveformClick, ButtonsByPlace)
{
    const WaveViewState view = shown(1000, 1200, 1400);
    using B = MouseButton;
    struct Case { B button; int32_t mouseX; EditCommand command; };
    const Case cases[] = {
        {B::Left, 50, move(-12, 0, 1100)},   // -100 indices = -12.5 frames
        {B::Middle, 50, move(-12, 0, 1100)},
        {B::Right, 50, EditCommand{}},
        {B::Left, 100, move(0, 0, 1200)},    // at the in-point: inside
        {B::Left, 150, move(12, 0, 1300)},
        {B::Right, 150, move(0, -12, 1300)},
        {B::Left, 200, EditCommand{}},       // at the out-point: after
        {B::Right, 200, move(0, 0, 1400)},
        {B::Right, 300, move(0, 25, 1600)},
    };
    for (const Case& c : cases) {
        const EditorEffect o = PaintBoxWavMouseDown(c.button, pointerAt(view, c.mouseX), 25.0f);
        EXPECT_EQ(o.command, c.command) << int(c.button) << " at " << c.mouseX;
        EXPECT_EQ(o.wavIntervalMs, 10);
    }
}

TEST(WaveformClick, NegativeDistancesTruncateTowardZero)
{
    // 3 and 10 indices before an odd in-point: -0.375 and -1.25 frames
    EXPECT_EQ(PaintBoxWavMouseDown(MouseButton::Left, shown(1000, 1203, 1400, 100), 25.0f).command,
              move(0, 0, 1200));
    EXPECT_EQ(PaintBoxWavMouseDown(MouseButton::Left, shown(1000, 1210, 1400, 100), 25.0f).command,
              move(-1, 0, 1200));
    EXPECT_EQ(PaintBoxWavMouseDown(MouseButton::Right, shown(1000, 1200, 1400, 300), 29.97f).command,
              move(0, 29, 1600));
}

TEST(WaveformClick, NoCurrentLineMovesNothing)
{
    const WaveViewState none = shown(1000, -1, -1);
    for (MouseButton b : {MouseButton::Left, MouseButton::Right}) {
        EXPECT_EQ(PaintBoxWavMouseDown(b, pointerAt(none, 300), 25.0f).command, EditCommand{});
        EXPECT_EQ(FormMouseDown(b, 100, 600, 200, 25.0f, none, ByteArray(4000, 0)).command,
                  EditCommand{});
    }
}

TEST(VideoClick, ButtonsByPlayPosition)
{
    const WaveViewState view = shown(1000, 1200, 1400);
    ByteArray marks(4000, 0);
    for (int i = 1000; i <= 1100; ++i) marks[i] = 1;  // the line before ends at index 1100
    using B = MouseButton;
    struct Case { B button; int32_t frame; EditCommand command; };
    EditCommand previous = move(0, 2, 1120);  // 1120 - 1100 = 20 indices = 2.5 frames
    previous.preferPreviousLine = true;
    const Case cases[] = {
        {B::Left, 140, move(-10, 0, 1120)},
        {B::Right, 140, previous},
        {B::Left, 160, move(10, 0, 1280)},
        {B::Right, 160, move(0, -15, 1280)},
        {B::Left, 180, move(0, 5, 1440)},
        {B::Right, 180, move(0, 5, 1440)},
    };
    for (const Case& c : cases) {
        const EditorEffect o = FormMouseDown(c.button, 100, 600, c.frame, 25.0f, view, marks);
        EXPECT_EQ(o.command, c.command) << int(c.button) << " at frame " << c.frame;
        EXPECT_EQ(o.wavIntervalMs, 10);
    }
}

TEST(VideoClick, IgnoredBelowOuterHeightMinus300)
{
    const WaveViewState view = shown(1000, 1200, 1400);
    const ByteArray marks(4000, 0);
    EXPECT_EQ(FormMouseDown(MouseButton::Left, 300, 600, 180, 25.0f, view, marks).command,
              move(0, 5, 1440));
    const EditorEffect low = FormMouseDown(MouseButton::Left, 301, 600, 180, 25.0f, view, marks);
    EXPECT_EQ(low.command, EditCommand{});
    EXPECT_EQ(low.wavIntervalMs, std::nullopt);
    EXPECT_THROW(FormMouseDown(MouseButton::Left, 100, 600, 180, 0.0f, view, marks),
                 std::invalid_argument);
}

TEST(VideoClick, EndOfThePreviousLine)
{
    ByteArray marks(4000, 0);
    for (int i = 1000; i <= 1100; ++i) marks[i] = 1;
    EXPECT_EQ(previousLineEnd(1200, 900, marks), 1100);
    EXPECT_EQ(previousLineEnd(1201, 900, marks), 1099);  // odd steps meet odd indices
    // nothing covered in view: stops at the first index at or left of the view start
    EXPECT_EQ(previousLineEnd(1200, 1150, marks), 1150);
    EXPECT_EQ(previousLineEnd(1151, 1150, marks), 1149);  // no step at all
    // a stale in-point past the end of the marks reads nothing out of range
    const ByteArray shortMarks(marks.begin(), marks.begin() + 1150);
    EXPECT_EQ(previousLineEnd(1300, 900, shortMarks), 1100);
}

// ---------------------------------------------------------------------------

TEST(CheckBoxes, OneStaysTicked)
{
    EXPECT_EQ(CheckBoxTimeClick({false, false}), (EditColumns{false, true}));
    EXPECT_EQ(CheckBoxTimeClick({false, true}), (EditColumns{false, true}));
    EXPECT_EQ(CheckBoxTimeClick({true, false}), (EditColumns{true, false}));
    EXPECT_EQ(CheckBoxTextClick({false, false}), (EditColumns{true, false}));
    EXPECT_EQ(CheckBoxTextClick({true, false}), (EditColumns{true, false}));
    EXPECT_EQ(CheckBoxTextClick({true, true}), (EditColumns{true, true}));
}

// ---------------------------------------------------------------------------

TEST(Buttons, BackAndNextCloseTheEditorForTheirScreen)
{
    struct Row {
        EditorButton button;
        std::optional<Page::Number> nextPage;
        bool closes, saves, showsHelp;
    };
    const Row rows[] = {
        {EditorButton::Back, Page::OpenProject, true, false, false},
        {EditorButton::Next, Page::FileTools, true, false, false},
        {EditorButton::Save, std::nullopt, false, true, false},
        {EditorButton::Help, std::nullopt, false, false, true},
    };
    for (const Row& r : rows) {
        const EditorEffect e = buttonAction(r.button);
        EXPECT_EQ(e.nextPage, r.nextPage) << int(r.button);
        EXPECT_EQ(e.closeEditor, r.closes) << int(r.button);
        EXPECT_EQ(e.save, r.saves) << int(r.button);
        EXPECT_EQ(e.showHelp, r.showsHelp) << int(r.button);
    }
}
