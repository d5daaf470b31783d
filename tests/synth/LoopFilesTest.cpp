// The library the build generated holds every loop of the catalogue, each
// in the file type it promises; and loops written again decode back exactly.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "audio/files/SoundFile.h"
#include "tests/support/TestSupport.h"
#include "tests/synth/LibrarySupport.h"
#include "tools/synth/LoopFiles.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth {
namespace {

// The magic a file of each kind opens with, and where.
bool HasMagicOf(FileKind kind, const std::vector<std::uint8_t>& bytes) {
    auto at = [&](std::size_t offset, const char* magic) {
        const std::size_t n = std::strlen(magic);
        return bytes.size() >= offset + n && std::memcmp(bytes.data() + offset, magic, n) == 0;
    };
    switch (kind) {
        case FileKind::Wav:
            return at(0, "RIFF") && at(8, "WAVE");
        case FileKind::Aiff:
            return at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"));
        case FileKind::Au:
            return at(0, ".snd");
    }
    return false;
}

// Loads `path` and checks it holds exactly the samples of `expected`.
void ExpectSameLoop(const LoopInfo& info, const std::string& path, const audio::Wave& expected) {
    audio::Wave loaded;
    ASSERT_EQ(audio::LoadWave(loaded, path, audio::kLoadCopy), audio::SoundResult::Ok) << path;
    ASSERT_NE(loaded.Format(), nullptr);
    const audio::WAVEFORMATEX& f = *loaded.Format();
    EXPECT_EQ(f.wFormatTag, audio::kFormatPcm) << path;
    EXPECT_EQ(f.nSamplesPerSec, info.format.rate) << path;
    EXPECT_EQ(f.wBitsPerSample, info.format.bits) << path;
    EXPECT_EQ(f.nChannels, info.format.channels) << path;
    ASSERT_EQ(loaded.FrameCount(), expected.FrameCount()) << path;
    ASSERT_EQ(loaded.DataBytes(), expected.DataBytes()) << path;
    EXPECT_EQ(std::memcmp(loaded.Data(), expected.Data(), expected.DataBytes()), 0) << path;
    if (info.format.kind == FileKind::Wav) {
        ASSERT_NE(loaded.GetInfo("INAM"), nullptr) << path;
        EXPECT_EQ(*loaded.GetInfo("INAM"), info.title);
    }
}

TEST(LoopFiles, TheBuildWroteEveryLoopOfTheCatalogueInItsFileType) {
    const std::string folder = test::LibraryFolder();
    std::ifstream index(folder + "/index.txt");
    ASSERT_TRUE(index) << "no loop index in " << folder;
    std::set<std::string> listed;
    std::string line;
    while (std::getline(index, line)) {
        if (line.empty() || line[0] == '#') continue;
        listed.insert(line.substr(0, line.find('\t')));
    }
    const auto loops = Catalogue();
    EXPECT_EQ(listed.size(), loops.size());
    for (const LoopInfo& info : loops) {
        EXPECT_TRUE(listed.count(info.file)) << info.file;
        const std::string path = folder + "/" + info.file;
        EXPECT_TRUE(HasMagicOf(info.format.kind, tamboro::test::ReadAll(path))) << path;
    }
}

TEST(LoopFiles, EveryLoopWrittenAgainDecodesBackExactly) {
    tamboro::test::TempDir dir;
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const LoopInfo& info = loops[i];
        audio::Wave& wave = *test::Library()[i];
        ASSERT_TRUE(wave.HasSamples()) << info.file;
        const std::string path = dir.File(info.file);
        ASSERT_EQ(WriteLoopFile(wave, info.format.kind, path), audio::SoundResult::Ok) << path;
        EXPECT_TRUE(HasMagicOf(info.format.kind, tamboro::test::ReadAll(path))) << path;
        ExpectSameLoop(info, path, wave);
    }
}

}  // namespace
}  // namespace tamboro::synth
