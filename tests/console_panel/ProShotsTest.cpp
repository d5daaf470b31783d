// Pictures of the mix editor in each theme with the demo song's recorded
// mix, playing from bar 45 (most channels sound, several stop at bar 48
// and others start there). With
// TAMBORO_PRO_SHOTS set to a folder the pictures are also written there
// (the README's).
#include <QImage>
#include <QTest>
#include <set>

#include "app/CMainFrame.h"
#include "console/layout/ProLayout.h"
#include "console/panel/ProPanel.h"
#include "console/widgets/SkinButton.h"
#include "resources/SkinResources.h"
#include "tests/app/ShellTestSupport.h"

namespace tamboro::console {
namespace {

using app::test::ShellTest;
using app::test::SpinUntil;

class ProShotsTest : public ShellTest, public ::testing::WithParamInterface<int> {};

TEST_P(ProShotsTest, TheDemoMixPlayingInEachTheme) {
    const int theme = GetParam();
    resources::RegisterSkinResources();
    app::StartOptions o = Options();
    o.panels = &CreateConsolePanel;
    o.registerDesktop = false;
    const std::string demo = std::string(TAMBORO_BINARY_DIR) + "/demo/demo.tbo";
    ASSERT_EQ(
        app::test::App().InitInstance(
            {"--no-splash", "--pro", "--scale", "1", "--theme", std::to_string(theme), demo}, o),
        -1);
    app::CMainFrame* frame = app::test::App().Frame();
    ASSERT_TRUE(SpinUntil([&] {
        return frame->Console() && frame->Console()->IsPro() && frame->PreviewsPending() == 0;
    }));
    auto* panel = qobject_cast<ProPanel*>(frame->Console());
    ASSERT_NE(panel, nullptr);
    for (int i = 0; i < 11; ++i)
        QTest::mouseClick(panel->ButtonOf(ProPanel::Button::ScrollRight4), Qt::LeftButton);
    QTest::mouseClick(panel->ButtonOf(ProPanel::Button::ScrollRight1), Qt::LeftButton);
    ASSERT_EQ(panel->Timeline().Scroll(), 45u);
    QTest::mouseClick(panel->ButtonOf(ProPanel::Button::Play), Qt::LeftButton);
    const audio::WAVEFORMATEX format = frame->Device()->GetFormat();
    const std::uint32_t block = format.nSamplesPerSec / 50;
    ASSERT_TRUE(SpinUntil([&] {
        backend->Render(block);
        panel->Tick();
        return frame->Song().PlaybackTime() >= 94600;
    }));

    // Every loaded channel has its thumbnail, and the lanes show the mix:
    // more than half of them hold a period at the playback line's left.
    int thumbnails = 0, sounding = 0;
    const std::uint8_t lane = panel->Canvas().Nearest(kProLaneDisabled);
    for (int ch = 0; ch < engine::kChannelCount; ++ch) {
        thumbnails += panel->Thumbnail(ch) != nullptr;
        const layout::Rect r = layout::ProLaneRect(ch);
        sounding += panel->Canvas().PixelAt(r.x + 200, r.y) != lane;
    }
    EXPECT_EQ(thumbnails, 20);
    EXPECT_GT(sounding, 10);
    EXPECT_FALSE(panel->StatusText().empty());

    const QImage picture = frame->Grab();
    ASSERT_EQ(picture.size(), QSize(640, 480));
    std::set<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    EXPECT_GT(colours.size(), 40u);
    const QByteArray folder = qgetenv("TAMBORO_PRO_SHOTS");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(picture.save(QString::fromUtf8(folder) + "/pro-" + QString::number(theme + 1) +
                                 ".png"));
    }
    QTest::mouseClick(panel->ButtonOf(ProPanel::Button::Stop), Qt::LeftButton);
}

INSTANTIATE_TEST_SUITE_P(Themes, ProShotsTest, ::testing::Values(0, 1, 2, 3),
                         [](const auto& info) { return "theme" + std::to_string(info.param); });

}  // namespace
}  // namespace tamboro::console
