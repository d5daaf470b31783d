#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "gfx/ClipRegion.h"
#include "gfx/DibSurface.h"
#include "gfx/PackedImage.h"
#include "gfx/Ref.h"
#include "gfx/kernels/BlitKernels.h"

namespace tamboro::gfx {
namespace {

// A surface whose pixel (x, y) holds f(x, y).
template <class F>
void Paint(DibSurface& s, F f) {
    for (int y = 0; y < s.GetHeight(); ++y) {
        for (int x = 0; x < s.GetWidth(); ++x)
            s.SetPixel(x, y, f(x, y));
    }
}

struct Surf : DibSurface {
    Surf(int w, int h, PixelFormat f, std::uint32_t fill = 0) {
        EXPECT_EQ(Create(w, h, f), GfxResult::Ok);
        FillRect(0, 0, w, h, fill);
    }
};

std::uint32_t Ramp(int x, int y) {
    return static_cast<std::uint32_t>(1 + x + 16 * y) & 0xFF;
}

TEST(Blitter, RectangleLeftOfOrAboveTheDestinationDrawsNothing) {
    Surf src(8, 8, PixelFormat::Indexed8, 7);
    Surf dst(8, 8, PixelFormat::Indexed8, 1);
    EXPECT_EQ(dst.BlitFrom(-8, 0, 8, 8, &src, 0, 0, 8, 8, 0, 0), GfxResult::Ok);
    EXPECT_EQ(dst.BlitFrom(0, -8, 8, 8, &src, 0, 0, 8, 8, 0, 0), GfxResult::Ok);
    EXPECT_EQ(dst.BlitFrom(8, 0, 8, 8, &src, 0, 0, 8, 8, 0, 0), GfxResult::Ok);
    EXPECT_EQ(dst.BlitFrom(2, 2, 0, 8, &src, 0, 0, 8, 8, 0, 0), GfxResult::Ok);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), 1u);
    }
}

TEST(Blitter, ClippedOnTheRightDrawsTheMatchingPartOfTheSource) {
    Surf src(6, 4, PixelFormat::Indexed8);
    Paint(src, Ramp);
    Surf dst(10, 10, PixelFormat::Indexed8, 0);
    ASSERT_EQ(dst.BlitFrom(7, -1, 6, 4, &src, 0, 0, 6, 4, 0, 0), GfxResult::Ok);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 7 && y <= 2;
            EXPECT_EQ(dst.GetPixel(x, y), inside ? Ramp(x - 7, y + 1) : 0u) << x << "," << y;
        }
    }
}

TEST(Blitter, MirrorAndFlipShowTheMirrorImageOfTheVisiblePart) {
    Surf src(6, 4, PixelFormat::Indexed8);
    Paint(src, Ramp);
    for (std::uint32_t flags : {blit::kMirror, blit::kFlip, blit::kMirror | blit::kFlip}) {
        Surf full(10, 10, PixelFormat::Indexed8, 0);
        ASSERT_EQ(full.BlitFrom(2, 3, 6, 4, &src, 0, 0, 6, 4, flags, 0), GfxResult::Ok);
        Surf cut(10, 10, PixelFormat::Indexed8, 0);
        auto clip = Ref<ClipRegion>::Adopt(ClipRegion::New());
        clip->SetRect(4, 4, 3, 2);
        cut.SetClip(clip.get());
        ASSERT_EQ(cut.BlitFrom(2, 3, 6, 4, &src, 0, 0, 6, 4, flags, 0), GfxResult::Ok);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 6; ++x) {
                const int sx = (flags & blit::kMirror) ? 5 - x : x;
                const int sy = (flags & blit::kFlip) ? 3 - y : y;
                EXPECT_EQ(full.GetPixel(2 + x, 3 + y), Ramp(sx, sy));
            }
        }
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                const bool inside = x >= 4 && x < 7 && y >= 4 && y < 6;
                EXPECT_EQ(cut.GetPixel(x, y), inside ? full.GetPixel(x, y) : 0u)
                    << flags << " at " << x << "," << y;
            }
        }
    }
}

TEST(Blitter, ScalingByTwoAndByHalf) {
    Surf src(20, 20, PixelFormat::Indexed8);
    Paint(src, Ramp);
    Surf dst(40, 40, PixelFormat::Indexed8);
    ASSERT_EQ(dst.BlitFrom(0, 0, 20, 20, &src, 0, 0, 10, 10, 0, 0), GfxResult::Ok);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(dst.GetPixel(x, y), Ramp(x / 2, y / 2)) << x << "," << y;
    }
    Surf half(10, 10, PixelFormat::Indexed8);
    ASSERT_EQ(half.BlitFrom(0, 0, 10, 10, &src, 0, 0, 20, 20, 0, 0), GfxResult::Ok);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(half.GetPixel(x, y), Ramp(2 * x, 2 * y));
    }
    // The same at 32 bits with a mirror: the source is read right to left.
    Surf wide(10, 1, PixelFormat::Bgrx32);
    Paint(wide, [](int x, int) { return 0x010000u * static_cast<std::uint32_t>(x + 1); });
    Surf big(20, 1, PixelFormat::Bgrx32);
    ASSERT_EQ(big.BlitFrom(0, 0, 20, 1, &wide, 0, 0, 10, 1, blit::kMirror, 0), GfxResult::Ok);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(big.GetPixel(x, 0), 0x010000u * static_cast<std::uint32_t>(10 - x / 2));
}

TEST(Blitter, SourceRectangleOutsideTheSourceAfterMappingAnswers2) {
    Surf src(10, 10, PixelFormat::Indexed8, 3);
    Surf dst(40, 40, PixelFormat::Indexed8, 0);
    EXPECT_EQ(dst.BlitFrom(0, 0, 20, 20, &src, 1, 0, 10, 10, 0, 0), GfxResult::BadArgument);
    EXPECT_EQ(dst.BlitFrom(0, 0, 10, 10, &src, 0, -1, 10, 10, 0, 0), GfxResult::BadArgument);
    EXPECT_EQ(dst.GetPixel(0, 0), 0u);
    // Different pixel sizes are refused rather than misread.
    Surf wide(10, 10, PixelFormat::Rgb565, 0);
    EXPECT_EQ(wide.BlitFrom(0, 0, 10, 10, &src, 0, 0, 10, 10, 0, 0), GfxResult::BadArgument);
    // Empty images.
    DibSurface empty;
    EXPECT_EQ(dst.BlitFrom(0, 0, 10, 10, &empty, 0, 0, 10, 10, 0, 0), GfxResult::Empty);
    EXPECT_EQ(src.DrawTo(nullptr, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0), GfxResult::BadArgument);
    // Sources of fewer than 8 bits draw nothing.
    Surf nib(8, 8, PixelFormat::Indexed4, 0xF);
    Surf nibDst(8, 8, PixelFormat::Indexed4, 0);
    EXPECT_EQ(nibDst.BlitFrom(0, 0, 8, 8, &nib, 0, 0, 8, 8, 0, 0), GfxResult::Ok);
    std::uint8_t* bits = nullptr;
    nibDst.Lock(&bits, nullptr);
    EXPECT_EQ(bits[0], 0);
}

TEST(Blitter, SourceKeyLeavesTheDestinationAndDestKeyOnlyOverwritesItsColour) {
    Surf src(8, 1, PixelFormat::Indexed8);
    const std::uint32_t row[8] = {252, 1, 252, 2, 3, 252, 252, 4};
    for (int x = 0; x < 8; ++x)
        src.SetPixel(x, 0, row[x]);
    src.sourceKey = 252;
    Surf dst(8, 1, PixelFormat::Indexed8, 9);
    dst.SetPixel(3, 0, 5);
    ASSERT_EQ(dst.BlitFrom(0, 0, 8, 1, &src, 0, 0, 8, 1, blit::kSourceKey, 0), GfxResult::Ok);
    const std::uint32_t keyed[8] = {9, 1, 9, 2, 3, 9, 9, 4};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(dst.GetPixel(x, 0), keyed[x]);
    Surf d2(8, 1, PixelFormat::Indexed8, 9);
    d2.SetPixel(1, 0, 5);
    d2.SetPixel(2, 0, 5);
    d2.destKey = 9;
    ASSERT_EQ(d2.BlitFrom(0, 0, 8, 1, &src, 0, 0, 8, 1, blit::kSourceKey | blit::kDestKey, 0),
              GfxResult::Ok);
    const std::uint32_t both[8] = {9, 5, 5, 2, 3, 9, 9, 4};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(d2.GetPixel(x, 0), both[x]);
    // 24 bits: the key is the three bytes blue, green, red.
    Surf s24(2, 1, PixelFormat::Bgr24);
    s24.SetPixel(0, 0, 0x123456);
    s24.SetPixel(1, 0, 0x123457);
    s24.sourceKey = 0x123456;
    Surf d24(2, 1, PixelFormat::Bgr24, 0xABCDEF);
    ASSERT_EQ(d24.BlitFrom(0, 0, 2, 1, &s24, 0, 0, 2, 1, blit::kSourceKey, 0), GfxResult::Ok);
    EXPECT_EQ(d24.GetPixel(0, 0), 0xABCDEFu);
    EXPECT_EQ(d24.GetPixel(1, 0), 0x123457u);
}

// Pixels drawn in each aligned 8×8 block by a dissolve at `level`.
std::vector<int> DissolveCounts(PixelFormat f, std::uint32_t flags, int level, int dx, int dy) {
    Surf src(16, 16, f, 1);
    Surf dst(32, 32, f, 0);
    EXPECT_EQ(dst.BlitFrom(dx, dy, 16, 16, &src, 0, 0, 16, 16, flags, level), GfxResult::Ok);
    std::vector<int> counts;
    for (int by = 0; by < 32; by += 8) {
        for (int bx = 0; bx < 32; bx += 8) {
            int n = 0;
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x)
                    n += dst.GetPixel(bx + x, by + y) != 0;
            }
            counts.push_back(n);
        }
    }
    return counts;
}

TEST(Blitter, DissolveDrawsLevelQuarterPixelsOfEveryAlignedBlock) {
    for (PixelFormat f :
         {PixelFormat::Indexed8, PixelFormat::Rgb555, PixelFormat::Bgr24, PixelFormat::Bgrx32}) {
        for (int level : {0, 4, 128, 200, 255, 256}) {
            auto counts = DissolveCounts(f, blit::kDissolve, level, 8, 16);
            for (std::size_t b = 0; b < counts.size(); ++b) {
                const int bx = static_cast<int>(b % 4) * 8, by = static_cast<int>(b / 4) * 8;
                const bool covered = bx >= 8 && bx < 24 && by >= 16;
                EXPECT_EQ(counts[b], covered ? level / 4 : 0)
                    << static_cast<int>(f) << " level " << level;
            }
        }
    }
    // At 8 bits a blend is a dissolve.
    auto blend8 = DissolveCounts(PixelFormat::Indexed8, blit::kBlend, 128, 0, 0);
    EXPECT_EQ(blend8[0], 32);
}

TEST(Blitter, DissolveUsesTheSamePlacesAtTheSamePosition) {
    Surf src(8, 8, PixelFormat::Indexed8, 1);
    Surf a(16, 16, PixelFormat::Indexed8, 0);
    Surf b(16, 16, PixelFormat::Indexed8, 0);
    a.BlitFrom(3, 5, 8, 8, &src, 0, 0, 8, 8, blit::kDissolve, 128);
    b.BlitFrom(3, 5, 8, 8, &src, 0, 0, 8, 8, blit::kDissolve, 128);
    int drawn = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(a.GetPixel(x, y), b.GetPixel(x, y));
            if (a.GetPixel(x, y)) {
                // Exactly the matrix places whose value is at most 32.
                EXPECT_LE(kernels::kDither[y & 7][x & 7], 32);
                ++drawn;
            }
        }
    }
    EXPECT_EQ(drawn, 32);
}

TEST(Blitter, BlendAtLevelsZeroAndFullAtEveryDepth) {
    // 5-5-5: exact source at 256, exact destination at 0.
    Surf s(4, 1, PixelFormat::Rgb555, 0x7FFF);
    s.SetPixel(1, 0, 0x1234);
    Surf d(4, 1, PixelFormat::Rgb555, 0x0421);
    ASSERT_EQ(d.BlitFrom(0, 0, 4, 1, &s, 0, 0, 4, 1, blit::kBlend, 256), GfxResult::Ok);
    EXPECT_EQ(d.GetPixel(0, 0), 0x7FFFu);
    EXPECT_EQ(d.GetPixel(1, 0), 0x1234u);
    d.FillRect(0, 0, 4, 1, 0x0421);
    ASSERT_EQ(d.BlitFrom(0, 0, 4, 1, &s, 0, 0, 4, 1, blit::kBlend, 0), GfxResult::Ok);
    EXPECT_EQ(d.GetPixel(1, 0), 0x0421u);
    // Half way: (31 × 16 + 1 × 16) >> 5 = 16 per channel.
    ASSERT_EQ(d.BlitFrom(0, 0, 4, 1, &s, 0, 0, 4, 1, blit::kBlend, 128), GfxResult::Ok);
    EXPECT_EQ(d.GetPixel(0, 0), (16u << 10) | (16u << 5) | 16u);
    // 5-6-5 green is blended from its top 5 bits and written with bit 0 clear.
    Surf s6(1, 1, PixelFormat::Rgb565, 0xFFFF);
    Surf d6(1, 1, PixelFormat::Rgb565, 0);
    ASSERT_EQ(d6.BlitFrom(0, 0, 1, 1, &s6, 0, 0, 1, 1, blit::kBlend, 256), GfxResult::Ok);
    EXPECT_EQ(d6.GetPixel(0, 0), 0xFFDFu);
    // 24 and 32 bits: the level keeps 5 bits of precision per channel.
    for (PixelFormat f : {PixelFormat::Bgr24, PixelFormat::Bgrx32}) {
        const std::uint32_t all = f == PixelFormat::Bgr24 ? 0xFFFFFFu : 0xFFFFFFFFu;
        Surf s8(1, 1, f, 0x8F3F17u & all);
        Surf d8(1, 1, f, 0x0F1F2Fu);
        ASSERT_EQ(d8.BlitFrom(0, 0, 1, 1, &s8, 0, 0, 1, 1, blit::kBlend, 256), GfxResult::Ok);
        EXPECT_EQ(d8.GetPixel(0, 0), 0x883810u);
        d8.FillRect(0, 0, 1, 1, 0x0F1F2F);
        ASSERT_EQ(d8.BlitFrom(0, 0, 1, 1, &s8, 0, 0, 1, 1, blit::kBlend, 0), GfxResult::Ok);
        EXPECT_EQ(d8.GetPixel(0, 0), 0x081828u);
    }
    // Keys hold in blends.
    Surf k(2, 1, PixelFormat::Rgb555, 0x7FFF);
    k.SetPixel(0, 0, 0x0001);
    k.sourceKey = 0x0001;
    Surf kd(2, 1, PixelFormat::Rgb555, 0x0000);
    ASSERT_EQ(kd.BlitFrom(0, 0, 2, 1, &k, 0, 0, 2, 1, blit::kBlend | blit::kSourceKey, 256),
              GfxResult::Ok);
    EXPECT_EQ(kd.GetPixel(0, 0), 0u);
    EXPECT_EQ(kd.GetPixel(1, 0), 0x7FFFu);
}

TEST(Blitter, MaskModes) {
    Surf src(4, 1, PixelFormat::Rgb555, 0x7FFF);
    Surf mask(4, 1, PixelFormat::Indexed8);
    const std::uint32_t m[4] = {0, 255, 128, 3};
    for (int x = 0; x < 4; ++x)
        mask.SetPixel(x, 0, m[x]);
    Surf dst(4, 1, PixelFormat::Rgb555, 0);
    ASSERT_EQ(dst.BlitFrom(0, 0, 4, 1, &src, 0, 0, 4, 1, blit::kMaskBlend, &mask), GfxResult::Ok);
    EXPECT_EQ(dst.GetPixel(0, 0), 0u);
    EXPECT_EQ(dst.GetPixel(1, 0), 0x7FFFu);
    EXPECT_EQ(dst.GetPixel(2, 0), (15u << 10) | (15u << 5) | 15u);  // 31 × 16 >> 5
    EXPECT_EQ(dst.GetPixel(3, 0), 0u);                              // 31 × 0 >> 5
    // A mask of another format draws nothing and answers 0.
    Surf wrong(4, 1, PixelFormat::Rgb555, 0xFF);
    Surf d2(4, 1, PixelFormat::Rgb555, 0);
    EXPECT_EQ(d2.BlitFrom(0, 0, 4, 1, &src, 0, 0, 4, 1, blit::kMaskBlend, &wrong), GfxResult::Ok);
    EXPECT_EQ(d2.BlitFrom(0, 0, 4, 1, &src, 0, 0, 4, 1, blit::kMaskBlend, nullptr), GfxResult::Ok);
    Surf small(2, 1, PixelFormat::Indexed8, 255);  // smaller than the source
    EXPECT_EQ(d2.BlitFrom(0, 0, 4, 1, &src, 0, 0, 4, 1, blit::kMaskBlend, &small), GfxResult::Ok);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(d2.GetPixel(x, 0), 0u);
    // Mask dissolve: (m >> 2) + 1 pixels of each block for m >= 4, none below.
    for (int level : {3, 4, 100, 252, 255}) {
        Surf s8(8, 8, PixelFormat::Indexed8, 1);
        Surf m8(8, 8, PixelFormat::Indexed8, static_cast<std::uint32_t>(level));
        Surf d8(8, 8, PixelFormat::Indexed8, 0);
        ASSERT_EQ(d8.BlitFrom(0, 0, 8, 8, &s8, 0, 0, 8, 8, blit::kMaskDissolve, &m8),
                  GfxResult::Ok);
        int n = 0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x)
                n += d8.GetPixel(x, y) != 0;
        }
        EXPECT_EQ(n, level < 4 ? 0 : std::min(64, (level >> 2) + 1)) << level;
    }
}

TEST(Blitter, ClipRegionFormAgreesBetweenDrawToAndDrawLine) {
    auto clip = Ref<ClipRegion>::Adopt(ClipRegion::New());
    clip->SetRect(2, 3, 5, 4);
    Surf src(12, 12, PixelFormat::Indexed8, 1);
    Surf blitted(12, 12, PixelFormat::Indexed8, 0);
    blitted.SetClip(clip.get());
    ASSERT_EQ(blitted.BlitFrom(0, 0, 12, 12, &src, 0, 0, 12, 12, 0, 0), GfxResult::Ok);
    Surf lined(12, 12, PixelFormat::Indexed8, 0);
    lined.SetClip(clip.get());
    for (int y = -2; y < 14; ++y) {
        lined.DrawLine(-50, y, 50, y, 1);  // both directions: the end point is left out
        lined.DrawLine(50, y, -50, y, 1);
    }
    Surf columns(12, 12, PixelFormat::Indexed8, 0);
    columns.SetClip(clip.get());
    for (int x = -2; x < 14; ++x) {
        columns.DrawLine(x, -50, x, 50, 1);
        columns.DrawLine(x, 50, x, -50, 1);
    }
    int inside = 0;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 12; ++x) {
            const bool in = x >= 2 && x < 7 && y >= 3 && y < 7;
            EXPECT_EQ(blitted.GetPixel(x, y), in ? 1u : 0u) << x << "," << y;
            EXPECT_EQ(lined.GetPixel(x, y), blitted.GetPixel(x, y)) << x << "," << y;
            EXPECT_EQ(columns.GetPixel(x, y), blitted.GetPixel(x, y)) << x << "," << y;
            inside += in;
        }
    }
    EXPECT_EQ(inside, 20);
    // A region larger than the image is kept inside it.
    clip->SetRect(-5, -5, 100, 100);
    ASSERT_EQ(blitted.BlitFrom(0, 0, 12, 12, &src, 0, 0, 12, 12, 0, 0), GfxResult::Ok);
    EXPECT_EQ(lined.DrawLine(-100, 11, 100, 11, 2), GfxResult::Ok);
    EXPECT_EQ(lined.GetPixel(0, 11), 2u);
    EXPECT_EQ(lined.GetPixel(10, 11), 2u);  // the clipped end point itself is left out
}

TEST(DrawLine, EndPointLeftOutAndSteps) {
    Surf s(8, 8, PixelFormat::Indexed8, 0);
    EXPECT_EQ(s.DrawLine(0, 0, 0, 0, 5), GfxResult::Ok);
    EXPECT_EQ(s.GetPixel(0, 0), 0u);
    EXPECT_EQ(s.DrawLine(0, 0, 3, 0, 5), GfxResult::Ok);
    std::set<std::pair<int, int>> drawn;
    auto collect = [&](DibSurface& img) {
        drawn.clear();
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                if (img.GetPixel(x, y) != 0) drawn.insert({x, y});
            }
        }
    };
    collect(s);
    EXPECT_EQ(drawn, (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}}));
    // A steep line: one pixel per row from the start, x following slowly.
    Surf t(8, 8, PixelFormat::Indexed8, 0);
    t.DrawLine(1, 7, 3, 1, 9);
    collect(t);
    EXPECT_EQ(drawn.size(), 6u);
    EXPECT_TRUE(drawn.count({1, 7}));
    for (auto [x, y] : drawn) {
        EXPECT_GE(x, 1);
        EXPECT_LE(x, 3);
        EXPECT_GE(y, 2);
    }
    // Wholly outside: nothing, answer 0. At 24 bits the colour's three bytes.
    EXPECT_EQ(t.DrawLine(-5, -5, -1, -9, 9), GfxResult::Ok);
    Surf w(4, 4, PixelFormat::Bgr24, 0);
    w.DrawLine(0, 3, 4, 3, 0x010203);  // clipped to end at x = 3, which is left out
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(w.GetPixel(x, 3), 0x010203u);
    EXPECT_EQ(w.GetPixel(3, 3), 0u);
}

// Bit (MSB first) of pixel x in a row of 1-, 2- or 4-bit pixels.
unsigned SubPixel(const std::uint8_t* row, int x, int bits) {
    const int bit = x * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

TEST(FillRect, SubBytePixelsAreMergedThroughMasks) {
    for (auto [format, bits] :
         {std::pair{PixelFormat::Indexed1, 1}, std::pair{PixelFormat::Indexed2, 2},
          std::pair{PixelFormat::Indexed4, 4}}) {
        DibSurface s;
        ASSERT_EQ(s.Create(37, 3, format), GfxResult::Ok);
        const unsigned top = (1u << bits) - 1;
        ASSERT_EQ(s.FillRect(0, 0, 37, 3, top), GfxResult::Ok);
        for (auto [x, w] : {std::pair{3, 1}, std::pair{5, 2}, std::pair{7, 20}, std::pair{30, 7},
                            std::pair{0, 0}}) {
            ASSERT_EQ(s.FillRect(x, 1, w, 1, 1), GfxResult::Ok);
        }
        std::uint8_t* p = nullptr;
        std::uint32_t pitch = 0;
        ASSERT_EQ(s.Lock(&p, &pitch), GfxResult::Ok);
        for (int x = 0; x < 37; ++x) {
            const bool filled = x == 3 || (x >= 5 && x < 27) || x >= 30;
            EXPECT_EQ(SubPixel(p + pitch, x, bits), filled ? 1u : top) << bits << " bits at " << x;
            EXPECT_EQ(SubPixel(p, x, bits), top);
            EXPECT_EQ(SubPixel(p + 2 * pitch, x, bits), top);
        }
        EXPECT_EQ(s.GetPixel(3, 1), 0u);  // sub-byte pixels read as 0
    }
}

TEST(FillRect, WholePixelsAndClippingToTheImage) {
    Surf s(5, 5, PixelFormat::Rgb565, 0);
    ASSERT_EQ(s.FillRect(3, 3, 100, 100, 0xBEEF), GfxResult::Ok);
    ASSERT_EQ(s.FillRect(-10, -10, 11, 11, 0x1234), GfxResult::Ok);
    EXPECT_EQ(s.GetPixel(4, 4), 0xBEEFu);
    EXPECT_EQ(s.GetPixel(2, 2), 0u);
    EXPECT_EQ(s.GetPixel(0, 0), 0x1234u);
    EXPECT_EQ(s.GetPixel(1, 1), 0u);
    Surf t(3, 2, PixelFormat::Bgr24, 0);
    t.FillRect(1, 0, 2, 1, 0xAABBCC);
    EXPECT_EQ(t.GetPixel(2, 0), 0xAABBCCu);
    EXPECT_EQ(t.GetPixel(0, 0), 0u);
    DibSurface empty;
    EXPECT_EQ(empty.FillRect(0, 0, 1, 1, 1), GfxResult::Empty);
}

TEST(Pixels, GetAndSetAtEveryWholeByteDepthAndBottomUpAddressing) {
    for (auto [format, value] :
         {std::pair{PixelFormat::Indexed8, 0xABu}, std::pair{PixelFormat::Rgb555, 0x7ABCu},
          std::pair{PixelFormat::Bgr24, 0xABCDEFu}, std::pair{PixelFormat::Bgrx32, 0x89ABCDEFu}}) {
        PackedImage img;
        ASSERT_EQ(img.Create(3, 4, format), GfxResult::Ok);
        ASSERT_EQ(img.SetPixel(2, 0, value), GfxResult::Ok);
        EXPECT_EQ(img.GetPixel(2, 0), value);
        std::uint8_t* bits = nullptr;
        std::uint32_t pitch = 0;
        img.Lock(&bits, &pitch);
        const int bytes = BitsPerPixel(format) / 8;
        EXPECT_EQ(bits[3 * pitch + 2 * bytes], value & 0xFF);  // top row is stored last
        img.Unlock();
        EXPECT_EQ(img.GetPixel(3, 0), 0u);
        EXPECT_EQ(img.GetPixel(-1, 0), 0u);
        EXPECT_EQ(img.SetPixel(0, 4, 1), GfxResult::BadArgument);
    }
    Surf nib(4, 4, PixelFormat::Indexed4, 0xF);
    EXPECT_EQ(nib.GetPixel(1, 1), 0u);
    EXPECT_EQ(nib.SetPixel(1, 1, 3), GfxResult::Ok);
    std::uint8_t* bits = nullptr;
    nib.Lock(&bits, nullptr);
    EXPECT_EQ(bits[0], 0xFF);  // nothing written
}

}  // namespace
}  // namespace tamboro::gfx
