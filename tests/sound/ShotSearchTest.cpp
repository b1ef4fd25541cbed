// The search for a film's cuts as the editor runs it, end to end: a film of
// every kind of shot made with ffmpeg, its key frames shown at once, its
// pictures looked at around the play position and from the start, the cuts
// cached beside the summary and taken from the cache the next time.
#include "analysis/ShotSearch.h"
#include "platform/FilmPictures.h"
#include "tests/support/Scratch.h"
#include "tests/support/ShotClips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

using namespace vt;
namespace fs = std::filesystem;

namespace {

class CutsOfAFilm : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!scratch::haveFfmpeg())
            return;
        dir_ = scratch::scratchDir("shot-search");
        // twice every kind, so that the play position can lie more than 10 s from the start
        std::vector<shotclips::Shot> shots = shotclips::everyKind(160, 90, shotclips::Film25);
        const std::vector<shotclips::Shot> again = shots;
        shots.insert(shots.end(), again.begin(), again.end());
        film_ = shotclips::makeFilm(dir_, "film.mp4", shotclips::Film25, shots);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    void SetUp() override
    {
        if (film_.path.empty())
            GTEST_SKIP() << "ffmpeg is not installed";
        setenv("XDG_CACHE_HOME", (dir_ / "cache").c_str(), 1);
    }

    // Every publication until the worker is finished.
    static std::vector<ShotMarks> marksOf(ShotSearch& search)
    {
        std::vector<ShotMarks> seen;
        for (int i = 0; i < 6000 && (seen.empty() || !seen.back().finished); ++i) {
            if (std::optional<ShotMarks> marks = search.take())
                seen.push_back(std::move(*marks));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return seen;
    }

    PictureOpener opener(int* opened)
    {
        return [this, opened](int64_t from, const std::atomic<bool>& cancel) {
            ++*opened;
            return openFilmPictures(film_.path, 25.0f, cancel, AnalysisWidth, from);
        };
    }
    KeyFrameReader keyFrames()
    {
        return [this](const std::atomic<bool>& cancel) { return keyFramesOf(film_.path, 25.0f, cancel); };
    }

    static fs::path dir_;
    static shotclips::Film film_;
};

fs::path CutsOfAFilm::dir_;
shotclips::Film CutsOfAFilm::film_;

TEST_F(CutsOfAFilm, FoundAroundThePlayPositionAndFromTheStartThenCachedForTheNextOpening)
{
    const std::string cache = shotChangesCacheFile(film_.path);
    ASSERT_FALSE(cache.empty());
    fs::remove(cache);
    std::vector<int32_t> truth(film_.truth.cuts.begin(), film_.truth.cuts.end());

    int opened = 0;
    ShotSearch first(opener(&opened), keyFrames(), 25.0f, int32_t(film_.truth.frames - 1), cache);
    const std::vector<ShotMarks> seen = marksOf(first);
    ASSERT_FALSE(seen.empty());
    ASSERT_TRUE(seen.back().finished) << "the search never finished";
    EXPECT_EQ(seen.back().cuts, truth);
    EXPECT_TRUE(seen.back().keyFrames.empty()) << "key frames still stand in for cuts after every picture was seen";
    EXPECT_FALSE(seen.front().keyFrames.empty()) << "no key frames were shown before the pictures were looked at";
    EXPECT_EQ(opened, 2) << "the stretch around the play position and the whole film";
    for (const ShotMarks& marks : seen)
        for (int32_t cut : marks.cuts)
            EXPECT_TRUE(std::binary_search(truth.begin(), truth.end(), cut)) << "a mark at " << cut << " was no cut";

    ShotSearch second(opener(&opened), keyFrames(), 25.0f, 0, cache);
    const std::vector<ShotMarks> again = marksOf(second);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front().cuts, truth);
    EXPECT_EQ(opened, 2) << "the film was decoded again although the cache held its cuts";
    EXPECT_EQ(readShotChangesCache(cache, 24.0f), std::nullopt) << "cuts counted at 25 fps were taken at 24";
}

TEST_F(CutsOfAFilm, AFileWithoutPicturesHasNoCutsAndNoError)
{
    const fs::path text = dir_ / "notes.txt";
    std::ofstream(text) << "no film";
    int opened = 0;
    ShotSearch search(
        [&](int64_t from, const std::atomic<bool>& cancel) {
            ++opened;
            return openFilmPictures(text.string(), 25.0f, cancel, AnalysisWidth, from);
        },
        [&](const std::atomic<bool>& cancel) { return keyFramesOf(text.string(), 25.0f, cancel); }, 25.0f, 0, "");
    const std::vector<ShotMarks> seen = marksOf(search);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen.back().finished);
    EXPECT_TRUE(seen.back().cuts.empty());
    EXPECT_TRUE(seen.back().keyFrames.empty());
}

// The film's own pictures at another pace: as slowly as a long film's, so
// that the marks shown meanwhile can be taken, and, after so many, the
// editor closing.
class Paced : public PictureSource {
public:
    Paced(std::unique_ptr<PictureSource> pictures, std::chrono::microseconds each, int64_t closeAfter = -1,
          std::atomic<bool>* cancel = nullptr)
        : pictures_(std::move(pictures)), each_(each), closeAfter_(closeAfter), cancel_(cancel)
    {
    }
    int32_t width() const override { return pictures_->width(); }
    int32_t height() const override { return pictures_->height(); }
    std::optional<SmallPicture> next() override
    {
        std::this_thread::sleep_for(each_);
        if (handed_++ == closeAfter_)
            cancel_->store(true);
        return pictures_->next();
    }

private:
    std::unique_ptr<PictureSource> pictures_;
    std::chrono::microseconds each_;
    int64_t closeAfter_;
    std::atomic<bool>* cancel_;
    int64_t handed_ = 0;
};

// Opened at the end of the film, the editor shows the cuts of the last ten
// seconds before the search from the start has come that far.
TEST_F(CutsOfAFilm, TheCutsAroundThePlayPositionComeFirst)
{
    const int32_t play = int32_t(film_.truth.frames - 1);
    const int64_t nearFrom = play - int64_t(ShotsNearPlaySeconds * 25);
    std::vector<int32_t> near;
    for (int64_t cut : film_.truth.cuts)
        if (cut > nearFrom + 1)
            near.push_back(int32_t(cut));
    ASSERT_GE(near.size(), 5u);
    ShotSearch search(
        [this](int64_t from, const std::atomic<bool>& cancel) -> std::unique_ptr<PictureSource> {
            auto pictures = openFilmPictures(film_.path, 25.0f, cancel, AnalysisWidth, from);
            if (!pictures || from > 0)
                return pictures;
            return std::make_unique<Paced>(std::move(pictures), std::chrono::microseconds(1500));
        },
        keyFrames(), 25.0f, play, "");
    const std::vector<ShotMarks> seen = marksOf(search);
    ASSERT_GE(seen.size(), 3u);
    ASSERT_TRUE(seen.back().finished);
    // the first marks after the key frames alone
    const ShotMarks& first = seen[1];
    EXPECT_FALSE(first.finished);
    for (int32_t cut : near)
        EXPECT_TRUE(std::binary_search(first.cuts.begin(), first.cuts.end(), cut)) << "the cut at " << cut;
    EXPECT_LT(first.cuts.size(), film_.truth.cuts.size()) << "the search from the start had already seen everything";
}

// A search the editor stopped half way keeps nothing for the next opening;
// the next whole one does.
TEST_F(CutsOfAFilm, ASearchStoppedHalfWayIsNotCached)
{
    const std::string cache = (dir_ / "stopped" / "film.shots").string();
    std::atomic<bool> cancel{false};
    int64_t closeAfter = film_.truth.frames / 2;
    auto open = [&](int64_t from, const std::atomic<bool>& c) -> std::unique_ptr<PictureSource> {
        auto pictures = openFilmPictures(film_.path, 25.0f, c, AnalysisWidth, from);
        return pictures ? std::make_unique<Paced>(std::move(pictures), std::chrono::microseconds(0), closeAfter, &cancel)
                        : nullptr;
    };
    const ShotAnswer stopped = shotChangesOf(open, 25.0f, cache, cancel);
    EXPECT_EQ(stopped.end, ShotAnswer::End::Stopped);
    EXPECT_EQ(readShotChangesCache(cache, 25.0f), std::nullopt) << "the cuts of half the film were kept";

    cancel.store(false);
    closeAfter = -1;
    const ShotAnswer whole = shotChangesOf(open, 25.0f, cache, cancel);
    EXPECT_EQ(whole.end, ShotAnswer::End::Found);
    EXPECT_EQ(whole.cuts, std::vector<int32_t>(film_.truth.cuts.begin(), film_.truth.cuts.end()));
    EXPECT_EQ(readShotChangesCache(cache, 25.0f), whole.cuts);
}

// A cache is believed only with cuts the search could have found, counted
// at the frame rate asked for.
TEST(ShotSearch, ACacheIsBelievedOnlyWithCutsInOrderAtItsFrameRate)
{
    const fs::path dir = scratch::scratchDir("shot-cache");
    const std::string cache = (dir / "film.shots").string();
    struct Case {
        const char* name;
        std::vector<int32_t> cuts;
        float writtenAt;
        bool believed;
    };
    const Case cases[] = {
        {"cuts in order, one on the first picture", {0, 12, 40, 41}, 25.0f, true},
        {"a film of one shot", {}, 25.0f, true},
        {"a cut twice", {12, 40, 40}, 25.0f, false},
        {"cuts out of order", {40, 12}, 25.0f, false},
        {"a cut before the film", {-3, 12}, 25.0f, false},
        {"cuts counted at 23.976 fps", {12, 40}, 23.976f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeShotChangesCache(cache, c.writtenAt, c.cuts);
        const std::optional<std::vector<int32_t>> read = readShotChangesCache(cache, 25.0f);
        if (c.believed)
            EXPECT_EQ(read, c.cuts);
        else
            EXPECT_EQ(read, std::nullopt);
    }
    fs::remove_all(dir);
}

}  // namespace
