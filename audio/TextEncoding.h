#pragma once
// Texts found in sound files are single-byte text in the wild: valid UTF-8
// is kept as it is, anything else is read as Windows-1252. The program
// keeps every text as UTF-8.
#include <string>
#include <string_view>

namespace tamboro::audio {

bool IsValidUtf8(std::string_view bytes);
// The text of `bytes` as UTF-8 (see above).
std::string FileTextToUtf8(std::string_view bytes);

}  // namespace tamboro::audio
