#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstring>

#include "base/ByteOrder.h"
#include "base/UnfmArchive.h"
#include "engine/SongHeader.h"
#include "platform/TempFiles.h"
#include "tests/engine/SongFixture.h"

namespace tamboro::engine::test {
namespace {

class SongFile : public SongFixture {
  protected:
    std::string Path(const char* name) { return files.File(name); }
    // Record sizes of an archive, in order.
    std::vector<std::uint32_t> RecordSizes(const std::string& path) {
        base::UnfmArchive a;
        std::vector<std::uint32_t> sizes;
        if (a.Open(path) != 0) return sizes;
        for (std::uint32_t i = 0; i < a.Count(); ++i)
            sizes.push_back(a.RecordSize(i));
        return sizes;
    }
    // A song with two loops, events, notes and properties.
    void Compose() {
        ASSERT_EQ(Load(2, Bar() + 100, false, 7), SongResult::Ok);
        ASSERT_EQ(Load(11, Bar() / 2, true, 3), SongResult::Ok);
        song.SetChannelName(11, "effetto già");
        song.SetTitle("Brano di prova");
        song.SetAuthor("Autore");
        song.SetMixedBy("Mixer");
        song.SetNotes("prima riga\nseconda");
        song.SetInitialVolume(2, -1200);
        song.SetInitialPan(11, -3000);
        song.SetInitialMasterVolume(-250);
        (*song.Events(0)) = {{0, kMasterVolume, 0, static_cast<std::uint32_t>(-250), 0}};
        (*song.Events(2)) = {{0, kChannelOn, 2, 0, 0},
                             {1500, kVolume, 2, static_cast<std::uint32_t>(-800), 0},
                             {4000, kChannelOff, 2, 0, 0}};
    }

    tamboro::test::TempDir files;
};

TEST_F(SongFile, AnEmptySongIsHeaderAndOneIndexEntry) {
    const std::string path = Path("empty.tbo");
    ASSERT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
    const auto bytes = tamboro::test::ReadAll(path);
    ASSERT_EQ(bytes.size(), 16u + 1664 + 8);
    EXPECT_EQ(std::memcmp(bytes.data(), "UNFM", 4), 0);
    EXPECT_EQ(base::LoadLe<32>(bytes.data() + 4), 16u + 1664);  // the index follows the record
    EXPECT_EQ(base::LoadLe<32>(bytes.data() + 8), 1u);
    EXPECT_EQ(base::LoadLe<32>(bytes.data() + 16), 1664u);  // the header's own size field
    EXPECT_EQ(base::LoadLe<32>(bytes.data() + 16 + 1664), 16u);
    EXPECT_EQ(base::LoadLe<32>(bytes.data() + 16 + 1664 + 4), 1664u);
}

TEST_F(SongFile, RecordsFollowTheDocumentedOrder) {
    Compose();
    (*song.Events(7)) = {{1, kPan, 7, 5, 0}, {2, kPan, 7, 6, 0}, {3, kPan, 7, 7, 0}};
    song.SetNotes("abc");
    const std::string path = Path("song.tbo");
    ASSERT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
    const auto sizes = RecordSizes(path);
    // header, two loops, events of channels 0, 2 and 7, notes
    ASSERT_EQ(sizes.size(), 7u);
    EXPECT_EQ(sizes[0], 1664u);
    EXPECT_GT(sizes[1], (Bar() + 100) * 4u);  // a whole WAV image
    EXPECT_EQ(sizes[3], 20u);
    EXPECT_EQ(sizes[4], 60u);
    EXPECT_EQ(sizes[5], 60u);
    EXPECT_EQ(sizes[6], 4u);  // "abc" and its NUL

    base::UnfmArchive a;
    ASSERT_EQ(a.Open(path), 0);
    std::vector<std::uint8_t> record;
    ASSERT_EQ(a.ReadRecord(0, record), 0);
    auto header = ParseSongHeader(record, a.Count());
    ASSERT_TRUE(header);
    EXPECT_EQ(header->sampleRecord[2], 1);
    EXPECT_EQ(header->sampleRecord[11], 2);
    EXPECT_EQ(header->eventRecord[0], 3);
    EXPECT_EQ(header->eventRecord[2], 4);
    EXPECT_EQ(header->eventRecord[7], 5);
    EXPECT_EQ(header->eventCount[7], 3);
    EXPECT_EQ(header->notesRecord, 6);
    EXPECT_EQ(header->flags[11], kLoaded | kEffect | kInArchive);
    ASSERT_EQ(a.ReadRecord(1, record), 0);
    EXPECT_EQ(std::memcmp(record.data(), "RIFF", 4), 0);
    ASSERT_EQ(a.ReadRecord(6, record), 0);
    EXPECT_EQ(std::string(record.begin(), record.end()), std::string("abc", 4));
}

TEST_F(SongFile, FullRoundTripGivesTheSameSong) {
    Compose();
    const std::string path = Path("song.tbo");
    ASSERT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
    const auto prepared2 = device.loaded[Slot(2)].bytes;
    const auto prepared11 = device.loaded[Slot(11)].bytes;
    const auto events2 = (*song.GetEvents(2));

    song.Reset();
    std::vector<int> progress;
    ASSERT_EQ(song.LoadSong(path, 0,
                            [&](int phase, int, int percent) {
                                EXPECT_EQ(phase, 1);
                                progress.push_back(percent);
                            }),
              SongResult::Ok);
    EXPECT_EQ(progress.size(), 20u);
    EXPECT_EQ(song.GetMixMode(), MixMode::Ready);
    EXPECT_EQ(song.GetTempo(), 120.0);
    EXPECT_EQ(song.GetTitle(), "Brano di prova");
    EXPECT_EQ(song.GetAuthor(), "Autore");
    EXPECT_EQ(song.GetMixedBy(), "Mixer");
    EXPECT_EQ(song.GetNotes(), "prima riga\nseconda");
    EXPECT_EQ(song.GetChannelName(11), "effetto già");
    EXPECT_EQ(song.GetChannelFlags(2), kLoaded | kInArchive);
    EXPECT_EQ(song.GetChannelFlags(11), kLoaded | kEffect | kInArchive);
    EXPECT_EQ(song.GetInitialVolume(2), -1200);
    EXPECT_EQ(song.GetChannelVolume(2), -1200);
    EXPECT_EQ(song.GetInitialPan(11), -3000);
    EXPECT_EQ(song.GetInitialMasterVolume(), -250);
    EXPECT_EQ((*song.GetEvents(2)), events2);
    EXPECT_TRUE(song.GetSourceFile(2).empty());  // the loop still lies in the file
    EXPECT_EQ(device.loaded[Slot(2)].bytes, prepared2);
    EXPECT_EQ(device.loaded[Slot(11)].bytes, prepared11);
    EXPECT_EQ(song.GetSourceLength(2), (Bar() + 100) * 1000ull / 8000);
}

TEST_F(SongFile, SavingOverItsOwnFileKeepsEverything) {
    Compose();
    const std::string path = Path("song.tbo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    const auto first = tamboro::test::ReadAll(path);
    EXPECT_EQ(song.GetChannelFlags(2), kLoaded | kInArchive);  // reloaded from the file
    song.SetTitle("nuovo titolo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr),
              SongResult::Ok);  // loops read from the file it replaces
    EXPECT_EQ(song.GetTitle(), "nuovo titolo");
    const auto second = tamboro::test::ReadAll(path);
    EXPECT_EQ(first.size(), second.size());
    EXPECT_EQ(files.List(), std::vector<std::string>{"song.tbo"});  // no temporary left
    auto loop = song.OpenChannelSource(2);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->FrameCount(), static_cast<std::int32_t>(Bar() + 100));
    EXPECT_EQ(static_cast<std::int16_t>(loop->GetFrame(0) & 0xFFFF), 8);  // seed 7: frame 0 is 8
}

TEST_F(SongFile, APlainSaveOverItsOwnFileDoesNotCutTheLoopsAway) {
    Compose();
    const std::string path = Path("song.tbo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);  // the loops now lie in the file
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixOnly, nullptr), SongResult::Ok);
    ASSERT_NE(song.OpenChannelSource(2), nullptr);  // still readable
    ASSERT_EQ(song.SaveSong(path, 0, nullptr), SongResult::Ok);
    ASSERT_EQ(song.LoadSong(path, 0), SongResult::Ok);
    auto loop = song.OpenChannelSource(2);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->FrameCount(), static_cast<std::int32_t>(Bar() + 100));
    EXPECT_EQ(files.List(), std::vector<std::string>{"song.tbo"});
}

TEST_F(SongFile, AFailedSaveLeavesTheOldFileAndTheSong) {
    Compose();
    const std::string path = Path("song.tbo");
    ASSERT_EQ(song.SaveSongFile(path, nullptr), SongResult::Ok);
    const auto before = tamboro::test::ReadAll(path);
    // No temporary file can be made in a folder that does not exist.
    EXPECT_EQ(song.SaveSongFile(files.File("gone/song.tbo"), nullptr), SongResult::CreateFailed);
    // A loop that cannot be read back fails the save before anything is
    // replaced.
    tamboro::test::WriteAll(path + ".copy", before);
    ASSERT_EQ(Load(5, Bar()), SongResult::Ok);
    platform::DeleteFile(song.GetSourceFile(5));
    EXPECT_EQ(song.SaveSongFile(path, nullptr), SongResult::TempFileFailed);
    EXPECT_FALSE(song.IsChannelEmpty(5));
    EXPECT_EQ(files.List(), (std::vector<std::string>{"song.tbo", "song.tbo.copy"}));
    EXPECT_EQ(song.GetTitle(), "Brano di prova");
    EXPECT_EQ(tamboro::test::ReadAll(path), before);
}

TEST_F(SongFile, MixOnlyFilesCarryNoLoopsAndLoadOntoTheCurrentSong) {
    Compose();
    const std::string path = Path("mix.tbo");
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixOnly, nullptr), SongResult::Ok);
    const auto sizes = RecordSizes(path);
    ASSERT_EQ(sizes.size(), 4u);  // header, two event records, notes
    EXPECT_EQ(sizes[1], 20u);

    // Load the mix onto a song at half the tempo: events stay on their bars.
    const auto loopBefore = device.loaded[Slot(2)].bytes;
    song.Events(2)->clear();
    song.SetTitle("altro");
    song.NewSong(60.0);
    ASSERT_EQ(Load(2, Bar()), SongResult::Ok);
    ASSERT_EQ(song.LoadSong(path, Song::kLoadMixOnly), SongResult::Ok);
    EXPECT_EQ(song.GetTempo(), 60.0);
    EXPECT_EQ(song.GetTitle(), "Brano di prova");
    EXPECT_TRUE(song.IsEffect(11));        // the stored bit is copied...
    EXPECT_TRUE(song.IsChannelEmpty(11));  // ...onto a channel that stays empty
    ASSERT_EQ(song.GetEvents(2)->size(), 3u);
    EXPECT_EQ(std::next(song.GetEvents(2)->begin())->time, 3000u);  // 1500 ms at 120 -> 3000 at 60
    EXPECT_EQ(song.GetEvents(2)->back().time, 8000u);
    EXPECT_EQ(song.GetInitialVolume(2), -1200);
    EXPECT_EQ(song.GetChannelName(2), "loop2");  // the loop is kept
    EXPECT_NE(device.loaded[Slot(2)].bytes, loopBefore);
}

TEST_F(SongFile, AMixOnlyFileOpenedInFullGivesEmptyChannelsWithTheirMix) {
    Compose();
    const std::string path = Path("mix.tbo");
    ASSERT_EQ(song.SaveSong(path, Song::kSaveMixOnly, nullptr), SongResult::Ok);
    song.Reset();
    ASSERT_EQ(song.LoadSong(path, 0), SongResult::Ok);
    EXPECT_TRUE(song.IsChannelEmpty(2));  // no loop behind the stored bits
    EXPECT_TRUE(song.IsEffect(11));
    EXPECT_EQ(song.GetChannelName(11), "effetto già");
    EXPECT_EQ(song.GetEvents(2)->size(), 3u);
    // Such a song saves again like any other.
    EXPECT_EQ(song.SaveSong(Path("again.tbo"), 0, nullptr), SongResult::Ok);
}

TEST_F(SongFile, DamagedSongsAreRefused) {
    Compose();
    const std::string good = Path("good.tbo");
    ASSERT_EQ(song.SaveSong(good, 0, nullptr), SongResult::Ok);
    const auto bytes = tamboro::test::ReadAll(good);

    // Rewrites the archive with record `index` replaced by `record`.
    auto rewrite = [&](std::size_t index, const std::vector<std::uint8_t>& replacement) {
        base::UnfmArchive in;
        EXPECT_EQ(in.Open(good), 0);
        base::UnfmArchive out;
        const std::string path = Path("bad.tbo");
        EXPECT_EQ(out.Create(path), 0);
        for (std::uint32_t i = 0; i < in.Count(); ++i) {
            std::vector<std::uint8_t> r;
            in.ReadRecord(i, r);
            if (i == index) r = replacement;
            out.Append(r.data(), r.size());
        }
        out.Close();
        return path;
    };
    std::vector<std::uint8_t> header;
    {
        base::UnfmArchive in;
        ASSERT_EQ(in.Open(good), 0);
        ASSERT_EQ(in.ReadRecord(0, header), 0);
    }
    struct Case {
        const char* what;
        std::string path;
    };
    std::vector<Case> cases;
    auto shorter = header;
    shorter.pop_back();
    cases.push_back({"header of 1663 bytes", rewrite(0, shorter)});
    auto longer = header;
    longer.push_back(0);
    cases.push_back({"header of 1665 bytes", rewrite(0, longer)});
    cases.push_back({"short event record", rewrite(4, std::vector<std::uint8_t>(40, 0))});
    std::vector<std::uint8_t> badChannel(60, 0);
    badChannel[4] = kChannelOn;
    badChannel[8] = 20;
    cases.push_back({"event of channel 20", rewrite(4, badChannel)});
    std::vector<std::uint8_t> badKind(60, 0);
    badKind[4] = 3;
    cases.push_back({"event of kind 3", rewrite(4, badKind)});
    cases.push_back({"loop that is no WAV", rewrite(1, std::vector<std::uint8_t>(100, 7))});
    auto pastEnd = header;
    const std::int32_t far = 99;
    std::memcpy(pastEnd.data() + 1016 + 4 * 2, &far, 4);
    cases.push_back({"sample record past the end", rewrite(0, pastEnd)});

    for (const auto& c : cases) {
        Compose();
        EXPECT_EQ(song.LoadSong(c.path, 0), SongResult::BadSongFile) << c.what;
        EXPECT_EQ(song.GetTempo(), 120.0) << c.what;
        EXPECT_EQ(song.GetTitle(), "") << c.what;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            EXPECT_TRUE(song.IsChannelEmpty(ch)) << c.what << " " << ch;
            EXPECT_TRUE(song.GetEvents(ch)->empty()) << c.what << " " << ch;
        }
    }
    // A file that is no archive at all is refused before the song is touched.
    Compose();
    auto cut = bytes;
    cut.resize(bytes.size() - 9);
    tamboro::test::WriteAll(Path("cut.tbo"), cut);
    EXPECT_EQ(song.LoadSong(Path("cut.tbo"), 0), SongResult::BadSongFile);
    EXPECT_EQ(song.GetTitle(), "Brano di prova");
    EXPECT_FALSE(song.IsChannelEmpty(2));
    EXPECT_EQ(song.LoadSong(Path("missing.tbo"), 0), SongResult::OpenFailed);
    tamboro::test::WriteAll(Path("text.tbo"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(song.LoadSong(Path("text.tbo"), 0), SongResult::BadSongFile);
}

}  // namespace
}  // namespace tamboro::engine::test
