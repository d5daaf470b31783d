#include "app/core/Accelerators.h"

#include <array>

namespace tamboro::app {
namespace {

// XKB keycodes are the kernel's evdev codes plus 8. Evdev: 2..6 are 1..5,
// 16..20 Q..T, 30..34 A..G, 44..48 Z..B.
constexpr std::uint32_t kXkbOffset = 8;
constexpr std::array<std::uint32_t, 4> kRowStart = {2 + kXkbOffset, 16 + kXkbOffset,
                                                    30 + kXkbOffset, 44 + kXkbOffset};
constexpr char kKeys[] = "12345QWERTASDFGZXCVB";
constexpr char kShiftedDigits[] = "!@#$%";

}  // namespace

int ChannelOfScanCode(std::uint32_t scanCode) {
    for (std::size_t row = 0; row < kRowStart.size(); ++row) {
        if (scanCode >= kRowStart[row] && scanCode < kRowStart[row] + 5)
            return static_cast<int>(row * 5 + (scanCode - kRowStart[row]));
    }
    return -1;
}

std::uint32_t ScanCodeOfChannel(int channel) {
    if (channel < 0 || channel >= kChannelKeyCount) return 0;
    return kRowStart[static_cast<std::size_t>(channel / 5)] +
           static_cast<std::uint32_t>(channel % 5);
}

int ChannelOfKeyCode(int key) {
    if (key >= 'a' && key <= 'z') key -= 'a' - 'A';
    for (int i = 0; i < kChannelKeyCount; ++i) {
        if (kKeys[i] == key) return i;
    }
    for (int i = 0; i < 5; ++i) {
        if (kShiftedDigits[i] == key) return i;
    }
    return -1;
}

int ChannelCommandForKey(std::uint32_t scanCode, int key, std::uint32_t modifiers) {
    if ((modifiers & (kModControl | kModAlt | kModMeta)) != 0) return 0;
    const int channel = scanCode != 0 ? ChannelOfScanCode(scanCode) : ChannelOfKeyCode(key);
    if (channel < 0) return 0;
    return ((modifiers & kModShift) != 0 ? kCmdChannelInTime : kCmdChannelNow) + channel;
}

}  // namespace tamboro::app
