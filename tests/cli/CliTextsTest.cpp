// Texts through tamboro-cli: accented words given to make-song are stored as
// Windows-1252 everywhere inside the song file (header, notes, the sample
// records' "INAM"), and info prints every text as UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audio/files/SoundFile.h"
#include "base/UnfmArchive.h"
#include "engine/SongHeader.h"
#include "tests/support/TestSupport.h"

namespace tamboro::cli {
namespace {

// "Ritmo più lento — già ✓": ù, — and à exist in Windows-1252, ✓ does not.
const std::string kNotesUtf8 = "Ritmo pi\xC3\xB9 lento \xE2\x80\x94 gi\xC3\xA0 \xE2\x9C\x93";
const std::string kNotesCp1252 = "Ritmo pi\xF9 lento \x97 gi\xE0 ?";
const std::string kLoopNameUtf8 = "Ritmo pi\xC3\xB9 lento";
const std::string kLoopNameCp1252 = "Ritmo pi\xF9 lento";

// The bytes of the INFO text `id` in a WAV image (without the NUL), or
// nothing.
std::optional<std::string> InfoBytes(const std::vector<std::uint8_t>& image, const char* id) {
    const std::string bytes(image.begin(), image.end());
    const std::size_t at = bytes.find(std::string(id, 4));
    if (at == std::string::npos || at + 8 > bytes.size()) return std::nullopt;
    const auto size = static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[at + 4]) |
                                               static_cast<std::uint8_t>(bytes[at + 5]) << 8);
    const std::string text = bytes.substr(at + 8, size);
    return text.substr(0, text.find('\0'));
}

class CliTexts : public test::CliFixture {
  protected:
    // A one-bar loop at 120 BPM (2 s of 22050 Hz 8-bit mono) named `name`.
    void WriteLoop(const std::string& file, const std::string& name) {
        m_samples.assign(44100, 0x80);
        for (std::size_t i = 0; i < m_samples.size(); ++i)
            m_samples[i] = static_cast<std::uint8_t>(i * 7);
        audio::Wave wave;
        audio::WAVEFORMATEX f;
        audio::MakePcmFormat(f, 22050, 8, 1);
        wave.AttachBorrowed(f, m_samples.data(), static_cast<std::uint32_t>(m_samples.size()));
        wave.SetInfo("INAM", name);
        ASSERT_EQ(audio::SaveWave(wave, m_dir.File(file), 0), audio::SoundResult::Ok);
    }
    std::vector<std::uint8_t> m_samples;
};

TEST_F(CliTexts, AStandaloneWavKeepsItsTextsInUtf8) {
    WriteLoop("ritmo.wav", kLoopNameUtf8);
    EXPECT_EQ(InfoBytes(test::ReadAll(m_dir.File("ritmo.wav")), "INAM"), kLoopNameUtf8);
}

TEST_F(CliTexts, SongTextsAreWindows1252InTheFileAndUtf8OnTheTerminal) {
    WriteLoop("ritmo.wav", kLoopNameUtf8);
    ASSERT_EQ(Run("make-song song.tbo --tempo 120 --title 'Citt\xC3\xA0' --author 'Jos\xC3\xA9' "
                  "--notes '" +
                  kNotesUtf8 + "' --loop 0:ritmo.wav"),
              0)
        << Err();

    base::UnfmArchive archive;
    ASSERT_EQ(archive.Open(m_dir.File("song.tbo")), 0);
    std::vector<std::uint8_t> record;
    ASSERT_EQ(archive.ReadRecord(0, record), 0);
    // Header texts: Windows-1252 bytes at their fixed places.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 1550), "Citt\xE0");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 1500), "Jos\xE9");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data()) + 16), kLoopNameCp1252);
    const auto header = engine::ParseSongHeader(record, archive.Count());
    ASSERT_TRUE(header.has_value());
    ASSERT_NE(header->notesRecord, -1);
    ASSERT_NE(header->sampleRecord[0], -1);
    // The notes record.
    ASSERT_EQ(archive.ReadRecord(header->notesRecord, record), 0);
    EXPECT_EQ(std::string(record.begin(), record.end()), kNotesCp1252 + std::string(1, '\0'));
    // The sample record's INAM.
    ASSERT_EQ(archive.ReadRecord(header->sampleRecord[0], record), 0);
    EXPECT_EQ(InfoBytes(record, "INAM"), kLoopNameCp1252);
    archive.Close();

    ASSERT_EQ(Run("info song.tbo"), 0) << Err();
    const std::string info = Out();
    EXPECT_NE(info.find("title: Citt\xC3\xA0\n"), std::string::npos) << info;
    EXPECT_NE(info.find("author: Jos\xC3\xA9\n"), std::string::npos) << info;
    EXPECT_NE(info.find("notes: Ritmo pi\xC3\xB9 lento \xE2\x80\x94 gi\xC3\xA0 ?\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("channel 0: loaded=1 effect=0 name=\"" + kLoopNameUtf8 + "\""),
              std::string::npos)
        << info;
}

TEST_F(CliTexts, ASongWhoseNotesAndLoopNameAreUtf8IsStillRead) {
    // As this program once wrote them: notes and the sample record's INAM
    // in UTF-8.
    WriteLoop("ritmo.wav", kLoopNameUtf8);
    engine::SongHeader header;
    header.names[0] = kLoopNameUtf8;
    header.flags[0] = 5;  // loaded, and bit 2 that is always set
    header.sampleRecord[0] = 1;
    header.notesRecord = 2;
    {
        base::UnfmArchive archive;
        ASSERT_EQ(archive.Create(m_dir.File("old.tbo")), 0);
        const auto bytes = engine::SerializeSongHeader(header);
        ASSERT_EQ(archive.Append(bytes.data(), bytes.size()), 0);
        const auto loop = test::ReadAll(m_dir.File("ritmo.wav"));
        ASSERT_EQ(archive.Append(loop.data(), loop.size()), 0);
        ASSERT_EQ(archive.Append(kNotesUtf8.c_str(), kNotesUtf8.size() + 1), 0);
        ASSERT_EQ(archive.Close(), 0);
    }
    ASSERT_EQ(Run("info old.tbo"), 0) << Err();
    EXPECT_NE(Out().find("notes: " + kNotesUtf8 + "\n"), std::string::npos) << Out();
    // Saved again, the same texts become Windows-1252.
    ASSERT_EQ(Run("make-song new.tbo --tempo 120 --loop 3:ritmo.wav --notes '" + kNotesUtf8 + "'"),
              0)
        << Err();
    base::UnfmArchive again;
    ASSERT_EQ(again.Open(m_dir.File("new.tbo")), 0);
    std::vector<std::uint8_t> record;
    ASSERT_EQ(again.ReadRecord(0, record), 0);
    const auto parsed = engine::ParseSongHeader(record, again.Count());
    ASSERT_TRUE(parsed.has_value());
    ASSERT_EQ(again.ReadRecord(parsed->sampleRecord[3], record), 0);
    EXPECT_EQ(InfoBytes(record, "INAM"), kLoopNameCp1252);
}

TEST_F(CliTexts, ConvertOfASourceNothingDecodesIsAFailedInputNotAUsageError) {
    // A WAV whose format tag nothing here knows (0x1234): info shows it,
    // nothing converts it.
    std::vector<std::uint8_t> wav = {
        'R', 'I',  'F',  'F', 0, 0,    0,    0, 'W', 'A',  'V',  'E', 'f', 'm', 't', ' ', 18, 0, 0,
        0,   0x34, 0x12, 1,   0, 0x44, 0xAC, 0, 0,   0x88, 0x58, 1,   0,   2,   0,   16,  0,  0, 0,
        'd', 'a',  't',  'a', 8, 0,    0,    0, 1,   2,    3,    4,   5,   6,   7,   8};
    const auto riffSize = static_cast<std::uint8_t>(wav.size() - 8);
    wav[4] = riffSize;
    ASSERT_TRUE(test::WriteAll(m_dir.File("odd.wav"), wav));
    ASSERT_EQ(Run("info odd.wav"), 0) << Err();
    EXPECT_NE(Out().find("format-tag: 4660\n"), std::string::npos) << Out();
    for (const char* options : {"--bits 16", "", "--encoding pcm", "--rate 22050"}) {
        EXPECT_EQ(Run(std::string("convert odd.wav out.wav ") + options), 1) << options;
        EXPECT_EQ(Err().find("usage:"), std::string::npos) << Err();
        EXPECT_NE(Err().find("(code 1)"), std::string::npos) << Err();
        EXPECT_FALSE(test::FileExists(m_dir.File("out.wav")));
    }
}

}  // namespace
}  // namespace tamboro::cli
