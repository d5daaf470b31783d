#pragma once
// Resources embedded into the binary at build time (see tools/embed.cpp).
#include <cstddef>
#include <span>
#include <string_view>

namespace tamboro::platform {

// One embedded file. `data` stays valid for the whole run and is followed by
// a zero byte that `size` does not count.
struct ResourceEntry {
    const char* name;
    const char* type;
    const unsigned char* data;
    std::size_t size;
};

using ResourceTableFn = const ResourceEntry* (*)(std::size_t* count);

// Finds a resource by name and type (both compared without regard to case,
// as resource names are upper-case words by convention). Searches tables
// registered with RegisterResourceTable first, newest first, then the
// program's built-in table. Returns an empty span when there is none.
// Thread-safe.
std::span<const unsigned char> FindResource(std::string_view name, std::string_view type);

// Adds a table (for example a test's own resources). Thread-safe.
void RegisterResourceTable(ResourceTableFn table);

}  // namespace tamboro::platform
