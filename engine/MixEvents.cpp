#include "engine/MixEvents.h"

#include "base/ByteOrder.h"
#include "engine/TextWords.h"

namespace tamboro::engine {
namespace {

struct KindName {
    std::uint32_t kind;
    std::string_view name;
};
constexpr KindName kKindNames[] = {{kChannelOn, "on"},
                                   {kChannelOff, "off"},
                                   {kVolume, "volume"},
                                   {kPan, "pan"},
                                   {kMasterVolume, "master"}};

}  // namespace

bool IsValidEvent(const MixEvent& e) {
    const bool knownKind = e.kind == kChannelOn || e.kind == kChannelOff || e.kind == kVolume ||
                           e.kind == kPan || e.kind == kMasterVolume;
    return knownKind && e.channel < static_cast<std::uint32_t>(kChannelCount);
}

std::vector<std::uint8_t> SerializeEvents(const EventList& events) {
    std::vector<std::uint8_t> out;
    out.reserve(events.size() * sizeof(MixEvent));
    for (const MixEvent& e : events) {
        for (const std::uint32_t word : {e.time, e.kind, e.channel, e.value, e.reserved}) {
            base::AppendLe<32>(out, word);
        }
    }
    return out;
}

std::optional<std::vector<MixEvent>> ParseEvents(std::span<const std::uint8_t> record) {
    if (record.size() % sizeof(MixEvent) != 0) return std::nullopt;
    std::vector<MixEvent> events(record.size() / sizeof(MixEvent));
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::size_t at = i * sizeof(MixEvent);
        events[i] = {base::LoadLe<32>(record.data() + at), base::LoadLe<32>(record.data() + at + 4),
                     base::LoadLe<32>(record.data() + at + 8),
                     base::LoadLe<32>(record.data() + at + 12),
                     base::LoadLe<32>(record.data() + at + 16)};
        if (!IsValidEvent(events[i])) return std::nullopt;
    }
    return events;
}

std::optional<std::vector<MixEvent>> ParseEventText(std::string_view text, std::string* error) {
    std::vector<MixEvent> events;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto words = SplitWords(line);
        if (words.empty() || words[0].front() == '#') continue;
        const auto fail = [&](const std::string& why) {
            if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + why;
            return std::nullopt;
        };
        if (words.size() != 4) return fail("expected TIME_MS KIND CHANNEL VALUE");
        MixEvent e;
        if (!ParseWholeNumber(words[0], e.time)) return fail("bad time");
        e.kind = 0;
        for (const auto& k : kKindNames) {
            if (words[1] == k.name) e.kind = k.kind;
        }
        if (e.kind == 0) return fail("kind must be on, off, volume, pan or master");
        if (!ParseWholeNumber(words[2], e.channel) || e.channel >= kChannelCount) {
            return fail("channel must be 0 to 19");
        }
        std::int32_t value = 0;
        if (!ParseWholeNumber(words[3], value)) return fail("bad value");
        e.value = static_cast<std::uint32_t>(value);
        events.push_back(e);
    }
    return events;
}

std::string FormatEventText(const MixEvent& e) {
    std::string kind = "?";
    for (const auto& k : kKindNames) {
        if (e.kind == k.kind) kind = k.name;
    }
    return std::to_string(e.time) + " " + kind + " " + std::to_string(e.channel) + " " +
           std::to_string(static_cast<std::int32_t>(e.value));
}

}  // namespace tamboro::engine
