// The speech search the editor runs in the background, end to end: a film
// whose sound is synthesised dialogue, decoded, searched with WebRTC's
// detector, cached beside the summary, and read back from the cache.
#include "analysis/FilmSoundCache.h"
#include "analysis/SpeechSearch.h"
#include "platform/FilmSound.h"
#include "platform/VoiceActivity.h"
#include "tests/support/SpeechClips.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;

namespace vt {
void PrintTo(const SpeechSpan& s, std::ostream* out)
{
    *out << "[" << s.StartMs << ", " << s.EndMs << ")";
}
}  // namespace vt

namespace {

class SpeechOfAFilm : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!speechclips::haveSpeechTools())
            return;
        dir_ = scratch::scratchDir("speech-search");
        said_ = speechclips::dialogue(4, 7, dir_);
        const fs::path raw = dir_ / "dialogue.raw";
        std::ofstream(raw, std::ios::binary)
            .write(reinterpret_cast<const char*>(said_.samples.data()), std::streamsize(said_.samples.size() * 2));
        film_ = (dir_ / "film.mp4").string();
        const std::string make = "ffmpeg -v error -y -f lavfi -i color=c=gray:s=64x48:r=25 -f s16le -ar " +
                                 std::to_string(said_.format.sampleRate) + " -ac 1 -i \"" + raw.string() +
                                 "\" -shortest -c:v libx264 -preset ultrafast -c:a aac -b:a 96k \"" + film_ + "\"";
        if (std::system((make + " >/dev/null 2>&1").c_str()) != 0)
            film_.clear();
        silent_ = (dir_ / "silent.mp4").string();
        std::system(("ffmpeg -v error -y -f lavfi -i color=c=gray:s=64x48:r=25:d=2 -c:v libx264 -preset ultrafast \"" +
                     silent_ + "\" >/dev/null 2>&1").c_str());
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override
    {
        if (film_.empty())
            GTEST_SKIP() << "espeak-ng or ffmpeg is not installed";
        setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
    }

    static SoundOpener openerOf(const std::string& file, int* opened = nullptr)
    {
        return [file, opened](const std::atomic<bool>& cancel) {
            if (opened)
                ++*opened;
            return openFilmSound(file, cancel);
        };
    }

    static std::optional<SpeechSpanList> waitFor(SpeechSearch& search)
    {
        for (int i = 0; i < 3000; ++i) {
            if (auto spans = search.take())
                return spans;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    static fs::path dir_;
    static speechclips::SpeechFilm said_;
    static std::string film_;
    static std::string silent_;
};

fs::path SpeechOfAFilm::dir_;
speechclips::SpeechFilm SpeechOfAFilm::said_;
std::string SpeechOfAFilm::film_;
std::string SpeechOfAFilm::silent_;

TEST_F(SpeechOfAFilm, FoundInTheBackgroundCachedAndTakenFromTheCacheNextTime)
{
    const std::string cache = speechCacheFile(film_);
    ASSERT_FALSE(cache.empty());
    fs::remove(cache);

    int opened = 0;
    SpeechSearch first(openerOf(film_, &opened), [] { return openVoiceActivity(); }, cache);
    const std::optional<SpeechSpanList> found = waitFor(first);
    ASSERT_TRUE(found) << "the search never finished";
    EXPECT_EQ(opened, 1);
    const speechclips::Score score = speechclips::score(*found, said_.sentences);
    EXPECT_EQ(score.missed, 0);
    EXPECT_EQ(score.onsetsWithin, score.sentences) << "an onset more than 2 frames off after the film's own decode";
    EXPECT_EQ(score.onsetsLate, 0) << "onsets off by (ms): " << testing::PrintToString(score.onsetErrors);
    EXPECT_EQ(score.inSilence, 0);
    EXPECT_TRUE(fs::exists(cache)) << "the spans were not cached";
    EXPECT_NE(cache, filmSoundCacheFile(film_)) << "the spans would overwrite the waveform's cache";

    SpeechSearch second(openerOf(film_, &opened), [] { return openVoiceActivity(); }, cache);
    EXPECT_EQ(waitFor(second), found);
    EXPECT_EQ(opened, 1) << "the film was decoded again although the cache held its spans";

    // a damaged cache is found again, not believed
    std::string bytes;
    {
        std::ifstream in(cache, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(bytes.size(), 30u);
    bytes[28] = char(bytes[28] ^ 0x40);
    std::ofstream(cache, std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(readSpeechCache(cache), std::nullopt);
    SpeechSearch third(openerOf(film_, &opened), [] { return openVoiceActivity(); }, cache);
    EXPECT_EQ(waitFor(third), found);
    EXPECT_EQ(opened, 2);
}

TEST_F(SpeechOfAFilm, AFilmWithoutSoundOrAFileThatIsNoFilmHasNoSpansAndNoError)
{
    for (const std::string& file : {silent_, (dir_ / "dialogue.raw").string(), (dir_ / "missing.mp4").string()}) {
        SpeechSearch search(openerOf(file), [] { return openVoiceActivity(); }, "");
        const std::optional<SpeechSpanList> found = waitFor(search);
        ASSERT_TRUE(found) << file;
        EXPECT_TRUE(found->empty()) << file;
    }
}

// ---- the search's own rules, on sound held in memory: no decoder needed ----

// Six seconds at 16 kHz with a 440 Hz tone at 1-2 s and 4-5 s, handed over
// a tenth of a second at a time as a decoder would; half way it may fail
// as a damaged file does, or the editor may close and stop the search.
enum class Ending { Whole, BreaksOff, EditorCloses };

class TwoTones : public SoundSource {
public:
    TwoTones(Ending ending, std::atomic<bool>& cancel) : ending_(ending), cancel_(cancel)
    {
        samples_.resize(6 * 16000);
        for (size_t i = 0; i < samples_.size(); ++i) {
            const double t = double(i) / 16000;
            if ((t >= 1 && t < 2) || (t >= 4 && t < 5))
                samples_[i] = int16_t(std::lround(3277 * std::sin(2 * std::numbers::pi * 440 * t)));
        }
    }
    SoundFormat format() const override { return {1, 16000}; }
    int64_t durationMicroseconds() const override { return 6000000; }
    std::span<const int16_t> next() override
    {
        constexpr size_t Piece = 1600;
        if (at_ == samples_.size() / 2 && ending_ == Ending::BreaksOff)
            throw SoundError("Invalid data found when processing input");
        if (at_ == samples_.size() / 2 && ending_ == Ending::EditorCloses)
            cancel_.store(true);
        if (cancel_.load() || at_ >= samples_.size())
            return {};
        const std::span<const int16_t> out(samples_.data() + at_, std::min(Piece, samples_.size() - at_));
        at_ += out.size();
        return out;
    }

private:
    std::vector<int16_t> samples_;
    size_t at_ = 0;
    Ending ending_;
    std::atomic<bool>& cancel_;
};

// Only spans of the whole sound are kept: a search stopped half way, or a
// sound that broke off, is looked for again at the next opening, which then
// keeps what it finds.
TEST(SpeechSearch, OnlyTheWholeSoundsSpansAreCached)
{
    const fs::path dir = scratch::scratchDir("speech-search-cache");
    const std::string cache = (dir / "film.speech").string();
    const SpeechSpanList whole = {{1000, 2000}, {4000, 5000}};
    struct Case {
        const char* name;
        Ending ending;
        std::optional<SpeechSpanList> found;
    };
    const Case cases[] = {
        {"the whole sound", Ending::Whole, whole},
        {"the editor closed half way", Ending::EditorCloses, std::nullopt},
        {"the sound broke off half way", Ending::BreaksOff, SpeechSpanList{}},
    };
    auto near = [](const SpeechSpanList& a, const SpeechSpanList& b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::abs(a[i].StartMs - b[i].StartMs) > 8 || std::abs(a[i].EndMs - b[i].EndMs) > 8)
                return false;
        return true;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(cache);
        std::atomic<bool> cancel{false};
        int opened = 0;
        auto open = [&](Ending ending) {
            return [&, ending](const std::atomic<bool>&) -> std::unique_ptr<SoundSource> {
                ++opened;
                return std::make_unique<TwoTones>(ending, cancel);
            };
        };
        const std::optional<SpeechSpanList> first = speechOfSound(open(c.ending), nullptr, cache, cancel);
        ASSERT_EQ(first.has_value(), c.found.has_value());
        if (first)
            EXPECT_TRUE(near(*first, *c.found)) << testing::PrintToString(*first);
        if (c.ending != Ending::Whole) {
            EXPECT_EQ(readSpeechCache(cache), std::nullopt) << "kept as if it were the whole sound's";
            // the next opening looks again, and keeps the whole sound's spans
            cancel.store(false);
            const std::optional<SpeechSpanList> again = speechOfSound(open(Ending::Whole), nullptr, cache, cancel);
            ASSERT_TRUE(again);
            EXPECT_TRUE(near(*again, whole)) << testing::PrintToString(*again);
            EXPECT_EQ(opened, 2);
        }
        const std::optional<SpeechSpanList> cached = readSpeechCache(cache);
        ASSERT_TRUE(cached);
        EXPECT_TRUE(near(*cached, whole)) << testing::PrintToString(*cached);
        const int before = opened;
        EXPECT_EQ(speechOfSound(open(Ending::Whole), nullptr, cache, cancel), cached);
        EXPECT_EQ(opened, before) << "decoded again although the cache held the spans";
    }
    fs::remove_all(dir);
}

// A cache is believed only when its spans are ones the finder could have
// given: in order, none empty, none overlapping the one before.
TEST(SpeechSearch, ACacheIsBelievedOnlyWithSpansInOrder)
{
    const fs::path dir = scratch::scratchDir("speech-cache-spans");
    const std::string cache = (dir / "film.speech").string();
    struct Case {
        const char* name;
        SpeechSpanList spans;
        bool believed;
    };
    const Case cases[] = {
        {"spans in order, the first from the sound's start", {{0, 500}, {800, 1200}, {1200, 1900}}, true},
        {"a film without speech", {}, true},
        {"overlapping spans", {{0, 500}, {400, 900}}, false},
        {"spans out of order", {{800, 1200}, {0, 500}}, false},
        {"an empty span", {{100, 100}}, false},
        {"a span ending before it starts", {{300, 100}}, false},
        {"a span before the sound", {{-40, 100}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSpeechCache(cache, c.spans);
        const std::optional<SpeechSpanList> read = readSpeechCache(cache);
        if (c.believed)
            EXPECT_EQ(read, c.spans);
        else
            EXPECT_EQ(read, std::nullopt);
    }

    // the same header with half a span after the whole ones
    writeSpeechCache(cache, {{0, 500}});
    std::string magic(8, '\0');
    std::ifstream(cache, std::ios::binary).read(magic.data(), 8);
    ByteArray bytes;
    for (uint32_t v : {0u, 500u, 800u})
        appendLe32(bytes, v);
    writeCacheFile(cache, magic, bytes);
    EXPECT_EQ(readSpeechCache(cache), std::nullopt) << "half a span";
    fs::remove_all(dir);
}

// Speech is looked for in the project's WAV file when it has one; a
// waveform summary (.ws) is no sound, and a WAV that is gone leaves the film.
TEST(SpeechSearch, TheSoundLookedInIsTheProjectsWavOrElseTheFilm)
{
    const fs::path dir = scratch::scratchDir("speech-sound-file");
    const std::string film = (dir / "film.mp4").string();
    const std::string wav = (dir / "film.wav").string();
    const std::string summary = (dir / "film.ws").string();
    for (const std::string& f : {film, wav, summary})
        std::ofstream(f) << "x";
    struct Case {
        const char* name;
        std::string wavFileName;
        std::string expected;
    };
    const Case cases[] = {
        {"a WAV beside the film", wav, wav},
        {"a waveform summary", summary, film},
        {"a WAV that is gone", (dir / "gone.wav").string(), film},
        {"no WAV", "", film},
    };
    for (const Case& c : cases)
        EXPECT_EQ(speechSoundFile(film, c.wavFileName), c.expected) << c.name;
    fs::remove_all(dir);
}

}  // namespace
