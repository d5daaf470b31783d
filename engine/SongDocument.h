#pragma once
// The song as a document: tempo, texts, the twenty channels with their
// loops and their recorded mix. A plain value: copying one keeps a snapshot
// (the undo history does); the loops are shared, not copied. What sounds
// and the prepared files are not part of it (see Song and LiveMix).
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ChannelLoop.h"
#include "engine/SongTypes.h"
#include "engine/Units.h"

namespace tamboro::engine {

// One channel of the document.
struct ChannelDoc {
    std::string name;
    std::uint32_t flags = 0;           // ChannelFlag bits
    std::uint32_t sourceLength = 0;    // ms of the loop as loaded
    std::uint32_t preparedLength = 0;  // ms of the loop as the device plays it
    int initialVolume = -500;          // levels at rest, where a recording starts
    int initialPan = 0;
    // The channel's recorded mix; channel 0's list also holds the master
    // events.
    EventList events;
    // The loop as loaded, null for an empty channel. Documents compare it
    // as ChannelLoop::Same does: the same loop or the same record of one
    // song file, never by reading samples.
    std::shared_ptr<const ChannelLoop> loop;

    bool IsLoaded() const { return (flags & kLoaded) != 0; }
    bool IsEffect() const { return (flags & kEffect) != 0; }
    friend bool operator==(const ChannelDoc& a, const ChannelDoc& b) {
        return a.name == b.name && a.flags == b.flags && a.sourceLength == b.sourceLength &&
               a.preparedLength == b.preparedLength && a.initialVolume == b.initialVolume &&
               a.initialPan == b.initialPan && a.events == b.events &&
               ChannelLoop::Same(a.loop.get(), b.loop.get());
    }
};

struct SongDocument {
    static constexpr int kResetVolume = -500;

    double tempo = 0.0;  // quarter notes per minute
    std::string author;
    std::string title;
    std::string mixedBy;
    std::string notes;
    int initialMasterVolume = 0;
    std::array<ChannelDoc, kChannelCount> channels;

    static constexpr bool ValidChannel(int ch) { return ch >= 0 && ch < kChannelCount; }

    // The channel's events, or null for an index outside 0..19 (never
    // another channel's list).
    const EventList* Events(int ch) const;
    EventList* Events(int ch);
    // The latest on/off event: the length of the recorded mix.
    Millis MixLength() const;
    // The latest event of any kind; nothing when the mix is empty.
    std::optional<Millis> LatestEventTime() const;
    // Every event in the order a playback applies them: by time, and within
    // one millisecond in channel order (channel 0, which carries the master,
    // first), each channel's events in list order.
    std::vector<MixEvent> MergedEvents() const;
    // Empties every channel (events included) and the texts; levels back to
    // their reset values. The tempo stays.
    void Clear();

    friend bool operator==(const SongDocument&, const SongDocument&) = default;
};

}  // namespace tamboro::engine
