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

// Frames handed to the stretcher per call, and between two progress reports.
constexpr std::size_t kBlock = 8192;

// The loop as the stretcher reads it, one float array per channel:
//
//   | end of loop  | loop, frames 0..N-1 | start of loop |
//   |<- context -->|                     |<- context --->|
//
// With a context of N frames this is the loop three times over.
std::vector<std::vector<float>> RoundInput(const Wave& in, std::uint32_t context) {
    const auto frames = static_cast<std::uint32_t>(in.FrameCount());
    const std::uint32_t channels = in.Format()->nChannels;
    const std::size_t total = std::size_t{frames} + 2 * std::size_t{context};
    std::vector<std::vector<float>> planes(channels, std::vector<float>(total));
    // context <= frames, so one added loop length keeps the index positive.
    std::uint32_t at = (frames - context) % frames;
    for (std::size_t i = 0; i < total; ++i) {
        const std::uint32_t packed = in.GetFrame(static_cast<std::int32_t>(at));
        planes[0][i] = static_cast<std::int16_t>(packed & 0xFFFF) / 32768.0f;
        if (channels == 2) planes[1][i] = static_cast<std::int16_t>(packed >> 16) / 32768.0f;
        if (++at == frames) at = 0;
    }
    return planes;
}

std::int16_t ToSample(float value) {
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
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
                                     const StretchProgress& progress) {
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

    // Rubber Band reports failures by throwing (std::bad_alloc at least);
    // nothing of it leaves this function.
    try {
        const std::vector<std::vector<float>> input = RoundInput(in, context);
        const std::size_t total = input[0].size();
        std::vector<const float*> inputs(channels);

        // Pitch scale 1 keeps the pitch and with it the spectral envelope
        // (the formants); OptionFormantPreserved only acts on a pitch shift
        // and would cost a fifth more time here for nothing. A stereo loop
        // is stretched with its channels together: its image stays where it
        // was (about 2 % more time than with them apart).
        RubberBandStretcher::Options options =
            RubberBandStretcher::OptionProcessOffline | RubberBandStretcher::OptionEngineFiner;
        if (channels == 2) options |= RubberBandStretcher::OptionChannelsTogether;
        RubberBandStretcher stretcher(format->nSamplesPerSec, channels, options, ratio, 1.0);
        stretcher.setExpectedInputDuration(total);
        stretcher.setMaxProcessSize(kBlock);

        for (std::uint32_t c = 0; c < channels; ++c)
            inputs[c] = input[c].data();
        stretcher.study(inputs.data(), total, true);
        // The middle pass starts and ends exactly where the target length
        // puts it, whatever the stretcher makes of the passes around it.
        // (Key frames only inside the material: the ends are the stretcher's.)
        const auto keptStart = static_cast<std::size_t>(std::llround(context * ratio));
        if (context > 0) {
            stretcher.setKeyFrameMap(
                {{context, keptStart}, {std::size_t{context} + frames, keptStart + targetFrames}});
        }

        std::vector<std::vector<float>> output(channels);
        for (auto& plane : output)
            plane.reserve(keptStart * 2 + targetFrames + kBlock);
        std::vector<std::vector<float>> chunk(channels, std::vector<float>(kBlock));
        std::vector<float*> chunks(channels);
        for (std::uint32_t c = 0; c < channels; ++c)
            chunks[c] = chunk[c].data();
        const auto drain = [&] {
            for (int ready = stretcher.available(); ready > 0; ready = stretcher.available()) {
                const std::size_t got = stretcher.retrieve(
                    chunks.data(), std::min<std::size_t>(static_cast<std::size_t>(ready), kBlock));
                if (got == 0) break;
                for (std::uint32_t c = 0; c < channels; ++c) {
                    output[c].insert(output[c].end(), chunk[c].begin(), chunk[c].begin() + got);
                }
            }
        };

        for (std::size_t done = 0; done < total;) {
            const std::size_t step = std::min(kBlock, total - done);
            for (std::uint32_t c = 0; c < channels; ++c)
                inputs[c] = input[c].data() + done;
            done += step;
            stretcher.process(inputs.data(), step, done == total);
            drain();
            if (progress && !progress(static_cast<int>(done * 99 / total))) {
                return StretchResult::Cancelled;
            }
        }
        drain();

        WAVEFORMATEX target;
        MakePcmFormat(target, format->nSamplesPerSec, 16, static_cast<std::uint16_t>(channels));
        if (!out.Create(target, targetFrames)) return StretchResult::OutOfMemory;
        const std::size_t produced = output[0].size();
        const std::size_t kept =
            produced > keptStart ? std::min<std::size_t>(produced - keptStart, targetFrames) : 0;
        std::uint8_t* bytes = out.Data();
        for (std::size_t i = 0; i < kept; ++i) {
            for (std::uint32_t c = 0; c < channels; ++c) {
                const auto sample = static_cast<std::uint16_t>(ToSample(output[c][keptStart + i]));
                *bytes++ = static_cast<std::uint8_t>(sample & 0xFF);
                *bytes++ = static_cast<std::uint8_t>(sample >> 8);
            }
        }
        // Frames the stretcher missed stay as Create left them: silence.
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
