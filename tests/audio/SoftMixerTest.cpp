#include "audio/mixer/SoftMixer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "audio/wave/Wave.h"
#include "platform/Cpu.h"
#include "tests/support/AudioSupport.h"

namespace tamboro::audio {
namespace {

using test::MakeWave16;
using test::MakeWave8;
using test::Pcm;

struct Mixer16 {
    SoftMixer mixer{Pcm(44100, 16, 2), true};
    Mixer16() { mixer.ApplyLatency(); }
    std::vector<std::int16_t> Mix(std::size_t samples, std::uint32_t* produced = nullptr) {
        std::vector<std::int16_t> out(samples, 0x5A5A);
        const std::uint32_t n = mixer.Mix(out.data(), static_cast<std::uint32_t>(samples * 2));
        if (produced) *produced = n;
        return out;
    }
};

TEST(SoftMixer, LatencyIsRoundedToFourBytesAndAppliedOnRequest) {
    SoftMixer m(Pcm(44100, 16, 2), false);
    EXPECT_EQ(m.ChunkBytes(), 0u);
    m.ApplyLatency();
    EXPECT_EQ(m.ChunkBytes(), 7936u);  // 176400 x 45 / 1000 = 7938
    m.SetLatency(100);
    EXPECT_EQ(m.ChunkBytes(), 7936u);
    m.ApplyLatency();
    EXPECT_EQ(m.ChunkBytes(), 17640u);
}

TEST(SoftMixer, MixWithSevenBytesProducesNothingAndLeavesTheBuffer) {
    Mixer16 m;
    std::uint8_t buf[7];
    std::memset(buf, 0xEE, 7);
    EXPECT_EQ(m.mixer.Mix(buf, 7), 0u);
    for (auto b : buf)
        EXPECT_EQ(b, 0xEE);
}

TEST(SoftMixer, MixWith250BytesProduces248AndKeepsTheTail) {
    Mixer16 m;
    std::vector<std::uint8_t> buf(250, 0xEE);
    EXPECT_EQ(m.mixer.Mix(buf.data(), 250), 248u);
    EXPECT_EQ(buf[247], 0);
    EXPECT_EQ(buf[248], 0xEE);
    EXPECT_EQ(buf[249], 0xEE);
}

struct LevelCase {
    const char* name;
    int attenuation;
    int pan;
    std::int16_t sample;
    std::int16_t left;
    std::int16_t right;
};

class SoftMixerLevels : public ::testing::TestWithParam<LevelCase> {};

TEST_P(SoftMixerLevels, AVoiceIsScaledByTheHalvingLaw) {
    const LevelCase& c = GetParam();
    Mixer16 m;
    auto wave = MakeWave16(m.mixer.Format(), std::vector<std::int16_t>(64, c.sample));
    MixVoice* v = m.mixer.CreateVoice(wave.get(), false);
    v->SetAttenuation(c.attenuation);
    v->SetPan(c.pan);
    ASSERT_EQ(v->Play(0, false), 0);
    auto out = m.Mix(16);
    EXPECT_EQ(out[0], c.left);
    EXPECT_EQ(out[1], c.right);
    EXPECT_EQ(out[14], c.left);
    EXPECT_EQ(out[15], c.right);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoftMixerLevels,
    ::testing::Values(LevelCase{"FullLevelPassesUnchanged", 0, 0, 1000, 1000, 1000},
                      LevelCase{"HalfLevelHalves", -1000, 0, 1000, 499, 499},
                      LevelCase{"PanRightHalvesLeftAndTouchesRight", 0, 1000, 1000, 499, 999},
                      LevelCase{"PanFullLeftKeepsAThousandthOnTheRight", 0, -10000, 30000, 29999,
                                28},
                      LevelCase{"PositiveAttenuationBecomesFull", 500, 0, -1234, -1234, -1234},
                      LevelCase{"FloorIsAThousandthOfTheLevel", -10000, 0, 32767, 30, 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SoftMixer, TwoLoudVoicesSaturateInsteadOfWrapping) {
    Mixer16 m;
    auto w1 = MakeWave16(m.mixer.Format(), std::vector<std::int16_t>(32, 30000));
    auto w2 = MakeWave16(m.mixer.Format(), std::vector<std::int16_t>(32, 30000));
    m.mixer.CreateVoice(w1.get(), false)->Play(0, false);
    m.mixer.CreateVoice(w2.get(), false)->Play(0, false);
    auto out = m.Mix(8);
    for (auto s : out)
        EXPECT_EQ(s, 32767);
}

TEST(SoftMixer, TwoLoudEightBitVoicesSaturateAt255) {
    SoftMixer mixer(Pcm(22050, 8, 1), true);
    mixer.ApplyLatency();
    auto w1 = MakeWave8(mixer.Format(), std::vector<std::uint8_t>(40, 250));
    auto w2 = MakeWave8(mixer.Format(), std::vector<std::uint8_t>(40, 250));
    mixer.CreateVoice(w1.get(), false)->Play(0, false);
    mixer.CreateVoice(w2.get(), false)->Play(0, false);
    std::vector<std::uint8_t> out(32, 0);
    EXPECT_EQ(mixer.Mix(out.data(), 32), 32u);
    for (auto b : out)
        EXPECT_EQ(b, 255);
}

TEST(SoftMixer, MonoIgnoresPan) {
    SoftMixer mixer(Pcm(22050, 16, 1), false);
    mixer.ApplyLatency();
    auto w = MakeWave16(mixer.Format(), std::vector<std::int16_t>(8, 1000));
    MixVoice* v = mixer.CreateVoice(w.get(), false);
    v->SetPan(10000);
    v->SetAttenuation(-1000);
    v->Play(0, false);
    std::int16_t out[8];
    mixer.Mix(out, 16);
    for (auto s : out)
        EXPECT_EQ(s, 499);
}

TEST(SoftMixer, NonLoopingVoiceEndsInsideABlockWithSilenceAndLeavesPlaying) {
    Mixer16 m;
    std::vector<std::int16_t> ramp;
    for (int i = 0; i < 10; ++i)
        ramp.push_back(static_cast<std::int16_t>(i + 1));
    auto w = MakeWave16(m.mixer.Format(), ramp);
    MixVoice* v = m.mixer.CreateVoice(w.get(), false);
    v->Play(0, false);
    auto out = m.Mix(16);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[i], i + 1);
    for (int i = 10; i < 16; ++i)
        EXPECT_EQ(out[i], 0);
    EXPECT_FALSE(v->IsPlaying());
    EXPECT_EQ(m.mixer.PlayingCount(), 0u);
}

TEST(SoftMixer, EightBitVoiceEndsWithUnsignedSilence) {
    SoftMixer mixer(Pcm(22050, 8, 2), false);
    mixer.ApplyLatency();
    auto w = MakeWave8(mixer.Format(), {10, 20, 30, 40});
    MixVoice* v = mixer.CreateVoice(w.get(), false);
    v->Play(0, false);
    std::vector<std::uint8_t> out(16, 0x11);
    mixer.Mix(out.data(), 16);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[3], 40);
    for (int i = 4; i < 16; ++i)
        EXPECT_EQ(out[i], 0x80);
    EXPECT_FALSE(v->IsPlaying());
}

TEST(SoftMixer, LoopingVoiceShorterThanABlockRepeatsWithinTheBlock) {
    Mixer16 m;
    auto w = MakeWave16(m.mixer.Format(), {1, 2, 3, 4, 5, 6});  // three frames
    MixVoice* v = m.mixer.CreateVoice(w.get(), false);
    v->Play(1, true);
    auto out = m.Mix(16);
    const std::int16_t expected[16] = {3, 4, 5, 6, 1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], expected[i]) << i;
    EXPECT_TRUE(v->IsPlaying());
    out = m.Mix(4);
    EXPECT_EQ(out[0], 1);  // carries on where the last block ended
}

TEST(SoftMixer, PlayRefusesTheEndAndEmptyWaves) {
    Mixer16 m;
    auto w = MakeWave16(m.mixer.Format(), {1, 2, 3, 4});
    MixVoice* v = m.mixer.CreateVoice(w.get(), false);
    EXPECT_EQ(v->Play(2, false), 1);
    EXPECT_FALSE(v->IsPlaying());
    EXPECT_EQ(v->Play(1, false), 0);
    EXPECT_EQ(m.mixer.CreateVoice(nullptr, false)->Play(0, false), 1);
    Wave empty;
    EXPECT_EQ(m.mixer.CreateVoice(&empty, false)->Play(0, false), 1);
}

TEST(SoftMixer, PlayingTwiceRestartsWithoutDuplicatingTheVoice) {
    Mixer16 m;
    auto w = MakeWave16(m.mixer.Format(), std::vector<std::int16_t>(64, 100));
    MixVoice* v = m.mixer.CreateVoice(w.get(), false);
    v->Play(0, true);
    v->Play(3, true);
    EXPECT_EQ(m.mixer.PlayingCount(), 1u);
    EXPECT_EQ(m.Mix(4)[0], 100);  // once, not twice
}

TEST(SoftMixer, ForeignLayoutIsConvertedToTheOutput) {
    Mixer16 m;
    auto w = MakeWave8(Pcm(44100, 8, 1), {0x80, 0xFF, 0x00, 0x81});
    m.mixer.CreateVoice(w.get(), false)->Play(0, false);
    auto out = m.Mix(8);
    const std::int16_t expected[8] = {0, 0, 127 * 256, 127 * 256, -32768, -32768, 256, 256};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], expected[i]);
}

TEST(SoftMixer, VoiceWithoutAChainEndsAtOnce) {
    Mixer16 m;
    WAVEFORMATEX mp3 = Pcm(22050, 16, 2);
    mp3.wFormatTag = 0x55;  // no converter for it
    std::vector<std::uint8_t> bytes(4000, 7);
    Wave w;
    w.AttachBorrowed(mp3, bytes.data(), 4000);
    MixVoice* v = m.mixer.CreateVoice(&w, false);
    EXPECT_FALSE(v->HasSource());
    EXPECT_EQ(v->Play(0, true), 0);
    auto out = m.Mix(8);
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(v->IsPlaying());  // a looping one too, after its first empty block
}

TEST(SoftMixer, OtherRatesAreResampledByTheChain) {
    Mixer16 m;
    auto w = MakeWave16(Pcm(22050, 16, 2), std::vector<std::int16_t>(2000, 1000));
    MixVoice* v = m.mixer.CreateVoice(w.get(), false);
    EXPECT_TRUE(v->HasSource());
    v->Play(0, false);
    auto out = m.Mix(1000);
    EXPECT_NEAR(out[500], 1000, 20);  // a steady level stays steady
    EXPECT_NEAR(out[501], 1000, 20);
}

TEST(SoftMixer, StopInsideABlockFromAnotherVoiceKeepsTheListIntact) {
    Mixer16 m;
    auto a = MakeWave16(m.mixer.Format(), {5, 5});
    auto b = MakeWave16(m.mixer.Format(), std::vector<std::int16_t>(32, 7));
    auto c = MakeWave16(m.mixer.Format(), {9, 9});
    MixVoice* va = m.mixer.CreateVoice(a.get(), false);
    MixVoice* vb = m.mixer.CreateVoice(b.get(), false);
    MixVoice* vc = m.mixer.CreateVoice(c.get(), false);
    va->Play(0, false);
    vb->Play(0, false);
    vc->Play(0, false);
    auto out = m.Mix(8);
    EXPECT_EQ(out[0], 21);
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(m.mixer.PlayingCount(), 1u);
    EXPECT_TRUE(vb->IsPlaying());
}

TEST(SoftMixer, OwnedWavesGoWithTheMixer) {
    auto mixer = std::make_unique<SoftMixer>(Pcm(8000, 8, 1), false);
    mixer->ApplyLatency();
    auto* w = MakeWave8(mixer->Format(), {1, 2, 3, 4, 5, 6, 7, 8}).release();
    mixer->CreateVoice(w, true)->Play(0, true);
    EXPECT_EQ(mixer->VoiceCount(), 1u);
    mixer.reset();  // the sanitizer build reports a leak if the wave stays
}

// The plain mixer and the SIMD mixer give the same bytes for random voices,
// levels, pans, lengths and layouts.
TEST(SoftMixer, SimdMixerGivesThePlainMixersBytes) {
    std::mt19937 rng(99);
    for (int layout = 1; layout <= 4; ++layout) {
        const std::uint16_t bits = layout >= 3 ? 16 : 8;
        const std::uint16_t channels = (layout % 2) ? 1 : 2;
        const WAVEFORMATEX f = Pcm(11025, bits, channels);
        SoftMixer plain(f, false), simd(f, true);
        plain.SetLatency(7);
        simd.SetLatency(7);
        plain.ApplyLatency();
        simd.ApplyLatency();
        std::vector<std::unique_ptr<Wave>> waves;
        for (int i = 0; i < 6; ++i) {
            std::vector<std::uint8_t> bytes((rng() % 3000 + 1) * f.nBlockAlign);
            for (auto& b : bytes)
                b = static_cast<std::uint8_t>(rng());
            waves.push_back(std::make_unique<Wave>());
            waves.back()->Create(f, static_cast<std::uint32_t>(bytes.size() / f.nBlockAlign));
            std::memcpy(waves.back()->Data(), bytes.data(), bytes.size());
            const int att = -static_cast<int>(rng() % 3000);
            const int pan = static_cast<int>(rng() % 20001) - 10000;
            const bool loop = i % 2;
            const std::uint32_t start = static_cast<std::uint32_t>(rng() % 10);
            for (SoftMixer* m : {&plain, &simd}) {
                MixVoice* v = m->CreateVoice(waves.back().get(), false);
                v->SetAttenuation(i == 0 ? 0 : att);
                v->SetPan(i == 0 ? 0 : pan);
                v->Play(start, loop);
            }
        }
        for (int block = 0; block < 20; ++block) {
            const std::uint32_t bytes = rng() % 2000;
            std::vector<std::uint8_t> a(bytes, 1), b(bytes, 1);
            ASSERT_EQ(plain.Mix(a.data(), bytes), simd.Mix(b.data(), bytes));
            ASSERT_EQ(a, b) << "layout " << layout << " block " << block;
        }
    }
}

// Voices whose samples are already in the mixer's format are read in place;
// the same samples at an odd address go through the copying path. Both
// must mix the same bytes, over loop wraps, ends and odd block sizes.
TEST(SoftMixer, SamplesReadInPlaceMixLikeCopiedOnes) {
    std::mt19937 rng(7);
    for (const std::uint16_t channels : {1, 2}) {
        const WAVEFORMATEX f = Pcm(11025, 16, channels);
        SoftMixer inPlace(f, true), copied(f, true);
        for (SoftMixer* m : {&inPlace, &copied}) {
            m->SetLatency(5);
            m->ApplyLatency();
        }
        std::vector<std::unique_ptr<Wave>> waves;
        std::vector<std::vector<std::uint8_t>> buffers;
        for (int i = 0; i < 8; ++i) {
            const std::size_t bytes = (rng() % 700 + 1) * f.nBlockAlign;
            buffers.emplace_back(bytes + 1);
            for (auto& b : buffers.back())
                b = static_cast<std::uint8_t>(rng());
            auto aligned = std::make_unique<Wave>();
            aligned->Create(f, static_cast<std::uint32_t>(bytes / f.nBlockAlign));
            std::memcpy(aligned->Data(), buffers.back().data() + 1, bytes);
            auto odd = std::make_unique<Wave>();
            odd->AttachBorrowed(f, buffers.back().data() + 1, static_cast<std::uint32_t>(bytes));
            const int att = -static_cast<int>(rng() % 2000);
            const bool loop = i % 3 != 0;
            const auto start = static_cast<std::uint32_t>(rng() % (bytes / f.nBlockAlign));
            MixVoice* a = inPlace.CreateVoice(aligned.get(), false);
            MixVoice* b = copied.CreateVoice(odd.get(), false);
            for (MixVoice* v : {a, b}) {
                v->SetAttenuation(att);
                ASSERT_EQ(v->Play(start, loop), MixVoice::kStarted);
            }
            waves.push_back(std::move(aligned));
            waves.push_back(std::move(odd));
        }
        for (int block = 0; block < 40; ++block) {
            const std::uint32_t bytes = rng() % 1500;
            std::vector<std::uint8_t> x(bytes, 3), y(bytes, 3);
            ASSERT_EQ(inPlace.Mix(x.data(), bytes), copied.Mix(y.data(), bytes));
            ASSERT_EQ(x, y) << "channels " << channels << " block " << block;
        }
    }
}

}  // namespace
}  // namespace tamboro::audio
