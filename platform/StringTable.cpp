#include "platform/StringTable.h"

#include <charconv>
#include <string_view>
#include <unordered_map>

#include "platform/Resources.h"

namespace tamboro::platform {
namespace {

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::unordered_map<unsigned, std::string> Parse() {
    std::unordered_map<unsigned, std::string> table;
    auto bytes = FindResource("STRINGS", "TEXT");
    std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    while (!all.empty()) {
        const std::size_t end = all.find('\n');
        std::string_view line = all.substr(0, end);
        all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        unsigned id = 0;
        auto [ptr, ec] = std::from_chars(line.data(), line.data() + tab, id);
        if (ec != std::errc() || ptr != line.data() + tab) continue;
        table[id] = Unescape(line.substr(tab + 1));
    }
    return table;
}

}  // namespace

const std::string& LoadString(unsigned id) {
    static const std::unordered_map<unsigned, std::string> table = Parse();
    static const std::string empty;
    auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

}  // namespace tamboro::platform
