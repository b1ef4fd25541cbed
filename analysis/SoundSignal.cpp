#include "analysis/SoundSignal.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace vt {

namespace {

// The cut-off of the low-pass before the rate falls, as a share of the lower
// Nyquist frequency, and the filter's length in zero crossings of its sinc
// each side: speech and the detector need nothing above 7 kHz of 16, and the
// sound is long, so the filter is kept short.
constexpr double CutoffShare = 0.875;
constexpr int ZeroCrossings = 8;
constexpr double KaiserBeta = 7.0;
constexpr int32_t MaxPhases = 1024;

double besselI0(double x)
{
    double sum = 1, term = 1;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

}  // namespace

Resampler::Resampler(int32_t rate, int32_t outRate) : rate_(rate), outRate_(outRate)
{
    if (rate == outRate)
        return;
    const int32_t g = std::gcd(rate, outRate);
    up_ = outRate / g;
    down_ = rate / g;
    phases_ = std::min(up_, MaxPhases);
    const double cutoff = CutoffShare * std::min(rate, outRate) / 2;
    const double half = ZeroCrossings / (2 * cutoff);  // seconds either side
    reach_ = int32_t(std::ceil(half * rate)) + 1;
    taps_ = 2 * reach_;
    table_.resize(size_t(phases_) * size_t(taps_));
    const double norm = besselI0(KaiserBeta);
    for (int32_t p = 0; p < phases_; ++p) {
        float* row = &table_[size_t(p) * size_t(taps_)];
        const double frac = double(p) / phases_;
        double sum = 0;
        for (int32_t j = 0; j < taps_; ++j) {
            const double t = (j - reach_ + 1 - frac) / rate;  // seconds from the output sample
            const double x = t / half;
            double h = 0;
            if (std::abs(x) < 1) {
                const double a = 2 * cutoff * t;
                const double sinc = a == 0 ? 1 : std::sin(std::numbers::pi * a) / (std::numbers::pi * a);
                h = sinc * besselI0(KaiserBeta * std::sqrt(1 - x * x)) / norm;
            }
            row[j] = float(h);
            sum += h;
        }
        // every phase passes a constant unchanged, or the sound would ripple at the phase rate
        for (int32_t j = 0; j < taps_; ++j)
            row[j] = float(row[j] / sum);
    }
    // the samples before the sound are silence
    pending_.assign(size_t(reach_ - 1), 0.0f);
    base_ = -(reach_ - 1);
}

void Resampler::push(std::span<const float> mono, std::vector<float>& out)
{
    received_ += int64_t(mono.size());
    if (rate_ == outRate_) {
        out.insert(out.end(), mono.begin(), mono.end());
        return;
    }
    pending_.insert(pending_.end(), mono.begin(), mono.end());
    produce(std::numeric_limits<int64_t>::max(), out);
}

void Resampler::finish(std::vector<float>& out)
{
    if (rate_ == outRate_)
        return;
    pending_.insert(pending_.end(), size_t(reach_ + 1), 0.0f);
    // as many as the sound's length at the output rate, rounded up
    produce((received_ * up_ + down_ - 1) / down_, out);
}

void Resampler::produce(int64_t limit, std::vector<float>& out)
{
    const int64_t available = base_ + int64_t(pending_.size());
    while (next_ < limit) {
        const int64_t position = next_ * down_;
        const int64_t whole = position / up_;
        if (whole + reach_ >= available)
            break;
        const int32_t phase = int32_t(int64_t(position % up_) * phases_ / up_);
        const float* x = &pending_[size_t(whole - reach_ + 1 - base_)];
        const float* h = &table_[size_t(phase) * size_t(taps_)];
        // four sums side by side, so the adds need not wait for each other
        float s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        int32_t j = 0;
        for (; j + 4 <= taps_; j += 4) {
            s0 += x[j] * h[j];
            s1 += x[j + 1] * h[j + 1];
            s2 += x[j + 2] * h[j + 2];
            s3 += x[j + 3] * h[j + 3];
        }
        for (; j < taps_; ++j)
            s0 += x[j] * h[j];
        out.push_back((s0 + s1) + (s2 + s3));
        ++next_;
    }
    const int64_t keepFrom = next_ * down_ / up_ - reach_ + 1;
    if (keepFrom - base_ > 65536) {
        pending_.erase(pending_.begin(), pending_.begin() + (keepFrom - base_));
        base_ = keepFrom;
    }
}

HighPass::HighPass(double cutoffHz, int32_t rate)
{
    const double w = 2 * std::numbers::pi * cutoffHz / rate;
    const double alpha = std::sin(w) / std::sqrt(2.0);
    const double a0 = 1 + alpha;
    b0_ = float((1 + std::cos(w)) / 2 / a0);
    b1_ = float(-(1 + std::cos(w)) / a0);
    b2_ = b0_;
    a1_ = float(-2 * std::cos(w) / a0);
    a2_ = float((1 - alpha) / a0);
}

}  // namespace vt
