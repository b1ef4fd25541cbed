// What the tests that make media with the ffmpeg CLI share, without Qt.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vt::scratch {

inline bool haveFfmpeg()
{
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// A folder of this test program's own under the system's temporary folder.
inline std::filesystem::path scratchDir(const std::string& name)
{
    auto dir = std::filesystem::temp_directory_path() / ("veltrana-test-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace vt::scratch
