#pragma once
// G.711 companding: 8-bit u-law (WAV tag 7, AU encoding 1) and A-law (WAV
// tag 6, AU encoding 27), one byte per sample.
//
//   u-law byte (stored inverted):  s eee mmmm   sign, segment, mantissa
//   A-law byte (even bits ^ 0x55): s eee mmmm
//
// Decoding is exact (the 256 values of each law); encoding takes a 16-bit
// sample and picks the code whose segment and step hold it (u-law works on
// the top 14 bits, A-law on the top 13).
#include <cstdint>

namespace tamboro::audio::codecs {

std::int16_t MuLawToLinear(std::uint8_t code);
std::uint8_t LinearToMuLaw(std::int16_t sample);
std::int16_t ALawToLinear(std::uint8_t code);
std::uint8_t LinearToALaw(std::int16_t sample);

}  // namespace tamboro::audio::codecs
