// Requests a later start sends to the running program: parsing never fails
// unsafely, and what parses formats back to the same line.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/core/InstanceProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tamboro::app;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto request = ParseRequest(line);
    if (request) {
        if (request->kind == InstanceRequest::Kind::Open &&
            (request->path.empty() || request->path.front() != '/'))
            std::abort();
        const auto again = FormatRequest(*request);
        if (again) {
            const auto reparsed =
                ParseRequest(std::string_view(*again).substr(0, again->size() - 1));
            if (!reparsed || *reparsed != *request) std::abort();
        }
    }
    return 0;
}
