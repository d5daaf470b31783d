// Shared body of the decoder harnesses: the first bytes choose channels,
// block size and frames per block; the rest are blocks to decode. What was
// decoded is encoded again and decoded once more.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/convert/codecs/SampleCodec.h"

inline void FuzzCodec(tamboro::audio::codecs::Coding coding, const std::uint8_t* data,
                      std::size_t size) {
    using namespace tamboro::audio::codecs;
    if (size < 5) return;
    const std::uint32_t channels = 1 + data[0] % 8;
    const std::uint32_t blockBytes = static_cast<std::uint32_t>(data[1] | data[2] << 8) % 4096;
    const std::uint32_t perBlock = static_cast<std::uint32_t>(data[3] | data[4] << 8) % 8192;
    data += 5;
    size -= 5;
    std::vector<MsCoef> coefs;
    if (coding == Coding::MsAdpcm && size >= 1) {
        const std::size_t count = data[0] % 9;
        for (std::size_t i = 0; i < count && 1 + 4 * i + 4 <= size; ++i) {
            const std::uint8_t* p = data + 1 + 4 * i;
            coefs.push_back({static_cast<std::int16_t>(p[0] | p[1] << 8),
                             static_cast<std::int16_t>(p[2] | p[3] << 8)});
        }
    }
    const auto params = MakeCodecParams(coding, channels, blockBytes, perBlock, coefs);
    if (!params) return;
    BlockCodec codec(*params);
    const std::size_t blocks = size / params->blockBytes;
    const std::uint64_t frames = FramesInBytes(*params, size);
    std::vector<std::int32_t> samples(frames * channels + 1);
    codec.DecodeBlocks(data, blocks, samples.data());
    const std::size_t partial = codec.DecodePartialBlock(
        data + blocks * params->blockBytes, size - blocks * params->blockBytes,
        samples.data() + blocks * params->framesPerBlock * channels);
    if (blocks * params->framesPerBlock + partial != frames) __builtin_trap();
    std::vector<std::uint8_t> again(blocks * params->blockBytes);
    codec.EncodeBlocks(samples.data(), blocks, again.data());
    codec.DecodeBlocks(again.data(), blocks, samples.data());
}
