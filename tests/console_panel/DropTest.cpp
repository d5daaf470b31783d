// Files dragged from the file manager onto the main console: loops onto
// pads, songs anywhere. QTest has no drag and drop, so the tests send the
// drag-enter, drag-move and drop events a window system would.
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "app/CMainFrame.h"
#include "app/core/Document.h"
#include "audio/files/SoundFile.h"
#include "console/logic/ConsoleLayout.h"
#include "console/panel/ConsolePanel.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/console_panel/PanelTestSupport.h"

namespace tamboro::console {
namespace {

namespace fs = std::filesystem;
using app::test::ShellTest;
using app::test::SpinUntil;
using test::Drag;

class DropTest : public ShellTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        resources::RegisterSkinResources();
        k = GetParam();
        panel = test::StartMainConsole(Options(), k);
        frame = app::test::App().Frame();
        ASSERT_NE(panel, nullptr);
    }

    static std::string Loop(const char* name) {
        return std::string(TAMBORO_LOOPS_DIR) + "/" + name;
    }

    int k = 1;
    app::CMainFrame* frame = nullptr;
    ConsolePanel* panel = nullptr;
};

TEST_P(DropTest, ALoopDroppedOnAPadLoadsIntoThatChannel) {
    const QPoint pad = test::PadCentre(7, k);
    const Drag drag = test::DropFiles(panel, pad, {Loop("kick_four.wav")});
    EXPECT_TRUE(drag.entered);
    EXPECT_TRUE(drag.moved);
    EXPECT_TRUE(drag.dropped);
    ASSERT_TRUE(SpinUntil([&] { return !frame->Song().IsChannelEmpty(7); }));
    EXPECT_EQ(frame->CurrentChannel(), 7);
    EXPECT_TRUE(frame->IsModified());
    for (int ch = 0; ch < kChannels; ++ch) {
        if (ch != 7) {
            EXPECT_TRUE(frame->Song().IsChannelEmpty(ch)) << ch;
        }
    }
    // The same as the load-loop command: the channel holds the file's loop.
    audio::Wave file;
    ASSERT_EQ(audio::LoadWave(file, Loop("kick_four.wav"), 0), audio::SoundResult::Ok);
    const auto source = frame->Song().OpenChannelSource(7);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->DataBytes(), file.DataBytes());
    EXPECT_TRUE(frame->lastError.empty()) << frame->lastError;
}

TEST_P(DropTest, ALoopDroppedOnALoadedPadReplacesItsLoop) {
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(2, k), {Loop("kick_four.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return !frame->Song().IsChannelEmpty(2); }));
    const std::string first = frame->Song().GetChannelName(2);
    ASSERT_TRUE(
        test::DropFiles(panel, test::PadCentre(2, k), {Loop("snare_backbeat.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->Song().GetChannelName(2) != first; }));
    audio::Wave file;
    ASSERT_EQ(audio::LoadWave(file, Loop("snare_backbeat.wav"), 0), audio::SoundResult::Ok);
    EXPECT_EQ(frame->Song().OpenChannelSource(2)->DataBytes(), file.DataBytes());
}

TEST_P(DropTest, BesideThePadsALoopIsRefusedButASongIsTaken) {
    const QPoint outside(5 * k, 5 * k);
    ASSERT_EQ(PadAt(5, 5), -1);
    const Drag loop = test::DropFiles(panel, outside, {Loop("kick_four.wav")});
    EXPECT_TRUE(loop.entered);
    EXPECT_FALSE(loop.moved);
    EXPECT_FALSE(loop.dropped);
    app::test::SpinUntil([] { return false; }, std::chrono::milliseconds(50));
    for (int ch = 0; ch < kChannels; ++ch)
        EXPECT_TRUE(frame->Song().IsChannelEmpty(ch));

    app::test::MakeSong(Path("dropped.tbo"), "Lasciato cadere");
    const Drag song = test::DropFiles(panel, outside, {Path("dropped.tbo")});
    EXPECT_TRUE(song.moved);
    EXPECT_TRUE(song.dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->SongPath() == Path("dropped.tbo"); }));
    EXPECT_EQ(frame->Song().GetTitle(), "Lasciato cadere");
    EXPECT_FALSE(frame->IsModified());
}

TEST_P(DropTest, TwoFilesAtOnceOrAnAddressAreRefused) {
    const QPoint pad = test::PadCentre(0, k);
    const Drag two = test::DropFiles(panel, pad, {Loop("kick_four.wav"), Loop("hats_open.wav")});
    EXPECT_FALSE(two.entered);
    EXPECT_FALSE(two.dropped);
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/kick.wav")});
    const Drag web = test::DropData(panel, pad, remote);
    EXPECT_FALSE(web.moved);
    EXPECT_FALSE(web.dropped);
    app::test::SpinUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_TRUE(frame->Song().IsChannelEmpty(0));
}

TEST_P(DropTest, AFileTheLoaderRefusesIsReportedAndChangesNothing) {
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(4, k), {Loop("kick_four.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return !frame->Song().IsChannelEmpty(4); }));
    frame->Saved();
    const std::string name = frame->Song().GetChannelName(4);
    const std::string bytes("RIFF\x04\0\0\0WAVE", 12);
    ASSERT_TRUE(tamboro::test::WriteAll(Path("broken.wav"), {bytes.begin(), bytes.end()}));
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(4, k), {Path("broken.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return !frame->lastError.empty(); }));
    EXPECT_EQ(frame->Song().GetChannelName(4), name);
    EXPECT_FALSE(frame->Song().IsChannelEmpty(4));
    EXPECT_FALSE(frame->IsModified());
}

TEST_P(DropTest, ASongDroppedOnAModifiedSongAsksFirst) {
    app::test::MakeSong(Path("other.tbo"), "Altro");
    frame->Song().SetTitle("Mio");
    frame->MarkModified();
    // Cancel keeps the song.
    answers = {QMessageBox::Cancel};
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(3, k), {Path("other.tbo")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return !asked.empty(); }));
    EXPECT_EQ(asked.back(), app::kAskSaveChanges);
    app::test::SpinUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(frame->Song().GetTitle(), "Mio");
    EXPECT_TRUE(frame->IsModified());
    // No (do not save) opens it.
    answers = {QMessageBox::No};
    asked.clear();
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(3, k), {Path("other.tbo")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->Song().GetTitle() == "Altro"; }));
    EXPECT_EQ(asked, std::vector<unsigned>{app::kAskSaveChanges});
    EXPECT_EQ(frame->SongPath(), Path("other.tbo"));
}

TEST_P(DropTest, LoopsAreTakenOnlyWhileNothingSoundsAsTheChannelMenuOffersLoading) {
    ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(0, k), {Loop("kick_four.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->Song().IsChannelEmpty(0) == 0; }));
    const std::uint32_t block = frame->Device()->GetFormat().nSamplesPerSec / 50;
    ASSERT_EQ(frame->Song().SwitchChannelOn(0), engine::SongResult::Ok);
    backend->Render(block);
    panel->Tick();
    ASSERT_TRUE(frame->Song().IsChannelPlaying(0));
    const Drag refused = test::DropFiles(panel, test::PadCentre(9, k), {Loop("hats_open.wav")});
    EXPECT_TRUE(refused.entered);
    EXPECT_FALSE(refused.moved);
    EXPECT_FALSE(refused.dropped);
    app::test::SpinUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_NE(frame->Song().IsChannelEmpty(9), 0);
    backend->Render(block);
    EXPECT_TRUE(frame->Song().IsChannelPlaying(0));  // the sound went on

    frame->Song().SwitchChannelOff(0);
    backend->Render(block);
    panel->Tick();
    ASSERT_FALSE(frame->Song().IsChannelPlaying(0));
    EXPECT_TRUE(test::DropFiles(panel, test::PadCentre(9, k), {Loop("hats_open.wav")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->Song().IsChannelEmpty(9) == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Scales, DropTest, ::testing::Values(1, 2),
                         [](const auto& info) { return "x" + std::to_string(info.param); });

}  // namespace
}  // namespace tamboro::console
