// Test media made with the ffmpeg CLI at test time: every frame carries its
// own number as a row of twelve black/white blocks along the top edge, so a
// test can read the frame back from the rendered picture.
#pragma once

#include "tests/support/Scratch.h"

#include <QColor>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace vt::testclips {

inline constexpr int ClipWidth = 480;
inline constexpr int ClipHeight = 270;
inline constexpr int BlockSize = 32;

using scratch::haveFfmpeg;
using scratch::scratchDir;

// rate is an ffmpeg rate ("25", "24000/1001"); codec args suit the container.
inline std::string makeClip(const std::filesystem::path& dir, const std::string& name, const std::string& rate,
                            int frames, bool withSound, const std::string& extraVideoArgs = "")
{
    auto out = (dir / name).string();
    std::string ext = std::filesystem::path(name).extension().string();
    std::string codec = ext == ".mp4" ? "-c:v libx264 -preset ultrafast -crf 12 -pix_fmt yuv420p -g 25"
                                      : "-c:v mpeg4 -q:v 2 -g 12";
    std::string audioCodec = ext == ".mp4" ? "-c:a aac" : "-c:a pcm_s16le";
    std::string seconds = "(" + std::to_string(frames) + "/(" + rate + "))";
    std::string cmd = "ffmpeg -v error -y -f lavfi -i \"color=c=gray:s=480x270:r=" + rate + "\"";
    if (withSound)
        cmd += " -f lavfi -i \"sine=frequency=440:sample_rate=44100\"";
    cmd += " -vf \"geq=lum='if(lt(Y\\,32)\\,if(bitand(N\\,pow(2\\,floor(X/32)))\\,235\\,16)\\,lum(X\\,Y))':cb=128:cr=128\"";
    cmd += " -frames:v " + std::to_string(frames) + " " + codec + " " + extraVideoArgs;
    if (withSound)
        cmd += " " + audioCodec + " -shortest";
    cmd += " \"" + out + "\" 2>&1";
    (void)seconds;
    if (std::system(cmd.c_str()) != 0)
        return {};
    return out;
}

// Reads the frame number drawn into a picture of the clip scaled to img's size.
inline int frameNumberIn(const QImage& img)
{
    if (img.isNull())
        return -1;
    double sx = img.width() / double(ClipWidth);
    double sy = img.height() / double(ClipHeight);
    int n = 0;
    for (int bit = 0; bit < 12; ++bit) {
        int x = int((bit * BlockSize + BlockSize / 2) * sx);
        int y = int((BlockSize / 2) * sy);
        if (qGray(img.pixel(x, y)) > 128)
            n |= 1 << bit;
    }
    return n;
}

// True when the picture is neither black nor empty.
inline bool showsPicture(const QImage& img)
{
    if (img.isNull())
        return false;
    int bright = 0;
    for (int y = 0; y < img.height(); y += 8)
        for (int x = 0; x < img.width(); x += 8)
            if (qGray(img.pixel(x, y)) > 40)
                ++bright;
    return bright > 20;
}

}  // namespace vt::testclips
