// A timeline file kept as its text: the text as read and, per event, where
// its times and its text lie in it, which a save rewrites in place. The ASS
// and WebVTT readers make one of a file (core/AssDocument.h,
// core/WebVttDocument.h); core/SubtitleDocument.h holds it for the rest of
// the program and writes the timeline's changes into it.
#pragma once

#include "core/ProjectState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

struct DocumentEvent {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
    std::u16string Text;     // as the editor shows it (textAsShown)
    int32_t LineNumber = 0;  // 1-based: the Dialogue: line (ASS), the timing line (WebVTT)
};

// Offsets into a document's text, [begin, end).
struct Span {
    size_t begin = 0;
    size_t end = 0;
};

// Where one event lies in the text.
struct EventPlace {
    Span start, end;     // the two times, without the blanks around them
    Span text;           // ASS: the Text field; WebVTT: the payload, first line to last (no line end)
    size_t leadEnd = 0;  // end of the override blocks / tags at the text's start, kept by an edit
    Span removal;        // what removing the event takes out
    size_t after = 0;    // where events placed after it go
};

struct DocumentText {
    std::u16string text;
    std::u16string_view lineEnd = u"\r\n";  // the one the file uses most, for new lines
    // Dialogue events (not Comment: ones) / cues, in file order, and where each lies.
    std::vector<DocumentEvent> events;
    std::vector<EventPlace> places;
    // Events placed before every event of the file go at headAt, after the
    // lines of headLines (the [Events] section and its Format, for an ASS
    // file that has none).
    size_t headAt = 0;
    std::vector<std::u16string> headLines;

    std::u16string_view view(Span span) const
    {
        return std::u16string_view(text).substr(span.begin, span.end - span.begin);
    }

    // The event whose way of writing a new event placed after `anchor`
    // (-1: before every event) follows: that one, else the first; -1 in a
    // file without events.
    int32_t neighbourOf(int32_t anchor) const { return anchor >= 0 ? anchor : places.empty() ? -1 : 0; }
};

// What a save writes in place of [begin, end) of the text.
struct Replacement {
    size_t begin = 0;
    size_t end = 0;
    std::u16string text;
};

// What a save asks of the format it writes: the times, the texts and the
// new events written the way the file writes its own. The save itself (which
// events stay, go or are added, and where) is the same for every format.
class EventWriter {
public:
    // file: as read; frameRate: a positive number.
    EventWriter(const DocumentText& file, float frameRate) : file_(file), rate_(frameRate) {}
    virtual ~EventWriter() = default;

    // The time of `frame`, in place of the one written at `written`.
    virtual std::u16string timeText(Span written, int32_t frame) const = 0;
    // The text of event `event` anew, after the override blocks or tags the old one started with.
    virtual Replacement textChange(size_t event, std::u16string_view text) const = 0;
    // The lines of a new event placed after the event `anchor` (-1: before every event).
    virtual std::vector<std::u16string> eventLines(int32_t anchor, const TimelineEntry& slot) const = 0;

protected:
    const DocumentText& file_;
    float rate_;
};

}  // namespace vt
