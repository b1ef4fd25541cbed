#include "filetools/FrameRateConversion.h"

#include "core/Errors.h"
#include "core/FileIO.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const FileEncoding Utf8{TextEncoding::Utf8, false};

class FrameRateConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("conversion");
        srt = (dir / "film.srt").string();
        writeFileAtomically(srt, Before);
        timeline = {{25000, 25050, u"你好"}, {FreeSlotFrame, FreeSlotFrame, {}}};
    }
    void TearDown() override { fs::remove_all(dir); }

    static constexpr std::string_view Before = "1\r\n00:16:40,000 --> 00:16:42,000\r\n你好\r\n\r\n";
    fs::path dir;
    std::string srt;
    TimelineArray timeline;
};

}  // namespace

TEST(FrameToNewTime, DividesFirstAndWrapsHours)
{
    struct Row {
        int32_t frame;
        float rate;
        const char* time;
    };
    const Row rows[] = {
        {25000, 23.976f, "00:17:22,709"},
        {803, 25.0f, "00:00:32,119"},  // 803 / 25 is a hair below 32.12 in binary
        {24, 23.976f, "00:00:01,001"},
        {25 * 3600 * 61, 25.0f, "01:00:00,000"},  // hours wrap after 59
        {-1, 25.0f, ""},
        {25, 0.0f, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FrameToNewTime(row.frame, row.rate), row.time) << row.frame << " at " << row.rate;
}

TEST_F(FrameRateConversion, SavesTheSameFramesAtTheNewRate)
{
    float frameRate = 25.0f;
    bool newTimeline = true;
    EXPECT_EQ(convertFrameRate("25.000", "23.976", timeline, 1, frameRate, srt, Utf8, newTimeline),
              ConversionOutcome::Converted);
    EXPECT_EQ(frameRate, 23.976f);
    EXPECT_FALSE(newTimeline);
    EXPECT_EQ(readWholeFile(srt), "1\r\n00:17:22,709 --> 00:17:24,794\r\n你好\r\n\r\n");
    EXPECT_EQ(timeline[0].StartFrame, 25000);
}

// The boxes name one rate: nothing is saved, even where formatting one frame
// two ways would differ by a millisecond (frame 803 at 25 fps).
TEST_F(FrameRateConversion, SameRateDoesNothing)
{
    for (const char* same : {"25.000", "25", " 25.0 "}) {
        float frameRate = 25.0f;
        bool newTimeline = true;
        EXPECT_EQ(convertFrameRate("25.000", same, timeline, 1, frameRate, srt, Utf8, newTimeline),
                  ConversionOutcome::SameRate)
            << same;
        EXPECT_EQ(frameRate, 25.0f);
        EXPECT_TRUE(newTimeline);
        EXPECT_EQ(readWholeFile(srt), Before);
    }
}

TEST_F(FrameRateConversion, RefusalChangesNothing)
{
    for (const char* refused : {"", "abc", "0", "-23.976", "25abc"}) {
        float frameRate = 25.0f;
        bool newTimeline = true;
        try {
            convertFrameRate("25.000", refused, timeline, 1, frameRate, srt, Utf8, newTimeline);
            ADD_FAILURE() << "not refused: " << refused;
        } catch (const UserError& error) {
            EXPECT_EQ(error.what(), MsgNewFrameRateInvalid);
        }
        EXPECT_EQ(frameRate, 25.0f);
        EXPECT_EQ(readWholeFile(srt), Before);
    }
    // a save that fails keeps the old rate, so the screen stays consistent
    float frameRate = 25.0f;
    bool newTimeline = true;
    EXPECT_THROW(convertFrameRate("25.000", "24", timeline, 1, frameRate, (dir / "no" / "film.srt").string(), Utf8,
                                  newTimeline),
                 FileError);
    EXPECT_EQ(frameRate, 25.0f);
    EXPECT_TRUE(newTimeline);
}

// The conversion saves the timeline in the encoding its file was read in,
// whatever the locale's.
TEST_F(FrameRateConversion, KeepsTheTimelinesOwnEncoding)
{
    const struct {
        const char* name;
        FileEncoding encoding;
        std::u16string text;
        std::string textBytes;
        std::string mark;
        bool wide;
    } cases[] = {
        {"GBK", {TextEncoding::Gbk, false}, u"你好", "\xC4\xE3\xBA\xC3", "", false},
        {"GBK behind a UTF-8 mark", {TextEncoding::Gbk, true}, u"你好", "\xC4\xE3\xBA\xC3", "\xEF\xBB\xBF", false},
        {"Windows-1252", {TextEncoding::Windows1252, false}, u"EXISTÉ", "EXIST\xC9", "", false},
        {"UTF-16 LE", {TextEncoding::Utf16LE, true}, u"你好", std::string("\x60\x4F\x7D\x59", 4), "\xFF\xFE", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        timeline[0].Text = c.text;
        float frameRate = 25.0f;
        bool newTimeline = false;
        convertFrameRate("25.000", "23.976", timeline, 1, frameRate, srt, c.encoding, newTimeline);
        std::string ascii = "1\r\n00:17:22,709 --> 00:17:24,794\r\n";
        auto structure = [&](const std::string& a) {
            std::string out;
            for (char ch : a) {
                out.push_back(ch);
                if (c.wide)
                    out.push_back('\0');
            }
            return out;
        };
        EXPECT_EQ(readWholeFile(srt), c.mark + structure(ascii) + c.textBytes + structure("\r\n\r\n"));
    }
}
