#pragma once
// Paints every picture of the program as true colour, before palettes:
// each picture with its name, its pixels and, for pictures drawn masked, which
// pixels are meant to be transparent.
#include <QImage>
#include <string>
#include <vector>

#include "console/layout/SkinImages.h"

namespace tamboro::skins {

struct Picture {
    console::layout::SkinImage entry;
    QImage pixels;                          // Format_RGB32, the picture's size
    std::vector<std::uint8_t> transparent;  // one byte a pixel (1 = transparent), or empty
    // Where the console draws the picture over its BACK (-1: nowhere fixed).
    // Pixels equal to BACK's there take BACK's palette index, so a picture
    // that carries its background matches it to the index.
    int placeX = -1;
    int placeY = -1;
};

// All pictures of theme t (0..3), in the order of ThemeImages(t).
std::vector<Picture> PaintTheme(int theme);
// The theme-free pictures, in the order of SharedImages().
std::vector<Picture> PaintShared();
// The program icon at any size (ARGB), for the icon theme's PNG files, and as SVG text.
QImage PaintIcon(int size);
std::string IconSvg();

}  // namespace tamboro::skins
