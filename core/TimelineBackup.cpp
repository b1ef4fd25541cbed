#include "core/TimelineBackup.h"

#include "core/FileIO.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <vector>

namespace vt {

namespace fs = std::filesystem;

namespace {

std::mutex backedUpLock;
std::set<std::string> backedUp;  // full paths already copied in this run

// FNV-1a: two timelines of the same name in different folders keep apart.
uint32_t pathHash(const std::string& path)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : path) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string timestamp()
{
    auto now = std::chrono::system_clock::now();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    char withMs[40];
    std::snprintf(withMs, sizeof withMs, "%s%03d", text, static_cast<int>(ms));
    return withMs;
}

void pruneOldCopies(const fs::path& folder, const std::string& prefix)
{
    std::vector<fs::path> copies;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && entry.is_regular_file(ec))
            copies.push_back(entry.path());
    }
    if (copies.size() <= static_cast<size_t>(MaxBackupsPerFile))
        return;
    // the date-time in the names sorts oldest first
    std::sort(copies.begin(), copies.end());
    for (size_t i = 0; i + MaxBackupsPerFile < copies.size(); ++i)
        fs::remove(copies[i], ec);
}

std::string fullPath(const std::string& path)
{
    std::error_code ec;
    std::string full = fs::absolute(path, ec).lexically_normal().string();
    return ec ? path : full;
}

}  // namespace

std::string backupNamePrefix(const std::string& path)
{
    std::string full = fullPath(path);
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", pathHash(full));
    return fs::path(full).stem().string() + "." + hash + ".";
}

std::string stateFolder()
{
    return userFolder("XDG_STATE_HOME", ".local/state");
}

std::string backupFolder()
{
    std::string state = stateFolder();
    return state.empty() ? state : state + "/backups";
}

void backUpBeforeFirstSave(const std::string& path)
{
    std::error_code ec;
    std::string full = fullPath(path);
    std::lock_guard lock(backedUpLock);
    if (backedUp.contains(full))
        return;
    if (!fileExists(path) || fs::file_size(path, ec) == 0 || ec) {
        backedUp.insert(full);  // nothing the user had can be lost here
        return;
    }
    std::string folder = backupFolder();
    if (folder.empty())
        return;

    std::string bytes = readWholeFile(path);
    fs::create_directories(folder, ec);
    if (ec)
        throw FileError("无法建立备份文件夹 \"" + folder + "\": " + ec.message());

    std::string prefix = backupNamePrefix(full);
    fs::path copy = fs::path(folder) / (prefix + timestamp() + fs::path(full).extension().string());
    writeFileAtomically(copy.string(), bytes);
    backedUp.insert(full);
    pruneOldCopies(folder, prefix);
}

}  // namespace vt
