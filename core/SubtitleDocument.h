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

#include "core/AssDocument.h"
#include "core/DocumentText.h"
#include "core/ProjectState.h"
#include "core/WebVttDocument.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vt {

struct TextFile;  // core/TextCodec.h

enum class TimelineFormat : int8_t { Srt, Ass, WebVtt };

// Decided by the content, never by the name: the first non-blank line is
// "[Script Info]" (any case, blanks around allowed) -> Ass (this covers SSA);
// the first line is "WEBVTT" alone or followed by a space or tab and more -> WebVtt;
// anything else -> Srt. The text is already decoded, without its byte-order mark.
TimelineFormat timelineFormatOf(std::u16string_view text);

class SubtitleDocument {
public:
    SubtitleDocument() = default;  // an empty Srt document

    // format: Ass or WebVtt. text: the whole decoded file, line ends as read
    // (CR LF, LF, lone CR, mixed), no byte-order mark. Throws SrtTimeLineError
    // for a time that does not parse, EventLineError (core/AssDocument.h);
    // both name the 1-based line number in the text.
    static SubtitleDocument parse(TimelineFormat format, std::u16string text);

    TimelineFormat format() const;
    // Dialogue events (not Comment: ones) / cues, in file order.
    const std::vector<DocumentEvent>& events() const { return file_.events; }

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
    DocumentText file_;
    // What the file's format keeps beside its events' places; nothing for Srt.
    std::variant<std::monostate, AssLayout, WebVttLayout> layout_;
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
