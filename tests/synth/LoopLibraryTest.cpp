// Properties every loop of the library the build generated must have:
// exact bar lengths, the promised formats and names, a peak at most -1 dBFS,
// a click-free wrap; and a fresh render gives exactly the same samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio/wave/Wave.h"
#include "tests/synth/LibrarySupport.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth {
namespace {

using test::FullScale;
using test::Library;
using test::Side;

TEST(LoopLibrary, HasEveryKindOfLoopTheDemoNeeds) {
    const auto loops = Catalogue();
    ASSERT_GE(loops.size(), 24u);
    auto count = [&](auto pred) { return std::count_if(loops.begin(), loops.end(), pred); };
    EXPECT_GE(count([](const LoopInfo& l) { return l.role == LoopRole::Bass; }), 2);
    EXPECT_GE(count([](const LoopInfo& l) { return l.role == LoopRole::Effect; }), 3);
    for (LoopRole role : {LoopRole::Drums, LoopRole::Percussion, LoopRole::Chords,
                          LoopRole::Arpeggio, LoopRole::Lead})
        EXPECT_GE(count([&](const LoopInfo& l) { return l.role == role; }), 1);
    // The formats real collections come in.
    EXPECT_GE(count([](const LoopInfo& l) {
                  return l.format.kind == FileKind::Wav && l.format.rate == 44100 &&
                         l.format.bits == 16 && l.format.channels == 2;
              }),
              1);
    EXPECT_GE(count([](const LoopInfo& l) {
                  return l.format.kind == FileKind::Wav && l.format.rate == 22050 &&
                         l.format.bits == 8 && l.format.channels == 1;
              }),
              1);
    EXPECT_GE(count([](const LoopInfo& l) { return l.format.kind == FileKind::Aiff; }), 1);
    EXPECT_EQ(count([](const LoopInfo& l) { return l.format.kind == FileKind::Au; }), 1);
}

TEST(LoopLibrary, FileNamesAndTitlesAreUniqueAndMatchTheirKind) {
    std::set<std::string> files;
    std::set<std::string> titles;
    for (const LoopInfo& info : Catalogue()) {
        EXPECT_TRUE(files.insert(info.file).second) << info.file;
        EXPECT_TRUE(titles.insert(info.title).second) << info.title;
        const std::string name = info.file;
        const std::string ext = name.substr(name.rfind('.'));
        const char* expected = info.format.kind == FileKind::Wav    ? ".wav"
                               : info.format.kind == FileKind::Aiff ? ".aif"
                                                                    : ".au";
        EXPECT_EQ(ext, expected) << name;
    }
}

TEST(LoopLibrary, EveryLoopLastsExactlyItsBars) {
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const LoopInfo& info = loops[i];
        const audio::Wave& wave = *Library()[i];
        const int bars = info.bars;
        EXPECT_TRUE(bars == 1 || bars == 2 || bars == 4 || bars == 8) << info.file;
        // One bar at 120 quarter notes per minute is 2 seconds.
        const auto perBar = static_cast<std::int64_t>(std::trunc(info.format.rate * 240.0 / 120.0));
        EXPECT_EQ(wave.FrameCount(), perBar * bars) << info.file;
        EXPECT_EQ(wave.FrameCount(), static_cast<std::int64_t>(info.format.rate) * 2 * bars)
            << info.file;
    }
}

TEST(LoopLibrary, WavesHaveThePromisedFormatAndName) {
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const LoopInfo& info = loops[i];
        const audio::Wave& wave = *Library()[i];
        ASSERT_NE(wave.Format(), nullptr) << info.file;
        const audio::WAVEFORMATEX& f = *wave.Format();
        EXPECT_EQ(f.wFormatTag, audio::kFormatPcm) << info.file;
        EXPECT_EQ(f.nSamplesPerSec, info.format.rate) << info.file;
        EXPECT_EQ(f.wBitsPerSample, info.format.bits) << info.file;
        EXPECT_EQ(f.nChannels, info.format.channels) << info.file;
        // The WAV files carry their name in the INFO list.
        if (info.format.kind == FileKind::Wav) {
            ASSERT_NE(wave.GetInfo("INAM"), nullptr) << info.file;
            EXPECT_EQ(*wave.GetInfo("INAM"), info.title);
        }
    }
}

TEST(LoopLibrary, EveryLoopPeaksAtMostMinusOneDbfsAndIsNotQuiet) {
    const auto loops = Catalogue();
    const double ceiling = std::pow(10.0, -1.0 / 20.0);
    const double floor = std::pow(10.0, -3.0 / 20.0);
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const audio::Wave& wave = *Library()[i];
        int peak = 0;
        for (int side = 0; side < wave.Format()->nChannels; ++side)
            for (int s : Side(wave, side))
                peak = std::max(peak, std::abs(s));
        const double level = peak / FullScale(wave);
        EXPECT_LE(level, ceiling) << loops[i].file;
        EXPECT_GE(level, floor) << loops[i].file;
    }
}

// The step from the last frame back to the first is judged against the
// loop's own steps between neighbouring frames: a seamless loop's wrap step
// is an ordinary one. Sounds cut off at the end, or tails that fail to come
// round to the start, make it stand out.
TEST(LoopLibrary, NoClickWhereTheLoopWraps) {
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        const audio::Wave& wave = *Library()[i];
        for (int side = 0; side < wave.Format()->nChannels; ++side) {
            const std::vector<int> x = Side(wave, side);
            std::vector<int> steps;
            steps.reserve(x.size());
            for (std::size_t k = 1; k < x.size(); ++k)
                steps.push_back(std::abs(x[k] - x[k - 1]));
            const auto at = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() * 99 / 100);
            std::nth_element(steps.begin(), at, steps.end());
            const int typical = *at;
            const int wrap = std::abs(x.front() - x.back());
            EXPECT_LE(wrap, std::max(typical, 2))
                << loops[i].file << " side " << side << ": wrap step " << wrap
                << ", 99th percentile of steps " << typical;
        }
    }
}

TEST(LoopLibrary, EffectsStartAndEndInSilence) {
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        if (loops[i].role != LoopRole::Effect) continue;
        const audio::Wave& wave = *Library()[i];
        for (int side = 0; side < wave.Format()->nChannels; ++side) {
            const std::vector<int> x = Side(wave, side);
            EXPECT_LE(std::abs(x.front()), 1) << loops[i].file;
            EXPECT_LE(std::abs(x.back()), 1) << loops[i].file;
        }
    }
}

// The build's library was rendered by another process: a render here must
// give the same bytes (and shows the library is not stale).
TEST(LoopLibrary, RenderingIsBitIdenticalEveryTime) {
    const auto loops = Catalogue();
    for (std::size_t i = 0; i < loops.size(); ++i) {
        audio::Wave again;
        ASSERT_TRUE(RenderLoop(loops[i], again));
        const audio::Wave& built = *Library()[i];
        ASSERT_EQ(again.DataBytes(), built.DataBytes()) << loops[i].file;
        EXPECT_EQ(std::memcmp(again.Data(), built.Data(), built.DataBytes()), 0) << loops[i].file;
        ASSERT_NE(again.GetInfo("INAM"), nullptr) << loops[i].file;
        EXPECT_EQ(*again.GetInfo("INAM"), loops[i].title);
    }
}

}  // namespace
}  // namespace tamboro::synth
