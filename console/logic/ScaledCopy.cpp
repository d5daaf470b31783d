#include "console/logic/ScaledCopy.h"

#include <algorithm>
#include <cstring>

namespace tamboro::console {

void ScaledCopy::Resize(int width, int height, int k) {
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_k = std::clamp(k, 1, 4);
    m_pixels.assign(static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height()),
                    0xFF000000u);
}

void ScaledCopy::Update(gfx::DibSurface& source, const layout::Rect& r) {
    if (source.GetFormat() != gfx::PixelFormat::Indexed8 || source.GetWidth() != m_width ||
        source.GetHeight() != m_height) {
        return;
    }
    const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    const int x1 = std::min(r.Right(), m_width), y1 = std::min(r.Bottom(), m_height);
    if (x1 <= x0 || y1 <= y0) return;
    const gfx::DrawContext* dc = source.GetDC();  // applies a changed palette first
    if (dc == nullptr || dc->colours == nullptr) return;
    std::uint32_t lut[256];
    for (int i = 0; i < 256; ++i) {
        const gfx::RgbQuad q = i < dc->colourCount ? dc->colours[i] : gfx::RgbQuad{};
        lut[i] = 0xFF000000u | std::uint32_t{q.red} << 16 | std::uint32_t{q.green} << 8 | q.blue;
    }
    const int k = m_k;
    const auto pitch = static_cast<std::size_t>(Width());
    const std::size_t rowBytes =
        static_cast<std::size_t>(x1 - x0) * static_cast<std::size_t>(k) * 4;
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* src = dc->pixels + static_cast<std::size_t>(y) * dc->pitch;
        std::uint32_t* row = m_pixels.data() + static_cast<std::size_t>(y * k) * pitch +
                             static_cast<std::size_t>(x0 * k);
        std::uint32_t* out = row;
        switch (k) {
            case 1:
                for (int x = x0; x < x1; ++x)
                    *out++ = lut[src[x]];
                break;
            case 2:
                for (int x = x0; x < x1; ++x) {
                    const std::uint32_t c = lut[src[x]];
                    out[0] = c;
                    out[1] = c;
                    out += 2;
                }
                break;
            case 3:
                for (int x = x0; x < x1; ++x) {
                    const std::uint32_t c = lut[src[x]];
                    out[0] = c;
                    out[1] = c;
                    out[2] = c;
                    out += 3;
                }
                break;
            default:
                for (int x = x0; x < x1; ++x) {
                    const std::uint32_t c = lut[src[x]];
                    for (int i = 0; i < k; ++i)
                        *out++ = c;
                }
                break;
        }
        for (int j = 1; j < k; ++j)
            std::memcpy(row + static_cast<std::size_t>(j) * pitch, row, rowBytes);
    }
}

}  // namespace tamboro::console
