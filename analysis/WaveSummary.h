// The waveform summary: two signed bytes (highest, lowest sample value) per
// chunk of (sample rate div 100) sample frames, i.e. per 10 ms of sound.
// Built from a PCM WAV file, cached next to it as a ".ws" file (exactly the
// summary bytes, no header), or drawn as a placeholder when there is no sound.
//
// The summary stays a plain growable byte array: nothing here assumes a
// fixed size, so it can be extended while the editor already draws from it.
#pragma once

#include "core/Errors.h"
#include "core/ProjectState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// Shown when a file does not start as a RIFF/WAVE file.
inline constexpr std::string_view WavNotRealMessage = "这不一个真正的WAV文件，请检查。";

// Shown for RIFF/WAVE files whose samples are not plain integer PCM (float,
// compressed, or no format/data chunk at all). Each "\r" is one carriage
// return, which the screen turns into a line break.
inline constexpr std::string_view WavNotPcmMessage =
    "\u3000\u3000对不起，这个WAV文件不是最原始的PCM格式，而\r\r"
    "我是一个初学者，不懂得任何解压缩算法，无法使用。\r\r"
    "请转换成最原始的windows PCM格式的WAV文件。";

// A format whose 10 ms chunk holds no bytes (sample rate below 100 Hz, fewer
// than 8 bits per sample, or no channels): nothing could be summarised.
class WavFormatError : public UserError {
public:
    using UserError::UserError;
};

// Receives the share of the file done so far, 0 to 100. Called a few dozen
// times a second at most and once more with 100 at the end, so a screen can
// move its progress bar and repaint from inside the call.
using SummaryProgress = std::function<void(int percent)>;

// Why a file was turned away; the user is shown message() and the load stops.
enum class WavRefusal : uint8_t {
    None,        // accepted: the summary was built
    NotRealWav,  // not RIFF/WAVE
    NotPcm,      // RIFF/WAVE, but not integer PCM or missing its chunks
};

struct WaveSummaryResult {
    WavRefusal refusal = WavRefusal::None;
    ByteArray summary;  // empty when refused

    bool built() const { return refusal == WavRefusal::None; }
    // The text to show for a refusal; empty when the summary was built.
    std::string_view message() const;
};

// Reads the WAV file and computes its summary; writes nothing. A file that is
// not usable PCM is refused through the result. Throws FileError when the
// file cannot be opened or read, WavFormatError when its 10 ms chunk would
// hold no bytes.
WaveSummaryResult summarizeWav(const std::string& wavFileName,
                               const SummaryProgress& progress = {});

// How many bytes summarizeWav would give for this file, worked out from its
// header alone: two per whole 10 ms chunk of the sound it holds. Nothing when
// the file is refused or its chunk would hold no bytes. Throws FileError when
// the file cannot be opened or read.
std::optional<uint64_t> summaryBytesOfWav(const std::string& wavFileName);

// summarizeWav, then (only when the summary was built) keeps the summary
// for the next opening: it replaces the ".ws" file, written to a temporary
// name and renamed into place, so a crash never leaves a short one behind.
// Where that file cannot be written (a WAV on read-only media, a folder that
// takes no new file, a full disk, a folder of that name) the summary goes to
// the cache folder instead (waveSummaryCacheFile). One that neither place
// takes is built again at the next opening: a summary that cannot be kept
// never stops the work. Throws like summarizeWav.
WaveSummaryResult CreateWS(const std::string& wavFileName, const std::string& wsFileName,
                           const SummaryProgress& progress = {});

// Where the summary of this WAV is kept when no ".ws" can be written beside
// it: in the cache folder, named after the WAV's full path, size and
// modification time like the summaries of films' own sound (so a WAV
// replaced or edited gets a summary of its own), with their header rule;
// empty when there is no cache folder or the WAV cannot be looked at.
std::string waveSummaryCacheFile(const std::string& wavFileName);

// The summary an earlier CreateWS kept in the cache folder for this WAV;
// nothing when there is none, or it is empty or damaged.
std::optional<ByteArray> readWaveSummaryCache(const std::string& wavFileName);

// The sample layout of PCM sound as the summary reads it.
struct PcmFormat {
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
};

// Summarises PCM sound that arrives in pieces of any size (a decoder's
// output) exactly as summarizeWav summarises the same bytes in a file: one
// pair per whole chunk, a last partial chunk left out.
class StreamingSummary {
public:
    // Throws WavFormatError when a chunk of the format would hold no bytes.
    explicit StreamingSummary(const PcmFormat& format);

    // Appends to `pairs` the pair of every chunk these bytes complete; the
    // bytes of an unfinished chunk wait for the next call.
    void add(const uint8_t* bytes, size_t size, ByteArray& pairs);

private:
    PcmFormat format_;
    std::vector<uint8_t> partial_;
};

// A ".ws" file of any length, odd or empty, read back byte for byte.
// Throws FileError when it cannot be opened or read.
ByteArray readWaveSummaryFile(const std::string& wsFileName);

// Draws the word "null" into a placeholder summary (sized and zeroed by the
// caller), repeated every 600 bytes (three seconds). A summary shorter than
// 999 bytes is left flat.
void CreateNullWS(ByteArray& summary);

// A name the WAV box may hold that is itself a summary file (".ws", any case).
bool isWaveSummaryName(std::string_view path);

}  // namespace vt
