// A film's pictures, handed from a decoder (FFmpeg's, in platform/) to what
// the program works out from them (the shot changes). The decoder lives with
// the platform code; the analysis is window-free logic; this is all the two
// share.
#pragma once

#include "core/Errors.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vt {

// A film's pictures, decoded small for analysis: each picture's luma (8-bit,
// row after row, width x height) and the frame number it is shown on.
struct SmallPicture {
    int64_t frame = 0;                    // 0-based frame number at the film's frame rate
    std::span<const uint8_t> luma;        // valid until the next call
};

// The pictures cannot be decoded any further (a read or decoder failure, not
// the end of the film). The text is the library's own description.
class PictureError : public UserError {
public:
    using UserError::UserError;
};

class PictureSource {
public:
    virtual ~PictureSource() = default;
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
    // The next picture in display order; nothing once the film has ended or decoding was cancelled.
    // Throws a UserError subclass (core/Errors.h) when decoding breaks off.
    virtual std::optional<SmallPicture> next() = 0;
};

}  // namespace vt
