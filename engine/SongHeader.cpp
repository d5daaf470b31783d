#include "engine/SongHeader.h"

#include <cmath>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/Cp1252.h"

namespace tamboro::engine {
namespace {

constexpr std::size_t kNames = 16;
constexpr std::size_t kSampleRecords = 1016;
constexpr std::size_t kEventRecords = 1096;
constexpr std::size_t kEventCounts = 1176;
constexpr std::size_t kVolumes = 1256;
constexpr std::size_t kPans = 1336;
constexpr std::size_t kFlags = 1416;
constexpr std::size_t kMaster = 1496;
constexpr std::size_t kAuthor = 1500;
constexpr std::size_t kTitle = 1550;
constexpr std::size_t kMixedBy = 1600;
constexpr std::size_t kNotesRecord = 1652;
constexpr std::size_t kReserved1 = 1656;

void PutText(std::vector<std::uint8_t>& out, std::size_t at, const std::string& text) {
    const std::string bytes = base::Utf8ToCp1252(text, kSongTextField - 1);
    std::memcpy(out.data() + at, bytes.data(), bytes.size());
}

std::string GetText(std::span<const std::uint8_t> in, std::size_t at) {
    const auto* start = reinterpret_cast<const char*>(in.data() + at);
    // A field without its NUL still ends with the field.
    return base::Cp1252ToUtf8(std::string_view(start, strnlen(start, kSongTextField)));
}

}  // namespace

std::vector<std::uint8_t> SerializeSongHeader(const SongHeader& h) {
    std::vector<std::uint8_t> out(kSongHeaderBytes, 0);
    base::StoreLe<32>(out.data() + 0, kSongHeaderBytes);
    std::uint64_t tempoBits;
    std::memcpy(&tempoBits, &h.tempo, 8);
    base::StoreLe<32>(out.data() + 8, static_cast<std::uint32_t>(tempoBits));
    base::StoreLe<32>(out.data() + 12, static_cast<std::uint32_t>(tempoBits >> 32));
    for (int ch = 0; ch < kChannelCount; ++ch) {
        PutText(out, kNames + ch * kSongTextField, h.names[ch]);
        base::StoreLe<32>(out.data() + kSampleRecords + 4 * ch,
                          static_cast<std::uint32_t>(h.sampleRecord[ch]));
        base::StoreLe<32>(out.data() + kEventRecords + 4 * ch,
                          static_cast<std::uint32_t>(h.eventRecord[ch]));
        base::StoreLe<32>(out.data() + kEventCounts + 4 * ch,
                          static_cast<std::uint32_t>(h.eventCount[ch]));
        base::StoreLe<32>(out.data() + kVolumes + 4 * ch,
                          static_cast<std::uint32_t>(h.initialVolume[ch]));
        base::StoreLe<32>(out.data() + kPans + 4 * ch,
                          static_cast<std::uint32_t>(h.initialPan[ch]));
        base::StoreLe<32>(out.data() + kFlags + 4 * ch, h.flags[ch] | kInArchive);
    }
    base::StoreLe<32>(out.data() + kMaster, static_cast<std::uint32_t>(h.initialMasterVolume));
    PutText(out, kAuthor, h.author);
    PutText(out, kTitle, h.title);
    PutText(out, kMixedBy, h.mixedBy);
    base::StoreLe<32>(out.data() + kNotesRecord, static_cast<std::uint32_t>(h.notesRecord));
    base::StoreLe<32>(out.data() + kReserved1, 0xFFFFFFFFu);
    return out;
}

std::optional<SongHeader> ParseSongHeader(std::span<const std::uint8_t> in,
                                          std::uint32_t recordCount) {
    if (in.size() != kSongHeaderBytes) return std::nullopt;
    SongHeader h;
    const std::uint64_t tempoBits = base::LoadLe<32>(in.data() + 8) |
                                    static_cast<std::uint64_t>(base::LoadLe<32>(in.data() + 12))
                                        << 32;
    std::memcpy(&h.tempo, &tempoBits, 8);
    if (!std::isfinite(h.tempo) || h.tempo < 1.0 || h.tempo > 10000.0) return std::nullopt;
    const auto index = [&](std::size_t at, std::int32_t& out) {
        out = static_cast<std::int32_t>(base::LoadLe<32>(in.data() + at));
        return out == -1 || (out > 0 && static_cast<std::uint32_t>(out) < recordCount);
    };
    for (int ch = 0; ch < kChannelCount; ++ch) {
        h.names[ch] = GetText(in, kNames + ch * kSongTextField);
        if (!index(kSampleRecords + 4 * ch, h.sampleRecord[ch])) return std::nullopt;
        if (!index(kEventRecords + 4 * ch, h.eventRecord[ch])) return std::nullopt;
        h.eventCount[ch] =
            static_cast<std::int32_t>(base::LoadLe<32>(in.data() + kEventCounts + 4 * ch));
        if (h.eventCount[ch] < 0 || (h.eventCount[ch] > 0 && h.eventRecord[ch] == -1)) {
            return std::nullopt;
        }
        h.initialVolume[ch] =
            static_cast<std::int32_t>(base::LoadLe<32>(in.data() + kVolumes + 4 * ch));
        h.initialPan[ch] = static_cast<std::int32_t>(base::LoadLe<32>(in.data() + kPans + 4 * ch));
        h.flags[ch] = base::LoadLe<32>(in.data() + kFlags + 4 * ch);
    }
    h.initialMasterVolume = static_cast<std::int32_t>(base::LoadLe<32>(in.data() + kMaster));
    h.author = GetText(in, kAuthor);
    h.title = GetText(in, kTitle);
    h.mixedBy = GetText(in, kMixedBy);
    if (!index(kNotesRecord, h.notesRecord)) return std::nullopt;
    return h;
}

}  // namespace tamboro::engine
