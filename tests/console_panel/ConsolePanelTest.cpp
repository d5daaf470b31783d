// The main console on the real frame: pads by mouse and keys, in-time
// switches and their cancel, the channel menu, effects that stop
// themselves, knobs, the master slider, the mode switch, the transport, the
// power switch, tooltips, the text panel and the pad pictures, all checked
// on the back buffer's pixels, at zoom factors 1, 2 and 3.
#include <QHelpEvent>
#include <QMenu>
#include <QTest>
#include <QToolTip>
#include <set>

#include "app/CMainFrame.h"
#include "console/logic/Controls.h"
#include "console/panel/ConsolePanel.h"
#include "console/panel/KnobWidget.h"
#include "console/widgets/SkinButton.h"
#include "engine/LoopFitting.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/console_logic/TestSkin.h"
#include "tests/console_panel/PanelTestSupport.h"

namespace tamboro::console {
namespace {

using app::test::ShellTest;
using app::test::SpinUntil;
using namespace console::test;

class ConsoleTest : public ShellTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        // The test skin is registered after the program's, so it is found first.
        resources::RegisterSkinResources();
        RegisterTestSkin();
        k = GetParam();
        panel = test::StartMainConsole(Options(), k);
        frame = app::test::App().Frame();
        ASSERT_NE(panel, nullptr);
        format = frame->Device()->GetFormat();
        block = std::max<std::uint32_t>(64, format.nSamplesPerSec * 20 / 1000);
    }

    engine::Song& Song() { return frame->Song(); }
    std::uint32_t Bar() const { return engine::SamplesPerBar(format.nSamplesPerSec, 120.0); }

    // A loop whose frames all differ, `frames` long, named after its channel.
    void Load(int ch, std::uint32_t frames, bool effect = false) {
        audio::Wave wave;
        ASSERT_TRUE(wave.Create(format, frames));
        for (std::uint32_t f = 0; f < frames; ++f) {
            const auto v =
                static_cast<std::uint16_t>((f * 7 + static_cast<std::uint32_t>(ch)) % 4001);
            wave.SetFrame(static_cast<std::int32_t>(f), v | static_cast<std::uint32_t>(v) << 16);
        }
        wave.SetInfo("INAM", ("canale " + std::to_string(ch + 1)).c_str());
        ASSERT_EQ(Song().ReplaceChannel(ch, &wave, effect), engine::SongResult::Ok);
        panel->ReloadChannels(ch);
    }

    // Renders device blocks and lets the console take the live mix's news.
    void Render(int blocks = 1) {
        for (int b = 0; b < blocks; ++b) {
            backend->Render(block);
            panel->Tick();
        }
    }
    // Renders until `done` (at most `seconds` of sound).
    bool RenderUntil(const std::function<bool()>& done, double seconds = 5.0) {
        const auto limit = static_cast<int>(seconds * format.nSamplesPerSec / block) + 1;
        for (int i = 0; i < limit; ++i) {
            if (done()) return true;
            Render();
        }
        return done();
    }

    // The widget point of console pixel (x, y): the middle of its k x k block.
    QPoint At(int x, int y) const { return {x * k + k / 2, y * k + k / 2}; }
    // A console pixel of pad `ch` that no other pad covers.
    QPoint PadPoint(int ch) const {
        const layout::Rect r = PadRect(ch);
        for (int y = r.y + r.h / 2; y < r.Bottom(); ++y) {
            for (int x = r.x + r.w / 2; x < r.Right(); ++x) {
                bool alone = true;
                for (int o = 0; o < kChannels && alone; ++o) {
                    if (o != ch && PadRect(o).Contains(x, y)) alone = false;
                }
                if (alone) return {x, y};
            }
        }
        return {r.x + r.w / 2, r.y + r.h / 2};
    }
    void ClickPad(int ch, Qt::KeyboardModifiers mods = {}, Qt::MouseButton b = Qt::LeftButton) {
        const QPoint p = PadPoint(ch);
        QTest::mouseClick(panel, b, mods, At(p.x(), p.y()));
    }
    std::uint8_t Pixel(int x, int y) const { return panel->Canvas().PixelAt(x, y); }
    std::uint8_t PadPixel(int ch) const {
        const QPoint p = PadPoint(ch);
        return Pixel(p.x(), p.y());
    }
    // What the window shows at console pixel (x, y) (every device pixel of
    // its block).
    bool WindowShowsIndex(int x, int y, std::uint8_t index) const {
        const QImage& shown = panel->Picture();
        std::uint8_t r, g, b;
        TestColour(index, r, g, b);
        for (int j = 0; j < k; ++j) {
            for (int i = 0; i < k; ++i) {
                if (shown.pixel(x * k + i, y * k + j) != qRgb(r, g, b)) return false;
            }
        }
        return true;
    }

    int k = 1;
    app::CMainFrame* frame = nullptr;
    ConsolePanel* panel = nullptr;
    audio::WAVEFORMATEX format{};
    std::uint32_t block = 0;
};

TEST_P(ConsoleTest, ClickAndKeyToggleAtOnce) {
    Load(0, Bar());
    Load(5, Bar());
    EXPECT_EQ(PadPixel(0), PadIndex(0, 2));  // loaded: X
    ClickPad(0);
    Render();
    EXPECT_TRUE(Song().IsChannelPlaying(0));
    EXPECT_EQ(frame->CurrentChannel(), 0);
    EXPECT_EQ(PadPixel(0), PadIndex(0, 1));  // sounding: D
    const QPoint p = PadPoint(0);
    EXPECT_TRUE(WindowShowsIndex(p.x(), p.y(), PadIndex(0, 1)));
    // Key Q is channel 5's; key 1 channel 0's.
    QTest::keyClick(frame, Qt::Key_Q);
    Render();
    EXPECT_TRUE(Song().IsChannelPlaying(5));
    EXPECT_EQ(frame->CurrentChannel(), 5);
    QTest::keyClick(frame, Qt::Key_1);
    Render();
    EXPECT_FALSE(Song().IsChannelPlaying(0));
    EXPECT_EQ(PadPixel(0), PadIndex(0, 2));
    // An empty pad: nothing sounds, it becomes current, it shows U.
    ClickPad(12);
    Render();
    EXPECT_FALSE(Song().IsChannelPlaying(12));
    EXPECT_EQ(frame->CurrentChannel(), 12);
    EXPECT_EQ(PadPixel(12), PadIndex(12, 0));
}

TEST_P(ConsoleTest, ShiftClickWaitsForTheBoundaryBlinkingAndShiftClickCancels) {
    Load(0, Bar());
    Load(1, Bar());
    ClickPad(0);
    Render(3);
    ClickPad(1, Qt::ShiftModifier);
    EXPECT_TRUE(panel->Controller().Pending().IsPending(1));
    // Blinks between X and U on the ticks while it waits.
    std::set<int> seen;
    for (int i = 0; i < 4 && !Song().IsChannelPlaying(1); ++i) {
        panel->Tick();
        seen.insert(PadPixel(1));
    }
    EXPECT_EQ(seen, (std::set<int>{PadIndex(1, 2), PadIndex(1, 0)}));
    ASSERT_TRUE(RenderUntil([&] { return Song().IsChannelPlaying(1); }, 2.5));
    Render();
    EXPECT_FALSE(panel->Controller().Pending().IsPending(1));
    EXPECT_EQ(PadPixel(1), PadIndex(1, 1));
    // Channels 0 and 1 run in phase: the switch landed on the boundary.
    EXPECT_EQ(Song().ChannelPosition(0), Song().ChannelPosition(1));

    // Pending, then cancelled: the boundary passes and nothing changes.
    ClickPad(1, Qt::ShiftModifier);
    Render();
    ASSERT_TRUE(Song().IsSwitchPending(1));
    ClickPad(1, Qt::ShiftModifier);
    Render();
    EXPECT_FALSE(panel->Controller().Pending().IsPending(1));
    RenderUntil([] { return false; }, 2.2);
    EXPECT_TRUE(Song().IsChannelPlaying(1));
    EXPECT_EQ(PadPixel(1), PadIndex(1, 1));
}

TEST_P(ConsoleTest, ASecondShiftKeyDoesNothing) {
    Load(0, Bar());
    Load(6, Bar());
    ClickPad(0);
    Render(3);
    QTest::keyClick(frame, Qt::Key_W, Qt::ShiftModifier);
    ASSERT_TRUE(panel->Controller().Pending().IsPending(6));
    QTest::keyClick(frame, Qt::Key_W, Qt::ShiftModifier);
    EXPECT_TRUE(panel->Controller().Pending().IsPending(6));
    ASSERT_TRUE(RenderUntil([&] { return Song().IsChannelPlaying(6); }, 2.5));
    RenderUntil([] { return false; }, 2.2);  // a second boundary passes
    EXPECT_TRUE(Song().IsChannelPlaying(6));
    EXPECT_FALSE(panel->Controller().Pending().IsPending(6));
}

TEST_P(ConsoleTest, RightClickStartsInTimeWhileSomethingSoundsElseOpensTheChannelMenu) {
    Load(0, Bar());
    Load(2, Bar());
    int menuFor = -1;
    QObject::connect(panel, &ConsolePanel::channelMenuOpened, [&](int ch) { menuFor = ch; });
    // All silent: the menu opens for the pad and makes it current.
    ClickPad(2, {}, Qt::RightButton);
    EXPECT_EQ(menuFor, 2);
    EXPECT_EQ(frame->CurrentChannel(), 2);
    ASSERT_NE(panel->ChannelMenu(), nullptr);
    panel->ChannelMenu()->close();
    EXPECT_FALSE(Song().IsChannelPlaying(2));
    // Outside every pad: nothing opens, the current channel stays.
    menuFor = -1;
    QTest::mouseClick(panel, Qt::RightButton, {}, At(20, 20));
    EXPECT_EQ(menuFor, -1);
    EXPECT_EQ(frame->CurrentChannel(), 2);
    // Something sounds: a timed start, no menu.
    ClickPad(0);
    Render(3);
    ClickPad(2, {}, Qt::RightButton);
    EXPECT_EQ(menuFor, -1);
    EXPECT_TRUE(panel->Controller().Pending().IsPending(2));
    ASSERT_TRUE(RenderUntil([&] { return Song().IsChannelPlaying(2); }, 2.5));
}

TEST_P(ConsoleTest, AnEffectStopsItselfAndCancellingTheStopKeepsItSounding) {
    Load(7, Bar() / 8, /*effect=*/true);
    ClickPad(7);
    Render();
    ASSERT_TRUE(Song().IsChannelPlaying(7));
    EXPECT_TRUE(panel->Controller().Pending().IsPending(7));
    ASSERT_TRUE(RenderUntil([&] { return !Song().IsChannelPlaying(7); }, 1.0));
    Render();
    EXPECT_FALSE(panel->Controller().Pending().IsPending(7));
    EXPECT_EQ(PadPixel(7), PadIndex(7, 2));

    ClickPad(7);
    Render();
    ClickPad(7, Qt::ShiftModifier);  // cancels the self-stop
    RenderUntil([] { return false; }, 0.6);
    EXPECT_TRUE(Song().IsChannelPlaying(7));
}

TEST_P(ConsoleTest, KnobDragStepsFourPixelsAndHoldsDuringTheDrag) {
    Load(3, Bar());
    QTest::mouseClick(panel, Qt::LeftButton, {}, At(130, 285));  // volume mode
    ASSERT_EQ(panel->Controller().Mode(), KnobMode::Volume);
    KnobWidget* knob = panel->Knob(3);
    const int start = panel->Controller().KnobPositionOf(3);
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(7 * k, 7 * k));
    EXPECT_TRUE(Song().IsVolumeHeld(3));
    EXPECT_EQ(frame->CurrentChannel(), 3);
    QMouseEvent move(QEvent::MouseMove, QPointF(7 * k, -1 * k),
                     knob->mapToGlobal(QPointF(7 * k, 7 * k - 8 * k)), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(knob, &move);
    EXPECT_EQ(Song().GetChannelVolume(3), KnobToVolume(std::min(start + 2, 20)));
    EXPECT_EQ(knob->ShownPosition(), std::min(start + 2, 20));
    EXPECT_EQ(knob->Surface().GetPixel(7, 7), KnobIndex(std::min(start + 2, 20)));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(7 * k, 7 * k));
    EXPECT_FALSE(Song().IsVolumeHeld(3));
}

TEST_P(ConsoleTest, AKnobHeldDuringPlaybackTakesTheControlOver) {
    Load(3, Bar());
    QTest::mouseClick(panel->Button(ConsoleButton::Record), Qt::LeftButton, {}, QPoint(3, 3));
    ClickPad(3);
    Render(10);
    ClickPad(3);
    Render(2);
    QTest::mouseClick(panel->Button(ConsoleButton::Stop), Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(panel->Button(ConsoleButton::Play), Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_TRUE(Song().IsPlayingBack());
    KnobWidget* knob = panel->Knob(3);
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(7 * k, 7 * k));
    EXPECT_TRUE(Song().IsPanHeld(3));  // balance mode: the pan is held
    EXPECT_FALSE(Song().IsVolumeHeld(3));
    Render(2);
    EXPECT_TRUE(Song().IsPanHeld(3));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(7 * k, 7 * k));
    EXPECT_FALSE(Song().IsPanHeld(3));
}

TEST_P(ConsoleTest, HoveringAPadShowsItsTooltip) {
    Load(4, Bar());
    const QPoint p = PadPoint(4);
    QHelpEvent help(QEvent::ToolTip, At(p.x(), p.y()), panel->mapToGlobal(At(p.x(), p.y())));
    QApplication::sendEvent(panel, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text().toStdString(), "canale 5");
    QToolTip::hideText();
}

TEST_P(ConsoleTest, MasterDragFollowsThePointerAndShowsItsPicture) {
    QTest::mousePress(panel, Qt::LeftButton, {}, At(600, 380));
    EXPECT_TRUE(Song().IsMasterHeld());
    QTest::mouseMove(panel, At(600, 328));
    EXPECT_EQ(panel->Controller().MasterValue(), 100);
    EXPECT_EQ(Pixel(600, 300), VolumeIndex(19));
    QTest::mouseMove(panel, At(600, 470));
    EXPECT_EQ(panel->Controller().MasterValue(), 0);
    EXPECT_EQ(Pixel(600, 300), VolumeIndex(0));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, At(600, 470));
    EXPECT_FALSE(Song().IsMasterHeld());
    EXPECT_EQ(Song().GetInitialMasterVolume(), -10000);
}

TEST_P(ConsoleTest, ModeSwitchShowsItsPictures) {
    const auto& s = SingleIndexes();
    EXPECT_EQ(Pixel(60, 290), s.at("KVOLU"));  // balance at start
    QTest::mouseClick(panel, Qt::LeftButton, {}, At(130, 285));
    EXPECT_EQ(Pixel(60, 290), s.at("KVOLD"));
    EXPECT_EQ(Pixel(50, 420), s.at("KPANU"));
    QTest::mouseClick(panel, Qt::LeftButton, {}, At(140, 420));
    EXPECT_EQ(Pixel(60, 290), s.at("KVOLU"));
    EXPECT_EQ(Pixel(50, 420), s.at("KPAND"));
}

TEST_P(ConsoleTest, RecordPlayAndStop) {
    Load(0, Bar());
    auto click = [&](ConsoleButton b) {
        QTest::mouseClick(panel->Button(b), Qt::LeftButton, {}, QPoint(3, 3));
    };
    click(ConsoleButton::Record);
    EXPECT_TRUE(Song().IsRecording());
    ClickPad(0);
    Render(10);
    ClickPad(0);
    Render(2);
    click(ConsoleButton::Stop);
    EXPECT_FALSE(Song().IsRecording());
    ASSERT_GT(Song().MixLength().count, 0u);
    click(ConsoleButton::Play);
    EXPECT_TRUE(Song().IsPlayingBack());
    // Keys and pads do nothing during playback.
    QTest::keyClick(frame, Qt::Key_2);
    EXPECT_FALSE(Song().IsChannelPlaying(1));
    ASSERT_TRUE(RenderUntil([&] { return !Song().IsPlayingBack(); }, 3.0));
    EXPECT_FALSE(Song().IsChannelPlaying(0));
}

TEST_P(ConsoleTest, PowerSwitchAsksAndNoLeavesEverythingRunning) {
    Load(0, Bar());
    ClickPad(0);
    Render();
    answers = {QMessageBox::No};
    QTest::mouseClick(panel, Qt::LeftButton, {}, At(300, 30));
    EXPECT_EQ(Pixel(300, 30), SingleIndexes().at("POWERU"));
    ASSERT_TRUE(SpinUntil([&] { return !asked.empty(); }));
    EXPECT_EQ(asked.back(), 143u);
    QApplication::processEvents();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(Pixel(300, 30), SingleIndexes().at("POWERD"));
    Render();
    EXPECT_TRUE(Song().IsChannelPlaying(0));
}

TEST_P(ConsoleTest, TooltipsNameTheLoopOrVuoto) {
    Load(4, Bar());
    const QPoint p4 = PadPoint(4), p9 = PadPoint(9);
    EXPECT_EQ(panel->TooltipAt(p4.x(), p4.y()), "canale 5");
    EXPECT_EQ(panel->TooltipAt(p9.x(), p9.y()), "Vuoto");
    EXPECT_EQ(panel->TooltipAt(5, 5), "");
    Song().SetChannelName(4, "nuovo nome");
    panel->UpdateChannels(4);
    EXPECT_EQ(panel->TooltipAt(p4.x(), p4.y()), "nuovo nome");
}

TEST_P(ConsoleTest, TextPanelShowsTheCurrentChannelInPaletteGreen) {
    Load(0, Bar());
    Song().SetChannelName(0, "kick loop long name");
    ClickPad(0);
    Render();
    const auto& lines = panel->TextLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "1. KICK LOOP LONG N");
    EXPECT_EQ(lines[1].text, "Volume:");
    EXPECT_EQ(lines[3].text, "Bal:");
    // The text was written into the back buffer as the palette's nearest
    // to green where it fully covers.
    const std::uint8_t green = panel->Canvas().Nearest(kTextColour);
    int greens = 0;
    for (int y = 56; y < 72; ++y)
        for (int x = 244; x < 380; ++x)
            greens += Pixel(x, y) == green;
    EXPECT_GT(greens, 20);
}

INSTANTIATE_TEST_SUITE_P(Scales, ConsoleTest, ::testing::Values(1, 2, 3),
                         [](const auto& info) { return "x" + std::to_string(info.param); });

}  // namespace
}  // namespace tamboro::console
