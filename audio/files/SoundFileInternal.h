#pragma once
// Pieces shared by the WAV, AIFF and AU readers and writers.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/files/SoundFile.h"
#include "base/Storage.h"

namespace tamboro::audio::detail {

inline bool IdIs(const std::uint8_t* p, const char (&id)[5]) {
    return p[0] == static_cast<std::uint8_t>(id[0]) && p[1] == static_cast<std::uint8_t>(id[1]) &&
           p[2] == static_cast<std::uint8_t>(id[2]) && p[3] == static_cast<std::uint8_t>(id[3]);
}

// A mapped, locked, read-only image of a whole file.
struct MappedFile {
    std::unique_ptr<base::MappedStorage> storage;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
// OpenFailed when the file cannot be opened or mapped; InvalidFile when it
// is empty.
SoundResult MapWholeFile(const std::string& path, MappedFile& out);

// Records why a reader refused `path` (for readers that know no more than
// their result): a damaged size or header, impossible values, or a coding
// that cannot be read here. Nothing for other results.
void NoteReadFault(const std::string& path, SoundResult result);

// Whether new samples live in a mapped temporary file (else in memory).
bool KeepMapped(const Wave& wave, std::uint32_t flags);

void Report(SoundProgress progress, void* context, std::uint32_t phase, std::uint64_t done,
            std::uint64_t total);

// The parts of a RIFF WAVE image.
struct RiffWaveParts {
    WAVEFORMATEX format;
    std::size_t dataOffset = 0;
    std::uint32_t dataBytes = 0;
    std::array<std::optional<std::string>, 23> info;
    // What is wrong with an image that was refused, in words for the user.
    const char* fault = nullptr;
};
SoundResult ParseRiffWaveImage(const std::uint8_t* image, std::size_t bytes, RiffWaveParts& out);

SoundResult LoadRiffWave(Wave& wave, const std::string& path, std::uint32_t flags,
                         SoundProgress progress, void* context);
SoundResult SaveRiffWave(Wave& wave, const std::string& path, const WAVEFORMATEX* outputFormat,
                         SoundProgress progress, void* context, std::uint32_t saveFlags = 0);
SoundResult SaveRiffWaveStream(std::unique_ptr<ByteStream> samples, const WAVEFORMATEX& format,
                               std::uint32_t bytes, const std::string& path,
                               const WAVEFORMATEX* outputFormat, SoundProgress progress,
                               void* context);
// The AIFF and AU readers over a whole file image (the loaders map the file
// and call these; the fuzz harnesses call them directly). The samples are
// converted into new memory of the wave, so the image may go afterwards.
SoundResult ReadAiffImage(Wave& wave, const std::uint8_t* image, std::size_t bytes,
                          std::uint32_t flags, SoundProgress progress, void* context);
SoundResult ReadAuImage(Wave& wave, const std::uint8_t* image, std::size_t bytes,
                        std::uint32_t flags, SoundProgress progress, void* context);
// AIFF's 80-bit extended sample rate: decoded to whole Hz (0 when negative
// or its exponent lies outside 0x3FFF..0x4011); encoded exactly.
std::uint32_t DecodeExtendedRate(const std::uint8_t* p);
void EncodeExtendedRate(std::uint32_t rate, std::uint8_t* p);

SoundResult LoadAiff(Wave& wave, const std::string& path, std::uint32_t flags,
                     SoundProgress progress, void* context);
SoundResult SaveAiff(const Wave& wave, const std::string& path, const WAVEFORMATEX* outputFormat,
                     SoundProgress progress, void* context);
SoundResult LoadAu(Wave& wave, const std::string& path, std::uint32_t flags, SoundProgress progress,
                   void* context);
// encoding: 0 linear, 1 u-law, 2 A-law.
SoundResult SaveAu(const Wave& wave, const std::string& path, std::uint32_t encoding,
                   SoundProgress progress, void* context);

}  // namespace tamboro::audio::detail
