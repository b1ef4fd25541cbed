// A film opened for decoding one of its streams with FFmpeg's libraries: the
// container, its stream information, the stream a caller's rule picks and
// that stream's decoder, owned together and freed together. The other
// streams are discarded, so their packets are never read.
//
// No Qt here.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVStream;

namespace vt {

class FfmpegInput {
public:
    // The stream to decode, or a negative number when the film has none fit.
    using StreamRule = std::function<int(const AVFormatContext&)>;
    // Settings the decoder needs before it opens (its threads, say).
    using DecoderSetup = std::function<void(AVCodecContext&, const AVStream&)>;

    FfmpegInput() = default;
    ~FfmpegInput();
    FfmpegInput(const FfmpegInput&) = delete;
    FfmpegInput& operator=(const FfmpegInput&) = delete;

    // False when the file does not open, has no stream the rule picks, or no
    // decoder opens for it; what was opened so far is freed with the input.
    // Once `stop` is set, a read in progress ends soon with AVERROR_EXIT;
    // `stop` must outlive the input.
    bool open(const std::string& path, const std::atomic<bool>& stop, const StreamRule& pick,
              const DecoderSetup& setup);

    AVFormatContext* format() const { return format_; }
    AVCodecContext* decoder() const { return decoder_; }
    int streamIndex() const { return stream_; }
    AVStream* stream() const;

private:
    AVFormatContext* format_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    int stream_ = -1;
};

// The film's main picture stream, for FfmpegInput::open: FFmpeg's best
// video stream, else the first; a cover picture that a sound file keeps as
// a video stream is no film. Negative when there is none.
int mainPictureStream(const AVFormatContext& format);

// What kinds of streams a file holds, as its container tells.
struct FilmContents {
    bool sound = false;
    bool pictures = false;  // a main picture stream, as mainPictureStream picks it
};

// Empty when FFmpeg cannot read the file as a film at all (not a media
// file, or one cut off before its stream information). It tells why a
// decoder found nothing to decode; it decodes nothing itself.
std::optional<FilmContents> filmContentsOf(const std::string& path);

}  // namespace vt
