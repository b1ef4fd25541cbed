// Decoding one stream of a film opened with FfmpegInput: packets read from
// the file go to the stream's decoder, decoded frames come out, and the end
// of the file drains the decoder. What a caller keeps of the frames, where
// it seeks and how it counts time stay with the caller.
//
// No Qt here.
#pragma once

#include <atomic>
#include <functional>
#include <string>

extern "C" {
#include <libavutil/channel_layout.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace vt {

class FfmpegInput;

// FFmpeg's words for one of its error codes.
std::string ffmpegText(int err);

class PacketDecoder {
public:
    // Whether a packet of the stream goes to the decoder; after a seek, say,
    // only from a key frame on.
    using PacketRule = std::function<bool(const AVPacket&)>;

    explicit PacketDecoder(const FfmpegInput& input);
    ~PacketDecoder();
    PacketDecoder(const PacketDecoder&) = delete;
    PacketDecoder& operator=(const PacketDecoder&) = delete;

    // False when the packet or the frame could not be allocated.
    bool ready() const { return packet_ && frame_; }

    // What one read from the file did.
    enum class Read {
        Sent,        // a packet of the stream went to the decoder (error() is its answer)
        Passed,      // a packet of another stream, or one the rule refused
        Ended,       // the file has no more: the decoder has been told (once) to drain
        Stopped,     // the read was cut short by the stop flag (error() is AVERROR_EXIT)
        Unreadable,  // the file is damaged here (error() says how); the caller decides
    };
    Read readPacket(const PacketRule& rule = {});

    // Tells the decoder that no packet follows, so it gives up what it holds.
    void endInput();
    bool inputEnded() const { return inputEnded_; }

    // One frame from the decoder into frame(): 0, AVERROR(EAGAIN) when it
    // wants a packet, AVERROR_EOF once drained, or its error.
    int receive();

    // What next() found.
    enum class Next {
        Frame,       // a decoded frame is in frame()
        Ended,       // the stream is decoded to its end
        Stopped,     // the cancel flag is set
        Unreadable,  // the file cannot be read further (error() says why); endInput() and next() drain what was read
    };
    // The next decoded frame, reading packets as the decoder asks for them.
    // A packet the decoder refuses and a frame that does not decode are
    // skipped, as FFmpeg's own tools do; a file cut off ends where it ends.
    Next next(const std::atomic<bool>& cancel, const PacketRule& rule = {});

    // After a seek: the decoder forgets what it held and takes packets again.
    void flush();

    AVFrame* frame() const { return frame_; }
    AVPacket* packet() const { return packet_; }
    // FFmpeg's code for the last read or send.
    int error() const { return error_; }

private:
    AVFormatContext* format_;
    AVCodecContext* codec_;
    int stream_;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    int error_ = 0;
    bool inputEnded_ = false;
};

// Converts decoded sound to interleaved 16-bit samples of one layout and
// rate, set up again whenever the frames' own format, rate or layout changes.
class SoundConverter {
public:
    SoundConverter() = default;
    ~SoundConverter();
    SoundConverter(const SoundConverter&) = delete;
    SoundConverter& operator=(const SoundConverter&) = delete;

    // False when swresample cannot convert such a frame; it is then set up
    // for none.
    bool prepare(const AVFrame& frame, const AVChannelLayout& outLayout, int outRate);
    SwrContext* get() const { return swr_; }

private:
    SwrContext* swr_ = nullptr;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
};

// The layout a frame really has; one that names only a channel count gets
// FFmpeg's usual layout for it, as FFmpeg's own command line does. The
// caller uninits it.
AVChannelLayout layoutOf(const AVChannelLayout& given);

}  // namespace vt
