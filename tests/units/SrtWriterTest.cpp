#include "core/TimelineWriter.h"

#include "core/FileIO.h"
#include "core/SrtReader.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const FileEncoding Utf8{TextEncoding::Utf8, false};
const FileEncoding Gbk{TextEncoding::Gbk, false};

class SrtWriter : public ::testing::Test {
protected:
    void SetUp() override
    {
        // a folder of each test's own: what one test saved is not another's file
        dir = scratch::freshDir("srtwriter");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // saves and returns the file's bytes
    std::string save(const TimelineArray& timeline, int32_t count, FileEncoding encoding = Utf8)
    {
        bool newTimeline = true;
        proSaveSrt(timeline, count, 25.0f, path("out.srt"), encoding, newTimeline);
        EXPECT_FALSE(newTimeline);
        return readWholeFile(path("out.srt"));
    }

    // what the loader does with an SRT: read it, convert to frames
    TimelineArray load(const TextFile& srt, float rate)
    {
        auto times = readSrtTimeCodes(srt.lines);
        auto texts = readSrtTexts(srt.lines);
        TimelineArray timeline(std::max(times.size(), texts.size()));
        for (size_t i = 0; i < times.size(); ++i) {
            timeline[i].StartFrame = MsToFrame(times[i].StartMs, rate);
            timeline[i].EndFrame = MsToFrame(times[i].EndMs, rate);
        }
        for (size_t i = 0; i < texts.size(); ++i)
            timeline[i].Text = texts[i];
        return timeline;
    }

    fs::path dir;
};

}  // namespace

TEST_F(SrtWriter, TwoPieceTextAt25fps)
{
    TimelineArray timeline{{25, 75, u"你好^p世界"}};
    EXPECT_EQ(save(timeline, 1), "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n世界\r\n\r\n");
    EXPECT_EQ(save(timeline, 1, Gbk), "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\xCA\xC0\xBD\xE7\r\n\r\n");
}

TEST_F(SrtWriter, BlocksAreNumberedAndTimeLinesAre29Characters)
{
    TimelineArray timeline{{0, 8, u"A"}, {90000, 90025, u""}};
    std::u16string text = srtText(timeline, 2, 25.0f);
    EXPECT_EQ(text, u"1\r\n00:00:00,000 --> 00:00:00,320\r\nA\r\n\r\n"
                    u"2\r\n01:00:00,000 --> 01:00:01,000\r\n\r\n\r\n");
    EXPECT_EQ(splitLines(text)[1].size(), 29u);
}

TEST_F(SrtWriter, CaretPAtEitherEndGivesAnEmptyLine)
{
    TimelineArray timeline{{0, 8, u"^pA"}, {9, 17, u"B^p"}, {18, 26, u"C^pD^pE"}};
    EXPECT_EQ(srtText(timeline, 3, 25.0f),
              u"1\r\n00:00:00,000 --> 00:00:00,320\r\n\r\nA\r\n\r\n"
              u"2\r\n00:00:00,360 --> 00:00:00,680\r\nB\r\n\r\n\r\n"
              u"3\r\n00:00:00,720 --> 00:00:01,040\r\nC\r\nD\r\nE\r\n\r\n");
}

TEST_F(SrtWriter, NothingIsCutOnSave)
{
    std::u16string head(5000, u'h'), tail(350000, u'x');
    TimelineArray timeline{{0, 8, head + u"^p" + tail + u"^p" + head}};
    std::u16string text = srtText(timeline, 1, 25.0f);
    std::u16string expected = u"1\r\n00:00:00,000 --> 00:00:00,320\r\n" + head + u"\r\n" + tail + u"\r\n" + head +
                              u"\r\n\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(SrtWriter, OnlyTimeCodedSlotsAreWritten)
{
    TimelineArray timeline{{25, 75, u"A"}, {FreeSlotFrame, FreeSlotFrame, u"surplus"}};
    EXPECT_EQ(save(timeline, 1), "1\r\n00:00:01,000 --> 00:00:03,000\r\nA\r\n\r\n");
}

TEST_F(SrtWriter, NoLinesGiveAnEmptyFile)
{
    TimelineArray timeline(256, {FreeSlotFrame, FreeSlotFrame, u""});
    EXPECT_EQ(save(timeline, 0), "");
    EXPECT_EQ(save(timeline, 0, {TextEncoding::Utf8, true}), "");
}

TEST_F(SrtWriter, SavingTwiceGivesIdenticalFiles)
{
    // the same timeline saved twice, then a shorter one: each save replaces
    // the whole file, nothing of the one before is left at its end
    const std::string twoLines =
        "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\xCA\xC0\xBD\xE7\r\n\r\n"
        "2\r\n00:00:04,000 --> 00:00:05,200\r\nB\r\n\r\n";
    const std::string oneLine = "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\xCA\xC0\xBD\xE7\r\n\r\n";
    TimelineArray timeline{{25, 75, u"你好^p世界"}, {100, 130, u"B"}};
    struct Step {
        int32_t count;
        const std::string& bytes;
    };
    const Step steps[] = {{2, twoLines}, {2, twoLines}, {1, oneLine}};
    for (const Step& step : steps)
        EXPECT_EQ(save(timeline, step.count, Gbk), step.bytes) << step.count << " lines";
}

TEST_F(SrtWriter, GbkFileComesBackByteForByte)
{
    const std::string gbk =
        "1\r\n00:00:01,000 --> 00:00:03,000\r\n\xC4\xE3\xBA\xC3\r\n\xCA\xC0\xBD\xE7\r\n\r\n"
        "2\r\n00:01:00,040 --> 01:00:00,000\r\n\xA1\xB0" "A\xA1\xB1\r\n\r\n";
    TextFile srt = decodeTextFile(gbk);
    ASSERT_EQ(srt.encoding.encoding, TextEncoding::Gbk);
    EXPECT_EQ(save(load(srt, 25.0f), 2, timelineEncoding(srt.encoding, nullptr)), gbk);
}

TEST_F(SrtWriter, Utf8FileComesBackByteForByte)
{
    const std::string utf8 = "\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:03,000\r\n你好\r\n\xF0\x9F\x98\x80\r\n\r\n";
    TextFile srt = decodeTextFile(utf8);
    EXPECT_EQ(save(load(srt, 25.0f), 1, timelineEncoding(srt.encoding, nullptr)), utf8);
}

TEST_F(SrtWriter, FailedWriteLeavesTheOldFileAndNewTimeline)
{
    const std::string old = "1\r\n00:00:01,000 --> 00:00:03,000\r\nold\r\n\r\n";
    writeFileAtomically(path("out.srt"), old);
    TimelineArray timeline{{25, 75, std::u16string(1000, u'x')}};
    bool newTimeline = true;

    // a file-size limit binds root too, so the write really fails
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit tight = saved;
    tight.rlim_cur = 100;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string error;
    try {
        proSaveSrt(timeline, 1, 25.0f, path("out.srt"), Utf8, newTimeline);
    } catch (const FileError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_NE(error.find(std::strerror(EFBIG)), std::string::npos) << error;
    EXPECT_TRUE(newTimeline);
    EXPECT_EQ(readWholeFile(path("out.srt")), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "a temporary file was left";
}

TEST_F(SrtWriter, SavingKeepsTheFilesPermissions)
{
    TimelineArray timeline{{25, 75, u"A"}};
    struct Case {
        mode_t umask;
        int existing;  // -1: the file is new
        int expected;
    };
    const Case cases[] = {
        {022, -1, 0644}, {077, -1, 0600}, {002, -1, 0664},               // new: as any program's new file
        {022, 0600, 0600}, {022, 0640, 0640}, {077, 0664, 0664}, {022, 0755, 0755},  // replaced: kept
    };
    const fs::path base = dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << "umask " << c.umask << ", existing " << c.existing);
        // each case's file is a user's file of its own, not the one the case before saved
        dir = base / std::to_string(&c - cases);
        fs::create_directories(dir);
        if (c.existing >= 0) {
            writeFileAtomically(path("out.srt"), "old");
            fs::permissions(path("out.srt"), fs::perms(c.existing));
        }
        mode_t saved = ::umask(c.umask);
        save(timeline, 1);
        ::umask(saved);
        EXPECT_EQ(fs::status(path("out.srt")).permissions(), fs::perms(c.expected));
    }
    dir = base;
}

// The temporary goes beside the target: made anywhere else, the rename onto
// another file system (a tmpfs, a USB stick) would fail, or leave it behind.
TEST_F(SrtWriter, SaveOntoAnotherFileSystemWorksAndLeavesNoTemporary)
{
    std::vector<fs::path> folders{dir};
    fs::path shm = fs::path("/dev/shm") / ("veltrana-srtwriter-" + std::to_string(::getpid()));
    if (fs::is_directory("/dev/shm") && fs::create_directories(shm))
        folders.push_back(shm);
    auto strays = [] {
        std::vector<std::string> found;
        for (const fs::path& place : {fs::temp_directory_path(), fs::current_path()})
            for (const auto& entry : fs::directory_iterator(place))
                if (entry.path().filename().string().rfind("out.srt.", 0) == 0)
                    found.push_back(entry.path().string());
        return found;
    };
    for (const fs::path& folder : folders) {
        SCOPED_TRACE(folder.string());
        const std::string target = (folder / "out.srt").string();
        for (const char* round : {"new", "over the old"}) {
            ASSERT_NO_THROW(writeFileAtomically(target, round)) << round;
            EXPECT_EQ(readWholeFile(target), round);
            std::vector<std::string> names;
            for (const auto& entry : fs::directory_iterator(folder))
                names.push_back(entry.path().filename().string());
            EXPECT_EQ(names, std::vector<std::string>{"out.srt"}) << round;
            EXPECT_EQ(strays(), std::vector<std::string>{}) << round;
        }
    }
    fs::remove_all(shm);
}

// A name that fits the file system may not fit it with the temporary's
// suffix; the save must still go through.
TEST_F(SrtWriter, LongestNamesAreSaved)
{
    std::string chinese;
    for (int i = 0; i < 83; ++i)
        chinese += "字";  // 249 bytes, 253 with ".srt"
    for (const std::string& name : {std::string(251, 'a') + ".srt", chinese + ".srt"}) {
        SCOPED_TRACE(name.size());
        std::ofstream(path(name)) << "old";
        ASSERT_NO_THROW(writeFileAtomically(path(name), "new"));
        EXPECT_EQ(readWholeFile(path(name)), "new");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "a temporary file was left";
        fs::remove(path(name));
    }
}

// The message names the file the user saves and, when no file can be made
// there, its folder; never the temporary, a name the user never saw.
TEST_F(SrtWriter, FailedSaveNamesTheFileAndItsFolder)
{
    writeFileAtomically(path("notafolder"), "x");
    fs::create_directories(path("afolder.srt"));
    auto quoted = [](const std::string& p) { return " \"" + p + "\""; };
    auto folderRefused = [&](const std::string& target, const std::string& folder, int err) {
        return std::string(MsgCannotSaveFile) + quoted(target) + std::string(MsgFolderBefore) + quoted(folder) + " " +
               std::string(MsgFolderAfter) + ": " + std::strerror(err);
    };
    struct Case {
        const char* what;
        std::string target;
        std::string expected;
    };
    const Case cases[] = {
        {"a file where the folder should be", path("notafolder") + "/out.srt",
         folderRefused(path("notafolder") + "/out.srt", path("notafolder"), ENOTDIR)},
        {"no such folder", path("missing") + "/out.srt",
         folderRefused(path("missing") + "/out.srt", path("missing"), ENOENT)},
        {"a folder in the file's place", path("afolder.srt"),
         std::string(MsgCannotSaveFile) + quoted(path("afolder.srt")) + ": " + std::strerror(EISDIR)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            writeFileAtomically(c.target, "new");
            ADD_FAILURE() << "no error";
        } catch (const FileError& e) {
            EXPECT_EQ(std::string(e.what()), c.expected);
        }
    }
    EXPECT_EQ(readWholeFile(path("notafolder")), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a temporary file was left";
}

TEST_F(SrtWriter, FailedRenameLeavesNoTemporaryFile)
{
    // a folder in the SRT's place cannot be replaced by a file, by root either
    fs::create_directory(path("out.srt"));
    writeFileAtomically(path("out.srt") + "/kept", "x");
    TimelineArray timeline{{25, 75, u"A"}};
    bool newTimeline = true;
    try {
        proSaveSrt(timeline, 1, 25.0f, path("out.srt"), Utf8, newTimeline);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(EISDIR)), std::string::npos) << e.what();
    }
    EXPECT_TRUE(newTimeline);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"out.srt"}) << "a temporary file was left";
    EXPECT_EQ(readWholeFile(path("out.srt") + "/kept"), "x");
}

TEST_F(SrtWriter, FolderThatCannotHoldFilesRaisesTheSystemsText)
{
    // a regular file in place of the folder stops root as well
    writeFileAtomically(path("notafolder"), "x");
    TimelineArray timeline{{25, 75, u"A"}};
    bool newTimeline = true;
    try {
        proSaveSrt(timeline, 1, 25.0f, path("notafolder") + "/out.srt", Utf8, newTimeline);
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(ENOTDIR)), std::string::npos) << e.what();
    }
    EXPECT_TRUE(newTimeline);
    EXPECT_EQ(readWholeFile(path("notafolder")), "x");
}
