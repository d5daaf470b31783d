#pragma once
// Little- and big-endian integers of 16, 24, 32 and 64 bits in byte buffers:
// every file format here (RIFF, AIFF, AU, bitmaps, the archive, MEMO blocks,
// the song file) reads and writes its fields through these.
//
//   LoadLe<32>(p), StoreBe<16>(p, v)   at a pointer the caller has checked
//   AppendLe<32>(out, v)               at the end of a growing vector
//   ByteCursor                         for parsers over a byte view with a
//                                      known end: a field that would cross
//                                      the end is refused, never read
//
// The 24-bit forms take and give the low 24 bits of a 32-bit value.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace tamboro::base {

// The unsigned type that holds a field of `Bits` bits.
template <int Bits>
using FieldType = std::conditional_t<
    Bits == 8, std::uint8_t,
    std::conditional_t<Bits == 16, std::uint16_t,
                       std::conditional_t<Bits == 64, std::uint64_t, std::uint32_t>>>;

namespace byteorder_detail {

template <int Bits>
constexpr bool kSupported = Bits == 8 || Bits == 16 || Bits == 24 || Bits == 32 || Bits == 64;

template <typename T>
T Swap(T v) {
    if constexpr (sizeof(T) == 1) return v;
    if constexpr (sizeof(T) == 2) return static_cast<T>(__builtin_bswap16(v));
    if constexpr (sizeof(T) == 4) return static_cast<T>(__builtin_bswap32(v));
    if constexpr (sizeof(T) == 8) return static_cast<T>(__builtin_bswap64(v));
}

template <int Bits, std::endian Order>
FieldType<Bits> Load(const std::uint8_t* p) {
    static_assert(kSupported<Bits>);
    using T = FieldType<Bits>;
    if constexpr (Bits == 24) {
        const T lo = Order == std::endian::little ? p[0] : p[2];
        const T hi = Order == std::endian::little ? p[2] : p[0];
        return lo | static_cast<T>(p[1]) << 8 | hi << 16;
    } else {
        T v;
        std::memcpy(&v, p, sizeof v);
        return Order == std::endian::native ? v : Swap(v);
    }
}

template <int Bits, std::endian Order>
void Store(std::uint8_t* p, FieldType<Bits> v) {
    static_assert(kSupported<Bits>);
    if constexpr (Bits == 24) {
        p[Order == std::endian::little ? 0 : 2] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[Order == std::endian::little ? 2 : 0] = static_cast<std::uint8_t>(v >> 16);
    } else {
        if (Order != std::endian::native) v = Swap(v);
        std::memcpy(p, &v, sizeof v);
    }
}

}  // namespace byteorder_detail

// --- At a checked pointer ---------------------------------------------------

template <int Bits>
FieldType<Bits> LoadLe(const std::uint8_t* p) {
    return byteorder_detail::Load<Bits, std::endian::little>(p);
}
template <int Bits>
FieldType<Bits> LoadBe(const std::uint8_t* p) {
    return byteorder_detail::Load<Bits, std::endian::big>(p);
}
template <int Bits>
void StoreLe(std::uint8_t* p, FieldType<Bits> v) {
    byteorder_detail::Store<Bits, std::endian::little>(p, v);
}
template <int Bits>
void StoreBe(std::uint8_t* p, FieldType<Bits> v) {
    byteorder_detail::Store<Bits, std::endian::big>(p, v);
}

// --- At the end of a vector -------------------------------------------------

template <int Bits>
void AppendLe(std::vector<std::uint8_t>& out, FieldType<Bits> v) {
    out.resize(out.size() + Bits / 8);
    StoreLe<Bits>(out.data() + out.size() - Bits / 8, v);
}
template <int Bits>
void AppendBe(std::vector<std::uint8_t>& out, FieldType<Bits> v) {
    out.resize(out.size() + Bits / 8);
    StoreBe<Bits>(out.data() + out.size() - Bits / 8, v);
}

// --- Inside a byte view with a known end ------------------------------------

// Whether `size` bytes at offset `at` lie inside `bytes` (no overflow for any
// `at` or `size`).
inline bool Fits(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    return at <= bytes.size() && size <= bytes.size() - at;
}

// Reads fields one after another from a byte view. A read that would cross
// the end yields 0, reads nothing and leaves the cursor failed for good, so a
// parser reads a whole record and checks Ok() once.
class ByteCursor {
  public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes, std::size_t at = 0)
        : m_bytes(bytes), m_pos(at), m_ok(at <= bytes.size()) {}

    bool Ok() const { return m_ok; }
    std::size_t Position() const { return m_pos; }
    // Bytes left before the end (0 once failed).
    std::size_t Remaining() const { return m_ok ? m_bytes.size() - m_pos : 0; }

    template <int Bits>
    FieldType<Bits> Le() {
        return Take<Bits>() ? LoadLe<Bits>(m_bytes.data() + m_pos - Bits / 8) : 0;
    }
    template <int Bits>
    FieldType<Bits> Be() {
        return Take<Bits>() ? LoadBe<Bits>(m_bytes.data() + m_pos - Bits / 8) : 0;
    }
    // Moves past `n` bytes; fails like a read when they are not there.
    bool Skip(std::size_t n) {
        m_ok = m_ok && Fits(m_bytes, m_pos, n);
        if (m_ok) m_pos += n;
        return m_ok;
    }

  private:
    template <int Bits>
    bool Take() {
        static_assert(byteorder_detail::kSupported<Bits>);
        return Skip(Bits / 8);
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos;
    bool m_ok;
};

}  // namespace tamboro::base
