#include "engine/LoopStretch.h"

#include <algorithm>

#include "audio/files/ConvertWave.h"
#include "engine/LoopFitting.h"

namespace tamboro::engine {

StretchPlan PlanStretch(std::uint32_t sourceFrames, std::uint32_t rate, double tempo) {
    StretchPlan plan;
    plan.sourceFrames = sourceFrames;
    const std::uint32_t bar = SamplesPerBar(rate, tempo);
    if (bar == 0 || sourceFrames == 0) return plan;
    const std::uint32_t target = FittedFrameCount(sourceFrames, bar);
    // A loop that already lasts whole bars keeps its length: ratio 1.
    plan.targetFrames = target;
    plan.bars = target / bar;
    plan.ratio = audio::StretchRatio(sourceFrames, target);
    return plan;
}

TempoStretch StretchToTempo(const audio::Wave& loop, double tempo, audio::Wave& out,
                            StretchPlan* plan, const audio::StretchProgress& progress) {
    out.Reset();
    const audio::WAVEFORMATEX* format = loop.Format();
    if (format == nullptr || !loop.HasSamples()) return TempoStretch::Failed;
    // The stretcher reads 8- and 16-bit PCM; anything else becomes 16-bit
    // PCM at its own rate first (a copy: the caller's loop stays as it is).
    audio::Wave converted;
    const audio::Wave* pcm = &loop;
    if (loop.Layout() == audio::PcmLayout::None) {
        audio::WAVEFORMATEX target;
        audio::MakePcmFormat(target, format->nSamplesPerSec, 16,
                             static_cast<std::uint16_t>(std::min<int>(format->nChannels, 2)));
        converted.AttachBorrowed(*format, loop.Data(), loop.DataBytes());
        if (audio::ConvertWave(converted, target) != audio::SoundResult::Ok ||
            converted.Layout() == audio::PcmLayout::None || converted.FrameCount() <= 0) {
            return TempoStretch::Failed;
        }
        pcm = &converted;
    }
    const StretchPlan planned =
        PlanStretch(static_cast<std::uint32_t>(pcm->FrameCount()), format->nSamplesPerSec, tempo);
    if (plan != nullptr) *plan = planned;
    if (!planned.Allowed()) return TempoStretch::Refused;
    if (!planned.Worthwhile()) return TempoStretch::LeftAlone;
    switch (audio::StretchWave(*pcm, planned.targetFrames, out, progress)) {
        case audio::StretchResult::Ok:
            break;
        case audio::StretchResult::Cancelled:
            return TempoStretch::Cancelled;
        case audio::StretchResult::RatioOutOfRange:
            return TempoStretch::Refused;
        default:
            return TempoStretch::Failed;
    }
    // A converted loop lost its texts in the conversion's copy; the
    // loop's own are the ones to keep.
    for (std::size_t slot = 0; slot < audio::kInfoIds.size(); ++slot) {
        out.SetInfo(audio::kInfoIds[slot], loop.InfoAt(slot));
    }
    return TempoStretch::Stretched;
}

}  // namespace tamboro::engine
