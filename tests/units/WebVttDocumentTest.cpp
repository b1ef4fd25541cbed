// The WebVTT writer's new cues: the hours written as the cue beside them
// writes its times (the first cue's, for a cue before every other).
#include "core/WebVttDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vt;

TEST(WebVttDocument, NewCuesWriteHoursAsTheCueBesideThem)
{
    DocumentText file{u"WEBVTT\n\n00:00:01.000 --> 00:00:02.000\n一\n\n00:03.000 --> 00:04.000\n二\n"};
    const WebVttLayout layout = readWebVtt(file);
    const WebVttWriter writer(file, layout, 25.0f);
    struct Case {
        int32_t anchor;
        TimelineEntry slot;
        std::vector<std::u16string> lines;
    };
    const std::vector<Case> cases = {
        {-1, {0, 12, u"最先", TimelineEntry::NewEvent}, {u"", u"00:00:00.000 --> 00:00:00.480", u"最先"}},
        {0, {50, 62, u"中间^p两行", TimelineEntry::NewEvent}, {u"", u"00:00:02.000 --> 00:00:02.480", u"中间", u"两行"}},
        {1, {125, 137, u"末尾", TimelineEntry::NewEvent}, {u"", u"00:05.000 --> 00:05.480", u"末尾"}},
        // past the hour, whatever the cue beside writes
        {1, {90000, 90025, u"一小时", TimelineEntry::NewEvent}, {u"", u"01:00:00.000 --> 01:00:01.000", u"一小时"}},
    };
    ASSERT_EQ(file.places.size(), 2u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.anchor);
        EXPECT_EQ(writer.eventLines(c.anchor, c.slot), c.lines);
    }
}
