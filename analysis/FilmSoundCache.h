// The summaries of films' own sound tracks, kept in the user's cache folder
// so that the next opening of the same film draws its waveform at once.
// Nothing is written beside the user's files. A file is named after the
// film's full path, size and modification time, so a film that is replaced
// or edited gets a summary of its own.
//
// A cache file is a 24-byte header ("VTFILMWS", the summary's length and
// an FNV-1a checksum of its bytes, both 64-bit little-endian) followed by
// the summary bytes; a file that is short or does not match is ignored.
#pragma once

#include "core/ProjectState.h"

#include <optional>
#include <string>
#include <string_view>

namespace vt {

// $XDG_CACHE_HOME/veltrana, or ~/.cache/veltrana when the variable is unset
// or empty; empty when neither XDG_CACHE_HOME nor HOME is set.
std::string filmSoundCacheFolder();

// Where the summary of this film is kept; empty when there is no cache
// folder or the film cannot be looked at.
std::string filmSoundCacheFile(const std::string& videoFileName);

// The stored summary; nothing when the file is missing, unreadable, short, empty,
// longer than its header says or damaged.
std::optional<ByteArray> readFilmSoundCache(const std::string& cacheFile);

// Stores the summary, creating the folder, through a temporary file renamed
// into place. Throws FileError (core/FileIO.h) when it cannot.
void writeFilmSoundCache(const std::string& cacheFile, const ByteArray& summary);

// The same header rule for what else is worked out from a film and kept
// beside its summary: `magic` (8 characters) names the kind and its
// version, so a file of another kind, or written by an older way of working
// it out, is ignored. Unlike a summary, the bytes may be empty.
std::optional<ByteArray> readCacheFile(const std::string& cacheFile, std::string_view magic);
void writeCacheFile(const std::string& cacheFile, std::string_view magic, const ByteArray& bytes);

// What those kinds store: 32-bit numbers, little-endian.
void appendLe32(ByteArray& out, uint32_t value);
uint32_t readLe32(const uint8_t* bytes);

// The cache file of another kind for the same film: the summary's name with
// its own extension (".speech"); empty when the film has no cache file.
std::string cacheFileBeside(const std::string& videoFileName, std::string_view extension);

}  // namespace vt
