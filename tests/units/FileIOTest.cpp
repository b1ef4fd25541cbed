// A file written over must survive a crash at any moment: the new bytes are
// on disk before the rename makes them the file, and the rename is on disk
// before the save returns. The order is watched by standing in for fsync
// and rename in this test program (the program's own calls reach these,
// which pass on to the C library's); a flush or rename that fails is made
// to fail here, as a full disk or a vanished folder would.
#include "core/FileIO.h"

#include "tests/support/Scratch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// What the stand-ins saw while `watching`, as "fsync <path> <size>" and
// "rename <from> <to>"; `failing` names the call made to fail with EIO.
struct Watch {
    bool watching = false;
    std::string failing;
    std::vector<std::string> calls;
};
Watch watch;

std::string pathOfDescriptor(int fd)
{
    char target[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    return n < 0 ? std::string("?") : std::string(target, size_t(n));
}

}  // namespace

extern "C" int fsync(int fd)
{
    static auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    if (watch.watching) {
        struct stat st {};
        ::fstat(fd, &st);
        watch.calls.push_back("fsync " + pathOfDescriptor(fd) + (S_ISDIR(st.st_mode) ? "" : " " + std::to_string(st.st_size)));
        if (watch.failing == "fsync") {
            errno = EIO;
            return -1;
        }
    }
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept
{
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(::dlsym(RTLD_NEXT, "rename"));
    if (watch.watching) {
        watch.calls.push_back(std::string("rename ") + from + " " + to);
        if (watch.failing == "rename") {
            errno = EIO;
            return -1;
        }
    }
    return real(from, to);
}

namespace {

using namespace vt;

class FileIO : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::canonical(scratch::freshDir("fileio")).string();
    }
    void TearDown() override
    {
        watch = Watch{};
        fs::remove_all(dir);
    }

    std::vector<std::string> namesInFolder() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::string dir;
};

}  // namespace

// The temporary holds every byte when it is flushed; only then is it renamed
// over the file, and then the folder is flushed, which makes the rename last.
TEST_F(FileIO, TheNewBytesAreOnDiskBeforeTheyReplaceTheFile)
{
    const std::string film = dir + "/film.srt";
    writeFileAtomically(film, "old");
    const std::string bytes = "1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n\r\n";
    watch.watching = true;
    writeFileAtomically(film, bytes);
    watch.watching = false;

    ASSERT_EQ(watch.calls.size(), 3u) << ::testing::PrintToString(watch.calls);
    // the temporary's name is made at random, beside the file
    const std::string prefix = "fsync " + film + ".";
    ASSERT_TRUE(watch.calls[0].starts_with(prefix)) << watch.calls[0];
    const std::string temporary = watch.calls[0].substr(6, watch.calls[0].rfind(' ') - 6);
    EXPECT_EQ(watch.calls, (std::vector<std::string>{"fsync " + temporary + " " + std::to_string(bytes.size()),
                                                     "rename " + temporary + " " + film, "fsync " + dir}));
    EXPECT_EQ(readWholeFile(film), bytes);
}

// A flush or a rename that fails: the save says so, and the old file and
// the folder are as they were.
TEST_F(FileIO, AFailedFlushOrRenameLeavesTheOldFile)
{
    for (const char* failing : {"fsync", "rename"}) {
        SCOPED_TRACE(failing);
        const std::string film = dir + "/film.srt";
        writeFileAtomically(film, "old");
        watch.watching = true;
        watch.failing = failing;
        std::string error;
        try {
            writeFileAtomically(film, "new bytes");
        } catch (const FileError& e) {
            error = e.what();
        }
        watch = Watch{};
        EXPECT_EQ(error, std::string(MsgCannotSaveFile) + " \"" + film + "\": " + std::strerror(EIO));
        EXPECT_EQ(readWholeFile(film), "old");
        EXPECT_EQ(namesInFolder(), std::vector<std::string>{"film.srt"}) << "a temporary file was left";
    }
}

// Written in place (a folder that takes no new file), the file is flushed
// once it holds the new bytes and no more; a flush that fails is no save.
TEST_F(FileIO, AFileWrittenInPlaceIsFlushedWithItsNewLength)
{
    const std::string film = dir + "/film.srt";
    writeFileAtomically(film, "a longer old text than the new one");
    watch.watching = true;
    writeFileInPlace(film, "new bytes");
    watch.watching = false;
    EXPECT_EQ(watch.calls, std::vector<std::string>{"fsync " + film + " 9"});
    EXPECT_EQ(readWholeFile(film), "new bytes");

    watch.watching = true;
    watch.failing = "fsync";
    EXPECT_THROW(writeFileInPlace(film, "newer"), FileError);
}
