#include "opening/Loader.h"

#include "core/FileIO.h"
#include "core/SrtReader.h"
#include "core/TimelineWriter.h"
#include "core/TextCodec.h"
#include "analysis/WaveSummary.h"
#include "tests/support/NormalUser.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

#include <sys/stat.h>

using namespace vt;
namespace fs = std::filesystem;

namespace {

std::string le16(uint32_t v) { return {char(v & 0xFF), char(v >> 8 & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// The classic 44-byte WAV layout around the given sample bytes.
std::string wavFile(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data)
{
    uint16_t align = uint16_t(channels * (bits / 8));
    std::string fmt = le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
    std::string chunks = "fmt " + le32(16) + fmt + "data" + le32(uint32_t(data.size())) + data;
    return "RIFF" + le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

// One second of 44.1 kHz 16-bit stereo: silence, except that the first frame
// of every 10 ms chunk has the most significant bytes 100 (left) and 50 (right),
// or those given.
std::string oneSecondOfClicks(int left = 100, int right = 50)
{
    std::string data(44100 * 4, '\0');
    for (size_t chunk = 0; chunk < 100; ++chunk) {
        data[chunk * 1764 + 1] = char(left);
        data[chunk * 1764 + 3] = char(right);
    }
    return wavFile(1, 2, 44100, 16, data);
}

const std::string TwoOverlappingLines =
    "1\r\n00:00:01,000 --> 00:00:01,100\r\n第一句\r\n\r\n"
    "2\r\n00:00:01,050 --> 00:00:03,000\r\n第二句\r\n\r\n";

int marksFrom(const ByteArray& marks, size_t from, size_t to)
{
    return int(std::count(marks.begin() + from, marks.begin() + to + 1, uint8_t(1)));
}

bool allFree(const TimelineArray& timeline)
{
    return std::all_of(timeline.begin(), timeline.end(), [](const auto& slot) { return slot.isFree(); });
}

class Loader : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("loader");
        request.VideoFileName = write("film.avi", "not looked at");
        request.WavFileName = path("film.wav");
        request.TimelineFileName = path("film.srt");
        request.FrameRate = 25.0f;
        callbacks.videoLengthFrames = [this](const std::string& video) {
            measured.push_back(video);
            return videoLength;
        };
        callbacks.summaryStarted = [this] { ++summaryStarts; };
        callbacks.progress = [this](int percent) { progress.push_back(percent); };
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    LoadOutcome load() { return loadProject(request, state, callbacks); }

    // A project loaded before, which a failing load must leave as it is.
    void loadEarlierProject()
    {
        write("film.srt", TwoOverlappingLines);
        write("film.ws", std::string(1000, '\x05'));
        ASSERT_TRUE(load().ok);
        state.NextPage = 2;  // the open-project screen is showing again
        earlier = state;
    }

    void expectEarlierProject() const
    {
        ASSERT_EQ(state.Timeline.size(), earlier.Timeline.size());
        for (size_t i = 0; i < state.Timeline.size(); ++i) {
            EXPECT_EQ(state.Timeline[i].StartFrame, earlier.Timeline[i].StartFrame) << "slot " << i;
            EXPECT_EQ(state.Timeline[i].EndFrame, earlier.Timeline[i].EndFrame) << "slot " << i;
            EXPECT_EQ(state.Timeline[i].Text, earlier.Timeline[i].Text) << "slot " << i;
        }
        EXPECT_EQ(state.TimelineCount, earlier.TimelineCount);
        EXPECT_EQ(state.TextCount, earlier.TextCount);
        EXPECT_EQ(state.WaveSummary, earlier.WaveSummary);
        EXPECT_EQ(state.WaveMarks, earlier.WaveMarks);
        EXPECT_EQ(state.VideoLengthFrames, earlier.VideoLengthFrames);
        EXPECT_EQ(state.NewTimeline, earlier.NewTimeline);
        EXPECT_EQ(state.NextPage, 2);
    }

    fs::path dir;
    LoadRequest request;
    LoadCallbacks callbacks;
    ProjectState state;
    ProjectState earlier;
    int32_t videoLength = 2500;
    std::vector<std::string> measured;
    int summaryStarts = 0;
    std::vector<int> progress;
};

// ---- time codes ----------------------------------------------------------

TEST_F(Loader, WorkedExampleAt25fps)
{
    write("film.srt", TwoOverlappingLines);
    write("film.ws", std::string(1000, '\0'));

    LoadOutcome outcome = load();

    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_FALSE(outcome.summaryShown);
    EXPECT_EQ(state.NextPage, 3);
    EXPECT_EQ(state.TimelineCount, 2);
    EXPECT_EQ(state.TextCount, 2);
    ASSERT_EQ(state.Timeline.size(), 258u);
    EXPECT_EQ(state.Timeline[0].StartFrame, 25);
    EXPECT_EQ(state.Timeline[0].EndFrame, 33);
    EXPECT_EQ(state.Timeline[1].StartFrame, 34);
    EXPECT_EQ(state.Timeline[1].EndFrame, 75);
    EXPECT_EQ(state.Timeline[0].Text, u"第一句");
    EXPECT_EQ(state.Timeline[1].Text, u"第二句");
    EXPECT_TRUE(allFree(TimelineArray(state.Timeline.begin() + 2, state.Timeline.end())));

    ASSERT_EQ(state.WaveMarks.size(), 1000u);
    EXPECT_EQ(marksFrom(state.WaveMarks, 200, 264), 65);
    EXPECT_EQ(marksFrom(state.WaveMarks, 272, 600), 329);
    EXPECT_EQ(marksFrom(state.WaveMarks, 0, 999), 65 + 329);  // nothing else: 265..271 stay clear
    EXPECT_EQ(summaryStarts, 0);
    EXPECT_TRUE(measured.empty());  // the player is only needed for a placeholder
}

TEST_F(Loader, ReversedTimeCodeLastsEightFrames)
{
    write("film.srt", "1\r\n00:00:05,000 --> 00:00:04,000\r\nA\r\n\r\n");
    write("film.ws", std::string(2000, '\0'));

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.Timeline[0].StartFrame, 125);
    EXPECT_EQ(state.Timeline[0].EndFrame, 133);
    EXPECT_EQ(marksFrom(state.WaveMarks, 0, 1999), 1064 - 1000 + 1);
}

TEST_F(Loader, OutOfOrderLinesArePushedBehindTheOneBefore)
{
    write("film.srt",
          "1\r\n00:00:10,000 --> 00:00:12,000\r\nA\r\n\r\n"
          "2\r\n00:00:05,000 --> 00:00:06,000\r\nB\r\n\r\n"
          "3\r\n00:00:11,000 --> 00:00:11,500\r\nC\r\n\r\n");
    write("film.ws", std::string(4000, '\0'));

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.Timeline[0].StartFrame, 250);
    EXPECT_EQ(state.Timeline[0].EndFrame, 300);
    EXPECT_EQ(state.Timeline[1].StartFrame, 301);
    EXPECT_EQ(state.Timeline[1].EndFrame, 309);
    EXPECT_EQ(state.Timeline[2].StartFrame, 310);
    EXPECT_EQ(state.Timeline[2].EndFrame, 318);
    EXPECT_EQ(state.Timeline[2].Text, u"C");  // texts stay in their slots
}

// ---- new timelines and text files ----------------------------------------

TEST_F(Loader, NewTimelineWithTextsInTheSrtIsEmpty)
{
    write("film.srt", "");  // as "新建" leaves it
    write("film.ws", std::string(400, '\0'));
    request.NewTimeline = true;

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.TimelineCount, 0);
    EXPECT_EQ(state.TextCount, 0);
    EXPECT_EQ(state.Timeline.size(), 256u);
    EXPECT_TRUE(allFree(state.Timeline));
    EXPECT_TRUE(state.NewTimeline);
    EXPECT_EQ(readWholeFile(request.TimelineFileName), "\r\n");
    EXPECT_EQ(marksFrom(state.WaveMarks, 0, 399), 0);
}

TEST_F(Loader, NewTimelineNeverEmptiesAFileThatHoldsATimeline)
{
    // "新建" made another file; this name was typed into the box afterwards
    write("film.srt", TwoOverlappingLines);
    write("film.ws", std::string(1000, '\0'));
    request.NewTimeline = true;

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(readWholeFile(request.TimelineFileName), TwoOverlappingLines);
    EXPECT_EQ(state.TimelineCount, 2);
    EXPECT_EQ(state.Timeline[1].StartFrame, 34);
    EXPECT_FALSE(state.NewTimeline);
}

TEST_F(Loader, NewTimelineWithFiveHundredLinesOfText)
{
    std::string txt;
    for (int i = 0; i < 500; ++i)
        txt += "第" + std::to_string(i) + "句\r\n";
    request.SubtitleTextFileName = write("film.txt", txt);
    write("film.srt", "");
    write("film.ws", std::string(400, '\0'));
    request.NewTimeline = true;
    request.TextFromTxtFile = true;
    request.OneLinePerSubtitle = true;

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.TimelineCount, 0);
    EXPECT_EQ(state.TextCount, 500);
    ASSERT_EQ(state.Timeline.size(), 756u);
    EXPECT_TRUE(allFree(state.Timeline));
    EXPECT_EQ(state.Timeline[0].Text, u"第0句");
    EXPECT_EQ(state.Timeline[499].Text, u"第499句");
    EXPECT_EQ(state.Timeline[500].Text, u"");
    EXPECT_TRUE(state.TextFromTxtFile);
    EXPECT_TRUE(state.OneLinePerSubtitle);
}

TEST_F(Loader, RemembersTheEncodingToSaveIn)
{
    // "字幕" in GBK
    write("film.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\n\xD7\xD6\xC4\xBB\r\n\r\n");
    write("film.ws", std::string(1000, '\0'));
    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.TimelineEncoding.encoding, TextEncoding::Gbk);
    EXPECT_EQ(state.Timeline[0].Text, u"字幕");

    // an ASCII SRT decides nothing: the text file's UTF-8 with its mark wins
    write("film.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\n\r\n");
    request.SubtitleTextFileName = write("film.txt", "\xEF\xBB\xBF字幕\r\n");
    request.TextFromTxtFile = true;
    request.OneLinePerSubtitle = true;
    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.TimelineEncoding.encoding, TextEncoding::Utf8);
    EXPECT_TRUE(state.TimelineEncoding.bom);
}

// ---- the waveform summary ------------------------------------------------

TEST_F(Loader, PlaceholderFromTheVideoLength)
{
    write("film.srt", "");

    ASSERT_TRUE(load().ok);
    ASSERT_EQ(measured, std::vector<std::string>{request.VideoFileName});
    EXPECT_EQ(state.VideoLengthFrames, 2500);
    ASSERT_EQ(state.WaveSummary.size(), 20600u);
    EXPECT_EQ(state.WaveMarks.size(), 20600u);
    // pair 101 (the first stroke of the n) in the first and the 34th period
    EXPECT_EQ(int8_t(state.WaveSummary[202]), 36);
    EXPECT_EQ(int8_t(state.WaveSummary[203]), -36);
    EXPECT_EQ(int8_t(state.WaveSummary[202 + 33 * 600]), 36);
    EXPECT_EQ(state.WaveSummary[0], 0);
    EXPECT_EQ(summaryStarts, 0);
}

TEST_F(Loader, SummaryFilePreferredOverTheWav)
{
    write("film.srt", "");
    write("film.wav", "not even a WAV");
    write("film.ws", "\x07\xF9\x03");

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.WaveSummary, (ByteArray{0x07, 0xF9, 0x03}));
    EXPECT_EQ(state.WaveMarks.size(), 3u);
    EXPECT_EQ(summaryStarts, 0);
}

TEST_F(Loader, SummaryFileChosenInTheWavBoxIsUsedDirectly)
{
    write("film.srt", "");
    request.WavFileName = write("other.WS", "\x10\xF0");

    ASSERT_TRUE(load().ok);
    EXPECT_EQ(state.WaveSummaryFileName, request.WavFileName);
    EXPECT_EQ(state.WaveSummary, (ByteArray{0x10, 0xF0}));
}

TEST_F(Loader, SummaryBuiltFromTheWavAndCached)
{
    write("film.srt", "1\r\n00:00:00,000 --> 00:00:00,200\r\nA\r\n\r\n");
    write("film.wav", oneSecondOfClicks());

    LoadOutcome outcome = load();

    ASSERT_TRUE(outcome.ok);
    EXPECT_FALSE(outcome.summaryShown);  // hidden again once the load is done
    EXPECT_EQ(summaryStarts, 1);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    ASSERT_EQ(state.WaveSummary.size(), 200u);
    EXPECT_EQ(int8_t(state.WaveSummary[0]), 75);  // 100 / 2 + 50 / 2
    EXPECT_EQ(int8_t(state.WaveSummary[1]), 0);
    EXPECT_EQ(int8_t(state.WaveSummary[198]), 75);
    EXPECT_EQ(state.WaveSummaryFileName, path("film.ws"));
    EXPECT_EQ(readWholeFile(path("film.ws")), std::string(state.WaveSummary.begin(), state.WaveSummary.end()));
    EXPECT_EQ(marksFrom(state.WaveMarks, 0, 199), 65);  // frames 0..8 -> indices 0..64
}

// A ".ws" that cannot be the summary of the WAV beside it would give a strip
// where no key works; it is rebuilt from the WAV, or the placeholder stands in.
TEST_F(Loader, SummaryFileThatCannotBelongToItsWavIsRebuilt)
{
    const std::string clicks = oneSecondOfClicks();  // gives 200 bytes
    const std::string fiveMs = wavFile(1, 2, 44100, 16, std::string(220 * 4, '\0'));
    struct Case {
        const char* what;
        const char* wav;   // nullptr: no WAV beside
        std::string wavBytes;
        std::string wsBytes;
        size_t summaryBytes;  // what the editor gets
        bool rebuilt;         // built from the WAV and written over the ".ws"
    };
    const Case cases[] = {
        {"empty .ws beside its WAV", "film.wav", clicks, "", 200, true},
        {"one pair short", "film.wav", clicks, std::string(198, '\x05'), 200, true},
        {"one pair too many", "film.wav", clicks, std::string(202, '\x05'), 200, true},
        {"odd length", "film.wav", clicks, std::string(199, '\x05'), 200, true},
        {"fits: kept as it is", "film.wav", clicks, std::string(200, '\x05'), 200, false},
        {"empty .ws, no WAV", nullptr, "", "", 20600, false},
        {"empty .ws chosen in the WAV box", "other.ws", "", "", 20600, false},
        {"empty .ws, WAV shorter than a pair", "film.wav", fiveMs, "", 20600, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(path("film.wav"));
        fs::remove(path("film.ws"));
        summaryStarts = 0;
        write("film.srt", "");
        request.WavFileName = path(c.wav ? c.wav : "film.wav");
        if (c.wav && std::string(c.wav) == "other.ws")
            write("other.ws", c.wsBytes);
        else
            write("film.ws", c.wsBytes);
        if (c.wav && std::string(c.wav) == "film.wav")
            write("film.wav", c.wavBytes);

        LoadOutcome outcome = load();

        ASSERT_TRUE(outcome.ok) << (outcome.messages.empty() ? "" : outcome.messages.front());
        EXPECT_EQ(state.WaveSummary.size(), c.summaryBytes);
        EXPECT_EQ(state.WaveMarks.size(), c.summaryBytes);
        EXPECT_EQ(summaryStarts, c.rebuilt ? 1 : 0);
        if (c.summaryBytes == 200) {
            EXPECT_EQ(int8_t(state.WaveSummary[0]), c.rebuilt ? 75 : 5);
            EXPECT_EQ(readWholeFile(path("film.ws")), std::string(state.WaveSummary.begin(), state.WaveSummary.end()));
        } else {
            EXPECT_EQ(int8_t(state.WaveSummary[202]), 36);  // the placeholder's n
        }
    }
}

// ---- a WAV whose folder takes no summary ------------------------------------

// A cache folder of the test's own that an ordinary user can write to, for
// the length of one test.
class OrdinaryCacheFolder {
public:
    OrdinaryCacheFolder()
    {
        const char* was = std::getenv("XDG_CACHE_HOME");
        before_ = was ? was : "";
        folder_ = scratch::freshDir("loader-cache").string();
        ::chmod(folder_.c_str(), 0777);
        ::setenv("XDG_CACHE_HOME", folder_.c_str(), 1);
    }
    ~OrdinaryCacheFolder()
    {
        ::setenv("XDG_CACHE_HOME", before_.c_str(), 1);
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

private:
    std::string before_;
    std::string folder_;
};

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A project on a disc or a read-only share, or one whose ".ws" name a folder
// has taken, still opens: the WAV's summary goes to the cache folder, the
// next opening takes it from there without reading the WAV again, a ".ws"
// that fits beside the WAV still comes first, and a WAV changed since gets
// a summary of its own. The first opening runs as an ordinary user, whom
// the folder's mode refuses (the tests may run as root, whom it does not).
TEST_F(Loader, SummaryOfAWavWhoseFolderTakesNoFileIsKeptInTheCacheFolder)
{
    struct Case {
        const char* what;
        mode_t folderMode;
        bool wsIsAFolder;
    };
    const Case cases[] = {
        {"read-only folder", 0555, false},
        {"a folder named film.ws", 0777, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OrdinaryCacheFolder cache;
        fs::remove_all(path("film.ws"));
        write("film.srt", "");
        write("film.wav", oneSecondOfClicks());
        if (c.wsIsAFolder)
            fs::create_directory(path("film.ws"));
        ASSERT_EQ(::chmod(dir.c_str(), c.folderMode), 0);
        const std::vector<std::string> before = namesIn(dir);
        summaryStarts = 0;

        const int first = normaluser::runAsNormalUser([this] {
            const LoadOutcome outcome = load();
            if (!outcome.ok)
                return 1;
            return summaryStarts == 1 && state.WaveSummary.size() == 200 && int8_t(state.WaveSummary[0]) == 75 ? 0
                                                                                                             : 2;
        });
        EXPECT_EQ(first, 0) << "1: the load failed, 2: it gave another summary";
        EXPECT_EQ(namesIn(dir), before) << "a file was left beside the WAV";
        EXPECT_TRUE(fs::is_regular_file(waveSummaryCacheFile(path("film.wav"))));

        // whoever opens it next (root, whom the folder would let write, too)
        summaryStarts = 0;
        ASSERT_TRUE(load().ok);
        EXPECT_EQ(summaryStarts, 0) << "the WAV was summarised again";
        ASSERT_EQ(state.WaveSummary.size(), 200u);
        EXPECT_EQ(int8_t(state.WaveSummary[0]), 75);
        EXPECT_EQ(namesIn(dir), before);

        ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
        fs::remove_all(path("film.ws"));
        write("film.ws", std::string(200, '\x05'));
        ASSERT_TRUE(load().ok);
        EXPECT_EQ(int8_t(state.WaveSummary[0]), 5) << "the .ws beside the WAV did not come first";

        // the same name and length, other sound
        fs::remove(path("film.ws"));
        write("film.wav", oneSecondOfClicks(60, 20));
        ASSERT_TRUE(load().ok);
        EXPECT_EQ(int8_t(state.WaveSummary[0]), 40) << "the summary of the WAV before it changed";
    }
}

// Beside its WAV, a ".ws" that cannot be read is a cache that cannot be
// used: the WAV gives the summary again, and the load goes on.
TEST_F(Loader, UnreadableSummaryBesideItsWavIsBuiltAgain)
{
    write("film.srt", "");
    write("film.wav", oneSecondOfClicks());
    write("film.ws", std::string(200, '\x05'));
    ASSERT_EQ(::chmod(path("film.ws").c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);

    const int loaded = normaluser::runAsNormalUser([this] {
        const LoadOutcome outcome = load();
        return outcome.ok && summaryStarts == 1 && int8_t(state.WaveSummary[0]) == 75 ? 0 : 1;
    });

    EXPECT_EQ(loaded, 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
    EXPECT_EQ(readWholeFile(path("film.ws")).substr(0, 1), std::string(1, char(75)));
}

TEST_F(Loader, EmptySummaryFileBesideAWavThatIsNoneIsRefused)
{
    loadEarlierProject();
    write("film.ws", "");
    write("film.wav", "not even a WAV");

    LoadOutcome outcome = load();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.messages, (std::vector<std::string>{std::string(WavNotRealMessage), std::string(MsgWavFailed)}));
    EXPECT_EQ(readWholeFile(path("film.ws")), "");
    expectEarlierProject();
}

TEST_F(Loader, EmptyWavBoxLooksForNoSummary)
{
    write("film.srt", "");
    write("ws", "\x01\x01");  // what the companion of an empty name would be
    request.WavFileName = "";
    fs::path before = fs::current_path();
    fs::current_path(dir);
    bool ok = load().ok;
    fs::current_path(before);

    ASSERT_TRUE(ok);
    EXPECT_EQ(state.WaveSummaryFileName, "");
    EXPECT_EQ(state.WaveSummary.size(), 20600u);
}

// ---- refusals and failures -----------------------------------------------

TEST_F(Loader, RefusalsInTheOrderOfTheChecks)
{
    loadEarlierProject();
    request.VideoFileName = path("missing.avi");
    request.FrameRate = 0;
    request.TimelineFileName = path("missing.srt");
    request.SubtitleTextFileName = path("missing.txt");
    request.TextFromTxtFile = true;
    auto refusal = [&] {
        LoadOutcome outcome = load();
        EXPECT_FALSE(outcome.ok);
        EXPECT_FALSE(outcome.summaryShown);
        expectEarlierProject();
        return outcome.messages;
    };
    using Messages = std::vector<std::string>;

    EXPECT_EQ(refusal(), Messages{std::string(MsgVideoMissing)});
    EXPECT_EQ(state.VideoFileName, path("missing.avi"));  // the names are taken all the same
    EXPECT_EQ(state.TimelineFileName, path("missing.srt"));

    request.VideoFileName = path("film.avi");
    EXPECT_EQ(refusal(), Messages{std::string(MsgFrameRateUnknown)});
    request.FrameRate = std::nanf("");
    EXPECT_EQ(refusal(), Messages{std::string(MsgFrameRateUnknown)});

    request.FrameRate = 25;
    EXPECT_EQ(refusal(), Messages{std::string(MsgTimelineMissing)});
    request.TextFromTxtFile = false;
    EXPECT_EQ(refusal(), Messages{std::string(MsgSubtitleFileMissing)});

    request.TextFromTxtFile = true;
    request.TimelineFileName = path("film.srt");
    EXPECT_EQ(refusal(), Messages{std::string(MsgTextFileMissing)});

    EXPECT_TRUE(measured.empty());
}

TEST_F(Loader, FolderNamedInABoxIsRefusedLikeAMissingFile)
{
    loadEarlierProject();
    write("film.txt", "第一句\n");
    fs::create_directories(path("folder.avi") + "/inside");
    fs::create_directories(path("folder.srt"));
    fs::create_directories(path("folder.txt"));
    struct Case {
        const char* video;
        const char* srt;
        const char* txt;  // nullptr: the texts are in the SRT
        std::string_view message;
    };
    const Case cases[] = {
        {"folder.avi", "film.srt", nullptr, MsgVideoMissing},
        {"film.avi", "folder.srt", nullptr, MsgSubtitleFileMissing},
        {"film.avi", "folder.srt", "film.txt", MsgTimelineMissing},
        {"film.avi", "film.srt", "folder.txt", MsgTextFileMissing},
    };
    for (const Case& c : cases) {
        request.VideoFileName = path(c.video);
        request.TimelineFileName = path(c.srt);
        request.TextFromTxtFile = c.txt != nullptr;
        request.SubtitleTextFileName = c.txt ? path(c.txt) : "";
        LoadOutcome outcome = load();
        EXPECT_FALSE(outcome.ok) << c.video << " " << c.srt;
        EXPECT_EQ(outcome.messages, std::vector<std::string>{std::string(c.message)}) << c.video << " " << c.srt;
        expectEarlierProject();
    }
    EXPECT_TRUE(measured.empty());
}

TEST_F(Loader, WavThatIsNotPcmStopsTheLoad)
{
    loadEarlierProject();
    fs::remove(path("film.ws"));
    write("film.wav", wavFile(3, 2, 44100, 32, std::string(1764 * 4, '\0')));  // float samples

    LoadOutcome outcome = load();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.messages, (std::vector<std::string>{std::string(WavNotPcmMessage), std::string(MsgWavFailed)}));
    EXPECT_TRUE(outcome.summaryShown);
    EXPECT_EQ(summaryStarts, 1);
    EXPECT_FALSE(fs::exists(path("film.ws")));
    expectEarlierProject();
}

TEST_F(Loader, BadTimeLineNamesItsLineAndChangesNothing)
{
    loadEarlierProject();
    write("film.srt", "1\r\n00:00:01,000 --> 00:00:02,000\r\nA\r\n\r\n2\r\n00:0x:01,000 --> 00:00:02,000\r\nB\r\n");

    LoadOutcome outcome = load();

    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_EQ(outcome.messages[0].rfind(std::string(MsgTimeLinePrefix) + "6" + MsgTimeLineMiddle, 0), 0u)
        << outcome.messages[0];
    expectEarlierProject();
}

TEST_F(Loader, PlayerErrorIsShownAsItIs)
{
    loadEarlierProject();
    fs::remove(path("film.ws"));
    callbacks.videoLengthFrames = [](const std::string&) -> int32_t { throw UserError("无法打开视频：编码不支持"); };

    LoadOutcome outcome = load();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"无法打开视频：编码不支持"});
    EXPECT_FALSE(outcome.summaryShown);
    expectEarlierProject();
}

TEST_F(Loader, FailedNewTimelineLeavesItsFileAlone)
{
    loadEarlierProject();
    fs::remove(path("film.ws"));
    write("new.srt", "");
    request.TimelineFileName = path("new.srt");
    request.NewTimeline = true;
    callbacks.videoLengthFrames = [](const std::string&) -> int32_t { throw UserError("player failed"); };

    EXPECT_FALSE(load().ok);
    EXPECT_EQ(readWholeFile(path("new.srt")), "");
    expectEarlierProject();
}

TEST_F(Loader, AFailedLoadThenASuccessfulOne)
{
    write("film.srt", "1\r\n00:00:01,000 --> xx:00:02,000\r\nA\r\n");
    write("film.ws", std::string(1000, '\0'));
    EXPECT_FALSE(load().ok);
    EXPECT_TRUE(state.Timeline.empty());
    EXPECT_EQ(state.NextPage, 2);

    write("film.srt", TwoOverlappingLines);
    LoadOutcome outcome = load();
    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(state.TimelineCount, 2);
    EXPECT_EQ(state.Timeline[1].StartFrame, 34);
    EXPECT_EQ(state.NextPage, 3);
}

// ---- files that are not timelines ----------------------------------------

namespace {

template <typename Char>
std::string unitsAsBytes(std::basic_string_view<Char> text, bool bigEndian)
{
    std::string out;
    for (Char c : text)
        for (size_t k = 0; k < sizeof(Char); ++k) {
            size_t shift = 8 * (bigEndian ? sizeof(Char) - 1 - k : k);
            out.push_back(char((uint32_t(c) >> shift) & 0xFF));
        }
    return out;
}

// How one encoding writes a file: the bytes of a line of ASCII (numbers,
// time lines, line ends), its mark, and the texts it can hold, each as its
// bytes and as the text it is.
struct EncodingCase {
    const char* name;
    std::string mark;
    std::function<std::string(std::u16string_view ascii)> structure;
    std::vector<std::pair<std::string, std::u16string>> texts;
    TextEncoding encoding;
};

std::string narrow(std::u16string_view ascii) { return std::string(ascii.begin(), ascii.end()); }

std::vector<std::pair<std::string, std::u16string>> wideTexts(bool utf32, bool bigEndian)
{
    const std::u16string texts[] = {u"你好，世界", u"EXISTÉ.", u"\U0001F600 smile", u"  spaced\tout  "};
    std::vector<std::pair<std::string, std::u16string>> out;
    for (const std::u16string& text : texts) {
        std::u32string wide;
        for (size_t i = 0; i < text.size(); ++i) {
            char32_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
            wide.push_back(c);
        }
        out.emplace_back(utf32 ? unitsAsBytes(std::u32string_view(wide), bigEndian)
                               : unitsAsBytes(std::u16string_view(text), bigEndian),
                         text);
    }
    return out;
}

EncodingCase wideCase(const char* name, TextEncoding encoding, bool marked)
{
    bool utf32 = encoding == TextEncoding::Utf32LE || encoding == TextEncoding::Utf32BE;
    bool big = encoding == TextEncoding::Utf16BE || encoding == TextEncoding::Utf32BE;
    auto structure = [utf32, big](std::u16string_view ascii) {
        return utf32 ? unitsAsBytes(std::u32string_view(std::u32string(ascii.begin(), ascii.end())), big)
                     : unitsAsBytes(ascii, big);
    };
    return {name, marked ? structure(u"\uFEFF") : "", structure, wideTexts(utf32, big), encoding};
}

std::vector<EncodingCase> encodingCases()
{
    const std::vector<std::pair<std::string, std::u16string>> utf8 = {
        {"\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C", u"你好，世界"},
        {"EXIST\xC3\x89.", u"EXISTÉ."},
        {"\xF0\x9F\x98\x80 smile", u"\U0001F600 smile"},
        {"  spaced\tout  ", u"  spaced\tout  "}};
    const std::vector<std::pair<std::string, std::u16string>> gbk = {
        {"\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7", u"你好，世界"}, {"\xB5\xDA\xB6\xFE\xD0\xD0", u"第二行"}};
    const std::vector<std::pair<std::string, std::u16string>> western = {
        {"EXIST\xC9.", u"EXISTÉ."}, {"\xC7" "a va? \x93oui\x94 \x96 5 \x80", u"Ça va? “oui” – 5 €"}};
    return {
        {"ASCII", "", narrow, {{"Hello", u"Hello"}, {"  spaced\tout  ", u"  spaced\tout  "}}, TextEncoding::Undecided},
        {"UTF-8", "", narrow, utf8, TextEncoding::Utf8},
        {"UTF-8 with its mark", "\xEF\xBB\xBF", narrow, utf8, TextEncoding::Utf8},
        {"GBK", "", narrow, gbk, TextEncoding::Gbk},
        {"GB18030 four-byte", "", narrow,
         {{"\xC4\xE3\xBA\xC3 \x94\x39\xFC\x36", u"你好 \U0001F600"}, {"EXIST\x81\x30\x87\x37.", u"EXISTÉ."}},
         TextEncoding::Gbk},
        {"a UTF-8 mark before GBK", "\xEF\xBB\xBF", narrow, gbk, TextEncoding::Gbk},
        {"Windows-1252", "", narrow, western, TextEncoding::Windows1252},
        wideCase("UTF-16 LE with its mark", TextEncoding::Utf16LE, true),
        wideCase("UTF-16 BE with its mark", TextEncoding::Utf16BE, true),
        wideCase("UTF-16 LE without a mark", TextEncoding::Utf16LE, false),
        wideCase("UTF-16 BE without a mark", TextEncoding::Utf16BE, false),
        wideCase("UTF-32 LE with its mark", TextEncoding::Utf32LE, true),
        wideCase("UTF-32 BE with its mark", TextEncoding::Utf32BE, true),
        wideCase("UTF-32 LE without a mark", TextEncoding::Utf32LE, false),
        wideCase("UTF-32 BE without a mark", TextEncoding::Utf32BE, false),
    };
}

// The lines of a file that are neither numbers, time lines nor blank.
std::vector<std::u16string> textLinesOf(const TextLines& lines)
{
    std::vector<std::u16string> texts;
    for (size_t i = 0; i < lines.size(); ++i) {
        bool number = i + 1 < lines.size() && isTimeLine(lines[i + 1]) &&
                      std::all_of(lines[i].begin(), lines[i].end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
        if (!number && !isTimeLine(lines[i]) && !isBlankLine(lines[i]))
            texts.push_back(lines[i]);
    }
    return texts;
}

}  // namespace

// A file that loads loses no character: each encoding, each line-end style,
// with and without number lines, loaded and saved without an edit, has every
// text line in the saved file, which is read back in the same encoding. A
// file in the writer's own layout (CR LF, numbers, whole frames) comes back
// byte for byte.
TEST_F(Loader, EveryTextLineComesBackThroughLoadAndSave)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    write("film.ws", std::string(1000, '\0'));
    const std::pair<const char*, std::u16string_view> lineEnds[] = {
        {"CR LF", u"\r\n"}, {"LF", u"\n"}, {"CR", u"\r"}, {"mixed", u""}};
    for (const EncodingCase& encoding : encodingCases()) {
        for (const auto& [endName, lineEndBound] : lineEnds) {
            // a copy the lambda below can capture: clang 14 captures no structured binding
            const std::u16string_view lineEnd = lineEndBound;
            for (bool numbered : {true, false}) {
                SCOPED_TRACE(std::string(encoding.name) + ", " + endName + (numbered ? ", numbered" : ""));
                std::string bytes = encoding.mark;
                std::vector<std::u16string> texts;
                int line = 0;
                auto end = [&] {
                    static const std::u16string_view mixture[] = {u"\r\n", u"\n", u"\r"};
                    return encoding.structure(lineEnd.empty() ? mixture[line++ % 3] : lineEnd);
                };
                for (size_t i = 0; i < encoding.texts.size(); ++i) {
                    std::string n = std::to_string(i + 1), start = "00:00:0" + std::to_string(i) + ",000";
                    if (numbered)
                        bytes += encoding.structure(std::u16string(n.begin(), n.end())) + end();
                    bytes += encoding.structure(u"00:00:0" + std::u16string(1, u'0' + char16_t(i)) +
                                                u",000 --> 00:00:0" + std::u16string(1, u'0' + char16_t(i)) + u",520") +
                             end();
                    // the entry's text is two lines: this text and the next one's
                    for (size_t k : {i, (i + 1) % encoding.texts.size()}) {
                        bytes += encoding.texts[k].first + end();
                        texts.push_back(encoding.texts[k].second);
                    }
                    bytes += end();
                }
                write("film.srt", bytes);
                ASSERT_TRUE(load().ok);
                EXPECT_EQ(state.TimelineCount, int32_t(encoding.texts.size()));
                EXPECT_EQ(state.TimelineEncoding.encoding, encoding.encoding);
                proSaveSrt(state.Timeline, state.TimelineCount, state.FrameRate, state.TimelineFileName,
                           state.TimelineEncoding, state.NewTimeline);

                std::string saved = readWholeFile(request.TimelineFileName);
                TextFile back = decodeTextFile(saved);
                ASSERT_TRUE(back.decodable);
                EXPECT_EQ(back.encoding, state.TimelineEncoding);
                EXPECT_EQ(textLinesOf(back.lines), texts);
                for (const auto& text : back.lines)
                    EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos);
                if (numbered && lineEnd == u"\r\n")
                    EXPECT_EQ(saved, bytes);
            }
        }
    }
    std::setlocale(LC_CTYPE, "C");
}

TEST_F(Loader, FileThatIsNoTimelineIsRefusedAndKept)
{
    std::string randomBytes;
    uint32_t x = 12345;
    for (int i = 0; i < 4096; ++i) {
        x = x * 1103515245u + 12345u;
        randomBytes.push_back(char(x >> 16));
    }
    std::string paragraphs;
    for (int i = 0; i < 300; ++i)
        paragraphs += "句" + std::to_string(i) + "\r\n\r\n";
    const std::string undecodable = std::string(MsgTimelineUndecodable) + "film.srt";
    const std::string noTimeCodes = std::string(MsgTimelineWithoutTimeCodes) + "film.srt";
    const struct {
        const char* name;
        std::string bytes;
        const std::string& message;
    } files[] = {
        {"texts without time lines", paragraphs, noTimeCodes},
        {"random bytes", randomBytes, undecodable},
        {"PNG", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\x80\0\0\x01\x68\x08\x02\0\0\0\x48\x50\xDD\x06", 33), undecodable},
        {"NUL bytes", std::string(1000, '\0'), undecodable},
        {"UTF-32 past U+10FFFF", unitsAsBytes(std::u32string_view(U"1\n\U0010FFFF"), false) + std::string("\0\0\x11\0", 4),
         undecodable},
    };
    for (bool newTimeline : {false, true}) {
        for (const auto& file : files) {
            SCOPED_TRACE(std::string(file.name) + (newTimeline ? ", as a new timeline" : ""));
            loadEarlierProject();
            write("film.srt", file.bytes);
            request.NewTimeline = newTimeline;

            LoadOutcome outcome = load();

            EXPECT_FALSE(outcome.ok);
            EXPECT_EQ(outcome.messages, std::vector<std::string>{file.message});
            EXPECT_EQ(readWholeFile(request.TimelineFileName), file.bytes);
            expectEarlierProject();
            request.NewTimeline = false;
        }
    }
}

// ASS and WebVTT timelines are told by their content, whatever their name,
// and come back from a save without edits byte for byte, also where the
// tidy pass moved a line in memory (two languages shown at once); a line
// the user moves changes its time fields and nothing else; a broken file is
// refused naming its line, and kept.
TEST_F(Loader, AssAndWebVttTimelinesComeBackAsTheyWere)
{
    const std::string bilingual =
        "\xEF\xBB\xBF[Script Info]\r\n; made by hand\r\nScriptType: v4.00+\r\n\r\n[V4+ Styles]\r\n"
        "Format: Name, Fontname, Fontsize\r\nStyle: 中文,黑体,60\r\nStyle: English,Arial,40\r\n\r\n[Events]\r\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
        "Dialogue: 0,0:00:01.00,0:00:03.00,中文,,0,0,0,,{\\fad(200,0)}你好，世界\r\n"
        "Dialogue: 0,0:00:01.00,0:00:03.00,English,,0,0,0,,Hello, world\r\n"
        "Comment: 0,0:00:03.00,0:00:04.00,中文,,0,0,0,,待译\r\n"
        "Dialogue: 1,0:00:05.00,0:00:06.50,中文,,0,0,0,,第二句\\N第二行\r\n";
    const std::string cues = "WEBVTT - 片名\n\nNOTE 手工\n\n1\n00:01.000 --> 00:02.000 align:start\n<v 老王>你好\n\n"
                             "00:00:03.000 --> 00:00:04.500\n再见\n";
    struct Case {
        const char* name;
        std::string file;
        std::string bytes;
        int32_t lines;
        int32_t moved;          // the line whose in-point goes 5 frames later
        std::string before;     // its start time as written, and after the move
        std::string after;
    };
    const Case cases[] = {
        {"ASS", "film.ass", bilingual, 3, 2, "0:00:05.00", "0:00:05.20"},
        {"ASS named .srt", "film.srt", bilingual, 3, 2, "0:00:05.00", "0:00:05.20"},
        {"WebVTT", "film.vtt", cues, 2, 0, "00:01.000", "00:01.200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        request.TimelineFileName = write(c.file, c.bytes);
        ASSERT_TRUE(load().ok) << testing::PrintToString(load().messages);
        ASSERT_NE(state.TimelineFileDocument, nullptr);
        EXPECT_EQ(state.TimelineCount, c.lines);
        auto saved = [&] {
            return encodeText(timelineText(state.Timeline, state.TimelineCount, state.FrameRate,
                                           state.TimelineFileDocument.get()),
                              state.TimelineEncoding);
        };
        EXPECT_EQ(saved(), c.bytes);
        state.Timeline[size_t(c.moved)].StartFrame += 5;
        std::string expected = c.bytes;
        expected.replace(expected.find(c.before), c.before.size(), c.after);
        EXPECT_EQ(saved(), expected);
    }
    // a new timeline named .vtt starts as an empty WebVTT file
    request.TimelineFileName = write("new.vtt", "");
    request.NewTimeline = true;
    ASSERT_TRUE(load().ok);
    EXPECT_EQ(readWholeFile(request.TimelineFileName).substr(0, 6), "WEBVTT");
    ASSERT_NE(state.TimelineFileDocument, nullptr);
    request.NewTimeline = false;

    const std::string broken = "[Script Info]\n\n[Events]\nFormat: Layer, Start, End, Style, Text\n"
                               "Dialogue: 0,0:00:01.00,0:00:02.00,Default,好\nDialogue: 0,0:00:03.00\n";
    loadEarlierProject();
    request.TimelineFileName = write("broken.ass", broken);
    const LoadOutcome outcome = load();
    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(outcome.messages.size(), 1u);
    EXPECT_NE(outcome.messages[0].find("第 6 行"), std::string::npos) << outcome.messages[0];
    EXPECT_EQ(readWholeFile(request.TimelineFileName), broken);
    request.TimelineFileName = path("film.srt");
    expectEarlierProject();
}

TEST_F(Loader, EmptyOrBlankFilesAreEmptyTimelinesAndBinaryTextFilesAreRefused)
{
    write("film.ws", std::string(400, '\0'));
    for (std::string blank : {"", " \r\n\r\n\xE3\x80\x80\r\n"}) {
        write("film.srt", blank);
        ASSERT_TRUE(load().ok);
        EXPECT_EQ(state.TimelineCount, 0);
        EXPECT_EQ(readWholeFile(request.TimelineFileName), blank);
    }

    loadEarlierProject();
    request.TextFromTxtFile = true;
    request.SubtitleTextFileName = write("film.txt", std::string("\0\x01\x02", 3));
    EXPECT_EQ(load().messages, std::vector<std::string>{std::string(MsgTextFileUndecodable) + "film.txt"});
    expectEarlierProject();
}

// ---- names ---------------------------------------------------------------

TEST(CompanionName, ReplacesTheLastThreeCharacters)
{
    EXPECT_EQ(companionName("/films/film.avi", "wav"), "/films/film.wav");
    EXPECT_EQ(companionName("/films/film.wav", "ws"), "/films/film.ws");
    EXPECT_EQ(companionName("/films/film.mpeg", "wav"), "/films/film.mwav");
    EXPECT_EQ(companionName("/films/电影.视频文", "srt"), "/films/电影.srt");
    EXPECT_EQ(companionName("ab", "ws"), "ws");
}

TEST(CompanionName, SummaryNames)
{
    EXPECT_TRUE(isWaveSummaryName("/a/film.ws"));
    EXPECT_TRUE(isWaveSummaryName("/a/film.Ws"));
    EXPECT_FALSE(isWaveSummaryName("/a/film.wsv"));
    EXPECT_FALSE(isWaveSummaryName("/a/filmws"));
    EXPECT_EQ(summaryNameFor("/a/film.wav"), "/a/film.ws");
    EXPECT_EQ(summaryNameFor("/a/film.WS"), "/a/film.WS");
    EXPECT_EQ(summaryNameFor(""), "");
}

}  // namespace
