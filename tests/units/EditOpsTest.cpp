#include "core/Coverage.h"
#include "editor/EditOps.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

using namespace vt;

namespace {

using Frames = std::pair<int32_t, int32_t>;
using Texts = std::vector<std::u16string>;

// A project at 25 fps (frame f is summary index 8f) with 200 s of marks;
// line i has the text "t<i>".
struct Project25 {
    TimelineArray timeline;
    int32_t count = 0;
    int32_t texts = 0;
    ByteArray marks = ByteArray(40000, 0);
    TimelineState state{timeline, count, texts, marks, 25.0f};
    int saves = 0;
    std::function<void()> save = [this] { ++saves; };

    explicit Project25(std::vector<Frames> lines, size_t freeSlots = 4)
    {
        for (auto [start, end] : lines)
            timeline.push_back({start, end, u"t" + std::u16string(1, char16_t(u'0' + timeline.size()))});
        count = texts = int32_t(timeline.size());
        timeline.resize(timeline.size() + freeSlots, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        rebuildWaveMarks(marks, timeline, count, 25.0f);
    }

    std::vector<Frames> lines() const
    {
        std::vector<Frames> out;
        for (int32_t i = 0; i < count; ++i)
            out.emplace_back(timeline[size_t(i)].StartFrame, timeline[size_t(i)].EndFrame);
        return out;
    }

    Texts textColumn(size_t slots) const
    {
        Texts out;
        for (size_t i = 0; i < slots; ++i)
            out.push_back(timeline[i].Text);
        return out;
    }

    bool wellKept() const
    {
        ByteArray expected(marks.size(), 0);
        rebuildWaveMarks(expected, timeline, count, 25.0f);
        for (size_t i = size_t(count); i < timeline.size(); ++i)
            if (!timeline[i].isFree())
                return false;
        return expected == marks;
    }

    // The view a refresh at this play position leaves, pointer off the strip.
    static WaveViewState viewAt(int32_t frame) { return WaveViewState{.WaveViewStart = std::max(0, frame * 8 - 556)}; }

    int32_t move(int32_t position, int32_t mediaLength, int32_t in, int32_t out)
    {
        return moveTimeLine(state, viewAt(position), position, mediaLength, in, out);
    }
};

constexpr EditColumns Both{true, true};
constexpr EditColumns TimesOnly{true, false};
constexpr EditColumns TextsOnly{false, true};

}  // namespace

TEST(EditOpsMove, ShiftKeepsTheLengthWithinItsLimits)
{
    Project25 p({{10, 50}, {60, 100}, {120, 130}});
    EXPECT_EQ(p.move(30, 5000, -20, -20), 0);
    EXPECT_EQ(p.lines()[0], Frames(0, 40));     // stops at the start of the film
    p.move(30, 5000, 30, 30);
    EXPECT_EQ(p.lines()[0], Frames(19, 59));    // stops against the next line
    p.move(80, 5000, -8, -8);
    EXPECT_EQ(p.lines()[1], Frames(60, 100));   // and against the previous one
    EXPECT_EQ(p.move(125, 133, 8, 8), 2);
    EXPECT_EQ(p.lines()[2], Frames(123, 133));  // the last line stops at the media length
    EXPECT_TRUE(p.wellKept());
}

TEST(EditOpsMove, StretchIntoTheNextLineGrowsTowardsTheFront)
{
    Project25 p({{0, 9}, {30, 50}, {60, 100}});
    p.move(40, 5000, 0, 20);
    EXPECT_EQ(p.lines()[1], Frames(19, 59));
    p.move(40, 5000, 0, 40);
    EXPECT_EQ(p.lines()[1], Frames(10, 59));   // not before the previous line's out-point + 1
    EXPECT_TRUE(p.wellKept());
}

TEST(EditOpsMove, OnePointKeepsTheMinimumLength)
{
    Project25 p({{0, 9}, {30, 50}, {60, 100}});
    p.move(40, 5000, 30, 0);
    EXPECT_EQ(p.lines()[1], Frames(42, 50));   // in-point moved past the out-point
    p.move(45, 5000, -40, 0);
    EXPECT_EQ(p.lines()[1], Frames(10, 50));   // in-point earlier stops after line 0
    p.move(45, 5000, 0, -45);
    EXPECT_EQ(p.lines()[1], Frames(10, 18));   // out-point moved past the in-point
    EXPECT_TRUE(p.wellKept());
}

TEST(EditOpsMove, WhichLineMoves)
{
    Project25 p({{10, 50}, {100, 150}});
    const ByteArray before = p.marks;
    EXPECT_EQ(p.move(1000, 5000, 10, 10), -1);   // nothing in view: nothing moves
    EXPECT_EQ(p.marks, before);
    // the pointer over the strip picks the line under it, not the play position's
    WaveViewState view{.MouseOverWave = true, .WaveMouseX = 450};
    EXPECT_EQ(moveTimeLine(p.state, view, 30, 5000, 4, 4), 1);
    EXPECT_EQ(p.lines()[1], Frames(104, 154));
}

TEST(EditOpsMove, LastLinePastTheEndStaysClearOfItsPredecessor)
{
    // line 1 ends at 400, the video at 300
    Project25 shift({{100, 200}, {210, 400}});
    shift.move(300, 300, 2, 2);   // pulled back only as far as line 0 allows
    EXPECT_EQ(shift.lines()[1], Frames(201, 391));
    EXPECT_TRUE(shift.wellKept());
    Project25 earlier({{100, 200}, {210, 400}});
    earlier.move(300, 300, -4, -4);
    EXPECT_EQ(earlier.lines()[1], Frames(206, 396));

    Project25 stretch({{100, 200}, {210, 400}});
    stretch.move(300, 300, 0, 4);   // ends at the media length, grows from the front
    EXPECT_EQ(stretch.lines()[1], Frames(201, 300));
    // the video ends before line 0 does: the line keeps its 8 frames after line 0
    Project25 squeezed({{100, 200}, {210, 400}});
    squeezed.move(300, 150, 0, 4);
    EXPECT_EQ(squeezed.lines()[1], Frames(201, 209));
    // a click at the point itself: pulled back to the media's end, widened
    // and shifted clear of line 0, the designed result is already sound
    Project25 settled({{100, 200}, {210, 400}});
    settled.move(300, 150, 0, 0);
    EXPECT_EQ(settled.lines()[1], Frames(201, 210));
    EXPECT_TRUE(settled.wellKept());
}

TEST(EditOpsMove, AMoveByNothingOfALastLineNearTheEndChangesNothing)
{
    // a click at the in-point of a last line right after line 0, the video
    // ending a frame after it starts: pulled back, widened and shifted clear
    // of line 0, it ends up where it was, not a frame shorter
    Project25 p({{100, 200}, {201, 210}});
    p.move(205, 202, 0, 0);
    EXPECT_EQ(p.lines()[1], Frames(201, 210));
    EXPECT_TRUE(p.wellKept());
}

TEST(EditOpsDelete, ASecondDeletionBeforeTheRefreshDeletesNothing)
{
    // the last line was deleted; the current line still names its old slot
    for (EditColumns columns : {EditColumns{true, true}, EditColumns{true, false}, EditColumns{false, true}}) {
        Project25 p({{10, 50}, {100, 150}});
        p.state.TextCount = 3;
        p.timeline[0].Text = u"一";
        p.timeline[1].Text = u"二";
        p.timeline[2].Text = u"三";
        procDel(p.state, 2, columns);
        EXPECT_EQ(p.state.TimelineCount, 2);
        EXPECT_EQ(p.state.TextCount, 3);
        EXPECT_EQ(p.timeline[2].Text, u"三");
    }
}

TEST(EditOpsInsert, LengthFollowsTheFreeRoom)
{
    // play position frame 75 (index 600); the next line 1 s later: 160 indices
    Project25 p({{10, 50}, {100, 150}});
    InsertResult r = procIns(p.state, -1, 75, Both, p.save);
    EXPECT_TRUE(r.TimeInserted);
    EXPECT_EQ(r.CurrentLine, 1);
    EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}, {75, 95}, {100, 150}}));
    EXPECT_TRUE(p.wellKept());
    EXPECT_EQ(p.saves, 0);

    Project25 free({});   // 5 s and more: 320 indices
    procIns(free.state, -1, 75, Both, free.save);
    EXPECT_EQ(free.lines(), (std::vector<Frames>{{75, 115}}));
    EXPECT_EQ(free.timeline[0].Text, u"第1行");

    Project25 tight({{87, 150}});   // 0.48 s: 80 indices
    procIns(tight.state, -1, 75, TimesOnly, tight.save);
    EXPECT_EQ(tight.lines()[0], Frames(75, 85));
}

TEST(EditOpsInsert, LongestLineStopsShortOfANearNextLine)
{
    // play position frame 75 (index 600); the new line grows in 0.2 s steps
    // to at most 1.6 s (index 920, frame 115), ending before the next line
    struct Case {
        int32_t nextStart;   // frame of the next line's in-point
        Frames inserted;
    };
    const Case cases[] = {
        {113, {75, 110}},   // 1.52 s ahead: 1.4 s
        {114, {75, 110}},
        {115, {75, 110}},   // 1.6 s ahead: still 1.4 s
        {116, {75, 115}},   // 1.64 s ahead: the full 1.6 s
        {200, {75, 115}},
    };
    for (const Case& c : cases) {
        Project25 p({{10, 50}, {c.nextStart, c.nextStart + 20}});
        const InsertResult r = procIns(p.state, -1, 75, TimesOnly, p.save);
        EXPECT_TRUE(r.TimeInserted) << c.nextStart;
        EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}, c.inserted, {c.nextStart, c.nextStart + 20}}))
            << c.nextStart;
    }
}

TEST(EditOpsInsert, NoRoomInsertsNothing)
{
    Project25 p({{10, 50}, {83, 150}});   // the next line 0.32 s ahead
    InsertResult r = procIns(p.state, 0, 75, Both, p.save);
    EXPECT_FALSE(r.TimeInserted || r.TextInserted);
    EXPECT_EQ(r.CurrentLine, 0);
    EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}, {83, 150}}));
    EXPECT_EQ(p.texts, 2);
    EXPECT_FALSE(procIns(p.state, 0, 30, Both, p.save).TimeInserted);   // inside a line
    Project25 q({{85, 150}});   // exactly 0.4 s is not enough
    EXPECT_FALSE(procIns(q.state, -1, 75, TimesOnly, q.save).TimeInserted);
    // the new line must stay 60 indices clear of the end of the marks (40000)
    Project25 e({});
    EXPECT_FALSE(procIns(e.state, -1, 4985, Both, e.save).TimeInserted);
    EXPECT_FALSE(procIns(e.state, -1, 6000, Both, e.save).TimeInserted);
    EXPECT_TRUE(procIns(e.state, -1, 4970, Both, e.save).TimeInserted);
}

TEST(EditOpsInsert, FindsTheSlotBetweenTheLines)
{
    Project25 p({{10, 50}, {100, 150}, {400, 450}});
    EXPECT_EQ(procIns(p.state, -1, 200, TimesOnly, p.save).CurrentLine, 2);
    EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}, {100, 150}, {200, 240}, {400, 450}}));

    // a 0.12 s line at indices 688..712 lies between two 0.2 s probes (680,
    // 720); the new line must end before it, not run over it
    Project25 hidden({{86, 89}});
    EXPECT_EQ(procIns(hidden.state, -1, 75, TimesOnly, hidden.save).CurrentLine, 0);
    EXPECT_EQ(hidden.lines(), (std::vector<Frames>{{75, 85}, {86, 89}}));
    EXPECT_TRUE(hidden.wellKept());
}

// A planned line that reaches the neighbours' own frames (the previous
// line's end, the next line's start) is put in a frame clear of each. The
// current row is the empty slot after the last line, as after deleting it:
// the new line's text goes with the new line all the same.
TEST(EditOpsInsert, APlannedLineIsKeptOffItsNeighbours)
{
    const struct {
        const char* what;
        PlannedLine planned;
        Frames inserted;
    } cases[] = {
        {"from the previous line's end frame", {50, 80, 1}, {51, 80}},
        {"to the next line's start frame", {60, 100, 1}, {60, 99}},
        {"from one neighbour to the other", {50, 100, 1}, {51, 99}},
        {"a frame clear of both", {51, 99, 1}, {51, 99}},
    };
    for (const auto& c : cases) {
        Project25 p({{10, 50}, {100, 150}});
        const InsertResult r = insertPlannedLine(p.state, p.count, c.planned, Both, p.save);
        EXPECT_EQ(r.CurrentLine, 1) << c.what;
        EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}, c.inserted, {100, 150}})) << c.what;
        EXPECT_EQ(p.textColumn(3), (Texts{u"t0", u"第2行", u"t1"})) << c.what;
        EXPECT_TRUE(p.wellKept()) << c.what;
    }
}

TEST(EditOpsInsert, EachCheckBoxChoice)
{
    Project25 both({{10, 50}, {100, 150}, {200, 250}});
    procIns(both.state, -1, 75, Both, both.save);
    EXPECT_EQ(both.textColumn(4), (Texts{u"t0", u"第2行", u"t1", u"t2"}));
    EXPECT_EQ(both.texts, 4);

    Project25 times({{10, 50}, {100, 150}, {200, 250}});
    procIns(times.state, -1, 75, TimesOnly, times.save);
    EXPECT_EQ(times.count, 4);
    EXPECT_EQ(times.textColumn(4), (Texts{u"t0", u"t1", u"t2", u""}));
    EXPECT_EQ(times.texts, 3);

    Project25 texts({{10, 50}, {100, 150}, {200, 250}});
    EXPECT_TRUE(procIns(texts.state, 1, 75, TextsOnly, texts.save).TextInserted);
    EXPECT_EQ(texts.count, 3);
    EXPECT_EQ(texts.textColumn(4), (Texts{u"t0", u"第2行", u"t1", u"t2"}));
    // no current line, or one past the timed lines: no text either
    EXPECT_FALSE(procIns(texts.state, -1, 75, TextsOnly, texts.save).TextInserted);
    EXPECT_FALSE(procIns(texts.state, 3, 75, TextsOnly, texts.save).TextInserted);

    Project25 fifth({{10, 20}, {30, 40}, {50, 60}, {70, 80}, {200, 210}});
    procIns(fifth.state, -1, 100, Both, fifth.save);
    EXPECT_EQ(fifth.timeline[4].Text, u"第5行");
}

TEST(EditOpsInsert, FullArrayIsSavedThenGrown)
{
    Project25 p({{10, 50}, {100, 150}}, 0);
    procIns(p.state, -1, 75, Both, p.save);
    EXPECT_EQ(p.saves, 1);
    EXPECT_EQ(p.timeline.size(), 258u);
    EXPECT_EQ(p.texts, 3);
    EXPECT_TRUE(p.wellKept());
    Project25 texts({{10, 50}, {100, 150}}, 0);   // the text column needs the room
    procIns(texts.state, 0, 75, TextsOnly, texts.save);
    EXPECT_EQ(texts.saves, 1);
    EXPECT_EQ(texts.textColumn(3), (Texts{u"第1行", u"t0", u"t1"}));

    Project25 failing({{10, 50}, {100, 150}}, 0);
    const ByteArray marks = failing.marks;
    EXPECT_THROW(procIns(failing.state, -1, 75, Both, [] { throw std::runtime_error("disk full"); }),
                 std::runtime_error);
    EXPECT_EQ(failing.timeline.size(), 2u);
    EXPECT_EQ(failing.lines(), (std::vector<Frames>{{10, 50}, {100, 150}}));
    EXPECT_EQ(failing.texts, 2);
    EXPECT_EQ(failing.marks, marks);
}

TEST(EditOpsDelete, EachCheckBoxChoice)
{
    Project25 both({{10, 50}, {100, 150}, {200, 250}});
    procDel(both.state, 1, Both);
    EXPECT_EQ(both.lines(), (std::vector<Frames>{{10, 50}, {200, 250}}));
    EXPECT_EQ(both.textColumn(3), (Texts{u"t0", u"t2", u""}));
    EXPECT_TRUE(both.wellKept());

    Project25 times({{10, 50}, {100, 150}, {200, 250}});
    procDel(times.state, 1, TimesOnly);
    EXPECT_EQ(times.lines(), (std::vector<Frames>{{10, 50}, {200, 250}}));
    EXPECT_EQ(times.textColumn(3), (Texts{u"t0", u"t1", u"t2"}));

    Project25 texts({{10, 50}, {100, 150}, {200, 250}});
    procDel(texts.state, 1, TextsOnly);
    EXPECT_EQ(texts.count, 3);
    EXPECT_EQ(texts.texts, 2);
    EXPECT_EQ(texts.textColumn(3), (Texts{u"t0", u"t2", u""}));
    procDel(texts.state, 2, TextsOnly);   // past the last text: the last text goes
    EXPECT_EQ(texts.textColumn(3), (Texts{u"t0", u"", u""}));
}

TEST(EditOpsDelete, NothingToDelete)
{
    Project25 p({{10, 50}, {100, 150}});
    procDel(p.state, -1, Both);
    EXPECT_EQ(p.count, 2);
    procDel(p.state, 1, TimesOnly);
    // right after the last line went, the current line names the slot past it
    procDel(p.state, 1, TimesOnly);
    EXPECT_EQ(p.lines(), (std::vector<Frames>{{10, 50}}));
    EXPECT_TRUE(p.wellKept());

    p.texts = 0;   // no texts: the text column stays as it is
    procDel(p.state, 0, TextsOnly);
    EXPECT_EQ(p.texts, 0);
    EXPECT_EQ(p.textColumn(2), (Texts{u"t0", u"t1"}));
}

TEST(EditOpsDelete, CountsPastTheArrayAreRefused)
{
    Project25 p({{10, 50}, {100, 150}}, 0);
    p.count = 3;
    EXPECT_THROW(procDel(p.state, 1, Both), std::invalid_argument);
    EXPECT_THROW(procIns(p.state, 1, 75, Both, p.save), std::invalid_argument);
    EXPECT_EQ(p.texts, 2);
    EXPECT_EQ(p.timeline[1].Text, u"t1");
    EXPECT_EQ(p.saves, 0);
}

TEST(EditOpsText, EditAndStore)
{
    Project25 p({{10, 50}, {100, 150}});
    p.timeline[1].Text = u"上^p下";
    std::optional<TextEdit> edit = beginTextEdit(p.timeline, p.count, p.marks, 25.0f, Project25::viewAt(120), 120);
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->Slot, 1);
    EXPECT_EQ(edit->Text, u"上^p下");
    EXPECT_FALSE(beginTextEdit(p.timeline, p.count, p.marks, 25.0f, Project25::viewAt(2000), 2000));

    EXPECT_EQ(storeEditedText(p.timeline, 0, *edit, u"新"), 0);   // a click moved the current line
    EXPECT_EQ(p.timeline[0].Text, u"新");
    // a click left no current line: the slot the edit began on
    EXPECT_EQ(storeEditedText(p.timeline, -1, *edit, u"改"), 1);
    EXPECT_EQ(p.timeline[1].Text, u"改");
    EXPECT_EQ(p.texts, 2);
}
