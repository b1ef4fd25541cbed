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

Fingerprint fingerprintOf(std::u16string_view text)
{
    return fingerprintOf(std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)));
}

std::mutex knownLock;
std::map<std::string, Fingerprint> known;      // by full path: the file's bytes
std::map<std::string, Fingerprint> savedText;  // by full path: the timeline as saved

std::string fullPath(const std::string& path)
{
    std::error_code ec;
    std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    return ec ? path : full;
}

}  // namespace

void rememberContents(const std::string& path, std::string_view bytes)
{
    std::lock_guard lock(knownLock);
    known[fullPath(path)] = fingerprintOf(bytes);
}

void rememberSavedText(const std::string& path, std::u16string_view srtText)
{
    std::lock_guard lock(knownLock);
    savedText[fullPath(path)] = fingerprintOf(srtText);
}

bool matchesSavedText(const std::string& path, std::u16string_view srtText)
{
    Fingerprint now = fingerprintOf(srtText);
    std::lock_guard lock(knownLock);
    auto it = savedText.find(fullPath(path));
    return it != savedText.end() && it->second == now;
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
