#pragma once
// The block converter under every conversion stream: turns a block of
// source bytes in one wave format into a block of destination bytes in
// another, reports the destination size a source size needs, and leaves
// the unconsumed tail of the source to the caller.
//
//   source bytes -> decode (whole blocks) -> fewer channels -> resample
//                -> more channels -> pending frames -> encode (whole blocks)
//
// Channel rule: to mono, the average of all channels; otherwise output
// channel j takes input channel j mod (input channels). Rates change
// through the high-quality resampler by at most kMaxRateRatio either way.
//
// Output-length law: from the start (or from a Reset) the converter hands
// out exactly floor(F x destination rate / source rate) frames for the F
// source frames it decoded, encoded in whole destination blocks (the last
// ADPCM block padded by repeating the last frame).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/convert/codecs/SampleCodec.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class Resampler;

class FormatConverter {
  public:
    // Nothing when either format cannot be described (DescribeFormat) or
    // the rates are too far apart.
    static std::unique_ptr<FormatConverter> Open(const WAVEFORMATEX& source,
                                                 const WAVEFORMATEX& destination);
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    const WAVEFORMATEX& Source() const { return m_source; }
    const WAVEFORMATEX& Destination() const { return m_destination; }
    std::uint32_t SourceBlockBytes() const { return m_in.blockBytes; }
    std::uint32_t DestinationBlockBytes() const { return m_out.blockBytes; }
    // Source bytes per second as the samples really run (rate x block bytes
    // / frames per block), at least 1.
    std::uint32_t SourceBytesPerSecond() const;

    // Sizes the work buffers for steps of up to `maxSourceBytes` (whole
    // source blocks) and returns the destination bytes one step can
    // produce. Call once before Convert.
    std::size_t Prepare(std::size_t maxSourceBytes);

    struct Step {
        std::size_t consumed;  // source bytes used
        std::size_t produced;  // destination bytes written
    };
    // Converts the whole source blocks of `source` (with `last`, every byte:
    // a trailing partial ADPCM block is decoded, a partial PCM frame
    // dropped, and the resampler flushed). Writes whole destination blocks,
    // at most `capacity` bytes; what does not fit stays pending for the
    // next call. `bytes` must not exceed Prepare's size.
    Step Convert(const std::uint8_t* source, std::size_t bytes, bool last,
                 std::uint8_t* destination, std::size_t capacity);
    // Output is waiting for room (call Convert again with no source).
    bool HasPending() const;
    // Forgets everything in flight: for a seek.
    void Reset();

    // Destination bytes the law gives for `sourceBytes` source bytes.
    std::uint64_t OutputBytesFor(std::uint64_t sourceBytes) const;

  private:
    FormatConverter() = default;
    void Absorb(std::int32_t* frames, std::size_t count);
    void AppendExpanded(const std::int32_t* frames, std::size_t count);
    void Finish();

    WAVEFORMATEX m_source;
    WAVEFORMATEX m_destination;
    codecs::CodecParams m_in;
    codecs::CodecParams m_out;
    std::unique_ptr<codecs::BlockCodec> m_decoder;
    std::unique_ptr<codecs::BlockCodec> m_encoder;
    std::unique_ptr<Resampler> m_resampler;
    bool m_identity = false;
    std::uint32_t m_workChannels = 0;  // channels while resampling

    // Work buffers, sized by Prepare and not cleared (every use writes
    // before it reads).
    std::unique_ptr<std::int32_t[]> m_decoded;  // one step of source frames
    std::unique_ptr<float[]> m_floatIn;         // m_chunkIn frames
    std::unique_ptr<float[]> m_floatOut;        // m_chunkOut frames
    std::unique_ptr<std::int32_t[]> m_resampled;
    std::size_t m_chunkIn = 0;
    std::size_t m_chunkOut = 0;
    std::vector<std::int32_t> m_pending;  // destination frames not yet encoded
    std::size_t m_pendingStart = 0;       // first pending sample (not frame)

    std::uint64_t m_framesIn = 0;   // source frames decoded since Reset
    std::uint64_t m_framesOut = 0;  // destination frames made since Reset
    bool m_finished = false;
};

}  // namespace tamboro::audio
