// The speech finder's own rules, on sound whose edges are exact: tone bursts
// in digital silence at every kind of rate the finder takes, heard by the
// plain energy gate (no detector needed here).
#include "analysis/SpeechSpans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

using namespace vt;

namespace {

// A fifth of a picture frame: the loudness windows and the high-pass's
// ringing blur a sharp edge by a few ms, every resampling alike.
constexpr int32_t EdgeToleranceMs = 8;

struct Burst {
    int32_t fromMs, toMs;
};

// A 440 Hz tone at -20 dBFS in the bursts, digital silence elsewhere, every
// channel alike.
std::vector<int16_t> bursts(const std::vector<Burst>& list, int32_t lengthMs, SoundFormat format)
{
    const int64_t frames = int64_t(lengthMs) * format.sampleRate / 1000;
    std::vector<int16_t> samples(size_t(frames * format.channels), 0);
    for (const Burst& b : list)
        for (int64_t i = int64_t(b.fromMs) * format.sampleRate / 1000; i < int64_t(b.toMs) * format.sampleRate / 1000;
             ++i) {
            const double t = double(i) / format.sampleRate;
            const auto s = int16_t(std::lround(3277 * std::sin(2 * std::numbers::pi * 440 * t)));
            for (int c = 0; c < format.channels; ++c)
                samples[size_t(i * format.channels + c)] = s;
        }
    return samples;
}

SpeechSpanList find(const std::vector<int16_t>& samples, SoundFormat format)
{
    SpeechFinder finder(format, nullptr);
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
        {"a knock of 80 ms is no speech", {{1500, 1580}}, {}},
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
