// Fuzzes PackedImage loading from memory, and everything a loaded picture
// can then be asked: decompress, lock, read pixels, draw, compress, convert.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Storage.h"
#include "gfx/DibSurface.h"
#include "gfx/PackedImage.h"

using namespace tamboro;
using namespace tamboro::gfx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    base::BorrowedStorage memory(bytes.data(), bytes.size());
    ImageSource source;
    source.memory = &memory;
    PackedImage image;
    if (image.Load(source, load::kFromMemory | load::kDecompress) != GfxResult::Ok) return 0;
    if (image.IsCompressed()) return 0;
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    image.GetPixel(w - 1, h - 1);
    image.SetPixel(0, 0, 0xFFFFFFFF);
    image.FillRect(w / 2, h / 2, w, h, 1);
    image.DrawLine(-5, -5, w + 5, h + 5, 2);
    if (static_cast<std::size_t>(w) * h <= 65536) {
        DibSurface surface;
        if (surface.Create(w, h, image.GetFormat()) == GfxResult::Ok) {
            image.sourceKey = 252;
            image.DrawTo(&surface, 1, 1, w, h, 0, 0, w, h, blit::kSourceKey | blit::kMirror, 0);
            image.DrawTo(&surface, 0, 0, 2 * w, h / 2 + 1, 0, 0, w, h, blit::kDissolve, 128);
        }
        PackedImage copy;
        if (copy.CopyFrom(&image) == GfxResult::Ok &&
            copy.Compress(image.GetFormat() == PixelFormat::Indexed8 ? kCodeArle : kCodePkcc) ==
                GfxResult::Ok) {
            copy.Decompress();
        }
        image.Convert(PixelFormat::Rgb565, nullptr, 0);
    }
    return 0;
}
