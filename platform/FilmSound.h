// The film's own sound track, decoded with FFmpeg's libraries: the first
// audio stream of the file, as interleaved signed 16-bit samples at its own
// sample rate, mono or stereo as it is and anything wider mixed down to
// stereo the way FFmpeg's resampler mixes by default.
#pragma once

#include "core/SoundSource.h"

#include <atomic>
#include <memory>
#include <string>

namespace vt {

// Opens the film for decoding its first audio stream. Empty when the file is
// no media file FFmpeg can open, has no audio stream, or FFmpeg has no
// decoder for it. Once `cancel` is set (from any thread) the source stops
// soon, also in the middle of a slow read: next() then gives nothing.
// `cancel` must outlive the source. A source is used from one thread at a
// time, but that need not be the thread that opened it.
std::unique_ptr<SoundSource> openFilmSound(const std::string& path, const std::atomic<bool>& cancel);

}  // namespace vt
