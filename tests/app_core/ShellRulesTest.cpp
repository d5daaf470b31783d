// The desktop program's rules that need no display.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/core/Accelerators.h"
#include "app/core/ChannelCommands.h"
#include "app/core/CommandLine.h"
#include "app/core/DeviceSharing.h"
#include "app/core/Document.h"
#include "app/core/InstanceProtocol.h"
#include "app/core/Preferences.h"
#include "app/core/Progress.h"
#include "app/core/WindowFit.h"
#include "platform/StringTable.h"

namespace tamboro::app {
namespace {

// A store over a map, recording writes.
class MapStore final : public SettingsStore {
  public:
    std::map<std::string, std::string> values;
    int ReadInt(std::string_view s, std::string_view k, int fallback) override {
        auto it = values.find(std::string(s) + "/" + std::string(k));
        if (it == values.end()) return fallback;
        try {
            return std::stoi(it->second);
        } catch (...) {
            return fallback;
        }
    }
    std::string ReadString(std::string_view s, std::string_view k,
                           std::string_view fallback) override {
        auto it = values.find(std::string(s) + "/" + std::string(k));
        return it == values.end() ? std::string(fallback) : it->second;
    }
    void WriteInt(std::string_view s, std::string_view k, int v) override {
        values[std::string(s) + "/" + std::string(k)] = std::to_string(v);
    }
    void WriteString(std::string_view s, std::string_view k, std::string_view v) override {
        values[std::string(s) + "/" + std::string(k)] = std::string(v);
    }
};

TEST(Preferences, EmptyStoreGivesTheDocumentedDefaults) {
    MapStore store;
    const Preferences p = ReadPreferences(store);
    EXPECT_EQ(p.tooltip, 1);
    EXPECT_EQ(p.outputDevice, 0);
    EXPECT_EQ(p.outputFormat, 1);
    EXPECT_EQ(p.colorTheme, 0);
    EXPECT_EQ(p.monoSource, 1);
    EXPECT_EQ(p.softMixing, 0);
    EXPECT_EQ(p.levelMeter, 1);
    EXPECT_EQ(p.rclickDelayStart, 1);
    EXPECT_EQ(p.scale, 0);
    EXPECT_EQ(p.defaultSong, "");
    EXPECT_TRUE(ReadAutoPlay(store));
}

TEST(Preferences, WrittenValuesReadBackUnderTheirKeys) {
    MapStore store;
    Preferences p;
    p.tooltip = 0;
    p.outputDevice = 2;
    p.outputFormat = 0;
    p.colorTheme = 3;
    p.monoSource = 0;
    p.softMixing = 1;
    p.levelMeter = 0;
    p.rclickDelayStart = 0;
    p.scale = 2;
    p.defaultSong = "/songs/a.tbo";
    WritePreferences(store, p);
    EXPECT_EQ(store.values.at("PREFERENCES/COLORTHEME"), "3");
    EXPECT_EQ(store.values.at("PREFERENCES/RCLICKDELAYSTART"), "0");
    EXPECT_EQ(store.values.at("PREFERENCES/DEFAULTSONG"), "/songs/a.tbo");
    EXPECT_EQ(ReadPreferences(store), p);
}

TEST(Preferences, ThemeAndScaleOutsideTheirRangesFallBack) {
    MapStore store;
    store.values["PREFERENCES/COLORTHEME"] = "7";
    store.values["PREFERENCES/SCALE"] = "-3";
    const Preferences p = ReadPreferences(store);
    EXPECT_EQ(p.colorTheme, 0);
    EXPECT_EQ(p.scale, 0);
}

struct FormatCase {
    int setting;
    std::uint32_t rate;
    std::uint16_t bits;
};
class OutputFormatRule : public ::testing::TestWithParam<FormatCase> {};
TEST_P(OutputFormatRule, ValueGivesRateBitsAndStereo) {
    const auto f = OutputFormatFor(GetParam().setting);
    EXPECT_EQ(f.wFormatTag, audio::kFormatPcm);
    EXPECT_EQ(f.nSamplesPerSec, GetParam().rate);
    EXPECT_EQ(f.wBitsPerSample, GetParam().bits);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nBlockAlign, 2 * GetParam().bits / 8);
    EXPECT_EQ(f.nAvgBytesPerSec, GetParam().rate * f.nBlockAlign);
}
INSTANTIATE_TEST_SUITE_P(Settings, OutputFormatRule,
                         ::testing::Values(FormatCase{0, 22050, 8}, FormatCase{1, 22050, 16},
                                           FormatCase{2, 44100, 16}, FormatCase{5, 44100, 16},
                                           FormatCase{-1, 44100, 16}));

TEST(Notices, ShownUntilSwitchedOffUnderTheirDecimalId) {
    MapStore store;
    EXPECT_TRUE(NoticeWanted(store, 2000));
    SwitchNoticeOff(store, 2000);
    EXPECT_EQ(store.values.at("INFORMATION/2000"), "1");
    EXPECT_FALSE(NoticeWanted(store, 2000));
    EXPECT_TRUE(NoticeWanted(store, 2001));  // each notice on its own
}

// --- Accelerators ----------------------------------------------------------------------------

TEST(Accelerators, EveryChannelKeyByPlaceBothWays) {
    // US places of the keys, as XKB keycodes (evdev + 8).
    const std::uint32_t us[20] = {10, 11, 12, 13, 14, 24, 25, 26, 27, 28,
                                  38, 39, 40, 41, 42, 52, 53, 54, 55, 56};
    for (int ch = 0; ch < 20; ++ch) {
        EXPECT_EQ(ChannelOfScanCode(us[ch]), ch);
        EXPECT_EQ(ScanCodeOfChannel(ch), us[ch]);
        EXPECT_EQ(ChannelCommandForKey(us[ch], 0, 0), 32797 + ch);
        EXPECT_EQ(ChannelCommandForKey(us[ch], 0, kModShift), 32817 + ch);
    }
    EXPECT_EQ(ChannelOfScanCode(15), -1);  // 6
    EXPECT_EQ(ChannelOfScanCode(29), -1);  // Y
    EXPECT_EQ(ChannelOfScanCode(9), -1);   // Escape
    EXPECT_EQ(ChannelOfScanCode(57), -1);  // N
}

TEST(Accelerators, ShiftZIsTheInTimeCommandOfChannel15) {
    EXPECT_EQ(ChannelCommandForKey(52, 'Z', kModShift), 32832);
}

TEST(Accelerators, CtrlAltOrMetaNeverSwitchAChannel) {
    for (std::uint32_t mod : {kModControl, kModAlt, kModMeta, kModShift | kModControl})
        EXPECT_EQ(ChannelCommandForKey(24, 'Q', mod), 0) << mod;
}

TEST(Accelerators, WithoutAScanCodeTheUnshiftedKeyDecides) {
    EXPECT_EQ(ChannelCommandForKey(0, 'q', 0), 32797 + 5);
    EXPECT_EQ(ChannelCommandForKey(0, 'B', kModShift), 32817 + 19);
    EXPECT_EQ(ChannelCommandForKey(0, '!', kModShift), 32817 + 0);  // Shift+1 on a US layout
    EXPECT_EQ(ChannelCommandForKey(0, '%', kModShift), 32817 + 4);
    EXPECT_EQ(ChannelCommandForKey(0, 'Y', 0), 0);
}

// --- Channel commands --------------------------------------------------------------------------

TEST(ChannelCommands, EnablingFollowsLoopAndSound) {
    for (int cmd : {kCmdSaveLoop, kCmdRemoveLoop, kCmdRenameLoop, kCmdEffect}) {
        EXPECT_FALSE(ChannelCommandState(cmd, false, false, false).enabled) << cmd;
        EXPECT_TRUE(ChannelCommandState(cmd, true, false, false).enabled) << cmd;
        EXPECT_FALSE(ChannelCommandState(cmd, true, true, false).enabled) << cmd;
    }
    EXPECT_TRUE(ChannelCommandState(kCmdLoadLoop, false, false, false).enabled);
    EXPECT_TRUE(ChannelCommandState(kCmdLoadLoop, true, true, false).enabled);
    EXPECT_TRUE(ChannelCommandState(kCmdEffect, true, false, true).checked);
    EXPECT_FALSE(ChannelCommandState(kCmdEffect, true, false, false).checked);
    EXPECT_FALSE(ChannelCommandState(kCmdSaveLoop, true, false, true).checked);
    EXPECT_FALSE(ChannelCommandState(12345, true, false, false).enabled);
}

// --- Progress ----------------------------------------------------------------------------------

TEST(Progress, PercentArithmetic) {
    EXPECT_EQ(ProgressPercent(0, 0, 100), 0);
    EXPECT_EQ(ProgressPercent(37, 0, 100), 37);
    EXPECT_EQ(ProgressPercent(100, 0, 100), 100);
    EXPECT_EQ(ProgressPercent(150, 0, 100), 50);  // modulo 100 unless exactly 100
    EXPECT_EQ(ProgressPercent(200, 0, 100), 0);
    EXPECT_EQ(ProgressPercent(15, 10, 20), 50);
    EXPECT_EQ(ProgressPercent(5, 5, 5), 0);  // no range: no division
    EXPECT_EQ(ProgressPercent(2'000'000'000LL, 0, 2'000'000'000LL), 100);
    EXPECT_EQ(ProgressPercentText(100), "100%");
    EXPECT_EQ(ProgressPercentText(50), "50%");
}

TEST(Progress, PhaseTextsCountChannelsFromOne) {
    const auto before = platform::CurrentLanguage();
    platform::SetLanguage(platform::Language::Italian);
    EXPECT_EQ(ProgressPhaseText(1, 0), "Stò caricando il canale 1 di 20..");
    EXPECT_EQ(ProgressPhaseText(2, 19), "Stò convertendo il canale 20 di 20...");
    EXPECT_EQ(ProgressPhaseText(3, 4), "Stò salvando.......");
    EXPECT_EQ(ProgressPhaseText(4, 4), "Stò adattando il tempo del canale 5 di 20...");
    EXPECT_EQ(ProgressPhaseText(5, 4), "");
    EXPECT_EQ(ProgressPhaseText(0, 4), "");
    platform::SetLanguage(platform::Language::English);
    EXPECT_EQ(ProgressPhaseText(1, 2), "Loading channel 3 of 20..");
    EXPECT_EQ(ProgressPhaseText(4, 0), "Stretching channel 1 of 20...");
    platform::SetLanguage(before);
}

// --- The document ------------------------------------------------------------------------------

TEST(Document, QuestionsDependOnUnsavedChanges) {
    EXPECT_EQ(CloseQuestionId(CloseReason::Quit, false), 143u);
    EXPECT_EQ(CloseQuestionId(CloseReason::Quit, true), 2010u);
    EXPECT_EQ(CloseQuestionId(CloseReason::ReplaceSong, false), 0u);
    EXPECT_EQ(CloseQuestionId(CloseReason::ReplaceSong, true), 2010u);
    EXPECT_EQ(platform::LoadString(2010, platform::Language::Italian),
              "Salvare le modifiche al brano?");
    EXPECT_EQ(platform::LoadString(2010, platform::Language::English),
              "Save the changes to the song?");
}

TEST(Document, TitleJoinsProductAndSongAndMarksChanges) {
    const auto before = platform::CurrentLanguage();
    platform::SetLanguage(platform::Language::Italian);
    EXPECT_EQ(WindowTitle("Notte", false), "Tamboro - Notte");
    EXPECT_EQ(WindowTitle("Notte", true), "*Tamboro - Notte");
    platform::SetLanguage(before);
}

// --- The instance protocol -----------------------------------------------------------------------

TEST(InstanceProtocol, RequestsRoundTripAndBadLinesAreRefused) {
    const InstanceRequest open{InstanceRequest::Kind::Open, "/home/u/My Song.tbo"};
    const auto line = FormatRequest(open);
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "OPEN /home/u/My Song.tbo\n");
    EXPECT_EQ(ParseRequest(line->substr(0, line->size() - 1)), open);
    EXPECT_EQ(ParseRequest("RELEASE"), (InstanceRequest{InstanceRequest::Kind::Release, {}}));
    EXPECT_EQ(ParseRequest("RELEASE\r"), (InstanceRequest{InstanceRequest::Kind::Release, {}}));
    EXPECT_FALSE(ParseRequest("OPEN relative.tbo"));
    EXPECT_FALSE(ParseRequest("OPEN "));
    EXPECT_FALSE(ParseRequest("QUIT"));
    EXPECT_FALSE(ParseRequest(std::string("OPEN /a\0b", 9)));
    EXPECT_FALSE(ParseRequest("OPEN /" + std::string(kMaxRequestBytes, 'a')));
    EXPECT_FALSE(FormatRequest({InstanceRequest::Kind::Open, "relative"}));
    EXPECT_FALSE(FormatRequest({InstanceRequest::Kind::Open, "/a\nRELEASE"}));
    EXPECT_EQ(InstanceSocketName(1000), "TAMBORO_REQUESTWAVEDEVICE.1000");
    EXPECT_EQ(InstanceSocketName(1000, "/run/user/1000/"), "TAMBORO_REQUESTWAVEDEVICE.1000");
    const std::string other = InstanceSocketName(1000, "/tmp/a");
    EXPECT_TRUE(other.starts_with("TAMBORO_REQUESTWAVEDEVICE.1000."));
    EXPECT_EQ(other.size(), std::string("TAMBORO_REQUESTWAVEDEVICE.1000.").size() + 8);
    EXPECT_NE(other, InstanceSocketName(1000, "/tmp/b"));
    EXPECT_EQ(other, InstanceSocketName(1000, "/tmp/a/"));
    EXPECT_EQ(InstanceLockPath("/run/user/1000"), "/run/user/1000/tamboro/instance.lock");
}

// --- The command line ---------------------------------------------------------------------------

TEST(CommandLine, SongPathIsMadeAbsoluteAgainstTheStartFolder) {
    auto cl = ParseCommandLine({"songs/../demo.tbo"}, "/home/u");
    ASSERT_TRUE(cl.ok);
    EXPECT_EQ(cl.song, "/home/u/demo.tbo");
    EXPECT_TRUE(cl.splash);
    cl = ParseCommandLine(
        {"--screenshot", "shot.png", "--theme", "2", "--scale", "3", "--pro", "/s/a.tbo"}, "/tmp");
    ASSERT_TRUE(cl.ok);
    EXPECT_EQ(cl.screenshot, "/tmp/shot.png");
    EXPECT_EQ(cl.theme, 2);
    EXPECT_EQ(cl.scale, 3);
    EXPECT_TRUE(cl.pro);
    EXPECT_FALSE(cl.splash);
    EXPECT_EQ(cl.song, "/s/a.tbo");
    EXPECT_FALSE(ParseCommandLine({"--theme", "4"}, "/").ok);
    EXPECT_FALSE(ParseCommandLine({"--scale"}, "/").ok);
    EXPECT_FALSE(ParseCommandLine({"a.tbo", "b.tbo"}, "/").ok);
    EXPECT_FALSE(ParseCommandLine({"--bogus"}, "/").ok);
}

TEST(CommandLine, ScreenshotChannelsArePadLetters) {
    auto cl = ParseCommandLine({"--screenshot", "s.png", "--on", "aCt", "--in-time", "Cb"}, "/");
    ASSERT_TRUE(cl.ok) << cl.error;
    EXPECT_EQ(cl.on, (std::vector<int>{0, 2, 19}));
    EXPECT_EQ(cl.inTime, (std::vector<int>{2, 1}));
    // Beyond T, twice, empty, missing, or without a picture to make.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--screenshot", "s.png", "--on", "AU"},
          {"--screenshot", "s.png", "--on", "ABA"},
          {"--screenshot", "s.png", "--in-time", ""},
          {"--screenshot", "s.png", "--in-time", "1"},
          {"--screenshot", "s.png", "--on"},
          {"--on", "A"},
          {"--in-time", "B", "song.tbo"}}) {
        cl = ParseCommandLine(bad, "/");
        EXPECT_FALSE(cl.ok) << bad.back();
        EXPECT_FALSE(cl.error.empty());
    }
}

// --- Device sharing -----------------------------------------------------------------------------

struct FakeDeviceState {
    bool active = true;
    bool available = true;  // whether Activate(true) succeeds
    int stops = 0, waits = 0, asks = 0, activations = 0;
    std::vector<bool> notices;
    int retriesWanted = 0;
    DeviceSharing Make() {
        DeviceSharing::Hooks h;
        h.stopSong = [this] { ++stops; };
        h.activate = [this](bool on) {
            ++activations;
            active = on && available;
        };
        h.isActive = [this] { return active; };
        h.wait = [this] { ++waits; };
        h.askRetry = [this] {
            ++asks;
            return asks <= retriesWanted;
        };
        h.silent = [this](bool on) { notices.push_back(on); };
        return DeviceSharing(std::move(h));
    }
};

TEST(DeviceSharing, ReleaseStopsAndFreesActivationTakesBack) {
    FakeDeviceState s;
    auto sharing = s.Make();
    EXPECT_EQ(sharing.OnRelease(false), 1);
    EXPECT_EQ(s.stops, 1);
    EXPECT_FALSE(s.active);
    EXPECT_TRUE(sharing.Released());
    sharing.OnActivateApp(false);  // deactivation changes nothing
    EXPECT_FALSE(s.active);
    sharing.OnActivateApp(true);
    EXPECT_TRUE(s.active);
    EXPECT_FALSE(sharing.Released());
    EXPECT_EQ(s.asks, 0);
    EXPECT_TRUE(s.notices.empty());
}

TEST(DeviceSharing, ReleaseWhileDestroyingDoesNothingAndAnswersOne) {
    FakeDeviceState s;
    auto sharing = s.Make();
    EXPECT_EQ(sharing.OnRelease(true), 1);
    EXPECT_EQ(s.stops, 0);
    EXPECT_TRUE(s.active);
}

TEST(DeviceSharing, LostDeviceRetryEndsInSilenceAndComesBackLater) {
    FakeDeviceState s;
    auto sharing = s.Make();
    sharing.OnRelease(false);
    s.available = false;
    s.retriesWanted = 2;  // the user retries twice, then declines
    sharing.OnActivateApp(true);
    EXPECT_EQ(s.asks, 3);
    EXPECT_EQ(s.activations, 1 + 3);  // the release, then three attempts
    EXPECT_EQ(s.waits, 3);
    EXPECT_TRUE(sharing.Silent());
    EXPECT_EQ(s.notices, std::vector<bool>({true}));

    // Next return: one quiet attempt, no question.
    sharing.OnActivateApp(true);
    EXPECT_EQ(s.asks, 3);
    EXPECT_TRUE(sharing.Silent());
    EXPECT_EQ(s.notices.size(), 1u);

    s.available = true;
    sharing.OnActivateApp(true);
    EXPECT_TRUE(s.active);
    EXPECT_FALSE(sharing.Silent());
    EXPECT_EQ(s.notices, std::vector<bool>({true, false}));
}

}  // namespace
}  // namespace tamboro::app

namespace tamboro::app {
namespace {

TEST(DeviceSharing, NoDeviceAtStartRunsSilentAndTriesQuietlyOnReturn) {
    FakeDeviceState s;
    s.active = false;
    s.available = false;
    auto sharing = s.Make();
    sharing.StartSilent();
    EXPECT_EQ(s.notices, std::vector<bool>({true}));
    sharing.OnActivateApp(true);
    EXPECT_EQ(s.asks, 0);  // never a question for a device that never was
    EXPECT_EQ(s.activations, 1);
    s.available = true;
    sharing.OnActivateApp(true);
    EXPECT_TRUE(s.active);
    EXPECT_EQ(s.notices, std::vector<bool>({true, false}));
}

}  // namespace
}  // namespace tamboro::app

namespace tamboro::app {
namespace {

TEST(WindowFit, ScreenOfTheConsolesSizePutsTheClientAreaAtTheCorner) {
    // Caption 24 pixels, border 4: the client starts at window + (4, 24).
    EXPECT_EQ(FitToDisplay(640, 480, 640, 480, {10, 10}, {14, 34}), (FitPoint{-4, -24}));
    EXPECT_EQ(FitToDisplay(640, 480, 640, 480, {-4, -24}, {0, 0}), (FitPoint{-4, -24}));
}

TEST(WindowFit, ElsewhereOnlyAWindowOffTheScreenMoves) {
    EXPECT_EQ(FitToDisplay(1920, 1080, 640, 480, {100, 50}, {104, 74}), (FitPoint{100, 50}));
    EXPECT_EQ(FitToDisplay(1920, 1080, 640, 480, {-20, 50}, {-16, 74}), (FitPoint{0, 0}));
    EXPECT_EQ(FitToDisplay(1920, 1080, 640, 480, {20, -5}, {24, 19}), (FitPoint{0, 0}));
    // A 2x console on a 1280 x 960 screen is that screen's exact size.
    EXPECT_EQ(FitToDisplay(1280, 960, 1280, 960, {0, 0}, {4, 24}), (FitPoint{-4, -24}));
}

}  // namespace
}  // namespace tamboro::app
