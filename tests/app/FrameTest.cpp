// The main frame: start-up notices and the first song, the keys by place,
// the channel commands, preferences, the console swap, the unsaved-changes
// questions and the shell menu.
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/PlainPanel.h"
#include "app/Registry.h"
#include "console/layout/ConsoleLayout.h"
#include "dialogs/ProgressDialog.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class FrameTest : public ShellTest {
  protected:
    PlainPanel& Panel(CMainFrame& frame) {
        auto* panel = qobject_cast<PlainPanel*>(frame.Console());
        if (panel == nullptr) throw std::runtime_error("not the plain panel");
        return *panel;
    }
    void ExpectCancelledSaveLeavesTheOldFile(bool filesDialog);
};

// --- Start-up ------------------------------------------------------------------------------

TEST_F(FrameTest, EmptyStartShowsNotices2000Then2001AndANewSong) {
    CMainFrame& frame = Start();
    EXPECT_EQ(notices, (std::vector<std::pair<unsigned, unsigned>>{{128, 2000}, {128, 2001}}));
    EXPECT_EQ(frame.Song().GetTempo(), 120.0);
    EXPECT_TRUE(frame.SongPath().empty());
    EXPECT_EQ(frame.windowTitle().toStdString(), platform::LoadString(128) + " - ");
}

TEST_F(FrameTest, Notice2000StaysAwayOnceSwitchedOff) {
    WriteConfig("[INFORMATION]\n2000=1\n");
    Start();
    EXPECT_EQ(notices, (std::vector<std::pair<unsigned, unsigned>>{{128, 2001}}));
}

TEST_F(FrameTest, CommandLineSongOpensAndDefaultSongIsNotConsulted) {
    MakeSong(Path("first.tbo"), "Primo");
    MakeSong(Path("default.tbo"), "Predefinito");
    WriteConfig("[PREFERENCES]\nDEFAULTSONG=" + Path("default.tbo") + "\n");
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(m_dir.Path()));
    CMainFrame& frame = Start({"--no-splash", "./first.tbo"});
    QDir::setCurrent(before);
    EXPECT_EQ(frame.SongPath(), Path("first.tbo"));
    EXPECT_EQ(frame.Song().GetTitle(), "Primo");
    EXPECT_EQ(frame.windowTitle().toStdString(), platform::LoadString(128) + " - Primo");
    EXPECT_EQ(notices, (std::vector<std::pair<unsigned, unsigned>>{{128, 2000}}));  // no 2001
    EXPECT_FALSE(frame.IsModified());
}

TEST_F(FrameTest, DefaultSongOpensWhenTheCommandLineNamesNone) {
    MakeSong(Path("default.tbo"), "Predefinito");
    WriteConfig("[PREFERENCES]\nDEFAULTSONG=" + Path("default.tbo") + "\n");
    CMainFrame& frame = Start();
    EXPECT_EQ(frame.Song().GetTitle(), "Predefinito");
    EXPECT_EQ(notices, (std::vector<std::pair<unsigned, unsigned>>{{128, 2000}}));
}

TEST_F(FrameTest, MissingCommandLineSongIsReportedAndStartUpGoesOn) {
    CMainFrame& frame = Start({"--no-splash", Path("missing.tbo")});
    EXPECT_EQ(frame.lastError, engine::SongResultMessage(10));
    EXPECT_TRUE(frame.isVisible());
}

TEST_F(FrameTest, PreviewsAreMadeAt2000Hz8BitStereoForLoadedChannels) {
    MakeSong(Path("song.tbo"), "Anteprima");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    ASSERT_TRUE(SpinUntil([&] { return frame.PreviewsPending() == 0; }));
    for (int ch : {0, 3}) {
        const audio::Wave* preview = frame.Preview(ch);
        ASSERT_NE(preview, nullptr) << ch;
        ASSERT_NE(preview->Format(), nullptr);
        EXPECT_EQ(preview->Format()->nSamplesPerSec, 2000u);
        EXPECT_EQ(preview->Format()->wBitsPerSample, 8);
        EXPECT_EQ(preview->Format()->nChannels, 2);
    }
    EXPECT_EQ(frame.Preview(1), nullptr);
    EXPECT_EQ(frame.Preview(20), nullptr);
}

TEST_F(FrameTest, ClientAreaIs640By480TimesTheScale) {
    CMainFrame& frame = Start({"--no-splash", "--scale", "2"});
    EXPECT_EQ(frame.Scale(), 2);
    EXPECT_EQ(frame.size(), QSize(1280, 960));
    EXPECT_EQ(frame.Console()->size(), QSize(1280, 960));
}

// --- Keys by place -------------------------------------------------------------------------

struct LayoutKey {
    const char* name;
    std::uint32_t scanCode;
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;
    int command;  // 0: the console sees nothing
};

class KeyLayouts : public FrameTest, public ::testing::WithParamInterface<LayoutKey> {};

TEST_P(KeyLayouts, KeyReachesTheConsoleAsItsChannelsCommand) {
    CMainFrame& frame = Start();
    PlainPanel& panel = Panel(frame);
    const LayoutKey& k = GetParam();
    PressKey(&panel, k.scanCode, k.key, k.mods, QString::fromUtf8(k.text));
    EXPECT_EQ(panel.lastCommand, k.command);
}

INSTANTIATE_TEST_SUITE_P(
    UsAndAzerty, KeyLayouts,
    ::testing::Values(
        LayoutKey{"UsQ", 24, Qt::Key_Q, Qt::NoModifier, "q", 32797 + 5},
        LayoutKey{"AzertyQPlaceTypesA", 24, Qt::Key_A, Qt::NoModifier, "a", 32797 + 5},
        LayoutKey{"UsA", 38, Qt::Key_A, Qt::NoModifier, "a", 32797 + 10},
        LayoutKey{"AzertyAPlaceTypesQ", 38, Qt::Key_Q, Qt::NoModifier, "q", 32797 + 10},
        LayoutKey{"UsShift1IsExclam", 10, Qt::Key_Exclam, Qt::ShiftModifier, "!", 32817 + 0},
        LayoutKey{"AzertyShift1IsDigit", 10, Qt::Key_1, Qt::ShiftModifier, "1", 32817 + 0},
        LayoutKey{"Azerty1PlaceTypesAmpersand", 10, Qt::Key_Ampersand, Qt::NoModifier, "&",
                  32797 + 0},
        LayoutKey{"UsShiftZ", 52, Qt::Key_Z, Qt::ShiftModifier, "Z", 32832},
        LayoutKey{"AzertyShiftWPlaceTypesZ", 52, Qt::Key_W, Qt::ShiftModifier, "W", 32832},
        LayoutKey{"UsB", 56, Qt::Key_B, Qt::NoModifier, "b", 32797 + 19},
        LayoutKey{"NoScanCodeFallsBackToTheKey", 0, Qt::Key_W, Qt::NoModifier, "w", 32797 + 6},
        LayoutKey{"CtrlQIsNoChannelKey", 24, Qt::Key_Q, Qt::ControlModifier, "", 0},
        LayoutKey{"AltQIsNoChannelKey", 24, Qt::Key_Q, Qt::AltModifier, "", 0},
        LayoutKey{"YIsNoChannelKey", 29, Qt::Key_Y, Qt::NoModifier, "y", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameTest, HeldKeyRepeatsDoNotSwitchAgain) {
    CMainFrame& frame = Start();
    PlainPanel& panel = Panel(frame);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, 24, 0, 0, "q", true);
    QCoreApplication::sendEvent(&panel, &repeat);
    EXPECT_EQ(panel.lastCommand, 0);
}

// --- Channel commands ------------------------------------------------------------------------

std::map<int, std::pair<bool, bool>> MenuState(CMainFrame& frame) {
    std::map<int, std::pair<bool, bool>> state;
    QMenu* menu = frame.CreateChannelMenu(&frame);
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        state[a->data().toInt()] = {a->isEnabled(), a->isChecked()};
    }
    delete menu;
    return state;
}

TEST_F(FrameTest, ChannelMenuEnablingFollowsTheCurrentChannel) {
    MakeSong(Path("song.tbo"), "Menu");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.SetCurrentChannel(1);  // empty
    auto s = MenuState(frame);
    ASSERT_EQ(s.size(), 7u);
    EXPECT_TRUE(s[32773].first);
    // Undo and redo: nothing to take back yet.
    EXPECT_FALSE(s[kCmdUndo].first);
    EXPECT_FALSE(s[kCmdRedo].first);
    for (int cmd : {32774, 32775, 32776, 32837})
        EXPECT_FALSE(s[cmd].first) << cmd;

    frame.SetCurrentChannel(0);  // loaded, silent
    s = MenuState(frame);
    for (int cmd : {32773, 32774, 32775, 32776, 32837})
        EXPECT_TRUE(s[cmd].first) << cmd;
    EXPECT_FALSE(s[32837].second);

    ASSERT_EQ(frame.Song().SwitchChannelOn(0), engine::SongResult::Ok);  // sounding
    s = MenuState(frame);
    EXPECT_TRUE(s[32773].first);
    for (int cmd : {32774, 32775, 32776, 32837})
        EXPECT_FALSE(s[cmd].first) << cmd;
    frame.Song().SwitchChannelOff(0);

    frame.SetCurrentChannel(25);  // ignored
    EXPECT_EQ(frame.CurrentChannel(), 0);
}

TEST_F(FrameTest, ChannelCommandsChangeTheSongAndMarkItModified) {
    MakeSong(Path("song.tbo"), "Comandi");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    PlainPanel& panel = Panel(frame);
    frame.SetCurrentChannel(3);
    frame.ExecuteChannelCommand(32837);  // effect
    EXPECT_TRUE(frame.Song().IsEffect(3));
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(frame.windowTitle().toStdString(), "*" + platform::LoadString(128) + " - Comandi");
    EXPECT_TRUE(MenuState(frame)[32837].second);  // checked

    frame.renameDialog = [](CMainFrame&, std::string& name) {
        name = "Rullante";
        return true;
    };
    const int updates = panel.updateCount;
    frame.ExecuteChannelCommand(32776);
    EXPECT_EQ(frame.Song().GetChannelName(3), "Rullante");
    EXPECT_GT(panel.updateCount, updates);

    frame.ExecuteChannelCommand(32775);  // remove
    EXPECT_TRUE(frame.Song().IsChannelEmpty(3));
    EXPECT_EQ(frame.Preview(3), nullptr);

    frame.SetCurrentChannel(1);
    frame.ExecuteChannelCommand(32775);  // disabled on an empty channel: nothing
    EXPECT_TRUE(frame.Song().IsChannelEmpty(1));
}

TEST_F(FrameTest, UndoTakesBackMixEditsAndChannelCommandsToTheSavedState) {
    MakeSong(Path("song.tbo"), "Storia");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    engine::Song& song = frame.Song();
    const engine::SongDocument opened = song.Document();
    // A mix edit as the mix editor records it.
    auto edit = [&](std::uint32_t ms) {
        frame.Steps().Record();
        engine::InsertEvent(*song.Events(0), {ms, engine::kChannelOn, 0, 0, 0});
        frame.HistoryChanged();
    };
    edit(1000);
    EXPECT_TRUE(frame.IsModified());
    EXPECT_TRUE(MenuState(frame)[kCmdUndo].first);
    EXPECT_TRUE(frame.OnCommand(kCmdUndo));
    EXPECT_EQ(song.Document(), opened);
    EXPECT_FALSE(frame.IsModified());
    EXPECT_EQ(frame.windowTitle().toStdString(), platform::LoadString(128) + " - Storia");
    EXPECT_TRUE(MenuState(frame)[kCmdRedo].first);
    EXPECT_TRUE(frame.OnCommand(kCmdRedo));
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(song.GetEvents(0)->size(), opened.Events(0)->size() + 1);
    const engine::SongDocument edited = song.Document();

    // Rename, effect switch and removal of channel 3, each a step.
    frame.renameDialog = [](CMainFrame&, std::string& name) {
        name = "Rullante";
        return true;
    };
    frame.SetCurrentChannel(3);
    frame.ExecuteChannelCommand(32776);
    frame.ExecuteChannelCommand(32837);
    ASSERT_TRUE(SpinUntil([&] { return frame.PreviewsPending() == 0; }));
    frame.ExecuteChannelCommand(32775);
    ASSERT_EQ(song.IsChannelEmpty(3), 1);
    ASSERT_EQ(frame.History().UndoSteps(), 4u);
    // Undone: the loop comes back with its name, flag and events, and its
    // preview is made again.
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Ok);
    EXPECT_EQ(song.IsChannelEmpty(3), 0);
    EXPECT_EQ(song.GetChannelName(3), "Rullante");
    EXPECT_EQ(song.IsEffect(3), 1);
    ASSERT_TRUE(SpinUntil([&] { return frame.PreviewsPending() == 0; }));
    EXPECT_NE(frame.Preview(3), nullptr);
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Ok);
    EXPECT_EQ(song.IsEffect(3), 0);
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Ok);
    EXPECT_EQ(song.Document(), edited);
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Ok);
    EXPECT_EQ(song.Document(), opened);
    EXPECT_FALSE(frame.IsModified());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frame.Redo(), console::HistoryResult::Ok);
    EXPECT_EQ(song.IsChannelEmpty(3), 1);
    EXPECT_TRUE(frame.IsModified());

    // A change the steps do not cover (the Files dialog's) ends them: an
    // edit after it, undone, leaves the song modified.
    frame.SongChanged(false);
    EXPECT_FALSE(frame.History().CanUndo());
    edit(2000);
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Ok);
    EXPECT_TRUE(frame.IsModified());
    EXPECT_EQ(frame.Undo(), console::HistoryResult::Nothing);

    // Opening a song clears the steps.
    edit(3000);
    ASSERT_TRUE(frame.OpenSong(Path("song.tbo"), false));
    EXPECT_FALSE(frame.History().CanUndo());
    EXPECT_FALSE(frame.IsModified());
}

TEST_F(FrameTest, LoadLoopCommandLoadsAndRefusesWhatCannotBeRead) {
    CMainFrame& frame = Start();
    frame.SetCurrentChannel(7);
    std::string chosen = std::string(TAMBORO_LOOPS_DIR) + "/kick_four.wav";
    frame.waveOpenDialog = [&](CMainFrame&, std::string& path, bool& effect) {
        path = chosen;
        effect = false;
        return true;
    };
    answers = {QMessageBox::No};  // keep the tempo
    frame.ExecuteChannelCommand(32773);
    EXPECT_FALSE(frame.Song().IsChannelEmpty(7));
    EXPECT_TRUE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty());

    frame.SetCurrentChannel(8);
    chosen = Path("not-a-sound.wav");
    tamboro::test::WriteAll(chosen, {'R', 'I', 'F', 'F', 0, 0});
    frame.ExecuteChannelCommand(32773);
    EXPECT_TRUE(frame.Song().IsChannelEmpty(8));
    EXPECT_FALSE(frame.lastError.empty());
}

// --- Preferences and the console forms ----------------------------------------------------------

TEST_F(FrameTest, ThemeChangeRebuildsTheConsoleOfTheFormInUse) {
    CMainFrame& frame = Start();
    frame.RequestConsole(1);
    ASSERT_TRUE(SpinUntil([&] { return frame.ProMode() == 1; }));
    QPointer<PanelWnd> old = frame.Console();
    ASSERT_TRUE(old->IsPro());
    Preferences next = frame.Settings();
    next.colorTheme = 2;
    frame.ApplyPreferences(next);
    EXPECT_TRUE(old.isNull());  // the old console is gone
    ASSERT_NE(frame.Console(), nullptr);
    EXPECT_TRUE(frame.Console()->IsPro());
    EXPECT_EQ(Panel(frame).Theme(), 2);
    EXPECT_EQ(Panel(frame).loadSkinCount, 1);
    EXPECT_EQ(frame.Settings().colorTheme, 2);
}

TEST_F(FrameTest, TooltipOnlyChangeRebuildsNothingAndKeepsTheOutput) {
    CMainFrame& frame = Start();
    QPointer<PanelWnd> console = frame.Console();
    const int opens = backend->OpenCount();
    const int updates = Panel(frame).updateCount;
    Preferences next = frame.Settings();
    next.tooltip = 0;
    frame.ApplyPreferences(next);
    EXPECT_EQ(frame.Console(), console.data());
    EXPECT_EQ(backend->OpenCount(), opens);
    EXPECT_EQ(frame.Settings().tooltip, 0);
    EXPECT_GT(Panel(frame).updateCount, updates);
}

TEST_F(FrameTest, OutputFormatChangeReopensTheDeviceInTheNewFormat) {
    CMainFrame& frame = Start();
    Preferences next = frame.Settings();
    next.outputFormat = 2;
    frame.ApplyPreferences(next);
    EXPECT_EQ(frame.Device()->GetFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(frame.Device()->GetFormat().wBitsPerSample, 16);
}

TEST_F(FrameTest, ConsoleSwapMessageChangesTheForm) {
    CMainFrame& frame = Start();
    EXPECT_FALSE(frame.Console()->IsPro());
    frame.RequestConsole(1);
    ASSERT_TRUE(SpinUntil([&] { return frame.ProMode() == 1; }));
    EXPECT_TRUE(frame.Console()->IsPro());
    frame.RequestConsole(0);
    ASSERT_TRUE(SpinUntil([&] { return frame.ProMode() == 0; }));
    EXPECT_FALSE(frame.Console()->IsPro());
}

TEST_F(FrameTest, CtrlCommaOpensPreferencesAndItsOkApplies) {
    CMainFrame& frame = Start();
    int shown = 0;
    frame.preferencesDialog = [&](CMainFrame&, Preferences& next) {
        ++shown;
        next.levelMeter = 0;
        return true;
    };
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(frame.Settings().levelMeter, 0);
    QtSettingsStore store;
    EXPECT_EQ(ReadPreferences(store).levelMeter, 0);
}

TEST_F(FrameTest, RightClickOutsideThePadsOpensTheShellMenu) {
    CMainFrame& frame = Start();
    PlainPanel& panel = Panel(frame);
    const auto pad = console::layout::PadRect(0);
    QTest::mouseClick(&panel, Qt::RightButton, Qt::NoModifier, QPoint(pad.x + 2, pad.y + 2));
    EXPECT_EQ(frame.findChild<QMenu*>("shellMenu"), nullptr);
    QTest::mouseClick(&panel, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    QMenu* menu = frame.findChild<QMenu*>("shellMenu");
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts << a->text();
    EXPECT_EQ(texts, QStringList({QString::fromStdString(platform::LoadString(161)),
                                  QString::fromStdString(platform::LoadString(166))}));
    menu->close();
}

TEST_F(FrameTest, F1ShowsTheAboutBox) {
    CMainFrame& frame = Start();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QString title;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            title = modal->windowTitle();
            modal->close();
        }
    });
    closer.start(20);
    QTest::keyClick(&frame, Qt::Key_F1);
    closer.stop();
    EXPECT_EQ(title.toStdString(), platform::LoadString(2020));
}

// --- Unsaved changes
// ------------------------------------------------------------------------------

TEST_F(FrameTest, CloseAsksQuitQuestionAndNoKeepsRunning) {
    CMainFrame& frame = Start();
    answers = {QMessageBox::No};
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(asked, std::vector<unsigned>({143}));
    EXPECT_TRUE(frame.isVisible());
    answers = {QMessageBox::Yes};
    EXPECT_TRUE(frame.close());
}

TEST_F(FrameTest, ModifiedSongAsksToSaveAndCancelKeepsEverything) {
    MakeSong(Path("song.tbo"), "Modifiche");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    frame.SetCurrentChannel(0);
    frame.ExecuteChannelCommand(32837);
    ASSERT_TRUE(frame.IsModified());
    answers = {QMessageBox::Cancel};
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(asked, std::vector<unsigned>({2010}));
    EXPECT_TRUE(frame.IsModified());

    // Yes saves to the song's file, then the program ends.
    answers = {QMessageBox::Yes};
    EXPECT_TRUE(frame.close());
    EXPECT_FALSE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty());
    platform::EventLoop loop;
    engine::Song reread(loop);
    ASSERT_EQ(reread.LoadSong(Path("song.tbo"), 0), engine::SongResult::Ok);
    EXPECT_TRUE(reread.IsEffect(0));
}

// Closing a modified song with Yes saves it under the progress dialog;
// Cancel pressed there while the second channel is being saved (the first
// loop is already written) must leave the old file and nothing else. With
// the dialogs the save is the Files dialog's, else the frame's own.
void FrameTest::ExpectCancelledSaveLeavesTheOldFile(bool filesDialog) {
    const std::string path = Path("song.tbo");
    MakeSong(path, "Vecchio");
    const auto old = tamboro::test::ReadAll(path);
    ASSERT_FALSE(old.empty());
    CMainFrame& frame = Start({"--no-splash", path});
    if (!filesDialog) frame.saveSongDialog = nullptr;
    frame.Song().SetTitle("Nuovo");
    frame.MarkModified();
    const QDir folder(QString::fromStdString(Path("")));
    const QStringList before = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    // Cancel is pressed in the progress dialog while the second channel
    // is being saved: the first loop is already written.
    std::vector<QString> shown;
    frame.progressReported = [&](dialogs::ProgressDialog& progress) {
        shown.push_back(progress.Text());
        if (shown.size() == 2) QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
    };
    asked.clear();
    answers = {QMessageBox::Yes};
    EXPECT_FALSE(frame.close());  // the save was cancelled: the program stays
    EXPECT_EQ(asked, std::vector<unsigned>({2010}));
    EXPECT_EQ(shown.size(), 2u);  // the work stopped at once
    EXPECT_EQ(tamboro::test::ReadAll(path), old);
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_TRUE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty());  // a cancel is no failure
    EXPECT_EQ(frame.Song().GetTitle(), "Nuovo");

    // Left alone, the save runs to its end and the program closes.
    shown.clear();
    frame.progressReported = [&](dialogs::ProgressDialog& progress) {
        shown.push_back(progress.Text());
    };
    answers = {QMessageBox::Yes};
    EXPECT_TRUE(frame.close());
    EXPECT_GE(shown.size(), 20u);
    platform::EventLoop loop;
    engine::Song reread(loop);
    ASSERT_EQ(reread.LoadSong(path, 0), engine::SongResult::Ok);
    EXPECT_EQ(reread.GetTitle(), "Nuovo");
    EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

TEST_F(FrameTest, CancelPressedDuringTheFilesDialogsSaveLeavesTheOldFileAndNoTemporary) {
    ExpectCancelledSaveLeavesTheOldFile(true);
}

TEST_F(FrameTest, CancelPressedDuringTheFramesOwnSaveLeavesTheOldFileAndNoTemporary) {
    ExpectCancelledSaveLeavesTheOldFile(false);
}

TEST_F(FrameTest, CancelPressedDuringALoadLeavesTheSongAsItWas) {
    MakeSong(Path("a.tbo"), "A");
    MakeSong(Path("b.tbo"), "B");
    CMainFrame& frame = Start({"--no-splash", Path("a.tbo")});
    const engine::SongDocument before = frame.Song().Document();
    std::vector<std::string> prepared;
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        prepared.push_back(frame.Song().GetPreparedFile(ch));
    int reports = 0;
    frame.progressReported = [&](dialogs::ProgressDialog& progress) {
        if (++reports == 3) QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
    };
    EXPECT_FALSE(frame.OpenSong(Path("b.tbo"), false));
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(frame.Song().Document(), before);
    for (int ch = 0; ch < engine::kChannelCount; ++ch)
        EXPECT_EQ(frame.Song().GetPreparedFile(ch), prepared[static_cast<std::size_t>(ch)]);
    EXPECT_EQ(frame.SongPath(), Path("a.tbo"));
    EXPECT_FALSE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty());
    EXPECT_TRUE(frame.isEnabled());  // the progress dialog gave the window back

    frame.progressReported = {};
    EXPECT_TRUE(frame.OpenSong(Path("b.tbo"), false));
    EXPECT_EQ(frame.Song().GetTitle(), "B");
    EXPECT_EQ(frame.SongPath(), Path("b.tbo"));
}

TEST_F(FrameTest, OpeningAnotherSongWhileModifiedAsksAndNoDiscards) {
    MakeSong(Path("a.tbo"), "A");
    MakeSong(Path("b.tbo"), "B");
    CMainFrame& frame = Start({"--no-splash", Path("a.tbo")});
    frame.MarkModified();
    answers = {QMessageBox::No};
    EXPECT_TRUE(frame.OpenSong(Path("b.tbo")));
    EXPECT_EQ(asked, std::vector<unsigned>({2010}));
    EXPECT_EQ(frame.Song().GetTitle(), "B");
    EXPECT_FALSE(frame.IsModified());
    asked.clear();
    EXPECT_TRUE(frame.OpenSong(Path("a.tbo")));  // unmodified: no question
    EXPECT_TRUE(asked.empty());
}

// --- Siblings ------------------------------------------------------------------------------------

TEST_F(FrameTest, MissingSiblingIsDisabledWithATooltipAndLaunchStopsTheSong) {
    MakeSong(Path("song.tbo"), "Fratelli");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    EXPECT_FALSE(frame.SiblingAvailable(Sibling::Drum));
    EXPECT_NE(frame.SiblingTooltip(Sibling::Drum).find("Percola"), std::string::npos);
    ASSERT_EQ(frame.Song().SwitchChannelOn(0), engine::SongResult::Ok);
    EXPECT_FALSE(frame.LaunchSibling(Sibling::Drum));
    // The stop is carried out in the next block the device renders.
    backend->Render(1024);
    frame.Song().PollLive();
    EXPECT_EQ(frame.Song().PlayingCount(), 0);
}

}  // namespace
}  // namespace tamboro::app::test

namespace tamboro::app::test {
namespace {

class SplashTest : public ShellTest {};

TEST_F(SplashTest, FirstKeyClosesTheSplashAndIsSwallowed) {
    CMainFrame& frame = Start({});
    QPointer<QWidget> splash = frame.findChild<QWidget*>("splash");
    ASSERT_NE(splash, nullptr) << "the splash picture 774 is not embedded";
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(320, 200));
    auto* panel = qobject_cast<PlainPanel*>(frame.Console());
    ASSERT_NE(panel, nullptr);
    PressKey(panel, 24, Qt::Key_Q, Qt::NoModifier, "q");
    EXPECT_EQ(panel->lastCommand, 0);  // the key did nothing else
    ASSERT_TRUE(SpinUntil([&] { return splash.isNull() || !splash->isVisible(); }));
    PressKey(panel, 24, Qt::Key_Q, Qt::NoModifier, "q");
    EXPECT_EQ(panel->lastCommand, 32797 + 5);  // the next one counts
}

TEST_F(SplashTest, SplashGoesByItselfAfterOneSecond) {
    CMainFrame& frame = Start({});
    QPointer<QWidget> splash = frame.findChild<QWidget*>("splash");
    ASSERT_NE(splash, nullptr);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(SpinUntil([&] { return splash.isNull() || !splash->isVisible(); },
                          std::chrono::seconds(5)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_F(SplashTest, ConsoleShowsTheThemesBackground) {
    CMainFrame& frame = Start({"--no-splash", "--theme", "2"});
    ASSERT_NE(frame.Console()->BackBuffer(), nullptr);
    gfx::DibSurface back;
    ASSERT_EQ(
        back.Load({"TAMBOROTM3BACK", "BITMAP"}, gfx::load::kFromResource | gfx::load::kDecompress),
        gfx::GfxResult::Ok);
    // The back buffer holds the theme's picture, pixel for pixel.
    for (int y = 0; y < 480; y += 37)
        for (int x = 0; x < 640; x += 41)
            ASSERT_EQ(frame.Console()->BackBuffer()->GetPixel(x, y), back.GetPixel(x, y))
                << x << "," << y;
}

}  // namespace
}  // namespace tamboro::app::test

namespace tamboro::app::test {
namespace {

class SiblingTest : public ShellTest {};

TEST_F(SiblingTest, InstalledSiblingIsStartedDetachedFromTheExePath) {
    const std::string bin = m_dir.Path() + "/bin";
    QDir().mkpath(QString::fromStdString(bin));
    const std::string marker = m_dir.Path() + "/started";
    {
        QFile script(QString::fromStdString(bin + "/sonifer"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\necho started > '" + marker + "'\n").c_str());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
    }
    QDir().mkpath(QString::fromStdString(m_dir.Path() + "/etc/Corvane Software"));
    WriteRegistryString(RegistryRoot::LocalMachine, kMachinePaths, "EXEPATH", bin);
    CMainFrame& frame = Start();
    EXPECT_TRUE(frame.SiblingAvailable(Sibling::Audio));
    EXPECT_TRUE(frame.SiblingTooltip(Sibling::Audio).empty());
    EXPECT_FALSE(frame.SiblingAvailable(Sibling::Drum));
    EXPECT_TRUE(frame.LaunchSibling(Sibling::Audio));
    ASSERT_TRUE(SpinUntil([&] { return QFileInfo::exists(QString::fromStdString(marker)); }));
    EXPECT_TRUE(frame.isVisible());  // nothing waits, nothing hides
}

}  // namespace
}  // namespace tamboro::app::test
