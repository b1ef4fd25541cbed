// Random walks through a film the way the editor's play tick moves: single
// frames either way, 40-frame steps, the jumping levels' jump-and-play, and
// bursts of one frame back every 80 ms, plays long enough for mpv to take
// over from the cached pictures, and a seek looked at long enough for mpv to
// be sent there before play starts. After every move the picture must be
// the frame the player reports, and that frame the one asked for; a step back
// that keeps up by showing a wrong frame is worse than a slow one.
#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"
#include "tests/support/Events.h"
#include "tests/support/OpenedPlayer.h"

#include <QWidget>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace vt;
using namespace vt::testclips;
using vt::testsupport::pumpEvents;
namespace fs = std::filesystem;

namespace {

struct ClipCase {
    const char* name;
    const char* rate;
    double fps;
    int frames;
    bool sound;
    const char* extra;
};

const ClipCase kClips[] = {
    {"long-gop.mp4", "25", 25.0, 400, false, "-g 250 -keyint_min 250 -sc_threshold 0 -bf 3"},
    {"long-gop-720p.mp4", "25", 25.0, 300, false, "-s 1280x720 -g 250 -keyint_min 250 -sc_threshold 0 -bf 3"},
    {"long-gop-1080p.mp4", "25", 25.0, 300, false, "-s 1920x1080 -g 250 -keyint_min 250 -sc_threshold 0 -bf 3"},
    {"mpeg4.avi", "25", 25.0, 300, true, ""},
    {"ntsc.mp4", "30000/1001", 30000.0 / 1001.0, 330, true, "-g 120 -bf 2"},
    // the picture starts 0.4 frame after the sound: off the frame cache's grid,
    // so it gives up and mpv draws the picture again
    {"late-picture.mp4", "25", 25.0, 200, true, "-bsf:v setts=ts=TS+205"},
};

enum class Move { Step, JumpAndPlay, BackBurst, LookThenPlay };

int shown(QWidget& window)
{
    return frameNumberIn(window.grab().toImage());
}

}  // namespace

TEST(StepSequence, EveryMoveShowsTheFrameThePlayerReports)
{
    if (!haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    auto dir = scratchDir("step-sequence");
    for (const auto& clip : kClips) {
        std::string path = makeClip(dir, clip.name, clip.rate, clip.frames, clip.sound, clip.extra);
        ASSERT_FALSE(path.empty()) << clip.name;
        SCOPED_TRACE(clip.name);
        OpenedPlayer opened(path, QRect(0, 0, ClipWidth, ClipHeight));
        auto& player = opened.player;
        QWidget& window = opened.window;
        // a sound track cut with the picture may take the last frame with it
        ASSERT_GE(player->length(), clip.frames - 1);
        const int backJump = int(1.6 * clip.fps);
        const int forwardJump = int(1.0 * clip.fps);

        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> pick(0, 9);
        int64_t expected = 0;
        player->step(int32_t(clip.frames / 2));
        expected = clip.frames / 2;
        for (int i = 0; i < 28; ++i) {
            const int choice = pick(random);
            const int steps[] = {-1, -1, +1, -40, +40, -backJump, forwardJump, 0, -1, -60};
            const int delta = steps[choice];
            const Move move = choice == 9   ? Move::LookThenPlay
                              : choice == 7 ? Move::BackBurst
                              : choice >= 5 ? Move::JumpAndPlay
                                            : Move::Step;
            // a second and a half of play after a step back: mpv takes over on the way
            const int playMs = choice == 8 ? 1500 : 200;
            std::string what = "move " + std::to_string(i) + " (" + std::to_string(delta) + ")";
            if (move == Move::BackBurst) {
                // one frame back every 80 ms: whatever shows meanwhile is a frame
                // that was asked for, never one beside them
                const int64_t from = expected;
                int previous = shown(window);
                for (int n = 0; n < 12; ++n) {
                    player->step(-1);
                    expected = std::max<int64_t>(0, expected - 1);
                    pumpEvents(80);
                    int now = shown(window);
                    EXPECT_TRUE(now <= previous && now >= expected) << what << ": showed " << now << " between "
                                                                      << expected << " and " << previous;
                    previous = now;
                }
                ASSERT_TRUE(player->waitUntilSettled(10000)) << what;
                EXPECT_EQ(player->position(), std::max<int64_t>(0, from - 12)) << what;
            } else {
                // the length may grow by the frame a shorter sound track left out once the end is reached
                const int64_t lastNow = player->length() - 1;
                player->step(delta);
                expected = std::clamp<int64_t>(expected + delta, 0, lastNow);
                EXPECT_EQ(player->position(), expected) << what;
                if (move == Move::LookThenPlay) {
                    ASSERT_TRUE(player->waitUntilSettled(10000)) << what;
                    pumpEvents(400);
                    EXPECT_EQ(shown(window), expected) << what;
                }
                // on a busy machine the pause can come well after playMs: the bound is the time that passed
                QElapsedTimer played;
                if (move != Move::Step) {
                    played.start();
                    player->play();
                    pumpEvents(playMs);
                    player->pause();
                }
                const int64_t playedMs = move != Move::Step ? played.elapsed() : 0;
                ASSERT_TRUE(player->waitUntilSettled(10000)) << what;
                if (move != Move::Step) {
                    // play goes on from the frame shown, and no faster than the film
                    EXPECT_GE(player->position(), expected) << what;
                    EXPECT_LE(player->position(), expected + int(playedMs * clip.fps / 1000) + 4) << what;
                    expected = player->position();
                }
            }
            EXPECT_EQ(player->position(), expected) << what;
            EXPECT_EQ(shown(window), expected) << what;
        }
        player->close();
    }
    fs::remove_all(dir);
}
