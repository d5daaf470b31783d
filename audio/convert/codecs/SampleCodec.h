#pragma once
// Sample codecs: each turns the bytes of one coding into interleaved 32-bit
// left-justified samples (full scale = the int32 range) and back.
//
//   coding     block                      frames per block
//   PcmU8      1 byte/sample, unsigned    1
//   PcmS16     2 bytes LE                 1
//   PcmS24     3 bytes LE                 1
//   PcmS32     4 bytes LE                 1
//   Float32    IEEE 754 single, LE        1
//   Float64    IEEE 754 double, LE        1
//   MuLaw      1 byte, G.711 u-law        1
//   ALaw       1 byte, G.711 A-law        1
//   ImaAdpcm   WAV IMA block (ImaAdpcm.h) from the block size
//   MsAdpcm    WAV MS block (MsAdpcm.h)   from the block size
//
// The codecs do not validate: callers build CodecParams through a checked
// constructor (MakeCodecParams) and then run loops that cannot fail.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tamboro::audio::codecs {

enum class Coding : std::uint8_t {
    PcmU8,
    PcmS16,
    PcmS24,
    PcmS32,
    Float32,
    Float64,
    MuLaw,
    ALaw,
    ImaAdpcm,
    MsAdpcm,
};

struct MsCoef {
    std::int16_t c1;
    std::int16_t c2;
};

inline constexpr std::uint32_t kMaxChannels = 64;

struct CodecParams {
    Coding coding = Coding::PcmS16;
    std::uint32_t channels = 1;
    std::uint32_t blockBytes = 2;      // bytes of one block (a frame for PCM)
    std::uint32_t framesPerBlock = 1;  // frames one block holds
    std::vector<MsCoef> coefs;         // MsAdpcm only
};

// Checked construction: nullopt when channels are 0 or above kMaxChannels,
// or the block layout cannot hold the frames asked for. For the ADPCM
// codings `framesPerBlock` 0 means "as many as the block holds".
std::optional<CodecParams> MakeCodecParams(Coding coding, std::uint32_t channels,
                                           std::uint32_t blockBytes, std::uint32_t framesPerBlock,
                                           std::vector<MsCoef> coefs = {});

// The largest frame count a block of `blockBytes` holds (0 when too small).
std::uint32_t AdpcmCapacity(Coding coding, std::uint32_t channels, std::uint32_t blockBytes);

// Frames decodable from `bytes` bytes: whole blocks plus what a trailing
// partial block holds.
std::uint64_t FramesInBytes(const CodecParams& p, std::uint64_t bytes);
// Bytes the encoder writes for `frames` frames (the last block padded).
std::uint64_t BytesForFrames(const CodecParams& p, std::uint64_t frames);

// Decoder and encoder of one coding. The constructor sizes the scratch
// buffers once; Decode and Encode then neither fail nor allocate.
class BlockCodec {
  public:
    explicit BlockCodec(CodecParams params);
    const CodecParams& Params() const { return m_params; }

    // Decodes `blocks` whole blocks into blocks x framesPerBlock x channels
    // samples.
    void DecodeBlocks(const std::uint8_t* src, std::size_t blocks, std::int32_t* out);
    // Decodes a trailing partial block of `bytes` (< blockBytes); returns the
    // frames written (FramesInBytes of `bytes`).
    std::size_t DecodePartialBlock(const std::uint8_t* src, std::size_t bytes, std::int32_t* out);
    // Encodes `blocks` whole blocks from blocks x framesPerBlock x channels
    // samples.
    void EncodeBlocks(const std::int32_t* in, std::size_t blocks, std::uint8_t* out);
    // Forgets what carries from block to block (the IMA step indexes).
    void Reset();

  private:
    void DecodeOne(const std::uint8_t* src, std::size_t bytes, std::int32_t* out,
                   std::size_t* frames);

    CodecParams m_params;
    std::vector<std::int16_t> m_scratch;  // one block of 16-bit samples
    std::vector<std::uint8_t> m_stepIndex;
};

// Narrowing with rounding half up and clipping at the top, as every
// reduction of sample width in the program does.
inline std::int16_t To16(std::int32_t x) {
    if (x > 0x7FFF7FFF) return 0x7FFF;
    return static_cast<std::int16_t>((static_cast<std::int64_t>(x) + 0x8000) >> 16);
}
inline std::int32_t From16(std::int16_t s) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(s))
                                     << 16);
}
// A real sample (full scale +-1.0) to 32 bits: scaled by 2^31, rounded half
// away from zero, clipped.
std::int32_t FromReal(double x);

}  // namespace tamboro::audio::codecs
