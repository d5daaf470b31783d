// The whole way through the real widgets: a new song from the Files
// dialog, loops dropped on pads, a take recorded with the console's
// buttons and pads, the song saved and rendered through the Files dialog's
// save dialogs, then opened again by dropping the song file on the console:
// the same mix and the same render.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "app/CMainFrame.h"
#include "console/panel/ConsolePanel.h"
#include "dialogs/FilesDialog.h"
#include "dialogs/SongDialogs.h"
#include "dialogs/WaveFileDialogs.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"
#include "tests/console_panel/PanelTestSupport.h"

namespace tamboro::console {
namespace {

using app::test::ShellTest;
using app::test::SpinUntil;

// The button of `dialog` whose caption (mnemonic aside) contains `italian`
// or `english`.
QAbstractButton* ButtonOf(QWidget* dialog, const char* italian, const char* english) {
    for (auto* b : dialog->findChildren<QAbstractButton*>()) {
        const QString text = b->text().remove('&');
        if (text.contains(QString::fromUtf8(italian)) || text.contains(QString::fromUtf8(english)))
            return b;
    }
    return nullptr;
}

// Runs `step` on the modal dialog of type D once it is up.
template <typename D>
void WhenUp(std::function<void(D&)> step) {
    QTimer::singleShot(0, [step] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (d == nullptr) {
            ADD_FAILURE() << "no " << D::staticMetaObject.className() << " is up";
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        step(*d);
    });
}

class EndToEndDialogsTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        resources::RegisterSkinResources();
        panel = test::StartMainConsole(Options(), 1);
        frame = app::test::App().Frame();
        ASSERT_NE(panel, nullptr);
        block = frame->Device()->GetFormat().nSamplesPerSec / 50;  // 20 ms
    }

    void Render(int blocks) {
        for (int i = 0; i < blocks; ++i) {
            backend->Render(block);
            panel->Tick();
        }
    }
    void Click(ConsoleButton b) {
        QTest::mouseClick(panel->Button(b), Qt::LeftButton, {}, QPoint(3, 3));
    }
    void ClickPad(int ch) { QTest::mouseClick(panel, Qt::LeftButton, {}, test::PadCentre(ch, 1)); }
    // The Files dialog from the console's button; `inside` works in it, then
    // it is closed with its own button.
    void WithFilesDialog(const std::function<void(dialogs::FilesDialog&)>& inside) {
        WhenUp<dialogs::FilesDialog>([inside](dialogs::FilesDialog& files) {
            inside(files);
            ButtonOf(&files, "Chiudi", "Close")->click();
        });
        Click(ConsoleButton::Files);
    }
    // "Salva il brano come" with the song save dialog answered: `path`, and
    // the wave type chosen first when it ends in ".wav".
    void SaveAs(const std::string& path) {
        WithFilesDialog([path](dialogs::FilesDialog& files) {
            WhenUp<dialogs::SongSaveDialog>([path](dialogs::SongSaveDialog& save) {
                if (path.size() > 4 && path.substr(path.size() - 4) == ".wav")
                    save.selectNameFilter(save.nameFilters().at(1));
                save.selectFile(QString::fromStdString(path));
                QMetaObject::invokeMethod(&save, "accept");
            });
            ButtonOf(&files, "Salva il brano come", "Save Song As")->click();
        });
    }
    std::array<engine::EventList, engine::kChannelCount> Mix() const {
        std::array<engine::EventList, engine::kChannelCount> mix;
        for (int ch = 0; ch < engine::kChannelCount; ++ch)
            mix[ch] = frame->Song().Document().channels[ch].events;
        return mix;
    }
    static std::string Loop(const char* name) {
        return std::string(TAMBORO_LOOPS_DIR) + "/" + name;
    }

    app::CMainFrame* frame = nullptr;
    ConsolePanel* panel = nullptr;
    std::uint32_t block = 0;
};

TEST_F(EndToEndDialogsTest, NewSongDroppedLoopsRecordSaveReopenGiveTheSameMixAndRender) {
    // A new song at 125 through the Files dialog and the new-song dialog.
    WithFilesDialog([](dialogs::FilesDialog& files) {
        WhenUp<dialogs::SongPropertiesDialog>([](dialogs::SongPropertiesDialog& d) {
            d.TempoEdit()->setText("125");
            d.TitleEdit()->setText("Da capo a fine");
            ButtonOf(&d, "OK", "OK")->click();
        });
        ButtonOf(&files, "Nuovo Brano", "New Song")->click();
    });
    ASSERT_DOUBLE_EQ(frame->Song().GetTempo(), 125.0);
    ASSERT_EQ(frame->Song().GetTitle(), "Da capo a fine");
    EXPECT_TRUE(frame->SongPath().empty());

    // Loops dropped on three pads.
    const std::pair<int, const char*> loops[] = {
        {0, "kick_four.wav"}, {6, "hats_closed.wav"}, {12, "bass_sub.wav"}};
    for (const auto& [ch, name] : loops) {
        ASSERT_TRUE(test::DropFiles(panel, test::PadCentre(ch, 1), {Loop(name)}).dropped) << name;
        const int c = ch;
        ASSERT_TRUE(SpinUntil([&] { return frame->Song().IsChannelEmpty(c) == 0; })) << name;
    }
    ASSERT_TRUE(frame->lastError.empty()) << frame->lastError;

    // A take: the kick, then the hats, the bass; the kick goes off; stop.
    Click(ConsoleButton::Record);
    ASSERT_TRUE(frame->Song().IsRecording());
    ClickPad(0);
    Render(40);
    ClickPad(6);
    Render(40);
    ClickPad(12);
    Render(60);
    ClickPad(0);
    Render(30);
    Click(ConsoleButton::Stop);
    Render(2);
    ASSERT_FALSE(frame->Song().IsRecording());
    const auto recorded = Mix();
    // The first melody may have fitted the tempo to itself (question 164).
    const double tempo = frame->Song().GetTempo();
    ASSERT_GE(recorded[0].size(), 2u);
    ASSERT_FALSE(recorded[6].empty());
    ASSERT_FALSE(recorded[12].empty());

    // Saved and rendered through the save dialog.
    SaveAs(Path("fine.tbo"));
    ASSERT_EQ(frame->SongPath(), Path("fine.tbo")) << frame->lastError;
    EXPECT_FALSE(frame->IsModified());
    // The render names itself after its file (INAM): both go by one name.
    std::filesystem::create_directories(Path("prima"));
    std::filesystem::create_directories(Path("dopo"));
    SaveAs(Path("prima/mix.wav"));
    const auto firstRender = tamboro::test::ReadAll(Path("prima/mix.wav"));
    ASSERT_GT(firstRender.size(), 44u) << frame->lastError;
    // The take sounds in it.
    EXPECT_GT(std::count_if(firstRender.begin() + 44, firstRender.end(),
                            [](std::uint8_t b) { return b != 0; }),
              static_cast<std::ptrdiff_t>(firstRender.size() / 4));
    EXPECT_EQ(frame->SongPath(), Path("fine.tbo"));

    // Another new song, then the saved one dropped on the console.
    WithFilesDialog([](dialogs::FilesDialog& files) {
        WhenUp<dialogs::SongPropertiesDialog>(
            [](dialogs::SongPropertiesDialog& d) { ButtonOf(&d, "OK", "OK")->click(); });
        ButtonOf(&files, "Nuovo Brano", "New Song")->click();
    });
    ASSERT_TRUE(frame->Song().IsChannelEmpty(0));
    ASSERT_TRUE(test::DropFiles(panel, QPoint(5, 5), {Path("fine.tbo")}).dropped);
    ASSERT_TRUE(SpinUntil([&] { return frame->SongPath() == Path("fine.tbo"); }));
    EXPECT_EQ(frame->Song().GetTitle(), "Da capo a fine");
    EXPECT_DOUBLE_EQ(frame->Song().GetTempo(), tempo);
    EXPECT_EQ(Mix(), recorded);

    SaveAs(Path("dopo/mix.wav"));
    const auto secondRender = tamboro::test::ReadAll(Path("dopo/mix.wav"));
    EXPECT_EQ(secondRender, firstRender);

    // Playing the mix back is no change to the song.
    Click(ConsoleButton::Play);
    ASSERT_TRUE(frame->Song().IsPlayingBack());
    for (int i = 0; i < 400 && frame->Song().IsPlayingBack(); ++i)
        Render(1);
    EXPECT_FALSE(frame->Song().IsPlayingBack());
    frame->NoteDocumentChanges();
    EXPECT_FALSE(frame->IsModified());
    EXPECT_EQ(Mix(), recorded);
}

}  // namespace
}  // namespace tamboro::console
