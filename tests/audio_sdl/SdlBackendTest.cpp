// The SDL2 output through SDL's own drivers for machines without sound:
// "disk" writes what the device plays into a file, "dummy" discards it.
#include "audio/output/sdl/SdlBackend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio::sdl {
namespace {

using namespace std::chrono_literals;

using test::Pcm;

// Waits (owner thread, servicing the device) until `done` or a timeout.
template <typename F>
bool WaitUntil(OutputDevice& device, F done, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        device.Service();
        if (done()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

class SdlDriver : public ::testing::Test {
  protected:
    // Static slots render as fast as the disk takes them. A streaming slot
    // is refilled by this thread, so its driver keeps real time (SDL's own
    // pacing) and a busy machine cannot starve the stream.
    enum class Pace { Fast, RealTime };
    void UseDriver(const char* driver, Pace pace = Pace::Fast) {
        setenv("SDL_AUDIODRIVER", driver, 1);
        setenv("SDL_DISKAUDIOFILE", m_dir.File("out.raw").c_str(), 1);
        if (pace == Pace::Fast)
            setenv("SDL_DISKAUDIODELAY", "1", 1);
        else
            unsetenv("SDL_DISKAUDIODELAY");
    }
    void TearDown() override {
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIODELAY");
    }
    test::TempDir m_dir;
};

// Finds `sound` in `out` and checks that everything around it is silence.
void ExpectSoundInSilence(const std::vector<std::int16_t>& out,
                          const std::vector<std::int16_t>& sound) {
    std::size_t first = 0;
    while (first < out.size() && out[first] == 0)
        ++first;
    ASSERT_LE(first + sound.size(), out.size()) << "the sound is not in the output";
    for (std::size_t i = 0; i < sound.size(); ++i)
        ASSERT_EQ(out[first + i], sound[i]) << i;
    for (std::size_t i = first + sound.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(first % 2, 0u);  // whole stereo frames
}

TEST_F(SdlDriver, DiskDriverOutputHoldsTheSoundPlayed) {
    UseDriver("disk");
    std::vector<std::int16_t> sound;
    for (int k = 0; k < 3000; ++k) {  // distinct, never zero
        sound.push_back(static_cast<std::int16_t>(k + 1));
        sound.push_back(static_cast<std::int16_t>(-(k + 1)));
    }
    const WAVEFORMATEX f = Pcm(22050, 16, 2);
    {
        OutputDevice device(MakeSdlBackend());
        device.SetWindowAndFormat(f, 0);
        device.Activate(1);
        ASSERT_EQ(device.IsActive(), 1);
        EXPECT_GT(device.GrantedFrames(), 0u);
        ASSERT_EQ(device.LoadMemory(0, 0, &f, sound.data(),
                                    static_cast<std::uint32_t>(sound.size() * 2), 1, 0),
                  0);
        device.Play(0, 0, 0, 0, OutputDeviceInterface::kUnchanged, 0);
        EXPECT_TRUE(WaitUntil(
            device, [&] { return device.IsPlaying(0) == 0; }, 5000ms));
        device.Activate(0);
    }
    const auto raw = test::ReadAll(m_dir.File("out.raw"));
    std::vector<std::int16_t> out(raw.size() / 2);
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    ExpectSoundInSilence(out, sound);
}

TEST_F(SdlDriver, DiskDriverCarriesAStreamingSlotAndLevels) {
    UseDriver("disk", Pace::RealTime);
    std::vector<std::int16_t> sound;
    for (int k = 0; k < 30000; ++k) {  // longer than the one-second ring
        sound.push_back(static_cast<std::int16_t>(1000 + k % 20000));
        sound.push_back(static_cast<std::int16_t>(-1000 - k % 20000));
    }
    const WAVEFORMATEX f = Pcm(11025, 16, 2);
    {
        OutputDevice device(MakeSdlBackend());
        device.SetWindowAndFormat(f, 0);
        device.Activate(1);
        ASSERT_EQ(device.IsActive(), 1);
        ASSERT_EQ(device.LoadMemory(7, 1, &f, sound.data(),
                                    static_cast<std::uint32_t>(sound.size() * 2), 1, 0),
                  0);
        device.Play(7, -1, 0, -1000, OutputDeviceInterface::kUnchanged, 0);
        EXPECT_TRUE(WaitUntil(
            device, [&] { return device.IsPlaying(7) == 0; }, 10000ms));
        EXPECT_EQ(device.GetPosition(7), sound.size() * 2);
        device.Activate(0);
    }
    for (auto& s : sound)
        s = static_cast<std::int16_t>((s * 16383) >> 15);  // -1000: the mixer's law
    const auto raw = test::ReadAll(m_dir.File("out.raw"));
    std::vector<std::int16_t> out(raw.size() / 2);
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    ExpectSoundInSilence(out, sound);
}

TEST_F(SdlDriver, DummyDriverListsOpensAndReopens) {
    UseDriver("dummy");
    auto backend = std::make_unique<SdlBackend>();
    EXPECT_EQ(backend->Driver(), "dummy");
    EXPECT_NE(backend->Caps(-1) & kCapsEmulated, 0u);
    const auto listed = backend->Devices();
    OutputDevice device(std::move(backend));
    EXPECT_EQ(device.DeviceCount(), static_cast<int>(listed.size()));
    device.SetWindowAndFormat(Pcm(44100, 8, 1), 0);
    device.Activate(1);
    ASSERT_EQ(device.IsActive(), 1);
    // About 10 ms asked for: 441 frames, granted as SDL's block.
    EXPECT_GE(device.GrantedFrames(), 441u);
    std::vector<std::uint8_t> sound(441, 200);
    const WAVEFORMATEX f = Pcm(44100, 8, 1);
    device.LoadMemory(0, 0, &f, sound.data(), 441, 2, 0);
    device.Play(0, 0, 0, 0, OutputDeviceInterface::kUnchanged, 1);
    EXPECT_TRUE(WaitUntil(
        device, [&] { return device.GetPosition(0) > 0; }, 2000ms));
    EXPECT_GT(device.TakePeak(), 0u);
    device.Activate(0);
    EXPECT_EQ(device.IsActive(), 0);
    device.Activate(1);
    EXPECT_EQ(device.IsActive(), 1);
    device.Play(0, 0, 0, 0, OutputDeviceInterface::kUnchanged, 0);
    EXPECT_TRUE(WaitUntil(
        device, [&] { return device.IsPlaying(0) == 0; }, 2000ms));
}

TEST_F(SdlDriver, WithoutASoundDriverTheDeviceExistsAndPlaysNothing) {
    UseDriver("no-such-driver");
    OutputDevice device(MakeSdlBackend());
    EXPECT_EQ(device.DeviceCount(), 0);
    EXPECT_EQ(device.GetCaps(), 0u);
    device.SetWindowAndFormat(Pcm(44100, 16, 2), 0);
    device.Activate(1);
    EXPECT_EQ(device.IsActive(), 0);
    std::vector<std::uint8_t> sound(400, 1);
    const WAVEFORMATEX f = Pcm(44100, 16, 2);
    EXPECT_EQ(device.LoadMemory(0, 1, &f, sound.data(), 400, 1, 0), 0);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i)
        device.Play(0, 0, 0, 0, 0, 1);
    EXPECT_EQ(device.IsPlaying(0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);  // never waits for a device
}

}  // namespace
}  // namespace tamboro::audio::sdl
