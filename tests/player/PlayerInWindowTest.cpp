// The player as the editor window uses it: the picture's first rectangle,
// and steps that come faster than mpv finishes its seeks.
#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"
#include "tests/support/Events.h"
#include "tests/support/OpenedPlayer.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace vt;
using namespace vt::testclips;
using vt::testsupport::pumpEvents;
namespace fs = std::filesystem;

namespace {

class PlayerInWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveFfmpeg())
            return;
        dir_ = scratchDir("player-window");
        // a key frame every 12 s: every seek decodes from far back
        longGop_ = makeClip(dir_, "long-gop.mp4", "25", 400, false, "-g 300 -keyint_min 300 -sc_threshold 0");
        sound_ = (dir_ / "sound.wav").string();
        std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=300:duration=2 \"" + sound_ + "\"").c_str());
    }
    static void TearDownTestSuite()
    {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    void SetUp() override
    {
        if (!haveFfmpeg())
            GTEST_SKIP() << "ffmpeg is not installed";
    }

    static fs::path dir_;
    static std::string longGop_;
    static std::string sound_;
};

fs::path PlayerInWindow::dir_;
std::string PlayerInWindow::longGop_;
std::string PlayerInWindow::sound_;

}  // namespace

// The editor lays the picture out from the rectangle the player reports, and
// leaves it alone when there is no picture to lay out.
TEST_F(PlayerInWindow, TheFirstRectangleIsTheVideosOwnSizeAndThereIsNoneWithoutAPicture)
{
    QWidget window;
    window.resize(700, 500);
    window.show();
    auto player = createMediaPlayer(false);
    player->setDisplayWindow(&window);
    EXPECT_TRUE(player->displayRect().isEmpty()) << "nothing open";

    player->setFileName(longGop_);
    player->open();
    EXPECT_EQ(player->displayRect(), QRect(0, 0, ClipWidth, ClipHeight));
    player->close();
    EXPECT_TRUE(player->displayRect().isEmpty()) << "closed";

    player->setFileName(sound_);
    player->open();
    EXPECT_TRUE(player->displayRect().isEmpty()) << "sound only";
    player->close();
}

// Fast playing levels step on every tick, and on a file with far-apart key
// frames the seek of one tick is not done by the next: each step must go on
// from where the one before went, not from where mpv's clock still stands.
TEST_F(PlayerInWindow, StepsFasterThanTheSeeksAddUp)
{
    OpenedPlayer opened(longGop_);
    auto& player = opened.player;
    QWidget& window = opened.window;
    player->play();
    pumpEvents(300);
    const int64_t start = player->position();

    for (int jump = 1; jump <= 3; ++jump) {
        player->step(40);
        player->play();
        EXPECT_EQ(player->position(), start + 40 * jump) << "jump " << jump;
    }
    player->pause();
    ASSERT_TRUE(player->waitUntilSettled(10000));
    EXPECT_EQ(frameNumberIn(window.grab().toImage()), start + 120);
}

// mpv stops a frame or so after a pause is asked for: the position it then
// reports is the picture the user sees, where a line put in starts.
TEST_F(PlayerInWindow, AfterAPauseThePositionIsTheFrameShown)
{
    OpenedPlayer opened(longGop_);
    auto& player = opened.player;
    QWidget& window = opened.window;
    for (int round = 1; round <= 6; ++round) {
        player->play();
        pumpEvents(130);
        player->pause();
        ASSERT_TRUE(player->waitUntilSettled(5000)) << "round " << round;
        EXPECT_EQ(player->position(), frameNumberIn(window.grab().toImage())) << "round " << round;
        player->step(1);
        ASSERT_TRUE(player->waitUntilSettled(5000)) << "round " << round;
        EXPECT_EQ(player->position(), frameNumberIn(window.grab().toImage())) << "one frame on, round " << round;
    }
}
