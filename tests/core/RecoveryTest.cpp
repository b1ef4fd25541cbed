// The autosaved copy of a timeline from its writing to its offer: written
// only when the timeline differs from its file, offered only when newer and
// different, taken back line for line, moved aside when declined, and gone
// with the next save.
#include "core/Coverage.h"
#include "core/FileIO.h"
#include "core/SrtWriter.h"
#include "core/TextCodec.h"
#include "core/TimelineRecovery.h"
#include "opening/Recovery.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const FileEncoding Gbk{TextEncoding::Gbk, false};

// A project of three lines at 25 fps whose texts are kept in its SRT.
ProjectState threeLines(const std::string& srt)
{
    ProjectState p;
    p.TimelineFileName = srt;
    p.FrameRate = 25.0f;
    p.TimelineEncoding = Gbk;
    p.Timeline = {{25, 50, u"你好"}, {75, 100, u"世界"}, {150, 175, u"再见"}};
    p.Timeline.resize(3 + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
    p.TimelineCount = p.TextCount = 3;
    p.WaveMarks.assign(4000, 0);
    rebuildWaveMarks(p.WaveMarks, p.Timeline, p.TimelineCount, p.FrameRate);
    return p;
}

void autosave(const ProjectState& p)
{
    autosaveTimeline(p.Timeline, p.TimelineCount, p.FrameRate, p.TimelineFileName, p.TimelineEncoding);
}

void makeOlder(const std::string& path)
{
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
}

}  // namespace

TEST(Recovery, FromAutosaveToOfferAnswerAndSave)
{
    const fs::path dir = fs::temp_directory_path() / "veltrana-recovery-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string srt = (dir / "film.srt").string();
    ProjectState onDisk = threeLines(srt);
    bool newTimeline = false;
    proSaveSrt(onDisk.Timeline, onDisk.TimelineCount, onDisk.FrameRate, srt, Gbk, newTimeline);
    makeOlder(srt);
    const std::string copy = recoveryFileName(srt);

    // nothing changed: nothing written
    autosave(onDisk);
    EXPECT_FALSE(fileExists(copy));

    // the second line moved and retyped, a fourth put in
    ProjectState edited = onDisk;
    edited.Timeline[1] = {80, 110, u"^p世界^p^p第二行^p"};
    edited.Timeline[3] = {200, 225, u"第4行"};
    edited.TimelineCount = edited.TextCount = 4;
    rebuildWaveMarks(edited.WaveMarks, edited.Timeline, edited.TimelineCount, edited.FrameRate);
    autosave(edited);
    ASSERT_TRUE(fileExists(copy));
    EXPECT_EQ(readWholeFile(copy), encodeText(srtText(edited.Timeline, 4, 25.0f), Gbk));

    // older than the file: not offered, kept
    fs::last_write_time(copy, fs::last_write_time(srt) - std::chrono::seconds(1));
    EXPECT_FALSE(recoveryOffer(srt));
    EXPECT_TRUE(fileExists(copy));

    // newer: offered with the two lines that differ, and taken back exactly
    autosave(edited);
    std::optional<RecoveryOffer> offer = recoveryOffer(srt);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->differingLines, 2);
    EXPECT_EQ(recoveryQuestion(*offer).find(MsgRecoverySavedAt), 0u);
    ProjectState loaded = threeLines(srt);
    restoreRecoveredTimeline(loaded, *offer);
    EXPECT_EQ(loaded.TimelineCount, 4);
    EXPECT_EQ(loaded.TextCount, 4);
    EXPECT_EQ(loaded.WaveMarks, edited.WaveMarks);
    EXPECT_EQ(srtText(loaded.Timeline, 4, 25.0f), srtText(edited.Timeline, 4, 25.0f));
    EXPECT_EQ(readWholeFile(srt), encodeText(srtText(onDisk.Timeline, 3, 25.0f), Gbk)) << "the file waits for a save";

    // declined: moved aside with its bytes, not offered again
    const std::string bytes = readWholeFile(copy);
    const std::string aside = declineRecovery(*offer);
    EXPECT_FALSE(fileExists(copy));
    EXPECT_EQ(readWholeFile(aside), bytes);
    EXPECT_FALSE(recoveryOffer(srt));

    // a copy with the same lines as the file is no offer, and goes
    writeFileAtomically(copy, readWholeFile(srt));
    EXPECT_FALSE(recoveryOffer(srt));
    EXPECT_FALSE(fileExists(copy));

    // a save takes the copy away, never the one set aside
    autosave(edited);
    ASSERT_TRUE(fileExists(copy));
    proSaveSrt(edited.Timeline, edited.TimelineCount, edited.FrameRate, srt, Gbk, newTimeline);
    EXPECT_FALSE(fileExists(copy));
    EXPECT_TRUE(fileExists(aside));
    fs::remove_all(dir);
}
