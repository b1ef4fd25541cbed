#include "filetools/Export.h"

#include "core/FileIO.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vt;
namespace fs = std::filesystem;

namespace {

// GBK bytes of 你好, 世界 and 再见
const std::string NiHao = "\xC4\xE3\xBA\xC3";
const std::string ShiJie = "\xCA\xC0\xBD\xE7";
const std::string ZaiJian = "\xD4\xD9\xBC\xFB";

// An entry without text in the middle, and no empty line after the last.
const std::string GbkSpare = "1\r\n00:00:01,000 --> 00:00:02,000\r\n" + NiHao + "\r\n\r\n"
                             "2\r\n00:00:03,000 --> 00:00:04,000\r\n\r\n"
                             "3\r\n00:00:05,000 --> 00:00:06,000\r\n" + ShiJie + "\r\n" + ZaiJian;

const TimelineArray Four = {{50, 75, u"own"}, {100, 125, u"own"}, {150, 175, u"own"}, {200, 225, u"own"}};

class Export : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = scratch::freshDir("export");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string retimed(const std::string& spareBytes, int32_t count)
    {
        writeFileAtomically(path("spare.srt"), spareBytes);
        saveRetimedSrt({Four, count, 25.0f, {TextEncoding::Utf8, false}, path("film.srt")}, path("spare.srt"),
                       path("spare.导出.srt"));
        return readWholeFile(path("spare.导出.srt"));
    }

    std::string plain(const std::string& spareBytes)
    {
        writeFileAtomically(path("spare.srt"), spareBytes);
        saveSpareText(path("spare.srt"), path("spare.txt"), path("film.srt"));
        return readWholeFile(path("spare.txt"));
    }

    fs::path dir;
};

}  // namespace

TEST_F(Export, RetimedKeepsPairingPastAnEntryWithoutText)
{
    EXPECT_EQ(retimed(GbkSpare, 4), "1\r\n00:00:02,000 --> 00:00:03,000\r\n" + NiHao + "\r\n\r\n"
                                    "2\r\n00:00:04,000 --> 00:00:05,000\r\n\r\n\r\n"
                                    "3\r\n00:00:06,000 --> 00:00:07,000\r\n" + ShiJie + "\r\n" + ZaiJian + "\r\n\r\n"
                                    "4\r\n00:00:08,000 --> 00:00:09,000\r\n\r\n\r\n");
    EXPECT_EQ(retimed(GbkSpare, 1), "1\r\n00:00:02,000 --> 00:00:03,000\r\n" + NiHao + "\r\n\r\n");
    // the spare file's byte-order mark is kept, and only then written
    EXPECT_EQ(retimed("\xEF\xBB\xBF" "1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n", 1),
              "\xEF\xBB\xBF" "1\r\n00:00:02,000 --> 00:00:03,000\r\n你好\r\n\r\n");
}

TEST_F(Export, PlainTextIsEachBlocksLinesAndAnEmptyLine)
{
    EXPECT_EQ(plain(GbkSpare), NiHao + "\r\n\r\n" "\r\n\r\n" + ShiJie + "\r\n" + ZaiJian + "\r\n\r\n");
    EXPECT_EQ(plain("\r\n \r\n"), "");
    EXPECT_EQ(plain(""), "");
}
