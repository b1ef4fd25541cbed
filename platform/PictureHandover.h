// Who draws the player's picture, mpv or the frame cache, and how play goes
// on from a picture the cache showed. The player's steps, play, pauses and
// the cache's news are moves of this one state; a move a state does not
// allow is a bug, caught by an assertion in a debug build.
//
//   move              from                          to
//   showFromCache     Mpv, CacheStill, CacheAll     CacheStill (CacheAll stays)
//   drawAllFromCache  any standing state            CacheAll
//   startPlay         CacheStill, CacheAll          CacheToMpv, CacheAllPlay
//   haltPlay          CacheToMpv, CacheAllPlay      CacheStill, CacheAll (standing states stay)
//   mpvTakesOver      CacheToMpv                    Mpv
//   backToMpv, reset  any                           Mpv
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
        // mpv draws the film, but the user stepped onto a frame the cache
        // shows: mpv stands paused elsewhere, or is sent here for play
        CacheStill,
        // play from CacheStill: the cached pictures go on at the film's pace
        // until mpv, sent ahead to the hand-over frame, takes over there
        CacheToMpv,
        // the cache draws every picture and mpv, its video switched off,
        // gives only the sound: standing
        CacheAll,
        // the same, playing at the pace of the sound mpv plays alone
        CacheAllPlay,
    };

    Drawer drawer() const { return drawer_; }
    // the picture on the screen is the cache's
    bool cacheShows() const { return drawer_ != Drawer::Mpv; }
    // mpv's video is off
    bool cacheDrawsAll() const { return drawer_ == Drawer::CacheAll || drawer_ == Drawer::CacheAllPlay; }
    // play runs on the cache's pictures and the play clock
    bool cachePlays() const { return drawer_ == Drawer::CacheToMpv || drawer_ == Drawer::CacheAllPlay; }
    // The frame mpv was sent to, to take over at; -1 while it was sent nowhere.
    int32_t handoff() const { return handoff_; }

    // The moves.
    // A cache that reads the film draws every picture from now on; not while playing.
    void drawAllFromCache();
    // A step shows the cache's picture (or waits for it); not while playing.
    void showFromCache();
    // Play from the picture the cache shows.
    void startPlay();
    // Play halts on the picture shown; standing states stay as they are.
    void haltPlay();
    // mpv, standing on the hand-over frame, plays on with its sound.
    void mpvTakesOver();
    // The picture is mpv's again, from any state (the cache gave up, or a step
    // it cannot serve). True when mpv's video must be switched on again.
    bool backToMpv();
    // A closed player: mpv's, with its video switched on by the next open.
    void reset();
    // mpv is sent to frame, to take over there; only while the cache shows a
    // picture of a film mpv draws.
    void mpvSentTo(int32_t frame);
    // A step makes any earlier hand-over frame stale.
    void forgetHandoff() { handoff_ = -1; }

private:
    Drawer drawer_ = Drawer::Mpv;
    int32_t handoff_ = -1;
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
