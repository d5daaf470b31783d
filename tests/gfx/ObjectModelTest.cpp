#include <gtest/gtest.h>

#include "gfx/ClipRegion.h"
#include "gfx/DibSurface.h"
#include "gfx/GfxSystem.h"
#include "gfx/PackedImage.h"
#include "gfx/Palette.h"
#include "gfx/Ref.h"
#include "platform/Cpu.h"

namespace tamboro::gfx {
namespace {

TEST(GfxResult, EveryCodeBelowCountHasAText) {
    for (int c = 0; c < static_cast<int>(GfxResult::Count_); ++c) {
        const bool isCode = c <= 7 || c >= 10;
        EXPECT_EQ(std::string(GfxResultText(static_cast<GfxResult>(c))).empty(), !isCode) << c;
    }
}

TEST(PixelFormat, BitCountsAndRowBytesFollowTheBitmapRules) {
    const int expected[] = {0, 1, 2, 4, 8, 0, 8, 16, 16, 16, 16, 24, 24, 32, 32, 0};
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(BitsPerPixel(static_cast<std::uint16_t>(code)), expected[code]) << code;
    }
    EXPECT_EQ(RowBytes(PixelFormat::Indexed1, 1), 4u);
    EXPECT_EQ(RowBytes(PixelFormat::Indexed1, 33), 8u);
    EXPECT_EQ(RowBytes(PixelFormat::Indexed4, 9), 8u);
    EXPECT_EQ(RowBytes(PixelFormat::Indexed8, 53), 56u);
    EXPECT_EQ(RowBytes(PixelFormat::Bgr24, 5), 16u);
    EXPECT_EQ(RowBytes(PixelFormat::Rgb565, 3), 8u);
    EXPECT_EQ(RowBytes(PixelFormat::Bgrx32, 640), 2560u);
    EXPECT_EQ(RowBytes(PixelFormat::None, 640), 0u);
}

TEST(GfxSystem, RegistersObjectsAndDeletesThoseStillAliveAtTheEnd) {
    ASSERT_EQ(GfxSystem::Current(), nullptr);
    auto* system = new GfxSystem(0);
    EXPECT_EQ(GfxSystem::Current(), system);
    auto* image = new DibSurface();
    ASSERT_EQ(image->Create(4, 4, PixelFormat::Indexed8), GfxResult::Ok);
    Palette* pal = Palette::New();
    ASSERT_EQ(pal->Create(256), GfxResult::Ok);
    EXPECT_EQ(image->SetPalette(pal), GfxResult::Ok);  // image holds a second reference
    ClipRegion* clip = ClipRegion::New();
    Palette* loose = Palette::New();
    EXPECT_EQ(system->ImageCount(), 1u);
    EXPECT_EQ(system->PaletteCount(), 2u);
    EXPECT_EQ(system->ClipCount(), 1u);
    {
        DibSurface scoped;  // deleted by its owner first: unlinks itself
        EXPECT_EQ(system->ImageCount(), 2u);
    }
    EXPECT_EQ(system->ImageCount(), 1u);
    (void)clip;
    (void)loose;
    delete system;  // deletes image, pal, loose and clip (ASan would report leaks otherwise)
    EXPECT_EQ(GfxSystem::Current(), nullptr);
}

TEST(GfxSystem, ImagesMadeWithoutASystemAreNeverRegisteredAndSurviveIt) {
    DibSurface early;
    ASSERT_EQ(early.Create(2, 2, PixelFormat::Indexed8), GfxResult::Ok);
    {
        GfxSystem system;
        EXPECT_EQ(system.ImageCount(), 0u);
    }
    EXPECT_EQ(early.GetWidth(), 2);
    EXPECT_EQ(early.SetPixel(1, 1, 9), GfxResult::Ok);
    EXPECT_EQ(early.GetPixel(1, 1), 9u);
}

TEST(GfxSystem, InitFlagBitZeroKeepsTheBlitterOnItsPlainKernels) {
    {
        GfxSystem plain(kGfxNoSimd);
        EXPECT_FALSE(plain.Simd());
        EXPECT_EQ(SimdLevel(), 0);
    }
    EXPECT_EQ(SimdLevel(), 0);  // no system: plain
    GfxSystem system(0);
    EXPECT_EQ(system.Simd(), platform::HasSse2());
    platform::SetForcePlainKernels(true);
    EXPECT_EQ(SimdLevel(), 0);
    platform::SetForcePlainKernels(false);
    EXPECT_EQ(SimdLevel(), platform::HasSse2() ? (platform::HasAvx2() ? 2 : 1) : 0);
}

TEST(ClipRegion, BoundsSetCopyCloneAndReferenceCounting) {
    auto region = Ref<ClipRegion>::Adopt(ClipRegion::New());
    ClipBounds b;
    EXPECT_EQ(region->GetBounds(b), GfxResult::NotSupported);
    EXPECT_EQ(region->SetRect(10, 20, 30, 40), GfxResult::Ok);
    ASSERT_EQ(region->GetBounds(b), GfxResult::Ok);
    EXPECT_EQ(b.left, 10);
    EXPECT_EQ(b.top, 20);
    EXPECT_EQ(b.right, 40);
    EXPECT_EQ(b.bottom, 60);
    auto empty = Ref<ClipRegion>::Adopt(ClipRegion::New());
    auto other = Ref<ClipRegion>::Adopt(ClipRegion::New());
    EXPECT_EQ(other->CopyFrom(nullptr), GfxResult::BadArgument);
    EXPECT_EQ(other->CopyFrom(empty.get()), GfxResult::BadArgument);
    auto clone = Ref<ClipRegion>::Adopt(region->Clone());
    ClipBounds c;
    ASSERT_EQ(clone->GetBounds(c), GfxResult::Ok);
    EXPECT_EQ(c.right, 40);
    EXPECT_EQ(c.bottom, 60);
    region->SetUserWord(77);
    EXPECT_EQ(region->GetUserWord(), 77u);
    EXPECT_EQ(clone->RefCount(), 1);
    DibSurface s;
    ASSERT_EQ(s.Create(8, 8, PixelFormat::Indexed8), GfxResult::Ok);
    s.SetClip(clone.get());
    EXPECT_EQ(clone->RefCount(), 2);
    s.Destroy();
    EXPECT_EQ(clone->RefCount(), 1);
}

TEST(Image, BaseOperationsAnswerNotSupportedAndBlitFromWithoutSourceAnswers2) {
    Image base;
    EXPECT_EQ(base.GetKind(), ImageKind::Image);
    EXPECT_EQ(base.Create(1, 1, PixelFormat::Indexed8), GfxResult::NotSupported);
    EXPECT_EQ(base.Lock(nullptr, nullptr), GfxResult::NotSupported);
    EXPECT_EQ(base.GetDC(), nullptr);
    DibSurface dest;
    ASSERT_EQ(dest.Create(4, 4, PixelFormat::Indexed8), GfxResult::Ok);
    dest.FillRect(0, 0, 4, 4, 5);
    EXPECT_EQ(dest.BlitFrom(0, 0, 4, 4, nullptr, 0, 0, 4, 4, 0, 0), GfxResult::BadArgument);
    EXPECT_EQ(dest.GetPixel(3, 3), 5u);
}

}  // namespace
}  // namespace tamboro::gfx
