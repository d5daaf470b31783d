// The live mix with a real audio thread (SDL's dummy driver renders in real
// time on its own thread): commands, polls, meters and the clock from this
// thread while the callback sequences. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "audio/output/sdl/SdlBackend.h"
#include "tests/engine/LiveRig.h"

namespace tamboro::engine::test {
namespace {

using namespace std::chrono_literals;

class ThreadedLiveMix : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        ::setenv("TMPDIR", dir.Path().c_str(), 1);
        device = std::make_unique<audio::OutputDevice>(audio::sdl::MakeSdlBackend());
        audio::MakePcmFormat(format, 44100, 16, 2);
        device->SetWindowAndFormat(format, 0);
        device->Activate(1);
        if (!device->IsActive()) GTEST_SKIP() << "no SDL audio";
        song = std::make_unique<Song>(loop);
        song->AttachDevice(device.get());
        song->NewSong(130.0);
        const std::uint32_t bar = SamplesPerBar(44100, 130.0);
        const std::uint32_t frames[] = {bar, 2 * bar, bar / 2};
        for (int ch = 0; ch < 3; ++ch) {
            auto wave = PatternLoop(format, frames[ch], 31 * ch);
            ASSERT_EQ(song->ReplaceChannel(ch, wave.get(), ch == 2), SongResult::Ok);
        }
    }
    void TearDown() override {
        song.reset();
        device.reset();
        ::unsetenv("TMPDIR");
    }
    // Polls for `time`, reading what the UI reads at its tick.
    void Run(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            song->PollLive();
            const MeterSnapshot m = song->Meters();
            EXPECT_LE(m.master.minLeft, m.master.maxLeft + 0);
            (void)song->ClockPosition();
            (void)song->PlayingCount();
            std::this_thread::sleep_for(2ms);
        }
    }

    // Polls until the take's audio time has gone `ms` on: the audio clock,
    // not this thread's, paces the take (on a loaded machine the callback
    // may run late).
    void RunAudio(std::uint32_t ms) {
        const std::uint64_t until = std::uint64_t{song->Live().MixTime().count} + ms;
        const auto give_up = std::chrono::steady_clock::now() + 2s;
        while (song->Live().MixTime().count < until && std::chrono::steady_clock::now() < give_up)
            Run(2ms);
    }

    tamboro::test::TempDir dir;
    platform::EventLoop loop;
    audio::WAVEFORMATEX format;
    std::unique_ptr<audio::OutputDevice> device;
    std::unique_ptr<Song> song;
};

TEST_F(ThreadedLiveMix, ATakeAndItsPlaybackRunBesideTheAudioThread) {
    ASSERT_EQ(song->StartRecording(), SongResult::Ok);
    ASSERT_EQ(song->SwitchChannelOn(0), SongResult::Ok);
    std::mt19937 rng(7);
    for (int i = 0; i < 150; ++i) {
        const int ch = static_cast<int>(rng() % 3);
        switch (rng() % 7) {
            case 0:
                song->SwitchChannelOn(ch);
                break;
            case 1:
                song->SwitchChannelOff(ch);
                break;
            case 2:
                song->SwitchChannelInTime(ch, rng() % 2 == 0);
                break;
            case 3:
                song->CancelChannelInTime(ch);
                break;
            case 4:
                song->SetChannelVolume(ch, -static_cast<int>(rng() % 3000));
                break;
            case 5:
                song->SetChannelPan(ch, static_cast<int>(rng() % 8001) - 4000);
                break;
            default:
                song->SetMasterVolume(-static_cast<int>(rng() % 2000));
                break;
        }
        RunAudio(6);
    }
    ASSERT_EQ(song->StopMix(), SongResult::Ok);
    for (int i = 0; i < 500 && song->Live().GetMode() != LiveMix::Mode::Idle; ++i)
        Run(4ms);
    Run(20ms);
    EXPECT_GT(song->MixLength().count, 500u);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const EventList& list = *song->GetEvents(ch);
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), [](const auto& a, const auto& b) {
            return a.time < b.time;
        })) << ch;
    }

    // Played back with a control taken over by hand meanwhile.
    ASSERT_EQ(song->StartPlayback(Millis(0)), SongResult::Ok);
    Run(200ms);
    song->SetVolumeHeld(1, true);
    song->SetChannelVolume(1, -2500);
    Run(200ms);
    song->SetVolumeHeld(1, false);
    for (int i = 0; i < 3000 && song->IsPlayingBack(); ++i)
        Run(5ms);
    EXPECT_FALSE(song->IsPlayingBack());
}

}  // namespace
}  // namespace tamboro::engine::test
