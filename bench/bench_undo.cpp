// Undo and redo against their peers, in the same run:
// - one step of a lane edit (SongUndo::Record, the edit, Undo) on a
//   20-channel song with a mix of N events, against a plain copy of the
//   same song's document (what a step keeps), and against a copy that also
//   copies every loop's samples (what a step would cost if loops were not
//   shared);
// - the undo of a loop's removal (the loop prepared into its slot again)
//   against loading the same loop into the channel.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "bench/BenchSupport.h"
#include "console/logic/SongUndo.h"
#include "engine/Song.h"
#include "platform/Messages.h"

namespace {

using namespace tamboro;

constexpr int kChannels = 20;

const tamboro::bench::ScratchFolder& Folder() {
    static const tamboro::bench::ScratchFolder folder("tamboro-bench-undo-" +
                                                      std::to_string(::getpid()));
    return folder;
}

// Two bars at 120 BPM, 44100 Hz stereo: a tone, different for every channel.
std::unique_ptr<audio::Wave> MakeLoop(int ch) {
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, 44100, 16, 2);
    auto wave = std::make_unique<audio::Wave>();
    const std::uint32_t frames = 44100 * 4;
    wave->Create(f, frames);
    const double hz = 110.0 * (1 + ch % 5);
    for (std::uint32_t k = 0; k < frames; ++k) {
        const int v = static_cast<int>(3000 * std::sin(2 * M_PI * hz * k / 44100.0));
        wave->SetFrame(static_cast<std::int32_t>(k), (static_cast<std::uint32_t>(v) & 0xFFFF) |
                                                         (static_cast<std::uint32_t>(v) << 16));
    }
    wave->SetInfo("INAM", "loop " + std::to_string(ch));
    return wave;
}

// A song of 20 loaded channels; its mix is set per benchmark.
struct BenchSong {
    BenchSong() {
        ::setenv("TMPDIR", Folder().Path().c_str(), 1);
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, 44100, 16, 2);
        device.SetWindowAndFormat(f, 0);
        song.AttachDevice(&device);
        song.NewSong(120.0);
        for (int ch = 0; ch < kChannels; ++ch) {
            loops.push_back(MakeLoop(ch));
            song.ReplaceChannel(ch, loops.back().get(), false);
        }
    }
    // `events` events in all: on/off pairs and level moves, spread over
    // the channels.
    void SetMix(std::int64_t events) {
        for (int ch = 0; ch < kChannels; ++ch)
            song.Events(ch)->clear();
        for (std::int64_t i = 0; i < events; ++i) {
            const int ch = static_cast<int>(i % kChannels);
            const auto t = static_cast<std::uint32_t>(i / kChannels * 250);
            const std::uint32_t kind = i % 3 == 2                 ? engine::kVolume
                                       : (i / kChannels) % 2 == 0 ? engine::kChannelOn
                                                                  : engine::kChannelOff;
            engine::InsertEvent(
                *song.Events(ch),
                {t, kind, static_cast<std::uint32_t>(ch),
                 kind == engine::kVolume ? static_cast<std::uint32_t>(-1000) : 0, 0});
        }
    }
    ~BenchSong() { song.DetachDevice(); }

    platform::EventLoop loop;
    audio::OutputDevice device{nullptr};
    engine::Song song{loop};
    std::vector<std::unique_ptr<audio::Wave>> loops;
};

BenchSong& SharedSong() {
    static BenchSong song;
    return song;
}

// One lane edit and its undo: the step kept, the edit, the document
// restored (no loop changes, so no slot is touched).
void BM_UndoStep_LaneEdit(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(state.range(0));
    console::SongUndo undo(s.song);
    for (auto _ : state) {
        undo.Record();
        engine::InsertEvent(*s.song.Events(3), {1000, engine::kChannelOn, 3, 0, 0});
        const console::UndoOutcome o = undo.Undo();
        if (o.history != console::HistoryResult::Ok) state.SkipWithError("undo failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UndoStep_LaneEdit)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMicrosecond);

// The peer: one plain copy of the same document.
void BM_UndoStep_DocumentCopy(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(state.range(0));
    for (auto _ : state) {
        engine::SongDocument copy = s.song.Document();
        benchmark::DoNotOptimize(copy);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UndoStep_DocumentCopy)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMicrosecond);

// What a step would cost if it copied the loops' samples with the
// document: the copy plus every loop's WAV image read into memory.
void BM_UndoStep_DocumentCopyWithSamples(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(state.range(0));
    std::int64_t bytes = 0;
    for (auto _ : state) {
        engine::SongDocument copy = s.song.Document();
        std::vector<std::vector<std::uint8_t>> samples;
        for (const engine::ChannelDoc& c : copy.channels) {
            if (!c.loop) continue;
            auto image = c.loop->Image();
            const auto* p = static_cast<const std::uint8_t*>(image->Data());
            samples.emplace_back(p, p + image->Size());
            bytes += static_cast<std::int64_t>(image->Size());
        }
        benchmark::DoNotOptimize(samples);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_UndoStep_DocumentCopyWithSamples)->Arg(5000)->Unit(benchmark::kMicrosecond);

// A loop removed and the removal undone: the loop is prepared into its
// slot again.
void BM_UndoStep_LoopRemoval(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(5000);
    console::SongUndo undo(s.song);
    for (auto _ : state) {
        undo.RemoveLoop(7);
        if (undo.Undo().history != console::HistoryResult::Ok) state.SkipWithError("undo failed");
    }
}
BENCHMARK(BM_UndoStep_LoopRemoval)->Unit(benchmark::kMillisecond);

// The peer: loading the same loop into the channel.
void BM_UndoStep_LoopLoad(benchmark::State& state) {
    BenchSong& s = SharedSong();
    s.SetMix(5000);
    for (auto _ : state) {
        if (s.song.ReplaceChannel(7, s.loops[7].get(), false) != engine::SongResult::Ok)
            state.SkipWithError("load");
    }
}
BENCHMARK(BM_UndoStep_LoopLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
