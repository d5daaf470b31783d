#include "audio/timer/TempoTimer.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace tamboro::audio {

using SteadyClock = std::chrono::steady_clock;

// One thread serving one-shot events in due order. Events fire with the
// scheduler's lock held, so Kill guarantees that a killed event's callback
// is neither running nor going to run.
class TimerScheduler {
  public:
    TimerScheduler() : m_thread([this] { Run(); }) {}
    ~TimerScheduler() {
        {
            std::lock_guard guard(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    // Arms `record`'s next event after delayMs; returns the event id.
    std::uint32_t Arm(TempoTimer::DelayedPost* record, std::uint32_t delayMs) {
        std::lock_guard guard(m_mutex);
        const std::uint32_t id = ArmLocked(record, delayMs);
        m_wake.notify_all();
        return id;
    }

    // Removes the record's armed event. Events fire under the lock, so once
    // this returns the record's callback is neither running nor due, and a
    // chain cannot re-arm behind the caller's back.
    void Kill(const TempoTimer::DelayedPost* record) {
        std::lock_guard guard(m_mutex);
        std::erase_if(m_events, [record](const auto& e) { return e.second.record == record; });
    }

    std::uint64_t Armed() const { return m_armed.load(std::memory_order_relaxed); }

  private:
    struct Event {
        std::uint32_t id;
        TempoTimer::DelayedPost* record;
    };

    std::uint32_t ArmLocked(TempoTimer::DelayedPost* record, std::uint32_t delayMs) {
        // 0 means "posted"; all ones marks an event being armed.
        if (++m_nextId == 0 || m_nextId == ~std::uint32_t{0}) m_nextId = 1;
        const auto due = SteadyClock::now() + std::chrono::milliseconds(delayMs);
        m_events.emplace(due, Event{m_nextId, record});
        m_armed.fetch_add(1, std::memory_order_relaxed);
        return m_nextId;
    }

    // The event callback: post, or re-arm for the rest of a long delay.
    void Fire(TempoTimer::DelayedPost* r) {
        if (r->remaining == 0) {
            r->target->Post(r->message, r->wParam, r->lParam);
            r->timerId.store(0, std::memory_order_release);
        } else if (r->remaining <= r->periodMax) {
            r->timerId.store(ArmLocked(r, r->remaining), std::memory_order_release);
            r->remaining = 0;
        } else {
            r->remaining -= r->periodMax;
            r->timerId.store(ArmLocked(r, r->periodMax), std::memory_order_release);
        }
    }

    void Run() {
        RaisePriority();
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            if (m_events.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const auto due = m_events.begin()->first;
            if (SteadyClock::now() < due) {
                m_wake.wait_until(lock, due);
                continue;
            }
            const Event e = m_events.begin()->second;
            m_events.erase(m_events.begin());
            Fire(e.record);
        }
    }

    // Delayed posts are due within a millisecond or two, also when every core
    // is busy: ask for a modest real-time priority (the thread only sleeps and
    // posts). Without the right to it the thread keeps its normal priority.
    static void RaisePriority() {
        sched_param param{};
        param.sched_priority = std::min(10, sched_get_priority_max(SCHED_FIFO));
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::multimap<SteadyClock::time_point, Event> m_events;  // guarded by m_mutex
    std::uint32_t m_nextId = 0;                              // guarded by m_mutex
    bool m_quit = false;                                     // guarded by m_mutex
    std::atomic<std::uint64_t> m_armed{0};
    std::thread m_thread;  // last: starts after the members above exist
};

std::uint32_t TempoTimer::NowMs() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        SteadyClock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

TempoTimer::TempoTimer(std::uint32_t requestedResolution, std::uint32_t periodMax, Clock clock)
    : m_resolution(std::max(requestedResolution, kPeriodMin)),
      m_periodMax(std::max(periodMax, kPeriodMin)),
      m_clock(clock ? clock : &TempoTimer::NowMs),
      m_scheduler(std::make_unique<TimerScheduler>()) {
    const std::uint32_t now = Now();
    std::fill(std::begin(m_start), std::end(m_start), now);
    std::fill(std::begin(m_inUse), std::end(m_inUse), false);
}

TempoTimer::~TempoTimer() {
    CancelAll();
    m_scheduler.reset();
}

int TempoTimer::AllocSlot() {
    for (int i = 0; i < kStopwatchCount; ++i) {
        if (!m_inUse[i]) {
            m_inUse[i] = true;
            return i;
        }
    }
    return -1;
}

void TempoTimer::FreeSlot(int slot) {
    if (slot >= 0 && slot < kStopwatchCount) m_inUse[slot] = false;
}

std::uint32_t TempoTimer::Elapsed(int slot) const {
    if (slot < 0 || slot >= kStopwatchCount || !m_inUse[slot]) return 0;
    return Now() - m_start[slot];  // modulo 2^32 by unsigned arithmetic
}

void TempoTimer::Restart(int slot) {
    if (slot >= 0 && slot < kStopwatchCount && m_inUse[slot]) m_start[slot] = Now();
}

void TempoTimer::SetElapsed(int slot, std::uint32_t ms) {
    if (slot >= 0 && slot < kStopwatchCount && m_inUse[slot]) m_start[slot] = Now() - ms;
}

int TempoTimer::PostAfter(platform::MessageTarget* target, std::uint32_t message,
                          platform::WParam w, platform::LParam l, std::uint32_t delayMs) {
    // Drop the records whose message went out.
    m_pending.remove_if(
        [](const auto& r) { return r->timerId.load(std::memory_order_acquire) == 0; });
    if (!target) return 0;
    if (delayMs < 1) return target->Post(message, w, l) ? 1 : 0;

    auto record = std::make_unique<DelayedPost>();
    record->target = target;
    record->message = message;
    record->wParam = w;
    record->lParam = l;
    record->resolution = m_resolution;
    record->periodMax = m_periodMax;
    std::uint32_t first;
    if (delayMs <= m_periodMax) {
        record->remaining = 0;
        first = std::max(delayMs, m_resolution);
    } else {
        record->remaining = delayMs - m_periodMax;
        first = m_periodMax;
    }
    DelayedPost* r = record.get();
    m_pending.push_back(std::move(record));
    // The event may fire (and clear timerId) before Arm returns its id, so a
    // provisional non-zero id goes in first and the real one replaces it only
    // if the scheduler has not written meanwhile.
    r->timerId.store(~std::uint32_t{0}, std::memory_order_release);
    const std::uint32_t id = m_scheduler->Arm(r, first);
    std::uint32_t provisional = ~std::uint32_t{0};
    r->timerId.compare_exchange_strong(provisional, id, std::memory_order_acq_rel);
    return 1;
}

void TempoTimer::CancelAll() {
    for (auto& r : m_pending) {
        if (r->timerId.load(std::memory_order_acquire) != 0) m_scheduler->Kill(r.get());
    }
    m_pending.clear();
}

std::uint64_t TempoTimer::EventsArmed() const {
    return m_scheduler->Armed();
}

}  // namespace tamboro::audio
