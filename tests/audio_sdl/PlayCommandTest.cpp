// tamboro-cli play through SDL's disk driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace tamboro {
namespace {

const std::string kCli = std::string(TAMBORO_BINARY_DIR) + "/cli/tamboro-cli";

std::vector<std::uint8_t> Wav16(std::uint32_t rate, const std::vector<std::int16_t>& s) {
    std::vector<std::uint8_t> out;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto put16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto bytes = static_cast<std::uint32_t>(s.size() * 2);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(36 + bytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(bytes);
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    out.insert(out.end(), p, p + bytes);
    return out;
}

class PlayCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FileExists(kCli)) GTEST_SKIP() << "tamboro-cli is not built";
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
    ASSERT_EQ(test::RunCommand(Env() + kCli + " play --rate 22050 '" + m_dir.File("in.wav") +
                               "' >/dev/null 2>&1"),
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
    EXPECT_EQ(test::RunCommand(Env() + "timeout --preserve-status -s INT 0.5 " + kCli +
                               " play --loop '" + m_dir.File("in.wav") + "' >/dev/null 2>&1"),
              0);
}

TEST_F(PlayCommand, ReportsBadArgumentsAndMissingFiles) {
    EXPECT_EQ(test::RunCommand(Env() + kCli + " play >/dev/null 2>&1"), 2);
    EXPECT_EQ(test::RunCommand(Env() + kCli + " play x.wav --bits 12 >/dev/null 2>&1"), 2);
    EXPECT_EQ(test::RunCommand(Env() + kCli + " play x.wav --device 99 >/dev/null 2>&1"), 2);
    EXPECT_EQ(test::RunCommand(Env() + kCli + " play '" + m_dir.File("missing.wav") +
                               "' >/dev/null 2>&1"),
              1);
    EXPECT_EQ(test::RunCommand(Env() + kCli + " devices >/dev/null 2>&1"), 0);
}

}  // namespace
}  // namespace tamboro
