// ASS/SSA and WebVTT timeline files, read and written back without losing a
// byte. A document keeps the file's whole text and, per dialogue event or
// cue, where its times and its text lie in it; a save rewrites only the
// fields the timeline changed, drops the events it no longer holds and puts
// the lines made in the editor beside their neighbours:
//
//     std::u16string text = *decodeText(bytes, encoding);   // without the mark
//     SubtitleDocument file = SubtitleDocument::parse(timelineFormatOf(text), text);
//     ... a timeline whose slots name their events (TimelineEntry::Source) ...
//     std::string saved = encodeText(file.apply(timeline, count, frameRate), encoding);
//
// Everything the editor does not show (the script header, styles, fonts,
// comments, cue ids and settings, NOTE/STYLE/REGION blocks, blank lines and
// every line end) goes back as it was read.
#pragma once

#include "core/Errors.h"
#include "core/ProjectState.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

struct TextFile;  // core/TextCodec.h

enum class TimelineFormat : int8_t { Srt, Ass, WebVtt };

// Decided by the content, never by the name: the first non-blank line is
// "[Script Info]" (any case, blanks around allowed) -> Ass (this covers SSA);
// the first line is "WEBVTT" alone or followed by a space or tab and more -> WebVtt;
// anything else -> Srt. The text is already decoded, without its byte-order mark.
TimelineFormat timelineFormatOf(std::u16string_view text);

struct DocumentEvent {
    int32_t StartMs = 0;
    int32_t EndMs = 0;
    std::u16string Text;     // as the editor shows it (textAsShown)
    int32_t LineNumber = 0;  // 1-based: the Dialogue: line (ASS), the timing line (WebVTT)
};

// An ASS events line with fewer fields than its Format line names (or a
// Dialogue line before any [Events] Format and not readable by the default
// format), or a Format line that names no Text, or no Start or End before
// it (Text takes the rest of the line): the message names the line like a
// broken SRT time line.
class EventLineError : public UserError {
public:
    EventLineError(int32_t lineNumber, std::u16string_view line);
    int32_t lineNumber() const { return lineNumber_; }

private:
    int32_t lineNumber_;
};

// After MsgTimeLinePrefix (core/SrtReader.h) and the 1-based line number.
inline constexpr char MsgEventLineMiddle[] = " 行的字段不全：";

class SubtitleDocument {
public:
    SubtitleDocument() = default;  // an empty Srt document

    // format: Ass or WebVtt. text: the whole decoded file, line ends as read
    // (CR LF, LF, lone CR, mixed), no byte-order mark. Throws SrtTimeLineError
    // for a time that does not parse, EventLineError as above; both name the
    // 1-based line number in the text.
    static SubtitleDocument parse(TimelineFormat format, std::u16string text);

    TimelineFormat format() const { return format_; }
    // Dialogue events (not Comment: ones) / cues, in file order.
    const std::vector<DocumentEvent>& events() const { return events_; }

    // The file's text with the timeline's time-coded slots 0 .. timelineCount - 1:
    //  - a slot whose Source names an event not named by an earlier slot
    //    claims it; the event's start, end and text are written anew only
    //    where the slot's differ from what was read (its frames compared at
    //    frameRate), so a timeline without edits gives back the text read;
    //  - an event no slot claims is removed (its line; its block, WebVTT);
    //  - every other slot is a new event, placed after the event of the
    //    nearest earlier claiming slot (before the first event when there is
    //    none), in the style and layer of that event;
    //  - free slots are passed over.
    // An Srt document gives srtText (core/SrtText.h). frameRate must be a
    // positive number.
    std::u16string apply(const TimelineArray& timeline, int32_t timelineCount, float frameRate) const;

private:
    friend class DocumentReader;
    friend class DocumentWriter;

    // Offsets into text_, [begin, end).
    struct Span {
        size_t begin = 0;
        size_t end = 0;
    };
    // Where one event lies in text_.
    struct EventPlace {
        Span start, end;      // the two times, without the blanks around them
        Span text;            // ASS: the Text field; WebVTT: the payload, first line to last (no line end)
        size_t leadEnd = 0;   // end of the override blocks / tags at the text's start, kept by an edit
        Span removal;         // what removing the event takes out
        size_t after = 0;     // where events placed after it go
        // ASS: the fields after "Dialogue:" and the Format they follow (-1: the usual one)
        size_t fieldsBegin = 0;
        int32_t format = -1;
        // WebVTT: the end of the timing line, and whether lines of text follow it
        size_t timingEnd = 0;
        bool hasPayload = false;
    };
    // What an ASS Format line names, in its order.
    enum class AssField : int8_t { Layer, Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text, Other };
    using AssFormat = std::vector<AssField>;

    TimelineFormat format_ = TimelineFormat::Srt;
    std::u16string text_;
    std::vector<DocumentEvent> events_;
    std::vector<EventPlace> places_;
    std::vector<AssFormat> formats_;
    std::u16string_view lineEnd_ = u"\r\n";  // the one the file uses most, for new lines
    // Events placed before every event of the file go at headAt_, after the
    // lines of headLines_ (the [Events] section and its Format, for an ASS
    // file that has none), in the Format headFormat_.
    size_t headAt_ = 0;
    std::vector<std::u16string> headLines_;
    int32_t headFormat_ = -1;
    std::u16string firstStyle_;  // ASS: the first style's name, "Default" if there is none
};

// The ASS/SSA or WebVTT document of a file: its bytes and what
// decodeTextFile made of them. The format is told from the lines already
// decoded, so an SRT (or any other text) gives nothing without being
// decoded a second time. Throws as parse does.
std::optional<SubtitleDocument> documentOf(std::string_view bytes, const TextFile& file);

// A text as a reader sees it, for the file tools' merge and exports, which
// take ASS/WebVTT as their second or spare file: the same "text as shown" as
// DocumentEvent::Text. written: an ASS Text field; the payload of a WebVTT
// cue, its lines apart by any line end; for Srt, the lines of a block. ASS:
// override blocks {...} removed (an unclosed "{" and what follows stay),
// \N and \n -> "^p", \h -> U+00A0. WebVTT: lines joined with "^p", tags
// <...> removed, &amp; &lt; &gt; &nbsp; &lrm; &rlm; decoded. Srt: lines
// joined with "^p".
std::u16string textAsShown(TimelineFormat format, std::u16string_view written);

}  // namespace vt
