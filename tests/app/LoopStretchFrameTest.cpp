// The load-loop command with the wave open dialog's stretch switch on: the
// loop is time-stretched on a worker under the progress dialog, whose Cancel
// leaves the channel as it was.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/CMainFrame.h"
#include "app/core/ChannelCommands.h"
#include "app/core/Progress.h"
#include "audio/files/SoundFile.h"
#include "dialogs/ProgressDialog.h"
#include "engine/LoopFitting.h"
#include "engine/LoopStretch.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/support/ClickTrack.h"

namespace tamboro::app::test {
namespace {

constexpr std::uint32_t kLoopRate = 44100;

class LoopStretchFrameTest : public ShellTest {
  protected:
    // `bars` bars of clicks at `tempo` in a WAV file; its path.
    std::string ClickFile(const std::string& name, double tempo, double bars) {
        audio::Wave wave;
        EXPECT_TRUE(tamboro::test::MakeClickTrack(wave, kLoopRate, tempo, 2, 16, bars));
        const std::string path = Path(name + ".wav");
        EXPECT_EQ(audio::SaveWave(wave, path, audio::kTypeWav), audio::SoundResult::Ok);
        return path;
    }
    static std::vector<std::uint8_t> SourceBytes(CMainFrame& frame, int ch) {
        const auto wave = frame.Song().OpenChannelSource(ch);
        if (!wave) return {};
        return {wave->Data(), wave->Data() + wave->DataBytes()};
    }
    // The visible progress dialog, if any.
    static dialogs::ProgressDialog* VisibleProgress() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* p = qobject_cast<dialogs::ProgressDialog*>(w);
            if (p != nullptr && p->isVisible()) return p;
        }
        return nullptr;
    }
};

TEST_F(LoopStretchFrameTest, AStretchedLoadShowsItsProgressAndFillsTheChannelWithWholeBars) {
    MakeSong(Path("song.tbo"), "Adatta");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    const double tempo = frame.Song().GetTempo();
    const std::string path = ClickFile("clicks100", 100, 2);
    // What the dialog shows, each change once.
    std::vector<std::pair<QString, int>> seen;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (dialogs::ProgressDialog* p = VisibleProgress()) {
            const std::pair<QString, int> now{p->Text(), p->BarValue()};
            if (seen.empty() || seen.back() != now) seen.push_back(now);
        }
    });
    watch.start();
    ASSERT_TRUE(frame.LoadLoopFile(1, path, false, true));
    watch.stop();

    const std::vector<std::uint8_t> source = SourceBytes(frame, 1);
    EXPECT_EQ(source.size(), std::size_t{engine::SamplesPerBar(kLoopRate, tempo)} * 2 * 4);
    EXPECT_TRUE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty()) << frame.lastError;

    // The stretch's text for channel 2, and the bar rising while it runs.
    const QString stretching = QString::fromStdString(ProgressPhaseText(engine::kStretchPhase, 1));
    ASSERT_FALSE(stretching.isEmpty());
    std::vector<int> positions;
    for (const auto& [text, pos] : seen) {
        EXPECT_EQ(text, stretching);
        positions.push_back(pos);
    }
    ASSERT_GE(positions.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GT(positions.back(), positions.front());
    EXPECT_EQ(VisibleProgress(), nullptr);
}

TEST_F(LoopStretchFrameTest, CancelHalfWayLeavesTheLoadedChannelAsItWas) {
    MakeSong(Path("song.tbo"), "Annulla");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    const std::vector<std::uint8_t> before = SourceBytes(frame, 0);
    const std::string nameBefore = frame.Song().GetChannelName(0);
    ASSERT_FALSE(before.empty());
    const std::string path = ClickFile("clicks100", 100, 4);
    // Cancel is clicked once the bar has passed a quarter and not reached
    // the end.
    int clickedAt = -1;
    bool closeRefused = false;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        dialogs::ProgressDialog* p = VisibleProgress();
        if (p == nullptr || clickedAt >= 0) return;
        if (p->BarValue() >= 25 && p->BarValue() < 100) {
            // The window manager's close waits for the job.
            closeRefused = !frame.close() && frame.isVisible();
            clickedAt = p->BarValue();
            QTest::mouseClick(p->CancelButton(), Qt::LeftButton);
        }
    });
    watch.start();
    EXPECT_FALSE(frame.LoadLoopFile(0, path, false, true));
    watch.stop();

    ASSERT_GE(clickedAt, 25);
    EXPECT_TRUE(closeRefused);
    EXPECT_EQ(SourceBytes(frame, 0), before);
    EXPECT_EQ(frame.Song().GetChannelName(0), nameBefore);
    EXPECT_FALSE(frame.IsModified());
    EXPECT_TRUE(frame.lastError.empty()) << frame.lastError;
    EXPECT_EQ(VisibleProgress(), nullptr);

    // The same load without Cancel goes through.
    EXPECT_TRUE(frame.LoadLoopFile(0, path, false, true));
    EXPECT_NE(SourceBytes(frame, 0), before);
}

TEST_F(LoopStretchFrameTest, TheLoadCommandPassesTheOpenDialogsStretchSwitchOn) {
    MakeSong(Path("song.tbo"), "Comando");
    CMainFrame& frame = Start({"--no-splash", Path("song.tbo")});
    const std::string path = ClickFile("clicks100", 100, 1);
    std::vector<std::uint8_t> plain;
    for (const bool stretch : {false, true}) {
        // The wave open dialog as its hook answers: the file, no effect, and
        // the switch.
        frame.waveOpenDialog = [&](CMainFrame& f, std::string& chosen, bool& effect) {
            chosen = path;
            effect = false;
            f.loadStretch = stretch;
            return true;
        };
        frame.SetCurrentChannel(2);
        frame.ExecuteChannelCommand(kCmdLoadLoop);
        EXPECT_FALSE(frame.loadStretch);  // one load only
        const std::vector<std::uint8_t> source = SourceBytes(frame, 2);
        if (!stretch) {
            // Fitting alone keeps the loop's own frames.
            audio::Wave original;
            ASSERT_EQ(audio::LoadWave(original, path, audio::kLoadCopy), audio::SoundResult::Ok);
            EXPECT_EQ(source, std::vector<std::uint8_t>(original.Data(),
                                                        original.Data() + original.DataBytes()));
            plain = source;
        } else {
            EXPECT_EQ(source.size(),
                      std::size_t{engine::SamplesPerBar(kLoopRate, frame.Song().GetTempo())} * 4);
            EXPECT_NE(source, plain);
        }
    }
}

}  // namespace
}  // namespace tamboro::app::test
