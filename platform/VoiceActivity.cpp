#include "platform/VoiceActivity.h"

#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>

extern "C" {
#include <libavutil/tx.h>
}

#include <algorithm>

namespace vt {

namespace {

// FFmpeg's real-input transform: vectorised for the processor it runs on,
// where the finder asks for a spectrum every 10 ms of a two-hour film.
class RealTransform {
public:
    RealTransform()
    {
        float scale = 1.0f;
        if (av_tx_init(&tx_, &fn_, AV_TX_FLOAT_RDFT, 0, int(VoiceDecider::SpectrumSamples), &scale, 0) < 0)
            tx_ = nullptr;
    }
    ~RealTransform() { av_tx_uninit(&tx_); }
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    bool power(std::span<const float, VoiceDecider::SpectrumSamples> samples,
               std::span<float, VoiceDecider::SpectrumBins> power)
    {
        if (!tx_)
            return false;
        std::copy(samples.begin(), samples.end(), in_);
        fn_(tx_, out_, in_, sizeof(AVComplexFloat));
        for (size_t k = 0; k < VoiceDecider::SpectrumBins; ++k)
            power[k] = out_[k].re * out_[k].re + out_[k].im * out_[k].im;
        return true;
    }

private:
    AVTXContext* tx_ = nullptr;
    av_tx_fn fn_ = nullptr;
    alignas(64) float in_[VoiceDecider::SpectrumSamples];
    alignas(64) AVComplexFloat out_[VoiceDecider::SpectrumBins + 1];
};

class WebRtcVoiceActivity final : public VoiceDecider {
public:
    explicit WebRtcVoiceActivity(std::unique_ptr<webrtc::AudioProcessing> apm) : apm_(std::move(apm)) {}

    bool spectrum(std::span<const float, SpectrumSamples> samples, std::span<float, SpectrumBins> power) override
    {
        return transform_.power(samples, power);
    }

    bool isSpeech(std::span<const int16_t, FrameSamples> frame) override
    {
        frame_.UpdateFrame(0, timestamp_, frame.data(), FrameSamples, SampleRate, webrtc::AudioFrame::kNormalSpeech,
                           webrtc::AudioFrame::kVadUnknown, 1);
        timestamp_ += uint32_t(FrameSamples);
        // a frame the library would not take has told nothing about a voice
        if (apm_->ProcessStream(&frame_) != webrtc::AudioProcessing::kNoError)
            return false;
        return apm_->voice_detection()->stream_has_voice();
    }

private:
    std::unique_ptr<webrtc::AudioProcessing> apm_;
    RealTransform transform_;
    webrtc::AudioFrame frame_;
    uint32_t timestamp_ = 0;
};

}  // namespace

std::unique_ptr<VoiceDecider> openVoiceActivity()
{
    // The library's automatic gain would otherwise start with it, and every
    // other component would change the sound before the detector hears it.
    webrtc::Config config;
    config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
    config.Set<webrtc::ExperimentalNs>(new webrtc::ExperimentalNs(false));
    std::unique_ptr<webrtc::AudioProcessing> apm(webrtc::AudioProcessing::Create(config));
    if (!apm)
        return nullptr;
    constexpr int Ok = webrtc::AudioProcessing::kNoError;
    if (apm->echo_cancellation()->Enable(false) != Ok || apm->echo_control_mobile()->Enable(false) != Ok ||
        apm->gain_control()->Enable(false) != Ok || apm->high_pass_filter()->Enable(false) != Ok ||
        apm->level_estimator()->Enable(false) != Ok || apm->noise_suppression()->Enable(false) != Ok)
        return nullptr;
    // The least willing setting: the others take the tones of film music for
    // a voice, and what this one misses of a voice's edges the speech finder
    // takes from the sound itself.
    webrtc::VoiceDetection* vad = apm->voice_detection();
    if (vad->set_likelihood(webrtc::VoiceDetection::kVeryLowLikelihood) != Ok || vad->set_frame_size_ms(10) != Ok ||
        vad->Enable(true) != Ok)
        return nullptr;
    if (apm->Initialize(VoiceDecider::SampleRate, VoiceDecider::SampleRate, VoiceDecider::SampleRate,
                        webrtc::AudioProcessing::kMono, webrtc::AudioProcessing::kMono,
                        webrtc::AudioProcessing::kMono) != Ok)
        return nullptr;
    return std::make_unique<WebRtcVoiceActivity>(std::move(apm));
}

}  // namespace vt
