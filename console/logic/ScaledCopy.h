#pragma once
// The true-colour copy of an 8-bit picture that the window shows, enlarged
// by a whole factor k: every source pixel becomes a k x k block, so nothing
// is resampled. Only the rectangles that changed are converted again.
// Pixels are 0xFFRRGGBB words (the toolkit's 32-bit RGB layout).
#include <cstdint>
#include <vector>

#include "console/layout/ConsoleLayout.h"
#include "gfx/DibSurface.h"

namespace tamboro::console {

class ScaledCopy {
  public:
    // A black copy of a width x height picture at factor k (1..4).
    void Resize(int width, int height, int k);
    int Scale() const { return m_k; }
    int Width() const { return m_width * m_k; }    // device pixels
    int Height() const { return m_height * m_k; }  // device pixels
    const std::uint32_t* Pixels() const { return m_pixels.data(); }
    std::uint32_t* Pixels() { return m_pixels.data(); }
    std::size_t PitchBytes() const { return static_cast<std::size_t>(Width()) * 4; }

    // Converts rectangle r (source pixels, clipped) of `source`, an 8-bit
    // surface of the copy's size, with its colour table.
    void Update(gfx::DibSurface& source, const layout::Rect& r);

  private:
    int m_width = 0;
    int m_height = 0;
    int m_k = 1;
    std::vector<std::uint32_t> m_pixels;
};

}  // namespace tamboro::console
