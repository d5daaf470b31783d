#include "engine/SongDocument.h"

#include <algorithm>
#include <vector>

namespace tamboro::engine {

const EventList* SongDocument::Events(int ch) const {
    return ValidChannel(ch) ? &channels[static_cast<std::size_t>(ch)].events : nullptr;
}

EventList* SongDocument::Events(int ch) {
    return ValidChannel(ch) ? &channels[static_cast<std::size_t>(ch)].events : nullptr;
}

Millis SongDocument::MixLength() const {
    std::uint32_t length = 0;
    for (const ChannelDoc& c : channels) {
        for (auto it = c.events.rbegin(); it != c.events.rend(); ++it) {
            if ((it->kind & kOnOffKinds) != 0) {
                length = std::max(length, it->time);
                break;
            }
        }
    }
    return Millis(length);
}

std::optional<Millis> SongDocument::LatestEventTime() const {
    std::optional<Millis> latest;
    for (const ChannelDoc& c : channels) {
        // Lists are sorted by time: the last event is the latest.
        if (!c.events.empty() && (!latest || c.events.back().time > latest->count)) {
            latest = Millis(c.events.back().time);
        }
    }
    return latest;
}

std::vector<MixEvent> SongDocument::MergedEvents() const {
    std::vector<MixEvent> all;
    for (const ChannelDoc& c : channels)
        all.insert(all.end(), c.events.begin(), c.events.end());
    // Stable: equal times keep channel order, then list order.
    std::stable_sort(all.begin(), all.end(),
                     [](const MixEvent& a, const MixEvent& b) { return a.time < b.time; });
    return all;
}

void SongDocument::Clear() {
    for (ChannelDoc& c : channels)
        c = ChannelDoc{};
    author.clear();
    title.clear();
    mixedBy.clear();
    notes.clear();
    initialMasterVolume = 0;
}

}  // namespace tamboro::engine
