// tamboro-cli play FILE [--loop] [--device N] [--rate R] [--bits B]
//                       [--channels C]
// Plays a sound file through a streaming slot of the output device, opened
// at 44100 Hz, 16 bits, stereo unless told otherwise. On a terminal it shows
// the position and a level bar. Ctrl-C stops cleanly.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/Options.h"

namespace tamboro::cli {

namespace {

constexpr const char* kUsage =
    "tamboro-cli play FILE [--loop] [--device N] [--rate HZ] [--bits 8|16] [--channels 1|2]\n"
    "       tamboro-cli play SONG.tbo [--from MS] [--device N]";

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted.store(true);
}

std::string Clock(double seconds) {
    const int tenths = static_cast<int>(seconds * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%d", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

// The sound-file result that says why the device could not load a file.
audio::SoundResult LoadResult(int code) {
    switch (code) {
        case audio::OutputDeviceInterface::kLoadOpenFailed:
            return audio::SoundResult::OpenFailed;
        case audio::OutputDeviceInterface::kLoadNotWave:
            return audio::SoundResult::InvalidFile;
        default:
            return audio::SoundResult::LoadUnknownType;
    }
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") break;
        if (!a.empty() && a[0] != '-' && IsSongFile(a)) return RunPlaySong(args);
    }
    bool loop = false;
    std::optional<long> deviceOption, rateOption, bitsOption, channelsOption;
    Options options(kUsage);
    options.Flag("loop", loop)
        .Integer("device", -1, 9999, deviceOption)
        .Integer("rate", 1000, 192000, rateOption)
        .OneOf("bits", {8, 16}, bitsOption)
        .Integer("channels", 1, 2, channelsOption);
    if (const auto exit = options.Parse(args, 1, 1)) return *exit;
    const std::string& path = options.Positional(0);
    const long device = deviceOption.value_or(-1);
    const long rate = rateOption.value_or(44100);
    const long bits = bitsOption.value_or(16);
    const long channels = channelsOption.value_or(2);

    audio::OutputDevice output(audio::sdl::MakeSdlBackend());
    if (device >= output.DeviceCount()) {
        return options.Error("no device " + std::to_string(device) + " (see tamboro-cli devices)");
    }
    output.SelectDevice(static_cast<int>(device));
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits),
                         static_cast<std::uint16_t>(channels));
    output.SetWindowAndFormat(format, 0);
    output.Activate(1);
    if (!output.IsActive()) return Fail(engine::SongResult::NoDevice);

    constexpr int kSlot = 0;
    const int code = output.LoadFile(kSlot, path, 1, 1, 0);
    if (code != 0) return Fail(LoadResult(code), path);
    const std::uint32_t bits16 = output.GetBits(kSlot);
    // The device plays linear samples of 8 or 16 bits only.
    if (bits16 != 8 && bits16 != 16) return Fail(audio::SoundResult::ConversionUnavailable, path);
    const double bytesPerSecond = double(output.GetRate(kSlot)) * output.GetBytesPerFrame(kSlot);
    const double total = output.GetDataBytes(kSlot) / bytesPerSecond;

    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    output.Play(kSlot, -1, 0, 0, audio::OutputDeviceInterface::kUnchanged, loop ? 1 : 0);
    int tick = 0;
    while (!g_interrupted.load() && output.IsPlaying(kSlot)) {
        output.Service();
        if (terminal && ++tick % 5 == 0) {
            const double at = output.GetPosition(kSlot) / bytesPerSecond;
            const int level = static_cast<int>(output.TakePeak() * 30 / 32768);
            std::printf("\r  %s / %s  [%-30s]", Clock(at).c_str(), Clock(total).c_str(),
                        std::string(static_cast<std::size_t>(level), '#').c_str());
            std::fflush(stdout);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    output.Stop(kSlot);
    output.Activate(0);
    sigaction(SIGINT, &previous, nullptr);
    if (terminal) std::printf("\n");
    return kExitOk;
}

}  // namespace tamboro::cli
