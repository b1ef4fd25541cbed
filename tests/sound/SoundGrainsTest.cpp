// The sound under a frame stepped onto, played through ALSA's null device
// (real ALSA, which keeps the time a stream starts and throws the sound
// away) and through a test card that plays by the clock: each grain must be
// the sound of its own frame, not of the one beside it, fade in and out,
// start within 30 ms of the step, and be cut short by the next step.
#include "platform/SoundGrains.h"
#include "tests/support/ClockedSoundCard.h"
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

// Frame n of the clips sounds at 400 + 50 * (n mod 40) Hz at half of full
// scale, the phase running on from the film's start, where it is 1 (so that
// no frame starts on a zero).
const std::string Tone = "0.5*sin(2*PI*(400+50*mod(floor(t*25),40))*t+1)";

double toneOf(int32_t frame)
{
    return 400.0 + 50.0 * (frame % 40);
}

// Sample k of a clip's tone at 48 kHz, as ffmpeg stores it in 16 bits.
double toneSample(int64_t k)
{
    const double t = double(k) / 48000;
    return 0.5 * 32768 * std::sin(2 * M_PI * toneOf(int32_t(k / 1920)) * t + 1);
}

// The power of one channel of the grain at frequency.
double powerAt(const SoundGrains::Played& p, int channel, double frequency)
{
    const double w = 2.0 * M_PI * frequency / p.rate;
    double re = 0.0, im = 0.0;
    const size_t n = p.samples.size() / size_t(p.channels);
    for (size_t i = 0; i < n; ++i) {
        re += p.samples[i * p.channels + channel] * std::cos(w * double(i));
        im += p.samples[i * p.channels + channel] * std::sin(w * double(i));
    }
    return re * re + im * im;
}

struct Clip {
    const char* name;
    const char* file;
    std::string sound;  // the tone on each channel, as aevalsrc takes it
    const char* layout;
    const char* codec;
    int channels;       // played
    bool exact;         // stored without loss, and stamped to the sample: the grain is the film's samples
};

// Eight seconds of a grey picture over the tone.
std::string makeClip(const fs::path& dir, const Clip& clip)
{
    const std::string path = (dir / clip.file).string();
    const std::string make = "ffmpeg -v error -y -f lavfi -i color=c=gray:s=64x48:r=25:d=8 -f lavfi -i \"aevalsrc='" +
                             clip.sound + "'" + clip.layout + ":s=48000:d=8\" -c:v libx264 -preset ultrafast " + clip.codec +
                             " -shortest \"" + path + "\" >/dev/null 2>&1";
    return std::system(make.c_str()) == 0 ? path : std::string();
}

const Clip Clips[] = {
    {"AAC in MP4", "aac.mp4", Tone, "", "-c:a aac -b:a 128k", 1, false},
    {"PCM in QuickTime, stamped to the sample", "pcm.mov", Tone, "", "-c:a pcm_s16le", 1, true},
    {"PCM in Matroska, stamped to the ms", "pcm.mkv", Tone, "", "-c:a pcm_s16le", 1, false},
    {"MP2 in MPEG-TS, whose clock starts at 1.4 s", "late.ts", Tone + "|" + Tone, "", "-c:a mp2 -b:a 256k", 2, false},
    {"5.1 AC-3, the tone in the centre", "surround.mkv", "0|0|" + Tone + "|0|0|0", ":c=5.1", "-c:a ac3 -b:a 448k", 2,
     false},
};

}  // namespace

TEST(SoundGrains, EachStepPlaysItsOwnFramesSoundWithin30ms)
{
    if (!scratch::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    setenv("VELTRANA_SOUND_DEVICE", "null", 1);
    const fs::path dir = scratch::scratchDir("sound-grains");
    for (const Clip& clip : Clips) {
        SCOPED_TRACE(clip.name);
        const std::string path = makeClip(dir, clip);
        ASSERT_FALSE(path.empty()) << "ffmpeg could not make the clip";

        SoundGrains grains(path, 25.0);
        // the way the slowest stepping level goes: a step every 80 ms, either way
        std::mt19937 rng(5);
        std::uniform_int_distribution<int32_t> frames(2, 190);
        std::vector<double> latencies;
        for (int i = 0; i < 12; ++i) {
            const int32_t frame = frames(rng);
            SCOPED_TRACE("frame " + std::to_string(frame));
            grains.play(frame);
            SoundGrains::Played played;
            ASSERT_TRUE(grains.waitPlayed(frame, 2000, played));
            // at most two channels, as the film is heard from the editor
            ASSERT_EQ(played.channels, clip.channels);
            ASSERT_EQ(played.rate, 48000);
            const size_t count = size_t(played.rate * SoundGrains::GrainMs / 1000);
            ASSERT_EQ(played.samples.size(), count * size_t(played.channels));
            for (int c = 0; c < played.channels; ++c) {
                // its own tone stands far above the tones of the frames either side
                const double own = powerAt(played, c, toneOf(frame));
                EXPECT_GT(own, 20.0 * powerAt(played, c, toneOf(frame - 1))) << "channel " << c;
                EXPECT_GT(own, 20.0 * powerAt(played, c, toneOf(frame + 1))) << "channel " << c;
                // it rises from silence and falls back to it: cut from the film's sound, it does not click
                EXPECT_EQ(played.samples[size_t(c)], 0) << "channel " << c;
                EXPECT_EQ(played.samples[(count - 1) * size_t(played.channels) + size_t(c)], 0) << "channel " << c;
            }
            if (clip.exact) {
                // past the 2 ms of its fades, the grain is the film's sound from the frame's first sample
                int worst = 0;
                for (size_t i = 96; i < count - 96; ++i)
                    worst = std::max(worst, int(std::abs(played.samples[i] - toneSample(int64_t(frame) * 1920 + int64_t(i)))));
                EXPECT_LE(worst, 2) << "the largest difference from the film's sound";
            }
            latencies.push_back(std::chrono::duration<double, std::milli>(played.started - played.asked).count());
            EXPECT_GE(latencies.back(), 0.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(80));
        }
        std::sort(latencies.begin(), latencies.end());
        EXPECT_LE(latencies[latencies.size() / 2], 30.0) << "median start after the step";
        RecordProperty(std::string(clip.file) + "_median_start_ms", std::to_string(latencies[latencies.size() / 2]));
    }
    unsetenv("VELTRANA_SOUND_DEVICE");
    fs::remove_all(dir);
}

// A frame asked for again while its grain is being made (the user stepped
// off it and back) plays again: the grain that answers is the last asking's.
TEST(SoundGrains, TheSameFrameAskedAgainPlaysAgain)
{
    if (!scratch::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    setenv("VELTRANA_SOUND_DEVICE", "null", 1);
    const fs::path dir = scratch::scratchDir("sound-grains-again");
    const std::string path = makeClip(dir, Clips[4]);
    ASSERT_FALSE(path.empty());
    SoundGrains grains(path, 25.0);
    // A grain is made in a few tenths of a millisecond: the second asking
    // comes 0 to 1 ms after the first, in steps of 25 us (the test's thread
    // sleeps meanwhile, so the grains' thread has a processor), so that some
    // land before the first is taken up, some while it is made, some after.
    for (int i = 0; i <= 40; ++i) {
        const int32_t frame = 60 + i;
        SCOPED_TRACE("frame " + std::to_string(frame) + " asked again after " + std::to_string(25 * i) + " us");
        grains.play(frame);
        std::this_thread::sleep_for(std::chrono::microseconds(25 * i));
        const auto again = std::chrono::steady_clock::now();
        grains.play(frame);
        SoundGrains::Played played;
        ASSERT_TRUE(grains.waitPlayed(frame, 2000, played));
        EXPECT_GE(played.asked, again) << "the grain that answered was the first asking's";
    }
    unsetenv("VELTRANA_SOUND_DEVICE");
    fs::remove_all(dir);
}

// Stepping faster than a grain lasts, each grain is cut short by the next,
// which starts at once; the last is heard in full. The card plays by the
// clock, as a real one does.
TEST(SoundGrains, ANewStepCutsTheGrainStillPlayingShort)
{
    if (!scratch::haveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    const fs::path dir = scratch::scratchDir("sound-grains-cut");
    const std::string path = makeClip(dir, Clips[1]);
    ASSERT_FALSE(path.empty());
    const fs::path heard = dir / "heard.raw";
    setenv("VELTRANA_SOUND_DEVICE", clockedcard::use(dir, heard).c_str(), 1);
    constexpr int Steps = 10;
    std::vector<double> latencies;
    {
        SoundGrains grains(path, 25.0);
        for (int32_t frame = 50; frame < 50 + Steps; ++frame) {
            grains.play(frame);
            SoundGrains::Played played;
            ASSERT_TRUE(grains.waitPlayed(frame, 2000, played)) << "frame " << frame;
            latencies.push_back(std::chrono::duration<double, std::milli>(played.started - played.asked).count());
            EXPECT_GE(latencies.back(), 0.0) << "frame " << frame;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // the last grain plays out before the grains close
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    unsetenv("VELTRANA_SOUND_DEVICE");
    unsetenv("ALSA_CONFIG_PATH");

    const std::vector<long> stretches = clockedcard::stretches(heard);
    ASSERT_EQ(stretches.size(), size_t(Steps)) << "a stretch heard for each step";
    constexpr long Grain = 48000 * SoundGrains::GrainMs / 1000;
    EXPECT_EQ(stretches.back(), Grain) << "the last grain, heard in full";
    std::vector<long> cut(stretches.begin(), stretches.end() - 1);
    std::sort(cut.begin(), cut.end());
    EXPECT_LT(cut[cut.size() / 2], Grain * 2 / 3) << "the median grain before the last, in sample frames";
    std::sort(latencies.begin(), latencies.end());
    EXPECT_LE(latencies[latencies.size() / 2], 30.0) << "median start after the step";
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
    unsetenv("VELTRANA_SOUND_DEVICE");
    fs::remove_all(dir);
}
