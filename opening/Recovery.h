// Offering back the autosaved copy of a timeline (core/TimelineRecovery.h)
// when a project is opened: only a copy newer than the timeline file and
// different from it is offered; the user takes it (the timeline in memory
// becomes the copy, and the next save writes it) or declines it (the copy
// is moved aside in its folder, never deleted).
#pragma once

#include "core/ProjectState.h"
#include "core/TimelineRecovery.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vt {

// The question, in three pieces around the time of the autosave and the
// number of lines that differ.
inline constexpr std::string_view MsgRecoveryTitle = "恢复未保存的修改";
inline constexpr std::string_view MsgRecoverySavedAt = "这个时间轴有上次没来得及保存的修改（自动保存于 ";
inline constexpr std::string_view MsgRecoveryLines = "，和时间轴文件相比有 ";
inline constexpr std::string_view MsgRecoveryAsk =
    " 行不同）。\r要恢复这些修改吗？\r选“否”，自动保存的那一份会改名留在原处，不会删除。";
// Added to the question when the timeline file was written after the copy.
inline constexpr std::string_view MsgRecoveryTimelineNewer = "\r注意：时间轴文件在自动保存之后又被改过。";
// Followed by the copy's file name.
inline constexpr std::string_view MsgRecoveryUnreadable = "自动保存的时间轴无法读取：";
// Followed by the timeline file's name.
inline constexpr std::string_view MsgTimelineOpenElsewhere =
    "这个时间轴已经在本程序的另一个窗口里打开了，请到那个窗口里编辑：";

struct RecoveryOffer {
    std::string path;       // the recovery file
    std::string savedAt;    // its time, local, "2026-01-05 14:03:12"
    int32_t differingLines = 0;
    bool timelineNewer = false;  // the timeline file was written after it
};

// The timeline's copy (the newest in any of its places, recoveryPlaces())
// when it holds lines other than the timeline file's; a copy that holds the
// same lines is removed. A copy older than the file is offered too: the file
// was written after a crash (by another program, by hand, from a backup),
// and only the user knows which holds the work; the copy is not lost either
// way. Nothing when there is no copy or no timeline file.
std::optional<RecoveryOffer> recoveryOffer(const std::string& timelineFileName);

// How many lines (time code and text) one SRT text has that the other has
// not, the larger of the two counts: a line moved counts once, a line put
// in or taken out once.
int32_t differingLines(const std::string& srtBytesA, const std::string& srtBytesB);

// The question's text (UTF-8).
std::string recoveryQuestion(const RecoveryOffer& offer);

// Yes: the timeline's time codes and texts are read from the copy, together
// as they were written, never paired anew with a text file's; in a project
// whose texts come from a TXT file, the texts after the timed lines come
// from the texts file beside the copy (or, without one written for it, from
// the text file as loaded). Counts and marks follow. The file on disk is
// left alone until the next save. Throws UserError when the copy cannot be
// read; the state is then as it was.
void restoreRecoveredTimeline(ProjectState& state, const RecoveryOffer& offer);

// No: renames the copy (and the texts file beside it) to <its
// name>.declined-<date-time> in the same folder, so that it is not offered
// again; returns the new name. Throws FileError when it cannot.
std::string declineRecovery(const RecoveryOffer& offer);

// The lock to hold while the timeline at timelinePath is the project's:
// nothing when `held` already is that timeline's. A lock that no place
// could take lets the project open unlocked rather than not at all. Throws
// UserError (MsgTimelineOpenElsewhere) when another running program holds it.
std::optional<TimelineLock> claimTimeline(const std::string& timelinePath, const TimelineLock* held);

}  // namespace vt
