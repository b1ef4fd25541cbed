// Speech found in a film's dialogue: Mandarin sentences that espeak-ng
// speaks and ffmpeg lays under noise, heard by WebRTC's detector and by the
// plain energy gate, against the sentences' true edges.
#include "analysis/SpeechSpans.h"
#include "platform/VoiceActivity.h"
#include "tests/support/SpeechClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

using namespace vt;
namespace clips = vt::speechclips;
namespace fs = std::filesystem;

namespace {

enum class Detector { WebRtc, EnergyGate };

const char* nameOf(Detector d)
{
    return d == Detector::WebRtc ? "WebRTC" : "energy gate";
}

SpeechSpanList find(const clips::SpeechFilm& film, Detector detector, size_t pieceFrames = 4096)
{
    std::unique_ptr<VoiceDecider> decider;
    if (detector == Detector::WebRtc) {
        decider = openVoiceActivity();
        EXPECT_TRUE(decider) << "the library refused a detector";
    }
    SpeechFinder finder(film.format, std::move(decider));
    const size_t piece = pieceFrames * size_t(film.format.channels);
    for (size_t at = 0; at < film.samples.size(); at += piece)
        finder.add(std::span(film.samples).subspan(at, std::min(piece, film.samples.size() - at)));
    return finder.finish();
}

// Five lines, short and long, by four voices: one opens with a vowel, four
// with fricatives (the onsets noise hides first).
clips::SpeechFilm shortFilm(const fs::path& dir)
{
    std::vector<clips::Line> lines;
    for (size_t i : {1u, 3u, 6u, 10u, 11u})
        lines.push_back(clips::spoken(clips::sentences()[i], i));
    return clips::layOut(lines, 7, dir, 0.35, 1.5);
}

class SpeechSpansFilm : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!clips::haveSpeechTools())
            GTEST_SKIP() << "espeak-ng with its Mandarin voice, or ffmpeg, is not installed";
        dir = clips::scratchDir("speech-spans");
        film = shortFilm(dir);
        ASSERT_EQ(film.sentences.size(), 5u);
    }
    void TearDown() override
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }

    fs::path dir;
    clips::SpeechFilm film;  // 22.05 kHz mono, clean
};

}  // namespace

TEST_F(SpeechSpansFilm, EverySentenceToThePictureFrameCleanAndUnderNoise)
{
    struct Sound {
        const char* name;
        clips::SpeechFilm film;
    };
    const Sound sounds[] = {
        {"clean", clips::converted(film, 48000, 2, dir)},
        {"pink noise at 10 dB", clips::converted(clips::under(film, clips::Background::PinkNoise, 10), 48000, 2, dir)},
        {"brown noise at 10 dB", clips::converted(clips::under(film, clips::Background::BrownNoise, 10), 48000, 1, dir)},
    };
    for (const Sound& sound : sounds)
        for (Detector detector : {Detector::WebRtc, Detector::EnergyGate}) {
            SCOPED_TRACE(std::string(sound.name) + ", " + nameOf(detector));
            ASSERT_FALSE(sound.film.samples.empty());
            const SpeechSpanList found = find(sound.film, detector);
            const clips::Score score = clips::score(found, sound.film.sentences);
            EXPECT_EQ(score.missed, 0);
            EXPECT_EQ(score.onsetsWithin, 5) << "onsets off by (ms): " << testing::PrintToString(score.onsetErrors);
            EXPECT_EQ(score.onsetsLate, 0) << "onsets off by (ms): " << testing::PrintToString(score.onsetErrors);
            EXPECT_EQ(score.endsWithin, 5) << "ends off by (ms): " << testing::PrintToString(score.endErrors);
            EXPECT_EQ(score.inSilence, 0);
            EXPECT_EQ(score.bridging, 0);
            EXPECT_EQ(score.spans, 5) << "one span a sentence";
        }
}

// Film music as loud as the dialogue: WebRTC hears a voice in its notes
// throughout, and without looking at how broadly the spectrum rises the
// whole film was one span. (The energy gate is not asked: under music it
// has nothing to go by.)
TEST_F(SpeechSpansFilm, SentencesUnderMusicAsLoudAsThemselves)
{
    const clips::SpeechFilm loud = clips::converted(clips::under(film, clips::Background::Music, 0), 48000, 2, dir);
    ASSERT_FALSE(loud.samples.empty());
    const clips::Score score = clips::score(find(loud, Detector::WebRtc), loud.sentences);
    EXPECT_EQ(score.missed, 0);
    EXPECT_EQ(score.inSilence, 0);
    EXPECT_EQ(score.bridging, 0);
    EXPECT_EQ(score.spans, 5) << "one span a sentence";
    EXPECT_GE(score.onsetsWithin, 4) << "onsets off by (ms): " << testing::PrintToString(score.onsetErrors);
    EXPECT_EQ(score.onsetsLate, 0) << "onsets off by (ms): " << testing::PrintToString(score.onsetErrors);
    EXPECT_GE(score.endsWithin, 4) << "ends off by (ms): " << testing::PrintToString(score.endErrors);
}

TEST_F(SpeechSpansFilm, NothingWithoutSpeech)
{
    const int32_t seconds = 12;
    clips::SpeechFilm silence;
    silence.format = SoundFormat{1, 48000};
    silence.samples.assign(size_t(seconds * 48000), 0);
    // the noise as loud as under the film at 10 dB
    auto alone = [&](clips::Background kind) {
        return clips::converted(clips::backgroundOf(film, kind, 10), 44100, 2, dir);
    };
    struct Sound {
        const char* name;
        clips::SpeechFilm film;
    };
    // a knock of 150 ms at 3 s, the noise 20 dB louder for that long: shorter than any word
    auto knocked = [](clips::SpeechFilm sound) {
        const int64_t from = 3 * int64_t(sound.format.sampleRate), to = from + sound.format.sampleRate * 15 / 100;
        for (int64_t i = from * sound.format.channels; i < to * sound.format.channels; ++i)
            sound.samples[size_t(i)] = int16_t(std::clamp(sound.samples[size_t(i)] * 10, -32768, 32767));
        return sound;
    };
    const Sound sounds[] = {
        {"digital silence", silence},
        {"pink noise", alone(clips::Background::PinkNoise)},
        {"brown noise", alone(clips::Background::BrownNoise)},
        {"a knock in pink noise", knocked(alone(clips::Background::PinkNoise))},
    };
    for (const Sound& sound : sounds)
        for (Detector detector : {Detector::WebRtc, Detector::EnergyGate}) {
            SCOPED_TRACE(std::string(sound.name) + ", " + nameOf(detector));
            ASSERT_FALSE(sound.film.samples.empty());
            EXPECT_EQ(find(sound.film, detector), SpeechSpanList{});
        }
    // chords changing every two seconds, struck twice a second, as loud as the dialogue
    const clips::SpeechFilm music = clips::converted(clips::backgroundOf(film, clips::Background::Music, 0), 48000, 2, dir);
    ASSERT_FALSE(music.samples.empty());
    EXPECT_EQ(find(music, Detector::WebRtc), SpeechSpanList{}) << "music alone";
}

// What a decoder hands over depends on the file: the rate, the channels and
// the size of each piece must not move the spans.
TEST_F(SpeechSpansFilm, SameSpansAt44100StereoAnd48000MonoInUnevenPieces)
{
    const clips::SpeechFilm noisy = clips::under(film, clips::Background::PinkNoise, 10);
    const clips::SpeechFilm cd = clips::converted(noisy, 44100, 2, dir);
    const clips::SpeechFilm dvd = clips::converted(noisy, 48000, 1, dir);
    ASSERT_FALSE(cd.samples.empty());
    ASSERT_FALSE(dvd.samples.empty());
    for (Detector detector : {Detector::WebRtc, Detector::EnergyGate}) {
        SCOPED_TRACE(nameOf(detector));
        const SpeechSpanList a = find(cd, detector, 1);
        const SpeechSpanList b = find(dvd, detector, 4093);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_EQ(a.size(), 5u);
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_NEAR(a[i].StartMs, b[i].StartMs, 5);
            EXPECT_NEAR(a[i].EndMs, b[i].EndMs, 5);
        }
    }
}
