#pragma once
// Mix events on disk (the event records of a song file) and as text (the
// event lists of tamboro-cli make-song).
//
// Event record: count x 20 bytes, each five little-endian 32-bit words:
//   time (ms), kind, channel, value (signed for levels), reserved (0).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/SongTypes.h"

namespace tamboro::engine {

// Whether an event could have been recorded by the program: a single known
// kind and a channel 0..19.
bool IsValidEvent(const MixEvent& event);

std::vector<std::uint8_t> SerializeEvents(const EventList& events);
// Nothing when the size is not a whole number of events or an event is not
// valid.
std::optional<std::vector<MixEvent>> ParseEvents(std::span<const std::uint8_t> record);

// Text form, one event a line: "TIME_MS KIND CHANNEL VALUE" with KIND one of
// on, off, volume, pan, master. Blank lines and lines starting with # are
// skipped. On failure returns nothing and sets `error` to a message naming
// the line.
std::optional<std::vector<MixEvent>> ParseEventText(std::string_view text, std::string* error);
std::string FormatEventText(const MixEvent& event);

}  // namespace tamboro::engine
