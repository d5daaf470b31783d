#include "platform/StringTable.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

namespace tamboro::platform {
namespace {

// The printf conversions of a text, in order ("%%" included, as it must
// stay a literal in both languages).
std::vector<std::string> Placeholders(const std::string& text) {
    static const std::regex conversion(
        R"(%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|L|z|j|t)?[diouxXeEfFgGcsp%])");
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion);
         it != std::sregex_iterator(); ++it)
        found.push_back(it->str());
    return found;
}

TEST(StringTables, BothLanguagesHoldTheSameIdsAndPlaceholders) {
    const auto italian = StringIds(Language::Italian);
    const auto english = StringIds(Language::English);
    ASSERT_FALSE(italian.empty());
    EXPECT_EQ(italian, english);
    for (unsigned id : italian) {
        const std::string& it = LoadString(id, Language::Italian);
        const std::string& en = LoadString(id, Language::English);
        EXPECT_FALSE(en.empty()) << "id " << id;
        EXPECT_EQ(Placeholders(it), Placeholders(en)) << "id " << id << ": " << it << " / " << en;
    }
}

TEST(StringTables, CurrentLanguageChoosesTheTable) {
    const Language before = CurrentLanguage();
    SetLanguage(Language::English);
    EXPECT_EQ(LoadString(143), LoadString(143, Language::English));
    EXPECT_NE(LoadString(143), LoadString(143, Language::Italian));
    SetLanguage(Language::Italian);
    EXPECT_EQ(LoadString(143), "Vuoi terminare l'applicazione?");
    SetLanguage(before);
}

struct EnvCase {
    const char* name;
    std::map<std::string, std::string> env;
    Language expected;
};

const std::map<std::string, std::string>* g_env = nullptr;
const char* FakeGetenv(const char* name) {
    auto it = g_env->find(name);
    return it == g_env->end() ? nullptr : it->second.c_str();
}

class LanguageFromEnvironmentTest : public ::testing::TestWithParam<EnvCase> {};

TEST_P(LanguageFromEnvironmentTest, FirstSetVariableDecides) {
    g_env = &GetParam().env;
    EXPECT_EQ(LanguageFromEnvironment(&FakeGetenv), GetParam().expected);
    g_env = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageFromEnvironmentTest,
    ::testing::Values(EnvCase{"NothingSetIsItalian", {}, Language::Italian},
                      EnvCase{"LangEnglish", {{"LANG", "en_GB.UTF-8"}}, Language::English},
                      EnvCase{"LangItalian", {{"LANG", "it_IT.UTF-8"}}, Language::Italian},
                      EnvCase{"LanguageListFirstEntry",
                              {{"LANGUAGE", "en:it"}, {"LANG", "it_IT"}},
                              Language::English},
                      EnvCase{"LanguageOverridesLcAll",
                              {{"LANGUAGE", "it"}, {"LC_ALL", "en_US"}},
                              Language::Italian},
                      EnvCase{"EmptyLanguageIsSkipped",
                              {{"LANGUAGE", ""}, {"LC_ALL", "en_US.UTF-8"}},
                              Language::English},
                      EnvCase{"LcAllBeforeLcMessages",
                              {{"LC_ALL", "it_IT"}, {"LC_MESSAGES", "en_US"}},
                              Language::Italian},
                      EnvCase{"LcMessagesBeforeLang",
                              {{"LC_MESSAGES", "en_US"}, {"LANG", "it_IT"}},
                              Language::English},
                      EnvCase{"CLocaleIsItalian", {{"LANG", "C.UTF-8"}}, Language::Italian},
                      EnvCase{"EnglishMustBeTheWholeCode", {{"LANG", "eng"}}, Language::Italian}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LanguageOption, OverridesTheEnvironmentAndIsRemoved) {
    const Language before = CurrentLanguage();
    std::vector<std::string> args{"info", "--lang", "en", "song.tbo"};
    ASSERT_TRUE(ApplyLanguageOption(args));
    EXPECT_EQ(CurrentLanguage(), Language::English);
    EXPECT_EQ(args, (std::vector<std::string>{"info", "song.tbo"}));

    args = {"--lang=it", "x"};
    ASSERT_TRUE(ApplyLanguageOption(args));
    EXPECT_EQ(CurrentLanguage(), Language::Italian);
    EXPECT_EQ(args, (std::vector<std::string>{"x"}));

    args = {"x", "--lang", "fr"};
    EXPECT_FALSE(ApplyLanguageOption(args));
    EXPECT_EQ(args.size(), 3u);
    args = {"x", "--lang"};
    EXPECT_FALSE(ApplyLanguageOption(args));
    SetLanguage(before);
}

}  // namespace
}  // namespace tamboro::platform
