// tamboro-cli perform SONG SCRIPT [--record OUT.tbo] [--capture OUT.wav]
//                    [--device N] [--rate HZ] [--bits 8|16] [--channels 1|2]
//
// Plays SONG live as a person at the console would, following SCRIPT (see
// engine/PerformScript.h) on the wall clock. --record writes the song with
// its mix afterwards; --capture writes what the engine produced, from the
// frame where the mix clock started (the first take's first frame) to the
// end, in the device's format.
#include <chrono>
#include <thread>

#include "audio/files/SoundFile.h"
#include "audio/output/CaptureBackend.h"
#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "audio/wave/Wave.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "engine/PerformScript.h"
#include "engine/Song.h"
#include "platform/FileFault.h"
#include "platform/Messages.h"

namespace tamboro::cli {
namespace {

constexpr const char* kUsage =
    "tamboro-cli perform SONG SCRIPT [--record OUT.tbo] [--capture OUT.wav] [--device N]\n"
    "                    [--rate HZ] [--bits 8|16] [--channels 1|2]";
// What the capture ring holds between two drains.
constexpr std::uint32_t kCaptureSeconds = 4;

using Clock = std::chrono::steady_clock;

void Carry(engine::Song& song, const engine::PerformAction& a) {
    using A = engine::PerformAction;
    // At rest, a turned control also sets the level the next recording
    // starts from, as the console does.
    const bool atRest = !song.IsRecording() && !song.IsPlayingBack();
    switch (a.kind) {
        case A::kOn:
            song.SwitchChannelOn(a.channel);
            break;
        case A::kOff:
            song.SwitchChannelOff(a.channel);
            break;
        case A::kOnNext:
        case A::kOffNext:
            song.SwitchChannelInTime(a.channel, a.kind == A::kOnNext);
            break;
        case A::kCancel:
            song.CancelChannelInTime(a.channel);
            break;
        case A::kHoldVolume:
            song.SetVolumeHeld(a.channel, true);
            [[fallthrough]];
        case A::kVolume:
            song.SetChannelVolume(a.channel, a.value);
            if (atRest) song.SetInitialVolume(a.channel, a.value);
            break;
        case A::kHoldPan:
            song.SetPanHeld(a.channel, true);
            [[fallthrough]];
        case A::kPan:
            song.SetChannelPan(a.channel, a.value);
            if (atRest) song.SetInitialPan(a.channel, a.value);
            break;
        case A::kHoldMaster:
            song.SetMasterHeld(true);
            [[fallthrough]];
        case A::kMaster:
            song.SetMasterVolume(a.value);
            if (atRest) song.SetInitialMasterVolume(a.value);
            break;
        case A::kRelease:
            song.SetVolumeHeld(a.channel, false);
            song.SetPanHeld(a.channel, false);
            break;
        case A::kReleaseMaster:
            song.SetMasterHeld(false);
            break;
        case A::kRecord:
            song.StopMix();
            song.StartRecording();
            break;
        case A::kPlay:
            song.StopMix();
            song.StartPlayback(engine::Millis(static_cast<std::uint32_t>(a.value)));
            break;
        case A::kStop:
        case A::kEnd:
            song.StopMix();
            break;
    }
}

}  // namespace

int RunPerform(const std::vector<std::string>& args) {
    std::optional<std::string> recordPath, capturePath;
    std::optional<long> deviceOption, rateOption, bitsOption, channelsOption;
    Options options(kUsage);
    options.Text("record", recordPath)
        .Text("capture", capturePath)
        .Integer("device", -1, 9999, deviceOption)
        .Integer("rate", 1000, 192000, rateOption)
        .OneOf("bits", {8, 16}, bitsOption)
        .Integer("channels", 1, 2, channelsOption);
    if (const auto exit = options.Parse(args, 2, 2)) return *exit;
    const std::string& songPath = options.Positional(0);
    const std::string& scriptPath = options.Positional(1);

    // Like a mix text: a regular file or "-", never waiting on a FIFO, and
    // never without end.
    constexpr std::size_t kMaxScriptBytes = std::size_t{64} << 20;
    std::string text;
    platform::ClearFileFault();
    if (!ReadInputText(scriptPath, kMaxScriptBytes, text)) {
        return Fail(audio::SoundResult::OpenFailed, scriptPath);
    }
    std::string error;
    const auto script = engine::ParsePerformScript(text, &error);
    if (!script) return options.Error(scriptPath + ": " + error);

    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, static_cast<std::uint32_t>(rateOption.value_or(44100)),
                         static_cast<std::uint16_t>(bitsOption.value_or(16)),
                         static_cast<std::uint16_t>(channelsOption.value_or(2)));
    auto capture = std::make_unique<audio::CaptureBackend>(
        audio::sdl::MakeSdlBackend(), format.nAvgBytesPerSec * kCaptureSeconds);
    audio::CaptureBackend& tap = *capture;
    audio::OutputDevice device(std::move(capture));
    const long deviceIndex = deviceOption.value_or(-1);
    if (deviceIndex >= device.DeviceCount()) {
        return options.Error("no device " + std::to_string(deviceIndex) +
                             " (see tamboro-cli devices)");
    }
    device.SelectDevice(static_cast<int>(deviceIndex));
    device.SetWindowAndFormat(format, 0);
    device.Activate(1);
    if (!device.IsActive()) return Fail(engine::SongResult::NoDevice);

    platform::EventLoop loop;
    engine::Song song(loop);
    song.AttachDevice(&device);
    const engine::SongResult loaded = song.LoadSong(songPath, 0);
    if (loaded != engine::SongResult::Ok) {
        song.DetachDevice();
        return Fail(loaded, songPath);
    }

    // Everything the device was given since it opened; frame i of it is the
    // engine's frame i.
    std::vector<std::uint8_t> produced;
    const auto pump = [&] {
        tap.Drain(produced);
        song.PollLive();
        device.Service();
        loop.ProcessPending();
    };
    InterruptGuard interrupt;
    const Clock::time_point start = Clock::now();
    for (const engine::PerformAction& a : *script) {
        const Clock::time_point due = start + std::chrono::milliseconds(a.timeMs);
        while (Clock::now() < due && !interrupt.Interrupted()) {
            pump();
            std::this_thread::sleep_until(
                std::min(due, Clock::now() + std::chrono::milliseconds(2)));
        }
        if (interrupt.Interrupted()) break;
        Carry(song, a);
        if (a.kind == engine::PerformAction::kEnd) break;
    }
    // The end: a take still running stops (a recording records it), and the
    // capture runs until the stop has sounded.
    song.StopMix();
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(2);
    while ((!song.Live().Settled() || song.Live().GetMode() != engine::LiveMix::Mode::Idle) &&
           Clock::now() < limit) {
        pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const std::uint64_t endFrame = device.FramesRendered();
    const std::uint32_t frameBytes = format.nBlockAlign;
    while (produced.size() < endFrame * frameBytes && Clock::now() < limit) {
        pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pump();
    const std::int64_t takeStart = song.Live().TakeStartFrame();
    song.DetachDevice();
    device.Activate(0);
    if (tap.Dropped() != 0) {
        return Fail(audio::SoundResult::WriteFailed, "the capture fell behind the sound");
    }

    if (recordPath) {
        const engine::SongResult saved = song.SaveSong(*recordPath, 0, nullptr);
        if (saved != engine::SongResult::Ok) return Fail(saved, *recordPath);
    }
    if (capturePath) {
        const std::uint64_t from = takeStart < 0 ? 0 : static_cast<std::uint64_t>(takeStart);
        const std::uint64_t to = std::min<std::uint64_t>(endFrame, produced.size() / frameBytes);
        const std::uint64_t frames = to > from ? to - from : 0;
        audio::Wave wave;
        wave.AttachBorrowed(format, produced.data() + from * frameBytes,
                            static_cast<std::uint32_t>(frames * frameBytes));
        const audio::SoundResult written =
            audio::SaveWave(wave, *capturePath, audio::kTypeWav | audio::kSaveScratch);
        if (written != audio::SoundResult::Ok) return Fail(written, *capturePath);
    }
    return kExitOk;
}

}  // namespace tamboro::cli
