// The software blitter and the other pixel operations of Image: DrawTo
// (and so BlitFrom), FillRect, DrawLine, GetPixel, SetPixel.
//
// DrawTo, step by step:
//   1. validate (dest present, both non-empty, same bit count);
//   2. clip the destination rectangle to the destination and its clip region;
//   3. map the clipped rectangle back onto the source (truncating integer
//      arithmetic), refusing spans outside the source;
//   4. choose one kernel from the bit count, the flags and the processor;
//   5. lock, run the kernel (which cannot fail), unlock.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gfx/ClipRegion.h"
#include "gfx/GfxSystem.h"
#include "gfx/Image.h"
#include "gfx/kernels/BlitKernels.h"

namespace tamboro::gfx {
namespace {

using kernels::Op;

struct Box {
    int left, top, right, bottom;  // right and bottom exclusive
};

// The clip rectangle of an image: its clip region's bounds, kept inside the
// image, or the whole image.
Box ClipBox(const Image& image) {
    Box box{0, 0, image.GetWidth(), image.GetHeight()};
    ClipBounds b;
    if (ClipRegion* clip = image.GetClip();
        clip != nullptr && clip->GetBounds(b) == GfxResult::Ok) {
        box.left = std::max(box.left, b.left);
        box.top = std::max(box.top, b.top);
        box.right = std::min(box.right, b.right);
        box.bottom = std::min(box.bottom, b.bottom);
    }
    return box;
}

// The kernel operation for a bit count and flags (nothing: draw nothing).
bool ChooseOp(int bits, std::uint32_t flags, bool scaled, Op& op) {
    using namespace blit;
    if (scaled) {
        if (bits == 16 && (flags & kMaskBlend)) {
            op = Op::MaskBlend;
        } else if (flags & (kDissolve | kBlend)) {
            op = Op::Dissolve;
        } else {
            op = Op::Keyed;
        }
        return true;
    }
    switch (bits) {
        case 8:
            if (flags & (kMaskBlend | kMaskDissolve)) {
                op = Op::MaskDissolve;
            } else if (flags & (kDissolve | kBlend)) {
                op = Op::Dissolve;
            } else {
                op = flags == 0 ? Op::Copy : Op::Keyed;
            }
            return true;
        case 16:
            if (flags & kMaskBlend) {
                op = Op::MaskBlend;
            } else if (flags & kMaskDissolve) {
                op = Op::MaskDissolve;
            } else if (flags & kDissolve) {
                op = Op::Dissolve;
            } else if (flags & kBlend) {
                op = Op::Blend;
            } else {
                op = flags == 0 ? Op::Copy : Op::Keyed;
            }
            return true;
        case 24:
        case 32:
            if (flags & kMaskBlend) {
                op = Op::MaskBlend;
            } else if (flags & kMaskDissolve) {
                op = Op::MaskDissolve;
            } else if (flags & kBlend) {
                op = Op::Blend;
            } else if (flags & kDissolve) {
                op = Op::Dissolve;
            } else {
                op = flags == 0 ? Op::Copy : Op::Keyed;
            }
            return true;
        default:
            return false;
    }
}

std::uint32_t PixelMask(int bits) {
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}

// Unlocks an image when it goes out of scope.
class LockGuard {
  public:
    explicit LockGuard(Image* image) : m_image(image) {}
    ~LockGuard() {
        if (m_image != nullptr) m_image->Unlock();
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Image* m_image;
};

}  // namespace

GfxResult Image::DrawTo(Image* dest, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                        std::uint32_t flags, BlitExtra extra) {
    if (dest == nullptr) return GfxResult::BadArgument;
    if (m_format == PixelFormat::None || dest->GetFormat() == PixelFormat::None) {
        return GfxResult::Empty;
    }
    // The blitter does not convert: both sides must have one pixel size.
    const int bits = BitsPerPixel(m_format);
    if (bits != BitsPerPixel(dest->GetFormat())) return GfxResult::BadArgument;
    if (dw < 0 || dh < 0 || sw < 0 || sh < 0) return GfxResult::BadArgument;

    const Box clip = ClipBox(*dest);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return GfxResult::Ok;
    const std::int64_t dRight = static_cast<std::int64_t>(dx) + dw;
    const std::int64_t dBottom = static_cast<std::int64_t>(dy) + dh;
    if (dRight <= clip.left || dBottom <= clip.top || dx >= clip.right || dy >= clip.bottom) {
        return GfxResult::Ok;
    }
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return GfxResult::Ok;
    const int x0 = std::max(dx, clip.left);
    const int y0 = std::max(dy, clip.top);
    const int w0 = static_cast<int>(std::min<std::int64_t>(dRight, clip.right) - x0);
    const int h0 = static_cast<int>(std::min<std::int64_t>(dBottom, clip.bottom) - y0);

    // Map onto the source, truncating toward zero, in 64 bits.
    const std::int64_t cutLeft = static_cast<std::int64_t>(x0 - dx) * sw / dw;
    const std::int64_t cutTop = static_cast<std::int64_t>(y0 - dy) * sh / dh;
    const bool scaled = dw != sw || dh != sh;
    // A span of zero source pixels still reads one (the kernels start at it).
    const std::int64_t spanW = std::max<std::int64_t>(static_cast<std::int64_t>(w0) * sw / dw, 1);
    const std::int64_t spanH = std::max<std::int64_t>(static_cast<std::int64_t>(h0) * sh / dh, 1);
    std::int64_t srcX = sx + cutLeft;
    std::int64_t srcY = sy + cutTop;
    // Mirror and flip: the visible part is the mirror image of the matching
    // part of the source, so a cut on the left removes source pixels on the right.
    if (flags & blit::kMirror) srcX = sx + static_cast<std::int64_t>(sw) - spanW - cutLeft;
    if (flags & blit::kFlip) srcY = sy + static_cast<std::int64_t>(sh) - spanH - cutTop;
    if (srcX < 0 || srcY < 0 || srcX + spanW > GetWidth() || srcY + spanH > GetHeight()) {
        return GfxResult::BadArgument;
    }

    Op op;
    if (bits < 8 || !ChooseOp(bits, flags, scaled, op)) return GfxResult::Ok;
    const bool usesMask = op == Op::MaskBlend || op == Op::MaskDissolve;

    std::uint8_t* srcBits = nullptr;
    std::uint32_t srcPitch = 0;
    if (GfxResult r = Lock(&srcBits, &srcPitch); r != GfxResult::Ok) return r;
    LockGuard srcGuard(this);
    std::uint8_t* dstBits = nullptr;
    std::uint32_t dstPitch = 0;
    if (GfxResult r = dest->Lock(&dstBits, &dstPitch); r != GfxResult::Ok) return r;
    LockGuard dstGuard(dest);

    kernels::BlitJob job;
    job.dst = dstBits;
    job.dstPitch = dstPitch;
    job.dx = x0;
    job.dy = y0;
    job.w = w0;
    job.h = h0;
    job.src = srcBits;
    job.srcPitch = srcPitch;
    job.sx = static_cast<int>(srcX);
    job.sy = static_cast<int>(srcY);
    job.sw = static_cast<int>(spanW);
    job.sh = static_cast<int>(spanH);
    job.flags = flags;
    job.srcKey = sourceKey & PixelMask(bits);
    job.dstKey = dest->destKey & PixelMask(bits);
    job.level = std::clamp(extra.level, 0, 256);

    Image* mask = nullptr;
    if (usesMask) {
        // The mask is walked at source coordinates, so it must cover the source.
        mask = extra.mask;
        std::uint8_t* maskBits = nullptr;
        std::uint32_t maskPitch = 0;
        if (mask == nullptr || mask->GetFormat() != PixelFormat::Indexed8 ||
            mask->GetWidth() < GetWidth() || mask->GetHeight() < GetHeight() ||
            mask->Lock(&maskBits, &maskPitch) != GfxResult::Ok) {
            return GfxResult::Ok;
        }
        job.mask = maskBits;
        job.maskPitch = maskPitch;
    }
    LockGuard maskGuard(mask);

    const int bpp = bits / 8;
    const bool is565 = Is565(m_format);
    kernels::BlitKernel kernel = nullptr;
    if (!scaled && !(flags & blit::kMirror)) {
        const int level = SimdLevel();
        if (level >= 2) kernel = kernels::Avx2Kernel(bpp, op, is565, flags);
        if (kernel == nullptr && level >= 1) kernel = kernels::Sse2Kernel(bpp, op, is565, flags);
    }
    if (kernel == nullptr) kernel = kernels::ScalarKernel(bpp, op, scaled, is565, flags);
    if (kernel != nullptr) kernel(job);
    return GfxResult::Ok;
}

GfxResult Image::FillRect(int x, int y, int w, int h, std::uint32_t colour) {
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    if (GfxResult r = Lock(&bits, &pitch); r != GfxResult::Ok) return r;
    LockGuard guard(this);
    // Kept inside the image: a rectangle reaching outside would write
    // outside the pixels.
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = static_cast<int>(
        std::min<std::int64_t>(static_cast<std::int64_t>(x) + std::max(w, 0), m_width));
    const int y1 = static_cast<int>(
        std::min<std::int64_t>(static_cast<std::int64_t>(y) + std::max(h, 0), m_height));
    if (x0 >= x1 || y0 >= y1) return GfxResult::Ok;
    const int bpp = BitsPerPixel(m_format);
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* p = bits + static_cast<std::size_t>(row) * pitch;
        switch (bpp) {
            case 1:
            case 2:
            case 4: {
                // Replicate the colour over a byte (leftmost pixel in the high
                // bits) and merge the partial bytes at both ends through masks.
                const unsigned value = colour & ((1u << bpp) - 1);
                unsigned fill = 0;
                for (int k = 0; k < 8; k += bpp)
                    fill = fill << bpp | value;
                const int startBit = x0 * bpp;
                const int endBit = x1 * bpp;  // exclusive
                const int first = startBit / 8;
                const int last = (endBit - 1) / 8;
                const auto headMask = static_cast<std::uint8_t>(0xFFu >> (startBit % 8));
                const auto tailMask = static_cast<std::uint8_t>(0xFFu << (7 - (endBit - 1) % 8));
                auto merge = [&](int at, std::uint8_t m) {
                    p[at] = static_cast<std::uint8_t>((p[at] & ~m) | (fill & m));
                };
                if (first == last) {
                    merge(first, headMask & tailMask);
                } else {
                    merge(first, headMask);
                    if (last - first > 1) {
                        std::memset(p + first + 1, static_cast<int>(fill),
                                    static_cast<std::size_t>(last - first - 1));
                    }
                    merge(last, tailMask);
                }
                break;
            }
            case 8:
                std::memset(p + x0, static_cast<int>(colour & 0xFF),
                            static_cast<std::size_t>(x1 - x0));
                break;
            case 16:
                for (int i = x0; i < x1; ++i) {
                    p[2 * i] = static_cast<std::uint8_t>(colour);
                    p[2 * i + 1] = static_cast<std::uint8_t>(colour >> 8);
                }
                break;
            case 24:
                for (int i = x0; i < x1; ++i) {
                    p[3 * i] = static_cast<std::uint8_t>(colour);
                    p[3 * i + 1] = static_cast<std::uint8_t>(colour >> 8);
                    p[3 * i + 2] = static_cast<std::uint8_t>(colour >> 16);
                }
                break;
            case 32:
                for (int i = x0; i < x1; ++i)
                    std::memcpy(p + 4 * i, &colour, 4);
                break;
            default:
                break;
        }
    }
    return GfxResult::Ok;
}

GfxResult Image::DrawLine(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    const Box box = ClipBox(*this);
    // Inclusive edges for the line clipper.
    const std::int64_t left = box.left, top = box.top, right = box.right - 1,
                       bottom = box.bottom - 1;
    if (left > right || top > bottom) return GfxResult::Ok;
    std::int64_t ax = x1, ay = y1, bx = x2, by = y2;
    auto outcode = [&](std::int64_t x, std::int64_t y) {
        int c = 0;
        if (x < left) c |= 1;
        if (x > right) c |= 2;
        if (y < top) c |= 4;
        if (y > bottom) c |= 8;
        return c;
    };
    int ca = outcode(ax, ay);
    int cb = outcode(bx, by);
    // Cohen–Sutherland; every round puts one end on an edge. Integer rounding
    // can need a few extra rounds; a segment that does not settle draws nothing.
    for (int round = 0; (ca | cb) != 0; ++round) {
        if ((ca & cb) != 0 || round > 16) return GfxResult::Ok;
        const int c = ca != 0 ? ca : cb;
        std::int64_t x = 0, y = 0;
        if (c & 8) {
            x = ax + (bx - ax) * (bottom - ay) / (by - ay);
            y = bottom;
        } else if (c & 4) {
            x = ax + (bx - ax) * (top - ay) / (by - ay);
            y = top;
        } else if (c & 2) {
            y = ay + (by - ay) * (right - ax) / (bx - ax);
            x = right;
        } else {
            y = ay + (by - ay) * (left - ax) / (bx - ax);
            x = left;
        }
        if (c == ca) {
            ax = x;
            ay = y;
            ca = outcode(ax, ay);
        } else {
            bx = x;
            by = y;
            cb = outcode(bx, by);
        }
    }
    const int bpp = BitsPerPixel(m_format);
    if (bpp < 8) return GfxResult::Ok;
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    if (GfxResult r = Lock(&bits, &pitch); r != GfxResult::Ok) return r;
    LockGuard guard(this);
    const int bytes = bpp / 8;
    auto plot = [&](std::int64_t x, std::int64_t y) {
        std::uint8_t* p =
            bits + static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * bytes;
        for (int k = 0; k < bytes; ++k)
            p[k] = static_cast<std::uint8_t>(colour >> (8 * k));
    };
    const std::int64_t adx = std::llabs(bx - ax);
    const std::int64_t ady = std::llabs(by - ay);
    const int stepX = bx >= ax ? 1 : -1;
    const int stepY = by >= ay ? 1 : -1;
    std::int64_t x = ax, y = ay, err = 0;
    if (adx <= ady) {
        for (std::int64_t i = 0; i < ady; ++i) {
            plot(x, y);
            err += adx;
            y += stepY;
            if (err > ady) {
                err -= ady;
                x += stepX;
            }
        }
    } else {
        for (std::int64_t i = 0; i < adx; ++i) {
            plot(x, y);
            err += ady;
            x += stepX;
            if (err > adx) {
                err -= adx;
                y += stepY;
            }
        }
    }
    return GfxResult::Ok;
}

std::uint32_t Image::GetPixel(int x, int y) {
    if (m_format == PixelFormat::None || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) {
        return 0;
    }
    const int bytes = BitsPerPixel(m_format) / 8;
    if (bytes == 0) return 0;
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    if (Lock(&bits, &pitch) != GfxResult::Ok) return 0;
    const int row = (GetOrientation() & 1) ? GetHeight() - 1 - y : y;
    const std::uint8_t* p =
        bits + static_cast<std::size_t>(row) * pitch + static_cast<std::size_t>(x) * bytes;
    std::uint32_t v = 0;
    for (int k = 0; k < bytes; ++k)
        v |= static_cast<std::uint32_t>(p[k]) << (8 * k);
    Unlock();
    return v;
}

GfxResult Image::SetPixel(int x, int y, std::uint32_t colour) {
    if (m_format == PixelFormat::None) return GfxResult::Empty;
    if (x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return GfxResult::BadArgument;
    const int bytes = BitsPerPixel(m_format) / 8;
    if (bytes == 0) return GfxResult::Ok;
    std::uint8_t* bits = nullptr;
    std::uint32_t pitch = 0;
    if (GfxResult r = Lock(&bits, &pitch); r != GfxResult::Ok) return r;
    const int row = (GetOrientation() & 1) ? GetHeight() - 1 - y : y;
    std::uint8_t* p =
        bits + static_cast<std::size_t>(row) * pitch + static_cast<std::size_t>(x) * bytes;
    for (int k = 0; k < bytes; ++k)
        p[k] = static_cast<std::uint8_t>(colour >> (8 * k));
    Unlock();
    return GfxResult::Ok;
}

}  // namespace tamboro::gfx
