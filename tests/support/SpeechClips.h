// A film's dialogue made at test time: Mandarin sentences spoken by the
// espeak-ng synthesiser, laid out with silences of seeded random lengths,
// optionally under noise or music that ffmpeg makes, and converted by
// ffmpeg to the rate and channels a test asks for. Where each sentence
// starts and ends is read from the clean synthesised samples, so a test
// knows the true edges to the millisecond.
#pragma once

#include "analysis/SpeechSpans.h"
#include "core/SoundSource.h"
#include "tests/support/Scratch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vt::speechclips {

using scratch::haveFfmpeg;
using scratch::scratchDir;

// espeak-ng writes 22.05 kHz mono; the film is laid out at that rate and
// converted once at the end.
inline constexpr int32_t SynthRate = 22050;

// Below this (-54 dBFS) a synthesised sample counts as silence: espeak-ng's
// own silence is exact zeros, and a line's true edges are its first and
// last samples anyone could hear.
inline constexpr int SilentBelow = 64;

inline bool haveSpeechTools()
{
    return haveFfmpeg() && std::system("espeak-ng -v cmn -q \"好\" >/dev/null 2>&1") == 0;
}

// One spoken line: what is said, by which of espeak-ng's voices, how fast.
struct Line {
    std::string text;
    std::string voice = "cmn";
    int wordsPerMinute = 175;
};

// Sentences of different lengths, opening with vowels, nasals, stops,
// affricates and fricatives (the onsets that are hard to hear under noise).
inline const std::vector<std::string>& sentences()
{
    static const std::vector<std::string> all = {
        "今天的天气很好我们去公园散步吧",
        "好",
        "你到底想说什么",
        "三十年前这里还是一片荒地",
        "走吧",
        "我不知道他为什么没有来",
        "小心后面",
        "飞机晚上八点起飞",
        "请把门关上",
        "这件事情我们明天再讨论",
        "谁在外面",
        "爱情不是一个人的事情",
        "妈妈做的饭最好吃",
        "书放在桌子上了",
        "快跑",
        "下雨了我们回家吧",
        "他说他再也不会回来了",
        "车站离这里有多远",
        "如果你愿意的话我们可以一起去看电影",
        "谢谢你",
        "昨天晚上我做了一个很奇怪的梦",
        "老师让我们明天早点到学校",
        "是的",
        "火车马上就要开了",
        "她一个人住在山上的小房子里",
        "为什么你总是迟到",
        "钱不是问题",
        "时间过得真快",
        "我们必须在天亮以前离开这座城市",
        "别说话",
        "这条河一直流到大海",
        "思念是一种很奇妙的东西",
        "哥哥在北京工作已经五年了",
        "吃饭了吗",
        "今晚的月亮又大又圆",
        "希望你一切都好",
    };
    return all;
}

// A few voices and paces, so that the lines are not all one speaker's.
inline Line spoken(const std::string& text, size_t index)
{
    static const char* const voices[] = {"cmn", "cmn+f2", "cmn+m3", "cmn+f4"};
    static const int paces[] = {175, 200, 160, 220, 185};
    return Line{text, voices[index % 4], paces[index % 5]};
}

struct SpeechFilm {
    SoundFormat format;
    std::vector<int16_t> samples;  // interleaved
    SpeechSpanList sentences;      // where each line is heard, in order

    int64_t frames() const { return int64_t(samples.size()) / format.channels; }
    int32_t lengthMs() const { return int32_t(frames() * 1000 / format.sampleRate); }
};

// The data chunk of a 16-bit PCM WAV, as espeak-ng writes it.
inline std::vector<int16_t> readWavSamples(const std::filesystem::path& wav)
{
    std::ifstream in(wav, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        uint32_t size = 0;
        for (int i = 3; i >= 0; --i)
            size = size << 8 | uint8_t(bytes[at + 4 + i]);
        if (id == "data") {
            // a writer that could not seek back leaves the size unset
            const size_t available = bytes.size() - at - 8;
            const size_t n = std::min<size_t>(size, available) / 2;
            std::vector<int16_t> samples(n);
            std::copy_n(bytes.data() + at + 8, n * 2, reinterpret_cast<char*>(samples.data()));
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Runs an ffmpeg command whose output is raw 16-bit samples on its standard
// output, and collects them.
inline std::vector<int16_t> ffmpegSamples(const std::string& args)
{
    std::vector<int16_t> samples;
    FILE* pipe = ::popen(("ffmpeg -v error -nostdin " + args + " -f s16le - 2>/dev/null").c_str(), "r");
    if (!pipe)
        return samples;
    int16_t block[8192];
    size_t n;
    while ((n = std::fread(block, sizeof(int16_t), std::size(block), pipe)) > 0)
        samples.insert(samples.end(), block, block + n);
    return ::pclose(pipe) == 0 ? samples : std::vector<int16_t>();
}

// The line as espeak-ng says it, cut to where its sound is.
inline std::vector<int16_t> synthesise(const Line& line, const std::filesystem::path& dir, size_t index)
{
    const auto wav = dir / ("line-" + std::to_string(index) + ".wav");
    const std::string cmd = "espeak-ng -v " + line.voice + " -s " + std::to_string(line.wordsPerMinute) + " -w \"" +
                            wav.string() + "\" \"" + line.text + "\"";
    if (std::system(cmd.c_str()) != 0)
        return {};
    std::vector<int16_t> samples = readWavSamples(wav);
    std::filesystem::remove(wav);
    auto loud = [](int16_t s) { return std::abs(int(s)) >= SilentBelow; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    if (first >= last)
        return {};
    return std::vector<int16_t>(first, last);
}

// A seeded draw in [lo, hi), the same on every machine (the standard
// library's distributions are not).
inline double draw(std::mt19937& random, double lo, double hi)
{
    return lo + (hi - lo) * (double(random()) / 4294967296.0);
}

// The lines one after the other at 22.05 kHz mono, each at half its
// synthesised level (room for noise mixed under it), with a silence of
// silenceMin..silenceMax seconds before each and after the last.
inline SpeechFilm layOut(const std::vector<Line>& lines, uint32_t seed, const std::filesystem::path& dir,
                         double silenceMin = 0.4, double silenceMax = 3.0)
{
    std::mt19937 random(seed);
    SpeechFilm film;
    film.format = SoundFormat{1, SynthRate};
    auto silence = [&] { film.samples.resize(film.samples.size() + size_t(draw(random, silenceMin, silenceMax) * SynthRate)); };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<int16_t> voice = synthesise(lines[i], dir, i);
        if (voice.empty())
            return {};
        silence();
        const int64_t start = int64_t(film.samples.size());
        for (int16_t s : voice)
            film.samples.push_back(int16_t(s / 2));
        const int64_t end = int64_t(film.samples.size());
        // the edges rounded outwards, so a span found exactly at them counts as exact
        film.sentences.push_back(
            {int32_t(start * 1000 / SynthRate), int32_t((end * 1000 + SynthRate - 1) / SynthRate)});
    }
    silence();
    return film;
}

// The test films: `count` lines taken in turn from sentences(), spoken in
// turn by the voices and at the paces above.
inline SpeechFilm dialogue(size_t count, uint32_t seed, const std::filesystem::path& dir)
{
    std::vector<Line> lines;
    for (size_t i = 0; i < count; ++i)
        lines.push_back(spoken(sentences()[i % sentences().size()], i));
    return layOut(lines, seed, dir);
}

enum class Background {
    PinkNoise,   // hiss and room tone
    BrownNoise,  // rumble: traffic, wind, machinery
    Music,       // a rhythmic chord of tones that changes every two seconds
};

// `seconds` of the background at `rate`, mono, from ffmpeg's sources.
inline std::vector<int16_t> background(Background kind, int32_t rate, double seconds, uint32_t seed)
{
    const std::string d = std::to_string(seconds);
    std::string source;
    switch (kind) {
    case Background::PinkNoise:
    case Background::BrownNoise:
        source = "anoisesrc=c=" + std::string(kind == Background::PinkNoise ? "pink" : "brown") +
                 ":a=0.3:s=" + std::to_string(seed) + ":r=" + std::to_string(rate) + ":d=" + d;
        break;
    case Background::Music: {
        // the root moves through four chords; each beat is struck and dies away
        const std::string root = "(110*pow(2\\,(eq(mod(floor(t/2)\\,4)\\,1)*5+eq(mod(floor(t/2)\\,4)\\,2)*7+"
                                 "eq(mod(floor(t/2)\\,4)\\,3)*3)/12))";
        const std::string chord = "(sin(2*PI*" + root + "*t)+0.7*sin(2*PI*2*" + root + "*t)+0.6*sin(2*PI*2.52*" +
                                  root + "*t)+0.5*sin(2*PI*3*" + root + "*t)+0.3*sin(2*PI*4*" + root + "*t))";
        const std::string beat = "(0.35+0.65*exp(-7*mod(t\\,0.5)))";
        source = "aevalsrc='0.15*" + chord + "*" + beat + "':s=" + std::to_string(rate) + ":d=" + d;
        break;
    }
    }
    return ffmpegSamples("-f lavfi -i \"" + source + "\" -ac 1");
}

// Mean square of the samples the sentences cover, and of all samples.
inline double speechPower(const SpeechFilm& film)
{
    double sum = 0;
    int64_t n = 0;
    for (const SpeechSpan& s : film.sentences) {
        const int64_t from = int64_t(s.StartMs) * film.format.sampleRate / 1000;
        const int64_t to = std::min(film.frames(), int64_t(s.EndMs) * film.format.sampleRate / 1000);
        for (int64_t i = from * film.format.channels; i < to * film.format.channels; ++i)
            sum += double(film.samples[size_t(i)]) * film.samples[size_t(i)];
        n += (to - from) * film.format.channels;
    }
    return n ? sum / double(n) : 0;
}

// The background alone, as loud as it goes under the film at `snrDb`:
// speech power against the background's power.
inline SpeechFilm backgroundOf(const SpeechFilm& film, Background kind, double snrDb, uint32_t seed = 1)
{
    const std::vector<int16_t> noise =
        background(kind, film.format.sampleRate, double(film.frames()) / film.format.sampleRate + 0.1, seed);
    if (int64_t(noise.size()) < film.frames())
        return {};
    double noisePower = 0;
    for (int64_t i = 0; i < film.frames(); ++i)
        noisePower += double(noise[size_t(i)]) * noise[size_t(i)];
    noisePower /= double(film.frames());
    const double gain = std::sqrt(speechPower(film) / (noisePower * std::pow(10.0, snrDb / 10)));
    SpeechFilm alone;
    alone.format = film.format;
    alone.samples.resize(film.samples.size());
    for (int64_t i = 0; i < film.frames(); ++i)
        for (int c = 0; c < film.format.channels; ++c)
            alone.samples[size_t(i * film.format.channels + c)] =
                int16_t(std::clamp(std::lround(gain * noise[size_t(i)]), -32768L, 32767L));
    return alone;
}

// The film with the background under it at `snrDb`.
inline SpeechFilm under(SpeechFilm film, Background kind, double snrDb, uint32_t seed = 1)
{
    const SpeechFilm noise = backgroundOf(film, kind, snrDb, seed);
    if (noise.samples.empty())
        return {};
    for (size_t i = 0; i < film.samples.size(); ++i)
        film.samples[i] = int16_t(std::clamp(film.samples[i] + noise.samples[i], -32768, 32767));
    return film;
}

// The film as ffmpeg converts it to another rate and number of channels.
inline SpeechFilm converted(const SpeechFilm& film, int32_t rate, int32_t channels, const std::filesystem::path& dir)
{
    const auto raw = dir / "film.raw";
    {
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(film.samples.data()), std::streamsize(film.samples.size() * 2));
    }
    SpeechFilm result;
    result.format = SoundFormat{channels, rate};
    result.sentences = film.sentences;
    result.samples = ffmpegSamples("-f s16le -ar " + std::to_string(film.format.sampleRate) + " -ac " +
                                   std::to_string(film.format.channels) + " -i \"" + raw.string() + "\" -ar " +
                                   std::to_string(rate) + " -ac " + std::to_string(channels));
    std::filesystem::remove(raw);
    return result;
}

// How the spans found stand against the sentences said. A span is matched
// to the sentence it overlaps most.
struct Score {
    int sentences = 0;
    int onsetsWithin = 0;     // span start within the onset tolerance of the sentence's
    int onsetsLate = 0;       // span start later than the sentence's by more than the late tolerance
    int endsWithin = 0;       // span end within the end tolerance of the sentence's
    int missed = 0;           // sentences no span overlaps
    int inSilence = 0;        // spans that overlap no sentence (all silences here are over 300 ms)
    int bridging = 0;         // spans that run across a silence from one sentence into the next
    int spans = 0;
    std::vector<int32_t> onsetErrors;  // found minus true, ms, per matched sentence
    std::vector<int32_t> endErrors;
};

// 2 frames at 24 fps for onsets, 3 for ends.
inline constexpr int32_t OnsetToleranceMs = 83;
inline constexpr int32_t EndToleranceMs = 125;
// A line may start early, but one that starts late clips the first sound:
// a quarter of a frame at most. (What the finder adds for the rise that noise
// hides keeps its onsets early; without it they come up to 20 ms late under
// noise at 10 dB.)
inline constexpr int32_t OnsetLateToleranceMs = 10;

inline Score score(const SpeechSpanList& found, const SpeechSpanList& said)
{
    auto overlap = [](const SpeechSpan& a, const SpeechSpan& b) {
        return std::max(0, std::min(a.EndMs, b.EndMs) - std::max(a.StartMs, b.StartMs));
    };
    Score score;
    score.sentences = int(said.size());
    score.spans = int(found.size());
    for (const SpeechSpan& sentence : said) {
        const SpeechSpan* best = nullptr;
        int bestOverlap = 0;
        for (const SpeechSpan& span : found)
            if (int o = overlap(span, sentence); o > bestOverlap) {
                best = &span;
                bestOverlap = o;
            }
        if (!best) {
            ++score.missed;
            continue;
        }
        score.onsetErrors.push_back(best->StartMs - sentence.StartMs);
        score.endErrors.push_back(best->EndMs - sentence.EndMs);
        score.onsetsWithin += std::abs(best->StartMs - sentence.StartMs) <= OnsetToleranceMs;
        score.onsetsLate += best->StartMs - sentence.StartMs > OnsetLateToleranceMs;
        score.endsWithin += std::abs(best->EndMs - sentence.EndMs) <= EndToleranceMs;
    }
    for (const SpeechSpan& span : found) {
        int touched = 0;
        for (const SpeechSpan& sentence : said)
            touched += overlap(span, sentence) > 0;
        score.inSilence += touched == 0;
        score.bridging += touched > 1;
    }
    return score;
}

}  // namespace vt::speechclips
