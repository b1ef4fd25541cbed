// The media player on libmpv: client API for control and sound, and for a
// film the frame cache cannot read, the software render API for the picture
// (a "bgr0" buffer wrapped as a QImage and painted by a child widget that
// lets the mouse through to the display window).
//
// mpv seeks exactly by decoding from the key frame before the target, a third
// of a second for every step back on an H.264 film with ten seconds between
// key frames. So wherever it can, the frame cache draws every picture: it
// decodes each group once, keeps what was shown and what lies just behind,
// and plays on at the pace of the sound, which mpv plays alone with its
// video switched off; a turn back is then a look-up. A film the cache gives
// up on is drawn by mpv, with the cache still serving steps back; mpv then
// stands paused where it was while the cache shows a picture, and "play" runs
// on through the cached pictures until mpv takes over at the same frame.
#include "platform/FrameCache.h"
#include "platform/MediaPlayer.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vt {

namespace {

class VideoSurface final : public QWidget {
public:
    explicit VideoSurface(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
    }

    QImage frame;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (frame.isNull() || frame.size() != size())
            painter.fillRect(rect(), Qt::black);
        if (!frame.isNull())
            painter.drawImage(QPoint(0, 0), frame);
    }
};

// mpv's buffers must be 64-byte aligned, rows included.
struct FrameBuffer {
    int width = 0;
    int height = 0;
    size_t stride = 0;
    void* pixels = nullptr;

    ~FrameBuffer() { std::free(pixels); }

    bool resize(int w, int h)
    {
        if (w == width && h == height && pixels)
            return false;
        std::free(pixels);
        width = w;
        height = h;
        stride = (static_cast<size_t>(w) * 4 + 63) / 64 * 64;
        pixels = std::aligned_alloc(64, std::max<size_t>(64, stride * static_cast<size_t>(h)));
        std::memset(pixels, 0, stride * static_cast<size_t>(h));
        return true;
    }
};

class MpvPlayer final : public QObject, public MediaPlayer {
public:
    explicit MpvPlayer(bool withAudio);
    ~MpvPlayer() override;

    void setFileName(const std::string& path) override { fileName_ = path; }
    void open() override;
    void close() override;
    bool isOpen() const override { return open_; }
    void setTimeFormat(TimeFormat format) override { format_ = format; }
    TimeFormat timeFormat() const override { return format_; }
    int64_t length() const override;
    int64_t position() const override;
    void play() override;
    void pause() override;
    void stop() override;
    void step(int32_t frames) override;
    void setDisplayWindow(QWidget* window) override;
    QRect displayRect() const override;
    void setDisplayRect(const QRect& rect) override;
    bool waitUntilSettled(int timeoutMs) override;

private:
    enum class State { Stopped, Playing, Paused };

    void requireOpen(const char* what) const;
    void drainEvents();
    void handleEvent(const mpv_event& event);
    void onRenderUpdate();
    void renderFrame();
    int32_t lastFrame() const { return std::max<int32_t>(0, frameCount_ - 1); }
    int32_t playbackFrame() const;
    int32_t currentFrame() const;
    int64_t inUnit(int64_t frames) const;
    void setPause(bool paused);
    void seekExact(int32_t frame);
    QSize readVideoSize() const;
    bool waitForEvent(mpv_event_id wanted, int timeoutMs, std::string* error);

    bool cacheServes() const { return cache_ && cache_->usable(); }
    void startCache();
    void showCached(const FramePicturePtr& picture);
    void onCacheNews();
    void haltPlaying();
    void startCachePlay();
    void stopCachePlay();
    void cachePlayTick();
    void sendMpvAhead();
    double clockFrame() const;
    int32_t dueFrame() const;
    FramePicturePtr advanceToDue();
    void playCachedPictures();
    void mpvFromCache();
    void resizeSurface(const QRect& rect);
    void wantWhileStanding();
    void catchUpWhileStanding();
    void drawFromCache();
    void stopDrawingFromCache();
    void setVideoDecoding(bool on);

    mpv_handle* mpv_ = nullptr;
    mpv_render_context* render_ = nullptr;
    std::string fileName_;
    TimeFormat format_ = TimeFormat::Frames;
    bool open_ = false;
    bool hasVideo_ = false;
    bool hasAudio_ = false;
    double fps_ = 0.0;
    double durationS_ = 0.0;
    int32_t frameCount_ = 0;

    State state_ = State::Stopped;
    // The frame the picture stands on, or is on its way to: the GUI thread
    // never waits for mpv, so the position of a step is known before mpv gets there.
    int32_t frame_ = 0;
    bool seekInFlight_ = false;

    // mirrors of observed properties
    double timePos_ = 0.0;
    bool eofReached_ = false;
    bool seeking_ = false;
    bool paused_ = true;

    QPointer<QWidget> window_;
    QPointer<VideoSurface> surface_;
    QRect displayRect_;
    bool displayRectSet_ = false;
    // the picture's own size (pixel aspect applied), read when the file opens
    QSize videoSize_;
    FrameBuffer buffer_;
    // a step asked for a new picture that has not been drawn yet
    bool awaitingPicture_ = false;

    // Who draws the picture of frame_: mpv, or the frame cache while the user
    // goes back (mpv then stands paused at mpvFrame_, out of step).
    enum class Source { Mpv, Cache };
    Source shown_ = Source::Mpv;
    int32_t mpvFrame_ = 0;
    std::unique_ptr<FrameCache> cache_;
    FrameCache::Heading heading_ = FrameCache::Heading::Standing;
    // "play" while the picture comes from the cache: frames go on at the
    // film's pace from cachePlayFrom_; mpv, sent to handoff_, takes over there
    bool cachePlaying_ = false;
    double cachePlayFrom_ = 0.0;  // the frame, with its fraction, at the clock's start
    QElapsedTimer cachePlayClock_;
    QTimer cachePlayTimer_;
    int32_t handoff_ = -1;
    // since the last step back: the levels that jump back play for at most
    // half a second between jumps, and sending mpv ahead on each would only
    // take the processor from the cache
    QElapsedTimer sinceStepBack_;
    // how long mpv's exact seeks take on this film, to send it far enough ahead
    QElapsedTimer seekClock_;
    double seekSeconds_ = 0.35;
    int32_t standingWish_ = -1;
    // bumped by every step and play: a wish made while standing still is
    // dropped once the user has moved on
    int standSerial_ = 0;
    // The cache draws every picture, play included, and mpv, its video
    // switched off, plays the sound alone: the film is decoded once, and the
    // frames just played are at hand for a turn back. Off for a film the cache
    // gives up on; mpv then shows the picture as well.
    bool cacheDraws_ = false;
};

constexpr int StandingWishMs = 100;

// A frame the cache showed and the user still looks at after this long: mpv
// is sent there, so that play starts on mpv, with its sound, without waiting
// for a seek. Longer than the slowest stepping level's period (200 ms), so
// that a run of steps back does not set mpv decoding beside the cache.
constexpr int CatchUpMs = 250;

// Play waits this long at most for mpv to start the sound where the picture stands.
constexpr qint64 SoundWaitMs = 500;

// A step back shorter ago than this keeps mpv out of it (the jumping levels
// come back every 200-500 ms).
constexpr qint64 HandoffQuietMs = 550;

enum ObservedProperty : uint64_t { TimePos = 1, EofReached, Seeking, Paused };

MpvPlayer::MpvPlayer(bool withAudio)
{
    // mpv refuses to start unless numbers are formatted the C way
    std::setlocale(LC_NUMERIC, "C");

    mpv_ = mpv_create();
    if (!mpv_)
        throw MediaError("无法创建媒体播放器");
    auto set = [this](const char* name, const char* value) { mpv_set_option_string(mpv_, name, value); };
    set("config", "no");
    set("terminal", "no");
    set("msg-level", "all=no");
    set("input-default-bindings", "no");
    set("input-vo-keyboard", "no");
    set("osc", "no");
    set("load-scripts", "no");
    set("ytdl", "no");
    set("idle", "yes");
    set("pause", "yes");
    set("keep-open", "always");
    set("vo", "libmpv");
    set("hwdec", "no");
    set("hr-seek", "yes");
    set("hr-seek-framedrop", "no");
    set("audio-display", "no");
    set("audio-fallback-to-null", "yes");
    set("load-unsafe-playlists", "no");
    // the timeline being edited lies beside the film: mpv would show the
    // copy on disk, with its old times, over the picture
    set("sub-auto", "no");
    set("sid", "no");
    if (!withAudio)
        set("ao", "null");
    if (mpv_initialize(mpv_) < 0) {
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        throw MediaError("无法初始化媒体播放器");
    }
    cachePlayTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&cachePlayTimer_, &QTimer::timeout, this, [this] { cachePlayTick(); });
    sinceStepBack_.start();

    mpv_observe_property(mpv_, TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_observe_property(mpv_, EofReached, "eof-reached", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, Seeking, "seeking", MPV_FORMAT_FLAG);
    mpv_observe_property(mpv_, Paused, "pause", MPV_FORMAT_FLAG);

    // the render context must exist before a file is loaded
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_create(&render_, mpv_, params) < 0) {
        mpv_terminate_destroy(mpv_);
        mpv_ = nullptr;
        throw MediaError("无法创建视频输出");
    }

    // mpv calls these from its own threads: only post a call to the GUI thread
    mpv_set_wakeup_callback(
        mpv_, [](void* self) {
            QMetaObject::invokeMethod(static_cast<MpvPlayer*>(self), [p = static_cast<MpvPlayer*>(self)] { p->drainEvents(); },
                                      Qt::QueuedConnection);
        },
        this);
    mpv_render_context_set_update_callback(
        render_, [](void* self) {
            QMetaObject::invokeMethod(static_cast<MpvPlayer*>(self), [p = static_cast<MpvPlayer*>(self)] { p->onRenderUpdate(); },
                                      Qt::QueuedConnection);
        },
        this);
}

MpvPlayer::~MpvPlayer()
{
    cache_.reset();
    if (render_) {
        mpv_render_context_set_update_callback(render_, nullptr, nullptr);
        mpv_render_context_free(render_);
    }
    if (mpv_) {
        mpv_set_wakeup_callback(mpv_, nullptr, nullptr);
        mpv_terminate_destroy(mpv_);
    }
    delete surface_.data();
}

void MpvPlayer::requireOpen(const char* what) const
{
    if (!open_)
        throw MediaError(std::string("媒体播放器未打开，无法") + what);
}

bool MpvPlayer::waitForEvent(mpv_event_id wanted, int timeoutMs, std::string* error)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        double left = (timeoutMs - waited.elapsed()) / 1000.0;
        mpv_event* event = mpv_wait_event(mpv_, std::max(0.0, left));
        if (event->event_id == MPV_EVENT_NONE)
            continue;
        if (event->event_id == MPV_EVENT_END_FILE) {
            auto* end = static_cast<mpv_event_end_file*>(event->data);
            if (wanted == MPV_EVENT_END_FILE)
                return true;
            if (end->reason == MPV_END_FILE_REASON_ERROR) {
                if (error)
                    *error = mpv_error_string(end->error);
                return false;
            }
            continue;
        }
        if (event->event_id == wanted)
            return true;
        handleEvent(*event);
    }
    if (error)
        *error = "等待超时";
    return false;
}

void MpvPlayer::open()
{
    close();
    if (fileName_.empty())
        throw MediaError("没有指定媒体文件");

    // a freshly opened player counts in frames
    format_ = TimeFormat::Frames;
    state_ = State::Stopped;
    frame_ = 0;
    mpvFrame_ = 0;
    shown_ = Source::Mpv;
    timePos_ = 0.0;
    eofReached_ = false;
    seekInFlight_ = false;
    setPause(true);
    // the track choice outlives the file it was made for
    setVideoDecoding(true);
    const char* cmd[] = {"loadfile", fileName_.c_str(), "replace", nullptr};
    if (int rc = mpv_command(mpv_, cmd); rc < 0)
        throw MediaError(std::string("无法打开 ") + fileName_ + ": " + mpv_error_string(rc));

    std::string error;
    if (!waitForEvent(MPV_EVENT_FILE_LOADED, 15000, &error)) {
        const char* stopCmd[] = {"stop", nullptr};
        mpv_command(mpv_, stopCmd);
        throw MediaError("无法打开 " + fileName_ + ": " + error);
    }

    double duration = 0.0;
    mpv_get_property(mpv_, "duration", MPV_FORMAT_DOUBLE, &duration);
    char* vid = mpv_get_property_string(mpv_, "vid");
    hasVideo_ = vid && std::string(vid) != "no";
    mpv_free(vid);
    char* aid = mpv_get_property_string(mpv_, "aid");
    hasAudio_ = aid && std::string(aid) != "no";
    mpv_free(aid);
    double fps = 0.0;
    if (hasVideo_ && mpv_get_property(mpv_, "container-fps", MPV_FORMAT_DOUBLE, &fps) < 0)
        mpv_get_property(mpv_, "estimated-vf-fps", MPV_FORMAT_DOUBLE, &fps);
    int64_t count = 0;
    if (hasVideo_ && mpv_get_property(mpv_, "estimated-frame-count", MPV_FORMAT_INT64, &count) < 0)
        count = static_cast<int64_t>(std::llround(duration * fps));

    if (!(duration > 0.0) || (hasVideo_ && (!(fps > 0.0) || count <= 0))) {
        // a still picture or something mpv took for a playlist: not a film
        const char* stopCmd[] = {"stop", nullptr};
        mpv_command(mpv_, stopCmd);
        waitForEvent(MPV_EVENT_END_FILE, 2000, nullptr);
        throw MediaError("无法打开 " + fileName_ + ": 不是可播放的媒体文件");
    }
    durationS_ = duration;
    fps_ = hasVideo_ ? fps : 0.0;
    frameCount_ = hasVideo_ ? static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)) : 0;
    videoSize_ = hasVideo_ ? readVideoSize() : QSize();
    open_ = true;
    // until a rectangle is set, the picture stands at its own size in the corner
    if (surface_ && !displayRectSet_ && videoSize_.isValid())
        resizeSurface(QRect(QPoint(0, 0), videoSize_));
    startCache();
}

void MpvPlayer::startCache()
{
    cache_.reset();
    // a player that only measures shows nothing and steps nowhere
    if (!hasVideo_ || !surface_)
        return;
    FrameCache::Film film{fileName_, fps_, frameCount_, videoSize_.width(), videoSize_.height()};
    cache_ = std::make_unique<FrameCache>(film, [this] {
        QMetaObject::invokeMethod(this, [this] { onCacheNews(); }, Qt::QueuedConnection);
    });
    cache_->setPictureSize(surface_->width(), surface_->height());
    if (open_ && state_ != State::Playing)
        drawFromCache();
}

void MpvPlayer::setVideoDecoding(bool on)
{
    mpv_set_property_string(mpv_, "vid", on ? "auto" : "no");
}

void MpvPlayer::drawFromCache()
{
    cacheDraws_ = true;
    setVideoDecoding(false);
    shown_ = Source::Cache;
    awaitingPicture_ = true;
    handoff_ = -1;
    cache_->want(frame_, FrameCache::Heading::Standing);
}

// A cache that gave up leaves the picture to mpv again.
void MpvPlayer::stopDrawingFromCache()
{
    if (!cacheDraws_)
        return;
    cacheDraws_ = false;
    setVideoDecoding(true);
}

void MpvPlayer::resizeSurface(const QRect& rect)
{
    if (!surface_)
        return;
    const QSize before = surface_->size();
    surface_->setGeometry(rect);
    if (cache_ && surface_->size() != before) {
        cache_->setPictureSize(surface_->width(), surface_->height());
        // the picture shown was made for the old size
        if (shown_ == Source::Cache && open_) {
            awaitingPicture_ = true;
            cache_->want(frame_, heading_);
        }
    }
}

QSize MpvPlayer::readVideoSize() const
{
    int64_t w = 0;
    int64_t h = 0;
    double par = 1.0;
    mpv_get_property(mpv_, "current-tracks/video/demux-w", MPV_FORMAT_INT64, &w);
    mpv_get_property(mpv_, "current-tracks/video/demux-h", MPV_FORMAT_INT64, &h);
    if (mpv_get_property(mpv_, "current-tracks/video/demux-par", MPV_FORMAT_DOUBLE, &par) < 0 || !(par > 0.0))
        par = 1.0;
    if (w <= 0 || h <= 0)
        return {};
    return QSize(static_cast<int>(std::lround(double(w) * par)), static_cast<int>(h));
}

void MpvPlayer::close()
{
    if (!open_)
        return;
    open_ = false;
    stopCachePlay();
    cache_.reset();
    cacheDraws_ = false;
    shown_ = Source::Mpv;
    const char* cmd[] = {"stop", nullptr};
    mpv_command(mpv_, cmd);
    waitForEvent(MPV_EVENT_END_FILE, 2000, nullptr);
    state_ = State::Stopped;
    frame_ = 0;
    frameCount_ = 0;
    fps_ = 0.0;
    hasVideo_ = false;
    videoSize_ = QSize();
    if (surface_) {
        surface_->frame = QImage();
        surface_->update();
    }
}

int64_t MpvPlayer::inUnit(int64_t frames) const
{
    if (format_ == TimeFormat::Frames)
        return frames;
    return fps_ > 0.0 ? static_cast<int64_t>(std::llround(static_cast<double>(frames) * 1000.0 / fps_)) : 0;
}

int64_t MpvPlayer::length() const
{
    requireOpen("读取长度");
    if (!hasVideo_)
        return format_ == TimeFormat::Milliseconds ? static_cast<int64_t>(std::llround(durationS_ * 1000.0)) : 0;
    return inUnit(frameCount_);
}

int32_t MpvPlayer::playbackFrame() const
{
    if (eofReached_)
        return lastFrame();
    int64_t f = static_cast<int64_t>(std::floor(timePos_ * fps_ + 0.5));
    return static_cast<int32_t>(std::clamp<int64_t>(f, 0, lastFrame()));
}

int32_t MpvPlayer::currentFrame() const
{
    // While a seek is under way mpv's clock still tells the old place; the
    // frame asked for is where playback goes on from. A step taken from the
    // old place would be lost whenever seeks take longer than the steps
    // come (long key-frame distances).
    if (state_ == State::Playing && shown_ == Source::Mpv && !seekInFlight_)
        return playbackFrame();
    return frame_;
}

int64_t MpvPlayer::position() const
{
    if (!open_)
        return 0;
    if (!hasVideo_)
        return format_ == TimeFormat::Milliseconds ? static_cast<int64_t>(std::llround(timePos_ * 1000.0)) : 0;
    return inUnit(currentFrame());
}

void MpvPlayer::setPause(bool paused)
{
    int flag = paused ? 1 : 0;
    mpv_set_property_async(mpv_, 0, "pause", MPV_FORMAT_FLAG, &flag);
}

// Stops whatever plays; frame_ is then the frame shown.
void MpvPlayer::haltPlaying()
{
    if (state_ != State::Playing)
        return;
    if (cachePlaying_) {
        stopCachePlay();
        if (cacheDraws_)
            setPause(true);
    } else {
        frame_ = currentFrame();
        mpvFrame_ = frame_;
        setPause(true);
    }
}

void MpvPlayer::play()
{
    requireOpen("播放");
    if (state_ == State::Playing)
        return;
    state_ = State::Playing;
    standingWish_ = -1;
    ++standSerial_;
    if (shown_ == Source::Cache && hasVideo_) {
        startCachePlay();
        // mpv, sent here while the user looked, takes over at once
        cachePlayTick();
        return;
    }
    if (cache_)
        cache_->rest();
    setPause(false);
}

void MpvPlayer::pause()
{
    requireOpen("暂停");
    if (state_ == State::Playing) {
        haltPlaying();
        state_ = State::Paused;
    } else if (state_ == State::Paused) {
        play();
    }
}

void MpvPlayer::stop()
{
    requireOpen("停止");
    haltPlaying();
    state_ = State::Stopped;
}

void MpvPlayer::seekExact(int32_t frame)
{
    // a quarter frame early lands on the frame itself whatever the rounding of its time stamp
    std::string target = std::to_string((frame - 0.25) / fps_);
    if (frame == 0)
        target = "0";
    const char* cmd[] = {"seek", target.c_str(), "absolute+exact", nullptr};
    mpv_command_async(mpv_, 0, cmd);
    seekInFlight_ = true;
    mpvFrame_ = frame;
    seekClock_.start();
}

void MpvPlayer::step(int32_t frames)
{
    requireOpen("单步");
    if (!hasVideo_)
        return;
    const bool wasPlaying = state_ == State::Playing;
    haltPlaying();
    state_ = State::Stopped;
    handoff_ = -1;
    standingWish_ = -1;
    ++standSerial_;
    const int32_t from = frame_;
    const auto target = static_cast<int32_t>(std::clamp<int64_t>(int64_t(from) + frames, 0, lastFrame()));
    if (target == from && !wasPlaying && (shown_ == Source::Cache || !eofReached_))
        return;
    if (target < from) {
        heading_ = FrameCache::Heading::Backward;
        sinceStepBack_.restart();
    } else if (target > from) {
        heading_ = FrameCache::Heading::Forward;
    }

    // mpv steps from the frame it shows, which a pause just asked for may
    // not have reached yet
    const bool inStep = shown_ == Source::Mpv && !seekInFlight_ && !eofReached_ && playbackFrame() == from;
    const bool frameStep = target == from + 1 && !wasPlaying && inStep;

    if (cacheServes()) {
        // the fast levels jump back from the play that followed the jump before
        const bool jumping = wasPlaying && target < from - 1;
        if (FramePicturePtr picture = cache_->picture(target)) {
            frame_ = target;
            showCached(picture);
            cache_->want(target, heading_, jumping);
            if (!wasPlaying)
                catchUpWhileStanding();
            return;
        }
        // A step back is decoded from its key frame once, with the group
        // around it. A step forward from a cached picture goes there too: mpv,
        // standing elsewhere, would seek; the cache's decoder is usually right
        // there. So does a seek while nothing plays (a click on the waveform):
        // the cache reaches the frame as soon as mpv would and keeps the ones
        // before it, for the step back that so often comes next.
        if ((target < from || shown_ == Source::Cache || (!wasPlaying && !frameStep)) && !cache_->cannotMake(target)) {
            frame_ = target;
            shown_ = Source::Cache;
            awaitingPicture_ = true;
            cache_->want(target, heading_, jumping);
            return;
        }
    }

    stopDrawingFromCache();
    if (frameStep) {
        // stepping one frame forward is cheap: no seek, no decoding from a key frame
        const char* cmd[] = {"frame-step", nullptr};
        mpv_command_async(mpv_, 0, cmd);
        mpvFrame_ = target;
    } else {
        seekExact(target);
    }
    if (cache_)
        cache_->rest();
    shown_ = Source::Mpv;
    frame_ = target;
    eofReached_ = false;
    awaitingPicture_ = true;
}

void MpvPlayer::showCached(const FramePicturePtr& picture)
{
    shown_ = Source::Cache;
    awaitingPicture_ = false;
    if (!surface_)
        return;
    // the image shares the cache's pixels and keeps them alive while shown
    auto* keep = new FramePicturePtr(picture);
    surface_->frame = QImage(picture->pixels.data(), picture->width, picture->height, picture->stride,
                             QImage::Format_RGB32, [](void* p) { delete static_cast<FramePicturePtr*>(p); }, keep);
    surface_->update();
}

void MpvPlayer::onCacheNews()
{
    if (!cache_ || !open_ || shown_ != Source::Cache)
        return;
    if (awaitingPicture_) {
        if (FramePicturePtr picture = cache_->picture(frame_)) {
            showCached(picture);
            if (cachePlaying_) {
                cachePlayFrom_ = frame_;
                cachePlayClock_.restart();
            } else if (state_ != State::Playing) {
                catchUpWhileStanding();
            }
        } else if (cache_->cannotMake(frame_)) {
            // the cache gave up on this film or frame: mpv seeks as it always did
            mpvFromCache();
        }
    }
}

// Hands the picture back to mpv at frame_, seeking there exactly.
void MpvPlayer::mpvFromCache()
{
    const bool playing = state_ == State::Playing;
    stopCachePlay();
    stopDrawingFromCache();
    shown_ = Source::Mpv;
    seekExact(frame_);
    eofReached_ = false;
    awaitingPicture_ = true;
    if (cache_)
        cache_->rest();
    if (playing) {
        state_ = State::Playing;
        setPause(false);
    }
}

// While the user looks at a frame mpv showed, the frames before it are
// decoded: the first step back is then as quick as the others. A moment
// later, so that a step that follows at once does not share the processor.
void MpvPlayer::wantWhileStanding()
{
    if (standingWish_ == frame_)
        return;
    standingWish_ = frame_;
    QTimer::singleShot(StandingWishMs, this, [this, frame = frame_] {
        if (cache_ && open_ && shown_ == Source::Mpv && state_ != State::Playing && frame_ == frame && !awaitingPicture_)
            cache_->want(frame, FrameCache::Heading::Standing);
    });
}

// While the user looks at a frame the cache showed: its frames before are
// made (unless he is on his way back, which makes them anyway), then mpv is
// sent there to stand ready for play.
void MpvPlayer::catchUpWhileStanding()
{
    const int serial = ++standSerial_;
    auto still = [this, serial] {
        return serial == standSerial_ && cache_ && open_ && shown_ == Source::Cache && state_ != State::Playing &&
               !awaitingPicture_;
    };
    QTimer::singleShot(StandingWishMs, this, [this, still] {
        if (still() && heading_ != FrameCache::Heading::Backward)
            cache_->want(frame_, FrameCache::Heading::Standing);
    });
    // mpv playing the sound alone finds its place at once when play starts
    if (cacheDraws_)
        return;
    QTimer::singleShot(CatchUpMs, this, [this, still] {
        if (!still() || cacheDraws_)
            return;
        const bool there = mpvFrame_ == frame_ && (handoff_ == frame_ || !seekInFlight_);
        handoff_ = frame_;
        if (!there) {
            seekExact(frame_);
            eofReached_ = false;
        }
    });
}

void MpvPlayer::startCachePlay()
{
    cachePlaying_ = true;
    cachePlayFrom_ = frame_;
    cachePlayClock_.start();
    if (cacheDraws_) {
        // going back in jumps, the play between keeps the frames behind coming
        if (sinceStepBack_.elapsed() >= HandoffQuietMs)
            heading_ = FrameCache::Heading::Forward;
        // the sound starts where the picture stands; the picture waits for it
        if (hasAudio_) {
            seekExact(frame_);
            setPause(false);
        }
    }
    const int period = std::max(4, static_cast<int>(500.0 / fps_));
    cachePlayTimer_.start(period);
}

void MpvPlayer::stopCachePlay()
{
    cachePlaying_ = false;
    cachePlayTimer_.stop();
}

void MpvPlayer::cachePlayTick()
{
    if (!cachePlaying_ || !cache_ || awaitingPicture_)
        return;
    if (cacheDraws_) {
        playCachedPictures();
        return;
    }
    // mpv stands on the frame shown and is paused: it plays on from here with its sound
    if (handoff_ == frame_ && !seekInFlight_) {
        stopCachePlay();
        shown_ = Source::Mpv;
        handoff_ = -1;
        timePos_ = frame_ / fps_;
        cache_->rest();
        setPause(false);
        return;
    }
    const int32_t due = dueFrame();
    if (FramePicturePtr latest = advanceToDue()) {
        showCached(latest);
        cache_->want(frame_, heading_);
    }
    const bool stuck = frame_ < due && !cache_->picture(frame_ + 1) && (handoff_ < 0 || frame_ < handoff_);
    if ((handoff_ < frame_ && sinceStepBack_.elapsed() >= HandoffQuietMs) || (stuck && handoff_ < frame_) ||
        (frame_ >= lastFrame() && handoff_ < 0))
        sendMpvAhead();
}

// Where the play clock stands, in frames with their fraction.
double MpvPlayer::clockFrame() const
{
    return cachePlayFrom_ + cachePlayClock_.nsecsElapsed() * 1e-9 * fps_;
}

// The frame the play clock has reached.
int32_t MpvPlayer::dueFrame() const
{
    return static_cast<int32_t>(std::clamp<double>(std::floor(clockFrame() + 1e-6), 0.0, lastFrame()));
}

// Moves frame_ on over the cached pictures up to the frame due (and not past
// where mpv is to take over); the last one passed, or null.
FramePicturePtr MpvPlayer::advanceToDue()
{
    const int32_t due = dueFrame();
    FramePicturePtr latest;
    while (frame_ < due && (handoff_ < 0 || frame_ < handoff_)) {
        FramePicturePtr next = cache_->picture(frame_ + 1);
        if (!next)
            break;
        latest = std::move(next);
        ++frame_;
    }
    return latest;
}

// Play while the cache draws: the pictures follow the clock, which follows
// the sound mpv plays, and stop on the last frame.
void MpvPlayer::playCachedPictures()
{
    if (!cache_->usable()) {
        mpvFromCache();
        return;
    }
    if (seekInFlight_) {
        if (seekClock_.elapsed() < SoundWaitMs)
            return;
        // no sound comes (past the end of a sound track shorter than the
        // picture): the picture goes on by the clock alone
        seekInFlight_ = false;
        cachePlayFrom_ = frame_;
        cachePlayClock_.restart();
    }
    if (FramePicturePtr latest = advanceToDue())
        showCached(latest);
    cache_->want(frame_, heading_);
}

// Sends mpv to where the cached frames will have got when its seek is done.
void MpvPlayer::sendMpvAhead()
{
    int32_t target = frame_;
    const auto lead = static_cast<int32_t>(std::ceil(seekSeconds_ * fps_)) + 2;
    while (target < frame_ + lead && target < lastFrame() && cache_->picture(target + 1))
        ++target;
    handoff_ = target;
    seekExact(target);
    eofReached_ = false;
}

void MpvPlayer::drainEvents()
{
    if (!mpv_)
        return;
    for (;;) {
        mpv_event* event = mpv_wait_event(mpv_, 0);
        if (event->event_id == MPV_EVENT_NONE)
            break;
        handleEvent(*event);
    }
}

void MpvPlayer::handleEvent(const mpv_event& event)
{
    switch (event.event_id) {
    case MPV_EVENT_PROPERTY_CHANGE: {
        auto* prop = static_cast<mpv_event_property*>(event.data);
        if (event.reply_userdata == TimePos && prop->format == MPV_FORMAT_DOUBLE)
            timePos_ = *static_cast<double*>(prop->data);
        else if (event.reply_userdata == EofReached && prop->format == MPV_FORMAT_FLAG)
            eofReached_ = *static_cast<int*>(prop->data) != 0;
        else if (event.reply_userdata == Seeking && prop->format == MPV_FORMAT_FLAG)
            seeking_ = *static_cast<int*>(prop->data) != 0;
        else if (event.reply_userdata == Paused && prop->format == MPV_FORMAT_FLAG)
            paused_ = *static_cast<int*>(prop->data) != 0;
        // The length is mpv's estimate from the duration, which a sound track
        // ending first cuts short: at the end the picture names the real last frame.
        if (eofReached_ && hasVideo_ && fps_ > 0.0 && !cacheDraws_) {
            const double last = std::floor(timePos_ * fps_ + 0.5);
            if (last > lastFrame() && last < INT32_MAX)
                frameCount_ = static_cast<int32_t>(last) + 1;
        }
        // the picture's clock follows the sound heard
        if (event.reply_userdata == TimePos && cacheDraws_ && cachePlaying_ && !seekInFlight_ && !eofReached_ &&
            !paused_ && fps_ > 0.0) {
            const double heard = timePos_ * fps_;
            if (std::fabs(heard - clockFrame()) > 0.5) {
                cachePlayFrom_ = heard;
                cachePlayClock_.restart();
            }
        }
        // A pause takes hold a frame or so after it was asked for: once mpv
        // stands still of its own accord, the position is the frame it shows
        // (a line set there must start on the picture the user sees).
        if (shown_ == Source::Mpv && state_ != State::Playing && paused_ && !seeking_ && !seekInFlight_ &&
            !awaitingPicture_ && hasVideo_) {
            frame_ = playbackFrame();
            mpvFrame_ = frame_;
            if (cache_)
                wantWhileStanding();
        }
        break;
    }
    case MPV_EVENT_PLAYBACK_RESTART:
        // the clock's next report may come after this: until then it stands
        // where the seek went, not where it came from
        if (seekInFlight_ && fps_ > 0.0) {
            timePos_ = mpvFrame_ / fps_;
            if (!cacheDraws_)
                seekSeconds_ = 0.7 * seekSeconds_ + 0.3 * (seekClock_.nsecsElapsed() * 1e-9);
        }
        // the sound is there: the pictures start with it
        if (seekInFlight_ && cacheDraws_ && cachePlaying_) {
            cachePlayFrom_ = frame_;
            cachePlayClock_.restart();
        }
        seekInFlight_ = false;
        break;
    default:
        break;
    }
}

void MpvPlayer::onRenderUpdate()
{
    if (!render_)
        return;
    uint64_t flags = mpv_render_context_update(render_);
    if (flags & MPV_RENDER_UPDATE_FRAME)
        renderFrame();
}

void MpvPlayer::renderFrame()
{
    // with its video switched off mpv has nothing to draw
    if (cacheDraws_)
        return;
    QSize size = surface_ ? surface_->size() : QSize(64, 36);
    if (size.width() <= 0 || size.height() <= 0)
        return;
    // the picture shown may be the buffer about to be given back
    const void* before = buffer_.pixels;
    if (buffer_.resize(size.width(), size.height()) && surface_ && before && surface_->frame.constBits() == before)
        surface_->frame = QImage();
    int swSize[2] = {buffer_.width, buffer_.height};
    size_t stride = buffer_.stride;
    // by default the call sleeps until the frame's time to be shown comes:
    // up to a frame's length of the GUI thread, on every frame
    int blockForTargetTime = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, swSize},
        {MPV_RENDER_PARAM_SW_FORMAT, const_cast<char*>("bgr0")},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, buffer_.pixels},
        {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &blockForTargetTime},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_render(render_, params) < 0)
        return;
    // mpv goes on drawing while the cache shows the picture; those frames are not the one reported
    if (shown_ != Source::Mpv)
        return;
    const bool stepped = awaitingPicture_ && state_ != State::Playing && !seekInFlight_;
    awaitingPicture_ = false;
    if (surface_) {
        surface_->frame = QImage(static_cast<const uchar*>(buffer_.pixels), buffer_.width, buffer_.height,
                                 static_cast<qsizetype>(buffer_.stride), QImage::Format_RGB32);
        surface_->update();
    }
    if (stepped && cache_)
        wantWhileStanding();
}

void MpvPlayer::setDisplayWindow(QWidget* window)
{
    delete surface_.data();
    window_ = window;
    if (!window)
        return;
    surface_ = new VideoSurface(window);
    surface_->setGeometry(displayRectSet_ ? displayRect_ : window->rect());
    surface_->lower();
    surface_->show();
    if (open_)
        startCache();
    renderFrame();
}

QRect MpvPlayer::displayRect() const
{
    if (displayRectSet_)
        return displayRect_;
    // nothing to place without a picture
    if (!open_ || !videoSize_.isValid())
        return {};
    return QRect(QPoint(0, 0), videoSize_);
}

void MpvPlayer::setDisplayRect(const QRect& rect)
{
    displayRect_ = rect;
    displayRectSet_ = true;
    if (surface_) {
        resizeSurface(rect);
        renderFrame();
    }
}

bool MpvPlayer::waitUntilSettled(int timeoutMs)
{
    // only observed properties are read here: asking mpv for a property
    // interrupts its decoding, and polling would slow the very seek we wait for
    QElapsedTimer waited;
    waited.start();
    // a step's picture is known to be drawn; after a pause the last one may still be on its way
    const bool afterStep = awaitingPicture_;
    while (waited.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        mpv_event* event = mpv_wait_event(mpv_, 0.002);
        if (event->event_id != MPV_EVENT_NONE) {
            handleEvent(*event);
            drainEvents();
        }
        if (!open_ || !hasVideo_)
            return true;
        if (shown_ == Source::Cache) {
            if (!awaitingPicture_) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                return true;
            }
            continue;
        }
        bool there = !seeking_ && !seekInFlight_ && paused_ && playbackFrame() == frame_;
        if (there && !awaitingPicture_) {
            // a picture queued behind the one just drawn still reaches the
            // widget; mpv's clock may name it before its drawing is handed over
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QElapsedTimer tail;
            tail.start();
            while (!afterStep && tail.elapsed() < 30)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<MediaPlayer> createMediaPlayer(bool withAudio)
{
    return std::make_unique<MpvPlayer>(withAudio);
}

}  // namespace vt
