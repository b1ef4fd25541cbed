#include "platform/SoundGrains.h"

#include "platform/FfmpegDecode.h"
#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <climits>
#include <optional>

namespace vt {

namespace {

// Sound decoded from this long before the grain: an AAC frame leans on the
// one before it, and a seek lands on the packet at or before the time asked.
constexpr double PrerollSeconds = 0.2;

// The grain fades in and out over this long, so that cutting it from the
// film's sound does not click.
constexpr double FadeSeconds = 0.002;

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

struct SoundGrains::Decoder {
    std::atomic<bool> stop{false};
    FfmpegInput input;
    std::optional<PacketDecoder> decoding;
    SoundConverter resampler;
    AVChannelLayout outLayout{};
    int rate = 0;
    double timeBase = 0.0;
    double frameZero = 0.0;  // when frame 0's picture is shown, on the file's clock

    ~Decoder()
    {
        av_channel_layout_uninit(&outLayout);
    }

    bool open(const std::string& path, double fps)
    {
        auto bestAudio = [](const AVFormatContext& f) {
            return av_find_best_stream(const_cast<AVFormatContext*>(&f), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        };
        auto setup = [](AVCodecContext& c, const AVStream& s) { c.pkt_timebase = s.time_base; };
        if (!input.open(path, stop, bestAudio, setup))
            return false;
        AVCodecContext* codec = input.decoder();
        if (codec->ch_layout.nb_channels <= 0 || codec->sample_rate <= 0)
            return false;
        // at most two channels, as the film's sound is heard from the editor
        av_channel_layout_default(&outLayout, std::min(2, codec->ch_layout.nb_channels));
        rate = codec->sample_rate;
        timeBase = av_q2d(input.stream()->time_base);
        // The player counts time from the file's start, as libavformat names
        // it: frame n is the picture nearest n / fps after it. The pictures'
        // own time stamps may lie off that grid (an MPEG-TS's by the sound
        // encoder's delay, 10 ms for MPEG audio), and a picture is shown,
        // and heard, from its own.
        AVFormatContext* format = input.format();
        frameZero = format->start_time == AV_NOPTS_VALUE ? 0.0 : double(format->start_time) / AV_TIME_BASE;
        const int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (video >= 0 && format->streams[video]->start_time != AV_NOPTS_VALUE) {
            const AVStream& pictures = *format->streams[video];
            const double first = double(pictures.start_time) * av_q2d(pictures.time_base) - frameZero;
            frameZero += first - std::floor(first * fps + 0.5) / fps;
        }
        decoding.emplace(input);
        return decoding->ready() && timeBase > 0.0;
    }

    // The samples of the film's sound from `from` seconds of the file's time
    // on, count sample frames long; what lies past the end stays silent.
    bool read(double from, int count, std::vector<int16_t>& out)
    {
        const int channels = outLayout.nb_channels;
        out.assign(size_t(count) * size_t(channels), 0);
        AVFormatContext* format = input.format();
        const int stream = input.streamIndex();
        const auto ts = static_cast<int64_t>(std::floor((from - PrerollSeconds) / timeBase));
        if (avformat_seek_file(format, stream, INT64_MIN, ts, ts, 0) < 0 &&
            av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        decoding->flush();
        const int64_t first = std::llround(from * rate);  // the grain's first sample, on the file's clock
        // Time stamps in whole milliseconds (Matroska's) would move each
        // frame by up to half a millisecond and tear the sound: once placed,
        // frames follow one another, unless a stamp says a piece is missing.
        const int64_t slack = rate / 100;
        int64_t next = INT64_MIN;
        // only the input's own stop flag cuts a read short, as the grains close:
        // the grain then keeps what was decoded, as at the film's end
        static const std::atomic<bool> never{false};
        for (;;) {
            switch (decoding->next(never)) {
            case PacketDecoder::Next::Frame: {
                AVFrame* frame = decoding->frame();
                const int64_t pts = frame->best_effort_timestamp;
                bool past = false;
                if (pts != AV_NOPTS_VALUE && frame->nb_samples > 0) {
                    int64_t at = std::llround(double(pts) * timeBase * rate);
                    if (next != INT64_MIN && std::llabs(at - next) <= slack)
                        at = next;
                    next = at + frame->nb_samples;
                    past = place(*frame, at - first, count, out);
                }
                av_frame_unref(frame);
                if (past)
                    return true;
                break;
            }
            case PacketDecoder::Next::Ended: return true;
            case PacketDecoder::Next::Stopped:
            case PacketDecoder::Next::Unreadable:
                // a damaged file ends the grain where it ends: what was read is drained
                decoding->endInput();
                break;
            }
        }
    }

    // Copies what of the frame (its first sample at offset from the grain's
    // first) falls inside the grain; true once the frame reaches past it.
    bool place(const AVFrame& f, int64_t offset, int count, std::vector<int16_t>& out)
    {
        if (offset >= count)
            return true;
        if (offset + f.nb_samples <= 0)
            return false;
        // same rate in and out: the resampler only converts, and holds nothing back
        if (f.sample_rate != rate || !resampler.prepare(f, outLayout, rate))
            return false;
        const int channels = outLayout.nb_channels;
        std::vector<int16_t> converted(size_t(f.nb_samples) * size_t(channels));
        auto* dst = reinterpret_cast<uint8_t*>(converted.data());
        const int made = swr_convert(resampler.get(), &dst, f.nb_samples, const_cast<const uint8_t**>(f.extended_data),
                                     f.nb_samples);
        for (int i = 0; i < made; ++i) {
            const int64_t at = offset + i;
            if (at >= 0 && at < count)
                std::copy_n(&converted[size_t(i) * channels], channels, &out[size_t(at) * channels]);
        }
        return offset + made >= count;
    }
};

struct SoundGrains::Output {
    snd_pcm_t* pcm = nullptr;

    ~Output()
    {
        if (pcm)
            snd_pcm_close(pcm);
    }

    bool open(const std::string& device, int rate, int channels)
    {
        // ALSA prints its complaints on stderr; a missing device is not the user's business
        snd_lib_error_set_handler(quietAlsa);
        if (snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0) {
            pcm = nullptr;
            return false;
        }
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        unsigned int rateNear = unsigned(rate);
        // room for a whole grain and more, handed over in small pieces
        unsigned int bufferUs = 120000;
        unsigned int periodUs = 10000;
        if (snd_pcm_hw_params_any(pcm, hw) < 0 ||
            snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
            snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16) < 0 ||
            snd_pcm_hw_params_set_channels(pcm, hw, unsigned(channels)) < 0 ||
            snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) < 0 ||
            snd_pcm_hw_params_set_rate_near(pcm, hw, &rateNear, nullptr) < 0 || rateNear != unsigned(rate) ||
            snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, nullptr) < 0 ||
            snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodUs, nullptr) < 0 || snd_pcm_hw_params(pcm, hw) < 0)
            return false;
        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        // the grain starts with its first piece, and says when on the monotonic clock
        return snd_pcm_sw_params_current(pcm, sw) >= 0 && snd_pcm_sw_params_set_start_threshold(pcm, sw, 1) >= 0 &&
               snd_pcm_sw_params_set_tstamp_mode(pcm, sw, SND_PCM_TSTAMP_ENABLE) >= 0 &&
               snd_pcm_sw_params_set_tstamp_type(pcm, sw, SND_PCM_TSTAMP_TYPE_MONOTONIC) >= 0 &&
               snd_pcm_sw_params(pcm, sw) >= 0;
    }

    // Plays samples at once, cutting short what still plays; the time the
    // first of them sounds, or the epoch when the output failed.
    std::chrono::steady_clock::time_point play(const std::vector<int16_t>& samples, int channels, int rate)
    {
        snd_pcm_drop(pcm);
        if (snd_pcm_prepare(pcm) < 0)
            return {};
        const auto frames = snd_pcm_uframes_t(samples.size() / size_t(channels));
        const auto handed = std::chrono::steady_clock::now();
        snd_pcm_uframes_t written = 0;
        while (written < frames) {
            const snd_pcm_sframes_t n = snd_pcm_writei(pcm, &samples[written * channels], frames - written);
            if (n < 0 && snd_pcm_recover(pcm, int(n), 1) < 0)
                return {};
            if (n > 0)
                written += snd_pcm_uframes_t(n);
        }
        snd_pcm_status_t* status = nullptr;
        snd_pcm_status_alloca(&status);
        if (snd_pcm_status(pcm, status) < 0)
            return {};
        // When the first sample sounds: what was written and is no longer
        // waiting in the output has been heard by the time of the status;
        // with a sound server's latency still ahead, it sounds that much later.
        snd_htimestamp_t at{};
        snd_pcm_status_get_htstamp(status, &at);
        std::chrono::steady_clock::time_point when(std::chrono::seconds(at.tv_sec) + std::chrono::nanoseconds(at.tv_nsec));
        if (at.tv_sec == 0 && at.tv_nsec == 0)
            when = std::chrono::steady_clock::now();
        const double ahead = double(snd_pcm_status_get_delay(status)) - double(written);
        when += std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(ahead / rate));
        // an output that takes the sound faster than it is heard (ALSA's null
        // device) cannot have played it before it was handed over
        return std::max(when, handed);
    }
};

SoundGrains::SoundGrains(std::string path, double fps) : path_(std::move(path)), fps_(fps)
{
    thread_ = std::thread([this] { run(); });
}

SoundGrains::~SoundGrains()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        if (decoder_)
            decoder_->stop = true;
    }
    changed_.notify_all();
    thread_.join();
}

void SoundGrains::play(int32_t frame)
{
    std::lock_guard lock(mutex_);
    if (broken_)
        return;
    wanted_ = frame;
    askedAt_ = std::chrono::steady_clock::now();
    changed_.notify_all();
}

bool SoundGrains::waitPlayed(int32_t frame, int timeoutMs, Played& played) const
{
    std::unique_lock lock(mutex_);
    const bool there = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return broken_ || (played_.frame == frame && wanted_ < 0); });
    if (!there || broken_)
        return false;
    played = played_;
    return true;
}

bool SoundGrains::makeGrain(int32_t frame, std::vector<int16_t>& samples)
{
    const int count = decoder_->rate * GrainMs / 1000;
    if (!decoder_->read(decoder_->frameZero + frame / fps_, count, samples))
        return false;
    const int channels = decoder_->outLayout.nb_channels;
    const int fade = std::max(1, int(decoder_->rate * FadeSeconds));
    for (int i = 0; i < fade && i < count; ++i) {
        const double gain = double(i) / fade;
        for (int c = 0; c < channels; ++c) {
            int16_t& head = samples[size_t(i) * channels + c];
            int16_t& tail = samples[size_t(count - 1 - i) * channels + c];
            head = int16_t(std::lround(head * gain));
            tail = int16_t(std::lround(tail * gain));
        }
    }
    return true;
}

void SoundGrains::run()
{
    // the film's sound and the device are opened at once, before the first step
    auto decoder = std::make_unique<Decoder>();
    auto output = std::make_unique<Output>();
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
        decoder_ = std::move(decoder);
    }
    const char* device = std::getenv("VELTRANA_SOUND_DEVICE");
    const bool ok = fps_ > 0.0 && decoder_->open(path_, fps_) &&
                    output->open(device && *device ? device : "default", decoder_->rate,
                                 decoder_->outLayout.nb_channels);
    std::unique_lock lock(mutex_);
    output_ = std::move(output);
    if (!ok) {
        broken_ = true;
        wanted_ = -1;
        changed_.notify_all();
        return;
    }
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || wanted_ >= 0; });
        if (stop_)
            return;
        const int32_t frame = wanted_;
        const auto asked = askedAt_;
        lock.unlock();
        Played played;
        if (makeGrain(frame, played.samples)) {
            played.frame = frame;
            played.asked = asked;
            played.rate = decoder_->rate;
            played.channels = decoder_->outLayout.nb_channels;
            played.started = output_->play(played.samples, played.channels, played.rate);
        }
        lock.lock();
        if (wanted_ == frame && askedAt_ == asked)
            wanted_ = -1;
        if (played.frame >= 0)
            played_ = std::move(played);
        changed_.notify_all();
    }
}

}  // namespace vt
