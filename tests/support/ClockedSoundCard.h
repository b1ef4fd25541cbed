// The test sound card that plays by the clock (ClockedSoundCard.cpp), made
// known to ALSA in this test program: ALSA reads the system's configuration
// and then one that names the card's library.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace vt::clockedcard {

// The device to open: it appends what it was heard playing to `heard`, and
// the length of each stretch heard, in sample frames, to `heard`.heard.
inline std::string use(const std::filesystem::path& dir, const std::filesystem::path& heard)
{
    const std::filesystem::path conf = dir / "clocked-card.conf";
    std::ofstream(conf) << "pcm_type.vtclocked { lib \"" VT_CLOCKED_CARD "\" }\n"
                           "pcm.vtclocked {\n"
                           "    @args [ FILE ]\n"
                           "    @args.FILE { type string }\n"
                           "    type vtclocked\n"
                           "    file $FILE\n"
                           "}\n";
    const std::string path = std::string(snd_config_topdir()) + "/alsa.conf:" + conf.string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    return "vtclocked:FILE=\"" + heard.string() + "\"";
}

// The lengths of the stretches heard, in sample frames, in the order played.
inline std::vector<long> stretches(const std::filesystem::path& heard)
{
    std::vector<long> lengths;
    std::ifstream in(heard.string() + ".heard");
    for (long n; in >> n;)
        lengths.push_back(n);
    return lengths;
}

}  // namespace vt::clockedcard
