// The plain pixel kernels: the reference that every fast twin must match.
#include <cstring>

#include "gfx/kernels/BlitFlags.h"
#include "gfx/kernels/BlitKernels.h"

namespace tamboro::gfx::kernels {

const std::uint8_t kDither[8][16] = {
    {1, 33, 9, 41, 3, 35, 11, 43, 1, 33, 9, 41, 3, 35, 11, 43},
    {49, 17, 57, 25, 51, 19, 59, 27, 49, 17, 57, 25, 51, 19, 59, 27},
    {13, 45, 5, 37, 15, 47, 7, 39, 13, 45, 5, 37, 15, 47, 7, 39},
    {61, 29, 53, 21, 63, 31, 55, 23, 61, 29, 53, 21, 63, 31, 55, 23},
    {4, 36, 12, 44, 2, 34, 10, 42, 4, 36, 12, 44, 2, 34, 10, 42},
    {52, 20, 60, 28, 50, 18, 58, 26, 52, 20, 60, 28, 50, 18, 58, 26},
    {16, 48, 8, 40, 14, 46, 6, 38, 16, 48, 8, 40, 14, 46, 6, 38},
    {64, 32, 56, 24, 62, 30, 54, 22, 64, 32, 56, 24, 62, 30, 54, 22},
};

namespace {

const auto& T = kBlendTable.entry;

template <int B>
inline std::uint32_t Load(const std::uint8_t* p) {
    if constexpr (B == 1) {
        return p[0];
    } else if constexpr (B == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else if constexpr (B == 3) {
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16;
    } else {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <int B>
inline void Store(std::uint8_t* p, std::uint32_t v) {
    if constexpr (B == 1) {
        p[0] = static_cast<std::uint8_t>(v);
    } else if constexpr (B == 2) {
        const auto s = static_cast<std::uint16_t>(v);
        std::memcpy(p, &s, 2);
    } else if constexpr (B == 3) {
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
    } else {
        std::memcpy(p, &v, 4);
    }
}

// Walks the frame and calls op(d, s, m, x, y) for every destination pixel
// (x, y in destination coordinates; m null without a mask).
template <int B, bool Scaled, class OpFn>
inline void Frame(const BlitJob& j, OpFn op) {
    const bool mirror = (j.flags & blit::kMirror) != 0;
    const bool flip = (j.flags & blit::kFlip) != 0;
    const int spanW = Scaled ? j.sw : j.w;
    const int spanH = Scaled ? j.sh : j.h;
    const int firstRow = flip ? j.sy + spanH - 1 : j.sy;
    const std::ptrdiff_t rowStep = flip ? -j.srcPitch : j.srcPitch;
    const std::ptrdiff_t maskRowStep = flip ? -j.maskPitch : j.maskPitch;
    const int firstX = mirror ? j.sx + spanW - 1 : j.sx;
    const std::ptrdiff_t xStep = mirror ? -1 : 1;
    const std::uint8_t* srow = j.src + static_cast<std::ptrdiff_t>(firstRow) * j.srcPitch;
    const std::uint8_t* mrow =
        j.mask ? j.mask + static_cast<std::ptrdiff_t>(firstRow) * j.maskPitch : nullptr;
    std::uint8_t* drow = j.dst + static_cast<std::ptrdiff_t>(j.dy) * j.dstPitch +
                         static_cast<std::ptrdiff_t>(j.dx) * B;
    int rowAcc = 0;
    for (int y = 0; y < j.h; ++y) {
        const std::uint8_t* s = srow + static_cast<std::ptrdiff_t>(firstX) * B;
        const std::uint8_t* m = mrow ? mrow + firstX : nullptr;
        std::uint8_t* d = drow;
        int acc = 0;
        for (int x = 0; x < j.w; ++x) {
            op(d, s, m, j.dx + x, j.dy + y);
            d += B;
            if constexpr (Scaled) {
                acc += j.sw;
                while (acc >= j.w) {
                    acc -= j.w;
                    s += xStep * B;
                    if (m) m += xStep;
                }
            } else {
                s += xStep * B;
                if (m) m += xStep;
            }
        }
        drow += j.dstPitch;
        if constexpr (Scaled) {
            rowAcc += j.sh;
            while (rowAcc >= j.h) {
                rowAcc -= j.h;
                srow += rowStep;
                if (mrow) mrow += maskRowStep;
            }
        } else {
            srow += rowStep;
            if (mrow) mrow += maskRowStep;
        }
    }
}

template <int B, bool SK, bool DK>
inline bool KeysPass(std::uint32_t s, const std::uint8_t* d, const BlitJob& j) {
    if (SK && s == j.srcKey) return false;
    if (DK && Load<B>(d) != j.dstKey) return false;
    return true;
}

template <int B, bool Scaled, bool SK, bool DK>
void KeyedCopy(const BlitJob& j) {
    Frame<B, Scaled>(j, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int, int) {
        const std::uint32_t v = Load<B>(s);
        if (KeysPass<B, SK, DK>(v, d, j)) Store<B>(d, v);
    });
}

template <int B, bool Scaled, bool SK, bool DK>
void Dissolve(const BlitJob& j) {
    const int t = j.level >> 2;
    Frame<B, Scaled>(
        j, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int x, int y) {
            if (t < kDither[y & 7][x & 7]) return;
            const std::uint32_t v = Load<B>(s);
            if (KeysPass<B, SK, DK>(v, d, j)) Store<B>(d, v);
        });
}

template <int B>
void MaskDissolve(const BlitJob& j) {
    Frame<B, false>(
        j, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* m, int x, int y) {
            const int level = *m;
            if (level >= 4 && (level >> 2) + 1 >= kDither[y & 7][x & 7]) Store<B>(d, Load<B>(s));
        });
}

// 16-bit table blend of one pixel with row indexes a and b.
template <bool Is565>
inline std::uint32_t Blend16(std::uint32_t s, std::uint32_t d, int a, int b) {
    if constexpr (Is565) {
        const std::uint32_t r = (T[a][(s >> 11) & 31] + T[b][(d >> 11) & 31]) >> 8;
        const std::uint32_t g = (T[a][(s >> 6) & 31] + T[b][(d >> 6) & 31]) >> 8;
        const std::uint32_t bl = (T[a][s & 31] + T[b][d & 31]) >> 8;
        return r << 11 | g << 6 | bl;
    } else {
        const std::uint32_t r = (T[a][(s >> 10) & 31] + T[b][(d >> 10) & 31]) >> 8;
        const std::uint32_t g = (T[a][(s >> 5) & 31] + T[b][(d >> 5) & 31]) >> 8;
        const std::uint32_t bl = (T[a][s & 31] + T[b][d & 31]) >> 8;
        return r << 10 | g << 5 | bl;
    }
}

// 24/32-bit blend: every byte at 5-bit precision.
template <int B>
inline void BlendBytes(std::uint8_t* d, const std::uint8_t* s, int a, int b) {
    for (int k = 0; k < B; ++k) {
        d[k] = static_cast<std::uint8_t>((T[a][s[k] >> 3] + T[b][d[k] >> 3]) >> 5);
    }
}

template <int B, bool Is565, bool SK, bool DK>
void Blend(const BlitJob& j) {
    const int a = j.level >> 3;
    const int b = (256 - j.level) >> 3;
    Frame<B, false>(j, [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t*, int, int) {
        const std::uint32_t v = Load<B>(s);
        if (!KeysPass<B, SK, DK>(v, d, j)) return;
        if constexpr (B == 2) {
            Store<2>(d, Blend16<Is565>(v, Load<2>(d), a, b));
        } else {
            BlendBytes<B>(d, s, a, b);
        }
    });
}

template <int B, bool Is565, bool Scaled>
void MaskBlend(const BlitJob& j) {
    Frame<B, Scaled>(j,
                     [&](std::uint8_t* d, const std::uint8_t* s, const std::uint8_t* m, int, int) {
                         const int level = *m;
                         if (level == 0) return;
                         if (level == 255) {
                             Store<B>(d, Load<B>(s));
                             return;
                         }
                         const int a = level >> 3;
                         const int b = (255 - level) >> 3;
                         if constexpr (B == 2) {
                             Store<2>(d, Blend16<Is565>(Load<2>(s), Load<2>(d), a, b));
                         } else {
                             BlendBytes<B>(d, s, a, b);
                         }
                     });
}

// Unkeyed copy: whole rows (memmove: source and destination may be one image).
template <int B>
void Copy(const BlitJob& j) {
    const bool flip = (j.flags & blit::kFlip) != 0;
    const std::uint8_t* s = j.src +
                            static_cast<std::ptrdiff_t>(flip ? j.sy + j.h - 1 : j.sy) * j.srcPitch +
                            static_cast<std::ptrdiff_t>(j.sx) * B;
    const std::ptrdiff_t step = flip ? -j.srcPitch : j.srcPitch;
    std::uint8_t* d = j.dst + static_cast<std::ptrdiff_t>(j.dy) * j.dstPitch +
                      static_cast<std::ptrdiff_t>(j.dx) * B;
    const std::size_t bytes = static_cast<std::size_t>(j.w) * B;
    if (!flip && j.srcPitch == j.dstPitch && static_cast<std::ptrdiff_t>(bytes) == j.srcPitch) {
        // Whole rows without padding lie back to back: one move.
        std::memmove(d, s, bytes * static_cast<std::size_t>(j.h));
        return;
    }
    for (int y = 0; y < j.h; ++y, s += step, d += j.dstPitch)
        std::memmove(d, s, bytes);
}

template <int B, bool Scaled>
BlitKernel PickKeyed(std::uint32_t flags, bool dissolve) {
    const bool sk = flags & blit::kSourceKey;
    const bool dk = flags & blit::kDestKey;
    if (dissolve) {
        if (sk && dk) return &Dissolve<B, Scaled, true, true>;
        if (sk) return &Dissolve<B, Scaled, true, false>;
        if (dk) return &Dissolve<B, Scaled, false, true>;
        return &Dissolve<B, Scaled, false, false>;
    }
    if (sk && dk) return &KeyedCopy<B, Scaled, true, true>;
    if (sk) return &KeyedCopy<B, Scaled, true, false>;
    if (dk) return &KeyedCopy<B, Scaled, false, true>;
    return &KeyedCopy<B, Scaled, false, false>;
}

template <int B, bool Is565>
BlitKernel PickBlend(std::uint32_t flags) {
    const bool sk = flags & blit::kSourceKey;
    const bool dk = flags & blit::kDestKey;
    if (sk && dk) return &Blend<B, Is565, true, true>;
    if (sk) return &Blend<B, Is565, true, false>;
    if (dk) return &Blend<B, Is565, false, true>;
    return &Blend<B, Is565, false, false>;
}

template <int B>
BlitKernel PickFor(Op op, bool scaled, bool is565, std::uint32_t flags) {
    const bool mirror = flags & blit::kMirror;
    switch (op) {
        case Op::Copy:
            if (!scaled && !mirror) return &Copy<B>;
            return scaled ? PickKeyed<B, true>(0, false) : PickKeyed<B, false>(0, false);
        case Op::Keyed:
            return scaled ? PickKeyed<B, true>(flags, false) : PickKeyed<B, false>(flags, false);
        case Op::Dissolve:
            return scaled ? PickKeyed<B, true>(flags, true) : PickKeyed<B, false>(flags, true);
        case Op::MaskDissolve:
            return &MaskDissolve<B>;
        case Op::Blend:
            if constexpr (B == 1) {
                return nullptr;
            } else {
                return is565 ? PickBlend<B, true>(flags) : PickBlend<B, false>(flags);
            }
        case Op::MaskBlend:
            if constexpr (B == 1) {
                return nullptr;
            } else if (scaled) {
                return is565 ? &MaskBlend<B, true, true> : &MaskBlend<B, false, true>;
            } else {
                return is565 ? &MaskBlend<B, true, false> : &MaskBlend<B, false, false>;
            }
    }
    return nullptr;
}

}  // namespace

BlitKernel ScalarKernel(int bytesPerPixel, Op op, bool scaled, bool is565, std::uint32_t flags) {
    switch (bytesPerPixel) {
        case 1:
            return PickFor<1>(op, scaled, false, flags);
        case 2:
            return PickFor<2>(op, scaled, is565, flags);
        case 3:
            return PickFor<3>(op, scaled, false, flags);
        case 4:
            return PickFor<4>(op, scaled, false, flags);
        default:
            return nullptr;
    }
}

}  // namespace tamboro::gfx::kernels
