// ASS/SSA scripts as timeline files: their Dialogue lines read under the
// Format of their [Events] section, and the times, texts and new Dialogue
// lines a save writes, in the way of the script's own (hour digits, margins,
// the style and layer of the line beside). The document that keeps the
// script is core/SubtitleDocument.h.
#pragma once

#include "core/DocumentText.h"
#include "core/Errors.h"
#include "core/ProjectState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

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

// What a script holds beside its events' places that a save needs for the
// lines it adds.
struct AssLayout {
    // What a Format line names, in its order.
    enum class Field : int8_t { Layer, Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text, Other };
    using Format = std::vector<Field>;

    // Where a Dialogue line's fields start (after "Dialogue:"), and the
    // Format they follow (an index in formats; -1: the usual one).
    struct EventFields {
        size_t begin = 0;
        int32_t format = -1;
    };

    std::vector<Format> formats;      // the [Events] sections' Format lines, in file order
    std::vector<EventFields> events;  // per event
    int32_t headFormat = -1;          // the Format of the events placed before every event
    std::u16string firstStyle;        // the first style's name, "Default" if there is none
};

// The first line of a file that is not blank opens a script: "[Script
// Info]" (any case, blanks around allowed). This covers SSA.
bool opensAssScript(std::u16string_view firstFilledLine);

// Reads the script in file.text (decoded, line ends as read, no byte-order
// mark) into file: its events, where each lies, the line end for new lines
// and where events before all others go. Throws SrtTimeLineError for a time
// that does not parse, EventLineError as above; both name the 1-based line.
AssLayout readAss(DocumentText& file);

// A Text field as the editor shows it: override blocks {...} removed (an
// unclosed "{" and what follows stay), \N and \n -> "^p", \h -> U+00A0.
std::u16string assShown(std::u16string_view field);

// The times, texts and new Dialogue lines of a save, for the script read
// into file and layout, at frameRate (a positive number).
class AssWriter : public EventWriter {
public:
    AssWriter(const DocumentText& file, const AssLayout& layout, float frameRate)
        : EventWriter(file, frameRate), layout_(layout)
    {
    }

    std::u16string timeText(Span written, int32_t frame) const override;
    Replacement textChange(size_t event, std::u16string_view text) const override;
    std::vector<std::u16string> eventLines(int32_t anchor, const TimelineEntry& slot) const override;

private:
    const AssLayout& layout_;
};

}  // namespace vt
