// The song commands of tamboro-cli: info SONG, prepare, render, make-song
// and play SONG.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/output/OutputDevice.h"
#include "audio/output/sdl/SdlBackend.h"
#include "audio/wave/SoundResult.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/Options.h"
#include "engine/LoopFitting.h"
#include "engine/LoopStretch.h"
#include "engine/MixEvents.h"
#include "engine/Song.h"
#include "platform/FileFault.h"
#include "platform/Messages.h"
#include "platform/StringTable.h"

namespace tamboro::cli {
namespace {

using engine::Song;

// Formats the program's device uses by default.
audio::WAVEFORMATEX DefaultDeviceFormat() {
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, 44100, 16, 2);
    return f;
}

int SongFail(engine::SongResult result, const std::string& path) {
    return Fail(result, path);
}

// "Tamboro non può importare melodie lunghe più di 20 secondi."
constexpr unsigned kTooLongText = 1014;

// The text the desktop program's progress dialog shows for a phase of the
// song's progress: loading, converting, stretching (with the channel and the
// count of channels) or saving.
std::string ProgressText(int phase, int ch) {
    constexpr unsigned kLoading = 140, kConverting = 141, kSaving = 142;
    const unsigned id = phase == 1                       ? kLoading
                        : phase == 2                     ? kConverting
                        : phase == engine::kStretchPhase ? engine::kStretchingText
                                                         : kSaving;
    const std::string& format = platform::LoadString(id);
    char text[256];
    std::snprintf(text, sizeof text, format.c_str(), ch + 1, engine::kChannelCount);
    return text;
}

// A song on a device that plays nothing: loops are prepared as for playing.
struct OfflineSong {
    explicit OfflineSong(const audio::WAVEFORMATEX& format) {
        device.SetWindowAndFormat(format, 0);
        song.AttachDevice(&device);
    }
    ~OfflineSong() { song.DetachDevice(); }
    platform::EventLoop loop;
    audio::OutputDevice device{nullptr};
    Song song{loop};
};

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// Splits "A:B[:C]" into its parts.
std::vector<std::string> Fields(const std::string& text, std::size_t maxFields) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (fields.size() + 1 < maxFields) {
        const std::size_t colon = text.find(':', start);
        if (colon == std::string::npos) break;
        fields.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

// The taker of a "CH:LEVEL" option value: a channel 0..19 and a level in
// lo..hi, stored in `levels`.
std::function<bool(const std::string&)> ChannelLevel(long lo, long hi,
                                                     std::map<int, long>& levels) {
    return [lo, hi, &levels](const std::string& value) {
        const auto f = Fields(value, 2);
        const auto ch = f.size() == 2 ? ParseInteger(f[0], 0, 19) : std::nullopt;
        const auto level = f.size() == 2 ? ParseInteger(f[1], lo, hi) : std::nullopt;
        if (!ch || !level) return false;
        levels[static_cast<int>(*ch)] = *level;
        return true;
    };
}

// --rate/--bits/--channels/--encoding on top of a base format.
struct FormatOptions {
    std::optional<long> rate, bits, channels;
    std::optional<std::uint16_t> tag;
    bool Any() const { return rate || bits || channels || tag; }
    void Declare(Options& options) {
        options.Integer("rate", 1000, 192000, rate)
            .Integer("bits", 4, 64, bits)
            .Integer("channels", 1, 2, channels)
            .Custom("encoding", "pcm, float, mulaw, alaw, ima-adpcm or ms-adpcm",
                    [this](const std::string& value) {
                        tag = EncodingTag(value);
                        return tag.has_value();
                    });
    }
    // The format asked for, starting from `base`.
    std::optional<audio::WAVEFORMATEX> Build(const audio::WAVEFORMATEX& base) const {
        const std::uint16_t t = tag.value_or(audio::kFormatPcm);
        std::uint16_t b = static_cast<std::uint16_t>(bits.value_or(0));
        if (b == 0) {
            b = t == audio::kFormatPcm                                  ? base.wBitsPerSample
                : t == audio::kFormatIeeeFloat                          ? 32
                : (t == audio::kFormatMuLaw || t == audio::kFormatALaw) ? 8
                                                                        : 4;
        }
        audio::WAVEFORMATEX f;
        if (!audio::MakeFormat(f, t, static_cast<std::uint32_t>(rate.value_or(base.nSamplesPerSec)),
                               b, static_cast<std::uint16_t>(channels.value_or(base.nChannels)))) {
            return std::nullopt;
        }
        return f;
    }
};

engine::SongResult LoadSongOffline(OfflineSong& offline, const std::string& path) {
    ProgressBar bar;
    return offline.song.LoadSong(
        path, 0, [&](int, int ch, int) { bar.Show(ProgressText(1, ch).c_str(), ch * 5); });
}

// The choices of one load; a stretch shows its progress on `bar` and stops
// at Ctrl-C.
Song::LoadChoice StretchChoice(bool effect, bool stretch, ProgressBar& bar,
                               const InterruptGuard& interrupt) {
    Song::LoadChoice choice{effect, stretch, {}};
    if (stretch) {
        choice.progress = [&bar, &interrupt](int percent) {
            bar.Show(ProgressText(engine::kStretchPhase, 0).c_str(), percent);
            return !interrupt.Interrupted();
        };
    }
    return choice;
}

// The exit for a load-loop report that is not Ok (0 for one that is).
int LoadLoopFail(const Song::LoadLoopReport& report, const std::string& path) {
    if (report.fileResult != audio::SoundResult::Ok) {
        return Fail(report.fileResult, path);
    }
    if (report.tooLong) {
        return Fail(platform::LoadString(kTooLongText),
                    engine::ToInt(engine::SongResult::BadArgument), path);
    }
    if (report.stretchRefused) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, " (ratio %.3f)", report.stretchRatio);
        return Fail(platform::LoadString(engine::kStretchRefusedText) + ratio,
                    engine::ToInt(engine::SongResult::BadArgument), path);
    }
    if (report.stretchCancelled) {
        return Fail("stretch cancelled", engine::ToInt(engine::SongResult::BadArgument), path);
    }
    if (report.songResult != engine::SongResult::Ok) return SongFail(report.songResult, path);
    return 0;
}

}  // namespace

int RunSongInfo(const std::string& path) {
    OfflineSong offline(DefaultDeviceFormat());
    const engine::SongResult result = offline.song.LoadSong(path, 0);
    if (result != engine::SongResult::Ok) return SongFail(result, path);
    Song& song = offline.song;
    std::printf("type: song\n");
    std::printf("tempo: %.3f\n", song.GetTempo());
    std::printf("title: %s\n", song.GetTitle().c_str());
    std::printf("author: %s\n", song.GetAuthor().c_str());
    std::printf("mixed-by: %s\n", song.GetMixedBy().c_str());
    std::printf("notes: %s\n", Escaped(song.GetNotes()).c_str());
    std::printf("master-volume: %d\n", song.GetInitialMasterVolume());
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        std::uint32_t sampleBytes = 0;
        if (!song.IsChannelEmpty(ch)) {
            auto loop = song.OpenChannelSource(ch);
            if (loop) sampleBytes = loop->DataBytes();
        }
        std::printf(
            "channel %d: loaded=%d effect=%d name=\"%s\" volume=%d pan=%d events=%zu "
            "sample-bytes=%u\n",
            ch, song.IsChannelEmpty(ch) ? 0 : 1, song.IsEffect(ch),
            Escaped(song.GetChannelName(ch)).c_str(), song.GetInitialVolume(ch),
            song.GetInitialPan(ch), song.GetEvents(ch)->size(), sampleBytes);
    }
    return kExitOk;
}

int RunPrepare(const std::vector<std::string>& args) {
    static const char* kUsage =
        "tamboro-cli prepare IN OUT --tempo BPM [--rate HZ] [--bits N] [--channels N] "
        "[--effect | --stretch]";
    std::optional<double> tempoOption;
    std::optional<long> rateOption, bitsOption, channelsOption;
    bool effect = false;
    bool stretch = false;
    Options options(kUsage);
    options.Decimal("tempo", 1.0, 1000.0, tempoOption)
        .Flag("effect", effect)
        .Flag("stretch", stretch)
        .Integer("rate", 1000, 192000, rateOption)
        .OneOf("bits", {8, 16}, bitsOption)
        .Integer("channels", 1, 2, channelsOption);
    if (const auto exit = options.Parse(args, 2, 2)) return *exit;
    if (!tempoOption) return options.Error("--tempo is required");
    if (effect && stretch) return options.Error("an effect is never stretched");
    const double tempo = *tempoOption;
    const long rate = rateOption.value_or(44100);
    const long bits = bitsOption.value_or(16);
    const long channels = channelsOption.value_or(2);
    const std::vector<std::string>& paths = options.Positionals();

    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits),
                         static_cast<std::uint16_t>(channels));
    OfflineSong offline(format);
    offline.song.NewSong(tempo);
    if (!IsReadableInput(paths[0])) return Fail(audio::SoundResult::OpenFailed, paths[0]);
    platform::ClearFileFault();
    Song::LoadLoopReport report;
    {
        ProgressBar bar;
        InterruptGuard interrupt;
        report = offline.song.LoadLoop(0, paths[0], StretchChoice(effect, stretch, bar, interrupt));
    }
    if (const int failed = LoadLoopFail(report, paths[0])) return failed;
    auto prepared = offline.song.OpenChannelPrepared(0);
    if (!prepared) return Fail(engine::SongResult::TempFileFailed);
    platform::ClearFileFault();
    const audio::SoundResult saved = audio::SaveWave(*prepared, paths[1], audio::kTypeWav);
    if (saved != audio::SoundResult::Ok) return Fail(saved, paths[1]);
    const std::uint32_t bar = engine::SamplesPerBar(format.nSamplesPerSec, tempo);
    const std::uint32_t bars =
        effect || bar == 0 ? 0 : static_cast<std::uint32_t>(prepared->FrameCount()) / bar;
    std::printf("bars: %u\n", bars);
    if (stretch) std::printf("ratio: %.6f\n", report.stretchRatio);
    return kExitOk;
}

int RunRender(const std::vector<std::string>& args) {
    static const char* kUsage =
        "tamboro-cli render SONG OUT.wav [--rate HZ] [--bits N] [--channels N] [--encoding E]";
    FormatOptions formatOptions;
    Options options(kUsage);
    formatOptions.Declare(options);
    if (const auto exit = options.Parse(args, 2, 2)) return *exit;
    const std::vector<std::string>& paths = options.Positionals();
    std::optional<audio::WAVEFORMATEX> format;
    if (formatOptions.Any()) {
        format = formatOptions.Build(DefaultDeviceFormat());
        if (!format) return options.Error("that format cannot be written");
    }
    OfflineSong offline(DefaultDeviceFormat());
    engine::SongResult result = LoadSongOffline(offline, paths[0]);
    if (result != engine::SongResult::Ok) return SongFail(result, paths[0]);
    platform::ClearFileFault();
    {
        ProgressBar bar;
        result = offline.song.SaveSong(paths[1], Song::kSaveMixdown, format ? &*format : nullptr,
                                       [&](int phase, int ch, int percent) {
                                           // Phase 1 converts each channel's loop to
                                           // the render's format; then it is written.
                                           bar.Show(ProgressText(phase == 1 ? 2 : 3, ch).c_str(),
                                                    percent);
                                       });
    }
    if (result != engine::SongResult::Ok) return SongFail(result, paths[1]);
    return kExitOk;
}

int RunMakeSong(const std::vector<std::string>& args) {
    static const char* kUsage =
        "tamboro-cli make-song OUT.tbo --tempo BPM [--title T] [--author A] [--mixed-by M] "
        "[--notes N] [--loop CH:FILE[:effect|:stretch]]... [--volume CH:V]... [--pan CH:P]... "
        "[--master V] [--mix EVENTS.txt]";
    std::optional<double> tempo;
    std::optional<std::string> title, author, mixedBy, notes, mixPath;
    std::optional<long> master;
    struct LoopArg {
        int ch;
        std::string path;
        bool effect;
        bool stretch;
    };
    std::vector<LoopArg> loops;
    std::map<int, long> volumes, pans;
    Options options(kUsage);
    options.Decimal("tempo", 1.0, 1000.0, tempo)
        .Text("title", title)
        .Text("author", author)
        .Text("mixed-by", mixedBy)
        .Text("notes", notes)
        .Text("mix", mixPath)
        .Integer("master", -10000, 0, master)
        .Custom(
            "loop", "CH:FILE, CH:FILE:effect or CH:FILE:stretch with CH in 0..19",
            [&](const std::string& value) {
                const auto f = Fields(value, 3);
                const auto ch = f.size() >= 2 ? ParseInteger(f[0], 0, 19) : std::nullopt;
                const std::string kind = f.size() == 3 ? f[2] : std::string();
                if (!ch || f[1].empty() ||
                    (f.size() == 3 && kind != "effect" && kind != "stretch")) {
                    return false;
                }
                loops.push_back({static_cast<int>(*ch), f[1], kind == "effect", kind == "stretch"});
                return true;
            })
        .Custom("volume", "CH:V with CH in 0..19 and V in -10000..0",
                ChannelLevel(-10000, 0, volumes))
        .Custom("pan", "CH:P with CH in 0..19 and P in -10000..10000",
                ChannelLevel(-10000, 10000, pans));
    if (const auto exit = options.Parse(args, 1, 1)) return *exit;
    if (!tempo) return options.Error("--tempo is required");
    const std::string& out = options.Positional(0);

    std::vector<engine::MixEvent> events;
    if (mixPath) {
        // Millions of events fit in 64 MB; more is not a mix.
        constexpr std::size_t kMaxMixBytes = std::size_t{64} << 20;
        std::string text;
        platform::ClearFileFault();
        if (!ReadInputText(*mixPath, kMaxMixBytes, text)) {
            return Fail(engine::SongResult::OpenFailed, *mixPath);
        }
        std::string error;
        auto parsed = engine::ParseEventText(text, &error);
        if (!parsed) return options.Error(*mixPath + ": " + error);
        events = std::move(*parsed);
    }

    // No device: the loops are kept as loaded and stored in the file.
    platform::EventLoop loop;
    Song song(loop);
    song.NewSong(*tempo);
    song.SetTitle(title.value_or(""));
    song.SetAuthor(author.value_or(""));
    song.SetMixedBy(mixedBy.value_or(""));
    song.SetNotes(notes.value_or(""));
    for (const LoopArg& l : loops) {
        if (!IsReadableInput(l.path)) return Fail(audio::SoundResult::OpenFailed, l.path);
        platform::ClearFileFault();
        Song::LoadLoopReport report;
        {
            ProgressBar bar;
            InterruptGuard interrupt;
            report =
                song.LoadLoop(l.ch, l.path, StretchChoice(l.effect, l.stretch, bar, interrupt));
        }
        if (const int failed = LoadLoopFail(report, l.path)) return failed;
    }
    for (const auto& [ch, v] : volumes)
        song.SetInitialVolume(ch, static_cast<int>(v));
    for (const auto& [ch, p] : pans)
        song.SetInitialPan(ch, static_cast<int>(p));
    if (master) song.SetInitialMasterVolume(static_cast<int>(*master));
    for (const engine::MixEvent& e : events) {
        engine::InsertEvent(
            (*song.Events(e.kind == engine::kMasterVolume ? 0 : static_cast<int>(e.channel))), e);
    }
    platform::ClearFileFault();
    const engine::SongResult result = song.SaveSong(out, 0, nullptr);
    if (result != engine::SongResult::Ok) return SongFail(result, out);
    return kExitOk;
}

int RunPlaySong(const std::vector<std::string>& args) {
    static const char* kUsage = "tamboro-cli play SONG [--from MS] [--device N]";
    std::optional<long> fromOption, deviceOption;
    Options options(kUsage);
    options.Integer("from", 0, 0x7FFFFFFF, fromOption).Integer("device", -1, 9999, deviceOption);
    if (const auto exit = options.Parse(args, 1, 1)) return *exit;
    const std::string& path = options.Positional(0);
    const long from = fromOption.value_or(0);
    const long deviceIndex = deviceOption.value_or(-1);

    platform::EventLoop loop;
    audio::OutputDevice device(audio::sdl::MakeSdlBackend());
    if (deviceIndex >= device.DeviceCount()) {
        return options.Error("no device " + std::to_string(deviceIndex) +
                             " (see tamboro-cli devices)");
    }
    device.SelectDevice(static_cast<int>(deviceIndex));
    device.SetWindowAndFormat(DefaultDeviceFormat(), 0);
    device.Activate(1);
    if (!device.IsActive()) return Fail(engine::SongResult::NoDevice);

    Song song(loop);
    song.AttachDevice(&device);
    engine::SongResult result;
    {
        ProgressBar bar;
        result = song.LoadSong(
            path, 0, [&](int, int ch, int) { bar.Show(ProgressText(1, ch).c_str(), ch * 5); });
    }
    if (result != engine::SongResult::Ok) {
        song.DetachDevice();
        return SongFail(result, path);
    }
    const engine::SongResult started =
        song.StartPlayback(engine::Millis(static_cast<std::uint32_t>(from)));
    if (started != engine::SongResult::Ok || !song.IsPlayingBack()) {
        song.DetachDevice();
        return started != engine::SongResult::Ok ? SongFail(started, path)
                                                 : Fail(engine::SongResult::NoMix, path);
    }
    const bool terminal = ::isatty(STDOUT_FILENO) != 0;
    InterruptGuard interrupt;
    while (song.IsPlayingBack() && !interrupt.Interrupted()) {
        loop.RunUntil([] { return false; }, std::chrono::milliseconds(50));
        song.PollLive();
        device.Service();
        if (terminal) {
            std::string sounding;
            for (int ch = 0; ch < engine::kChannelCount; ++ch) {
                sounding += song.IsChannelPlaying(ch) ? static_cast<char>('A' + ch) : '.';
            }
            std::printf("\r  %8.2f s  %s", song.PlaybackTime() / 1000.0, sounding.c_str());
            std::fflush(stdout);
        }
    }
    song.StopMix();
    song.DetachDevice();
    device.Activate(0);
    if (terminal) std::printf("\n");
    return kExitOk;
}

}  // namespace tamboro::cli
