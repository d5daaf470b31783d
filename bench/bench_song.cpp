// The song engine against its peers, in the same run:
// - saving and loading a 20-channel song of 8-bar loops (44100 Hz stereo)
//   against `cp` of the same file;
// - the mixdown of a 20-channel song against `sox -m` mixing 20 tracks of
//   the same length, and how the mixdown's time grows with the length.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "audio/output/OutputDevice.h"
#include "engine/Song.h"
#include "platform/Messages.h"

namespace {

using namespace tamboro;

constexpr int kChannels = 20;

std::string Folder() {
    static const std::string folder = [] {
        char templ[] = "/tmp/tamboro-bench-song-XXXXXX";
        const char* made = ::mkdtemp(templ);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

struct Cleanup {
    ~Cleanup() {
        std::error_code ec;
        std::filesystem::remove_all(Folder(), ec);
    }
} g_cleanup;

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

// A loop of `bars` bars at 120 BPM, 44100 Hz stereo: a decaying tone with
// some noise, different for every channel.
std::unique_ptr<audio::Wave> MakeLoop(int ch, std::uint32_t bars) {
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, 44100, 16, 2);
    auto wave = std::make_unique<audio::Wave>();
    const std::uint32_t frames = 88200 * bars;
    wave->Create(f, frames);
    std::mt19937 random(static_cast<unsigned>(ch));
    std::uniform_int_distribution<int> noise(-300, 300);
    const double hz = 55.0 * (1 + ch % 7);
    for (std::uint32_t k = 0; k < frames; ++k) {
        const double beat = (k % 22050) / 22050.0;
        const int v =
            static_cast<int>(4000 * std::exp(-4 * beat) * std::sin(2 * M_PI * hz * k / 44100.0)) +
            noise(random);
        wave->SetFrame(static_cast<std::int32_t>(k), (static_cast<std::uint32_t>(v) & 0xFFFF) |
                                                         (static_cast<std::uint32_t>(v / 2) << 16));
    }
    wave->SetInfo("INAM", "loop " + std::to_string(ch));
    return wave;
}

// A song with 20 channels of 8-bar loops and a mix of `minutes` minutes in
// which every channel plays from start to end.
struct BenchSong {
    explicit BenchSong(double minutes) {
        ::setenv("TMPDIR", Folder().c_str(), 1);
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, 44100, 16, 2);
        device.SetWindowAndFormat(f, 0);
        song.AttachDevice(&device);
        song.NewSong(120.0);
        for (int ch = 0; ch < kChannels; ++ch) {
            auto loop = MakeLoop(ch, 8);
            const engine::SongResult result = song.ReplaceChannel(ch, loop.get(), false);
            if (result != engine::SongResult::Ok) {
                std::fprintf(stderr, "channel %d: result %d\n", ch, engine::ToInt(result));
            }
        }
        SetMix(minutes);
    }
    void SetMix(double minutes) {
        const auto end = static_cast<std::uint32_t>(minutes * 60000);
        for (int ch = 0; ch < kChannels; ++ch) {
            auto& events = (*song.Events(ch));
            events.clear();
            events.push_back({0, engine::kVolume, static_cast<std::uint32_t>(ch),
                              static_cast<std::uint32_t>(-2000), 0});
            events.push_back({0, engine::kChannelOn, static_cast<std::uint32_t>(ch), 0, 0});
            // A level move every eight seconds keeps the mixer busy with spans.
            for (std::uint32_t t = 8000; t < end; t += 8000) {
                events.push_back({t, engine::kVolume, static_cast<std::uint32_t>(ch),
                                  static_cast<std::uint32_t>(-2000 - (t / 8000 % 5) * 100), 0});
            }
            events.push_back({end, engine::kChannelOff, static_cast<std::uint32_t>(ch), 0, 0});
        }
    }
    ~BenchSong() { song.DetachDevice(); }
    platform::EventLoop loop;
    audio::OutputDevice device{nullptr};
    engine::Song song{loop};
};

BenchSong& SharedSong() {
    static BenchSong song(0.5);
    return song;
}

void BM_SongSave(benchmark::State& state) {
    BenchSong& s = SharedSong();
    const std::string path = Folder() + "/save.tbo";
    for (auto _ : state) {
        if (s.song.SaveSong(path, 0, nullptr) != engine::SongResult::Ok)
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SongSave)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SongLoad(benchmark::State& state) {
    BenchSong& s = SharedSong();
    const std::string path = Folder() + "/load.tbo";
    s.song.SaveSong(path, 0, nullptr);
    for (auto _ : state) {
        if (s.song.LoadSong(path, 0) != engine::SongResult::Ok) state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SongLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: copying the same song file with cp (the whole process).
void BM_SongCopy_Cp(benchmark::State& state) {
    BenchSong& s = SharedSong();
    const std::string path = Folder() + "/peer.tbo";
    s.song.SaveSong(path, 0, nullptr);
    const std::string command = "cp '" + path + "' '" + Folder() + "/copy.tbo'";
    for (auto _ : state) {
        if (Run(command) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SongCopy_Cp)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Mixdown(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(static_cast<double>(state.range(0)));
    const std::string path = Folder() + "/mix.wav";
    for (auto _ : state) {
        if (s.song.SaveSong(path, engine::Song::kSaveMixdown, nullptr) != engine::SongResult::Ok) {
            state.SkipWithError("mixdown failed");
        }
    }
    state.SetComplexityN(state.range(0));
    std::filesystem::remove(path);
}
BENCHMARK(BM_Mixdown)
    ->Arg(1)
    ->Arg(2)
    ->Arg(5)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

// The peer: sox mixing 20 five-minute tracks into one file.
void BM_Mixdown_SoxMix(benchmark::State& state) {
    if (Run("command -v sox >/dev/null") != 0) {
        state.SkipWithError("sox is not installed");
        return;
    }
    const std::string dir = Folder() + "/sox";
    std::filesystem::create_directories(dir);
    std::string inputs;
    for (int ch = 0; ch < kChannels; ++ch) {
        const std::string track = dir + "/t" + std::to_string(ch) + ".wav";
        if (!std::filesystem::exists(track)) {
            Run("sox -n -r 44100 -b 16 -c 2 '" + track + "' synth 300 sine " +
                std::to_string(55 * (1 + ch % 7)) + " vol 0.1");
        }
        inputs += " '" + track + "'";
    }
    const std::string command = "sox -m" + inputs + " '" + dir + "/out.wav'";
    for (auto _ : state) {
        if (Run(command) != 0) state.SkipWithError("sox failed");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_Mixdown_SoxMix)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
