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

namespace tamboro::cli {

namespace {

constexpr const char* kUsage =
    "tamboro-cli play FILE [--loop] [--device N] [--rate HZ] [--bits 8|16] [--channels 1|2]";

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted.store(true);
}

bool ParseInt(const std::string& text, long lo, long hi, long& value) {
    try {
        std::size_t used = 0;
        value = std::stol(text, &used);
        return used == text.size() && value >= lo && value <= hi;
    } catch (...) {
        return false;
    }
}

std::string Clock(double seconds) {
    const int tenths = static_cast<int>(seconds * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%d", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

const char* LoadError(int code) {
    switch (code) {
        case audio::OutputDeviceInterface::kLoadOpenFailed:
            return "cannot open the file";
        case audio::OutputDeviceInterface::kLoadNotWave:
            return "not a RIFF WAVE file";
        default:
            return "cannot load the file";
    }
}

}  // namespace

int RunPlay(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (!a.empty() && a[0] != '-' && IsSongFile(a)) return RunPlaySong(args);
    }
    std::string path;
    bool loop = false;
    long device = -1, rate = 44100, bits = 16, channels = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--loop") {
            loop = true;
        } else if (a == "--device") {
            if (!hasValue || !ParseInt(args[++i], -1, 9999, device))
                return UsageError("--device wants an index from 'tamboro-cli devices'", kUsage);
        } else if (a == "--rate") {
            if (!hasValue || !ParseInt(args[++i], 1000, 192000, rate))
                return UsageError("--rate wants 1000..192000", kUsage);
        } else if (a == "--bits") {
            if (!hasValue || !ParseInt(args[++i], 8, 16, bits) || (bits != 8 && bits != 16))
                return UsageError("--bits wants 8 or 16", kUsage);
        } else if (a == "--channels") {
            if (!hasValue || !ParseInt(args[++i], 1, 2, channels))
                return UsageError("--channels wants 1 or 2", kUsage);
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("unknown option " + a, kUsage);
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError("one file at a time", kUsage);
        }
    }
    if (path.empty()) return UsageError("no file given", kUsage);

    audio::OutputDevice output(audio::sdl::MakeSdlBackend());
    if (device >= output.DeviceCount()) {
        return UsageError("no device " + std::to_string(device) + " (see tamboro-cli devices)",
                          kUsage);
    }
    output.SelectDevice(static_cast<int>(device));
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits),
                         static_cast<std::uint16_t>(channels));
    output.SetWindowAndFormat(format, 0);
    output.Activate(1);
    if (!output.IsActive()) return Fail("no sound device could be opened", 1);

    constexpr int kSlot = 0;
    const int code = output.LoadFile(kSlot, path, 1, 1, 0);
    if (code != 0) return Fail(std::string(LoadError(code)) + ": " + path, code);
    const std::uint32_t bits16 = output.GetBits(kSlot);
    if (bits16 != 8 && bits16 != 16) {
        return Fail("the samples are not 8- or 16-bit PCM: " + path,
                    audio::OutputDeviceInterface::kLoadNotWave);
    }
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
