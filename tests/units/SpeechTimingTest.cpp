#include "analysis/SpeechSearch.h"
#include "core/Coverage.h"
#include "editor/PlayControl.h"
#include "editor/SpeechTiming.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace vt;

namespace {

using Frames = std::pair<int32_t, int32_t>;

// Lines at 25 fps over 200 s of marks; line i has the text "t<i>", and two
// more texts wait untimed after the last line, as a text file's do.
struct Timeline25 {
    TimelineArray timeline;
    int32_t count = 0;
    int32_t texts = 0;
    ByteArray marks = ByteArray(40000, 0);
    TimelineState state{timeline, count, texts, marks, 25.0f};

    explicit Timeline25(std::vector<Frames> lines)
    {
        for (auto [start, end] : lines)
            timeline.push_back({start, end, u"t" + std::u16string(1, char16_t(u'0' + timeline.size()))});
        count = int32_t(timeline.size());
        timeline.push_back({FreeSlotFrame, FreeSlotFrame, u"next"});
        timeline.push_back({FreeSlotFrame, FreeSlotFrame, u"after"});
        texts = count + 2;
        rebuildWaveMarks(marks, timeline, count, 25.0f);
    }

    std::vector<Frames> lines() const
    {
        std::vector<Frames> out;
        for (int32_t i = 0; i < count; ++i)
            out.emplace_back(timeline[size_t(i)].StartFrame, timeline[size_t(i)].EndFrame);
        return out;
    }
};

const std::function<void()> NoSave = [] {};

// At 25 fps: 0.7 s is 17.5 frames (18 at least), 7 s 175 frames, 1 s of reach 25.
struct PlanCase {
    const char* what;
    std::vector<Frames> lines;
    SpeechFrameList speech;
    int32_t playPosition;
    int32_t mediaLength;
    std::optional<Frames> planned;
};

TEST(SpeechTiming, TheNextLineGoesOnTheNextUntimedSpanWithinItsLimits)
{
    const PlanCase cases[] = {
        {"a span in free time", {{0, 40}}, {{100, 160}}, 50, 5000, Frames{100, 160}},
        {"a span at the play position itself", {}, {{100, 160}}, 100, 5000, Frames{100, 160}},
        {"a span behind the play position is passed over", {}, {{100, 160}, {300, 340}}, 101, 5000, Frames{300, 340}},
        {"a short word is made 0.7 s long", {}, {{100, 105}}, 0, 5000, Frames{100, 118}},
        {"a long stretch is cut to 7 s", {}, {{100, 400}}, 0, 5000, Frames{100, 275}},
        {"it ends 2 frames before the next line", {{150, 170}}, {{100, 160}}, 0, 5000, Frames{100, 148}},
        {"a span timed already is passed over", {{95, 170}}, {{100, 160}, {300, 340}}, 0, 5000, Frames{300, 340}},
        {"a span without room for 0.7 s before the next line is passed over", {{115, 170}},
         {{100, 112}, {300, 340}}, 0, 5000, Frames{300, 340}},
        {"exactly 0.7 s of room is enough", {{120, 170}}, {{100, 105}}, 0, 5000, Frames{100, 118}},
        {"the film's end cuts it", {}, {{100, 160}}, 0, 130, Frames{100, 130}},
        {"no span left", {}, {{100, 160}}, 200, 5000, std::nullopt},
        {"speech starting on the line before's end frame is timed already", {{50, 100}}, {{100, 160}, {300, 340}}, 0,
         5000, Frames{300, 340}},
        {"speech starting a frame after the line before is not", {{50, 100}}, {{101, 160}}, 0, 5000,
         Frames{101, 160}},
    };
    for (const PlanCase& c : cases) {
        Timeline25 t(c.lines);
        const std::optional<PlannedLine> plan = planTimedLine(t.state, c.speech, c.playPosition, c.mediaLength);
        ASSERT_EQ(plan.has_value(), c.planned.has_value()) << c.what;
        if (plan)
            EXPECT_EQ(Frames(plan->in, plan->out), *c.planned) << c.what;
    }
}

TEST(SpeechTiming, TimingTheNextLineTakesTheNextTextLikeVWithTextsUnticked)
{
    Timeline25 t({{0, 40}, {500, 540}});
    const InsertResult r = timeNextLine(t.state, {{100, 160}}, -1, 50, 5000, {true, false}, NoSave);
    EXPECT_EQ(r.CurrentLine, 1);
    EXPECT_EQ(t.lines(), (std::vector<Frames>{{0, 40}, {100, 160}, {500, 540}}));
    // the texts stay in their slots: the new line shows the second text
    EXPECT_EQ(t.timeline[1].Text, u"t1");
    EXPECT_EQ(t.texts, 4);
    ByteArray expected(t.marks.size(), 0);
    rebuildWaveMarks(expected, t.timeline, t.count, 25.0f);
    EXPECT_EQ(t.marks, expected) << "the marks were not kept in step";

    // with the text column ticked the new line gets its own placeholder
    Timeline25 u({{0, 40}});
    timeNextLine(u.state, {{100, 160}}, -1, 50, 5000, {false, true}, NoSave);
    EXPECT_EQ(u.lines(), (std::vector<Frames>{{0, 40}, {100, 160}})) << "the key must time even with times unticked";
    EXPECT_EQ(u.timeline[1].Text, placeholderText(1));
}

struct SnapCase {
    const char* what;
    std::vector<Frames> lines;
    SpeechFrameList speech;
    Frames after;  // line 1
};

TEST(SpeechTiming, SnappingPutsEachEndOnTheNearestSpeechEdgeWithinASecond)
{
    const SnapCase cases[] = {
        {"both ends within reach", {{0, 20}, {100, 160}, {400, 440}}, {{90, 150}, {300, 350}}, {90, 150}},
        {"the nearer of two onsets", {{0, 20}, {100, 160}, {400, 440}}, {{80, 90}, {104, 150}}, {104, 150}},
        {"exactly a second away still snaps", {{0, 20}, {100, 160}, {400, 440}}, {{75, 185}}, {75, 185}},
        {"a second and a frame away does not", {{0, 20}, {100, 160}, {400, 440}}, {{74, 186}}, {100, 160}},
        {"an onset over the line before stays", {{0, 95}, {100, 160}, {400, 440}}, {{90, 150}}, {100, 150}},
        {"an end over the line after stays", {{0, 20}, {100, 160}, {170, 240}}, {{100, 175}}, {100, 160}},
        {"an onset on the line before's end frame stays", {{0, 95}, {100, 160}, {400, 440}}, {{95, 150}}, {100, 150}},
        {"an onset on the frame after it snaps", {{0, 95}, {100, 160}, {400, 440}}, {{96, 150}}, {96, 150}},
        {"an end on the line after's start stays", {{0, 20}, {100, 160}, {170, 240}}, {{100, 170}}, {100, 160}},
        {"an end on the frame before it snaps", {{0, 20}, {100, 160}, {170, 240}}, {{100, 169}}, {100, 169}},
        {"both ends move together where one alone would be too short", {{0, 20}, {100, 110}, {400, 440}},
         {{105, 130}}, {105, 130}},
        {"a word too short for a line moves only one end", {{0, 20}, {100, 120}, {400, 440}}, {{118, 119}},
         {100, 119}},
    };
    for (const SnapCase& c : cases) {
        Timeline25 t(c.lines);
        snapToSpeech(t.state, 1, c.speech);
        EXPECT_EQ(t.lines()[1], c.after) << c.what;
        ByteArray expected(t.marks.size(), 0);
        rebuildWaveMarks(expected, t.timeline, t.count, 25.0f);
        EXPECT_EQ(t.marks, expected) << c.what << ": the marks were not kept in step";
    }
}

// A second of reach is as many frames as the film has in a second.
TEST(SpeechTiming, SnappingReachesASecondAtTheFilmsOwnRate)
{
    const struct {
        float rate;
        int32_t onset;
        int32_t in;
    } cases[] = {
        {50.0f, 150, 150},   // 50 frames before the in-point
        {50.0f, 149, 200},
        {23.976f, 176, 176}, // 24 frames
        {23.976f, 175, 200},
    };
    for (const auto& c : cases) {
        TimelineArray timeline = {{200, 300, u""}};
        int32_t count = 1, texts = 1;
        ByteArray marks(40000, 0);
        rebuildWaveMarks(marks, timeline, count, c.rate);
        TimelineState state{timeline, count, texts, marks, c.rate};
        snapToSpeech(state, 0, {{c.onset, 300}});
        EXPECT_EQ(timeline[0].StartFrame, c.in) << c.rate << " fps, onset " << c.onset;
    }
}

TEST(SpeechTiming, TheKeysReachALineWhoseEndsAreOutOfSight)
{
    // three lines, then the free slots a text file's texts wait in
    const TimelineArray lines = {{100, 150, u""},
                                 {200, 600, u""},
                                 {700, 720, u""},
                                 {FreeSlotFrame, FreeSlotFrame, u"下一句"},
                                 {FreeSlotFrame, FreeSlotFrame, u""}};
    const struct {
        const char* what;
        int32_t count, currentLine, playPosition;
        int32_t line;
        PlayRound k;  // what K plays from there, the player at the position
    } cases[] = {
        {"the refresh's current line comes first", 3, 2, 400, 2, {700, 720, 400}},
        {"a long line holding the position", 3, -1, 400, 1, {200, 600, 400}},
        {"the nearest line after it ended", 3, -1, 640, 1, {200, 600, 640}},
        {"the nearest line before it starts", 3, -1, 670, 2, {700, 720, 670}},
        // the last line deleted: the current row is the empty slot after the
        // last line until the next refresh, and C, J, K and L act on a line
        {"the empty slot after the last line is no line", 3, 3, 400, 1, {200, 600, 400}},
        {"nor is a slot further on", 3, 4, 710, 2, {700, 720, 710}},
    };
    for (const auto& c : cases) {
        const int32_t line = lineForSpeechKeys(lines, c.count, c.currentLine, c.playPosition);
        ASSERT_EQ(line, c.line) << c.what;
        EXPECT_EQ(playRoundFor(PlayPart::Line, lines[size_t(line)], c.playPosition, 25.0f), c.k) << c.what;
    }
    EXPECT_EQ(lineForSpeechKeys(lines, 0, -1, 670), -1);
    EXPECT_EQ(lineForSpeechKeys(lines, 0, 0, 670), -1) << "no timed line at all";
}

TEST(SpeechTiming, ARoundPlaysItsStretchAndComesBackToWhereItStarted)
{
    const TimelineEntry line{100, 160, u""};
    EXPECT_EQ(playRoundFor(PlayPart::BeforeIn, line, 130, 25.0f), (PlayRound{87, 100, 130}));
    EXPECT_EQ(playRoundFor(PlayPart::Line, line, 130, 25.0f), (PlayRound{100, 160, 130}));
    EXPECT_EQ(playRoundFor(PlayPart::AfterOut, line, 130, 25.0f), (PlayRound{160, 173, 130}));
    EXPECT_EQ(playRoundFor(PlayPart::BeforeIn, TimelineEntry{5, 40, u""}, 0, 25.0f), (PlayRound{0, 5, 0}));

    const PlayRound round{100, 160, 130};
    EXPECT_EQ(roundProgress(round, 159, NormalPlaySpeed), RoundProgress::Playing);
    EXPECT_EQ(roundProgress(round, 160, NormalPlaySpeed), RoundProgress::Ended);
    EXPECT_EQ(roundProgress(round, 120, 0), RoundProgress::Left) << "the user paused: the round must let go";
    const EditorEffect stand = endOfRound(round, 163);
    EXPECT_EQ(stand.playSpeed, 0);
    EXPECT_EQ(stand.playerCommands.back(), PlayerCommand::stepBy(-33));
}

TEST(SpeechSpansInFrames, StartOnTheFrameOfTheFirstSoundAndEndOnTheBoundaryAfterTheLast)
{
    // 40 ms frames at 25 fps; 41.708 ms at 23.976
    EXPECT_EQ(speechFramesOf({{1000, 2000}, {2050, 2990}}, 25.0f), (SpeechFrameList{{25, 50}, {51, 75}}));
    EXPECT_EQ(speechFramesOf({{1039, 2001}}, 25.0f), (SpeechFrameList{{25, 51}}));
    EXPECT_EQ(speechFramesOf({{1000, 2000}, {2010, 2030}}, 25.0f), (SpeechFrameList{{25, 51}}))
        << "spans meeting in one frame are one";
    // frame 24 begins at 1001.001 ms, frame 48 at 2002.002 ms
    EXPECT_EQ(speechFramesOf({{1001, 2002}}, 23.976f), (SpeechFrameList{{23, 48}}));
}

}  // namespace
