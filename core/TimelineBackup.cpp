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

// FNV-1a over 64 bits: two timelines of the same name in different folders
// keep apart. Over 32 bits, among the many folders of a series, two paths
// (even of the same bytes in another order) could share one name.
uint64_t pathHash(const std::string& path)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : path) {
        h ^= c;
        h *= 1099511628211ull;
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

}  // namespace

std::string backupNamePrefix(const std::string& path)
{
    std::string full = fullPath(path);
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(pathHash(full)));
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

namespace {

BackupOutcome notKept(const std::string& full, const std::string& tried, const std::string& why)
{
    return {false, std::string(MsgNoBackup) + shownName(full) +
                       std::string(MsgNoBackupTried) + printable(tried) + "：" + why + std::string(MsgNoBackupEnd)};
}

// Copies the file at full into the backup folder; the caller holds backedUpLock.
BackupOutcome copyToBackups(const std::string& full)
{
    std::error_code ec;
    if (!fileExists(full) || fs::file_size(full, ec) == 0 || ec)
        return {};  // nothing the user had can be lost here
    std::string folder = backupFolder();
    if (folder.empty())
        return notKept(full, "$XDG_STATE_HOME", "HOME 和 XDG_STATE_HOME 都没有设置");
    try {
        std::string bytes = readWholeFile(full);
        fs::create_directories(folder, ec);
        if (ec)
            return notKept(full, folder, ec.message());
        std::string prefix = backupNamePrefix(full);
        fs::path copy = fs::path(folder) / (prefix + timestamp() + fs::path(full).extension().string());
        writeFileAtomically(copy.string(), bytes);
        pruneOldCopies(folder, prefix);
    } catch (const FileError& error) {
        return notKept(full, folder, error.what());
    }
    return {};
}

}  // namespace

BackupOutcome backUpBeforeFirstSave(const std::string& path)
{
    std::string full = fullPath(path);
    std::lock_guard lock(backedUpLock);
    if (backedUp.contains(full))
        return {};
    // a copy that cannot be made is reported once, not at every save of the run
    backedUp.insert(full);
    return copyToBackups(full);
}

BackupOutcome backUpNow(const std::string& path)
{
    std::string full = fullPath(path);
    std::lock_guard lock(backedUpLock);
    backedUp.insert(full);
    return copyToBackups(full);
}

bool readyToOverwrite(const std::string& path, const SaveDialogue& dialogue)
{
    BackupOutcome copy = backUpBeforeFirstSave(path);
    if (copy.kept)
        return true;
    std::string question = copy.notice + "\r" + std::string(MsgOverwriteAsk) +
                           shownName(path) + std::string(MsgOverwriteAskEnd);
    return dialogue.confirmReplace && dialogue.confirmReplace(question);
}

}  // namespace vt
