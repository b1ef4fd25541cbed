// The speech finder's own rules, on sound whose edges are exact: tone bursts
// in digital silence at every kind of rate the finder takes, under a steady
// hiss and over music, heard by the plain energy gate or by a detector whose
// answers are known to the frame.
#include "analysis/SpeechSpans.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

using namespace vt;

namespace vt {
void PrintTo(const SpeechSpan& s, std::ostream* out)
{
    *out << "[" << s.StartMs << ", " << s.EndMs << ")";
}
}  // namespace vt

namespace {

// A fifth of a picture frame: the loudness windows and the high-pass's
// ringing blur a sharp edge by a few ms, every resampling alike.
constexpr int32_t EdgeToleranceMs = 8;

enum class Heard { Both, LeftOnly, RightOnly };

struct Burst {
    int32_t fromMs, toMs;
    double amplitude = 3277;  // -23 dBFS
    Heard channels = Heard::Both;
};

// The amplitude of a sine whose loudness is this many dB below full scale.
double sineAt(double dbfs)
{
    return 32768.0 * std::sqrt(2.0) * std::pow(10.0, dbfs / 20);
}

// What lies under the bursts, every channel alike.
enum class Under {
    Silence,
    Noise,  // white noise at -45 dBFS: a steady hiss
    Beats,  // a 500 Hz note struck twice a second and dying away, up to -40 dBFS: music, eventful
};

// A 440 Hz tone in the bursts over the background.
std::vector<int16_t> bursts(const std::vector<Burst>& list, int32_t lengthMs, SoundFormat format,
                            Under under = Under::Silence)
{
    const int64_t frames = int64_t(lengthMs) * format.sampleRate / 1000;
    std::vector<double> mixed(size_t(frames * format.channels), 0.0);
    std::mt19937 random(11);
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / format.sampleRate;
        double v = 0;
        if (under == Under::Noise)  // uniform, so its RMS is its reach over the square root of 3
            v = sineAt(-45) / std::sqrt(2.0) * std::sqrt(3.0) * (2.0 * double(random()) / 4294967295.0 - 1.0);
        else if (under == Under::Beats)
            v = sineAt(-40) * (0.35 + 0.65 * std::exp(-7 * std::fmod(t, 0.5))) * std::sin(2 * std::numbers::pi * 500 * t);
        for (int c = 0; c < format.channels; ++c)
            mixed[size_t(i * format.channels + c)] = v;
    }
    for (const Burst& b : list)
        for (int64_t i = int64_t(b.fromMs) * format.sampleRate / 1000; i < int64_t(b.toMs) * format.sampleRate / 1000;
             ++i) {
            const double t = double(i) / format.sampleRate;
            const double s = b.amplitude * std::sin(2 * std::numbers::pi * 440 * t);
            for (int c = 0; c < format.channels; ++c) {
                const bool here = format.channels == 1 || b.channels == Heard::Both ||
                                  (c == 0) == (b.channels == Heard::LeftOnly);
                if (here)
                    mixed[size_t(i * format.channels + c)] += s;
            }
        }
    std::vector<int16_t> samples(mixed.size());
    for (size_t i = 0; i < mixed.size(); ++i)
        samples[i] = int16_t(std::clamp(std::lround(mixed[i]), -32768L, 32767L));
    return samples;
}

// A detector as plain as one can be: it hears a voice in every 10 ms frame
// louder than -30 dBFS and, as detectors do, goes on hearing it for 100 ms
// after, so where it hears one is known to the frame. It has no spectrum to
// give.
class LoudFrames : public VoiceDecider {
public:
    static constexpr int32_t HangoverMs = 100;

    bool isSpeech(std::span<const int16_t, FrameSamples> frame) override
    {
        double power = 0;
        for (int16_t s : frame)
            power += double(s) * s;
        if (power / double(FrameSamples) > std::pow(sineAt(-30) / std::sqrt(2.0), 2))
            hangover_ = HangoverMs / 10;
        else if (hangover_ > 0)
            --hangover_;
        else
            return false;
        return true;
    }

private:
    int32_t hangover_ = 0;
};

SpeechSpanList find(const std::vector<int16_t>& samples, SoundFormat format,
                    std::unique_ptr<VoiceDecider> decider = nullptr)
{
    SpeechFinder finder(format, std::move(decider));
    // pieces of an odd size, so that no piece ends on a frame of the finder's
    const size_t piece = 1237 * size_t(format.channels);
    for (size_t at = 0; at < samples.size(); at += piece)
        finder.add(std::span(samples).subspan(at, std::min(piece, samples.size() - at)));
    return finder.finish();
}

}  // namespace

TEST(SpeechSpans, EdgesOfSoundInSilenceAtEveryRate)
{
    struct Case {
        const char* name;
        std::vector<Burst> sound;
        SpeechSpanList expected;
    };
    const Case cases[] = {
        {"one burst", {{1000, 2500}}, {{1000, 2500}}},
        {"a pause of 150 ms, as between words, is bridged", {{800, 1600}, {1750, 2400}}, {{800, 2400}}},
        {"a silence of 350 ms stays a gap", {{800, 1600}, {1950, 2600}}, {{800, 1600}, {1950, 2600}}},
        {"a silence of 250 ms stays a gap too", {{800, 1600}, {1850, 2600}}, {{800, 1600}, {1850, 2600}}},
        {"a knock of 80 ms is no speech", {{1500, 1580}}, {}},
        {"nor is a click of 150 ms", {{1500, 1650}}, {}},
        {"a word of 250 ms is", {{1500, 1750}}, {{1500, 1750}}},
        {"from the first sample, and up to the last", {{0, 600}, {2400, 3000}}, {{0, 600}, {2400, 3000}}},
    };
    const SoundFormat formats[] = {{1, 8000}, {2, 11025}, {2, 22050}, {1, 32000}, {2, 44100},
                                   {1, 48000}, {2, 96000}, {1, 192000}};
    for (const SoundFormat& format : formats)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(format.sampleRate) + " Hz, " +
                         std::to_string(format.channels) + " channel(s)");
            const SpeechSpanList found = find(bursts(c.sound, 3000, format), format);
            ASSERT_EQ(found.size(), c.expected.size());
            for (size_t i = 0; i < found.size(); ++i) {
                EXPECT_NEAR(found[i].StartMs, c.expected[i].StartMs, EdgeToleranceMs);
                EXPECT_NEAR(found[i].EndMs, c.expected[i].EndMs, EdgeToleranceMs);
            }
        }
}

TEST(SpeechSpans, SoundTooQuietForAVoiceIsNone)
{
    // -62 dBFS is as quiet as speech gets; a quieter hum in a digitally
    // silent pause must not become a line. Just above, little of the sound's
    // rise and fade is heard, and the rest is added: the span covers the tone
    // and up to 50 ms before and 120 ms after.
    struct Case {
        const char* name;
        double dbfs;
        bool heard;
    };
    const Case cases[] = {
        {"-66 dBFS", -66, false},
        {"-58 dBFS", -58, true},
    };
    for (const SoundFormat& format : {SoundFormat{1, 48000}, SoundFormat{2, 44100}})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(format.sampleRate) + " Hz");
            const SpeechSpanList found = find(bursts({{1000, 2500, sineAt(c.dbfs)}}, 3000, format), format);
            ASSERT_EQ(found.size(), c.heard ? 1u : 0u) << testing::PrintToString(found);
            if (c.heard) {
                EXPECT_GE(found[0].StartMs, 1000 - 50);
                EXPECT_LE(found[0].StartMs, 1000 + EdgeToleranceMs);
                EXPECT_GE(found[0].EndMs, 2500 - EdgeToleranceMs);
                EXPECT_LE(found[0].EndMs, 2500 + 120);
            }
        }
}

TEST(SpeechSpans, AVoiceInOneChannelOfStereoIsHeard)
{
    // a film mixed with the dialogue on one side only
    const SoundFormat format{2, 44100};
    for (Heard side : {Heard::LeftOnly, Heard::RightOnly}) {
        SCOPED_TRACE(side == Heard::LeftOnly ? "left" : "right");
        const SpeechSpanList found = find(bursts({{1000, 2500, 3277, side}}, 3000, format), format);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_NEAR(found[0].StartMs, 1000, EdgeToleranceMs);
        EXPECT_NEAR(found[0].EndMs, 2500, EdgeToleranceMs);
    }
}

// Under a steady hiss the sound shows where a voice starts and ends, and the
// part of its rise and fade the hiss hides is added (so the edges move out,
// at most 50 ms before and 120 ms after, besides the 20 ms by which the 40 ms
// loudness window blurs a faint edge); but never before the sound's first
// sample or after its last, and a click stays a click.
TEST(SpeechSpans, UnderSteadyNoise)
{
    struct Case {
        const char* name;
        std::vector<Burst> sound;
        SpeechSpanList expected;
        int32_t earlierBy = 0;  // how much earlier a span may start than its sound, at most
        int32_t laterBy = 0;    // how much later it may end
    };
    const Case cases[] = {
        {"a word", {{1000, 2500}}, {{1000, 2500}}, 50 + 20, 120 + 20},
        {"a quiet word, a few dB above the hiss", {{1000, 2500, sineAt(-43)}}, {{1000, 2500}}, 50 + 20, 120 + 20},
        {"a click of 150 ms", {{1500, 1650}}, {}},
        {"from the first sample", {{0, 800}}, {{0, 800}}, 0, 120},
        {"up to the last sample", {{2200, 3000}}, {{2200, 3000}}, 50, 0},
    };
    for (const SoundFormat& format : {SoundFormat{1, 48000}, SoundFormat{2, 22050}})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(format.sampleRate) + " Hz");
            const SpeechSpanList found = find(bursts(c.sound, 3000, format, Under::Noise), format);
            ASSERT_EQ(found.size(), c.expected.size()) << testing::PrintToString(found);
            for (size_t i = 0; i < found.size(); ++i) {
                EXPECT_GE(found[i].StartMs, c.expected[i].StartMs - c.earlierBy);
                EXPECT_LE(found[i].StartMs, c.expected[i].StartMs + EdgeToleranceMs);
                EXPECT_GE(found[i].EndMs, c.expected[i].EndMs - EdgeToleranceMs);
                EXPECT_LE(found[i].EndMs, c.expected[i].EndMs + c.laterBy);
            }
        }
}

// Over music the sound shows no edge a voice could be told by, so the
// detector's frames stand as they are, its hangover too; over a steady hiss
// the same detector's stretch takes its edges from the sound.
TEST(SpeechSpans, OverMusicTheDetectorsFramesStand)
{
    constexpr int32_t After = LoudFrames::HangoverMs;
    struct Case {
        const char* name;
        Under under;
        std::vector<Burst> sound;
        SpeechSpanList expected;  // to the millisecond over music
    };
    // (the lines end between two beats: a beat struck in the detector's
    // hangover would be the last loud moment the stretch's sound shows)
    const Case cases[] = {
        {"a line over music", Under::Beats, {{1000, 2500}}, {{1000, 2500 + After}}},
        {"two lines over music", Under::Beats, {{800, 1600}, {2100, 3200}}, {{800, 1600 + After}, {2100, 3200 + After}}},
        {"a knock over music", Under::Beats, {{1500, 1580}}, {}},
        {"a line under hiss", Under::Noise, {{1000, 2500}}, {{1000, 2500}}},
    };
    for (const SoundFormat& format : {SoundFormat{2, 48000}, SoundFormat{1, 44100}})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(format.sampleRate) + " Hz");
            const SpeechSpanList found =
                find(bursts(c.sound, 6000, format, c.under), format, std::make_unique<LoudFrames>());
            ASSERT_EQ(found.size(), c.expected.size()) << testing::PrintToString(found);
            for (size_t i = 0; i < found.size(); ++i) {
                if (c.under == Under::Beats) {
                    EXPECT_EQ(found[i], c.expected[i]);
                } else {
                    // what the hiss hides of the tone's rise and fade added, as without a detector
                    EXPECT_LT(found[i].StartMs, c.expected[i].StartMs - 5);
                    EXPECT_GE(found[i].StartMs, c.expected[i].StartMs - 50);
                    EXPECT_GT(found[i].EndMs, c.expected[i].EndMs + 5);
                    EXPECT_LE(found[i].EndMs, c.expected[i].EndMs + 120);
                }
            }
        }
}
