// The software mixer's kernels for 16-bit stereo against SDL2's
// SDL_MixAudioFormat doing the same job (20 voices, each scaled by a volume
// and summed with saturation), and against memcpy of the same bytes.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/mixer/MixKernels.h"
#include "audio/mixer/SoftMixer.h"
#include "audio/wave/Wave.h"

namespace {

using namespace tamboro::audio;

constexpr int kVoices = 20;

struct Voices {
    std::vector<std::vector<std::int16_t>> src;
    std::vector<std::int16_t> dest;
    explicit Voices(std::size_t samples) : src(kVoices), dest(samples) {
        std::mt19937 rng(3);
        for (auto& v : src) {
            v.resize(samples);
            for (auto& s : v)
                s = static_cast<std::int16_t>(rng());
        }
    }
};

void MixWith(benchmark::State& state, const MixKernels& kernels) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Voices v(frames * 2);
    const StereoGains g = GainsOf(-600, 400);
    for (auto _ : state) {
        std::memset(v.dest.data(), 0, v.dest.size() * 2);
        for (const auto& s : v.src) {
            kernels.accumulate16(v.dest.data(), s.data(), s.size(), g.left, g.right);
        }
        benchmark::DoNotOptimize(v.dest.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kVoices *
                            static_cast<std::int64_t>(frames) * 4);
}

void BM_Mix16Stereo_Scalar(benchmark::State& state) {
    MixWith(state, PlainMixKernels());
}
void BM_Mix16Stereo_Sse2(benchmark::State& state) {
    MixWith(state, Sse2MixKernels());
}
void BM_Mix16Stereo_Avx2(benchmark::State& state) {
    MixWith(state, Avx2MixKernels());
}

// The same job in one call: the kernel takes several voices per pass over
// dest.
void MixManyWith(benchmark::State& state, const MixKernels& kernels) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Voices v(frames * 2);
    const StereoGains g = GainsOf(-600, 400);
    std::vector<VoiceSamples16> voices;
    for (const auto& s : v.src)
        voices.push_back({s.data(), g.left, g.right});
    for (auto _ : state) {
        std::memset(v.dest.data(), 0, v.dest.size() * 2);
        kernels.accumulate16Many(v.dest.data(), voices.data(), voices.size(), v.dest.size());
        benchmark::DoNotOptimize(v.dest.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kVoices *
                            static_cast<std::int64_t>(frames) * 4);
}

void BM_Mix16Stereo_Sse2Many(benchmark::State& state) {
    MixManyWith(state, Sse2MixKernels());
}
void BM_Mix16Stereo_Avx2Many(benchmark::State& state) {
    MixManyWith(state, Avx2MixKernels());
}

// The peer: SDL's own mixer, volume 0..128 per voice, saturating sum.
void BM_Mix16Stereo_SdlMixAudioFormat(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Voices v(frames * 2);
    const auto bytes = static_cast<Uint32>(frames * 4);
    for (auto _ : state) {
        std::memset(v.dest.data(), 0, bytes);
        for (const auto& s : v.src) {
            SDL_MixAudioFormat(reinterpret_cast<Uint8*>(v.dest.data()),
                               reinterpret_cast<const Uint8*>(s.data()), AUDIO_S16LSB, bytes, 84);
        }
        benchmark::DoNotOptimize(v.dest.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kVoices *
                            static_cast<std::int64_t>(bytes));
}

// The floor: copying the same bytes.
void BM_Mix16Stereo_Memcpy(benchmark::State& state) {
    const auto frames = static_cast<std::size_t>(state.range(0));
    Voices v(frames * 2);
    for (auto _ : state) {
        std::memset(v.dest.data(), 0, frames * 4);
        for (const auto& s : v.src) {
            std::memcpy(v.dest.data(), s.data(), frames * 4);
            benchmark::ClobberMemory();  // keep every copy
        }
        benchmark::DoNotOptimize(v.dest.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kVoices *
                            static_cast<std::int64_t>(frames) * 4);
}

// The whole SoftMixer (reading each voice's wave through its stream, then
// the kernel), 20 voices.
void SoftMixerWith(benchmark::State& state, bool simd) {
    const auto frames = static_cast<std::uint32_t>(state.range(0));
    WAVEFORMATEX f;
    MakePcmFormat(f, 44100, 16, 2);
    SoftMixer mixer(f, simd);
    mixer.ApplyLatency();
    std::vector<std::unique_ptr<Wave>> waves;
    std::mt19937 rng(4);
    for (int i = 0; i < kVoices; ++i) {
        waves.push_back(std::make_unique<Wave>());
        waves.back()->Create(f, 44100);
        auto* p = waves.back()->Data();
        for (std::uint32_t k = 0; k < waves.back()->DataBytes(); ++k)
            p[k] = static_cast<std::uint8_t>(rng());
        MixVoice* v = mixer.CreateVoice(waves.back().get(), false);
        v->SetAttenuation(-600);
        v->SetPan(400);
        v->Play(0, true);
    }
    std::vector<std::uint8_t> out(frames * 4);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mixer.Mix(out.data(), frames * 4));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kVoices * frames * 4);
}
void BM_SoftMixer_Mix16Stereo_Scalar(benchmark::State& state) {
    SoftMixerWith(state, false);
}
void BM_SoftMixer_Mix16Stereo_Simd(benchmark::State& state) {
    SoftMixerWith(state, true);
}

}  // namespace

BENCHMARK(BM_Mix16Stereo_SdlMixAudioFormat)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Memcpy)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Scalar)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Sse2)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Avx2)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Sse2Many)->Arg(512)->Arg(4096);
BENCHMARK(BM_Mix16Stereo_Avx2Many)->Arg(512)->Arg(4096);
BENCHMARK(BM_SoftMixer_Mix16Stereo_Scalar)->Arg(512);
BENCHMARK(BM_SoftMixer_Mix16Stereo_Simd)->Arg(512);

BENCHMARK_MAIN();
