// Speech spans: how well the energy gate and WebRTC's detector find the
// sentences of a synthesised film (72 Mandarin lines by four voices at five
// paces, 0.4-3 s silences, 48 kHz stereo), clean and under pink noise, brown
// noise and music at 10 dB and 0 dB; and how long the spans of 2 hours of
// 48 kHz stereo sound take on one core, decoding left out (the film fed over
// and over from memory).
//
//   bench_speech_spans                                 both
//   bench_speech_spans --benchmark_filter=none         the accuracy table only
#include "analysis/SpeechSpans.h"
#include "platform/VoiceActivity.h"
#include "tests/support/SpeechClips.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace clips = vt::speechclips;
namespace fs = std::filesystem;

namespace {

constexpr size_t Lines = 72;
// not one of the films the finder's constants were tuned on
constexpr uint32_t Seed = 20261208;
constexpr int32_t FilmRate = 48000;
constexpr int32_t FilmChannels = 2;
constexpr double TwoHours = 2 * 60 * 60;

clips::SpeechFilm gClean;  // 48 kHz stereo

enum class Detector { EnergyGate, WebRtc };

std::unique_ptr<vt::VoiceDecider> decider(Detector d)
{
    return d == Detector::WebRtc ? vt::openVoiceActivity() : nullptr;
}

vt::SpeechSpanList find(const clips::SpeechFilm& film, Detector d)
{
    vt::SpeechFinder finder(film.format, decider(d));
    // pieces of about 85 ms, as a decoder hands them over
    const size_t piece = 4096 * size_t(film.format.channels);
    for (size_t at = 0; at < film.samples.size(); at += piece)
        finder.add(std::span(film.samples).subspan(at, std::min(piece, film.samples.size() - at)));
    return finder.finish();
}

// The spans of two hours of sound, fed as the film over and over.
void BM_TwoHours(benchmark::State& state)
{
    const auto d = Detector(state.range(0));
    const int64_t wanted = int64_t(TwoHours * FilmRate) * FilmChannels;
    size_t spans = 0;
    for (auto _ : state) {
        vt::SpeechFinder finder(gClean.format, decider(d));
        const size_t piece = 4096 * FilmChannels;
        int64_t fed = 0;
        while (fed < wanted)
            for (size_t at = 0; at < gClean.samples.size() && fed < wanted; at += piece) {
                const size_t n = size_t(std::min<int64_t>(
                    int64_t(std::min(piece, gClean.samples.size() - at)), wanted - fed));
                finder.add(std::span(gClean.samples).subspan(at, n));
                fed += int64_t(n);
            }
        spans = finder.finish().size();
    }
    state.counters["spans"] = double(spans);
    state.counters["times_real_time"] = benchmark::Counter(TwoHours * double(state.iterations()),
                                                           benchmark::Counter::kIsRate);
    state.SetLabel(d == Detector::WebRtc ? "WebRTC" : "energy gate");
}
BENCHMARK(BM_TwoHours)
    ->ArgName("detector")
    ->Arg(int(Detector::EnergyGate))
    ->Arg(int(Detector::WebRtc))
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Repetitions(3);

struct Condition {
    const char* name;
    bool clean;
    clips::Background background;
    double snrDb;
};

int32_t percentile(std::vector<int32_t> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void accuracyTable(const clips::SpeechFilm& layout, const fs::path& dir)
{
    const Condition conditions[] = {
        {"clean", true, clips::Background::PinkNoise, 0},
        {"pink noise 10 dB", false, clips::Background::PinkNoise, 10},
        {"pink noise 0 dB", false, clips::Background::PinkNoise, 0},
        {"brown noise 10 dB", false, clips::Background::BrownNoise, 10},
        {"brown noise 0 dB", false, clips::Background::BrownNoise, 0},
        {"music 10 dB", false, clips::Background::Music, 10},
        {"music 0 dB", false, clips::Background::Music, 0},
    };
    std::printf("\n%zu sentences, %d s, %d Hz %d ch; onsets within %d ms (2 frames at 24 fps), ends within %d ms "
                "(3 frames)\n",
                layout.sentences.size(), layout.lengthMs() / 1000, FilmRate, FilmChannels, clips::OnsetToleranceMs,
                clips::EndToleranceMs);
    std::printf("| sound | detector | onsets within | ends within | spans in silences | bridged | missed | spans per "
                "sentence | onset error p10/p50/p90 ms | end error p10/p50/p90 ms |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Condition& c : conditions) {
        clips::SpeechFilm mixed = c.clean ? layout : clips::under(layout, c.background, c.snrDb, Seed);
        const clips::SpeechFilm film = clips::converted(mixed, FilmRate, FilmChannels, dir);
        if (film.samples.empty()) {
            std::printf("| %s | could not be made |\n", c.name);
            continue;
        }
        for (Detector d : {Detector::EnergyGate, Detector::WebRtc}) {
            const clips::Score s = clips::score(find(film, d), film.sentences);
            const double n = s.sentences;
            std::printf("| %s | %s | %.1f %% | %.1f %% | %d | %d | %d | %.2f | %d / %d / %d | %d / %d / %d |\n", c.name,
                        d == Detector::WebRtc ? "WebRTC" : "energy gate", 100.0 * s.onsetsWithin / n,
                        100.0 * s.endsWithin / n, s.inSilence, s.bridging, s.missed, s.spans / n,
                        percentile(s.onsetErrors, 0.1), percentile(s.onsetErrors, 0.5),
                        percentile(s.onsetErrors, 0.9), percentile(s.endErrors, 0.1),
                        percentile(s.endErrors, 0.5), percentile(s.endErrors, 0.9));
            std::fflush(stdout);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!clips::haveSpeechTools()) {
        std::fprintf(stderr, "espeak-ng (with its Mandarin voice) and ffmpeg are needed\n");
        return 1;
    }
    const fs::path dir = clips::scratchDir("speech-bench");
    const clips::SpeechFilm layout = clips::dialogue(Lines, Seed, dir);
    if (layout.samples.empty()) {
        std::fprintf(stderr, "cannot synthesise the film\n");
        return 1;
    }
    gClean = clips::converted(layout, FilmRate, FilmChannels, dir);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    accuracyTable(layout, dir);
    fs::remove_all(dir);
    return 0;
}
