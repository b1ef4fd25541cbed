// What a save writes for a timeline read from an ASS file: the file's own
// times wherever the timeline still holds the frames the load gave, so the
// tidy pass's moves stay in memory; the timeline's frames wherever the user
// moved a point or the rate the frames are read at changed.
#include "core/TimelineText.h"

#include "core/Coverage.h"
#include "core/TextCodec.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace vt;

namespace {

// The first line lasts 0.1 s: the load's tidy pass gives it 8 frames in
// memory (25 .. 33 at 25 fps), which its end in the file does not show.
const std::u16string Script = u"[Script Info]\n\n[Events]\n"
                              u"Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
                              u"Dialogue: 0,0:00:01.00,0:00:01.10,Default,,0,0,0,,短\n"
                              u"Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,长\n";

}  // namespace

TEST(TimelineText, TheFilesOwnTimesStayWhereTheTimelineKeepsTheLoadsFrames)
{
    using Change = std::pair<std::u16string, std::u16string>;
    const struct {
        const char* what;
        float saveRate;
        std::function<void(TimelineArray&)> edit;
        std::vector<Change> changes;
    } cases[] = {
        {"no edit: the file as read", 25.0f, [](TimelineArray&) {}, {}},
        {"the lengthened line's start moved: its end stays the file's", 25.0f,
         [](TimelineArray& t) { t[0].StartFrame = 24; }, {{u"0:00:01.00,0:00:01.10", u"0:00:00.96,0:00:01.10"}}},
        {"its end moved: the end is the timeline's", 25.0f, [](TimelineArray& t) { t[0].EndFrame = 34; },
         {{u"0:00:01.00,0:00:01.10", u"0:00:01.00,0:00:01.36"}}},
        {"the same frames at another rate are other times", 50.0f, [](TimelineArray&) {},
         {{u"0:00:01.00,0:00:01.10", u"0:00:00.50,0:00:00.66"}, {u"0:00:05.00,0:00:06.00", u"0:00:02.50,0:00:03.00"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SubtitleDocument document = SubtitleDocument::parse(TimelineFormat::Ass, Script);
        TimelineArray timeline = {{25, 28, u"短"}, {125, 150, u"长"}, {FreeSlotFrame, FreeSlotFrame, u""}};
        tidyTimeline(timeline, 2);
        ASSERT_EQ(timeline[0].EndFrame, 33);
        const auto loaded = documentOfLoad(std::move(document), timeline, 2, 25.0f);
        c.edit(timeline);
        std::u16string expected = Script;
        for (const auto& [from, to] : c.changes)
            expected.replace(expected.find(from), from.size(), to);
        EXPECT_EQ(toUtf8(timelineText(timeline, 2, c.saveRate, loaded.get())), toUtf8(expected));
    }
}
