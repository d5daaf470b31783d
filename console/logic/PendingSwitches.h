#pragma once
// The console's bookkeeping of in-time switches: at most one pending switch
// a channel, each carrying the channel's generation when it was asked for.
// Carrying out or cancelling a switch moves the generation on, so a report
// that arrives for an older generation is recognised as stale and dropped.
// User-interface thread only.
#include <array>
#include <cstdint>
#include <optional>

#include "console/logic/ConsoleLayout.h"

namespace tamboro::console {

class PendingSwitches {
  public:
    bool IsPending(int ch) const { return Valid(ch) && m_pending[Index(ch)]; }
    std::uint32_t Generation(int ch) const { return Valid(ch) ? m_generation[Index(ch)] : 0; }
    int PendingCount() const;

    // Marks the channel pending and answers the generation the switch
    // carries; nothing when the channel is already pending (a second
    // request neither cancels nor adds a switch) or the index is bad.
    std::optional<std::uint32_t> Schedule(int ch);
    // Drops the channel's pending switch: false when none was pending.
    bool Cancel(int ch);
    // A switch was carried out (or ended by its owner) for `generation`:
    // true when it is the channel's pending one, which is then cleared;
    // false for a stale or unknown report, which changes nothing.
    bool Complete(int ch, std::uint32_t generation);
    // Forgets every pending switch (all generations move on).
    void ClearAll();

  private:
    static bool Valid(int ch) { return ch >= 0 && ch < kChannels; }
    static std::size_t Index(int ch) { return static_cast<std::size_t>(ch); }
    std::array<bool, kChannels> m_pending{};
    std::array<std::uint32_t, kChannels> m_generation{};
};

}  // namespace tamboro::console
