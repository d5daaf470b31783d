#pragma once
// Pictures of the program's resources read by the toolkit: the buttons of
// the consoles and dialogs, and the cursors. They are 8-bit bitmaps stored
// under the resource type "BITMAP", with or without a file header.
#include <QCursor>
#include <QImage>
#include <string_view>

namespace tamboro::console {

// The picture named `name`, or a null image when there is none or it cannot
// be read. With `keyTransparent` the pixels of palette index 252 become
// fully transparent (the image is then ARGB).
QImage LoadSkinPicture(std::string_view name, bool keyTransparent = false);

// A cursor from the picture `name` with its hot spot, or `fallback` when the
// picture is missing.
QCursor LoadSkinCursor(std::string_view name, int hotX, int hotY, Qt::CursorShape fallback);

}  // namespace tamboro::console
