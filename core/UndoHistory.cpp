#include "core/UndoHistory.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <type_traits>

namespace vt {

UndoHistory TimelineHistory;

namespace {

// The two columns of the slots, read and written alike. Past a column's
// extent every slot holds the column's blank: a free slot's frames, or an
// empty text.
struct TimesColumn {
    using Value = TimeCode;
    static Value get(const TimelineEntry& e) { return {e.StartFrame, e.EndFrame, e.Source}; }
    static void set(TimelineEntry& e, const Value& v) { e.StartFrame = v.start, e.EndFrame = v.end, e.Source = v.source; }
    static void take(TimelineEntry& to, TimelineEntry& from)
    {
        to.StartFrame = from.StartFrame, to.EndFrame = from.EndFrame, to.Source = from.Source;
    }
    static bool blank(const TimelineEntry& e) { return e.isFree(); }
    static void clear(TimelineEntry& e)
    {
        e.StartFrame = e.EndFrame = FreeSlotFrame;
        e.Source = TimelineEntry::NewEvent;
    }
    static bool same(const TimelineEntry& a, const TimelineEntry& b)
    {
        return a.StartFrame == b.StartFrame && a.EndFrame == b.EndFrame && a.Source == b.Source;
    }
    static ColumnChange<Value>& of(UndoStep& s) { return s.times; }
    static const ColumnChange<Value>& of(const UndoStep& s) { return s.times; }
};

struct TextsColumn {
    using Value = std::u16string;
    static const Value& get(const TimelineEntry& e) { return e.Text; }
    static void set(TimelineEntry& e, const Value& v) { e.Text = v; }
    static void take(TimelineEntry& to, TimelineEntry& from) { to.Text = std::move(from.Text); }
    static bool blank(const TimelineEntry& e) { return e.Text.empty(); }
    static void clear(TimelineEntry& e) { e.Text.clear(); }
    static bool same(const TimelineEntry& a, const TimelineEntry& b) { return a.Text == b.Text; }
    static ColumnChange<Value>& of(UndoStep& s) { return s.texts; }
    static const ColumnChange<Value>& of(const UndoStep& s) { return s.texts; }
};

template <typename Column>
int32_t extentOf(const TimelineArray& t)
{
    size_t e = t.size();
    while (e > 0 && Column::blank(t[e - 1]))
        --e;
    return int32_t(e);
}

// The stretch that differs between the column before (old) and after (now):
// what the two have in common at the front and at the back stays out. Values
// only put in or taken out (an insertion, a deletion) beside equal values
// could stand at any of several slots with the same result; the one nearest
// `near` is taken, else the last.
template <typename Column>
ColumnChange<typename Column::Value> columnChange(const TimelineArray& old, const TimelineArray& now,
                                                  std::optional<int32_t> near)
{
    ColumnChange<typename Column::Value> c;
    c.extentBefore = extentOf<Column>(old);
    c.extentAfter = extentOf<Column>(now);
    const int32_t shorter = std::min(c.extentBefore, c.extentAfter);
    int32_t front = 0;
    while (front < shorter && Column::same(old[size_t(front)], now[size_t(front)]))
        ++front;
    int32_t back = 0;
    while (back < shorter - front
           && Column::same(old[size_t(c.extentBefore - 1 - back)], now[size_t(c.extentAfter - 1 - back)]))
        ++back;
    if (near && c.extentBefore != c.extentAfter && front + back == shorter) {
        int32_t backMost = back;
        while (backMost < shorter
               && Column::same(old[size_t(c.extentBefore - 1 - backMost)], now[size_t(c.extentAfter - 1 - backMost)]))
            ++backMost;
        const int32_t at = std::clamp(*near, shorter - backMost, front);
        back += front - at;
        front = at;
    }
    c.at = front;
    for (int32_t i = front; i < c.extentBefore - back; ++i)
        c.before.push_back(Column::get(old[size_t(i)]));
    for (int32_t i = front; i < c.extentAfter - back; ++i)
        c.after.push_back(Column::get(now[size_t(i)]));
    return c;
}

// Replaces the column's `gone` values at c.at with `come`, moving the rest
// of the column along; the array is large enough for either extent.
template <typename Column>
void replaceInColumn(TimelineArray& t, int32_t at, size_t gone, const std::vector<typename Column::Value>& come,
                     int32_t extent)
{
    const int64_t delta = int64_t(come.size()) - int64_t(gone);
    const int64_t tailFrom = int64_t(at) + int64_t(gone);
    if (delta > 0) {
        for (int64_t j = int64_t(extent) - 1; j >= tailFrom; --j)
            Column::take(t[size_t(j + delta)], t[size_t(j)]);
    } else if (delta < 0) {
        for (int64_t j = tailFrom; j < extent; ++j)
            Column::take(t[size_t(j + delta)], t[size_t(j)]);
        for (int64_t j = int64_t(extent) + delta; j < extent; ++j)
            Column::clear(t[size_t(j)]);
    }
    for (size_t i = 0; i < come.size(); ++i)
        Column::set(t[size_t(at) + i], come[i]);
}

template <typename Column>
void applyColumn(TimelineArray& t, const UndoStep& step, bool backwards)
{
    const auto& c = Column::of(step);
    if (backwards)
        replaceInColumn<Column>(t, c.at, c.after.size(), c.before, c.extentAfter);
    else
        replaceInColumn<Column>(t, c.at, c.before.size(), c.after, c.extentBefore);
}

// How many bytes two blocks have in common at the front, or at the back:
// equal stretches are passed over a block at a time, since the marks of a
// long film are megabytes and a change touches a few hundred of them.
constexpr size_t CompareBlock = 4096;

size_t commonFront(const uint8_t* a, const uint8_t* b, size_t n)
{
    size_t i = 0;
    while (i + CompareBlock <= n && std::memcmp(a + i, b + i, CompareBlock) == 0)
        i += CompareBlock;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

size_t commonBack(const uint8_t* aEnd, const uint8_t* bEnd, size_t n)
{
    size_t i = 0;
    while (i + CompareBlock <= n && std::memcmp(aEnd - i - CompareBlock, bEnd - i - CompareBlock, CompareBlock) == 0)
        i += CompareBlock;
    while (i < n && *(aEnd - i - 1) == *(bEnd - i - 1))
        ++i;
    return i;
}

std::vector<MarkRun> runsOf(const ByteArray& bytes, int64_t from, int64_t to)
{
    std::vector<MarkRun> runs;
    for (int64_t i = from; i < to; ++i) {
        if (!runs.empty() && runs.back().value == bytes[size_t(i)] && runs.back().length < UINT32_MAX)
            ++runs.back().length;
        else
            runs.push_back({1, bytes[size_t(i)]});
    }
    return runs;
}

int64_t lengthOf(const std::vector<MarkRun>& runs)
{
    int64_t n = 0;
    for (const MarkRun& r : runs)
        n += r.length;
    return n;
}

void replaceMarks(ByteArray& marks, int64_t at, const std::vector<MarkRun>& gone, const std::vector<MarkRun>& come)
{
    const int64_t goneLength = lengthOf(gone);
    const int64_t comeLength = lengthOf(come);
    if (goneLength != comeLength) {
        // only a history reaching across a change of the marks' length gets here
        marks.erase(marks.begin() + at, marks.begin() + at + goneLength);
        marks.insert(marks.begin() + at, size_t(comeLength), uint8_t(0));
    }
    int64_t i = at;
    for (const MarkRun& r : come) {
        std::fill(marks.begin() + i, marks.begin() + i + r.length, r.value);
        i += r.length;
    }
}

bool sameTimeline(const TimelineArray& a, const TimelineArray& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!TimesColumn::same(a[i], b[i]) || !TextsColumn::same(a[i], b[i]))
            return false;
    return true;
}

template <typename Value>
size_t bytesOf(const std::vector<Value>& values)
{
    size_t n = values.capacity() * sizeof(Value);
    if constexpr (std::is_same_v<Value, std::u16string>) {
        for (const std::u16string& s : values)
            if (s.capacity() > std::u16string().capacity())
                n += (s.capacity() + 1) * sizeof(char16_t);
    }
    return n;
}

size_t bytesOfStep(const UndoStep& s)
{
    return sizeof(UndoStep) + bytesOf(s.times.before) + bytesOf(s.times.after) + bytesOf(s.texts.before)
           + bytesOf(s.texts.after) + bytesOf(s.marksBefore) + bytesOf(s.marksAfter);
}

}  // namespace

TimelineState UndoHistory::copyState()
{
    return TimelineState{copy_.Timeline, copy_.TimelineCount, copy_.TextCount, copy_.WaveMarks, 0.0f};
}

void UndoHistory::reset(const TimelineState& state)
{
    steps_.clear();
    done_ = 0;
    bytes_ = 0;
    copy_.Timeline = state.Timeline;
    copy_.TimelineCount = state.TimelineCount;
    copy_.TextCount = state.TextCount;
    copy_.WaveMarks = state.WaveMarks;
}

void UndoHistory::follow(const TimelineState& state)
{
    if (state.TimelineCount != copy_.TimelineCount || state.TextCount != copy_.TextCount
        || state.WaveMarks != copy_.WaveMarks || !sameTimeline(state.Timeline, copy_.Timeline))
        reset(state);
}

bool UndoHistory::record(const TimelineState& state, std::optional<int32_t> near)
{
    UndoStep step;
    step.times = columnChange<TimesColumn>(copy_.Timeline, state.Timeline, near);
    step.texts = columnChange<TextsColumn>(copy_.Timeline, state.Timeline, near);

    const ByteArray& old = copy_.WaveMarks;
    const ByteArray& now = state.WaveMarks;
    const size_t shorter = std::min(old.size(), now.size());
    const int64_t front = int64_t(commonFront(old.data(), now.data(), shorter));
    const int64_t back = int64_t(commonBack(old.data() + old.size(), now.data() + now.size(), shorter - size_t(front)));
    step.marksAt = front;
    step.marksBefore = runsOf(old, front, int64_t(old.size()) - back);
    step.marksAfter = runsOf(now, front, int64_t(now.size()) - back);
    step.marksLengthBefore = int64_t(old.size());
    step.marksLengthAfter = int64_t(now.size());

    step.slotsBefore = int32_t(copy_.Timeline.size());
    step.slotsAfter = int32_t(state.Timeline.size());
    step.timelineCountBefore = copy_.TimelineCount;
    step.timelineCountAfter = state.TimelineCount;
    step.textCountBefore = copy_.TextCount;
    step.textCountAfter = state.TextCount;

    const bool changed = !step.times.before.empty() || !step.times.after.empty() || !step.texts.before.empty()
                         || !step.texts.after.empty() || !step.marksBefore.empty() || !step.marksAfter.empty()
                         || step.slotsBefore != step.slotsAfter || step.timelineCountBefore != step.timelineCountAfter
                         || step.textCountBefore != step.textCountAfter;
    if (!changed)
        return false;

    // the copy follows by the step itself, so every recorded step has been
    // carried out once before anyone undoes it
    TimelineState copy = copyState();
    apply(copy, step, false);
    for (size_t i = done_; i < steps_.size(); ++i)
        bytes_ -= bytesOfStep(steps_[i]);
    steps_.erase(steps_.begin() + ptrdiff_t(done_), steps_.end());
    bytes_ += bytesOfStep(step);
    steps_.push_back(std::move(step));
    while (bytes_ > UndoBudgetBytes && steps_.size() > 1) {
        bytes_ -= bytesOfStep(steps_.front());
        steps_.pop_front();
    }
    done_ = steps_.size();
    if (onChange)
        onChange();
    return true;
}

std::optional<StepPlace> UndoHistory::apply(TimelineState& state, const UndoStep& step, bool backwards)
{
    const int32_t slotsFrom = backwards ? step.slotsAfter : step.slotsBefore;
    const int32_t slotsTo = backwards ? step.slotsBefore : step.slotsAfter;
    const int64_t marksFrom = backwards ? step.marksLengthAfter : step.marksLengthBefore;
    if (int64_t(state.Timeline.size()) != slotsFrom || int64_t(state.WaveMarks.size()) != marksFrom)
        throw std::logic_error("the timeline is not the one the history last recorded");

    if (slotsTo > slotsFrom)
        state.Timeline.resize(size_t(slotsTo), TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    applyColumn<TimesColumn>(state.Timeline, step, backwards);
    applyColumn<TextsColumn>(state.Timeline, step, backwards);
    if (slotsTo < slotsFrom)
        state.Timeline.resize(size_t(slotsTo));
    replaceMarks(state.WaveMarks, step.marksAt, backwards ? step.marksAfter : step.marksBefore,
                 backwards ? step.marksBefore : step.marksAfter);
    state.TimelineCount = backwards ? step.timelineCountBefore : step.timelineCountAfter;
    state.TextCount = backwards ? step.textCountBefore : step.textCountAfter;

    StepPlace place;
    const bool timesChanged = !step.times.before.empty() || !step.times.after.empty();
    const bool textsChanged = !step.texts.before.empty() || !step.texts.after.empty();
    if (timesChanged)
        place.slot = step.times.at;
    if (textsChanged && (place.slot < 0 || step.texts.at < place.slot))
        place.slot = step.texts.at;
    if (timesChanged && place.slot == step.times.at) {
        // the line as it is now, or, where it went (an insertion undone), where it stood
        const auto& now = backwards ? step.times.before : step.times.after;
        const auto& then = backwards ? step.times.after : step.times.before;
        const TimeCode& line = now.empty() ? then.front() : now.front();
        if (line.start != FreeSlotFrame)
            place.frame = line.start;
    } else if (place.slot >= 0 && place.slot < state.TimelineCount) {
        place.frame = state.Timeline[size_t(place.slot)].StartFrame;
    }
    return place;
}

std::optional<StepPlace> UndoHistory::undo(TimelineState& state)
{
    if (!canUndo())
        return std::nullopt;
    const UndoStep& step = steps_[done_ - 1];
    std::optional<StepPlace> place = apply(state, step, true);
    TimelineState copy = copyState();
    apply(copy, step, true);
    --done_;
    if (onChange)
        onChange();
    return place;
}

std::optional<StepPlace> UndoHistory::redo(TimelineState& state)
{
    if (!canRedo())
        return std::nullopt;
    const UndoStep& step = steps_[done_];
    std::optional<StepPlace> place = apply(state, step, false);
    TimelineState copy = copyState();
    apply(copy, step, false);
    ++done_;
    if (onChange)
        onChange();
    return place;
}

size_t UndoHistory::stepBytes() const
{
    size_t n = 0;
    for (const UndoStep& s : steps_)
        n += bytesOfStep(s);
    return n;
}

}  // namespace vt
