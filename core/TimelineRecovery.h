// The copy of a timeline with unsaved changes that the program keeps while
// the user edits, so that a crash, a killed program or a lost session costs
// at most the last half minute of work. It is written beside the backups in
// the user's state folder, named after the timeline's full path, and removed
// by every save; the next opening of the timeline offers it back
// (opening/Recovery.h).
#pragma once

#include "core/ProjectState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// stateFolder()/recovery; empty when there is no state folder.
std::string recoveryFolder();

// The recovery file of a timeline: <its stem>.<hash of its full path> and its
// own extension in recoveryFolder() (film.ass -> film.1a2b3c4d5e6f7a8b.ass;
// .srt for a name without one); empty when there is no state folder.
std::string recoveryFileName(const std::string& timelinePath);

// Every place the timeline's copy may be, in the order the autosave tries
// them: recoveryFileName(), a hidden file beside the timeline
// (.film.veltrana-autosave.srt), and <$XDG_RUNTIME_DIR>/veltrana/<the same
// name as in the state folder> when that variable is set. The state folder
// may be unwritable or full; the timeline's own folder is the one its save
// needs anyway.
std::vector<std::string> recoveryPlaces(const std::string& timelinePath);

// The names earlier versions gave the copy (a shorter hash, ".srt" whatever
// the timeline's extension, the hidden file's older name): still offered,
// and removed with the copies.
std::vector<std::string> earlierRecoveryFileNames(const std::string& timelinePath);

// Beside a copy of a project whose texts come from a TXT file: the texts
// after the timed lines, which the SRT cannot hold (<copy>.texts).
std::string untimedTextsFileName(const std::string& copyPath);

// What a copy of a project timed from a TXT file holds besides its SRT:
// the number of texts and the texts after the timed lines.
struct UntimedTexts {
    int32_t textCount = 0;
    std::vector<std::u16string> texts;
};

// The texts of slots timelineCount .. textCount-1.
UntimedTexts untimedTextsOf(const TimelineArray& timeline, int32_t timelineCount, int32_t textCount);

// The texts file beside the copy copyBytes were read from, when it was
// written with exactly those bytes; nothing when it is missing, damaged or
// belongs to another copy (one written by an earlier autosave).
std::optional<UntimedTexts> readUntimedTexts(const std::string& copyPath, std::string_view copyBytes);

// How long after a change the timeline is written at the latest.
inline constexpr int AutosaveDelaySeconds = 30;

// AutosaveDelaySeconds, or the whole number of seconds (at least 1) in the
// environment variable VELTRANA_AUTOSAVE_SECONDS, which the tests use to
// wait less.
int autosaveDelaySeconds();

// Followed by the places tried, each with the system's reason.
inline constexpr std::string_view MsgAutosaveFailed = "无法自动保存未保存的修改，试过：";
inline constexpr std::string_view MsgAutosaveFailedEnd = "\r请尽快按“保存”。";

// Writes the timeline as its save would (timelineText in the file's encoding) to
// the first of recoveryPlaces() that takes it, atomically, when that differs
// from the timeline file on disk, and removes the copies in the other
// places; when they are the same, removes every copy left over. untimed is
// given for a project whose texts come from a TXT file: it is written beside
// the copy, first. Returns the copy's path, empty when nothing was written.
// Throws FileError (MsgAutosaveFailed) when no place takes it.
// document: the ASS/WebVTT file the timeline was read from (core/TimelineText.h),
// null for SRT; the copy is then that file with the changes, as its save writes.
struct TimelineDocument;
std::string autosaveTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                             const std::string& fileName, FileEncoding encoding,
                             const UntimedTexts* untimed = nullptr, const TimelineDocument* document = nullptr);

// Where edits went that the timeline file would not take while a signal
// ended the program, which cannot ask the user: the first of the autosave
// places (autosaveTimeline), then the home folder, then the system's
// temporary folder, as <stem>.未保存的修改.<date-time><extension>. Returns
// the path; the timeline's own when it already holds the edits. Throws
// FileError naming every place tried when none takes them.
inline constexpr std::string_view RescueInfix = ".未保存的修改.";
std::string rescueTimeline(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                           const std::string& fileName, FileEncoding encoding,
                           const UntimedTexts* untimed = nullptr, const TimelineDocument* document = nullptr);

// For standard error, after a rescue, with the path for %1 (twice) and,
// when nothing took the edits, the places tried.
inline constexpr std::string_view MsgRescuedTo =
    "veltrana: 时间轴无法保存到原处，未保存的修改写在：%1\n"
    "veltrana: the timeline could not be saved where it is; the unsaved edits are in: %1\n";
inline constexpr std::string_view MsgRescueFailed =
    "veltrana: 未保存的修改无处可写，已经丢失：%1\n"
    "veltrana: nowhere would take the unsaved edits; they are lost: %1\n";

// After a save: the timeline file holds everything, the copies go, from
// every place.
void removeRecoveryFile(const std::string& timelinePath);

// When the copy is written after changes: the first change after a write
// starts the count, and later changes ride along, so steady editing cannot
// put the copy off for ever. Times in milliseconds of any steady clock.
class AutosaveSchedule {
public:
    // A change to the timeline of `file` at now: the moment the copy is now
    // due, when this change set it (the caller starts its timer for it);
    // nothing when an earlier change for the same file already did.
    std::optional<int64_t> changed(const std::string& file, int64_t now, int64_t delayMs);
    // The file whose copy is due, taken; nothing when no change waits.
    std::optional<std::string> take();
    // The timeline was saved, or is no longer the project's: no copy is due.
    void clear() { pending_.reset(); }

private:
    struct Pending {
        std::string file;
        int64_t due = 0;
    };
    std::optional<Pending> pending_;
};

// One project, one editor: a running program holds the lock of the timeline
// it has loaded, an flock(2) on <copy>.lock in the first of the copy's
// places where one can be made. The kernel lets go of it when the program
// ends, however it ends, so a lock left by a crash or a kill -9 is free.
class TimelineLock {
public:
    enum class State {
        Held,           // this program holds it
        HeldElsewhere,  // another program does
        NoPlace,        // no place could take a lock file: nothing is held
    };

    explicit TimelineLock(const std::string& timelinePath);
    ~TimelineLock();
    TimelineLock(TimelineLock&& other) noexcept;
    TimelineLock& operator=(TimelineLock&& other) noexcept;
    TimelineLock(const TimelineLock&) = delete;
    TimelineLock& operator=(const TimelineLock&) = delete;

    State state() const { return state_; }
    // The timeline's full path, as its copies are named after it.
    const std::string& timeline() const { return timeline_; }

private:
    void release();

    int fd_ = -1;
    std::string lockPath_;
    std::string timeline_;
    State state_ = State::NoPlace;
};

// The full path a timeline's copies and lock are named after.
std::string timelineIdentity(const std::string& timelinePath);

}  // namespace vt
