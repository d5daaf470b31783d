#include "audio/convert/codecs/MsAdpcm.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "base/ByteOrder.h"

namespace tamboro::audio::codecs {
namespace {

constexpr int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                 768, 614, 512, 409, 307, 230, 230, 230};
// Past this a delta times the largest adaptation factor would overflow; a
// valid stream never gets there, a hostile one is held at the bound.
constexpr int kMaxDelta = INT_MAX / 768;

struct Channel {
    int c1, c2;
    int delta;
    int s1, s2;  // s1 the newest sample
};

// 64-bit: two int16 products of a hostile table can exceed 31 bits.
int Predict(const Channel& ch) {
    return static_cast<int>(
        (static_cast<long long>(ch.s1) * ch.c1 + static_cast<long long>(ch.s2) * ch.c2) >> 8);
}

int Expand(Channel& ch, int nibble) {
    const int predictor = Predict(ch);
    const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
    const int sample = static_cast<int>(std::clamp<long long>(
        predictor + static_cast<long long>(signedNibble) * ch.delta, -32768, 32767));
    ch.s2 = ch.s1;
    ch.s1 = sample;
    ch.delta = std::min((kAdaptation[nibble] * ch.delta) >> 8, kMaxDelta);
    if (ch.delta < 16) ch.delta = 16;
    return sample;
}

int Compress(Channel& ch, int sample) {
    const int predictor = Predict(ch);
    const int error = sample - predictor;
    // Nearest step, rounded half away from zero.
    int n = error >= 0 ? (error + ch.delta / 2) / ch.delta : -((-error + ch.delta / 2) / ch.delta);
    n = std::clamp(n, -8, 7);
    const int nibble = n & 0x0F;
    Expand(ch, nibble);
    return nibble;
}

// The block header's signed 16-bit fields.
int LoadS16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(base::LoadLe<16>(p));
}
void StoreS16(std::uint8_t* p, int v) {
    base::StoreLe<16>(p, static_cast<std::uint16_t>(v));
}

int InitialDelta(const std::int16_t* in, std::uint32_t channels, std::uint32_t c,
                 std::uint32_t frames, const MsCoef& coef) {
    // The mean prediction error of the first few frames sets the step size.
    long long sum = 0;
    int count = 0;
    int s2 = in[c];
    int s1 = in[channels + c];
    for (std::uint32_t f = 2; f < frames && f < 6; ++f) {
        const int x = in[f * channels + c];
        sum += std::abs(x - Predict(Channel{coef.c1, coef.c2, 16, s1, s2}));
        s2 = s1;
        s1 = x;
        ++count;
    }
    const long long mean = count > 0 ? sum / count : 0;
    return static_cast<int>(std::clamp<long long>(mean / 2, 16, 32767));
}

}  // namespace

std::size_t MsDecodeBlock(const std::uint8_t* block, std::size_t bytes, std::uint32_t channels,
                          std::uint32_t frames, std::span<const MsCoef> coefs, std::int16_t* out) {
    const std::size_t header = 7u * channels;
    if (bytes < header || frames < 2 || coefs.empty()) return 0;
    Channel state[64];
    for (std::uint32_t c = 0; c < channels; ++c) {
        const std::size_t index = block[c] < coefs.size() ? block[c] : 0;
        state[c].c1 = coefs[index].c1;
        state[c].c2 = coefs[index].c2;
        state[c].delta = std::clamp(LoadS16(block + channels + 2 * c), -kMaxDelta, kMaxDelta);
        state[c].s1 = LoadS16(block + 3 * channels + 2 * c);
        state[c].s2 = LoadS16(block + 5 * channels + 2 * c);
        out[c] = static_cast<std::int16_t>(state[c].s2);
        out[channels + c] = static_cast<std::int16_t>(state[c].s1);
    }
    const std::size_t nibbles = (bytes - header) * 2;
    const std::size_t decodable = std::min<std::size_t>(frames, 2 + nibbles / channels);
    const std::uint8_t* p = block + header;
    std::size_t n = 0;
    for (std::size_t f = 2; f < decodable; ++f) {
        for (std::uint32_t c = 0; c < channels; ++c, ++n) {
            const int nibble = (n & 1) ? p[n >> 1] & 0x0F : p[n >> 1] >> 4;
            out[f * channels + c] = static_cast<std::int16_t>(Expand(state[c], nibble));
        }
    }
    return decodable;
}

void MsEncodeBlock(const std::int16_t* in, std::uint32_t channels, std::uint32_t frames,
                   std::uint32_t blockBytes, std::span<const MsCoef> coefs, std::uint8_t* block) {
    std::memset(block, 0, blockBytes);
    const std::size_t candidates = std::min<std::size_t>(coefs.size(), 7);
    std::uint8_t* nibbles = block + 7u * channels;
    for (std::uint32_t c = 0; c < channels; ++c) {
        // Try each predictor over the whole block; keep the one with the
        // smallest squared error.
        std::size_t best = 0;
        long long bestError = LLONG_MAX;
        int bestDelta = 16;
        for (std::size_t k = 0; k < candidates; ++k) {
            const int delta = InitialDelta(in, channels, c, frames, coefs[k]);
            Channel ch{coefs[k].c1, coefs[k].c2, delta, in[channels + c], in[c]};
            long long error = 0;
            for (std::uint32_t f = 2; f < frames && error < bestError; ++f) {
                const int x = in[f * channels + c];
                Compress(ch, x);
                const long long e = x - ch.s1;
                error += e * e;
            }
            if (error < bestError) {
                bestError = error;
                best = k;
                bestDelta = delta;
            }
        }
        block[c] = static_cast<std::uint8_t>(best);
        StoreS16(block + channels + 2 * c, bestDelta);
        StoreS16(block + 3 * channels + 2 * c, in[channels + c]);
        StoreS16(block + 5 * channels + 2 * c, in[c]);
        Channel ch{coefs[best].c1, coefs[best].c2, bestDelta, in[channels + c], in[c]};
        for (std::uint32_t f = 2; f < frames; ++f) {
            const std::size_t n = static_cast<std::size_t>(f - 2) * channels + c;
            const int nibble = Compress(ch, in[f * channels + c]);
            nibbles[n >> 1] =
                static_cast<std::uint8_t>(nibbles[n >> 1] | ((n & 1) ? nibble : nibble << 4));
        }
    }
}

}  // namespace tamboro::audio::codecs
