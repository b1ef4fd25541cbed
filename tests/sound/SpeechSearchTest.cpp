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
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;

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

}  // namespace
