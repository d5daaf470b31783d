#include "audio/wave/Wave.h"

#include <gtest/gtest.h>

#include "audio/wave/Levels.h"
#include "platform/TempFiles.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

using test::Pcm;

TEST(WaveFormat, MakePcmFormatFillsTheRecord) {
    WAVEFORMATEX f;
    f.extra = {1, 2, 3};
    EXPECT_EQ(MakePcmFormat(f, 44100, 16, 2), 176400u);
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_TRUE(f.extra.empty());
}

TEST(WaveFormat, CopyRuleTakes18BytesForPcmAndCbSizeMoreOtherwise) {
    WAVEFORMATEX pcm = Pcm(22050, 8, 1);
    pcm.cbSize = 22;  // ignored for PCM
    pcm.extra = {9, 9};
    EXPECT_EQ(FormatCopySize(pcm), 18u);
    EXPECT_EQ(SerializeFormat(pcm).size(), 18u);
    EXPECT_TRUE(CopyFormat(pcm).extra.empty());

    WAVEFORMATEX adpcm;
    adpcm.wFormatTag = 0x11;
    adpcm.nChannels = 1;
    adpcm.cbSize = 4;
    adpcm.extra = {1, 2};  // shorter than declared: padded
    EXPECT_EQ(FormatCopySize(adpcm), 22u);
    const auto bytes = SerializeFormat(adpcm);
    ASSERT_EQ(bytes.size(), 22u);
    EXPECT_EQ(bytes[18], 1);
    EXPECT_EQ(bytes[21], 0);
    auto back = ParseFormat(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->extra, (std::vector<std::uint8_t>{1, 2, 0, 0}));
}

TEST(WaveFormat, ParseRefusesShortRecordsAndAccepts16ByteOnes) {
    const auto full = SerializeFormat(Pcm(8000, 16, 2));
    EXPECT_FALSE(ParseFormat(std::span(full).first(15)));
    auto sixteen = ParseFormat(std::span(full).first(16));
    ASSERT_TRUE(sixteen);
    EXPECT_EQ(sixteen->nSamplesPerSec, 8000u);
    EXPECT_EQ(sixteen->cbSize, 0);

    WAVEFORMATEX f;
    f.wFormatTag = 2;
    f.cbSize = 32;
    f.extra.assign(32, 5);
    auto bytes = SerializeFormat(f);
    bytes.resize(30);  // declares 32 extra bytes, holds 12
    EXPECT_FALSE(ParseFormat(bytes));
}

TEST(WaveFormat, UsableFormatsHaveNothingToDivideByZero) {
    EXPECT_TRUE(IsUsableFormat(Pcm(44100, 16, 2)));
    for (int field = 0; field < 4; ++field) {
        WAVEFORMATEX f = Pcm(44100, 16, 2);
        if (field == 0) f.nChannels = 0;
        if (field == 1) f.nSamplesPerSec = 0;
        if (field == 2) f.nBlockAlign = 0;
        if (field == 3) f.nAvgBytesPerSec = 0;
        EXPECT_FALSE(IsUsableFormat(f)) << field;
    }
}

TEST(WaveFormat, Layouts) {
    EXPECT_EQ(LayoutOf(nullptr), PcmLayout::None);
    EXPECT_EQ(LayoutOf(Pcm(1, 8, 1)), PcmLayout::Mono8);
    EXPECT_EQ(LayoutOf(Pcm(1, 8, 2)), PcmLayout::Stereo8);
    EXPECT_EQ(LayoutOf(Pcm(1, 16, 1)), PcmLayout::Mono16);
    EXPECT_EQ(LayoutOf(Pcm(1, 16, 2)), PcmLayout::Stereo16);
    EXPECT_EQ(LayoutOf(Pcm(1, 24, 2)), PcmLayout::None);
    EXPECT_EQ(LayoutOf(Pcm(1, 16, 3)), PcmLayout::None);
    WAVEFORMATEX f = Pcm(1, 16, 2);
    f.wFormatTag = 3;
    EXPECT_EQ(LayoutOf(f), PcmLayout::None);
    EXPECT_EQ(BytesPerFrame(PcmLayout::Stereo16), 4u);
    EXPECT_EQ(BytesPerFrame(PcmLayout::None), 0u);
}

TEST(Wave, CreateWithAndWithoutFrames) {
    Wave w;
    EXPECT_EQ(w.GetState(), Wave::kEmpty);
    ASSERT_EQ(w.Create(Pcm(22050, 16, 2), 0), 1);
    EXPECT_EQ(w.GetState(), Wave::kFormatOnly);
    EXPECT_EQ(w.FrameCount(), 0);
    EXPECT_FALSE(w.HasSamples());
    ASSERT_EQ(w.Create(Pcm(22050, 16, 2), 100), 1);
    EXPECT_EQ(w.GetState(), Wave::kInMemory);
    EXPECT_EQ(w.DataBytes(), 400u);
    EXPECT_EQ(w.FrameCount(), 100);
    EXPECT_EQ(w.Layout(), PcmLayout::Stereo16);
    EXPECT_EQ(w.Data()[399], 0);
    // A format without PCM layout cannot be given samples by Create.
    EXPECT_EQ(w.Create(Pcm(22050, 24, 2), 100), 0);
    EXPECT_EQ(w.GetState(), Wave::kEmpty);
}

TEST(Wave, CreateInATemporaryFileRemovesItWithTheSamples) {
    test::TempDir dir;
    {
        const int before = platform::OpenTemporaryCount();
        Wave w(1, dir.Path());
        ASSERT_EQ(w.Create(Pcm(8000, 8, 1), 5000), 1);
        // An unnamed file in that folder, held open by the program.
        EXPECT_EQ(platform::OpenTemporaryCount(), before + 1);
        EXPECT_TRUE(dir.List().empty());
        w.Data()[4999] = 0x80;
        w.Reset();
        EXPECT_EQ(platform::OpenTemporaryCount(), before);
    }
}

TEST(Wave, FrameCountCountsWholeFramesAndComputesCompressedIn64Bits) {
    std::vector<std::uint8_t> bytes(10);
    Wave w;
    w.AttachBorrowed(Pcm(44100, 16, 2), bytes.data(), 10);
    EXPECT_EQ(w.FrameCount(), 2);

    WAVEFORMATEX ima;
    ima.wFormatTag = 0x11;
    ima.nChannels = 2;
    ima.nSamplesPerSec = 44100;
    ima.nAvgBytesPerSec = 44359;
    ima.nBlockAlign = 2048;
    ima.wBitsPerSample = 4;
    std::vector<std::uint8_t> big(1);
    w.AttachBorrowed(ima, big.data(), 400'000'000u);  // bytes x rate overflows 32 bits
    EXPECT_EQ(w.FrameCount(), static_cast<std::int32_t>(400'000'000ull * 44100 / 44359));
}

TEST(Wave, FrameAccessorsAtTheExtremes) {
    struct Case {
        std::uint16_t bits, channels;
        std::vector<std::uint8_t> bytes;
        std::int16_t left, right;
    } cases[] = {
        {8, 1, {0x00}, -32768, -32768},
        {8, 1, {0xFF}, 32512, 32512},
        {8, 1, {0x80}, 0, 0},
        {8, 2, {0x00, 0xFF}, -32768, 32512},
        {16, 1, {0x00, 0x80}, -32768, -32768},
        {16, 1, {0xFF, 0x7F}, 32767, 32767},
        {16, 2, {0x00, 0x80, 0xFF, 0x7F}, -32768, 32767},
    };
    for (auto& c : cases) {
        Wave w;
        w.AttachBorrowed(Pcm(8000, c.bits, c.channels), c.bytes.data(),
                         static_cast<std::uint32_t>(c.bytes.size()));
        const std::uint32_t frame = w.GetFrame(0);
        EXPECT_EQ(static_cast<std::int16_t>(frame & 0xFFFF), c.left) << c.bits << c.channels;
        EXPECT_EQ(static_cast<std::int16_t>(frame >> 16), c.right) << c.bits << c.channels;
        // Writing back what was read gives the same bytes.
        const auto before = c.bytes;
        w.SetFrame(0, frame);
        EXPECT_EQ(c.bytes, before) << c.bits << c.channels;
    }
}

TEST(Wave, SetFrameMixesDownAndRoundsAsDocumented) {
    auto pack = [](int l, int r) {
        return (static_cast<std::uint32_t>(l) & 0xFFFF) | (static_cast<std::uint32_t>(r) << 16);
    };
    std::vector<std::uint8_t> b8(1);
    Wave w;
    w.AttachBorrowed(Pcm(8000, 8, 1), b8.data(), 1);
    w.SetFrame(0, pack(-32768, -32768));
    EXPECT_EQ(b8[0], 0);
    w.SetFrame(0, pack(-255, -256));  // (-511) / 512 truncates to 0
    EXPECT_EQ(b8[0], 128);
    w.SetFrame(0, pack(32767, 32767));
    EXPECT_EQ(b8[0], 255);

    std::vector<std::uint8_t> s8(2);
    w.AttachBorrowed(Pcm(8000, 8, 2), s8.data(), 2);
    w.SetFrame(0, pack(-1, 256));  // high bytes 0xFF and 0x01
    EXPECT_EQ(s8[0], 127);
    EXPECT_EQ(s8[1], 129);

    std::vector<std::uint8_t> m16(2);
    w.AttachBorrowed(Pcm(8000, 16, 1), m16.data(), 2);
    w.SetFrame(0, pack(-3, 0));  // arithmetic shift: -2
    EXPECT_EQ(static_cast<std::int16_t>(m16[0] | m16[1] << 8), -2);
}

TEST(Wave, InfoSlots) {
    Wave w;
    w.SetInfo("INAM", "first");
    w.SetInfo("INAM", "second");
    ASSERT_NE(w.GetInfo("INAM"), nullptr);
    EXPECT_EQ(*w.GetInfo("INAM"), "second");
    EXPECT_EQ(*w.InfoAt(14), "second");  // INAM is slot 14
    w.SetInfo("inam", "lower case is another id");
    w.SetInfo("XXXX", "unknown");
    EXPECT_EQ(w.GetInfo("XXXX"), nullptr);
    EXPECT_EQ(*w.GetInfo("INAM"), "second");
    w.SetInfo("ITCH", "Tamboro");
    w.SetInfo("INAM", std::nullopt);
    EXPECT_EQ(w.GetInfo("INAM"), nullptr);
    EXPECT_EQ(InfoSlot("IARL"), 0);
    EXPECT_EQ(InfoSlot("ITCH"), 22);
    w.Reset();
    EXPECT_EQ(w.GetInfo("ITCH"), nullptr);
}

TEST(Wave, AttachStorageOwnsOrBorrows) {
    auto storage = std::make_unique<base::GlobalStorage>(64, false);
    base::Storage* raw = storage.get();
    Wave w;
    ASSERT_EQ(w.AttachStorage(Pcm(8000, 16, 2), std::move(storage)), 1);
    EXPECT_EQ(w.DataBytes(), 64u);
    EXPECT_EQ(raw->LockCount(), 1);
    EXPECT_EQ(w.FrameCount(), 16);

    base::GlobalStorage empty(0, true);
    EXPECT_EQ(w.AttachStorage(Pcm(8000, 16, 2), empty), 0);
    EXPECT_EQ(w.GetState(), Wave::kInMemory);  // refused: the wave is unchanged
    EXPECT_EQ(w.AttachStorage(Pcm(8000, 16, 2), std::unique_ptr<base::Storage>()), 0);

    base::GlobalStorage kept(8, true);
    ASSERT_EQ(w.AttachStorage(Pcm(8000, 8, 1), kept), 1);
    w.Reset();
    EXPECT_NE(kept.Data(), nullptr);
}

TEST(Wave, AttachFileChecksTheRange) {
    auto storage = std::make_unique<base::GlobalStorage>(100, true);
    Wave w;
    EXPECT_EQ(w.AttachFile(Pcm(8000, 8, 1), std::move(storage), 50, 51), 0);
    storage = std::make_unique<base::GlobalStorage>(100, true);
    ASSERT_EQ(w.AttachFile(Pcm(8000, 8, 1), std::move(storage), 44, 56), 1);
    EXPECT_EQ(w.GetState(), Wave::kInFile);
    EXPECT_EQ(w.FrameCount(), 56);
}

TEST(Levels, DocumentedValues) {
    EXPECT_EQ(VolumeToAttenuation(100), 0);
    EXPECT_EQ(VolumeToAttenuation(50), -1000);
    EXPECT_EQ(VolumeToAttenuation(1), -6643);
    EXPECT_EQ(VolumeToAttenuation(0), -10000);
    EXPECT_EQ(AttenuationToVolume(-1000), 50);
    EXPECT_EQ(AttenuationToVolume(0), 100);
    EXPECT_EQ(AttenuationToVolume(-10000), 0);
    EXPECT_EQ(BalanceToPan(50), 1000);
    EXPECT_EQ(BalanceToPan(-50), -1000);
    EXPECT_EQ(BalanceToPan(150), 10000);
    EXPECT_EQ(BalanceToPan(-100), -10000);
    EXPECT_EQ(BalanceToPan(0), 0);
    EXPECT_EQ(PanToBalance(1000), 50);
    EXPECT_EQ(PanToBalance(-1000), -50);
    EXPECT_EQ(PanToBalance(0), 0);
    EXPECT_EQ(PanToBalance(99999), 100);
}

TEST(Levels, RoundTripsStayWithinOneStep) {
    // The laws truncate both ways, so a round trip may lose at most one unit
    // of the coarser scale and never moves the wrong way.
    for (int v = 1; v <= 100; ++v) {
        const int back = AttenuationToVolume(VolumeToAttenuation(v));
        EXPECT_LE(back, v) << v;
        EXPECT_GE(back, v - 1) << v;
    }
    for (int b = -100; b <= 100; ++b) {
        const int back = PanToBalance(BalanceToPan(b));
        EXPECT_LE(std::abs(back - b), 1) << b;
        EXPECT_EQ(back == 0, b == 0) << b;
    }
    for (int v = 0; v < 100; ++v) {
        EXPECT_LT(VolumeToAttenuation(v), VolumeToAttenuation(v + 1)) << v;
    }
}

}  // namespace
}  // namespace tamboro::audio
