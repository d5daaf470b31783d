#pragma once
// Format tags the converter knows, how a wave format record maps onto a
// sample codec, and the data side of the output-format chooser: which
// formats can be made from a source format and what each tag is called.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "audio/convert/codecs/SampleCodec.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

inline constexpr std::uint16_t kFormatMsAdpcm = 0x0002;
inline constexpr std::uint16_t kFormatIeeeFloat = 0x0003;
inline constexpr std::uint16_t kFormatALaw = 0x0006;
inline constexpr std::uint16_t kFormatMuLaw = 0x0007;
inline constexpr std::uint16_t kFormatImaAdpcm = 0x0011;
inline constexpr std::uint16_t kFormatExtensible = 0xFFFE;

// Sample rates accepted from files and by the converter, in Hz.
inline constexpr std::uint32_t kMinRate = 1;
inline constexpr std::uint32_t kMaxRate = 1000000;
// The converter changes rates by at most this factor either way.
inline constexpr std::uint32_t kMaxRateRatio = 256;

// Whether the converter changes `from` Hz into `to` Hz.
bool RatesConvertible(std::uint32_t from, std::uint32_t to);

// The tag that says how the samples are coded: the record's own tag, or for
// WAVE_FORMAT_EXTENSIBLE the tag inside its sub-format GUID. Nothing when
// an extensible record is too short or its GUID is not of the tag family.
std::optional<std::uint16_t> EffectiveTag(const WAVEFORMATEX& format);

// The codec for a format, after checking every field against the coding:
// usable (IsUsableFormat), rate within kMinRate..kMaxRate, channels within
// the codec limit, block alignment and bits matching the coding, ADPCM
// extra bytes present and consistent. Nothing when any check fails or the
// tag is not one the converter codes.
std::optional<codecs::CodecParams> DescribeFormat(const WAVEFORMATEX& format);

// Frames the samples of `bytes` bytes hold in `format` (0 when the format
// cannot be described).
std::uint64_t FramesInBytes(const WAVEFORMATEX& format, std::uint64_t bytes);

// Display name of a format tag: "PCM", "IEEE Float", "CCITT u-Law",
// "CCITT A-Law", "IMA ADPCM", "Microsoft ADPCM", "Extensible"; empty for
// others.
std::string_view FormatTagName(std::uint16_t tag);

// Fills `format` as the program writes formats of `tag`: PCM with 8, 16, 24
// or 32 bits; IEEE float with 32 or 64; u-law and A-law with 8; the ADPCM
// tags with 4 bits and blocks of 256 bytes per channel per 11025 Hz, with
// their extra bytes. Returns false (leaving `format` alone) for a tag or
// bit depth not among these, or channels/rate out of range.
bool MakeFormat(WAVEFORMATEX& format, std::uint16_t tag, std::uint32_t rate, std::uint16_t bits,
                std::uint16_t channels);

// The formats the converter can produce from `source`, grouped by tag in
// the order PCM, IEEE Float, u-law, A-law, IMA ADPCM, Microsoft ADPCM, each
// over the common rates (and the source's own) and mono/stereo (and the
// source's own channel count). Empty when the source cannot be decoded.
struct ChooserGroup {
    std::uint16_t tag;
    std::string_view name;
    std::vector<WAVEFORMATEX> formats;
};
std::vector<ChooserGroup> ConvertibleFormats(const WAVEFORMATEX& source);

// Whether two records describe the same samples: tag, rate, bits,
// channels, block alignment and extra bytes.
bool SameCoding(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

}  // namespace tamboro::audio
