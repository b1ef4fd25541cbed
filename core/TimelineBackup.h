// The last line of defence for the user's timeline: before the program first
// writes over an existing timeline file in a run, the file as it was on disk
// is copied to the user's state folder, so that no save can destroy what the
// user had before the program touched it.
#pragma once

#include <string>

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

// The first time in this run that `path` is about to be saved over: copies
// the file to backupFolder() as backupNamePrefix, the date-time to the
// millisecond and the file's extension (film.srt -> film.1a2b3c4d.20261207-
// 233512123.srt) and deletes that file's oldest copies beyond
// MaxBackupsPerFile. Nothing is copied for a file that does not exist or is
// empty, or when there is no state folder. Throws FileError (core/FileIO.h)
// when the copy cannot be made; the caller then does not save.
void backUpBeforeFirstSave(const std::string& path);

}  // namespace vt
