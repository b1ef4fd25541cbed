// A real player opened on a film, drawing into a shown window of the test
// clips' size.
#pragma once

#include "platform/MediaPlayer.h"
#include "tests/support/Clips.h"

#include <QRect>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

namespace vt::testclips {

struct OpenedPlayer {
    QWidget window;
    std::unique_ptr<MediaPlayer> player;

    // rect: where the picture goes, set before the film opens; without it the
    // player places the picture itself
    explicit OpenedPlayer(const std::string& path, std::optional<QRect> rect = std::nullopt)
    {
        window.resize(ClipWidth, ClipHeight);
        window.show();
        player = createMediaPlayer(false);
        player->setDisplayWindow(&window);
        if (rect)
            player->setDisplayRect(*rect);
        player->setFileName(path);
        player->open();
    }
};

}  // namespace vt::testclips
