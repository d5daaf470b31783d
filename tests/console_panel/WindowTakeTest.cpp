// A take played through the program's window: four demo loops, the Record
// button, Shift+channel keys sent to the frame and to the console as key
// events, the Stop button. What the output engine produced during the
// recording must be the render of the recorded mix in the device's format,
// frame for frame over [0, E(L)) outside the ramp windows, at 120 and at
// 130 BPM.
#include <QTest>

#include "app/CMainFrame.h"
#include "audio/files/SoundFile.h"
#include "console/panel/ConsolePanel.h"
#include "console/widgets/SkinButton.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/engine/LiveRig.h"

namespace tamboro::console {
namespace {

using app::test::ShellTest;

class WindowTake : public ShellTest, public ::testing::WithParamInterface<double> {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        // Loops keep their two channels: with mono sources (the setting's
        // default) the live mix plays them folded to one while a render
        // mixes the loops as they are, so the two could not be compared.
        WriteConfig("[PREFERENCES]\nMONOSOURCE=0\n");
        resources::RegisterSkinResources();
        app::StartOptions o = Options();
        o.panels = &ConsolePanel::Create;
        o.registerDesktop = false;
        ASSERT_EQ(app::test::App().InitInstance({"--no-splash", "--scale", "1"}, o), -1);
        frame = app::test::App().Frame();
        ASSERT_NE(frame, nullptr);
        panel = qobject_cast<ConsolePanel*>(frame->Console());
        ASSERT_NE(panel, nullptr);
        format = frame->Device()->GetFormat();
        block = std::max<std::uint32_t>(
            64, format.nSamplesPerSec * audio::OutputDevice::kWantedBufferMs / 1000);
        ASSERT_FALSE(Song().MonoSources());
        Song().NewSong(GetParam());
        static const char* kLoops[4] = {"kick_four.wav", "hats_closed.wav", "drums_full.wav",
                                        "clap_backbeat.wav"};
        for (int ch = 0; ch < 4; ++ch) {
            audio::Wave wave;
            const std::string path = std::string(TAMBORO_LOOPS_DIR) + "/" + kLoops[ch];
            ASSERT_EQ(audio::LoadWave(wave, path, audio::kTypeWav | audio::kLoadCopy),
                      audio::SoundResult::Ok)
                << path;
            ASSERT_EQ(Song().ReplaceChannel(ch, &wave, false), engine::SongResult::Ok) << path;
        }
        panel->ReloadChannels(-1);
    }

    engine::Song& Song() { return frame->Song(); }
    std::uint32_t Bar() const { return engine::SamplesPerBar(format.nSamplesPerSec, GetParam()); }
    std::uint64_t Now() const { return frame->Device()->FramesRendered(); }
    // One device block (kept while capturing), then the console's tick.
    void Block() {
        const std::uint64_t first = Now();
        const auto bytes = backend->Render(block);
        if (capturing) {
            if (captured.empty()) captureStart = first;
            captured.insert(captured.end(), bytes.begin(), bytes.end());
        }
        panel->Tick();
    }
    bool BlocksUntil(int ch, bool on, int bars) {
        const std::uint64_t limit = Now() + static_cast<std::uint64_t>(bars) * Bar();
        while (Now() < limit && Song().IsChannelPlaying(ch) != on)
            Block();
        return Song().IsChannelPlaying(ch) == on;
    }
    void Press(ConsoleButton b) {
        QTest::mouseClick(panel->Button(b), Qt::LeftButton, {}, QPoint(3, 3));
    }

    app::CMainFrame* frame = nullptr;
    ConsolePanel* panel = nullptr;
    audio::WAVEFORMATEX format{};
    std::uint32_t block = 0;
    bool capturing = false;
    std::vector<std::uint8_t> captured;
    std::uint64_t captureStart = 0;
};

TEST_P(WindowTake, TheRecordedTakeRendersAsItWasHeard) {
    Press(ConsoleButton::Record);
    Block();
    ASSERT_TRUE(Song().IsRecording());
    // Shift+1 with nothing sounding starts at once: mix time 0.
    QTest::keyClick(frame, Qt::Key_1, Qt::ShiftModifier);
    capturing = true;
    const std::uint64_t origin = Now();
    Block();
    ASSERT_TRUE(Song().IsChannelPlaying(0));
    for (int i = 0; i < 17; ++i)
        Block();
    // Shift+2 as a test types it, Shift+3 and Shift+4 as a US keyboard
    // reports them ('#', '$'), the last one to the console, which hands the
    // frame its keys: each waits for its loop's boundary.
    const struct {
        int ch;
        QWidget* to;
        Qt::Key key;
    } keys[] = {{1, frame, Qt::Key_2}, {2, frame, Qt::Key_NumberSign}, {3, panel, Qt::Key_Dollar}};
    for (const auto& k : keys) {
        QTest::keyClick(k.to, k.key, Qt::ShiftModifier);
        EXPECT_TRUE(panel->Controller().Pending().IsPending(k.ch)) << k.ch;
        EXPECT_FALSE(Song().IsChannelPlaying(k.ch)) << k.ch;
        // A second Shift+key while it waits does nothing.
        QTest::keyClick(k.to, k.key, Qt::ShiftModifier);
        EXPECT_TRUE(panel->Controller().Pending().IsPending(k.ch)) << k.ch;
        ASSERT_TRUE(BlocksUntil(k.ch, true, 3)) << k.ch;
        for (int i = 0; i < 9; ++i)
            Block();
        EXPECT_FALSE(panel->Controller().Pending().IsPending(k.ch)) << k.ch;
        EXPECT_TRUE(Song().IsChannelPlaying(k.ch)) << k.ch;
    }
    // Shift+1 again: channel 0 stops in time; plain 3 stops channel 2 at once.
    QTest::keyClick(frame, Qt::Key_1, Qt::ShiftModifier);
    EXPECT_TRUE(panel->Controller().Pending().IsPending(0));
    for (int i = 0; i < 7; ++i)
        Block();
    QTest::keyClick(panel, Qt::Key_3);
    Block();
    EXPECT_FALSE(Song().IsChannelPlaying(2));
    ASSERT_TRUE(BlocksUntil(0, false, 2));
    for (int i = 0; i < 5; ++i)
        Block();
    Press(ConsoleButton::Stop);
    Block();
    Block();
    capturing = false;
    EXPECT_FALSE(Song().IsRecording());

    const std::uint32_t fb = format.nBlockAlign;
    const std::uint64_t length =
        engine::test::EventFrame(Song().MixLength().count, format.nSamplesPerSec, fb);
    ASSERT_GT(length, 0u);
    const auto render = engine::test::MixdownSamples(Song(), Path("render.wav"), format);
    ASSERT_EQ(captureStart, origin);
    const std::uint64_t compared = engine::test::CompareOutsideRamps(
        Song().Document(), format.nSamplesPerSec, fb, captured, 0, render, 0, length);
    EXPECT_GT(compared, length * 9 / 10);
    // The take is not silence.
    bool sound = false;
    for (std::size_t i = 0; i < render.size() && !sound; ++i)
        sound = render[i] != 0;
    EXPECT_TRUE(sound);
}

INSTANTIATE_TEST_SUITE_P(Tempos, WindowTake, ::testing::Values(120.0, 130.0), [](const auto& info) {
    return std::to_string(static_cast<int>(info.param)) + "Bpm";
});

}  // namespace
}  // namespace tamboro::console
