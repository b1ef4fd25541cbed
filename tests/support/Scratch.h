// What the tests that make media with the ffmpeg CLI share, without Qt.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
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

// A new, empty folder of its own under the system's temporary folder, for
// one test: veltrana-<name>-XXXXXX. Throws when none can be made.
inline std::filesystem::path freshDir(const std::string& name)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / ("veltrana-" + name + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw std::filesystem::filesystem_error("no scratch folder", tmpl, std::error_code(errno, std::generic_category()));
    return tmpl;
}

}  // namespace vt::scratch
