// The demo loop synthesiser: the price of band-limiting an oscillator
// (against the plain waveform it replaces), of the filter, and of rendering
// whole loops of the library.
#include <benchmark/benchmark.h>

#include <cstring>

#include "tools/synth/Dsp.h"
#include "tools/synth/Loops.h"

namespace {

using namespace tamboro::synth;

constexpr int kBlock = 4096;

void BM_Saw_PolyBlep(benchmark::State& state) {
    Oscillator osc;
    osc.SetFrequency(220.0, 44100.0);
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += osc.Saw();
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Saw_PolyBlep);

// Peer: the plain (aliasing) saw.
void BM_Saw_Naive(benchmark::State& state) {
    double phase = 0.0;
    const double dt = 220.0 / 44100.0;
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i) {
            acc += 2.0 * phase - 1.0;
            phase += dt;
            if (phase >= 1.0) phase -= 1.0;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Saw_Naive);

void BM_Svf_Low(benchmark::State& state) {
    Svf filter;
    filter.Set(1000.0, 0.707, 44100.0);
    Rng rng(1);
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += filter.Low(rng.Bipolar());
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Svf_Low);

// Peer: a one-pole low-pass over the same noise.
void BM_OnePole_Low(benchmark::State& state) {
    OnePole filter;
    filter.Set(1000.0, 44100.0);
    Rng rng(1);
    for (auto _ : state) {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += filter.Process(rng.Bipolar());
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_OnePole_Low);

// One loop of the catalogue by index; items are the loop's frames, so the
// rate reads as frames rendered per second (real time is 44100 or 22050).
void BM_RenderLoop(benchmark::State& state) {
    const LoopInfo& info = Catalogue()[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(info.file);
    std::size_t frames = 0;
    for (auto _ : state) {
        Bus bus = RenderSignal(info);
        frames = bus.Frames();
        benchmark::DoNotOptimize(bus.Left().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(frames));
}
BENCHMARK(BM_RenderLoop)
    ->DenseRange(0, static_cast<int>(Catalogue().size()) - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
