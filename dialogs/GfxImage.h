#pragma once
// Graphics-library pictures as Qt images.
#include <QImage>

#include "gfx/Image.h"

namespace tamboro::dialogs {

// A Qt image over a drawing context's pixels, without copying them (valid
// while the pixels are; bottom-up pictures are copied upright). Null for
// formats Qt cannot show.
QImage WrapPixels(const gfx::DrawContext& pixels);
// A deep copy of an image's picture; null when it has no pixels.
QImage ToQImage(gfx::Image* image);

}  // namespace tamboro::dialogs
