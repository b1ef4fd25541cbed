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

}  // namespace
