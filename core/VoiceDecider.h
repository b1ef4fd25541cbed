// Whether a moment of sound holds a voice: what the speech finder in
// analysis/ asks of a voice-activity detector, and the spectrum it weighs a
// voice against its background by. Both come from libraries and live with
// the platform code. This is all the two share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vt {

// Decides, 10 ms at a time, whether sound holds speech: 16 kHz mono 16-bit.
// Frames come in order and without gaps; a decider may learn from those
// before (a noise level, a hangover), so one decider serves one sound.
class VoiceDecider {
public:
    static constexpr int32_t SampleRate = 16000;
    static constexpr size_t FrameSamples = 160;
    virtual ~VoiceDecider() = default;
    virtual bool isSpeech(std::span<const int16_t, FrameSamples> frame) = 0;

    // The power of bins 0..SpectrumSamples/2 of SpectrumSamples samples at
    // SampleRate (windowed by the caller). False, leaving `power` as it
    // was, when this decider has no spectrum to give.
    static constexpr size_t SpectrumSamples = 512;
    static constexpr size_t SpectrumBins = SpectrumSamples / 2 + 1;
    virtual bool spectrum(std::span<const float, SpectrumSamples> /*samples*/, std::span<float, SpectrumBins> /*power*/)
    {
        return false;
    }
};

}  // namespace vt
