// The main console's drawing: a full redraw of the back buffer with its
// true-colour copy at each whole factor, and the 125 ms tick with twenty
// sounding, blinking pads, the text panel and the meter. The peer is memcpy
// of the true-colour copy's bytes; the tick also reports its share of the
// 125 ms period.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/output/OutputBackend.h"
#include "audio/output/OutputDevice.h"
#include "console/logic/ConsoleCanvas.h"
#include "console/logic/ConsoleController.h"
#include "console/logic/ScaledCopy.h"
#include "console/logic/TextDisplay.h"
#include "engine/Song.h"
#include "platform/Resources.h"
#ifdef TAMBORO_HAVE_SKINS
#include "resources/SkinResources.h"
#endif
#include "tests/console_logic/TestSkin.h"

namespace {

using namespace tamboro;
using namespace tamboro::console;

// The program's own skin when it is built in, else the flat test skin.
void EnsureSkin() {
    if (platform::FindResource("TAMBOROTM1BACK", "BITMAP").empty())
        console::test::RegisterTestSkin();
}

// A 14-pixel line of text as a coverage mask: alternating strokes.
std::vector<std::uint8_t> TextMask(int w, int h) {
    std::vector<std::uint8_t> m(static_cast<std::size_t>(w) * h, 0);
    for (int y = 2; y < h - 2; ++y)
        for (int x = 0; x < w; ++x)
            m[static_cast<std::size_t>(y) * w + x] = (x % 5 < 2) ? 255 : 40;
    return m;
}

void DrawEverything(ConsoleCanvas& canvas, const std::vector<std::uint8_t>& mask) {
    canvas.DrawBackground();
    for (int ch = 0; ch < kChannels; ++ch)
        canvas.DrawPad(ch, PadPicture::Sounding);
    canvas.DrawModes(KnobMode::Balance);
    canvas.DrawMaster(80);
    canvas.DrawPower(true);
    canvas.DrawMeter({40, 50});
    canvas.RestoreTextPanel();
    for (int line = 0; line < 3; ++line)
        canvas.DrawCoverage(244, 56 + 18 * line, mask.data(), 150, 150, 16, kTextColour);
    canvas.DrawBeat(2);
}

void BM_ConsoleRedraw_Full(benchmark::State& state) {
    EnsureSkin();
    ConsoleSkin skin;
    skin.Load(0);
    ConsoleCanvas canvas(skin);
    ScaledCopy copy;
    copy.Resize(640, 480, static_cast<int>(state.range(0)));
    const auto mask = TextMask(150, 16);
    for (auto _ : state) {
        DrawEverything(canvas, mask);
        for (const auto& r : canvas.TakeDirty())
            copy.Update(canvas.BackBuffer(), r);
        benchmark::DoNotOptimize(copy.Pixels());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(copy.PitchBytes()) *
                            copy.Height());
}
BENCHMARK(BM_ConsoleRedraw_Full)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

void BM_Memcpy_ConsoleRgb(benchmark::State& state) {
    const auto k = static_cast<std::size_t>(state.range(0));
    const std::size_t bytes = 640 * k * 480 * k * 4;
    std::vector<std::uint8_t> a(bytes, 1), b(bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_Memcpy_ConsoleRgb)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// Twenty loops sounding on an output device that renders when asked.
struct TickSong {
    TickSong() {
        // The song's working files go to a folder of the run's own.
        char folder[] = "/tmp/tamboro-bench-XXXXXX";
        if (::mkdtemp(folder) != nullptr) {
            temp = folder;
            ::setenv("TMPDIR", folder, 1);
        }
        audio::MakePcmFormat(format, 8000, 16, 2);
        device.SetWindowAndFormat(format, 0);
        device.Activate(1);
        song->AttachDevice(&device);
        song->NewSong(120.0);
        const std::uint32_t bar = 8000 * 2;  // 120 BPM
        for (int ch = 0; ch < kChannels; ++ch) {
            audio::Wave wave;
            wave.Create(format, bar);
            for (std::uint32_t k = 0; k < bar; ++k)
                wave.SetFrame(static_cast<std::int32_t>(k), k * 7919u);
            song->ReplaceChannel(ch, &wave, false);
        }
    }
    ~TickSong() {
        song->DetachDevice();
        song.reset();  // deletes the song's working files
        ::unsetenv("TMPDIR");
        if (!temp.empty()) ::rmdir(temp.c_str());
    }
    std::string temp;
    platform::EventLoop loop;
    audio::WAVEFORMATEX format;
    audio::OutputDevice device{std::make_unique<audio::ManualBackend>()};
    void Render(std::uint32_t frames) {
        static_cast<audio::ManualBackend*>(device.Backend())->Render(frames);
        song->PollLive();
    }
    std::unique_ptr<engine::Song> song = std::make_unique<engine::Song>(loop);
};

// The 125 ms tick with every pad sounding and pending (so each tick repaints
// all twenty), the text panel and the meter, then the dirty rectangles'
// true-colour copy. Reports the share of the period one tick takes.
void BM_ConsoleTick_SoundingPads(benchmark::State& state) {
    EnsureSkin();
    TickSong fixture;
    ConsoleController controller(*fixture.song);
    for (int ch = 0; ch < kChannels; ++ch)
        controller.Toggle(ch);
    fixture.Render(8000);  // a second in: mid-bar, switches wait
    for (int ch = 0; ch < kChannels; ++ch)
        controller.TimedSwitch(ch);
    ConsoleSkin skin;
    skin.Load(0);
    ConsoleCanvas canvas(skin);
    ScaledCopy copy;
    copy.Resize(640, 480, static_cast<int>(state.range(0)));
    const auto mask = TextMask(150, 16);
    DrawEverything(canvas, mask);
    canvas.TakeDirty();
    int meter = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        controller.Tick();
        const ConsoleController::Dirty dirty = controller.TakeDirty();
        for (int ch = 0; ch < kChannels; ++ch) {
            if (dirty.pads[static_cast<std::size_t>(ch)])
                canvas.DrawPad(ch, controller.PictureOf(ch));
        }
        canvas.RestoreTextPanel();
        for (const TextItem& item : ComposeTextPanel(controller.TextState()))
            canvas.DrawCoverage(item.x, item.y, mask.data(), 150, 70, 16, kTextColour);
        meter = (meter + 7) % 92;
        canvas.DrawMeter({meter, 91 - meter});
        for (const auto& r : canvas.TakeDirty())
            copy.Update(canvas.BackBuffer(), r);
        benchmark::DoNotOptimize(copy.Pixels());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["tick_percent"] =
        seconds / static_cast<double>(state.iterations()) / 0.125 * 100.0;
}
BENCHMARK(BM_ConsoleTick_SoundingPads)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
