#include "app/core/Progress.h"

#include <cstdio>

#include "engine/LoopStretch.h"
#include "engine/SongTypes.h"
#include "platform/StringTable.h"

namespace tamboro::app {

int ProgressPercent(long long pos, long long lower, long long upper) {
    if (upper == lower) return 0;
    const long long percent = (pos - lower) * 100 / (upper - lower);
    return static_cast<int>(percent == 100 ? 100 : percent % 100);
}

std::string ProgressPercentText(int percent) {
    char text[16];
    std::snprintf(text, sizeof text, "%d%c", percent, '%');
    return text;
}

std::string ProgressPhaseText(int phase, int channel) {
    unsigned id = 0;
    switch (phase) {
        case 1:
            id = 140;
            break;
        case 2:
            id = 141;
            break;
        case 3:
            return platform::LoadString(142);
        case engine::kStretchPhase:
            id = engine::kStretchingText;
            break;
        default:
            return {};
    }
    char text[256];
    std::snprintf(text, sizeof text, platform::LoadString(id).c_str(), channel + 1,
                  engine::kChannelCount);
    return text;
}

}  // namespace tamboro::app
