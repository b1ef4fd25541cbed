// The operations that change the timeline in the editor: moving and
// stretching the current line, inserting and deleting a line (time code,
// text or both), and editing a line's text in place. Each takes the timeline
// state and its inputs and keeps WaveMarks in step with the time codes.
#pragma once

#include "core/ProjectState.h"
#include "core/TimelineState.h"
#include "editor/CurrentLine.h"
#include "editor/EditorState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

// The placeholder text a new line gets: 第N行, N counted from 1.
inline constexpr std::u16string_view PlaceholderTextBefore = u"第";
inline constexpr std::u16string_view PlaceholderTextAfter = u"行";
std::u16string placeholderText(int32_t slot);

// Adds moveTimeIn to the current line's in-point and moveTimeOut to its
// out-point, then brings it back within its neighbours: a shift stops
// against them keeping its length, a stretch past the next line grows
// towards the front, and a line moved at one end keeps at least
// MinimumLineFrames. The last line's upper limit is mediaLength; a last
// line that already runs past the end of the video is pulled back, but never
// over the line before it nor below MinimumLineFrames. The current line is
// looked up first (play position, or
// the pointer while it is over the waveform); the result is that line, or
// -1 when there is none and nothing changed.
int32_t moveTimeLine(TimelineState& state, const WaveViewState& view, int32_t playPosition, int32_t mediaLength,
                     int32_t moveTimeIn, int32_t moveTimeOut);

// A time code to put in: its in- and out-point and the slot it takes.
struct PlannedLine {
    int32_t in = 0;
    int32_t out = 0;
    int32_t slot = 0;
};

struct InsertResult {
    int32_t CurrentLine = -1;   // the new line's slot, or the current line passed in
    bool TimeInserted = false;
    bool TextInserted = false;
};

// Inserts, as the columns choose, a time code at the play position (from
// there to just before the next covered summary index, 0.4 s to 1.6 s long;
// nothing when the position lies inside a line or less than 0.4 s is free)
// and a placeholder text at the current line (the new line's slot when a
// time code was inserted). When the position leaves no room, neither column
// changes. When the array is full it grows by ZoomSrtArray, which saves
// through `save` before anything changes; a save that throws leaves the
// state as it was. The key that asks for it stands the video still
// (FormKeyDown), whether or not a line goes in.
InsertResult procIns(TimelineState& state, int32_t currentLine, int32_t playPosition, EditColumns columns,
                     const std::function<void()>& save);

// What procIns does once the time code is planned (empty: none, only with
// the time column unticked): the array grown as needed, later time codes
// (and, with the text column, texts) moved down a slot, the line and its
// text put in. The in- and out-point are kept off the neighbours.
InsertResult insertPlannedLine(TimelineState& state, int32_t currentLine, const std::optional<PlannedLine>& planned,
                               EditColumns columns, const std::function<void()>& save);

// Deletes, as the columns choose, the current line's time code (later ones
// move up a slot) and/or a text (later texts move up; at or past the last
// text, the last text is dropped). A current line at or past TimelineCount
// (left over from a deletion before the next refresh) deletes nothing in
// either column; with no texts the text column stays as it is.
void procDel(TimelineState& state, int32_t currentLine, EditColumns columns);

// An open text edit: the slot that was current when it began, and the text
// the field starts with (as stored, "^p" for a line break).
struct TextEdit {
    int32_t Slot = -1;
    std::u16string Text;
};

// Double-click on the subtitle label: looks up the current line at the play
// position; empty when there is none. The caller stores the slot (or -1) as
// the current line.
std::optional<TextEdit> beginTextEdit(const TimelineArray& timeline, int32_t timelineCount,
                                      const ByteArray& waveMarks, float frameRate, const WaveViewState& view,
                                      int32_t playPosition);

// Enter in the edit field: stores the text in the current line's slot, or,
// when a click or wheel turn meanwhile left no current line, in the slot the
// edit began on. TextCount does not change. Returns the slot written, or -1.
int32_t storeEditedText(TimelineArray& timeline, int32_t currentLine, const TextEdit& edit,
                        std::u16string text);

}  // namespace vt
