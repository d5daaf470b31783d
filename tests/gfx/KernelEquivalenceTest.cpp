// The fast kernels must draw exactly what the plain kernels draw, for
// random pictures, keys, levels, sizes, offsets and flags.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "gfx/DibSurface.h"
#include "gfx/GfxSystem.h"
#include "gfx/Image.h"
#include "gfx/kernels/BlitKernels.h"
#include "platform/Cpu.h"

namespace tamboro::gfx {
namespace {

using kernels::BlitJob;
using kernels::BlitKernel;
using kernels::Op;

struct Case {
    Op op;
    int bpp;
    bool is565;
    const char* name;
};

const Case kCases[] = {
    {Op::Keyed, 1, false, "Keyed8"},          {Op::Keyed, 2, false, "Keyed16"},
    {Op::Keyed, 4, false, "Keyed32"},         {Op::Dissolve, 1, false, "Dissolve8"},
    {Op::Blend, 2, false, "Blend555"},        {Op::Blend, 2, true, "Blend565"},
    {Op::Blend, 4, false, "Blend32"},         {Op::MaskBlend, 2, false, "MaskBlend555"},
    {Op::MaskBlend, 2, true, "MaskBlend565"}, {Op::MaskBlend, 4, false, "MaskBlend32"},
};

// Pixel bytes drawn from a few values so that keys hit often, with some noise.
std::uint32_t RandomPixel(std::mt19937& rng, int bpp, const std::uint32_t* pool) {
    if (rng() % 3 != 0) return pool[rng() % 4];
    return bpp == 4 ? static_cast<std::uint32_t>(rng())
                    : static_cast<std::uint32_t>(rng()) & ((1u << (8 * bpp)) - 1);
}

void Check(const Case& c, BlitKernel fast, const char* variant, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (int trial = 0; trial < 400; ++trial) {
        const std::uint32_t flags = (rng() & 1 ? blit::kSourceKey : 0) |
                                    (rng() & 1 ? blit::kDestKey : 0) |
                                    (rng() & 1 ? blit::kFlip : 0);
        BlitKernel plain = kernels::ScalarKernel(c.bpp, c.op, false, c.is565, flags);
        BlitKernel simd = fast;
        if (c.op != Op::MaskBlend) {
            // Re-pick for these flags (the key switches are template arguments).
            simd = std::string(variant) == "avx2"
                       ? kernels::Avx2Kernel(c.bpp, c.op, c.is565, flags)
                       : kernels::Sse2Kernel(c.bpp, c.op, c.is565, flags);
        }
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(simd, nullptr);
        const int w = 1 + static_cast<int>(rng() % 80);
        const int h = 1 + static_cast<int>(rng() % 5);
        const int srcW = w + static_cast<int>(rng() % 9), srcH = h + static_cast<int>(rng() % 3);
        const int dstW = w + static_cast<int>(rng() % 9), dstH = h + static_cast<int>(rng() % 3);
        const std::ptrdiff_t srcPitch = srcW * c.bpp + static_cast<int>(rng() % 4);
        const std::ptrdiff_t dstPitch = dstW * c.bpp + static_cast<int>(rng() % 4);
        const std::uint32_t all = c.bpp == 4 ? ~0u : (1u << (8 * c.bpp)) - 1;
        const std::uint32_t pool[4] = {static_cast<std::uint32_t>(rng()) & all,
                                       static_cast<std::uint32_t>(rng()) & all, 0,
                                       c.bpp == 1 ? 252u : 0x7C1Fu};
        std::vector<std::uint8_t> src(static_cast<std::size_t>(srcPitch) * srcH);
        std::vector<std::uint8_t> dst(static_cast<std::size_t>(dstPitch) * dstH);
        std::vector<std::uint8_t> mask(static_cast<std::size_t>(srcW + 3) * srcH);
        auto fill = [&](std::vector<std::uint8_t>& buf, std::ptrdiff_t pitch, int width,
                        int height) {
            for (auto& b : buf)
                b = static_cast<std::uint8_t>(rng());
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const std::uint32_t v = RandomPixel(rng, c.bpp, pool);
                    std::memcpy(buf.data() + y * pitch + x * c.bpp, &v,
                                static_cast<std::size_t>(c.bpp));
                }
            }
        };
        fill(src, srcPitch, srcW, srcH);
        fill(dst, dstPitch, dstW, dstH);
        const std::uint8_t edges[] = {0, 1, 4, 7, 8, 128, 254, 255};
        for (auto& m : mask)
            m = rng() % 2 ? edges[rng() % 8] : static_cast<std::uint8_t>(rng());
        BlitJob j;
        j.dst = dst.data();
        j.dstPitch = dstPitch;
        j.dx = static_cast<int>(rng() % static_cast<unsigned>(dstW - w + 1));
        j.dy = static_cast<int>(rng() % static_cast<unsigned>(dstH - h + 1));
        j.w = w;
        j.h = h;
        j.src = src.data();
        j.srcPitch = srcPitch;
        j.sx = static_cast<int>(rng() % static_cast<unsigned>(srcW - w + 1));
        j.sy = static_cast<int>(rng() % static_cast<unsigned>(srcH - h + 1));
        j.sw = w;
        j.sh = h;
        j.flags = flags;
        j.srcKey = pool[rng() % 4];
        j.dstKey = pool[rng() % 4];
        const int levels[] = {0, 1, 7, 8, 128, 200, 255, 256};
        j.level = rng() % 2 ? levels[rng() % 8] : static_cast<int>(rng() % 257);
        j.mask = mask.data();
        j.maskPitch = srcW + 3;
        std::vector<std::uint8_t> expected = dst;
        BlitJob pj = j;
        pj.dst = expected.data();
        plain(pj);
        simd(j);
        ASSERT_EQ(dst, expected) << c.name << " " << variant << " trial " << trial << " w " << w
                                 << " h " << h << " flags " << flags << " level " << j.level;
    }
}

TEST(KernelEquivalence, Sse2KernelsDrawExactlyWhatThePlainKernelsDraw) {
    if (!platform::HasSse2()) GTEST_SKIP() << "no SSE2 on this processor";
    int checked = 0;
    for (const Case& c : kCases) {
        BlitKernel k = kernels::Sse2Kernel(c.bpp, c.op, c.is565, 0);
        ASSERT_NE(k, nullptr) << c.name;
        Check(c, k, "sse2", 100 + static_cast<std::uint32_t>(checked));
        ++checked;
    }
    EXPECT_EQ(checked, 10);
}

TEST(KernelEquivalence, Avx2KernelsDrawExactlyWhatThePlainKernelsDraw) {
    if (!platform::HasAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
    int checked = 0;
    for (const Case& c : kCases) {
        BlitKernel k = kernels::Avx2Kernel(c.bpp, c.op, c.is565, 0);
        if (k == nullptr) continue;
        Check(c, k, "avx2", 200 + static_cast<std::uint32_t>(checked));
        ++checked;
    }
    EXPECT_EQ(checked, 4);
}

TEST(KernelEquivalence, FastKernelsAreNeverOfferedForMirroredBlits) {
    EXPECT_EQ(kernels::Sse2Kernel(1, Op::Keyed, false, blit::kMirror), nullptr);
    EXPECT_EQ(kernels::Avx2Kernel(1, Op::Keyed, false, blit::kMirror | blit::kSourceKey), nullptr);
}

// Whole blits through DrawTo with the fast kernels allowed and forced off.
TEST(KernelEquivalence, DrawToGivesTheSamePicturesWithAndWithoutFastKernels) {
    GfxSystem system;
    std::mt19937 rng(77);
    const PixelFormat formats[] = {PixelFormat::Indexed8, PixelFormat::Rgb555, PixelFormat::Rgb565,
                                   PixelFormat::Bgrx32};
    const std::uint32_t flagSets[] = {0,
                                      blit::kSourceKey,
                                      blit::kSourceKey | blit::kFlip,
                                      blit::kDissolve | blit::kSourceKey,
                                      blit::kBlend,
                                      blit::kBlend | blit::kDestKey,
                                      blit::kMaskBlend,
                                      blit::kMirror | blit::kSourceKey};
    for (PixelFormat f : formats) {
        for (std::uint32_t flags : flagSets) {
            DibSurface src, mask, a, b;
            ASSERT_EQ(src.Create(67, 23, f), GfxResult::Ok);
            ASSERT_EQ(mask.Create(67, 23, PixelFormat::Indexed8), GfxResult::Ok);
            ASSERT_EQ(a.Create(90, 40, f), GfxResult::Ok);
            for (int y = 0; y < 23; ++y) {
                for (int x = 0; x < 67; ++x) {
                    src.SetPixel(x, y, rng() % 4 == 0 ? 252u : static_cast<std::uint32_t>(rng()));
                    mask.SetPixel(x, y, static_cast<std::uint32_t>(rng()));
                }
            }
            for (int y = 0; y < 40; ++y) {
                for (int x = 0; x < 90; ++x)
                    a.SetPixel(x, y, static_cast<std::uint32_t>(rng()));
            }
            ASSERT_EQ(b.CopyFrom(&a), GfxResult::Ok);
            src.sourceKey = 252;
            a.destKey = b.destKey = a.GetPixel(5, 5);
            BlitExtra extra = (flags & blit::kMaskBlend) ? BlitExtra(&mask) : BlitExtra(150);
            platform::SetForcePlainKernels(true);
            ASSERT_EQ(a.BlitFrom(-3, 5, 67, 23, &src, 0, 0, 67, 23, flags, extra), GfxResult::Ok);
            platform::SetForcePlainKernels(false);
            ASSERT_EQ(b.BlitFrom(-3, 5, 67, 23, &src, 0, 0, 67, 23, flags, extra), GfxResult::Ok);
            std::uint8_t *pa = nullptr, *pb = nullptr;
            std::uint32_t pitch = 0;
            a.Lock(&pa, &pitch);
            b.Lock(&pb, &pitch);
            ASSERT_EQ(std::memcmp(pa, pb, static_cast<std::size_t>(pitch) * 40), 0)
                << static_cast<int>(f) << " flags " << flags;
        }
    }
}

}  // namespace
}  // namespace tamboro::gfx
