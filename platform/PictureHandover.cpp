#include "platform/PictureHandover.h"

#include <cassert>

namespace vt {

bool PictureHandover::drawAllFromCache()
{
    assert(!cachePlays());
    const bool mpvDrew = drawer_ == Drawer::Mpv;
    drawer_ = Drawer::CacheAll;
    return mpvDrew;
}

void PictureHandover::startPlay()
{
    assert(drawer_ == Drawer::CacheAll);
    drawer_ = Drawer::CacheAllPlay;
}

void PictureHandover::haltPlay()
{
    if (drawer_ == Drawer::CacheAllPlay)
        drawer_ = Drawer::CacheAll;
}

bool PictureHandover::backToMpv()
{
    const bool videoWasOff = cacheShows();
    drawer_ = Drawer::Mpv;
    return videoWasOff;
}

void PictureHandover::reset()
{
    drawer_ = Drawer::Mpv;
}

}  // namespace vt
