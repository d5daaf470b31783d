// Conversion and loading speed, each with its peer in the same run:
//
//   BM_Convert_Chain          the 20-second 22050 Hz 8-bit mono loop to
//                             44100 Hz 16-bit stereo through the chain, in
//                             memory
//   BM_Convert_CliProcess     the same file converted by a tamboro-cli
//                             process (load, convert, save)
//   BM_Convert_SoxProcess     the peer: a sox process doing the same
//   BM_LoadWave_Copy          LoadWave of a 30 MB WAV into memory
//   BM_ReadFile_Peer          the peer: reading the same bytes with read()
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "audio/convert/FormatAdapter.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/MemoryStream.h"
#include "platform/TempFiles.h"

namespace {

using namespace tamboro::audio;
using tamboro::bench::Spawn;

struct Files {
    tamboro::bench::ScratchFolder scratch{"tamboro-bench-convert"};
    std::string folder = scratch.Path();
    std::string loop;  // 20 s, 22050 Hz, 8-bit mono
    std::string big;   // 30 MB, 44100 Hz, 16-bit stereo
    std::string cli;   // tamboro-cli next to this program's build
    std::vector<std::uint8_t> loopSamples;

    Files() {
        loop = folder + "/loop.wav";
        big = folder + "/big.wav";
        loopSamples.resize(22050 * 20);
        std::uint32_t noise = 1;
        for (std::size_t i = 0; i < loopSamples.size(); ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double s = 90 * std::sin(2 * std::numbers::pi * 220 * i / 22050.0) +
                             20 * std::sin(2 * std::numbers::pi * 3000 * i / 22050.0) +
                             static_cast<double>(noise >> 28) - 8;
            loopSamples[i] = static_cast<std::uint8_t>(std::lround(128 + s));
        }
        Wave wave;
        WAVEFORMATEX f;
        MakePcmFormat(f, 22050, 8, 1);
        wave.AttachBorrowed(f, loopSamples.data(), static_cast<std::uint32_t>(loopSamples.size()));
        SaveWave(wave, loop, 0);
        std::vector<std::uint8_t> bigSamples(30u << 20);
        for (std::size_t i = 0; i < bigSamples.size(); ++i)
            bigSamples[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
        MakePcmFormat(f, 44100, 16, 2);
        wave.AttachBorrowed(f, bigSamples.data(), static_cast<std::uint32_t>(bigSamples.size()));
        SaveWave(wave, big, 0);
        cli = tamboro::bench::CliPath();
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

void BM_Convert_Chain(benchmark::State& state) {
    Files& files = TheFiles();
    WAVEFORMATEX from, to;
    MakePcmFormat(from, 22050, 8, 1);
    MakePcmFormat(to, 44100, 16, 2);
    std::vector<std::uint8_t> out(65536);
    std::uint64_t total = 0;
    for (auto _ : state) {
        FormatAdapter chain(
            from, to,
            std::make_unique<MemoryStream>(std::make_unique<tamboro::base::BorrowedStorage>(
                files.loopSamples.data(), files.loopSamples.size())));
        std::uint64_t bytes = 0;
        while (const std::uint32_t n = chain.Read(out.data(), 65536))
            bytes += n;
        total += bytes;
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}
BENCHMARK(BM_Convert_Chain)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Convert_CliProcess(benchmark::State& state) {
    Files& files = TheFiles();
    if (access(files.cli.c_str(), X_OK) != 0) {
        state.SkipWithError("tamboro-cli not built");
        return;
    }
    const std::string out = files.folder + "/cli-out.wav";
    for (auto _ : state) {
        if (Spawn({files.cli, "convert", files.loop, out, "--rate", "44100", "--bits", "16",
                   "--channels", "2"}) != 0) {
            state.SkipWithError("tamboro-cli failed");
            break;
        }
    }
}
BENCHMARK(BM_Convert_CliProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Convert_SoxProcess(benchmark::State& state) {
    Files& files = TheFiles();
    const std::string out = files.folder + "/sox-out.wav";
    for (auto _ : state) {
        if (Spawn({"sox", files.loop, "-r", "44100", "-b", "16", "-c", "2", out}) != 0) {
            state.SkipWithError("sox missing or failed");
            break;
        }
    }
}
BENCHMARK(BM_Convert_SoxProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadWave_Copy(benchmark::State& state) {
    Files& files = TheFiles();
    for (auto _ : state) {
        Wave wave;
        if (LoadWave(wave, files.big, kLoadCopy) != SoundResult::Ok) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(wave.Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            tamboro::platform::FileSize(files.big));
}
BENCHMARK(BM_LoadWave_Copy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadFile_Peer(benchmark::State& state) {
    Files& files = TheFiles();
    const auto size = static_cast<std::size_t>(tamboro::platform::FileSize(files.big));
    for (auto _ : state) {
        // A fresh buffer each time, as a load makes fresh memory.
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[size]);
        const int fd = open(files.big.c_str(), O_RDONLY);
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = read(fd, buffer.get() + done, size - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fd);
        benchmark::DoNotOptimize(buffer.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_ReadFile_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
