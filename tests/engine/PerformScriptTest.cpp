#include <gtest/gtest.h>

#include "engine/PerformScript.h"

namespace tamboro::engine {
namespace {

TEST(PerformScript, EveryActionParsesWithItsArguments) {
    const auto actions = ParsePerformScript(
        "0 record\n"
        "10 on 0   # comment\n"
        "\n"
        "20 off 19\r\n"
        "30 on-next 3\n30 off-next 4\n40 cancel 5\n"
        "50 volume 1 -2000\n60 pan 2 10000\n70 master -10000\n"
        "80 play\n90 play 1500\n"
        "100 hold-volume 6 -1\n110 hold-pan 7 -10000\n120 hold-master 0\n"
        "130 release 6\n140 release master\n150 stop\n160 end\n",
        nullptr);
    ASSERT_TRUE(actions);
    ASSERT_EQ(actions->size(), 18u);
    using A = PerformAction;
    const A expected[] = {{0, A::kRecord, 0, 0, 1},          {10, A::kOn, 0, 0, 2},
                          {20, A::kOff, 19, 0, 4},           {30, A::kOnNext, 3, 0, 5},
                          {30, A::kOffNext, 4, 0, 6},        {40, A::kCancel, 5, 0, 7},
                          {50, A::kVolume, 1, -2000, 8},     {60, A::kPan, 2, 10000, 9},
                          {70, A::kMaster, 0, -10000, 10},   {80, A::kPlay, 0, 0, 11},
                          {90, A::kPlay, 0, 1500, 12},       {100, A::kHoldVolume, 6, -1, 13},
                          {110, A::kHoldPan, 7, -10000, 14}, {120, A::kHoldMaster, 0, 0, 15},
                          {130, A::kRelease, 6, 0, 16},      {140, A::kReleaseMaster, 0, 0, 17},
                          {150, A::kStop, 0, 0, 18},         {160, A::kEnd, 0, 0, 19}};
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ((*actions)[i], expected[i]) << i;
}

TEST(PerformScript, FaultsNameTheirLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"x on 1\n", "line 1: bad time"},
        {"0 on 1\n\n5 jump 2\n", "line 3: unknown action jump"},
        {"0 on 20\n", "line 1: channel must be 0 to 19"},
        {"0 on -1\n", "line 1: channel must be 0 to 19"},
        {"0 volume 1 1\n", "line 1: value out of range"},
        {"0 pan 1 10001\n", "line 1: value out of range"},
        {"0 volume 1\n", "line 1: value missing"},
        {"0 stop now\n", "line 1: too many words"},
        {"10 on 1\n5 off 1\n", "line 2: time goes back"},
        {"7\n", "line 1: no action"},
        {"0 release\n", "line 1: channel must be 0 to 19"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParsePerformScript(c.text, &error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
    }
}

}  // namespace
}  // namespace tamboro::engine
