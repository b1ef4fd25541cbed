#include "platform/FilmPictures.h"

#include "platform/FfmpegDecode.h"
#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace vt {

namespace {

std::string formatName(int format)
{
    const char* name = av_get_pix_fmt_name(AVPixelFormat(format));
    return name ? name : std::to_string(format);
}

// The player's frame grid: time counted from the file's start as
// libavformat names it, frame n at n / fps after it.
struct FrameGrid {
    double timeBase = 0.0;
    double start = 0.0;
    double fps = 0.0;

    FrameGrid(const AVFormatContext& format, const AVStream& stream, double rate)
        : timeBase(av_q2d(stream.time_base)),
          start(format.start_time == AV_NOPTS_VALUE ? 0.0 : double(format.start_time) / AV_TIME_BASE),
          fps(rate)
    {
    }

    int64_t frameOf(int64_t ts) const { return int64_t(std::floor((double(ts) * timeBase - start) * fps + 0.5)); }

    // A time stamp a quarter frame before frame n: a seek for it lands on
    // the key frame at or before n however the stamps round.
    int64_t timestampBefore(int64_t n) const
    {
        return int64_t(std::floor(((double(n) - 0.25) / fps + start) / timeBase));
    }
};

// Shrinks a decoded picture's luma to the analysis size by averaging the
// source pixels each small pixel covers. The luma plane of planar and
// semi-planar YUV and of grey pictures, 8 to 16 bits, is read as it lies in
// the frame: most films are such, and a box filter over one plane costs a
// fraction of what a colour conversion would. Anything else (RGB, packed
// YUV, palettes) goes through swscale.
class LumaShrinker {
public:
    LumaShrinker(int32_t width, int32_t height) : width_(width), height_(height) {}
    ~LumaShrinker() { sws_freeContext(sws_); }
    LumaShrinker(const LumaShrinker&) = delete;
    LumaShrinker& operator=(const LumaShrinker&) = delete;

    // False when the picture's format is one swscale cannot read either.
    bool shrink(const AVFrame& frame, uint8_t* out)
    {
        if (frame.width < width_ || frame.height < height_)
            return convert(frame, out);  // a picture smaller than the film said: swscale stretches it
        const int depth = lumaDepth(AVPixelFormat(frame.format));
        const int tallestBand = (frame.height + height_ - 1) / height_;
        if (depth == 8 && tallestBand <= 257)
            boxFilter<uint8_t, uint16_t>(frame, 0, out);
        else if (depth == 8)
            boxFilter<uint8_t, uint32_t>(frame, 0, out);
        else if (depth > 8)
            boxFilter<uint16_t, uint32_t>(frame, depth - 8, out);
        else
            return convert(frame, out);
        return true;
    }

private:
    // Bits of luma per sample when it lies alone in plane 0, one sample a
    // byte or one a little-endian 16-bit word; 0 otherwise.
    static int lumaDepth(AVPixelFormat format)
    {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        if (!d || d->nb_components < 1 ||
            (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                         AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BE)))
            return 0;
        const AVComponentDescriptor& y = d->comp[0];
        if (y.plane != 0 || y.offset != 0 || y.shift != 0)
            return 0;
        if (y.step == 1 && y.depth == 8)
            return 8;
        if (y.step == 2 && y.depth > 8 && y.depth <= 16)
            return y.depth;
        return 0;
    }

    // Where each small pixel's source columns and rows begin, for this
    // frame's size (a film may change size midway).
    void prepareBands(int frameWidth, int frameHeight)
    {
        if (frameWidth == bandsFor_[0] && frameHeight == bandsFor_[1])
            return;
        bandsFor_[0] = frameWidth;
        bandsFor_[1] = frameHeight;
        columns_.resize(size_t(width_) + 1);
        rows_.resize(size_t(height_) + 1);
        for (int32_t x = 0; x <= width_; ++x)
            columns_[size_t(x)] = int(int64_t(x) * frameWidth / width_);
        for (int32_t y = 0; y <= height_; ++y)
            rows_[size_t(y)] = int(int64_t(y) * frameHeight / height_);
        // a tall band is read every rowStep_-th row: at 1080p every fifth, six rows of the 30 a small pixel
        // covers, whose mean tells the band's light as well as all 30 do; reading every row cost a
        // twentieth of the analysis's time, mostly waiting for the frame to come from memory
        rowStep_ = std::max(1, frameHeight / height_ / RowsEnough);
        sums_.assign(size_t(frameWidth), 0);  // wide enough for 32-bit sums, used as 16-bit ones too
    }

    // Row sums of 8-bit samples fit in 16 bits for bands up to 257 rows
    // (any film shrunk to a picture 36 high or more), and then go twice as
    // fast as in 32.
    template <class Sample, class Sum>
    void boxFilter(const AVFrame& frame, int shift, uint8_t* out)
    {
        prepareBands(frame.width, frame.height);
        const size_t w = size_t(frame.width);
        Sum* __restrict sums = reinterpret_cast<Sum*>(sums_.data());
        for (int32_t y = 0; y < height_; ++y) {
            // the band's rows summed column by column first: a loop the compiler vectorises
            std::fill(sums, sums + w, Sum(0));
            uint32_t bandRows = 0;
            for (int r = rows_[size_t(y)]; r < rows_[size_t(y) + 1]; r += rowStep_, ++bandRows) {
                const Sample* __restrict row =
                    reinterpret_cast<const Sample*>(frame.data[0] + ptrdiff_t(r) * frame.linesize[0]);
                for (size_t c = 0; c < w; ++c)
                    sums[c] = Sum(sums[c] + row[c]);
            }
            for (int32_t x = 0; x < width_; ++x) {
                const int c0 = columns_[size_t(x)];
                const int c1 = columns_[size_t(x) + 1];
                uint64_t sum = 0;
                for (int c = c0; c < c1; ++c)
                    sum += sums[c];
                const uint64_t count = uint64_t(c1 - c0) * bandRows;
                const uint64_t mean = (sum + count / 2) / count;
                out[size_t(y) * size_t(width_) + size_t(x)] = uint8_t(std::min<uint64_t>(255, mean >> shift));
            }
        }
    }

    bool convert(const AVFrame& frame, uint8_t* out)
    {
        sws_ = sws_getCachedContext(sws_, frame.width, frame.height, AVPixelFormat(frame.format), width_, height_,
                                    AV_PIX_FMT_GRAY8, SWS_AREA, nullptr, nullptr, nullptr);
        if (!sws_)
            return false;
        uint8_t* dst[4] = {out, nullptr, nullptr, nullptr};
        int dstStride[4] = {width_, 0, 0, 0};
        sws_scale(sws_, frame.data, frame.linesize, 0, frame.height, dst, dstStride);
        return true;
    }

    // a band is read at least this many rows deep
    static constexpr int RowsEnough = 6;

    int32_t width_;
    int32_t height_;
    int bandsFor_[2] = {0, 0};
    int rowStep_ = 1;
    std::vector<int> columns_;
    std::vector<int> rows_;
    std::vector<uint32_t> sums_;
    SwsContext* sws_ = nullptr;
};

// The analysis picture's height for a film of this size and pixel shape.
int32_t shrunkHeight(int32_t width, const AVCodecContext& decoder, const AVStream& stream)
{
    AVRational sar = stream.sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = decoder.sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    const double shownWidth = double(decoder.width) * sar.num / sar.den;
    const auto h = int32_t(std::lround(width * double(decoder.height) / shownWidth));
    return std::clamp(h, 1, decoder.height);
}

class FfmpegPictures final : public PictureSource {
public:
    FfmpegPictures(const std::atomic<bool>& cancel, double fps) : cancel_(cancel), fps_(fps) {}

    // False when the file offers no pictures this source can decode.
    bool open(const std::string& path, int32_t width, int64_t fromFrame)
    {
        auto setup = [](AVCodecContext& c, const AVStream& s) {
            c.pkt_timebase = s.time_base;
            c.thread_count = 0;  // as many as libavcodec finds worth it, as FFmpeg's own tools use
        };
        if (!(fps_ > 0.0) || width <= 0 || !input_.open(path, cancel_, mainPictureStream, setup))
            return false;
        const AVCodecContext* decoder = input_.decoder();
        if (decoder->width <= 0 || decoder->height <= 0)
            return false;
        grid_.emplace(*input_.format(), *input_.stream(), fps_);
        width_ = std::min(width, int32_t(decoder->width));
        height_ = shrunkHeight(width_, *decoder, *input_.stream());
        shrinker_ = std::make_unique<LumaShrinker>(width_, height_);
        luma_.resize(size_t(width_) * size_t(height_));
        from_ = std::max<int64_t>(0, fromFrame);
        last_ = from_ - 1;
        if (from_ > 0)
            seekTo(from_);
        decoding_.emplace(input_);
        return decoding_->ready();
    }

    int32_t width() const override { return width_; }
    int32_t height() const override { return height_; }

    std::optional<SmallPicture> next() override
    {
        const auto decodable = [this](const AVPacket& packet) { return this->decodable(packet); };
        for (;;) {
            switch (decoding_->next(cancel_, decodable)) {
            case PacketDecoder::Next::Frame: {
                AVFrame* frame = decoding_->frame();
                std::optional<SmallPicture> picture = take(*frame);
                av_frame_unref(frame);
                if (picture)
                    return picture;
                break;
            }
            case PacketDecoder::Next::Ended:
            case PacketDecoder::Next::Stopped: return std::nullopt;
            case PacketDecoder::Next::Unreadable:
                throw PictureError("无法读取影片的画面：" + ffmpegText(decoding_->error()));
            }
        }
    }

private:
    void seekTo(int64_t frame)
    {
        const int64_t ts = grid_->timestampBefore(frame);
        if (avformat_seek_file(input_.format(), input_.streamIndex(), INT64_MIN, ts, ts, 0) >= 0)
            awaitingKey_ = true;
        // otherwise the film is decoded from where it stands, its start
    }

    // After a seek, the packets before the first key frame refer to
    // pictures the decoder never saw.
    bool decodable(const AVPacket& packet)
    {
        if (!awaitingKey_)
            return true;
        if (!(packet.flags & AV_PKT_FLAG_KEY))
            return false;
        awaitingKey_ = false;
        keyPts_ = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        return true;
    }

    // The frame a picture is shown on, when it is one to hand over: a
    // picture the player shows on a frame already handed over (a film
    // faster than the grid) or one before the frame asked for is not.
    std::optional<int64_t> frameToHand(const AVFrame& frame)
    {
        const int64_t ts = frame.best_effort_timestamp;
        // the leading pictures of an open group after a seek lean on a picture before it
        if (ts != AV_NOPTS_VALUE && keyPts_ != AV_NOPTS_VALUE && ts < keyPts_)
            return std::nullopt;
        const int64_t n = ts == AV_NOPTS_VALUE ? last_ + 1 : grid_->frameOf(ts);
        if (n <= last_)
            return std::nullopt;
        last_ = n;
        return n;
    }

    std::optional<SmallPicture> take(const AVFrame& frame)
    {
        const std::optional<int64_t> n = frameToHand(frame);
        if (!n)
            return std::nullopt;
        if (!shrinker_->shrink(frame, luma_.data()))
            throw PictureError("无法读取影片的画面：不支持的像素格式 " + formatName(frame.format));
        return SmallPicture{*n, luma_};
    }

    const std::atomic<bool>& cancel_;
    const double fps_;
    FfmpegInput input_;
    std::optional<PacketDecoder> decoding_;
    std::optional<FrameGrid> grid_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::unique_ptr<LumaShrinker> shrinker_;
    std::vector<uint8_t> luma_;
    int64_t from_ = 0;
    int64_t last_ = -1;
    bool awaitingKey_ = false;
    int64_t keyPts_ = AV_NOPTS_VALUE;
};

}  // namespace

std::unique_ptr<PictureSource> openFilmPictures(const std::string& path, float frameRate, const std::atomic<bool>& cancel)
{
    return openFilmPictures(path, frameRate, cancel, AnalysisWidth, 0);
}

std::unique_ptr<PictureSource> openFilmPictures(const std::string& path, float frameRate, const std::atomic<bool>& cancel,
                                                int32_t width, int64_t fromFrame)
{
    auto pictures = std::make_unique<FfmpegPictures>(cancel, double(frameRate));
    if (!pictures->open(path, width, fromFrame))
        return nullptr;
    return pictures;
}

std::vector<int64_t> keyFramesOf(const std::string& path, float frameRate, const std::atomic<bool>& cancel)
{
    // the decoder FfmpegInput opens is never fed; one thread is all it needs
    auto oneThread = [](AVCodecContext& c, const AVStream&) { c.thread_count = 1; };
    FfmpegInput input;
    if (!(frameRate > 0.0f) || !input.open(path, cancel, mainPictureStream, oneThread))
        return {};
    const FrameGrid grid(*input.format(), *input.stream(), double(frameRate));
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
    if (!packet)
        return {};
    std::vector<int64_t> keys;
    // a read that fails ends the list: these are only provisional marks
    while (!cancel.load(std::memory_order_relaxed) && av_read_frame(input.format(), packet.get()) >= 0) {
        if (packet->stream_index == input.streamIndex() && (packet->flags & AV_PKT_FLAG_KEY)) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts != AV_NOPTS_VALUE)
                keys.push_back(grid.frameOf(ts));
        }
        av_packet_unref(packet.get());
    }
    // packets come in decoding order
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    keys.erase(keys.begin(), std::lower_bound(keys.begin(), keys.end(), int64_t(0)));
    return keys;
}

std::optional<double> filmFrameRate(const std::string& path)
{
    const std::atomic<bool> never{false};
    auto oneThread = [](AVCodecContext& c, const AVStream&) { c.thread_count = 1; };
    FfmpegInput input;
    if (!input.open(path, never, mainPictureStream, oneThread))
        return std::nullopt;
    // the rate the container states for the whole stream, as the player takes it
    AVRational rate = input.stream()->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = input.stream()->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return std::nullopt;
    return av_q2d(rate);
}

}  // namespace vt
