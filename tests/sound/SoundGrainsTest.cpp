// The sound under a frame stepped onto, played through ALSA's null device
// (real ALSA, which keeps the time a stream starts and throws the sound
// away): each grain must be the sound of its own frame, not of the one
// beside it, and start within 30 ms of the step.
#include "platform/SoundGrains.h"
#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;

namespace {

// Frame n of the clip sounds at 400 + 50 * (n mod 40) Hz.
double toneOf(int32_t frame)
{
    return 400.0 + 50.0 * (frame % 40);
}

// The power of samples (one channel of interleaved ones) at frequency.
double powerAt(const SoundGrains::Played& p, double frequency)
{
    const double w = 2.0 * M_PI * frequency / p.rate;
    double re = 0.0, im = 0.0;
    const size_t n = p.samples.size() / size_t(p.channels);
    for (size_t i = 0; i < n; ++i) {
        re += p.samples[i * p.channels] * std::cos(w * double(i));
        im += p.samples[i * p.channels] * std::sin(w * double(i));
    }
    return re * re + im * im;
}

}  // namespace

TEST(SoundGrains, EachStepPlaysItsOwnFramesSoundWithin30ms)
{
    if (!scratch::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    setenv("VELTRANA_SOUND_DEVICE", "null", 1);
    const fs::path dir = scratch::scratchDir("sound-grains");
    struct Clip {
        const char* name;
        const char* codec;
    } clips[] = {{"aac.mp4", "-c:a aac -b:a 128k"}, {"pcm.mkv", "-c:a pcm_s16le"}};
    for (const Clip& clip : clips) {
        const std::string path = (dir / clip.name).string();
        const std::string make =
            "ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x90:r=25:d=8 -f lavfi -i "
            "\"aevalsrc='0.5*sin(2*PI*(400+50*mod(floor(t*25),40))*t)':s=48000:d=8\" -c:v libx264 " +
            std::string(clip.codec) + " -shortest \"" + path + "\"";
        ASSERT_EQ(std::system(make.c_str()), 0);

        SoundGrains grains(path, 25.0);
        // the way the slowest stepping level goes: a step every 80 ms, either way
        std::mt19937 rng(5);
        std::uniform_int_distribution<int32_t> frames(2, 190);
        std::vector<double> latencies;
        for (int i = 0; i < 15; ++i) {
            const int32_t frame = frames(rng);
            grains.play(frame);
            SoundGrains::Played played;
            ASSERT_TRUE(grains.waitPlayed(frame, 2000, played)) << clip.name << " frame " << frame;
            EXPECT_EQ(played.samples.size(), size_t(played.rate * SoundGrains::GrainMs / 1000 * played.channels));
            // its own tone stands far above the tones of the frames either side
            const double own = powerAt(played, toneOf(frame));
            EXPECT_GT(own, 20.0 * powerAt(played, toneOf(frame - 1))) << clip.name << " frame " << frame;
            EXPECT_GT(own, 20.0 * powerAt(played, toneOf(frame + 1))) << clip.name << " frame " << frame;
            latencies.push_back(std::chrono::duration<double, std::milli>(played.started - played.asked).count());
            EXPECT_GE(latencies.back(), 0.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(80));
        }
        std::sort(latencies.begin(), latencies.end());
        EXPECT_LE(latencies[latencies.size() / 2], 30.0) << clip.name << ": median start after the step";
        RecordProperty(std::string(clip.name) + "_median_start_ms", std::to_string(latencies[latencies.size() / 2]));
    }
    fs::remove_all(dir);
}

TEST(SoundGrains, NoSoundOrNoDevicePlaysNothingAndDoesNotHang)
{
    if (!scratch::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = scratch::scratchDir("sound-grains-none");
    const std::string silent = (dir / "picture-only.mp4").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x90:r=25:d=1 -c:v libx264 \"" + silent +
                           "\"").c_str()),
              0);
    const std::string sound = (dir / "sound.mkv").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=d=1 -c:a pcm_s16le \"" + sound + "\"").c_str()), 0);
    struct Case {
        const char* name;
        std::string path;
        const char* device;
    } cases[] = {
        {"a film without sound", silent, "null"},
        {"no such device", sound, "hw:97,0"},
    };
    for (const Case& c : cases) {
        setenv("VELTRANA_SOUND_DEVICE", c.device, 1);
        SoundGrains grains(c.path, 25.0);
        grains.play(10);
        SoundGrains::Played played;
        EXPECT_FALSE(grains.waitPlayed(10, 2000, played)) << c.name;
    }
    fs::remove_all(dir);
}
