#include "analysis/ShotChanges.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <span>

namespace vt {

namespace {

// ---- tuning, in the units a reader thinks in ----

// Pictures are compared at about this width: fine enough to tell two shots
// apart, coarse enough that grain and compression noise average out.
constexpr int32_t SketchWidth = 32;
// The camera may move this many sketch pixels between two frames (a sixth
// of the picture's width across, a ninth of its height up or down) and the
// picture still counts as the same.
constexpr int32_t ShiftAcross = 5;
constexpr int32_t ShiftUpDown = 2;
// A picture's contrast (the standard deviation of its light, in levels of
// 255) counts as at least this: the grain and banding of a flat picture are
// no pattern to compare, while a dark scene whose light spans 15 levels
// still has one.
constexpr float FlattestSpread = 4.0f;
// The spread of light is compared in this many steps over the range both
// pictures' light covers, however dark they are; but no step is narrower
// than NarrowestStep levels, or the banding of a faint gradient, which
// moves as its light changes, would count as a new spread.
constexpr int32_t HistogramBins = 16;
constexpr float NarrowestStep = 2.0f;
// A change of the whole picture's light by this many levels counts as much
// as a new pattern.
constexpr float LevelSpan = 48.0f;

// How much each measure counts. Two unrelated pictures differ by about 1.1
// in pattern and 0.5 to 1 in spread; their light as a whole often hardly
// at all, but where both are flat (a wall, the sky) that is all there is
// to tell them by.
constexpr float PatternWeight = 0.5f;
constexpr float SpreadWeight = 0.5f;
constexpr float LevelWeight = 1.0f;
// A cut's change stands out: what each measure has above this many times
// its usual value on either side of it, weighed and added up, comes to more
// than LeastCut (a still shot's usual change is near nothing). Measured
// apart, a cut out of a shot whose pattern churns (snow, water, a crowd)
// still stands out in its spread of light.
constexpr float AboveUsual = 2.5f;
constexpr float LeastCut = 0.15f;
// The usual change on a side is the median of the changes over this long
// there (at least UsualAtLeast of them): short enough that a cut just after
// a pan or just before a fast movement is still judged against the calm on
// its other side, long enough that one other cut or flash among them does
// not count. A cut is settled that far behind the pictures fed.
constexpr double UsualSeconds = 1.0 / 6;
constexpr int32_t UsualAtLeast = 4;
// A flash lasts at most this long (three frames at 24 fps): when the
// picture before a change comes back this soon after it, there was no cut.
constexpr double LongestFlashSeconds = 0.125;
constexpr int32_t LongestFlashAtLeast = 3;
// Back means this alike: less than this share of the change that stood out.
constexpr float BackShare = 0.4f;

// ---- a picture as it is compared ----

struct Sketch {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<float> light;  // luma, row after row
    float mean = 0.0f;
    float spread = 0.0f;  // standard deviation
};

Sketch sketchOf(std::span<const uint8_t> luma, int32_t width, int32_t height)
{
    Sketch s;
    const int32_t step = std::max(1, std::min(width / SketchWidth, height));
    s.width = std::max(1, width / step);
    s.height = std::max(1, height / step);
    s.light.assign(size_t(s.width) * size_t(s.height), 0.0f);
    const float area = float(step * step);
    for (int32_t y = 0; y < s.height; ++y)
        for (int32_t x = 0; x < s.width; ++x) {
            int32_t sum = 0;
            for (int32_t dy = 0; dy < step; ++dy) {
                const uint8_t* row = &luma[size_t(y * step + dy) * size_t(width) + size_t(x * step)];
                for (int32_t dx = 0; dx < step; ++dx)
                    sum += row[dx];
            }
            s.light[size_t(y) * size_t(s.width) + size_t(x)] = float(sum) / area;
        }
    double sum = 0, squares = 0;
    for (float v : s.light) {
        sum += v;
        squares += double(v) * v;
    }
    const double n = double(s.light.size());
    s.mean = float(sum / n);
    s.spread = float(std::sqrt(std::max(0.0, squares / n - (sum / n) * (sum / n))));
    return s;
}

// How differently the light lies in two pictures: the mean difference of
// their light around its mean, in units of the larger contrast, at the
// camera shift that fits best. 0 for the same picture; about 1.1 for two
// unrelated ones.
float patternChange(const Sketch& a, const Sketch& b)
{
    const float scale = std::max({a.spread, b.spread, FlattestSpread});
    const int32_t reachX = std::min(ShiftAcross, (a.width - 1) / 4);
    const int32_t reachY = std::min(ShiftUpDown, (a.height - 1) / 4);
    float best = INFINITY;
    for (int32_t sy = -reachY; sy <= reachY; ++sy)
        for (int32_t sx = -reachX; sx <= reachX; ++sx) {
            float sum = 0;
            for (int32_t y = reachY; y < a.height - reachY; ++y) {
                const float* ra = &a.light[size_t(y) * size_t(a.width)];
                const float* rb = &b.light[size_t(y + sy) * size_t(b.width)];
                for (int32_t x = reachX; x < a.width - reachX; ++x)
                    sum += std::fabs((ra[x] - a.mean) - (rb[x + sx] - b.mean));
            }
            best = std::min(best, sum);
        }
    const float count = float((a.width - 2 * reachX) * (a.height - 2 * reachY));
    return best / count / scale;
}

// How differently the light is spread around its mean: the share of
// pixels that would have to move to another step of brightness, the steps
// spanning both pictures' contrast (so two dark pictures are compared as
// finely as two bright ones). Each pixel is shared between the two steps it
// lies between, so that light drifting slowly moves the measure slowly.
// 0 to 1.
float spreadChange(const Sketch& a, const Sketch& b)
{
    const float reach = std::max(2.5f * std::max(a.spread, b.spread), NarrowestStep * (HistogramBins - 1) / 2);
    const float perBin = float(HistogramBins - 1) / (2 * reach);
    float ha[HistogramBins] = {};
    float hb[HistogramBins] = {};
    auto count = [&](const Sketch& s, float* h) {
        for (float v : s.light) {
            const float at = std::clamp((v - s.mean + reach) * perBin, 0.0f, float(HistogramBins - 1));
            const int32_t i = std::min(int32_t(at), HistogramBins - 2);
            const float share = at - float(i);
            h[i] += 1 - share;
            h[i + 1] += share;
        }
    };
    count(a, ha);
    count(b, hb);
    float moved = 0;
    for (int32_t i = 0; i < HistogramBins; ++i)
        moved += std::fabs(ha[i] / float(a.light.size()) - hb[i] / float(b.light.size()));
    return 0.5f * moved;
}

// How far the light as a whole moved, in shares of LevelSpan, at most 1.
float levelChange(const Sketch& a, const Sketch& b)
{
    return std::min(1.0f, std::fabs(a.mean - b.mean) / LevelSpan);
}

// The change from one picture to the next, in its three measures.
struct Change {
    float pattern = 0.0f;
    float spread = 0.0f;
    float level = 0.0f;

    float total() const { return PatternWeight * pattern + SpreadWeight * spread + LevelWeight * level; }
};

Change change(const Sketch& a, const Sketch& b)
{
    return {std::min(patternChange(a, b), 2.0f), spreadChange(a, b), levelChange(a, b)};
}

float median(std::vector<float>& values)
{
    if (values.empty())
        return 0.0f;
    auto middle = values.begin() + ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

// Pictures are numbered by their place in what was fed (their index); the
// change at index i is the one from picture i - 1 to picture i.
struct ShotChangeFinder::Parts {
    int32_t width;
    int32_t height;

    int64_t fed = 0;      // pictures fed
    int64_t decided = 1;  // the next index whose change is to be judged
    // the last pictures and changes, from index `first` on
    int64_t first = 0;
    std::deque<Sketch> sketches;
    std::deque<Change> changes;  // changes[0] at index `first`; index 0's is none
    std::deque<int64_t> frames;  // the frame each picture is shown on
    std::vector<int64_t> cuts;
    std::vector<float> scratch;

    int32_t usualOver;
    int32_t longestFlash;

    Parts(int32_t w, int32_t h, double fps)
        : width(w),
          height(h),
          usualOver(std::max(UsualAtLeast, int32_t(std::lround(UsualSeconds * fps)))),
          longestFlash(std::max(LongestFlashAtLeast, int32_t(std::lround(LongestFlashSeconds * fps))))
    {
    }

    const Sketch& sketchAt(int64_t i) const { return sketches[size_t(i - first)]; }
    const Change& changeAt(int64_t i) const { return changes[size_t(i - first)]; }

    void add(const SmallPicture& picture)
    {
        Sketch s = sketchOf(picture.luma, width, height);
        changes.push_back(fed == 0 ? Change{} : change(sketches.back(), s));
        sketches.push_back(std::move(s));
        frames.push_back(picture.frame);
        ++fed;
        while (decided + std::max(usualOver, longestFlash) < fed)
            judge(decided++);
        forget();
    }

    // Drops what no judgement will look at again.
    void forget()
    {
        const int64_t keep = decided - std::max(usualOver, longestFlash + 1);
        while (first < keep) {
            sketches.pop_front();
            changes.pop_front();
            frames.pop_front();
            ++first;
        }
    }

    // The median of one measure over the changes at indices [from, to).
    float usual(float Change::*measure, int64_t from, int64_t to)
    {
        scratch.clear();
        for (int64_t i = std::max({from, first, int64_t(1)}); i < std::min(to, fed); ++i)
            scratch.push_back(changeAt(i).*measure);
        return median(scratch);
    }

    // What the change at index n has above the usual, weighed.
    float standingOut(int64_t n)
    {
        const Change& c = changeAt(n);
        auto above = [&](float Change::*measure) {
            const float usualHere = std::max(usual(measure, n - usualOver, n), usual(measure, n + 1, n + 1 + usualOver));
            return std::max(0.0f, c.*measure - AboveUsual * usualHere);
        };
        return PatternWeight * above(&Change::pattern) + SpreadWeight * above(&Change::spread) +
               LevelWeight * above(&Change::level);
    }

    void judge(int64_t n)
    {
        if (standingOut(n) <= LeastCut)
            return;
        if (comesBack(n))
            return;
        cuts.push_back(frames[size_t(n - first)]);
    }

    // True when the picture before index n, or one of the few before it, is
    // seen again at most a flash's length later.
    bool comesBack(int64_t n) const
    {
        const float c = changeAt(n).total();
        for (int64_t a = n - 1; a >= std::max(first, n - 1 - longestFlash); --a)
            for (int64_t b = std::max(n, a + 2); b <= std::min(fed - 1, a + 1 + longestFlash); ++b)
                if (change(sketchAt(a), sketchAt(b)).total() < BackShare * c)
                    return true;
        return false;
    }

    void finish()
    {
        while (decided < fed)
            judge(decided++);
    }
};

ShotChangeFinder::ShotChangeFinder(int32_t width, int32_t height, float frameRate)
    : parts_(std::make_unique<Parts>(std::max(1, width), std::max(1, height), frameRate > 0 ? frameRate : 25.0))
{
}

ShotChangeFinder::~ShotChangeFinder() = default;

void ShotChangeFinder::add(const SmallPicture& picture)
{
    if (picture.luma.size() != size_t(parts_->width) * size_t(parts_->height))
        return;
    parts_->add(picture);
}

std::vector<int64_t> ShotChangeFinder::settled() const
{
    return parts_->cuts;
}

std::vector<int64_t> ShotChangeFinder::finish()
{
    parts_->finish();
    return parts_->cuts;
}

std::vector<int64_t> findShotChanges(PictureSource& pictures, float frameRate, const std::atomic<bool>& cancel)
{
    ShotChangeFinder finder(pictures.width(), pictures.height(), frameRate);
    while (std::optional<SmallPicture> picture = pictures.next()) {
        if (cancel.load(std::memory_order_relaxed))
            break;
        finder.add(*picture);
    }
    if (cancel.load(std::memory_order_relaxed))
        return finder.settled();
    return finder.finish();
}

}  // namespace vt
