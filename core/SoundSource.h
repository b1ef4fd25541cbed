// Decoded sound, handed from a decoder (the film's own sound track) to
// whoever summarises it. The decoder lives with the platform code; the
// summary is window-free logic; this is all the two share.
#pragma once

#include "core/Errors.h"

#include <cstdint>
#include <span>

namespace vt {

// Interleaved signed 16-bit samples in the machine's byte order, one or two
// channels: exactly the bytes a 16-bit PCM WAV of the same sound would hold.
struct SoundFormat {
    int32_t channels = 0;
    int32_t sampleRate = 0;
};

// The sound cannot be decoded any further (a read or decoder failure, not
// the end of the sound). The text is the library's own description.
class SoundError : public UserError {
public:
    using UserError::UserError;
};

class SoundSource {
public:
    virtual ~SoundSource() = default;

    virtual SoundFormat format() const = 0;

    // The sound's length as the file states it, in microseconds; 0 when the
    // file does not say. Only good for showing progress.
    virtual int64_t durationMicroseconds() const = 0;

    // The next whole sample frames, valid until the next call; empty once
    // the sound has ended (or decoding was cancelled). Throws SoundError.
    virtual std::span<const int16_t> next() = 0;
};

}  // namespace vt
