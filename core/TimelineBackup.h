// The last line of defence for the user's timeline: before the program first
// writes over an existing timeline file in a run, the file as it was on disk
// is copied to the user's state folder, so that no save can destroy what the
// user had before the program touched it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vt {

// The program's folder for what it keeps of the user's work:
// $XDG_STATE_HOME/veltrana, or ~/.local/state/veltrana when the variable is
// unset or empty (the freedesktop default); empty when neither
// XDG_STATE_HOME nor HOME is set.
std::string stateFolder();

// stateFolder()/backups; empty when there is no state folder.
std::string backupFolder();

// The start of the names of one file's copies: <name>.<hash of its full
// path>. (two timelines called film.srt in different folders differ).
std::string backupNamePrefix(const std::string& path);

// How many copies of one timeline file are kept.
inline constexpr int MaxBackupsPerFile = 20;

// What became of the copy of a file that is about to be written over.
struct BackupOutcome {
    bool kept = true;    // copied, or nothing the user had was there to copy
    std::string notice;  // when not kept: for the user, what could not be kept and where the program tried
};

// The copy's message in pieces around the file's name, the folder tried and
// the system's reason: "无法为 film.srt 保留备份（试过 /…/backups：…）。"
inline constexpr std::string_view MsgNoBackup = "无法为 ";
inline constexpr std::string_view MsgNoBackupTried = " 保留备份（试过 ";
inline constexpr std::string_view MsgNoBackupEnd = "）。";

// The first time in this run that `path` is about to be written over: copies
// the file to backupFolder() as backupNamePrefix, the date-time to the
// millisecond and the file's extension (film.srt -> film.1a2b3c4d5e6f7a8b.
// 20261207-233512123.srt) and deletes that file's oldest copies beyond
// MaxBackupsPerFile. Nothing is copied for a file that does not exist or is
// empty (a file this run creates is then the program's own to replace). A
// copy that cannot be made (no state folder, an unwritable or full disk) is
// reported, once: the caller decides whether to write anyway. Never throws.
BackupOutcome backUpBeforeFirstSave(const std::string& path);

// The same copy, made whatever was copied before in this run: the file
// holds what another program wrote, which is about to be replaced.
BackupOutcome backUpNow(const std::string& path);

// How a write over one of the user's files talks to the user. Without a
// confirmReplace, nothing that needs the user's word is replaced; without a
// notice, notices are dropped.
struct SaveDialogue {
    // Asked (UTF-8, "\r" for a line break) before a file is replaced that
    // another program has written, or of which no copy could be kept; true:
    // replace it.
    std::function<bool(const std::string& question)> confirmReplace;
    // Told (UTF-8) when no backup could be kept; the save went through.
    std::function<void(const std::string& notice)> notice;
    // Asked before a file marked read-only is replaced; the answer offered
    // first is no, since the mark is the user's own word. Without it such a
    // file is left alone.
    std::function<bool(const std::string& question)> confirmReadOnly{};
};

// The question before a file the user had is written over without a copy,
// after the backup's notice: "“a.txt”已经存在，要覆盖它吗？"
inline constexpr std::string_view MsgOverwriteAsk = "“";
inline constexpr std::string_view MsgOverwriteAskEnd = "”已经存在，而且没法先备份。要覆盖它吗？";

// Before something other than its own save writes over a file the user had
// (a tool's output, "新建"): a copy is kept first (backUpBeforeFirstSave), and
// when none can be, the dialogue's confirmReplace is asked. False: the file
// is to be left alone.
bool readyToOverwrite(const std::string& path, const SaveDialogue& dialogue);

}  // namespace vt
