// The media player the screens use: open, measure, play and step a video and
// draw it into a widget. The program keeps every position in frames.
#pragma once

#include "core/Errors.h"
#include "core/PlayerControl.h"

#include <QRect>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

class QWidget;

namespace vt {

class MediaError : public UserError {
public:
    using UserError::UserError;
};

class MediaPlayer : public PlayerControl {
public:
    enum class TimeFormat { Milliseconds, Frames };

    virtual ~MediaPlayer() = default;

    virtual void setFileName(const std::string& path) = 0;
    // Opens the file named last; the player then stands on frame 0, not
    // playing, and counts in frames. Throws MediaError when the file cannot be played.
    virtual void open() = 0;
    // Releases the file; closing a closed player does nothing.
    virtual void close() = 0;
    bool isOpen() const override = 0;

    virtual void setTimeFormat(TimeFormat format) = 0;
    virtual TimeFormat timeFormat() const = 0;

    // Length and position in the current unit; frames count from 0.
    // length() throws MediaError on a closed player, position() does not.
    virtual int64_t length() const = 0;
    int64_t position() const override = 0;

    // These throw MediaError on a closed player.
    void play() override = 0;   // while playing: goes on playing
    void pause() override = 0;  // toggles: playing pauses, paused resumes, otherwise nothing
    void stop() override = 0;   // stops playing; the position stays
    // Moves by frames (negative: backwards), exact in both directions, and
    // leaves the picture standing there. Returns at once; requests past
    // either end stop at the first or last frame. Media without video does
    // not step.
    void step(int32_t frames) override = 0;

    // The video is drawn into the widget's client area, inside the display
    // rectangle; pointer events over the picture still reach the widget.
    virtual void setDisplayWindow(QWidget* window) = 0;
    // The rectangle set last; before one is set, the video's own size at
    // 0, 0 once a file with a picture is open, and an empty rectangle while
    // there is no picture to place.
    virtual QRect displayRect() const = 0;
    virtual void setDisplayRect(const QRect& rect) = 0;

    // For tests and benchmarks: waits (handling events) until the picture
    // stands on the position last requested; false after timeoutMs.
    virtual bool waitUntilSettled(int timeoutMs) = 0;
};

// The player of this platform (libmpv). withAudio = false for a player that
// only measures.
std::unique_ptr<MediaPlayer> createMediaPlayer(bool withAudio = true);

}  // namespace vt
