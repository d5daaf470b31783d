#pragma once
// Reading and writing sound files: WAV (RIFF WAVE), AIFF/AIFF-C and AU/SND.
// LoadWave and SaveWave pick the reader or writer by the type selector in
// the high 16 bits of `flags`, or by the file name's extension.
//
// Called on one thread at a time per wave; the progress callback runs on
// the caller's thread.
#include <cstdint>
#include <memory>
#include <string>

#include "audio/wave/ByteStream.h"
#include "audio/wave/SoundResult.h"
#include "audio/wave/Wave.h"

namespace tamboro::audio {

// progress(context, phase, percent), percent 0..100. Load phases: 0 while a
// load copies or converts samples, 2 while a copying load converts a non-PCM
// file (0..50 %); save phase 1.
using SoundProgress = void (*)(void* context, std::uint32_t phase, std::uint32_t percent);

enum SoundFileFlags : std::uint32_t {
    // Type selector (high 16 bits); 0 = by extension.
    kTypeByExtension = 0,
    kTypeWav = 0x10000,
    kTypeAu = 0x20000,
    kTypeAiff = 0x30000,
    kTypeMask = 0xFFFF0000,
    // Load flags.
    kLoadShare = 0x01,          // passed to the file mapping (no effect here)
    kLoadFormatOnly = 0x02,     // keep the format, no samples (state 1)
    kLoadCopy = 0x04,           // copy the samples into memory
    kLoadMapped = 0x08,         // keep the samples in the file mapping
    kLoadConvertToPcm = 0x10,   // a non-PCM file becomes PCM 16-bit while loading
    kLoadMappingOption = 0x20,  // passed to the mapping when samples stay mapped
    // Save flag: the file is one of the program's temporary files, which
    // nobody else reads: WAV written in place, without syncing to the disk.
    kSaveScratch = 0x100,
    // Save flag: a WAV file's INFO texts are written in Windows-1252 (a
    // character it lacks becomes '?'), as every text inside a song file is.
    // Without it they are written in UTF-8. The reader takes both.
    kSaveCp1252Texts = 0x200
};

enum class SoundFileType : std::uint32_t { Unknown = 0, Wav = 1, Au = 2, Aiff = 3 };

// The type the selector in `flags` names, or by the extension of `path`
// (case-insensitive: "wav"; "au", "snd"; "aif", "aiff").
SoundFileType FileTypeOf(const std::string& path, std::uint32_t flags);

// Reads `path` into `wave`. Codes: Ok; LoadUnknownType; OpenFailed;
// InvalidFile; OutOfMemory; Damaged; ConversionUnavailable (AU encoding,
// AIFF compression or channel count not supported); ConverterOpenFailed; a
// failing temporary save's code. A failed load leaves the wave empty.
SoundResult LoadWave(Wave& wave, const std::string& path, std::uint32_t flags,
                     SoundProgress progress = nullptr, void* context = nullptr);

// Writes `wave` to `path` in `outputFormat` (the wave's own format when
// null). For AU/SND files the output format's tag chooses the encoding:
// PCM (or null) linear at the wave's width, u-law (7) or A-law (6); any
// other tag gives SaveUnknownType. AIFF takes channels and rate from the
// output format and the bits from the wave. Codes: Ok; NoSamples;
// SaveUnknownType; CreateFailed; WriteFailed; ConversionUnavailable;
// AuHeaderWriteFailed. The file is replaced only when it was written
// completely. A WAV save gives the wave an INAM text (the file's title)
// when it had none and the save succeeded.
SoundResult SaveWave(Wave& wave, const std::string& path, std::uint32_t flags,
                     const WAVEFORMATEX* outputFormat = nullptr, SoundProgress progress = nullptr,
                     void* context = nullptr);

// Writes a WAV file whose samples, in `format`, come from `samples`, which
// delivers `bytes` bytes (reading stops early when it ends sooner), converted
// to `outputFormat` when given; the file's title (INAM) is its name. For
// samples made while the file is written, so that they never need to be in
// memory at once. Codes and the safe replacement as SaveWave; NoSamples
// without a stream or with an unusable format.
SoundResult SaveWaveStream(std::unique_ptr<ByteStream> samples, const WAVEFORMATEX& format,
                           std::uint32_t bytes, const std::string& path,
                           const WAVEFORMATEX* outputFormat = nullptr,
                           SoundProgress progress = nullptr, void* context = nullptr);

// Reads a RIFF WAVE image in memory into `wave` without copying the
// samples: the wave borrows them (state 3) and the image must outlive it.
// Returns 1, or 0 (the wave empty) when the image is not a usable WAV.
int ParseRiffWave(Wave& wave, const std::uint8_t* image, std::size_t bytes);

}  // namespace tamboro::audio
