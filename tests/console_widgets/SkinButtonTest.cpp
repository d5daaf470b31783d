#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <memory>

#include "console/widgets/SkinButton.h"
#include "console/widgets/SkinPicture.h"
#include "tests/console_logic/TestSkin.h"

namespace tamboro::console {
namespace {

using namespace test;

QRgb Colour(std::uint8_t index) {
    std::uint8_t r, g, b;
    TestColour(index, r, g, b);
    return qRgb(r, g, b);
}

// The button's picture as the screen would show it.
QRgb ShownPixel(SkinButton& button, int x, int y) {
    return button.grab().toImage().pixel(x, y);
}

class SkinButtons : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestSkin();
        owner = std::make_unique<QWidget>();
        owner->resize(300, 300);
    }
    std::unique_ptr<QWidget> owner;
};

TEST_F(SkinButtons, PicturesByStateUpDownAndDisabled) {
    auto* button = new SkinButton(owner.get());
    // Drum (layout button 1) has a disabled picture.
    ASSERT_TRUE(
        button->SetImages("TAMBOROTM1BTNDRUMU", "TAMBOROTM1BTNDRUMD", {}, "TAMBOROTM1BTNDRUMX"));
    EXPECT_EQ(button->size(), QSize(15, 18));
    owner->show();
    EXPECT_EQ(ShownPixel(*button, 7, 9), Colour(ButtonIndex(1, 'U')));
    button->setDown(true);
    EXPECT_EQ(button->ShownState(), SkinButton::Down);
    EXPECT_EQ(ShownPixel(*button, 7, 9), Colour(ButtonIndex(1, 'D')));
    button->setDown(false);
    button->setEnabled(false);
    EXPECT_EQ(ShownPixel(*button, 7, 9), Colour(ButtonIndex(1, 'X')));
}

TEST_F(SkinButtons, MissingPicturesFallBackToUpAndAreReported) {
    auto* button = new SkinButton(owner.get());
    EXPECT_FALSE(button->SetImages("TAMBOROTM1BTNPLAYU", "NOSUCHPICTURE"));
    EXPECT_FALSE(button->Image(SkinButton::Up).isNull());
    button->setDown(true);
    EXPECT_EQ(button->ShownState(), SkinButton::Up);
    EXPECT_FALSE(button->SetImages("NOSUCHPICTURE", {}));
}

TEST_F(SkinButtons, FocusPictureWhenFocused) {
    auto* button = new SkinButton(owner.get());
    button->setText("TAMBOROTM2BTNSTOP");
    ASSERT_TRUE(button->SetImagesFromText());
    EXPECT_EQ(button->size(), QSize(70, 35));
    owner->show();
    owner->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(owner.get()));
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    EXPECT_EQ(button->ShownState(), SkinButton::Focus);
    EXPECT_EQ(ShownPixel(*button, 30, 20), Colour(ButtonIndex(5, 'F')));
    button->setText("NOSUCH");
    EXPECT_FALSE(button->SetImagesFromText());
}

TEST_F(SkinButtons, ScaleMakesEveryPixelABlock) {
    auto* button = new SkinButton(owner.get());
    ASSERT_TRUE(button->SetImages("TAMBOROTM1BTNRECORDU", "TAMBOROTM1BTNRECORDD"));
    for (int k = 1; k <= 3; ++k) {
        button->SetScale(k);
        EXPECT_EQ(button->size(), QSize(66 * k, 35 * k));
        const QImage shown = button->grab().toImage();
        EXPECT_EQ(shown.pixel(66 * k - 1, 35 * k - 1), Colour(ButtonIndex(6, 'U')));
    }
}

TEST_F(SkinButtons, ClicksEmitClicked) {
    auto* button = new SkinButton(owner.get());
    button->SetImages("TAMBOROTM1BTNFILEU", "TAMBOROTM1BTNFILED");
    owner->show();
    int clicks = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
}

TEST(SkinPictures, KeyIndexBecomesTransparentOnRequest) {
    RegisterTestSkin();
    // Pad pictures carry a left column of index 252.
    const QImage keyed = LoadSkinPicture("TAMBOROTM1CH01U", true);
    ASSERT_FALSE(keyed.isNull());
    EXPECT_EQ(qAlpha(keyed.pixel(0, 10)), 0);
    EXPECT_EQ(qAlpha(keyed.pixel(5, 10)), 255);
    const QImage plain = LoadSkinPicture("TAMBOROTM1CH01U", false);
    EXPECT_EQ(plain.pixel(5, 10), Colour(PadIndex(0, 0)));
    EXPECT_TRUE(LoadSkinPicture("NOSUCH").isNull());
}

}  // namespace
}  // namespace tamboro::console
