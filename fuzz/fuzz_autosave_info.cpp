// The autosave info file read at start: parsing never fails unsafely, and a
// path that parses formats back to a text that parses to the same path.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/core/AutosaveFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamboro::app;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto path = ParseAutosaveInfo(text);
    if (path) {
        const auto again = ParseAutosaveInfo(FormatAutosaveInfo(*path));
        if (!again || *again != *path) std::abort();
    }
    return 0;
}
