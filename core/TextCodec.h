// Reading and writing subtitle text files in whatever encoding they use.
// A file's encoding is decided when it is read and kept (core/ProjectState.h,
// FileEncoding) so that a timeline is written back the way it came.
#pragma once

#include "core/ProjectState.h"

#include <string>
#include <string_view>
#include <vector>

namespace vt {

// A text file as its readers see it: its lines, without their line ends,
// and the encoding it was found in.
struct TextFile {
    std::vector<std::u16string> lines;
    FileEncoding encoding;
    // False when the bytes are no text in any encoding the reader knows: NUL
    // bytes in what was taken for an 8-bit encoding (a binary file, or UTF-16
    // too far from ASCII to be recognised without its byte-order mark).
    bool decodable = true;
};

// A UTF-8, UTF-32 or UTF-16 byte-order mark decides; else the pattern of
// zero bytes of ASCII-heavy UTF-16 (one byte of most pairs zero, always the
// same one) decides UTF-16 without a mark; else bytes that are all ASCII
// decide nothing (Undecided); else valid UTF-8 is UTF-8; anything else is GBK.
FileEncoding detectEncoding(std::string_view bytes);

// False for NUL bytes in an 8-bit encoding (Undecided, UTF-8, GBK): no
// subtitle text holds them, so the file is not one.
bool isDecodable(std::string_view bytes, FileEncoding encoding);

// The whole text, without its byte-order mark. Invalid sequences (and code
// points past U+10FFFF or in the surrogate range in UTF-32) become U+FFFD;
// GBK is decoded as GB18030, its superset.
std::u16string decodeText(std::string_view bytes, FileEncoding encoding);

// A line ends at LF, and a CR just before the LF is dropped; text after the
// last LF is one more line, an empty remainder is none.
std::vector<std::u16string> splitLines(std::u16string_view text);

// detectEncoding + decodeText + splitLines.
TextFile decodeTextFile(std::string_view bytes);

// Reads and decodes a file; throws FileError (core/FileIO.h).
TextFile readTextFile(const std::string& path);

// The text in the given encoding, with a byte-order mark if encoding.bom;
// an empty text gives no bytes at all. Undecided means the locale's code set.
// A character the target cannot hold becomes the converter's replacement
// character: U+FFFD in UTF-8, '?' in GBK (written as GB18030, so in practice
// only a lone surrogate is replaced).
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
// null) and it decided, else the locale's.
FileEncoding timelineEncoding(FileEncoding srtFile, const FileEncoding* textFile);

}  // namespace vt
