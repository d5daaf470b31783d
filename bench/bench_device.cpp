// The output device's render callback with 60 playing voices at 44100 Hz,
// 16-bit stereo, one 10 ms block per call (the block SDL is asked for). The
// counter block_share_pct is the share of the block's duration the callback
// used; the goal is below 2 %. Peers in the same run: the same voices at
// their own rate (copy path) and resampled (cubic path).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "audio/output/OutputDevice.h"

namespace {

using namespace tamboro::audio;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kBlockFrames = kRate / 100;  // 10 ms

void RenderVoices(benchmark::State& state, bool resampled) {
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
        device.LoadMemory(s, 0, &f, samples[s].data(),
                          static_cast<std::uint32_t>(samples[s].size()), 1, 0);
        device.Play(
            s, static_cast<std::int32_t>(rng() % 1000) * 4, static_cast<int>(rng() % 4001) - 2000,
            -static_cast<int>(rng() % 3000),
            resampled ? 30000 + static_cast<int>(rng() % 30000) : OutputDeviceInterface::kUnchanged,
            1);
    }
    std::vector<std::uint8_t> block(kBlockFrames * 4);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        backend->Render(block.data(), kBlockFrames);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(block.data());
    }
    const double blockSeconds = double(kBlockFrames) / kRate;
    state.counters["block_share_pct"] =
        100.0 * seconds / (double(state.iterations()) * blockSeconds);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * voices * kBlockFrames *
                            4);
}

void BM_DeviceCallback_CopyPath(benchmark::State& state) {
    RenderVoices(state, false);
}
void BM_DeviceCallback_Resampled(benchmark::State& state) {
    RenderVoices(state, true);
}

}  // namespace

BENCHMARK(BM_DeviceCallback_CopyPath)->Arg(60)->Arg(20);
BENCHMARK(BM_DeviceCallback_Resampled)->Arg(60)->Arg(20);

BENCHMARK_MAIN();
