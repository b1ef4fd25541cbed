#include "filetools/Merge.h"

#include "core/FileIO.h"
#include "opening/Loader.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const FileEncoding Utf8{TextEncoding::Utf8, false};
const FileEncoding Gbk{TextEncoding::Gbk, false};
const FileEncoding Undecided{TextEncoding::Undecided, false};

class Merge : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("merge");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // merges the timeline with a second file holding secondBytes; the output's bytes
    std::string merge(const TimelineArray& timeline, int32_t count, FileEncoding encoding,
                      const std::string& secondBytes, bool onTop)
    {
        writeFileAtomically(path("second.srt"), secondBytes);
        saveBilingualSrt({timeline, count, 25.0f, encoding, path("film.srt")}, path("second.srt"),
                         path("second.双语.srt"), onTop);
        return readWholeFile(path("second.双语.srt"));
    }

    fs::path dir;
};

// The second file is one entry short, and its second entry has no text: the
// pairing stays right for every later entry.
const std::string ShortSecond = "1\r\n00:00:09,000 --> 00:00:09,500\r\n一\r\n\r\n"
                                 "2\r\n00:00:10,000 --> 00:00:10,500\r\n\r\n"
                                 "3\r\n00:00:11,000 --> 00:00:11,500\r\n二\r\n三\r\n\r\n";

const TimelineArray Four = {{25, 75, u"A^pB"},
                            {100, 150, u""},
                            {200, 250, u"C"},
                            {300, 350, u"D"},
                            {FreeSlotFrame, FreeSlotFrame, u"texts past the count are not written"}};

}  // namespace

TEST_F(Merge, PairsEntriesInOrderWithAShorterSecondFile)
{
    EXPECT_EQ(merge(Four, 4, Utf8, ShortSecond, false),
              "1\r\n00:00:01,000 --> 00:00:03,000\r\nA\r\nB\r\n一\r\n\r\n"
              "2\r\n00:00:04,000 --> 00:00:06,000\r\n\r\n\r\n\r\n"
              "3\r\n00:00:08,000 --> 00:00:10,000\r\nC\r\n二\r\n三\r\n\r\n"
              "4\r\n00:00:12,000 --> 00:00:14,000\r\nD\r\n\r\n\r\n");
    EXPECT_EQ(merge(Four, 4, Utf8, ShortSecond, true),
              "1\r\n00:00:01,000 --> 00:00:03,000\r\n一\r\nA\r\nB\r\n\r\n"
              "2\r\n00:00:04,000 --> 00:00:06,000\r\n\r\n\r\n\r\n"
              "3\r\n00:00:08,000 --> 00:00:10,000\r\n二\r\n三\r\nC\r\n\r\n"
              "4\r\n00:00:12,000 --> 00:00:14,000\r\n\r\nD\r\n\r\n");
    // second entries past the timeline's count are left out
    EXPECT_EQ(merge(Four, 1, Utf8, ShortSecond, false), "1\r\n00:00:01,000 --> 00:00:03,000\r\nA\r\nB\r\n一\r\n\r\n");
}

TEST_F(Merge, BilingualOutputAsSecondFileGivesThreeTexts)
{
    const TimelineArray timeline = {{25, 75, u"甲"}, {100, 150, u"乙"}};
    std::string once = merge(timeline, 2, Utf8, "1\r\n00:00:01,000 --> 00:00:02,000\r\n一\r\n\r\n"
                                                "2\r\n00:00:03,000 --> 00:00:04,000\r\n二\r\n\r\n", false);
    EXPECT_EQ(merge(timeline, 2, Utf8, once, false),
              "1\r\n00:00:01,000 --> 00:00:03,000\r\n甲\r\n甲\r\n一\r\n\r\n"
              "2\r\n00:00:04,000 --> 00:00:06,000\r\n乙\r\n乙\r\n二\r\n\r\n");
}

TEST_F(Merge, WritesInTheTimelinesEncoding)
{
    struct Row {
        const char* what;
        FileEncoding timeline;
        int32_t count;
        std::string second;
        std::string output;
    };
    const TimelineArray timeline = {{25, 75, u"你好"}};
    const std::string gbkSecond = "1\r\n00:00:01,000 --> 00:00:02,000\r\n\xCA\xC0\xBD\xE7\r\n";  // 世界
    const std::string gbkOutput = "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\xCA\xC0\xBD\xE7\r\n\r\n";
    const Row rows[] = {
        {"the timeline's GBK", Gbk, 1, "1\r\n00:00:01,000 --> 00:00:02,000\r\n世界\r\n", gbkOutput},
        {"a pure-ASCII timeline takes the second file's", Undecided, 1, gbkSecond, gbkOutput},
        {"with the timeline's byte-order mark", {TextEncoding::Utf8, true}, 1, gbkSecond,
         "\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n世界\r\n\r\n"},
        {"an empty timeline: an empty file, no mark", {TextEncoding::Utf8, true}, 0, gbkSecond, ""},
        {"a blank second file: empty second texts", Utf8, 1, " \r\n\r\n",
         "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n\r\n\r\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(merge(timeline, row.count, row.timeline, row.second, false), row.output) << row.what;
}

TEST_F(Merge, NoTextIsCut)
{
    std::u16string longLine(5000, u'x');
    const TimelineArray timeline = {{25, 75, u"a^p" + longLine}};
    std::string second = std::string(5000, 'y');
    std::string out = merge(timeline, 1, Utf8, "1\r\n00:00:01,000 --> 00:00:02,000\r\n" + second + "\r\n", false);
    EXPECT_EQ(out, "1\r\n00:00:01,000 --> 00:00:03,000\r\na\r\n" + std::string(5000, 'x') + "\r\n" + second + "\r\n\r\n");
}

// Through the real loader, a timeline of pure ASCII keeps that fact, so the
// merge writes in its second file's encoding rather than the locale's.
TEST_F(Merge, AnAsciiTimelineFromTheLoaderFollowsItsGbkSecondFile)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    writeFileAtomically(path("film.avi"), "not looked at");
    writeFileAtomically(path("film.ws"), std::string(1000, '\0'));
    writeFileAtomically(path("film.srt"), "1\r\n00:00:01,000 --> 00:00:03,000\r\nHello\r\n\r\n");
    LoadRequest request;
    request.VideoFileName = path("film.avi");
    request.WavFileName = path("film.wav");
    request.TimelineFileName = path("film.srt");
    request.FrameRate = 25.0f;
    ProjectState state;
    ASSERT_TRUE(loadProject(request, state, {}).ok);

    // "你好" in GBK
    writeFileAtomically(path("second.srt"), "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\r\n");
    saveBilingualSrt(toolTimelineOf(state), path("second.srt"), path("out.srt"), false);
    EXPECT_EQ(readWholeFile(path("out.srt")),
              "1\r\n00:00:01,000 --> 00:00:03,000\r\nHello\r\n\xC4\xE3\xBA\xC3\r\n\r\n");
    std::setlocale(LC_CTYPE, "C");
}
