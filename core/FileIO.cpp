#include "core/FileIO.h"

#include "core/Errors.h"

#include <cstdlib>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <system_error>
#include <vector>

namespace vt {

namespace {

std::string quoted(const std::string& path) { return " \"" + printable(path) + "\""; }

[[noreturn]] void fail(std::string_view what, const std::string& path, const std::string& why)
{
    throw FileError(std::string(what) + quoted(path) + ": " + why);
}

[[noreturn]] void fail(std::string_view what, const std::string& path, int err)
{
    fail(what, path, std::string(std::strerror(err)));
}

std::string folderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A name the file system takes can be too long once ".XXXXXX" is added to
// it; the temporary's name is then cut, at a character's start.
std::string temporaryTemplate(const std::string& path)
{
    constexpr size_t LongestKept = 240;  // NAME_MAX 255 less the suffix, with room to spare
    const size_t nameStart = path.find_last_of('/') + 1;  // 0 without a slash
    std::string kept = path;
    if (path.size() - nameStart > LongestKept) {
        size_t end = nameStart + LongestKept;
        while (end > nameStart && (static_cast<unsigned char>(path[end]) & 0xC0) == 0x80)
            --end;
        kept = path.substr(0, end);
    }
    return kept + ".XXXXXX";
}

// umask() can only be read by setting it, which would race with other
// threads creating files; the kernel shows it here since Linux 4.7.
mode_t currentUmask()
{
    std::string status;
    try {
        status = readWholeFile("/proc/self/status");
    } catch (const FileError&) {
        return 022;
    }
    auto at = status.find("\nUmask:");
    if (at == std::string::npos)
        return 022;
    return static_cast<mode_t>(std::strtoul(status.c_str() + at + 7, nullptr, 8)) & 0777;
}

}  // namespace

std::string linkTarget(const std::string& path)
{
    std::string at = path;
    // as many hops as the kernel follows before it calls it a loop
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        std::error_code ec;
        const std::filesystem::path to = std::filesystem::read_symlink(at, ec);
        if (ec)
            return at;
        at = (to.is_absolute() ? to : std::filesystem::path(folderOf(at)) / to).lexically_normal().string();
    }
    return at;
}

bool fileIsReadOnly(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if ((st.st_mode & 0222) == 0)
        return true;
    return ::access(path.c_str(), W_OK) != 0 && errno == EACCES;
}

void writeFileInPlace(const std::string& given, std::string_view bytes)
{
    const std::string path = linkTarget(given);
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        fail(MsgCannotSaveFile, given, errno);
    auto abandon = [&](int err) {
        ::close(fd);
        fail(MsgCannotSaveFile, given, err);
    };
    // a file system that cannot reserve (EOPNOTSUPP) is written all the same
    if (!bytes.empty()) {
        const int err = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (err != 0 && err != EOPNOTSUPP && err != EINVAL)
            abandon(err);
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0)
        fail(MsgCannotSaveFile, given, errno);
}

void writeFileAtomically(const std::string& given, std::string_view bytes)
{
    // through a link to the file it names, so that the link stays a link
    const std::string path = linkTarget(given);
    // the temporary is made 0600 and gets its final mode only when it holds
    // everything, so no one else can open it half written
    mode_t mode = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;
    else
        mode = 0666 & ~currentUmask();

    // beside the target: a rename never crosses file systems
    std::string tmpl = temporaryTemplate(path);
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        int err = errno;
        throw FolderRefusesNewFile(std::string(MsgCannotSaveFile) + quoted(given) + std::string(MsgFolderBefore) +
                        quoted(folderOf(path)) + " " + std::string(MsgFolderAfter) + ": " + std::strerror(err));
    }
    std::string tmp(name.data());

    auto abandon = [&] {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        fail(MsgCannotSaveFile, given, err);
    };

    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon();
        }
        done += static_cast<size_t>(n);
    }
    // flushed before the rename: a crash then leaves the old file or the new, never an empty one
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        abandon();
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail(MsgCannotSaveFile, given, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail(MsgCannotSaveFile, given, err);
    }
    // make the rename itself durable
    int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string readWholeFile(const std::string& path)
{
    ReadOnlyFile file(path);
    std::string out;
    char buf[1 << 16];
    for (size_t n; (n = file.readAt(out.size(), buf, sizeof buf)) > 0;)
        out.append(buf, n);
    return out;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) : path_(path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        fail(MsgCannotOpenFile, path, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        ::close(fd_);
        fail(MsgCannotReadFile, path, err);
    }
    size_ = static_cast<uint64_t>(st.st_size);
    // every reader here walks its file once, front to back
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ReadOnlyFile::~ReadOnlyFile()
{
    ::close(fd_);
}

size_t ReadOnlyFile::readAt(uint64_t offset, void* buffer, size_t len) const
{
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(fd_, bytes + done, len - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(MsgCannotReadFile, path_, errno);
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void ReadOnlyFile::readExactly(uint64_t offset, void* buffer, size_t len) const
{
    if (readAt(offset, buffer, len) < len)
        fail(MsgCannotReadFile, path_, std::string(MsgFileShrank));
}

std::string companionName(std::string_view path, std::string_view ending)
{
    auto isUtf8Continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    size_t end = path.size();
    for (int cut = 0; cut < 3 && end > 0; ++cut) {
        --end;
        while (end > 0 && isUtf8Continuation(path[end]))
            --end;
    }
    return std::string(path.substr(0, end)) + std::string(ending);
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string localTimeForName()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

std::string userFolder(const char* variable, std::string_view homeFallback)
{
    const char* value = std::getenv(variable);
    if (value && *value)
        return std::string(value) + "/veltrana";
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return {};
    return std::string(home) + "/" + std::string(homeFallback) + "/veltrana";
}

std::string fullPath(const std::string& path)
{
    std::error_code ec;
    std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : full;
}

std::string shownName(const std::string& path)
{
    return printable(std::filesystem::path(path).filename().string());
}

}  // namespace vt
