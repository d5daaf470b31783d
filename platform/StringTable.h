#pragma once
// The program's string table: user texts by numeric id, UTF-8.
#include <string>

namespace tamboro::platform {

// Returns the text with `id` from the "STRINGS"/"TEXT" resource, or an empty
// string when the table has no such id. The table is parsed once, on first
// use; thread-safe.
const std::string& LoadString(unsigned id);

}  // namespace tamboro::platform
