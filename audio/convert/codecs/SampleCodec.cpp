#include "audio/convert/codecs/SampleCodec.h"

#include <cmath>
#include <cstring>

#include "audio/convert/codecs/G711.h"
#include "audio/convert/codecs/ImaAdpcm.h"
#include "audio/convert/codecs/MsAdpcm.h"

namespace tamboro::audio::codecs {
namespace {

std::uint32_t BytesPerSample(Coding coding) {
    switch (coding) {
        case Coding::PcmU8:
        case Coding::MuLaw:
        case Coding::ALaw:
            return 1;
        case Coding::PcmS16:
            return 2;
        case Coding::PcmS24:
            return 3;
        case Coding::PcmS32:
        case Coding::Float32:
            return 4;
        case Coding::Float64:
            return 8;
        default:
            return 0;
    }
}

bool IsAdpcm(Coding coding) {
    return coding == Coding::ImaAdpcm || coding == Coding::MsAdpcm;
}

float LoadFloat(const std::uint8_t* p) {
    std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                         static_cast<std::uint32_t>(p[2]) << 16 |
                         static_cast<std::uint32_t>(p[3]) << 24;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
double LoadDouble(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | p[i];
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

void DecodeSample(Coding coding, const std::uint8_t* p, std::int32_t* out) {
    switch (coding) {
        case Coding::PcmU8:
            *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] ^ 0x80) << 24);
            break;
        case Coding::PcmS16:
            *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 16 |
                                             static_cast<std::uint32_t>(p[1]) << 24);
            break;
        case Coding::PcmS24:
            *out = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) << 8 |
                                             static_cast<std::uint32_t>(p[1]) << 16 |
                                             static_cast<std::uint32_t>(p[2]) << 24);
            break;
        case Coding::PcmS32:
            *out = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
            break;
        case Coding::Float32:
            *out = FromReal(LoadFloat(p));
            break;
        case Coding::Float64:
            *out = FromReal(LoadDouble(p));
            break;
        case Coding::MuLaw:
            *out = From16(MuLawToLinear(p[0]));
            break;
        case Coding::ALaw:
            *out = From16(ALawToLinear(p[0]));
            break;
        default:
            *out = 0;
            break;
    }
}

void EncodeSample(Coding coding, std::int32_t x, std::uint8_t* p) {
    switch (coding) {
        case Coding::PcmU8: {
            const std::int32_t s =
                x > 0x7F7FFFFF ? 127
                               : static_cast<std::int32_t>((std::int64_t{x} + 0x800000) >> 24);
            p[0] = static_cast<std::uint8_t>(s + 128);
            break;
        }
        case Coding::PcmS16: {
            const std::int16_t s = To16(x);
            p[0] = static_cast<std::uint8_t>(s & 0xFF);
            p[1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            break;
        }
        case Coding::PcmS24: {
            const std::int32_t s = x > 0x7FFFFF7F
                                       ? 0x7FFFFF
                                       : static_cast<std::int32_t>((std::int64_t{x} + 0x80) >> 8);
            p[0] = static_cast<std::uint8_t>(s & 0xFF);
            p[1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            p[2] = static_cast<std::uint8_t>((s >> 16) & 0xFF);
            break;
        }
        case Coding::PcmS32:
            for (int i = 0; i < 4; ++i)
                p[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) >> (8 * i));
            break;
        case Coding::Float32: {
            const float f = static_cast<float>(x / 2147483648.0);
            std::uint32_t bits;
            std::memcpy(&bits, &f, 4);
            for (int i = 0; i < 4; ++i)
                p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
            break;
        }
        case Coding::Float64: {
            const double d = x / 2147483648.0;
            std::uint64_t bits;
            std::memcpy(&bits, &d, 8);
            for (int i = 0; i < 8; ++i)
                p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
            break;
        }
        case Coding::MuLaw:
            p[0] = LinearToMuLaw(To16(x));
            break;
        case Coding::ALaw:
            p[0] = LinearToALaw(To16(x));
            break;
        default:
            break;
    }
}

}  // namespace

std::int32_t FromReal(double x) {
    if (std::isnan(x)) return 0;
    const double scaled = x * 2147483648.0;
    if (scaled < 0) {
        if (scaled <= -2147483648.5) return INT32_MIN;
        return static_cast<std::int32_t>(scaled - 0.5);
    }
    if (scaled >= 2147483647.5) return INT32_MAX;
    return static_cast<std::int32_t>(scaled + 0.5);
}

std::uint32_t AdpcmCapacity(Coding coding, std::uint32_t channels, std::uint32_t blockBytes) {
    if (channels == 0) return 0;
    if (coding == Coding::ImaAdpcm) {
        if (blockBytes % (4 * channels) != 0 || blockBytes < 4 * channels) return 0;
        return (blockBytes / channels - 4) * 2 + 1;
    }
    if (coding == Coding::MsAdpcm) {
        if (blockBytes < 7 * channels) return 0;
        return (blockBytes - 7 * channels) * 2 / channels + 2;
    }
    return 0;
}

std::optional<CodecParams> MakeCodecParams(Coding coding, std::uint32_t channels,
                                           std::uint32_t blockBytes, std::uint32_t framesPerBlock,
                                           std::vector<MsCoef> coefs) {
    if (channels == 0 || channels > kMaxChannels) return std::nullopt;
    CodecParams p;
    p.coding = coding;
    p.channels = channels;
    if (!IsAdpcm(coding)) {
        p.blockBytes = BytesPerSample(coding) * channels;
        p.framesPerBlock = 1;
        if (blockBytes != 0 && blockBytes != p.blockBytes) return std::nullopt;
        return p;
    }
    const std::uint32_t capacity = AdpcmCapacity(coding, channels, blockBytes);
    if (capacity == 0 || (coding == Coding::MsAdpcm && capacity < 2)) return std::nullopt;
    if (framesPerBlock > capacity) return std::nullopt;
    // An MS ADPCM block always holds its two header frames.
    if (coding == Coding::MsAdpcm && framesPerBlock == 1) return std::nullopt;
    p.blockBytes = blockBytes;
    p.framesPerBlock = framesPerBlock == 0 ? capacity : framesPerBlock;
    if (coding == Coding::MsAdpcm) {
        if (coefs.empty()) coefs.assign(std::begin(kMsStandardCoefs), std::end(kMsStandardCoefs));
        p.coefs = std::move(coefs);
    }
    return p;
}

std::uint64_t FramesInBytes(const CodecParams& p, std::uint64_t bytes) {
    const std::uint64_t blocks = bytes / p.blockBytes;
    const std::uint64_t rest = bytes % p.blockBytes;
    std::uint64_t partial = 0;
    if (p.coding == Coding::ImaAdpcm && rest >= 4u * p.channels) {
        partial = 1 + (rest - 4u * p.channels) / (4u * p.channels) * 8;
    } else if (p.coding == Coding::MsAdpcm && rest >= 7u * p.channels) {
        partial = 2 + (rest - 7u * p.channels) * 2 / p.channels;
    }
    if (partial > p.framesPerBlock) partial = p.framesPerBlock;
    return blocks * p.framesPerBlock + partial;
}

std::uint64_t BytesForFrames(const CodecParams& p, std::uint64_t frames) {
    return (frames + p.framesPerBlock - 1) / p.framesPerBlock * p.blockBytes;
}

BlockCodec::BlockCodec(CodecParams params) : m_params(std::move(params)) {
    if (IsAdpcm(m_params.coding)) {
        m_scratch.resize(std::size_t{m_params.framesPerBlock} * m_params.channels);
        m_stepIndex.assign(m_params.channels, 0);
    }
}

void BlockCodec::Reset() {
    std::fill(m_stepIndex.begin(), m_stepIndex.end(), 0);
}

void BlockCodec::DecodeOne(const std::uint8_t* src, std::size_t bytes, std::int32_t* out,
                           std::size_t* frames) {
    const CodecParams& p = m_params;
    std::size_t n = 0;
    if (p.coding == Coding::ImaAdpcm) {
        n = ImaDecodeBlock(src, bytes, p.channels, p.framesPerBlock, m_scratch.data());
    } else {
        n = MsDecodeBlock(src, bytes, p.channels, p.framesPerBlock, p.coefs, m_scratch.data());
    }
    const std::size_t samples = n * p.channels;
    for (std::size_t i = 0; i < samples; ++i)
        out[i] = From16(m_scratch[i]);
    *frames = n;
}

void BlockCodec::DecodeBlocks(const std::uint8_t* src, std::size_t blocks, std::int32_t* out) {
    const CodecParams& p = m_params;
    if (!IsAdpcm(p.coding)) {
        const std::uint32_t width = BytesPerSample(p.coding);
        const std::size_t samples = blocks * p.channels;
        // The common codings get their own loops; the switch per sample is
        // for the rarer ones.
        if (p.coding == Coding::PcmU8) {
            for (std::size_t i = 0; i < samples; ++i)
                out[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(src[i] ^ 0x80) << 24);
        } else if (p.coding == Coding::PcmS16) {
            for (std::size_t i = 0; i < samples; ++i)
                out[i] =
                    static_cast<std::int32_t>(static_cast<std::uint32_t>(src[2 * i]) << 16 |
                                              static_cast<std::uint32_t>(src[2 * i + 1]) << 24);
        } else {
            for (std::size_t i = 0; i < samples; ++i)
                DecodeSample(p.coding, src + i * width, out + i);
        }
        return;
    }
    const std::size_t perBlock = std::size_t{p.framesPerBlock} * p.channels;
    for (std::size_t b = 0; b < blocks; ++b) {
        std::size_t frames = 0;
        DecodeOne(src + b * p.blockBytes, p.blockBytes, out + b * perBlock, &frames);
    }
}

std::size_t BlockCodec::DecodePartialBlock(const std::uint8_t* src, std::size_t bytes,
                                           std::int32_t* out) {
    if (!IsAdpcm(m_params.coding)) return 0;
    std::size_t frames = 0;
    DecodeOne(src, bytes, out, &frames);
    return frames;
}

void BlockCodec::EncodeBlocks(const std::int32_t* in, std::size_t blocks, std::uint8_t* out) {
    const CodecParams& p = m_params;
    if (!IsAdpcm(p.coding)) {
        const std::uint32_t width = BytesPerSample(p.coding);
        const std::size_t samples = blocks * p.channels;
        if (p.coding == Coding::PcmS16) {
            for (std::size_t i = 0; i < samples; ++i) {
                const std::int16_t s = To16(in[i]);
                out[2 * i] = static_cast<std::uint8_t>(s & 0xFF);
                out[2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            }
        } else {
            for (std::size_t i = 0; i < samples; ++i)
                EncodeSample(p.coding, in[i], out + i * width);
        }
        return;
    }
    const std::size_t perBlock = std::size_t{p.framesPerBlock} * p.channels;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::int32_t* block = in + b * perBlock;
        for (std::size_t i = 0; i < perBlock; ++i)
            m_scratch[i] = To16(block[i]);
        std::uint8_t* dst = out + b * p.blockBytes;
        if (p.coding == Coding::ImaAdpcm) {
            ImaEncodeBlock(m_scratch.data(), p.channels, p.framesPerBlock, p.blockBytes,
                           m_stepIndex.data(), dst);
        } else {
            MsEncodeBlock(m_scratch.data(), p.channels, p.framesPerBlock, p.blockBytes, p.coefs,
                          dst);
        }
    }
}

}  // namespace tamboro::audio::codecs
