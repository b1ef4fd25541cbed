// What a save of the timeline writes: SRT, or the ASS/SSA or WebVTT file it
// was read from with the timeline's changes. Shared by the save and the
// autosaved copy, which must write the same.
#pragma once

#include "core/ProjectState.h"
#include "core/SubtitleDocument.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vt {

// A timeline file read as ASS/SSA or WebVTT: the file as read, and the
// frames the load left each of its events on (after the tidy pass, which
// keeps lines from overlapping in the editor) at the rate it was read at.
// A save writes an event's time anew only where the timeline's differs from
// that, so the times of lines the user did not touch keep their bytes.
struct TimelineDocument {
    SubtitleDocument document;
    std::vector<std::pair<int32_t, int32_t>> loadedFrames;  // start and end frame, per event
    float loadedRate = 0.0f;
};

// The document of a timeline just built from its events (slot i from event
// i, for the first `count` slots): the slots are told which event they
// are, and their frames are kept as the ones the load gave them.
std::shared_ptr<TimelineDocument> documentOfLoad(SubtitleDocument document, TimelineArray& slots, int32_t count,
                                                 float frameRate);

// What a save of the timeline writes: srtText, or, given the document it
// was read from, that file with the timeline's changes.
std::u16string timelineText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                            const TimelineDocument* document);

}  // namespace vt
