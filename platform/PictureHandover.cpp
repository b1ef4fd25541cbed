#include "platform/PictureHandover.h"

#include <cassert>

namespace vt {

void PictureHandover::drawAllFromCache()
{
    assert(!cachePlays());
    drawer_ = Drawer::CacheAll;
    handoff_ = -1;
}

void PictureHandover::showFromCache()
{
    assert(!cachePlays());
    if (drawer_ == Drawer::Mpv)
        drawer_ = Drawer::CacheStill;
}

void PictureHandover::startPlay()
{
    assert(drawer_ == Drawer::CacheStill || drawer_ == Drawer::CacheAll);
    drawer_ = drawer_ == Drawer::CacheAll ? Drawer::CacheAllPlay : Drawer::CacheToMpv;
}

void PictureHandover::haltPlay()
{
    if (drawer_ == Drawer::CacheToMpv)
        drawer_ = Drawer::CacheStill;
    else if (drawer_ == Drawer::CacheAllPlay)
        drawer_ = Drawer::CacheAll;
}

void PictureHandover::mpvTakesOver()
{
    assert(drawer_ == Drawer::CacheToMpv);
    drawer_ = Drawer::Mpv;
    handoff_ = -1;
}

bool PictureHandover::backToMpv()
{
    const bool videoWasOff = cacheDrawsAll();
    drawer_ = Drawer::Mpv;
    handoff_ = -1;
    return videoWasOff;
}

void PictureHandover::reset()
{
    drawer_ = Drawer::Mpv;
    handoff_ = -1;
}

void PictureHandover::mpvSentTo(int32_t frame)
{
    assert(drawer_ == Drawer::CacheStill || drawer_ == Drawer::CacheToMpv);
    handoff_ = frame;
}

}  // namespace vt
