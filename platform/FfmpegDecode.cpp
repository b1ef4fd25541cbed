#include "platform/FfmpegDecode.h"

#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace vt {

std::string ffmpegText(int err)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, text, sizeof text);
    return text;
}

PacketDecoder::PacketDecoder(const FfmpegInput& input)
    : format_(input.format()), codec_(input.decoder()), stream_(input.streamIndex()), packet_(av_packet_alloc()),
      frame_(av_frame_alloc())
{
}

PacketDecoder::~PacketDecoder()
{
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

PacketDecoder::Read PacketDecoder::readPacket(const PacketRule& rule)
{
    const int read = av_read_frame(format_, packet_);
    if (read < 0) {
        error_ = read;
        if (read == AVERROR_EXIT)
            return Read::Stopped;
        // a damaged or cut-off file: what was read so far is the film
        if (read != AVERROR_EOF && !(format_->pb && avio_feof(format_->pb)))
            return Read::Unreadable;
        endInput();
        return Read::Ended;
    }
    const bool ours = packet_->stream_index == stream_ && (!rule || rule(*packet_));
    if (ours)
        error_ = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    return ours ? Read::Sent : Read::Passed;
}

void PacketDecoder::endInput()
{
    if (inputEnded_)
        return;
    inputEnded_ = true;
    avcodec_send_packet(codec_, nullptr);
}

int PacketDecoder::receive()
{
    return avcodec_receive_frame(codec_, frame_);
}

PacketDecoder::Next PacketDecoder::next(const std::atomic<bool>& cancel, const PacketRule& rule)
{
    while (!cancel.load(std::memory_order_relaxed)) {
        const int got = receive();
        if (got == 0)
            return Next::Frame;
        if (got == AVERROR_EOF)
            return Next::Ended;
        if (got != AVERROR(EAGAIN))
            continue;  // a frame that does not decode is skipped
        if (inputEnded_)
            return Next::Ended;  // the decoder cannot be drained any further
        for (;;) {
            const Read read = readPacket(rule);
            if (read == Read::Stopped)
                return Next::Stopped;
            if (read == Read::Unreadable)
                return Next::Unreadable;
            if (read != Read::Passed)
                break;  // a packet the decoder refuses is skipped like one it takes
        }
    }
    return Next::Stopped;
}

void PacketDecoder::flush()
{
    avcodec_flush_buffers(codec_);
    inputEnded_ = false;
}

SoundConverter::~SoundConverter()
{
    swr_free(&swr_);
    av_channel_layout_uninit(&inLayout_);
}

bool SoundConverter::prepare(const AVFrame& frame, const AVChannelLayout& outLayout, int outRate)
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
    // this FFmpeg's swresample takes the layouts by non-const pointer, yet only reads them
    if (swr_alloc_set_opts2(&swr_, const_cast<AVChannelLayout*>(&outLayout), AV_SAMPLE_FMT_S16, outRate, &inLayout_,
                            AVSampleFormat(inFormat_), inRate_, 0, nullptr) < 0 ||
        swr_init(swr_) < 0) {
        swr_free(&swr_);
        return false;
    }
    return true;
}

AVChannelLayout layoutOf(const AVChannelLayout& given)
{
    AVChannelLayout layout{};
    if (given.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&layout, given.nb_channels);
    else
        av_channel_layout_copy(&layout, &given);
    return layout;
}

}  // namespace vt
