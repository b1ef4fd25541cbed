#include "analysis/WaveSummary.h"

#include "core/FileIO.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace vt;
namespace fs = std::filesystem;

namespace {

// ---- building WAV files byte by byte -------------------------------------

std::string le16(uint32_t v) { return {char(v & 0xFF), char(v >> 8 & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

std::string chunk(const std::string& id, const std::string& body)
{
    std::string out = id + le32(uint32_t(body.size())) + body;
    if (body.size() % 2)
        out += '\0';
    return out;
}

std::string fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits)
{
    uint16_t align = uint16_t(channels * (bits / 8));
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

std::string fmtChunk(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1)
{
    return chunk("fmt ", fmtBody(tag, channels, rate, bits));
}

const std::string PcmGuid("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
const std::string FloatGuid("\x03\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);

std::string extensibleChunk(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& guid)
{
    return chunk("fmt ", fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(bits) +
                             le32(channels == 2 ? 3 : 4) + guid);
}

std::string riff(const std::string& chunks) { return "RIFF" + le32(uint32_t(4 + chunks.size())) + "WAVE" + chunks; }

// The classic 44-byte layout: fmt directly followed by data.
std::string canonicalWav(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data)
{
    return riff(fmtChunk(channels, rate, bits) + chunk("data", data));
}

// Sample data whose most significant bytes can be set frame by frame.
struct Samples {
    int sampleBytes;
    int channels;
    std::string bytes;

    Samples(int bits, int channels, size_t frames, char fill = 0)
        : sampleBytes(bits / 8), channels(channels), bytes(frames * channels * (bits / 8), fill)
    {
    }
    void msb(size_t frame, int channel, int value)
    {
        bytes[(frame * channels + channel) * sampleBytes + sampleBytes - 1] = char(value);
    }
};

// The summary as signed numbers, as the editor draws it.
std::vector<int> pairsOf(const ByteArray& summary)
{
    std::vector<int> out;
    for (uint8_t b : summary)
        out.push_back(int8_t(b));
    return out;
}

bool allZero(const ByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("wavesummary");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& bytes)
    {
        std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    WaveSummaryResult summarize(const std::string& wavBytes)
    {
        return summarizeWav(write("in.wav", wavBytes));
    }

    fs::path dir;
};

class WavHeader : public TempDir {};
class WavSamples : public TempDir {};
class WsFile : public TempDir {};
class WavProgress : public TempDir {};

// Stereo 16-bit at 44.1 kHz with the looked-at frames of two chunks set; all
// low bytes are 0xFF so that reading them would show. Frames between the
// looked-at ones hold the loudest values, the 16th ones too, so that a
// summary that looks at more frames than every 32nd comes out louder.
Samples twoChunkStereo()
{
    Samples s(16, 2, 441 * 2 + 100);
    for (size_t i = 0; i < s.bytes.size(); i += 2)
        s.bytes[i] = char(0xFF);
    s.msb(0, 0, 100), s.msb(0, 1, 50);
    s.msb(32, 0, -100), s.msb(32, 1, -60);
    s.msb(1, 0, 127), s.msb(31, 1, 127), s.msb(440, 0, -128);  // not looked at
    s.msb(16, 0, 127), s.msb(16, 1, 127), s.msb(48, 0, -128), s.msb(48, 1, -128);
    s.msb(441 + 400, 0, 127), s.msb(441 + 400, 1, 127);
    s.msb(441, 0, 20), s.msb(441, 1, 21);                       // chunk 1, frame 0
    s.msb(441 + 416, 0, -3), s.msb(441 + 416, 1, -3);           // chunk 1, last looked at
    s.msb(882, 0, 127);                                          // partial chunk: dropped
    return s;
}
const std::vector<int> TwoChunkPairs = {75, -80, 20, -2};

}  // namespace

// ---- the header walk ------------------------------------------------------

TEST_F(WavHeader, CanonicalStereoAveragesEveryThirtySecondFrame)
{
    auto r = summarize(canonicalWav(2, 44100, 16, twoChunkStereo().bytes));
    ASSERT_TRUE(r.built());
    EXPECT_TRUE(r.message().empty());
    EXPECT_EQ(pairsOf(r.summary), TwoChunkPairs);
}

TEST_F(WavHeader, RiffSizeOf1764000Plus32Gives999Chunks)
{
    // the data chunk of such a file holds 1,763,996 bytes: one short of 1000 chunks
    std::string wav = canonicalWav(2, 44100, 16, std::string(1763996, '\0'));
    ASSERT_EQ(wav.substr(4, 4), le32(1764 * 1000 + 32));
    auto r = summarize(wav);
    ASSERT_TRUE(r.built());
    EXPECT_EQ(r.summary.size(), 1998u);
    EXPECT_TRUE(allZero(r.summary));
}

TEST_F(WavHeader, SkipsListAndJunkChunksAndPadsOddSizes)
{
    std::string data = twoChunkStereo().bytes;
    // LIST of odd size (padded) between fmt and data, as ffmpeg writes it
    EXPECT_EQ(pairsOf(summarize(riff(fmtChunk(2, 44100, 16) + chunk("LIST", "INFOx") +
                                     chunk("data", data)))
                          .summary),
              TwoChunkPairs);
    // JUNK before fmt, a fmt of 18 bytes (with cbSize) and a chunk after data
    std::string fmt18 = chunk("fmt ", fmtBody(1, 2, 44100, 16) + le16(0));
    EXPECT_EQ(pairsOf(summarize(riff(chunk("JUNK", std::string(27, 'j')) + fmt18 +
                                     chunk("data", data) + chunk("id3 ", "tag")))
                          .summary),
              TwoChunkPairs);
}

TEST_F(WavHeader, AcceptsExtensiblePcmButNotExtensibleFloat)
{
    auto pcm = summarize(riff(extensibleChunk(2, 44100, 16, PcmGuid) +
                              chunk("data", twoChunkStereo().bytes)));
    ASSERT_TRUE(pcm.built());
    EXPECT_EQ(pairsOf(pcm.summary), TwoChunkPairs);

    auto flt = summarize(riff(extensibleChunk(2, 44100, 32, FloatGuid) +
                              chunk("data", std::string(1764 * 2, '\0'))));
    EXPECT_EQ(flt.refusal, WavRefusal::NotPcm);
    EXPECT_EQ(flt.message(), WavNotPcmMessage);
    EXPECT_TRUE(flt.summary.empty());
}

TEST_F(WavHeader, RefusesWhatIsNotIntegerPcm)
{
    std::string data = chunk("data", std::string(1764, '\0'));
    struct Case {
        const char* what;
        std::string wav;
    } cases[] = {
        {"float", riff(fmtChunk(2, 44100, 32, 3) + data)},
        {"ADPCM", riff(fmtChunk(2, 44100, 4, 2) + data)},
        {"MP3", riff(fmtChunk(2, 44100, 0, 0x55) + data)},
        {"data before fmt", riff(data + fmtChunk(2, 44100, 16))},
        {"no fmt", riff(chunk("LIST", "INFO") + data)},
        {"no data", riff(fmtChunk(2, 44100, 16) + chunk("LIST", "INFO"))},
        {"fmt cut short", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16).substr(0, 14)) + data)},
        {"extensible cut short", riff(chunk("fmt ", fmtBody(0xFFFE, 2, 44100, 16) + le16(0)) + data)},
        {"header only", riff("")},
    };
    for (const auto& c : cases) {
        auto r = summarize(c.wav);
        EXPECT_EQ(r.refusal, WavRefusal::NotPcm) << c.what;
        EXPECT_EQ(r.message(), WavNotPcmMessage) << c.what;
    }
}

TEST_F(WavHeader, RefusesWhatIsNotRiffWave)
{
    std::string good = canonicalWav(2, 44100, 16, std::string(1764, '\0'));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"shorter than RIFF/WAVE", good.substr(0, 11)},
        {"big-endian RIFX", "RIFX" + good.substr(4)},
        {"AVI", good.substr(0, 8) + "AVI " + good.substr(12)},
        {"text", "1\r\n00:00:01,000 --> 00:00:02,000\r\nhello\r\n"},
    };
    for (const auto& c : cases) {
        auto r = summarize(c.bytes);
        EXPECT_EQ(r.refusal, WavRefusal::NotRealWav) << c.what;
        EXPECT_EQ(r.message(), WavNotRealMessage) << c.what;
    }
}

TEST_F(WavHeader, RefusalMessagesKeepTheirLayout)
{
    // two ideographic spaces open the text; the carriage returns become line breaks
    EXPECT_EQ(WavNotPcmMessage.substr(0, 6), "\xE3\x80\x80\xE3\x80\x80");
    EXPECT_EQ(std::count(WavNotPcmMessage.begin(), WavNotPcmMessage.end(), '\r'), 4);
    EXPECT_EQ(WavNotPcmMessage.find('\n'), std::string_view::npos);
    EXPECT_NE(WavNotPcmMessage.find("而\r\r我是"), std::string_view::npos);
}

TEST_F(WavHeader, DataSizeIsBoundedByTheFile)
{
    // the header promises 10 chunks, the file holds three and a half
    std::string wav = canonicalWav(2, 44100, 16, std::string(1764 * 10, '\0'));
    wav.resize(44 + 1764 * 3 + 882);
    auto truncated = summarize(wav);
    ASSERT_TRUE(truncated.built());
    EXPECT_EQ(truncated.summary.size(), 6u);
    EXPECT_EQ(summaryBytesOfWav((dir / "in.wav").string()), std::optional<uint64_t>(6));

    // streamed headers write 0 or 0xFFFFFFFF: the data runs to the end of the file
    std::string data = twoChunkStereo().bytes;
    for (uint32_t size : {0u, 0xFFFFFFFFu}) {
        std::string streamed = "RIFF" + le32(size) + "WAVE" + fmtChunk(2, 44100, 16) + "data" +
                               le32(size) + data;
        auto r = summarize(streamed);
        ASSERT_TRUE(r.built()) << size;
        EXPECT_EQ(pairsOf(r.summary), TwoChunkPairs) << size;
        EXPECT_EQ(summaryBytesOfWav((dir / "in.wav").string()), std::optional<uint64_t>(4)) << size;
    }
    // nothing to compare a ".ws" with: not a WAV, not PCM, a chunk of no bytes
    EXPECT_EQ(summaryBytesOfWav(write("in.wav", "not even a WAV")), std::nullopt);
    EXPECT_EQ(summaryBytesOfWav(write("in.wav", riff(fmtChunk(2, 44100, 32, 3) + chunk("data", std::string(1764, '\0'))))),
              std::nullopt);
    EXPECT_EQ(summaryBytesOfWav(write("in.wav", canonicalWav(1, 99, 16, std::string(4000, '\0')))), std::nullopt);
}

TEST_F(WavHeader, ChunkOfNoBytesIsAnError)
{
    std::string data(4000, '\0');
    EXPECT_THROW(summarize(canonicalWav(1, 99, 16, data)), WavFormatError);
    EXPECT_THROW(summarize(canonicalWav(1, 8000, 4, data)), WavFormatError);
    EXPECT_THROW(summarize(canonicalWav(0, 8000, 16, data)), WavFormatError);
    try {
        summarize(canonicalWav(2, 50, 16, data));
        FAIL() << "a 50 Hz file was summarised";
    } catch (const WavFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("50 Hz"), std::string::npos) << e.what();
    }
    // 100 Hz is the least that works: one frame per chunk
    auto r = summarize(canonicalWav(1, 100, 8, "\xC0\x80\x20"));
    ASSERT_TRUE(r.built());
    EXPECT_EQ(pairsOf(r.summary), (std::vector<int>{64, 0, 0, 0, 0, -96}));
}

TEST_F(WavHeader, MissingFileGivesTheSystemsText)
{
    std::string path = (dir / "gone.wav").string();
    try {
        summarizeWav(path);
        FAIL() << "a missing file was summarised";
    } catch (const FileError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find(path), std::string::npos) << what;
        EXPECT_NE(what.find(std::strerror(ENOENT)), std::string::npos) << what;
    }
}

// ---- sample widths, channel counts and rates ------------------------------

TEST_F(WavSamples, EightBitIsCentredOn128)
{
    // mono: 0xC0 is +64, 0x20 is -96; 0x80 is silence
    Samples mono(8, 1, 441, char(0x80));
    mono.bytes[0] = char(0xC0);
    mono.bytes[32] = char(0x20);
    mono.bytes[1] = char(0xFF);  // not looked at
    EXPECT_EQ(pairsOf(summarize(canonicalWav(1, 44100, 8, mono.bytes)).summary),
              (std::vector<int>{64, -96}));

    // stereo: (64 / 2) + (16 / 2) = 40 and (-1 / 2) + (-128 / 2) = -64
    Samples stereo(8, 2, 441, char(0x80));
    stereo.bytes[0] = char(0xC0), stereo.bytes[1] = char(0x90);
    stereo.bytes[64] = char(0x7F), stereo.bytes[65] = char(0x00);
    EXPECT_EQ(pairsOf(summarize(canonicalWav(2, 44100, 8, stereo.bytes)).summary),
              (std::vector<int>{40, -64}));
}

TEST_F(WavSamples, WiderSamplesUseTheirMostSignificantByte)
{
    // 24-bit stereo: the low and middle bytes never show
    Samples s24(24, 2, 441, char(0x7F));
    for (size_t f = 0; f < 441; ++f)
        s24.msb(f, 0, 0), s24.msb(f, 1, 0);
    s24.msb(0, 0, 48), s24.msb(0, 1, 16);
    s24.msb(64, 0, -100), s24.msb(64, 1, -60);
    s24.msb(65, 0, 127);  // not looked at
    EXPECT_EQ(pairsOf(summarize(canonicalWav(2, 44100, 24, s24.bytes)).summary),
              (std::vector<int>{32, -80}));

    // 16-bit mono is not halved
    Samples s16(16, 1, 441);
    s16.msb(0, 0, -1), s16.msb(96, 0, 90);
    EXPECT_EQ(pairsOf(summarize(canonicalWav(1, 44100, 16, s16.bytes)).summary),
              (std::vector<int>{90, -1}));

    // 32-bit mono
    Samples s32(32, 1, 441, char(0x55));
    for (size_t f = 0; f < 441; ++f)
        s32.msb(f, 0, 0);
    s32.msb(416, 0, -128);
    EXPECT_EQ(pairsOf(summarize(canonicalWav(1, 44100, 32, s32.bytes)).summary),
              (std::vector<int>{0, -128}));
}

TEST_F(WavSamples, SurroundUsesTheFirstChannelOnly)
{
    // 5.1 at 48 kHz: 480 frames of 12 bytes per chunk
    Samples s(16, 6, 480 * 2);
    for (int ch = 1; ch < 6; ++ch)
        s.msb(0, ch, 127), s.msb(32, ch, -128), s.msb(480, ch, 127);
    s.msb(0, 0, 10), s.msb(32, 0, -7);
    s.msb(480 + 448, 0, 3);  // last looked-at frame of chunk 1
    auto r = summarize(canonicalWav(6, 48000, 16, s.bytes));
    ASSERT_TRUE(r.built());
    EXPECT_EQ(pairsOf(r.summary), (std::vector<int>{10, -7, 3, 0}));
}

TEST_F(WavSamples, NinetySixKilohertzUsesItsFullRate)
{
    // 960 frames per chunk; read as 30464 Hz the chunks would be 304 frames
    Samples s(16, 2, 960 * 3);
    s.msb(960, 0, 40), s.msb(960, 1, 40);
    s.msb(960 + 928, 0, -20), s.msb(960 + 928, 1, -20);
    s.msb(960 + 929, 0, -100), s.msb(960 + 929, 1, -100);  // not looked at
    s.msb(1920, 0, 2), s.msb(1920, 1, 2);
    auto r = summarize(canonicalWav(2, 96000, 16, s.bytes));
    ASSERT_TRUE(r.built());
    EXPECT_EQ(pairsOf(r.summary), (std::vector<int>{0, 0, 40, -20, 2, 0}));
}

TEST_F(WavSamples, HugeChunksAreReadFrameByFrame)
{
    // 32 channels of 32-bit at 384 kHz: 3840 frames of 128 bytes make a chunk
    // larger than one read block
    Samples s(32, 32, 3840 * 2 + 5);
    s.msb(0, 0, 9), s.msb(3808, 0, -4);  // chunk 0: first and last looked-at frames
    s.msb(3809, 0, 100), s.msb(0, 1, 100), s.msb(16, 0, 100);  // not looked at
    s.msb(3840, 0, -9), s.msb(3840 + 3808, 0, 5);
    auto r = summarize(canonicalWav(32, 384000, 32, s.bytes));
    ASSERT_TRUE(r.built());
    EXPECT_EQ(pairsOf(r.summary), (std::vector<int>{9, -4, 5, -9}));
}

TEST_F(WavSamples, SilentFilesOfEveryKindGiveZeros)
{
    struct Case {
        const char* what;
        std::string wav;
        size_t pairs;
    } cases[] = {
        {"8-bit mono", canonicalWav(1, 22050, 8, std::string(220 * 7, char(0x80))), 7},
        {"8-bit stereo", canonicalWav(2, 8000, 8, std::string(160 * 3, char(0x80))), 3},
        {"16-bit stereo", canonicalWav(2, 44100, 16, std::string(1764 * 5, '\0')), 5},
        {"16-bit 5.1", canonicalWav(6, 48000, 16, std::string(5760 * 2, '\0')), 2},
        {"24-bit stereo", canonicalWav(2, 48000, 24, std::string(2880 * 4, '\0')), 4},
        {"32-bit mono", canonicalWav(1, 44100, 32, std::string(1764 * 2, '\0')), 2},
        {"extensible 24-bit",
         riff(extensibleChunk(2, 96000, 24, PcmGuid) + chunk("data", std::string(5760 * 3, '\0'))), 3},
    };
    for (const auto& c : cases) {
        auto r = summarize(c.wav);
        ASSERT_TRUE(r.built()) << c.what;
        EXPECT_EQ(r.summary.size(), 2 * c.pairs) << c.what;
        EXPECT_TRUE(allZero(r.summary)) << c.what;
        // worked out from the header alone, as the loader checks a ".ws" against its WAV
        EXPECT_EQ(summaryBytesOfWav((dir / "in.wav").string()), std::optional<uint64_t>(2 * c.pairs)) << c.what;
    }
}

TEST_F(WavSamples, AcceptsWhatFfmpegWrites)
{
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    std::string path = (dir / "sine.wav").string();
    std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
                      "sine=frequency=440:sample_rate=44100:duration=2 -ac 2 -c:a pcm_s16le "
                      "-metadata title=sine -y '" + path + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string bytes = readWholeFile(path);
    ASSERT_LT(bytes.find("LIST"), bytes.find("data")) << "ffmpeg wrote no LIST chunk";

    auto r = summarizeWav(path);
    ASSERT_TRUE(r.built());
    EXPECT_EQ(r.summary.size(), 400u);  // 2 s at 200 bytes a second
    auto v = pairsOf(r.summary);
    // the sine's amplitude is an eighth of full scale: about 16 either way
    for (size_t i = 0; i < v.size(); i += 2) {
        EXPECT_GE(v[i], 10) << "pair " << i / 2;
        EXPECT_LE(v[i + 1], -10) << "pair " << i / 2;
    }
}

// ---- the cache file ---------------------------------------------------------

TEST_F(WsFile, CreateWSWritesTheSummaryOverAnOldCache)
{
    std::string wav = write("film.wav", canonicalWav(2, 44100, 16, twoChunkStereo().bytes));
    std::string ws = write("film.ws", std::string(5000, 'x'));
    auto r = CreateWS(wav, ws);
    ASSERT_TRUE(r.built());
    EXPECT_EQ(pairsOf(r.summary), TwoChunkPairs);
    EXPECT_EQ(readWholeFile(ws), std::string("\x4B\xB0\x14\xFE", 4));
    // no temporary file is left beside it
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(WsFile, RefusedWavWritesNoCache)
{
    std::string wav = write("film.wav", riff(fmtChunk(2, 44100, 32, 3) + chunk("data", std::string(1764, '\0'))));
    std::string ws = (dir / "film.ws").string();
    EXPECT_EQ(CreateWS(wav, ws).refusal, WavRefusal::NotPcm);
    EXPECT_FALSE(fileExists(ws));

    std::string old = write("old.ws", "keep");
    std::string text = write("notes.wav", "not a wav");
    EXPECT_EQ(CreateWS(text, old).refusal, WavRefusal::NotRealWav);
    EXPECT_EQ(readWholeFile(old), "keep");

    std::string low = write("low.wav", canonicalWav(1, 60, 16, std::string(400, '\0')));
    EXPECT_THROW(CreateWS(low, old), WavFormatError);
    EXPECT_EQ(readWholeFile(old), "keep");
}

TEST_F(WsFile, AnyLengthIsReadBackUnchanged)
{
    EXPECT_EQ(readWaveSummaryFile(write("odd.ws", "\x05\xFB\x7F")), (ByteArray{0x05, 0xFB, 0x7F}));
    EXPECT_TRUE(readWaveSummaryFile(write("empty.ws", "")).empty());
    EXPECT_THROW(readWaveSummaryFile((dir / "none.ws").string()), FileError);
}

// ---- progress -----------------------------------------------------------------

TEST_F(WavProgress, EndsAt100AfterAFewCalls)
{
    // 8-bit mono at 10 kHz: 20,000 chunks of 100 bytes, several read blocks
    std::string wav = write("long.wav", canonicalWav(1, 10000, 8, std::string(2000000, char(0x80))));
    std::vector<int> seen;
    auto start = std::chrono::steady_clock::now();
    auto r = summarizeWav(wav, [&](int p) { seen.push_back(p); });
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(r.built());
    EXPECT_EQ(r.summary.size(), 40000u);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    // the first and last calls plus at most one per 33 ms in between
    EXPECT_LE(seen.size(), size_t(3 + ms / 33));
}

TEST_F(WavProgress, RefusalReportsNothing)
{
    std::vector<int> seen;
    summarizeWav(write("x.wav", "not a wav"), [&](int p) { seen.push_back(p); });
    EXPECT_TRUE(seen.empty());
}

// ---- the placeholder ------------------------------------------------------------

TEST(NullPattern, ShortSummaryStaysFlat)
{
    ByteArray s(998);
    CreateNullWS(s);
    EXPECT_TRUE(allZero(s));
}

TEST(NullPattern, DrawsTheLettersOnce)
{
    ByteArray s(1200);
    CreateNullWS(s);
    auto v = pairsOf(s);
    // 80 pairs drawn, none of them with a zero byte, all within bytes 202..409
    EXPECT_EQ(std::count_if(v.begin(), v.end(), [](int b) { return b != 0; }), 160);
    EXPECT_TRUE(std::all_of(v.begin(), v.begin() + 202, [](int b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(v.begin() + 410, v.end(), [](int b) { return b == 0; }));

    auto pair = [&](int p) { return std::pair{v[2 * p], v[2 * p + 1]}; };
    EXPECT_EQ(pair(101), std::pair(36, -36));
    EXPECT_EQ(pair(108), std::pair(36, -36));
    EXPECT_EQ(pair(109), std::pair(32, 24));
    EXPECT_EQ(pair(113), std::pair(36, 28));
    EXPECT_EQ(pair(124), std::pair(36, 28));
    EXPECT_EQ(pair(125), std::pair(36, -36));
    EXPECT_EQ(pair(132), std::pair(32, -36));
    EXPECT_EQ(pair(133), std::pair(0, 0));
    EXPECT_EQ(pair(140), std::pair(0, 0));
    EXPECT_EQ(pair(141), std::pair(36, -32));
    EXPECT_EQ(pair(148), std::pair(36, -36));
    EXPECT_EQ(pair(149), std::pair(-28, -36));
    EXPECT_EQ(pair(160), std::pair(-28, -36));
    EXPECT_EQ(pair(161), std::pair(-24, -32));
    EXPECT_EQ(pair(172), std::pair(36, -36));
    EXPECT_EQ(pair(173), std::pair(0, 0));
    EXPECT_EQ(pair(181), std::pair(84, -36));
    EXPECT_EQ(pair(189), std::pair(0, 0));
    EXPECT_EQ(pair(197), std::pair(84, -36));
    EXPECT_EQ(pair(204), std::pair(84, -36));
}

TEST(NullPattern, RepeatsEverySixHundredBytesWhileAWholePeriodFollows)
{
    auto drawnAt = [](const ByteArray& s, size_t from) {
        return int8_t(s[from]) == 36 && int8_t(s[from + 1]) == -36 &&  // pair 101's
               int8_t(s[from + 206]) == 84 && int8_t(s[from + 207]) == -36;  // pair 204's
    };
    auto nonZero = [](const ByteArray& s) { return std::count_if(s.begin(), s.end(), [](uint8_t b) { return b != 0; }); };

    ByteArray s999(999);
    CreateNullWS(s999);
    EXPECT_TRUE(drawnAt(s999, 202));
    EXPECT_EQ(nonZero(s999), 160);

    ByteArray s1201(1201);
    CreateNullWS(s1201);
    EXPECT_TRUE(drawnAt(s1201, 202));
    EXPECT_TRUE(drawnAt(s1201, 802));
    EXPECT_TRUE(std::equal(s1201.begin() + 200, s1201.begin() + 411, s1201.begin() + 800));
    EXPECT_EQ(nonZero(s1201), 320);

    ByteArray s2000(2000);
    CreateNullWS(s2000);
    EXPECT_TRUE(drawnAt(s2000, 202));
    EXPECT_TRUE(drawnAt(s2000, 802));
    EXPECT_TRUE(drawnAt(s2000, 1402));
    EXPECT_EQ(nonZero(s2000), 480);  // nothing from 1800 on
}
