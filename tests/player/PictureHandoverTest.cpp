// Who draws the picture after a path of moves: each row starts from a closed
// player's state and names what the player must then do (mpv's video on or
// off, play on cached pictures or on mpv, where mpv takes over).
#include "platform/PictureHandover.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using vt::PictureHandover;
using Drawer = PictureHandover::Drawer;

namespace {

using Move = std::function<void(PictureHandover&)>;

const Move show = [](PictureHandover& h) { h.showFromCache(); };
const Move drawAll = [](PictureHandover& h) { h.drawAllFromCache(); };
const Move play = [](PictureHandover& h) { h.startPlay(); };
const Move halt = [](PictureHandover& h) { h.haltPlay(); };
const Move takeOver = [](PictureHandover& h) { h.mpvTakesOver(); };
const Move sendTo40 = [](PictureHandover& h) { h.mpvSentTo(40); };

struct Row {
    const char* path;
    std::vector<Move> moves;
    Drawer drawer;
    int32_t handoff;
};

}  // namespace

TEST(PictureHandover, PathsOfMoves)
{
    const Row rows[] = {
        {"a step back in a film mpv draws", {show}, Drawer::CacheStill, -1},
        {"mpv sent there while the user looks", {show, sendTo40}, Drawer::CacheStill, 40},
        {"play from there", {show, sendTo40, play}, Drawer::CacheToMpv, 40},
        {"a pause before mpv took over keeps it sent there", {show, sendTo40, play, halt}, Drawer::CacheStill, 40},
        {"mpv takes over", {show, sendTo40, play, takeOver}, Drawer::Mpv, -1},
        {"a cache that reads the film", {drawAll}, Drawer::CacheAll, -1},
        {"a step in a film the cache draws leaves mpv's video off", {drawAll, show}, Drawer::CacheAll, -1},
        {"play on the cache's pictures", {drawAll, play}, Drawer::CacheAllPlay, -1},
        {"and a pause", {drawAll, play, halt}, Drawer::CacheAll, -1},
        {"a halt while standing changes nothing", {show, halt}, Drawer::CacheStill, -1},
        {"the cache drawing all drops a hand-over", {show, sendTo40, drawAll}, Drawer::CacheAll, -1},
    };
    for (const Row& row : rows) {
        PictureHandover h;
        for (const Move& move : row.moves)
            move(h);
        EXPECT_EQ(h.drawer(), row.drawer) << row.path;
        EXPECT_EQ(h.handoff(), row.handoff) << row.path;
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
        {"a cached frame of a film mpv draws", {show, sendTo40}, false},
        {"playing towards mpv", {show, sendTo40, play}, false},
        {"the cache drawing all, standing", {drawAll}, true},
        {"the cache drawing all, playing", {drawAll, play}, true},
    };
    for (const auto& row : rows) {
        PictureHandover h;
        for (const Move& move : row.moves)
            move(h);
        EXPECT_EQ(h.backToMpv(), row.videoWasOff) << row.path;
        EXPECT_EQ(h.drawer(), Drawer::Mpv) << row.path;
        EXPECT_EQ(h.handoff(), -1) << row.path;
    }
}
