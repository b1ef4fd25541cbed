#include "core/TimelineBackup.h"

#include "core/FileIO.h"
#include "core/TimelineWriter.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace vt;
namespace fs = std::filesystem;

namespace {

class TimelineBackup : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("backup");
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::vector<fs::path> copies() const
    {
        std::vector<fs::path> found;
        fs::path folder = dir / "state" / "veltrana" / "backups";
        if (fs::exists(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                found.push_back(entry.path());
        std::sort(found.begin(), found.end());
        return found;
    }

    void save(const std::string& path, int32_t startFrame)
    {
        TimelineArray timeline(1);
        timeline[0] = {startFrame, startFrame + 25, u"新"};
        bool newTimeline = false;
        proSaveSrt(timeline, 1, 25.0f, path, {TextEncoding::Utf8, false}, newTimeline);
    }

    fs::path dir;
};

}  // namespace

TEST_F(TimelineBackup, FirstSaveOfTheRunKeepsTheUsersBytes)
{
    std::string film = (dir / "film.srt").string();
    const std::string original = "1\r\n00:00:01,000 --> 00:00:02,000\r\n用户的字幕\r\n\r\n";
    std::ofstream(film, std::ios::binary) << original;

    save(film, 100);
    save(film, 200);  // only the first save of a run copies

    auto kept = copies();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readWholeFile(kept[0].string()), original);
    EXPECT_TRUE(kept[0].filename().string().starts_with("film."));
    EXPECT_EQ(kept[0].extension(), ".srt");
    EXPECT_NE(readWholeFile(film), original);
}

TEST_F(TimelineBackup, NewAndEmptyFilesNeedNoCopy)
{
    save((dir / "new.srt").string(), 100);   // did not exist
    std::ofstream((dir / "empty.srt").string()) << "";
    save((dir / "empty.srt").string(), 100);
    EXPECT_TRUE(copies().empty());
}

TEST_F(TimelineBackup, KeepsTheNewestTwentyOfEachFile)
{
    fs::path folder = dir / "state" / "veltrana" / "backups";
    fs::create_directories(folder);
    std::string film = (dir / "film.srt").string();
    fs::create_directories(dir / "sub");
    std::string namesake = (dir / "sub" / "film.srt").string();
    std::string prefix = backupNamePrefix(film);
    ASSERT_NE(prefix, backupNamePrefix(namesake));
    EXPECT_EQ(prefix, backupNamePrefix((dir / "." / "film.srt").string()));

    // 25 copies from earlier runs, oldest first, and copies of two other files
    for (int i = 0; i < 25; ++i)
        std::ofstream(folder / (prefix + "20000101-0000" + std::to_string(10 + i) + "000.srt")) << i;
    std::ofstream(folder / (backupNamePrefix(namesake) + "19990101-000000000.srt")) << "namesake";
    std::ofstream(folder / "other.00000000.19990101-000000000.srt") << "other";

    std::ofstream(film, std::ios::binary) << "today's";
    backUpBeforeFirstSave(film);

    std::vector<std::string> ofFilm;
    for (const auto& p : copies())
        if (p.filename().string().starts_with(prefix))
            ofFilm.push_back(readWholeFile(p.string()));
    ASSERT_EQ(ofFilm.size(), 20u);
    EXPECT_EQ(ofFilm.front(), "6");          // 0 .. 5 were the oldest
    EXPECT_EQ(ofFilm.back(), "today's");
    EXPECT_EQ(copies().size(), 22u);          // the other files' copies stay
}
