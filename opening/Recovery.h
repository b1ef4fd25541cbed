// Offering back the autosaved copy of a timeline (core/TimelineRecovery.h)
// when a project is opened: only a copy newer than the timeline file and
// different from it is offered; the user takes it (the timeline in memory
// becomes the copy, and the next save writes it) or declines it (the copy
// is moved aside in its folder, never deleted).
#pragma once

#include "core/ProjectState.h"

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
// Followed by the copy's file name.
inline constexpr std::string_view MsgRecoveryUnreadable = "自动保存的时间轴无法读取：";

struct RecoveryOffer {
    std::string path;       // the recovery file
    std::string savedAt;    // its time, local, "2026-01-05 14:03:12"
    int32_t differingLines = 0;
};

// The timeline's recovery file when it is to be offered: newer than the
// timeline file and holding different lines. A copy that holds the same
// lines is removed; an older one is left for the next save to remove.
// Nothing when there is no copy or no timeline file.
std::optional<RecoveryOffer> recoveryOffer(const std::string& timelineFileName);

// How many lines (time code and text) one SRT text has that the other has
// not, the larger of the two counts: a line moved counts once, a line put
// in or taken out once.
int32_t differingLines(const std::string& srtBytesA, const std::string& srtBytesB);

// The question's text (UTF-8).
std::string recoveryQuestion(const RecoveryOffer& offer);

// Yes: the timeline's time codes, and its texts when they are kept in the
// timeline file, are read from the copy as a load reads the timeline file
// (the texts of a text file stay as loaded); counts and marks follow. The
// file on disk is left alone until the next save. Throws UserError when the
// copy cannot be read; the state is then as it was.
void restoreRecoveredTimeline(ProjectState& state, const RecoveryOffer& offer);

// No: renames the copy to <its name>.declined-<date-time> in the same
// folder, so that it is not offered again; returns the new name. Throws
// FileError when it cannot.
std::string declineRecovery(const RecoveryOffer& offer);

}  // namespace vt
