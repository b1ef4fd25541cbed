#include "analysis/WaveSummary.h"

#include "analysis/FilmSoundCache.h"
#include "core/FileIO.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

namespace vt {

namespace {

// Large enough that a 2-hour film takes a few thousand reads, small enough to
// stay in the L2 cache while its chunks are summarised.
constexpr uint64_t BlockBytes = 256 * 1024;

// Only every 32nd sample frame of a chunk is looked at.
constexpr uint64_t FrameStep = 32;

// The progress callback repaints a screen; about 30 times a second is smooth.
constexpr auto ProgressInterval = std::chrono::milliseconds(33);

// KSDATAFORMAT_SUBTYPE_PCM, as stored in a WAVE_FORMAT_EXTENSIBLE header.
constexpr std::array<uint8_t, 16> PcmSubFormat = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                   0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint16_t FormatPcm = 1;
constexpr uint16_t FormatExtensible = 0xFFFE;

// the kind of a WAV's summary kept in the cache folder, and its version
constexpr std::string_view WavSummaryMagic = "VTWAVWS1";

// A streamed header does not know its data size yet and writes one of these.
constexpr uint32_t StreamedSizeZero = 0;
constexpr uint32_t StreamedSizeAllOnes = 0xFFFFFFFF;

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool isId(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

struct PcmLayout : PcmFormat {
    uint64_t dataOffset = 0;
    uint64_t dataLength = 0;  // bounded by what the file really holds
};

// Whether the body of a "fmt " chunk describes integer PCM; fills the layout.
bool readFormat(const uint8_t* fmt, size_t len, PcmLayout& layout)
{
    if (len < 16)
        return false;
    uint16_t tag = le16(fmt);
    bool pcm = tag == FormatPcm ||
               (tag == FormatExtensible && len >= 40 &&
                std::equal(PcmSubFormat.begin(), PcmSubFormat.end(), fmt + 24));
    if (!pcm)
        return false;
    layout.channels = le16(fmt + 2);
    layout.sampleRate = le32(fmt + 4);
    layout.bitsPerSample = le16(fmt + 14);
    return true;
}

// Walks the RIFF chunks up to "data": a "fmt " chunk must come first, any
// other chunk (LIST, JUNK, fact, ...) is skipped.
WavRefusal readHeader(const ReadOnlyFile& file, PcmLayout& layout)
{
    uint8_t riff[12];
    if (file.readAt(0, riff, sizeof riff) < sizeof riff || !isId(riff, "RIFF") ||
        !isId(riff + 8, "WAVE"))
        return WavRefusal::NotRealWav;

    bool haveFormat = false;
    uint64_t pos = sizeof riff;
    while (pos + 8 <= file.size()) {
        uint8_t head[8];
        file.readAt(pos, head, sizeof head);
        uint32_t size = le32(head + 4);
        uint64_t body = pos + 8;
        if (isId(head, "fmt ")) {
            uint8_t fmt[40] = {};
            size_t got = file.readAt(body, fmt, std::min<uint64_t>(size, sizeof fmt));
            if (!readFormat(fmt, got, layout))
                return WavRefusal::NotPcm;
            haveFormat = true;
        } else if (isId(head, "data")) {
            if (!haveFormat)
                return WavRefusal::NotPcm;
            uint64_t present = file.size() - body;
            bool streamed = size == StreamedSizeZero || size == StreamedSizeAllOnes;
            layout.dataOffset = body;
            layout.dataLength = streamed ? present : std::min<uint64_t>(size, present);
            return WavRefusal::None;
        }
        // chunk bodies are padded to an even length
        pos = body + size + (size & 1u);
    }
    return WavRefusal::NotPcm;
}

// How one chunk's bytes are turned into its (high, low) pair.
class ChunkReader {
public:
    explicit ChunkReader(const PcmFormat& layout)
        : stereo_(layout.channels == 2),
          sampleBytes_(layout.bitsPerSample / 8u),
          frameBytes_(uint64_t{layout.channels} * sampleBytes_),
          framesPerChunk_(layout.sampleRate / 100u),
          // 8-bit PCM is stored with 128 as silence; moving it to 0 lets every
          // width be read the same way, as a signed most significant byte
          centre_(sampleBytes_ == 1 ? 0x80 : 0x00)
    {
    }

    uint64_t frameBytes() const { return frameBytes_; }
    uint64_t chunkBytes() const { return frameBytes_ * framesPerChunk_; }
    uint64_t framesPerChunk() const { return framesPerChunk_; }
    // Bytes from the start of a looked-at frame up to the last byte it needs.
    size_t frameSpan() const { return stereo_ ? 2 * sampleBytes_ : sampleBytes_; }

    // The value of one looked-at frame: with two channels the average of both
    // (each halved first, truncating), otherwise the first channel's.
    int value(const uint8_t* frame) const
    {
        int left = msb(frame + sampleBytes_ - 1);
        if (!stereo_)
            return left;
        int right = msb(frame + 2 * sampleBytes_ - 1);
        return left / 2 + right / 2;
    }

    // Summarises a chunk held whole in memory into out[0] (high), out[1] (low).
    void summarize(const uint8_t* chunk, uint8_t* out) const
    {
        int high = 0;
        int low = 0;
        const uint64_t stride = FrameStep * frameBytes_;
        const uint64_t end = chunkBytes();
        for (uint64_t at = 0; at < end; at += stride) {
            int v = value(chunk + at);
            high = std::max(high, v);
            low = std::min(low, v);
        }
        out[0] = static_cast<uint8_t>(high);
        out[1] = static_cast<uint8_t>(low);
    }

private:
    int msb(const uint8_t* p) const { return static_cast<int8_t>(*p ^ centre_); }

    bool stereo_;
    uint32_t sampleBytes_;
    uint64_t frameBytes_;
    uint64_t framesPerChunk_;
    uint8_t centre_;
};

// Calls the progress callback at most once per interval, and always at 100.
class ProgressThrottle {
public:
    explicit ProgressThrottle(const SummaryProgress& progress) : progress_(progress)
    {
        report(0);
    }

    void update(uint64_t done, uint64_t total)
    {
        if (!progress_)
            return;
        auto now = std::chrono::steady_clock::now();
        if (now - last_ < ProgressInterval)
            return;
        report(static_cast<int>(done * 100 / total));
    }

    void finish() { report(100); }

private:
    void report(int percent)
    {
        if (!progress_)
            return;
        progress_(percent);
        last_ = std::chrono::steady_clock::now();
    }

    const SummaryProgress& progress_;
    std::chrono::steady_clock::time_point last_;
};

std::string describeFormat(const PcmFormat& layout)
{
    return "WAV文件的格式无法生成波形略图：采样率 " + std::to_string(layout.sampleRate) +
           " Hz（至少需要 100 Hz），每样本 " + std::to_string(layout.bitsPerSample) +
           " 位（至少需要 8 位），" + std::to_string(layout.channels) + " 个声道（至少需要 1 个）。";
}

ByteArray summarizeData(const ReadOnlyFile& file, const PcmLayout& layout,
                        const SummaryProgress& progress)
{
    ChunkReader reader(layout);
    const uint64_t chunkBytes = reader.chunkBytes();
    if (chunkBytes == 0)
        throw WavFormatError(describeFormat(layout));

    const uint64_t chunkCount = layout.dataLength / chunkBytes;
    ByteArray summary(2 * chunkCount);
    ProgressThrottle throttle(progress);

    if (chunkBytes <= BlockBytes) {
        // Whole chunks per read; the usual case for every real sound track.
        const uint64_t perBlock = std::min(BlockBytes / chunkBytes, chunkCount);
        std::vector<uint8_t> block(perBlock * chunkBytes);
        for (uint64_t i = 0; i < chunkCount;) {
            uint64_t n = std::min(perBlock, chunkCount - i);
            file.readExactly(layout.dataOffset + i * chunkBytes, block.data(), n * chunkBytes);
            for (uint64_t c = 0; c < n; ++c)
                reader.summarize(block.data() + c * chunkBytes, summary.data() + 2 * (i + c));
            i += n;
            throttle.update(i, chunkCount);
        }
    } else {
        // Chunks too large to hold (many channels at very high rates): read
        // only the looked-at frames, so memory stays small whatever the
        // header claims.
        std::vector<uint8_t> frame(reader.frameSpan());
        for (uint64_t i = 0; i < chunkCount; ++i) {
            int high = 0;
            int low = 0;
            for (uint64_t k = 0; k < reader.framesPerChunk(); k += FrameStep) {
                file.readExactly(layout.dataOffset + i * chunkBytes + k * reader.frameBytes(),
                                 frame.data(), frame.size());
                int v = reader.value(frame.data());
                high = std::max(high, v);
                low = std::min(low, v);
            }
            summary[2 * i] = static_cast<uint8_t>(high);
            summary[2 * i + 1] = static_cast<uint8_t>(low);
            throttle.update(i + 1, chunkCount);
        }
    }
    throttle.finish();
    return summary;
}

// One row of the placeholder drawing: pairs first..last get (high, low).
struct NullStroke {
    int first;
    int last;
    int8_t high;
    int8_t low;
};

// The letters n, u, l, l drawn as bars in the first three seconds.
constexpr NullStroke NullStrokes[] = {
    {101, 108, 36, -36},  {109, 112, 32, 24},   {113, 124, 36, 28},   {125, 128, 36, -36},
    {129, 132, 32, -36},  {141, 144, 36, -32},  {145, 148, 36, -36},  {149, 160, -28, -36},
    {161, 164, -24, -32}, {165, 172, 36, -36},  {181, 188, 84, -36},  {197, 204, 84, -36},
};
constexpr size_t NullMinimumBytes = 999;
constexpr size_t NullPeriodBytes = 600;  // three seconds
constexpr size_t NullPatternFirst = 200;
constexpr size_t NullPatternLast = 410;

}  // namespace

std::string_view WaveSummaryResult::message() const
{
    switch (refusal) {
    case WavRefusal::NotRealWav:
        return WavNotRealMessage;
    case WavRefusal::NotPcm:
        return WavNotPcmMessage;
    case WavRefusal::None:
        break;
    }
    return {};
}

WaveSummaryResult summarizeWav(const std::string& wavFileName, const SummaryProgress& progress)
{
    ReadOnlyFile file(wavFileName);
    PcmLayout layout;
    WaveSummaryResult result;
    result.refusal = readHeader(file, layout);
    if (result.built())
        result.summary = summarizeData(file, layout, progress);
    return result;
}

std::optional<uint64_t> summaryBytesOfWav(const std::string& wavFileName)
{
    ReadOnlyFile file(wavFileName);
    PcmLayout layout;
    if (readHeader(file, layout) != WavRefusal::None)
        return std::nullopt;
    const uint64_t chunkBytes = ChunkReader(layout).chunkBytes();
    if (chunkBytes == 0)
        return std::nullopt;
    return 2 * (layout.dataLength / chunkBytes);
}

WaveSummaryResult CreateWS(const std::string& wavFileName, const std::string& wsFileName,
                           const SummaryProgress& progress)
{
    WaveSummaryResult result = summarizeWav(wavFileName, progress);
    if (!result.built())
        return result;
    try {
        writeFileAtomically(wsFileName, std::string_view(reinterpret_cast<const char*>(result.summary.data()),
                                                         result.summary.size()));
        return result;
    } catch (const FileError&) {
        // the WAV's folder takes no file: a disc, a read-only share, a folder that is not the user's
    }
    const std::string cached = waveSummaryCacheFile(wavFileName);
    if (!cached.empty() && !result.summary.empty()) {
        try {
            writeCacheFile(cached, WavSummaryMagic, result.summary);
        } catch (const FileError&) {
            // summarised again at the next opening; this one goes on with the summary it has
        }
    }
    return result;
}

std::string waveSummaryCacheFile(const std::string& wavFileName)
{
    return cacheFileBeside(wavFileName, ".wavws");
}

std::optional<ByteArray> readWaveSummaryCache(const std::string& wavFileName)
{
    const std::string cached = waveSummaryCacheFile(wavFileName);
    if (cached.empty())
        return std::nullopt;
    std::optional<ByteArray> summary = readCacheFile(cached, WavSummaryMagic);
    // an empty summary is never kept: no key works on a strip without sound
    if (summary && summary->empty())
        return std::nullopt;
    return summary;
}

StreamingSummary::StreamingSummary(const PcmFormat& format) : format_(format)
{
    if (ChunkReader(format).chunkBytes() == 0)
        throw WavFormatError(describeFormat(format));
}

void StreamingSummary::add(const uint8_t* bytes, size_t size, ByteArray& pairs)
{
    const ChunkReader reader(format_);
    const size_t chunkBytes = reader.chunkBytes();
    size_t at = 0;
    if (!partial_.empty()) {
        at = std::min(chunkBytes - partial_.size(), size);
        partial_.insert(partial_.end(), bytes, bytes + at);
        if (partial_.size() < chunkBytes)
            return;
        pairs.resize(pairs.size() + 2);
        reader.summarize(partial_.data(), pairs.data() + pairs.size() - 2);
        partial_.clear();
    }
    // whole chunks straight from the caller's bytes
    const size_t whole = (size - at) / chunkBytes;
    const size_t first = pairs.size();
    pairs.resize(first + 2 * whole);
    for (size_t c = 0; c < whole; ++c)
        reader.summarize(bytes + at + c * chunkBytes, pairs.data() + first + 2 * c);
    at += whole * chunkBytes;
    partial_.assign(bytes + at, bytes + size);
}

ByteArray readWaveSummaryFile(const std::string& wsFileName)
{
    std::string bytes = readWholeFile(wsFileName);
    return ByteArray(bytes.begin(), bytes.end());
}

void CreateNullWS(ByteArray& summary)
{
    if (summary.size() < NullMinimumBytes)
        return;
    std::fill(summary.begin() + NullPatternFirst, summary.begin() + NullPatternLast + 1, 0);
    for (const NullStroke& s : NullStrokes) {
        for (int p = s.first; p <= s.last; ++p) {
            summary[2 * p] = static_cast<uint8_t>(s.high);
            summary[2 * p + 1] = static_cast<uint8_t>(s.low);
        }
    }
    for (size_t p = NullPeriodBytes; p + NullPeriodBytes < summary.size(); p += NullPeriodBytes)
        std::copy(summary.begin() + NullPatternFirst, summary.begin() + NullPatternLast + 1,
                  summary.begin() + p + NullPatternFirst);
}

bool isWaveSummaryName(std::string_view path)
{
    if (path.size() < 3)
        return false;
    std::string_view tail = path.substr(path.size() - 3);
    return tail[0] == '.' && (tail[1] == 'w' || tail[1] == 'W') && (tail[2] == 's' || tail[2] == 'S');
}

}  // namespace vt
