// The film's pictures for analysis, decoded with FFmpeg's libraries: the
// film's main video stream, every picture, shrunk to a small luma picture
// and numbered on the player's frame grid; and the key frames its container
// flags, read without decoding.
//
// Frame numbers are the player's: time is counted from the file's start as
// libavformat names it, and frame n is the picture whose time stamp lies
// nearest n / frameRate after that start.
//
// No Qt here.
#pragma once

#include "core/PictureSource.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vt {

// Pictures this wide (or the film's own width, if narrower) unless asked
// otherwise: enough to tell one shot from the next, small enough that the
// shrinking costs little beside the decoding.
inline constexpr int32_t AnalysisWidth = 64;

// Opens the film's video stream for analysis: every picture decoded (all threads the decoder wants),
// scaled to a small luma picture (about 64 pixels wide keeping the aspect, or the width asked),
// numbered at frameRate. Empty when the file has no video FFmpeg can decode. `cancel` stops it soon, also mid-read.
std::unique_ptr<PictureSource> openFilmPictures(const std::string& path, float frameRate, const std::atomic<bool>& cancel);

// The same, `width` pixels wide (at most the film's own width), starting at
// the key frame at or before `fromFrame`; pictures before `fromFrame` are
// decoded but not handed over. A file that cannot seek is decoded from its
// start. A source is used from one thread at a time, not necessarily the one
// that opened it; `cancel` must outlive it.
std::unique_ptr<PictureSource> openFilmPictures(const std::string& path, float frameRate, const std::atomic<bool>& cancel,
                                                int32_t width, int64_t fromFrame);

// The key frames the container flags, read from packets only (no decoding): frame numbers, in order.
// Fast: for provisional marks before decoding has come that far. Empty when none.
std::vector<int64_t> keyFramesOf(const std::string& path, float frameRate, const std::atomic<bool>& cancel);

// The frame rate the film's container states for its pictures; empty when
// the file has no video FFmpeg can open or states none.
std::optional<double> filmFrameRate(const std::string& path);

}  // namespace vt
