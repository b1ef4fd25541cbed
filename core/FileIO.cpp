#include "core/FileIO.h"

#include "core/Errors.h"

#include <cstdlib>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vt {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, const std::string& why)
{
    throw FileError(what + " \"" + printable(path) + "\": " + why);
}

[[noreturn]] void fail(const std::string& what, const std::string& path, int err)
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

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view bytes)
{
    // keep the permissions of a file that is being replaced
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        fail("无法创建文件", path, errno);
    std::string tmp(name.data());

    auto abandon = [&](const char* what) {
        int err = errno;
        ::close(fd);
        ::unlink(tmp.c_str());
        fail(what, path, err);
    };

    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon("无法写入文件");
        }
        done += static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        abandon("无法写入文件");
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("无法写入文件", path, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("无法写入文件", path, err);
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
        fail("无法打开文件", path, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        ::close(fd_);
        fail("无法读取文件", path, err);
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
            fail("无法读取文件", path_, errno);
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
        fail("无法读取文件", path_, std::string("文件在读取过程中变短了"));
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

}  // namespace vt
