#pragma once
// The flags of a blit (Image::Blit and the kernels that carry it out).
#include <cstdint>

namespace tamboro::gfx {

namespace blit {
inline constexpr std::uint32_t kSourceKey = 0x1;       // skip source pixels equal to sourceKey
inline constexpr std::uint32_t kDestKey = 0x2;         // draw only where dest equals destKey
inline constexpr std::uint32_t kMirror = 0x4;          // read the source right to left
inline constexpr std::uint32_t kFlip = 0x8;            // read the source rows bottom to top
inline constexpr std::uint32_t kDissolve = 0x10;       // ordered dither with the level
inline constexpr std::uint32_t kBlend = 0x20;          // blend with the level (8 bits: dissolve)
inline constexpr std::uint32_t kMaskBlend = 0x80;      // per-pixel level from a mask image
inline constexpr std::uint32_t kMaskDissolve = 0x100;  // per-pixel dissolve from a mask image
}  // namespace blit

}  // namespace tamboro::gfx
