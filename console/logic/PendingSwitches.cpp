#include "console/logic/PendingSwitches.h"

namespace tamboro::console {

int PendingSwitches::PendingCount() const {
    int n = 0;
    for (bool p : m_pending)
        n += p ? 1 : 0;
    return n;
}

std::optional<std::uint32_t> PendingSwitches::Schedule(int ch) {
    if (!Valid(ch) || m_pending[Index(ch)]) return std::nullopt;
    m_pending[Index(ch)] = true;
    return m_generation[Index(ch)];
}

bool PendingSwitches::Cancel(int ch) {
    if (!IsPending(ch)) return false;
    m_pending[Index(ch)] = false;
    ++m_generation[Index(ch)];
    return true;
}

bool PendingSwitches::Complete(int ch, std::uint32_t generation) {
    if (!IsPending(ch) || m_generation[Index(ch)] != generation) return false;
    m_pending[Index(ch)] = false;
    ++m_generation[Index(ch)];
    return true;
}

void PendingSwitches::ClearAll() {
    for (int ch = 0; ch < kChannels; ++ch)
        Cancel(ch);
}

}  // namespace tamboro::console
