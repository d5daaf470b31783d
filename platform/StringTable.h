#pragma once
// The program's string tables: user texts by numeric id, UTF-8. Italian is
// the program's own language; an English table holds the same ids with the
// same printf placeholders, chosen by the user's locale or by `--lang en`.
#include <string>
#include <string_view>
#include <vector>

namespace tamboro::platform {

enum class Language { Italian, English };

// Returns the text with `id` in the current language, or an empty string
// when the table has no such id. The tables are parsed once, on first use;
// thread-safe.
const std::string& LoadString(unsigned id);
// The same from one table in particular.
const std::string& LoadString(unsigned id, Language language);
// Every id of a table, ascending.
std::vector<unsigned> StringIds(Language language);

// The language LoadString(id) uses; Italian until set. Thread-safe.
void SetLanguage(Language language);
Language CurrentLanguage();

// The language the environment asks for, looked up the way gettext does:
// the first of LANGUAGE (a colon-separated list), LC_ALL, LC_MESSAGES and
// LANG that is set and not empty decides. English when that value names
// "en" (as in "en", "en_GB.UTF-8", "en:it"), Italian otherwise. `getenv`
// stands for the environment (null: the process's own).
Language LanguageFromEnvironment(const char* (*getenv)(const char*) = nullptr);
// Parses a `--lang` value: "en" or "english", "it" or "italian" (any case).
// False for anything else.
bool ParseLanguage(std::string_view text, Language* language);
// Chooses the language from the environment, then lets a `--lang VALUE` or
// `--lang=VALUE` in `args` override it, removing the option from `args`.
// False (and `args` unchanged) when the value is missing or unknown.
bool ApplyLanguageOption(std::vector<std::string>& args);

}  // namespace tamboro::platform
