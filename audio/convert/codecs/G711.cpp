#include "audio/convert/codecs/G711.h"

namespace tamboro::audio::codecs {
namespace {

constexpr int kMuBias = 0x84;
constexpr int kMuClip = 8159;  // 14-bit magnitude limit before the bias
constexpr int kMuSegEnd[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
constexpr int kASegEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};

int Segment(int value, const int (&ends)[8]) {
    for (int i = 0; i < 8; ++i) {
        if (value <= ends[i]) return i;
    }
    return 8;
}

}  // namespace

std::int16_t MuLawToLinear(std::uint8_t code) {
    const int u = ~code & 0xFF;
    int t = ((u & 0x0F) << 3) + kMuBias;
    t <<= (u & 0x70) >> 4;
    return static_cast<std::int16_t>((u & 0x80) ? (kMuBias - t) : (t - kMuBias));
}

std::uint8_t LinearToMuLaw(std::int16_t sample) {
    int pcm = sample >> 2;  // 14 significant bits
    int mask = 0xFF;
    if (pcm < 0) {
        pcm = -pcm;
        mask = 0x7F;
    }
    if (pcm > kMuClip) pcm = kMuClip;
    pcm += kMuBias >> 2;
    const int seg = Segment(pcm, kMuSegEnd);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    const int u = (seg << 4) | ((pcm >> (seg + 1)) & 0x0F);
    return static_cast<std::uint8_t>(u ^ mask);
}

std::int16_t ALawToLinear(std::uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t += 0x108;
        t <<= seg - 1;
    }
    return static_cast<std::int16_t>((a & 0x80) ? t : -t);
}

std::uint8_t LinearToALaw(std::int16_t sample) {
    int pcm = sample >> 3;  // 13 significant bits
    int mask = 0xD5;
    if (pcm < 0) {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    const int seg = Segment(pcm, kASegEnd);
    if (seg >= 8) return static_cast<std::uint8_t>(0x7F ^ mask);
    int a = seg << 4;
    a |= seg < 2 ? (pcm >> 1) & 0x0F : (pcm >> seg) & 0x0F;
    return static_cast<std::uint8_t>(a ^ mask);
}

}  // namespace tamboro::audio::codecs
