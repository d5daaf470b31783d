#pragma once
// The root object of the graphics library. One exists per program; a global
// pointer names the current one. While it exists, every image, palette and
// clip region registers itself with it, and its destructor deletes those that
// are still alive (owners therefore delete their own objects first). Objects
// made while no system exists are never registered.
//
// User-interface thread only; nothing here locks.
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>

#include "gfx/GfxResult.h"

namespace tamboro::gfx {

class Image;
class Palette;
class ClipRegion;
class DibSurface;
class Display;

// Init flags.
inline constexpr std::uint32_t kGfxNoSimd = 0x1;  // never use the fast kernels

class GfxSystem {
  public:
    // Makes this the current system, then Init(flags).
    explicit GfxSystem(std::uint32_t flags = 0);
    // Deletes every registered image (first one first, each unlinks itself),
    // then every palette, then every clip region; clears the global pointer.
    virtual ~GfxSystem();
    GfxSystem(const GfxSystem&) = delete;
    GfxSystem& operator=(const GfxSystem&) = delete;

    // Flags bit 0 forces the plain kernels; otherwise the fast kernels are
    // allowed when the processor has SSE2. Answers 0.
    virtual GfxResult Init(std::uint32_t flags);
    // A new, empty DibSurface (owned by the caller).
    virtual std::unique_ptr<DibSurface> NewSurface();
    // A new, closed Display (owned by the caller); the only maker of one.
    virtual std::unique_ptr<Display> NewDisplay();

    // The current system or null.
    static GfxSystem* Current();

    // True when the blitter may use its SIMD kernels (also requires
    // platform::ForcePlainKernels() to be false at the time of the blit).
    bool Simd() const { return m_simd; }
    // True when the processor (and system) also allow the AVX2 kernels.
    bool Avx2() const { return m_avx2; }

    std::size_t ImageCount() const { return m_images.size(); }
    std::size_t PaletteCount() const { return m_palettes.size(); }
    std::size_t ClipCount() const { return m_clips.size(); }

  private:
    friend class Image;
    friend class Palette;
    friend class ClipRegion;

    bool m_simd = false;
    bool m_avx2 = false;
    std::list<Image*> m_images;
    std::list<Palette*> m_palettes;
    std::list<ClipRegion*> m_clips;
};

// Which kernels the blitter takes right now: 0 plain, 1 SSE2, 2 AVX2. Plain
// without a system, with SIMD switched off, or with the plain kernels forced.
int SimdLevel();

}  // namespace tamboro::gfx
