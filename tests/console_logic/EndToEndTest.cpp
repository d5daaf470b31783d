// A take played on the console: four demo loops, Record, switches in time
// from the keyboard's commands, Stop; what the output engine produced during
// the recording must be the render of the recorded mix in the device's
// format, frame for frame over [0, E(L)) outside the ramp windows.
#include <gtest/gtest.h>

#include "audio/files/SoundFile.h"
#include "console/logic/ConsoleController.h"
#include "tests/engine/LiveRig.h"

namespace tamboro::console {
namespace {

using engine::test::LiveCase;
using engine::test::LiveRig;

class EndToEnd : public ::testing::TestWithParam<double> {
  protected:
    void SetUp() override {
        rig = std::make_unique<LiveRig>(LiveCase{44100, 16, 2, GetParam()});
        static const char* kLoops[4] = {"kick_four.wav", "hats_closed.wav", "drums_full.wav",
                                        "clap_backbeat.wav"};
        for (int ch = 0; ch < 4; ++ch) {
            audio::Wave wave;
            const std::string path = std::string(TAMBORO_LOOPS_DIR) + "/" + kLoops[ch];
            ASSERT_EQ(audio::LoadWave(wave, path, audio::kTypeWav | audio::kLoadCopy),
                      audio::SoundResult::Ok)
                << path;
            ASSERT_EQ(rig->song->ReplaceChannel(ch, &wave, false), engine::SongResult::Ok) << path;
        }
        console = std::make_unique<ConsoleController>(*rig->song);
    }
    void TearDown() override {
        console.reset();
        rig.reset();
    }
    // One device block, then the console's tick.
    void Block() {
        rig->Render(1);
        console->Tick();
    }
    // Blocks until channel `ch` sounds (at most `bars` bars).
    bool BlocksUntilOn(int ch, int bars) {
        const std::uint64_t limit = rig->Now() + static_cast<std::uint64_t>(bars) * rig->Bar();
        while (rig->Now() < limit) {
            if (rig->song->IsChannelPlaying(ch)) return true;
            Block();
        }
        return rig->song->IsChannelPlaying(ch);
    }
    std::unique_ptr<LiveRig> rig;
    std::unique_ptr<ConsoleController> console;
};

TEST_P(EndToEnd, TheRecordedTakeRendersAsItWasHeard) {
    engine::Song& song = *rig->song;
    console->Record();
    Block();
    ASSERT_TRUE(song.IsRecording());
    // Shift+1 with nothing sounding starts at once: mix time 0.
    ASSERT_TRUE(console->OnCommand(kCommandTimedFirst + 0));
    rig->capturing = true;
    const std::uint64_t origin = rig->Now();
    Block();
    ASSERT_TRUE(song.IsChannelPlaying(0));
    for (int i = 0; i < 17; ++i)
        Block();
    // Shift+2, Shift+3, Shift+4 wait for their loops' boundaries.
    for (int ch = 1; ch < 4; ++ch) {
        ASSERT_TRUE(console->OnCommand(kCommandTimedFirst + static_cast<unsigned>(ch)));
        EXPECT_TRUE(console->Pending().IsPending(ch));
        ASSERT_TRUE(BlocksUntilOn(ch, 3)) << ch;
        for (int i = 0; i < 9; ++i)
            Block();
        EXPECT_FALSE(console->Pending().IsPending(ch));
    }
    // Shift+1 again: channel 0 stops in time; plain 3 stops channel 2 at once.
    ASSERT_TRUE(console->OnCommand(kCommandTimedFirst + 0));
    for (int i = 0; i < 7; ++i)
        Block();
    ASSERT_TRUE(console->OnCommand(kCommandSwitchFirst + 2));
    const std::uint64_t until = rig->Now() + 2 * rig->Bar();
    while (rig->Now() < until)
        Block();
    EXPECT_FALSE(song.IsChannelPlaying(0));
    EXPECT_FALSE(song.IsChannelPlaying(2));
    console->Stop();
    Block();
    Block();
    rig->capturing = false;

    const std::uint64_t length = rig->E(song.MixLength().count);
    ASSERT_GT(length, 0u);
    const auto render = rig->Mixdown();
    ASSERT_EQ(rig->captureStart, origin);
    const std::uint64_t compared = rig->CompareWithRender(rig->captured, 0, render, 0, length);
    EXPECT_GT(compared, length * 9 / 10);
    // The take is not silence.
    bool sound = false;
    for (std::size_t i = 0; i < render.size() && !sound; ++i)
        sound = render[i] != 0;
    EXPECT_TRUE(sound);
}

INSTANTIATE_TEST_SUITE_P(Tempos, EndToEnd, ::testing::Values(120.0, 130.0), [](const auto& info) {
    return std::to_string(static_cast<int>(info.param)) + "Bpm";
});

}  // namespace
}  // namespace tamboro::console
