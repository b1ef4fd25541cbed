// Who draws the picture after a path of moves: each row starts from a closed
// player's state and names what the player must then do (mpv's video on or
// off, play on cached pictures or on mpv).
#include "platform/PictureHandover.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using vt::PictureHandover;
using Drawer = PictureHandover::Drawer;

namespace {

using Move = std::function<void(PictureHandover&)>;

const Move drawAll = [](PictureHandover& h) { h.drawAllFromCache(); };
const Move play = [](PictureHandover& h) { h.startPlay(); };
const Move halt = [](PictureHandover& h) { h.haltPlay(); };
const Move toMpv = [](PictureHandover& h) { h.backToMpv(); };

}  // namespace

TEST(PictureHandover, PathsOfMoves)
{
    struct {
        const char* path;
        std::vector<Move> moves;
        Drawer drawer;
        bool videoOffNext;  // what drawing all from the cache then asks of mpv
    } const rows[] = {
        {"a closed player", {}, Drawer::Mpv, true},
        {"a cache that reads the film", {drawAll}, Drawer::CacheAll, false},
        {"play on the cache's pictures", {drawAll, play}, Drawer::CacheAllPlay, false},
        {"and a pause", {drawAll, play, halt}, Drawer::CacheAll, false},
        {"a halt while standing changes nothing", {drawAll, halt}, Drawer::CacheAll, false},
        {"mpv drew a frame the cache could not make", {drawAll, toMpv}, Drawer::Mpv, true},
    };
    for (const auto& row : rows) {
        PictureHandover h;
        for (const Move& move : row.moves)
            move(h);
        EXPECT_EQ(h.drawer(), row.drawer) << row.path;
        if (!h.cachePlays())
            EXPECT_EQ(h.drawAllFromCache(), row.videoOffNext) << row.path;
    }
}

TEST(PictureHandover, BackToMpvSwitchesTheVideoOnOnlyWhereItWasOff)
{
    struct {
        const char* path;
        std::vector<Move> moves;
        bool videoWasOff;
    } const rows[] = {
        {"mpv drawing", {}, false},
        {"the cache drawing all, standing", {drawAll}, true},
        {"the cache drawing all, playing", {drawAll, play}, true},
        {"mpv drawing again", {drawAll, toMpv}, false},
    };
    for (const auto& row : rows) {
        PictureHandover h;
        for (const Move& move : row.moves)
            move(h);
        EXPECT_EQ(h.backToMpv(), row.videoWasOff) << row.path;
        EXPECT_EQ(h.drawer(), Drawer::Mpv) << row.path;
    }
}
