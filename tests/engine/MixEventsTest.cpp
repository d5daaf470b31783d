#include "engine/MixEvents.h"

#include <gtest/gtest.h>

namespace tamboro::engine {
namespace {

TEST(MixEvents, RecordBytesAreFiveLittleEndianWords) {
    EventList list;
    list.push_back({0x01020304, kVolume, 3, static_cast<std::uint32_t>(-500), 0});
    list.push_back({7, kChannelOn, 19, 0, 0});
    const auto bytes = SerializeEvents(list);
    ASSERT_EQ(bytes.size(), 40u);
    EXPECT_EQ(bytes[0], 0x04);
    EXPECT_EQ(bytes[3], 0x01);
    EXPECT_EQ(bytes[4], kVolume);
    EXPECT_EQ(bytes[8], 3);
    EXPECT_EQ(bytes[12], 0x0C);  // -500 = 0xFFFFFE0C
    EXPECT_EQ(bytes[15], 0xFF);
    auto back = ParseEvents(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, std::vector<MixEvent>(list.begin(), list.end()));
}

TEST(MixEvents, RefusesShortRecordsBadKindsAndChannels) {
    EventList list;
    list.push_back({1, kPan, 2, 100, 0});
    auto bytes = SerializeEvents(list);
    EXPECT_FALSE(ParseEvents(std::span(bytes).first(19)));
    EXPECT_TRUE(ParseEvents(std::span(bytes).first(0)));  // no events is fine
    for (std::uint32_t kind : {0u, 3u, 31u, 32u}) {
        bytes[4] = static_cast<std::uint8_t>(kind);
        EXPECT_FALSE(ParseEvents(bytes)) << kind;
    }
    bytes[4] = kPan;
    bytes[8] = 20;
    EXPECT_FALSE(ParseEvents(bytes));
}

TEST(MixEvents, TextFormRoundTripsAndNamesTheBadLine) {
    const std::string text =
        "# a mix\n0 master 0 -300\n0 volume 2 -1000\r\n\n  500\ton 2 0\n"
        "4000 pan 2 2500\n8000 off 2 0\n";
    std::string error;
    auto events = ParseEventText(text, &error);
    ASSERT_TRUE(events) << error;
    ASSERT_EQ(events->size(), 5u);
    EXPECT_EQ((*events)[0], (MixEvent{0, kMasterVolume, 0, static_cast<std::uint32_t>(-300), 0}));
    EXPECT_EQ((*events)[2], (MixEvent{500, kChannelOn, 2, 0, 0}));
    EXPECT_EQ(FormatEventText((*events)[1]), "0 volume 2 -1000");

    const char* bad[] = {"0 on 20 0",  "0 loud 1 0", "x on 1 0",      "0 on 1",
                         "0 on 1 0 9", "-5 on 1 0",  "0 volume 1 1e3"};
    for (const char* line : bad) {
        error.clear();
        EXPECT_FALSE(ParseEventText(std::string("0 on 1 0\n") + line, &error)) << line;
        EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    }
}

}  // namespace
}  // namespace tamboro::engine
