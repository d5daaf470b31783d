#pragma once
// Pictures for reviewing the art without the program: per theme a contact
// sheet of every picture and the two consoles composed as the program draws
// them (pads in all four states, knobs at several angles, a lit meter, a
// master position, text in the panels).
#include <string>
#include <vector>

#include "tools/skins/Output.h"

namespace tamboro::skins {

// Writes contact-<t>.png, console-<t>.png and pro-<t>.png for t = 1..4, and
// shared.png, into `folder`. False on a write error.
bool WriteReview(const std::vector<Encoded>& images, const std::string& folder);

// Writes icons/<n>x<n>/apps/tamboro.png and icons/scalable/apps/tamboro.svg.
bool WriteIcons(const std::string& folder);

}  // namespace tamboro::skins
