#pragma once
// Single-byte texts in files are Windows-1252; inside the program all text
// is UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace tamboro::base {

// Whether `text` is well-formed UTF-8 (no overlongs, surrogates or values
// past U+10FFFF).
bool IsValidUtf8(std::string_view text);

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same value.
std::string Cp1252ToUtf8(std::string_view bytes);

// UTF-8 to at most `maxChars` Windows-1252 bytes; characters the code page
// lacks become '?'. Invalid UTF-8 bytes are taken as Windows-1252 bytes, so
// nothing is lost that came from a single-byte file.
std::string Utf8ToCp1252(std::string_view text, std::size_t maxChars = std::string::npos);

// Texts read from files in the wild: UTF-8 when they are valid UTF-8, else
// Windows-1252.
std::string FileTextToUtf8(std::string_view bytes);

}  // namespace tamboro::base
