#pragma once
// Microsoft ADPCM as WAV files carry it (format tag 2), 4 bits per sample.
//
// Format extra bytes (cbSize >= 4 + 4 x coefficients):
//   0  u16 samples per block    2  u16 coefficient count
//   4  coefficient pairs (int16 c1, int16 c2), the standard seven first
//
// One block, C channels:
//   offset      size  field
//   0           C     predictor index per channel
//   C           2C    initial delta per channel (int16 LE)
//   3C          2C    sample 1 per channel (int16 LE): frame 1
//   5C          2C    sample 2 per channel (int16 LE): frame 0 (the older)
//   7C          ...   frames 2.. as nibbles, high nibble first, channels
//                     interleaved nibble by nibble
// Frames per block = (blockBytes - 7C) x 2 / C + 2.
#include <cstddef>
#include <cstdint>
#include <span>

#include "audio/convert/codecs/SampleCodec.h"

namespace tamboro::audio::codecs {

// The seven coefficient pairs every MS ADPCM file starts its table with.
inline constexpr MsCoef kMsStandardCoefs[7] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                               {240, 0}, {460, -208}, {392, -232}};

// Decodes one block (possibly short: only the frames its bytes hold).
// Predictor indexes beyond the table use the first pair. Returns frames.
std::size_t MsDecodeBlock(const std::uint8_t* block, std::size_t bytes, std::uint32_t channels,
                          std::uint32_t frames, std::span<const MsCoef> coefs, std::int16_t* out);
// Encodes `frames` frames (at least 2) into one block of `blockBytes`,
// choosing per channel the predictor from the first seven pairs that fits
// the block best.
void MsEncodeBlock(const std::int16_t* in, std::uint32_t channels, std::uint32_t frames,
                   std::uint32_t blockBytes, std::span<const MsCoef> coefs, std::uint8_t* block);

}  // namespace tamboro::audio::codecs
