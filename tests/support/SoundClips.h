// Films with sound made with the ffmpeg CLI at test time, a picture of a few
// pixels and a sound whose loudness changes, so that every 10 ms of the
// summary differs from the next; and the WAV copy that ffmpeg itself
// extracts from them, which the WAV reader summarises for comparison.
#pragma once

#include "tests/support/Scratch.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace vt::soundclips {

using scratch::haveFfmpeg;
using scratch::scratchDir;

inline bool run(const std::string& command)
{
    return std::system(("ffmpeg -v error -y " + command + " >/dev/null 2>&1").c_str()) == 0;
}

// A swelling tone on every channel, each channel at its own pitch and pace.
inline std::string swellingSound(int channels, int rate, double seconds)
{
    std::string exprs;
    for (int c = 0; c < channels; ++c) {
        if (c)
            exprs += "|";
        exprs += "0.9*sin(2*PI*" + std::to_string(220 + 110 * c) + "*t)*abs(sin(2*PI*t*" +
                 std::to_string(0.3 + 0.2 * c) + "))";
    }
    const std::string layout = channels == 6 ? ":c=5.1" : "";
    return "-f lavfi -i \"aevalsrc='" + exprs + "'" + layout + ":s=" + std::to_string(rate) +
           ":d=" + std::to_string(seconds) + "\"";
}

// `pictureSeconds` of a 64x48 picture at 25 fps; soundArgs are the sound's
// input and codec options, empty for a film without sound.
inline std::string makeFilm(const std::filesystem::path& dir, const std::string& name, double pictureSeconds,
                            const std::string& soundInput, const std::string& soundCodec)
{
    const std::string out = (dir / name).string();
    const std::string ext = std::filesystem::path(name).extension().string();
    const std::string video = ext == ".avi" ? "-c:v mpeg4 -q:v 5" : "-c:v libx264 -preset ultrafast -pix_fmt yuv420p";
    std::string cmd = "-f lavfi -i color=c=gray:s=64x48:r=25:d=" + std::to_string(pictureSeconds);
    if (!soundInput.empty())
        cmd += " " + soundInput;
    cmd += " " + video;
    if (!soundInput.empty())
        cmd += " " + soundCodec;
    cmd += " \"" + out + "\"";
    return run(cmd) ? out : std::string();
}

// The WAV that `ffmpeg -vn -acodec pcm_s16le` makes of the film's sound;
// downmixed by ffmpeg to stereo when asked.
inline std::string extractWav(const std::string& film, bool toStereo)
{
    const std::string wav = film + ".wav";
    std::string cmd = "-i \"" + film + "\" -vn -acodec pcm_s16le";
    if (toStereo)
        cmd += " -ac 2";
    cmd += " \"" + wav + "\"";
    return run(cmd) ? wav : std::string();
}

}  // namespace vt::soundclips
