// WebVTT files as timeline files: their cues read from the blocks after the
// header, and the times, payloads and new cues a save writes, in the way of
// the file's own (hours written or not, tags kept ahead of a payload). The
// document that keeps the file is core/SubtitleDocument.h.
#pragma once

#include "core/DocumentText.h"
#include "core/ProjectState.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// What a file holds beside its cues' places that a save needs to write a
// payload anew.
struct WebVttLayout {
    // Where a cue's timing line ends, and whether lines of text follow it.
    struct Cue {
        size_t timingEnd = 0;
        bool hasPayload = false;
    };

    std::vector<Cue> cues;  // per event
};

// The first line of a file opens a WebVTT file: "WEBVTT" alone or followed
// by a space or tab and more.
bool opensWebVtt(std::u16string_view firstLine);

// Reads the file in file.text (decoded, line ends as read, no byte-order
// mark) into file: its cues, where each lies, the line end for new lines
// and where cues before all others go. NOTE, STYLE and REGION blocks, cue
// ids and settings are kept as written. Throws SrtTimeLineError, naming the
// 1-based line, for a time that does not parse.
WebVttLayout readWebVtt(DocumentText& file);

// A cue's payload as the editor shows it, its lines apart by any line end:
// lines joined with "^p", tags <...> removed, &amp; &lt; &gt; &nbsp; &lrm;
// &rlm; decoded.
std::u16string webVttShown(std::u16string_view payload);

// The times, payloads and new cues of a save, for the file read into file
// and layout, at frameRate (a positive number).
class WebVttWriter : public EventWriter {
public:
    WebVttWriter(const DocumentText& file, const WebVttLayout& layout, float frameRate)
        : EventWriter(file, frameRate), layout_(layout)
    {
    }

    std::u16string timeText(Span written, int32_t frame) const override;
    Replacement textChange(size_t event, std::u16string_view text) const override;
    std::vector<std::u16string> eventLines(int32_t anchor, const TimelineEntry& slot) const override;

private:
    const WebVttLayout& layout_;
};

}  // namespace vt
