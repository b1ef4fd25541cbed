// The WAV header walk and the summary on arbitrary bytes. An input that
// starts with "R" is taken as a whole file; any other input describes a WAV
// to build (format fields from its first bytes, its rest as samples), so the
// summary itself is reached from the first runs on. The work per input is
// bounded by the input's own length, since the data length is clipped to the
// file.
#include "core/FileIO.h"
#include "analysis/WaveSummary.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t MaxInput = 1 << 20;
constexpr size_t FieldBytes = 8;

// One scratch file per fuzzing process, removed when it exits.
struct ScratchFile {
    std::string path =
        (std::filesystem::temp_directory_path() / ("fuzz_wav-" + std::to_string(::getpid()) + ".wav")).string();
    ~ScratchFile() { ::unlink(path.c_str()); }
};

void putLe(std::string& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i) & 0xFF);
}

// fields: channels, rate (3 bytes), bits, format choice, size choice, extra chunk
std::string buildWav(const uint8_t* f, const uint8_t* samples, size_t count)
{
    uint16_t channels = f[0] % 9;
    uint32_t rate = uint32_t(f[1] | f[2] << 8 | f[3] << 16);
    uint16_t bits = f[4] % 41;
    uint16_t tag = f[5] % 4 == 0 ? 3 : (f[5] % 4 == 1 ? 0xFFFE : 1);
    uint32_t sizes[] = {uint32_t(count), 0, 0xFFFFFFFF, uint32_t(count) * 2 + 1};
    uint32_t dataSize = sizes[f[6] % 4];

    std::string fmt;
    putLe(fmt, tag, 2);
    putLe(fmt, channels, 2);
    putLe(fmt, rate, 4);
    putLe(fmt, rate * channels * (bits / 8), 4);
    putLe(fmt, channels * (bits / 8), 2);
    putLe(fmt, bits, 2);
    if (tag == 0xFFFE) {
        putLe(fmt, 22, 2);
        putLe(fmt, bits, 2);
        putLe(fmt, 3, 4);
        fmt += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    }

    std::string wav = "RIFF";
    putLe(wav, dataSize, 4);
    wav += "WAVE";
    if (f[7] & 1)
        wav += std::string("LIST\x03\x00\x00\x00" "abc" "\x00", 12);
    wav += "fmt ";
    putLe(wav, uint32_t(fmt.size()), 4);
    wav += fmt;
    wav += "data";
    putLe(wav, dataSize, 4);
    wav.append(reinterpret_cast<const char*>(samples), count);
    return wav;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > MaxInput)
        return 0;
    std::string bytes;
    if (size > 0 && data[0] == 'R')
        bytes.assign(reinterpret_cast<const char*>(data), size);
    else if (size >= FieldBytes)
        bytes = buildWav(data, data + FieldBytes, size - FieldBytes);
    else
        return 0;

    static const ScratchFile scratch;
    std::FILE* f = std::fopen(scratch.path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    try {
        vt::WaveSummaryResult r = vt::summarizeWav(scratch.path, [](int percent) {
            if (percent < 0 || percent > 100)
                __builtin_trap();
        });
        if (!r.built()) {
            if (!r.summary.empty() || r.message().empty())
                __builtin_trap();
            return 0;
        }
        // every pair is (high >= 0, low <= 0), and never more pairs than bytes
        if (r.summary.size() % 2 != 0 || r.summary.size() / 2 > bytes.size())
            __builtin_trap();
        for (size_t i = 0; i < r.summary.size(); i += 2)
            if (int8_t(r.summary[i]) < 0 || int8_t(r.summary[i + 1]) > 0)
                __builtin_trap();
    } catch (const vt::WavFormatError&) {
    } catch (const vt::FileError&) {
    }
    return 0;
}
