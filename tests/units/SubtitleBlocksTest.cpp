#include "filetools/SubtitleBlocks.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/SubtitleDocument.h"
#include "filetools/Export.h"
#include "filetools/Merge.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

class ToolRefusals : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("refusals");
        put("film.srt", "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n\r\n");
        put("good.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nhello\r\n\r\n");
        put("out.srt", "an earlier output");
        put("picture.srt", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\x80\0\0\x01\x68\x08\x02\0\0\0\x48\x50\xDD\x06", 33));
        // its second event has too few fields for its Format line
        put("broken.ass", "[Script Info]\r\nTitle: film\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Text\r\n"
                          "Dialogue: 0,0:00:01.00,0:00:02.00,Default,你好\r\nDialogue: 0,0:00:03.00\r\n");
        put("notes.srt", "你好\r\n\r\n世界\r\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    void put(const std::string& name, const std::string& bytes) { writeFileAtomically(path(name), bytes); }

    std::map<std::string, std::string> folder() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(dir))
            files[entry.path().filename().string()] = readWholeFile(entry.path().string());
        return files;
    }

    fs::path dir;
};

}  // namespace

// An ASS script or a WebVTT file as the second or spare file gives its
// events' texts as a reader sees them: no override blocks, tags or comment
// events, line breaks as "^p", whatever the file is named.
TEST(SubtitleBlocks, AssAndWebVttGiveTheirTextsAsShown)
{
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::u16string> texts;
    } files[] = {
        {"bilingual.ass",
         "[Script Info]\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
         "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\an8\\fs40}你好，{\\i1}世界{\\i0}\\N第二行\r\n"
         "Comment: 0,0:00:02.00,0:00:03.00,Default,,0,0,0,,不是字幕\r\n"
         "Dialogue: 0,0:00:03.00,0:00:04.00,Default,,0,0,0,,Hello, world\r\n",
         {u"你好，世界^p第二行", u"Hello, world"}},
        {"cues.srt", "\xEF\xBB\xBFWEBVTT\n\nNOTE a note\n\n1\n00:00:01.000 --> 00:00:02.000 align:start\n<v 老王><i>你好</i>\n"
                     "&lt;世界&gt;\n",
         {u"你好^p<世界>"}},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(subtitleBlocksOf(file.bytes, file.name).texts, file.texts);
    }
}

// Every refusal names what is wrong and leaves every file as it was, with
// no output and no temporary file written.
TEST_F(ToolRefusals, LeaveEveryFileAsItWas)
{
    const TimelineArray timeline = {{25, 75, u"你好"}};
    using Tool = std::function<void(const std::string& input, const std::string& output)>;
    const std::pair<const char*, Tool> tools[] = {
        {"merge", [&](auto& in, auto& out) {
             saveBilingualSrt({timeline, 1, 25.0f, {TextEncoding::Utf8, false}, path("film.srt")}, in, out, false);
         }},
        {"re-timed export", [&](auto& in, auto& out) {
             saveRetimedSrt({timeline, 1, 25.0f, {TextEncoding::Utf8, false}, path("film.srt")}, in, out);
         }},
        {"text export", [&](auto& in, auto& out) { saveSpareText(in, out, path("film.srt")); }},
    };
    struct Row {
        const char* input;
        std::string output;
        std::string message;
    };
    const Row rows[] = {
        {"missing.srt", path("out.srt"), std::string(MsgSecondFileMissing)},
        {"picture.srt", path("out.srt"), std::string(MsgSecondFileUndecodable) + "picture.srt"},
        {"broken.ass", path("out.srt"), EventLineError(7, u"Dialogue: 0,0:00:03.00").what()},
        {"notes.srt", path("out.srt"), std::string(MsgSecondFileWithoutTimeCodes) + "notes.srt"},
        // the screen saves the timeline over it when it closes
        {"good.srt", (dir / "." / "film.srt").string(), std::string(MsgOutputIsTimeline)},
    };
    const auto before = folder();
    for (const auto& [tool, run] : tools) {
        for (const Row& row : rows) {
            try {
                run(path(row.input), row.output);
                ADD_FAILURE() << tool << " took " << row.input;
            } catch (const UserError& error) {
                EXPECT_EQ(error.what(), row.message) << tool;
            }
            EXPECT_EQ(folder(), before) << tool << " with " << row.input;
        }
    }
}

// The screen saves the timeline over its file when it closes, also when the
// file is not on disk yet (a new timeline): an output that names it in any
// spelling would be lost.
TEST_F(ToolRefusals, AnOutputThatIsTheTimelineInAnotherSpelling)
{
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    const struct {
        const char* timeline;
        std::string output;
        bool refused;
    } cases[] = {
        {"film.srt", path("film.srt"), true},
        {"film.srt", "film.srt", true},
        {"new.srt", "./new.srt", true},
        {"new.srt", (dir / "sub" / ".." / "new.srt").string(), true},
        {"new.srt", "sub/../new.srt", true},
        {"new.srt", "new2.srt", false},
        {"new.srt", "sub/new.srt", false},
    };
    for (const auto& c : cases) {
        bool refused = false;
        try {
            refuseTimelineAsOutput(c.output, path(c.timeline));
        } catch (const UserError& error) {
            refused = error.what() == std::string(MsgOutputIsTimeline);
        }
        EXPECT_EQ(refused, c.refused) << c.timeline << " / " << c.output;
    }
    fs::current_path(cwd);
}

TEST(ToolOutputName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(toolOutputName("/films/a.srt", BilingualEnding), "/films/a.双语.srt");
    EXPECT_EQ(toolOutputName("/影片/片名.srt", RetimedEnding), "/影片/片名.导出.srt");
    EXPECT_EQ(toolOutputName("/影片/片名字幕", TextExportEnding), "/影片/片txt");
    EXPECT_EQ(toolOutputName("ab", TextExportEnding), "txt");
}
