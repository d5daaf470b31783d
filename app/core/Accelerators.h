#pragma once
// The keyboard's four rows of five keys switch the twenty channels. Keys are
// matched by their physical place, not by the character they type: Shift+1
// reports '!' on one layout and '1' or something else on another, and an
// AZERTY keyboard has 'A' where QWERTY has 'Q'. The place is the key's XKB
// keycode, the same under X11 and Wayland; when the window system reports
// none (0), the key's unshifted character on a US layout stands in.
#include <cstdint>

namespace tamboro::app {

// Channel commands of the keys: plain toggles at once, Shift in time.
inline constexpr int kCmdChannelNow = 32797;     // + channel, 32797..32816
inline constexpr int kCmdChannelInTime = 32817;  // + channel, 32817..32836
inline constexpr int kChannelKeyCount = 20;

// Modifier bits of a key event.
inline constexpr std::uint32_t kModShift = 0x1;
inline constexpr std::uint32_t kModControl = 0x2;
inline constexpr std::uint32_t kModAlt = 0x4;
inline constexpr std::uint32_t kModMeta = 0x8;

// The channel (0..19) of the key at XKB keycode `scanCode`, -1 when that key
// switches no channel. Row by row: 1 2 3 4 5 / Q W E R T / A S D F G /
// Z X C V B in their US places.
int ChannelOfScanCode(std::uint32_t scanCode);
// The channel of a key by its character code (an upper-case ASCII letter or
// digit, or the US-shifted symbol of a digit such as '!'), -1 for others.
int ChannelOfKeyCode(int key);

// The command of a key press: kCmdChannelNow + channel, kCmdChannelInTime +
// channel with Shift, or 0 when the key is no channel key or Ctrl, Alt or
// Meta is held (those combinations belong to other shortcuts). `key` is
// used only when `scanCode` is 0.
int ChannelCommandForKey(std::uint32_t scanCode, int key, std::uint32_t modifiers);

// The XKB keycode of a channel's key (the inverse of ChannelOfScanCode).
std::uint32_t ScanCodeOfChannel(int channel);

}  // namespace tamboro::app
