// The sample codecs, format descriptions, the chooser's data and ConvertWave.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "audio/convert/FormatConverter.h"
#include "audio/convert/FormatTags.h"
#include "audio/convert/codecs/G711.h"
#include "audio/convert/codecs/ImaAdpcm.h"
#include "audio/convert/codecs/MsAdpcm.h"
#include "audio/convert/codecs/SampleCodec.h"
#include "audio/files/ConvertWave.h"

namespace tamboro::audio {
namespace {

using namespace codecs;

TEST(G711, EveryCodeSurvivesDecodeAndEncode) {
    for (int c = 0; c < 256; ++c) {
        const auto code = static_cast<std::uint8_t>(c);
        // u-law has two zeros (0x7F and 0xFF); both decode to 0, which
        // encodes as 0xFF.
        EXPECT_EQ(LinearToMuLaw(MuLawToLinear(code)), c == 0x7F ? 0xFF : c) << c;
        EXPECT_EQ(LinearToALaw(ALawToLinear(code)), c) << c;
        // Sign is the top bit: the two halves mirror each other.
        EXPECT_EQ(MuLawToLinear(code), -MuLawToLinear(static_cast<std::uint8_t>(c ^ 0x80)));
        EXPECT_EQ(ALawToLinear(code), -ALawToLinear(static_cast<std::uint8_t>(c ^ 0x80)));
    }
    EXPECT_EQ(MuLawToLinear(0x80), 32124);
    EXPECT_EQ(ALawToLinear(0xAA), 32256);
}

TEST(G711, EncodingStaysWithinOneStepOfEverySample) {
    for (int x = -32768; x <= 32767; ++x) {
        const auto s = static_cast<std::int16_t>(x);
        const int bound = std::max(std::abs(x) / 16, 32) + (std::abs(x) > 32000 ? 700 : 0);
        ASSERT_LE(std::abs(MuLawToLinear(LinearToMuLaw(s)) - x), bound) << x;
        ASSERT_LE(std::abs(ALawToLinear(LinearToALaw(s)) - x), bound) << x;
    }
}

std::vector<std::int16_t> Sine(std::uint32_t frames, std::uint32_t channels, double period,
                               double amplitude) {
    std::vector<std::int16_t> out(frames * channels);
    for (std::uint32_t f = 0; f < frames; ++f)
        for (std::uint32_t c = 0; c < channels; ++c)
            out[f * channels + c] = static_cast<std::int16_t>(
                std::lround(amplitude * std::sin(2 * std::numbers::pi * f / period + c)));
    return out;
}

double Snr(const std::vector<std::int16_t>& want, const std::vector<std::int16_t>& got) {
    double s = 0, n = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        s += double(want[i]) * want[i];
        n += double(got[i] - want[i]) * (got[i] - want[i]);
    }
    return 10 * std::log10(s / std::max(n, 1e-9));
}

TEST(ImaAdpcm, KnownBlockDecodes) {
    // Header: sample 1000, step index 0; nibbles 7, then 0x0F.
    const std::uint8_t block[8] = {0xE8, 0x03, 0, 0, 0xF7, 0x00, 0x00, 0x00};
    std::int16_t out[9];
    ASSERT_EQ(ImaDecodeBlock(block, 8, 1, 9, out), 9u);
    EXPECT_EQ(out[0], 1000);
    // Step 7: 7>>3 + 7 + 3 + 1 = 11 up; index 0 + 8 = 8.
    EXPECT_EQ(out[1], 1011);
    // Step 16 (index 8): 2 + 16 + 8 + 4 = 30 down; index 16.
    EXPECT_EQ(out[2], 981);
    // Nibble 0 with step 34 (index 16): 34>>3 = 4 up; index 15.
    EXPECT_EQ(out[3], 985);
}

TEST(ImaAdpcm, StereoSineSurvivesEncoding) {
    const std::uint32_t blockBytes = 1024, channels = 2;
    const std::uint32_t frames = AdpcmCapacity(Coding::ImaAdpcm, channels, blockBytes);
    ASSERT_EQ(frames, 1017u);
    const auto in = Sine(frames, channels, 50, 12000);
    std::vector<std::uint8_t> block(blockBytes);
    std::uint8_t index[2] = {0, 0};
    // Twice: the second block starts with the step index the first reached.
    ImaEncodeBlock(in.data(), channels, frames, blockBytes, index, block.data());
    ImaEncodeBlock(in.data(), channels, frames, blockBytes, index, block.data());
    std::vector<std::int16_t> out(in.size());
    ASSERT_EQ(ImaDecodeBlock(block.data(), blockBytes, channels, frames, out.data()), frames);
    EXPECT_GT(Snr(in, out), 25.0);
    EXPECT_EQ(out[0], in[0]);  // the header holds the first frame exactly
}

TEST(MsAdpcm, StereoSineSurvivesEncodingAndHostileBlocksStayInRange) {
    const std::uint32_t blockBytes = 1024, channels = 2;
    const std::uint32_t frames = AdpcmCapacity(Coding::MsAdpcm, channels, blockBytes);
    ASSERT_EQ(frames, 1012u);
    const auto in = Sine(frames, channels, 40, 15000);
    std::vector<std::uint8_t> block(blockBytes);
    MsEncodeBlock(in.data(), channels, frames, blockBytes, kMsStandardCoefs, block.data());
    std::vector<std::int16_t> out(in.size());
    ASSERT_EQ(
        MsDecodeBlock(block.data(), blockBytes, channels, frames, kMsStandardCoefs, out.data()),
        frames);
    EXPECT_GT(Snr(in, out), 25.0);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[2], in[2]);

    // Predictor index 200, delta 0x7FFF, every nibble 0x77: clamps, no overflow.
    std::vector<std::uint8_t> hostile(blockBytes, 0x77);
    hostile[0] = hostile[1] = 200;
    hostile[2] = 0xFF;
    hostile[3] = 0x7F;
    const MsCoef wild[1] = {{32767, 32767}};
    ASSERT_EQ(MsDecodeBlock(hostile.data(), blockBytes, channels, frames, wild, out.data()),
              frames);
    EXPECT_EQ(out[frames * 2 - 1], 32767);
}

TEST(BlockCodec, PartialBlocksDecodeWhatTheyHold) {
    for (const Coding coding : {Coding::ImaAdpcm, Coding::MsAdpcm}) {
        auto params = MakeCodecParams(coding, 2, 512, 0);
        ASSERT_TRUE(params);
        BlockCodec codec(*params);
        std::vector<std::uint8_t> bytes(512, 0x11);
        std::vector<std::int32_t> out(params->framesPerBlock * 2);
        for (std::size_t n = 0; n < 512; ++n) {
            const std::size_t frames = codec.DecodePartialBlock(bytes.data(), n, out.data());
            EXPECT_EQ(frames, FramesInBytes(*params, n)) << n;
        }
    }
}

TEST(BlockCodec, PcmWidthsAndFloatsRoundTripExactly) {
    const std::int32_t values[] = {INT32_MIN, -0x12345678, -256, 0, 255, 0x12345600, INT32_MAX};
    for (const Coding coding : {Coding::PcmS32, Coding::Float64}) {
        auto params = MakeCodecParams(coding, 1, 0, 1);
        ASSERT_TRUE(params);
        BlockCodec codec(*params);
        std::vector<std::uint8_t> bytes(7 * params->blockBytes);
        codec.EncodeBlocks(values, 7, bytes.data());
        std::int32_t back[7];
        codec.DecodeBlocks(bytes.data(), 7, back);
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(back[i], values[i]) << i;
    }
    auto s24 = MakeCodecParams(Coding::PcmS24, 1, 0, 1);
    BlockCodec codec24(*s24);
    const std::int32_t in[3] = {0x12345680, INT32_MAX, INT32_MIN};
    std::uint8_t bytes[9];
    codec24.EncodeBlocks(in, 3, bytes);
    std::int32_t out[3];
    codec24.DecodeBlocks(bytes, 3, out);
    EXPECT_EQ(out[0], 0x12345700);  // rounded half up
    EXPECT_EQ(out[1], 0x7FFFFF00);  // clipped, not wrapped
    EXPECT_EQ(out[2], INT32_MIN);
}

TEST(BlockCodec, RealSamplesScaleRoundAndClip) {
    EXPECT_EQ(FromReal(0.0), 0);
    EXPECT_EQ(FromReal(1.0), INT32_MAX);
    EXPECT_EQ(FromReal(1.5), INT32_MAX);
    EXPECT_EQ(FromReal(-1.0), INT32_MIN);
    EXPECT_EQ(FromReal(-7.0), INT32_MIN);
    EXPECT_EQ(FromReal(std::nan("")), 0);
    EXPECT_EQ(FromReal(0.5 / 2147483648.0), 1);  // half away from zero
    EXPECT_EQ(FromReal(-0.5 / 2147483648.0), -1);
    EXPECT_EQ(To16(0x7FFF8000), 0x7FFF);
    EXPECT_EQ(To16(0x00008000), 1);
    EXPECT_EQ(To16(-0x00008000), 0);
}

WAVEFORMATEX Extensible(std::uint16_t subTag, std::uint16_t bits, std::uint16_t channels,
                        bool goodGuid = true) {
    WAVEFORMATEX f;
    MakePcmFormat(f, 48000, bits, channels);
    f.wFormatTag = kFormatExtensible;
    f.extra = {static_cast<std::uint8_t>(bits),
               0,
               3,
               0,
               0,
               0,
               static_cast<std::uint8_t>(subTag),
               static_cast<std::uint8_t>(subTag >> 8),
               0,
               0,
               0x00,
               0x00,
               0x10,
               0x00,
               0x80,
               0x00,
               0x00,
               0xAA,
               0x00,
               0x38,
               0x9B,
               static_cast<std::uint8_t>(goodGuid ? 0x71 : 0x72)};
    f.cbSize = 22;
    return f;
}

TEST(FormatTags, DescriptionsCheckEveryField) {
    WAVEFORMATEX f;
    ASSERT_TRUE(MakeFormat(f, kFormatPcm, 44100, 24, 2));
    EXPECT_EQ(DescribeFormat(f)->coding, Coding::PcmS24);
    EXPECT_EQ(DescribeFormat(Extensible(kFormatPcm, 32, 6))->coding, Coding::PcmS32);
    EXPECT_EQ(DescribeFormat(Extensible(kFormatIeeeFloat, 32, 2))->coding, Coding::Float32);
    EXPECT_FALSE(DescribeFormat(Extensible(kFormatPcm, 16, 2, false)));
    WAVEFORMATEX ms;
    ASSERT_TRUE(MakeFormat(ms, kFormatMsAdpcm, 22050, 4, 2));
    EXPECT_EQ(ms.nBlockAlign, 1024);
    EXPECT_EQ(DescribeFormat(ms)->framesPerBlock, 1012u);
    EXPECT_EQ(DescribeFormat(ms)->coefs.size(), 7u);
    ms.extra[2] = 200;  // more coefficients than the extra bytes hold
    EXPECT_FALSE(DescribeFormat(ms));
    WAVEFORMATEX ima;
    ASSERT_TRUE(MakeFormat(ima, kFormatImaAdpcm, 44100, 4, 1));
    ima.nBlockAlign = 6;  // not whole 4-byte groups
    EXPECT_FALSE(DescribeFormat(ima));
    ASSERT_TRUE(MakeFormat(ima, kFormatImaAdpcm, 44100, 4, 1));
    ima.extra[0] = 0xFF;  // more frames per block than the block holds
    ima.extra[1] = 0xFF;
    EXPECT_FALSE(DescribeFormat(ima));
    WAVEFORMATEX odd;
    MakePcmFormat(odd, 44100, 24, 2);
    odd.wFormatTag = kFormatIeeeFloat;
    EXPECT_FALSE(DescribeFormat(odd));
    MakePcmFormat(odd, kMaxRate + 1, 16, 2);
    EXPECT_FALSE(DescribeFormat(odd));
    EXPECT_FALSE(MakeFormat(odd, kFormatPcm, 44100, 12, 2));
}

TEST(FormatTags, DisplayNames) {
    EXPECT_EQ(FormatTagName(1), "PCM");
    EXPECT_EQ(FormatTagName(3), "IEEE Float");
    EXPECT_EQ(FormatTagName(7), "CCITT u-Law");
    EXPECT_EQ(FormatTagName(6), "CCITT A-Law");
    EXPECT_EQ(FormatTagName(0x11), "IMA ADPCM");
    EXPECT_EQ(FormatTagName(2), "Microsoft ADPCM");
    EXPECT_EQ(FormatTagName(0x55), "");
}

TEST(FormatTags, EveryOfferedFormatReallyConverts) {
    WAVEFORMATEX source;
    MakePcmFormat(source, 22050, 16, 2);
    const auto groups = ConvertibleFormats(source);
    ASSERT_EQ(groups.size(), 6u);
    EXPECT_EQ(groups[4].name, "IMA ADPCM");
    std::size_t count = 0;
    for (const auto& group : groups) {
        EXPECT_FALSE(group.formats.empty());
        for (const auto& f : group.formats) {
            EXPECT_TRUE(FormatConverter::Open(source, f) != nullptr) << f.wFormatTag;
            EXPECT_TRUE(FormatConverter::Open(f, source) != nullptr) << f.wFormatTag;
            ++count;
        }
    }
    // 7 rates x 2 channel counts x (4 + 2 + 1 + 1 + 1 + 1) bit depths.
    EXPECT_EQ(count, 7u * 2 * 10);
    WAVEFORMATEX broken = source;
    broken.nChannels = 0;
    EXPECT_TRUE(ConvertibleFormats(broken).empty());
}

TEST(ConvertWave, InMemoryAndThroughATemporaryFileKeepTexts) {
    std::vector<std::uint8_t> samples(2000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(i);
    WAVEFORMATEX from, to;
    MakePcmFormat(from, 8000, 8, 1);
    MakePcmFormat(to, 8000, 16, 2);
    for (const std::uint32_t storage : {0u, 1u}) {
        Wave wave(storage);
        wave.AttachBorrowed(from, samples.data(), 2000);
        wave.SetInfo("IART", "someone");
        ASSERT_EQ(ConvertWave(wave, to), SoundResult::Ok) << storage;
        EXPECT_EQ(*wave.Format(), to);
        ASSERT_EQ(wave.FrameCount(), 2000);
        for (int f = 0; f < 2000; f += 111) {
            const std::uint32_t packed = wave.GetFrame(f);
            const auto want = static_cast<std::uint16_t>((samples[f] - 128) * 256);
            EXPECT_EQ(packed, want | std::uint32_t{want} << 16) << f;
        }
        ASSERT_NE(wave.GetInfo("IART"), nullptr);
        EXPECT_EQ(*wave.GetInfo("IART"), "someone");
    }
    Wave empty;
    EXPECT_EQ(ConvertWave(empty, to), SoundResult::NoSamples);
    // To IMA at another rate: three passes' worth of work, ending in IMA.
    Wave wave;
    wave.AttachBorrowed(from, samples.data(), 2000);
    WAVEFORMATEX ima;
    ASSERT_TRUE(MakeFormat(ima, kFormatImaAdpcm, 11025, 4, 1));
    ASSERT_EQ(ConvertWave(wave, ima), SoundResult::Ok);
    EXPECT_EQ(wave.Format()->wFormatTag, kFormatImaAdpcm);
    EXPECT_EQ(wave.DataBytes() % ima.nBlockAlign, 0u);
}

}  // namespace
}  // namespace tamboro::audio
