#pragma once
// The skin pictures, painted at build time by tools/skins and embedded into
// the program: every bitmap of the four colour themes and the theme-free
// ones, under the resource type "BITMAP" (see console/layout/SkinImages.h for
// the names and sizes).
#include <cstddef>

#include "platform/Resources.h"

// The generated table (build tree: skins/SkinResources.cpp).
const tamboro::platform::ResourceEntry* TamboroSkinResources(std::size_t* count);

namespace tamboro::resources {

// Makes the skin pictures findable through platform::FindResource (and so
// through the graphics library's resource loader). The program calls it
// once at start; later calls do nothing. Thread-safe.
void RegisterSkinResources();

}  // namespace tamboro::resources
