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
#include <functional>

namespace vt {

namespace {

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
        dialogue.notice(kept.notice + "\r" + std::string(MsgOtherVersionBeside) + shownName(beside.string()));
}

}  // namespace

void proSaveSrt(const TimelineArray& timeline, int32_t timelineCount, float frameRate, const std::string& fileName,
                FileEncoding encoding, bool& newTimeline, const SaveDialogue& dialogue, const TimelineDocument* document)
{
    std::u16string text = timelineText(timeline, timelineCount, frameRate, document);
    std::string bytes = encodeText(text, encoding);
    if (changedSinceRemembered(fileName)) {
        std::string question = std::string(MsgChangedOnDiskAsk) + shownName(fileName) + std::string(MsgChangedOnDiskAskEnd);
        if (!dialogue.confirmReplace || !dialogue.confirmReplace(question))
            throw TimelineChangedOnDisk(std::string(MsgChangedOnDiskNotSaved) + shownName(fileName));
        keepOtherVersion(fileName, dialogue);
    } else if (BackupOutcome first = backUpBeforeFirstSave(fileName); !first.kept && dialogue.notice) {
        dialogue.notice(first.notice + "\r" + std::string(MsgSavedWithoutBackup));
    }
    writeFileAtomically(fileName, bytes);
    rememberContents(fileName, bytes);
    rememberSavedTimeline(fileName, timelineFingerprint(timeline, timelineCount, frameRate));
    removeRecoveryFile(fileName);
    newTimeline = false;
}

uint64_t timelineFingerprint(const TimelineArray& timeline, int32_t timelineCount, float frameRate)
{
    // what a save writes: the time-coded slots' frames and texts, at the rate
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint64_t v) { h = (h ^ v) * 1099511628211ull; };
    int32_t count = std::clamp<int32_t>(timelineCount, 0, static_cast<int32_t>(timeline.size()));
    mix(std::hash<float>{}(frameRate));
    mix(uint64_t(count));
    for (int32_t i = 0; i < count; ++i) {
        const TimelineEntry& slot = timeline[size_t(i)];
        mix(uint64_t(uint32_t(slot.StartFrame)) << 32 | uint32_t(slot.EndFrame));
        mix(std::hash<std::u16string_view>{}(slot.Text));
    }
    return h;
}

bool timelineUnsaved(const ProjectState& project)
{
    if (project.TimelineFileName.empty() || !(project.FrameRate > 0))
        return false;
    return !matchesSavedTimeline(project.TimelineFileName,
                                 timelineFingerprint(project.Timeline, project.TimelineCount, project.FrameRate));
}

}  // namespace vt
