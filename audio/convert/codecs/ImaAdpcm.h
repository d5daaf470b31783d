#pragma once
// IMA ADPCM as WAV files carry it (format tag 0x11), 4 bits per sample.
//
// One block, C channels:
//   offset        size  field
//   4c            2     channel c's first sample (int16 LE), frame 0
//   4c + 2        1     channel c's step index (0..88)
//   4c + 3        1     reserved (0)
//   4C + 4Cg + 4c 4     channel c's frames 1+8g .. 8+8g, one nibble each,
//                       low nibble first
// Frames per block = (blockBytes / C - 4) x 2 + 1.
#include <cstddef>
#include <cstdint>

namespace tamboro::audio::codecs {

// Decodes one block of `channels` channels holding `frames` frames into
// interleaved 16-bit samples. `bytes` may be short of a whole block; only
// the frames it holds are decoded. Returns the frames decoded.
std::size_t ImaDecodeBlock(const std::uint8_t* block, std::size_t bytes, std::uint32_t channels,
                           std::uint32_t frames, std::int16_t* out);
// Encodes `frames` frames (interleaved 16-bit) into one block of
// `blockBytes` bytes. `stepIndex` holds each channel's step index, carried
// from block to block (start with zeros).
void ImaEncodeBlock(const std::int16_t* in, std::uint32_t channels, std::uint32_t frames,
                    std::uint32_t blockBytes, std::uint8_t* stepIndex, std::uint8_t* block);

}  // namespace tamboro::audio::codecs
