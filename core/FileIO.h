// Writing a file so that a failure never leaves it half-written: the bytes go
// to a temporary file in the same folder, are flushed to disk, and only then
// renamed over the target.
#pragma once

#include "core/Errors.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vt {

// Raised with the system's description of what went wrong.
class FileError : public UserError {
public:
    using UserError::UserError;
};

// No new file can be made in the folder a file is to be written in (no
// permission, a read-only disk): the file itself may still take the bytes
// in place.
class FolderRefusesNewFile : public FileError {
public:
    using FileError::FileError;
};

// How a failed save or read begins: the file's name (in quotes) and the
// system's reason follow. A save that cannot make its temporary file names
// the folder that refused it, never the temporary, which the user never saw.
inline constexpr std::string_view MsgCannotSaveFile = "无法保存文件";
inline constexpr std::string_view MsgFolderBefore = "：文件夹";
inline constexpr std::string_view MsgFolderAfter = "里无法建立新文件";
inline constexpr std::string_view MsgCannotOpenFile = "无法打开文件";
inline constexpr std::string_view MsgCannotReadFile = "无法读取文件";
inline constexpr std::string_view MsgFileShrank = "文件在读取过程中变短了";

// Replaces the file at path with bytes; on any failure the old file stays
// untouched, no temporary file is left behind, and FileError is thrown. A
// replaced file keeps its permissions; a new one gets 0666 less the umask,
// as any other program's new file would. A path that is a symbolic link is
// written through it: the file it leads to is replaced in its own folder and
// the link stays. Throws FolderRefusesNewFile when that folder takes no new
// file.
void writeFileAtomically(const std::string& path, std::string_view bytes);

// Writes bytes over the existing file at path itself, for a file whose
// folder takes no new file. The room is claimed before the first byte is
// written, so a full disk fails with the file untouched; a failure after
// that (an I/O error) can leave it half written, which is why this is only
// for when nothing else can keep the user's work. Throws FileError.
void writeFileInPlace(const std::string& path, std::string_view bytes);

// The file path leads to through any symbolic links (a relative link is
// read from its own folder); path itself when it is no link, and the last
// link's target when that does not exist yet.
std::string linkTarget(const std::string& path);

// The file at path exists and this program may not write to it: it lacks
// the permission, or no one has write permission on it (which counts for
// root too: the user marked it read-only).
bool fileIsReadOnly(const std::string& path);

// Reads the whole file; throws FileError when it cannot be opened or read.
std::string readWholeFile(const std::string& path);

// A file opened for reading for the length of one operation and closed with
// the object; read at any offset, front to back. Every failure is a
// FileError with the system's description.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // The file's length when it was opened.
    uint64_t size() const { return size_; }

    // Reads up to len bytes at offset; fewer only where the file ends.
    size_t readAt(uint64_t offset, void* buffer, size_t len) const;

    // Reads exactly len bytes. For lengths checked against size(), a file
    // that ends sooner has shrunk while it was read: a FileError.
    void readExactly(uint64_t offset, void* buffer, size_t len) const;

private:
    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// A regular file is at path; a folder of that name does not count, so the
// loader refuses it like a missing file instead of failing later.
bool fileExists(const std::string& path);

// The absolute, normalised path a file is known by in the program's own
// records (backups, what was read or written, the autosaved copy and its
// lock); the path as given when it cannot be made absolute.
std::string fullPath(const std::string& path);

// A file's name (no folder) as a message shows it, control characters as
// their pictures (printable, core/Errors.h).
std::string shownName(const std::string& path);

// path without its last three characters, followed by ending: film.avi gives
// film.wav, film.mpeg gives film.mwav, a.srt with "双语.srt" gives
// a.双语.srt. Characters, not bytes, so a name ending in Chinese characters
// loses whole characters.
std::string companionName(std::string_view path, std::string_view ending);

// The local date and time to the second, for a file's name: 20261210-143005.
std::string localTimeForName();

// The program's folder inside one of the user's XDG base folders: $variable/veltrana,
// or $HOME/homeFallback/veltrana when the variable is unset or empty; empty
// when neither is set. Nothing is created.
std::string userFolder(const char* variable, std::string_view homeFallback);

}  // namespace vt
