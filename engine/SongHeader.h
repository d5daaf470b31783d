#pragma once
// Record 0 of a song file: the song header, exactly 1664 bytes.
//
//   offset  size     field
//   0       4        header size, int32, 1664
//   4       4        reserved, 0 (ignored on reading)
//   8       8        tempo, IEEE 754 double
//   16      20 x 50  channel names, NUL-terminated Windows-1252, at most 49 chars
//   1016    20 x 4   sample-record index per channel, -1 for none
//   1096    20 x 4   event-record index per channel, -1 for none
//   1176    20 x 4   event count per channel
//   1256    20 x 4   initial volume per channel
//   1336    20 x 4   initial pan per channel
//   1416    20 x 4   channel flags, bit 2 always set
//   1496    4        initial master volume
//   1500    50       author
//   1550    50       title
//   1600    50       mixed by
//   1650    2        padding, 0
//   1652    4        notes-record index, -1 for none
//   1656    4        reserved, -1
//   1660    4        reserved, 0
//
// All integers little-endian. Texts are UTF-8 in the program.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/SongTypes.h"

namespace tamboro::engine {

inline constexpr std::size_t kSongHeaderBytes = 1664;
inline constexpr std::size_t kSongTextField = 50;

struct SongHeader {
    double tempo = 120.0;
    std::array<std::string, kChannelCount> names;
    std::array<std::int32_t, kChannelCount> sampleRecord;
    std::array<std::int32_t, kChannelCount> eventRecord;
    std::array<std::int32_t, kChannelCount> eventCount{};
    std::array<std::int32_t, kChannelCount> initialVolume{};
    std::array<std::int32_t, kChannelCount> initialPan{};
    std::array<std::uint32_t, kChannelCount> flags{};
    std::int32_t initialMasterVolume = 0;
    std::string author;
    std::string title;
    std::string mixedBy;
    std::int32_t notesRecord = -1;

    SongHeader() {
        sampleRecord.fill(-1);
        eventRecord.fill(-1);
    }
};

// The 1664 bytes of a header; texts are cut to 49 Windows-1252 characters.
std::vector<std::uint8_t> SerializeSongHeader(const SongHeader& header);

// Reads a header. Nothing when the record is not exactly 1664 bytes, or when
// a value could not come from a song: a tempo that is not a finite number in
// 1..10000, a record index below -1 or at or past `recordCount`, a negative
// event count, or an event count without an event record.
std::optional<SongHeader> ParseSongHeader(std::span<const std::uint8_t> record,
                                          std::uint32_t recordCount);

}  // namespace tamboro::engine
