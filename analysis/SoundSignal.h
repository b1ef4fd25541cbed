// Plain signal pieces the analyses share: a buffer that forgets its front,
// a resampler to the rate an analysis works at, and a high-pass filter.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace vt {

// Values indexed by their absolute position in the sound; the front is
// dropped once nothing will look at it again, so memory follows the lag and
// not the sound's length.
template <class T>
class Trail {
public:
    void push(T v) { values_.push_back(v); }
    int64_t begin() const { return base_; }
    int64_t end() const { return base_ + int64_t(values_.size()); }
    T at(int64_t i) const { return values_[size_t(i - base_)]; }
    void forgetBefore(int64_t i)
    {
        const int64_t n = std::clamp<int64_t>(i - base_, 0, int64_t(values_.size()));
        // amortised: move the tail only once the dead front is as long as it
        if (n > 4096 && n * 2 >= int64_t(values_.size())) {
            values_.erase(values_.begin(), values_.begin() + n);
            base_ += n;
        }
    }

private:
    std::vector<T> values_;
    int64_t base_ = 0;
};

// A polyphase windowed-sinc resampler centred on each output sample, so the
// resampled sound keeps the source's timing to the sample. The same rate in
// and out passes the samples through.
class Resampler {
public:
    Resampler(int32_t rate, int32_t outRate);

    // Appends mono samples and writes the output samples they complete.
    void push(std::span<const float> mono, std::vector<float>& out);
    // The last samples, with silence after the sound.
    void finish(std::vector<float>& out);

private:
    void produce(int64_t limit, std::vector<float>& out);

    int32_t rate_;
    int32_t outRate_;
    int32_t up_ = 1, down_ = 1, phases_ = 1;
    int32_t reach_ = 0, taps_ = 0;
    std::vector<float> table_;
    std::vector<float> pending_;  // input from sample base_ on
    int64_t base_ = 0;
    int64_t next_ = 0;            // the next output sample to write
    int64_t received_ = 0;
};

// A second-order Butterworth high-pass.
class HighPass {
public:
    HighPass(double cutoffHz, int32_t rate);
    float operator()(float x)
    {
        float y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
        // in digital silence the output dies away into subnormal numbers,
        // which the processor computes many times slower; nothing that small is heard
        if (std::abs(y) < 1e-6f)
            y = 0;
        x2_ = x1_;
        x1_ = x;
        y2_ = y1_;
        y1_ = y;
        return y;
    }

private:
    float b0_, b1_, b2_, a1_, a2_;
    float x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

}  // namespace vt
