#include "base/Cp1252.h"

#include <gtest/gtest.h>

namespace tamboro::base {
namespace {

TEST(Cp1252, EveryByteSurvivesTheRoundTripThroughUtf8) {
    for (int b = 1; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = Cp1252ToUtf8(one);
        EXPECT_TRUE(IsValidUtf8(utf8)) << b;
        EXPECT_EQ(Utf8ToCp1252(utf8), one) << b;
    }
}

TEST(Cp1252, KnownCharacters) {
    EXPECT_EQ(Cp1252ToUtf8("caff\xE8"), "caffè");
    EXPECT_EQ(Cp1252ToUtf8("\x80 \x93x\x94"), "€ “x”");
    EXPECT_EQ(Utf8ToCp1252("Stò €"), "St\xF2 \x80");
    EXPECT_EQ(Utf8ToCp1252("日本"), "??");
}

TEST(Cp1252, CutCountsCharactersNotUtf8Bytes) {
    std::string name;
    for (int i = 0; i < 60; ++i)
        name += "è";  // two UTF-8 bytes each
    const std::string cut = Utf8ToCp1252(name, 49);
    EXPECT_EQ(cut.size(), 49u);
    EXPECT_EQ(Cp1252ToUtf8(cut).size(), 98u);  // 49 whole characters back
}

TEST(Cp1252, FileTextsPreferUtf8) {
    EXPECT_EQ(FileTextToUtf8("già"), "già");        // valid UTF-8 kept
    EXPECT_EQ(FileTextToUtf8("gi\xE0"), "già");     // single byte: Windows-1252
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x8E\xB5"));
}

}  // namespace
}  // namespace tamboro::base
