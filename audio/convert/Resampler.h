#pragma once
// Streaming sample-rate conversion of interleaved float frames (full scale
// +-1.0), high quality (libsoxr, 20-bit precision, linear phase). The output
// is aligned with the input: the filter's delay is taken out.
//
// Designing the filter for an uneven ratio takes milliseconds, so resamplers
// that end are kept (cleared) in a small pool and handed out again for the
// same rates and channel count. Create and the destructor may be called
// from any thread except the audio callback (they lock the pool).
#include <cstddef>
#include <memory>

namespace tamboro::audio {

class Resampler {
  public:
    // Nothing when the library refuses the rates or channel count.
    static std::unique_ptr<Resampler> Create(double inputRate, double outputRate,
                                             unsigned channels);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Takes up to `frames` input frames (`*consumed` says how many) and
    // writes up to `capacity` output frames; returns the frames written.
    std::size_t Process(const float* input, std::size_t frames, std::size_t* consumed,
                        float* output, std::size_t capacity);
    // After the last input: writes up to `capacity` of the remaining output
    // frames; returns 0 once everything is out.
    std::size_t Flush(float* output, std::size_t capacity);
    // Ready for a new signal with the same rates.
    void Clear();

  private:
    Resampler(void* handle, double inputRate, double outputRate, unsigned channels)
        : m_handle(handle),
          m_inputRate(inputRate),
          m_outputRate(outputRate),
          m_channels(channels) {}
    void* m_handle;
    double m_inputRate;
    double m_outputRate;
    unsigned m_channels;
};

}  // namespace tamboro::audio
