// The output device's render callback with 60 playing voices at 44100 Hz,
// 16-bit stereo, one 10 ms block per call (the block SDL is asked for). The
// counters: cpu_share_pct, the callback's own processor time as a share of
// the block's duration (the goal is below 2 %), and block_share_pct, the
// same with the wall clock (on a busy machine it counts the time the thread
// waited for a processor too). Peers in the same run: the same voices at
// their own rate (copy path) and resampled (cubic path), without and with
// the song's live mix sequencing twenty of them (a playback whose events
// come every few milliseconds, so that most blocks are split).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <time.h>

#include "audio/output/CaptureBackend.h"
#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "engine/LiveMix.h"
#include "engine/LoopFitting.h"

namespace {

using namespace tamboro::audio;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBlockFrames = kRate / 100;  // 10 ms

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A playback of ten minutes for channels 0..19: all on at 0, then a level
// or a pan every 3 ms, round the channels.
tamboro::engine::SongDocument BusyMix() {
    using namespace tamboro::engine;
    SongDocument doc;
    doc.tempo = 120.0;
    for (std::uint32_t ch = 0; ch < 20; ++ch)
        doc.Events(static_cast<int>(ch))->push_back({0, kChannelOn, ch, 0, 0});
    std::uint32_t ch = 0;
    for (std::uint32_t t = 3; t < 600000; t += 3, ch = (ch + 1) % 20) {
        const bool pan = (t / 3) % 2 == 0;
        const int value = pan ? static_cast<int>(t % 4001) - 2000 : -static_cast<int>(t % 2000);
        doc.Events(static_cast<int>(ch))
            ->push_back({t, pan ? kPan : kVolume, ch, static_cast<std::uint32_t>(value), 0});
    }
    return doc;
}

void RenderVoices(benchmark::State& state, bool resampled, bool sequenced = false) {
    const int voices = static_cast<int>(state.range(0));
    auto owned = std::make_unique<ManualBackend>();
    ManualBackend* backend = owned.get();
    OutputDevice device(std::move(owned));
    WAVEFORMATEX f;
    MakePcmFormat(f, kRate, 16, 2);
    device.SetWindowAndFormat(f, 0);
    device.Activate(1);
    std::vector<std::vector<std::uint8_t>> samples(static_cast<std::size_t>(voices));
    std::mt19937 rng(8);
    for (int s = 0; s < voices; ++s) {
        samples[s].resize(kRate * 4 * 2);  // two seconds each
        for (auto& b : samples[s])
            b = static_cast<std::uint8_t>(rng());
        // Channels the live mix starts play at their sample's own rate: a
        // resampled one is a sample of another rate.
        WAVEFORMATEX own = f;
        if (sequenced && resampled && s < 20) MakePcmFormat(own, 30000 + 1000 * s, 16, 2);
        device.LoadMemory(s, 0, &own, samples[s].data(),
                          static_cast<std::uint32_t>(samples[s].size()), 1, 0);
        device.Play(
            s, static_cast<std::int32_t>(rng() % 1000) * 4, static_cast<int>(rng() % 4001) - 2000,
            -static_cast<int>(rng() % 3000),
            resampled ? 30000 + static_cast<int>(rng() % 30000) : OutputDeviceInterface::kUnchanged,
            1);
    }
    // Slots 0..19 become the song's channels, started and levelled by the
    // live mix inside the callback.
    tamboro::engine::SongDocument doc = BusyMix();
    tamboro::engine::LiveMix live(doc);
    if (sequenced) {
        std::array<int, 20> slots{};
        for (int ch = 0; ch < 20; ++ch) {
            slots[static_cast<std::size_t>(ch)] = ch;
            device.Stop(ch);
        }
        live.Attach(device, slots);
        live.Configure(f,
                       tamboro::engine::Frames(8 * tamboro::engine::SamplesPerBar(kRate, 120.0)));
        live.StartPlayback(doc, tamboro::engine::Millis(0));
    }
    std::vector<std::uint8_t> block(kBlockFrames * 4);
    double seconds = 0;
    double cpu = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        backend->Render(block.data(), kBlockFrames);
        cpu += ThreadSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(block.data());
        if (sequenced) {
            state.PauseTiming();
            live.Poll(nullptr);  // the owner's side, not the callback's
            state.ResumeTiming();
        }
    }
    const double blockSeconds = double(kBlockFrames) / kRate;
    state.counters["block_share_pct"] =
        100.0 * seconds / (double(state.iterations()) * blockSeconds);
    state.counters["cpu_share_pct"] = 100.0 * cpu / (double(state.iterations()) * blockSeconds);
    if (sequenced) live.Detach();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * voices * kBlockFrames *
                            4);
}

void BM_DeviceCallback_CopyPath(benchmark::State& state) {
    RenderVoices(state, false);
}
void BM_DeviceCallback_Resampled(benchmark::State& state) {
    RenderVoices(state, true);
}
void BM_DeviceCallback_SequencedCopyPath(benchmark::State& state) {
    RenderVoices(state, false, true);
}
void BM_DeviceCallback_SequencedResampled(benchmark::State& state) {
    RenderVoices(state, true, true);
}

// Command-to-sound latency at the default block: a switch is sent at a
// random moment, and the frame where it takes effect is read from the live
// mix's report. The block rendered at the last callback is heard from that
// callback on; the command waits for the next one. So the latency heard is
// (frame of the effect - frames rendered when the command was sent) + (one
// block - the frames heard since the last callback). A device that queues
// more than one block adds its queue to this. Runs on SDL's own thread (its
// dummy driver where SDL_AUDIODRIVER is not set).
void BM_CommandToSoundLatency(benchmark::State& state) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    auto tap = std::make_unique<CaptureBackend>(tamboro::audio::sdl::MakeSdlBackend(), 4096);
    CaptureBackend& capture = *tap;
    OutputDevice device(std::move(tap));
    WAVEFORMATEX f;
    MakePcmFormat(f, kRate, 16, 2);
    device.SetWindowAndFormat(f, 0);
    device.Activate(1);
    if (!device.IsActive()) {
        state.SkipWithError("no sound output");
        return;
    }
    std::vector<std::uint8_t> sample(kRate * 4, 1);
    device.LoadMemory(0, 0, &f, sample.data(), static_cast<std::uint32_t>(sample.size()), 1, 0);
    tamboro::engine::SongDocument doc;
    tamboro::engine::LiveMix live(doc);
    std::array<int, 20> slots{};
    slots.fill(-1);
    slots[0] = 0;
    live.Attach(device, slots);
    live.Configure(f, tamboro::engine::Frames(8 * tamboro::engine::SamplesPerBar(kRate, 120.0)));
    struct Heard final : tamboro::engine::LiveListener {
        void OnLiveNotice(tamboro::engine::LiveNotice n) override {
            if (n.kind == tamboro::engine::LiveNotice::kSwitched) frame = n.mixFrame;
        }
        std::int64_t frame = -1;
    } heard;
    std::mt19937 rng(3);
    bool on = false;
    double sum = 0;
    double worst = 0;
    std::int64_t count = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 12000));
        heard.frame = -1;
        const std::uint64_t rendered = device.FramesRendered();
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
        const double block = device.GrantedFrames();
        const double heardSince = std::clamp(
            static_cast<double>(now - capture.LastRenderNs()) * 1e-9 * kRate, 0.0, block);
        on = !on;
        if (on) {
            live.SwitchOn(0);
        } else {
            live.SwitchOff(0);
        }
        // The capture ring is not read here: it only keeps the render's clock.
        std::vector<std::uint8_t> drop;
        capture.Drain(drop);
        while (heard.frame < 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            live.Poll(&heard);
        }
        const double latency =
            static_cast<double>(heard.frame) - static_cast<double>(rendered) + block - heardSince;
        sum += latency;
        worst = std::max(worst, latency);
        ++count;
    }
    live.Detach();
    state.counters["granted_frames"] = device.GrantedFrames();
    state.counters["latency_mean_frames"] = count > 0 ? sum / static_cast<double>(count) : 0;
    state.counters["latency_max_frames"] = worst;
}

}  // namespace

BENCHMARK(BM_CommandToSoundLatency)->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviceCallback_CopyPath)->Arg(60)->Arg(20);
BENCHMARK(BM_DeviceCallback_Resampled)->Arg(60)->Arg(20);
BENCHMARK(BM_DeviceCallback_SequencedCopyPath)->Arg(60);
BENCHMARK(BM_DeviceCallback_SequencedResampled)->Arg(60);

BENCHMARK_MAIN();
