#include "core/SrtWriter.h"

#include "core/FileIO.h"
#include "core/KnownContents.h"
#include "core/TextCodec.h"
#include "core/TimeStrings.h"
#include "core/TimelineBackup.h"
#include "core/TimelineRecovery.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace vt {

namespace {

std::string nameOf(const std::string& path)
{
    return printable(std::filesystem::path(path).filename().string());
}

std::string nowForName()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Another program's version of the timeline, about to be replaced: into the
// backup folder, else beside the timeline, whose folder the save is about to
// write in anyway. Throws FileError when neither can take it.
void keepOtherVersion(const std::string& fileName, const SaveDialogue& dialogue)
{
    BackupOutcome kept = backUpNow(fileName);
    if (kept.kept)
        return;
    std::filesystem::path path(fileName);
    std::filesystem::path beside =
        path.parent_path() / (path.stem().string() + std::string(OtherVersionInfix) + nowForName() +
                              path.extension().string());
    writeFileAtomically(beside.string(), readWholeFile(fileName));
    if (dialogue.notice)
        dialogue.notice(kept.notice + "\r" + std::string(MsgOtherVersionBeside) + nameOf(beside.string()));
}

}  // namespace

void proSaveSrt(const TimelineArray& timeline, int32_t timelineCount, float frameRate, const std::string& fileName,
                FileEncoding encoding, bool& newTimeline, const SaveDialogue& dialogue)
{
    std::u16string text = srtText(timeline, timelineCount, frameRate);
    std::string bytes = encodeText(text, encoding);
    if (changedSinceRemembered(fileName)) {
        std::string question = std::string(MsgChangedOnDiskAsk) + nameOf(fileName) + std::string(MsgChangedOnDiskAskEnd);
        if (!dialogue.confirmReplace || !dialogue.confirmReplace(question))
            throw TimelineChangedOnDisk(std::string(MsgChangedOnDiskNotSaved) + nameOf(fileName));
        keepOtherVersion(fileName, dialogue);
    } else if (BackupOutcome first = backUpBeforeFirstSave(fileName); !first.kept && dialogue.notice) {
        dialogue.notice(first.notice + "\r" + std::string(MsgSavedWithoutBackup));
    }
    writeFileAtomically(fileName, bytes);
    rememberContents(fileName, bytes);
    rememberSavedText(fileName, text);
    removeRecoveryFile(fileName);
    newTimeline = false;
}

bool timelineUnsaved(const ProjectState& project)
{
    if (project.TimelineFileName.empty() || !(project.FrameRate > 0))
        return false;
    return !matchesSavedText(project.TimelineFileName,
                             srtText(project.Timeline, project.TimelineCount, project.FrameRate));
}

}  // namespace vt
