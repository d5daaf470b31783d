#include "engine/LoopFitting.h"

#include <cstring>

namespace tamboro::engine {

std::uint32_t SamplesPerBar(std::uint32_t rate, double tempo) {
    if (!(tempo > 0.0)) return 0;
    const double frames = rate * 240.0 / tempo;
    return frames >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(frames);
}

std::uint32_t FittedFrameCount(std::uint32_t frames, std::uint32_t samplesPerBar) {
    if (samplesPerBar == 0) return frames;
    const std::uint64_t bar = samplesPerBar;
    std::uint64_t best = bar;
    std::uint64_t bestDistance = frames > bar ? frames - bar : bar - frames;
    for (const std::uint64_t bars : {1, 2, 4, 8}) {
        const std::uint64_t target = bar * bars;
        if (target == frames) return frames;
        const std::uint64_t distance = frames > target ? frames - target : target - frames;
        if (distance < bestDistance) {  // strictly: a tie keeps the shorter target
            best = target;
            bestDistance = distance;
        }
    }
    return best > 0xFFFFFFFFu ? frames : static_cast<std::uint32_t>(best);
}

int FitWave(const audio::Wave& in, std::uint32_t frames, audio::Wave& out) {
    const audio::WAVEFORMATEX* format = in.Format();
    if (format == nullptr || in.Layout() == audio::PcmLayout::None || frames == 0) return 0;
    const audio::WAVEFORMATEX copy = *format;
    if (!out.Create(copy, frames)) return 0;
    const std::uint32_t bytesPerFrame = audio::BytesPerFrame(out.Layout());
    const std::uint64_t total = std::uint64_t{frames} * bytesPerFrame;
    const std::uint64_t keep = std::min<std::uint64_t>(
        total, std::uint64_t{static_cast<std::uint32_t>(in.FrameCount())} * bytesPerFrame);
    std::memcpy(out.Data(), in.Data(), static_cast<std::size_t>(keep));
    std::memset(out.Data() + keep, format->wBitsPerSample == 8 ? 0x80 : 0,
                static_cast<std::size_t>(total - keep));
    for (std::size_t slot = 0; slot < audio::kInfoIds.size(); ++slot) {
        if (in.InfoAt(slot)) out.SetInfo(audio::kInfoIds[slot], *in.InfoAt(slot));
    }
    return 1;
}

std::uint32_t WholeSeconds(const audio::Wave& wave) {
    const audio::WAVEFORMATEX* format = wave.Format();
    if (format == nullptr || format->nAvgBytesPerSec == 0) return 0;
    return wave.DataBytes() / format->nAvgBytesPerSec;
}

double FirstLoopTempo(const audio::Wave& wave) {
    const audio::WAVEFORMATEX* format = wave.Format();
    if (format == nullptr || format->nAvgBytesPerSec == 0 || wave.DataBytes() == 0) return 0.0;
    const double seconds = static_cast<double>(wave.DataBytes()) / format->nAvgBytesPerSec;
    for (const double beats : {1920.0, 960.0, 480.0, 240.0}) {
        const double tempo = beats / seconds;
        if (tempo > 80.0 && tempo <= 160.0) return tempo;
    }
    return 0.0;
}

}  // namespace tamboro::engine
