#pragma once
// The wave format record: the body of a WAV "fmt " chunk.
//
//   offset  size  field
//   0       2     wFormatTag       1 = PCM; others go through the converter
//   2       2     nChannels
//   4       4     nSamplesPerSec   frames per second
//   8       4     nAvgBytesPerSec
//   12      2     nBlockAlign      bytes per frame (per block when compressed)
//   14      2     wBitsPerSample
//   16      2     cbSize           extra format bytes that follow
//   18      n     extra            (not for PCM)
//
// All fields little-endian on disk.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tamboro::audio {

inline constexpr std::uint16_t kFormatPcm = 1;

struct WAVEFORMATEX {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
    // The cbSize extra bytes of a compressed format; always empty for PCM.
    std::vector<std::uint8_t> extra;

    friend bool operator==(const WAVEFORMATEX&, const WAVEFORMATEX&) = default;
};

// The copy rule: a PCM record copies as exactly 18 bytes (cbSize and any
// extra bytes are not carried); any other record copies as 18 + cbSize bytes.
// Returns the number of bytes the copy rule gives for `format`.
std::size_t FormatCopySize(const WAVEFORMATEX& format);
// A copy of `format` by the copy rule (extra trimmed or zero-padded to cbSize).
WAVEFORMATEX CopyFormat(const WAVEFORMATEX& format);

// Parses a record from the bytes of a "fmt " chunk. A 16-byte record (no
// cbSize) is accepted as cbSize 0. Returns nothing when the bytes are too
// short for the record or its declared extra bytes.
std::optional<WAVEFORMATEX> ParseFormat(std::span<const std::uint8_t> bytes);
// Serialises by the copy rule.
std::vector<std::uint8_t> SerializeFormat(const WAVEFORMATEX& format);

// Whether a record can be divided by: nonzero channels, rate, block
// alignment and bytes per second. Every format that enters from outside is
// checked with this before use.
bool IsUsableFormat(const WAVEFORMATEX& format);

// Fills `format` as PCM with the given rate, bits and channels; returns
// nAvgBytesPerSec.
std::uint32_t MakePcmFormat(WAVEFORMATEX& format, std::uint32_t rate, std::uint16_t bits,
                            std::uint16_t channels);

// PCM layouts the mixers, writers and frame accessors switch on.
enum class PcmLayout : std::uint32_t {
    None = 0,  // not PCM, or PCM other than 8/16 bits and 1/2 channels
    Mono8 = 1,
    Stereo8 = 2,
    Mono16 = 3,
    Stereo16 = 4,
};

PcmLayout LayoutOf(const WAVEFORMATEX* format);
inline PcmLayout LayoutOf(const WAVEFORMATEX& format) {
    return LayoutOf(&format);
}
// 0, 1, 2, 2, 4 bytes for the five layouts.
std::uint32_t BytesPerFrame(PcmLayout layout);

}  // namespace tamboro::audio
