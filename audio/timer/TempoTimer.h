#pragma once
// Millisecond stopwatches and delayed posted messages.
//
// Stopwatches read a monotonic millisecond counter (steady_clock) kept as a
// 32-bit value; Elapsed subtracts modulo 2^32, so a wrap of the counter is
// crossed correctly for spans below 49.7 days.
//
// Delayed posts are served by one scheduler thread of the timer's own. A
// delay longer than periodMax is served as a chain of one-shot events of
// periodMax each, the last one carrying the rest; the message is posted from
// the scheduler thread through platform::MessageTarget::Post and arrives in
// the target's queue like any posted message.
//
//   periodMin = 1 ms: the scheduler sleeps on a steady_clock deadline, so any
//               whole millisecond can be armed.
//   periodMax = 1000000 ms (about 16.7 minutes): longer delays are chained.
//               The limit is kept so that the chaining rule stays exercised;
//               tests inject a small periodMax.
//
// Threads: every member is for the owner thread; the scheduler thread only
// touches its own records. Destroying the timer cancels everything and joins
// the scheduler thread, so a target outlives the timer when it is declared
// before it (destroyed after it). Never destroy the timer from inside a
// posted message's handler that runs on the scheduler thread (there is none:
// handlers run on the target's owner thread).
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>

#include "platform/Messages.h"

namespace tamboro::audio {

class TimerScheduler;

class TempoTimer {
  public:
    static constexpr std::uint32_t kPeriodMin = 1;
    static constexpr std::uint32_t kPeriodMax = 1000000;
    static constexpr int kStopwatchCount = 10;

    // A millisecond counter; the default reads steady_clock.
    using Clock = std::uint32_t (*)();

    // resolution = max(requestedResolution, periodMin). The console asks for
    // 2 ms, other owners for 5 ms. `periodMax` and `clock` are for tests.
    explicit TempoTimer(std::uint32_t requestedResolution, std::uint32_t periodMax = kPeriodMax,
                        Clock clock = nullptr);
    // CancelAll, then joins the scheduler thread.
    ~TempoTimer();
    TempoTimer(const TempoTimer&) = delete;
    TempoTimer& operator=(const TempoTimer&) = delete;

    // The lowest free stopwatch 0..9 (its start is not touched), or -1.
    int AllocSlot();
    // Frees a valid, used slot; anything else is ignored.
    void FreeSlot(int slot);
    // Milliseconds since the slot's start modulo 2^32; 0 for an invalid or
    // free slot.
    std::uint32_t Elapsed(int slot) const;
    // start = now (valid, used slots only).
    void Restart(int slot);
    // start = now - ms, so that Elapsed reads ms at once (valid, used slots).
    void SetElapsed(int slot, std::uint32_t ms);

    // Posts (message, w, l) to `target` after delayMs milliseconds. A delay
    // below 1 posts at once and returns Post's result (1/0) without
    // recording anything. Otherwise returns 1 once the post is scheduled, 0
    // when there is no target. Records of messages already posted are
    // dropped first.
    int PostAfter(platform::MessageTarget* target, std::uint32_t message, platform::WParam w,
                  platform::LParam l, std::uint32_t delayMs);
    // Cancels every pending post; none of them will be posted afterwards.
    void CancelAll();

    std::uint32_t Resolution() const { return m_resolution; }
    std::uint32_t PeriodMin() const { return kPeriodMin; }
    std::uint32_t PeriodMax() const { return m_periodMax; }
    // Records not yet cleaned up (posted ones stay until the next PostAfter).
    std::size_t PendingCount() const { return m_pending.size(); }
    // One-shot events armed since construction (first events and chained
    // ones); for tests of the chaining.
    std::uint64_t EventsArmed() const;

    // The process's monotonic millisecond counter, 32 bits.
    static std::uint32_t NowMs();

    struct DelayedPost {
        platform::MessageTarget* target;
        std::uint32_t message;
        platform::WParam wParam;
        platform::LParam lParam;
        // 0 once the message has been posted. written: scheduler and owner
        // (when armed/cancelled); read: owner.
        std::atomic<std::uint32_t> timerId{0};
        // Milliseconds still to wait after the event now armed. written and
        // read: scheduler thread (under its lock).
        std::uint32_t remaining = 0;
        std::uint32_t resolution = 0;
        std::uint32_t periodMax = 0;
    };

  private:
    std::uint32_t Now() const { return m_clock(); }

    std::uint32_t m_start[kStopwatchCount];
    bool m_inUse[kStopwatchCount];
    std::uint32_t m_resolution;
    std::uint32_t m_periodMax;
    Clock m_clock;
    std::list<std::unique_ptr<DelayedPost>> m_pending;
    std::unique_ptr<TimerScheduler> m_scheduler;  // last: stopped first
};

}  // namespace tamboro::audio
