#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"

#include "tests/support/Events.h"
#include "tests/support/OpenedPlayer.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

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

// The sound under a frame, as the editor's player plays it: only a single
// frame's step while nothing plays sounds, and what sounds is that frame's.
// ALSA's file device keeps every grain as it was handed to the output.
TEST_F(MediaPlayerTest, ASingleFramesStepPlaysTheSoundUnderThatFrame)
{
    // frame n sounds at 400 + 50 * (n mod 40) Hz; its number is drawn along the top
    const std::string film = (dir_ / "tones.mp4").string();
    const std::string make =
        "ffmpeg -v error -y -f lavfi -i color=c=gray:s=480x270:r=25 -f lavfi -i "
        "\"aevalsrc='0.5*sin(2*PI*(400+50*mod(floor(t*25),40))*t)':s=48000:d=8\" "
        "-vf \"geq=lum='if(lt(Y\\,32)\\,if(bitand(N\\,pow(2\\,floor(X/32)))\\,235\\,16)\\,lum(X\\,Y))':cb=128:cr=128\" "
        "-frames:v 200 -c:v libx264 -preset ultrafast -g 250 -bf 3 -c:a aac -b:a 128k -shortest \"" + film + "\"";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const fs::path heard = dir_ / "heard.raw";
    setenv("VELTRANA_SOUND_DEVICE", ("file:FILE=" + heard.string() + ",FORMAT=raw").c_str(), 1);
    std::vector<int32_t> grains;
    {
        QWidget window;
        window.resize(ClipWidth, ClipHeight);
        window.show();
        auto player = createMediaPlayer(true);
        player->setDisplayWindow(&window);
        player->setFileName(film);
        player->open();
        // a seek (a click on the waveform), single frames either way, a jump
        // back, play, a single frame's step out of play; only the single
        // frames' steps while nothing plays sound
        const struct {
            int step;  // 0: play a while and pause
            bool whilePlaying;
            bool sounds;
        } moves[] = {{+120, false, false}, {+1, false, true}, {-1, false, true}, {-1, false, true},
                     {-40, false, false},  {+1, false, true}, {0, false, false},  {-1, false, true},
                     {+1, true, false},    {+1, false, true}};
        for (const auto& m : moves) {
            if (m.step == 0 || m.whilePlaying) {
                player->play();
                pumpEvents(300);
            }
            if (m.step == 0)
                player->pause();
            else
                player->step(m.step);
            ASSERT_TRUE(player->waitUntilSettled(10000));
            if (m.sounds)
                grains.push_back(int32_t(player->position()));
            EXPECT_EQ(shownFrame(window), player->position());
            pumpEvents(150);
        }
    }
    unsetenv("VELTRANA_SOUND_DEVICE");

    std::vector<int16_t> pcm(fs::exists(heard) ? fs::file_size(heard) / 2 : 0);
    std::ifstream(heard, std::ios::binary).read(reinterpret_cast<char*>(pcm.data()), std::streamsize(pcm.size() * 2));
    // mono at the film's rate, 40 ms a grain
    const size_t grain = 48000 * 40 / 1000;
    ASSERT_EQ(pcm.size(), grains.size() * grain) << "one grain for each single frame's step, and no other sound";
    auto power = [&](size_t from, double hz) {
        double re = 0, im = 0;
        for (size_t i = 0; i < grain; ++i) {
            re += pcm[from + i] * std::cos(2 * M_PI * hz * double(i) / 48000);
            im += pcm[from + i] * std::sin(2 * M_PI * hz * double(i) / 48000);
        }
        return re * re + im * im;
    };
    for (size_t g = 0; g < grains.size(); ++g) {
        const int32_t f = grains[g];
        const double own = power(g * grain, 400 + 50 * (f % 40));
        EXPECT_GT(own, 20 * power(g * grain, 400 + 50 * ((f + 39) % 40))) << "grain " << g << " of frame " << f;
        EXPECT_GT(own, 20 * power(g * grain, 400 + 50 * ((f + 1) % 40))) << "grain " << g << " of frame " << f;
    }
}
