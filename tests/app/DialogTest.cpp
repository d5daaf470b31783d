// The progress dialog, the information notice and the about box.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <thread>

#include "dialogs/AboutBox.h"
#include "dialogs/DialogSkin.h"
#include "dialogs/InfoNotice.h"
#include "dialogs/ProgressDialog.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::app::test {
namespace {

class DialogTest : public ShellTest {};

TEST_F(DialogTest, ProgressShowsPercentagesByTheRule) {
    QWidget owner;
    dialogs::ProgressDialog progress(0, nullptr, &owner);
    EXPECT_EQ(progress.windowTitle().toStdString(), platform::LoadString(139));
    EXPECT_EQ(progress.PercentText(), " 0%");
    progress.Show();
    progress.SetPos(37);
    EXPECT_EQ(progress.PercentText(), "37%");
    EXPECT_EQ(progress.BarValue(), 37);
    progress.SetPos(100);
    EXPECT_EQ(progress.PercentText(), "100%");
    progress.SetPos(150);
    EXPECT_EQ(progress.PercentText(), "50%");
    EXPECT_EQ(progress.BarValue(), 100);
    progress.SetRange(10, 20);
    progress.SetPos(15);
    EXPECT_EQ(progress.PercentText(), "50%");
    progress.Close();
}

TEST_F(DialogTest, ProgressDisablesTheOwnerUntilClosed) {
    QWidget owner;
    owner.show();
    dialogs::ProgressDialog progress(0, nullptr, &owner);
    progress.Show();
    EXPECT_FALSE(owner.isEnabled());
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.CancelButton()->isEnabled());
    progress.Close();
    EXPECT_TRUE(owner.isEnabled());
    EXPECT_FALSE(progress.isVisible());

    // An owner that was disabled before stays disabled.
    owner.setEnabled(false);
    dialogs::ProgressDialog again(0, nullptr, &owner);
    again.Show();
    again.Close();
    EXPECT_FALSE(owner.isEnabled());
}

TEST_F(DialogTest, ProgressReportsPhasesAsTexts) {
    const auto before = platform::CurrentLanguage();
    platform::SetLanguage(platform::Language::Italian);
    dialogs::ProgressDialog progress(0, nullptr, nullptr);
    progress.Show();
    progress.Report(2, 4, 60);
    EXPECT_EQ(progress.Text().toStdString(), "Stò convertendo il canale 5 di 20...");
    EXPECT_EQ(progress.PercentText(), "60%");
    progress.Report(3, 0, 10);
    EXPECT_EQ(progress.Text().toStdString(), "Stò salvando.......");
    progress.Report(9, 0, 10);
    EXPECT_EQ(progress.Text(), "");
    platform::SetLanguage(before);
}

TEST_F(DialogTest, CancelStopsWorkOnAWorkerAndKeepsTheProgramResponsive) {
    QWidget owner;
    dialogs::ProgressDialog progress(0, nullptr, &owner);
    QSignalSpy cancelled(&progress, &dialogs::ProgressDialog::cancelRequested);
    progress.Show();
    std::atomic<int> steps{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 100000 && !progress.Cancelled(); ++i) {
            progress.Report(1, i % 20, i % 100);
            steps = i + 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    ASSERT_TRUE(SpinUntil([&] {
        progress.Pump();
        return steps > 20;
    }));
    EXPECT_NE(progress.PercentText(), " 0%");  // the worker's reports arrive
    QTest::mouseClick(progress.CancelButton(), Qt::LeftButton);
    EXPECT_TRUE(progress.Cancelled());
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_FALSE(progress.CancelButton()->isEnabled());
    ASSERT_TRUE(SpinUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_LT(steps.load(), 100000);
    progress.Close();
    EXPECT_TRUE(owner.isEnabled());
}

TEST_F(DialogTest, EscapeCancelsToo) {
    dialogs::ProgressDialog progress(0, nullptr, nullptr);
    progress.Show();
    QTest::keyClick(&progress, Qt::Key_Escape);
    EXPECT_TRUE(progress.Cancelled());
}

TEST_F(DialogTest, NoticeTickedSwitchesItselfOffForGood) {
    QtSettingsStore store;
    {
        dialogs::InfoNotice notice(128, 2002, store, nullptr);
        notice.accept();  // not ticked
    }
    EXPECT_TRUE(NoticeWanted(store, 2002));
    {
        dialogs::InfoNotice notice(128, 2002, store, nullptr);
        EXPECT_EQ(notice.DontShowAgain()->text().toStdString(), platform::LoadString(1033));
        notice.DontShowAgain()->setChecked(true);
        notice.accept();
    }
    EXPECT_FALSE(NoticeWanted(store, 2002));
    EXPECT_EQ(store.ReadInt("INFORMATION", "2002", 0), 1);
    EXPECT_FALSE(dialogs::ShowNoticeIfWanted(128, 2002, store, nullptr));
}

// The rounded dialog buttons let the texture show through their corners
// instead of painting the transparent index's colour there.
TEST_F(DialogTest, DialogButtonCornersAreTransparent) {
    dialogs::DialogButton button(QStringLiteral("&Ok"), nullptr);
    for (auto state : {console::SkinButton::Up, console::SkinButton::Down}) {
        const QImage& picture = button.Image(state);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(picture.pixel(picture.width() - 1, picture.height() - 1)), 0);
        EXPECT_EQ(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255);
    }
}

TEST_F(DialogTest, AboutBoxHasItsTextsAndCloses) {
    dialogs::AboutBox about(nullptr);
    EXPECT_EQ(about.windowTitle().toStdString(), platform::LoadString(2020));
    QStringList labels;
    for (QLabel* l : about.findChildren<QLabel*>())
        labels << l->text();
    EXPECT_TRUE(labels.contains(QString::fromStdString(platform::LoadString(2021))));
    QPushButton* close = nullptr;
    for (QPushButton* b : about.findChildren<QPushButton*>()) {
        if (b->text().toStdString() == platform::LoadString(2022)) close = b;
    }
    ASSERT_NE(close, nullptr);
    about.show();
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tamboro::app::test
