// The history beside the randomised edits (EditInvariantsTest): what an undo
// puts the user on, and what a step costs on a long timeline.
#include "core/Coverage.h"
#include "editor/Commands.h"
#include "editor/EditOps.h"
#include "core/TimelineWriter.h"
#include "core/SubtitleDocument.h"
#include "core/TimeStrings.h"
#include "core/TimelineChange.h"
#include "core/UndoHistory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace vt;

namespace {

// lines lines at 25 fps, 2 s apart, each 1 s long, with a text each; marks
// for the whole film.
struct LongTimeline {
    TimelineArray timeline;
    int32_t count = 0;
    int32_t texts = 0;
    ByteArray marks;
    TimelineState state{timeline, count, texts, marks, 25.0f};

    explicit LongTimeline(int32_t lines)
    {
        for (int32_t i = 0; i < lines; ++i)
            timeline.push_back({50 * i, 50 * i + 25, u"第" + std::u16string(1, char16_t(u'0' + i % 10)) + u"行字幕"});
        count = texts = lines;
        timeline.resize(timeline.size() + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        marks.assign(size_t(lines) * 400 + 600, 0);
        rebuildWaveMarks(marks, timeline, count, 25.0f);
    }
};

}  // namespace

// Deleting the first of 10,000 lines moves every later line up a slot; the
// step still holds one line, and undoing it brings the line back with the
// play position on its in-point. A new change after an undo leaves nothing
// to redo.
TEST(UndoHistory, ADeletionAtTheFrontIsOneLineAndUndoStandsOnIt)
{
    LongTimeline t(10000);
    UndoHistory history;
    history.reset(t.state);

    procDel(t.state, 0, EditColumns{true, true});
    ASSERT_TRUE(history.record(t.state));
    EXPECT_EQ(t.count, 9999);
    EXPECT_LT(history.stepBytes(), 1000u);

    const std::optional<StepPlace> place = history.undo(t.state);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->slot, 0);
    EXPECT_EQ(place->frame, 0);
    EXPECT_EQ(t.count, 10000);
    EXPECT_EQ(t.texts, 10000);
    EXPECT_EQ(t.timeline[0].Text, u"第0行字幕");
    EXPECT_EQ(t.timeline[9999].EndFrame, 50 * 9999 + 25);
    EXPECT_EQ(t.marks[0], 1);

    WaveViewState view;
    moveTimeLine(t.state, view, 50 * 20, 1000000, 4, 4);
    ASSERT_TRUE(history.record(t.state));
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undoableSteps(), 1u);
}

// A thousand edits of a 10,000-line timeline (deletions and insertions at
// the front, moves, texts typed) keep well under the megabytes a copy of the
// timeline per step would take (about 0.5 MB each); bench_undo_history
// measures the whole program's memory for the same.
TEST(UndoHistory, AThousandStepsOnTenThousandLinesStaySmall)
{
    LongTimeline t(10000);
    UndoHistory history;
    history.reset(t.state);
    WaveViewState view;
    for (int i = 0; i < 1000; ++i) {
        switch (i % 4) {
        case 0: procDel(t.state, 0, EditColumns{true, true}); break;
        case 1: procIns(t.state, 0, 0, EditColumns{true, true}, [] {}); break;
        case 2: {
            // the line at the play position, in the waveform's view
            const int32_t position = 50 * (i % 5000) + 5;
            view.WaveViewStart = std::max(0, position * 8 - 400);
            moveTimeLine(t.state, view, position, 1000000, -2, -2);
            break;
        }
        default: t.timeline[size_t(i)].Text = u"改过的字幕"; break;
        }
        ASSERT_TRUE(history.record(t.state)) << "step " << i;
    }
    EXPECT_EQ(history.undoableSteps(), 1000u);
    EXPECT_LT(history.stepBytes(), 1000u * 1000u);
}

// More than a thousand changes, then Ctrl+Z held down: every step comes back
// and the timeline ends as it was loaded. A cap that dropped the oldest steps
// would leave the first changes for good, with no word to the user.
TEST(UndoHistory, EveryStepOfALongSessionIsUndone)
{
    LongTimeline t(100);
    const TimelineArray loaded = t.timeline;
    const ByteArray loadedMarks = t.marks;
    UndoHistory history;
    history.reset(t.state);
    for (int i = 0; i < 1500; ++i) {
        t.timeline[size_t(i % 100)].Text = u"第" + std::u16string(1, char16_t(u'A' + i % 26)) + u"次修改";
        ASSERT_TRUE(history.record(t.state)) << "step " << i;
    }
    EXPECT_EQ(history.undoableSteps(), 1500u);
    int undone = 0;
    while (history.undo(t.state))
        ++undone;
    EXPECT_EQ(undone, 1500);
    for (size_t i = 0; i < loaded.size(); ++i)
        ASSERT_EQ(t.timeline[i].Text, loaded[i].Text) << "slot " << i;
    EXPECT_EQ(t.marks, loadedMarks);
}

// Undoing an insertion puts the user where the inserted line stood: its slot,
// and its in-point when it had a time code, also when the line it went in
// front of has no text, or only the placeholder an earlier insertion left.
TEST(UndoHistory, UndoingAnInsertionStandsOnTheInsertedLine)
{
    struct Case {
        const char* what;
        std::u16string textOfSecondLine;
        EditColumns columns;
        int32_t frame;  // where the undo puts the play position
    };
    const Case cases[] = {
        {"time code and text in front of a line with no text", u"", {true, true}, 100},
        {"time code only", u"", {true, false}, 100},
        {"text only, on the line with no text", u"", {false, true}, 250},
        {"time code and text in front of a placeholder", u"第2行", {true, true}, 100},
        {"text only, on a placeholder", u"第2行", {false, true}, 250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TimelineArray timeline{{0, 25, u"一"}, {250, 275, c.textOfSecondLine}, {500, 525, u"三"}};
        timeline.resize(timeline.size() + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        int32_t count = 3, texts = 3;
        ByteArray marks(30 * 200, 0);
        rebuildWaveMarks(marks, timeline, count, 25.0f);
        TimelineState state{timeline, count, texts, marks, 25.0f};
        UndoHistory history;
        history.reset(state);

        // as the editor does it: the play position at 4 s, between the first
        // two lines, the second line current
        int32_t currentLine = 1;
        commitTimelineChange(history, state, [&](TimelineState& s) {
            currentLine = procIns(s, currentLine, 100, c.columns, [] {}).CurrentLine;
            return currentLine;
        });
        ASSERT_EQ(history.undoableSteps(), 1u);
        const std::optional<StepPlace> place = history.undo(state);

        ASSERT_TRUE(place);
        EXPECT_EQ(place->slot, 1);
        EXPECT_EQ(place->frame, c.frame);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(timeline[1].Text, c.textOfSecondLine);
    }
}

// The events of an ASS timeline stay with their time codes: a line deleted,
// one inserted and a text changed with "时间" unticked (texts stay in their
// slots) are saved as that file's events in their own styles and layers
// (the new line, with none before it, in the file's first style);
// undoing all three gives the file back byte for byte, and redoing them
// gives the same file as before the undo.
TEST(UndoHistory, AnAssTimelineKeepsEachEventThroughEditsAndUndo)
{
    const std::u16string file =
        u"[Script Info]\r\n\r\n[V4+ Styles]\r\nFormat: Name, Fontsize\r\nStyle: 中文,60\r\nStyle: English,40\r\n\r\n"
        u"[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
        u"Dialogue: 0,0:00:01.00,0:00:02.00,中文,,0,0,0,,{\\an8}一\r\n"
        u"Dialogue: 2,0:00:05.00,0:00:06.00,English,,0,0,0,,two\r\n"
        u"Dialogue: 0,0:00:09.00,0:00:10.00,中文,,0,0,0,,三\r\n";
    TimelineDocument document{SubtitleDocument::parse(TimelineFormat::Ass, file), {}, 25.0f};
    TimelineArray timeline;
    for (int32_t i = 0; i < 3; ++i) {
        const DocumentEvent& e = document.document.events()[size_t(i)];
        timeline.push_back({MsToFrame(e.StartMs, 25.0f), MsToFrame(e.EndMs, 25.0f), e.Text, i});
        document.loadedFrames.emplace_back(timeline.back().StartFrame, timeline.back().EndFrame);
    }
    timeline.resize(timeline.size() + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    int32_t count = 3, texts = 3;
    ByteArray marks(2000, 0);
    rebuildWaveMarks(marks, timeline, count, 25.0f);
    TimelineState state{timeline, count, texts, marks, 25.0f};
    UndoHistory history;
    history.reset(state);
    auto saved = [&] { return timelineText(timeline, count, 25.0f, &document); };

    procDel(state, 0, EditColumns{true, true});  // the first event goes
    ASSERT_TRUE(history.record(state));
    // a line at 3 s, between the two left, text column unticked: "two" and "三" keep their slots
    insertPlannedLine(state, 0, PlannedLine{75, 100, 0}, EditColumns{true, false}, [] {});
    ASSERT_TRUE(history.record(state));
    timeline[2].Text = u"三!";
    ASSERT_TRUE(history.record(state));
    const std::u16string edited = saved();
    EXPECT_EQ(edited,
              u"[Script Info]\r\n\r\n[V4+ Styles]\r\nFormat: Name, Fontsize\r\nStyle: 中文,60\r\nStyle: English,40\r\n\r\n"
              u"[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
              u"Dialogue: 0,0:00:03.00,0:00:04.00,中文,,0,0,0,,two\r\n"
              u"Dialogue: 2,0:00:05.00,0:00:06.00,English,,0,0,0,,三\r\n"
              u"Dialogue: 0,0:00:09.00,0:00:10.00,中文,,0,0,0,,三!\r\n");

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(history.undo(state));
    EXPECT_EQ(saved(), file);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(history.redo(state));
    EXPECT_EQ(saved(), edited);
}
