// The editor at work while the film's sound is still being summarised: on
// the user-interface side, refreshes, current-line lookups and the keys
// V, R, W, X and the moves, run against a summary whose pairs arrive from
// the decoding thread. Also built with ThreadSanitizer.
#include "core/Coverage.h"
#include "editor/Commands.h"
#include "editor/CurrentLine.h"
#include "editor/EditOps.h"
#include "editor/WaveView.h"
#include "analysis/FilmSoundCache.h"
#include "analysis/FilmSoundSummary.h"
#include "opening/Loader.h"
#include "analysis/WaveSummary.h"
#include "platform/FilmSound.h"
#include "tests/support/SoundClips.h"

#include "editor/EditorSession.h"
#include "tests/support/StandingPlayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;
namespace clips = vt::soundclips;

namespace {

constexpr double PictureSeconds = 6;
constexpr double SoundSeconds = 10;  // longer than the placeholder's 6 + 3 s: the summary grows at the end

// The real decoder, slowed down so that the sound takes a while to come and
// the editor's commands meet a half-decoded summary.
class Unhurried : public SoundSource {
public:
    explicit Unhurried(std::unique_ptr<SoundSource> sound) : sound_(std::move(sound)) {}
    SoundFormat format() const override { return sound_->format(); }
    int64_t durationMicroseconds() const override { return sound_->durationMicroseconds(); }
    std::span<const int16_t> next() override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(400));
        return sound_->next();
    }

private:
    std::unique_ptr<SoundSource> sound_;
};

class GrowingSummary : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!clips::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg is not installed";
        dir = clips::scratchDir("growing-summary");
        film = clips::makeFilm(dir, "film.mp4", PictureSeconds, clips::swellingSound(2, 44100, SoundSeconds),
                               "-c:a aac");
        ASSERT_FALSE(film.empty());
        const std::string wav = clips::extractWav(film, false);
        ASSERT_FALSE(wav.empty());
        expected = summarizeWav(wav).summary;
        fs::remove(wav);
        srt = (dir / "film.srt").string();
        writeFileAtomically(srt, "1\r\n00:00:01,000 --> 00:00:02,000\r\n一\r\n\r\n"
                                 "2\r\n00:00:04,000 --> 00:00:05,000\r\n二\r\n\r\n");
    }
    void TearDown() override { fs::remove_all(dir); }

    void load()
    {
        LoadRequest request;
        request.VideoFileName = film;
        request.WavFileName = companionName(film, "wav");
        request.TimelineFileName = srt;
        request.FrameRate = 25;
        LoadCallbacks callbacks;
        callbacks.videoLengthFrames = [](const std::string&) { return int32_t(PictureSeconds * 25); };
        state = ProjectState{};
        ASSERT_TRUE(loadProject(request, state, callbacks).ok);
        ASSERT_TRUE(state.FilmSoundPending);
        placeholder = state.WaveSummary;
    }

    std::unique_ptr<FilmSoundSummary> start()
    {
        return std::make_unique<FilmSoundSummary>(
            [film = film](const std::atomic<bool>& cancel) -> std::unique_ptr<SoundSource> {
                auto sound = openFilmSound(film, cancel);
                return sound ? std::make_unique<Unhurried>(std::move(sound)) : nullptr;
            },
            filmSoundCacheFile(film));
    }

    FilmSoundSummary::Delivery deliver(FilmSoundSummary& summary)
    {
        return summary.deliver(state.WaveSummary, state.WaveMarks, state.Timeline, state.TimelineCount,
                               state.FrameRate);
    }

    // One refresh tick of the editor: the sound's new pairs, the current line
    // and the strip, as TimerForWavTimer does them.
    void refresh(FilmSoundSummary* summary, FilmSoundSummary::Delivery* delivery)
    {
        if (summary)
            *delivery = deliver(*summary);
        session.WaveView.WaveWidth = 556;
        const int32_t position = session.playerPosition();
        session.CurrentLine = GetCurrLineNumb(state.Timeline, state.TimelineCount, state.WaveMarks, state.FrameRate,
                                              session.WaveView, position);
        ShowWav({state.WaveSummary, state.WaveMarks, state.Timeline, state.TimelineCount, state.FrameRate, position,
                 session.CurrentLine, 0},
                session.WaveView);
    }

    // A key as the editor's session carries it out.
    void press(int32_t key) { session.run(keyCommand(key, 3), {EditColumns{}, false}); }

    fs::path dir;
    std::string film, srt;
    ByteArray expected, placeholder;
    ProjectState state;
    UndoHistory history;
    testplayer::StandingPlayer player;
    EditorSession session{state, history, player, [] {}};
};

void expectWellFormed(const ProjectState& state)
{
    for (int32_t i = 0; i < state.TimelineCount; ++i) {
        const TimelineEntry& line = state.Timeline[size_t(i)];
        EXPECT_GE(line.EndFrame, line.StartFrame + MinimumLineFrames) << "line " << i;
        if (i > 0)
            EXPECT_GT(line.StartFrame, state.Timeline[size_t(i - 1)].EndFrame) << "line " << i;
    }
    ByteArray marks(state.WaveSummary.size(), 0);
    rebuildWaveMarks(marks, state.Timeline, state.TimelineCount, state.FrameRate);
    EXPECT_EQ(state.WaveMarks, marks);
}

}  // namespace

TEST_F(GrowingSummary, EditsWhileTheSoundArrivesAndTheWholeSummaryAtTheEnd)
{
    load();
    const int32_t keys[] = {VirtualKey::V, VirtualKey::F, VirtualKey::E, VirtualKey::R, VirtualKey::V,
                            VirtualKey::W, VirtualKey::S, VirtualKey::D, VirtualKey::X, VirtualKey::G,
                            VirtualKey::V, VirtualKey::A};
    auto summary = start();
    FilmSoundSummary::Delivery delivery;
    int ticksWhileDecoding = 0;
    int inserted = 0;
    for (int tick = 0; !delivery.done; ++tick) {
        refresh(summary.get(), &delivery);
        if (delivery.permille && summary->deliveredBytes() > 0)
            ++ticksWhileDecoding;
        const int32_t count = state.TimelineCount;
        press(keys[tick % std::size(keys)]);
        inserted += state.TimelineCount > count;
        // the player runs on, and starts again at the film's end
        player.at = (player.at + 4) % state.VideoLengthFrames;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(delivery.stage, FilmSoundSummary::Stage::Finished);
    EXPECT_GE(ticksWhileDecoding, 10) << "the commands met a half-decoded summary";
    EXPECT_GT(inserted, 0);

    EXPECT_EQ(state.WaveSummary, expected);
    EXPECT_GT(state.WaveSummary.size(), placeholder.size());
    expectWellFormed(state);
    // and the editor goes on as with any summary
    for (int32_t key : keys) {
        refresh(nullptr, nullptr);
        press(key);
    }
    expectWellFormed(state);
}

TEST_F(GrowingSummary, StoppedHalfWayLeavesThePlaceholderAfterWhatCame)
{
    load();
    auto summary = start();
    FilmSoundSummary::Delivery delivery;
    while (summary->deliveredBytes() < 400 && !delivery.done) {
        refresh(summary.get(), &delivery);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    summary->stop();  // the editor closes
    ASSERT_FALSE(delivery.done);
    delivery = deliver(*summary);
    EXPECT_EQ(delivery.stage, FilmSoundSummary::Stage::Stopped);
    EXPECT_TRUE(delivery.done);

    const size_t came = summary->deliveredBytes();
    ASSERT_GE(came, 400u);
    ASSERT_LT(came, placeholder.size());
    ASSERT_EQ(state.WaveSummary.size(), placeholder.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + ptrdiff_t(came), state.WaveSummary.begin()));
    EXPECT_TRUE(std::equal(placeholder.begin() + ptrdiff_t(came), placeholder.end(),
                           state.WaveSummary.begin() + ptrdiff_t(came)));
    EXPECT_FALSE(readFilmSoundCache(filmSoundCacheFile(film))) << "a summary cut off is not cached";
    expectWellFormed(state);
}
