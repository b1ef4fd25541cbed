// What a save knows of the file it is about to replace: another program's
// version is told from the one this run read or wrote, however little it
// changed, and the timeline's fingerprint is matched only by its own.
#include "core/KnownContents.h"

#include "core/FileIO.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

class KnownContents : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("known");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    fs::path dir;
};

const std::string Read = "1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n\r\n"
                         "2\r\n00:00:03,000 --> 00:00:04,500\r\n再见\r\n\r\n";

}  // namespace

// Another program's edits that keep the file's length: a retimed line, a
// corrected character, two characters swapped. Each is told from the file
// that was read; the file as read, written again, is not.
TEST_F(KnownContents, AnOutsideEditThatKeepsTheLengthIsNoticed)
{
    auto edited = [](size_t at, std::string_view with) { return std::string(Read).replace(at, with.size(), with); };
    const struct {
        const char* what;
        std::string now;
        bool changed;
    } cases[] = {
        {"the same bytes written again", Read, false},
        {"a time moved by a second", edited(Read.find("00:00:02"), "00:00:03"), true},
        {"two digits swapped", edited(Read.find("04,500"), "05,400"), true},
        {"the first byte", edited(0, "7"), true},
        {"the last byte", edited(Read.size() - 1, " "), true},
        {"two characters swapped", edited(Read.find("你好"), "好你"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.now.size(), Read.size());
        const std::string file = path("film.srt");
        writeFileAtomically(file, Read);
        rememberContents(file, Read);
        writeFileAtomically(file, c.now);
        EXPECT_EQ(changedSinceRemembered(file), c.changed);
    }
}

// Nothing to lose and nothing to say: no record of the file, or the file gone.
TEST_F(KnownContents, AFileNotRememberedOrGoneIsNoOtherVersion)
{
    const std::string never = path("never.srt");
    writeFileAtomically(never, Read);
    EXPECT_FALSE(changedSinceRemembered(never));

    const std::string gone = path("gone.srt");
    writeFileAtomically(gone, Read);
    rememberContents(gone, Read);
    fs::remove(gone);
    EXPECT_FALSE(changedSinceRemembered(gone));

    // the same file named another way is the same record
    const std::string film = path("film.srt");
    writeFileAtomically(film, Read);
    rememberContents((dir / "." / "film.srt").string(), Read);
    writeFileAtomically(film, std::string(Read).replace(0, 1, "7"));
    EXPECT_TRUE(changedSinceRemembered(film));
}

TEST_F(KnownContents, TheSavedTimelineIsMatchedByItsOwnFingerprintOnly)
{
    const std::string film = path("film.srt");
    EXPECT_FALSE(matchesSavedTimeline(film, 42)) << "nothing remembered";
    rememberSavedTimeline(film, 42);
    EXPECT_TRUE(matchesSavedTimeline(film, 42));
    EXPECT_FALSE(matchesSavedTimeline(film, 43));
    EXPECT_FALSE(matchesSavedTimeline(path("other.srt"), 42));
    rememberSavedTimeline(film, 43);
    EXPECT_FALSE(matchesSavedTimeline(film, 42)) << "the later save is the one remembered";
}
