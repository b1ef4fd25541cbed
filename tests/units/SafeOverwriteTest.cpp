// Nothing the user has is written over behind their back: a save goes
// through when no backup can be kept (and says so once), another program's
// version of the timeline is replaced only with the user's word and after a
// copy of it is kept, and a tool's output never replaces a file the user had
// without a copy or a question.
#include "core/FileIO.h"
#include "core/TimelineWriter.h"
#include "core/TimelineBackup.h"
#include "filetools/Export.h"
#include "opening/Loader.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace vt;
namespace fs = std::filesystem;

namespace {

const std::string Users = "1\r\n00:00:01,000 --> 00:00:02,000\r\n用户的字幕\r\n\r\n";
const std::string Others = "1\r\n00:00:05,000 --> 00:00:06,000\r\n另一个程序存的\r\n\r\n";
const std::string Ours = "1\r\n00:00:04,000 --> 00:00:05,000\r\n新\r\n\r\n";

class SafeOverwrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("overwrite");
        useBackups(true);
        film = (dir / "film.srt").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    // An unusable state folder: its path runs through a regular file, which
    // no user (root included) can make a folder in.
    void useBackups(bool usable)
    {
        writeFileAtomically((dir / "blocker").string(), "a file, not a folder");
        ::setenv("XDG_STATE_HOME", (dir / (usable ? "state" : "blocker/state")).c_str(), 1);
    }

    std::vector<std::string> backups() const
    {
        std::vector<std::string> found;
        fs::path folder = dir / "state" / "veltrana" / "backups";
        if (fs::exists(folder))
            for (const auto& entry : fs::directory_iterator(folder))
                found.push_back(readWholeFile(entry.path().string()));
        return found;
    }

    std::vector<std::string> besideTheTimeline() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().filename().string().find(OtherVersionInfix) != std::string::npos)
                found.push_back(readWholeFile(entry.path().string()));
        return found;
    }

    // The timeline saved as the editor saves it, with the user's answer
    // (nothing: no one to ask) and the notices told.
    void save(std::optional<bool> answer)
    {
        TimelineArray timeline(1);
        timeline[0] = {100, 125, u"新"};
        bool newTimeline = false;
        SaveDialogue dialogue;
        if (answer)
            dialogue.confirmReplace = [this, answer](const std::string& question) {
                questions.push_back(question);
                return *answer;
            };
        dialogue.notice = [this](const std::string& notice) { notices.push_back(notice); };
        proSaveSrt(timeline, 1, 25.0f, film, {TextEncoding::Utf8, false}, newTimeline, dialogue);
    }

    void load()
    {
        writeFileAtomically((dir / "film.avi").string(), "not looked at");
        writeFileAtomically((dir / "film.ws").string(), std::string(1000, '\0'));
        LoadRequest request;
        request.VideoFileName = (dir / "film.avi").string();
        request.WavFileName = (dir / "film.wav").string();
        request.TimelineFileName = film;
        request.FrameRate = 25.0f;
        ProjectState state;
        ASSERT_TRUE(loadProject(request, state, {}).ok);
    }

    fs::path dir;
    std::string film;
    std::vector<std::string> questions, notices;
};

}  // namespace

TEST_F(SafeOverwrite, NoBackupFolderNeverStopsTheSaveAndIsToldOnce)
{
    writeFileAtomically(film, Users);
    useBackups(false);
    save(std::nullopt);
    save(std::nullopt);
    EXPECT_EQ(readWholeFile(film), Ours);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_TRUE(notices[0].starts_with(std::string(MsgNoBackup) + "film.srt" + std::string(MsgNoBackupTried)));
    EXPECT_NE(notices[0].find((dir / "blocker").string()), std::string::npos) << notices[0];
}

// Between this program's reading (or saving) of the timeline and its next
// save, another program writes the file.
TEST_F(SafeOverwrite, AnotherProgramsVersionIsReplacedOnlyWithTheUsersWordAndACopy)
{
    const struct {
        const char* name;
        bool readByTheLoader;  // else written by a save first
        std::optional<bool> answer;
        bool backupsUsable;
        bool replaced;
        const char* keptWhere;  // "backups", "beside" or "" (not replaced: nothing to keep)
    } cases[] = {
        {"after the load, no one to ask", true, std::nullopt, true, false, ""},
        {"after the load, the user says no", true, false, true, false, ""},
        {"after the load, the user says yes", true, true, true, true, "backups"},
        {"after a save, the user says yes", false, true, true, true, "backups"},
        {"yes, but the backups cannot take it", true, true, false, true, "beside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        questions.clear();
        notices.clear();
        writeFileAtomically(film, Users);
        if (c.readByTheLoader)
            load();
        else
            save(std::nullopt);
        writeFileAtomically(film, Others);  // another program's save
        useBackups(c.backupsUsable);

        bool refused = false;
        try {
            save(c.answer);
        } catch (const TimelineChangedOnDisk& error) {
            refused = true;
            EXPECT_EQ(error.what(), std::string(MsgChangedOnDiskNotSaved) + "film.srt");
        }
        EXPECT_EQ(refused, !c.replaced);
        EXPECT_EQ(questions.size(), c.answer ? 1u : 0u);
        EXPECT_EQ(readWholeFile(film), c.replaced ? Ours : Others);
        std::vector<std::string> inBackups = backups(), beside = besideTheTimeline();
        EXPECT_EQ(std::count(inBackups.begin(), inBackups.end(), Others), std::string(c.keptWhere) == "backups");
        EXPECT_EQ(beside, std::string(c.keptWhere) == "beside" ? std::vector<std::string>{Others}
                                                              : std::vector<std::string>{});
        if (c.replaced) {
            // and the next save, of what this program wrote, asks nothing
            save(std::nullopt);
            EXPECT_EQ(readWholeFile(film), Ours);
        }
    }
}

// The text export's output is filled in from the spare file's name: it may
// be the user's script. A file this run created is the program's own.
TEST_F(SafeOverwrite, AToolsOutputReplacesAUsersFileOnlyWithACopyOrTheirWord)
{
    const struct {
        const char* name;
        bool scriptThere;
        bool backupsUsable;
        std::optional<bool> answer;
        bool written;
        bool asked;
    } cases[] = {
        {"a new file", false, false, std::nullopt, true, false},
        {"the user's script, copied first", true, true, std::nullopt, true, false},
        {"the user's script, no copy possible, no one to ask", true, false, std::nullopt, false, false},
        {"the user's script, no copy possible, the user says no", true, false, false, false, true},
        {"the user's script, no copy possible, the user says yes", true, false, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        const std::string spare = (dir / "english.srt").string(), script = (dir / "english.txt").string();
        writeFileAtomically(spare, "1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n\r\n");
        if (c.scriptThere)
            writeFileAtomically(script, "my script\r\n");
        useBackups(c.backupsUsable);
        int asked = 0;
        SaveDialogue dialogue;
        if (c.answer)
            dialogue.confirmReplace = [&](const std::string&) { return ++asked, *c.answer; };

        EXPECT_EQ(saveSpareText(spare, script, film, dialogue), c.written);
        EXPECT_EQ(readWholeFile(script), c.written ? "Hello\r\n\r\n" : "my script\r\n");
        EXPECT_EQ(asked, c.asked ? 1 : 0);
        if (c.scriptThere && c.backupsUsable)
            EXPECT_EQ(backups(), std::vector<std::string>{"my script\r\n"});
        // a second export over what this run wrote is the program's own to replace
        EXPECT_TRUE(saveSpareText(spare, script, film, dialogue) || !c.written);
    }
}
