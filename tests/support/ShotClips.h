// Films of many shots made with the ffmpeg CLI at test time: each shot is one
// of ffmpeg's generated pictures (test patterns, colour bars, fractals,
// cellular automata, gradients, noisy colour, dim copies of them), cut to
// an exact number of frames and joined, then encoded as H.264, so that the
// true cuts are known to the frame from how the film was put together.
// Inside a shot there may be a white flash, a fast pan, a slow change of
// light, or a dissolve from one picture to another: none of them a cut.
#pragma once

#include "tests/support/Scratch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace vt::shotclips {

using scratch::haveFfmpeg;
using scratch::scratchDir;

// A film's frame rate as ffmpeg and the player take it.
struct Rate {
    int num = 25;
    int den = 1;
    std::string text() const { return den == 1 ? std::to_string(num) : std::to_string(num) + "/" + std::to_string(den); }
    float fps() const { return float(double(num) / den); }
    // frames in about this many seconds
    int32_t frames(double seconds) const { return int32_t(seconds * num / den + 0.5); }
};
inline constexpr Rate Film23976{24000, 1001};
inline constexpr Rate Film25{25, 1};
inline constexpr Rate Film2997{30000, 1001};

// What happens inside a shot besides its own motion.
enum class Event { None, Flash, Pan, SlowChange, Dissolve };

// A stretch of the film, frames [first, end).
struct Stretch {
    int64_t first = 0;
    int64_t end = 0;
};

// One shot: an ffmpeg filter graph making its pictures at the size and rate
// given, ending in the label [out]; the film cuts it to `frames`.
struct Shot {
    std::string graph;
    int32_t frames = 0;
    Event event = Event::None;
    int32_t eventAt = 0;      // frames after the shot's first
    int32_t eventFrames = 0;  // how long it lasts
    bool dark = false;        // luma under 10 %
};

// What a film holds, from how it was put together.
struct Truth {
    std::vector<int64_t> cuts;      // each the first frame of a shot after the first
    std::vector<int64_t> darkCuts;  // those between two dark shots
    std::vector<Stretch> flashes, pans, slowChanges, dissolves;
    int64_t frames = 0;
};

struct Film {
    std::string path;  // empty when ffmpeg failed
    Truth truth;
};

// ---- the pictures a shot is made of; `variant` picks one of many looks ----

enum class Look { TestPattern, Bars, Fractal, Automaton, Gradient, NoisyColour, NoisyGradient, Count };

inline std::string size(int w, int h)
{
    return std::to_string(w) + "x" + std::to_string(h);
}

// A smooth gradient of light and colour, its direction and colours picked
// by the variant, about `waves` half waves across the picture, drifting by
// `drift` radians a second. (ffmpeg's own gradients source draws other
// colours on every run, whatever its seed.)
inline std::string gradientChain(int variant, double waves, int w, int h, const Rate& rate, double drift)
{
    auto number = [](double x) { return std::to_string(x); };
    auto wave = [&](int k, double level, double depth) {
        // a direction and phase of its own for each plane, from the variant
        const double angle = 0.37 * variant + 2.1 * k;
        const double fx = waves * 3.14159 * std::cos(angle);
        const double fy = waves * 3.14159 * std::sin(angle) * 0.6;
        return number(level) + "+" + number(depth) + "*sin(" + number(fx) + "*X/W+" + number(fy) + "*Y/H+" +
               number(1.3 * variant + k) + "+T*" + number(drift) + ")";
    };
    return "color=s=" + size(w, h) + ":r=" + rate.text() + ",format=yuv444p,geq=lum='" + wave(0, 128, 90) +
           "':cb='" + wave(1, 128, 50) + "':cr='" + wave(2, 128, 50) + "'";
}

// A source chain (no label) of this look at w x h.
inline std::string lookChain(Look look, int variant, int w, int h, const Rate& rate)
{
    const std::string s = "s=" + size(w, h) + ":r=" + rate.text();
    const std::string v = std::to_string(variant);
    static const char* colours[] = {"0x3050a0", "0xa05030", "0x30a050", "0x808030", "0x703080", "0x206070"};
    switch (look) {
    case Look::TestPattern: return "testsrc2=" + s + ",hue=h=" + std::to_string(variant * 47 % 360);
    case Look::Bars: return (variant % 2 ? "smptehdbars=" : "smptebars=") + s;
    case Look::Fractal:
        return "mandelbrot=" + s + ":maxiter=400:start_x=" + std::to_string(-0.75 + 0.03 * (variant % 7)) +
               ":start_y=" + std::to_string(0.1 * (variant % 3)) + ":start_scale=" + std::to_string(2.0 + variant % 4);
    case Look::Automaton: {
        // rules whose pattern lives on (most others die out or freeze within a few rows)
        static const int rules[] = {18, 22, 30, 45, 54, 60, 73, 90, 105, 110, 122, 126, 146, 150};
        return "cellauto=" + s + ":rule=" + std::to_string(rules[variant % 14]) + ":seed=" + v + ":start_full=1";
    }
    case Look::Gradient: return gradientChain(variant, 1.0, w, h, rate, 0.3);
    // grain that changes every frame (the same grain on every run), added to the luma and colour planes
    case Look::NoisyColour:
        return "color=c=" + std::string(colours[variant % 6]) + ":" + s + ",format=yuv420p,noise=alls=" +
               std::to_string(10 + variant % 3 * 5) + ":allf=t:all_seed=" + v;
    case Look::NoisyGradient:
        return gradientChain(variant, 1.0, w, h, rate, 0.3) + ",format=yuv420p,noise=alls=12:allf=t:all_seed=" + v;
    case Look::Count: break;
    }
    return {};
}

// yuv420p, square pixels, timestamps from 0: what the concat filter needs
inline const std::string Tidy = ",format=yuv420p,setsar=1";

inline Shot plainShot(Look look, int variant, int32_t frames, int w, int h, const Rate& rate)
{
    return {lookChain(look, variant, w, h, rate) + Tidy + "[out]", frames};
}

// Luma under 10 %: the picture's light and colour turned down to a twelfth.
inline Shot darkShot(Look look, int variant, int32_t frames, int w, int h, const Rate& rate)
{
    return {lookChain(look, variant, w, h, rate) + Tidy +
                ",lutyuv=y='16+(val-16)/12':u='128+(val-128)/8':v='128+(val-128)/8'[out]",
            frames, Event::None, 0, 0, true};
}

// White for `length` frames from `at`; the pictures either side go on as if
// nothing had happened.
inline Shot flashShot(Look look, int variant, int32_t frames, int32_t at, int32_t length, int w, int h,
                      const Rate& rate)
{
    const std::string on = "between(n," + std::to_string(at) + "," + std::to_string(at + length - 1) + ")";
    return {lookChain(look, variant, w, h, rate) + Tidy + ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='" +
                on + "'[out]",
            frames, Event::Flash, at, length};
}

// A window a quarter as wide as a still picture of the look sweeping across
// it by `step` of its own widths every frame, from `at` for `length`
// frames. The fractal is its edge close up, full of detail.
inline Shot panShot(Look look, int variant, int32_t frames, int32_t at, int32_t length, double step, int w, int h,
                    const Rate& rate)
{
    const int bigW = w * 12;
    const int bigH = h * 3;
    const int cropW = w * 3;
    const std::string px = std::to_string(step * cropW);
    const std::string moved = "clip(n-" + std::to_string(at) + "\\,0\\," + std::to_string(length) + ")*" + px;
    const std::string x = variant % 2 == 1 ? std::to_string(bigW - cropW) + "-" + moved : moved;
    const bool noisy = look == Look::NoisyColour || look == Look::NoisyGradient;
    const std::string picture =
        look == Look::Fractal ? "mandelbrot=s=" + size(bigW, bigH) + ":r=" + rate.text() +
                                    ":maxiter=400:start_scale=" + std::to_string(0.02 + 0.01 * (variant % 5))
        : noisy               ? gradientChain(variant, 12.0, bigW, bigH, rate, 0.0)
                              : lookChain(look, variant, bigW, bigH, rate);
    // the picture made once and shown again and again: a fractal this large is slow to draw
    return {picture + ",trim=end_frame=1,loop=loop=-1:size=1,crop=" + std::to_string(cropW) + ":" +
                std::to_string(bigH) + ":x='" + x + "':y=0,scale=" + size(w, h) + Tidy +
                (noisy ? ",noise=alls=12:allf=t:all_seed=" + std::to_string(variant) : "") + "[out]",
            frames, Event::Pan, at, length};
}

// The camera tilting: a window as tall as a third of a still picture of the
// look moving down it (up, for odd variants) by `step` of its own heights
// every frame, from `at` for `length` frames. Counted with the pans.
inline Shot tiltShot(Look look, int variant, int32_t frames, int32_t at, int32_t length, double step, int w, int h,
                     const Rate& rate)
{
    const int bigH = h * 3;
    const std::string px = std::to_string(step * h);
    const std::string moved = "clip(n-" + std::to_string(at) + "\\,0\\," + std::to_string(length) + ")*" + px;
    const std::string y = variant % 2 == 1 ? std::to_string(bigH - h) + "-" + moved : moved;
    return {lookChain(look, variant, w, bigH, rate) + ",trim=end_frame=1,loop=loop=-1:size=1,crop=" +
                std::to_string(w) + ":" + std::to_string(h) + ":x=0:y='" + y + "'" + Tidy + "[out]",
            frames, Event::Pan, at, length};
}

// A dark, nearly flat picture (a wall at night) whose faint grain changes
// `perSecond` times a second and holds in between, as a flickering light or
// an encoder's refreshed grain does: a small change now and then, each time
// to a picture not seen before. Counted as dark.
inline Shot flickerShot(int variant, int32_t frames, int perSecond, int w, int h, const Rate& rate)
{
    return {"color=c=0x161616:s=" + size(w, h) + ":r=" + std::to_string(perSecond) +
                ",format=yuv420p,noise=alls=6:allf=t:all_seed=" + std::to_string(variant) + ",fps=" + rate.text() +
                Tidy + "[out]",
            frames, Event::None, 0, 0, true};
}

// A gradient that drifts while its light falls to half over `length`
// frames, as a sunset or a lamp dimmed does.
inline Shot slowShot(int variant, int32_t frames, int w, int h, const Rate& rate)
{
    const double seconds = double(frames) * rate.den / rate.num;
    return {gradientChain(variant, 1.0, w, h, rate, 0.8) + Tidy + ",eq=brightness='-0.3*t/" + std::to_string(seconds) + "':contrast='1-0.5*t/" +
                std::to_string(seconds) + "':eval=frame[out]",
            frames, Event::SlowChange, 0, frames};
}

// One look dissolving into another over `length` frames from `at`: picture
// `at` is still all the first, picture at + length all the second.
inline Shot dissolveShot(Look from, int fromVariant, Look to, int toVariant, int32_t frames, int32_t at,
                         int32_t length, int w, int h, const Rate& rate)
{
    const std::string k = "clip((N-" + std::to_string(at) + ")/" + std::to_string(length) + "\\,0\\,1)";
    return {lookChain(from, fromVariant, w, h, rate) + Tidy + "[a];" + lookChain(to, toVariant, w, h, rate) + Tidy +
                "[b];[a][b]blend=all_expr='A*(1-" + k + ")+B*" + k + "'[out]",
            frames, Event::Dissolve, at, length};
}

// About ten seconds of every kind of shot: cuts between unlike pictures,
// between two dark ones, into and out of flat noisy colour; a white flash
// of two frames, a fast pan, a slow fall of light and a one-second dissolve
// inside shots.
inline std::vector<Shot> everyKind(int w, int h, const Rate& rate)
{
    const int32_t second = rate.frames(1.0);
    return {
        plainShot(Look::TestPattern, 0, 20, w, h, rate),
        plainShot(Look::Bars, 0, 14, w, h, rate),
        plainShot(Look::Fractal, 1, 18, w, h, rate),
        darkShot(Look::TestPattern, 2, 16, w, h, rate),
        darkShot(Look::Fractal, 3, 16, w, h, rate),
        plainShot(Look::Automaton, 4, 15, w, h, rate),
        flashShot(Look::NoisyGradient, 5, 30, 12, 2, w, h, rate),
        plainShot(Look::NoisyColour, 0, 14, w, h, rate),
        panShot(Look::Fractal, 0, 30, 4, 22, 0.12, w, h, rate),
        plainShot(Look::Gradient, 6, 14, w, h, rate),
        slowShot(7, second * 2, w, h, rate),
        dissolveShot(Look::Bars, 1, Look::TestPattern, 8, second + 20, 10, second, w, h, rate),
        plainShot(Look::NoisyColour, 3, 16, w, h, rate),
        plainShot(Look::Fractal, 9, 15, w, h, rate),
    };
}

// Looks whose dim copy is still a picture: dimmed to a twelfth, a gradient,
// noisy colour or the fine grain of a cellular automaton is a nearly flat,
// nearly black field, all but the same as any other.
inline bool patterned(Look look)
{
    return look == Look::TestPattern || look == Look::Bars || look == Look::Fractal;
}

// `count` dark shots of every look but noisy colour, no two neighbours
// alike: what a film of nearly black pictures gives.
inline std::vector<Shot> darkShots(uint32_t seed, int count, int w, int h, const Rate& rate)
{
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return int(random() % uint32_t(n)); };
    std::vector<Shot> shots;
    int lastLook = -1;
    for (int i = 0; i < count; ++i) {
        int look = lastLook;
        while (look == lastLook || Look(look) == Look::NoisyColour)
            look = pick(int(Look::Count));
        lastLook = look;
        const int variant = pick(1000);
        shots.push_back(darkShot(Look(look), variant, std::max<int32_t>(12, rate.frames(0.5 + 3.5 * pick(1000) / 1000.0)),
                                 w, h, rate));
    }
    return shots;
}

// `count` shots of seeded random looks and lengths (half a second to four
// seconds), no two neighbours alike: runs of dark shots of patterned looks,
// and inside shots white flashes of one to three frames, pans of 4 to 15 %
// of the picture a frame, slow falls of light and one-second dissolves. `quick` leaves out
// what is slow to draw at a large size: fractals, and pans (their picture
// is twelve times as wide as the film).
inline std::vector<Shot> manyShots(uint32_t seed, int count, int w, int h, const Rate& rate, bool quick = false)
{
    std::mt19937 random(seed);
    auto pick = [&random](int n) { return int(random() % uint32_t(n)); };
    std::vector<Shot> shots;
    int lastLook = -1;
    int darkRun = 0;
    for (int i = 0; i < count; ++i) {
        const int kind = pick(100);
        if (darkRun == 0 && kind < 12)
            darkRun = 2 + pick(2);  // dark shots come in runs, so there are cuts between two of them
        const bool dark = darkRun > 0;
        const bool slow = !dark && kind >= 39 && kind < 49;
        int look = int(Look::Gradient);  // what a slow change is made of
        while (!slow && (look == lastLook || (quick && Look(look) == Look::Fractal) || (dark && !patterned(Look(look)))))
            look = pick(int(Look::Count));
        lastLook = look;
        const int variant = pick(1000);
        const int32_t frames = std::max<int32_t>(12, rate.frames(0.5 + 3.5 * pick(1000) / 1000.0));
        if (dark) {
            --darkRun;
            shots.push_back(darkShot(Look(look), variant, frames, w, h, rate));
        } else if (kind < 27) {
            const int32_t length = 1 + pick(3);
            const int32_t at = 5 + pick(std::max(1, frames - length - 10));
            shots.push_back(flashShot(Look(look), variant, frames, at, length, w, h, rate));
        } else if (kind < 39 && !quick) {
            const int32_t at = pick(std::max(1, frames / 3));
            const int32_t length = std::max<int32_t>(6, frames - at - pick(std::max(1, frames / 3)));
            // the window stays inside the picture, three of its widths wide
            const double step = std::min(0.04 + 0.11 * pick(1000) / 1000.0, 3.0 / length);
            shots.push_back(panShot(Look(look), variant, frames, at, length, step, w, h, rate));
        } else if (slow) {
            shots.push_back(slowShot(variant, std::max(frames, rate.frames(2.0)), w, h, rate));
        } else if (kind >= 49 && kind < 59) {
            int to = look;
            while (to == look || (quick && Look(to) == Look::Fractal))
                to = pick(int(Look::Count));
            lastLook = to;
            const int32_t second = rate.frames(1.0);
            const int32_t before = 6 + pick(rate.frames(1.0));
            const int32_t after = 6 + pick(rate.frames(1.0));
            shots.push_back(dissolveShot(Look(look), variant, Look(to), pick(1000), before + second + after, before,
                                         second, w, h, rate));
        } else {
            shots.push_back(plainShot(Look(look), variant, frames, w, h, rate));
        }
    }
    return shots;
}

// Cuts found against the truth: a cut found within `within` frames of a
// true one is that one found; the others are told by where they lie.
struct Score {
    int32_t cuts = 0;       // true cuts
    int32_t found = 0;      // of them found
    int32_t exact = 0;      // of those on their very frame
    int32_t darkCuts = 0;   // true cuts between two dark shots
    int32_t darkFound = 0;  // of them found
    int32_t reported = 0;   // cuts reported in all
    int32_t inFlashes = 0;  // reported during a flash, the frame after it, or a dissolve, pan or slow change
    int32_t inPans = 0;
    int32_t inSlowChanges = 0;
    int32_t inDissolves = 0;
    int32_t elsewhere = 0;
    std::vector<double> dissolvePlaces;  // where in its dissolve each reported one lies, 0 to 1
    int32_t dissolvesReported = 0;       // dissolves with a cut reported in them
};

inline Score score(const std::vector<int64_t>& reported, const Truth& truth, int64_t within = 2)
{
    Score s;
    s.cuts = int32_t(truth.cuts.size());
    s.darkCuts = int32_t(truth.darkCuts.size());
    s.reported = int32_t(reported.size());
    std::vector<bool> used(reported.size(), false);
    for (int64_t cut : truth.cuts) {
        size_t best = reported.size();
        for (size_t i = 0; i < reported.size(); ++i)
            if (!used[i] && std::llabs(reported[i] - cut) <= within &&
                (best == reported.size() || std::llabs(reported[i] - cut) < std::llabs(reported[best] - cut)))
                best = i;
        if (best == reported.size())
            continue;
        used[best] = true;
        ++s.found;
        if (std::find(truth.darkCuts.begin(), truth.darkCuts.end(), cut) != truth.darkCuts.end())
            ++s.darkFound;
        if (reported[best] == cut)
            ++s.exact;
    }
    auto inside = [](const std::vector<Stretch>& stretches, int64_t f, int64_t after) {
        for (const Stretch& st : stretches)
            if (f >= st.first && f <= st.end + after - 1)
                return &st;
        return static_cast<const Stretch*>(nullptr);
    };
    std::vector<const Stretch*> dissolvesHit;
    for (size_t i = 0; i < reported.size(); ++i) {
        if (used[i])
            continue;
        const int64_t f = reported[i];
        if (inside(truth.flashes, f, 1))
            ++s.inFlashes;
        else if (const Stretch* d = inside(truth.dissolves, f, 1)) {
            ++s.inDissolves;
            s.dissolvePlaces.push_back(double(f - d->first) / double(d->end - d->first));
            if (std::find(dissolvesHit.begin(), dissolvesHit.end(), d) == dissolvesHit.end())
                dissolvesHit.push_back(d);
        } else if (inside(truth.pans, f, 1))
            ++s.inPans;
        else if (inside(truth.slowChanges, f, 1))
            ++s.inSlowChanges;
        else
            ++s.elsewhere;
    }
    s.dissolvesReported = int32_t(dissolvesHit.size());
    return s;
}

// What a film of these shots, joined in order, holds.
inline Truth truthOf(const std::vector<Shot>& shots)
{
    Truth truth;
    int64_t at = 0;
    for (size_t i = 0; i < shots.size(); ++i) {
        const Shot& shot = shots[i];
        if (i > 0)
            truth.cuts.push_back(at);
        if (i > 0 && shot.dark && shots[i - 1].dark)
            truth.darkCuts.push_back(at);
        const Stretch inside{at + shot.eventAt, at + shot.eventAt + shot.eventFrames};
        switch (shot.event) {
        case Event::Flash: truth.flashes.push_back(inside); break;
        case Event::Pan: truth.pans.push_back(inside); break;
        case Event::SlowChange: truth.slowChanges.push_back(inside); break;
        case Event::Dissolve: truth.dissolves.push_back(inside); break;
        case Event::None: break;
        }
        at += shot.frames;
    }
    truth.frames = at;
    return truth;
}

// The shots joined in order and encoded as H.264 into dir/name (the
// container from the name's extension); `codec` adds to or overrides
// libx264's ultrafast settings (say, B-frames); `finish` is a filter chain
// for the joined film (say, scaling it up and adding grain).
inline Film makeFilm(const std::filesystem::path& dir, const std::string& name, const Rate& rate,
                     const std::vector<Shot>& shots, const std::string& codec = "", const std::string& finish = "")
{
    Film film;
    film.truth = truthOf(shots);
    std::string graph;
    std::string joined;
    for (size_t i = 0; i < shots.size(); ++i) {
        const Shot& shot = shots[i];
        const std::string label = "s" + std::to_string(i);
        std::string g = shot.graph;
        // each shot's inner labels are its own
        for (const std::string inner : {"[a]", "[b]", "[out]"}) {
            const std::string mine = "[" + label + inner.substr(1);
            for (size_t p = g.find(inner); p != std::string::npos; p = g.find(inner, p + mine.size()))
                g.replace(p, inner.size(), mine);
        }
        const std::string out = "[" + label + "out]";
        g.replace(g.rfind(out), out.size(),
                  ",trim=end_frame=" + std::to_string(shot.frames) + ",setpts=PTS-STARTPTS[" + label + "]");
        graph += g + ";";
        joined += "[" + label + "]";
    }
    graph += joined + "concat=n=" + std::to_string(shots.size()) + ":v=1:a=0" + (finish.empty() ? "" : "," + finish) + "[v]";
    const std::string out = (dir / name).string();
    const std::string script = out + ".graph";
    if (FILE* f = std::fopen(script.c_str(), "w")) {
        std::fputs(graph.c_str(), f);
        std::fclose(f);
    } else {
        return film;
    }
    const std::string cmd = "ffmpeg -v error -nostdin -y -filter_complex_script \"" + script +
                            "\" -map \"[v]\" -r " + rate.text() +
                            " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + codec + " \"" + out +
                            "\" >/dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0)
        film.path = out;
    std::filesystem::remove(script);
    return film;
}

}  // namespace vt::shotclips
