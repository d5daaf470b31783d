#include "console/logic/BeatIndicator.h"

namespace tamboro::console {

int BeatOf(std::uint64_t clockFrame, std::uint32_t barFrames) {
    if (barFrames == 0) return -1;
    const std::uint64_t inBar = clockFrame % barFrames;
    return static_cast<int>(inBar * kBeatsPerBar / barFrames);
}

}  // namespace tamboro::console
