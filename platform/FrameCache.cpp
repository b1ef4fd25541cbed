#include "platform/FrameCache.h"

#include "platform/FfmpegDecode.h"
#include "platform/FfmpegInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>

#include <new>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace vt {

template <class T>
T* MappedAllocator<T>::allocate(size_t n)
{
    void* p = ::mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    return static_cast<T*>(p);
}

template <class T>
void MappedAllocator<T>::deallocate(T* p, size_t n) noexcept
{
    ::munmap(p, n * sizeof(T));
}

template struct MappedAllocator<uint8_t>;

namespace {

constexpr size_t PageBytes = 4096;

// Rows start on 32-byte boundaries, where swscale's vector code wants them.
int alignedRow(int bytes)
{
    return (bytes + 31) / 32 * 32;
}

}  // namespace

size_t FramePicture::bytesFor(int w, int h)
{
    const size_t luma = size_t(alignedRow(w)) * size_t(h);
    const size_t chroma = size_t(alignedRow((w + 1) / 2)) * size_t((h + 1) / 2);
    return (luma + 2 * chroma + PageBytes - 1) / PageBytes * PageBytes;
}

void FramePicture::allocate(int w, int h)
{
    filmWidth = w;
    filmHeight = h;
    strides[0] = alignedRow(w);
    strides[1] = strides[2] = alignedRow((w + 1) / 2);
    offsets[0] = 0;
    offsets[1] = size_t(strides[0]) * size_t(h);
    offsets[2] = offsets[1] + size_t(strides[1]) * size_t((h + 1) / 2);
    planes.resize(bytesFor(w, h));
}

PictureToRgb::~PictureToRgb()
{
    sws_freeContext(sws_);
}

bool PictureToRgb::convert(const FramePicture& picture, uint8_t* dst, int stride)
{
    // the bars, and behind the film while it is drawn in
    for (int y = 0; y < picture.height; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(dst + size_t(y) * size_t(stride)), picture.width, 0xff000000u);
    if (picture.filmWidth <= 0 || picture.filmHeight <= 0)
        return true;
    SwsContext* next = sws_getCachedContext(sws_, picture.filmWidth, picture.filmHeight, AV_PIX_FMT_YUV420P,
                                            picture.filmWidth, picture.filmHeight, AV_PIX_FMT_BGRA, SWS_POINT,
                                            nullptr, nullptr, nullptr);
    if (!next)
        return false;
    if (next != sws_ || picture.colorspace != space_ || picture.fullRange != full_) {
        sws_setColorspaceDetails(next, sws_getCoefficients(picture.colorspace), picture.fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        space_ = picture.colorspace;
        full_ = picture.fullRange;
    }
    sws_ = next;
    const uint8_t* src[4] = {picture.planes.data() + picture.offsets[0], picture.planes.data() + picture.offsets[1],
                             picture.planes.data() + picture.offsets[2], nullptr};
    const int srcStride[4] = {picture.strides[0], picture.strides[1], picture.strides[2], 0};
    uint8_t* out[4] = {dst + size_t(picture.filmY) * size_t(stride) + size_t(picture.filmX) * 4, nullptr, nullptr,
                       nullptr};
    int outStride[4] = {stride, 0, 0, 0};
    return sws_scale(sws_, src, srcStride, 0, picture.filmHeight, out, outStride) > 0;
}

namespace {

// Frame numbers further than this from the grid mean the film's rate is not
// the player's: nothing it decodes could be trusted.
constexpr double OffGrid = 0.3;

// Frames before the wish made on the way to it: a jump of the fastest
// backward level (1.6 s at 25 fps), three seconds of the slowest stepping
// one, while the rest of the group is decoded again. Shrinking them costs a
// tenth more on a seek of a 1080p film.
constexpr int32_t UrgentBefore = 40;

// A decoder this close before a frame goes on to it rather than another
// seeking for it: should a key frame lie between, the seek would have been
// quicker by at most this many frames' decoding.
constexpr int32_t GoOnRatherThanSeek = 25;

int swsColorspace(const AVFrame& f)
{
    switch (f.colorspace) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default:
        // what the player assumes of a film that does not say: HD is BT.709
        return f.width >= 1280 || f.height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

bool fullRange(const AVFrame& f)
{
    return f.color_range == AVCOL_RANGE_JPEG || f.format == AV_PIX_FMT_YUVJ420P || f.format == AV_PIX_FMT_YUVJ422P ||
           f.format == AV_PIX_FMT_YUVJ444P;
}

}  // namespace

struct FrameCache::Decoder {
    FfmpegInput input;
    AVFormatContext* format = nullptr;
    std::optional<PacketDecoder> decoding;
    AVFrame* frame = nullptr;  // the decoder's, where each frame is received
    SwsContext* sws = nullptr;
    int swsSpace = -1;
    bool swsFull = false;
    int stream = -1;
    double timeBase = 0.0;
    double start = 0.0;

    // after a seek: packets up to the first key frame are skipped, and
    // pictures before its time (leading pictures of an open group) dropped
    bool awaitingKey = true;
    bool fresh = true;
    int64_t keyPts = AV_NOPTS_VALUE;
    int64_t keyDts = AV_NOPTS_VALUE;
    int32_t seekedFor = -1;
    int32_t reseekFor = -1;  // the last seek landed after this frame: go to the key before keyDts
    int64_t reseekTs = 0;
    bool fromStart = false;
    int32_t lastKey = -1;

    ~Decoder()
    {
        sws_freeContext(sws);
    }

    bool open(const std::string& path, const std::atomic<bool>& stop)
    {
        auto bestVideo = [](const AVFormatContext& f) {
            return av_find_best_stream(const_cast<AVFormatContext*>(&f), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        };
        auto threads = [](AVCodecContext& c, const AVStream&) {
#if defined(__SANITIZE_THREAD__)
            // libavcodec's frame threads hand pictures over through atomics that
            // ThreadSanitizer cannot see in a library built without it
            c.thread_count = 1;
#else
            c.thread_count = 0;  // as many as libavcodec finds worth it: a frame thread more than cores
#endif
        };
        if (!input.open(path, stop, bestVideo, threads))
            return false;
        format = input.format();
        stream = input.streamIndex();
        decoding.emplace(input);
        frame = decoding->frame();
        timeBase = av_q2d(input.stream()->time_base);
        // the player counts time from the file's start, as libavformat names it
        start = format->start_time == AV_NOPTS_VALUE ? 0.0 : double(format->start_time) / AV_TIME_BASE;
        return decoding->ready() && timeBase > 0.0;
    }

    // False when the file cannot be seeked at all.
    bool seekTo(int32_t target, double fps)
    {
        int64_t ts = 0;
        if (reseekFor == target) {
            ts = reseekTs;
        } else {
            reseekFor = -1;
            ts = static_cast<int64_t>(std::floor(((target - 0.25) / fps + start) / timeBase));
        }
        const int64_t first = format->streams[stream]->start_time != AV_NOPTS_VALUE ? format->streams[stream]->start_time : 0;
        fromStart = target <= 0 || ts <= first || avformat_seek_file(format, stream, INT64_MIN, ts, ts, 0) < 0;
        if (fromStart && avformat_seek_file(format, stream, INT64_MIN, first, first, 0) < 0 &&
            av_seek_frame(format, stream, first, AVSEEK_FLAG_BACKWARD) < 0)
            return false;
        decoding->flush();
        awaitingKey = true;
        fresh = true;
        keyPts = keyDts = AV_NOPTS_VALUE;
        seekedFor = target;
        return true;
    }

    enum class Read { Fed, Ended, Stopped, Broken };

    // One packet of the stream into the decoder; past the last one, the
    // decoder is told the input ended, and the next read finds it Ended.
    Read readPacket(const std::atomic<bool>& stop)
    {
        if (decoding->inputEnded())
            return stop ? Read::Stopped : Read::Ended;
        switch (decoding->readPacket([this](const AVPacket& p) { return decodable(p); })) {
        case PacketDecoder::Read::Sent: {
            // damaged data is the decoder's to skip; anything else it refuses, it cannot go on from
            const int rc = decoding->error();
            return rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA ? Read::Broken : Read::Fed;
        }
        case PacketDecoder::Read::Passed: return Read::Fed;
        case PacketDecoder::Read::Stopped: return Read::Stopped;
        case PacketDecoder::Read::Ended:
        case PacketDecoder::Read::Unreadable: break;
        }
        if (stop)
            return Read::Stopped;
        // a read that fails ends the film there: what was read is still decoded
        decoding->endInput();
        return Read::Fed;
    }

    // After a seek, packets up to the first key frame refer to pictures the
    // decoder never saw; the key frame's times place what follows.
    bool decodable(const AVPacket& p)
    {
        if (!awaitingKey)
            return true;
        if (!(p.flags & AV_PKT_FLAG_KEY))
            return false;
        keyPts = p.pts != AV_NOPTS_VALUE ? p.pts : p.dts;
        keyDts = p.dts != AV_NOPTS_VALUE ? p.dts : keyPts;
        awaitingKey = false;
        return true;
    }

    // The frame number a time stamp names; false when it lies off the grid.
    bool frameNumber(int64_t ts, double fps, int32_t& n) const
    {
        const double exact = (double(ts) * timeBase - start) * fps;
        const double rounded = std::floor(exact + 0.5);
        if (std::fabs(exact - rounded) > OffGrid || rounded > INT32_MAX || rounded < INT32_MIN)
            return false;
        n = static_cast<int32_t>(rounded);
        return true;
    }

    // The frame just received shrunk to fit inside width x height, as the
    // player places it; null when swscale cannot convert it.
    std::shared_ptr<FramePicture> scale(int32_t n, int width, int height, const Film& film)
    {
        double shape = film.displayWidth > 0 && film.displayHeight > 0
                           ? double(film.displayWidth) / film.displayHeight
                           : double(frame->width) / std::max(1, frame->height);
        int iw = width;
        int ih = int(std::lround(width / shape));
        if (ih > height) {
            ih = height;
            iw = std::max(1, int(std::lround(height * shape)));
        }
        ih = std::max(1, ih);
        auto pic = std::make_shared<FramePicture>();
        pic->frame = n;
        pic->width = width;
        pic->height = height;
        pic->filmX = (width - iw) / 2;
        pic->filmY = (height - ih) / 2;
        pic->allocate(iw, ih);
        // area averaging: the filter for shrinking a film to the picture
        // band, and cheaper there than bilinear
        SwsContext* next = sws_getCachedContext(sws, frame->width, frame->height,
                                                static_cast<AVPixelFormat>(frame->format), iw, ih, AV_PIX_FMT_YUV420P,
                                                SWS_AREA, nullptr, nullptr, nullptr);
        if (!next)
            return nullptr;
        // the film's own matrix and range are kept, and applied when drawn;
        // a film in RGB is kept in full range
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
        const bool rgb = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB);
        const int space = rgb ? SWS_CS_ITU709 : swsColorspace(*frame);
        const bool full = rgb || fullRange(*frame);
        if (next != sws || space != swsSpace || full != swsFull) {
            sws_setColorspaceDetails(next, sws_getCoefficients(space), full ? 1 : 0, sws_getCoefficients(space),
                                     full ? 1 : 0, 0, 1 << 16, 1 << 16);
            swsSpace = space;
            swsFull = full;
        }
        sws = next;
        pic->colorspace = space;
        pic->fullRange = full;
        uint8_t* dst[4] = {pic->planes.data() + pic->offsets[0], pic->planes.data() + pic->offsets[1],
                           pic->planes.data() + pic->offsets[2], nullptr};
        int dstStride[4] = {pic->strides[0], pic->strides[1], pic->strides[2], 0};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
        return pic;
    }
};

FrameCache::FrameCache(Film film, std::function<void()> notify, size_t budgetBytes)
    : film_(std::move(film)), notify_(std::move(notify)), budgetBytes_(budgetBytes), endFrame_(film_.frameCount)
{
    if (!(film_.fps > 0.0) || film_.frameCount <= 0) {
        usable_ = false;
        return;
    }
    workers_[1].behind = true;
    for (Worker& worker : workers_) {
        worker.decoder = std::make_unique<Decoder>();
        worker.thread = std::thread([this, &worker] { run(worker); });
    }
}

FrameCache::~FrameCache()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    stopFlag_ = true;
    wake_.notify_all();
    for (Worker& worker : workers_)
        if (worker.thread.joinable())
            worker.thread.join();
}

void FrameCache::setPictureSize(int width, int height)
{
    std::lock_guard lock(mutex_);
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    ++generation_;
    pictures_.clear();
    wake_.notify_all();
}

void FrameCache::want(int32_t frame, Heading heading, bool jumping)
{
    std::lock_guard lock(mutex_);
    jumping_ = jumping;
    want_ = std::clamp(frame, 0, std::max(0, film_.frameCount - 1));
    heading_ = heading;
    resting_ = false;
    wake_.notify_all();
}

void FrameCache::rest()
{
    std::lock_guard lock(mutex_);
    resting_ = true;
}

FramePicturePtr FrameCache::picture(int32_t frame) const
{
    std::lock_guard lock(mutex_);
    auto it = pictures_.find(frame);
    return it == pictures_.end() ? nullptr : it->second;
}

bool FrameCache::cannotMake(int32_t frame) const
{
    std::lock_guard lock(mutex_);
    return !usable_ || frame < firstFrame_ || frame >= endFrame_;
}

size_t FrameCache::picturesHeld() const
{
    std::lock_guard lock(mutex_);
    return pictures_.size();
}

size_t FrameCache::bytesHeld() const
{
    std::lock_guard lock(mutex_);
    size_t bytes = 0;
    for (const auto& [frame, picture] : pictures_)
        bytes += picture->planes.size();
    return bytes;
}

size_t FrameCache::budgetFor(uint64_t physicalBytes)
{
    constexpr uint64_t MiB = uint64_t{1} << 20;
    return size_t(std::clamp<uint64_t>(physicalBytes / 8, 128 * MiB, 160 * MiB));
}

size_t FrameCache::defaultBudgetBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return budgetFor(pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : 0);
}

void FrameCache::giveUp()
{
    {
        std::lock_guard lock(mutex_);
        usable_ = false;
        pictures_.clear();
    }
    notify_();
}

bool FrameCache::continuableLocked(int32_t frame, const Worker& worker) const
{
    // decoding on from where the decoder stands costs less than a seek as
    // long as the frame lies within a group's length
    if (worker.decodedUpTo >= 0)
        return frame > worker.decodedUpTo && frame - worker.decodedUpTo <= longestGroup_;
    const Decoder& d = *worker.decoder;
    return d.seekedFor >= 0 && frame >= d.seekedFor && frame - d.seekedFor <= longestGroup_;
}

size_t FrameCache::capacityLocked() const
{
    if (width_ <= 0 || height_ <= 0)
        return 0;
    // pictures of a film that fills the band: bars only make them smaller
    return std::max<size_t>(8, budgetBytes_ / FramePicture::bytesFor(width_, height_));
}

void FrameCache::keepRangeLocked(int32_t& from, int32_t& to) const
{
    from = 0;
    to = -1;
    if (resting_ || want_ < 0 || width_ <= 0 || height_ <= 0)
        return;
    // the group before the one the user stands in, and a second's worth on
    // the other side for a turn or the play that follows a jump back
    const auto capacity = int32_t(capacityLocked());
    // going back, the frames after the wish were mostly seen on the way here
    const int32_t ahead = std::min<int32_t>(heading_ == Heading::Backward ? 8 : 25, capacity / 8);
    const int32_t behind = std::max<int32_t>(0, std::min<int32_t>(400, capacity * 3 / 4 - ahead));
    from = std::max(firstFrame_, want_ - behind);
    to = std::min(endFrame_ - 1, want_ + ahead);
}

bool FrameCache::waitedForLocked() const
{
    return heading_ != Heading::Standing && !jumping_;
}

bool FrameCache::planLocked(Plan& plan, const Worker& worker) const
{
    if (!usable_ || resting_ || want_ < 0 || width_ <= 0 || height_ <= 0)
        return false;
    const int32_t w = want_;
    if (w < firstFrame_ || w >= endFrame_)
        return false;
    keepRangeLocked(plan.keepFrom, plan.keepTo);
    plan.generation = generation_;
    plan.width = width_;
    plan.height = height_;

    auto held = [this](int32_t f) { return pictures_.count(f) != 0; };
    // frames the other worker is decoding its way to are left to it
    const Worker& other = workers_[worker.behind ? 0 : 1];
    auto others = [&other](int32_t f) { return other.jobTo >= 0 && f >= other.jobFrom && f <= other.jobTo; };
    // A wish just past where the one behind has decoded to comes sooner from
    // it, going on, than from a seek to the key frame it started from; the
    // front one takes it only when it can go on to it too.
    const Worker& front = workers_[0];
    const Worker& back = workers_[1];
    const bool backTakesWish = !held(w) && back.decodedUpTo >= 0 && w > back.decodedUpTo &&
                               w - back.decodedUpTo <= GoOnRatherThanSeek && !continuableLocked(w, front) &&
                               !(front.urgentPass && front.jobTo == w);
    if (!worker.behind) {
        // the wish and the frames after it are the other one's then
        if (backTakesWish)
            return false;
        // a wish the one behind is on its way to comes sooner from it than from a seek
        if (!held(w) && !others(w)) {
            plan.target = w;
            plan.seek = !continuableLocked(w, worker);
            return true;
        }
        // the frames just after: going forward they are the next wishes,
        // otherwise only while the decoder is on its way there anyway
        for (int32_t f = w + 1; f <= plan.keepTo; ++f) {
            if (held(f) || others(f))
                continue;
            const bool continuable = continuableLocked(f, worker);
            if (!continuable && heading_ != Heading::Forward)
                break;
            plan.target = f;
            plan.seek = !continuable;
            return true;
        }
        return false;
    }
    // while the user waits for a frame the front one makes, it has the processor
    if (front.urgentPass && front.jobTo == w && !held(w))
        return false;
    if (back.decodedUpTo >= 0 && w - back.decodedUpTo <= GoOnRatherThanSeek) {
        // the wish, and the few after it while it is there: the play that
        // follows a jump back shows them
        const int32_t from = std::max(w, back.decodedUpTo + 1);
        for (int32_t f = std::min(plan.keepTo, back.decodedUpTo + GoOnRatherThanSeek); f >= from; --f) {
            if (held(f) || others(f) || continuableLocked(f, front))
                continue;
            plan.target = f;
            plan.seek = false;
            return true;
        }
    }
    for (int32_t f = w - 1; f >= plan.keepFrom; --f) {
        if (held(f) || others(f))
            continue;
        plan.target = f;
        plan.seek = !continuableLocked(f, worker);
        return true;
    }
    return false;
}

void FrameCache::evictLocked()
{
    if (pictures_.empty() || width_ <= 0 || height_ <= 0)
        return;
    const size_t capacity = capacityLocked();
    // frames on the side the user comes from are worth a third of those he goes to
    auto cost = [this](int32_t f) {
        int64_t d = int64_t(f) - want_;
        bool behind = heading_ == Heading::Forward ? d < 0 : d > 0;
        return (d < 0 ? -d : d) * (behind ? 3 : 1);
    };
    while (pictures_.size() > capacity) {
        auto first = pictures_.begin();
        auto last = std::prev(pictures_.end());
        pictures_.erase(cost(first->first) >= cost(last->first) ? first : last);
    }
}

void FrameCache::run(Worker& worker)
{
    Decoder& d = *worker.decoder;
    {
        // the film is opened the first time a frame is wished for: probing
        // it decodes a few frames, which a player that only plays can spare
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_ || want_ >= 0; });
        if (stop_)
            return;
    }
    if (!d.open(film_.path, stopFlag_)) {
        if (!stopFlag_)
            giveUp();
        return;
    }

    std::unique_lock lock(mutex_);
    while (!stop_) {
        Plan plan;
        if (!planLocked(plan, worker)) {
            if (worker.jobTo >= 0) {
                // what this one left may be the other's to take
                worker.jobTo = -1;
                wake_.notify_all();
            }
            wake_.wait(lock);
            continue;
        }
        startPassLocked(plan, worker);
        lock.unlock();
        if (plan.seek && !d.seekTo(plan.target, film_.fps)) {
            giveUp();
            return;
        }

        // one packet, then plan again: a new wish is heard within a frame's decoding
        bool ended = false;
        switch (d.readPacket(stopFlag_)) {
        case Decoder::Read::Fed: break;
        case Decoder::Read::Ended: ended = true; break;
        case Decoder::Read::Stopped: return;
        case Decoder::Read::Broken: giveUp(); return;
        }
        bool news = false;
        if (!ended && !receiveFrames(worker, ended, news)) {
            giveUp();
            return;
        }

        lock.lock();
        if (ended)
            news = reachedEndLocked(worker) || news;
        if (news) {
            lock.unlock();
            notify_();
            lock.lock();
        }
    }
}

void FrameCache::startPassLocked(const Plan& plan, Worker& worker)
{
    // the user waits for the wish, whether the decoder seeks for it or goes on to it
    worker.urgentPass = !worker.behind && plan.target == want_;
    if (plan.seek) {
        worker.decodedUpTo = -1;
        // where the group starts is known once its key frame is decoded
        worker.jobFrom = std::max(0, plan.target - longestGroup_);
    } else if (worker.decodedUpTo >= 0) {
        worker.jobFrom = worker.decodedUpTo + 1;
    }
    worker.jobTo = plan.target;
}

bool FrameCache::receiveFrames(Worker& worker, bool& ended, bool& news)
{
    Decoder& d = *worker.decoder;
    for (;;) {
        const int rc = d.decoding->receive();
        if (rc == AVERROR(EAGAIN))
            return true;
        if (rc == AVERROR_EOF) {
            ended = true;
            return true;
        }
        if (rc < 0)
            return false;
        // the next frame is received into the same AVFrame, whichever way this one leaves
        struct Unref {
            AVFrame* frame;
            ~Unref() { av_frame_unref(frame); }
        } unref{d.frame};
        const int64_t ts = d.frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE)
            return false;
        if (d.keyPts != AV_NOPTS_VALUE && ts < d.keyPts)
            continue;
        int32_t n = 0;
        if (!d.frameNumber(ts, film_.fps, n))
            return false;

        std::unique_lock lock(mutex_);
        switch (placeLocked(worker, n, d.frame->key_frame != 0, news)) {
        case Placed::InOrder: break;
        case Placed::Reseek: return true;
        case Placed::OutOfOrder: return false;
        }
        if (!keepsLocked(worker, n))
            continue;
        const int width = width_;
        const int height = height_;
        const int generation = generation_;
        lock.unlock();

        FramePicturePtr picture = d.scale(n, width, height, film_);
        if (!picture)
            return false;
        lock.lock();
        if (generation == generation_) {
            pictures_[n] = std::move(picture);
            evictLocked();
            if (n == want_) {
                news = true;
                wake_.notify_all();  // the one behind may go on
            }
        }
    }
}

FrameCache::Placed FrameCache::placeLocked(Worker& worker, int32_t n, bool key, bool& news)
{
    Decoder& d = *worker.decoder;
    if (d.fresh) {
        d.fresh = false;
        if (n > d.seekedFor && !d.fromStart) {
            // landed on a key frame after the one wanted (its decoding
            // time lies before the frame's showing time): the key before it
            d.reseekFor = d.seekedFor;
            d.reseekTs = d.keyDts - 1;
            worker.decodedUpTo = -1;
            d.seekedFor = -1;
            return Placed::Reseek;
        }
        if (n > d.seekedFor)
            firstFrame_ = std::max(firstFrame_, n);
        worker.jobFrom = n;
        wake_.notify_all();
        d.reseekFor = -1;
        news = news || want_ < firstFrame_;
    } else if (n != worker.decodedUpTo + 1) {
        // frames missing or doubled: not a constant-rate film
        return Placed::OutOfOrder;
    }
    worker.decodedUpTo = n;
    d.seekedFor = -1;
    if (key) {
        if (d.lastKey >= 0 && n > d.lastKey)
            longestGroup_ = std::max(longestGroup_, n - d.lastKey + 25);
        d.lastKey = n;
    }
    return Placed::InOrder;
}

bool FrameCache::keepsLocked(const Worker& worker, int32_t n) const
{
    // kept when it still lies where the user is going
    int32_t keepFrom = 0;
    int32_t keepTo = -1;
    keepRangeLocked(keepFrom, keepTo);
    // Until the frame wished for is there, only the few next to it are
    // scaled: the step waits for decoding alone, as long as mpv's seek,
    // and the rest of the group is made again behind it while the user looks.
    // Jumps back (the fast levels) land on the frames below soon enough
    // that making them twice would cost more than scaling them now.
    // A pass that was going back over the group anyway keeps all it
    // makes, or a user catching up with it would leave holes behind.
    // Nobody waits for a frame wished for while standing.
    if (worker.urgentPass && waitedForLocked() && !pictures_.count(want_))
        keepFrom = std::max(keepFrom, want_ - UrgentBefore);
    return n >= keepFrom && n <= keepTo && !pictures_.count(n);
}

bool FrameCache::reachedEndLocked(Worker& worker)
{
    // the decoder has given every frame it has: whatever lies beyond
    // what it reached cannot be made; a new seek starts it again
    Decoder& d = *worker.decoder;
    if (worker.decodedUpTo >= 0 && worker.decodedUpTo + 1 < endFrame_)
        endFrame_ = worker.decodedUpTo + 1;
    else if (worker.decodedUpTo < 0 && d.seekedFor >= 0)
        endFrame_ = std::min(endFrame_, std::max(firstFrame_, d.seekedFor));
    worker.decodedUpTo = -1;
    d.seekedFor = -1;
    return want_ >= endFrame_;
}

}  // namespace vt
