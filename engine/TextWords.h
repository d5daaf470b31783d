#pragma once
// Small helpers of the engine's line-based text formats (mix event lists,
// performance scripts): a line's words and whole numbers.
#include <charconv>
#include <string_view>
#include <vector>

namespace tamboro::engine {

// The words of a line, split at spaces and tabs.
inline std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > i) words.push_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

// A whole number that is the whole word.
template <typename T>
bool ParseWholeNumber(std::string_view word, T& out) {
    auto [ptr, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
    return ec == std::errc() && ptr == word.data() + word.size();
}

}  // namespace tamboro::engine
