// The mix editor on the real frame: lane drags through the mouse (a new
// period, joins, bounds, shrinking to nothing, automatic scroll), the
// scroll buttons and the ruler, Play and Stop, undo and redo through the
// keys and the channel menu, and the refusal of drags while the mix plays
// back; checked on the song's event lists and the back buffer's pixels, at
// zoom factors 1 and 2.
#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <fstream>
#include <iterator>
#include <random>

#include "app/CMainFrame.h"
#include "app/core/Accelerators.h"
#include "console/layout/ProLayout.h"
#include "console/panel/ConsolePanel.h"
#include "console/panel/ProPanel.h"
#include "console/widgets/SkinButton.h"
#include "engine/LoopFitting.h"
#include "gfx/Palette.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/console_panel/PanelTestSupport.h"

namespace tamboro::console {
namespace {

using app::test::ShellTest;
using app::test::SpinUntil;
using Button = ProPanel::Button;

class ProTest : public ShellTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        resources::RegisterSkinResources();
        k = GetParam();
        app::StartOptions o = Options();
        o.panels = &CreateConsolePanel;
        o.registerDesktop = false;
        ASSERT_EQ(app::test::App().InitInstance(
                      {"--no-splash", "--pro", "--scale", std::to_string(k), "--theme", "0"}, o),
                  -1);
        frame = app::test::App().Frame();
        ASSERT_NE(frame, nullptr);
        ASSERT_TRUE(SpinUntil([&] { return frame->Console() && frame->Console()->IsPro(); }));
        panel = qobject_cast<ProPanel*>(frame->Console());
        ASSERT_NE(panel, nullptr);
        format = frame->Device()->GetFormat();
        block = std::max<std::uint32_t>(64, format.nSamplesPerSec * 20 / 1000);
    }

    engine::Song& Song() { return frame->Song(); }

    // A loop of one bar at 120 (2 s), frames all different, named.
    void Load(int ch, bool effect = false) {
        const std::uint32_t frames = engine::SamplesPerBar(format.nSamplesPerSec, 120.0);
        audio::Wave wave;
        ASSERT_TRUE(wave.Create(format, frames));
        for (std::uint32_t f = 0; f < frames; ++f) {
            const auto v = static_cast<std::uint16_t>((f * 13 + static_cast<unsigned>(ch)) % 9001);
            wave.SetFrame(static_cast<std::int32_t>(f), v | static_cast<std::uint32_t>(v) << 16);
        }
        wave.SetInfo("INAM", ("canale " + std::to_string(ch + 1)).c_str());
        ASSERT_EQ(Song().ReplaceChannel(ch, &wave, effect), engine::SongResult::Ok);
        frame->SongChanged(true);
        ASSERT_TRUE(SpinUntil([&] { return frame->PreviewsPending() == 0; }));
    }

    // The widget point of console pixel (x, y): the middle of its block.
    QPoint At(int x, int y) const { return {x * k + k / 2, y * k + k / 2}; }
    void Mouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held) {
        const QPointF local(At(x, y));
        QMouseEvent e(type, local, panel->mapToGlobal(local), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(panel, &e);
    }
    // Console x of a lane time at the current scroll (times on whole pixels).
    int XOf(std::uint32_t ms) const {
        return layout::ProLaneRect(0).x + panel->Timeline().XAtTime(ms);
    }
    static int LaneY(int ch) { return layout::ProLaneRect(ch).y + layout::kProLaneHeight / 2; }
    void Press(int ch, int x) {
        Mouse(QEvent::MouseButtonPress, x, LaneY(ch), Qt::LeftButton, Qt::LeftButton);
    }
    void MoveTo(int ch, int x) {
        Mouse(QEvent::MouseMove, x, LaneY(ch), Qt::NoButton, Qt::LeftButton);
    }
    void Release(int ch, int x) {
        Mouse(QEvent::MouseButtonRelease, x, LaneY(ch), Qt::LeftButton, Qt::NoButton);
    }
    // Press at `from`, move in a few steps to `to`, release there.
    void Drag(int ch, std::uint32_t fromMs, std::uint32_t toMs) {
        const int a = XOf(fromMs), b = XOf(toMs);
        Press(ch, a);
        for (int s = 1; s <= 4; ++s)
            MoveTo(ch, a + (b - a) * s / 4);
        Release(ch, b);
    }
    std::vector<SoundingPeriod> Periods(int ch) { return SoundingPeriods(*Song().GetEvents(ch)); }
    int OnOffCount(int ch) {
        int n = 0;
        for (const engine::MixEvent& e : *Song().GetEvents(ch))
            n += (e.kind & 3) != 0;
        return n;
    }
    void Click(Button b) { QTest::mouseClick(panel->ButtonOf(b), Qt::LeftButton); }
    void Render(int blocks = 1) {
        for (int i = 0; i < blocks; ++i) {
            backend->Render(block);
            panel->Tick();
        }
    }
    void AddEvent(int ch, std::uint32_t ms, std::uint32_t kind, int value = 0) {
        engine::InsertEvent(*Song().Events(ch), {ms, kind, static_cast<std::uint32_t>(ch),
                                                 static_cast<std::uint32_t>(value), 0});
    }
    std::uint8_t Pixel(int x, int y) { return panel->Canvas().PixelAt(x, y); }
    std::uint8_t LaneColour() { return panel->Canvas().Nearest(kProLaneEnabled); }
    // Ctrl+Z on the key that is channel 16's (Z), with or without Shift.
    void CtrlZ(bool shift) {
        Qt::KeyboardModifiers mods = Qt::ControlModifier;
        if (shift) mods |= Qt::ShiftModifier;
        app::test::PressKey(panel, app::ScanCodeOfChannel(15), Qt::Key_Z, mods,
                            QString(QChar(0x1a)));
    }
    // The song's mix as its mix-only song file.
    std::string MixFile() {
        const std::string path = Path("mix.tbo");
        EXPECT_EQ(Song().SaveSong(path, engine::Song::kSaveMixOnly, nullptr),
                  engine::SongResult::Ok);
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    int k = 1;
    app::CMainFrame* frame = nullptr;
    ProPanel* panel = nullptr;
    audio::WAVEFORMATEX format{};
    std::uint32_t block = 0;
};

TEST_P(ProTest, DraggingFromOneToThreeSecondsMakesOnePeriodAndShowsIt) {
    Load(2);
    ASSERT_NE(panel->Thumbnail(2), nullptr);
    Drag(2, 1000, 3000);
    EXPECT_EQ(Periods(2), (std::vector<SoundingPeriod>{{1000, 3000}}));
    EXPECT_EQ(OnOffCount(2), 2);
    EXPECT_TRUE(frame->IsModified());
    // The period shows the thumbnail's background where the waveform
    // leaves it; the lane keeps its colour either side.
    const int y = layout::ProLaneRect(2).y;
    const std::uint8_t thumbBack = panel->Canvas().Nearest(kProThumbnailBack);
    EXPECT_EQ(Pixel(XOf(1000) - 1, y), LaneColour());
    EXPECT_EQ(Pixel(XOf(1000), y), thumbBack);
    EXPECT_EQ(Pixel(XOf(3000) - 1, y), thumbBack);
    EXPECT_EQ(Pixel(XOf(3000), y), LaneColour());
    // What the window shows is that picture.
    const gfx::PaletteEntry c = panel->Canvas().BackBuffer().GetPalette()->Entries()[thumbBack];
    EXPECT_EQ(panel->Picture().pixel(At(XOf(2000), y)), qRgb(c.red, c.green, c.blue));
    // An empty channel's period is a dark strip with the red line.
    Drag(7, 1000, 2000);
    EXPECT_EQ(Periods(7), (std::vector<SoundingPeriod>{{1000, 2000}}));
    EXPECT_EQ(Pixel(XOf(1500), layout::ProLaneRect(7).y), thumbBack);
    EXPECT_EQ(Pixel(XOf(1500), LaneY(7)), panel->Canvas().Nearest(kProPeriodMark));
}

TEST_P(ProTest, PeriodsThatTouchJoinOnBothSides) {
    Drag(4, 500, 1000);
    Drag(4, 3000, 4000);
    ASSERT_EQ(Periods(4), (std::vector<SoundingPeriod>{{500, 1000}, {3000, 4000}}));
    // A level event inside the gap stays where it is.
    AddEvent(4, 2000, engine::kVolume, -700);
    Drag(4, 1000, 3000);
    EXPECT_EQ(Periods(4), (std::vector<SoundingPeriod>{{500, 4000}}));
    EXPECT_EQ(OnOffCount(4), 2);
    EXPECT_EQ(Song().GetEvents(4)->size(), 3u);
}

TEST_P(ProTest, ANewPeriodStopsAtItsNeighboursAndJoinsThem) {
    Drag(1, 3000, 4000);
    Drag(1, 6000, 7000);
    // Rightwards from 1 s to 5 s: the end stops at the next period's start
    // (and joins it).
    Drag(1, 1000, 5000);
    EXPECT_EQ(Periods(1), (std::vector<SoundingPeriod>{{1000, 4000}, {6000, 7000}}));
    // Leftwards from 7.5 s past the period before: stops at its end, joins.
    Drag(1, 7500, 5000);
    EXPECT_EQ(Periods(1), (std::vector<SoundingPeriod>{{1000, 4000}, {6000, 7500}}));
    // Leftwards from the gap: stops at the end before and joins it only.
    Drag(1, 5500, 2000);
    EXPECT_EQ(Periods(1), (std::vector<SoundingPeriod>{{1000, 5500}, {6000, 7500}}));
}

TEST_P(ProTest, APeriodShrunkToNothingDisappears) {
    Drag(3, 1000, 3000);
    // Pressed near its end and dragged left past its start: held at the
    // start, and released there the period is gone.
    Press(3, XOf(2500));
    MoveTo(3, XOf(1500));
    EXPECT_EQ(Periods(3), (std::vector<SoundingPeriod>{{1000, 1500}}));
    MoveTo(3, XOf(500));
    EXPECT_TRUE(panel->Dragging());
    Release(3, XOf(500));
    EXPECT_TRUE(Periods(3).empty());
    EXPECT_EQ(OnOffCount(3), 0);
    EXPECT_EQ(Pixel(XOf(1500), LaneY(3)), LaneColour());
    // Pressed near its start, the start moves.
    Drag(3, 1000, 3000);
    Drag(3, 1000, 2000);
    EXPECT_EQ(Periods(3), (std::vector<SoundingPeriod>{{2000, 3000}}));
}

TEST_P(ProTest, ScrollButtonsRulerLabelsAndTheRulerDrag) {
    for (int i = 0; i < 3; ++i)
        Click(Button::ScrollRight1);
    EXPECT_EQ(panel->Timeline().Scroll(), 3u);
    EXPECT_EQ(panel->Timeline().WindowStart(), 6000.0);
    EXPECT_EQ(panel->Timeline().WindowEnd(), 14000.0);
    EXPECT_EQ(panel->RulerLabels(), (std::array<std::string, 4>{"6.00", "8.00", "10.00", "12.00"}));
    // A press at the lane's left edge is 6 s now.
    Drag(0, 6000, 7000);
    EXPECT_EQ(Periods(0), (std::vector<SoundingPeriod>{{6000, 7000}}));
    Click(Button::ScrollLeft1);
    Click(Button::ScrollLeft4);  // from 2: not below 0
    EXPECT_EQ(panel->Timeline().Scroll(), 0u);
    EXPECT_EQ(panel->RulerLabels()[0], "0.00");
    Click(Button::ScrollRight4);
    EXPECT_EQ(panel->Timeline().Scroll(), 4u);
    Click(Button::ScrollHome);
    EXPECT_EQ(panel->Timeline().Scroll(), 0u);
    // The ruler: dragged 250 pixels to the left, two bars on.
    const int y = layout::kProRuler.y + 4;
    Mouse(QEvent::MouseButtonPress, 500, y, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, 250, y, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(panel->Timeline().Scroll(), 2u);
    EXPECT_EQ(panel->RulerLabels()[0], "4.00");
    Mouse(QEvent::MouseMove, 800, y, Qt::NoButton, Qt::LeftButton);  // not below 0
    Mouse(QEvent::MouseButtonRelease, 800, y, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(panel->Timeline().Scroll(), 0u);
}

TEST_P(ProTest, ScrollToTheEndCountsAVolumeEventAfterTheLastPeriod) {
    Drag(5, 1000, 3000);
    AddEvent(5, 20000, engine::kVolume, -1000);
    Click(Button::ScrollEnd);
    // 20 s is bar 10: shown as the last of bars 7 to 10.
    EXPECT_EQ(panel->Timeline().Scroll(), 7u);
    EXPECT_EQ(panel->RulerLabels()[0], "14.00");
}

TEST_P(ProTest, DraggingPastTheRightEdgeScrollsOneBarAtATime) {
    const layout::Rect lane = layout::ProLaneRect(6);
    Press(6, lane.x + 400);
    MoveTo(6, lane.Right() + 5);
    EXPECT_EQ(panel->Timeline().Scroll(), 1u);
    EXPECT_EQ(panel->RulerLabels()[0], "2.00");
    QTest::qWait(250);
    MoveTo(6, lane.Right() + 5);
    EXPECT_EQ(panel->Timeline().Scroll(), 2u);
    Release(6, lane.Right() + 5);
    ASSERT_EQ(Periods(6).size(), 1u);
    // From the press (6.666 s) to x 485 as the last move saw it, at scroll 1
    // (the move that scrolls sees the new scroll only next time).
    EXPECT_EQ(Periods(6)[0].start, 6666u);
    EXPECT_EQ(Periods(6)[0].end, 10083u);
}

TEST_P(ProTest, CtrlZUndoesAndCtrlShiftZRedoesWithoutTouchingChannelZ) {
    Load(15);
    Load(2);
    frame->Saved();
    const engine::SongDocument start = Song().Document();
    Drag(2, 1000, 3000);
    const engine::SongDocument one = Song().Document();
    Drag(2, 5000, 6000);
    const engine::SongDocument two = Song().Document();
    ASSERT_TRUE(frame->IsModified());
    CtrlZ(false);
    EXPECT_EQ(Song().Document(), one);
    CtrlZ(false);
    EXPECT_EQ(Song().Document(), start);
    EXPECT_FALSE(frame->IsModified());  // back at the saved state
    CtrlZ(false);                       // nothing more to undo
    EXPECT_EQ(Song().Document(), start);
    backend->Render(block);
    panel->Tick();
    EXPECT_FALSE(Song().IsChannelPlaying(15));
    EXPECT_EQ(Pixel(XOf(2000), LaneY(2)), LaneColour());
    CtrlZ(true);
    EXPECT_EQ(Song().Document(), one);
    EXPECT_TRUE(frame->IsModified());
    CtrlZ(true);
    EXPECT_EQ(Song().Document(), two);
    EXPECT_NE(Pixel(XOf(5500), layout::ProLaneRect(2).y), LaneColour());
    // Not during a drag: it holds places in the list.
    Press(2, XOf(7000));
    MoveTo(2, XOf(7500));
    CtrlZ(false);
    EXPECT_TRUE(panel->Dragging());
    Release(2, XOf(7500));
    EXPECT_EQ(Periods(2), (std::vector<SoundingPeriod>{{1000, 3000}, {5000, 6000}, {7000, 7500}}));
    CtrlZ(false);
    EXPECT_EQ(Song().Document(), two);

    // The main console takes the same keys; channel 16 stays silent there
    // too, where the plain key would switch it.
    Click(Button::Back);
    ASSERT_TRUE(SpinUntil([&] { return frame->Console() && !frame->Console()->IsPro(); }));
    app::test::PressKey(frame->Console(), app::ScanCodeOfChannel(15), Qt::Key_Z,
                        Qt::ControlModifier, QString(QChar(0x1a)));
    EXPECT_EQ(Song().Document(), one);
    backend->Render(block);
    EXPECT_FALSE(Song().IsChannelPlaying(15));
}

TEST_P(ProTest, ADragEndsBeforeAnotherSongComesAndTakesNoMenu) {
    app::test::MakeSong(Path("other.tbo"), "Altro");
    Press(0, XOf(1000));
    MoveTo(0, XOf(2000));
    // A right click on a name while dragging opens nothing.
    const QPoint name(layout::ProNameRect(0).x + 20, layout::ProNameRect(0).y + 8);
    Mouse(QEvent::MouseButtonPress, name.x(), name.y(), Qt::RightButton,
          Qt::LeftButton | Qt::RightButton);
    EXPECT_EQ(panel->ChannelMenu(), nullptr);
    // Another song (as one handed over by a second start): the drag ends
    // first, and the song's own mix is what the lanes then edit.
    ASSERT_TRUE(frame->OpenSong(Path("other.tbo"), false));
    EXPECT_FALSE(panel->Dragging());
    EXPECT_FALSE(frame->History().CanUndo());
    const engine::SongDocument opened = Song().Document();
    MoveTo(0, XOf(3000));
    Release(0, XOf(3000));
    EXPECT_EQ(Song().Document(), opened);
    // Files dropped on a name or a lane go to that channel.
    EXPECT_EQ(panel->PadAtPoint(At(name.x(), name.y())), 0);
    EXPECT_EQ(panel->PadAtPoint(At(XOf(500), LaneY(13))), 13);
    EXPECT_EQ(panel->PadAtPoint(At(300, 470)), -1);
}

TEST_P(ProTest, ALoopDroppedOnALaneLoadsIntoItsChannel) {
    const std::string loop = std::string(TAMBORO_LOOPS_DIR) + "/kick_four.wav";
    const test::Drag d = test::DropFiles(panel, At(XOf(500), LaneY(13)), {loop});
    EXPECT_TRUE(d.dropped);
    // The load runs once the drop is over.
    ASSERT_TRUE(SpinUntil([&] { return Song().IsChannelEmpty(13) == 0; }));
    ASSERT_TRUE(SpinUntil([&] { return frame->PreviewsPending() == 0; }));
    EXPECT_NE(panel->Thumbnail(13), nullptr);
    EXPECT_EQ(test::DropFiles(panel, At(300, 470), {loop}).dropped, false);
}

TEST_P(ProTest, CtrlZBringsBackARemovedLoopWithItsThumbnailAndPeriods) {
    Load(2);
    Drag(2, 1000, 3000);
    const engine::SongDocument before = Song().Document();
    frame->SetCurrentChannel(2);
    frame->ExecuteChannelCommand(app::kCmdRemoveLoop);
    ASSERT_EQ(Song().IsChannelEmpty(2), 1);
    EXPECT_EQ(panel->Thumbnail(2), nullptr);
    EXPECT_TRUE(Periods(2).empty());
    CtrlZ(false);
    EXPECT_EQ(Song().Document(), before);
    ASSERT_TRUE(SpinUntil([&] { return frame->PreviewsPending() == 0; }));
    ASSERT_NE(panel->Thumbnail(2), nullptr);
    EXPECT_EQ(Pixel(XOf(2000), layout::ProLaneRect(2).y),
              panel->Canvas().Nearest(kProThumbnailBack));
    CtrlZ(true);
    EXPECT_EQ(Song().IsChannelEmpty(2), 1);
}

TEST_P(ProTest, AWholeTakeIsOneStep) {
    Load(0);
    Drag(0, 1000, 3000);
    const engine::SongDocument before = Song().Document();
    Click(Button::Back);
    ASSERT_TRUE(SpinUntil([&] { return frame->Console() && !frame->Console()->IsPro(); }));
    auto* console = qobject_cast<ConsolePanel*>(frame->Console());
    ASSERT_NE(console, nullptr);
    QTest::mouseClick(console->Button(ConsoleButton::Record), Qt::LeftButton);
    ASSERT_TRUE(Song().IsRecording());
    QTest::keyClick(frame, Qt::Key_1);
    for (int i = 0; i < 10; ++i) {
        backend->Render(block);
        console->Tick();
    }
    QTest::mouseClick(console->Button(ConsoleButton::Stop), Qt::LeftButton);
    ASSERT_TRUE(SpinUntil([&] {
        backend->Render(block);
        console->Tick();
        return !Song().IsRecording() && frame->Steps().CanUndo() && !frame->Steps().Busy();
    }));
    const engine::SongDocument take = Song().Document();
    ASSERT_NE(take, before);
    EXPECT_TRUE(frame->IsModified());
    app::test::PressKey(console, app::ScanCodeOfChannel(15), Qt::Key_Z, Qt::ControlModifier,
                        QString(QChar(0x1a)));
    EXPECT_EQ(Song().Document(), before);
    app::test::PressKey(console, app::ScanCodeOfChannel(15), Qt::Key_Z,
                        Qt::ControlModifier | Qt::ShiftModifier, QString(QChar(0x1a)));
    EXPECT_EQ(Song().Document(), take);
}

TEST_P(ProTest, ADragWhoseReleaseWasLostEndsAtTheNextPress) {
    Press(5, XOf(1000));
    MoveTo(5, XOf(2000));
    // No release: the next press ends the drag with its last shape (one
    // step) and starts its own.
    Press(8, XOf(4000));
    EXPECT_EQ(Periods(5), (std::vector<SoundingPeriod>{{1000, 2000}}));
    MoveTo(8, XOf(5000));
    Release(8, XOf(5000));
    EXPECT_EQ(Periods(8), (std::vector<SoundingPeriod>{{4000, 5000}}));
    EXPECT_FALSE(panel->Dragging());
    EXPECT_EQ(frame->History().UndoSteps(), 2u);
    CtrlZ(false);
    CtrlZ(false);
    EXPECT_TRUE(Periods(5).empty());
    EXPECT_TRUE(Periods(8).empty());
}

TEST_P(ProTest, TheChannelMenuHasUndoAndRedo) {
    Load(4);
    const QPoint name(layout::ProNameRect(4).x + 20, layout::ProNameRect(4).y + 8);
    QTest::mouseClick(panel, Qt::RightButton, {}, At(name.x(), name.y()));
    ASSERT_NE(panel->ChannelMenu(), nullptr);
    EXPECT_EQ(frame->CurrentChannel(), 4);
    auto find = [&](const char* text) -> QAction* {
        for (QAction* a : panel->ChannelMenu()->actions())
            if (a->text().startsWith(QString::fromUtf8(text))) return a;
        return nullptr;
    };
    ASSERT_NE(find("&Annulla"), nullptr);
    EXPECT_FALSE(find("&Annulla")->isEnabled());
    EXPECT_FALSE(find("Ri&peti")->isEnabled());
    panel->ChannelMenu()->close();
    Drag(4, 2000, 4000);
    QTest::mouseClick(panel, Qt::RightButton, {}, At(name.x(), name.y()));
    ASSERT_NE(panel->ChannelMenu(), nullptr);
    ASSERT_TRUE(find("&Annulla")->isEnabled());
    find("&Annulla")->trigger();
    EXPECT_TRUE(Periods(4).empty());
    QTest::mouseClick(panel, Qt::RightButton, {}, At(name.x(), name.y()));
    ASSERT_NE(panel->ChannelMenu(), nullptr);
    ASSERT_TRUE(find("Ri&peti")->isEnabled());
    find("Ri&peti")->trigger();
    EXPECT_EQ(Periods(4), (std::vector<SoundingPeriod>{{2000, 4000}}));
}

TEST_P(ProTest, PlayStartsAtTheScrollAndStopRestoresTheLevels) {
    Load(0);
    Load(1);
    Song().SetInitialVolume(0, -500);
    Song().SetInitialMasterVolume(-300);
    Drag(0, 1000, 7000);
    Drag(1, 5000, 6000);
    AddEvent(0, 4300, engine::kVolume, -3000);
    AddEvent(0, 4300, engine::kMasterVolume, -2000);
    Click(Button::ScrollRight1);
    Click(Button::ScrollRight1);
    Click(Button::Play);
    ASSERT_TRUE(Song().IsPlayingBack());
    Render();
    // Scroll 2 at 120: the mix starts at 4 s.
    EXPECT_GE(Song().PlaybackTime(), 4000u);
    EXPECT_LT(Song().PlaybackTime(), 4000u + 2 * block * 1000 / format.nSamplesPerSec);
    EXPECT_TRUE(Song().IsChannelPlaying(0));  // on since 1 s
    EXPECT_FALSE(Song().IsChannelPlaying(1));
    EXPECT_EQ(panel->StatusText().rfind("Stò suonando.....", 0), 0u);
    EXPECT_NE(panel->StatusText().find(" Sec"), std::string::npos);
    // Lanes are disabled and show the playback line.
    const std::uint8_t disabled = panel->Canvas().Nearest(kProLaneDisabled);
    EXPECT_EQ(Pixel(layout::ProLaneRect(9).x + 470, LaneY(9)), disabled);
    const int line = *panel->Timeline().PlaybackX(Song().PlaybackTime());
    EXPECT_EQ(Pixel(layout::ProLaneRect(9).x + line, LaneY(9)),
              panel->Canvas().Nearest(kProPlaybackLine));

    // A drag while it plays is refused.
    const engine::SongDocument before = Song().Document();
    Drag(9, 5000, 6000);
    EXPECT_FALSE(panel->Dragging());
    EXPECT_EQ(Song().Document(), before);
    // Undo is refused too.
    EXPECT_EQ(frame->Undo(), HistoryResult::Busy);

    ASSERT_TRUE(SpinUntil([&] {
        Render();
        return Song().PlaybackTime() > 4500 || !Song().IsPlayingBack();
    }));
    EXPECT_EQ(Song().GetChannelVolume(0), -3000);
    EXPECT_EQ(Song().GetMasterVolume(), -2000);
    Click(Button::Stop);
    EXPECT_FALSE(Song().IsPlayingBack());
    EXPECT_EQ(Song().GetChannelVolume(0), -500);
    EXPECT_EQ(Song().GetMasterVolume(), -300);
    EXPECT_TRUE(panel->StatusText().empty());
    EXPECT_EQ(Pixel(layout::ProLaneRect(9).x + 470, LaneY(9)), LaneColour());
}

TEST_P(ProTest, TheTimerFollowsThePlaybackIntoTheNextBars) {
    Load(0);
    Drag(0, 500, 1000);
    Drag(0, 7000, 7500);
    AddEvent(0, 9000, engine::kVolume, -200);  // the mix goes on to 9 s
    Click(Button::Play);
    ASSERT_TRUE(SpinUntil([&] {
        Render();
        return Song().PlaybackTime() >= 8100;
    }));
    // The position left bars 0 to 3: scroll to bar 4, the one that holds it.
    EXPECT_EQ(panel->Timeline().Scroll(), 4u);
    EXPECT_EQ(panel->RulerLabels()[0], "8.00");
}

TEST_P(ProTest, TheLightsAndTheWayBack) {
    // No sibling programs here: Drum and Audio are disabled.
    EXPECT_FALSE(panel->ButtonOf(Button::Drum)->isEnabled());
    EXPECT_FALSE(panel->ButtonOf(Button::Audio)->isEnabled());
    EXPECT_TRUE(panel->ButtonOf(Button::Files)->isEnabled());
    const layout::Rect r = layout::kProButtons[static_cast<std::size_t>(Button::Back)].rect;
    EXPECT_EQ(panel->ButtonOf(Button::Back)->geometry(), QRect(r.x * k, r.y * k, r.w * k, r.h * k));
    Click(Button::Back);
    EXPECT_TRUE(SpinUntil([&] { return frame->Console() && !frame->Console()->IsPro(); }));
}

// Any sequence of lane edits made with the mouse, undone to the start with
// Ctrl+Z, gives the original mix file byte for byte; redone, the edited one.
TEST_P(ProTest, EditsUndoneGiveTheOriginalMixFileAndRedoneTheEditedOne) {
    Load(0);
    Load(8, true);
    Drag(0, 500, 2500);
    AddEvent(0, 1500, engine::kPan, 2000);
    frame->History().Clear();
    const std::string original = MixFile();
    std::mt19937 random(GetParam() * 7919u);
    int steps = 0;
    for (int i = 0; i < 40; ++i) {
        if (random() % 5 == 0) Click(random() % 2 ? Button::ScrollRight1 : Button::ScrollLeft1);
        const int ch = static_cast<int>(random() % 3) * 4;  // 0, 4, 8
        const int x0 = layout::ProLaneRect(ch).x + static_cast<int>(random() % 480);
        const int x1 = layout::ProLaneRect(ch).x + static_cast<int>(random() % 480);
        const engine::SongDocument before = Song().Document();
        Press(ch, x0);
        MoveTo(ch, (x0 + x1) / 2);
        MoveTo(ch, x1);
        Release(ch, x1);
        if (Song().Document() != before) ++steps;
    }
    ASSERT_GT(steps, 10);
    EXPECT_EQ(frame->History().UndoSteps(), static_cast<std::size_t>(steps));
    const std::string edited = MixFile();
    ASSERT_NE(edited, original);
    for (int i = 0; i < steps; ++i)
        CtrlZ(false);
    EXPECT_EQ(MixFile(), original);
    for (int i = 0; i < steps; ++i)
        CtrlZ(true);
    EXPECT_EQ(MixFile(), edited);
}

INSTANTIATE_TEST_SUITE_P(Zoom, ProTest, ::testing::Values(1, 2),
                         [](const auto& info) { return "x" + std::to_string(info.param); });

}  // namespace
}  // namespace tamboro::console
