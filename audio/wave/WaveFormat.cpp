#include "audio/wave/WaveFormat.h"

#include "base/ByteOrder.h"

namespace tamboro::audio {
std::size_t FormatCopySize(const WAVEFORMATEX& format) {
    return format.wFormatTag == kFormatPcm ? 18 : 18 + static_cast<std::size_t>(format.cbSize);
}

WAVEFORMATEX CopyFormat(const WAVEFORMATEX& format) {
    WAVEFORMATEX copy = format;
    if (format.wFormatTag == kFormatPcm) {
        copy.extra.clear();
    } else {
        copy.extra.resize(format.cbSize, 0);
    }
    return copy;
}

std::optional<WAVEFORMATEX> ParseFormat(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 16) return std::nullopt;
    WAVEFORMATEX f;
    const std::uint8_t* p = bytes.data();
    f.wFormatTag = base::LoadLe<16>(p);
    f.nChannels = base::LoadLe<16>(p + 2);
    f.nSamplesPerSec = base::LoadLe<32>(p + 4);
    f.nAvgBytesPerSec = base::LoadLe<32>(p + 8);
    f.nBlockAlign = base::LoadLe<16>(p + 12);
    f.wBitsPerSample = base::LoadLe<16>(p + 14);
    f.cbSize = bytes.size() >= 18 ? base::LoadLe<16>(p + 16) : 0;
    if (f.wFormatTag != kFormatPcm) {
        if (bytes.size() < 18 + static_cast<std::size_t>(f.cbSize)) return std::nullopt;
        f.extra.assign(p + 18, p + 18 + f.cbSize);
    }
    return f;
}

std::vector<std::uint8_t> SerializeFormat(const WAVEFORMATEX& format) {
    const WAVEFORMATEX f = CopyFormat(format);
    std::vector<std::uint8_t> out;
    out.reserve(FormatCopySize(f));
    base::AppendLe<16>(out, f.wFormatTag);
    base::AppendLe<16>(out, f.nChannels);
    base::AppendLe<32>(out, f.nSamplesPerSec);
    base::AppendLe<32>(out, f.nAvgBytesPerSec);
    base::AppendLe<16>(out, f.nBlockAlign);
    base::AppendLe<16>(out, f.wBitsPerSample);
    base::AppendLe<16>(out, f.cbSize);
    out.insert(out.end(), f.extra.begin(), f.extra.end());
    return out;
}

bool IsUsableFormat(const WAVEFORMATEX& format) {
    return format.nChannels != 0 && format.nSamplesPerSec != 0 && format.nBlockAlign != 0 &&
           format.nAvgBytesPerSec != 0;
}

std::uint32_t MakePcmFormat(WAVEFORMATEX& format, std::uint32_t rate, std::uint16_t bits,
                            std::uint16_t channels) {
    format.wFormatTag = kFormatPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<std::uint16_t>(bits * channels / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.cbSize = 0;
    format.extra.clear();
    return format.nAvgBytesPerSec;
}

PcmLayout LayoutOf(const WAVEFORMATEX* format) {
    if (format == nullptr || format->wFormatTag != kFormatPcm) return PcmLayout::None;
    const bool mono = format->nChannels == 1;
    const bool stereo = format->nChannels == 2;
    if (format->wBitsPerSample == 8) {
        return mono ? PcmLayout::Mono8 : stereo ? PcmLayout::Stereo8 : PcmLayout::None;
    }
    if (format->wBitsPerSample == 16) {
        return mono ? PcmLayout::Mono16 : stereo ? PcmLayout::Stereo16 : PcmLayout::None;
    }
    return PcmLayout::None;
}

std::uint32_t BytesPerFrame(PcmLayout layout) {
    switch (layout) {
        case PcmLayout::Mono8:
            return 1;
        case PcmLayout::Stereo8:
        case PcmLayout::Mono16:
            return 2;
        case PcmLayout::Stereo16:
            return 4;
        default:
            return 0;
    }
}

}  // namespace tamboro::audio
