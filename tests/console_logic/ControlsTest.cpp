#include <gtest/gtest.h>

#include "audio/wave/Levels.h"
#include "console/logic/Controls.h"

namespace tamboro::console {
namespace {

TEST(Knob, VolumeModeEnds) {
    EXPECT_EQ(KnobToVolume(0), -10000);
    EXPECT_EQ(KnobToVolume(10), -1000);
    EXPECT_EQ(KnobToVolume(20), 0);
}

TEST(Knob, BalanceModeEnds) {
    EXPECT_EQ(KnobToPan(10), 0);
    EXPECT_EQ(KnobToPan(20), 10000);
    EXPECT_EQ(KnobToPan(0), -10000);
}

TEST(Knob, EveryPositionComesBackFromTheValueItSets) {
    for (int k = 0; k <= kKnobMax; ++k) {
        EXPECT_EQ(KnobPosition(KnobMode::Volume, KnobToVolume(k), 0), k) << k;
        EXPECT_EQ(KnobPosition(KnobMode::Balance, 0, KnobToPan(k)), k) << k;
    }
}

TEST(Knob, PositionsUseTheLevelLaws) {
    for (int k = 0; k <= kKnobMax; ++k) {
        EXPECT_EQ(KnobToVolume(k), audio::VolumeToAttenuation(5 * k));
        EXPECT_EQ(KnobToPan(k), audio::BalanceToPan(10 * k - 100));
    }
    // Values between steps show the step below (volume) or toward the
    // centre (balance, whose percentages truncate toward zero).
    EXPECT_EQ(KnobPosition(KnobMode::Volume, audio::VolumeToAttenuation(54), 0), 10);
    EXPECT_EQ(KnobPosition(KnobMode::Balance, 0, audio::BalanceToPan(-15)), 9);
    EXPECT_EQ(KnobPosition(KnobMode::Balance, 0, audio::BalanceToPan(15)), 11);
}

TEST(Knob, DragStepsFourPixelsUpwardsAndClamps) {
    EXPECT_EQ(KnobDragPosition(10, 100, 55), 20);  // 45 pixels: 21, clamped
    EXPECT_EQ(KnobDragPosition(10, 100, 97), 10);  // 3 pixels: nothing
    EXPECT_EQ(KnobDragPosition(10, 100, 96), 11);
    EXPECT_EQ(KnobDragPosition(10, 100, 103), 10);  // 3 pixels down: nothing
    EXPECT_EQ(KnobDragPosition(10, 100, 104), 9);
    EXPECT_EQ(KnobDragPosition(2, 100, 200), 0);
}

TEST(Master, RowsMapFromTopToBottom) {
    EXPECT_EQ(MasterValueAt(328), 100);
    EXPECT_EQ(MasterValueAt(391), 0);
    EXPECT_EQ(MasterValueAt(360), (391 - 360) * 100 / 63);
    EXPECT_EQ(MasterValueAt(0), 100);  // dragged above the slider
    EXPECT_EQ(MasterValueAt(480), 0);  // dragged below
    int last = 101;
    for (int y = 328; y <= 391; ++y) {
        EXPECT_LT(MasterValueAt(y), last);
        last = MasterValueAt(y);
    }
}

TEST(Master, PictureIndexIsLimited) {
    EXPECT_EQ(MasterPictureIndex(100), 19);
    for (int v = 0; v <= 4; ++v)
        EXPECT_EQ(MasterPictureIndex(v), 0);
    EXPECT_EQ(MasterPictureIndex(5), 1);
    EXPECT_EQ(MasterPictureIndex(95), 19);
}

TEST(Master, ValueRoundTripsThroughTheVolumeLaw) {
    for (int v = 0; v <= 100; ++v)
        EXPECT_EQ(MasterFromAttenuation(MasterToAttenuation(v)), v) << v;
}

TEST(Meter, LengthsFollowThePeakToPeakSwing) {
    EXPECT_EQ(MeterLengthsOf(0, 0, 0, 0).left, 0);  // silence
    const MeterLengths full = MeterLengthsOf(-32768, 32767, -32768, 32767);
    EXPECT_EQ(full.left, 91);
    EXPECT_EQ(full.right, 91);
    const MeterLengths half = MeterLengthsOf(-16384, 16384, -1, 1);
    EXPECT_EQ(half.left, 46);
    EXPECT_EQ(half.right, 0);
    // Nothing published yet (min above max) shows nothing.
    EXPECT_EQ(MeterLengthsOf(32767, -32768, 1, 0).left, 0);
    // Lengths never pass the half width whatever comes in.
    EXPECT_LE(MeterLengthsOf(-1000000, 1000000, 0, 0).left, kMeterHalfWidth);
}

TEST(PadPictures, StatesAndBlinking) {
    for (std::uint32_t tick = 0; tick < 4; ++tick) {
        const bool odd = tick & 1;
        EXPECT_EQ(ChoosePadPicture(true, false, false, tick), PadPicture::Empty);
        EXPECT_EQ(ChoosePadPicture(false, false, false, tick), PadPicture::Loaded);
        EXPECT_EQ(ChoosePadPicture(false, true, false, tick), PadPicture::Sounding);
        EXPECT_EQ(ChoosePadPicture(false, false, true, tick),
                  odd ? PadPicture::Empty : PadPicture::Loaded);
        EXPECT_EQ(ChoosePadPicture(false, true, true, tick),
                  odd ? PadPicture::SoundingBlink : PadPicture::Sounding);
    }
}

}  // namespace
}  // namespace tamboro::console
