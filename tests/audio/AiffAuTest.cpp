// AIFF and AU/SND reading and writing; round trips through WAV.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/files/SoundFileInternal.h"
#include "base/ByteOrder.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

using test::Bytes;

using test::Pcm;

Bytes Au(std::uint32_t encoding, std::uint32_t rate, std::uint32_t channels, const Bytes& data,
         std::uint32_t size = 0xFFFFFFFE) {
    Bytes b;
    base::AppendBe<32>(b, 0x2E736E64);
    base::AppendBe<32>(b, 28);
    base::AppendBe<32>(b, size == 0xFFFFFFFE ? static_cast<std::uint32_t>(data.size()) : size);
    base::AppendBe<32>(b, encoding);
    base::AppendBe<32>(b, rate);
    base::AppendBe<32>(b, channels);
    test::AppendId(b, "mood");
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes Aiff(std::uint16_t channels, std::uint16_t bits, std::uint16_t exponent,
           std::uint16_t mantissa, const Bytes& samples, const char* compression = nullptr,
           bool oddNameFirst = false) {
    Bytes body;
    test::AppendId(body, compression != nullptr ? "AIFC" : "AIFF");
    if (oddNameFirst) {
        test::AppendId(body, "NAME");
        base::AppendBe<32>(body, 3);
        body.insert(body.end(), {'a', 'b', 'c', 0});
    }
    test::AppendId(body, "COMM");
    base::AppendBe<32>(body, compression != nullptr ? 24 : 18);
    base::AppendBe<16>(body, channels);
    const std::uint32_t width = (bits + 7) / 8;
    base::AppendBe<32>(body, static_cast<std::uint32_t>(samples.size() / (width * channels)));
    base::AppendBe<16>(body, bits);
    base::AppendBe<16>(body, exponent);
    base::AppendBe<16>(body, mantissa);
    for (int i = 0; i < 6; ++i)
        body.push_back(0);
    if (compression != nullptr) {
        test::AppendId(body, compression);
        body.push_back(0);  // empty name
        body.push_back(0);
    }
    test::AppendId(body, "SSND");
    base::AppendBe<32>(body, static_cast<std::uint32_t>(samples.size() + 8));
    base::AppendBe<32>(body, 0);
    base::AppendBe<32>(body, 0);
    body.insert(body.end(), samples.begin(), samples.end());
    Bytes file;
    test::AppendId(file, "FORM");
    base::AppendBe<32>(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

SoundResult ReadAu(Wave& wave, const Bytes& b, std::uint32_t flags = 0) {
    return detail::ReadAuImage(wave, b.data(), b.size(), flags, nullptr, nullptr);
}
SoundResult ReadAiff(Wave& wave, const Bytes& b, std::uint32_t flags = 0) {
    return detail::ReadAiffImage(wave, b.data(), b.size(), flags, nullptr, nullptr);
}

TEST(Au, EightBitLinearMapsSignedBytesExactly) {
    Wave wave;
    ASSERT_EQ(ReadAu(wave, Au(2, 8000, 1, {0x00, 0x7F, 0x80, 0xFF})), SoundResult::Ok);
    ASSERT_EQ(wave.Layout(), PcmLayout::Mono8);
    ASSERT_EQ(wave.DataBytes(), 4u);
    // Signed s becomes unsigned s + 128: exact, so that round trips are.
    EXPECT_EQ(wave.Data()[0], 128);
    EXPECT_EQ(wave.Data()[1], 255);
    EXPECT_EQ(wave.Data()[2], 0);
    EXPECT_EQ(wave.Data()[3], 127);
}

TEST(Au, SixteenBitStereoIsByteSwapped) {
    Wave wave;
    ASSERT_EQ(ReadAu(wave, Au(3, 11025, 2, {0x12, 0x34, 0x80, 0x00})), SoundResult::Ok);
    ASSERT_EQ(wave.Layout(), PcmLayout::Stereo16);
    EXPECT_EQ(wave.GetFrame(0), 0x80001234u);
}

TEST(Au, CompandedEncodingsDecodeTo16Bit) {
    Wave wave;
    ASSERT_EQ(ReadAu(wave, Au(1, 8000, 1, {0x00, 0xFF, 0x80})), SoundResult::Ok);
    ASSERT_EQ(wave.Layout(), PcmLayout::Mono16);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), -32124);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(1)), 0);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(2)), 32124);
    ASSERT_EQ(ReadAu(wave, Au(27, 8000, 1, {0xD5, 0x55, 0xAA})), SoundResult::Ok);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), 8);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(1)), -8);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(2)), 32256);
}

TEST(Au, RefusedFilesGiveTheirCodes) {
    Wave wave;
    EXPECT_EQ(ReadAu(wave, Au(5, 8000, 1, {0, 0, 0, 0})), SoundResult::ConversionUnavailable);
    Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    riff.resize(40);
    EXPECT_EQ(ReadAu(wave, riff), SoundResult::Damaged);
    EXPECT_EQ(ReadAu(wave, Au(3, 8000, 0, {0, 0})), SoundResult::InvalidFile);
    EXPECT_EQ(ReadAu(wave, Au(3, 0, 1, {0, 0})), SoundResult::InvalidFile);
    EXPECT_EQ(ReadAu(wave, Au(3, 8000, 1, {0, 0}, 1000)), SoundResult::Damaged);
    // Size 0xFFFFFFFF means "to the end of the file".
    ASSERT_EQ(ReadAu(wave, Au(3, 8000, 1, {0, 1, 0, 2, 9}, 0xFFFFFFFF)), SoundResult::Ok);
    EXPECT_EQ(wave.FrameCount(), 2);
    Bytes header = Au(3, 8000, 1, {});
    for (std::size_t n = 0; n < header.size(); ++n) {
        Bytes cut(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_NE(ReadAu(wave, cut), SoundResult::Ok) << n;
        EXPECT_EQ(wave.GetState(), Wave::kEmpty);
    }
}

TEST(Aiff, ExtendedRatesOfTheTableAndBeyond) {
    std::uint8_t field[10];
    detail::EncodeExtendedRate(22050, field);
    EXPECT_EQ(field[0], 0x40);
    EXPECT_EQ(field[1], 0x0D);
    EXPECT_EQ(field[2] << 8 | field[3], 44100);
    for (int i = 4; i < 10; ++i)
        EXPECT_EQ(field[i], 0);
    for (std::uint32_t rate : {1u, 7u, 8000u, 11025u, 12345u, 32075u, 44100u, 96000u, 524287u}) {
        detail::EncodeExtendedRate(rate, field);
        EXPECT_EQ(detail::DecodeExtendedRate(field), rate);
    }
    const std::uint8_t tooFast[10] = {0x40, 0x12, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(detail::DecodeExtendedRate(tooFast), 0u);
    const std::uint8_t negative[10] = {0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(detail::DecodeExtendedRate(negative), 0u);
}

TEST(Aiff, ReadsPlainAndCompressionNoneAndSowt) {
    Wave wave;
    ASSERT_EQ(ReadAiff(wave, Aiff(1, 16, 0x400E, 44100, {0x12, 0x34, 0xFF, 0xFE})),
              SoundResult::Ok);
    EXPECT_EQ(wave.Format()->nSamplesPerSec, 44100u);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), 0x1234);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(1)), -2);
    ASSERT_EQ(ReadAiff(wave, Aiff(1, 16, 0x400E, 44100, {0x12, 0x34}, "NONE")), SoundResult::Ok);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), 0x1234);
    ASSERT_EQ(ReadAiff(wave, Aiff(1, 16, 0x400E, 44100, {0x12, 0x34}, "sowt")), SoundResult::Ok);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), 0x3412);
    EXPECT_EQ(ReadAiff(wave, Aiff(1, 16, 0x400E, 44100, {0x12, 0x34}, "fl32")),
              SoundResult::ConversionUnavailable);
    EXPECT_EQ(ReadAiff(wave, Aiff(1, 16, 0x4012, 44100, {0x12, 0x34})), SoundResult::Damaged);
    ASSERT_EQ(ReadAiff(wave, Aiff(2, 8, 0x400D, 44100, {0x7F, 0x80}, nullptr, true)),
              SoundResult::Ok);
    EXPECT_EQ(wave.Layout(), PcmLayout::Stereo8);
    EXPECT_EQ(wave.Data()[0], 255);
    EXPECT_EQ(wave.Data()[1], 0);
}

TEST(Aiff, WideSamplesAreRoundedTo16Bits) {
    Wave wave;
    // 24-bit: 0x123480 rounds up to 0x1235; 0x7FFFFF stays at full scale.
    ASSERT_EQ(ReadAiff(wave, Aiff(1, 24, 0x400E, 48000, {0x12, 0x34, 0x80, 0x7F, 0xFF, 0xFF})),
              SoundResult::Ok);
    EXPECT_EQ(wave.Layout(), PcmLayout::Mono16);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), 0x1235);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(1)), 0x7FFF);
    // 32-bit little-endian (sowt).
    ASSERT_EQ(ReadAiff(wave, Aiff(1, 32, 0x400E, 48000, {0x00, 0x00, 0x00, 0x80}, "sowt")),
              SoundResult::Ok);
    EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(0)), -32768);
}

TEST(Aiff, EveryTruncationGivesACode) {
    const Bytes file = Aiff(2, 16, 0x400E, 44100, Bytes(40, 7));
    Wave wave;
    for (std::size_t n = 0; n < file.size(); ++n) {
        Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
        const SoundResult r = ReadAiff(wave, cut);
        if (r == SoundResult::Ok) {
            EXPECT_LE(wave.DataBytes(), 40u);  // fewer frames, never invented ones
        } else {
            EXPECT_EQ(r, SoundResult::Damaged) << n;
        }
    }
}

TEST(Aiff, WriterHeaderForA22kStereoWave) {
    test::TempDir dir;
    Bytes samples(400);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(i);
    Wave wave;
    wave.AttachBorrowed(Pcm(22050, 16, 2), samples.data(), 400);
    ASSERT_EQ(SaveWave(wave, dir.File("x.aif"), 0), SoundResult::Ok);
    const Bytes file = test::ReadAll(dir.File("x.aif"));
    ASSERT_EQ(file.size(), 54u + 400u);
    EXPECT_EQ(base::LoadBe<32>(file.data() + 4), 400u + 46u);
    EXPECT_EQ(base::LoadBe<16>(file.data() + 28), 0x400D);
    EXPECT_EQ(base::LoadBe<16>(file.data() + 30), 44100);
    EXPECT_EQ(base::LoadBe<32>(file.data() + 22), 100u);  // frames
    // Samples byte-swapped.
    EXPECT_EQ(file[54], samples[1]);
    EXPECT_EQ(file[55], samples[0]);
}

// Extreme values and a ramp in every channel layout.
Bytes Extremes(std::uint16_t bits, std::uint16_t channels, std::uint32_t frames) {
    Bytes b;
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::uint16_t c = 0; c < channels; ++c) {
            const std::uint32_t v =
                f * 7 + c * 3 + (f % 5 == 0 ? 0x7F : 0) + (f % 7 == 0 ? 0x80 : 0);
            if (bits == 8) {
                b.push_back(static_cast<std::uint8_t>(f % 3 == 0 ? 0 : f % 3 == 1 ? 255 : v));
            } else {
                const std::uint16_t s = f % 3 == 0   ? 0x8000
                                        : f % 3 == 1 ? 0x7FFF
                                                     : static_cast<std::uint16_t>(v * 251);
                b.push_back(static_cast<std::uint8_t>(s));
                b.push_back(static_cast<std::uint8_t>(s >> 8));
            }
        }
    }
    return b;
}

struct Trip {
    const char* via;
    std::uint16_t bits;
    std::uint16_t channels;
};
class RoundTrip : public ::testing::TestWithParam<Trip> {};

TEST_P(RoundTrip, WavThroughAnotherTypeAndBackIsExact) {
    const Trip& t = GetParam();
    test::TempDir dir;
    Bytes samples = Extremes(t.bits, t.channels, 1001);
    Wave original;
    original.AttachBorrowed(Pcm(11025, t.bits, t.channels), samples.data(),
                            static_cast<std::uint32_t>(samples.size()));
    ASSERT_EQ(SaveWave(original, dir.File("a.wav"), 0), SoundResult::Ok);
    Wave loaded;
    ASSERT_EQ(LoadWave(loaded, dir.File("a.wav"), 0), SoundResult::Ok);
    const std::string other = dir.File(std::string("b.") + t.via);
    ASSERT_EQ(SaveWave(loaded, other, 0), SoundResult::Ok);
    Wave back;
    ASSERT_EQ(LoadWave(back, other, 0), SoundResult::Ok);
    ASSERT_EQ(SaveWave(back, dir.File("c.wav"), 0), SoundResult::Ok);
    Wave final;
    ASSERT_EQ(LoadWave(final, dir.File("c.wav"), 0), SoundResult::Ok);
    ASSERT_EQ(*final.Format(), *original.Format());
    ASSERT_EQ(final.DataBytes(), samples.size());
    EXPECT_EQ(std::memcmp(final.Data(), samples.data(), samples.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Matrix, RoundTrip,
                         ::testing::Values(Trip{"aif", 8, 1}, Trip{"aif", 8, 2},
                                           Trip{"aiff", 16, 1}, Trip{"aif", 16, 2},
                                           Trip{"au", 8, 1}, Trip{"snd", 8, 2}, Trip{"au", 16, 1},
                                           Trip{"au", 16, 2}),
                         [](const auto& info) {
                             return std::string(info.param.via) + "_" +
                                    std::to_string(info.param.bits) + "bit_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST(Aiff, RatesOutsideTheTableSurviveAndOtherChannelsAreConverted) {
    test::TempDir dir;
    Bytes samples = Extremes(16, 2, 300);
    Wave wave;
    wave.AttachBorrowed(Pcm(12345, 16, 2), samples.data(),
                        static_cast<std::uint32_t>(samples.size()));
    ASSERT_EQ(SaveWave(wave, dir.File("odd.aiff"), 0), SoundResult::Ok);
    Wave back;
    ASSERT_EQ(LoadWave(back, dir.File("odd.aiff"), 0), SoundResult::Ok);
    EXPECT_EQ(back.Format()->nSamplesPerSec, 12345u);
    // A mono output format gets mono samples, not a mislabelled stereo body.
    const WAVEFORMATEX mono = Pcm(12345, 16, 1);
    ASSERT_EQ(SaveWave(wave, dir.File("mono.aiff"), 0, &mono), SoundResult::Ok);
    ASSERT_EQ(LoadWave(back, dir.File("mono.aiff"), 0), SoundResult::Ok);
    EXPECT_EQ(back.Format()->nChannels, 1);
    EXPECT_EQ(back.FrameCount(), 300);
}

TEST(Au, CompandedSavesAndLoads) {
    test::TempDir dir;
    Bytes samples = Extremes(16, 1, 500);
    Wave wave;
    wave.AttachBorrowed(Pcm(8000, 16, 1), samples.data(),
                        static_cast<std::uint32_t>(samples.size()));
    for (const std::uint16_t tag : {kFormatMuLaw, kFormatALaw}) {
        WAVEFORMATEX f = Pcm(8000, 8, 1);
        f.wFormatTag = tag;
        ASSERT_EQ(SaveWave(wave, dir.File("c.au"), 0, &f), SoundResult::Ok);
        const Bytes file = test::ReadAll(dir.File("c.au"));
        ASSERT_EQ(file.size(), 28u + 500u);
        EXPECT_EQ(base::LoadBe<32>(file.data() + 12), tag == kFormatMuLaw ? 1u : 27u);
        Wave back;
        ASSERT_EQ(LoadWave(back, dir.File("c.au"), 0), SoundResult::Ok);
        ASSERT_EQ(back.FrameCount(), 500);
        for (int f2 = 0; f2 < 500; ++f2) {
            const int want = static_cast<std::int16_t>(wave.GetFrame(f2) & 0xFFFF);
            const int got = static_cast<std::int16_t>(back.GetFrame(f2) & 0xFFFF);
            // Companding keeps about 1/16 of a step's magnitude.
            EXPECT_NEAR(got, want, std::max(16, std::abs(want) / 16)) << f2;
        }
    }
    WAVEFORMATEX adpcm;
    ASSERT_TRUE(MakeFormat(adpcm, kFormatImaAdpcm, 8000, 4, 1));
    EXPECT_EQ(SaveWave(wave, dir.File("d.au"), 0, &adpcm), SoundResult::SaveUnknownType);
}

}  // namespace
}  // namespace tamboro::audio
