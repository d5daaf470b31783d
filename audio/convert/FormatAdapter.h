#pragma once
// The head of a conversion chain: reads an inner stream in one wave format
// and delivers another, through up to three AcmStream stages:
//
//   1. no stage when both formats code the samples the same way;
//   2. a source that is not PCM -> PCM 16-bit, the source's rate and channels;
//   3. when the current format is not 16-bit with the destination's
//      channels (and, for a destination that is not PCM, its rate)
//      -> PCM 16-bit with the destination's rate and channels;
//   4. current -> destination (an identity stage when they already agree).
//
// Read, Seek, AtEnd and Length go to the last stage (or the inner stream).
// A chain that could not be opened delivers nothing and is at its end;
// writers report that as SoundResult::ConversionUnavailable.
#include <cstdint>
#include <memory>

#include "audio/wave/ByteStream.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class FormatAdapter final : public ByteStream {
  public:
    FormatAdapter(const WAVEFORMATEX& source, const WAVEFORMATEX& destination,
                  std::unique_ptr<ByteStream> inner);
    ~FormatAdapter() override;

    // Whether the chain was built (every stage ready).
    bool CanConvert() const { return m_ok; }
    // Stages in the chain (0 when the inner stream is read directly).
    int StageCount() const { return m_stages; }

    std::uint32_t Read(void* buffer, std::uint32_t n) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    bool AtEnd() override;
    std::uint32_t Length() override;

  private:
    std::unique_ptr<ByteStream> m_head;  // last stage, owning the ones before
    int m_stages = 0;
    bool m_ok = false;
};

}  // namespace tamboro::audio
