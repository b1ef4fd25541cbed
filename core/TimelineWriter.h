// Saving the timeline to its file: as an SRT file, or back into the ASS/SSA
// or WebVTT file it was read from, whichever the timeline is.
#pragma once

#include "core/FileIO.h"
#include "core/ProjectState.h"
#include "core/SrtText.h"
#include "core/TimelineBackup.h"
#include "core/TimelineText.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vt {

// The file was written by another program since this one read or saved it
// (core/KnownContents.h), and the user kept that version: nothing was saved.
class TimelineChangedOnDisk : public FileError {
public:
    using FileError::FileError;
};

// The timeline file is marked read-only and the user would not have it
// replaced: nothing was saved.
class TimelineReadOnly : public FileError {
public:
    using FileError::FileError;
};

// The question before a read-only timeline is replaced, and the refusal.
inline constexpr std::string_view MsgReadOnlyAsk = "文件是只读的：";
inline constexpr std::string_view MsgReadOnlyAskEnd =
    "\r选“是”：先把它备份，再用编辑窗里的时间轴替换它（它仍是只读的）。\r"
    "选“否”：不动它。";
inline constexpr std::string_view MsgReadOnlyNotSaved = "没有保存：时间轴文件是只读的：";
// After the save, when the file's folder took no new file and the file
// itself was written over in place; a backup notice (if any) comes first.
inline constexpr std::string_view MsgSavedInPlace =
    "时间轴所在的文件夹里不能建立新文件，时间轴已直接写回原文件。";

// The question and the refusal, each in pieces around the file's name.
inline constexpr std::string_view MsgChangedOnDiskTitle = "时间轴文件被改过";
inline constexpr std::string_view MsgChangedOnDiskAsk = "时间轴文件 ";
inline constexpr std::string_view MsgChangedOnDiskAskEnd =
    " 在本程序读入或上次保存之后，被别的程序改过了。\r"
    "选“是”：先把那个版本备份，再保存编辑窗里的时间轴。\r"
    "选“否”：这次不保存，文件保持那个程序存的样子；编辑窗里的修改都还在。";
inline constexpr std::string_view MsgChangedOnDiskNotSaved = "没有保存：时间轴文件在本程序之外被改过了：";
// After a backup notice (core/TimelineBackup.h) when the save went through.
inline constexpr std::string_view MsgSavedWithoutBackup = "时间轴照常保存了，只是这一次没有备份。";
// Where another program's version goes when the backup folder cannot take
// it: beside the timeline, <stem>.外部修改.<date-time><extension>.
inline constexpr std::string_view OtherVersionInfix = ".外部修改.";
inline constexpr std::string_view MsgOtherVersionBeside = "被替换的那个版本另存在时间轴旁边：";

// Writes the timeline's text (timelineText) in the given encoding over fileName through a temporary
// file, so a failure leaves the old file as it was; then clears newTimeline.
// Before that:
//  - a file another program has written since this run read or saved it is
//    replaced only when the dialogue's confirmReplace says so, and then a
//    copy of it is kept first (the backup folder, else beside it); else
//    TimelineChangedOnDisk is thrown and nothing is written;
//  - a file marked read-only (fileIsReadOnly) is replaced only when the
//    dialogue's confirmReadOnly says so, asked once a run; else
//    TimelineReadOnly is thrown and nothing is written;
//  - the first save over an existing file in a run copies it to the backup
//    folder (core/TimelineBackup.h); a copy that cannot be made does not
//    stop the save: the dialogue's notice is told, once, after the file was
//    written.
// A file whose folder takes no new file (FolderRefusesNewFile) but which
// may itself be written is written over in place (writeFileInPlace), and
// the notice says so; one that cannot be written at all throws
// FolderRefusesNewFile. A timeline reached through a symbolic link is
// written through it.
// A save remembers what it wrote (core/KnownContents.h) and removes the
// timeline's autosaved copy (core/TimelineRecovery.h). On failure throws
// FileError (core/FileIO.h) with the system's text and leaves newTimeline
// alone.
void saveTimelineFile(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                      const std::string& fileName, FileEncoding encoding, bool& newTimeline,
                      const SaveDialogue& dialogue = {}, const TimelineDocument* document = nullptr);

// The save by the name the screens have always called it by, whatever the
// timeline's format.
inline void proSaveSrt(const TimelineArray& timeline, int32_t timelineCount, float frameRate,
                       const std::string& fileName, FileEncoding encoding, bool& newTimeline,
                       const SaveDialogue& dialogue = {}, const TimelineDocument* document = nullptr)
{
    saveTimelineFile(timeline, timelineCount, frameRate, fileName, encoding, newTimeline, dialogue, document);
}

// A fingerprint of what a save of the timeline writes (the time-coded
// slots' frames and texts, the rate), for telling unsaved changes apart
// without building the text on every edit. Within one run only.
uint64_t timelineFingerprint(const TimelineArray& timeline, int32_t timelineCount, float frameRate);

// Whether the project's timeline differs from what its file held when it
// was loaded or last saved: a change undone is no change. False with no
// project.
bool timelineUnsaved(const ProjectState& project);

}  // namespace vt
