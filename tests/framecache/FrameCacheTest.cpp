// The frame cache on its own, its decoding thread driven the way the player
// drives it: wishes that change faster than groups decode, a new picture size
// half-way, the cache dropped while it works. Built with ThreadSanitizer.
#include "platform/FrameCache.h"
#include "tests/support/Clips.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace vt;
using namespace vt::testclips;
namespace fs = std::filesystem;

namespace {

// The picture as the player draws it.
QImage drawn(const FramePicture& p)
{
    QImage image(p.width, p.height, QImage::Format_RGB32);
    PictureToRgb toRgb;
    EXPECT_TRUE(toRgb.convert(p, image.bits(), int(image.bytesPerLine())));
    return image;
}

struct News {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
    void post()
    {
        std::lock_guard lock(mutex);
        ++count;
        cv.notify_all();
    }
};

// Waits for the picture of frame; -1 when the cache says it cannot make it
// or nothing comes within 20 s, else the frame number drawn in it.
int drawnIn(FrameCache& cache, News& news, int32_t frame)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::unique_lock lock(news.mutex);
    for (;;) {
        if (FramePicturePtr p = cache.picture(frame))
            return frameNumberIn(drawn(*p));
        if (cache.cannotMake(frame))
            return -1;
        if (news.cv.wait_until(lock, deadline) == std::cv_status::timeout)
            return -1;
    }
}

FrameCache::Film filmOf(const std::string& path, double fps, int32_t frames)
{
    return {path, fps, frames, ClipWidth, ClipHeight};
}

class FrameCacheTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!haveFfmpeg())
            return;
        dir_ = scratchDir("frame-cache");
        // one key frame in 250, B-frames between
        longGop_ = makeClip(dir_, "gop250.mp4", "25", 330, false, "-g 250 -keyint_min 250 -sc_threshold 0 -bf 3");
    }
    static void TearDownTestSuite()
    {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    void SetUp() override
    {
        if (!haveFfmpeg())
            GTEST_SKIP() << "ffmpeg is not installed";
    }
    static fs::path dir_;
    static std::string longGop_;
};

fs::path FrameCacheTest::dir_;
std::string FrameCacheTest::longGop_;

}  // namespace

TEST_F(FrameCacheTest, StepsBackAcrossAKeyFrameWhileTheWishesRunAhead)
{
    News news;
    // room for about 60 pictures: the group behind is kept only in part
    const size_t budget = 60 * FramePicture::bytesFor(240, 136);
    FrameCache cache(filmOf(longGop_, 25.0, 330), [&] { news.post(); }, budget);
    cache.setPictureSize(240, 136);

    // wishes faster than a group decodes; only the last one counts
    for (int32_t f = 300; f >= 262; --f)
        cache.want(f, FrameCache::Heading::Backward);
    EXPECT_EQ(drawnIn(cache, news, 262), 262);
    // back over the key frame at 250 into the group before it, one frame at a time
    for (int32_t f = 261; f >= 235; --f) {
        cache.want(f, FrameCache::Heading::Backward);
        ASSERT_EQ(drawnIn(cache, news, f), f) << "stepping back to " << f;
    }
    EXPECT_LE(cache.picturesHeld(), 61u);
    EXPECT_LE(cache.bytesHeld(), budget);

    // a new size drops what was made at the old one, mid-decoding
    cache.want(120, FrameCache::Heading::Backward);
    cache.setPictureSize(480, 270);
    EXPECT_EQ(drawnIn(cache, news, 120), 120);
    EXPECT_EQ(cache.picture(120)->width, 480);

    // forward one by one from there goes on decoding without a seek
    for (int32_t f = 121; f <= 126; ++f) {
        cache.want(f, FrameCache::Heading::Forward);
        ASSERT_EQ(drawnIn(cache, news, f), f);
    }
    EXPECT_EQ((cache.want(0, FrameCache::Heading::Backward), drawnIn(cache, news, 0)), 0);
    EXPECT_EQ((cache.want(329, FrameCache::Heading::Backward), drawnIn(cache, news, 329)), 329);

    // dropped while a group is being decoded: the thread ends cleanly
    cache.want(200, FrameCache::Heading::Backward);
}

TEST_F(FrameCacheTest, ASeekKeepsTheFramesOfAJumpBackBeforeIt)
{
    News news;
    FrameCache cache(filmOf(longGop_, 25.0, 330), [&] { news.post(); });
    cache.setPictureSize(240, 136);
    cache.want(310, FrameCache::Heading::Backward);
    ASSERT_EQ(drawnIn(cache, news, 310), 310);
    // the fast backward level's first jump, 40 frames, is a look-up at once
    for (int32_t f : {270, 309}) {
        FramePicturePtr p = cache.picture(f);
        ASSERT_TRUE(p) << f;
        EXPECT_EQ(frameNumberIn(drawn(*p)), f);
    }
}

TEST_F(FrameCacheTest, GivesUpOnFilmsOffTheFrameGrid)
{
    // one frame in seven left out, as a variable-rate recording drops them
    auto gaps = (dir_ / "gaps.mp4").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=gray:s=160x90:r=25 -frames:v 60 "
                           "-vf \"select='not(eq(mod(n\\,7)\\,3))'\" -fps_mode passthrough -c:v libx264 \"" +
                           gaps + "\"").c_str()),
              0);
    struct Case {
        const char* name;
        std::string path;
        double fps;
    } cases[] = {
        {"frames left out", gaps, 25.0},
        {"a rate that is not the film's", longGop_, 24.0},
        {"not a film", (dir_ / "missing.mp4").string(), 25.0},
    };
    for (const auto& c : cases) {
        News news;
        FrameCache cache(filmOf(c.path, c.fps, 50), [&] { news.post(); });
        cache.setPictureSize(160, 90);
        cache.want(30, FrameCache::Heading::Backward);
        EXPECT_EQ(drawnIn(cache, news, 30), -1) << c.name;
        EXPECT_FALSE(cache.usable()) << c.name;
    }
}
