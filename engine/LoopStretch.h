#pragma once
// Fitting a loop to whole bars by time-stretching it instead of padding or
// cutting it: the loop keeps its pitch and its beats land on the song's
// grid. A choice made per load (the wave open dialog's switch, the CLI's
// --stretch); effect loops are never stretched.
#include <cstdint>

#include "audio/stretch/LoopStretcher.h"
#include "audio/wave/Wave.h"

namespace tamboro::engine {

// String-table ids: the switch of the wave open dialog, the progress text
// while a channel's loop is stretched, and the message of a refused stretch.
inline constexpr unsigned kStretchSwitchText = 170;
inline constexpr unsigned kStretchingText = 171;
inline constexpr unsigned kStretchRefusedText = 1050;
// The progress phase of a stretch (after 1 loading, 2 converting, 3 saving):
// shown as kStretchingText with the channel.
inline constexpr int kStretchPhase = 4;

// How a loop of `sourceFrames` frames at `rate` is stretched to the song's
// `tempo`: the target is the nearest of 1, 2, 4 and 8 bars at the loop's
// own rate (the rule the fitting uses), the ratio target / source.
struct StretchPlan {
    std::uint32_t sourceFrames = 0;
    std::uint32_t targetFrames = 0;
    std::uint32_t bars = 0;  // 1, 2, 4 or 8; 0 when nothing can be planned
    double ratio = 0.0;      // 0 when nothing can be planned
    // Within 0.5..2.0: a loop to stretch. Outside, it is refused.
    bool Allowed() const { return audio::StretchRatioAllowed(ratio); }
    // Further than 0.2 % from 1; closer, fitting's few frames do the job.
    bool Worthwhile() const { return audio::StretchWorthwhile(ratio); }
};
StretchPlan PlanStretch(std::uint32_t sourceFrames, std::uint32_t rate, double tempo);

enum class TempoStretch : std::uint8_t {
    Stretched = 0,  // `out` holds the stretched loop
    LeftAlone = 1,  // the loop already fits (within 0.2 %): `out` stays empty
    Refused = 2,    // the ratio lies outside 0.5..2.0 (message kStretchRefusedText)
    Cancelled = 3,  // the progress callback said stop
    Failed = 4,     // conversion or memory failed
};

// Stretches `loop` so that it lasts exactly whole bars at `tempo`: `out`
// becomes 16-bit PCM at the loop's rate with its channels (at most two) and
// its INFO texts. A loop not in 8- or 16-bit PCM is converted to 16-bit
// first. `plan` (may be null) receives the plan. `out` stays empty unless
// the answer is Stretched. Runs on any thread; `progress` is called on it.
TempoStretch StretchToTempo(const audio::Wave& loop, double tempo, audio::Wave& out,
                            StretchPlan* plan = nullptr,
                            const audio::StretchProgress& progress = {});

}  // namespace tamboro::engine
