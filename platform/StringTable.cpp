#include "platform/StringTable.h"

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <unordered_map>

#include "platform/Resources.h"

namespace tamboro::platform {
namespace {

using Table = std::unordered_map<unsigned, std::string>;

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

Table Parse(const char* resourceName) {
    Table table;
    auto bytes = FindResource(resourceName, "TEXT");
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

const Table& TableOf(Language language) {
    static const Table italian = Parse("STRINGS");
    static const Table english = Parse("STRINGS_EN");
    return language == Language::English ? english : italian;
}

std::atomic<Language> g_language{Language::Italian};

bool NamesEnglish(std::string_view value) {
    // "en", "en_GB.UTF-8", "en@quot"; in a LANGUAGE list the first entry.
    const std::size_t end = value.find_first_of(":_.@");
    const std::string_view first = value.substr(0, end);
    return first == "en";
}

}  // namespace

const std::string& LoadString(unsigned id, Language language) {
    static const std::string empty;
    const Table& table = TableOf(language);
    auto it = table.find(id);
    return it == table.end() ? empty : it->second;
}

const std::string& LoadString(unsigned id) {
    return LoadString(id, g_language.load(std::memory_order_relaxed));
}

std::vector<unsigned> StringIds(Language language) {
    std::vector<unsigned> ids;
    for (const auto& [id, text] : TableOf(language))
        ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

void SetLanguage(Language language) {
    g_language.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage() {
    return g_language.load(std::memory_order_relaxed);
}

Language LanguageFromEnvironment(const char* (*getenv)(const char*)) {
    static constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* name : kVariables) {
        const char* value = getenv != nullptr ? getenv(name) : std::getenv(name);
        if (value != nullptr && *value != '\0')
            return NamesEnglish(value) ? Language::English : Language::Italian;
    }
    return Language::Italian;
}

bool ParseLanguage(std::string_view text, Language* language) {
    const auto is = [&](const char* word) {
        return text.size() == std::char_traits<char>::length(word) &&
               ::strncasecmp(text.data(), word, text.size()) == 0;
    };
    if (is("en") || is("english")) {
        *language = Language::English;
        return true;
    }
    if (is("it") || is("italian") || is("italiano")) {
        *language = Language::Italian;
        return true;
    }
    return false;
}

bool ApplyLanguageOption(std::vector<std::string>& args) {
    Language language = LanguageFromEnvironment();
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::size_t used = 0;
        std::string_view value;
        if (arg == "--lang") {
            if (i + 1 >= args.size()) return false;
            value = args[i + 1];
            used = 2;
        } else if (arg.starts_with("--lang=")) {
            value = arg.substr(7);
            used = 1;
        } else {
            continue;
        }
        if (!ParseLanguage(value, &language)) return false;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + used));
        break;
    }
    SetLanguage(language);
    return true;
}

}  // namespace tamboro::platform
