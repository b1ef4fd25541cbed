#include "core/KnownContents.h"

#include "core/FileIO.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>

namespace vt {

namespace {

// A file's bytes told apart by their length and a 64-bit FNV-1a hash: a file
// another program saved is not the one remembered, whatever its time.
struct Fingerprint {
    uint64_t size = 0;
    uint64_t hash = 0;
    bool operator==(const Fingerprint&) const = default;
};

Fingerprint fingerprintOf(std::string_view bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return {bytes.size(), h};
}

std::mutex knownLock;
std::map<std::string, Fingerprint> known;      // by full path: the file's bytes
std::map<std::string, uint64_t> savedTimeline;  // by full path: the timeline as loaded or saved

}  // namespace

void rememberContents(const std::string& path, std::string_view bytes)
{
    std::lock_guard lock(knownLock);
    known[fullPath(path)] = fingerprintOf(bytes);
}

void rememberSavedTimeline(const std::string& path, uint64_t fingerprint)
{
    std::lock_guard lock(knownLock);
    savedTimeline[fullPath(path)] = fingerprint;
}

bool matchesSavedTimeline(const std::string& path, uint64_t fingerprint)
{
    std::lock_guard lock(knownLock);
    auto it = savedTimeline.find(fullPath(path));
    return it != savedTimeline.end() && it->second == fingerprint;
}

bool changedSinceRemembered(const std::string& path)
{
    std::optional<Fingerprint> remembered;
    {
        std::lock_guard lock(knownLock);
        auto it = known.find(fullPath(path));
        if (it == known.end())
            return false;
        remembered = it->second;
    }
    if (!fileExists(path))
        return false;
    try {
        return fingerprintOf(readWholeFile(path)) != *remembered;
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace vt
