#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"

#include "tests/support/Events.h"
#include "tests/support/OpenedPlayer.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <fstream>

using namespace vt;
using vt::testsupport::pumpEvents;
using namespace vt::testclips;
namespace fs = std::filesystem;

namespace {

struct RateCase {
    const char* name;
    const char* rate;
    double fps;
    int frames;
};

class MediaPlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveFfmpeg())
            return;
        dir_ = scratchDir("player");
        stepClip_ = makeClip(dir_, "steps.avi", "25", 300, true);
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
    static std::string stepClip_;
};

fs::path MediaPlayerTest::dir_;
std::string MediaPlayerTest::stepClip_;

// The frame the picture in the widget shows.
int shownFrame(QWidget& window)
{
    return frameNumberIn(window.grab().toImage());
}

}  // namespace

TEST_F(MediaPlayerTest, LengthGivesTheFrameRateInBothContainers)
{
    const RateCase cases[] = {
        {"r25", "25", 25.0, 75},
        {"r23976", "24000/1001", 24000.0 / 1001.0, 72},
        {"r2997", "30000/1001", 30000.0 / 1001.0, 90},
    };
    auto player = createMediaPlayer(false);
    for (const auto& c : cases) {
        for (const char* ext : {".avi", ".mp4"}) {
            for (bool sound : {false, true}) {
                std::string clip = makeClip(dir_, std::string(c.name) + (sound ? "s" : "") + ext, c.rate, c.frames, sound);
                ASSERT_FALSE(clip.empty());
                player->setFileName(clip);
                ASSERT_NO_THROW(player->open()) << clip;
                player->setTimeFormat(MediaPlayer::TimeFormat::Milliseconds);
                int64_t ms = player->length();
                player->setTimeFormat(MediaPlayer::TimeFormat::Frames);
                int64_t frames = player->length();
                player->close();
                EXPECT_EQ(frames, c.frames) << clip;
                ASSERT_GT(ms, 0) << clip;
                float rate = float(frames * 1000.0 / ms);
                EXPECT_NEAR(rate, c.fps, 0.0006) << clip;
            }
        }
    }
}

TEST_F(MediaPlayerTest, StepsLandExactlyOnThePicture)
{
    OpenedPlayer opened(stepClip_);
    auto& player = opened.player;
    QWidget& window = opened.window;
    player->setTimeFormat(MediaPlayer::TimeFormat::Frames);
    ASSERT_EQ(player->length(), 300);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_EQ(player->position(), 0);
    EXPECT_EQ(shownFrame(window), 0);

    const struct { int step; int expected; } moves[] = {
        {+1, 1}, {+1, 2}, {-1, 1}, {+40, 41}, {+40, 81}, {-40, 41}, {-1, 40}, {+1, 41}, {+100, 141}, {-141, 0},
    };
    for (const auto& m : moves) {
        player->step(m.step);
        // the service knows the target at once, before mpv is there
        EXPECT_EQ(player->position(), m.expected);
        ASSERT_TRUE(player->waitUntilSettled(5000)) << "step " << m.step;
        EXPECT_EQ(player->position(), m.expected);
        EXPECT_EQ(shownFrame(window), m.expected) << "after step " << m.step;
    }
}

TEST_F(MediaPlayerTest, StepsPastEitherEndStopThere)
{
    OpenedPlayer opened(stepClip_);
    auto& player = opened.player;
    QWidget& window = opened.window;

    player->step(-5);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_EQ(player->position(), 0);
    EXPECT_EQ(shownFrame(window), 0);

    player->step(1000);
    EXPECT_EQ(player->position(), 299);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_EQ(shownFrame(window), 299);

    player->step(1);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_EQ(player->position(), 299);
    player->play();  // at the end: asks to play, nothing fails
    QCoreApplication::processEvents();
    EXPECT_EQ(player->position(), 299);

    player->step(-299);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_EQ(player->position(), 0);
    EXPECT_EQ(shownFrame(window), 0);
}

TEST_F(MediaPlayerTest, PlayPauseToggleAndStop)
{
    auto player = createMediaPlayer(false);
    player->setFileName(stepClip_);
    player->open();
    player->pause();  // neither playing nor paused: nothing
    player->play();
    player->play();   // goes on playing
    pumpEvents(600);
    int64_t moving = player->position();
    EXPECT_GT(moving, 3);

    // A pause takes hold a frame or so after it is asked for; the position
    // then names the picture shown and stays there.
    int64_t asked = player->position();
    player->pause();
    ASSERT_TRUE(player->waitUntilSettled(5000));
    int64_t paused = player->position();
    EXPECT_GE(paused, asked);
    EXPECT_LE(paused, asked + 2);
    pumpEvents(300);
    EXPECT_EQ(player->position(), paused);

    player->pause();  // resumes
    pumpEvents(400);
    EXPECT_GT(player->position(), paused);

    player->stop();
    ASSERT_TRUE(player->waitUntilSettled(5000));
    int64_t stopped = player->position();
    player->pause();  // a stopped player does not resume
    pumpEvents(300);
    EXPECT_EQ(player->position(), stopped);
    EXPECT_GT(stopped, paused);
}

TEST_F(MediaPlayerTest, PlayGoesOnPastTheEndOfAShorterSoundTrack)
{
    // the sound ends after 1 s, the picture after 4 s
    std::string picture = makeClip(dir_, "long-picture.mp4", "25", 100, false);
    std::string clip = (dir_ / "short-sound.mp4").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i \"" + picture +
                           "\" -f lavfi -i \"sine=frequency=440:duration=1\" -c:v copy -c:a aac \"" + clip + "\"")
                              .c_str()),
              0);
    OpenedPlayer opened(clip);
    auto& player = opened.player;
    QWidget& window = opened.window;
    player->step(60);
    ASSERT_TRUE(player->waitUntilSettled(10000));
    player->play();
    pumpEvents(1000);
    player->pause();
    ASSERT_TRUE(player->waitUntilSettled(5000));
    EXPECT_GT(player->position(), 70);
    EXPECT_EQ(shownFrame(window), player->position());
}

TEST_F(MediaPlayerTest, BadFilesFailToOpenAndClosedPlayersRefuse)
{
    auto player = createMediaPlayer(false);
    EXPECT_NO_THROW(player->close());
    EXPECT_NO_THROW(player->close());
    EXPECT_EQ(player->position(), 0);
    EXPECT_THROW(player->play(), MediaError);
    EXPECT_THROW(player->step(1), MediaError);
    EXPECT_THROW(player->length(), MediaError);

    player->setFileName((dir_ / "does-not-exist.avi").string());
    EXPECT_THROW(player->open(), MediaError);
    EXPECT_FALSE(player->isOpen());

    auto text = dir_ / "notes.avi";
    std::ofstream(text) << "00:00:01,000 --> 00:00:02,000\nthis is not a film\n";
    player->setFileName(text.string());
    EXPECT_THROW(player->open(), MediaError);

    // still usable afterwards
    player->setFileName(stepClip_);
    ASSERT_NO_THROW(player->open());
    EXPECT_EQ(player->length(), 300);
    player->close();
    player->close();
}

TEST_F(MediaPlayerTest, SoundOnlyOpensAndDoesNotStep)
{
    auto wav = (dir_ / "sound.wav").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=300:duration=2 \"" + wav + "\"").c_str()), 0);
    auto player = createMediaPlayer(false);
    player->setFileName(wav);
    ASSERT_NO_THROW(player->open());
    player->setTimeFormat(MediaPlayer::TimeFormat::Milliseconds);
    EXPECT_NEAR(double(player->length()), 2000.0, 30.0);
    player->setTimeFormat(MediaPlayer::TimeFormat::Frames);
    EXPECT_EQ(player->length(), 0);
    EXPECT_NO_THROW(player->step(5));
    EXPECT_EQ(player->position(), 0);
    player->close();
}

TEST_F(MediaPlayerTest, PictureIsDrawnInsideTheDisplayRectangle)
{
    QWidget window;
    window.resize(700, 400);
    window.show();
    auto player = createMediaPlayer(false);
    player->setDisplayWindow(&window);
    player->setDisplayRect(QRect(100, 50, ClipWidth, ClipHeight));
    EXPECT_EQ(player->displayRect(), QRect(100, 50, ClipWidth, ClipHeight));
    player->setFileName(stepClip_);
    player->open();
    player->step(37);
    ASSERT_TRUE(player->waitUntilSettled(5000));
    QImage all = window.grab().toImage();
    if (qEnvironmentVariableIsSet("VT_SCREENSHOT_DIR"))
        all.save(qEnvironmentVariable("VT_SCREENSHOT_DIR") + QStringLiteral("/player-picture.png"));
    EXPECT_EQ(frameNumberIn(all.copy(100, 50, ClipWidth, ClipHeight)), 37);
    EXPECT_TRUE(showsPicture(all.copy(100, 50, ClipWidth, ClipHeight)));
}
