// Reading and writing subtitle text files in whatever encoding they use.
// A file's encoding is decided when it is read and kept (core/ProjectState.h,
// FileEncoding) so that a timeline is written back the way it came.
//
// The promise: a file that is read loses no character. Every decoding is
// strict, and is taken only when writing the decoded text back in the same
// encoding gives the same bytes; a decoding that would need a replacement
// character is no decoding, and a file no encoding fits is refused.
#pragma once

#include "core/ProjectState.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vt {

// A text file as its readers see it: its lines, without their line ends,
// and the encoding it was found in.
struct TextFile {
    std::vector<std::u16string> lines;
    FileEncoding encoding;
    // False when the bytes are text in no encoding the reader knows (a
    // binary file, NUL bytes in 8-bit text, a broken UTF-16 or UTF-32 file):
    // then lines is empty and the file must not be taken for a timeline.
    bool decodable = true;
};

// The encoding the bytes are read in, tried in this order:
//   1. a UTF-32 or UTF-16 byte-order mark: that encoding, or nothing;
//   2. a UTF-8 mark: UTF-8 if the rest is; else the rest is taken as the
//      8-bit encoding it is (GB18030, then Windows-1252) and the mark is
//      kept (bom = true) to be written back as it was;
//   3. bytes holding NUL: UTF-32, then UTF-16 without a mark, told by what
//      they are (every unit a valid code point, no NUL character, surrogates
//      in pairs; of the two byte orders, the one with more units that are
//      line ends, digits, spaces or time-line punctuation, and at least one),
//      or nothing;
//   4. pure ASCII: Undecided (the locale's code set when written);
//   5. UTF-8, GB18030 (as Gbk), Windows-1252, each strict.
// Nothing when no encoding reads the bytes back exactly.
std::optional<FileEncoding> detectEncoding(std::string_view bytes);

// The whole text in the given encoding, without its byte-order mark; nothing
// when a byte sequence is invalid there (or a code point past U+10FFFF or a
// surrogate in UTF-32, a unit cut off at the end). A lone surrogate in
// UTF-16 is kept as it is: it is written back unchanged. GBK is read as
// GB18030, its superset.
std::optional<std::u16string> decodeText(std::string_view bytes, FileEncoding encoding);

// A line ends at CR LF, at LF or at a lone CR, in any mixture; text after the
// last line end is one more line, an empty remainder is none.
std::vector<std::u16string> splitLines(std::u16string_view text);

// detectEncoding + decodeText + splitLines.
TextFile decodeTextFile(std::string_view bytes);

// Reads and decodes a file; throws FileError (core/FileIO.h).
TextFile readTextFile(const std::string& path);

// The text in the given encoding, with a byte-order mark if encoding.bom (for
// the 8-bit encodings that is the UTF-8 mark, as it was read); an empty
// text gives no bytes at all. Undecided means the locale's code set. GBK is
// written as GB18030, which holds every character.
// What is written always reads back (detectEncoding, decodeText) as the
// text: where the bytes in the asked encoding would not (a Chinese line
// typed into a Windows-1252 file, a Western text that starts with the bytes
// of a UTF-16 mark, a GBK text that reads as UTF-8 once its blank lines are
// gone), the whole text is written as UTF-8 with its mark. Only a lone
// surrogate, which no 8-bit encoding holds, becomes U+FFFD there.
std::string encodeText(std::u16string_view text, FileEncoding encoding);

std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

// The encoding for a code-set name as nl_langinfo(CODESET) gives it: the GB
// code sets are GBK, everything else is written as UTF-8.
FileEncoding encodingOfCodeSet(std::string_view codeSet);

// encodingOfCodeSet of the current locale's code set.
FileEncoding localeEncoding();

// The encoding a timeline is saved in: the SRT file's own if reading it
// decided one, else the text file's if the texts come from one (textFile not
// null) and it decided, else Undecided. Undecided is kept, not replaced by
// the locale's: it is the fact "this timeline is pure ASCII", which lets the
// merge follow its second file; writing it gives the locale's code set.
FileEncoding timelineEncoding(FileEncoding srtFile, const FileEncoding* textFile);

}  // namespace vt
