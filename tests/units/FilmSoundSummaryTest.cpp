// The film's own sound summarised in the background, and the cache file that
// keeps it for the next opening, with the decoder replaced by samples held
// in memory: no ffmpeg needed.
#include "analysis/FilmSoundSummary.h"

#include "core/Coverage.h"
#include "core/FileIO.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/WaveSummary.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <thread>

using namespace vt;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;
constexpr size_t PlaceholderBytes = 1000;  // a 5-second film
constexpr float Fps = 25;

// A stereo tone getting louder every second, the channels unlike each other.
std::vector<int16_t> tone(size_t frames)
{
    std::vector<int16_t> samples(2 * frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / Rate, amp = 2000 + 4000 * double(i / Rate);
        samples[2 * i] = int16_t(std::lround(amp * std::sin(2 * std::numbers::pi * 300.5 * t)));
        samples[2 * i + 1] = int16_t(std::lround(-amp / 2 * std::sin(2 * std::numbers::pi * 170 * t + 1)));
    }
    return samples;
}

std::string le(uint64_t v, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i) & 0xFF);
    return out;
}

std::string wavOf(const std::vector<int16_t>& s)
{
    std::string data;
    for (int16_t v : s)
        data += le(uint16_t(v), 2);
    return "RIFF" + le(36 + data.size(), 4) + "WAVE" + "fmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(Rate, 4) +
           le(Rate * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(data.size(), 4) + data;
}

enum class Ending { Ends, Breaks, WaitsForStop };

// A decoder as the film's would be: odd-sized pieces, a little slow, and at
// `endAt` frames it ends, fails, or holds on until the editor stops it.
class MemorySound : public SoundSource {
public:
    MemorySound(const std::vector<int16_t>& s, size_t endAt, Ending ending, const std::atomic<bool>& cancel)
        : s_(s), endAt_(endAt), ending_(ending), cancel_(cancel) {}
    SoundFormat format() const override { return {2, Rate}; }
    int64_t durationMicroseconds() const override { return int64_t(s_.size() / 2) * 1000000 / Rate; }
    std::span<const int16_t> next() override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (at_ == endAt_) {
            if (ending_ == Ending::Breaks)
                throw SoundError("Invalid data found when processing input");
            while (ending_ == Ending::WaitsForStop && !cancel_.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return {};
        }
        static constexpr size_t Pieces[] = {1009, 37, 4410, 441};
        const size_t n = std::min(Pieces[piece_++ % 4], endAt_ - at_);
        const std::span<const int16_t> out(s_.data() + 2 * at_, 2 * n);
        at_ += n;
        return out;
    }

private:
    const std::vector<int16_t>& s_;
    size_t endAt_, at_ = 0, piece_ = 0;
    Ending ending_;
    const std::atomic<bool>& cancel_;
};

class FilmSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::scratchDir("film-sound-summary");
        cacheFile = (dir / "cache" / "film.ws").string();
        reset();
    }
    void TearDown() override { fs::remove_all(dir); }

    // A freshly opened film: the placeholder, its marks, no cache yet.
    void reset()
    {
        fs::remove_all(dir / "cache");
        summary.assign(PlaceholderBytes, 0);
        CreateNullWS(summary);
        placeholder = summary;
        // one line at 1-2 s, one at 6-6.48 s: past the placeholder's end
        timeline = {{25, 50, u"一"}, {150, 162, u"二"}};
        marks.assign(PlaceholderBytes, 0);
        rebuildWaveMarks(marks, timeline, 2, Fps);
    }

    std::unique_ptr<FilmSoundSummary> start(size_t endAt, Ending ending, bool hasSound = true)
    {
        return std::make_unique<FilmSoundSummary>(
            [=, this](const std::atomic<bool>& cancel) -> std::unique_ptr<SoundSource> {
                return hasSound ? std::make_unique<MemorySound>(samples, endAt, ending, cancel) : nullptr;
            },
            cacheFile);
    }
    FilmSoundSummary::Delivery tick(FilmSoundSummary& s)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return s.deliver(summary, marks, timeline, 2, Fps);
    }
    ByteArray wavSummary()
    {
        const std::string wav = (dir / "sound.wav").string();
        writeFileAtomically(wav, wavOf(samples));
        return summarizeWav(wav).summary;
    }

    fs::path dir;
    std::string cacheFile;
    std::vector<int16_t> samples;
    ByteArray summary, placeholder, marks;
    TimelineArray timeline;
};

TEST_F(FilmSound, TheWholeSoundReplacesThePlaceholderAndIsCached)
{
    struct Case { const char* name; size_t frames; size_t bytes; };
    const Case cases[] = {
        // 200 frames over: the last partial 10 ms gives no pair
        {"longer than the placeholder", 7 * Rate + 200, 1400},
        {"shorter than the placeholder", 3 * Rate + 200, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        samples = tone(c.frames);
        const ByteArray expected = wavSummary();
        ASSERT_EQ(expected.size(), c.bytes);
        auto worker = start(c.frames, Ending::Ends);
        FilmSoundSummary::Delivery d;
        int halfway = 0;
        for (int i = 0; i < 10000 && !d.done; ++i) {
            d = tick(*worker);
            if (d.done)
                break;
            // while decoding runs the length stays, what came is in place, the rest is the placeholder
            ASSERT_EQ(summary.size(), PlaceholderBytes);
            ASSERT_EQ(marks.size(), PlaceholderBytes);
            const size_t came = std::min(worker->deliveredBytes(), PlaceholderBytes);
            ASSERT_TRUE(std::equal(summary.begin(), summary.begin() + ptrdiff_t(came), expected.begin()));
            ASSERT_TRUE(std::equal(summary.begin() + ptrdiff_t(came), summary.end(),
                                   placeholder.begin() + ptrdiff_t(came)));
            if (d.permille)
                EXPECT_LE(*d.permille, 999);
            halfway += came > 0 && came < PlaceholderBytes;
        }
        ASSERT_TRUE(d.done);
        EXPECT_EQ(d.stage, FilmSoundSummary::Stage::Finished);
        EXPECT_GT(halfway, 0) << "deliver() never met a half-finished summary";
        EXPECT_EQ(summary, expected);

        // the marks rebuilt at the sound's length: frames 25..50 and, when the sound reaches it, 150..162
        ByteArray marked(c.bytes);
        for (size_t i = 0; i < marked.size(); ++i)
            marked[i] = (i >= 200 && i <= 400) || (i >= 1200 && i <= 1296);
        EXPECT_EQ(marks, marked);
        EXPECT_EQ(readFilmSoundCache(cacheFile), expected);
    }
}

TEST_F(FilmSound, CutOffKeepsThePlaceholderAfterWhatCameAndCachesNothing)
{
    struct Case { const char* name; Ending ending; bool hasSound; size_t came; FilmSoundSummary::Stage stage; };
    const Case cases[] = {
        {"editor closed half-way", Ending::WaitsForStop, true, 400, FilmSoundSummary::Stage::Stopped},
        {"decoder broke off", Ending::Breaks, true, 400, FilmSoundSummary::Stage::Failed},
        {"film without sound", Ending::Ends, false, 0, FilmSoundSummary::Stage::NoSound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        samples = tone(7 * Rate);
        const ByteArray expected = wavSummary();
        auto worker = start(2 * Rate, c.ending, c.hasSound);
        FilmSoundSummary::Delivery d;
        // only the editor's stop waits for what came; a failure is waited out
        const bool stopping = c.ending == Ending::WaitsForStop;
        for (int i = 0; i < 5000 && !d.done && !(stopping && worker->deliveredBytes() >= c.came); ++i)
            d = tick(*worker);
        worker->stop();
        d = worker->deliver(summary, marks, timeline, 2, Fps);
        EXPECT_TRUE(d.done);
        EXPECT_EQ(d.stage, c.stage);
        ASSERT_EQ(worker->deliveredBytes(), c.came);
        ASSERT_EQ(summary.size(), PlaceholderBytes);
        EXPECT_TRUE(std::equal(summary.begin(), summary.begin() + ptrdiff_t(c.came), expected.begin()));
        EXPECT_TRUE(std::equal(summary.begin() + ptrdiff_t(c.came), summary.end(),
                               placeholder.begin() + ptrdiff_t(c.came)));
        EXPECT_FALSE(fs::exists(cacheFile));
    }
}

// "VTFILMWS", length 5, FNV-1a-64 of the five summary bytes, the summary.
const std::string GoodCache = "VTFILMWS" "\x05\x00\x00\x00\x00\x00\x00\x00" "\xe6\xe6\x99\x46\x51\xd1\x18\xbf"
                              "\x10\xf0\x7f\x80\x00"s;
const ByteArray GoodSummary = {0x10, 0xf0, 0x7f, 0x80, 0x00};

std::string patched(size_t at, const std::string& bytes)
{
    return std::string(GoodCache).replace(at, bytes.size(), bytes);
}

TEST_F(FilmSound, CacheFileIsReadOnlyWhenWhole)
{
    struct Case { const char* name; std::string bytes; bool good; };
    const Case cases[] = {
        {"whole", GoodCache, true},
        {"checksum one bit off", patched(16, "\xe7"), false},
        {"summary byte damaged", patched(24, "\x11"), false},
        {"other magic", patched(7, "T"), false},
        {"shorter than the header", GoodCache.substr(0, 23), false},
        {"length larger than the file", patched(8, "\x06"), false},
        {"length smaller than the bytes that follow", patched(8, "\x04"), false},
        {"length near 2^64", patched(8, "\xfb\xff\xff\xff\xff\xff\xff\xff"), false},
        {"an empty summary, its checksum right", "VTFILMWS" + std::string(8, '\0') + "\x25\x23\x22\x84\xe4\x9c\xf2\xcb", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = (dir / "c.ws").string();
        writeFileAtomically(file, c.bytes);
        EXPECT_EQ(readFilmSoundCache(file), c.good ? std::optional(GoodSummary) : std::nullopt);
    }
    EXPECT_EQ(readFilmSoundCache((dir / "missing.ws").string()), std::nullopt);
}

TEST_F(FilmSound, CacheFileIsWrittenByteForByteIntoANewFolder)
{
    const std::string file = (dir / "new" / "folder" / "c.ws").string();
    writeFilmSoundCache(file, GoodSummary);
    EXPECT_EQ(readWholeFile(file), GoodCache);
}

}  // namespace
