// The film's cuts: short H.264 films that ffmpeg puts together from shots
// of known lengths (so every true cut is known to the frame), decoded by the
// film's picture decoder and read by the shot change finder; and the key
// frames the container flags.
#include "analysis/ShotChanges.h"
#include "platform/FilmPictures.h"
#include "tests/support/ShotClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

using namespace vt;
namespace fs = std::filesystem;
namespace clips = vt::shotclips;

namespace {

constexpr int Width = 160;
constexpr int Height = 90;

// Each rate in the container a film of that rate usually comes in; two of
// them with B-frames, so that pictures come out of the decoder in another
// order than their packets, and the MPEG-TS one starts 1.4 s into its clock.
struct Kind {
    const char* name;
    clips::Rate rate;
    const char* file;
    const char* codec;
};
const Kind Kinds[] = {
    {"23.976 fps, Matroska, B-frames", clips::Film23976, "every-kind-23976.mkv", "-bf 2"},
    {"25 fps, MP4", clips::Film25, "every-kind-25.mp4", ""},
    {"29.97 fps, MPEG-TS, B-frames", clips::Film2997, "every-kind-2997.ts", "-bf 2"},
};

class ShotChanges : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!clips::haveFfmpeg())
            GTEST_SKIP() << "ffmpeg is not installed";
        dir = clips::scratchDir("shot-changes");
    }
    void TearDown() override
    {
        if (!dir.empty())
            fs::remove_all(dir);
    }

    clips::Film film(const Kind& kind)
    {
        return clips::makeFilm(dir, kind.file, kind.rate, clips::everyKind(Width, Height, kind.rate), kind.codec);
    }

    fs::path dir;
};

}  // namespace

// Every hard cut on the first frame of its new shot, between dark shots and
// into and out of flat noisy colour too; nothing for the white flash, the
// fast pan, the slow fall of light or the dissolve. Every picture comes on
// the frame the player shows it on, and each cut is settled a few pictures
// after it.
TEST_F(ShotChanges, EveryHardCutOnItsFrameAndNothingElse)
{
    for (const Kind& kind : Kinds) {
        SCOPED_TRACE(kind.name);
        const clips::Film film = this->film(kind);
        ASSERT_FALSE(film.path.empty()) << "ffmpeg could not make the film";
        ASSERT_EQ(film.truth.cuts.size(), 13u);

        std::atomic<bool> cancel{false};
        std::unique_ptr<PictureSource> pictures = openFilmPictures(film.path, kind.rate.fps(), cancel);
        ASSERT_TRUE(pictures);
        EXPECT_EQ(pictures->width(), 64);
        EXPECT_EQ(pictures->height(), 36);

        ShotChangeFinder finder(pictures->width(), pictures->height(), kind.rate.fps());
        int64_t expected = 0;
        int64_t latestSettling = 0;
        std::vector<int64_t> settledBefore;
        while (std::optional<SmallPicture> picture = pictures->next()) {
            ASSERT_EQ(picture->frame, expected) << "the picture's frame number";
            ASSERT_EQ(picture->luma.size(), size_t(64 * 36));
            finder.add(*picture);
            const std::vector<int64_t> settled = finder.settled();
            for (size_t i = settledBefore.size(); i < settled.size(); ++i)
                latestSettling = std::max(latestSettling, picture->frame - settled[i]);
            settledBefore = settled;
            ++expected;
        }
        EXPECT_EQ(expected, film.truth.frames) << "pictures decoded";
        EXPECT_EQ(finder.finish(), film.truth.cuts);
        EXPECT_EQ(settledBefore.size(), film.truth.cuts.size()) << "the last cut lies well before the end";
        EXPECT_LE(latestSettling, 6) << "frames between a cut and its settling";
    }
}

// Movement and small changes of light are no cuts, and movement soon after
// a cut does not hide it: short films of two or three shots, their cuts
// known to the frame.
TEST_F(ShotChanges, MovementAndFlickerAroundCuts)
{
    using clips::Look;
    const int w = Width, h = Height;
    struct Case {
        const char* name;
        clips::Rate rate;
        std::vector<clips::Shot> shots;
    };
    // a shot of the same place seen the other way round: the same light, spread alike, another pattern
    auto mirrored = [](clips::Shot shot) {
        shot.graph.insert(shot.graph.rfind("[out]"), ",hflip");
        return shot;
    };
    auto wall = [&](const char* colour, int32_t frames, const clips::Rate& r) {
        return clips::Shot{"color=c=" + std::string(colour) + ":s=" + clips::size(w, h) + ":r=" + r.text() + clips::Tidy +
                               "[out]",
                           frames};
    };
    auto cases = [&](const clips::Rate& r) {
        return std::vector<Case>{
            {"the camera jolted up for two frames", r,
             {clips::plainShot(Look::Automaton, 1, 12, w, h, r), clips::tiltShot(Look::TestPattern, 2, 24, 10, 2, 0.07, w, h, r)}},
            {"a tilt of half a second", r,
             {clips::tiltShot(Look::Fractal, 3, 30, 6, 12, 0.07, w, h, r), clips::plainShot(Look::Bars, 0, 12, w, h, r)}},
            {"the camera jolted aside for two frames", r,
             {clips::plainShot(Look::Gradient, 4, 12, w, h, r), clips::panShot(Look::Fractal, 5, 24, 10, 2, 0.05, w, h, r)}},
            {"a pan from the film's first picture", r,
             {clips::panShot(Look::Fractal, 0, 24, 0, 24, 0.12, w, h, r), clips::plainShot(Look::Bars, 1, 12, w, h, r)}},
            {"a cut with a fast pan 4 frames into the new shot", r,
             {clips::plainShot(Look::Fractal, 9, 15, w, h, r), clips::panShot(Look::Fractal, 2, 24, 3, 21, 0.12, w, h, r)}},
            {"a cut with a fast pan 5 frames into the new shot", r,
             {clips::plainShot(Look::Fractal, 9, 15, w, h, r), clips::panShot(Look::Fractal, 2, 24, 4, 20, 0.12, w, h, r)}},
            {"a cut to the same place mirrored, a whip pan 4 frames into it", r,
             {clips::panShot(Look::TestPattern, 3, 15, 99, 0, 0.2, w, h, r),
              mirrored(clips::panShot(Look::TestPattern, 3, 24, 3, 12, 0.2, w, h, r))}},
            {"a cut to the same place mirrored, a whip pan 5 frames into it", r,
             {clips::panShot(Look::TestPattern, 3, 15, 99, 0, 0.2, w, h, r),
              mirrored(clips::panShot(Look::TestPattern, 3, 24, 4, 12, 0.2, w, h, r))}},
            {"a cut between two plain walls, one lighter", r, {wall("0x505050", 12, r), wall("0x707070", 12, r)}},
            {"a dark wall whose grain flickers four times a second", r,
             {clips::darkShot(Look::TestPattern, 6, 12, w, h, r), clips::flickerShot(7, 40, 4, w, h, r),
              clips::darkShot(Look::Fractal, 8, 12, w, h, r)}},
        };
    };
    for (const clips::Rate& rate : {clips::Film25, clips::Film2997})
        for (const Case& c : cases(rate)) {
            SCOPED_TRACE(std::string(c.name) + " at " + rate.text() + " fps");
            const clips::Film film = clips::makeFilm(dir, "movement.mp4", c.rate, c.shots);
            ASSERT_FALSE(film.path.empty()) << "ffmpeg could not make the film";
            std::atomic<bool> cancel{false};
            std::unique_ptr<PictureSource> pictures = openFilmPictures(film.path, rate.fps(), cancel);
            ASSERT_TRUE(pictures);
            EXPECT_EQ(findShotChanges(*pictures, rate.fps(), cancel), film.truth.cuts);
        }
}

// The editor may look at a stretch around where the user stands first: the
// pictures from a frame in the middle (decoding from the key frame before
// it) are numbered as in the whole film, and give the same cuts after it.
TEST_F(ShotChanges, SameCutsFromTheMiddleOfTheFilm)
{
    const Kind& kind = Kinds[0];
    const clips::Film film = this->film(kind);
    ASSERT_FALSE(film.path.empty());
    const int64_t from = 135;  // inside the shot of flat noisy colour
    std::atomic<bool> cancel{false};
    std::unique_ptr<PictureSource> pictures = openFilmPictures(film.path, kind.rate.fps(), cancel, AnalysisWidth, from);
    ASSERT_TRUE(pictures);
    std::optional<SmallPicture> first = pictures->next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->frame, from);

    ShotChangeFinder finder(pictures->width(), pictures->height(), kind.rate.fps());
    finder.add(*first);
    while (std::optional<SmallPicture> picture = pictures->next())
        finder.add(*picture);
    std::vector<int64_t> after;
    std::copy_if(film.truth.cuts.begin(), film.truth.cuts.end(), std::back_inserter(after),
                 [&](int64_t cut) { return cut > from; });
    EXPECT_EQ(finder.finish(), after);
}

// A film without pictures, or a file that is no film: no pictures, no key
// frames, and nothing thrown.
TEST_F(ShotChanges, NothingFromSoundAloneOrAFileThatIsNoFilm)
{
    const std::string sound = (dir / "sound-only.m4a").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -nostdin -y -f lavfi -i sine=frequency=440:duration=2 -c:a aac \"" + sound +
                           "\" >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string text = (dir / "notes.mp4").string();
    std::ofstream(text) << "1\n00:00:01,000 --> 00:00:02,000\n不是影片\n";
    const std::string missing = (dir / "gone.mkv").string();

    for (const std::string& path : {sound, text, missing}) {
        SCOPED_TRACE(path);
        std::atomic<bool> cancel{false};
        EXPECT_FALSE(openFilmPictures(path, 25.0f, cancel));
        EXPECT_EQ(keyFramesOf(path, 25.0f, cancel), std::vector<int64_t>{});
    }
}

// The key frames where the encoder was told to put them, read from the
// packets of a film whose pictures are stored out of their order (B-frames)
// and of one whose clock starts at 1.4 s.
TEST_F(ShotChanges, KeyFramesWhereTheEncoderPutThem)
{
    const std::vector<int64_t> keys = {0, 37, 90, 91, 151};
    struct Case {
        const char* file;
        clips::Rate rate;
    };
    for (const Case& c : {Case{"keys.mp4", clips::Film2997}, Case{"keys.ts", clips::Film23976}}) {
        SCOPED_TRACE(c.file);
        const std::string path = (dir / c.file).string();
        const std::string cmd = "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=160x90:r=" + c.rate.text() +
                                " -frames:v 200 -c:v libx264 -preset ultrafast -bf 2 -x264-params keyint=600:scenecut=0"
                                " -force_key_frames \"expr:eq(n,37)+eq(n,90)+eq(n,91)+eq(n,151)\" \"" +
                                path + "\" >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::atomic<bool> cancel{false};
        EXPECT_EQ(keyFramesOf(path, c.rate.fps(), cancel), keys);
    }
}
