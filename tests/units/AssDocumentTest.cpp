// The ASS writer on a script of its own ways: an old SSA script whose style
// Format names the style second, whose lines are marked, with hours of two
// digits and margins of four.
#include "core/AssDocument.h"

#include "core/TextCodec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vt;

namespace {

const std::u16string Script = uR"ssa([Script Info]
ScriptType: v4.00

[V4 Styles]
Format: Fontname, Name, Fontsize
Style: SimHei,正文,20
Style: Arial,英文,20

[Events]
Format: Marked, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: Marked=1,01:00:10.00,01:00:12.00,英文,NTP,0010,0020,0030,!Effect,{\b1}粗体
)ssa";

}  // namespace

// A new line before every line takes the first style and no mark; one after
// a line takes that line's style and mark; both write hours and margins
// with as many digits as the line beside them.
TEST(AssDocument, NewLinesAreWrittenTheWayTheLineBesideThem)
{
    DocumentText file{Script};
    const AssLayout layout = readAss(file);
    const AssWriter writer(file, layout, 25.0f);
    struct Case {
        int32_t anchor;
        TimelineEntry slot;
        std::u16string line;
    };
    const std::vector<Case> cases = {
        {-1, {25, 50, u"开场", TimelineEntry::NewEvent}, u"Dialogue: Marked=0,00:00:01.00,00:00:02.00,正文,,0000,0000,0000,,开场"},
        {0, {90250, 90275, u"新^p行", TimelineEntry::NewEvent},
         u"Dialogue: Marked=1,01:00:10.00,01:00:11.00,英文,,0000,0000,0000,,新\\N行"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.anchor);
        EXPECT_EQ(writer.eventLines(c.anchor, c.slot), std::vector<std::u16string>{c.line});
    }
}

TEST(AssDocument, AMovedTimeKeepsItsHourDigits)
{
    DocumentText file{Script};
    const AssLayout layout = readAss(file);
    const AssWriter writer(file, layout, 25.0f);
    ASSERT_EQ(file.places.size(), 1u);
    EXPECT_EQ(toUtf8(writer.timeText(file.places[0].start, 90300)), "01:00:12.00");
    EXPECT_EQ(toUtf8(writer.timeText(file.places[0].end, 25)), "00:00:01.00");
}
