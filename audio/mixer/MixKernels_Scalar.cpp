#include <algorithm>
#include <cmath>

#include "audio/mixer/MixKernels.h"
#include "platform/Cpu.h"

namespace tamboro::audio {

namespace {

// (s x G) >> 15 with G <= 32767 stays inside the sample's own range, so the
// scaled sample needs no clamp; only the sum saturates.
inline int Scale(int sample, int gain) {
    return (sample * gain) >> 15;
}

}  // namespace

void Accumulate16_Scalar(std::int16_t* dest, const std::int16_t* src, std::size_t samples,
                         int gainEven, int gainOdd) {
    const bool full = IsFullGain(gainEven, gainOdd);
    for (std::size_t i = 0; i < samples; ++i) {
        int s = src[i];
        if (!full) s = Scale(s, (i & 1) ? gainOdd : gainEven);
        dest[i] = static_cast<std::int16_t>(std::clamp(dest[i] + s, -32768, 32767));
    }
}

void Accumulate16Many_Scalar(std::int16_t* dest, const VoiceSamples16* voices, std::size_t count,
                             std::size_t samples) {
    for (std::size_t v = 0; v < count; ++v)
        Accumulate16_Scalar(dest, voices[v].src, samples, voices[v].gainEven, voices[v].gainOdd);
}

void Accumulate8_Scalar(std::int8_t* dest, const std::uint8_t* src, std::size_t samples,
                        int gainEven, int gainOdd) {
    const bool full = IsFullGain(gainEven, gainOdd);
    for (std::size_t i = 0; i < samples; ++i) {
        int s = static_cast<int>(src[i]) - 128;
        if (!full) s = Scale(s, (i & 1) ? gainOdd : gainEven);
        dest[i] = static_cast<std::int8_t>(std::clamp(dest[i] + s, -128, 127));
    }
}

void Flip8_Scalar(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] ^= 0x80;
}

const MixKernels& PlainMixKernels() {
    static const MixKernels kernels{Accumulate16_Scalar, Accumulate16Many_Scalar,
                                    Accumulate8_Scalar, Flip8_Scalar, "Scalar"};
    return kernels;
}

const MixKernels& SelectMixKernels() {
    if (platform::ForcePlainKernels()) return PlainMixKernels();
    if (platform::HasAvx2()) return Avx2MixKernels();
    if (platform::HasSse2()) return Sse2MixKernels();
    return PlainMixKernels();
}

StereoGains GainsOf(int attenuation, int pan) {
    attenuation = std::clamp(attenuation, -10000, 0);
    pan = std::clamp(pan, -10000, 10000);
    const double g = std::pow(0.5, -attenuation / 1000.0);
    double left = g;
    double right = g;
    if (pan > 0) {
        left = g * std::pow(0.5, pan / 1000.0);
    } else {
        right = g * std::pow(0.5, -pan / 1000.0);
    }
    return {static_cast<int>(std::trunc(left * 32767.0)),
            static_cast<int>(std::trunc(right * 32767.0))};
}

}  // namespace tamboro::audio
