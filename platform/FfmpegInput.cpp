#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace vt {

FfmpegInput::~FfmpegInput()
{
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
}

AVStream* FfmpegInput::stream() const
{
    return format_ && stream_ >= 0 ? format_->streams[stream_] : nullptr;
}

bool FfmpegInput::open(const std::string& path, const std::atomic<bool>& stop, const StreamRule& pick,
                       const DecoderSetup& setup)
{
    format_ = avformat_alloc_context();
    if (!format_)
        return false;
    format_->interrupt_callback.callback = [](void* flag) {
        return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
    };
    format_->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(&stop);
    if (avformat_open_input(&format_, path.c_str(), nullptr, nullptr) < 0)
        return false;  // avformat_open_input frees the context on failure
    if (avformat_find_stream_info(format_, nullptr) < 0)
        return false;
    stream_ = pick(*format_);
    if (stream_ < 0 || unsigned(stream_) >= format_->nb_streams) {
        stream_ = -1;
        return false;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (int(i) != stream_)
            format_->streams[i]->discard = AVDISCARD_ALL;
    const AVStream* st = format_->streams[stream_];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return false;
    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_ || avcodec_parameters_to_context(decoder_, st->codecpar) < 0)
        return false;
    setup(*decoder_, *st);
    return avcodec_open2(decoder_, codec, nullptr) >= 0;
}

int mainPictureStream(const AVFormatContext& f)
{
    auto isFilm = [&f](int i) {
        const AVStream* s = f.streams[i];
        return s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC);
    };
    const int best = av_find_best_stream(const_cast<AVFormatContext*>(&f), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && isFilm(best))
        return best;
    for (unsigned i = 0; i < f.nb_streams; ++i)
        if (isFilm(int(i)))
            return int(i);
    return -1;
}

std::optional<FilmContents> filmContentsOf(const std::string& path)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::optional<FilmContents> contents;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        contents.emplace();
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
                contents->sound = true;
        contents->pictures = mainPictureStream(*format) >= 0;
    }
    avformat_close_input(&format);
    return contents;
}

}  // namespace vt
