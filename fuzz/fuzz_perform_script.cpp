// Performance scripts: parsing never fails unsafely, and what parses
// formats back to a script that parses the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/PerformScript.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamboro::engine;
    std::string error;
    const auto actions = ParsePerformScript({reinterpret_cast<const char*>(data), size}, &error);
    if (!actions) {
        if (error.rfind("line ", 0) != 0) std::abort();
        return 0;
    }
    std::string again;
    for (const PerformAction& a : *actions)
        again += FormatPerformAction(a) + "\n";
    auto reparsed = ParsePerformScript(again, &error);
    if (!reparsed || reparsed->size() != actions->size()) std::abort();
    for (std::size_t i = 0; i < actions->size(); ++i) {
        PerformAction a = (*actions)[i];
        a.line = (*reparsed)[i].line;
        if (!(a == (*reparsed)[i])) std::abort();
    }
    return 0;
}
