// RIFF WAVE reading and writing, LoadWave and SaveWave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/files/SoundFileInternal.h"
#include "base/ByteOrder.h"
#include "platform/StringTable.h"
#include "tests/support/AudioSupport.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

using test::Bytes;

using test::Pcm;
Bytes Fmt(const WAVEFORMATEX& f) {
    return SerializeFormat(f);
}
// Ramp samples: frame k holds k + 1 in every channel (16-bit).
Bytes Ramp16(std::uint32_t frames, std::uint16_t channels) {
    Bytes b;
    for (std::uint32_t k = 0; k < frames; ++k) {
        for (std::uint16_t c = 0; c < channels; ++c) {
            const auto s = static_cast<std::uint16_t>((k + 1) * (c == 0 ? 1 : -1));
            b.push_back(static_cast<std::uint8_t>(s));
            b.push_back(static_cast<std::uint8_t>(s >> 8));
        }
    }
    return b;
}

TEST(RiffWave, ChunksAreSearchedNotTakenAtFixedPlaces) {
    Bytes chunks;
    test::AppendChunk(chunks, "junk", {1, 2, 3});  // odd size with its pad byte
    test::AppendChunk(chunks, "data", Ramp16(5, 1));
    test::AppendChunk(chunks, "fmt ", Fmt(Pcm(22050, 16, 1)));
    const Bytes image = test::RiffWave(chunks);
    Wave wave;
    ASSERT_EQ(ParseRiffWave(wave, image.data(), image.size()), 1);
    EXPECT_EQ(wave.GetState(), Wave::kInMemory);
    EXPECT_EQ(wave.Format()->nSamplesPerSec, 22050u);
    ASSERT_EQ(wave.FrameCount(), 5);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(static_cast<std::int16_t>(wave.GetFrame(k) & 0xFFFF), k + 1);
    // Borrowed: the samples are where they lie in the image.
    EXPECT_GE(wave.Data(), image.data());
    EXPECT_LT(wave.Data(), image.data() + image.size());
}

struct BadImage {
    const char* name;
    Bytes image;
    SoundResult expected;
};

class RiffWaveRejects : public ::testing::TestWithParam<BadImage> {};

TEST_P(RiffWaveRejects, WithItsCode) {
    detail::RiffWaveParts parts;
    const auto& c = GetParam();
    EXPECT_EQ(detail::ParseRiffWaveImage(c.image.data(), c.image.size(), parts), c.expected);
}

Bytes WithFmt(const WAVEFORMATEX& f, const Bytes& data) {
    Bytes chunks;
    test::AppendChunk(chunks, "fmt ", Fmt(f));
    test::AppendChunk(chunks, "data", data);
    return test::RiffWave(chunks);
}

Bytes DataPastTheEnd() {
    Bytes chunks;
    test::AppendChunk(chunks, "fmt ", Fmt(Pcm(8000, 8, 1)));
    test::AppendId(chunks, "data");
    base::AppendLe<32>(chunks, 1000);
    chunks.insert(chunks.end(), 10, 0x80);
    return test::RiffWave(chunks);
}

Bytes NoFmt() {
    Bytes chunks;
    test::AppendChunk(chunks, "data", {1, 2});
    return test::RiffWave(chunks);
}

WAVEFORMATEX Broken(int field) {
    WAVEFORMATEX f = Pcm(8000, 16, 2);
    if (field == 0) f.nChannels = 0;
    if (field == 1) f.nSamplesPerSec = 0;
    if (field == 2) f.nBlockAlign = 3;  // not a whole number of bytes per channel
    if (field == 3) f.nAvgBytesPerSec = 0;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RiffWaveRejects,
    ::testing::Values(BadImage{"ZeroLength", {}, SoundResult::InvalidFile},
                      BadImage{"MagicOnly", {'R', 'I', 'F', 'F'}, SoundResult::InvalidFile},
                      BadImage{"NotWave",
                               {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '},
                               SoundResult::InvalidFile},
                      BadImage{"NoFmt", NoFmt(), SoundResult::InvalidFile},
                      BadImage{"DataPastTheEnd", DataPastTheEnd(), SoundResult::Damaged},
                      BadImage{"NoChannels", WithFmt(Broken(0), {0, 0}), SoundResult::InvalidFile},
                      BadImage{"NoRate", WithFmt(Broken(1), {0, 0}), SoundResult::InvalidFile},
                      BadImage{"OddBlockAlign", WithFmt(Broken(2), {0, 0}),
                               SoundResult::InvalidFile},
                      BadImage{"NoByteRate", WithFmt(Broken(3), {0, 0}), SoundResult::InvalidFile}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RiffWave, EveryTruncationGivesACodeOrAShorterValidFile) {
    Bytes chunks;
    test::AppendChunk(chunks, "fmt ", Fmt(Pcm(11025, 16, 2)));
    test::AppendChunk(chunks, "data", Ramp16(50, 2));
    Bytes list = {'I', 'N', 'F', 'O'};
    test::AppendChunk(list, "INAM", {'a', 'b', 'c', 0});
    test::AppendChunk(chunks, "LIST", list);
    const Bytes image = test::RiffWave(chunks);
    for (std::size_t n = 0; n < image.size(); ++n) {
        Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(n));
        detail::RiffWaveParts parts;
        const SoundResult r = detail::ParseRiffWaveImage(cut.data(), cut.size(), parts);
        if (r == SoundResult::Ok) {
            EXPECT_LE(parts.dataOffset + parts.dataBytes, n);
        } else {
            EXPECT_TRUE(r == SoundResult::InvalidFile || r == SoundResult::Damaged) << n;
        }
    }
}

TEST(RiffWave, InfoTextsAreUtf8WhenValidElseWindows1252) {
    Bytes list = {'I', 'N', 'F', 'O'};
    test::AppendChunk(list, "INAM", {'C', 'a', 'f', 0xE9, 0x80, 0});  // Windows-1252: e-acute, euro
    test::AppendChunk(list, "IART", {'C', 'a', 'f', 0xC3, 0xA9, 0});  // UTF-8 already
    test::AppendChunk(list, "IXYZ", {'x', 0});                        // not an INFO id
    Bytes chunks;
    test::AppendChunk(chunks, "fmt ", Fmt(Pcm(8000, 8, 1)));
    test::AppendChunk(chunks, "data", {0x80});
    test::AppendChunk(chunks, "LIST", list);
    const Bytes image = test::RiffWave(chunks);
    Wave wave;
    ASSERT_EQ(ParseRiffWave(wave, image.data(), image.size()), 1);
    ASSERT_NE(wave.GetInfo("INAM"), nullptr);
    EXPECT_EQ(*wave.GetInfo("INAM"), "Caf\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(*wave.GetInfo("IART"), "Caf\xC3\xA9");
}

TEST(SoundFile, TypeComesFromTheSelectorOrTheExtension) {
    EXPECT_EQ(FileTypeOf("a/Drum.Wav", 0), SoundFileType::Wav);
    EXPECT_EQ(FileTypeOf("loop.snd", 0), SoundFileType::Au);
    EXPECT_EQ(FileTypeOf("loop.AIF", 0), SoundFileType::Aiff);
    EXPECT_EQ(FileTypeOf("loop.aiff", 0), SoundFileType::Aiff);
    EXPECT_EQ(FileTypeOf("loop.mp3", 0), SoundFileType::Unknown);
    EXPECT_EQ(FileTypeOf("loop.mp3", kTypeAiff), SoundFileType::Aiff);
    test::TempDir dir;
    Wave wave;
    EXPECT_EQ(LoadWave(wave, dir.File("x.mp3"), 0), SoundResult::LoadUnknownType);
    Bytes samples = Ramp16(4, 1);
    wave.AttachBorrowed(Pcm(8000, 16, 1), samples.data(), 8);
    EXPECT_EQ(SaveWave(wave, dir.File("x.mp3"), 0), SoundResult::SaveUnknownType);
    EXPECT_EQ(LoadWave(wave, dir.File("missing.wav"), 0), SoundResult::OpenFailed);
    EXPECT_EQ(wave.GetState(), Wave::kEmpty);
}

TEST(SoundFile, SavingWithoutTextsWritesTheTitleAsInam) {
    test::TempDir dir;
    Bytes samples = Ramp16(3, 2);
    Wave wave;
    wave.AttachBorrowed(Pcm(44100, 16, 2), samples.data(),
                        static_cast<std::uint32_t>(samples.size()));
    const std::string path = dir.File("drum.wav");
    ASSERT_EQ(SaveWave(wave, path, 0), SoundResult::Ok);
    const Bytes file = test::ReadAll(path);
    // RIFF, fmt (18), data (12 bytes), LIST with INAM "drum\0" and a pad.
    Bytes expected;
    test::AppendChunk(expected, "fmt ", Fmt(Pcm(44100, 16, 2)));
    test::AppendChunk(expected, "data", samples);
    Bytes list = {'I', 'N', 'F', 'O'};
    test::AppendChunk(list, "INAM", {'d', 'r', 'u', 'm', 0});
    test::AppendChunk(expected, "LIST", list);
    EXPECT_EQ(file, test::RiffWave(expected));
    ASSERT_NE(wave.GetInfo("INAM"), nullptr);
    EXPECT_EQ(*wave.GetInfo("INAM"), "drum");
}

// A stream of samples that hands out at most `piece` bytes per read and
// ends after `limit` bytes.
class TrickleStream final : public ByteStream {
  public:
    TrickleStream(const Bytes& bytes, std::uint32_t piece, std::size_t limit)
        : m_bytes(bytes), m_piece(piece), m_limit(std::min(limit, bytes.size())) {
        m_mode = kReading;
    }
    std::uint32_t Read(void* buffer, std::uint32_t n) override {
        const auto take =
            static_cast<std::uint32_t>(std::min<std::size_t>({n, m_piece, m_limit - m_at}));
        std::memcpy(buffer, m_bytes.data() + m_at, take);
        m_at += take;
        return take;
    }
    bool AtEnd() override { return m_at == m_limit; }
    std::uint32_t Length() override { return static_cast<std::uint32_t>(m_bytes.size()); }

  private:
    const Bytes& m_bytes;
    std::uint32_t m_piece;
    std::size_t m_limit;
    std::size_t m_at = 0;
};

TEST(SoundFile, StreamedSaveWritesTheSameFileAsSavingTheWave) {
    test::TempDir dir;
    Bytes samples(4000 * 4);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    const WAVEFORMATEX format = Pcm(22050, 16, 2);
    WAVEFORMATEX ima;
    ASSERT_TRUE(MakeFormat(ima, kFormatImaAdpcm, 22050, 4, 2));
    const WAVEFORMATEX eightBitMono = Pcm(11025, 8, 1);
    // Unconverted (by default and when asked for the same format), encoded,
    // and resampled to another layout.
    const WAVEFORMATEX* const outputs[] = {nullptr, &format, &ima, &eightBitMono};
    for (const WAVEFORMATEX* output : outputs) {
        for (const std::uint32_t piece : {1u, 4093u, 1u << 20}) {
            SCOPED_TRACE(testing::Message() << "format " << (output ? output->wFormatTag : 0)
                                            << ", pieces of " << piece);
            Wave wave;
            wave.AttachBorrowed(format, samples.data(), static_cast<std::uint32_t>(samples.size()));
            ASSERT_EQ(SaveWave(wave, dir.File("mix.wav"), kTypeWav, output), SoundResult::Ok);
            const Bytes expected = test::ReadAll(dir.File("mix.wav"));
            ASSERT_EQ(
                SaveWaveStream(std::make_unique<TrickleStream>(samples, piece, samples.size()),
                               format, static_cast<std::uint32_t>(samples.size()),
                               dir.File("streamed/mix.wav"), output),
                SoundResult::CreateFailed);  // no such folder
            test::TempDir other;
            ASSERT_EQ(
                SaveWaveStream(std::make_unique<TrickleStream>(samples, piece, samples.size()),
                               format, static_cast<std::uint32_t>(samples.size()),
                               other.File("mix.wav"), output),
                SoundResult::Ok);
            EXPECT_EQ(test::ReadAll(other.File("mix.wav")), expected);
        }
    }
}

TEST(SoundFile, AStreamThatEndsEarlyGivesAShorterValidFile) {
    test::TempDir dir;
    Bytes samples(1000 * 4, 0x11);
    ASSERT_EQ(SaveWaveStream(std::make_unique<TrickleStream>(samples, 512, 1200), Pcm(8000, 16, 2),
                             static_cast<std::uint32_t>(samples.size()), dir.File("short.wav")),
              SoundResult::Ok);
    Wave back;
    ASSERT_EQ(LoadWave(back, dir.File("short.wav"), kLoadCopy), SoundResult::Ok);
    EXPECT_EQ(back.DataBytes(), 1200u);
    ASSERT_NE(back.GetInfo("INAM"), nullptr);
    EXPECT_EQ(*back.GetInfo("INAM"), "short");
    EXPECT_EQ(SaveWaveStream(nullptr, Pcm(8000, 16, 2), 4, dir.File("none.wav")),
              SoundResult::NoSamples);
}

TEST(SoundFile, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    test::TempDir dir;
    const std::string path = dir.File("keep.wav");
    const Bytes old = {'o', 'l', 'd'};
    ASSERT_TRUE(test::WriteAll(path, old));
    Bytes samples = Ramp16(100, 1);
    Wave wave;
    wave.AttachBorrowed(Pcm(8000, 16, 1), samples.data(),
                        static_cast<std::uint32_t>(samples.size()));
    WAVEFORMATEX impossible = Pcm(8000, 16, 1);
    impossible.wFormatTag = 0x55;  // no converter for it
    EXPECT_EQ(SaveWave(wave, path, 0, &impossible), SoundResult::ConversionUnavailable);
    EXPECT_EQ(test::ReadAll(path), old);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"keep.wav"});
    EXPECT_EQ(SaveWave(wave, dir.File("no/such/folder/x.wav"), 0), SoundResult::CreateFailed);
    Wave empty;
    EXPECT_EQ(SaveWave(empty, path, 0), SoundResult::NoSamples);
    // A successful save replaces it.
    ASSERT_EQ(SaveWave(wave, path, 0), SoundResult::Ok);
    EXPECT_NE(test::ReadAll(path), old);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"keep.wav"});
}

struct Phase {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> calls;
    static void Record(void* context, std::uint32_t phase, std::uint32_t percent) {
        static_cast<Phase*>(context)->calls.emplace_back(phase, percent);
    }
};

TEST(SoundFile, LoadModesAndTheirStates) {
    test::TempDir dir;
    const std::string path = dir.File("ramp.wav");
    Bytes samples = Ramp16(40000, 2);
    {
        Wave wave;
        wave.AttachBorrowed(Pcm(22050, 16, 2), samples.data(),
                            static_cast<std::uint32_t>(samples.size()));
        wave.SetInfo("ICMT", "note");
        ASSERT_EQ(SaveWave(wave, path, 0), SoundResult::Ok);
    }
    Wave formatOnly;
    ASSERT_EQ(LoadWave(formatOnly, path, kLoadFormatOnly), SoundResult::Ok);
    EXPECT_EQ(formatOnly.GetState(), Wave::kFormatOnly);
    EXPECT_EQ(formatOnly.Format()->nSamplesPerSec, 22050u);
    EXPECT_EQ(formatOnly.Data(), nullptr);

    Wave mapped;
    ASSERT_EQ(LoadWave(mapped, path, kLoadMapped), SoundResult::Ok);
    EXPECT_EQ(mapped.GetState(), Wave::kInFile);
    ASSERT_EQ(mapped.DataBytes(), samples.size());
    EXPECT_EQ(std::memcmp(mapped.Data(), samples.data(), samples.size()), 0);
    EXPECT_EQ(*mapped.GetInfo("ICMT"), "note");
    EXPECT_EQ(*mapped.GetInfo("INAM"), "ramp");

    Phase phase;
    Wave copied;
    ASSERT_EQ(LoadWave(copied, path, kLoadCopy, &Phase::Record, &phase), SoundResult::Ok);
    EXPECT_EQ(copied.GetState(), Wave::kInFile);
    EXPECT_EQ(std::memcmp(copied.Data(), samples.data(), samples.size()), 0);
    ASSERT_FALSE(phase.calls.empty());
    EXPECT_EQ(phase.calls.front().first, 0u);
    EXPECT_GE(phase.calls.front().second, 50u);
    EXPECT_EQ(phase.calls.back().second, 100u);
}

TEST(SoundFile, ConvertingLoadTurnsCompressedFilesIntoPcm) {
    test::TempDir dir;
    const std::string path = dir.File("ima.wav");
    Bytes samples = Ramp16(20000, 1);
    WAVEFORMATEX ima;
    ASSERT_TRUE(MakeFormat(ima, kFormatImaAdpcm, 22050, 4, 1));
    {
        Wave wave;
        wave.AttachBorrowed(Pcm(22050, 16, 1), samples.data(),
                            static_cast<std::uint32_t>(samples.size()));
        ASSERT_EQ(SaveWave(wave, path, 0, &ima), SoundResult::Ok);
    }
    for (const std::uint32_t storage : {kLoadCopy, kLoadMapped}) {
        Phase phase;
        Wave wave;
        ASSERT_EQ(LoadWave(wave, path, storage | kLoadConvertToPcm, &Phase::Record, &phase),
                  SoundResult::Ok);
        EXPECT_EQ(wave.Format()->wFormatTag, kFormatPcm);
        EXPECT_EQ(wave.Format()->wBitsPerSample, 16);
        // Whole IMA blocks: 20000 frames round up to 20 blocks of 1017.
        EXPECT_EQ(wave.FrameCount(), 20 * 1017);
        // The ramp comes back within the codec's error.
        for (int k = 100; k < 20000; k += 997) {
            const int s = static_cast<std::int16_t>(wave.GetFrame(k) & 0xFFFF);
            EXPECT_NEAR(s, k + 1, 8) << k;
        }
        ASSERT_FALSE(phase.calls.empty());
        EXPECT_EQ(phase.calls.front().first, storage == kLoadCopy ? 2u : 1u);
        Wave plain;
        ASSERT_EQ(LoadWave(plain, path, storage), SoundResult::Ok);
        EXPECT_EQ(plain.Format()->wFormatTag, kFormatImaAdpcm);
    }
    EXPECT_EQ(dir.List(), std::vector<std::string>{"ima.wav"});
}

TEST(SoundResult, EveryCodeHasAMessage) {
    EXPECT_EQ(ErrorTextB(0), "");
    for (int code = 1; code < static_cast<int>(SoundResult::Count_); ++code) {
        EXPECT_FALSE(ErrorTextB(code).empty()) << code;
        EXPECT_EQ(ErrorTextB(code), platform::LoadString(ErrorTextBId(code))) << code;
    }
    EXPECT_EQ(ErrorTextBId(11), 1003u);
    EXPECT_EQ(ErrorTextBId(4), 1012u);
    EXPECT_EQ(ErrorTextBId(99), 1000u);
}

}  // namespace
}  // namespace tamboro::audio
