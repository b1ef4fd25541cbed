#include "filetools/SubtitleBlocks.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "filetools/Export.h"
#include "filetools/Merge.h"

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
        std::string tmpl = (fs::temp_directory_path() / "veltrana-refusals-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        put("film.srt", "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n\r\n");
        put("good.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nhello\r\n\r\n");
        put("out.srt", "an earlier output");
        put("picture.srt", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\x80\0\0\x01\x68\x08\x02\0\0\0", 33));
        put("script.srt", "[Script Info]\r\nTitle: film\r\n\r\n[Events]\r\n"
                          "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,你好\r\n");
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
        {"script.srt", path("out.srt"), std::string(MsgSecondFileWithoutTimeCodes) + "script.srt"},
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

TEST(ToolOutputName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(toolOutputName("/films/a.srt", BilingualEnding), "/films/a.双语.srt");
    EXPECT_EQ(toolOutputName("/影片/片名.srt", RetimedEnding), "/影片/片名.导出.srt");
    EXPECT_EQ(toolOutputName("/影片/片名字幕", TextExportEnding), "/影片/片txt");
    EXPECT_EQ(toolOutputName("ab", TextExportEnding), "txt");
}
