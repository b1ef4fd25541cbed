#include "opening/Loader.h"

#include "core/FileIO.h"
#include "core/SrtReader.h"
#include "core/SrtWriter.h"
#include "core/TextCodec.h"
#include "opening/WaveSummary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

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
// of every 10 ms chunk has the most significant bytes 100 (left) and 50 (right).
std::string oneSecondOfClicks()
{
    std::string data(44100 * 4, '\0');
    for (size_t chunk = 0; chunk < 100; ++chunk) {
        data[chunk * 1764 + 1] = char(100);
        data[chunk * 1764 + 3] = char(50);
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
        std::string tmpl = (fs::temp_directory_path() / "loader-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
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

// Whole frames at 25 fps and tidy, so a save writes back the same bytes.
constexpr std::u16string_view TidySrt16 =
    u"1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n世界\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,520\r\nHello\r\n\r\n";
constexpr std::u32string_view TidySrt32 =
    U"1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n世界\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,520\r\nHello\r\n\r\n";

}  // namespace

TEST_F(Loader, WideEncodingsRoundTripThroughLoadAndSave)
{
    const struct {
        const char* name;
        std::string bytes;
        TextEncoding encoding;
    } files[] = {
        {"UTF-16 LE, no mark", unitsAsBytes(TidySrt16, false), TextEncoding::Utf16LE},
        {"UTF-16 BE, no mark", unitsAsBytes(TidySrt16, true), TextEncoding::Utf16BE},
        {"UTF-32 LE, marked", unitsAsBytes(std::u32string_view(U"\uFEFF"), false) + unitsAsBytes(TidySrt32, false),
         TextEncoding::Utf32LE},
        {"UTF-32 BE, marked", unitsAsBytes(std::u32string_view(U"\uFEFF"), true) + unitsAsBytes(TidySrt32, true),
         TextEncoding::Utf32BE},
    };
    write("film.ws", std::string(1000, '\0'));
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        write("film.srt", file.bytes);
        ASSERT_TRUE(load().ok);
        EXPECT_EQ(state.TimelineEncoding.encoding, file.encoding);
        ASSERT_EQ(state.TimelineCount, 2);
        EXPECT_EQ(state.Timeline[0].Text, u"你好^p世界");
        EXPECT_EQ(state.Timeline[1].EndFrame, 113);

        proSaveSrt(state.Timeline, state.TimelineCount, state.FrameRate, state.TimelineFileName,
                   state.TimelineEncoding, state.NewTimeline);
        EXPECT_EQ(readWholeFile(request.TimelineFileName), file.bytes);
    }
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
        {"ASS script", "[Script Info]\r\nTitle: film\r\n\r\n[Events]\r\nFormat: Layer, Start, End, Style, Text\r\n"
                       "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,你好\r\n", noTimeCodes},
        {"texts without time lines", paragraphs, noTimeCodes},
        {"random bytes", randomBytes, undecodable},
        {"PNG", std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x02\x80\0\0\x01\x68\x08\x02\0\0\0", 33), undecodable},
        {"NUL bytes", std::string(1000, '\0'), undecodable},
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
