// tamboro-cli info FILE: the format of a sound file as "key: value" lines.
#include <cstdio>
#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/Options.h"

namespace tamboro::cli {
namespace {

constexpr const char* kUsage = "tamboro-cli info FILE";

const char* TypeName(audio::SoundFileType type) {
    switch (type) {
        case audio::SoundFileType::Wav:
            return "wav";
        case audio::SoundFileType::Aiff:
            return "aiff";
        case audio::SoundFileType::Au:
            return "au";
        default:
            return "unknown";
    }
}

std::string FormatName(const audio::WAVEFORMATEX& f) {
    const auto tag = audio::EffectiveTag(f);
    const std::string_view inner = tag ? audio::FormatTagName(*tag) : std::string_view();
    if (f.wFormatTag == audio::kFormatExtensible) {
        return inner.empty() ? std::string("Extensible")
                             : "Extensible (" + std::string(inner) + ")";
    }
    return inner.empty() ? std::string("unknown") : std::string(inner);
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    Options options(kUsage);
    if (const auto exit = options.Parse(args, 1, 1)) return *exit;
    const std::string& path = options.Positional(0);
    if (IsSongFile(path)) return RunSongInfo(path);
    if (!IsReadableInput(path)) return Fail(audio::SoundResult::OpenFailed, path);
    const audio::SoundFileType type = audio::FileTypeOf(path, 0);
    audio::Wave wave;
    const audio::SoundResult r = audio::LoadWave(wave, path, audio::kLoadMapped);
    if (r != audio::SoundResult::Ok) return Fail(r, path);
    const audio::WAVEFORMATEX& f = *wave.Format();
    const std::uint64_t bytes = wave.DataBytes();
    // Frames from the codec when it knows the coding (exact for ADPCM),
    // else through the byte rate as the wave counts them.
    std::uint64_t frames = audio::FramesInBytes(f, bytes);
    if (frames == 0 && bytes > 0) frames = static_cast<std::uint64_t>(wave.FrameCount());
    // 64-bit: bytes x 1000 passes 32 bits for files above 4 MB.
    const std::uint64_t lengthMs = f.nAvgBytesPerSec != 0 ? bytes * 1000 / f.nAvgBytesPerSec : 0;
    std::printf("type: %s\n", TypeName(type));
    std::printf("format-tag: %u\n", static_cast<unsigned>(f.wFormatTag));
    std::printf("format: %s\n", FormatName(f).c_str());
    std::printf("channels: %u\n", static_cast<unsigned>(f.nChannels));
    std::printf("rate: %u\n", static_cast<unsigned>(f.nSamplesPerSec));
    std::printf("bits: %u\n", static_cast<unsigned>(f.wBitsPerSample));
    std::printf("block-align: %u\n", static_cast<unsigned>(f.nBlockAlign));
    std::printf("bytes-per-second: %u\n", static_cast<unsigned>(f.nAvgBytesPerSec));
    std::printf("data-bytes: %llu\n", static_cast<unsigned long long>(bytes));
    std::printf("frames: %llu\n", static_cast<unsigned long long>(frames));
    std::printf("length-ms: %llu\n", static_cast<unsigned long long>(lengthMs));
    for (std::size_t i = 0; i < audio::kInfoIds.size(); ++i) {
        const auto& text = wave.InfoAt(i);
        if (text) {
            std::printf("%.*s: %s\n", static_cast<int>(audio::kInfoIds[i].size()),
                        audio::kInfoIds[i].data(), text->c_str());
        }
    }
    return kExitOk;
}

}  // namespace tamboro::cli
