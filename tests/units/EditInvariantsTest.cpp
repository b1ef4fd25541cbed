// Random sequences of edits on random timelines, checking after every step
// that the timeline stays well-formed, that the marks cover exactly the
// timed lines, and that insertions and deletions move the time codes and the
// texts as a simple model of the two columns says. Undo and redo come in
// between; at the end every step is undone (the timeline must be the first
// one again, byte for byte) and redone (the last one again).
// VT_INVARIANT_SEQUENCES, VT_INVARIANT_STEPS and VT_INVARIANT_SEED choose a
// longer or different run (scripts/invariants-long).

#include "core/Coverage.h"
#include "core/TimelineWriter.h"
#include "editor/CurrentLine.h"
#include "editor/EditOps.h"
#include "core/UndoHistory.h"
#include "editor/WaveView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

using namespace vt;

namespace {

uint64_t envNumber(const char* name, uint64_t fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 10) : fallback;
}

constexpr float FrameRates[] = {25.0f, 23.976f, 29.97f, 50.0f, 59.94f};
constexpr int32_t StepSizes[] = {1, 2, 3, 5};
constexpr int32_t StepMultiples[] = {1, 2, 4};

using Frames = std::pair<int32_t, int32_t>;

std::u16string placeholderFor(int32_t slot)
{
    std::u16string text(PlaceholderTextBefore);
    for (char c : std::to_string(slot + 1))
        text.push_back(char16_t(c));
    return text + std::u16string(PlaceholderTextAfter);
}

// The two columns as insertion and deletion should leave them: the used time
// codes, and the text of every slot with the count of texts. Moves and text
// edits are checked against the text column only; a move's time codes are
// taken over as they come out.
struct Columns {
    std::vector<Frames> times;
    std::vector<std::u16string> texts;
    int32_t textCount = 0;

    // a new text at slot k: the texts from k to the last move one slot on
    void insertText(int32_t k)
    {
        if (k <= textCount) {
            texts.insert(texts.begin() + k, placeholderFor(k));
            texts.erase(texts.begin() + textCount + 1);
        } else {
            texts[size_t(k)] = placeholderFor(k);
        }
        ++textCount;
    }

    // the text of slot k goes, the later ones move a slot back; at or past the
    // last text, the last one goes
    void deleteText(int32_t k)
    {
        if (k < textCount) {
            texts.erase(texts.begin() + k);
            texts.insert(texts.begin() + textCount - 1, std::u16string());
        } else {
            texts[size_t(textCount) - 1].clear();
        }
        --textCount;
    }
};

class Sequence {
public:
    explicit Sequence(uint64_t seed) : rng_(seed) { build(); }

    // Runs the steps; returns an empty string, or what went wrong and where.
    std::string run(int steps)
    {
        if (std::string fault = check(); !fault.empty())
            return "initial timeline: " + fault;
        history_.reset(state());
        models_.assign(1, model_);
        const std::string first = fingerprint();
        for (int step = 0; step < steps; ++step) {
            std::string what = chance(15) ? undoOrRedo() : randomStep();
            if (std::string fault = check(); !fault.empty())
                return "step " + std::to_string(step) + " (" + what + "): " + fault + "\n" + describe();
        }
        const std::string last = fingerprint();
        const size_t done = history_.undoableSteps();
        const size_t undone = history_.redoableSteps();
        for (size_t i = 0; i < done; ++i)
            if (std::string fault = takeBack(true); !fault.empty())
                return "undoing all, " + fault;
        if (history_.canUndo() || fingerprint() != first)
            return "undoing every step did not give the first timeline back\n" + describe();
        for (size_t i = 0; i < done; ++i)
            if (std::string fault = takeBack(false); !fault.empty())
                return "redoing all, " + fault;
        if (history_.redoableSteps() != undone || fingerprint() != last)
            return "redoing every step did not give the last timeline back\n" + describe();
        reached_.undone += int(done);
        return {};
    }

    // How often each kind of change happened, so that a run that stopped
    // reaching one shows up.
    struct Reached {
        int saves = 0, moves = 0, movesPastTheEnd = 0, timeInserts = 0, textInserts = 0, deletes = 0, undone = 0,
            grownUndone = 0;
        void add(const Reached& o)
        {
            saves += o.saves, moves += o.moves, movesPastTheEnd += o.movesPastTheEnd;
            timeInserts += o.timeInserts, textInserts += o.textInserts, deletes += o.deletes;
            undone += o.undone, grownUndone += o.grownUndone;
        }
    };
    const Reached& reached() const { return reached_; }

private:
    std::mt19937_64 rng_;
    float rate_ = 25.0f;
    int32_t mediaLength_ = 0;
    TimelineArray timeline_;
    int32_t count_ = 0;
    int32_t texts_ = 0;
    ByteArray marks_;
    ByteArray summary_;
    int32_t currentLine_ = -1;
    int32_t width_ = 556;
    int32_t viewStart_ = 0;
    Reached reached_;
    bool saveWhenNotFull_ = false;
    std::vector<size_t> grew_;   // the steps that grew the array
    Columns model_;
    std::string modelFault_;
    UndoHistory history_;
    std::vector<Columns> models_;   // the model after each step the history holds, from the start

    int32_t uniform(int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng_); }
    bool chance(int percent) { return uniform(0, 99) < percent; }
    template <typename T, size_t N>
    T pick(const T (&items)[N]) { return items[size_t(uniform(0, int32_t(N) - 1))]; }

    TimelineState state() { return TimelineState{timeline_, count_, texts_, marks_, rate_}; }
    int32_t seconds(double s) const { return int32_t(s * rate_); }

    void build()
    {
        rate_ = pick(FrameRates);
        mediaLength_ = seconds(uniform(20, 180));
        // lines may run on past the end of the video (an SRT for a longer cut)
        const int32_t lastStart = mediaLength_ + (chance(50) ? seconds(uniform(1, 15)) : 0);
        const int32_t lines = uniform(0, 80);
        int32_t at = chance(30) ? 0 : uniform(0, seconds(3));
        for (int32_t i = 0; i < lines && at < lastStart; ++i) {
            int32_t length = chance(30) ? uniform(8, 12) : uniform(8, seconds(5));
            int32_t start = at;
            if (chance(10))
                start -= uniform(0, 20);   // overlaps and disorder, for the tidy pass to repair
            timeline_.push_back({std::max(start, 0), std::max(start, 0) + length, {}});
            at += length + 1 + (chance(30) ? uniform(0, 3) : uniform(0, seconds(4)));
        }
        count_ = int32_t(timeline_.size());
        texts_ = uniform(0, count_ + 10);
        const size_t slots = size_t(std::max(count_, texts_)) + size_t(chance(50) ? 0 : uniform(1, 5));
        timeline_.resize(std::max<size_t>(slots, 1), TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        for (int32_t i = 0; i < texts_; ++i)
            timeline_[size_t(i)].Text = u"text " + std::u16string(1, char16_t(u'A' + i % 26));
        tidyTimeline(timeline_, count_);

        const int32_t videoIndices = summaryIndexOfFrame(mediaLength_, rate_);
        const bool placeholder = chance(50);
        const int32_t length = placeholder ? videoIndices + 600 : std::max(videoIndices + uniform(-400, 400), 0);
        summary_.assign(size_t(length), 0);
        for (size_t i = 0; i + 1 < summary_.size(); i += 2) {
            summary_[i] = uint8_t(uniform(0, 127));
            summary_[i + 1] = uint8_t(int8_t(-uniform(0, 128)));
        }
        marks_.assign(summary_.size(), 0);
        rebuildWaveMarks(marks_, timeline_, count_, rate_);
        width_ = chance(70) ? 556 : uniform(50, 1000);
        model_.texts.clear();
        for (const TimelineEntry& slot : timeline_)
            model_.texts.push_back(slot.Text);
        model_.textCount = texts_;
        takeTimes();
    }

    void takeTimes()
    {
        model_.times.clear();
        for (int32_t i = 0; i < count_; ++i)
            model_.times.emplace_back(timeline_[size_t(i)].StartFrame, timeline_[size_t(i)].EndFrame);
    }

    // Summary indices and frames, converted here rather than by the code
    // under test; frames and indices are never negative in these runs.
    int64_t indexOf(int32_t frame) const { return int64_t(std::floor(double(frame) * 200.0 / double(rate_))); }
    int32_t frameOf(int64_t index) const { return int32_t(std::floor(double(index) * double(rate_) / 200.0)); }

    // The line an insertion at the position should add: from the position to
    // the last 0.2 s step, at most 1.6 s on, that stays short of the next
    // timed index and 0.3 s clear of the end of the marks; none where the
    // position is timed or less than 0.4 s is free.
    std::optional<Frames> lineForInsertion(int32_t position) const
    {
        const int64_t p = indexOf(position);
        const int64_t length = int64_t(marks_.size());
        if (p < length && marks_[size_t(p)] != 0)
            return std::nullopt;
        int64_t limit = length - 60;
        // past 1.6 s and one step the next timed index no longer matters
        for (int64_t j = p + 1; j < std::min(limit, p + 400); ++j) {
            if (marks_[size_t(j)] != 0) {
                limit = j;
                break;
            }
        }
        if (limit - 1 - p < 80)
            return std::nullopt;
        const int64_t room = std::min<int64_t>((limit - 1 - p) / 40 * 40, 320);
        return Frames{position, frameOf(p + room)};
    }

    // line: what lineForInsertion said before the insertion, when the time
    // codes take part
    void modelInsertion(int32_t position, EditColumns columns, std::optional<Frames> line,
                        const InsertResult& result)
    {
        if (columns.Times && !line) {
            if (result.TimeInserted || result.TextInserted)
                modelFault_ = "inserted where there is no room";
            return;
        }
        int32_t textSlot = currentLine_;
        if (line) {
            const int32_t k = int32_t(std::count_if(model_.times.begin(), model_.times.end(),
                                                    [&](const Frames& f) { return f.first < position; }));
            model_.times.insert(model_.times.begin() + k, *line);
            if (result.CurrentLine != k)
                modelFault_ = "the new line is not current";
            textSlot = k;
            if (result.TimeInserted && k < count_) {
                const TimelineEntry& added = timeline_[size_t(k)];
                const double seconds = double(added.EndFrame - added.StartFrame) / double(rate_);
                // whole frames lose at most one summary index and one frame
                if (seconds < 0.4 - 0.005 - 1.0 / rate_ || seconds > 1.6)
                    modelFault_ = "a new line of " + std::to_string(seconds) + " s";
            }
        }
        model_.texts.resize(timeline_.size());
        const bool text = columns.Texts && textSlot >= 0 && textSlot < int32_t(model_.times.size());
        if (text)
            model_.insertText(textSlot);
        if (result.TimeInserted != line.has_value() || result.TextInserted != text)
            modelFault_ = "insertion reported as " + std::to_string(result.TimeInserted) + "/"
                          + std::to_string(result.TextInserted);
    }

    void modelDeletion(EditColumns columns)
    {
        const int32_t c = currentLine_;
        // a slot past the last time code is no current line, for both columns
        if (c < 0 || c >= int32_t(model_.times.size()))
            return;
        if (columns.Times)
            model_.times.erase(model_.times.begin() + c);
        if (columns.Texts && model_.textCount > 0)
            model_.deleteText(c);
    }

    // A play position, most often near a line's ends, where the limits bite.
    int32_t randomPosition()
    {
        if (count_ > 0 && chance(60)) {
            const TimelineEntry& line = timeline_[size_t(uniform(0, count_ - 1))];
            const int32_t edge = chance(50) ? line.StartFrame : line.EndFrame;
            return std::max(0, edge + uniform(-seconds(1), seconds(1)));
        }
        return uniform(0, mediaLength_ + seconds(20));
    }

    // The view and current line a refresh at this position leaves.
    WaveViewState refresh(int32_t position)
    {
        WaveViewState view;
        view.WaveViewStart = viewStart_;
        view.WaveWidth = width_;
        if (chance(40)) {
            view.MouseOverWave = true;
            view.WaveMouseX = uniform(0, width_ - 1);
        }
        currentLine_ = GetCurrLineNumb(timeline_, count_, marks_, rate_, view, position);
        ShowWav({summary_, marks_, timeline_, count_, rate_, position, currentLine_, 0}, view);
        viewStart_ = view.WaveViewStart;
        view.PreferPreviousLine = chance(10);
        return view;
    }

    std::function<void()> saver()
    {
        return [this] {
            ++reached_.saves;
            // the array grows only when the column being extended is full
            if (timeline_.size() > size_t(std::max(count_, texts_)) && timeline_.size() > size_t(currentLine_))
                saveWhenNotFull_ = true;
        };
    }

    // One change, recorded as a step when it changed anything.
    std::string randomStep()
    {
        const size_t slotsBefore = timeline_.size();
        std::string what = randomChange();
        if (history_.record(state())) {
            if (history_.canRedo())
                modelFault_ = "a new change left the undone ones to be redone";
            models_.resize(history_.undoableSteps());
            models_.push_back(model_);
            if (timeline_.size() != slotsBefore)
                grew_.push_back(history_.undoableSteps());
        }
        return what;
    }

    std::string undoOrRedo()
    {
        const bool back = history_.canUndo() && (!history_.canRedo() || chance(60));
        if (!back && !history_.canRedo())
            return "nothing to undo or redo";
        const std::string fault = takeBack(back);
        if (!fault.empty())
            modelFault_ = fault;
        return back ? "undo" : "redo";
    }

    // Undoes (or redoes) one step; the model goes back (or on) with it.
    std::string takeBack(bool back)
    {
        const size_t at = history_.undoableSteps();
        const int32_t countBefore = count_;
        TimelineState s = state();
        const std::optional<StepPlace> place = back ? history_.undo(s) : history_.redo(s);
        if (!place)
            return "no step to take";
        if (back && std::count(grew_.begin(), grew_.end(), at))
            ++reached_.grownUndone;
        model_ = models_.at(history_.undoableSteps());
        // where no line went away, the play position goes to the in-point of
        // the first line that changed
        if (place->frame && count_ >= countBefore
            && (place->slot < 0 || place->slot >= count_ || timeline_[size_t(place->slot)].StartFrame != *place->frame))
            return "the play position does not go to the line that changed";
        currentLine_ = place->slot;
        return check();
    }

    // Everything an undo must give back: the saved file, the counts, every
    // slot's text (also past the counts) and the marks.
    std::string fingerprint() const
    {
        auto number = [](int64_t n) {
            const std::string digits = std::to_string(n);
            return u"|" + std::u16string(digits.begin(), digits.end());
        };
        std::u16string all = srtText(timeline_, count_, rate_);
        all += number(count_) + number(texts_) + number(int64_t(timeline_.size()));
        for (const TimelineEntry& slot : timeline_)
            all += u"|" + slot.Text;
        all += u"|";
        for (uint8_t mark : marks_)
            all += char16_t(u'0' + mark);
        return std::string(reinterpret_cast<const char*>(all.data()), all.size() * sizeof(char16_t));
    }

    std::string randomChange()
    {
        const int32_t position = randomPosition();
        const WaveViewState view = refresh(position);
        std::ostringstream what;
        what << "rate " << rate_ << ", media " << mediaLength_ << ", position " << position << ", line "
             << currentLine_;
        TimelineState s = state();
        const int kind = uniform(0, 99);
        if (kind < 55) {
            const int32_t step = pick(StepSizes) * pick(StepMultiples) * (chance(50) ? 1 : -1);
            int32_t in = 0, out = 0;
            switch (uniform(0, 4)) {
            case 0: in = out = step; break;                        // shift
            case 1: out = step; break;                             // stretch
            case 2: in = step; break;                              // in-point
            case 3: (chance(50) ? in : out) = uniform(-seconds(30), seconds(30)); break;  // click on the strip
            default: break;                                        // (0, 0)
            }
            what << ", move " << in << "/" << out;
            const bool lastPastEnd = count_ > 0 && timeline_[size_t(count_) - 1].EndFrame > mediaLength_;
            currentLine_ = moveTimeLine(s, view, position, mediaLength_, in, out);
            takeTimes();   // the structure check judges a move's time codes
            if (currentLine_ >= 0) {
                ++reached_.moves;
                if (lastPastEnd && currentLine_ == count_ - 1)
                    ++reached_.movesPastTheEnd;
            }
        } else if (kind < 75) {
            const EditColumns columns = randomColumns();
            what << ", insert " << columns.Times << columns.Texts;
            const std::optional<Frames> line = columns.Times ? lineForInsertion(position) : std::nullopt;
            const InsertResult r = procIns(s, currentLine_, position, columns, saver());
            modelInsertion(position, columns, line, r);
            currentLine_ = r.CurrentLine;
            reached_.timeInserts += r.TimeInserted;
            reached_.textInserts += r.TextInserted;
        } else if (kind < 92) {
            const EditColumns columns = randomColumns();
            what << ", delete " << columns.Times << columns.Texts;
            const int32_t before = count_ + texts_;
            procDel(s, currentLine_, columns);
            modelDeletion(columns);
            reached_.deletes += before != count_ + texts_;
            if (chance(30)) {   // a second delete before the next refresh
                what << " twice";
                procDel(s, currentLine_, columns);
                modelDeletion(columns);
            }
        } else {
            what << ", text edit";
            WaveViewState onLabel = view;
            onLabel.MouseOverWave = false;
            std::optional<TextEdit> edit = beginTextEdit(timeline_, count_, marks_, rate_, onLabel, position);
            currentLine_ = edit ? edit->Slot : -1;
            if (edit) {
                if (chance(30))
                    currentLine_ = -1;   // a click left no current line while the field was open
                const int32_t slot = currentLine_ >= 0 ? currentLine_ : edit->Slot;
                model_.texts[size_t(slot)] = u"edited";
                if (storeEditedText(timeline_, currentLine_, *edit, u"edited") != slot)
                    modelFault_ = "the edited text went to another slot";
            }
        }
        return what.str();
    }

    EditColumns randomColumns()
    {
        switch (uniform(0, 2)) {
        case 0: return {true, true};
        case 1: return {true, false};
        default: return {false, true};
        }
    }

    std::string check()
    {
        if (std::string fault = structure(); !fault.empty())
            return fault;
        if (!modelFault_.empty())
            return modelFault_;
        if (count_ != int32_t(model_.times.size()))
            return "TimelineCount " + std::to_string(count_) + ", the model " + std::to_string(model_.times.size());
        for (int32_t i = 0; i < count_; ++i)
            if (Frames(timeline_[size_t(i)].StartFrame, timeline_[size_t(i)].EndFrame) != model_.times[size_t(i)])
                return "line " + std::to_string(i) + " is not where the model has it";
        if (texts_ != model_.textCount)
            return "TextCount " + std::to_string(texts_) + ", the model " + std::to_string(model_.textCount);
        if (model_.texts.size() != timeline_.size())
            return "the model's text column lost step with the array";
        for (size_t i = 0; i < timeline_.size(); ++i)
            if (timeline_[i].Text != model_.texts[i])
                return "the text of slot " + std::to_string(i) + " is not where the model has it";
        return {};
    }

    // The timeline is well-formed and the marks cover exactly its lines.
    std::string structure()
    {
        if (saveWhenNotFull_)
            return "the array was saved and grown while it had room";
        if (count_ < 0 || size_t(count_) > timeline_.size())
            return "TimelineCount " + std::to_string(count_) + " outside the array of " + std::to_string(timeline_.size());
        if (texts_ < 0 || size_t(texts_) > timeline_.size())
            return "TextCount " + std::to_string(texts_) + " outside the array";
        for (int32_t i = 0; i < count_; ++i) {
            const TimelineEntry& line = timeline_[size_t(i)];
            if (line.StartFrame < 0)
                return "line " + std::to_string(i) + " starts before frame 0";
            if (line.EndFrame < line.StartFrame + MinimumLineFrames)
                return "line " + std::to_string(i) + " shorter than the minimum";
            if (i > 0 && line.StartFrame < timeline_[size_t(i) - 1].EndFrame + 1)
                return "line " + std::to_string(i) + " overlaps the line before";
        }
        for (size_t i = size_t(count_); i < timeline_.size(); ++i)
            if (!timeline_[i].isFree())
                return "slot " + std::to_string(i) + " past the count is not free";
        if (marks_.size() != summary_.size())
            return "the marks changed length";
        ByteArray expected(marks_.size(), 0);
        for (int32_t i = 0; i < count_; ++i) {
            const int64_t from = indexOf(timeline_[size_t(i)].StartFrame);
            const int64_t to = std::min<int64_t>(indexOf(timeline_[size_t(i)].EndFrame), int64_t(expected.size()) - 1);
            if (from <= to)
                std::fill(expected.begin() + from, expected.begin() + to + 1, uint8_t(1));
        }
        if (expected != marks_) {
            auto diff = std::mismatch(expected.begin(), expected.end(), marks_.begin());
            return "marks differ from the coverage at index " + std::to_string(diff.first - expected.begin());
        }
        return {};
    }

    std::string describe() const
    {
        std::ostringstream out;
        out << "count " << count_ << ", texts " << texts_ << ", slots " << timeline_.size() << ", marks "
            << marks_.size() << "\n";
        for (int32_t i = 0; i < count_; ++i)
            out << "  " << i << ": " << timeline_[size_t(i)].StartFrame << ".." << timeline_[size_t(i)].EndFrame << "\n";
        return out.str();
    }
};

}  // namespace

TEST(EditInvariants, RandomSequencesKeepTheTimelineWellFormed)
{
    const uint64_t sequences = envNumber("VT_INVARIANT_SEQUENCES", 3000);
    const int steps = int(envNumber("VT_INVARIANT_STEPS", 40));
    const uint64_t seed = envNumber("VT_INVARIANT_SEED", 20240611);
    int failures = 0;
    Sequence::Reached reached;
    for (uint64_t i = 0; i < sequences && failures < 5; ++i) {
        Sequence sequence(seed + i);
        std::string fault = sequence.run(steps);
        reached.add(sequence.reached());
        if (!fault.empty()) {
            ++failures;
            ADD_FAILURE() << "seed " << seed + i << ", " << fault;
        }
    }
    if (sequences >= 1000) {
        EXPECT_GT(reached.saves, 0);
        EXPECT_GT(reached.moves, 0);
        EXPECT_GT(reached.movesPastTheEnd, 0);
        EXPECT_GT(reached.timeInserts, 0);
        EXPECT_GT(reached.textInserts, 0);
        EXPECT_GT(reached.deletes, 0);
        EXPECT_GT(reached.undone, 0);
        EXPECT_GT(reached.grownUndone, 0);
    }
    std::cout << "reached: " << reached.moves << " moves (" << reached.movesPastTheEnd << " past the end), "
              << reached.timeInserts << " time codes and " << reached.textInserts << " texts inserted, "
              << reached.deletes << " deletions, " << reached.saves << " saves before growing, " << reached.undone
              << " steps undone at the end (" << reached.grownUndone << " that grew the array)\n";
}
