// Linked into every test program: the program's state folder (backups of
// timelines saved over) and its cache folder (summaries of films' sound) go
// to a fresh temporary folder of the test run, never to the user's own
// ~/.local/state or ~/.cache.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct PrivateStateFolder {
    std::string folder;

    PrivateStateFolder()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "veltrana-test-state-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr)
            std::abort();
        folder = tmpl;
        ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
        // and the summaries of films' own sound go there too, not to ~/.cache
        ::setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
    }
    ~PrivateStateFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

const PrivateStateFolder privateStateFolder;

}  // namespace
