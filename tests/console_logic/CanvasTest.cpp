#include <gtest/gtest.h>

#include "console/logic/ConsoleCanvas.h"
#include "console/logic/ScaledCopy.h"
#include "tests/console_logic/TestSkin.h"

namespace tamboro::console {
namespace {

using namespace test;

class Canvas : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterTestSkin();
        ASSERT_EQ(skin.Load(2), 0);
        canvas = std::make_unique<ConsoleCanvas>(skin);
        canvas->DrawBackground();
    }
    ConsoleSkin skin;
    std::unique_ptr<ConsoleCanvas> canvas;
};

TEST(ConsoleSkinLoad, ThemeTwoLoadsTheThirdSetAndMissingPicturesStayEmpty) {
    RegisterTestSkin();
    ConsoleSkin skin;
    EXPECT_EQ(skin.Load(2), 0);
    EXPECT_EQ(skin.Theme(), 2);
    ASSERT_NE(skin.Back(), nullptr);
    EXPECT_EQ(skin.Back()->GetWidth(), 640);
    EXPECT_EQ(skin.Pad(0, PadPicture::Loaded)->sourceKey, 252u);
    EXPECT_EQ(skin.Pad(0, PadPicture::Loaded)->GetPalette(), skin.ConsolePalette());
    EXPECT_EQ(skin.Load(7), 0);  // no such theme: nothing loaded
    EXPECT_EQ(skin.Back(), nullptr);
    // A console without pictures still draws (nothing) without failing.
    ConsoleCanvas canvas(skin);
    canvas.DrawBackground();
    canvas.DrawPad(3, PadPicture::Sounding);
    canvas.DrawMaster(50);
    canvas.DrawMeter({10, 10});
    EXPECT_EQ(canvas.PixelAt(300, 300), 0);
}

TEST_F(Canvas, PadPicturesLandOnTheirPadWithTheKeyLeavingTheBackground) {
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int s = 0; s < 4; ++s) {
            canvas->DrawPad(ch, static_cast<PadPicture>(s));
            const layout::Rect r = PadRect(ch);
            EXPECT_EQ(canvas->PixelAt(r.x + r.w - 1, r.y + r.h / 2), PadIndex(ch, s));
        }
    }
    // Column 0 of pad 15 is index 252 and pad 15 has no left neighbour.
    EXPECT_EQ(canvas->PixelAt(PadRect(15).x, PadRect(15).y + 5), kBackIndex);
}

TEST_F(Canvas, MasterModesPowerAndMeter) {
    canvas->DrawMaster(100);
    EXPECT_EQ(canvas->PixelAt(600, 300), VolumeIndex(19));
    canvas->DrawMaster(3);
    EXPECT_EQ(canvas->PixelAt(600, 300), VolumeIndex(0));
    canvas->DrawModes(KnobMode::Volume);
    EXPECT_EQ(canvas->PixelAt(60, 290), SingleIndexes().at("KVOLD"));
    EXPECT_EQ(canvas->PixelAt(50, 420), SingleIndexes().at("KPANU"));
    canvas->DrawModes(KnobMode::Balance);
    EXPECT_EQ(canvas->PixelAt(60, 290), SingleIndexes().at("KVOLU"));
    EXPECT_EQ(canvas->PixelAt(50, 420), SingleIndexes().at("KPAND"));
    canvas->DrawPower(true);
    EXPECT_EQ(canvas->PixelAt(300, 30), SingleIndexes().at("POWERD"));

    // Lit columns from the middle: 10 to the left, 30 to the right.
    canvas->DrawMeter({10, 30});
    const int mid = layout::kMeterWindow.x + kMeterHalfWidth;
    const std::uint8_t lit = SingleIndexes().at("METER1"), dark = SingleIndexes().at("METER0");
    EXPECT_EQ(canvas->PixelAt(mid - 11, 20), dark);
    EXPECT_EQ(canvas->PixelAt(mid - 10, 20), lit);
    EXPECT_EQ(canvas->PixelAt(mid + 29, 20), lit);
    EXPECT_EQ(canvas->PixelAt(mid + 30, 20), dark);
    canvas->DrawMeter({0, 0});
    EXPECT_EQ(canvas->PixelAt(mid, 20), dark);
}

TEST_F(Canvas, KnobSurfaceShowsItsFrameOverTheBackground) {
    gfx::DibSurface knob;
    for (int k : {0, 7, 20}) {
        canvas->DrawKnob(4, k, knob);
        EXPECT_EQ(knob.GetPixel(7, 7), KnobIndex(k));
        EXPECT_EQ(knob.GetPixel(0, 7), kBackIndex);  // the strip's key column
    }
}

TEST_F(Canvas, TextCoverageBecomesNearestPaletteColoursInsideThePanelOnly) {
    canvas->RestoreTextPanel();
    canvas->TakeDirty();
    // Full coverage: the palette's nearest to green; none: untouched.
    std::uint8_t mask[4] = {255, 0, 255, 0};
    canvas->DrawCoverage(300, 60, mask, 4, 4, 1, kTextColour);
    EXPECT_EQ(canvas->PixelAt(300, 60), canvas->Nearest(kTextColour));
    EXPECT_EQ(canvas->PixelAt(301, 60), kBackIndex);
    // Outside the text panel nothing is written.
    canvas->DrawCoverage(100, 10, mask, 4, 4, 1, kTextColour);
    EXPECT_EQ(canvas->PixelAt(100, 10), kBackIndex);
    const auto dirty = canvas->TakeDirty();
    ASSERT_FALSE(dirty.empty());
    EXPECT_TRUE(dirty[0].Contains(300, 60));
}

TEST_F(Canvas, BeatLightsOneLitAtATime) {
    for (int beat = 0; beat < 4; ++beat) {
        canvas->DrawBeat(beat);
        int lit = 0;
        for (int i = 0; i < 4; ++i) {
            const int x = kBeatLights.x + i * (kBeatLightSize + kBeatLightGap) + 2;
            if (canvas->PixelAt(x, kBeatLights.y + 2) == canvas->Nearest(kBeatLit)) {
                ++lit;
                EXPECT_EQ(i, beat);
            }
        }
        EXPECT_EQ(lit, 1);
    }
    EXPECT_TRUE(layout::kTextPanel.Contains(kBeatLights));
}

TEST_F(Canvas, DirtyRectanglesMergeWhenTheyOverlap) {
    canvas->TakeDirty();
    canvas->DrawPad(0, PadPicture::Loaded);
    canvas->DrawPad(1, PadPicture::Loaded);   // overlaps pad 0
    canvas->DrawPad(19, PadPicture::Loaded);  // far away
    const auto dirty = canvas->TakeDirty();
    ASSERT_EQ(dirty.size(), 2u);
    EXPECT_TRUE(dirty[0].Contains(PadRect(0)) || dirty[1].Contains(PadRect(0)));
    EXPECT_TRUE(canvas->TakeDirty().empty());
}

TEST_F(Canvas, ScaledCopyIsPixelExactAtEveryFactor) {
    canvas->DrawPad(6, PadPicture::Sounding);
    const gfx::RgbQuad* table = canvas->BackBuffer().ColourTable();
    for (int k = 1; k <= 4; ++k) {
        ScaledCopy copy;
        copy.Resize(640, 480, k);
        copy.Update(canvas->BackBuffer(), layout::kConsole);
        for (int y = 0; y < 480; y += 13) {
            for (int x = 0; x < 640; x += 11) {
                const gfx::RgbQuad q = table[canvas->PixelAt(x, y)];
                const std::uint32_t want = 0xFF000000u | q.red << 16 | q.green << 8 | q.blue;
                for (int j = 0; j < k; ++j) {
                    for (int i = 0; i < k; ++i) {
                        ASSERT_EQ(copy.Pixels()[(y * k + j) * copy.Width() + x * k + i], want)
                            << k << " " << x << "," << y;
                    }
                }
            }
        }
        // Only the named rectangle is converted again.
        canvas->DrawPad(6, PadPicture::Empty);
        copy.Update(canvas->BackBuffer(), PadRect(7));
        const layout::Rect r6 = PadRect(6);
        const int x = r6.x + 2, y = r6.y + r6.h / 2;  // pad 6 only (left of pad 7)
        const gfx::RgbQuad old = table[PadIndex(6, 1)];
        EXPECT_EQ(copy.Pixels()[(y * k) * copy.Width() + x * k],
                  0xFF000000u | old.red << 16 | old.green << 8 | old.blue);
        canvas->DrawPad(6, PadPicture::Sounding);
    }
}

}  // namespace
}  // namespace tamboro::console
