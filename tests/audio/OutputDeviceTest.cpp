#include "audio/output/OutputDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "audio/mixer/SoftMixer.h"
#include "audio/wave/Wave.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

constexpr int U = OutputDeviceInterface::kUnchanged;

using test::Pcm;

// An odd chunk with its pad byte, to stand before the data.
test::Bytes JunkChunk() {
    test::Bytes b;
    test::AppendChunk(b, "junk", {1, 2, 3});
    return b;
}

// Ramp-valued 16-bit stereo frames: frame k holds k + 1 on the left and
// -(k + 1) on the right.
std::vector<std::int16_t> Ramp16(int frames, int scale = 1) {
    std::vector<std::int16_t> s;
    for (int k = 0; k < frames; ++k) {
        s.push_back(static_cast<std::int16_t>((k + 1) * scale));
        s.push_back(static_cast<std::int16_t>(-(k + 1) * scale));
    }
    return s;
}

using Rig = test::DeviceRig;

TEST(OutputDevice, StaticSlotAtFullLevelReachesTheOutputBitForBit) {
    Rig rig;
    const auto samples = Ramp16(1000, 30);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    ASSERT_EQ(
        rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0),
        0);
    rig.device.Play(0, 0, 0, 0, U, 0);
    std::vector<std::int16_t> out;
    for (std::uint32_t n : {1u, 7u, 333u, 659u}) {  // 1000 frames in odd pieces
        auto part = rig.Render16(n);
        out.insert(out.end(), part.begin(), part.end());
    }
    EXPECT_EQ(out, samples);
    auto after = rig.Render16(10);
    for (auto s : after)
        EXPECT_EQ(s, 0);
    EXPECT_EQ(rig.device.IsPlaying(0), 0);
    EXPECT_EQ(rig.device.GetPosition(0), 0u);  // rewound at its end
}

// Many loud voices at their own rate, read in place or gathered across a
// loop's wrap or a sample's end, summed in slot order with saturation: the
// output equals the plain computation frame by frame.
TEST(OutputDevice, ManyVoicesSumInSlotOrderWithTheMixersLevels) {
    Rig rig;
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    std::mt19937 rng(11);
    struct Expect {
        std::vector<std::int16_t> samples;
        std::uint32_t start;
        bool loop;
        StereoGains gains;
    };
    std::vector<Expect> voices;
    for (int slot = 0; slot < 13; ++slot) {
        Expect e;
        const auto frames = static_cast<std::uint32_t>(rng() % 650 + 50);
        for (std::uint32_t k = 0; k < 2 * frames; ++k)
            e.samples.push_back(static_cast<std::int16_t>(rng() % 50001) - 25000);
        e.start = static_cast<std::uint32_t>(rng() % frames);
        e.loop = slot % 4 != 0;
        const int volume = slot % 5 == 0 ? 0 : -static_cast<int>(rng() % 3000);
        const int pan = slot % 5 == 0 ? 0 : static_cast<int>(rng() % 4001) - 2000;
        e.gains = GainsOf(volume, pan);
        const auto data = test::AsBytes(e.samples);
        ASSERT_EQ(rig.device.LoadMemory(slot, 0, &f, data.data(),
                                        static_cast<std::uint32_t>(data.size()), 1, 0),
                  0);
        rig.device.Play(slot, static_cast<std::int32_t>(e.start * 4), pan, volume, U,
                        e.loop ? 1 : 0);
        voices.push_back(std::move(e));
    }
    std::vector<std::int16_t> out;
    for (std::uint32_t n : {3u, 500u, 77u, 1024u, 396u}) {
        auto part = rig.Render16(n);
        out.insert(out.end(), part.begin(), part.end());
    }
    std::size_t mismatches = 0;
    for (std::size_t frame = 0; frame < out.size() / 2; ++frame) {
        int sum[2] = {0, 0};
        for (const Expect& e : voices) {
            const std::size_t length = e.samples.size() / 2;
            std::size_t at = e.start + frame;
            if (at >= length) {
                if (!e.loop) continue;
                at %= length;
            }
            for (int c = 0; c < 2; ++c) {
                const int gain = c == 0 ? e.gains.left : e.gains.right;
                int v = e.samples[2 * at + c];
                if (!IsFullGain(e.gains.left, e.gains.right)) v = (v * gain) >> 15;
                sum[c] = std::clamp(sum[c] + v, -32768, 32767);
            }
        }
        for (int c = 0; c < 2; ++c) {
            if (out[2 * frame + c] != sum[c] && mismatches++ < 5) {
                ADD_FAILURE() << "frame " << frame << " channel " << c << ": " << out[2 * frame + c]
                              << " vs " << sum[c];
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

TEST(OutputDevice, PositionsAreBytesOfTheSlotsOwnFormat) {
    Rig rig;  // 16-bit stereo device
    std::vector<std::uint8_t> mono8(100);
    for (int k = 0; k < 100; ++k)
        mono8[k] = static_cast<std::uint8_t>(128 + k);
    const WAVEFORMATEX f = Pcm(8000, 8, 1);
    ASSERT_EQ(rig.device.LoadMemory(3, 0, &f, mono8.data(), 100, 1, 0), 0);
    rig.device.Play(3, 10, 0, 0, U, 0);  // byte 10 of the 8-bit mono sample = frame 10
    EXPECT_EQ(rig.device.GetPosition(3), 10u);
    auto out = rig.Render16(5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(out[k * 2], (10 + k) * 256) << k;  // converted when the buffer was made
        EXPECT_EQ(out[k * 2 + 1], (10 + k) * 256);
    }
    EXPECT_EQ(rig.device.GetPosition(3), 15u);
    rig.device.SetPosition(3, 50);
    EXPECT_EQ(rig.device.GetPosition(3), 50u);
    out = rig.Render16(1);
    EXPECT_EQ(out[0], 50 * 256);
    EXPECT_EQ(rig.device.GetDataBytes(3), 100u);
    EXPECT_EQ(rig.device.GetFrameCount(3), 100u);
    EXPECT_EQ(rig.device.GetBytesPerFrame(3), 1u);
    EXPECT_EQ(rig.device.GetBits(3), 8u);
    EXPECT_EQ(rig.device.GetChannels(3), 1u);
    EXPECT_EQ(rig.device.GetRate(3), 8000u);
}

TEST(OutputDevice, LoopingStaticSlotWrapsAndItsPositionFollows) {
    Rig rig;
    const auto samples = Ramp16(5);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), 20, 1, 0);
    rig.device.Play(0, 8, U, U, U, 1);  // from frame 2
    auto out = rig.Render16(12);
    const int expected[12] = {3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(out[k * 2], expected[k]);
        EXPECT_EQ(out[k * 2 + 1], -expected[k]);
    }
    EXPECT_EQ(rig.device.GetPosition(0), 4u * 4);
    EXPECT_EQ(rig.device.IsPlaying(0), 1);
    rig.device.Stop(0);
    EXPECT_EQ(rig.device.IsPlaying(0), 0);
    EXPECT_EQ(rig.Render16(3), std::vector<std::int16_t>(6, 0));
    EXPECT_EQ(rig.device.GetPosition(0), 16u);  // a stopped cursor stays
    rig.device.Play(0, -1, U, U, U, 1);         // and Play goes on from it
    EXPECT_EQ(rig.Render16(1)[0], 5);
}

TEST(OutputDevice, InstancesStartInTurnAndSoundTogether) {
    Rig rig;
    const std::vector<std::int16_t> samples(2 * 100, 1000);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 3, 0);
    EXPECT_EQ(rig.device.Instances(0), 3u);
    rig.device.Play(0, 0, U, U, U, 0);
    EXPECT_EQ(rig.Render16(10)[0], 1000);
    rig.device.Play(0, 0, U, U, U, 0);
    EXPECT_EQ(rig.Render16(10)[0], 2000);
    rig.device.Play(0, 0, U, U, U, 0);
    EXPECT_EQ(rig.Render16(10)[0], 3000);
    rig.device.Play(0, 0, U, U, U, 0);  // the first instance again: restarted, not added
    EXPECT_EQ(rig.Render16(60)[0], 3000);
    EXPECT_EQ(rig.Render16(30)[0], 3000);
    auto out = rig.Render16(1);
    EXPECT_EQ(out[0], 1000);  // the second and third ran out; the restarted one plays on
    EXPECT_EQ(rig.device.IsPlaying(0), 1);
    rig.device.Stop(0);
    EXPECT_EQ(rig.device.IsPlaying(0), 0);
    EXPECT_EQ(rig.Render16(1)[0], 0);
}

TEST(OutputDevice, InstanceCountsAreClampedAndStreamingHasOne) {
    Rig rig;
    const std::vector<std::uint8_t> data(64, 0x80);
    const WAVEFORMATEX f = Pcm(8000, 8, 1);
    rig.device.LoadMemory(0, 0, &f, data.data(), 64, 9, 0);
    rig.device.LoadMemory(1, 0, &f, data.data(), 64, 0, 0);
    rig.device.LoadMemory(2, 1, &f, data.data(), 64, 3, 0);
    EXPECT_EQ(rig.device.Instances(0), 4u);
    EXPECT_EQ(rig.device.Instances(1), 1u);
    EXPECT_EQ(rig.device.Instances(2), 1u);
}

// The device applies volume and pan by the software mixer's law: its output
// equals what a SoftMixer makes of the same wave.
TEST(OutputDevice, LevelsFollowTheSoftwareMixersLaw) {
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    std::vector<std::int16_t> samples;
    for (int k = 0; k < 400; ++k)
        samples.push_back(static_cast<std::int16_t>(k * 163 - 32000));
    const auto data = test::AsBytes(samples);
    const int cases[][2] = {{0, 0}, {-1000, 0}, {0, 1000}, {-2500, -3700}, {-10000, 10000}};
    for (const auto& c : cases) {
        Rig rig;
        rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0);
        rig.device.Play(0, 0, c[1], c[0], U, 0);
        auto live = rig.Render16(200);

        SoftMixer mixer(f, false);
        mixer.ApplyLatency();
        Wave wave;
        wave.AttachBorrowed(f, const_cast<std::uint8_t*>(data.data()),
                            static_cast<std::uint32_t>(data.size()));
        MixVoice* v = mixer.CreateVoice(&wave, false);
        v->SetAttenuation(c[0]);
        v->SetPan(c[1]);
        v->Play(0, false);
        std::vector<std::int16_t> rendered(400);
        mixer.Mix(rendered.data(), 800);
        EXPECT_EQ(live, rendered) << c[0] << "/" << c[1];
        EXPECT_EQ(rig.device.GetVolume(0), c[0]);
        EXPECT_EQ(rig.device.GetPan(0), c[1]);
    }
}

TEST(OutputDevice, UnchangedValuesKeepVolumePanAndFrequency) {
    Rig rig;
    const std::vector<std::int16_t> samples(2 * 64, 1000);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0);
    rig.device.Play(0, 0, 1000, -1000, 11025, 0);
    rig.device.Stop(0);
    rig.device.Play(0, 0, U, U, U, 0);
    EXPECT_EQ(rig.device.GetVolume(0), -1000);
    EXPECT_EQ(rig.device.GetPan(0), 1000);
    EXPECT_EQ(rig.device.GetFrequency(0), 11025u);
    rig.device.SetVolume(0, U);
    rig.device.SetPan(0, U);
    rig.device.SetFrequency(0, U);
    EXPECT_EQ(rig.device.GetVolume(0), -1000);
    EXPECT_EQ(rig.device.GetPan(0), 1000);
    EXPECT_EQ(rig.device.GetFrequency(0), 11025u);
}

TEST(OutputDevice, VolumeChangesAreRampedWithoutAJump) {
    Rig rig;
    const std::vector<std::int16_t> samples(2 * 8000, 16000);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0);
    rig.device.Play(0, 0, 0, 0, U, 1);
    EXPECT_EQ(rig.Render16(10)[0], 16000);
    rig.device.SetVolume(0, -1000);
    auto out = rig.Render16(100);
    // 4 ms at 8000 Hz: 32 frames from 16000 down to 7999, never a jump of
    // more than a 32nd of the way per frame.
    int previous = 16000;
    for (int k = 0; k < 100; ++k) {
        EXPECT_LE(out[k * 2], previous);
        EXPECT_LE(previous - out[k * 2], 8000 / 32 + 2) << k;
        previous = out[k * 2];
    }
    EXPECT_GT(out[0], 15000);
    EXPECT_EQ(out[2 * 40], 7999);  // settled on the law's value
    EXPECT_EQ(out[2 * 99 + 1], 7999);
}

TEST(OutputDevice, FrequencyResamplesWithCubicInterpolation) {
    Rig rig;
    // A straight line is reproduced exactly by the cubic.
    std::vector<std::int16_t> samples;
    for (int k = 0; k < 600; ++k) {
        samples.push_back(static_cast<std::int16_t>(2 * k));
        samples.push_back(static_cast<std::int16_t>(-2 * k));
    }
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0);
    rig.device.Play(0, 40, U, U, 12000, 0);  // from frame 10 at 1.5 x
    EXPECT_EQ(rig.device.GetFrequency(0), 12000u);
    auto out = rig.Render16(100);
    for (int j = 0; j < 100; ++j) {
        EXPECT_EQ(out[j * 2], 20 + 3 * j) << j;
        EXPECT_EQ(out[j * 2 + 1], -(20 + 3 * j)) << j;
    }
    EXPECT_EQ(rig.device.GetPosition(0), (10u + 150u) * 4);
    rig.device.SetFrequency(0, 8000);  // back to 1.0 on a whole frame: exact copy again
    out = rig.Render16(2);
    EXPECT_EQ(out[0], 320);
    EXPECT_EQ(out[2], 322);
}

TEST(OutputDevice, ResampledVoicesFollowTheCubicFormulaToTheBit) {
    // The vector path (two stereo frames at once) and the plain path of the
    // interpolation give what the formula gives in float, rounded to even.
    for (const std::uint16_t channels : {1, 2}) {
        Rig rig(Pcm(44100, 16, channels));
        std::vector<std::int16_t> samples(static_cast<std::size_t>(5000) * channels);
        std::uint32_t seed = 12345;
        for (auto& v : samples) {
            seed = seed * 1103515245u + 12345u;
            v = static_cast<std::int16_t>(seed >> 16);  // full range: the cubic overshoots
        }
        const auto data = test::AsBytes(samples);
        const WAVEFORMATEX f = Pcm(31013, 16, channels);
        rig.device.LoadMemory(0, 0, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0);
        rig.device.Play(0, 4 * channels, U, U, U, 0);  // from frame 2
        const auto out = rig.Render16(3001);
        const std::uint64_t step = (std::uint64_t{31013} << 32) / 44100;
        std::uint64_t pos = std::uint64_t{2} << 32;
        for (std::size_t j = 0; j < 3001; ++j, pos += step) {
            const std::size_t idx = static_cast<std::size_t>(pos >> 32);
            const float t = static_cast<float>(pos & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
            for (std::size_t c = 0; c < channels; ++c) {
                const auto at = [&](std::size_t i) {
                    return static_cast<float>(samples[i * channels + c]);
                };
                const float p0 = at(idx - 1), p1 = at(idx), p2 = at(idx + 1), p3 = at(idx + 2);
                const float y = p1 + 0.5f * t *
                                         (p2 - p0 +
                                          t * (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3 +
                                               t * (3.0f * (p1 - p2) + p3 - p0)));
                const long r = std::clamp(std::lrintf(y), -32768L, 32767L);
                ASSERT_EQ(out[j * channels + c], r) << "frame " << j << " channel " << c;
            }
        }
    }
}

TEST(OutputDevice, StreamingSlotPlaysTheSampleExactlyAndStopsItself) {
    Rig rig;
    // Three seconds at 8000 Hz: three rings' worth, refilled by Service.
    std::vector<std::int16_t> samples;
    for (int k = 0; k < 24000; ++k) {
        samples.push_back(static_cast<std::int16_t>(k));
        samples.push_back(static_cast<std::int16_t>(~k));
    }
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    ASSERT_EQ(
        rig.device.LoadMemory(5, 1, &f, data.data(), static_cast<std::uint32_t>(data.size()), 1, 0),
        0);
    rig.device.Play(5, -1, U, U, U, 0);
    std::vector<std::int16_t> out;
    std::uint32_t lastPos = 0;
    for (int block = 0; block < 40; ++block) {
        auto part = rig.Render16(800);
        out.insert(out.end(), part.begin(), part.end());
        rig.device.Service();
        const std::uint32_t pos = rig.device.GetPosition(5);
        if (block < 29) {
            EXPECT_EQ(pos, (block + 1) * 800u * 4) << block;
        }
        EXPECT_GE(pos, lastPos);
        lastPos = pos;
    }
    ASSERT_EQ(out.size(), 2u * 32000);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin()));
    for (std::size_t i = samples.size(); i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(rig.device.IsPlaying(5), 0);
    EXPECT_EQ(rig.device.GetPosition(5), static_cast<std::uint32_t>(data.size()));
    EXPECT_EQ(rig.device.Backend() != nullptr, true);
}

TEST(OutputDevice, ShortStreamingSampleEndsOnItsLastFrameWithoutService) {
    Rig rig;
    const auto samples = Ramp16(30);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 1, &f, data.data(), 120, 1, 0);
    rig.device.Play(0, -1, U, U, U, 0);
    EXPECT_EQ(rig.device.IsPlaying(0), 1);
    auto out = rig.Render16(40);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), out.begin()));
    for (std::size_t i = samples.size(); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0);
    EXPECT_EQ(rig.device.IsPlaying(0), 0);  // stopped itself
    EXPECT_EQ(rig.device.GetPosition(0), 120u);
    rig.device.Play(0, -1, U, U, U, 0);  // and plays again from the start
    EXPECT_EQ(rig.Render16(1)[0], 1);
}

TEST(OutputDevice, StreamingSlotLoopsFromItsStartPosition) {
    Rig rig;
    const auto samples = Ramp16(7);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 1, &f, data.data(), 28, 1, 0);
    rig.device.Play(0, 20, U, U, U, 1);  // frame 5
    auto out = rig.Render16(10);
    const int expected[10] = {6, 7, 1, 2, 3, 4, 5, 6, 7, 1};
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(out[k * 2], expected[k]) << k;
    EXPECT_EQ(rig.device.GetPosition(0), 1u * 4);  // (5 + 10) mod 7
    EXPECT_EQ(rig.device.IsPlaying(0), 1);
    rig.device.SetPosition(0, 12);  // playing: carries on from frame 3
    EXPECT_EQ(rig.Render16(1)[0], 4);
}

TEST(OutputDevice, EightBitDeviceKeepsEightBitSamplesExact) {
    Rig rig(Pcm(11025, 8, 1));
    std::vector<std::uint8_t> data(256);
    for (int k = 0; k < 256; ++k)
        data[k] = static_cast<std::uint8_t>(k);
    const WAVEFORMATEX f = Pcm(11025, 8, 1);
    rig.device.LoadMemory(0, 0, &f, data.data(), 256, 1, 0);
    rig.device.Play(0, 0, 5000, 0, U, 0);  // pan means nothing in mono
    EXPECT_EQ(rig.backend->Render(256), data);
    std::vector<std::uint8_t> silence(8, 0x80);
    EXPECT_EQ(rig.backend->Render(8), silence);
}

TEST(OutputDevice, SlotsAreAllocatedLowestFirstUntilAllSixtyAreTaken) {
    Rig rig;
    for (int s = 0; s < 60; ++s)
        EXPECT_EQ(rig.device.AllocSlot(), s);
    EXPECT_EQ(rig.device.AllocSlot(), -1);
    rig.device.FreeSlot(17);
    EXPECT_EQ(rig.device.AllocSlot(), 17);
    const std::vector<std::uint8_t> data(8, 0x80);
    const WAVEFORMATEX f = Pcm(8000, 8, 1);
    rig.device.FreeSlot(59);
    rig.device.LoadMemory(59, 0, &f, data.data(), 8, 1, 0);
    EXPECT_EQ(rig.device.AllocSlot(), -1);  // loaded counts as taken
    rig.device.Unload(59);
    EXPECT_EQ(rig.device.AllocSlot(), -1);  // unloading keeps the reservation
}

TEST(OutputDevice, BadSlotsAndMissingDataAreRefused) {
    Rig rig;
    const std::vector<std::uint8_t> data(8, 0x80);
    const WAVEFORMATEX f = Pcm(8000, 8, 1);
    EXPECT_EQ(rig.device.LoadMemory(60, 0, &f, data.data(), 8, 1, 0), 1);
    EXPECT_EQ(rig.device.LoadMemory(-1, 0, &f, data.data(), 8, 1, 0), 1);
    EXPECT_EQ(rig.device.LoadMemory(0, 0, &f, nullptr, 8, 1, 0), 1);
    EXPECT_EQ(rig.device.LoadFile(60, "x.wav", 0, 1, 0), 1);
    EXPECT_EQ(rig.device.LoadResource(60, "X", 1, 0), 1);
    EXPECT_EQ(rig.device.LoadResource(0, "NO_SUCH_SOUND", 1, 0), 4);
    EXPECT_EQ(rig.device.IsLoaded(0), 0);
    rig.device.Play(60, 0, 0, 0, 0, 0);
    EXPECT_EQ(rig.device.IsPlaying(60), 0);
    EXPECT_EQ(rig.device.GetRate(60), 0u);
    EXPECT_EQ(rig.device.GetPosition(-3), 0u);
    EXPECT_EQ(rig.device.GetRate(1), 0u);  // free slot
}

TEST(OutputDevice, LoadFileReadsRiffWaveAndReportsFailures) {
    test::TempDir dir;
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    const auto samples = Ramp16(50);
    const auto image = test::WavFile(f, test::AsBytes(samples), JunkChunk());
    ASSERT_TRUE(test::WriteAll(dir.File("a.wav"), image));
    ASSERT_TRUE(test::WriteAll(dir.File("bad.wav"), {'R', 'I', 'F', 'F', 1, 2, 3}));
    auto cut = image;
    cut.resize(cut.size() - 40);  // the data chunk runs past the end: damaged
    ASSERT_TRUE(test::WriteAll(dir.File("cut.wav"), cut));

    Rig rig;
    EXPECT_EQ(rig.device.LoadFile(0, dir.File("missing.wav"), 0, 1, 0), 2);
    EXPECT_EQ(rig.device.IsLoaded(0), 0);
    EXPECT_EQ(rig.device.LoadFile(0, dir.File("bad.wav"), 0, 1, 0), 3);
    EXPECT_EQ(rig.device.IsLoaded(0), 0);
    ASSERT_EQ(rig.device.LoadFile(0, dir.File("a.wav"), 0, 1, 0), 0);
    EXPECT_EQ(rig.device.GetDataBytes(0), 200u);
    rig.device.Play(0, 0, 0, 0, U, 0);
    EXPECT_EQ(rig.Render16(50), samples);
    EXPECT_EQ(rig.device.LoadFile(1, dir.File("cut.wav"), 1, 1, 0), 3);
    EXPECT_EQ(rig.device.IsLoaded(1), 0);
    EXPECT_EQ(rig.device.LoadMemory(2, 0, nullptr, image.data(),
                                    static_cast<std::uint32_t>(image.size()), 1, 0),
              0);
    EXPECT_EQ(rig.device.GetFrameCount(2), 50u);
}

TEST(OutputDevice, CompressedSamplesGoThroughTheConversionChain) {
    Rig rig;
    // mu-law: 0xFF is silence, 0x80 the loudest positive sample.
    WAVEFORMATEX mulaw;
    MakePcmFormat(mulaw, 8000, 8, 1);
    mulaw.wFormatTag = 7;
    std::vector<std::uint8_t> data = {0xFF, 0xFF, 0x80, 0x80, 0xFF, 0x00};
    ASSERT_EQ(rig.device.LoadMemory(0, 0, &mulaw, data.data(), 6, 1, 0), 0);
    rig.device.Play(0, 0, 0, 0, U, 0);
    auto out = rig.Render16(8);
    EXPECT_EQ(out[0], 0);
    EXPECT_GT(out[4], 30000);  // loud positive, on both sides
    EXPECT_EQ(out[4], out[5]);
    EXPECT_LT(out[10], -30000);
    EXPECT_EQ(out[12], 0);  // ended
    EXPECT_EQ(rig.device.GetFrameCount(0), 6u);
}

TEST(OutputDevice, DevicesComeFromTheBackendAndSelectionIsChecked) {
    Rig rig;
    EXPECT_EQ(rig.device.DeviceCount(), 2);
    EXPECT_EQ(rig.device.DeviceName(1), "Second card");
    EXPECT_EQ(rig.device.DeviceName(2), "");
    EXPECT_EQ(rig.device.DeviceName(-1), "");
    EXPECT_EQ(rig.device.SelectedDevice(), -1);
    rig.device.SelectDevice(2);  // equal to the count: ignored
    EXPECT_EQ(rig.device.SelectedDevice(), -1);
    rig.device.SelectDevice(1);
    EXPECT_EQ(rig.device.SelectedDevice(), 1);
    rig.device.SelectDevice(-7);
    EXPECT_EQ(rig.device.SelectedDevice(), 1);
    rig.device.Activate(0);
    rig.device.Activate(1);
    EXPECT_EQ(rig.backend->OpenedIndex(), 1);
    EXPECT_NE(rig.device.GetCaps() & kCapsAlwaysSet, 0u);
}

TEST(OutputDevice, DeactivationClosesAndActivationRebuildsWithTheNewFormat) {
    Rig rig;
    const auto samples = Ramp16(20);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), 80, 1, 0);
    rig.device.Play(0, 0, U, U, U, 1);
    EXPECT_EQ(rig.device.GrantedFrames(), 80u);  // 10 ms at 8000 Hz
    rig.device.Activate(0);
    EXPECT_EQ(rig.device.IsActive(), 0);
    EXPECT_FALSE(rig.backend->IsOpen());
    EXPECT_EQ(rig.device.IsPlaying(0), 0);
    rig.device.Play(0, 0, U, U, U, 1);  // inactive: nothing
    EXPECT_EQ(rig.device.IsPlaying(0), 0);
    EXPECT_EQ(rig.device.IsLoaded(0), 1);  // samples stay loaded

    rig.device.SetWindowAndFormat(Pcm(8000, 8, 2), 0);
    rig.device.Activate(1);
    EXPECT_EQ(rig.backend->OpenedFormat().wBitsPerSample, 8);
    rig.device.Play(0, 0, U, U, U, 0);
    auto out = rig.backend->Render(3);
    const std::vector<std::uint8_t> expected = {128, 127, 128,
                                                127, 128, 127};  // 1 >> 8 + 128, -1 >> 8 + 128
    EXPECT_EQ(out, expected);
}

TEST(OutputDevice, AVanishedDeviceIsReopenedByTheNextPlay) {
    Rig rig;
    const std::vector<std::int16_t> samples(2 * 50, 77);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), 200, 1, 0);
    rig.device.Play(0, 0, U, U, U, 1);
    EXPECT_EQ(rig.Render16(1)[0], 77);
    rig.backend->SetLost(true);
    EXPECT_TRUE(rig.backend->Render(4).empty());
    rig.device.Play(0, 0, U, U, U, 1);
    EXPECT_EQ(rig.backend->OpenCount(), 2);
    EXPECT_EQ(rig.Render16(1)[0], 77);
}

TEST(OutputDevice, WithoutASoundDeviceNothingPlaysAndNothingBlocks) {
    auto backend = std::make_unique<ManualBackend>(std::vector<std::string>{"Listed card"});
    backend->SetOpenFails(true);
    Rig rig(std::move(backend), Pcm(8000, 16, 2));
    EXPECT_EQ(rig.device.IsActive(), 0);
    EXPECT_EQ(rig.device.DeviceCount(), 1);
    EXPECT_EQ(rig.device.GetCaps(), 0u);
    const std::vector<std::uint8_t> data(64, 0x80);
    const WAVEFORMATEX f = Pcm(8000, 8, 1);
    EXPECT_EQ(rig.device.LoadMemory(0, 1, &f, data.data(), 64, 1, 0), 0);
    for (int i = 0; i < 10000; ++i)
        rig.device.Play(0, 0, 0, 0, 0, 1);  // nothing piles up
    EXPECT_EQ(rig.device.IsPlaying(0), 0);

    for (const WAVEFORMATEX& odd : {Pcm(0, 16, 2), Pcm(4000000, 16, 2), Pcm(8000, 24, 2)}) {
        OutputDevice device(std::make_unique<ManualBackend>());
        device.SetWindowAndFormat(odd, 0);
        device.Activate(1);
        EXPECT_EQ(device.IsActive(), 0);  // refused, silently
    }

    OutputDevice none(nullptr);
    none.Activate(1);
    EXPECT_EQ(none.IsActive(), 0);
    EXPECT_EQ(none.DeviceCount(), 0);
    EXPECT_EQ(none.GetCaps(), 0u);
}

TEST(OutputDevice, UnloadingAPlayingSlotSilencesItAndFreesItsBuffer) {
    Rig rig;
    std::vector<std::int16_t> samples(2 * 100, 500);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    {
        auto data = test::AsBytes(samples);
        rig.device.LoadMemory(0, 0, &f, data.data(), 400, 2, 0);
        rig.device.LoadMemory(1, 1, &f, data.data(), 400, 1, 0);
        rig.device.Play(0, 0, U, U, U, 1);
        rig.device.Play(1, 0, U, U, U, 1);
        EXPECT_EQ(rig.Render16(1)[0], 1000);
        rig.device.FreeSlot(0);
        rig.device.Unload(1);
    }  // the memory is gone now; the engine must not read it
    EXPECT_EQ(rig.Render16(10), std::vector<std::int16_t>(20, 0));
}

TEST(OutputDevice, ManyCommandsBetweenRendersAreAllApplied) {
    Rig rig;
    const std::vector<std::int16_t> samples(2 * 50, 100);
    const auto data = test::AsBytes(samples);
    const WAVEFORMATEX f = Pcm(8000, 16, 2);
    rig.device.LoadMemory(0, 0, &f, data.data(), 200, 1, 0);
    rig.device.Play(0, 0, U, U, U, 1);
    for (int i = 0; i < 20000; ++i)
        rig.device.SetPan(0, (i % 2) ? 500 : -500);  // past the ring
    rig.device.SetPan(0, 0);
    rig.device.SetVolume(0, 0);
    rig.Render16(200);
    EXPECT_EQ(rig.Render16(1)[0], 100);
}

}  // namespace
}  // namespace tamboro::audio
