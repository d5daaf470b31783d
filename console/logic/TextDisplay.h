#pragma once
// The lines of the console's text panel and the pad tooltips. Texts are
// UTF-8; the ids are the string table's.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/layout/ConsoleLayout.h"

namespace tamboro::console {

inline constexpr unsigned kStringEmpty = 137;        // "Vuoto"
inline constexpr unsigned kStringVolume = 153;       // "Volume"
inline constexpr unsigned kStringBalance = 154;      // "Bal"
inline constexpr unsigned kStringRecording = 155;    // "Stò registrando....."
inline constexpr unsigned kStringPlayingBack = 156;  // "Stò suonando....."

// One piece of text at its top-left corner in console pixels.
struct TextItem {
    int x = 0;
    int y = 0;
    std::string text;
    bool operator==(const TextItem&) const = default;
};

inline constexpr int kTextLeft = layout::kTextLines[0].x;
inline constexpr int kTextNumberLeft = layout::kTextNumberX;
inline constexpr int kTextLineTop[3] = {layout::kTextLines[0].y, layout::kTextLines[1].y,
                                        layout::kTextLines[2].y};

// What the panel shows.
struct TextPanelState {
    enum class Mix { None, Recording, PlayingBack } mix = Mix::None;
    std::uint32_t blinkCounter = 0;
    std::uint32_t mixTimeMs = 0;  // elapsed recording or playback time
    int channel = 0;              // the current channel, 0..19
    bool channelEmpty = true;
    std::string channelName;
    int volume = 0;  // live attenuation
    int pan = 0;     // live pan
};

// The pieces of text the panel shows for `state`, in drawing order.
std::vector<TextItem> ComposeTextPanel(const TextPanelState& state);

// The name as the panel shows it: upper case (ASCII and Latin-1 letters),
// cut to its first 16 characters.
std::string PanelName(std::string_view name);

// A pad's tooltip: the channel's name, or "Vuoto" for an empty channel.
std::string TooltipText(bool channelEmpty, std::string_view name);

}  // namespace tamboro::console
