// Automatic snapshots of a modified song and their recovery after a run
// that did not end: a child run is killed after its first snapshot, the
// next start offers the snapshot and opens what was saved; a clean end
// leaves nothing behind.
#include <QMessageBox>
#include <QProcess>
#include <filesystem>

#include "app/Autosave.h"
#include "app/core/AutosaveFiles.h"
#include "audio/output/OutputDevice.h"
#include "engine/Song.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

namespace fs = std::filesystem;

class AutosaveTest : public ShellTest {
  protected:
    AutosaveFiles Files() const { return AutosaveFilesIn(m_dir.Path() + "/state/tamboro"); }
    static std::string Loop(const char* name) {
        return std::string(TAMBORO_LOOPS_DIR) + "/" + name;
    }
    std::vector<std::string> StateFolder() const {
        std::vector<std::string> names;
        if (!fs::exists(Files().folder)) return names;
        for (const auto& e : fs::directory_iterator(Files().folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Runs the driver until it has made its first snapshot; "kill" then
    // kills it, "clean" lets it end.
    bool RunDriver(const char* mode, QProcess& child) {
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(TAMBORO_AUTOSAVE_DRIVER),
                    {mode, QString::fromStdString(Path("mine.tbo")),
                     QString::fromStdString(Path("expected.tbo")),
                     QString::fromStdString(Loop("hats_closed.wav"))});
        if (!child.waitForStarted()) return false;
        QByteArray out;
        const bool ready = SpinUntil(
            [&] {
                out += child.readAllStandardOutput();
                return out.contains("ready\n") || child.state() == QProcess::NotRunning;
            },
            std::chrono::seconds(60));
        return ready && out.contains("ready\n");
    }
    // What a song file keeps of the document (the prepared lengths depend
    // on the sound device).
    static void ExpectSameDocument(const engine::SongDocument& a, const engine::SongDocument& b) {
        EXPECT_EQ(a.tempo, b.tempo);
        EXPECT_EQ(a.title, b.title);
        EXPECT_EQ(a.author, b.author);
        EXPECT_EQ(a.mixedBy, b.mixedBy);
        EXPECT_EQ(a.notes, b.notes);
        EXPECT_EQ(a.initialMasterVolume, b.initialMasterVolume);
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            const auto& x = a.channels[ch];
            const auto& y = b.channels[ch];
            EXPECT_EQ(x.name, y.name) << ch;
            // Where the loop's audio lies (kInArchive) is no part of the song.
            const std::uint32_t kept = engine::kLoaded | engine::kEffect;
            EXPECT_EQ(x.flags & kept, y.flags & kept) << ch;
            EXPECT_EQ(x.initialVolume, y.initialVolume) << ch;
            EXPECT_EQ(x.initialPan, y.initialPan) << ch;
            EXPECT_EQ(x.events, y.events) << ch;
        }
    }
    // A song file read back through the engine, to compare with.
    struct Read {
        engine::SongDocument doc;
        std::array<std::vector<std::uint8_t>, engine::kChannelCount> loops;
    };
    static Read ReadSong(engine::Song& song) {
        Read r;
        r.doc = song.Document();
        for (int ch = 0; ch < engine::kChannelCount; ++ch) {
            const auto wave = song.OpenChannelSource(ch);
            if (wave && wave->Data() != nullptr)
                r.loops[ch].assign(wave->Data(), wave->Data() + wave->DataBytes());
        }
        return r;
    }
    static Read ReadSongFile(const std::string& path) {
        platform::EventLoop loop;
        engine::Song song(loop);
        song.NewSong(120.0);
        EXPECT_EQ(song.LoadSong(path, 0), engine::SongResult::Ok) << path;
        return ReadSong(song);
    }
};

TEST_F(AutosaveTest, KilledAfterASnapshotTheNextStartOffersItAndOpensWhatWasSaved) {
    MakeSong(Path("mine.tbo"), "Mio");
    const auto mine = tamboro::test::ReadAll(Path("mine.tbo"));
    qputenv("TAMBORO_AUTOSAVE_SECONDS", "1");
    QProcess child;
    ASSERT_TRUE(RunDriver("kill", child));
    child.kill();  // SIGKILL: nothing runs on the way out
    child.waitForFinished();
    qunsetenv("TAMBORO_AUTOSAVE_SECONDS");
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(AutosaveExists(Files()));
    // The user's file was never touched.
    EXPECT_EQ(tamboro::test::ReadAll(Path("mine.tbo")), mine);

    answers = {QMessageBox::Yes};
    CMainFrame& frame = Start();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front(), kAskRecoverAutosave);
    const Read expected = ReadSongFile(Path("expected.tbo"));
    const Read recovered = ReadSong(frame.Song());
    ExpectSameDocument(recovered.doc, expected.doc);
    EXPECT_EQ(recovered.doc.title, "Dopo il crash");
    EXPECT_FALSE(recovered.loops[5].empty());
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        EXPECT_EQ(recovered.loops[ch], expected.loops[ch]) << "channel " << ch;
    // Modified, under the path it came from; no start-up notice 2001 over it.
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(frame.SongPath(), Path("mine.tbo"));
    for (const auto& n : notices)
        EXPECT_NE(n.second, 2001u);
    EXPECT_EQ(tamboro::test::ReadAll(Path("mine.tbo")), mine);

    // Working on, the next snapshot replaces the one the song was opened
    // from (its loops still read from the old file) and both stay whole.
    ASSERT_TRUE(frame.AutosaveWriter()->SaveNow());
    ASSERT_TRUE(SpinUntil([&] { return frame.AutosaveWriter()->Written() == 1; }));
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        EXPECT_EQ(ReadSong(frame.Song()).loops[ch], expected.loops[ch]) << "channel " << ch;
    EXPECT_EQ(ReadSongFile(Files().song).loops, expected.loops);

    // Ending now is a clean end: nothing is left for the next start.
    App().ExitInstance();
    EXPECT_EQ(StateFolder(), std::vector<std::string>{});
}

TEST_F(AutosaveTest, ACleanEndOfTheProgramLeavesNothingBehind) {
    MakeSong(Path("mine.tbo"), "Mio");
    qputenv("TAMBORO_AUTOSAVE_SECONDS", "1");
    QProcess child;
    const bool ready = RunDriver("clean", child);
    qunsetenv("TAMBORO_AUTOSAVE_SECONDS");
    ASSERT_TRUE(ready);
    ASSERT_TRUE(
        SpinUntil([&] { return child.state() == QProcess::NotRunning; }, std::chrono::seconds(30)));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(StateFolder(), std::vector<std::string>{});
    Start();
    EXPECT_TRUE(std::find(asked.begin(), asked.end(), kAskRecoverAutosave) == asked.end());
}

TEST_F(AutosaveTest, ADeclinedRecoveryRemovesTheSnapshotAndStartsAsUsual) {
    MakeSong(Path("snapshot.tbo"), "Istantanea");
    MakeSong(Path("mine.tbo"), "Mio");
    fs::create_directories(Files().folder);
    fs::copy_file(Path("snapshot.tbo"), Files().song);
    ASSERT_EQ(WriteAutosaveInfo(Files(), Path("mine.tbo")), 0);
    answers = {QMessageBox::No};
    CMainFrame& frame = Start({"--no-splash", Path("mine.tbo")});
    EXPECT_EQ(asked, std::vector<unsigned>{kAskRecoverAutosave});
    EXPECT_EQ(frame.Song().GetTitle(), "Mio");
    EXPECT_FALSE(frame.IsModified());
    EXPECT_FALSE(AutosaveExists(Files()));
    EXPECT_EQ(StateFolder(), std::vector<std::string>{});
}

TEST_F(AutosaveTest, ASnapshotKeepsTheSongAsItIsAndComesOnlyWhenSomethingChanged) {
    MakeSong(Path("mine.tbo"), "Mio");
    CMainFrame& frame = Start({"--no-splash", Path("mine.tbo")});
    Autosave* autosave = frame.AutosaveWriter();
    ASSERT_NE(autosave, nullptr);
    // Nothing changed: nothing to save.
    EXPECT_FALSE(autosave->SaveNow());
    EXPECT_FALSE(AutosaveExists(Files()));

    ASSERT_TRUE(frame.LoadLoopFile(7, Loop("bass_sub.wav"), false, false));
    const std::string prepared = frame.Song().GetPreparedFile(7);
    frame.Song().SwitchChannelOn(7);
    backend->Render(256);
    ASSERT_TRUE(autosave->SaveNow());
    ASSERT_TRUE(SpinUntil([&] { return autosave->Written() == 1; }));
    // The song was neither reset nor reloaded, and still sounds.
    EXPECT_EQ(frame.Song().GetPreparedFile(7), prepared);
    backend->Render(256);
    EXPECT_TRUE(frame.Song().IsChannelPlaying(7));
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(frame.SongPath(), Path("mine.tbo"));
    EXPECT_EQ(ReadAutosaveOriginal(Files()), Path("mine.tbo"));
    const Read saved = ReadSongFile(Files().song);
    const Read now = ReadSong(frame.Song());
    ExpectSameDocument(saved.doc, now.doc);
    EXPECT_EQ(saved.loops, now.loops);
    // The same song again: no second snapshot.
    EXPECT_FALSE(autosave->SaveNow());
    // The snapshot went through the atomic writer: no temporary beside it.
    EXPECT_EQ(StateFolder(), (std::vector<std::string>{"autosave.ini", "autosave.tbo"}));
}

TEST_F(AutosaveTest, AFinishedRecordingMarksTheSongModifiedAndIsSavedAtOnce) {
    MakeSong(Path("mine.tbo"), "Mio");
    CMainFrame& frame = Start({"--no-splash", Path("mine.tbo")});
    ASSERT_FALSE(frame.IsModified());
    engine::Song& song = frame.Song();
    ASSERT_EQ(song.StartRecording(), engine::SongResult::Ok);
    const std::uint32_t block = frame.Device()->GetFormat().nSamplesPerSec / 50;
    backend->Render(block);
    song.SwitchChannelOn(0);
    for (int i = 0; i < 25; ++i)
        backend->Render(block);
    // The take runs past a check of the snapshots (once a second).
    SpinUntil([] { return false; }, std::chrono::milliseconds(1300));
    song.SwitchChannelOff(0);
    backend->Render(block);
    song.StopMix();
    song.PollLive();
    ASSERT_GT(song.MixLength().count, 0u);
    // Within the interval (two minutes) the end of the take brings the
    // snapshot, at the next check (once a second).
    ASSERT_TRUE(
        SpinUntil([&] { return frame.AutosaveWriter()->Written() == 1; }, std::chrono::seconds(5)));
    EXPECT_TRUE(frame.IsModified());
    ExpectSameDocument(ReadSongFile(Files().song).doc, song.Document());
}

}  // namespace
}  // namespace tamboro::app::test
