#include "platform/DebugLog.h"

#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tamboro::platform {

bool DebugLogEnabled() {
    static const bool enabled = std::getenv("TAMBORO_DEBUG") != nullptr;
    return enabled;
}

void DebugLog(const char* format, ...) {
    if (!DebugLogEnabled()) return;
    char buffer[256];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (n >= static_cast<int>(sizeof buffer)) n = sizeof buffer - 1;
    // One write call keeps lines from different threads whole.
    [[maybe_unused]] ssize_t w = ::write(STDERR_FILENO, buffer, static_cast<std::size_t>(n));
}

}  // namespace tamboro::platform
