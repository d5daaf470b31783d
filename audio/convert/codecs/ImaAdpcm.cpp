#include "audio/convert/codecs/ImaAdpcm.h"

#include <algorithm>
#include <cstring>

namespace tamboro::audio::codecs {
namespace {

constexpr std::int16_t kStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int kIndexShift[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct Channel {
    int predictor;
    int index;
};

int Expand(Channel& ch, int nibble) {
    const int step = kStep[ch.index];
    int diff = step >> 3;
    if (nibble & 4) diff += step;
    if (nibble & 2) diff += step >> 1;
    if (nibble & 1) diff += step >> 2;
    ch.predictor += (nibble & 8) ? -diff : diff;
    ch.predictor = std::clamp(ch.predictor, -32768, 32767);
    ch.index = std::clamp(ch.index + kIndexShift[nibble], 0, 88);
    return ch.predictor;
}

int Compress(Channel& ch, int sample) {
    int diff = sample - ch.predictor;
    int nibble = 0;
    if (diff < 0) {
        nibble = 8;
        diff = -diff;
    }
    int step = kStep[ch.index];
    if (diff >= step) {
        nibble |= 4;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step) {
        nibble |= 2;
        diff -= step;
    }
    step >>= 1;
    if (diff >= step) nibble |= 1;
    Expand(ch, nibble);  // keeps the encoder's state equal to the decoder's
    return nibble;
}

}  // namespace

std::size_t ImaDecodeBlock(const std::uint8_t* block, std::size_t bytes, std::uint32_t channels,
                           std::uint32_t frames, std::int16_t* out) {
    const std::size_t header = 4u * channels;
    if (bytes < header || frames == 0) return 0;
    Channel state[64];
    for (std::uint32_t c = 0; c < channels; ++c) {
        const std::uint8_t* h = block + 4 * c;
        state[c].predictor = static_cast<std::int16_t>(h[0] | h[1] << 8);
        // A damaged index is clamped rather than trusted as a table offset.
        state[c].index = std::min<int>(h[2], 88);
        out[c] = static_cast<std::int16_t>(state[c].predictor);
    }
    // Whole groups of 8 frames the bytes hold, limited by the block's frames.
    const std::size_t groups = (bytes - header) / header;
    const std::size_t decodable = std::min<std::size_t>(frames, 1 + groups * 8);
    const std::uint8_t* p = block + header;
    for (std::size_t f = 1; f < decodable; f += 8) {
        const std::size_t n = std::min<std::size_t>(8, decodable - f);
        for (std::uint32_t c = 0; c < channels; ++c) {
            const std::uint8_t* q = p + 4 * c;
            for (std::size_t k = 0; k < n; ++k) {
                const int nibble = (q[k >> 1] >> ((k & 1) * 4)) & 0x0F;
                out[(f + k) * channels + c] = static_cast<std::int16_t>(Expand(state[c], nibble));
            }
        }
        p += header;
    }
    return decodable;
}

void ImaEncodeBlock(const std::int16_t* in, std::uint32_t channels, std::uint32_t frames,
                    std::uint32_t blockBytes, std::uint8_t* stepIndex, std::uint8_t* block) {
    std::memset(block, 0, blockBytes);
    const std::size_t header = 4u * channels;
    Channel state[64];
    for (std::uint32_t c = 0; c < channels; ++c) {
        state[c].predictor = in[c];
        state[c].index = std::min<int>(stepIndex[c], 88);
        std::uint8_t* h = block + 4 * c;
        h[0] = static_cast<std::uint8_t>(in[c] & 0xFF);
        h[1] = static_cast<std::uint8_t>((in[c] >> 8) & 0xFF);
        h[2] = static_cast<std::uint8_t>(state[c].index);
    }
    std::uint8_t* p = block + header;
    for (std::size_t f = 1; f < frames; f += 8) {
        const std::size_t n = std::min<std::size_t>(8, frames - f);
        for (std::uint32_t c = 0; c < channels; ++c) {
            std::uint8_t* q = p + 4 * c;
            for (std::size_t k = 0; k < n; ++k) {
                const int nibble = Compress(state[c], in[(f + k) * channels + c]);
                q[k >> 1] = static_cast<std::uint8_t>(q[k >> 1] | nibble << ((k & 1) * 4));
            }
        }
        p += header;
    }
    for (std::uint32_t c = 0; c < channels; ++c)
        stepIndex[c] = static_cast<std::uint8_t>(state[c].index);
}

}  // namespace tamboro::audio::codecs
