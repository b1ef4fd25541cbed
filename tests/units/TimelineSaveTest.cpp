// Where a save of the timeline lands when the file is not a plain writable
// file in a writable folder: a symbolic link is written through, a
// read-only file is replaced only on the user's word, a folder that takes no
// new file gets the bytes in place, and a signal's ending puts the edits in
// the first place that takes them. The copies carry the timeline's own
// extension.
#include "core/FileIO.h"
#include "core/TimelineWriter.h"
#include "core/TimelineBackup.h"
#include "core/TimelineRecovery.h"
#include "tests/support/NormalUser.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const std::string Users = "1\r\n00:00:01,000 --> 00:00:02,000\r\n用户的字幕\r\n\r\n";
const std::string Ours = "1\r\n00:00:04,000 --> 00:00:05,000\r\n新\r\n\r\n";
constexpr FileEncoding Utf8{TextEncoding::Utf8, false};

class TimelineSave : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("timeline-save");
        ::chmod(dir.c_str(), 0755);  // the user nobody passes through it
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    void TearDown() override
    {
        ::chmod(dir.c_str(), 0755);
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            if (entry.is_directory())
                ::chmod(entry.path().c_str(), 0755);
        fs::remove_all(dir);
        ::unsetenv("HOME");
    }

    // The timeline saved as the editor saves it; the answer to a read-only
    // question (nothing: no one to ask), what was asked and told, and for
    // each notice what the file held when it was told.
    void save(const std::string& file, std::optional<bool> readOnlyAnswer = std::nullopt)
    {
        TimelineArray timeline(1);
        timeline[0] = {100, 125, u"新"};
        bool newTimeline = true;
        SaveDialogue dialogue;
        dialogue.notice = [this, file](const std::string& notice) {
            notices.push_back(notice);
            heldWhenTold.push_back(readWholeFile(file));
        };
        if (readOnlyAnswer)
            dialogue.confirmReadOnly = [this, readOnlyAnswer](const std::string& question) {
                questions.push_back(question);
                return *readOnlyAnswer;
            };
        proSaveSrt(timeline, 1, 25.0f, file, Utf8, newTimeline, dialogue);
    }

    std::vector<std::string> backups() const
    {
        std::vector<std::string> found;
        const fs::path folder = dir / "state" / "veltrana" / "backups";
        if (fs::exists(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                found.push_back(readWholeFile(entry.path().string()));
        return found;
    }

    fs::path dir;
    std::vector<std::string> questions, notices, heldWhenTold;
};

}  // namespace

// The link stays a link, the file it leads to gets the bytes (replaced in
// its own folder, through one link or two, relative or absolute), and the
// backup is of what that file held.
TEST_F(TimelineSave, ALinkIsWrittenThroughAndStaysALink)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;  // link, what it holds
    };
    const Case cases[] = {
        {"relative", {{"a.srt", "real/film.srt"}}},
        {"absolute", {{"b.srt", "ABS/real/film.srt"}}},
        {"two hops", {{"c.srt", "hop.srt"}, {"hop.srt", "real/film.srt"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "real");
        fs::remove(dir / "hop.srt");
        fs::remove_all(dir / "state");
        fs::create_directory(dir / "real");
        const std::string target = (dir / "real" / "film.srt").string();
        writeFileAtomically(target, Users);
        for (const auto& [link, to] : c.links) {
            std::string where = to;
            if (where.starts_with("ABS/"))
                where = (dir / where.substr(4)).string();
            fs::create_symlink(where, dir / link);
        }
        const fs::path link = dir / c.links[0].first;
        save(link.string());
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(readWholeFile(target), Ours);
        EXPECT_EQ(std::vector<std::string>{Users}, backups());
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir / "real"))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"film.srt"}) << "a temporary was left beside the target";
    }
}

// A file the user marked read-only is asked about, once a run; "否" (and no
// one to ask) leaves it byte for byte and says nothing was saved; "是"
// replaces it after a backup, and it stays read-only.
TEST_F(TimelineSave, AReadOnlyTimelineIsReplacedOnlyOnTheUsersWord)
{
    const std::string film = (dir / "film.srt").string();
    struct Case {
        const char* name;
        std::optional<bool> answer;
        bool replaced;
    };
    for (const Case& c : {Case{"no", false, false}, Case{"no one to ask", std::nullopt, false},
                          Case{"yes", true, true}}) {
        SCOPED_TRACE(c.name);
        questions.clear();
        ::chmod(film.c_str(), 0644);
        writeFileAtomically(film, Users);
        ::chmod(film.c_str(), 0444);
        if (c.replaced) {
            save(film, c.answer);
            EXPECT_EQ(readWholeFile(film), Ours);
            ASSERT_EQ(backups().size(), 1u);
            EXPECT_EQ(backups()[0], Users);
            struct stat st {};
            ASSERT_EQ(::stat(film.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0444u);
            save(film, c.answer);  // the word holds for the run
        } else {
            EXPECT_THROW(save(film, c.answer), TimelineReadOnly);
            EXPECT_EQ(readWholeFile(film), Users);
        }
        EXPECT_EQ(questions.size(), c.answer ? 1u : 0u);
        if (!questions.empty())
            EXPECT_TRUE(questions[0].starts_with(std::string(MsgReadOnlyAsk) + "film.srt"));
    }
}

// As an ordinary user, in a folder that takes no new file, with no backup
// possible (the state folder is root's): a timeline that may itself be
// written gets the bytes in place, and the notice comes only once they are
// there; one that may not (the user said yes to replacing it) is left
// alone, the failure says the folder refused, and nothing told the user it
// was saved.
TEST_F(TimelineSave, AFolderThatTakesNoNewFileGetsTheBytesInPlace)
{
    fs::create_directory(dir / "locked");
    const std::string film = (dir / "locked" / "film.srt").string();
    for (const bool fileWritable : {true, false}) {
        SCOPED_TRACE(fileWritable ? "the file may be written" : "the file may not be written");
        ::chmod((dir / "locked").c_str(), 0755);
        writeFileAtomically(film, Users + Users);  // longer than what replaces it
        ASSERT_EQ(::chown(film.c_str(), normaluser::Nobody, normaluser::Nobody), 0);
        ::chmod(film.c_str(), fileWritable ? 0644 : 0444);
        ::chmod((dir / "locked").c_str(), 0555);
        const int result = normaluser::runAsNormalUser([&] {
            notices.clear();
            heldWhenTold.clear();
            try {
                save(film, true);
            } catch (const FolderRefusesNewFile&) {
                return notices.empty() ? 10 : 14;
            } catch (const FileError&) {
                return 11;
            }
            if (notices.size() != 1 || !notices[0].starts_with(MsgNoBackup) ||
                notices[0].find(MsgSavedInPlace) == std::string::npos)
                return 12;
            return heldWhenTold[0] == Ours ? 0 : 13;  // told after the bytes were there
        });
        EXPECT_EQ(result, fileWritable ? 0 : 10);
        EXPECT_EQ(readWholeFile(film), fileWritable ? Ours : Users + Users);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "locked"), fs::directory_iterator()), 1);
    }
}

// A signal cannot ask: the edits go to the first place that takes them,
// the autosave places, then the home folder, then the temporary folder.
TEST_F(TimelineSave, ARescueTakesTheFirstPlaceThatWritesInOrder)
{
    writeFileAtomically((dir / "blocker").string(), "a file, not a folder");
    fs::create_directory(dir / "project");
    fs::create_directory(dir / "home");
    fs::create_directory(dir / "state");
    ::chmod((dir / "home").c_str(), 0777);
    ::chmod((dir / "state").c_str(), 0777);
    const std::string film = (dir / "project" / "film.ass").string();
    writeFileAtomically(film, Users);
    TimelineArray timeline(1);
    timeline[0] = {100, 125, u"新"};
    struct Case {
        const char* name;
        bool stateUsable, projectUsable, homeUsable;
        std::string expectedFolder;  // where the copy lands; "tmp" for the temporary folder
    };
    const Case cases[] = {
        {"state folder", true, true, true, (dir / "state" / "veltrana" / "recovery").string()},
        {"beside the timeline", false, true, true, (dir / "project").string()},
        {"home", false, false, true, (dir / "home").string()},
        {"temporary folder", false, false, false, "tmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ::setenv("XDG_STATE_HOME", (dir / (c.stateUsable ? "state" : "blocker/state")).c_str(), 1);
        ::setenv("HOME", (dir / (c.homeUsable ? "home" : "blocker/home")).c_str(), 1);
        ::chmod((dir / "project").c_str(), 0755);
        ::chmod((dir / "project").c_str(), c.projectUsable ? 0777 : 0555);
        const int result = normaluser::runAsNormalUser([&] {
            try {
                const std::string place = rescueTimeline(timeline, 1, 25.0f, film, Utf8);
                const std::string folder = fs::path(place).parent_path().string();
                const bool inTmp = folder == fs::temp_directory_path().string();
                const bool right = c.expectedFolder == "tmp" ? inTmp : folder == c.expectedFolder;
                const bool named = fs::path(place).extension() == ".ass" && readWholeFile(place) == Ours;
                if (c.expectedFolder == "tmp")
                    fs::remove(place);
                return right && named ? 0 : 1;
            } catch (const FileError&) {
                return 2;
            }
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(readWholeFile(film), Users);
        ::chmod((dir / "project").c_str(), 0755);
        removeRecoveryFile(film);
    }
}

// The copies are named with the timeline's own extension in every place,
// and a copy an earlier version named .srt is still found and removed.
TEST_F(TimelineSave, CopiesCarryTheTimelinesOwnExtension)
{
    ::setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
    for (const char* name : {"film.ass", "film.ssa", "film.vtt", "film.srt", "film"}) {
        SCOPED_TRACE(name);
        const std::string timeline = (dir / name).string();
        const std::string expected = fs::path(name).has_extension() ? fs::path(name).extension().string() : ".srt";
        for (const std::string& place : recoveryPlaces(timeline))
            EXPECT_EQ(fs::path(place).extension().string(), expected) << place;
    }
    const std::string ass = (dir / "film.ass").string();
    const std::string earlier = earlierRecoveryFileNames(ass)[1];
    EXPECT_EQ(fs::path(earlier).extension(), ".srt");
    fs::create_directories(fs::path(earlier).parent_path());
    writeFileAtomically(earlier, "an earlier version's copy");
    removeRecoveryFile(ass);
    EXPECT_FALSE(fs::exists(earlier));
}
