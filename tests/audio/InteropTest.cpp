// Files made by sox and ffmpeg load here with the samples sox decodes from
// them; files written here are read by sox and ffprobe as the same format
// with the same samples.
//
// Comparison is on 32-bit left-justified samples (sox's own width): sox
// decodes each file to raw 32-bit, and this side decodes the loaded wave
// through one conversion stage to PCM 32-bit. Lossless codings must agree
// exactly; the ADPCM decoders too (they are fully specified), and the
// stated tolerance below covers only the frame count of the last block.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/convert/AcmStream.h"
#include "audio/convert/FormatTags.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/MemoryStream.h"
#include "tests/support/TestSupport.h"

namespace tamboro::audio {
namespace {

// ADPCM files may end with a padded block: the decoders may differ in how
// many frames of it they deliver, never in the frames themselves.
constexpr std::size_t kAdpcmFrameSlack = 1017;

const char* kSignal =
    "aevalsrc=0.8*sin(440*2*PI*t)+0.05*sin(9000*2*PI*t)|"
    "0.5*sin(1234*2*PI*t)-0.3*sin(300*2*PI*t):s=22050:d=0.25";

bool HaveTools() {
    return test::HaveProgram("sox") && test::HaveProgram("ffmpeg") && test::HaveProgram("ffprobe");
}

std::vector<std::int32_t> ReadRaw32(const std::string& path) {
    const auto bytes = test::ReadAll(path);
    std::vector<std::int32_t> out(bytes.size() / 4);
    std::memcpy(out.data(), bytes.data(), out.size() * 4);
    return out;
}

// sox's decoding of `file` as little-endian 32-bit samples.
std::vector<std::int32_t> SoxDecode(const test::TempDir& dir, const std::string& file) {
    const std::string raw = dir.File("sox.raw");
    const int status = test::RunCommand(
        "sox -D '" + file + "' -t raw -e signed-integer -b 32 -L '" + raw + "' 2>/dev/null");
    EXPECT_EQ(status, 0) << file;
    return ReadRaw32(raw);
}

// This side's decoding of a loaded wave, as 32-bit samples.
std::vector<std::int32_t> OurDecode(const Wave& wave) {
    const WAVEFORMATEX& f = *wave.Format();
    WAVEFORMATEX wide;
    MakePcmFormat(wide, f.nSamplesPerSec, 32, f.nChannels);
    AcmStream stream(f, wide,
                     std::make_unique<MemoryStream>(
                         std::make_unique<base::BorrowedStorage>(wave.Data(), wave.DataBytes())));
    EXPECT_TRUE(stream.Ready());
    std::vector<std::int32_t> out;
    std::vector<std::int32_t> piece(4096);
    for (;;) {
        const std::uint32_t n = stream.Read(piece.data(), 4096 * 4);
        if (n == 0) break;
        out.insert(out.end(), piece.begin(), piece.begin() + n / 4);
    }
    return out;
}

struct Made {
    const char* name;
    const char* command;  // {SIG} = the signal, {OUT} = the file
    const char* extension;
    std::uint16_t tag;       // the wave's effective tag after loading
    std::uint16_t bits;      // the wave's bits after loading
    std::int32_t tolerance;  // per 32-bit sample
    bool adpcm;
};

std::string Expand(std::string text, const std::string& out) {
    for (std::size_t at; (at = text.find("{SIG}")) != std::string::npos;)
        text.replace(at, 5, kSignal);
    for (std::size_t at; (at = text.find("{OUT}")) != std::string::npos;)
        text.replace(at, 5, out);
    return text;
}

class MadeElsewhere : public ::testing::TestWithParam<Made> {};

TEST_P(MadeElsewhere, LoadsWithSoxsSamples) {
    if (!HaveTools()) GTEST_SKIP() << "sox, ffmpeg or ffprobe missing";
    const Made& m = GetParam();
    test::TempDir dir;
    const std::string file = dir.File(std::string("in.") + m.extension);
    ASSERT_EQ(test::RunCommand(Expand(m.command, file) + " 2>/dev/null"), 0) << m.command;
    Wave wave;
    ASSERT_EQ(LoadWave(wave, file, 0), SoundResult::Ok) << m.name;
    ASSERT_NE(wave.Format(), nullptr);
    EXPECT_EQ(EffectiveTag(*wave.Format()).value_or(0), m.tag);
    EXPECT_EQ(wave.Format()->wBitsPerSample, m.bits);
    EXPECT_EQ(wave.Format()->nChannels, 2);
    EXPECT_EQ(wave.Format()->nSamplesPerSec, 22050u);
    const auto theirs = SoxDecode(dir, file);
    const auto ours = OurDecode(wave);
    ASSERT_GT(theirs.size(), 4000u);
    if (m.adpcm) {
        ASSERT_LE(
            ours.size() > theirs.size() ? ours.size() - theirs.size() : theirs.size() - ours.size(),
            kAdpcmFrameSlack * 2);
    } else {
        ASSERT_EQ(ours.size(), theirs.size());
    }
    const std::size_t n = std::min(ours.size(), theirs.size());
    std::size_t differing = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t d = std::int64_t{ours[i]} - theirs[i];
        if (d > m.tolerance || d < -m.tolerance) {
            if (differing++ < 5)
                ADD_FAILURE() << m.name << " sample " << i << ": " << ours[i] << " vs "
                              << theirs[i];
        }
    }
    EXPECT_EQ(differing, 0u) << m.name;
}

constexpr std::int32_t kRoundTo16 = 0x8000;

INSTANTIATE_TEST_SUITE_P(
    Kinds, MadeElsewhere,
    ::testing::Values(
        // WAV from ffmpeg, every coding.
        Made{"FfmpegPcmU8", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_u8 '{OUT}'", "wav", 1, 8, 0,
             false},
        Made{"FfmpegPcm16", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s16le '{OUT}'", "wav", 1, 16, 0,
             false},
        Made{"FfmpegPcm24", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s24le '{OUT}'", "wav", 1, 24, 0,
             false},
        Made{"FfmpegPcm32", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s32le '{OUT}'", "wav", 1, 32, 0,
             false},
        Made{"FfmpegFloat32", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_f32le '{OUT}'", "wav", 3, 32, 1,
             false},
        Made{"FfmpegFloat64", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_f64le '{OUT}'", "wav", 3, 64, 1,
             false},
        Made{"FfmpegMuLaw", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_mulaw '{OUT}'", "wav", 7, 8, 0,
             false},
        Made{"FfmpegALaw", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_alaw '{OUT}'", "wav", 6, 8, 0,
             false},
        Made{"FfmpegImaAdpcm", "ffmpeg -f lavfi -i '{SIG}' -c:a adpcm_ima_wav '{OUT}'", "wav", 0x11,
             4, 0, true},
        Made{"FfmpegMsAdpcm", "ffmpeg -f lavfi -i '{SIG}' -c:a adpcm_ms '{OUT}'", "wav", 2, 4, 0,
             true},
        // WAV from sox (24 and 32 bits come as WAVE_FORMAT_EXTENSIBLE).
        Made{"SoxPcmU8",
             "sox -D -n -r 22050 -c 2 -b 8 -e unsigned '{OUT}' synth 0.25 sine 440 sine 1234 vol "
             "0.9",
             "wav", 1, 8, 0, false},
        Made{"SoxPcm16",
             "sox -D -n -r 22050 -c 2 -b 16 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "wav",
             1, 16, 0, false},
        Made{"SoxExtensible24",
             "sox -D -n -r 22050 -c 2 -b 24 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "wav",
             1, 24, 0, false},
        Made{
            "SoxExtensible32",
            "sox -D -n -r 22050 -c 2 -b 32 -e signed '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
            "wav", 1, 32, 0, false},
        Made{"SoxFloat",
             "sox -D -n -r 22050 -c 2 -b 32 -e float '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "wav", 3, 32, 1, false},
        Made{"SoxMuLaw",
             "sox -D -n -r 22050 -c 2 -e mu-law '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "wav", 7, 8, 0, false},
        Made{"SoxALaw",
             "sox -D -n -r 22050 -c 2 -e a-law '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "wav", 6, 8, 0, false},
        Made{"SoxImaAdpcm",
             "sox -D -n -r 22050 -c 2 -e ima-adpcm '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "wav", 0x11, 4, 0, true},
        Made{"SoxMsAdpcm",
             "sox -D -n -r 22050 -c 2 -e ms-adpcm '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "wav", 2, 4, 0, true},
        // AIFF and AIFF-C: 8 and 16 bits exact, wider rounded to 16 bits.
        Made{"SoxAiff8",
             "sox -D -n -r 22050 -c 2 -b 8 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "aiff",
             1, 8, 0, false},
        Made{"SoxAiff16",
             "sox -D -n -r 22050 -c 2 -b 16 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "aiff",
             1, 16, 0, false},
        Made{"SoxAiff24",
             "sox -D -n -r 22050 -c 2 -b 24 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "aif",
             1, 16, kRoundTo16, false},
        Made{"SoxAiff32",
             "sox -D -n -r 22050 -c 2 -b 32 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "aif",
             1, 16, kRoundTo16, false},
        Made{"SoxAifcNone",
             "sox -D -n -r 22050 -c 2 -b 16 -t aifc '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "aif", 1, 16, 0, false},
        Made{"FfmpegAiff16", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s16be '{OUT}'", "aiff", 1, 16, 0,
             false},
        Made{"FfmpegAiff24", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s24be '{OUT}'", "aiff", 1, 16,
             kRoundTo16, false},
        Made{"FfmpegAifcSowt", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s16le '{OUT}'", "aiff", 1, 16,
             0, false},
        // AU/SND.
        Made{"SoxAu8",
             "sox -D -n -r 22050 -c 2 -b 8 -e signed '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "au", 1, 8, 0, false},
        Made{"SoxAu16",
             "sox -D -n -r 22050 -c 2 -b 16 '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9", "au", 1,
             16, 0, false},
        Made{"SoxAuMuLaw",
             "sox -D -n -r 22050 -c 2 -e mu-law '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "au", 1, 16, 0, false},
        Made{"SoxSndALaw",
             "sox -D -n -r 22050 -c 2 -e a-law -t au '{OUT}' synth 0.25 sine 440 sine 1234 vol 0.9",
             "snd", 1, 16, 0, false},
        Made{"FfmpegAu16", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s16be '{OUT}'", "au", 1, 16, 0,
             false},
        Made{"FfmpegAuMuLaw", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_mulaw '{OUT}'", "au", 1, 16, 0,
             false},
        Made{"FfmpegAuALaw", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_alaw '{OUT}'", "au", 1, 16, 0,
             false},
        Made{"FfmpegAu8", "ffmpeg -f lavfi -i '{SIG}' -c:a pcm_s8 -f au '{OUT}'", "au", 1, 8, 0,
             false}),
    [](const auto& info) { return std::string(info.param.name); });

struct Written {
    const char* name;
    const char* extension;
    std::uint16_t tag;  // output format (PCM for AIFF/AU linear)
    std::uint16_t bits;
    const char* codec;  // as ffprobe names it
    bool adpcm;
};

class WrittenHere : public ::testing::TestWithParam<Written> {};

std::string Probe(const test::TempDir& dir, const std::string& file) {
    const std::string out = dir.File("probe.txt");
    test::RunCommand(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels "
        "-of default=nw=1 '" +
        file + "' > '" + out + "'");
    const auto bytes = test::ReadAll(out);
    return std::string(bytes.begin(), bytes.end());
}

TEST_P(WrittenHere, ReadsBackInSoxAndFfprobe) {
    if (!HaveTools()) GTEST_SKIP() << "sox, ffmpeg or ffprobe missing";
    const Written& w = GetParam();
    test::TempDir dir;
    // The source: a 16-bit stereo signal made by ffmpeg.
    const std::string source = dir.File("source.wav");
    ASSERT_EQ(test::RunCommand(
                  Expand("ffmpeg -v error -f lavfi -i '{SIG}' -c:a pcm_s16le '{OUT}'", source)),
              0);
    Wave wave;
    ASSERT_EQ(LoadWave(wave, source, 0), SoundResult::Ok);
    const std::string file = dir.File(std::string("out.") + w.extension);
    WAVEFORMATEX format;
    ASSERT_TRUE(MakeFormat(format, w.tag, 22050, w.bits, 2));
    const bool linearOther = std::string(w.extension) != "wav" && w.tag == kFormatPcm;
    if (linearOther && w.bits != 16) {
        // AIFF and AU take the wave's width: convert the wave first.
        WAVEFORMATEX narrow;
        MakePcmFormat(narrow, 22050, w.bits, 2);
        Wave copy;
        ASSERT_EQ(LoadWave(copy, source, 0), SoundResult::Ok);
        ASSERT_EQ(SaveWave(copy, dir.File("narrow.wav"), 0, &narrow), SoundResult::Ok);
        ASSERT_EQ(LoadWave(wave, dir.File("narrow.wav"), 0), SoundResult::Ok);
    }
    ASSERT_EQ(SaveWave(wave, file, 0, &format), SoundResult::Ok);
    const std::string probe = Probe(dir, file);
    EXPECT_NE(probe.find(std::string("codec_name=") + w.codec + "\n"), std::string::npos) << probe;
    EXPECT_NE(probe.find("sample_rate=22050\n"), std::string::npos) << probe;
    EXPECT_NE(probe.find("channels=2\n"), std::string::npos) << probe;

    Wave back;
    ASSERT_EQ(LoadWave(back, file, 0), SoundResult::Ok);
    const auto ours = OurDecode(back);
    const auto theirs = SoxDecode(dir, file);
    if (w.adpcm) {
        ASSERT_LE(
            ours.size() > theirs.size() ? ours.size() - theirs.size() : theirs.size() - ours.size(),
            kAdpcmFrameSlack * 2);
    } else {
        ASSERT_EQ(ours.size(), theirs.size());
    }
    const std::size_t n = std::min(ours.size(), theirs.size());
    ASSERT_GT(n, 4000u);
    // Float files: sox rounds 32-bit floats to integers itself.
    const std::int64_t tolerance = w.tag == kFormatIeeeFloat ? 1 : 0;
    std::size_t differing = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t d = std::int64_t{ours[i]} - theirs[i];
        if ((d > tolerance || d < -tolerance) && differing++ < 5)
            ADD_FAILURE() << w.name << " sample " << i << ": " << ours[i] << " vs " << theirs[i];
    }
    EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WrittenHere,
                         ::testing::Values(Written{"WavPcmU8", "wav", 1, 8, "pcm_u8", false},
                                           Written{"WavPcm16", "wav", 1, 16, "pcm_s16le", false},
                                           Written{"WavPcm24", "wav", 1, 24, "pcm_s24le", false},
                                           Written{"WavPcm32", "wav", 1, 32, "pcm_s32le", false},
                                           Written{"WavFloat32", "wav", 3, 32, "pcm_f32le", false},
                                           Written{"WavFloat64", "wav", 3, 64, "pcm_f64le", false},
                                           Written{"WavMuLaw", "wav", 7, 8, "pcm_mulaw", false},
                                           Written{"WavALaw", "wav", 6, 8, "pcm_alaw", false},
                                           Written{"WavImaAdpcm", "wav", 0x11, 4, "adpcm_ima_wav",
                                                   true},
                                           Written{"WavMsAdpcm", "wav", 2, 4, "adpcm_ms", true},
                                           Written{"Aiff8", "aif", 1, 8, "pcm_s8", false},
                                           Written{"Aiff16", "aiff", 1, 16, "pcm_s16be", false},
                                           Written{"Au8", "au", 1, 8, "pcm_s8", false},
                                           Written{"Au16", "au", 1, 16, "pcm_s16be", false},
                                           Written{"AuMuLaw", "au", 7, 8, "pcm_mulaw", false},
                                           Written{"SndALaw", "snd", 6, 8, "pcm_alaw", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tamboro::audio
