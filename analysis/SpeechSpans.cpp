#include "analysis/SpeechSpans.h"

#include "analysis/SoundSignal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace vt {

namespace {

constexpr int32_t Rate = VoiceDecider::SampleRate;
constexpr int32_t FrameSamples = int32_t(VoiceDecider::FrameSamples);
constexpr int32_t SamplesPerMs = Rate / 1000;
constexpr int32_t FrameMs = FrameSamples / SamplesPerMs;

// ---- tuning, in the units a reader thinks in ----

// The background's level is a low percentile of the 50 ms loudness over 8 s
// centred on the moment: wide enough that a sentence spoken without a pause
// does not become its own background, low enough that a few quiet moments
// between words set it. Everything is settled this far behind the sound fed.
constexpr int32_t BackgroundHalfFrames = 400;
constexpr int32_t LoudnessAverageFrames = 5;
constexpr double BackgroundPercentile = 0.05;
// Sound this quiet is never speech, however quiet the background (a
// digitally silent pause would otherwise make the hiss of the next shot a
// voice).
constexpr float QuietestSpeechDb = -62.0f;

// The plain energy gate: speech where the 50 ms loudness around a frame
// stands this far above the background.
constexpr float GateAboveBackgroundDb = 3.0f;

// A detector's answers are joined across gaps this short before their edges
// are looked for in the sound; a stretch closes after them.
constexpr int32_t CoarseGapFrames = 10;
// A detector that hears speech for minutes on end (music as loud as the
// dialogue) is looked at in pieces this long, which join again, so that
// memory does not follow it.
constexpr int32_t LongestCoarseFrames = 3000;

// Edges are looked for this far before a stretch the detector heard (a weak
// consonant it missed) and after it (its own hangover, a fading vowel).
constexpr int32_t SearchBeforeMs = 150;
constexpr int32_t SearchAfterMs = 200;
// A millisecond is loud when the energy of the 5 ms around it stands
// ShortLoudDb above the background, or that of the 40 ms around it
// LongLoudDb: the short window places a clear edge to the millisecond, the
// long one hears a voice that noise as loud as itself covers.
constexpr int32_t ShortWindowMs = 5;
constexpr float ShortLoudDb = 6.0f;
constexpr int32_t LongWindowMs = 40;
constexpr float LongLoudDb = 3.0f;
// A background is steady when, in the frames the detector hears no speech
// in (nor in the FadeFrames before, where a voice dies away), the loudest
// tenth and the quietest tenth of the 50 ms loudness lie this close: noise
// 1-2 dB, the beats of music 6-8 dB. With fewer such frames in the window
// than SteadyFromFrames there is nothing to tell by, and it counts as steady.
constexpr double SteadyPercentile = 0.9;
constexpr float SteadyWithinDb = 4.0f;
constexpr int32_t FadeFrames = 30;
constexpr int32_t SteadyFromFrames = 50;
// Loud moments closer than this are one sound; a sound shorter than
// FineShortestMs is a flicker of the background.
constexpr int32_t FineGapMs = 40;
constexpr int32_t FineShortestMs = 30;

// What noise hides of a sound's first and last moments: a voice rises and
// fades by about so many ms per dB, and the part of that slope below what is
// heard, down to HiddenDepthDb under the sound's level, is there, only not
// heard. So an edge heard only so deep into the slope is moved out by the
// missing part, at most by the Max.
constexpr float HiddenDepthDb = 30.0f;
constexpr float OnsetMsPerDb = 1.5f;
constexpr int32_t OnsetMaxMs = 50;
constexpr float EndMsPerDb = 4.0f;
constexpr int32_t EndMaxMs = 120;

// A voice covers much of the spectrum at once, for a syllable or longer;
// music's notes stand in a few narrow places, and its beats cover the
// spectrum for a frame or two. Where the background is eventful (music,
// where the detector may hear speech throughout), a frame the detector
// hears counts as speech only when, in most of the BroadFrames around it,
// RaisedBandsForSpeech of these bands (a third of an octave wide or so, from
// a voice's first formants up to what 16 kHz keeps) stand RaisedDb above
// their background. A band's background is the higher of a low percentile
// of its level over the last BandWindowFrames and its lowest level over the
// last NoteFrames: a held note becomes the background of its band within
// that time, a voice's syllables keep dipping below it. Looked up every
// BandRefreshFrames.
constexpr int SpectralBands = 16;
constexpr double LowestBandHz = 250.0;
constexpr double HighestBandHz = 7000.0;
constexpr float RaisedDb = 9.0f;
constexpr int RaisedBandsForSpeech = 4;
constexpr int32_t BroadFrames = 7;
constexpr int32_t BandWindowFrames = 800;
constexpr double BandPercentile = 0.1;
constexpr int32_t NoteFrames = 40;
constexpr int32_t BandRefreshFrames = 5;
// The spectrum of a frame is taken over this many samples centred on it.
constexpr int32_t SpectrumWindowSamples = 3 * FrameSamples;

// Pauses between words shorter than this are bridged; any longer silence
// stays a gap (a subtitle must be able to end in it).
constexpr int32_t BridgeMs = 200;
// Shorter stretches are clicks, knocks and breaths, not speech.
constexpr int32_t ShortestSpanMs = 200;

// The loudness looked at passes above this: hum and rumble, the
// low-frequency part of most film backgrounds, hold little of a voice.
constexpr double HighPassHz = 200.0;

// Mean square of 16-bit samples, for loudness in dB below full scale.
constexpr double FullScalePower = 32768.0 * 32768.0;

inline float dB(double power)
{
    return power > 1e-20 ? float(10.0 * std::log10(power)) : -200.0f;
}

// ---- loudness ----

// Loudness over a window of frames centred on one, kept as a histogram in
// half-dB steps, so that a frame costs the same however wide the window: the
// background's level at each frame is a low percentile of it. A frame can be
// left out (it stays in the window's count of frames, not in the histogram).
class LoudnessWindow {
public:
    static constexpr float LowestDb = -100.0f;
    static constexpr float StepDb = 0.5f;
    static constexpr int Bins = 240;
    static constexpr uint8_t Absent = 255;

    // The next frame's loudness; the window's centre is then the frame
    // BackgroundHalfFrames before it.
    void push(std::optional<float> loudnessDb)
    {
        const uint8_t bin =
            loudnessDb ? uint8_t(std::clamp(int((*loudnessDb - LowestDb) / StepDb), 0, Bins - 1)) : Absent;
        window_.push(bin);
        add(bin, +1);
        const int64_t oldest = window_.end() - 1 - 2 * BackgroundHalfFrames;
        if (oldest - 1 >= window_.begin())
            add(window_.at(oldest - 1), -1);
        window_.forgetBefore(oldest);
    }

    // Once the sound has ended, the centre moves on over the last frames
    // without new ones: the window's oldest frame leaves it.
    void dropOldest(int64_t frame)
    {
        if (frame >= window_.begin() && frame < window_.end())
            add(window_.at(frame), -1);
    }

    int counted() const { return total_; }

    // The loudness that `share` of the counted frames stay below.
    float percentile(double share) const
    {
        const int wanted = std::max(1, int(std::ceil(total_ * share)));
        int seen = 0;
        for (int b = 0; b < Bins; ++b) {
            seen += counts_[size_t(b)];
            if (seen >= wanted)
                return LowestDb + StepDb * (float(b) + 0.5f);
        }
        return LowestDb;
    }

private:
    void add(uint8_t bin, int n)
    {
        if (bin == Absent)
            return;
        counts_[bin] += n;
        total_ += n;
    }

    Trail<uint8_t> window_;
    std::array<int, Bins> counts_{};
    int total_ = 0;
};

// ---- how much of the spectrum stands above its background ----

// The bands' levels over the last BandWindowFrames frames, a histogram of
// whole dB per band, and how many bands of a frame stand above them.
class BandFloors {
public:
    static constexpr float LowestDb = -110.0f;
    static constexpr int Bins = 128;

    BandFloors()
    {
        // bin k of the spectrum is k * Rate / SpectrumSamples Hz
        const double binHz = double(Rate) / double(VoiceDecider::SpectrumSamples);
        for (int b = 0; b <= SpectralBands; ++b) {
            const double hz = LowestBandHz * std::pow(HighestBandHz / LowestBandHz, double(b) / SpectralBands);
            edges_[size_t(b)] = std::max(1, int(std::lround(hz / binHz)));
        }
        for (int b = 1; b <= SpectralBands; ++b)  // every band at least one bin wide
            edges_[size_t(b)] = std::max(edges_[size_t(b)], edges_[size_t(b - 1)] + 1);
        floors_.fill(LowestDb);
    }

    // The number of bands of this spectrum above their floors; the
    // spectrum then joins the window.
    int raised(std::span<const float, VoiceDecider::SpectrumBins> power)
    {
        std::array<uint8_t, SpectralBands> bins{};
        int count = 0;
        for (int b = 0; b < SpectralBands; ++b) {
            double sum = 0;
            for (int k = edges_[size_t(b)]; k < edges_[size_t(b + 1)]; ++k)
                sum += power[size_t(k)];
            const float level = dB(sum / bandFullScale_);
            count += level > floors_[size_t(b)] + RaisedDb;
            bins[size_t(b)] = uint8_t(std::clamp(int(level - LowestDb), 0, Bins - 1));
        }
        frames_.push_back(bins);
        for (int b = 0; b < SpectralBands; ++b)
            ++counts_[size_t(b)][bins[size_t(b)]];
        if (int32_t(frames_.size()) - head_ > BandWindowFrames) {
            for (int b = 0; b < SpectralBands; ++b)
                --counts_[size_t(b)][frames_[size_t(head_)][size_t(b)]];
            ++head_;
            if (head_ > 4096) {
                frames_.erase(frames_.begin(), frames_.begin() + head_);
                head_ = 0;
            }
        }
        if (++sinceRefresh_ >= BandRefreshFrames) {
            sinceRefresh_ = 0;
            refresh();
        }
        return count;
    }

    // The window's sum of squares: a full-scale sine through it has, by
    // Parseval, N * 32768^2 / 4 times that over the bins of one side.
    void setWindowPower(double sumOfSquares)
    {
        bandFullScale_ = double(VoiceDecider::SpectrumSamples) * 32768.0 * 32768.0 * sumOfSquares / 4;
    }

private:
    void refresh()
    {
        const int n = int(frames_.size()) - head_;
        const int wanted = std::max(1, int(std::ceil(n * BandPercentile)));
        for (int b = 0; b < SpectralBands; ++b) {
            int seen = 0;
            for (int k = 0; k < Bins; ++k) {
                seen += counts_[size_t(b)][size_t(k)];
                if (seen >= wanted) {
                    floors_[size_t(b)] = LowestDb + float(k) + 0.5f;
                    break;
                }
            }
            int lowest = Bins;
            for (int i = std::max(head_, int(frames_.size()) - NoteFrames); i < int(frames_.size()); ++i)
                lowest = std::min(lowest, int(frames_[size_t(i)][size_t(b)]));
            floors_[size_t(b)] = std::max(floors_[size_t(b)], LowestDb + float(lowest) + 0.5f);
        }
    }

    std::array<int, SpectralBands + 1> edges_{};
    std::vector<std::array<uint8_t, SpectralBands>> frames_;  // from head_ on, the window
    int32_t head_ = 0;
    std::array<std::array<int, Bins>, SpectralBands> counts_{};
    std::array<float, SpectralBands> floors_{};
    int sinceRefresh_ = 0;
    double bandFullScale_ = 1;
};

// ---- from frames to spans ----

struct Piece {
    int32_t start = 0, end = 0;  // ms
};

// A loud stretch as heard, and as it is taken to be once the parts of its
// rise and fade that the background hides are added.
struct Heard {
    Piece heard;
    Piece taken;
};

// The mean of the `width` values centred on each index (fewer at the
// ends), from a running sum.
std::vector<double> centredMeans(const std::vector<double>& values, int32_t width)
{
    std::vector<double> sums(values.size() + 1, 0.0);
    for (size_t i = 0; i < values.size(); ++i)
        sums[i + 1] = sums[i] + values[i];
    std::vector<double> means(values.size());
    const int64_t n = int64_t(values.size());
    for (int64_t i = 0; i < n; ++i) {
        const int64_t lo = std::max<int64_t>(0, i - width / 2), hi = std::min(n, i + width / 2 + 1);
        means[size_t(i)] = (sums[size_t(hi)] - sums[size_t(lo)]) / double(hi - lo);
    }
    return means;
}

}  // namespace

struct SpeechFinder::Parts {
    Parts(SoundFormat f, std::unique_ptr<VoiceDecider> d) : format(f), decider(std::move(d)), resampler(f.sampleRate, Rate)
    {
        window.resize(size_t(SpectrumWindowSamples));
        double windowPower = 0;
        for (int32_t i = 0; i < SpectrumWindowSamples; ++i) {
            window[size_t(i)] =
                float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / SpectrumWindowSamples));
            windowPower += double(window[size_t(i)]) * window[size_t(i)];
        }
        bands.setWindowPower(windowPower);
    }

    SoundFormat format;
    std::unique_ptr<VoiceDecider> decider;
    Resampler resampler;
    HighPass highPass{HighPassHz, Rate};
    LoudnessWindow loudness;    // every frame's
    LoudnessWindow unheard;     // the frames the detector hears no speech in

    std::vector<float> mono, resampled;  // scratch for one add()
    std::array<int16_t, VoiceDecider::FrameSamples> frame{};
    std::array<float, VoiceDecider::FrameSamples> frameFloat{};
    int32_t filled = 0;

    // The spectrum of a frame is centred on it, so a frame's answer is
    // settled when the next frame has come: until then it waits here.
    bool hasSpectrum = true;
    std::vector<float> recent = std::vector<float>(size_t(SpectrumWindowSamples), 0.0f);
    std::vector<float> window;  // Hann, SpectrumWindowSamples long
    std::array<float, VoiceDecider::SpectrumSamples> windowed{};
    std::array<float, VoiceDecider::SpectrumBins> power{};
    BandFloors bands;
    std::optional<bool> pendingAnswer;
    float pendingLoudnessDb = 0;
    int64_t samples16k = 0;  // 16 kHz samples of the sound itself, not the padding after it

    // per frame, from the frame's arrival
    Trail<uint8_t> heard;       // the detector's answer
    Trail<uint8_t> raised;      // how many bands stand above their background
    Trail<float> framePower;    // 10 ms mean square, of full scale
    std::array<double, LoudnessAverageFrames> lastPowers{};
    int64_t frames = 0;
    int64_t lastHeard = -1000000;  // the last frame the detector heard speech in
    // per frame, once the background around it is known
    Trail<float> backgroundDb;
    Trail<uint8_t> steady;      // whether the background is steady (noise) rather than eventful (music)
    // per ms
    Trail<float> msPower;

    // the coarse stretch being heard, in frames; open while runStart >= 0
    int64_t runStart = -1, runLast = -1;
    std::vector<Piece> waiting;  // coarse stretches, in ms, whose edges are not yet looked for
    std::vector<Heard> pieces;   // stretches with edges from the sound, being joined
    SpeechSpanList spans;

    void takeSamples(std::span<const float> samples);
    void takeFrame();
    int raisedBands();
    void settleAnswer(bool detectorHeard, int raised, float loudnessDb);
    bool broadAround(int64_t f) const;
    void settleBackground();
    void settleFrame(int64_t f);
    bool gateHears(int64_t f) const;
    void closeRun();
    void refineReady(bool ending);
    void refine(const Piece& coarse);
    void joinReady(int64_t settledBeforeMs);
    void finish();
};

void SpeechFinder::Parts::takeSamples(std::span<const float> samples)
{
    for (float s : samples) {
        frameFloat[size_t(filled)] = s;
        frame[size_t(filled)] = int16_t(std::clamp(std::lround(s), -32768L, 32767L));
        if (++filled == FrameSamples) {
            takeFrame();
            filled = 0;
        }
    }
}

void SpeechFinder::Parts::takeFrame()
{
    const bool answer =
        decider && decider->isSpeech(std::span<const int16_t, VoiceDecider::FrameSamples>(frame));
    std::copy(recent.begin() + FrameSamples, recent.end(), recent.begin());
    std::copy(frameFloat.begin(), frameFloat.end(), recent.end() - FrameSamples);
    // the samples now end one frame after the waiting frame: it stands at their centre
    if (pendingAnswer)
        settleAnswer(*pendingAnswer, raisedBands(), pendingLoudnessDb);

    double sum = 0;
    for (int32_t ms = 0; ms < FrameMs; ++ms) {
        double power = 0;
        for (int32_t i = 0; i < SamplesPerMs; ++i) {
            const float y = highPass(frameFloat[size_t(ms * SamplesPerMs + i)]);
            power += double(y) * y;
        }
        power /= SamplesPerMs * FullScalePower;
        msPower.push(float(power));
        sum += power;
    }
    framePower.push(float(sum / FrameMs));
    lastPowers[size_t(frames % LoudnessAverageFrames)] = sum / FrameMs;
    const double average = std::accumulate(lastPowers.begin(), lastPowers.end(), 0.0) /
                           double(std::min<int64_t>(frames + 1, LoudnessAverageFrames));
    loudness.push(dB(average));
    pendingAnswer = answer;
    pendingLoudnessDb = dB(average);
    ++frames;
    // the frame BackgroundHalfFrames back has its answer and its surroundings
    if (frames - 1 - BackgroundHalfFrames >= 0)
        settleBackground();
}

// How many bands of the spectrum around the waiting frame stand above
// their background (all of them, without a spectrum to tell by).
int SpeechFinder::Parts::raisedBands()
{
    if (!decider || !hasSpectrum)
        return SpectralBands;
    for (size_t i = 0; i < recent.size(); ++i)
        windowed[i] = recent[i] * window[i];
    if (!decider->spectrum(windowed, power)) {
        hasSpectrum = false;
        return SpectralBands;
    }
    return bands.raised(power);
}

// The waiting frame's answer, once its spectrum has been weighed.
void SpeechFinder::Parts::settleAnswer(bool detectorHeard, int raisedCount, float loudnessDb)
{
    const int64_t f = heard.end();
    heard.push(uint8_t(detectorHeard));
    raised.push(uint8_t(raisedCount));
    // the frames after f are not here yet: for the background, those before it tell as well
    const bool voice = detectorHeard && broadAround(f - BroadFrames / 2);
    if (voice)
        lastHeard = f;
    // a voice fades after the detector stops hearing it: those frames are not the background
    const bool background = decider && f - lastHeard > FadeFrames;
    unheard.push(background ? std::optional<float>(loudnessDb) : std::nullopt);
}

// Whether the spectrum stands above its background broadly for most of the
// frames around this one: a beat or a knock does for a frame or two, a
// syllable for many.
bool SpeechFinder::Parts::broadAround(int64_t f) const
{
    std::array<uint8_t, BroadFrames> counts{};
    int n = 0;
    for (int64_t g = std::max(f - BroadFrames / 2, raised.begin()); g <= f + BroadFrames / 2 && g < raised.end(); ++g)
        counts[size_t(n++)] = raised.at(g);
    std::nth_element(counts.begin(), counts.begin() + n / 2, counts.begin() + n);
    return counts[size_t(n / 2)] >= RaisedBandsForSpeech;
}

// The background at the centre of its window, and the frame there settled.
void SpeechFinder::Parts::settleBackground()
{
    backgroundDb.push(std::max(QuietestSpeechDb - ShortLoudDb, loudness.percentile(BackgroundPercentile)));
    steady.push(unheard.counted() < SteadyFromFrames ||
                unheard.percentile(SteadyPercentile) - unheard.percentile(1 - SteadyPercentile) <= SteadyWithinDb);
    settleFrame(backgroundDb.end() - 1);
}

bool SpeechFinder::Parts::gateHears(int64_t f) const
{
    // the 50 ms around the frame: steadier than 10 ms under noise
    double sum = 0;
    int n = 0;
    for (int64_t g = std::max(f - LoudnessAverageFrames / 2, framePower.begin());
         g <= f + LoudnessAverageFrames / 2 && g < framePower.end(); ++g, ++n)
        sum += framePower.at(g);
    return dB(sum / n) > backgroundDb.at(f) + GateAboveBackgroundDb;
}

void SpeechFinder::Parts::settleFrame(int64_t f)
{
    const bool speech = dB(framePower.at(f)) > QuietestSpeechDb &&
                        (decider ? heard.at(f) != 0 && (steady.at(f) || broadAround(f)) : gateHears(f));
    if (speech) {
        if (runStart >= 0 && f - runStart >= LongestCoarseFrames)
            closeRun();
        if (runStart < 0)
            runStart = f;
        runLast = f;
    } else if (runStart >= 0 && f - runLast > CoarseGapFrames) {
        closeRun();
    }
    refineReady(false);
}

void SpeechFinder::Parts::closeRun()
{
    waiting.push_back({int32_t(runStart * FrameMs), int32_t((runLast + 1) * FrameMs)});
    runStart = runLast = -1;
}

// Looks for the edges of the coarse stretches whose surroundings are known,
// joins what it can, and forgets what no stretch will look at again.
void SpeechFinder::Parts::refineReady(bool ending)
{
    const int64_t knownMs = backgroundDb.end() * FrameMs;
    size_t done = 0;
    while (done < waiting.size() && (ending || waiting[done].end + SearchAfterMs + LongWindowMs < knownMs))
        refine(waiting[done++]);
    waiting.erase(waiting.begin(), waiting.begin() + ptrdiff_t(done));

    // nothing found from now on is heard before this
    int64_t earliest = knownMs;
    if (!waiting.empty())
        earliest = waiting.front().start;
    else if (runStart >= 0)
        earliest = runStart * FrameMs;
    earliest -= SearchBeforeMs;
    joinReady(ending ? std::numeric_limits<int64_t>::max() : earliest);

    const int64_t keepMs = std::max<int64_t>(0, earliest - LongWindowMs);
    msPower.forgetBefore(keepMs);
    backgroundDb.forgetBefore(keepMs / FrameMs);
    steady.forgetBefore(keepMs / FrameMs);
    framePower.forgetBefore(keepMs / FrameMs - LoudnessAverageFrames);
    heard.forgetBefore(keepMs / FrameMs);
    raised.forgetBefore(keepMs / FrameMs - BroadFrames);
}

// The coarse stretch's loud moments, at 1 ms, in the sound's own energy.
void SpeechFinder::Parts::refine(const Piece& coarse)
{
    // Over a steady background (noise) the sound shows where a voice starts
    // and ends; over an eventful one (music, traffic) it does not, and there
    // the detector's edge stands.
    auto steadyAt = [&](int32_t ms) {
        return steady.at(std::clamp<int64_t>(ms / FrameMs, steady.begin(), steady.end() - 1)) != 0;
    };
    const bool steadyBefore = steadyAt(coarse.start), steadyAfter = steadyAt(coarse.end - 1);
    const int64_t windowStart = int64_t(coarse.start) - (steadyBefore ? SearchBeforeMs : 0);
    const int64_t windowEnd = int64_t(coarse.end) + (steadyAfter ? SearchAfterMs : 0);
    const int64_t from = std::max<int64_t>({0, windowStart, msPower.begin()});
    const int64_t to = std::min<int64_t>(windowEnd, backgroundDb.end() * FrameMs);

    // the energies around every ms looked at, in a short and a long window
    const int64_t base = std::max(msPower.begin(), from - LongWindowMs);
    const int64_t limit = std::min(msPower.end(), to + LongWindowMs);
    std::vector<double> power;
    for (int64_t t = base; t < limit; ++t)
        power.push_back(msPower.at(t));
    const std::vector<double> shortMeans = centredMeans(power, ShortWindowMs);
    const std::vector<double> longMeans = centredMeans(power, LongWindowMs);
    auto loud = [&](int64_t t) {
        const float floor = backgroundDb.at(t / FrameMs);
        const float shortDb = dB(shortMeans[size_t(t - base)]), longDb = dB(longMeans[size_t(t - base)]);
        // the long window reaches a clear edge before the sound does: it
        // counts only where the moment itself stands out of the background
        return std::max(shortDb, longDb) > QuietestSpeechDb &&
               (shortDb > floor + ShortLoudDb || (longDb > floor + LongLoudDb && shortDb > floor));
    };

    // loud runs, joined across short dips
    struct Run {
        Piece piece;
        double power = 0;  // summed over its loud ms
        int32_t loudMs = 0;
    };
    std::vector<Run> runs;
    for (int64_t t = from; t < to; ++t) {
        if (!loud(t))
            continue;
        if (runs.empty() || t - runs.back().piece.end > FineGapMs)
            runs.push_back({{int32_t(t), int32_t(t)}});
        Run& run = runs.back();
        run.piece.end = int32_t(t + 1);
        run.power += power[size_t(t - base)];
        ++run.loudMs;
    }
    if (runs.empty())
        return;
    // Where the sound shows no edge (the background is eventful, or a loud
    // stretch runs on past the window), the detector's edge stands.
    Piece& first = runs.front().piece;
    if (!steadyBefore || (first.start <= windowStart + FineGapMs && windowStart > 0))
        first.start = coarse.start;
    Piece& last = runs.back().piece;
    if (!steadyAfter || last.end >= windowEnd - FineGapMs)
        last.end = coarse.end;

    for (const Run& r : runs) {
        const Piece& p = r.piece;
        if (p.end - p.start < FineShortestMs || p.end <= coarse.start || p.start >= coarse.end)
            continue;
        // how deep into its rise and fade the sound is heard; the rest of the slope is hidden
        const float level = dB(r.power / r.loudMs);
        auto hidden = [&](int32_t t, float msPerDb, int32_t maxMs) {
            const float heardDb = level - std::max(backgroundDb.at(t / FrameMs) + ShortLoudDb, QuietestSpeechDb);
            return std::clamp(int32_t((HiddenDepthDb - heardDb) * msPerDb), 0, maxMs);
        };
        const int32_t lead = steadyBefore ? hidden(p.start, OnsetMsPerDb, OnsetMaxMs) : 0;
        const int32_t tail = steadyAfter ? hidden(p.end - 1, EndMsPerDb, EndMaxMs) : 0;
        pieces.push_back({p, {std::max(0, p.start - lead), p.end + tail}});
    }
}

// Joins the stretches across short pauses and hands over the spans that no
// later stretch can reach any more.
void SpeechFinder::Parts::joinReady(int64_t settledBeforeMs)
{
    std::sort(pieces.begin(), pieces.end(),
              [](const Heard& a, const Heard& b) { return a.taken.start < b.taken.start; });
    size_t used = 0;
    while (used < pieces.size()) {
        Piece span = pieces[used].taken;
        const int32_t heardFrom = pieces[used].heard.start;
        int32_t heardTo = pieces[used].heard.end;
        size_t next = used + 1;
        while (next < pieces.size() && pieces[next].taken.start - span.end < BridgeMs) {
            span.end = std::max(span.end, pieces[next].taken.end);
            heardTo = std::max(heardTo, pieces[next].heard.end);
            ++next;
        }
        // a stretch still to come is heard after settledBeforeMs, its hidden rise before that
        if (span.end + BridgeMs + OnsetMaxMs > settledBeforeMs)
            break;
        if (heardTo - heardFrom >= ShortestSpanMs)
            spans.push_back({span.start, span.end});
        used = next;
    }
    pieces.erase(pieces.begin(), pieces.begin() + ptrdiff_t(used));
}

void SpeechFinder::Parts::finish()
{
    std::vector<float> rest;
    resampler.finish(rest);
    samples16k += int64_t(rest.size());
    takeSamples(rest);
    if (filled > 0) {
        const std::vector<float> silence(size_t(FrameSamples - filled), 0.0f);
        takeSamples(silence);
    }
    // the last frame's answer, with silence after the sound
    if (pendingAnswer) {
        std::copy(recent.begin() + FrameSamples, recent.end(), recent.begin());
        std::fill(recent.end() - FrameSamples, recent.end(), 0.0f);
        settleAnswer(*pendingAnswer, raisedBands(), pendingLoudnessDb);
        pendingAnswer.reset();
    }
    // the last frames' background: the window's centre moves on over them
    for (int64_t f = std::max<int64_t>(0, frames - BackgroundHalfFrames); f < frames; ++f) {
        loudness.dropOldest(f - BackgroundHalfFrames - 1);
        unheard.dropOldest(f - BackgroundHalfFrames - 1);
        settleBackground();
    }
    if (runStart >= 0)
        closeRun();
    refineReady(true);
}

SpeechFinder::SpeechFinder(SoundFormat format, std::unique_ptr<VoiceDecider> decider)
{
    if (format.channels < 1 || format.channels > 2 || format.sampleRate < MinSampleRate ||
        format.sampleRate > MaxSampleRate)
        throw std::invalid_argument("SpeechFinder: 1 or 2 channels at 8000..192000 Hz");
    parts_ = std::make_unique<Parts>(format, std::move(decider));
}

SpeechFinder::~SpeechFinder() = default;

void SpeechFinder::add(std::span<const int16_t> interleaved)
{
    Parts& p = *parts_;
    const size_t channels = size_t(p.format.channels);
    const size_t n = interleaved.size() / channels;
    p.mono.resize(n);
    if (channels == 1)
        std::copy(interleaved.begin(), interleaved.begin() + ptrdiff_t(n), p.mono.begin());
    else
        for (size_t i = 0; i < n; ++i)
            p.mono[i] = 0.5f * (float(interleaved[2 * i]) + float(interleaved[2 * i + 1]));
    p.resampled.clear();
    p.resampler.push(p.mono, p.resampled);
    p.samples16k += int64_t(p.resampled.size());
    p.takeSamples(p.resampled);
}

SpeechSpanList SpeechFinder::finish()
{
    Parts& p = *parts_;
    p.finish();
    const int32_t lengthMs = int32_t(p.samples16k / SamplesPerMs);
    SpeechSpanList spans;
    for (SpeechSpan s : p.spans) {
        s.EndMs = std::min(s.EndMs, lengthMs);
        if (s.EndMs > s.StartMs)
            spans.push_back(s);
    }
    p.spans.clear();
    return spans;
}

}  // namespace vt
