#include "core/TimelineWriter.h"

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
#include <mutex>
#include <set>

#include <unistd.h>

namespace vt {

namespace {

// Another program's version of the timeline, about to be replaced: into the
// backup folder, else beside the timeline, whose folder the save is about to
// write in anyway. Returns what the user is to be told (empty: nothing);
// throws FileError when neither can take it.
std::string keepOtherVersion(const std::string& fileName)
{
    BackupOutcome kept = backUpNow(fileName);
    if (kept.kept)
        return {};
    std::filesystem::path path(linkTarget(fileName));
    std::filesystem::path beside =
        path.parent_path() / (path.stem().string() + std::string(OtherVersionInfix) + localTimeForName() +
                              path.extension().string());
    writeFileAtomically(beside.string(), readWholeFile(fileName));
    return kept.notice + "\r" + std::string(MsgOtherVersionBeside) + shownName(beside.string());
}

}  // namespace

namespace {

std::mutex readOnlyConsentLock;
std::set<std::string> readOnlyConsent;  // full paths the user let this run replace

// A read-only timeline is replaced only on the user's word, asked once a run.
void confirmReadOnly(const std::string& fileName, const SaveDialogue& dialogue)
{
    if (!fileIsReadOnly(fileName))
        return;
    const std::string full = fullPath(fileName);
    {
        std::lock_guard lock(readOnlyConsentLock);
        if (readOnlyConsent.contains(full))
            return;
    }
    const std::string question = std::string(MsgReadOnlyAsk) + shownName(fileName) + std::string(MsgReadOnlyAskEnd);
    if (!dialogue.confirmReadOnly || !dialogue.confirmReadOnly(question))
        throw TimelineReadOnly(std::string(MsgReadOnlyNotSaved) + shownName(fileName));
    std::lock_guard lock(readOnlyConsentLock);
    readOnlyConsent.insert(full);
}

// The bytes over the timeline: atomically where its folder lets the program
// make a file, else in place when the file itself takes them. True when it
// was written in place.
bool writeTimelineBytes(const std::string& fileName, std::string_view bytes)
{
    try {
        writeFileAtomically(fileName, bytes);
        return false;
    } catch (const FolderRefusesNewFile&) {
        if (!fileExists(fileName) || ::access(linkTarget(fileName).c_str(), W_OK) != 0)
            throw;
    }
    writeFileInPlace(fileName, bytes);
    return true;
}

}  // namespace

void saveTimelineFile(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                      const std::string& fileName, FileEncoding encoding, bool& newTimeline,
                      const SaveDialogue& dialogue, const TimelineDocument* document)
{
    std::u16string text = timelineText(timeline, timelineCount, frameRate, document);
    std::string bytes = encodeText(text, encoding);
    // what the user is told waits until the file is written: a notice never
    // says "saved" of a save that then fails
    std::string notice;
    if (changedSinceRemembered(fileName)) {
        std::string question = std::string(MsgChangedOnDiskAsk) + shownName(fileName) + std::string(MsgChangedOnDiskAskEnd);
        if (!dialogue.confirmReplace || !dialogue.confirmReplace(question))
            throw TimelineChangedOnDisk(std::string(MsgChangedOnDiskNotSaved) + shownName(fileName));
        confirmReadOnly(fileName, dialogue);
        notice = keepOtherVersion(fileName);
    } else {
        confirmReadOnly(fileName, dialogue);
        if (BackupOutcome first = backUpBeforeFirstSave(fileName); !first.kept)
            notice = first.notice;
    }
    const bool inPlace = writeTimelineBytes(fileName, bytes);
    rememberContents(fileName, bytes);
    rememberSavedTimeline(fileName, timelineFingerprint(timeline, timelineCount, frameRate));
    removeRecoveryFile(fileName);
    newTimeline = false;
    if (inPlace)
        notice += (notice.empty() ? "" : "\r") + std::string(MsgSavedInPlace);
    else if (!notice.empty() && notice.find(MsgOtherVersionBeside) == std::string::npos)
        notice += "\r" + std::string(MsgSavedWithoutBackup);
    if (!notice.empty() && dialogue.notice)
        dialogue.notice(notice);
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
