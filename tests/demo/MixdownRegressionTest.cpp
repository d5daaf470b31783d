// The mixdown renders the demo song exactly as it did before the live mix
// moved into the audio callback and the two came to share one meaning of an
// event. The hashes below are FNV-1a (64 bits) of the sample data of renders
// made by that earlier mixdown (tamboro-cli render, 6 Dec 2026) of the demo
// song whose own hash is kDemoHash.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/files/SoundFile.h"
#include "engine/Song.h"
#include "platform/Messages.h"
#include "tests/support/TestSupport.h"

namespace tamboro::engine {
namespace {

std::uint64_t Fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

constexpr std::uint64_t kDemoHash = 0x188bf70e007ec5a8ull;

TEST(MixdownRegression, TheDemoSongRendersAsBefore) {
    const std::string path = std::string(TAMBORO_BINARY_DIR) + "/demo/demo.tbo";
    const auto file = tamboro::test::ReadAll(path);
    ASSERT_FALSE(file.empty());
    if (Fnv1a(file.data(), file.size()) != kDemoHash) {
        GTEST_SKIP() << "the demo song is no longer the one these renders were made from";
    }
    tamboro::test::TempDir temp;
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    platform::EventLoop loop;
    Song song(loop);
    ASSERT_EQ(song.LoadSong(path, 0), SongResult::Ok);
    const struct {
        std::uint32_t rate;
        std::uint16_t bits, channels;
        std::uint32_t frames;
        std::uint64_t hash;
    } cases[] = {
        {44100, 16, 2, 5644800, 0xab70dfb8c3ea9c16ull},
        {22050, 8, 1, 2822400, 0xc9309324441a3063ull},
        {22050, 16, 2, 2822400, 0x388b361a00052a93ull},
        {48000, 16, 1, 6144000, 0x871840bc2bd43a95ull},
        {11025, 8, 2, 1411200, 0x54fe611099cc464eull},
    };
    for (const auto& c : cases) {
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, c.rate, c.bits, c.channels);
        const std::string out = temp.File("render.wav");
        ASSERT_EQ(song.SaveSong(out, Song::kSaveMixdown, &f), SongResult::Ok);
        audio::Wave wave;
        ASSERT_EQ(audio::LoadWave(wave, out, audio::kTypeWav | audio::kLoadMapped),
                  audio::SoundResult::Ok);
        EXPECT_EQ(static_cast<std::uint32_t>(wave.FrameCount()), c.frames) << c.rate;
        EXPECT_EQ(Fnv1a(wave.Data(), wave.DataBytes()), c.hash)
            << c.rate << " Hz " << c.bits << " bits " << c.channels << " channels";
    }
    ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace tamboro::engine
