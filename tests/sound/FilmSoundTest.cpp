// The waveform from a film's own sound track: what the background summary
// of the film gives against what the WAV reader gives of the WAV that
// ffmpeg extracts from the same film, and the cache that spares the next
// opening the decoding.
#include "core/FileIO.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/FilmSoundSummary.h"
#include "opening/Loader.h"
#include "analysis/WaveSummary.h"
#include "platform/FilmSound.h"
#include "tests/support/SoundClips.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;
namespace clips = vt::soundclips;

namespace {

constexpr int PictureRate = 25;

class FilmProject {
public:
    explicit FilmProject(const fs::path& dir)
    {
        srt = (dir / "film.srt").string();
        writeFileAtomically(srt, "1\r\n00:00:01,000 --> 00:00:02,000\r\n一\r\n\r\n");
    }

    // The open-project screen's load of a film with no WAV and no ".ws".
    ProjectState load(const std::string& film, double pictureSeconds)
    {
        LoadRequest request;
        request.VideoFileName = film;
        request.WavFileName = companionName(film, "wav");
        request.TimelineFileName = srt;
        request.FrameRate = float(PictureRate);
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [&](const std::string&) { return int32_t(pictureSeconds * PictureRate); };
        ProjectState state;
        LoadOutcome outcome = loadProject(request, state, callbacks);
        EXPECT_TRUE(outcome.ok) << (outcome.messages.empty() ? "" : outcome.messages[0]);
        return state;
    }

    // What the editor does while it is open: the background summary, its
    // pairs taken on every refresh tick until nothing more comes.
    FilmSoundSummary::Stage summarise(ProjectState& state, const std::string& film)
    {
        EXPECT_TRUE(state.FilmSoundPending);
        FilmSoundSummary summary(
            [this, film](const std::atomic<bool>& cancel) {
                ++decodings;
                return openFilmSound(film, cancel);
            },
            filmSoundCacheFile(film));
        for (;;) {
            auto delivery = summary.deliver(state.WaveSummary, state.WaveMarks, state.Timeline, state.TimelineCount,
                                            state.FrameRate);
            if (delivery.done)
                return delivery.stage;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::string srt;
    int decodings = 0;
};

ByteArray placeholder(double pictureSeconds)
{
    ByteArray summary(size_t(pictureSeconds * 200 + 600), 0);
    CreateNullWS(summary);
    return summary;
}

struct FilmCase {
    const char* name;
    const char* file;
    double pictureSeconds;
    int channels;        // 0: no sound
    int rate;
    double soundSeconds;
    const char* codec;
    double keptShare;    // the share of the file's bytes left when it is cut off; 1 whole
    int marked;          // summary bytes the line at 1 s .. 2 s covers
};

}  // namespace

TEST(FilmSound, BackgroundSummaryEqualsTheWavReadersSummaryOfFfmpegsWav)
{
    if (!clips::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const FilmCase cases[] = {
        {"AVI with mono 22.05 kHz PCM", "pcm.avi", 3, 1, 22050, 3, "-c:a pcm_s16le", 1, 201},
        {"MP4 with stereo AAC", "aac.mp4", 3, 2, 44100, 3, "-c:a aac -b:a 96k", 1, 201},
        {"MKV with 5.1 AC-3, mixed down to stereo", "ac3.mkv", 3, 6, 48000, 3, "-c:a ac3", 1, 201},
        // the summary ends at 1.5 s, and the marks with it
        {"MP4 whose sound ends before its picture", "short.mp4", 4, 2, 44100, 1.5, "-c:a aac", 1, 100},
        {"MKV cut off in the middle of its sound", "cut.mkv", 4, 2, 48000, 4, "-c:a aac", 0.6, 201},
        {"MP4 without sound", "silent.mp4", 3, 0, 0, 0, "", 1, 201},
    };
    const fs::path dir = clips::scratchDir("film-sound");
    FilmProject project(dir);
    for (const FilmCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string sound = c.channels ? clips::swellingSound(c.channels, c.rate, c.soundSeconds) : "";
        std::string film = clips::makeFilm(dir, c.file, c.pictureSeconds, sound, c.codec);
        ASSERT_FALSE(film.empty());
        if (c.keptShare < 1)
            fs::resize_file(film, uintmax_t(double(fs::file_size(film)) * c.keptShare));

        ByteArray expected = placeholder(c.pictureSeconds);
        if (c.channels) {
            const std::string wav = clips::extractWav(film, c.channels > 2);
            ASSERT_FALSE(wav.empty());
            expected = summarizeWav(wav).summary;
            ASSERT_GT(expected.size(), 100u);
        }

        ProjectState state = project.load(film, c.pictureSeconds);
        ASSERT_EQ(state.WaveSummary, placeholder(c.pictureSeconds)) << "the editor opens on the placeholder";
        const auto stage = project.summarise(state, film);
        EXPECT_EQ(stage, c.channels ? FilmSoundSummary::Stage::Finished : FilmSoundSummary::Stage::NoSound);
        EXPECT_EQ(state.WaveSummary, expected);
        ASSERT_EQ(state.WaveMarks.size(), state.WaveSummary.size());
        EXPECT_EQ(std::count(state.WaveMarks.begin(), state.WaveMarks.end(), 1), c.marked);
    }
    fs::remove_all(dir);
}

TEST(FilmSound, SecondOpeningReadsTheCacheAndADamagedCacheIsRebuilt)
{
    if (!clips::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = clips::scratchDir("film-sound-cache");
    FilmProject project(dir);
    const std::string film =
        clips::makeFilm(dir, "film.mp4", 2, clips::swellingSound(2, 44100, 2), "-c:a aac");
    ASSERT_FALSE(film.empty());
    std::set<fs::path> usersFiles;
    for (const auto& entry : fs::directory_iterator(dir))
        usersFiles.insert(entry.path());

    ProjectState first = project.load(film, 2);
    ASSERT_EQ(project.summarise(first, film), FilmSoundSummary::Stage::Finished);
    const ByteArray summary = first.WaveSummary;
    EXPECT_EQ(project.decodings, 1);

    const std::string cache = filmSoundCacheFile(film);
    EXPECT_EQ(cache.rfind(std::string(std::getenv("XDG_CACHE_HOME")) + "/veltrana/", 0), 0u) << cache;
    ASSERT_TRUE(fileExists(cache));
    std::set<fs::path> afterwards;
    for (const auto& entry : fs::directory_iterator(dir))
        afterwards.insert(entry.path());
    EXPECT_EQ(afterwards, usersFiles) << "nothing is written beside the film";

    ProjectState second = project.load(film, 2);
    EXPECT_FALSE(second.FilmSoundPending);
    EXPECT_EQ(second.WaveSummary, summary);
    EXPECT_EQ(second.WaveMarks.size(), summary.size());
    EXPECT_EQ(project.decodings, 1) << "the second opening decodes nothing";

    struct Damage {
        const char* name;
        void (*apply)(const std::string& file);
    };
    const Damage damages[] = {
        {"cut short", [](const std::string& file) { fs::resize_file(file, fs::file_size(file) - 7); }},
        {"a byte changed", [](const std::string& file) {
             std::string bytes = readWholeFile(file);
             bytes[bytes.size() / 2] ^= 0x40;
             writeFileAtomically(file, bytes);
         }},
        {"emptied", [](const std::string& file) { fs::resize_file(file, 0); }},
    };
    int decodings = project.decodings;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        damage.apply(cache);
        ProjectState again = project.load(film, 2);
        EXPECT_EQ(again.WaveSummary, placeholder(2)) << "a damaged cache is not used";
        ASSERT_EQ(project.summarise(again, film), FilmSoundSummary::Stage::Finished);
        EXPECT_EQ(project.decodings, ++decodings);
        EXPECT_EQ(again.WaveSummary, summary);
        EXPECT_EQ(readFilmSoundCache(cache), summary) << "and is written anew";
    }

    // the same film changed is another film
    fs::last_write_time(film, fs::last_write_time(film) + std::chrono::seconds(5));
    EXPECT_TRUE(project.load(film, 2).FilmSoundPending);
    fs::remove_all(dir);
}
