#include "core/TimelineText.h"

#include "core/SrtText.h"
#include "core/TimeStrings.h"

#include <algorithm>

namespace vt {

std::shared_ptr<TimelineDocument> documentOfLoad(SubtitleDocument document, TimelineArray& slots, int32_t count,
                                                 float frameRate)
{
    auto loaded = std::make_shared<TimelineDocument>();
    for (int32_t i = 0; i < count && size_t(i) < slots.size(); ++i) {
        slots[size_t(i)].Source = i;
        loaded->loadedFrames.emplace_back(slots[size_t(i)].StartFrame, slots[size_t(i)].EndFrame);
    }
    loaded->document = std::move(document);
    loaded->loadedRate = frameRate;
    return loaded;
}

std::u16string timelineText(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                            const TimelineDocument* document)
{
    if (!document)
        return srtText(timeline, timelineCount, frameRate);
    const std::vector<DocumentEvent>& events = document->document.events();
    const int32_t count = std::clamp<int32_t>(timelineCount, 0, int32_t(timeline.size()));
    // a time still where the load left it is the file's own
    TimelineArray slots(timeline.begin(), timeline.begin() + count);
    const bool sameRate = frameRate == document->loadedRate;
    for (TimelineEntry& slot : slots) {
        if (!sameRate || slot.Source < 0 || size_t(slot.Source) >= events.size() ||
            size_t(slot.Source) >= document->loadedFrames.size())
            continue;
        const auto [loadedStart, loadedEnd] = document->loadedFrames[size_t(slot.Source)];
        const DocumentEvent& event = events[size_t(slot.Source)];
        if (slot.StartFrame == loadedStart)
            slot.StartFrame = MsToFrame(event.StartMs, frameRate);
        if (slot.EndFrame == loadedEnd)
            slot.EndFrame = MsToFrame(event.EndMs, frameRate);
    }
    return document->document.apply(slots, count, frameRate);
}

}  // namespace vt
