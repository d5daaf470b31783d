#include "engine/MeterWindow.h"

#include <algorithm>
#include <cmath>

namespace tamboro::engine {

MeterWindow::MeterWindow() : m_samples(kMaxFrames) {
    for (Queue& q : m_min)
        q.entries.resize(kMaxFrames);
    for (Queue& q : m_max)
        q.entries.resize(kMaxFrames);
    Reset(1);
}

void MeterWindow::Reset(std::uint32_t frames) {
    m_frames = std::clamp<std::uint32_t>(frames, 1, kMaxFrames);
    m_count = 0;
    m_write = 0;
    m_sumSquares = {};
    for (Queue& q : m_min)
        q.head = q.size = 0;
    for (Queue& q : m_max)
        q.head = q.size = 0;
}

void MeterWindow::PopFront(Queue& q) const {
    q.head = Wrap(q.head + 1);
    --q.size;
}

void MeterWindow::PushMin(Queue& q, int side, std::uint16_t slot, int value) const {
    // A later frame as small or smaller outlives this one in the window, so
    // this one can never be the minimum again.
    while (q.size > 0 && m_samples[Back(q)][static_cast<std::size_t>(side)] >= value)
        --q.size;
    q.entries[Wrap(q.head + q.size)] = slot;
    ++q.size;
}

void MeterWindow::PushMax(Queue& q, int side, std::uint16_t slot, int value) const {
    while (q.size > 0 && m_samples[Back(q)][static_cast<std::size_t>(side)] <= value)
        --q.size;
    q.entries[Wrap(q.head + q.size)] = slot;
    ++q.size;
}

void MeterWindow::Add(int left, int right) {
    const auto slot = static_cast<std::uint16_t>(m_write);
    const std::array<std::int16_t, 2> values = {
        static_cast<std::int16_t>(std::clamp(left, -32768, 32767)),
        static_cast<std::int16_t>(std::clamp(right, -32768, 32767))};
    if (m_count == m_frames) {
        // The oldest frame sits in this slot; it leaves the window. Being the
        // oldest, it can only be at the front of a queue.
        for (std::size_t c = 0; c < 2; ++c) {
            const std::int64_t old = m_samples[m_write][c];
            m_sumSquares[c] -= old * old;
            if (m_min[c].size > 0 && Front(m_min[c]) == slot) PopFront(m_min[c]);
            if (m_max[c].size > 0 && Front(m_max[c]) == slot) PopFront(m_max[c]);
        }
    } else {
        ++m_count;
    }
    m_samples[m_write] = values;
    for (std::size_t c = 0; c < 2; ++c) {
        const std::int64_t v = values[c];
        m_sumSquares[c] += v * v;
        PushMin(m_min[c], static_cast<int>(c), slot, values[c]);
        PushMax(m_max[c], static_cast<int>(c), slot, values[c]);
    }
    m_write = Wrap(m_write + 1);
}

int MeterWindow::Min(int side) const {
    const Queue& q = m_min[side == 0 ? 0 : 1];
    return q.size == 0 ? 0 : m_samples[Front(q)][side == 0 ? 0 : 1];
}

int MeterWindow::Max(int side) const {
    const Queue& q = m_max[side == 0 ? 0 : 1];
    return q.size == 0 ? 0 : m_samples[Front(q)][side == 0 ? 0 : 1];
}

std::uint16_t MeterWindow::Rms(int side) const {
    if (m_count == 0) return 0;
    const double mean = static_cast<double>(m_sumSquares[side == 0 ? 0 : 1]) / m_count;
    return static_cast<std::uint16_t>(std::min(32768.0, std::sqrt(mean)));
}

}  // namespace tamboro::engine
