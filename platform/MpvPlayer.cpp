// The media player on libmpv: client API for control and sound, and for a
// film the frame cache cannot read, the software render API for the picture.
// Three rooms: the client handle (MpvClient), the picture drawn in software
// (SoftwarePicture), and here the hand-over between mpv and the frame cache,
// whose states are PictureHandover's.
//
// mpv seeks exactly by decoding from the key frame before the target, a third
// of a second for every step back on an H.264 film with ten seconds between
// key frames. So wherever it can, the frame cache draws every picture: it
// decodes each group once, keeps what was shown and what lies just behind,
// and plays on at the pace of the sound, which mpv plays alone with its
// video switched off; a turn back is then a look-up. A film the cache gives
// up on, and the frames it cannot make, mpv draws itself: its video switched
// on again, it reaches the frame by a frame step or an exact seek and renders
// it in software.
#include "platform/FrameCache.h"
#include "platform/MediaPlayer.h"
#include "platform/MpvClient.h"
#include "platform/PictureHandover.h"
#include "platform/SoftwarePicture.h"
#include "platform/SoundGrains.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include <malloc.h>

namespace vt {

namespace {

class MpvPlayer final : public QObject, public MediaPlayer {
public:
    explicit MpvPlayer(bool withAudio);

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
    double clockFrame() const;
    int32_t dueFrame() const;
    FramePicturePtr advanceToDue();
    void playCachedPictures();
    void mpvFromCache();
    void resizeSurface(const QRect& rect);
    void wantWhileStanding();
    void catchUpWhileStanding();
    void drawFromCache();
    void showFromCache();
    void setVideoDecoding(bool on);

    // Released in the opposite order: the cache's thread, then the render
    // context, then the handle both hang on.
    MpvClient mpv_;
    SoftwarePicture picture_;
    std::unique_ptr<FrameCache> cache_;
    // the sound under a frame stepped onto, for a player with sound
    const bool withAudio_;
    std::unique_ptr<SoundGrains> grains_;

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
    QRect displayRect_;
    bool displayRectSet_ = false;
    // the picture's own size (pixel aspect applied), read when the file opens
    QSize videoSize_;
    // a step asked for a new picture that has not been drawn yet
    bool awaitingPicture_ = false;

    // Who draws the picture of frame_; the frame mpv was sent to last.
    PictureHandover handover_;
    int32_t mpvFrame_ = 0;
    FrameCache::Heading heading_ = FrameCache::Heading::Standing;
    // play on the cache's pictures: frames go on at the film's pace
    PlayClock playClock_;
    QTimer cachePlayTimer_;
    // since the last step back: the levels that jump back play for at most
    // half a second between jumps
    QElapsedTimer sinceStepBack_;
    // since mpv was sent somewhere
    QElapsedTimer seekClock_;
    int32_t standingWish_ = -1;
    // bumped by every step and play: a wish made while standing still is
    // dropped once the user has moved on
    int standSerial_ = 0;
};

constexpr int StandingWishMs = 100;

// Play waits this long at most for mpv to start the sound where the picture stands.
constexpr qint64 SoundWaitMs = 500;

// Play that starts sooner than this after a step back is the play between
// the jumps of a fast backward level (they come every 200-500 ms).
constexpr qint64 JumpPlayMs = 550;

enum ObservedProperty : uint64_t { TimePos = 1, EofReached, Seeking, Paused };

// The decoders' pictures (a few megabytes each, in pools) go straight to the
// system and back to it when freed. glibc otherwise raises its threshold for
// that after the first such free, and from then on keeps them in its heaps,
// where a player opened after another finds them too scattered to reuse.
void handLargeBuffersToTheSystem()
{
    static const bool once = [] { return mallopt(M_MMAP_THRESHOLD, 256 * 1024) == 1; }();
    (void)once;
}

MpvPlayer::MpvPlayer(bool withAudio)
    : mpv_((handLargeBuffersToTheSystem(), withAudio)),
      // mpv calls these from its own threads: only post a call to the GUI thread
      picture_(mpv_.handle(),
               [this] { QMetaObject::invokeMethod(this, [this] { onRenderUpdate(); }, Qt::QueuedConnection); }),
      withAudio_(withAudio)
{
    cachePlayTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&cachePlayTimer_, &QTimer::timeout, this, [this] { cachePlayTick(); });
    sinceStepBack_.start();

    mpv_.observe(TimePos, "time-pos", MPV_FORMAT_DOUBLE);
    mpv_.observe(EofReached, "eof-reached", MPV_FORMAT_FLAG);
    mpv_.observe(Seeking, "seeking", MPV_FORMAT_FLAG);
    mpv_.observe(Paused, "pause", MPV_FORMAT_FLAG);
    mpv_.onWakeup([this] { QMetaObject::invokeMethod(this, [this] { drainEvents(); }, Qt::QueuedConnection); });
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
        const mpv_event& event = mpv_.waitEvent(std::max(0.0, left));
        if (event.event_id == MPV_EVENT_NONE)
            continue;
        if (event.event_id == MPV_EVENT_END_FILE) {
            auto* end = static_cast<mpv_event_end_file*>(event.data);
            if (wanted == MPV_EVENT_END_FILE)
                return true;
            if (end->reason == MPV_END_FILE_REASON_ERROR) {
                if (error)
                    *error = mpv_error_string(end->error);
                return false;
            }
            continue;
        }
        if (event.event_id == wanted)
            return true;
        handleEvent(event);
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
    handover_.reset();
    timePos_ = 0.0;
    eofReached_ = false;
    seekInFlight_ = false;
    setPause(true);
    // the track choice outlives the file it was made for
    setVideoDecoding(true);
    const char* cmd[] = {"loadfile", fileName_.c_str(), "replace", nullptr};
    if (int rc = mpv_.command(cmd); rc < 0)
        throw MediaError(std::string("无法打开 ") + fileName_ + ": " + mpv_error_string(rc));

    const char* stopCmd[] = {"stop", nullptr};
    std::string error;
    if (!waitForEvent(MPV_EVENT_FILE_LOADED, 15000, &error)) {
        mpv_.command(stopCmd);
        throw MediaError("无法打开 " + fileName_ + ": " + error);
    }

    double duration = 0.0;
    mpv_.getDouble("duration", duration);
    const std::string vid = mpv_.getString("vid");
    hasVideo_ = !vid.empty() && vid != "no";
    const std::string aid = mpv_.getString("aid");
    hasAudio_ = !aid.empty() && aid != "no";
    double fps = 0.0;
    if (hasVideo_ && !mpv_.getDouble("container-fps", fps))
        mpv_.getDouble("estimated-vf-fps", fps);
    int64_t count = 0;
    if (hasVideo_ && !mpv_.getInt64("estimated-frame-count", count))
        count = static_cast<int64_t>(std::llround(duration * fps));

    if (!(duration > 0.0) || (hasVideo_ && (!(fps > 0.0) || count <= 0))) {
        // a still picture or something mpv took for a playlist: not a film
        mpv_.command(stopCmd);
        waitForEvent(MPV_EVENT_END_FILE, 2000, nullptr);
        throw MediaError("无法打开 " + fileName_ + ": 不是可播放的媒体文件");
    }
    durationS_ = duration;
    fps_ = hasVideo_ ? fps : 0.0;
    frameCount_ = hasVideo_ ? static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)) : 0;
    videoSize_ = hasVideo_ ? readVideoSize() : QSize();
    open_ = true;
    // until a rectangle is set, the picture stands at its own size in the corner
    if (picture_.hasSurface() && !displayRectSet_ && videoSize_.isValid())
        resizeSurface(QRect(QPoint(0, 0), videoSize_));
    startCache();
    if (withAudio_ && hasAudio_ && hasVideo_)
        grains_ = std::make_unique<SoundGrains>(fileName_, fps_);
}

void MpvPlayer::startCache()
{
    cache_.reset();
    // a player that only measures shows nothing and steps nowhere
    if (!hasVideo_ || !picture_.hasSurface())
        return;
    FrameCache::Film film{fileName_, fps_, frameCount_, videoSize_.width(), videoSize_.height()};
    cache_ = std::make_unique<FrameCache>(film, [this] {
        QMetaObject::invokeMethod(this, [this] { onCacheNews(); }, Qt::QueuedConnection);
    });
    const QSize size = picture_.size();
    cache_->setPictureSize(size.width(), size.height());
    if (open_ && state_ != State::Playing)
        drawFromCache();
}

void MpvPlayer::setVideoDecoding(bool on)
{
    mpv_.setString("vid", on ? "auto" : "no");
}

void MpvPlayer::drawFromCache()
{
    showFromCache();
    awaitingPicture_ = true;
    cache_->want(frame_, FrameCache::Heading::Standing);
}

// A step the cache serves. Where mpv drew the film (the frames the cache
// could not make), the cache draws every picture again from here on, so that
// play from this frame has mpv's sound at once rather than after a hand-over.
void MpvPlayer::showFromCache()
{
    if (!handover_.drawAllFromCache())
        return;
    setVideoDecoding(false);
    picture_.dropRendered();
}

void MpvPlayer::resizeSurface(const QRect& rect)
{
    if (!picture_.hasSurface())
        return;
    const QSize before = picture_.size();
    picture_.setGeometry(rect);
    const QSize size = picture_.size();
    if (cache_ && size != before) {
        cache_->setPictureSize(size.width(), size.height());
        // the picture shown was made for the old size
        if (handover_.cacheShows() && open_) {
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
    mpv_.getInt64("current-tracks/video/demux-w", w);
    mpv_.getInt64("current-tracks/video/demux-h", h);
    if (!mpv_.getDouble("current-tracks/video/demux-par", par) || !(par > 0.0))
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
    grains_.reset();
    handover_.reset();
    const char* cmd[] = {"stop", nullptr};
    mpv_.command(cmd);
    waitForEvent(MPV_EVENT_END_FILE, 2000, nullptr);
    state_ = State::Stopped;
    frame_ = 0;
    frameCount_ = 0;
    fps_ = 0.0;
    hasVideo_ = false;
    videoSize_ = QSize();
    picture_.clear();
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
    if (state_ == State::Playing && !handover_.cacheShows() && !seekInFlight_)
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
    mpv_.setFlagAsync("pause", paused);
}

// Stops whatever plays; frame_ is then the frame shown.
void MpvPlayer::haltPlaying()
{
    if (state_ != State::Playing)
        return;
    if (handover_.cachePlays()) {
        stopCachePlay();
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
    if (handover_.cacheShows() && hasVideo_) {
        startCachePlay();
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
    mpv_.commandAsync(cmd);
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
    standingWish_ = -1;
    ++standSerial_;
    const int32_t from = frame_;
    const auto target = static_cast<int32_t>(std::clamp<int64_t>(int64_t(from) + frames, 0, lastFrame()));
    if (target == from && !wasPlaying && (handover_.cacheShows() || !eofReached_))
        return;
    // a single frame's step lets the user hear what lies under it
    if (grains_ && !wasPlaying && (frames == 1 || frames == -1) && target != from)
        grains_->play(target);
    if (target < from) {
        heading_ = FrameCache::Heading::Backward;
        sinceStepBack_.restart();
    } else if (target > from) {
        heading_ = FrameCache::Heading::Forward;
    }

    // mpv steps from the frame it shows, which a pause just asked for may
    // not have reached yet
    const bool inStep = !handover_.cacheShows() && !seekInFlight_ && !eofReached_ && playbackFrame() == from;
    const bool frameStep = target == from + 1 && !wasPlaying && inStep;

    if (cacheServes()) {
        // the fast levels jump back from the play that followed the jump before
        const bool jumping = wasPlaying && target < from - 1;
        if (FramePicturePtr picture = cache_->picture(target)) {
            frame_ = target;
            showFromCache();
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
        if ((target < from || handover_.cacheShows() || (!wasPlaying && !frameStep)) && !cache_->cannotMake(target)) {
            frame_ = target;
            showFromCache();
            awaitingPicture_ = true;
            cache_->want(target, heading_, jumping);
            return;
        }
    }

    if (handover_.backToMpv())
        setVideoDecoding(true);
    if (frameStep) {
        // stepping one frame forward is cheap: no seek, no decoding from a key frame
        const char* cmd[] = {"frame-step", nullptr};
        mpv_.commandAsync(cmd);
        mpvFrame_ = target;
    } else {
        seekExact(target);
    }
    if (cache_)
        cache_->rest();
    frame_ = target;
    eofReached_ = false;
    awaitingPicture_ = true;
}

void MpvPlayer::showCached(const FramePicturePtr& picture)
{
    awaitingPicture_ = false;
    picture_.showCached(picture);
}

void MpvPlayer::onCacheNews()
{
    if (!cache_ || !open_ || !handover_.cacheShows())
        return;
    if (awaitingPicture_) {
        if (FramePicturePtr picture = cache_->picture(frame_)) {
            showCached(picture);
            if (handover_.cachePlays()) {
                playClock_.setAt(frame_);
            } else if (state_ != State::Playing) {
                catchUpWhileStanding();
            }
        } else if (cache_->cannotMake(frame_)) {
            // the cache gave up on this film or frame: mpv seeks there exactly and draws it
            mpvFromCache();
        }
    }
}

// Hands the picture back to mpv at frame_, seeking there exactly.
void MpvPlayer::mpvFromCache()
{
    const bool playing = state_ == State::Playing;
    stopCachePlay();
    if (handover_.backToMpv())
        setVideoDecoding(true);
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
        if (cache_ && open_ && !handover_.cacheShows() && state_ != State::Playing && frame_ == frame &&
            !awaitingPicture_)
            cache_->want(frame, FrameCache::Heading::Standing);
    });
}

// While the user looks at a frame the cache showed, its frames before are
// made (unless he is on his way back, which makes them anyway); mpv, playing
// the sound alone, finds its place when play starts.
void MpvPlayer::catchUpWhileStanding()
{
    const int serial = ++standSerial_;
    QTimer::singleShot(StandingWishMs, this, [this, serial] {
        if (serial == standSerial_ && cache_ && open_ && handover_.cacheShows() && state_ != State::Playing &&
            !awaitingPicture_ && heading_ != FrameCache::Heading::Backward)
            cache_->want(frame_, FrameCache::Heading::Standing);
    });
}

void MpvPlayer::startCachePlay()
{
    handover_.startPlay();
    playClock_.setAt(frame_);
    // going back in jumps, the play between keeps the frames behind coming
    if (sinceStepBack_.elapsed() >= JumpPlayMs)
        heading_ = FrameCache::Heading::Forward;
    // the sound starts where the picture stands; the picture waits for it
    if (hasAudio_) {
        seekExact(frame_);
        setPause(false);
    }
    const int period = std::max(4, static_cast<int>(500.0 / fps_));
    cachePlayTimer_.start(period);
}

void MpvPlayer::stopCachePlay()
{
    handover_.haltPlay();
    cachePlayTimer_.stop();
}

void MpvPlayer::cachePlayTick()
{
    if (handover_.cachePlays() && cache_ && !awaitingPicture_)
        playCachedPictures();
}

// Where the play clock stands, in frames with their fraction.
double MpvPlayer::clockFrame() const
{
    return playClock_.frameAt(fps_);
}

// The frame the play clock has reached.
int32_t MpvPlayer::dueFrame() const
{
    return static_cast<int32_t>(std::clamp<double>(std::floor(clockFrame() + 1e-6), 0.0, lastFrame()));
}

// Moves frame_ on over the cached pictures up to the frame due; the last one
// passed, or null.
FramePicturePtr MpvPlayer::advanceToDue()
{
    const int32_t due = dueFrame();
    FramePicturePtr latest;
    while (frame_ < due) {
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
        playClock_.setAt(frame_);
    }
    if (FramePicturePtr latest = advanceToDue())
        showCached(latest);
    cache_->want(frame_, heading_);
}

void MpvPlayer::drainEvents()
{
    for (;;) {
        const mpv_event& event = mpv_.waitEvent(0);
        if (event.event_id == MPV_EVENT_NONE)
            break;
        handleEvent(event);
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
        if (eofReached_ && hasVideo_ && fps_ > 0.0 && !handover_.cacheShows()) {
            const double last = std::floor(timePos_ * fps_ + 0.5);
            if (last > lastFrame() && last < INT32_MAX)
                frameCount_ = static_cast<int32_t>(last) + 1;
        }
        // the picture's clock follows the sound heard
        if (event.reply_userdata == TimePos && handover_.drawer() == PictureHandover::Drawer::CacheAllPlay &&
            !seekInFlight_ && !eofReached_ && !paused_ && fps_ > 0.0) {
            const double heard = timePos_ * fps_;
            if (std::fabs(heard - clockFrame()) > 0.5)
                playClock_.setAt(heard);
        }
        // A pause takes hold a frame or so after it was asked for: once mpv
        // stands still of its own accord, the position is the frame it shows
        // (a line set there must start on the picture the user sees).
        if (!handover_.cacheShows() && state_ != State::Playing && paused_ && !seeking_ && !seekInFlight_ &&
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
        }
        // the sound is there: the pictures start with it
        if (seekInFlight_ && handover_.drawer() == PictureHandover::Drawer::CacheAllPlay)
            playClock_.setAt(frame_);
        seekInFlight_ = false;
        break;
    default:
        break;
    }
}

void MpvPlayer::onRenderUpdate()
{
    if (picture_.frameReady())
        renderFrame();
}

void MpvPlayer::renderFrame()
{
    // with its video switched off mpv has nothing to draw
    if (handover_.cacheShows())
        return;
    if (!picture_.render())
        return;
    const bool stepped = awaitingPicture_ && state_ != State::Playing && !seekInFlight_;
    awaitingPicture_ = false;
    picture_.showRendered();
    if (stepped && cache_)
        wantWhileStanding();
}

void MpvPlayer::setDisplayWindow(QWidget* window)
{
    window_ = window;
    picture_.setWindow(window, window && displayRectSet_ ? displayRect_ : window ? window->rect() : QRect());
    if (!window)
        return;
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
    if (picture_.hasSurface()) {
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
        const mpv_event& event = mpv_.waitEvent(0.002);
        if (event.event_id != MPV_EVENT_NONE) {
            handleEvent(event);
            drainEvents();
        }
        if (!open_ || !hasVideo_)
            return true;
        if (handover_.cacheShows()) {
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
