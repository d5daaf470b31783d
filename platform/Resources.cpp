#include "platform/Resources.h"

#include <strings.h>
#include <mutex>
#include <vector>

// Defined by the generated source of the resources/ folder.
const tamboro::platform::ResourceEntry* TamboroBuiltinResources(std::size_t* count);

namespace tamboro::platform {
namespace {

std::mutex g_mutex;
std::vector<ResourceTableFn>& Tables() {
    static std::vector<ResourceTableFn> tables;
    return tables;
}

bool EqualNoCase(std::string_view a, const char* b) {
    const std::size_t n = std::char_traits<char>::length(b);
    return a.size() == n && ::strncasecmp(a.data(), b, n) == 0;
}

std::span<const unsigned char> Search(ResourceTableFn fn, std::string_view name,
                                      std::string_view type) {
    std::size_t count = 0;
    const ResourceEntry* table = fn(&count);
    for (std::size_t i = 0; i < count; ++i) {
        if (table[i].data != nullptr && EqualNoCase(name, table[i].name) &&
            EqualNoCase(type, table[i].type)) {
            return {table[i].data, table[i].size};
        }
    }
    return {};
}

}  // namespace

std::span<const unsigned char> FindResource(std::string_view name, std::string_view type) {
    {
        std::lock_guard lock(g_mutex);
        const auto& tables = Tables();
        for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
            auto found = Search(*it, name, type);
            if (found.data() != nullptr) return found;
        }
    }
    return Search(&TamboroBuiltinResources, name, type);
}

void RegisterResourceTable(ResourceTableFn table) {
    std::lock_guard lock(g_mutex);
    Tables().push_back(table);
}

}  // namespace tamboro::platform
