// The editor's session without a window: each command the keys give makes
// at most one step of the history, which one Ctrl+Z takes back whole, and
// moves the player where the command says.
#include "core/Coverage.h"
#include "core/PlayerControl.h"
#include "core/UndoHistory.h"
#include "editor/Commands.h"
#include "editor/EditorSession.h"
#include "editor/PlayControl.h"
#include "tests/support/StandingPlayer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace vt;

namespace {

// What a save writes of a slot: its frames and text.
struct Slot {
    int32_t in, out;
    std::u16string text;
    friend bool operator==(const Slot&, const Slot&) = default;
};

std::vector<Slot> slotsOf(const TimelineArray& timeline)
{
    std::vector<Slot> out;
    for (const TimelineEntry& e : timeline)
        out.push_back({e.StartFrame, e.EndFrame, e.Text});
    return out;
}

struct Lines {
    int32_t in, out;
    friend bool operator==(const Lines&, const Lines&) = default;
};

// Three lines at 25 fps over 200 s, two texts waiting untimed after them,
// speech at 400-460 and a cut at frame 52.
class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        project.FrameRate = 25.0f;
        project.VideoLengthFrames = 5000;
        project.Timeline = {{25, 75, u"一"}, {100, 150, u"二"}, {200, 250, u"三"},
                            {FreeSlotFrame, FreeSlotFrame, u"四"}, {FreeSlotFrame, FreeSlotFrame, u"五"}};
        project.TimelineCount = 3;
        project.TextCount = 5;
        project.WaveSummary.assign(40000, 0);
        project.WaveMarks.assign(40000, 0);
        rebuildWaveMarks(project.WaveMarks, project.Timeline, 3, 25.0f);
        project.SpeechSpans = {{400, 460}};
        project.ShotChanges = {52};
        history.reset(timelineStateOf(project));
        session.beginVisit();
    }

    std::vector<Lines> lines() const
    {
        std::vector<Lines> out;
        for (int32_t i = 0; i < project.TimelineCount; ++i)
            out.push_back({project.Timeline[size_t(i)].StartFrame, project.Timeline[size_t(i)].EndFrame});
        return out;
    }

    // The window's refresh leaves the line under the play position current.
    void refresh()
    {
        session.CurrentLine = -1;
        for (int32_t i = 0; i < project.TimelineCount; ++i)
            if (project.Timeline[size_t(i)].StartFrame <= player.at && player.at < project.Timeline[size_t(i)].EndFrame)
                session.CurrentLine = i;
    }

    CommandOutcome key(int32_t virtualKey, bool snap = false)
    {
        refresh();
        return session.run(keyCommand(virtualKey, 2), {{true, true}, snap});
    }

    ProjectState project;
    UndoHistory history;
    testplayer::StandingPlayer player;
    int saves = 0;
    EditorSession session{project, history, player, [this] { ++saves; }};
};

}  // namespace

// Every key that edits makes one step, and one Ctrl+Z gives back the
// timeline, texts and marks byte for byte; keys that only move the player
// or play make none.
TEST_F(Session, EachEditIsOneStepThatOneUndoTakesBackWhole)
{
    struct Case {
        const char* what;
        int64_t position;
        int32_t key;
        bool edits;
    };
    const Case cases[] = {
        {"S moves the line", 110, VirtualKey::S, true},
        {"E stretches it", 110, VirtualKey::E, true},
        {"V puts a line in", 300, VirtualKey::V, true},
        {"X takes the line out", 110, VirtualKey::X, true},
        {"T times the next sentence", 300, VirtualKey::T, true},
        {"C puts the line on the speech", 210, VirtualKey::C, false},  // no speech within reach
        {"W goes to the line before", 110, VirtualKey::W, false},
        {"M goes to the next cut", 0, VirtualKey::M, false},
        {"K plays the line", 110, VirtualKey::K, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        player.at = c.position;
        const ProjectState before = project;
        const CommandOutcome outcome = key(c.key);
        EXPECT_EQ(outcome.timelineChanged, c.edits);
        EXPECT_EQ(history.undoableSteps(), c.edits ? 1u : 0u);
        if (!c.edits) {
            EXPECT_EQ(slotsOf(project.Timeline), slotsOf(before.Timeline));
            continue;
        }
        EXPECT_NE(lines(), std::vector<Lines>({{25, 75}, {100, 150}, {200, 250}}));
        session.run(EditCommand{EditOp::Undo}, {});
        EXPECT_EQ(slotsOf(project.Timeline), slotsOf(before.Timeline));
        EXPECT_EQ(project.TimelineCount, before.TimelineCount);
        EXPECT_EQ(project.TextCount, before.TextCount);
        EXPECT_EQ(project.WaveMarks, before.WaveMarks);
        session.run(EditCommand{EditOp::Redo}, {});
        EXPECT_EQ(history.undoableSteps(), 1u);
    }
}

// Where each command leaves the player and the current line.
TEST_F(Session, CommandsMoveThePlayerWhereTheySay)
{
    struct Case {
        const char* what;
        int64_t position;
        std::vector<int32_t> keys;
        int64_t standsAt;
        int32_t currentLine;
    };
    const Case cases[] = {
        {"R goes to the next line's in-point", 110, {VirtualKey::R}, 200, -1},
        {"W goes to the line before's in-point", 110, {VirtualKey::W}, 25, -1},
        {"N goes to the cut before", 100, {VirtualKey::N}, 52, -1},
        {"T stands on the new line's in-point", 300, {VirtualKey::T}, 400, 3},
        {"undo stands on the line that came back", 300, {VirtualKey::T, VirtualKey::X}, 400, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        player.at = c.position;
        for (int32_t k : c.keys)
            key(k);
        if (c.keys.size() > 1)
            session.run(EditCommand{EditOp::Undo}, {});
        EXPECT_EQ(player.at, c.standsAt);
        if (c.currentLine >= 0)
            EXPECT_EQ(session.CurrentLine, c.currentLine);
    }
}

// K plays the line from its in-point and, once past its end, the round
// stands the player back where it began; another speed forgets it.
TEST_F(Session, ARoundPlaysTheLineAndComesBack)
{
    player.at = 300;
    key(VirtualKey::K);
    ASSERT_EQ(player.steps, std::vector<int32_t>{-100});  // to the in-point of the line nearest 300
    EXPECT_FALSE(session.followPlayRound(NormalPlaySpeed).has_value());
    player.at = 260;
    const std::optional<EditorEffect> stand = session.followPlayRound(NormalPlaySpeed);
    ASSERT_TRUE(stand.has_value());
    ASSERT_FALSE(stand->playerCommands.empty());
    EXPECT_EQ(stand->playerCommands.back().frames, 300 - 260);
    EXPECT_FALSE(session.followPlayRound(NormalPlaySpeed).has_value()) << "a round ends once";

    key(VirtualKey::K);
    EXPECT_FALSE(session.followPlayRound(NormalPlaySpeed * 2).has_value());
    player.at = 400;
    EXPECT_FALSE(session.followPlayRound(NormalPlaySpeed).has_value()) << "a round left is forgotten";
}

// Growing a full timeline saves first: a save that fails inserts nothing
// and leaves no step; B only says what the box is to show; with snapping
// on, a line put in ends on the cut near it.
TEST_F(Session, SavesSnapsAndTheCutsBox)
{
    project.Timeline.resize(5);  // full: the next insertion grows the array
    EditorSession failing{project, history, player, [] { throw std::runtime_error("disk full"); }};
    player.at = 300;
    const std::vector<Slot> before = slotsOf(project.Timeline);
    EXPECT_THROW(failing.run(keyCommand(VirtualKey::V, 2), {{true, true}, false}), std::runtime_error);
    EXPECT_EQ(slotsOf(project.Timeline), before);
    EXPECT_EQ(history.undoableSteps(), 0u);

    key(VirtualKey::V);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(history.undoableSteps(), 1u);

    EXPECT_EQ(key(VirtualKey::B, false).snapToCuts, std::optional<bool>(true));
    EXPECT_EQ(key(VirtualKey::B, true).snapToCuts, std::optional<bool>(false));

    SetUp();
    player.at = 30;  // inside line 0 (25-75): F moves it 4 frames on, the cut at 52 is within reach of neither end
    key(VirtualKey::F, true);
    EXPECT_EQ(lines()[0], (Lines{29, 79}));
    project.ShotChanges = {80};
    key(VirtualKey::E, true);  // the out-point 83 snaps back onto the cut's frame before it
    EXPECT_LE(lines()[0].out, 80);
}

// The speech keys and the round keys each act on the line they name: C puts
// the line on the speech within reach, J, K and L start their rounds at the
// half second before the in-point, the in-point and the out-point.
TEST_F(Session, SpeechAndRoundKeysActOnTheirOwnLine)
{
    struct Case {
        const char* what;
        int32_t key;
        std::vector<Lines> after;
        int64_t roundFrom;  // -1: no round
    };
    const Case cases[] = {
        {"C", VirtualKey::C, {{25, 75}, {100, 150}, {200, 250}, {400, 460}}, -1},
        {"J", VirtualKey::J, {{25, 75}, {100, 150}, {200, 250}, {395, 455}}, 395 - 13},
        {"K", VirtualKey::K, {{25, 75}, {100, 150}, {200, 250}, {395, 455}}, 395},
        {"L", VirtualKey::L, {{25, 75}, {100, 150}, {200, 250}, {395, 455}}, 455},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        project.Timeline[3] = {395, 455, u"四"};
        project.TimelineCount = 4;
        rebuildWaveMarks(project.WaveMarks, project.Timeline, 4, 25.0f);
        history.reset(timelineStateOf(project));
        player.at = 420;
        key(c.key);
        EXPECT_EQ(lines(), c.after);
        if (c.roundFrom >= 0)
            EXPECT_EQ(player.at, c.roundFrom);
        else
            EXPECT_EQ(player.at, 420);
    }
}

// A click before the current line ends the previous line there: the view's
// preference for that line lasts the one move, also when the move is
// refused.
TEST_F(Session, ThePreviousLineIsPreferredForOneMoveOnly)
{
    EditCommand click{EditOp::Move, 0, 10, true, -1};
    player.at = 160;
    refresh();
    session.run(click, {{true, true}, false});
    EXPECT_EQ(lines()[1], (Lines{100, 160}));
    EXPECT_FALSE(session.WaveView.PreferPreviousLine);

    project.TimelineCount = 99;  // more lines than the array holds: the move refuses
    EXPECT_THROW(session.run(click, {{true, true}, false}), std::invalid_argument);
    EXPECT_FALSE(session.WaveView.PreferPreviousLine);
}
