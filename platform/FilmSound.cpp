#include "platform/FilmSound.h"

#include "platform/FfmpegDecode.h"
#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <bit>
#include <optional>
#include <string>
#include <vector>

namespace vt {

namespace {

// The summary reads the most significant byte of each sample where a WAV
// file keeps it: the second byte of two.
static_assert(std::endian::native == std::endian::little, "samples are handed on as a WAV file holds them");

class FfmpegSound final : public SoundSource {
public:
    explicit FfmpegSound(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    ~FfmpegSound() override
    {
        av_channel_layout_uninit(&outLayout_);
    }

    // False when the file offers no sound this source can decode.
    bool open(const std::string& path)
    {
        auto firstAudio = [](const AVFormatContext& f) {
            for (unsigned i = 0; i < f.nb_streams; ++i)
                if (f.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                    return int(i);
            return -1;
        };
        auto timeBase = [](AVCodecContext& c, const AVStream& s) { c.pkt_timebase = s.time_base; };
        if (!input_.open(path, cancel_, firstAudio, timeBase))
            return false;
        const AVFormatContext* file = input_.format();
        const AVCodecContext* decoder = input_.decoder();
        const AVStream* stream = input_.stream();
        const int channels = decoder->ch_layout.nb_channels;
        if (channels <= 0 || decoder->sample_rate <= 0)
            return false;
        if (channels > 2)
            av_channel_layout_default(&outLayout_, 2);  // what `ffmpeg -ac 2` asks for
        else
            outLayout_ = layoutOf(decoder->ch_layout);
        format_ = {outLayout_.nb_channels, decoder->sample_rate};
        if (stream->duration > 0)
            duration_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000});
        else if (file->duration > 0)
            duration_ = file->duration;
        decoding_.emplace(input_);
        return decoding_->ready();
    }

    SoundFormat format() const override { return format_; }
    int64_t durationMicroseconds() const override { return duration_; }

    std::span<const int16_t> next() override
    {
        for (;;) {
            switch (decoding_->next(cancel_)) {
            case PacketDecoder::Next::Frame: {
                AVFrame* frame = decoding_->frame();
                std::span<const int16_t> samples = convert(*frame);
                av_frame_unref(frame);
                if (!samples.empty())
                    return samples;
                break;
            }
            case PacketDecoder::Next::Ended: return drainResampler();
            case PacketDecoder::Next::Stopped: return {};
            case PacketDecoder::Next::Unreadable:
                throw SoundError("无法读取影片的声音：" + ffmpegText(decoding_->error()));
            }
        }
    }

private:
    std::span<const int16_t> convert(const AVFrame& frame)
    {
        // the output keeps its first rate and layout should the sound's change midway
        if (frame.nb_samples <= 0 || !resampler_.prepare(frame, outLayout_, format_.sampleRate))
            return {};  // a frame the resampler cannot take is skipped like one that does not decode
        SwrContext* swr = resampler_.get();
        const int room = swr_get_out_samples(swr, frame.nb_samples);
        if (room <= 0)
            return {};
        samples_.resize(size_t(room) * size_t(format_.channels));
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int made = swr_convert(swr, &out, room, const_cast<const uint8_t**>(frame.extended_data),
                                     frame.nb_samples);
        if (made < 0)
            throw SoundError("无法转换影片的声音：" + ffmpegText(made));
        return {samples_.data(), size_t(made) * size_t(format_.channels)};
    }

    // What the resampler still holds once the sound has ended; then nothing.
    std::span<const int16_t> drainResampler()
    {
        SwrContext* swr = resampler_.get();
        if (!swr || drained_)
            return {};
        drained_ = true;
        const int room = swr_get_out_samples(swr, 0);
        if (room <= 0)
            return {};
        samples_.resize(size_t(room) * size_t(format_.channels));
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int made = swr_convert(swr, &out, room, nullptr, 0);
        if (made <= 0)
            return {};
        return {samples_.data(), size_t(made) * size_t(format_.channels)};
    }

    const std::atomic<bool>& cancel_;
    FfmpegInput input_;
    std::optional<PacketDecoder> decoding_;
    SoundConverter resampler_;
    AVChannelLayout outLayout_{};
    SoundFormat format_;
    int64_t duration_ = 0;
    std::vector<int16_t> samples_;
    bool drained_ = false;
};

}  // namespace

std::unique_ptr<SoundSource> openFilmSound(const std::string& path, const std::atomic<bool>& cancel)
{
    auto sound = std::make_unique<FfmpegSound>(cancel);
    if (!sound->open(path))
        return nullptr;
    return sound;
}

}  // namespace vt
