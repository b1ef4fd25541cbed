// What the editor's session asks of the player: where it stands and moving
// it. The media player implements it; the session and its tests need no
// window and no video library to drive it.
#pragma once

#include <cstdint>

namespace vt {

class PlayerControl {
public:
    virtual ~PlayerControl() = default;

    // A closed player stands nowhere and is not moved.
    virtual bool isOpen() const = 0;
    // The frame the picture stands on (or plays at).
    virtual int64_t position() const = 0;
    // Moves by frames (negative: backwards) and stands there.
    virtual void step(int32_t frames) = 0;
    virtual void play() = 0;   // while playing: goes on playing
    virtual void pause() = 0;  // toggles: playing pauses, paused resumes
    virtual void stop() = 0;   // stops playing; the position stays
};

}  // namespace vt
