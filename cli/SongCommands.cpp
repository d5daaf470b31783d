// The song commands of tamboro-cli: info SONG, prepare, render, make-song
// and play SONG.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
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
#include "engine/LoopFitting.h"
#include "engine/MixEvents.h"
#include "engine/Song.h"
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

int SongFail(int result) {
    return Fail(engine::SongResultMessage(result), result);
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

// --rate/--bits/--channels/--encoding on top of a base format. Sets `error`
// for values out of range.
struct FormatOptions {
    std::optional<long> rate, bits, channels;
    std::optional<std::uint16_t> tag;
    bool Any() const { return rate || bits || channels || tag; }
    // Returns false (with `error`) when an option is not valid.
    bool Take(const std::vector<std::string>& args, std::size_t& i, bool& taken,
              std::string& error) {
        const std::string& a = args[i];
        taken = true;
        const bool hasValue = i + 1 < args.size();
        if (a == "--rate") {
            rate = hasValue ? ParseNumber(args[++i], 1000, 192000) : std::nullopt;
            if (!rate) error = "--rate wants 1000..192000";
        } else if (a == "--bits") {
            bits = hasValue ? ParseNumber(args[++i], 4, 64) : std::nullopt;
            if (!bits) error = "--bits wants a bit depth";
        } else if (a == "--channels") {
            channels = hasValue ? ParseNumber(args[++i], 1, 2) : std::nullopt;
            if (!channels) error = "--channels wants 1 or 2";
        } else if (a == "--encoding") {
            tag = hasValue ? EncodingTag(args[++i]) : std::nullopt;
            if (!tag) error = "--encoding wants pcm, float, mulaw, alaw, ima-adpcm or ms-adpcm";
        } else {
            taken = false;
        }
        return error.empty();
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

int LoadSongOffline(OfflineSong& offline, const std::string& path) {
    ProgressBar bar;
    return offline.song.LoadSong(path, 0, [&](int, int ch, int) {
        bar.Show(("canale " + std::to_string(ch + 1)).c_str(), ch * 5);
    });
}

}  // namespace

int RunSongInfo(const std::string& path) {
    OfflineSong offline(DefaultDeviceFormat());
    const int result = offline.song.LoadSong(path, 0);
    if (result != 0) return SongFail(result);
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
        "tamboro-cli prepare IN OUT --tempo BPM [--rate HZ] [--bits N] [--channels N] [--effect]";
    std::vector<std::string> paths;
    double tempo = 0.0;
    bool effect = false;
    long rate = 44100, bits = 16, channels = 2;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        std::optional<long> v;
        if (a == "--tempo") {
            if (!hasValue) return UsageError("--tempo wants beats a minute", kUsage);
            try {
                tempo = std::stod(args[++i]);
            } catch (...) {
                tempo = 0.0;
            }
            if (!(tempo >= 1.0 && tempo <= 1000.0))
                return UsageError("--tempo wants 1..1000", kUsage);
        } else if (a == "--effect") {
            effect = true;
        } else if (a == "--rate") {
            if (!hasValue || !(v = ParseNumber(args[++i], 1000, 192000))) {
                return UsageError("--rate wants 1000..192000", kUsage);
            }
            rate = *v;
        } else if (a == "--bits") {
            if (!hasValue || !(v = ParseNumber(args[++i], 8, 16)) || (*v != 8 && *v != 16)) {
                return UsageError("--bits wants 8 or 16", kUsage);
            }
            bits = *v;
        } else if (a == "--channels") {
            if (!hasValue || !(v = ParseNumber(args[++i], 1, 2))) {
                return UsageError("--channels wants 1 or 2", kUsage);
            }
            channels = *v;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("unknown option " + a, kUsage);
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() != 2) return UsageError("prepare takes IN and OUT", kUsage);
    if (tempo == 0.0) return UsageError("--tempo is required", kUsage);

    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits),
                         static_cast<std::uint16_t>(channels));
    OfflineSong offline(format);
    offline.song.NewSong(tempo);
    const Song::LoadLoopReport report = offline.song.LoadLoop(0, paths[0], effect);
    if (report.fileResult != 0)
        return Fail(audio::ErrorTextB(report.fileResult), report.fileResult);
    if (report.tooLong) return Fail(platform::LoadString(1014), 1);
    if (report.songResult != 0) return SongFail(report.songResult);
    auto prepared = offline.song.OpenChannelPrepared(0);
    if (!prepared) return SongFail(8);
    const audio::SoundResult saved = audio::SaveWave(*prepared, paths[1], audio::kTypeWav);
    if (saved != audio::SoundResult::Ok) {
        return Fail(audio::ErrorTextB(audio::ToInt(saved)), audio::ToInt(saved));
    }
    const std::uint32_t bar = engine::SamplesPerBar(format.nSamplesPerSec, tempo);
    const std::uint32_t bars =
        effect || bar == 0 ? 0 : static_cast<std::uint32_t>(prepared->FrameCount()) / bar;
    std::printf("bars: %u\n", bars);
    return kExitOk;
}

int RunRender(const std::vector<std::string>& args) {
    static const char* kUsage =
        "tamboro-cli render SONG OUT.wav [--rate HZ] [--bits N] [--channels N] [--encoding E]";
    std::vector<std::string> paths;
    FormatOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool taken = false;
        std::string error;
        if (!options.Take(args, i, taken, error)) return UsageError(error, kUsage);
        if (taken) continue;
        if (!args[i].empty() && args[i][0] == '-') {
            return UsageError("unknown option " + args[i], kUsage);
        }
        paths.push_back(args[i]);
    }
    if (paths.size() != 2) return UsageError("render takes SONG and OUT.wav", kUsage);
    std::optional<audio::WAVEFORMATEX> format;
    if (options.Any()) {
        format = options.Build(DefaultDeviceFormat());
        if (!format) return UsageError("that format cannot be written", kUsage);
    }
    OfflineSong offline(DefaultDeviceFormat());
    int result = LoadSongOffline(offline, paths[0]);
    if (result != 0) return SongFail(result);
    {
        ProgressBar bar;
        result =
            offline.song.SaveSong(paths[1], Song::kSaveMixdown, format ? &*format : nullptr,
                                  [&](int phase, int, int percent) {
                                      bar.Show(phase == 1 ? "preparazione" : "mixaggio", percent);
                                  });
    }
    if (result != 0) return SongFail(result);
    return kExitOk;
}

int RunMakeSong(const std::vector<std::string>& args) {
    static const char* kUsage =
        "tamboro-cli make-song OUT.tbo --tempo BPM [--title T] [--author A] [--mixed-by M] "
        "[--notes N] [--loop CH:FILE[:effect]]... [--volume CH:V]... [--pan CH:P]... "
        "[--master V] [--mix EVENTS.txt]";
    std::string out, title, author, mixedBy, notes, mixPath;
    double tempo = 0.0;
    std::optional<long> master;
    struct LoopArg {
        int ch;
        std::string path;
        bool effect;
    };
    std::vector<LoopArg> loops;
    std::map<int, long> volumes, pans;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const auto value = [&]() -> const std::string& { return args[++i]; };
        if (!a.empty() && a[0] == '-' && !hasValue) return UsageError(a + " wants a value", kUsage);
        if (a == "--tempo") {
            try {
                tempo = std::stod(value());
            } catch (...) {
                tempo = 0.0;
            }
            if (!(tempo >= 1.0 && tempo <= 1000.0))
                return UsageError("--tempo wants 1..1000", kUsage);
        } else if (a == "--title") {
            title = value();
        } else if (a == "--author") {
            author = value();
        } else if (a == "--mixed-by") {
            mixedBy = value();
        } else if (a == "--notes") {
            notes = value();
        } else if (a == "--mix") {
            mixPath = value();
        } else if (a == "--master") {
            master = ParseNumber(value(), -10000, 0);
            if (!master) return UsageError("--master wants -10000..0", kUsage);
        } else if (a == "--loop") {
            const auto f = Fields(value(), 3);
            const auto ch = f.size() >= 2 ? ParseNumber(f[0], 0, 19) : std::nullopt;
            if (!ch || f[1].empty() || (f.size() == 3 && f[2] != "effect")) {
                return UsageError("--loop wants CH:FILE or CH:FILE:effect", kUsage);
            }
            loops.push_back({static_cast<int>(*ch), f[1], f.size() == 3});
        } else if (a == "--volume" || a == "--pan") {
            const auto f = Fields(value(), 2);
            const bool volume = a == "--volume";
            const auto ch = f.size() == 2 ? ParseNumber(f[0], 0, 19) : std::nullopt;
            const auto v =
                f.size() == 2 ? ParseNumber(f[1], -10000, volume ? 0 : 10000) : std::nullopt;
            if (!ch || !v) {
                return UsageError(
                    volume ? "--volume wants CH:-10000..0" : "--pan wants CH:-10000..10000",
                    kUsage);
            }
            (volume ? volumes : pans)[static_cast<int>(*ch)] = *v;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("unknown option " + a, kUsage);
        } else if (out.empty()) {
            out = a;
        } else {
            return UsageError("one song at a time", kUsage);
        }
    }
    if (out.empty()) return UsageError("no song file given", kUsage);
    if (tempo == 0.0) return UsageError("--tempo is required", kUsage);

    std::vector<engine::MixEvent> events;
    if (!mixPath.empty()) {
        std::ifstream in(mixPath, std::ios::binary);
        if (!in) return Fail(platform::LoadString(1002), 10);
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        std::string error;
        auto parsed = engine::ParseEventText(text, &error);
        if (!parsed) return UsageError(mixPath + ": " + error, kUsage);
        events = std::move(*parsed);
    }

    // No device: the loops are kept as loaded and stored in the file.
    platform::EventLoop loop;
    Song song(loop);
    song.NewSong(tempo);
    song.SetTitle(title);
    song.SetAuthor(author);
    song.SetMixedBy(mixedBy);
    song.SetNotes(notes);
    for (const LoopArg& l : loops) {
        const Song::LoadLoopReport report = song.LoadLoop(l.ch, l.path, l.effect);
        if (report.fileResult != 0) {
            return Fail(audio::ErrorTextB(report.fileResult) + " (" + l.path + ")",
                        report.fileResult);
        }
        if (report.tooLong) return Fail(platform::LoadString(1014) + " (" + l.path + ")", 1);
        if (report.songResult != 0) return SongFail(report.songResult);
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
    const int result = song.SaveSong(out, 0, nullptr);
    if (result != 0) return SongFail(result);
    return kExitOk;
}

int RunPlaySong(const std::vector<std::string>& args) {
    static const char* kUsage = "tamboro-cli play SONG [--from MS] [--device N]";
    std::string path;
    long from = 0, deviceIndex = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        std::optional<long> v;
        if (a == "--from") {
            if (!hasValue || !(v = ParseNumber(args[++i], 0, 0x7FFFFFFF))) {
                return UsageError("--from wants milliseconds", kUsage);
            }
            from = *v;
        } else if (a == "--device") {
            if (!hasValue || !(v = ParseNumber(args[++i], -1, 9999))) {
                return UsageError("--device wants an index from 'tamboro-cli devices'", kUsage);
            }
            deviceIndex = *v;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("unknown option " + a, kUsage);
        } else if (path.empty()) {
            path = a;
        } else {
            return UsageError("one song at a time", kUsage);
        }
    }
    if (path.empty()) return UsageError("no song given", kUsage);

    platform::EventLoop loop;
    audio::OutputDevice device(audio::sdl::MakeSdlBackend());
    if (deviceIndex >= device.DeviceCount()) {
        return UsageError("no device " + std::to_string(deviceIndex) + " (see tamboro-cli devices)",
                          kUsage);
    }
    device.SelectDevice(static_cast<int>(deviceIndex));
    device.SetWindowAndFormat(DefaultDeviceFormat(), 0);
    device.Activate(1);
    if (!device.IsActive()) return SongFail(2);

    Song song(loop);
    song.AttachDevice(&device);
    int result;
    {
        ProgressBar bar;
        result = song.LoadSong(path, 0, [&](int, int ch, int) {
            bar.Show(("canale " + std::to_string(ch + 1)).c_str(), ch * 5);
        });
    }
    if (result != 0) {
        song.DetachDevice();
        return SongFail(result);
    }
    const engine::SongResult started =
        song.StartPlayback(engine::Millis(static_cast<std::uint32_t>(from)));
    if (started != engine::SongResult::Ok || !song.IsPlayingBack()) {
        song.DetachDevice();
        return started != engine::SongResult::Ok ? SongFail(engine::ToInt(started))
                                                 : Fail(engine::SongResultMessage(6), 6);
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
