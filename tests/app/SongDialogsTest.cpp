// The Files dialog, the new-song/properties dialog and the rename dialog on
// the running program's frame.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "app/CMainFrame.h"
#include "app/DialogHooks.h"
#include "audio/files/SoundFile.h"
#include "audio/wave/Wave.h"
#include "dialogs/FilesDialog.h"
#include "dialogs/ProgressDialog.h"
#include "dialogs/SongDialogs.h"
#include "platform/OutputFile.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

namespace fs = std::filesystem;
using dialogs::FilesDialog;
using dialogs::SongPropertiesDialog;

class SongDialogsTest : public ShellTest {
  protected:
    // Runs the properties dialog by `fill`, which edits and presses OK.
    static std::function<int(SongPropertiesDialog&)> Filling(
        std::function<void(SongPropertiesDialog&)> fill) {
        return [fill](SongPropertiesDialog& d) {
            d.warn = [](const QString&) {};
            fill(d);
            return d.result();
        };
    }
};

std::string Line(unsigned id, const std::string& value) {
    return platform::LoadString(id) + "\r\n  " + value + "\r\n\r\n";
}

TEST_F(SongDialogsTest, SummaryOfAnEmptyNewSongShowsFileWithAnEmptyLineBelow) {
    CMainFrame& frame = Start();
    frame.Song().NewSong(120.0);
    FilesDialog files(FilesContextOf(frame), &frame);
    const std::string summary = files.Summary();
    EXPECT_EQ(summary.rfind(platform::LoadString(157) + "\r\n  \r\n\r\n", 0), 0u) << summary;
    EXPECT_NE(summary.find(Line(150, "120.00")), std::string::npos);
    QString shown = QString::fromStdString(summary);
    shown.replace("\r\n", "\n");
    EXPECT_EQ(files.SummaryEdit()->toPlainText(), shown);
    EXPECT_TRUE(files.SummaryEdit()->isReadOnly());
}

TEST_F(SongDialogsTest, SummaryListsEveryPropertyUnderItsLabel) {
    MakeSong(Path("song.tbo"), "Riassunto");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().SetAuthor("Autrice");
    frame.Song().SetMixedBy("Mixer");
    frame.Song().SetNotes("prima riga\r\nseconda");
    FilesDialog files(FilesContextOf(frame), &frame);
    const std::string expected = Line(157, Path("song.tbo")) + Line(146, "Riassunto") +
                                 Line(150, "120.00") + Line(147, "Autrice") + Line(148, "Mixer") +
                                 platform::LoadString(149) + "\r\n\r\n" + "prima riga\r\nseconda";
    EXPECT_EQ(files.Summary(), expected);
}

TEST_F(SongDialogsTest, NewSongRefusesTempiOutsideEightyToTwoHundredForty) {
    CMainFrame& frame = Start();
    FilesDialog files(FilesContextOf(frame), &frame);
    std::vector<QString> refused;
    files.runProperties = [&](SongPropertiesDialog& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), platform::LoadString(151));
        EXPECT_FALSE(d.MixedByEdit()->isEnabled());
        EXPECT_TRUE(d.TempoEdit()->isEnabled());
        EXPECT_EQ(d.TempoEdit()->text(), "120.0");
        d.warn = [&](const QString& text) { refused.push_back(text); };
        for (const char* bad : {"79.9", "240.01", "", "abc"}) {
            d.TempoEdit()->setText(bad);
            d.accept();
            EXPECT_NE(d.result(), QDialog::Accepted) << bad;
        }
        d.TempoEdit()->setText("80");
        d.TitleEdit()->setText("Nuovo");
        d.AuthorEdit()->setText("Io");
        d.NotesEdit()->setPlainText("note");
        d.accept();
        return d.result();
    };
    frame.SetSongPath("/somewhere/old.tbo");
    files.NewSong();
    EXPECT_EQ(refused.size(), 4u);
    EXPECT_DOUBLE_EQ(frame.Song().GetTempo(), 80.0);
    EXPECT_EQ(frame.Song().GetTitle(), "Nuovo");
    EXPECT_EQ(frame.Song().GetAuthor(), "Io");
    EXPECT_EQ(frame.Song().GetNotes(), "note");
    EXPECT_TRUE(frame.SongPath().empty());
    EXPECT_NE(files.Summary().find(Line(146, "Nuovo")), std::string::npos);

    // The upper limit itself is a tempo.
    files.runProperties = Filling([](SongPropertiesDialog& d) {
        d.TempoEdit()->setText("240.0");
        d.accept();
    });
    files.NewSong();
    EXPECT_DOUBLE_EQ(frame.Song().GetTempo(), 240.0);
}

TEST_F(SongDialogsTest, NewSongExplainsTheTempoFirstUntilTheNoticeIsSwitchedOff) {
    CMainFrame& frame = Start();
    FilesDialog files(FilesContextOf(frame), &frame);
    notices.clear();
    std::vector<std::pair<unsigned, unsigned>> seenBeforeDialog;
    files.runProperties = [&](SongPropertiesDialog& d) {
        seenBeforeDialog = notices;
        d.reject();
        return d.result();
    };
    files.NewSong();
    ASSERT_EQ(seenBeforeDialog.size(), 1u);
    EXPECT_EQ(seenBeforeDialog[0], std::make_pair(128u, 2002u));
    EXPECT_FALSE(platform::LoadString(2002).empty());

    // "Non mostrare questo messaggio in futuro" was ticked once.
    SwitchNoticeOff(frame.Store(), 2002);
    notices.clear();
    files.NewSong();
    EXPECT_TRUE(seenBeforeDialog.empty());
}

TEST_F(SongDialogsTest, OpeningASongRefreshesThePadsUnderTheUpdatingTextFivePercentEach) {
    MakeSong(Path("song.tbo"), "Pads");
    CMainFrame& frame = Start();
    // The progress dialog runs the pending events at every position; a
    // zero timer looks at it each time.
    std::vector<std::pair<QString, int>> seen;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* p = qobject_cast<dialogs::ProgressDialog*>(w);
            if (p == nullptr || !p->isVisible()) continue;
            const std::pair<QString, int> now{p->Text(), p->BarValue()};
            if (seen.empty() || seen.back() != now) seen.push_back(now);
        }
    });
    watch.start();
    ASSERT_TRUE(frame.OpenSongFile(Path("song.tbo"), false, false));
    watch.stop();
    const QString updating = QString::fromStdString(platform::LoadString(162));
    std::vector<int> positions;
    for (const auto& [text, pos] : seen) {
        if (text == updating) positions.push_back(pos);
    }
    // The channels' steps show in order (the watch runs before each new
    // position is set, so it sees up to 95); the loading texts come first.
    // The text changes while the bar still shows the load's end.
    ASSERT_GE(positions.size(), 10u);
    positions.erase(positions.begin());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 95);
    for (int p : positions)
        EXPECT_EQ(p % 5, 0) << p;
    EXPECT_EQ(seen.back().first, updating);
    // No dialog is left up.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<dialogs::ProgressDialog*>(w) != nullptr && w->isVisible());
}

TEST_F(SongDialogsTest, TextsStopAtTwentyNineCharacters) {
    SongPropertiesDialog d(SongPropertiesDialog::Mode::NewSong, {}, false, nullptr, nullptr);
    const QString longText(40, 'x');
    for (QLineEdit* e : {d.TitleEdit(), d.AuthorEdit(), d.MixedByEdit()}) {
        e->setText(longText);
        EXPECT_EQ(e->text().size(), dialogs::kSongTextLimit);
    }
    d.NotesEdit()->setPlainText(QString(400, 'n'));
    EXPECT_EQ(d.Values().notes.size(), 400u);
}

TEST_F(SongDialogsTest, PropertiesKeepTheTempoAndOpenTheAuthorOnlyWithShift) {
    MakeSong(Path("song.tbo"), "Vecchio");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().SetAuthor("Primo");
    FilesDialog files(FilesContextOf(frame), &frame);
    bool authorEnabled = true;
    files.shiftHeld = [] { return false; };
    files.runProperties = Filling([&](SongPropertiesDialog& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), platform::LoadString(152));
        EXPECT_FALSE(d.TempoEdit()->isEnabled());
        EXPECT_TRUE(d.MixedByEdit()->isEnabled());
        EXPECT_EQ(d.TitleEdit()->text(), "Vecchio");
        authorEnabled = d.AuthorEdit()->isEnabled();
        d.TempoEdit()->setText("200");  // not taken
        d.TitleEdit()->setText("Nuovo titolo");
        d.MixedByEdit()->setText("DJ");
        d.accept();
    });
    files.Properties();
    EXPECT_FALSE(authorEnabled);
    EXPECT_DOUBLE_EQ(frame.Song().GetTempo(), 120.0);
    EXPECT_EQ(frame.Song().GetTitle(), "Nuovo titolo");
    EXPECT_EQ(frame.Song().GetMixedBy(), "DJ");
    EXPECT_EQ(frame.Song().GetAuthor(), "Primo");
    EXPECT_TRUE(frame.IsModified());

    files.shiftHeld = [] { return true; };
    files.runProperties = Filling([&](SongPropertiesDialog& d) {
        authorEnabled = d.AuthorEdit()->isEnabled();
        d.AuthorEdit()->setText("Secondo");
        d.accept();
    });
    files.Properties();
    EXPECT_TRUE(authorEnabled);
    EXPECT_EQ(frame.Song().GetAuthor(), "Secondo");
}

TEST_F(SongDialogsTest, SaveWithoutASongPathAsksForAName) {
    CMainFrame& frame = Start();
    frame.Song().NewSong(120.0);
    FilesDialog files(FilesContextOf(frame), &frame);
    int asked = 0;
    files.chooseSongToSave = [&](dialogs::SongSaveChoice& c) {
        ++asked;
        c.path = Path("named.tbo");
        return true;
    };
    EXPECT_TRUE(files.SaveSong());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(frame.SongPath(), Path("named.tbo"));
    EXPECT_TRUE(fs::exists(Path("named.tbo")));
    EXPECT_FALSE(frame.IsModified());
    // With a path the save goes there without asking.
    EXPECT_TRUE(files.SaveSong());
    EXPECT_EQ(asked, 1);
}

TEST_F(SongDialogsTest, MixOnlySaveWritesThePathDirectlyWithoutReloading) {
    MakeSong(Path("song.tbo"), "Mix");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.SetCurrentChannel(0);
    FilesDialog files(FilesContextOf(frame), &frame);
    files.chooseSongToSave = [&](dialogs::SongSaveChoice& c) {
        c.path = Path("mix.tbo");
        c.mixOnly = true;
        return true;
    };
    const std::string loopFile = frame.Song().GetPreparedFile(0);
    ASSERT_TRUE(files.SaveSongAs());
    EXPECT_EQ(frame.SongPath(), Path("mix.tbo"));
    ASSERT_TRUE(fs::exists(Path("mix.tbo")));
    // The loops stay where they were (no reload) and are not in the file.
    EXPECT_EQ(frame.Song().GetPreparedFile(0), loopFile);
    EXPECT_LT(fs::file_size(Path("mix.tbo")), fs::file_size(Path("song.tbo")) / 4);
    EXPECT_FALSE(frame.Song().IsChannelEmpty(0));
}

TEST_F(SongDialogsTest, WavSaveRendersTheMixAndLeavesTheSongPath) {
    MakeSong(Path("song.tbo"), "Render");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().Events(0)->push_back({0, engine::kChannelOn, 0, 0, 0});
    frame.Song().Events(0)->push_back({1500, engine::kChannelOff, 0, 0, 0});
    FilesDialog files(FilesContextOf(frame), &frame);
    files.chooseSongToSave = [&](dialogs::SongSaveChoice& c) {
        c.path = Path("render.WAV");
        return true;
    };
    files.SaveSongAs();
    EXPECT_EQ(frame.SongPath(), Path("song.tbo"));
    audio::Wave rendered;
    ASSERT_EQ(audio::LoadWave(rendered, Path("render.WAV"), 0), audio::SoundResult::Ok)
        << frame.lastError;
    ASSERT_NE(rendered.Format(), nullptr);
    EXPECT_EQ(rendered.Format()->nSamplesPerSec, 44100u);
    EXPECT_EQ(rendered.Format()->wBitsPerSample, 16);
    EXPECT_EQ(rendered.Format()->nChannels, 2);
    EXPECT_EQ(rendered.DataBytes(), 44100u * 4 * 3 / 2);
    // The output format of the preferences is back on the device.
    const audio::WAVEFORMATEX device = frame.Device()->GetFormat();
    EXPECT_EQ(device.nSamplesPerSec, OutputFormatFor(frame.Settings().outputFormat).nSamplesPerSec);
}

TEST_F(SongDialogsTest, FailedSaveHalfWayKeepsTheOldFileAndLeavesNoTemporary) {
    MakeSong(Path("song.tbo"), "Intatto");
    const auto before = tamboro::test::ReadAll(Path("song.tbo"));
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().SetTitle("Cambiato");
    const auto entries = m_dir.List();
    FilesDialog files(FilesContextOf(frame), &frame);
    platform::SetOutputFaultForTesting(before.size() / 2, ENOSPC);
    EXPECT_FALSE(files.SaveSong());
    platform::SetOutputFaultForTesting(0, 0);
    EXPECT_FALSE(frame.lastError.empty());
    EXPECT_EQ(tamboro::test::ReadAll(Path("song.tbo")), before);
    EXPECT_EQ(m_dir.List(), entries);
    EXPECT_EQ(frame.SongPath(), Path("song.tbo"));
}

// Presses the progress dialog's Cancel as soon as it shows the text of
// `phase` (the dialog runs the events at each report; the worker waits for
// each report to be taken, so the job stops before its next step).
class CancelAtPhase {
  public:
    explicit CancelAtPhase(unsigned textId)
        : m_text(QString::fromStdString(platform::LoadString(textId))) {
        m_watch.setInterval(0);
        QObject::connect(&m_watch, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* p = qobject_cast<dialogs::ProgressDialog*>(w);
                if (p == nullptr || !p->isVisible() || !p->Text().startsWith(m_text)) continue;
                if (!p->CancelButton()->isEnabled()) continue;
                QTest::mouseClick(p->CancelButton(), Qt::LeftButton);
                ++pressed;
            }
        });
        m_watch.start();
    }
    int pressed = 0;

  private:
    QString m_text;
    QTimer m_watch;
};

TEST_F(SongDialogsTest, ASaveCancelledHalfWayKeepsTheOldFileAndLeavesNoTemporary) {
    MakeSong(Path("song.tbo"), "Intatto");
    const auto before = tamboro::test::ReadAll(Path("song.tbo"));
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().SetTitle("Cambiato");
    frame.MarkModified();
    const auto entries = m_dir.List();
    FilesDialog files(FilesContextOf(frame), &frame);
    {
        // "Stò salvando......." comes before each loop is written.
        CancelAtPhase cancel(142);
        EXPECT_FALSE(files.SaveSong());
        EXPECT_EQ(cancel.pressed, 1);
    }
    EXPECT_EQ(tamboro::test::ReadAll(Path("song.tbo")), before);
    EXPECT_EQ(m_dir.List(), entries);
    // A cancel is no failure to report; the song is as it was, unsaved.
    EXPECT_TRUE(frame.lastError.empty()) << frame.lastError;
    EXPECT_EQ(frame.Song().GetTitle(), "Cambiato");
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(frame.SongPath(), Path("song.tbo"));
    EXPECT_TRUE(frame.isEnabled());

    // Not cancelled, the same save goes through.
    EXPECT_TRUE(files.SaveSong());
    EXPECT_FALSE(frame.IsModified());
    EXPECT_NE(tamboro::test::ReadAll(Path("song.tbo")), before);
    EXPECT_EQ(m_dir.List(), entries);
}

TEST_F(SongDialogsTest, AMixdownCancelledHalfWayKeepsTheOldWaveFile) {
    MakeSong(Path("song.tbo"), "Render");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.Song().Events(0)->push_back({0, engine::kChannelOn, 0, 0, 0});
    frame.Song().Events(0)->push_back({4000, engine::kChannelOff, 0, 0, 0});
    const std::string old = "not a render";
    ASSERT_TRUE(tamboro::test::WriteAll(Path("render.wav"), {old.begin(), old.end()}));
    const auto entries = m_dir.List();
    FilesDialog files(FilesContextOf(frame), &frame);
    files.chooseSongToSave = [&](dialogs::SongSaveChoice& c) {
        c.path = Path("render.wav");
        return true;
    };
    int pressed = 0;
    {
        // The first report of the render cancels it.
        QTimer any;
        any.setInterval(0);
        QObject::connect(&any, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* p = qobject_cast<dialogs::ProgressDialog*>(w);
                if (p != nullptr && p->isVisible() && p->CancelButton()->isEnabled() &&
                    p->BarValue() > 0) {
                    QTest::mouseClick(p->CancelButton(), Qt::LeftButton);
                    ++pressed;
                }
            }
        });
        any.start();
        EXPECT_FALSE(files.SaveSongAs());
    }
    EXPECT_EQ(pressed, 1);
    EXPECT_EQ(tamboro::test::ReadAll(Path("render.wav")),
              std::vector<std::uint8_t>(old.begin(), old.end()));
    EXPECT_EQ(m_dir.List(), entries);
    EXPECT_TRUE(frame.lastError.empty()) << frame.lastError;
    EXPECT_EQ(frame.SongPath(), Path("song.tbo"));
}

TEST_F(SongDialogsTest, RenameStopsAtTwentyEightCharacters) {
    dialogs::RenameDialog d("Basso", nullptr, nullptr);
    EXPECT_EQ(d.NameEdit()->text(), "Basso");
    d.NameEdit()->setText(QString(40, 'r'));
    EXPECT_EQ(d.Name().size(), static_cast<std::size_t>(dialogs::kChannelNameLimit));
}

TEST_F(SongDialogsTest, ChannelMenuRenameRunsTheRenameDialog) {
    MakeSong(Path("song.tbo"), "Nomi");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.SetCurrentChannel(3);
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<dialogs::RenameDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->NameEdit()->setText("Rullante lungo");
        QTest::keyClick(d->NameEdit(), Qt::Key_Return);
    });
    frame.ExecuteChannelCommand(32776);
    EXPECT_EQ(frame.Song().GetChannelName(3), "Rullante lungo");
}

TEST_F(SongDialogsTest, EscapeClosesTheFilesDialogWithoutChanges) {
    CMainFrame& frame = Start();
    frame.Song().NewSong(100.0);
    QTimer::singleShot(0, [] {
        QWidget* d = QApplication::activeModalWidget();
        ASSERT_NE(qobject_cast<dialogs::FilesDialog*>(d), nullptr);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    frame.OpenFilesDialog();
    EXPECT_DOUBLE_EQ(frame.Song().GetTempo(), 100.0);
}

}  // namespace
}  // namespace tamboro::app::test
