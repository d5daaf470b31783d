#include "audio/files/SoundFile.h"

#include <algorithm>
#include <cctype>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFileInternal.h"
#include "platform/FileFault.h"
#include "platform/TempFiles.h"

namespace tamboro::audio {
namespace detail {

SoundResult MapWholeFile(const std::string& path, MappedFile& out) {
    out = MappedFile{};
    auto storage = std::make_unique<base::MappedStorage>(0, path, false, std::string(), true);
    if (!storage->IsOpen()) return SoundResult::OpenFailed;
    if (storage->Size() == 0) {
        platform::NoteFileFault(path, "empty file");
        return SoundResult::InvalidFile;
    }
    void* data = storage->Lock();
    if (data == nullptr) return SoundResult::OpenFailed;
    out.data = static_cast<const std::uint8_t*>(data);
    out.size = storage->Size();
    out.storage = std::move(storage);
    return SoundResult::Ok;
}

void NoteReadFault(const std::string& path, SoundResult result) {
    switch (result) {
        case SoundResult::Damaged:
            platform::NoteFileFault(path,
                                    "damaged: a wrong magic, or a size or offset beyond "
                                    "the end of the file");
            break;
        case SoundResult::InvalidFile:
            platform::NoteFileFault(path, "impossible channels, bits or rate in the header");
            break;
        case SoundResult::ConversionUnavailable:
            platform::NoteFileFault(path, "a coding or channel count that cannot be read");
            break;
        default:
            break;
    }
}

bool KeepMapped(const Wave& wave, std::uint32_t flags) {
    if (flags & kLoadMapped) return true;
    if (flags & kLoadCopy) return false;
    return wave.StorageMode() != 0;
}

void Report(SoundProgress progress, void* context, std::uint32_t phase, std::uint64_t done,
            std::uint64_t total) {
    if (progress == nullptr) return;
    // 64-bit: done x 100 passes 32 bits for large files.
    const std::uint64_t percent =
        total == 0 ? 100 : std::min<std::uint64_t>(done * 100 / total, 100);
    progress(context, phase, static_cast<std::uint32_t>(percent));
}

}  // namespace detail

SoundFileType FileTypeOf(const std::string& path, std::uint32_t flags) {
    switch (flags & kTypeMask) {
        case kTypeWav:
            return SoundFileType::Wav;
        case kTypeAu:
            return SoundFileType::Au;
        case kTypeAiff:
            return SoundFileType::Aiff;
        case kTypeByExtension:
            break;
        default:
            return SoundFileType::Unknown;
    }
    std::string extension;
    platform::SplitPath(path, nullptr, nullptr, &extension);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (extension == "WAV") return SoundFileType::Wav;
    if (extension == "AU" || extension == "SND") return SoundFileType::Au;
    if (extension == "AIF" || extension == "AIFF") return SoundFileType::Aiff;
    return SoundFileType::Unknown;
}

SoundResult LoadWave(Wave& wave, const std::string& path, std::uint32_t flags,
                     SoundProgress progress, void* context) {
    SoundResult r;
    switch (FileTypeOf(path, flags)) {
        case SoundFileType::Wav:
            r = detail::LoadRiffWave(wave, path, flags, progress, context);
            break;
        case SoundFileType::Au:
            r = detail::LoadAu(wave, path, flags, progress, context);
            break;
        case SoundFileType::Aiff:
            r = detail::LoadAiff(wave, path, flags, progress, context);
            break;
        default:
            wave.Reset();
            return SoundResult::LoadUnknownType;
    }
    if (r != SoundResult::Ok) wave.Reset();
    return r;
}

SoundResult SaveWaveStream(std::unique_ptr<ByteStream> samples, const WAVEFORMATEX& format,
                           std::uint32_t bytes, const std::string& path,
                           const WAVEFORMATEX* outputFormat, SoundProgress progress,
                           void* context) {
    return detail::SaveRiffWaveStream(std::move(samples), format, bytes, path, outputFormat,
                                      progress, context);
}

SoundResult SaveWave(Wave& wave, const std::string& path, std::uint32_t flags,
                     const WAVEFORMATEX* outputFormat, SoundProgress progress, void* context) {
    if (!wave.HasSamples() || wave.Format() == nullptr) return SoundResult::NoSamples;
    switch (FileTypeOf(path, flags)) {
        case SoundFileType::Wav:
            return detail::SaveRiffWave(wave, path, outputFormat, progress, context, flags);
        case SoundFileType::Aiff:
            return detail::SaveAiff(wave, path, outputFormat, progress, context);
        case SoundFileType::Au: {
            std::uint32_t encoding = 0;
            if (outputFormat != nullptr) {
                switch (outputFormat->wFormatTag) {
                    case kFormatPcm:
                        encoding = 0;
                        break;
                    case kFormatMuLaw:
                        encoding = 1;
                        break;
                    case kFormatALaw:
                        encoding = 2;
                        break;
                    default:
                        return SoundResult::SaveUnknownType;
                }
            }
            return detail::SaveAu(wave, path, encoding, progress, context);
        }
        default:
            return SoundResult::SaveUnknownType;
    }
}

}  // namespace tamboro::audio
