// tamboro-cli play through SDL's disk driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro {
namespace {

// A 16-bit stereo WAV file of `samples`.
std::vector<std::uint8_t> Wav16(std::uint32_t rate, const std::vector<std::int16_t>& samples) {
    return test::WavFile(test::Pcm(rate, 16, 2), test::AsBytes(samples));
}

class PlayCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FileExists(test::CliPath())) GTEST_SKIP() << "tamboro-cli is not built";
    }
    std::string Env() const {
        return "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=1 SDL_DISKAUDIOFILE='" +
               m_dir.File("out.raw") + "' ";
    }
    test::TempDir m_dir;
};

TEST_F(PlayCommand, PlaysTheFileThroughTheDevice) {
    std::vector<std::int16_t> sound;
    for (int k = 0; k < 5000; ++k) {
        sound.push_back(static_cast<std::int16_t>(k + 1));
        sound.push_back(static_cast<std::int16_t>(-k - 1));
    }
    ASSERT_TRUE(test::WriteAll(m_dir.File("in.wav"), Wav16(22050, sound)));
    ASSERT_EQ(test::RunCommand(Env() + test::CliPath() + " play --rate 22050 '" +
                               m_dir.File("in.wav") + "' >/dev/null 2>&1"),
              0);
    const auto raw = test::ReadAll(m_dir.File("out.raw"));
    std::vector<std::int16_t> out(raw.size() / 2);
    std::memcpy(out.data(), raw.data(), out.size() * 2);
    std::size_t first = 0;
    while (first < out.size() && out[first] == 0)
        ++first;
    ASSERT_LE(first + sound.size(), out.size());
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), out.begin() + static_cast<long>(first)));
}

TEST_F(PlayCommand, InterruptStopsALoopCleanly) {
    ASSERT_TRUE(
        test::WriteAll(m_dir.File("in.wav"), Wav16(44100, std::vector<std::int16_t>(800, 5))));
    // Exit status 0 after SIGINT: the loop ended and the device closed.
    EXPECT_EQ(test::RunCommand(Env() + "timeout --preserve-status -s INT 0.5 " + test::CliPath() +
                               " play --loop '" + m_dir.File("in.wav") + "' >/dev/null 2>&1"),
              0);
}

TEST_F(PlayCommand, ReportsBadArgumentsAndMissingFiles) {
    EXPECT_EQ(test::RunCommand(Env() + test::CliPath() + " play >/dev/null 2>&1"), 2);
    EXPECT_EQ(test::RunCommand(Env() + test::CliPath() + " play x.wav --bits 12 >/dev/null 2>&1"),
              2);
    EXPECT_EQ(test::RunCommand(Env() + test::CliPath() + " play x.wav --device 99 >/dev/null 2>&1"),
              2);
    EXPECT_EQ(test::RunCommand(Env() + test::CliPath() + " play '" + m_dir.File("missing.wav") +
                               "' >/dev/null 2>&1"),
              1);
    EXPECT_EQ(test::RunCommand(Env() + test::CliPath() + " devices >/dev/null 2>&1"), 0);
}

}  // namespace
}  // namespace tamboro
