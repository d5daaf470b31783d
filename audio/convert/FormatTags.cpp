#include "audio/convert/FormatTags.h"

#include <algorithm>

#include "audio/convert/codecs/MsAdpcm.h"
#include "base/ByteOrder.h"

namespace tamboro::audio {
namespace {

using codecs::Coding;

// The fixed tail of every tag-family sub-format GUID
// {xxxxxxxx-0000-0010-8000-00AA00389B71}, as its bytes lie in the record.
constexpr std::uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                        0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

bool RatesConvertible(std::uint32_t from, std::uint32_t to) {
    if (from < kMinRate || to < kMinRate || from > kMaxRate || to > kMaxRate) return false;
    return std::uint64_t{from} <= std::uint64_t{to} * kMaxRateRatio &&
           std::uint64_t{to} <= std::uint64_t{from} * kMaxRateRatio;
}

std::optional<std::uint16_t> EffectiveTag(const WAVEFORMATEX& format) {
    if (format.wFormatTag != kFormatExtensible) return format.wFormatTag;
    // Extra bytes: valid bits (2), channel mask (4), sub-format GUID (16).
    if (format.extra.size() < 22) return std::nullopt;
    const std::uint8_t* guid = format.extra.data() + 6;
    const std::uint32_t data1 = base::LoadLe<32>(guid);
    if (data1 > 0xFFFF || data1 == kFormatExtensible) return std::nullopt;
    if (!std::equal(std::begin(kGuidTail), std::end(kGuidTail), guid + 4)) return std::nullopt;
    return static_cast<std::uint16_t>(data1);
}

std::optional<codecs::CodecParams> DescribeFormat(const WAVEFORMATEX& format) {
    if (!IsUsableFormat(format)) return std::nullopt;
    if (format.nSamplesPerSec < kMinRate || format.nSamplesPerSec > kMaxRate) return std::nullopt;
    const auto tag = EffectiveTag(format);
    if (!tag) return std::nullopt;
    const std::uint32_t channels = format.nChannels;
    const std::uint32_t align = format.nBlockAlign;
    const std::uint32_t bits = format.wBitsPerSample;
    switch (*tag) {
        case kFormatPcm: {
            if (align % channels != 0) return std::nullopt;
            const std::uint32_t width = align / channels;
            if (width < 1 || width > 4 || bits == 0 || bits > 8 * width) return std::nullopt;
            const Coding coding = width == 1   ? Coding::PcmU8
                                  : width == 2 ? Coding::PcmS16
                                  : width == 3 ? Coding::PcmS24
                                               : Coding::PcmS32;
            return codecs::MakeCodecParams(coding, channels, align, 1);
        }
        case kFormatIeeeFloat: {
            if (align == 4 * channels && bits == 32)
                return codecs::MakeCodecParams(Coding::Float32, channels, align, 1);
            if (align == 8 * channels && bits == 64)
                return codecs::MakeCodecParams(Coding::Float64, channels, align, 1);
            return std::nullopt;
        }
        case kFormatMuLaw:
        case kFormatALaw:
            if (align != channels || bits != 8) return std::nullopt;
            return codecs::MakeCodecParams(*tag == kFormatMuLaw ? Coding::MuLaw : Coding::ALaw,
                                           channels, align, 1);
        case kFormatImaAdpcm: {
            if (bits != 4) return std::nullopt;
            const std::uint32_t perBlock = format.extra.size() >= 2 && format.wFormatTag == *tag
                                               ? base::LoadLe<16>(format.extra.data())
                                               : 0;
            return codecs::MakeCodecParams(Coding::ImaAdpcm, channels, align, perBlock);
        }
        case kFormatMsAdpcm: {
            if (bits != 4 || format.wFormatTag != kFormatMsAdpcm) return std::nullopt;
            std::uint32_t perBlock = 0;
            std::vector<codecs::MsCoef> coefs;
            if (format.extra.size() >= 4) {
                perBlock = base::LoadLe<16>(format.extra.data());
                const std::size_t count = base::LoadLe<16>(format.extra.data() + 2);
                if (count == 0 || format.extra.size() < 4 + 4 * count) return std::nullopt;
                for (std::size_t i = 0; i < count; ++i) {
                    const std::uint8_t* p = format.extra.data() + 4 + 4 * i;
                    coefs.push_back({static_cast<std::int16_t>(base::LoadLe<16>(p)),
                                     static_cast<std::int16_t>(base::LoadLe<16>(p + 2))});
                }
            }
            return codecs::MakeCodecParams(Coding::MsAdpcm, channels, align, perBlock,
                                           std::move(coefs));
        }
        default:
            return std::nullopt;
    }
}

std::uint64_t FramesInBytes(const WAVEFORMATEX& format, std::uint64_t bytes) {
    const auto params = DescribeFormat(format);
    return params ? codecs::FramesInBytes(*params, bytes) : 0;
}

std::string_view FormatTagName(std::uint16_t tag) {
    switch (tag) {
        case kFormatPcm:
            return "PCM";
        case kFormatIeeeFloat:
            return "IEEE Float";
        case kFormatMuLaw:
            return "CCITT u-Law";
        case kFormatALaw:
            return "CCITT A-Law";
        case kFormatImaAdpcm:
            return "IMA ADPCM";
        case kFormatMsAdpcm:
            return "Microsoft ADPCM";
        case kFormatExtensible:
            return "Extensible";
        default:
            return {};
    }
}

bool MakeFormat(WAVEFORMATEX& format, std::uint16_t tag, std::uint32_t rate, std::uint16_t bits,
                std::uint16_t channels) {
    if (channels == 0 || channels > codecs::kMaxChannels || rate < kMinRate || rate > kMaxRate)
        return false;
    WAVEFORMATEX f;
    switch (tag) {
        case kFormatPcm:
            if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
            MakePcmFormat(f, rate, bits, channels);
            break;
        case kFormatIeeeFloat:
            if (bits != 32 && bits != 64) return false;
            MakePcmFormat(f, rate, bits, channels);
            f.wFormatTag = kFormatIeeeFloat;
            break;
        case kFormatMuLaw:
        case kFormatALaw:
            if (bits != 8) return false;
            MakePcmFormat(f, rate, 8, channels);
            f.wFormatTag = tag;
            break;
        case kFormatImaAdpcm:
        case kFormatMsAdpcm: {
            if (bits != 4) return false;
            // 256 bytes per channel per 11025 Hz, as the common writers do.
            std::uint32_t factor = std::max<std::uint32_t>(1, rate / 11025);
            while (factor > 1 && 256u * channels * factor > 0xFFFF)
                --factor;
            const std::uint32_t blockBytes = 256u * channels * factor;
            if (blockBytes > 0xFFFF) return false;
            const Coding coding = tag == kFormatImaAdpcm ? Coding::ImaAdpcm : Coding::MsAdpcm;
            const std::uint32_t perBlock = codecs::AdpcmCapacity(coding, channels, blockBytes);
            f.wFormatTag = tag;
            f.nChannels = channels;
            f.nSamplesPerSec = rate;
            f.nBlockAlign = static_cast<std::uint16_t>(blockBytes);
            f.wBitsPerSample = 4;
            // Rounded to the nearest byte; 64-bit because rate x block bytes
            // passes 32 bits for fast rates.
            f.nAvgBytesPerSec = static_cast<std::uint32_t>(
                (std::uint64_t{rate} * blockBytes + perBlock / 2) / perBlock);
            if (f.nAvgBytesPerSec == 0) f.nAvgBytesPerSec = 1;
            base::AppendLe<16>(f.extra, static_cast<std::uint16_t>(perBlock));
            if (tag == kFormatMsAdpcm) {
                base::AppendLe<16>(f.extra, 7);
                for (const auto& c : codecs::kMsStandardCoefs) {
                    base::AppendLe<16>(f.extra, static_cast<std::uint16_t>(c.c1));
                    base::AppendLe<16>(f.extra, static_cast<std::uint16_t>(c.c2));
                }
            }
            f.cbSize = static_cast<std::uint16_t>(f.extra.size());
            break;
        }
        default:
            return false;
    }
    format = std::move(f);
    return true;
}

std::vector<ChooserGroup> ConvertibleFormats(const WAVEFORMATEX& source) {
    std::vector<ChooserGroup> groups;
    if (!DescribeFormat(source)) return groups;
    std::vector<std::uint32_t> rates = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    if (std::find(rates.begin(), rates.end(), source.nSamplesPerSec) == rates.end()) {
        rates.push_back(source.nSamplesPerSec);
        std::sort(rates.begin(), rates.end());
    }
    std::vector<std::uint16_t> channelCounts = {1, 2};
    if (source.nChannels > 2) channelCounts.push_back(source.nChannels);
    struct TagBits {
        std::uint16_t tag;
        std::vector<std::uint16_t> bits;
    };
    const TagBits table[] = {{kFormatPcm, {8, 16, 24, 32}}, {kFormatIeeeFloat, {32, 64}},
                             {kFormatMuLaw, {8}},           {kFormatALaw, {8}},
                             {kFormatImaAdpcm, {4}},        {kFormatMsAdpcm, {4}}};
    for (const auto& entry : table) {
        ChooserGroup group{entry.tag, FormatTagName(entry.tag), {}};
        for (const std::uint32_t rate : rates) {
            if (!RatesConvertible(source.nSamplesPerSec, rate)) continue;
            for (const std::uint16_t bits : entry.bits) {
                for (const std::uint16_t channels : channelCounts) {
                    WAVEFORMATEX f;
                    if (MakeFormat(f, entry.tag, rate, bits, channels))
                        group.formats.push_back(std::move(f));
                }
            }
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

bool SameCoding(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
    return a.wFormatTag == b.wFormatTag && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.wBitsPerSample == b.wBitsPerSample && a.nChannels == b.nChannels &&
           a.nBlockAlign == b.nBlockAlign && CopyFormat(a).extra == CopyFormat(b).extra;
}

}  // namespace tamboro::audio
