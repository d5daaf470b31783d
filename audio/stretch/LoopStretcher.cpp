#include "audio/stretch/LoopStretcher.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <vector>

namespace tamboro::audio {
namespace {

using RubberBand::RubberBandStretcher;

// Frames handed to the stretcher per call: small, so that it is stopped
// soon after the kept pass is out (see StretchPath::Fast).
constexpr std::size_t kBlock = 1024;

// Milliseconds of the loop offered after its end beyond the context: the
// stretcher's output lags its input by about its longest window and a half
// (some 4000 frames at 44.1 kHz and ratio 1, 6300 at ratio 0.5), so the kept
// pass is out before the offered input is.
constexpr std::uint32_t kTrailReserveMs = 200;

// The loop as the stretcher reads it, the loop played round:
//
//   | end of loop  | loop, frames 0..N-1 | start of loop, and on round |
//   |<- context -->|                     |<- trail ------------------->|
//
// With a context of N frames this begins with the loop three times over.
// It is read a block at a time: ReadRound puts `count` frames from loop
// frame `at` into `planes` (one per stretched channel, values in -1..1) and
// answers the frame after them.
std::uint32_t ReadRound(const Wave& in, std::uint32_t at, std::size_t count,
                        std::vector<std::vector<float>>& planes) {
    const auto frames = static_cast<std::uint32_t>(in.FrameCount());
    const std::uint8_t* const data = in.Data();
    const PcmLayout layout = in.Layout();
    float* const left = planes[0].data();
    float* const right = planes.size() == 2 ? planes[1].data() : nullptr;
    const auto sample16 = [](const std::uint8_t* p) {
        return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0f;
    };
    for (std::size_t i = 0; i < count;) {
        // Up to the loop's end in one run; 16-bit samples straight from the
        // bytes, 8-bit ones through GetFrame's widening.
        const std::size_t run = std::min<std::size_t>(count - i, frames - at);
        if (layout == PcmLayout::Stereo16) {
            const std::uint8_t* p = data + std::size_t{at} * 4;
            for (std::size_t k = i; k < i + run; ++k, p += 4) {
                left[k] = sample16(p);
                if (right != nullptr) right[k] = sample16(p + 2);
            }
        } else if (layout == PcmLayout::Mono16) {
            const std::uint8_t* p = data + std::size_t{at} * 2;
            for (std::size_t k = i; k < i + run; ++k, p += 2)
                left[k] = sample16(p);
        } else {
            for (std::size_t k = i; k < i + run; ++k) {
                const std::uint32_t packed = in.GetFrame(static_cast<std::int32_t>(at + k - i));
                left[k] = static_cast<std::int16_t>(packed & 0xFFFF) / 32768.0f;
                if (right != nullptr) right[k] = static_cast<std::int16_t>(packed >> 16) / 32768.0f;
            }
        }
        i += run;
        at += static_cast<std::uint32_t>(run);
        if (at == frames) at = 0;
    }
    return at;
}

// Whether a stereo loop's two channels hold the same sample in every frame.
bool ChannelsEqual(const Wave& in) {
    if (in.Format()->nChannels != 2) return false;
    for (std::int32_t i = 0; i < in.FrameCount(); ++i) {
        const std::uint32_t packed = in.GetFrame(i);
        if ((packed & 0xFFFF) != packed >> 16) return false;
    }
    return true;
}

// Rounded to the nearest (halves to even, as nearbyint in the default
// rounding mode) and clamped. Adding and taking away 1.5 x 2^23 rounds a
// float below 2^22 in magnitude to an integer without a call into the maths
// library; clamping first keeps it there and gives what rounding first did.
std::int16_t ToSample(float value) {
    constexpr float kRound = 12582912.0f;
    const float clamped = std::clamp(value * 32768.0f, -32768.0f, 32767.0f);
    return static_cast<std::int16_t>((clamped + kRound) - kRound);
}

}  // namespace

double StretchRatio(std::uint32_t sourceFrames, std::uint32_t targetFrames) {
    return sourceFrames == 0 ? 0.0 : static_cast<double>(targetFrames) / sourceFrames;
}

bool StretchRatioAllowed(double ratio) {
    return ratio >= kMinStretchRatio && ratio <= kMaxStretchRatio;
}

bool StretchWorthwhile(double ratio) {
    return std::abs(ratio - 1.0) > kStretchTolerance;
}

StretchResult StretchWave(const Wave& in, std::uint32_t targetFrames, Wave& out,
                          const StretchProgress& progress) {
    const WAVEFORMATEX* format = in.Format();
    const std::uint64_t context =
        format == nullptr ? 0 : std::uint64_t{format->nSamplesPerSec} * kStretchContextMs / 1000;
    return StretchWaveWithContext(in, targetFrames, static_cast<std::uint32_t>(context), out,
                                  progress);
}

StretchResult StretchWaveWithContext(const Wave& in, std::uint32_t targetFrames,
                                     std::uint32_t contextFrames, Wave& out,
                                     const StretchProgress& progress, StretchPath path) {
    out.Reset();
    const WAVEFORMATEX* format = in.Format();
    const PcmLayout layout = in.Layout();
    if (format == nullptr || layout == PcmLayout::None || in.FrameCount() <= 0) {
        return StretchResult::NotPcm;
    }
    const auto frames = static_cast<std::uint32_t>(in.FrameCount());
    const double ratio = StretchRatio(frames, targetFrames);
    if (!StretchRatioAllowed(ratio)) return StretchResult::RatioOutOfRange;
    const std::uint32_t channels = format->nChannels;
    const std::uint32_t context = std::min(contextFrames, frames);
    const auto trail = static_cast<std::uint32_t>(context + std::uint64_t{format->nSamplesPerSec} *
                                                                kTrailReserveMs / 1000);
    const bool fast = path == StretchPath::Fast;
    // The stretcher's result for two equal channels is its result for one,
    // sample for sample, at twice the work: such a loop (a mono recording
    // kept as stereo) is stretched once and written to both channels.
    const std::uint32_t stretched = fast && ChannelsEqual(in) ? 1 : channels;

    // Rubber Band reports failures by throwing (std::bad_alloc at least);
    // nothing of it leaves this function.
    try {
        const std::size_t total = std::size_t{context} + frames + trail;
        // context <= frames, so one added loop length keeps the index positive.
        const std::uint32_t first = (frames - context) % frames;
        std::vector<std::vector<float>> block(stretched, std::vector<float>(kBlock));
        std::vector<const float*> inputs(stretched);
        std::vector<float*> outputs(stretched);
        for (std::uint32_t c = 0; c < stretched; ++c) {
            inputs[c] = block[c].data();
            outputs[c] = block[c].data();
        }

        // Pitch scale 1 keeps the pitch and with it the spectral envelope
        // (the formants); OptionFormantPreserved only acts on a pitch shift
        // and would cost a fifth more time here for nothing. A stereo loop
        // is stretched with its channels together: its image stays where it
        // was (its phase locking costs under 1 % more than with them apart).
        RubberBandStretcher::Options options =
            RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner;
        if (stretched == 2) options |= RubberBandStretcher::OptionChannelsTogether;
        RubberBandStretcher stretcher(format->nSamplesPerSec, stretched, options, ratio, 1.0);
        stretcher.setExpectedInputDuration(total);
        stretcher.setMaxProcessSize(kBlock);

        // The finer engine's study only counts the frames (it analyses while
        // processing), so it is shown the length in blocks of silence rather
        // than a converted pass over the loop.
        for (std::size_t done = 0; done < total;) {
            const std::size_t step = std::min(kBlock, total - done);
            done += step;
            stretcher.study(inputs.data(), step, done == total);
        }
        // The middle pass starts and ends exactly where the target length
        // puts it, whatever the stretcher makes of the passes around it.
        // (Key frames only inside the material: the ends are the stretcher's.)
        const auto keptStart = static_cast<std::size_t>(std::llround(context * ratio));
        const std::size_t wanted = keptStart + targetFrames;
        if (context > 0) {
            stretcher.setKeyFrameMap(
                {{context, keptStart}, {std::size_t{context} + frames, wanted}});
        }

        // The kept pass goes straight into `out` as it comes; the frames the
        // stretcher misses stay as Create left them: silence.
        WAVEFORMATEX target;
        MakePcmFormat(target, format->nSamplesPerSec, 16, static_cast<std::uint16_t>(channels));
        if (!out.Create(target, targetFrames)) return StretchResult::OutOfMemory;
        std::uint8_t* const bytes = out.Data();
        std::size_t produced = 0;
        const auto drain = [&] {
            for (int ready = stretcher.available(); ready > 0; ready = stretcher.available()) {
                const std::size_t got = stretcher.retrieve(
                    outputs.data(), std::min<std::size_t>(static_cast<std::size_t>(ready), kBlock));
                if (got == 0) break;
                const std::size_t from = std::max(produced, keptStart);
                const std::size_t to = std::min(produced + got, wanted);
                for (std::size_t i = from; i < to; ++i) {
                    std::uint8_t* frame = bytes + (i - keptStart) * channels * 2;
                    for (std::uint32_t c = 0; c < channels; ++c) {
                        const float value = block[std::min(c, stretched - 1)][i - produced];
                        const auto sample = static_cast<std::uint16_t>(ToSample(value));
                        *frame++ = static_cast<std::uint8_t>(sample & 0xFF);
                        *frame++ = static_cast<std::uint8_t>(sample >> 8);
                    }
                }
                produced += got;
            }
        };

        // The samples the stretcher hands out are final: once the kept pass
        // is out, the rest of its work (the trail, and the draining of its
        // windows after the input's end) only makes what is thrown away.
        int reported = -1;
        std::uint32_t at = first;
        for (std::size_t done = 0; done < total;) {
            const std::size_t step = std::min(kBlock, total - done);
            at = ReadRound(in, at, step, block);
            done += step;
            stretcher.process(inputs.data(), step, done == total);
            drain();
            if (fast && produced >= wanted) break;
            const int percent = static_cast<int>(std::min(produced, wanted) * 99 / wanted);
            if (percent != reported) {
                reported = percent;
                if (progress && !progress(percent)) {
                    out.Reset();
                    return StretchResult::Cancelled;
                }
            }
        }
        drain();
    } catch (const std::bad_alloc&) {
        out.Reset();
        return StretchResult::OutOfMemory;
    } catch (...) {
        out.Reset();
        return StretchResult::OutOfMemory;
    }
    for (std::size_t slot = 0; slot < kInfoIds.size(); ++slot) {
        if (in.InfoAt(slot)) out.SetInfo(kInfoIds[slot], *in.InfoAt(slot));
    }
    if (progress) progress(100);
    return StretchResult::Ok;
}

}  // namespace tamboro::audio
