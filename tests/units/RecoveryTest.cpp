// The autosaved copy of a timeline from its writing to its offer: written
// only when the timeline differs from its file, offered only when newer and
// different, taken back line for line, moved aside when declined, and gone
// with the next save.
#include "core/Coverage.h"
#include "core/FileIO.h"
#include "core/TimelineWriter.h"
#include "core/SubtitleDocument.h"
#include "core/TextCodec.h"
#include "core/TimelineBackup.h"
#include "core/TimelineRecovery.h"
#include "opening/Recovery.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

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

    // older than the file (the file touched after the crash): still offered,
    // saying so, and kept
    fs::last_write_time(copy, fs::last_write_time(srt) - std::chrono::seconds(1));
    std::optional<RecoveryOffer> older = recoveryOffer(srt);
    ASSERT_TRUE(older);
    EXPECT_TRUE(older->timelineNewer);
    EXPECT_NE(recoveryQuestion(*older).find(MsgRecoveryTimelineNewer), std::string::npos);
    EXPECT_TRUE(fileExists(copy));

    // newer: offered with the two lines that differ, and taken back exactly
    autosave(edited);
    std::optional<RecoveryOffer> offer = recoveryOffer(srt);
    ASSERT_TRUE(offer);
    EXPECT_FALSE(offer->timelineNewer);
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

// An ASS timeline's copy is that script with the changes: offered with the
// line that differs, and taken back it becomes the file the next save
// writes, so the save holds the recovered change and every style, comment
// and untouched byte of the script.
TEST(Recovery, AnAssTimelinesCopyKeepsTheScript)
{
    const fs::path dir = fs::temp_directory_path() / "veltrana-recovery-ass-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string ass = (dir / "film.ass").string();
    const std::u16string script =
        u"[Script Info]\r\n; 注释\r\n\r\n[V4+ Styles]\r\nFormat: Name, Fontsize\r\nStyle: 中文,60\r\n\r\n"
        u"[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
        u"Dialogue: 0,0:00:01.00,0:00:02.00,中文,,0,0,0,,{\\an8}一\r\n"
        u"Comment: 0,0:00:02.00,0:00:03.00,中文,,0,0,0,,备注\r\n"
        u"Dialogue: 1,0:00:05.00,0:00:06.00,中文,,0,0,0,,二\r\n";
    writeFileAtomically(ass, encodeText(script, Gbk));
    makeOlder(ass);
    auto opened = [&] {
        ProjectState p;
        p.TimelineFileName = ass;
        p.FrameRate = 25.0f;
        p.TimelineEncoding = Gbk;
        auto document = std::make_shared<TimelineDocument>(
            TimelineDocument{SubtitleDocument::parse(TimelineFormat::Ass, script), {{25, 50}, {125, 150}}, 25.0f});
        p.Timeline = {{25, 50, u"一", 0}, {125, 150, u"二", 1}};
        p.Timeline.resize(2 + 256, TimelineEntry{FreeSlotFrame, FreeSlotFrame, {}});
        p.TimelineCount = p.TextCount = 2;
        p.TimelineFileDocument = document;
        p.WaveMarks.assign(4000, 0);
        rebuildWaveMarks(p.WaveMarks, p.Timeline, p.TimelineCount, p.FrameRate);
        return p;
    };
    ProjectState edited = opened();
    edited.Timeline[1].StartFrame = 130;
    edited.Timeline[1].Text = u"二!";
    autosaveTimeline(edited.Timeline, 2, 25.0f, ass, Gbk, nullptr, edited.TimelineFileDocument.get());
    const std::u16string expected =
        u"[Script Info]\r\n; 注释\r\n\r\n[V4+ Styles]\r\nFormat: Name, Fontsize\r\nStyle: 中文,60\r\n\r\n"
        u"[Events]\r\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
        u"Dialogue: 0,0:00:01.00,0:00:02.00,中文,,0,0,0,,{\\an8}一\r\n"
        u"Comment: 0,0:00:02.00,0:00:03.00,中文,,0,0,0,,备注\r\n"
        u"Dialogue: 1,0:00:05.20,0:00:06.00,中文,,0,0,0,,二!\r\n";
    ASSERT_EQ(readWholeFile(recoveryFileName(ass)), encodeText(expected, Gbk));

    std::optional<RecoveryOffer> offer = recoveryOffer(ass);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->differingLines, 1);
    ProjectState restored = opened();
    restoreRecoveredTimeline(restored, *offer);
    ASSERT_NE(restored.TimelineFileDocument, nullptr);
    EXPECT_EQ(restored.Timeline[1].Text, u"二!");
    bool newTimeline = false;
    proSaveSrt(restored.Timeline, restored.TimelineCount, restored.FrameRate, ass, Gbk, newTimeline, {},
               restored.TimelineFileDocument.get());
    EXPECT_EQ(readWholeFile(ass), encodeText(expected, Gbk));
    fs::remove_all(dir);
}

// Two timelines never share a copy, a lock or a backup rotation, however
// alike their paths; one file, however spelt, keeps one.
TEST(RecoveryNames, OnePerTimelineFile)
{
    struct Case {
        std::string a, b;
        bool sameFile;
    };
    const Case cases[] = {
        {"/media/series/S01E02/ep.srt", "/media/series/S02E01/ep.srt", false},
        // these two shared a name under a 32-bit hash of the path
        {"/media/series/000041Sx2EEE3/ep.srt", "/media/series/0000E2S43EEx1/ep.srt", false},
        {"/media/series/00012ExEE43S0/ep.srt", "/media/series/0001x0S4EE32E/ep.srt", false},
        {"/films/a/b/film.srt", "/films/b/a/film.srt", false},
        {"/films/a/film.srt", "/films/a/./x/../film.srt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a + " / " + c.b);
        EXPECT_EQ(recoveryFileName(c.a) == recoveryFileName(c.b), c.sameFile);
        EXPECT_EQ(backupNamePrefix(c.a) == backupNamePrefix(c.b), c.sameFile);
        EXPECT_EQ(recoveryPlaces(c.a) == recoveryPlaces(c.b), c.sameFile);
    }
}

// The copy is due a fixed time after the first change since the last write,
// whatever follows: with a change every 0.5 s and a delay of 1 s, a copy is
// written every second, the first 1 s after the first change.
TEST(AutosaveSchedule, SteadyEditingDoesNotPutTheCopyOff)
{
    struct Event {
        int64_t at;
        std::string change;  // the file changed; empty: saved (the schedule cleared)
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<std::pair<int64_t, std::string>> writes;
    };
    std::vector<Event> steady;
    for (int64_t t = 0; t <= 2500; t += 500)
        steady.push_back({t, "film.srt"});
    const Case cases[] = {
        {"steady editing", steady, {{1000, "film.srt"}, {2000, "film.srt"}, {3000, "film.srt"}}},
        {"a save in between", {{0, "film.srt"}, {400, ""}, {600, "film.srt"}}, {{1600, "film.srt"}}},
        {"another timeline loaded", {{0, "a.srt"}, {300, "b.srt"}, {600, "b.srt"}}, {{1300, "b.srt"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AutosaveSchedule schedule;
        std::optional<int64_t> timer;  // the one-shot timer the program runs
        std::vector<std::pair<int64_t, std::string>> writes;
        size_t next = 0;
        for (int64_t now = 0; now <= 5000; now += 50) {
            if (timer && now >= *timer) {
                timer.reset();
                if (std::optional<std::string> file = schedule.take())
                    writes.emplace_back(now, *file);
            }
            for (; next < c.events.size() && c.events[next].at == now; ++next) {
                if (c.events[next].change.empty()) {
                    schedule.clear();
                    timer.reset();
                } else if (std::optional<int64_t> due = schedule.changed(c.events[next].change, now, 1000)) {
                    timer = due;
                }
            }
        }
        EXPECT_EQ(writes, c.writes);
    }
}

namespace {

// A project timed from a TXT file of five texts; the first three are timed.
ProjectState txtProject(const std::string& srt)
{
    ProjectState p = threeLines(srt);
    p.TextFromTxtFile = true;
    p.Timeline[3].Text = u"第四句";
    p.Timeline[4].Text = u"第五句";
    p.TextCount = 5;
    return p;
}

class RecoveryFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("recovery");
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        ::unsetenv("XDG_RUNTIME_DIR");
        srt = (dir / "film.srt").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    // The timeline file as the project's load found it, an hour old.
    void onDisk(const ProjectState& p)
    {
        writeFileAtomically(srt, encodeText(srtText(p.Timeline, p.TimelineCount, p.FrameRate), p.TimelineEncoding));
        makeOlder(srt);
    }

    fs::path dir;
    std::string srt;
};

std::vector<std::u16string> textsOf(const ProjectState& p)
{
    std::vector<std::u16string> texts;
    for (int32_t i = 0; i < std::max(p.TextCount, p.TimelineCount); ++i)
        texts.push_back(p.Timeline[size_t(i)].Text);
    return texts;
}

}  // namespace

// Yes gives back the texts each time was written with, never a TXT file's
// read again: here the second text was taken out before the crash, so the
// TXT pairs every later time with the text before its own. And a GBK
// timeline whose texts' bytes would also read as UTF-8 comes back as typed.
TEST_F(RecoveryFolder, YesGivesBackTimesWithTheirOwnTexts)
{
    ProjectState loaded = txtProject(srt);
    onDisk(loaded);
    ProjectState edited = loaded;
    for (int32_t i = 1; i < 4; ++i)
        edited.Timeline[size_t(i)].Text = loaded.Timeline[size_t(i) + 1].Text;
    edited.Timeline[4].Text.clear();
    edited.TextCount = 4;
    const UntimedTexts untimed = untimedTextsOf(edited.Timeline, edited.TimelineCount, edited.TextCount);
    ASSERT_FALSE(autosaveTimeline(edited.Timeline, 3, 25.0f, srt, Gbk, &untimed).empty());

    std::optional<RecoveryOffer> offer = recoveryOffer(srt);
    ASSERT_TRUE(offer);
    ProjectState restored = txtProject(srt);  // as the next start loads it: texts from the TXT
    restoreRecoveredTimeline(restored, *offer);
    EXPECT_EQ(restored.TimelineCount, 3);
    EXPECT_EQ(restored.TextCount, 4);
    EXPECT_EQ(textsOf(restored), (std::vector<std::u16string>{u"你好", u"再见", u"第四句", u"第五句"}));
    EXPECT_EQ(restored.Timeline[1].StartFrame, 75);

    // "一业专" in GBK is d2bb d2b5 d7a8, which is UTF-8 too (as is every other byte here)
    ProjectState gbk = threeLines(srt);
    onDisk(gbk);
    const std::u16string typed[] = {u"一业专", u"丝丞", u"丕丐"};
    for (size_t i = 0; i < 3; ++i)
        gbk.Timeline[i].Text = typed[i];
    autosave(gbk);
    offer = recoveryOffer(srt);
    ASSERT_TRUE(offer);
    ProjectState back = threeLines(srt);
    restoreRecoveredTimeline(back, *offer);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(back.Timeline[i].Text, typed[i]);
}

// With the state folder unusable the copy goes beside the timeline, where
// the next start finds it and the save removes it; with no place at all the
// autosave says so, and where it tried.
TEST_F(RecoveryFolder, AnUnwritableStateFolderFallsBackBesideTheTimeline)
{
    std::ofstream(dir / "state") << "a file where the state folder would be";
    ProjectState p = threeLines(srt);
    onDisk(p);
    p.Timeline[0].Text = u"改过";
    const std::string copy = autosaveTimeline(p.Timeline, 3, 25.0f, srt, Gbk);
    EXPECT_EQ(copy, (dir / ".film.veltrana-autosave.srt").string());
    std::optional<RecoveryOffer> offer = recoveryOffer(srt);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->path, copy);
    removeRecoveryFile(srt);  // as every save does
    EXPECT_FALSE(fileExists(copy));

    fs::create_directory(copy);  // nothing can be renamed onto a folder
    p.Timeline[0].Text = u"又改了";
    try {
        autosaveTimeline(p.Timeline, 3, 25.0f, srt, Gbk);
        ADD_FAILURE() << "no place took the copy, and nothing said so";
    } catch (const FileError& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.find(MsgAutosaveFailed), 0u);
        EXPECT_NE(text.find((dir / "state").string()), std::string::npos);
        EXPECT_NE(text.find(copy), std::string::npos);
    }
}

// One editor per timeline: the lock refuses a second holder, in another
// program or this one, and is free again once its holder is killed.
TEST_F(RecoveryFolder, TheLockRefusesASecondHolderUntilTheFirstIsKilled)
{
    std::ofstream(srt) << "";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TimelineLock lock(srt);
        const char held = lock.state() == TimelineLock::State::Held ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    char held = 0;
    ASSERT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');

    EXPECT_EQ(TimelineLock(srt).state(), TimelineLock::State::HeldElsewhere);
    try {
        claimTimeline(srt, nullptr);
        ADD_FAILURE() << "a second program was let in";
    } catch (const UserError& error) {
        EXPECT_EQ(std::string(error.what()), std::string(MsgTimelineOpenElsewhere) + "film.srt");
    }
    EXPECT_EQ(TimelineLock((dir / "other.srt").string()).state(), TimelineLock::State::Held);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    std::optional<TimelineLock> mine = claimTimeline((dir / "." / "film.srt").string(), nullptr);
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->state(), TimelineLock::State::Held);
    EXPECT_FALSE(claimTimeline(srt, &*mine)) << "the same file loaded again needs no second lock";
    EXPECT_EQ(TimelineLock(srt).state(), TimelineLock::State::HeldElsewhere);
}
