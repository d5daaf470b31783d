#pragma once
// Turns the painted pictures into the program's 8-bit bitmaps: one palette
// per console and theme (BACK's colour table is the console palette), the
// pixels mapped onto it, the bitmaps packed where their reader decodes the
// packing and it pays, and everything written with the transparency masks,
// a manifest and the source that embeds the files into the program.
#include <string>
#include <vector>

#include "gfx/ColorQuantizer.h"
#include "tools/skins/Pictures.h"

namespace tamboro::skins {

struct Encoded {
    console::layout::SkinImage entry;
    std::string group;  // pictures of one group share the palette
    gfx::Palette256 palette;
    std::vector<std::uint8_t> indices;      // top row first, width × height
    std::vector<std::uint8_t> transparent;  // as painted (empty: none meant)
    std::vector<std::uint8_t> file;         // the bitmap file
    std::string packing;                    // "plain", "PRLE" or "RLE8"
};

// The palette group of a picture: TAMBOROTM<t>, PROTM<t>, GENTM<t>, or one
// of the theme-free groups.
std::string PaletteGroup(const console::layout::SkinImage& entry);

std::vector<Encoded> Encode(const std::vector<Picture>& pictures);

// Writes bmp/<NAME>.bmp, masks/<NAME>.pbm for masked pictures, manifest.txt
// and SkinResources.cpp (the embedding source) under `folder`. Files whose
// bytes did not change are left untouched. False on a write error.
bool WriteOutputs(const std::vector<Encoded>& images, const std::string& folder);

}  // namespace tamboro::skins
