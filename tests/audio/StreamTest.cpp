// Memory streams, conversion stages and the chain builder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "audio/convert/AcmStream.h"
#include "audio/convert/BufferConverter.h"
#include "audio/convert/FormatAdapter.h"
#include "audio/convert/FormatTags.h"
#include "audio/wave/MemoryStream.h"
#include "tests/support/AudioSupport.h"

namespace tamboro::audio {
namespace {

using test::Pcm;

WAVEFORMATEX Tagged(std::uint16_t tag, std::uint32_t rate, std::uint16_t bits,
                    std::uint16_t channels) {
    WAVEFORMATEX f;
    EXPECT_TRUE(MakeFormat(f, tag, rate, bits, channels));
    return f;
}

// A stream that reads a copy of `bytes`.
std::unique_ptr<MemoryStream> Source(std::vector<std::uint8_t>& bytes) {
    return std::make_unique<MemoryStream>(
        std::make_unique<base::BorrowedStorage>(bytes.data(), bytes.size()));
}

std::vector<std::uint8_t> ReadToEnd(ByteStream& s, std::uint32_t piece = 16384) {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buffer(piece);
    for (int guard = 0; guard < 1000000; ++guard) {
        const std::uint32_t n = s.Read(buffer.data(), piece);
        if (n == 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    }
    return out;
}

std::vector<std::int16_t> As16(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> out(bytes.size() / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

std::vector<std::uint8_t> Sine16(std::uint32_t rate, std::uint16_t channels, double hz,
                                 std::uint32_t frames, double amplitude = 20000) {
    std::vector<std::uint8_t> out(frames * channels * 2);
    for (std::uint32_t f = 0; f < frames; ++f) {
        const auto s = static_cast<std::int16_t>(
            std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * f / rate)));
        for (std::uint16_t c = 0; c < channels; ++c)
            std::memcpy(&out[(f * channels + c) * 2], &s, 2);
    }
    return out;
}

// Signal-to-noise ratio in dB of `got` against a sine of `hz`, skipping the
// first and last `margin` frames (filter edges).
double SineSnr(const std::vector<std::int16_t>& got, std::uint16_t channels, std::uint32_t rate,
               double hz, double amplitude, std::size_t margin) {
    double signal = 0, noise = 0;
    const std::size_t frames = got.size() / channels;
    for (std::size_t f = margin; f + margin < frames; ++f) {
        const double want = amplitude * std::sin(2 * std::numbers::pi * hz * f / rate);
        for (std::uint16_t c = 0; c < channels; ++c) {
            const double e = got[f * channels + c] - want;
            signal += want * want;
            noise += e * e;
        }
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

TEST(MemoryStream, ReadsSeeksAndStopsAtTheEnd) {
    std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    auto s = Source(bytes);
    EXPECT_EQ(s->GetMode(), ByteStream::kReading);
    EXPECT_EQ(s->Length(), 10u);
    EXPECT_EQ(s->Capabilities(), 15u);
    std::uint8_t buf[4];
    EXPECT_EQ(s->Read(buf, 4), 4u);
    EXPECT_EQ(buf[3], 4);
    EXPECT_EQ(s->Seek(-2, ByteStream::kFromEnd), 8);
    EXPECT_EQ(s->Read(buf, 4), 2u);
    EXPECT_EQ(buf[0], 9);
    EXPECT_TRUE(s->AtEnd());
    EXPECT_EQ(s->Read(buf, 4), 0u);
    EXPECT_EQ(s->Seek(-5, ByteStream::kFromStart), 0);
    EXPECT_EQ(s->Seek(3, ByteStream::kFromCurrent), 3);
    EXPECT_EQ(s->Seek(100, ByteStream::kFromStart), 10);     // limited to the size
    EXPECT_EQ(s->Seek(-100, ByteStream::kFromCurrent), 10);  // "negative" is past the end
    EXPECT_EQ(s->Seek(0, 7), 10);                            // unknown origin: unchanged
    EXPECT_EQ(s->Write(buf, 1), 0u);                         // a reading stream takes nothing
}

TEST(MemoryStream, WritingGrowsAndDetachHandsOverExactlyTheBytes) {
    MemoryStream s;
    ASSERT_EQ(s.GetMode(), ByteStream::kWriting);
    std::vector<std::uint8_t> piece(20000);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<std::uint8_t>(i * 7);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(s.Write(piece.data(), static_cast<std::uint32_t>(piece.size())), piece.size());
    EXPECT_EQ(s.Length(), 100000u);
    EXPECT_EQ(s.Seek(10, ByteStream::kFromStart), 10);
    std::uint8_t mark = 0xEE;
    EXPECT_EQ(s.Write(&mark, 1), 1u);
    EXPECT_EQ(s.Length(), 100000u);  // overwriting does not grow
    auto storage = s.Detach();
    ASSERT_TRUE(storage);
    EXPECT_EQ(storage->Size(), 100000u);
    const auto* data = static_cast<const std::uint8_t*>(storage->Data());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[10], 0xEE);
    EXPECT_EQ(data[20000 + 11], piece[11]);
    EXPECT_EQ(data[99999], piece[19999]);
    EXPECT_EQ(s.GetMode(), ByteStream::kClosed);
    EXPECT_EQ(s.Read(&mark, 1), 0u);
}

TEST(FormatAdapter, BuildsTheStagesTheChainRuleAsksFor) {
    std::vector<std::uint8_t> bytes(4096, 0x80);
    FormatAdapter same(Pcm(22050, 8, 1), Pcm(22050, 8, 1), Source(bytes));
    EXPECT_EQ(same.StageCount(), 0);
    FormatAdapter pcm(Pcm(22050, 8, 1), Pcm(44100, 16, 2), Source(bytes));
    EXPECT_TRUE(pcm.CanConvert());
    EXPECT_EQ(pcm.StageCount(), 2);
    FormatAdapter ima(Tagged(kFormatImaAdpcm, 22050, 4, 1), Pcm(44100, 16, 2), Source(bytes));
    EXPECT_TRUE(ima.CanConvert());
    EXPECT_EQ(ima.StageCount(), 3);
    FormatAdapter rateOnly(Pcm(22050, 16, 2), Pcm(44100, 16, 2), Source(bytes));
    EXPECT_EQ(rateOnly.StageCount(), 1);
    WAVEFORMATEX broken = Pcm(22050, 16, 2);
    broken.nBlockAlign = 0;
    FormatAdapter refused(broken, Pcm(44100, 16, 2), Source(bytes));
    EXPECT_FALSE(refused.CanConvert());
    EXPECT_TRUE(refused.AtEnd());
    std::uint8_t b[16];
    EXPECT_EQ(refused.Read(b, 16), 0u);
}

TEST(FormatAdapter, SeekMapsOutputBytesToSourceBytesByTheByteRates) {
    std::vector<std::uint8_t> bytes(22050 * 4, 0x80);
    FormatAdapter chain(Pcm(22050, 8, 1), Pcm(44100, 16, 2), Source(bytes));
    ASSERT_TRUE(chain.CanConvert());
    EXPECT_EQ(chain.Seek(176400, ByteStream::kFromStart), 176400);
    // The stage reached the source through the first stage's inner stream.
    EXPECT_EQ(chain.Seek(0, ByteStream::kFromCurrent), 176400);
    const auto rest = ReadToEnd(chain);
    EXPECT_EQ(rest.size(), (22050u * 4 - 22050) * 8);
}

TEST(FormatAdapter, EightBitMonoToSixteenBitStereoIsExactAtTheSameRate) {
    std::vector<std::uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    FormatAdapter chain(Pcm(8000, 8, 1), Pcm(8000, 16, 2), Source(bytes));
    const auto out = As16(ReadToEnd(chain, 7));  // odd pieces cross frames
    ASSERT_EQ(out.size(), 512u);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(out[2 * i], (i - 128) * 256) << i;
        EXPECT_EQ(out[2 * i + 1], (i - 128) * 256) << i;
    }
    // And back: averaging two equal channels and narrowing is exact.
    auto wide = ReadToEnd(
        *std::make_unique<FormatAdapter>(Pcm(8000, 8, 1), Pcm(8000, 16, 2), Source(bytes)));
    FormatAdapter back(Pcm(8000, 16, 2), Pcm(8000, 8, 1), Source(wide));
    EXPECT_EQ(ReadToEnd(back), bytes);
}

struct LawCase {
    const char* name;
    WAVEFORMATEX from;
    WAVEFORMATEX to;
    std::uint32_t bytes;
};

class OutputLengthLaw : public ::testing::TestWithParam<LawCase> {};

TEST_P(OutputLengthLaw, DeliversExactlyTheLengthItReports) {
    const LawCase& c = GetParam();
    std::vector<std::uint8_t> bytes(c.bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 37) ^ (i >> 5));
    FormatAdapter chain(c.from, c.to, Source(bytes));
    ASSERT_TRUE(chain.CanConvert());
    const std::uint32_t length = chain.Length();
    const auto out = ReadToEnd(chain, 1000);
    EXPECT_EQ(out.size(), length);
    EXPECT_TRUE(chain.AtEnd());
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, OutputLengthLaw,
    ::testing::Values(
        LawCase{"Up8MonoTo16Stereo", Pcm(22050, 8, 1), Pcm(44100, 16, 2), 22050 * 3 + 17},
        LawCase{"Down44To8", Pcm(44100, 16, 2), Pcm(8000, 16, 1), 176400 + 6},
        LawCase{"OddRates", Pcm(11025, 16, 1), Pcm(32075, 8, 2), 9999},
        LawCase{"Tiny", Pcm(44100, 16, 1), Pcm(48000, 16, 1), 2},
        LawCase{"Empty", Pcm(44100, 16, 1), Pcm(22050, 16, 1), 0},
        LawCase{"Float24", Tagged(kFormatIeeeFloat, 48000, 32, 2), Pcm(48000, 24, 2), 4000},
        LawCase{"ToImaAdpcm", Pcm(22050, 16, 2), Tagged(kFormatImaAdpcm, 22050, 4, 2), 50001},
        LawCase{"ImaPartialBlock", Tagged(kFormatImaAdpcm, 22050, 4, 1), Pcm(44100, 16, 2),
                512 * 9 + 100},
        LawCase{"MsAdpcmToMuLaw", Tagged(kFormatMsAdpcm, 11025, 4, 2),
                Tagged(kFormatMuLaw, 8000, 8, 1), 512 * 5 + 33},
        LawCase{"ALawToMsAdpcm", Tagged(kFormatALaw, 8000, 8, 1),
                Tagged(kFormatMsAdpcm, 44100, 4, 2), 12345}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AcmStream, ResampledSineKeepsItsShape) {
    const auto source = Sine16(22050, 1, 1000, 22050);
    std::vector<std::uint8_t> copy = source;
    AcmStream up(Pcm(22050, 16, 1), Pcm(44100, 16, 1), Source(copy));
    ASSERT_TRUE(up.Ready());
    EXPECT_EQ(up.SourceStep(), 22050u * 2 / 4 / 2 * 2);  // a quarter second, whole frames
    const auto out = As16(ReadToEnd(up));
    ASSERT_EQ(out.size(), 44100u);
    // Aligned in time (no filter delay) and clean: better than 60 dB.
    EXPECT_GT(SineSnr(out, 1, 44100, 1000, 20000, 200), 60.0);
}

TEST(AcmStream, MonoToStereoThenStereoToMonoAveragesChannels) {
    // Left = ramp, right = negated ramp: the mono mix is zero.
    std::vector<std::uint8_t> bytes(4000 * 4);
    for (int f = 0; f < 4000; ++f) {
        const auto l = static_cast<std::int16_t>(f * 8);
        const auto r = static_cast<std::int16_t>(-f * 8);
        std::memcpy(&bytes[f * 4], &l, 2);
        std::memcpy(&bytes[f * 4 + 2], &r, 2);
    }
    AcmStream mono(Pcm(8000, 16, 2), Pcm(8000, 16, 1), Source(bytes));
    const auto out = As16(ReadToEnd(mono));
    ASSERT_EQ(out.size(), 4000u);
    for (auto s : out)
        ASSERT_EQ(s, 0);
}

TEST(BufferConverter, RangesInFramesAndCopyMode) {
    std::vector<std::uint8_t> bytes(1000);
    for (int i = 0; i < 1000; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    BufferConverter copy;
    ASSERT_EQ(copy.Open(Pcm(8000, 16, 2), Pcm(8000, 16, 2), bytes.data(), 1000), 0);
    EXPECT_EQ(copy.GetMode(), BufferConverter::kCopying);
    EXPECT_EQ(copy.SetRange(10, 5), 0);
    std::uint8_t out[64];
    EXPECT_EQ(copy.Read(out, 7), 4u);  // whole frames only
    EXPECT_EQ(out[0], 40);
    EXPECT_EQ(copy.Read(out, 64), 16u);
    EXPECT_TRUE(copy.AtEnd());
    EXPECT_EQ(copy.SetRange(251, 1), 1);  // past the end
    EXPECT_EQ(copy.SetRange(240, 100), 0);
    EXPECT_EQ(copy.Length(), 40u);  // limited to the data

    BufferConverter convert;
    ASSERT_EQ(convert.Open(Pcm(8000, 16, 2), Pcm(8000, 8, 2), bytes.data(), 1000), 0);
    EXPECT_EQ(convert.GetMode(), BufferConverter::kConverting);
    ASSERT_EQ(convert.SetRange(100, 10), 0);
    std::uint8_t narrow[64];
    ASSERT_EQ(convert.Read(narrow, 64), 20u);
    // Frame 100's left sample is bytes 400..401 = 0x9190 -> high byte 0x91
    // rounded up by 0x90 >= 0x80 -> 0x92, then offset to unsigned.
    EXPECT_EQ(narrow[0], static_cast<std::uint8_t>(0x92 ^ 0x80));

    BufferConverter closed;
    EXPECT_EQ(closed.SetRange(0, 1), 2);
    WAVEFORMATEX bad = Pcm(8000, 16, 2);
    bad.nChannels = 0;
    EXPECT_EQ(closed.Open(bad, Pcm(8000, 16, 2), bytes.data(), 1000), 1);
}

}  // namespace
}  // namespace tamboro::audio
