// Event lists from files and text: parsing never fails unsafely, and what
// parses formats back to what parses the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/MixEvents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamboro::engine;
    auto binary = ParseEvents({data, size});
    if (binary) {
        EventList list(binary->begin(), binary->end());
        if (SerializeEvents(list) != std::vector<std::uint8_t>(data, data + size)) std::abort();
    }
    std::string error;
    auto text = ParseEventText({reinterpret_cast<const char*>(data), size}, &error);
    if (text) {
        std::string again;
        for (const auto& e : *text)
            again += FormatEventText(e) + "\n";
        auto reparsed = ParseEventText(again, &error);
        if (!reparsed || *reparsed != *text) std::abort();
    }
    return 0;
}
