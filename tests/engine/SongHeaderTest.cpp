#include "engine/SongHeader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace tamboro::engine {
namespace {

std::int32_t At(const std::vector<std::uint8_t>& b, std::size_t offset) {
    std::int32_t v;
    std::memcpy(&v, b.data() + offset, 4);  // the test machine is little-endian
    return v;
}

SongHeader Sample() {
    SongHeader h;
    h.tempo = 97.5;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        h.names[ch] = "ch" + std::to_string(ch);
        h.initialVolume[ch] = -100 * ch;
        h.initialPan[ch] = 500 * ch - 5000;
        h.flags[ch] = ch % 3 == 0 ? kLoaded : (ch % 3 == 1 ? kLoaded | kEffect : 0);
    }
    h.sampleRecord[0] = 1;
    h.sampleRecord[1] = 2;
    h.eventRecord[0] = 3;
    h.eventCount[0] = 7;
    h.eventRecord[19] = 4;
    h.eventCount[19] = 1;
    h.initialMasterVolume = -321;
    h.author = "Autore";
    h.title = "Brano";
    h.mixedBy = "Mixed by";
    h.notesRecord = 5;
    return h;
}

TEST(SongHeader, FieldsSitAtTheirOffsets) {
    const auto b = SerializeSongHeader(Sample());
    ASSERT_EQ(b.size(), 1664u);
    EXPECT_EQ(At(b, 0), 1664);
    EXPECT_EQ(At(b, 4), 0);
    double tempo;
    std::memcpy(&tempo, b.data() + 8, 8);
    EXPECT_EQ(tempo, 97.5);
    EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 16 + 50 * 7), "ch7");
    EXPECT_EQ(At(b, 1016), 1);
    EXPECT_EQ(At(b, 1016 + 4), 2);
    EXPECT_EQ(At(b, 1016 + 8), -1);
    EXPECT_EQ(At(b, 1096), 3);
    EXPECT_EQ(At(b, 1096 + 4 * 19), 4);
    EXPECT_EQ(At(b, 1176), 7);
    EXPECT_EQ(At(b, 1256 + 4 * 3), -300);
    EXPECT_EQ(At(b, 1336 + 4 * 2), -4000);
    EXPECT_EQ(At(b, 1416), static_cast<std::int32_t>(kLoaded | kInArchive));
    EXPECT_EQ(At(b, 1416 + 4 * 2), static_cast<std::int32_t>(kInArchive));  // bit 2 always set
    EXPECT_EQ(At(b, 1496), -321);
    EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 1500), "Autore");
    EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 1550), "Brano");
    EXPECT_STREQ(reinterpret_cast<const char*>(b.data() + 1600), "Mixed by");
    EXPECT_EQ(b[1650], 0);
    EXPECT_EQ(b[1651], 0);
    EXPECT_EQ(At(b, 1652), 5);
    EXPECT_EQ(At(b, 1656), -1);
    EXPECT_EQ(At(b, 1660), 0);
}

TEST(SongHeader, RoundTrip) {
    const SongHeader h = Sample();
    auto back = ParseSongHeader(SerializeSongHeader(h), 6);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->tempo, h.tempo);
    EXPECT_EQ(back->names, h.names);
    EXPECT_EQ(back->sampleRecord, h.sampleRecord);
    EXPECT_EQ(back->eventRecord, h.eventRecord);
    EXPECT_EQ(back->eventCount, h.eventCount);
    EXPECT_EQ(back->initialVolume, h.initialVolume);
    EXPECT_EQ(back->initialPan, h.initialPan);
    for (int ch = 0; ch < kChannelCount; ++ch)
        EXPECT_EQ(back->flags[ch], h.flags[ch] | kInArchive);
    EXPECT_EQ(back->initialMasterVolume, -321);
    EXPECT_EQ(back->author, "Autore");
    EXPECT_EQ(back->title, "Brano");
    EXPECT_EQ(back->mixedBy, "Mixed by");
    EXPECT_EQ(back->notesRecord, 5);
}

TEST(SongHeader, LongTextsAreCutAt49CharactersAndAccentsSurvive) {
    SongHeader h;
    h.title = std::string(60, 'x');
    h.author = "Niccolò " + std::string(60, 'y');
    h.names[4] = "già";
    const auto b = SerializeSongHeader(h);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(b.data() + 1550)), 49u);
    EXPECT_EQ(b[1500 + 6], 0xF2);  // ò in Windows-1252
    auto back = ParseSongHeader(b, 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title, std::string(49, 'x'));
    EXPECT_EQ(back->author.substr(0, 9), "Niccolò ");
    EXPECT_EQ(back->names[4], "già");
}

TEST(SongHeader, RefusesWhatNoSongHolds) {
    const auto good = SerializeSongHeader(Sample());
    for (std::size_t size : {1663u, 1665u, 0u}) {
        std::vector<std::uint8_t> b = good;
        b.resize(size);
        EXPECT_FALSE(ParseSongHeader(b, 6)) << size;
    }
    EXPECT_FALSE(ParseSongHeader(good, 5)) << "notes index past the records";

    auto patch = [&](std::size_t offset, std::int32_t value) {
        std::vector<std::uint8_t> b = good;
        std::memcpy(b.data() + offset, &value, 4);
        return ParseSongHeader(b, 6).has_value();
    };
    EXPECT_TRUE(patch(1016 + 8, 3));
    EXPECT_FALSE(patch(1016 + 8, 0)) << "record 0 is the header";
    EXPECT_FALSE(patch(1016 + 8, -2));
    EXPECT_FALSE(patch(1096 + 8, 6));
    EXPECT_FALSE(patch(1176, -1)) << "negative count";
    EXPECT_FALSE(patch(1176 + 4, 3)) << "events without a record";

    for (double tempo : {0.0, -120.0, 1e300, std::nan("")}) {
        std::vector<std::uint8_t> b = good;
        std::memcpy(b.data() + 8, &tempo, 8);
        EXPECT_FALSE(ParseSongHeader(b, 6)) << tempo;
    }

    std::vector<std::uint8_t> unterminated = good;
    std::memset(unterminated.data() + 1550, 'z', 50);
    auto back = ParseSongHeader(unterminated, 6);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->title, std::string(50, 'z'));
}

}  // namespace
}  // namespace tamboro::engine
