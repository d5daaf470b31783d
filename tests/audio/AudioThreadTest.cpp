// The render path never allocates: this suite replaces the global allocation
// functions and counts every call made on a thread flagged as the audio
// thread, then drives the engine through every command it knows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "tests/support/AudioSupport.h"

namespace {
thread_local bool t_audioThread = false;
std::atomic<int> g_audioThreadAllocations{0};

void* Allocate(std::size_t n) {
    if (t_audioThread) g_audioThreadAllocations.fetch_add(1);
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void Release(void* p) noexcept {
    if (p && t_audioThread) g_audioThreadAllocations.fetch_add(1);
    std::free(p);
}
}  // namespace

void* operator new(std::size_t n) {
    return Allocate(n);
}
void* operator new[](std::size_t n) {
    return Allocate(n);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

namespace tamboro::audio {
namespace {

constexpr int U = OutputDeviceInterface::kUnchanged;

using test::Pcm;

// Renders on a thread of its own every millisecond, like a sound server.
class ThreadedBackend final : public OutputBackend {
  public:
    ~ThreadedBackend() override { Close(); }
    std::vector<std::string> Devices() override { return {"Threaded"}; }
    bool Open(int, const WAVEFORMATEX& format, std::uint32_t wantFrames, RenderFn render,
              void* context, std::uint32_t& granted) override {
        Close();
        granted = wantFrames;
        m_run = true;
        const std::uint32_t bytes = wantFrames * format.nBlockAlign;
        m_thread = std::thread([this, bytes, render, context] {
            std::vector<std::uint8_t> block(bytes);
            t_audioThread = true;
            while (m_run.load()) {
                render(context, block.data(), bytes);
                m_blocks.fetch_add(1);
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            t_audioThread = false;
        });
        return true;
    }
    void Close() override {
        m_run = false;
        if (m_thread.joinable()) m_thread.join();
    }
    bool IsOpen() const override { return m_thread.joinable(); }
    bool Lost() override { return false; }
    std::uint32_t Caps(int) override { return kCapsAllFormats; }
    bool Threaded() const override { return true; }
    std::uint64_t Blocks() const { return m_blocks.load(); }

  private:
    std::atomic<bool> m_run{false};
    std::atomic<std::uint64_t> m_blocks{0};
    std::thread m_thread;
};

// Every command the engine knows, in a random order, on `device`.
void Exercise(OutputDevice& device, std::mt19937& rng, const std::vector<std::uint8_t>& data16,
              const std::vector<std::uint8_t>& data8) {
    const WAVEFORMATEX f16 = Pcm(8000, 16, 2);
    const WAVEFORMATEX f8 = Pcm(11025, 8, 1);
    const int slot = static_cast<int>(rng() % 6);
    switch (rng() % 12) {
        case 0:
            device.LoadMemory(slot, static_cast<int>(rng() % 2), &f16, data16.data(),
                              static_cast<std::uint32_t>(data16.size()),
                              1 + static_cast<int>(rng() % 4), 0);
            break;
        case 1:
            device.LoadMemory(slot, static_cast<int>(rng() % 2), &f8, data8.data(),
                              static_cast<std::uint32_t>(data8.size()), 2, 0);
            break;
        case 2:
        case 3:
            device.Play(slot, static_cast<std::int32_t>(rng() % 3) - 1,
                        static_cast<int>(rng() % 2001) - 1000, -static_cast<int>(rng() % 3000),
                        rng() % 2 ? U : 4000 + static_cast<int>(rng() % 20000),
                        static_cast<int>(rng() % 2));
            break;
        case 4:
            device.Stop(slot);
            break;
        case 5:
            device.SetVolume(slot, -static_cast<int>(rng() % 10000));
            break;
        case 6:
            device.SetPan(slot, static_cast<int>(rng() % 20001) - 10000);
            break;
        case 7:
            device.SetFrequency(slot, 2000 + rng() % 40000);
            break;
        case 8:
            device.SetPosition(slot, rng() % 4000);
            break;
        case 9:
            device.Unload(slot);
            break;
        case 10:
            device.Service();
            break;
        default:
            if (rng() % 8 == 0) device.StopAll();
            break;
    }
}

TEST(AudioThread, RenderingNeverAllocates) {
    std::vector<std::uint8_t> data16(4000), data8(3000);
    std::mt19937 rng(5);
    for (auto& b : data16)
        b = static_cast<std::uint8_t>(rng());
    for (auto& b : data8)
        b = static_cast<std::uint8_t>(rng());
    for (const WAVEFORMATEX& deviceFormat : {Pcm(8000, 16, 2), Pcm(11025, 8, 1)}) {
        test::DeviceRig rig(std::make_unique<ManualBackend>(), deviceFormat);
        OutputDevice& device = rig.device;
        ManualBackend* backend = rig.backend;
        std::vector<std::uint8_t> block(4096 * 4);
        for (int step = 0; step < 3000; ++step) {
            Exercise(device, rng, data16, data8);
            const std::uint32_t frames = 1 + rng() % 4096;
            t_audioThread = true;
            backend->Render(block.data(), frames);
            t_audioThread = false;
        }
        device.Activate(0);
    }
    EXPECT_EQ(g_audioThreadAllocations.load(), 0);
}

// The owner changes everything while a real audio thread renders: commands
// are applied in order (sequence numbers only grow), no buffer is freed
// while it is read (sanitizer builds watch), and the audio thread never
// allocates.
TEST(AudioThread, OwnerAndAudioThreadRunTogether) {
    std::vector<std::uint8_t> data16(8000), data8(5000);
    std::mt19937 rng(11);
    for (auto& b : data16)
        b = static_cast<std::uint8_t>(rng());
    for (auto& b : data8)
        b = static_cast<std::uint8_t>(rng());
    auto owned = std::make_unique<ThreadedBackend>();
    ThreadedBackend* backend = owned.get();
    OutputDevice device(std::move(owned));
    device.SetWindowAndFormat(Pcm(44100, 16, 2), 0);
    device.Activate(1);
    ASSERT_EQ(device.IsActive(), 1);
    // At least 400 ms and 50 blocks of the audio thread's (a loaded machine
    // may give it fewer in that time), at most 20 s.
    const auto start = std::chrono::steady_clock::now();
    const auto busy = [&] {
        const auto spent = std::chrono::steady_clock::now() - start;
        if (spent > std::chrono::seconds(20)) return false;
        return spent < std::chrono::milliseconds(400) || backend->Blocks() <= 50u;
    };
    int operations = 0;
    while (busy()) {
        Exercise(device, rng, data16, data8);
        if (++operations % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_GT(backend->Blocks(), 50u);
    device.Activate(0);
    EXPECT_EQ(g_audioThreadAllocations.load(), 0);
}

}  // namespace
}  // namespace tamboro::audio
