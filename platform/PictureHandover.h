// Who draws the player's picture, mpv or the frame cache. The player's steps,
// play, pauses and the cache's news are moves of this one state; a move a
// state does not allow is a bug, caught by an assertion in a debug build.
//
//   move              from                to
//   drawAllFromCache  any standing state  CacheAll
//   startPlay         CacheAll            CacheAllPlay
//   haltPlay          CacheAllPlay        CacheAll (standing states stay)
//   backToMpv, reset  any                 Mpv
//
// No Qt here: the play clock is the standard library's steady clock.
#pragma once

#include <chrono>
#include <cstdint>

namespace vt {

class PictureHandover {
public:
    enum class Drawer {
        // mpv draws, plays and stands; the cache, if any, fills in behind
        Mpv,
        // the cache draws every picture and mpv, its video switched off,
        // gives only the sound: standing
        CacheAll,
        // the same, playing at the pace of the sound mpv plays alone
        CacheAllPlay,
    };

    Drawer drawer() const { return drawer_; }
    // the picture on the screen is the cache's, and mpv's video is off
    bool cacheShows() const { return drawer_ != Drawer::Mpv; }
    // play runs on the cache's pictures and the play clock
    bool cachePlays() const { return drawer_ == Drawer::CacheAllPlay; }

    // The moves.
    // The cache draws every picture from now on; not while playing. True
    // when mpv drew until now: its video must be switched off.
    bool drawAllFromCache();
    // Play from the picture the cache shows.
    void startPlay();
    // Play halts on the picture shown; standing states stay as they are.
    void haltPlay();
    // The picture is mpv's again, from any state (the cache gave up, or a step
    // it cannot serve). True when mpv's video must be switched on again.
    bool backToMpv();
    // A closed player: mpv's, with its video switched on by the next open.
    void reset();

private:
    Drawer drawer_ = Drawer::Mpv;
};

// Play while the cache draws: the frame, with its fraction, that the pictures
// have reached, counted from a frame set when play starts or the sound heard
// tells otherwise.
class PlayClock {
public:
    void setAt(double frame)
    {
        from_ = frame;
        start_ = std::chrono::steady_clock::now();
    }
    double frameAt(double fps) const
    {
        const std::chrono::duration<double> run = std::chrono::steady_clock::now() - start_;
        return from_ + run.count() * fps;
    }

private:
    double from_ = 0.0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace vt
