// Stretching a 20-second 44100 Hz 16-bit stereo loop to 1.2 times its
// length, pitch kept, each with its peers in the same run:
//
//   BM_Stretch_Wave            StretchWave in memory (the loop played
//                              round with 0.1 s of context; the stretcher
//                              left once the kept pass is out)
//   BM_Stretch_WavePlain       the same run to the end of the stretcher's
//                              input (the plain way, same samples)
//   BM_Stretch_WaveEqualChannels  the left channel on both sides (mono kept
//                              as stereo: stretched once)
//   BM_Stretch_WaveThreeCopies the same with three whole copies end to end
//   BM_Stretch_WaveLeftRight   left and right by two stretchers on two
//                              threads (not StretchWave's way: the phase
//                              between the channels drifts)
//   BM_Stretch_WaveMidSide     mid and side by two stretchers on two
//                              threads (not StretchWave's way: sources
//                              panned apart leak into each other)
//   BM_Stretch_CliProcess      a tamboro-cli process: load, stretch by the
//                              song's tempo, fit, save
//   BM_Stretch_RubberbandProcess  the peer: the `rubberband` command with its
//                              finer engine (--fine) on the same file
//   BM_Stretch_RubberbandCentreFocus  the same command keeping the channels
//                              together (--centre-focus), as StretchWave does
//   BM_Stretch_RubberbandRoundLoop  the command doing the loop's whole job:
//                              the same loop played round as StretchWave
//                              reads it (0.1 s of its end before it, its
//                              start after it) with the channels locked
//                              (--centre-focus), as StretchWave stretches
//   BM_Stretch_SoxProcess      the peer: sox's `tempo` effect (faster, and it
//                              smears the beats)
//
// Each reports cpu_ms, the CPU time of one stretch, all its threads (the
// spawned process's own for the commands): on a machine shared with other
// work it compares better than the real time, which is what the user waits.
//
// 20 s are 8 bars at 96 BPM; at 80 BPM 8 bars last 24 s: the command-line
// stretch by the song's tempo is also exactly 1.2.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <numbers>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audio/files/SoundFile.h"
#include "audio/stretch/LoopStretcher.h"

namespace {

using namespace tamboro::audio;
using tamboro::bench::Spawn;

constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kFrames = kRate * 20;
constexpr double kRatio = 1.2;

struct Files {
    tamboro::bench::ScratchFolder scratch{"tamboro-bench-stretch"};
    std::string folder = scratch.Path();
    std::string loop;
    std::string round;  // the loop played round, as the stretcher reads it
    std::string cli;
    Wave wave;
    Wave equal;  // the left channel on both sides

    Files() {
        loop = folder + "/loop.wav";
        // A tone, a chord an octave up on the right, and a click every
        // quarter note at 96 BPM.
        WAVEFORMATEX format;
        MakePcmFormat(format, kRate, 16, 2);
        wave.Create(format, kFrames);
        const std::uint32_t beat = kRate * 60 / 96;
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const std::uint32_t since = i % beat;
            const double click = 0.5 * std::exp(-static_cast<double>(since) / 90.0) *
                                 std::sin(2 * std::numbers::pi * 5000.0 * since / kRate);
            const double left = 0.3 * std::sin(2 * std::numbers::pi * 220 * t) + click;
            const double right = 0.2 * std::sin(2 * std::numbers::pi * 440 * t) +
                                 0.1 * std::sin(2 * std::numbers::pi * 554.37 * t) + click;
            const auto l = static_cast<std::uint16_t>(std::lround(left * 32767));
            const auto r = static_cast<std::uint16_t>(std::lround(right * 32767));
            wave.SetFrame(static_cast<std::int32_t>(i), l | static_cast<std::uint32_t>(r) << 16);
        }
        SaveWave(wave, loop, 0);
        // Context before, the stretcher's reserve after (all of it: the
        // command cannot stop once the part it would keep is out).
        round = folder + "/round.wav";
        const std::uint32_t context = kRate * kStretchContextMs / 1000;
        const std::uint32_t after = context + kRate / 5;
        Wave played;
        played.Create(format, context + kFrames + after);
        for (std::uint32_t i = 0; i < context + kFrames + after; ++i) {
            const std::uint32_t at = (i + kFrames - context) % kFrames;
            played.SetFrame(static_cast<std::int32_t>(i),
                            wave.GetFrame(static_cast<std::int32_t>(at)));
        }
        SaveWave(played, round, 0);
        equal.Create(format, kFrames);
        for (std::uint32_t i = 0; i < kFrames; ++i) {
            const std::uint32_t left = wave.GetFrame(static_cast<std::int32_t>(i)) & 0xFFFF;
            equal.SetFrame(static_cast<std::int32_t>(i), left | left << 16);
        }
        cli = tamboro::bench::CliPath();
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

// The loop stretched in memory with `context` frames of it before its start.
void StretchInMemory(benchmark::State& state, std::uint32_t context,
                     StretchPath path = StretchPath::Fast, bool equalChannels = false,
                     StereoStretch stereo = StereoStretch::Together) {
    Files& files = TheFiles();
    const Wave& loop = equalChannels ? files.equal : files.wave;
    const auto target = static_cast<std::uint32_t>(std::lround(kFrames * kRatio));
    StretchSettings settings;
    settings.contextFrames = context;
    settings.path = path;
    settings.stereo = stereo;
    const std::clock_t cpuBefore = std::clock();
    for (auto _ : state) {
        Wave out;
        if (StretchWaveWith(loop, target, settings, out) != StretchResult::Ok) {
            state.SkipWithError("stretch failed");
            break;
        }
        benchmark::DoNotOptimize(out.Data());
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(static_cast<double>(std::clock() - cpuBefore) * 1000 / CLOCKS_PER_SEC /
                           std::max<std::int64_t>(1, state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames * 4);
}

// A program run on the loop; its own CPU time counted.
void StretchProcess(benchmark::State& state, const std::vector<std::string>& args) {
    const double cpuBefore = tamboro::bench::ChildCpuSeconds();
    for (auto _ : state) {
        if (Spawn(args) != 0) {
            state.SkipWithError((args[0] + " missing or failed").c_str());
            break;
        }
    }
    state.counters["cpu_ms"] =
        benchmark::Counter((tamboro::bench::ChildCpuSeconds() - cpuBefore) * 1000 /
                           std::max<std::int64_t>(1, state.iterations()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames * 4);
}

void BM_Stretch_Wave(benchmark::State& state) {
    StretchInMemory(state, kRate * kStretchContextMs / 1000);
}
BENCHMARK(BM_Stretch_Wave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Stretch_WavePlain(benchmark::State& state) {
    StretchInMemory(state, kRate * kStretchContextMs / 1000, StretchPath::Plain);
}
BENCHMARK(BM_Stretch_WavePlain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Stretch_WaveEqualChannels(benchmark::State& state) {
    StretchInMemory(state, kRate * kStretchContextMs / 1000, StretchPath::Fast, true);
}
BENCHMARK(BM_Stretch_WaveEqualChannels)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_Stretch_WaveThreeCopies(benchmark::State& state) {
    StretchInMemory(state, kFrames);
}
BENCHMARK(BM_Stretch_WaveThreeCopies)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_Stretch_WaveLeftRight(benchmark::State& state) {
    StretchInMemory(state, kRate * kStretchContextMs / 1000, StretchPath::Fast, false,
                    StereoStretch::LeftRight);
}
BENCHMARK(BM_Stretch_WaveLeftRight)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Stretch_WaveMidSide(benchmark::State& state) {
    StretchInMemory(state, kRate * kStretchContextMs / 1000, StretchPath::Fast, false,
                    StereoStretch::MidSide);
}
BENCHMARK(BM_Stretch_WaveMidSide)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Stretch_CliProcess(benchmark::State& state) {
    Files& files = TheFiles();
    if (access(files.cli.c_str(), X_OK) != 0) {
        state.SkipWithError("tamboro-cli not built");
        return;
    }
    StretchProcess(
        state, {files.cli, "prepare", files.loop, files.folder + "/cli-out.wav", "--tempo", "80",
                "--rate", "44100", "--bits", "16", "--channels", "2", "--stretch"});
}
BENCHMARK(BM_Stretch_CliProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_Stretch_RubberbandProcess(benchmark::State& state) {
    Files& files = TheFiles();
    StretchProcess(state, {"rubberband", "--fine", "-q", "-t", "1.2", files.loop,
                           files.folder + "/rubberband-out.wav"});
}
BENCHMARK(BM_Stretch_RubberbandProcess)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_Stretch_RubberbandCentreFocus(benchmark::State& state) {
    Files& files = TheFiles();
    StretchProcess(state, {"rubberband", "--fine", "--centre-focus", "-q", "-t", "1.2", files.loop,
                           files.folder + "/rubberband-cf-out.wav"});
}
BENCHMARK(BM_Stretch_RubberbandCentreFocus)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_Stretch_RubberbandRoundLoop(benchmark::State& state) {
    Files& files = TheFiles();
    StretchProcess(state, {"rubberband", "--fine", "--centre-focus", "-q", "-t", "1.2", files.round,
                           files.folder + "/rubberband-round-out.wav"});
}
BENCHMARK(BM_Stretch_RubberbandRoundLoop)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

void BM_Stretch_SoxProcess(benchmark::State& state) {
    Files& files = TheFiles();
    // sox's tempo factor is the speed: 1 / 1.2 makes the loop 1.2 times as
    // long.
    StretchProcess(state, {"sox", files.loop, files.folder + "/sox-out.wav", "tempo",
                           std::to_string(1.0 / kRatio)});
}
BENCHMARK(BM_Stretch_SoxProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
