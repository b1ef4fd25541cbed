#include "core/TimelineRecovery.h"

#include "core/FileIO.h"
#include "core/SrtWriter.h"
#include "core/TextCodec.h"
#include "core/TimelineBackup.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vt {

namespace fs = std::filesystem;

std::string recoveryFolder()
{
    std::string state = stateFolder();
    return state.empty() ? state : state + "/recovery";
}

std::string recoveryFileName(const std::string& timelinePath)
{
    std::string folder = recoveryFolder();
    if (folder.empty())
        return {};
    return folder + "/" + backupNamePrefix(timelinePath) + "srt";
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

bool autosaveTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                      const std::string& fileName, FileEncoding encoding)
{
    const std::string recovery = recoveryFileName(fileName);
    if (recovery.empty() || fileName.empty())
        return false;
    const std::string bytes = encodeText(srtText(timeline, timelineCount, frameRate), encoding);
    bool sameOnDisk = false;
    try {
        sameOnDisk = readWholeFile(fileName) == bytes;
    } catch (const FileError&) {
        // a timeline file that is gone or unreadable: the copy is all there is
    }
    if (sameOnDisk) {
        removeRecoveryFile(fileName);
        return false;
    }
    std::error_code ec;
    fs::create_directories(recoveryFolder(), ec);
    if (ec)
        throw FileError("无法建立自动保存的文件夹 \"" + recoveryFolder() + "\": " + ec.message());
    writeFileAtomically(recovery, bytes);
    return true;
}

void removeRecoveryFile(const std::string& timelinePath)
{
    const std::string recovery = recoveryFileName(timelinePath);
    std::error_code ec;
    if (!recovery.empty())
        fs::remove(recovery, ec);
}

}  // namespace vt
