#include <gtest/gtest.h>

#include "audio/wave/Levels.h"
#include "console/logic/BeatIndicator.h"
#include "console/logic/Scale.h"
#include "console/logic/TextDisplay.h"
#include "platform/StringTable.h"

namespace tamboro::console {
namespace {

std::vector<std::string> Texts(const std::vector<TextItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items)
        out.push_back(i.text);
    return out;
}

TEST(TextPanel, CurrentChannelShowsNameVolumeAndBalance) {
    TextPanelState s;
    s.channel = 0;
    s.channelEmpty = false;
    s.channelName = "kick loop long name";
    s.volume = 0;
    s.pan = 0;
    const auto items = ComposeTextPanel(s);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0], (TextItem{244, 56, "1. KICK LOOP LONG N"}));
    EXPECT_EQ(items[1], (TextItem{244, 74, "Volume:"}));
    EXPECT_EQ(items[2], (TextItem{324, 74, "100"}));
    EXPECT_EQ(items[3], (TextItem{244, 92, "Bal:"}));
    EXPECT_EQ(items[4], (TextItem{324, 92, "0"}));
}

TEST(TextPanel, EmptyChannelAndLevels) {
    TextPanelState s;
    s.channel = 12;
    s.channelEmpty = true;
    s.channelName = "left over";
    s.volume = -1000;
    s.pan = audio::BalanceToPan(-40);
    EXPECT_EQ(Texts(ComposeTextPanel(s)),
              (std::vector<std::string>{"13. VUOTO", "Volume:", "50", "Bal:", "-40"}));
}

TEST(TextPanel, RecordingBlinksTheStatusAndKeepsTheTimeOnceStarted) {
    TextPanelState s;
    s.mix = TextPanelState::Mix::Recording;
    s.blinkCounter = 1;
    s.mixTimeMs = 0;
    EXPECT_EQ(Texts(ComposeTextPanel(s)),
              (std::vector<std::string>{platform::LoadString(155), "0.00 s"}));
    s.blinkCounter = 2;
    EXPECT_TRUE(ComposeTextPanel(s).empty());
    s.mixTimeMs = 1234;
    EXPECT_EQ(Texts(ComposeTextPanel(s)), (std::vector<std::string>{"1.23 s"}));
    EXPECT_EQ(ComposeTextPanel(s)[0].y, 74);
    s.blinkCounter = 3;
    EXPECT_EQ(Texts(ComposeTextPanel(s)),
              (std::vector<std::string>{"Stò registrando.....", "1.23 s"}));
}

TEST(TextPanel, PlaybackUsesItsOwnStatus) {
    TextPanelState s;
    s.mix = TextPanelState::Mix::PlayingBack;
    s.blinkCounter = 5;
    s.mixTimeMs = 65000;
    EXPECT_EQ(Texts(ComposeTextPanel(s)),
              (std::vector<std::string>{"Stò suonando.....", "65.00 s"}));
}

TEST(TextPanel, NamesAreUpperCasedAndCutByCharacters) {
    EXPECT_EQ(PanelName("città è più"), "CITTÀ È PIÙ");
    // Sixteen characters, not sixteen bytes.
    EXPECT_EQ(PanelName("àààààààààààààààààààà"), "ÀÀÀÀÀÀÀÀÀÀÀÀÀÀÀÀ");
    EXPECT_EQ(PanelName("a÷b"), "A÷B");
    EXPECT_EQ(PanelName(""), "");
    // A sequence cut short at the end stays as it is and ends the name.
    EXPECT_EQ(PanelName("ab\xC3"), "AB\xC3");
}

TEST(Tooltips, NameOrEmpty) {
    EXPECT_EQ(TooltipText(true, "anything"), "Vuoto");
    EXPECT_EQ(TooltipText(false, "Basso acido"), "Basso acido");
}

TEST(Scale, AutomaticFillsASensiblePartOfTheScreen) {
    EXPECT_EQ(AutomaticScale(1920, 1080, 1.0), 2);
    EXPECT_EQ(AutomaticScale(3840, 2160, 1.0), 3);
    EXPECT_EQ(AutomaticScale(1920, 1080, 2.0), 3);  // a 4K screen at 200 %
    EXPECT_EQ(AutomaticScale(1366, 768, 1.0), 1);
    EXPECT_EQ(AutomaticScale(2560, 1440, 1.0), 2);
    EXPECT_EQ(AutomaticScale(1707, 960, 1.5), 2);  // 2560 x 1440 device pixels
    EXPECT_EQ(AutomaticScale(640, 480, 1.0), 1);
    EXPECT_EQ(AutomaticScale(0, 0, 0.0), 1);
}

TEST(Scale, SettingWinsWhenItIsAFactor) {
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(ScaleFromSetting(k, 640, 480, 1.0), k);
    EXPECT_EQ(ScaleFromSetting(0, 3840, 2160, 1.0), 3);
    EXPECT_EQ(ScaleFromSetting(7, 1920, 1080, 1.0), 2);
    EXPECT_EQ(ScaleFromSetting(-1, 1920, 1080, 1.0), 2);
}

TEST(Scale, PointerMapsBackOntoWholeConsolePixels) {
    for (int k = 1; k <= 3; ++k) {
        for (double dpr : {1.0, 1.25, 1.5, 2.0}) {
            for (int x = 0; x < 640; x += 7) {
                // The first and the last device pixel of console column x.
                const double first = x * k / dpr;
                const double last = (x * k + k - 1) / dpr;
                EXPECT_EQ(ConsoleCoordinate(first, k, dpr), x) << k << " " << dpr;
                EXPECT_EQ(ConsoleCoordinate(last, k, dpr), x) << k << " " << dpr;
            }
            EXPECT_GE(LogicalExtent(640, k, dpr) * dpr, 640.0 * k - 1e-6);
            EXPECT_LT((LogicalExtent(640, k, dpr) - 1) * dpr, 640.0 * k);
        }
    }
}

TEST(Beat, QuartersOfTheBar) {
    const std::uint32_t bar = 88200;  // 120 BPM at 44100 Hz
    EXPECT_EQ(BeatOf(0, bar), 0);
    EXPECT_EQ(BeatOf(22049, bar), 0);
    EXPECT_EQ(BeatOf(22050, bar), 1);
    EXPECT_EQ(BeatOf(88199, bar), 3);
    EXPECT_EQ(BeatOf(88200, bar), 0);
    EXPECT_EQ(BeatOf(7 * 88200ull + 44100, bar), 2);
    EXPECT_EQ(BeatOf(1000, 0), -1);
}

}  // namespace
}  // namespace tamboro::console
