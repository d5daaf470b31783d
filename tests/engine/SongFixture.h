#pragma once
// A song on a fake device, with helpers that make loops of known content.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/wave/Wave.h"
#include "engine/Song.h"
#include "platform/Messages.h"
#include "tests/engine/FakeDevice.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::engine::test {

using tamboro::test::Pcm;

// A 16-bit stereo (or given format) loop whose frame k holds the value
// (k + 1 + seed) on the left and -(k + 1 + seed) on the right, so positions
// and cuts show in single samples.
inline std::unique_ptr<audio::Wave> RampLoop(std::uint32_t frames,
                                             const audio::WAVEFORMATEX& format, int seed = 0,
                                             const char* name = nullptr) {
    auto wave = std::make_unique<audio::Wave>();
    if (!wave->Create(format, frames)) return nullptr;
    for (std::uint32_t k = 0; k < frames; ++k) {
        const int v = static_cast<int>((k + 1 + static_cast<std::uint32_t>(seed)) % 30000);
        wave->SetFrame(static_cast<std::int32_t>(k), (static_cast<std::uint32_t>(v) & 0xFFFF) |
                                                         (static_cast<std::uint32_t>(-v) << 16));
    }
    if (name != nullptr) wave->SetInfo("INAM", name);
    return wave;
}

class SongFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("TMPDIR", temp.Path().c_str(), 1);
        device.format = Pcm(8000, 16, 2);  // small rate: small files, same rules
        ASSERT_EQ(song.AttachDevice(&device), SongResult::Ok);
        song.NewSong(120.0);
    }
    void TearDown() override {
        song.DetachDevice();
        ::unsetenv("TMPDIR");
    }

    // Frames in one bar at the device rate and the song's tempo.
    std::uint32_t Bar() const {
        return static_cast<std::uint32_t>(device.format.nSamplesPerSec * 240.0 / song.GetTempo());
    }
    SongResult Load(int ch, std::uint32_t frames, bool effect = false, int seed = 0) {
        auto wave = RampLoop(frames, device.format, seed, ("loop" + std::to_string(ch)).c_str());
        return song.ReplaceChannel(ch, wave.get(), effect);
    }
    int Slot(int ch) const { return static_cast<int>(song.GetVoice(ch)); }

    tamboro::test::TempDir temp;
    platform::EventLoop loop;
    FakeDevice device;  // outlives the song
    Song song{loop};
};

}  // namespace tamboro::engine::test
