// Writing a file so that a failure never leaves it half-written: the bytes go
// to a temporary file in the same folder, are flushed to disk, and only then
// renamed over the target.
#pragma once

#include "core/Errors.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace vt {

// Raised with the system's description of what went wrong.
class FileError : public UserError {
public:
    using UserError::UserError;
};

// Replaces the file at path with bytes; on any failure the old file stays
// untouched, no temporary file is left behind, and FileError is thrown.
void writeFileAtomically(const std::string& path, std::string_view bytes);

// Reads the whole file; throws FileError when it cannot be opened or read.
std::string readWholeFile(const std::string& path);

// A regular file is at path; a folder of that name does not count, so the
// loader refuses it like a missing file instead of failing later.
bool fileExists(const std::string& path);

}  // namespace vt
