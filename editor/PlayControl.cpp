#include "editor/PlayControl.h"

#include "core/FrameRate.h"
#include "core/Numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vt {

namespace {

using A = TickAction;
using R = IntervalRule;

constexpr int32_t Lowest = std::numeric_limits<int32_t>::min();
constexpr int32_t Highest = std::numeric_limits<int32_t>::max();

// Levels -4, -6 and -8 jump back by the same 0.8 s and differ only in how
// often; level -1 steps every 200 ms but redraws every 100 ms.
constexpr SpeedLevel SpeedLevelTable[] = {
    // lowest highest action        jump  play rule  play pause wav rule  wav  selection
    {-999, -10, A::JumpBack,        160, R::Fixed,     200, 0, R::Fixed,       200, 0, 10},
    {-9,   -9,  A::JumpBack,        110, R::Fixed,     200, 0, R::Fixed,       200, 1, 10},
    {-8,   -8,  A::JumpBack,        80,  R::Fixed,     200, 0, R::Fixed,       200, 2, 10},
    {-7,   -7,  A::JumpBack,        60,  R::Fixed,     200, 0, R::Fixed,       200, 3, 10},
    {-6,   -6,  A::JumpBack,        80,  R::Fixed,     333, 0, R::Fixed,       333, 4, 10},
    {-5,   -5,  A::JumpBack,        66,  R::Fixed,     333, 0, R::Fixed,       333, 5, 10},
    {-4,   -4,  A::JumpBack,        80,  R::Fixed,     500, 0, R::Fixed,       500, 6, 10},
    {-3,   -3,  A::StepBack,        0,   R::Fixed,     80,  0, R::Fixed,       80,  7, 10},
    {-2,   -2,  A::StepBack,        0,   R::Fixed,     140, 0, R::Fixed,       140, 8, 10},
    {-1,   -1,  A::StepBack,        0,   R::Fixed,     200, 0, R::Fixed,       100, 9, 10},
    {0,    0,   A::PauseAndStop,    0,   R::Unchanged, 0,   0, R::Fixed,       100, 10, 10},
    {1,    1,   A::StepForward,     0,   R::Fixed,     200, 0, R::Fixed,       100, 10, 11},
    {2,    2,   A::StepForward,     0,   R::Fixed,     140, 0, R::Fixed,       140, 10, 12},
    {3,    3,   A::Pulse,           0,   R::Fixed,     100, 200, R::Fixed,     100, 10, 13},
    {4,    4,   A::Pulse,           0,   R::Fixed,     100, 100, R::Fixed,     100, 10, 14},
    {5,    5,   A::Pulse,           0,   R::Fixed,     70,  30, R::Fixed,      100, 10, 15},
    {6,    6,   A::Play,            0,   R::Fixed,     50,  0, R::FramePeriod, 0,   10, 16},
    {7,    7,   A::JumpForward,     17,  R::Fixed,     333, 0, R::Fixed,       333, 10, 17},
    {8,    8,   A::JumpForward,     33,  R::Fixed,     333, 0, R::Fixed,       333, 10, 18},
    {9,    9,   A::JumpForward,     70,  R::Fixed,     333, 0, R::Fixed,       333, 10, 19},
    {10,   999, A::JumpForward,     100, R::Fixed,     333, 0, R::Fixed,       333, 10, 20},
    // Levels out of the dial's reach stand still and leave both timers alone.
    {Lowest, Highest, A::PauseAndStop, 0, R::Unchanged, 0, 0, R::Unchanged,  0,   10, 10},
};

// Trunc(seconds x FrameRate) with the seconds given in hundredths, so that a
// product that is a whole number of frames (0.8 s at 25 fps) is never taken
// for one frame less.
int32_t jumpFrames(int32_t centiseconds, float frameRate)
{
    return static_cast<int32_t>(std::trunc(centiseconds * static_cast<double>(frameRate) / 100.0));
}

std::optional<int32_t> interval(IntervalRule rule, int32_t ms, float frameRate)
{
    switch (rule) {
    case IntervalRule::Fixed: return ms;
    case IntervalRule::FramePeriod: return framePeriodMs(frameRate);
    case IntervalRule::Unchanged: break;
    }
    return std::nullopt;
}

}  // namespace

std::span<const SpeedLevel> speedLevels()
{
    return SpeedLevelTable;
}

const SpeedLevel& speedLevelFor(int32_t playSpeed)
{
    for (const SpeedLevel& row : SpeedLevelTable)
        if (row.lowest <= playSpeed && playSpeed <= row.highest)
            return row;
    return SpeedLevelTable[std::size(SpeedLevelTable) - 1];  // unreachable: the last row takes all
}

PointerShape pointerForSpeed(int32_t playSpeed)
{
    if (playSpeed == 0)
        return PointerShape::AppStarting;
    if (playSpeed == NormalPlaySpeed)
        return PointerShape::Arrow;
    return PointerShape::SizeWE;
}

int32_t framePeriodMs(float frameRate)
{
    requirePositiveFrameRate(frameRate);
    const double ms = 1000.0 / static_cast<double>(frameRate);
    return ms < 100.0 ? static_cast<int32_t>(ms) : 100;
}

EditorEffect playTick(int32_t playSpeed, int32_t pulsePhase, float frameRate)
{
    requirePositiveFrameRate(frameRate);
    const SpeedLevel& row = speedLevelFor(playSpeed);

    EditorEffect tick;
    tick.pointer = pointerForSpeed(playSpeed);
    tick.speedGauge = GaugeSelection{row.selectionStart, row.selectionEnd};
    tick.playIntervalMs = interval(row.playRule, row.playMs, frameRate);
    tick.wavIntervalMs = interval(row.wavRule, row.wavMs, frameRate);

    switch (row.action) {
    case TickAction::JumpBack:
        tick.playerCommands = {PlayerCommand::stepBy(-jumpFrames(row.jumpCentiseconds, frameRate)),
                         PlayerCommand::play()};
        break;
    case TickAction::JumpForward:
        tick.playerCommands = {PlayerCommand::stepBy(jumpFrames(row.jumpCentiseconds, frameRate)),
                         PlayerCommand::play()};
        break;
    case TickAction::StepBack:
        tick.playerCommands = {PlayerCommand::stepBy(-1)};
        break;
    case TickAction::StepForward:
        tick.playerCommands = {PlayerCommand::stepBy(1)};
        break;
    case TickAction::Pulse:
        // The phase survives a change between the pulse levels: a play half
        // that has just begun is followed by the new level's pause.
        if (pulsePhase == 0) {
            tick.playIntervalMs = row.playMs;
            tick.playerCommands = {PlayerCommand::play()};
            tick.pulsePhase = 1;
        } else {
            tick.playIntervalMs = row.pauseMs;
            tick.playerCommands = {PlayerCommand::pause()};
            tick.pulsePhase = 0;
        }
        break;
    case TickAction::Play:
        tick.playerCommands = {PlayerCommand::play()};
        break;
    case TickAction::PauseAndStop:
        tick.playerCommands = {PlayerCommand::pause(), PlayerCommand::stop()};
        break;
    }
    return tick;
}

// ---------------------------------------------------------------------------

namespace {

using RC = RevealedControl;
using F = ZoneEdge::From;

constexpr ZoneEdge none{};
constexpr ZoneEdge origin(int32_t px) { return {F::Origin, px}; }
constexpr ZoneEdge fromWidth(int32_t px) { return {F::ClientWidth, px}; }
constexpr ZoneEdge fromHeight(int32_t px) { return {F::ClientHeight, px}; }

// A control that is disabled or hidden lets the pointer through to the
// window, which reveals it once the pointer is in its zone; from then on the
// control takes the moves itself and stays until the pointer leaves it.
constexpr RevealZone RevealZoneTable[] = {
    //                  x above          x below    y above           y below
    {RC::ButtonHelp,   none,           none,      fromHeight(-70),  none},
    {RC::ButtonSave,   none,           none,      fromHeight(-70),  none},
    {RC::ButtonBack,   none,           none,      fromHeight(-70),  none},
    {RC::ButtonNext,   none,           none,      fromHeight(-70),  none},
    {RC::CheckBoxTime, none,           none,      fromHeight(-70),  none},
    {RC::CheckBoxText, none,           none,      fromHeight(-70),  none},
    {RC::RadioGroup1,  none,           origin(64), fromHeight(-200), none},
    {RC::TrackBar2,    fromWidth(-64), none,      fromHeight(-202), none},
    {RC::TrackBar1,    none,           none,      none,             origin(100)},
    {RC::ScrollBar1,   none,           none,      fromHeight(-260), fromHeight(-230)},
};

int64_t edgeAt(const ZoneEdge& e, int32_t clientWidth, int32_t clientHeight)
{
    switch (e.from) {
    case F::ClientWidth: return int64_t{clientWidth} + e.offset;
    case F::ClientHeight: return int64_t{clientHeight} + e.offset;
    case F::Origin:
    case F::None: break;
    }
    return e.offset;
}

bool inside(const RevealZone& z, int32_t x, int32_t y, int32_t cw, int32_t ch)
{
    if (z.xAbove.from != F::None && !(x > edgeAt(z.xAbove, cw, ch))) return false;
    if (z.xBelow.from != F::None && !(x < edgeAt(z.xBelow, cw, ch))) return false;
    if (z.yAbove.from != F::None && !(y > edgeAt(z.yAbove, cw, ch))) return false;
    if (z.yBelow.from != F::None && !(y < edgeAt(z.yBelow, cw, ch))) return false;
    return true;
}

// The six controls of the bottom row.
constexpr RevealedControl BottomRow[] = {RC::ButtonHelp,   RC::ButtonSave,  RC::ButtonBack,
                                         RC::ButtonNext,   RC::CheckBoxTime, RC::CheckBoxText};

void disableBottomRow(ControlReveal& reveal)
{
    for (RevealedControl c : BottomRow)
        reveal.set(c, false);
}

// Dial levels fall below the video only as far as the time row.
constexpr int32_t DialBottomFromHeight = -236;

// Tested in this order; each test that holds overwrites the one before, so
// the narrow zones at the left edge win over the wide standstill zone.
constexpr WaveZone WaveZoneTable[] = {
    {true, 25, 0},
    {true, 15, -1},
    {true, 13, -2},
    {true, 11, -3},
    {true, 6, -4},
    {true, 3, -5},
    {false, 67, NormalPlaySpeed},
};

}  // namespace

std::span<const RevealZone> revealZones()
{
    return RevealZoneTable;
}

ControlReveal revealFor(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight)
{
    ControlReveal reveal;
    for (const RevealZone& z : RevealZoneTable)
        reveal.set(z.control, inside(z, x, y, clientWidth, clientHeight));
    return reveal;
}

int32_t dialSpeed(int32_t x, int32_t clientWidth)
{
    const double levelWidth = SpeedGaugeWidth / 22.0;
    const double level = (x - clientWidth / 2.0) / levelWidth;
    return static_cast<int32_t>(std::trunc(level));
}

EditorEffect FormMouseMove(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight,
                           bool edit1Visible)
{
    EditorEffect effect;
    effect.mouseOverWave = false;
    if (edit1Visible)
        return effect;
    if (int64_t{y} < int64_t{clientHeight} + DialBottomFromHeight)
        effect.playSpeed = dialSpeed(x, clientWidth);
    effect.wavIntervalMs = ImmediateRefreshMs;
    effect.reveal = revealFor(x, y, clientWidth, clientHeight);
    return effect;
}

EditorEffect PaintBoxWavMouseEnter()
{
    EditorEffect effect;
    effect.mouseOverWave = true;
    effect.playSpeed = 0;
    effect.pointer = PointerShape::AppStarting;
    effect.reveal.set(RC::ScrollBar1, false);
    disableBottomRow(effect.reveal);
    effect.reveal.set(RC::TrackBar2, false);
    effect.reveal.set(RC::RadioGroup1, false);
    return effect;
}

std::span<const WaveZone> waveZones()
{
    return WaveZoneTable;
}

std::optional<int32_t> waveZoneSpeed(int32_t x, int32_t waveWidth)
{
    std::optional<int32_t> speed;
    for (const WaveZone& z : WaveZoneTable) {
        // Trunc(W x percent / 100), exact in integers
        const int64_t mark = int64_t{waveWidth} * z.percent / 100;
        if (z.below ? x < mark : x > mark)
            speed = z.playSpeed;
    }
    return speed;
}

EditorEffect PaintBoxWavMouseMove(int32_t x, int32_t waveWidth)
{
    EditorEffect effect;
    effect.mouseOverWave = true;
    effect.waveMouseX = x;
    effect.playSpeed = waveZoneSpeed(x, waveWidth);
    return effect;
}

EditorEffect LabeltxtMouseMove()
{
    EditorEffect effect;
    disableBottomRow(effect.reveal);
    effect.reveal.set(RC::TrackBar1, false);
    effect.reveal.set(RC::TrackBar2, false);
    effect.mouseOverWave = false;
    effect.playerCommands = {PlayerCommand::pause()};
    effect.playSpeed = 0;
    return effect;
}

EditorEffect ScrollBar1Scroll(int32_t scrollPosition, int32_t playPosition)
{
    EditorEffect effect;
    const int32_t delta = clampToInt32(int64_t{scrollPosition} - playPosition);
    effect.playerCommands = {PlayerCommand::stepBy(delta), PlayerCommand::play()};
    effect.playSpeed = NormalPlaySpeed;
    return effect;
}

}  // namespace vt
