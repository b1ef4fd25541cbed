// Mouse-driven playback: what one tick of TimerForPlay does at a speed level,
// and what the pointer handlers of the editor window change (speed level,
// waveform pointer, which controls are revealed).
//
// Nothing here touches a window or a player. Each function takes the values
// the window reads (pointer position, client size, player position ...) and
// returns an EditorEffect: what the window is to do.
#pragma once

#include "editor/EditorEffect.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vt {

// ---------------------------------------------------------------------------
// Speed levels and the play tick

// PlaySpeed at which the video plays normally.
inline constexpr int32_t NormalPlaySpeed = 6;
// Width of the speed gauge TrackBar1; the dial over the video is divided into
// 22 gauge-widths' worth of levels.
inline constexpr int SpeedGaugeWidth = 353;
// Every tick puts the gauge's thumb here, the mark of normal play; the
// selection (EditorEffect::speedGauge) from the standstill mark (10) to the
// level's mark shows the level.
inline constexpr int SpeedGaugeThumb = 16;
inline constexpr int SpeedGaugeStandstill = 10;
// Interval of the waveform refresh after any input, so that it shows at once.
inline constexpr int ImmediateRefreshMs = 10;

// What a row of the level table makes the player do.
enum class TickAction : uint8_t {
    JumpBack,       // step back Trunc(jump x FrameRate) frames, then play
    JumpForward,    // step forward Trunc(jump x FrameRate) frames, then play
    StepBack,       // one frame back, no play
    StepForward,    // one frame forward, no play
    Pulse,          // alternate play (playMs) and pause (pauseMs)
    Play,
    PauseAndStop,
};

// How a row sets one of the two timers.
enum class IntervalRule : uint8_t {
    Fixed,        // the row's value
    Unchanged,    // the timer keeps its interval
    FramePeriod,  // Trunc(1000 / FrameRate), at most 100
};

struct SpeedLevel {
    int32_t lowest;               // PlaySpeed range of the row, both ends included
    int32_t highest;
    TickAction action;
    int32_t jumpCentiseconds;     // JumpBack / JumpForward: the jump in 1/100 s
    IntervalRule playRule;
    int32_t playMs;               // Fixed: interval; Pulse: the play half
    int32_t pauseMs;              // Pulse only: the pause half
    IntervalRule wavRule;
    int32_t wavMs;
    int32_t selectionStart;       // TrackBar1 selection
    int32_t selectionEnd;
};

// The rows in the order they are looked up; the first row whose range holds
// the level applies. The last row takes every level above 999 or below -999.
std::span<const SpeedLevel> speedLevels();

// The row that applies to a level.
const SpeedLevel& speedLevelFor(int32_t playSpeed);

// One tick of TimerForPlay: the player commands, the two timers' intervals
// (empty where the level leaves one unchanged), the gauge's selection and the
// pointer shape; the pulse levels also set the next PulsePhase, the others
// leave it alone. Besides applying the effect, the tick handler puts
// ScrollBar1 at the player's position and TrackBar1's thumb at
// SpeedGaugeThumb first. Throws std::invalid_argument for a frame rate that
// is not a positive finite number (the loader never lets one through).
EditorEffect playTick(int32_t playSpeed, int32_t pulsePhase, float frameRate);

// The pointer shape that goes with a speed level.
PointerShape pointerForSpeed(int32_t playSpeed);

// Trunc(1000 / FrameRate), at most 100: the refresh interval of normal play.
int32_t framePeriodMs(float frameRate);

// ---------------------------------------------------------------------------
// Controls revealed and hidden by the pointer

// One edge of a reveal zone: a pixel position measured from the left/top
// edge or from the client width/height.
struct ZoneEdge {
    enum class From : uint8_t { None, Origin, ClientWidth, ClientHeight };
    From from = From::None;
    int32_t offset = 0;
};

// The control is revealed while the pointer lies strictly inside all the
// edges that are given.
struct RevealZone {
    RevealedControl control;
    ZoneEdge xAbove, xBelow, yAbove, yBelow;
};

std::span<const RevealZone> revealZones();

// Every control of the zone table, revealed or not, for a pointer at (x, y)
// over a client area of the given size.
ControlReveal revealFor(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight);

// ---------------------------------------------------------------------------
// Pointer handlers

// The speed dial over the video: Trunc((X - CW/2) / (W/22)) with W the gauge
// width, in floating point.
int32_t dialSpeed(int32_t x, int32_t clientWidth);

// The pointer moves over the window's own area (video, bare background).
// With the text field Edit1 open nothing but MouseOverWave changes.
EditorEffect FormMouseMove(int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight,
                           bool edit1Visible);

// The pointer enters the waveform strip PaintBoxWav: the video stops.
EditorEffect PaintBoxWavMouseEnter();

// One zone test of the waveform strip: X below (or above) Trunc(W x percent
// / 100) sets the level.
struct WaveZone {
    bool below;        // true: X < mark; false: X > mark
    int32_t percent;
    int32_t playSpeed;
};

// The tests in the order they are made; each one that holds overwrites the
// level set by the ones before.
std::span<const WaveZone> waveZones();

// The level that a pointer at x on a strip of the given width chooses, or
// empty where the strip leaves the level as it was.
std::optional<int32_t> waveZoneSpeed(int32_t x, int32_t waveWidth);

// The pointer moves over PaintBoxWav (x relative to the strip).
EditorEffect PaintBoxWavMouseMove(int32_t x, int32_t waveWidth);

// The pointer moves over the subtitle label Labeltxt: the video pauses at once.
EditorEffect LabeltxtMouseMove();

// Any scroll notification of the progress bar: seek to its position and play.
EditorEffect ScrollBar1Scroll(int32_t scrollPosition, int32_t playPosition);

}  // namespace vt
