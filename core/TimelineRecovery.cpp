#include "core/TimelineRecovery.h"

#include "core/FileIO.h"
#include "core/SrtText.h"
#include "core/TimelineText.h"
#include "core/TextCodec.h"
#include "core/TimelineBackup.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt {

namespace fs = std::filesystem;

namespace {

// FNV-1a over 32 bits, as an earlier version named the copies.
uint32_t legacyPathHash(const std::string& path)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : path) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

uint64_t bytesHash(std::string_view bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string runtimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime ? std::string(runtime) + "/veltrana" : std::string();
}

// The folder of a place, made when it is the program's own; the timeline's
// own folder is never made, as the timeline would be in it.
void makeFolderOf(const std::string& place, const std::string& timelinePath, std::error_code& ec)
{
    const fs::path folder = fs::path(place).parent_path();
    if (folder != fs::path(timelineIdentity(timelinePath)).parent_path())
        fs::create_directories(folder, ec);
}

// A place's copy comes with the files beside it that belong to it.
void removeCopy(const std::string& copy)
{
    std::error_code ec;
    fs::remove(copy, ec);
    fs::remove(untimedTextsFileName(copy), ec);
}

// The texts file: a header binding it to the bytes of its copy, the number
// of texts, then one text a line, with "\", CR and LF escaped. UTF-8, as no
// other program reads it.
constexpr std::string_view UntimedHeader = "veltrana untimed texts 1";

std::string escapedLine(std::u16string_view text)
{
    std::string out;
    for (char c : toUtf8(text)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out + "\n";
}

std::optional<std::u16string> unescaped(std::string_view line)
{
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\') {
            out += line[i];
            continue;
        }
        if (++i == line.size())
            return std::nullopt;
        switch (line[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    std::optional<std::u16string> text = decodeText(out, {TextEncoding::Utf8, false});
    return text;
}

std::string untimedTextsBytes(const UntimedTexts& untimed, std::string_view copyBytes)
{
    std::string out = std::string(UntimedHeader) + "\n" + hex(bytesHash(copyBytes)) + "\n"
                      + std::to_string(untimed.textCount) + " " + std::to_string(untimed.texts.size()) + "\n";
    for (const std::u16string& text : untimed.texts)
        out += escapedLine(text);
    return out;
}

}  // namespace

std::string timelineIdentity(const std::string& timelinePath)
{
    return fullPath(timelinePath);
}

std::string untimedTextsFileName(const std::string& copyPath)
{
    return copyPath + ".texts";
}

UntimedTexts untimedTextsOf(const TimelineArray& timeline, int32_t timelineCount, int32_t textCount)
{
    UntimedTexts untimed;
    untimed.textCount = textCount;
    for (int64_t i = std::max<int64_t>(timelineCount, 0); i < textCount && i < int64_t(timeline.size()); ++i)
        untimed.texts.push_back(timeline[size_t(i)].Text);
    return untimed;
}

std::optional<UntimedTexts> readUntimedTexts(const std::string& copyPath, std::string_view copyBytes)
{
    std::string bytes;
    try {
        bytes = readWholeFile(untimedTextsFileName(copyPath));
    } catch (const FileError&) {
        return std::nullopt;
    }
    std::vector<std::string_view> lines;
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;  // cut off
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.size() < 3 || lines[0] != UntimedHeader || lines[1] != hex(bytesHash(copyBytes)))
        return std::nullopt;
    UntimedTexts untimed;
    unsigned long long count = 0;
    char tail = 0;
    if (std::sscanf(std::string(lines[2]).c_str(), "%d %llu%c", &untimed.textCount, &count, &tail) != 2
        || count != lines.size() - 3)
        return std::nullopt;
    for (size_t i = 3; i < lines.size(); ++i) {
        std::optional<std::u16string> text = unescaped(lines[i]);
        if (!text)
            return std::nullopt;
        untimed.texts.push_back(std::move(*text));
    }
    return untimed;
}

std::string recoveryFolder()
{
    std::string state = stateFolder();
    return state.empty() ? state : state + "/recovery";
}

namespace {

// A copy carries its timeline's own extension (".ass" for film.ass), so that
// it opens as what it holds; ".srt" for a timeline named without one.
std::string copyExtension(const std::string& timelinePath)
{
    const std::string ext = fs::path(timelinePath).extension().string();
    return ext.size() > 1 ? ext : std::string(".srt");
}

// The copy's name in a folder of the program's own: <stem>.<hash><extension>.
std::string ownFolderCopyName(const std::string& timelinePath)
{
    std::string prefix = backupNamePrefix(timelinePath);
    prefix.pop_back();  // its closing "."
    return prefix + copyExtension(timelinePath);
}

}  // namespace

std::string recoveryFileName(const std::string& timelinePath)
{
    std::string folder = recoveryFolder();
    if (folder.empty())
        return {};
    return folder + "/" + ownFolderCopyName(timelinePath);
}

std::vector<std::string> earlierRecoveryFileNames(const std::string& timelinePath)
{
    const fs::path full = timelineIdentity(timelinePath);
    std::vector<std::string> names;
    const std::string folder = recoveryFolder();
    if (!folder.empty()) {
        char hash[16];
        std::snprintf(hash, sizeof hash, "%08x", legacyPathHash(full.string()));
        names.push_back(folder + "/" + full.stem().string() + "." + hash + ".srt");
    }
    // before the copies carried the timeline's extension, every one ended in .srt
    const std::string srtNamed = backupNamePrefix(full.string()) + "srt";
    if (copyExtension(full.string()) != ".srt") {
        if (!folder.empty())
            names.push_back(folder + "/" + srtNamed);
        if (std::string runtime = runtimeFolder(); !runtime.empty())
            names.push_back(runtime + "/" + srtNamed);
    }
    names.push_back((full.parent_path() / ("." + full.filename().string() + ".veltrana-autosave")).string());
    return names;
}

std::vector<std::string> recoveryPlaces(const std::string& timelinePath)
{
    std::vector<std::string> places;
    if (std::string inState = recoveryFileName(timelinePath); !inState.empty())
        places.push_back(inState);
    const fs::path full = timelineIdentity(timelinePath);
    places.push_back(
        (full.parent_path() / ("." + full.stem().string() + ".veltrana-autosave" + copyExtension(full.string())))
            .string());
    if (std::string runtime = runtimeFolder(); !runtime.empty())
        places.push_back(runtime + "/" + ownFolderCopyName(full.string()));
    return places;
}

int autosaveDelaySeconds()
{
    const char* text = std::getenv("VELTRANA_AUTOSAVE_SECONDS");
    if (!text || !*text)
        return AutosaveDelaySeconds;
    char* end = nullptr;
    const long seconds = std::strtol(text, &end, 10);
    if (*end != '\0' || seconds < 1 || seconds > 24 * 3600)
        return AutosaveDelaySeconds;
    return int(seconds);
}

std::string autosaveTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                             const std::string& fileName, FileEncoding encoding, const UntimedTexts* untimed,
                             const TimelineDocument* document)
{
    if (fileName.empty())
        return {};
    const std::string bytes = encodeText(timelineText(timeline, timelineCount, frameRate, document), encoding);
    bool sameOnDisk = false;
    try {
        sameOnDisk = readWholeFile(fileName) == bytes;
    } catch (const FileError&) {
        // a timeline file that is gone or unreadable: the copy is all there is
    }
    if (sameOnDisk) {
        removeRecoveryFile(fileName);
        return {};
    }
    const std::vector<std::string> places = recoveryPlaces(fileName);
    std::string tried;
    for (const std::string& place : places) {
        try {
            std::error_code ec;
            makeFolderOf(place, fileName, ec);
            if (ec)
                throw FileError("\"" + fs::path(place).parent_path().string() + "\"：" + ec.message());
            // the texts first: a copy is only read with texts written for its very bytes
            if (untimed)
                writeFileAtomically(untimedTextsFileName(place), untimedTextsBytes(*untimed, bytes));
            writeFileAtomically(place, bytes);
        } catch (const FileError& error) {
            tried += "\r" + printable(error.what());
            continue;
        }
        for (const std::string& other : places)
            if (other != place)
                removeCopy(other);
        if (!untimed) {
            std::error_code ec;
            fs::remove(untimedTextsFileName(place), ec);
        }
        for (const std::string& earlier : earlierRecoveryFileNames(fileName))
            removeCopy(earlier);
        return place;
    }
    throw FileError(std::string(MsgAutosaveFailed) + tried + std::string(MsgAutosaveFailedEnd));
}

std::string rescueTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                           const std::string& fileName, FileEncoding encoding, const UntimedTexts* untimed,
                           const TimelineDocument* document)
{
    std::string tried;
    try {
        const std::string copy = autosaveTimeline(timeline, timelineCount, frameRate, fileName, encoding, untimed, document);
        return copy.empty() ? fileName : copy;
    } catch (const FileError& error) {
        tried = error.what();
    }
    const std::string bytes = encodeText(timelineText(timeline, timelineCount, frameRate, document), encoding);
    const fs::path timelinePath(fileName);
    const std::string name = timelinePath.stem().string() + std::string(RescueInfix) + localTimeForName() +
                             copyExtension(fileName);
    std::vector<std::string> folders;
    if (const char* home = std::getenv("HOME"); home && *home)
        folders.push_back(home);
    std::error_code ec;
    if (fs::path tmp = fs::temp_directory_path(ec); !ec)
        folders.push_back(tmp.string());
    for (const std::string& folder : folders) {
        const std::string place = (fs::path(folder) / name).string();
        try {
            if (untimed)
                writeFileAtomically(untimedTextsFileName(place), untimedTextsBytes(*untimed, bytes));
            writeFileAtomically(place, bytes);
            return place;
        } catch (const FileError& error) {
            tried += "\r" + printable(error.what());
        }
    }
    throw FileError(tried);
}

void removeRecoveryFile(const std::string& timelinePath)
{
    for (const std::string& place : recoveryPlaces(timelinePath))
        removeCopy(place);
    for (const std::string& earlier : earlierRecoveryFileNames(timelinePath))
        removeCopy(earlier);
}

std::optional<int64_t> AutosaveSchedule::changed(const std::string& file, int64_t now, int64_t delayMs)
{
    if (pending_ && pending_->file == file)
        return std::nullopt;
    pending_ = Pending{file, now + delayMs};
    return pending_->due;
}

std::optional<std::string> AutosaveSchedule::take()
{
    if (!pending_)
        return std::nullopt;
    std::string file = std::move(pending_->file);
    pending_.reset();
    return file;
}

// ---------------------------------------------------------------------------
// The lock

namespace {

std::string lockFileName(const std::string& place)
{
    // a hidden copy beside the timeline gets a hidden lock beside it
    return place + ".lock";
}

// Opens and locks path; -1 with errno EWOULDBLOCK when another holds it,
// -1 with another errno when the file cannot be had.
int openLocked(const std::string& path)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && (errno == EACCES || errno == EROFS))
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);  // a lock needs no writing
        if (fd < 0)
            return -1;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error == EINTR ? EWOULDBLOCK : error;
            return -1;
        }
        // the holder before may have removed the file while this program
        // opened it: a lock on a name no longer there keeps no one out
        struct stat opened {}, named {};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev
            && opened.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    errno = EWOULDBLOCK;
    return -1;
}

}  // namespace

TimelineLock::TimelineLock(const std::string& timelinePath) : timeline_(timelineIdentity(timelinePath))
{
    for (const std::string& place : recoveryPlaces(timeline_)) {
        std::error_code ec;
        makeFolderOf(place, timeline_, ec);
        const std::string path = lockFileName(place);
        const int fd = openLocked(path);
        if (fd >= 0) {
            fd_ = fd;
            lockPath_ = path;
            state_ = State::Held;
            return;
        }
        if (errno == EWOULDBLOCK) {
            state_ = State::HeldElsewhere;
            return;
        }
        // this place takes no file: the next one, as the copies do
    }
    state_ = State::NoPlace;
}

TimelineLock::~TimelineLock()
{
    release();
}

TimelineLock::TimelineLock(TimelineLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      lockPath_(std::move(other.lockPath_)),
      timeline_(std::move(other.timeline_)),
      state_(std::exchange(other.state_, State::NoPlace))
{
}

TimelineLock& TimelineLock::operator=(TimelineLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        lockPath_ = std::move(other.lockPath_);
        timeline_ = std::move(other.timeline_);
        state_ = std::exchange(other.state_, State::NoPlace);
    }
    return *this;
}

void TimelineLock::release()
{
    if (fd_ < 0)
        return;
    // removed while still held, so that no one takes the lock of a file that is going
    ::unlink(lockPath_.c_str());
    ::close(fd_);
    fd_ = -1;
}

}  // namespace vt
