// The loops written to files decode back to exactly what was rendered, in
// the file type and format the catalogue promises; and the library the
// build generated is the one the catalogue renders now.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "audio/SoundFile.h"
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

// Loads `path` and checks it holds exactly `rendered`.
void ExpectSameLoop(const LoopInfo& info, const std::string& path, const audio::Wave& rendered) {
    audio::Wave loaded;
    ASSERT_EQ(audio::LoadWave(loaded, path, audio::kLoadCopy), audio::SoundResult::Ok) << path;
    ASSERT_NE(loaded.Format(), nullptr);
    const audio::WAVEFORMATEX& f = *loaded.Format();
    EXPECT_EQ(f.wFormatTag, audio::kFormatPcm) << path;
    EXPECT_EQ(f.nSamplesPerSec, info.format.rate) << path;
    EXPECT_EQ(f.wBitsPerSample, info.format.bits) << path;
    EXPECT_EQ(f.nChannels, info.format.channels) << path;
    ASSERT_EQ(loaded.FrameCount(), rendered.FrameCount()) << path;
    ASSERT_EQ(loaded.DataBytes(), rendered.DataBytes()) << path;
    EXPECT_EQ(std::memcmp(loaded.Data(), rendered.Data(), rendered.DataBytes()), 0) << path;
    if (info.format.kind == FileKind::Wav) {
        ASSERT_NE(loaded.GetInfo("INAM"), nullptr) << path;
        EXPECT_EQ(*loaded.GetInfo("INAM"), info.title);
    }
}

TEST(LoopFiles, EveryLoopDecodesBackExactlyInItsPromisedFormat) {
    tamboro::test::TempDir dir;
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const LoopInfo& info = loops[i];
        audio::Wave& wave = *test::Library()[i];
        const std::string path = dir.File(info.file);
        ASSERT_EQ(WriteLoopFile(wave, info.format.kind, path), audio::SoundResult::Ok) << path;
        EXPECT_TRUE(HasMagicOf(info.format.kind, tamboro::test::ReadAll(path))) << path;
        ExpectSameLoop(info, path, wave);
    }
}

TEST(LoopFiles, TheBuildGeneratedTheLibraryOfTheCatalogue) {
    const std::string folder = std::string(TAMBORO_BINARY_DIR) + "/loops";
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
    for (std::size_t i = 0; i < loops.size(); ++i) {
        EXPECT_TRUE(listed.count(loops[i].file)) << loops[i].file;
        const std::string path = folder + "/" + loops[i].file;
        EXPECT_TRUE(HasMagicOf(loops[i].format.kind, tamboro::test::ReadAll(path))) << path;
        ExpectSameLoop(loops[i], path, *test::Library()[i]);
    }
}

}  // namespace
}  // namespace tamboro::synth
