#include "audio/output/CaptureBackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tamboro::audio {

CaptureBackend::CaptureBackend(std::unique_ptr<OutputBackend> inner, std::uint32_t ringBytes)
    : m_inner(std::move(inner)), m_ring(std::max<std::uint32_t>(ringBytes, 4096)) {}

bool CaptureBackend::Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames,
                          RenderFn render, void* context, std::uint32_t& grantedFrames) {
    m_render = render;
    m_context = context;
    m_head.store(0);
    m_tail.store(0);
    m_total.store(0);
    m_dropped.store(0);
    return m_inner->Open(index, format, wantFrames, &CaptureBackend::Tap, this, grantedFrames);
}

void CaptureBackend::Tap(void* self, std::uint8_t* out, std::uint32_t bytes) {
    auto& c = *static_cast<CaptureBackend*>(self);
    c.m_lastRender.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count(),
                         std::memory_order_release);
    c.m_render(c.m_context, out, bytes);
    const std::uint64_t tail = c.m_tail.load(std::memory_order_relaxed);
    const std::uint64_t head = c.m_head.load(std::memory_order_acquire);
    const std::uint64_t size = c.m_ring.size();
    c.m_total.fetch_add(bytes, std::memory_order_acq_rel);
    if (size - (tail - head) < bytes) {
        c.m_dropped.fetch_add(bytes, std::memory_order_relaxed);
        return;
    }
    // Two pieces where the ring wraps.
    const std::uint64_t at = tail % size;
    const auto first = static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, size - at));
    std::memcpy(c.m_ring.data() + at, out, first);
    std::memcpy(c.m_ring.data(), out + first, bytes - first);
    c.m_tail.store(tail + bytes, std::memory_order_release);
}

void CaptureBackend::Drain(std::vector<std::uint8_t>& out) {
    const std::uint64_t head = m_head.load(std::memory_order_relaxed);
    const std::uint64_t tail = m_tail.load(std::memory_order_acquire);
    const std::uint64_t size = m_ring.size();
    for (std::uint64_t at = head; at < tail;) {
        const std::uint64_t offset = at % size;
        const std::uint64_t take = std::min(tail - at, size - offset);
        out.insert(out.end(), m_ring.begin() + static_cast<std::ptrdiff_t>(offset),
                   m_ring.begin() + static_cast<std::ptrdiff_t>(offset + take));
        at += take;
    }
    m_head.store(tail, std::memory_order_release);
}

}  // namespace tamboro::audio
