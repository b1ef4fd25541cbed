#include "platform/FilmSound.h"

#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include <bit>
#include <string>
#include <vector>

namespace vt {

namespace {

// The summary reads the most significant byte of each sample where a WAV
// file keeps it: the second byte of two.
static_assert(std::endian::native == std::endian::little, "samples are handed on as a WAV file holds them");

std::string ffmpegText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

// The layout a frame really has; one that names only a channel count gets
// FFmpeg's usual layout for it, as FFmpeg's own command line does.
AVChannelLayout layoutOf(const AVChannelLayout& given)
{
    AVChannelLayout layout{};
    if (given.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, given.nb_channels);
    else
        av_channel_layout_copy(&layout, &given);
    return layout;
}

class FfmpegSound final : public SoundSource {
public:
    explicit FfmpegSound(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    ~FfmpegSound() override
    {
        swr_free(&swr_);
        av_channel_layout_uninit(&inLayout_);
        av_channel_layout_uninit(&outLayout_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
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
        file_ = input_.format();
        decoder_ = input_.decoder();
        stream_ = input_.streamIndex();
        const AVStream* stream = input_.stream();
        const int channels = decoder_->ch_layout.nb_channels;
        if (channels <= 0 || decoder_->sample_rate <= 0)
            return false;
        if (channels > 2)
            av_channel_layout_default(&outLayout_, 2);  // what `ffmpeg -ac 2` asks for
        else
            outLayout_ = layoutOf(decoder_->ch_layout);
        format_ = {outLayout_.nb_channels, decoder_->sample_rate};
        if (stream->duration > 0)
            duration_ = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000});
        else if (file_->duration > 0)
            duration_ = file_->duration;
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        return packet_ && frame_;
    }

    SoundFormat format() const override { return format_; }
    int64_t durationMicroseconds() const override { return duration_; }

    std::span<const int16_t> next() override
    {
        while (!cancel_.load(std::memory_order_relaxed)) {
            const int got = avcodec_receive_frame(decoder_, frame_);
            if (got == 0) {
                std::span<const int16_t> samples = convert(*frame_);
                av_frame_unref(frame_);
                if (!samples.empty())
                    return samples;
                continue;
            }
            if (got == AVERROR_EOF)
                return drainResampler();
            if (got != AVERROR(EAGAIN))
                continue;  // a frame that does not decode is skipped, as FFmpeg's own tools do
            if (inputEnded_)
                return drainResampler();  // the decoder cannot be drained any further
            feedDecoder();
        }
        return {};
    }

private:
    // One packet of the sound stream into the decoder, or the end of the
    // input once the file has none left.
    void feedDecoder()
    {
        for (;;) {
            const int read = av_read_frame(file_, packet_);
            if (read == AVERROR_EOF || read == AVERROR_EXIT) {
                endInput();
                return;
            }
            if (read < 0) {
                // a damaged or cut-off file: what was read so far is the sound
                if (avio_feof(file_->pb)) {
                    endInput();
                    return;
                }
                throw SoundError("无法读取影片的声音：" + ffmpegText(read));
            }
            const bool ours = packet_->stream_index == stream_;
            if (ours) {
                // a packet the decoder refuses is skipped, as FFmpeg's own tools do
                (void)avcodec_send_packet(decoder_, packet_);
            }
            av_packet_unref(packet_);
            if (ours)
                return;
        }
    }

    void endInput()
    {
        inputEnded_ = true;
        avcodec_send_packet(decoder_, nullptr);
    }

    // Sets the resampler up for the frame's format; again when it changes
    // in the middle of the sound (the output keeps its first rate and layout).
    bool prepareResampler(const AVFrame& frame)
    {
        AVChannelLayout layout = layoutOf(frame.ch_layout);
        const bool same = swr_ && frame.format == inFormat_ && frame.sample_rate == inRate_ &&
                          av_channel_layout_compare(&layout, &inLayout_) == 0;
        if (same) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        swr_free(&swr_);
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = layout;
        inFormat_ = frame.format;
        inRate_ = frame.sample_rate;
        if (swr_alloc_set_opts2(&swr_, &outLayout_, AV_SAMPLE_FMT_S16, format_.sampleRate, &inLayout_,
                                AVSampleFormat(inFormat_), inRate_, 0, nullptr) < 0 ||
            swr_init(swr_) < 0) {
            swr_free(&swr_);
            return false;
        }
        return true;
    }

    std::span<const int16_t> convert(const AVFrame& frame)
    {
        if (frame.nb_samples <= 0 || !prepareResampler(frame))
            return {};  // a frame the resampler cannot take is skipped like one that does not decode
        const int room = swr_get_out_samples(swr_, frame.nb_samples);
        if (room <= 0)
            return {};
        samples_.resize(size_t(room) * size_t(format_.channels));
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int made = swr_convert(swr_, &out, room, const_cast<const uint8_t**>(frame.extended_data),
                                     frame.nb_samples);
        if (made < 0)
            throw SoundError("无法转换影片的声音：" + ffmpegText(made));
        return {samples_.data(), size_t(made) * size_t(format_.channels)};
    }

    // What the resampler still holds once the sound has ended; then nothing.
    std::span<const int16_t> drainResampler()
    {
        if (!swr_ || drained_)
            return {};
        drained_ = true;
        const int room = swr_get_out_samples(swr_, 0);
        if (room <= 0)
            return {};
        samples_.resize(size_t(room) * size_t(format_.channels));
        auto* out = reinterpret_cast<uint8_t*>(samples_.data());
        const int made = swr_convert(swr_, &out, room, nullptr, 0);
        if (made <= 0)
            return {};
        return {samples_.data(), size_t(made) * size_t(format_.channels)};
    }

    const std::atomic<bool>& cancel_;
    FfmpegInput input_;
    AVFormatContext* file_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int stream_ = -1;
    AVChannelLayout inLayout_{};
    AVChannelLayout outLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
    SoundFormat format_;
    int64_t duration_ = 0;
    std::vector<int16_t> samples_;
    bool inputEnded_ = false;
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
