// A player that stands where it is told, for the editor's session where no
// film is played: what the session asked of it is all there is to see.
#pragma once

#include "core/PlayerControl.h"

#include <cstdint>
#include <vector>

namespace vt::testplayer {

class StandingPlayer : public PlayerControl {
public:
    bool isOpen() const override { return true; }
    int64_t position() const override { return at; }
    void step(int32_t frames) override
    {
        at += frames;
        steps.push_back(frames);
    }
    void play() override {}
    void pause() override {}
    void stop() override {}

    int64_t at = 0;
    std::vector<int32_t> steps;  // every step asked, in order
};

}  // namespace vt::testplayer
