#pragma once
// Small distinct types for the quantities the live mix keeps apart: sample
// frames, bytes and milliseconds. Each wraps one unsigned count; mixing them
// up is a compile error, and conversions between them are written out where
// a rate or a frame size is known.
#include <compare>
#include <cstdint>

namespace tamboro::engine {

template <typename Tag, typename Rep>
struct Quantity {
    Rep count = 0;

    constexpr Quantity() = default;
    constexpr explicit Quantity(Rep n) : count(n) {}
    friend constexpr auto operator<=>(Quantity, Quantity) = default;
    friend constexpr Quantity operator+(Quantity a, Quantity b) {
        return Quantity(a.count + b.count);
    }
    friend constexpr Quantity operator-(Quantity a, Quantity b) {
        return Quantity(a.count - b.count);
    }
};

struct FramesTag {};
struct BytesTag {};
struct MillisTag {};

// Sample frames (one sample per output channel).
using Frames = Quantity<FramesTag, std::uint64_t>;
// Bytes of a sample buffer.
using Bytes = Quantity<BytesTag, std::uint64_t>;
// Milliseconds of mix time (the unit of recorded events).
using Millis = Quantity<MillisTag, std::uint32_t>;

// Frames at `rate` in `ms` milliseconds, rounded down.
constexpr Frames FramesIn(Millis ms, std::uint32_t rate) {
    return Frames(std::uint64_t{ms.count} * rate / 1000);
}
// Milliseconds that `frames` last at `rate`, rounded down (0 for rate 0).
constexpr Millis MillisOf(Frames frames, std::uint32_t rate) {
    return Millis(rate == 0 ? 0u : static_cast<std::uint32_t>(frames.count * 1000 / rate));
}

}  // namespace tamboro::engine
