#include "analysis/FilmSoundCache.h"

#include "core/FileIO.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace vt {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view Magic = "VTFILMWS";
constexpr size_t HeaderBytes = 24;

struct Fnv64 {
    uint64_t h = 14695981039346656037ull;
    void add(const void* data, size_t size)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    }
};

void putLe64(std::string& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out += char(v >> (8 * i) & 0xFF);
}

uint64_t le64(const char* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | uint8_t(p[i]);
    return v;
}

uint64_t checksum(const uint8_t* bytes, size_t size)
{
    Fnv64 f;
    f.add(bytes, size);
    return f.h;
}

}  // namespace

std::string filmSoundCacheFolder()
{
    return userFolder("XDG_CACHE_HOME", ".cache");
}

std::string filmSoundCacheFile(const std::string& videoFileName)
{
    const std::string folder = filmSoundCacheFolder();
    std::error_code ec;
    const std::string full = fs::absolute(videoFileName, ec).lexically_normal().string();
    struct stat st {};
    if (folder.empty() || ec || ::stat(full.c_str(), &st) != 0)
        return {};
    Fnv64 key;
    key.add(full.data(), full.size() + 1);  // with its terminating zero, so the numbers cannot run into it
    const int64_t numbers[] = {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
    key.add(numbers, sizeof numbers);
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.ws", static_cast<unsigned long long>(key.h));
    return folder + "/" + name;
}

void appendLe32(ByteArray& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(value >> (8 * i)));
}

uint32_t readLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::string cacheFileBeside(const std::string& videoFileName, std::string_view extension)
{
    std::string file = filmSoundCacheFile(videoFileName);
    if (file.empty())
        return file;
    file.resize(file.size() - 2);  // "ws"
    file.append(extension.substr(extension.starts_with('.') ? 1 : 0));
    return file;
}

std::optional<ByteArray> readCacheFile(const std::string& cacheFile, std::string_view magic)
{
    if (magic.size() != 8 || !fileExists(cacheFile))
        return std::nullopt;
    std::string bytes;
    try {
        bytes = readWholeFile(cacheFile);
    } catch (const FileError&) {
        return std::nullopt;  // worked out again like a damaged one
    }
    if (bytes.size() < HeaderBytes || std::string_view(bytes).substr(0, magic.size()) != magic)
        return std::nullopt;
    if (le64(bytes.data() + 8) != bytes.size() - HeaderBytes)
        return std::nullopt;
    ByteArray content(bytes.begin() + HeaderBytes, bytes.end());
    if (checksum(content.data(), content.size()) != le64(bytes.data() + 16))
        return std::nullopt;
    return content;
}

void writeCacheFile(const std::string& cacheFile, std::string_view magic, const ByteArray& content)
{
    std::error_code ec;
    const fs::path folder = fs::path(cacheFile).parent_path();
    fs::create_directories(folder, ec);
    if (ec)
        throw FileError("无法建立缓存文件夹 \"" + folder.string() + "\": " + ec.message());
    std::string bytes(magic);
    putLe64(bytes, content.size());
    putLe64(bytes, checksum(content.data(), content.size()));
    bytes.append(reinterpret_cast<const char*>(content.data()), content.size());
    writeFileAtomically(cacheFile, bytes);
}

std::optional<ByteArray> readFilmSoundCache(const std::string& cacheFile)
{
    std::optional<ByteArray> summary = readCacheFile(cacheFile, Magic);
    // an empty summary would give a strip where no key works: no film's sound is that short
    if (summary && summary->empty())
        return std::nullopt;
    return summary;
}

void writeFilmSoundCache(const std::string& cacheFile, const ByteArray& summary)
{
    writeCacheFile(cacheFile, Magic, summary);
}

}  // namespace vt
