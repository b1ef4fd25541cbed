#include "editor/PlayControl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

using namespace vt;

namespace {

using P = PlayerCommand;
using S = PointerShape;
constexpr std::optional<int32_t> unchanged = std::nullopt;

struct TickRow {
    int32_t speed;
    PlayerCommands commands;
    std::optional<int32_t> playMs, wavMs;
    int32_t selStart, selEnd;
    PointerShape pointer;
};

void expectTick(const TickRow& row, float frameRate)
{
    SCOPED_TRACE(::testing::Message() << "PlaySpeed " << row.speed << " at " << frameRate << " fps");
    const EditorEffect t = playTick(row.speed, 0, frameRate);
    EXPECT_EQ(t.playerCommands, row.commands);
    EXPECT_EQ(t.playIntervalMs, row.playMs);
    EXPECT_EQ(t.wavIntervalMs, row.wavMs);
    ASSERT_TRUE(t.speedGauge);
    EXPECT_EQ(t.speedGauge->start, row.selStart);
    EXPECT_EQ(t.speedGauge->end, row.selEnd);
    EXPECT_EQ(t.pointer, row.pointer);
}

PlayerCommands jump(int32_t frames) { return {P::stepBy(frames), P::play()}; }

const PlayerCommands pauseStop{P::pause(), P::stop()};

}  // namespace

TEST(PlayTick, EveryLevelAt25fps)
{
    const TickRow rows[] = {
        {-1000, pauseStop, unchanged, unchanged, 10, 10, S::SizeWE},
        {-999, jump(-40), 200, 200, 0, 10, S::SizeWE},
        {-10, jump(-40), 200, 200, 0, 10, S::SizeWE},
        {-9, jump(-27), 200, 200, 1, 10, S::SizeWE},
        {-8, jump(-20), 200, 200, 2, 10, S::SizeWE},
        {-7, jump(-15), 200, 200, 3, 10, S::SizeWE},
        {-6, jump(-20), 333, 333, 4, 10, S::SizeWE},
        {-5, jump(-16), 333, 333, 5, 10, S::SizeWE},
        {-4, jump(-20), 500, 500, 6, 10, S::SizeWE},
        {-3, {P::stepBy(-1)}, 80, 80, 7, 10, S::SizeWE},
        {-2, {P::stepBy(-1)}, 140, 140, 8, 10, S::SizeWE},
        {-1, {P::stepBy(-1)}, 200, 100, 9, 10, S::SizeWE},
        {0, pauseStop, unchanged, 100, 10, 10, S::AppStarting},
        {1, {P::stepBy(1)}, 200, 100, 10, 11, S::SizeWE},
        {2, {P::stepBy(1)}, 140, 140, 10, 12, S::SizeWE},
        {3, {P::play()}, 100, 100, 10, 13, S::SizeWE},
        {4, {P::play()}, 100, 100, 10, 14, S::SizeWE},
        {5, {P::play()}, 70, 100, 10, 15, S::SizeWE},
        {6, {P::play()}, 50, 40, 10, 16, S::Arrow},
        {7, jump(4), 333, 333, 10, 17, S::SizeWE},
        {8, jump(8), 333, 333, 10, 18, S::SizeWE},
        {9, jump(17), 333, 333, 10, 19, S::SizeWE},
        {10, jump(25), 333, 333, 10, 20, S::SizeWE},
        {999, jump(25), 333, 333, 10, 20, S::SizeWE},
        {1000, pauseStop, unchanged, unchanged, 10, 10, S::SizeWE},
        {std::numeric_limits<int32_t>::max(), pauseStop, unchanged, unchanged, 10, 10, S::SizeWE},
    };
    for (const TickRow& row : rows)
        expectTick(row, 25.0f);
}

TEST(PlayTick, JumpsAtNtscAndFilmRates)
{
    // 23.976 and 29.97 are stored as 4-byte floats (23.9759998..., 29.9699993...)
    const int32_t levels[] = {-10, -9, -8, -7, -6, -5, -4, 7, 8, 9, 10};
    const int32_t at23976[] = {-38, -26, -19, -14, -19, -15, -19, 4, 7, 16, 23};
    const int32_t at2997[] = {-47, -32, -23, -17, -23, -19, -23, 5, 9, 20, 29};
    for (size_t i = 0; i < std::size(levels); ++i) {
        SCOPED_TRACE(levels[i]);
        EXPECT_EQ(playTick(levels[i], 0, 23.976f).playerCommands, jump(at23976[i]));
        EXPECT_EQ(playTick(levels[i], 0, 29.97f).playerCommands, jump(at2997[i]));
    }
    EXPECT_EQ(playTick(6, 0, 23.976f).wavIntervalMs, 41);
    EXPECT_EQ(playTick(6, 0, 29.97f).wavIntervalMs, 33);
}

TEST(PlayTick, WholeNumberJumpsAreNotCutShort)
{
    // 0.6 x 50, 0.66 x 50, 1.1 x 50, 0.7 x 30 and 0.6 x 30 are whole frames
    EXPECT_EQ(playTick(-7, 0, 50.0f).playerCommands, jump(-30));
    EXPECT_EQ(playTick(-5, 0, 50.0f).playerCommands, jump(-33));
    EXPECT_EQ(playTick(-9, 0, 50.0f).playerCommands, jump(-55));
    EXPECT_EQ(playTick(9, 0, 30.0f).playerCommands, jump(21));
    EXPECT_EQ(playTick(-7, 0, 30.0f).playerCommands, jump(-18));
    EXPECT_EQ(playTick(8, 0, 50.0f).playerCommands, jump(16));  // 16.5
}

TEST(PlayTick, PulsePhaseSurvivesLevelChanges)
{
    // pause halves: 200 ms at level 3, 100 at 4, 30 at 5
    EXPECT_EQ(playTick(3, 1, 25.0f).playIntervalMs, 200);
    EXPECT_EQ(playTick(4, 1, 25.0f).playIntervalMs, 100);
    // a play half begun at level 3 ends with level 5's pause, then level 4 plays
    int32_t phase = 0;   // PulsePhase, as the window keeps it
    auto tick = [&](int32_t speed) {
        EditorEffect t = playTick(speed, phase, 25.0f);
        phase = t.pulsePhase.value_or(phase);
        return t;
    };
    EditorEffect t = tick(3);
    EXPECT_EQ(t.pulsePhase, 1);
    t = tick(5);
    EXPECT_EQ(t.playerCommands, PlayerCommands{P::pause()});
    EXPECT_EQ(t.playIntervalMs, 30);
    EXPECT_EQ(t.wavIntervalMs, 100);
    EXPECT_EQ(t.pulsePhase, 0);
    t = tick(4);
    EXPECT_EQ(t.playerCommands, PlayerCommands{P::play()});
    // other levels leave the phase alone, so the pulse resumes where it stood
    EXPECT_EQ(tick(6).pulsePhase, std::nullopt);
    EXPECT_EQ(tick(0).pulsePhase, std::nullopt);
    EXPECT_EQ(tick(3).playerCommands, PlayerCommands{P::pause()});
}

TEST(PlayTick, FramePeriodAndBadFrameRates)
{
    EXPECT_EQ(framePeriodMs(60.0f), 16);
    EXPECT_EQ(framePeriodMs(10.0f), 100);
    EXPECT_EQ(framePeriodMs(9.5f), 100);
    EXPECT_THROW(playTick(6, 0, 0.0f), std::invalid_argument);
    EXPECT_THROW(playTick(-10, 0, -25.0f), std::invalid_argument);
    EXPECT_THROW(playTick(6, 0, std::nanf("")), std::invalid_argument);
}

// ---------------------------------------------------------------------------

TEST(SpeedDial, DesignWindowPositions)
{
    struct Band { int32_t from, to, speed; };
    // client 684 x 562: centre 342, levels 353/22 = 16.045 px wide
    const Band bands[] = {{326, 358, 0}, {359, 374, 1},  {375, 375, 2},   {439, 454, 6},
                          {455, 470, 7}, {502, 502, 9},  {503, 503, 10},  {683, 683, 21},
                          {310, 325, -1}, {309, 309, -2}, {182, 182, -9}, {181, 181, -10},
                          {0, 0, -21}};
    for (const Band& b : bands)
        for (int32_t x = b.from; x <= b.to; ++x)
            EXPECT_EQ(FormMouseMove(x, 100, 684, 562, false).playSpeed, b.speed) << x;
}

TEST(SpeedDial, CentreOfAnOddWidthIsFractional)
{
    // centre 342.5: 326 is 1.03 levels left of it
    EXPECT_EQ(dialSpeed(326, 685), -1);
    EXPECT_EQ(dialSpeed(358, 685), 0);
    EXPECT_EQ(dialSpeed(359, 685), 1);
}

TEST(SpeedDial, OnlyAboveTheTimeRow)
{
    EXPECT_EQ(FormMouseMove(500, 325, 684, 562, false).playSpeed, 9);
    const EditorEffect below = FormMouseMove(500, 326, 684, 562, false);
    EXPECT_EQ(below.playSpeed, std::nullopt);
    EXPECT_EQ(below.wavIntervalMs, 10);
    EXPECT_EQ(below.reveal[RevealedControl::TrackBar1], false);
}

TEST(SpeedDial, NothingButTheWaveFlagWhileEditing)
{
    const EditorEffect e = FormMouseMove(600, 100, 684, 562, true);
    EXPECT_EQ(e.mouseOverWave, false);
    EXPECT_EQ(e.playSpeed, std::nullopt);
    EXPECT_EQ(e.wavIntervalMs, std::nullopt);
    EXPECT_FALSE(e.reveal.anySet());
    EXPECT_TRUE(e.playerCommands.empty());
}

// ---------------------------------------------------------------------------

TEST(RevealRules, EdgesInTheDesignWindow)
{
    using RC = RevealedControl;
    struct Case { int32_t x, y; RC control; bool on; };
    const Case cases[] = {
        {300, 493, RC::ButtonHelp, true},    {300, 492, RC::ButtonHelp, false},
        {300, 493, RC::CheckBoxText, true},  {300, 492, RC::ButtonNext, false},
        {63, 363, RC::RadioGroup1, true},    {64, 363, RC::RadioGroup1, false},
        {63, 362, RC::RadioGroup1, false},
        {621, 361, RC::TrackBar2, true},     {620, 361, RC::TrackBar2, false},
        {621, 360, RC::TrackBar2, false},
        {300, 99, RC::TrackBar1, true},      {300, 100, RC::TrackBar1, false},
        {300, 303, RC::ScrollBar1, true},    {300, 331, RC::ScrollBar1, true},
        {300, 302, RC::ScrollBar1, false},   {300, 332, RC::ScrollBar1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormMouseMove(c.x, c.y, 684, 562, false).reveal[c.control], c.on)
            << c.x << "," << c.y << " control " << int(c.control);
}

// ---------------------------------------------------------------------------

TEST(WaveZones, DesignWidth556)
{
    struct Band { int32_t from, to; std::optional<int32_t> speed; };
    const Band bands[] = {{0, 15, -5}, {16, 32, -4}, {33, 60, -3},        {61, 71, -2},
                          {72, 82, -1}, {83, 138, 0}, {139, 372, unchanged}, {373, 555, 6}};
    for (const Band& b : bands)
        for (int32_t x = b.from; x <= b.to; ++x)
            EXPECT_EQ(waveZoneSpeed(x, 556), b.speed) << x;
}

TEST(WaveZones, MoveRecordsThePointer)
{
    const EditorEffect e = PaintBoxWavMouseMove(200, 556);
    EXPECT_EQ(e.mouseOverWave, true);
    EXPECT_EQ(e.waveMouseX, 200);
    EXPECT_EQ(e.playSpeed, std::nullopt);
    // a wider strip scales the zones: 3 % of 1000 is 30, 67 % is 670
    EXPECT_EQ(PaintBoxWavMouseMove(29, 1000).playSpeed, -5);
    EXPECT_EQ(PaintBoxWavMouseMove(30, 1000).playSpeed, -4);
    EXPECT_EQ(PaintBoxWavMouseMove(670, 1000).playSpeed, std::nullopt);
    EXPECT_EQ(PaintBoxWavMouseMove(671, 1000).playSpeed, 6);
}

// ---------------------------------------------------------------------------

TEST(PointerHandlers, EnteringTheWaveformStops)
{
    using RC = RevealedControl;
    const EditorEffect e = PaintBoxWavMouseEnter();
    EXPECT_EQ(e.mouseOverWave, true);
    EXPECT_EQ(e.playSpeed, 0);
    EXPECT_EQ(e.pointer, PointerShape::AppStarting);
    for (RC c : {RC::ButtonHelp, RC::ButtonSave, RC::ButtonBack, RC::ButtonNext, RC::CheckBoxTime,
                 RC::CheckBoxText, RC::RadioGroup1, RC::TrackBar2, RC::ScrollBar1})
        EXPECT_EQ(e.reveal[c], false) << int(c);
    EXPECT_EQ(e.reveal[RC::TrackBar1], std::nullopt);
    EXPECT_TRUE(e.playerCommands.empty());
}

TEST(PointerHandlers, SubtitleLabelPausesAtOnce)
{
    using RC = RevealedControl;
    const EditorEffect e = LabeltxtMouseMove();
    EXPECT_EQ(e.playerCommands, PlayerCommands{P::pause()});
    EXPECT_EQ(e.playSpeed, 0);
    EXPECT_EQ(e.mouseOverWave, false);
    for (RC c : {RC::ButtonHelp, RC::ButtonSave, RC::ButtonBack, RC::ButtonNext, RC::CheckBoxTime,
                 RC::CheckBoxText, RC::TrackBar1, RC::TrackBar2})
        EXPECT_EQ(e.reveal[c], false) << int(c);
    EXPECT_EQ(e.reveal[RC::RadioGroup1], std::nullopt);
    EXPECT_EQ(e.reveal[RC::ScrollBar1], std::nullopt);
}

TEST(PointerHandlers, ProgressBarSeeksAndPlays)
{
    EXPECT_EQ(ScrollBar1Scroll(1510, 1500).playerCommands, (PlayerCommands{P::stepBy(10), P::play()}));
    EXPECT_EQ(ScrollBar1Scroll(100, 4100).playerCommands, (PlayerCommands{P::stepBy(-4000), P::play()}));
    EXPECT_EQ(ScrollBar1Scroll(7, 7).playerCommands, (PlayerCommands{P::stepBy(0), P::play()}));
    EXPECT_EQ(ScrollBar1Scroll(7, 7).playSpeed, 6);
}
