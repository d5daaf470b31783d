// PostAfter lateness: 1000 delayed posts, each measured from the moment it
// was due to the moment the scheduler thread posted it; p50, p99 and max in
// microseconds, with the machine idle and with every core busy. The peer in
// the same run is a plain std::this_thread::sleep_for of the same delays.
// Goal: p99 at most 2 ms.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/timer/TempoTimer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tamboro;

constexpr int kPosts = 1000;

// Records when a post arrives (on the scheduler thread).
class StampTarget final : public platform::MessageTarget {
  public:
    bool Post(std::uint32_t, platform::WParam, platform::LParam) override {
        std::lock_guard guard(m_mutex);
        m_at = Clock::now();
        m_arrived = true;
        m_cv.notify_all();
        return true;
    }
    platform::LParam Send(std::uint32_t, platform::WParam, platform::LParam) override { return 0; }
    std::size_t RemovePosted(std::uint32_t, std::uint32_t) override { return 0; }
    Clock::time_point Wait() {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_arrived; });
        m_arrived = false;
        return m_at;
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_arrived = false;
    Clock::time_point m_at;
};

// Keeps every core busy while it lives.
class Load {
  public:
    explicit Load(bool on) {
        if (!on) return;
        const unsigned n = std::max(2u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < n; ++i) {
            m_threads.emplace_back([this] {
                volatile std::uint64_t x = 0;
                while (m_run.load(std::memory_order_relaxed))
                    x = x + 1;
            });
        }
    }
    ~Load() {
        m_run = false;
        for (auto& t : m_threads)
            t.join();
    }

  private:
    std::atomic<bool> m_run{true};
    std::vector<std::thread> m_threads;
};

void Report(benchmark::State& state, std::vector<double>& lateUs) {
    std::sort(lateUs.begin(), lateUs.end());
    state.counters["p50_us"] = lateUs[lateUs.size() / 2];
    state.counters["p99_us"] = lateUs[lateUs.size() * 99 / 100];
    state.counters["max_us"] = lateUs.back();
}

void PostAfterLateness(benchmark::State& state, bool loaded) {
    std::vector<double> lateUs;
    for (auto _ : state) {
        Load load(loaded);
        audio::TempoTimer timer(1);
        StampTarget target;
        lateUs.clear();
        for (int i = 0; i < kPosts; ++i) {
            const std::uint32_t delay = 1 + static_cast<std::uint32_t>(i % 3);
            const auto due = Clock::now() + std::chrono::milliseconds(delay);
            timer.PostAfter(&target, 1, 0, 0, delay);
            const auto at = target.Wait();
            lateUs.push_back(std::chrono::duration<double, std::micro>(at - due).count());
        }
    }
    Report(state, lateUs);
}

void SleepLateness(benchmark::State& state, bool loaded) {
    std::vector<double> lateUs;
    for (auto _ : state) {
        Load load(loaded);
        lateUs.clear();
        for (int i = 0; i < kPosts; ++i) {
            const auto delay = std::chrono::milliseconds(1 + i % 3);
            const auto due = Clock::now() + delay;
            std::this_thread::sleep_for(delay);
            lateUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - due).count());
        }
    }
    Report(state, lateUs);
}

void BM_PostAfterLateness_Idle(benchmark::State& state) {
    PostAfterLateness(state, false);
}
void BM_PostAfterLateness_Loaded(benchmark::State& state) {
    PostAfterLateness(state, true);
}
void BM_SleepForLateness_Idle(benchmark::State& state) {
    SleepLateness(state, false);
}
void BM_SleepForLateness_Loaded(benchmark::State& state) {
    SleepLateness(state, true);
}

}  // namespace

BENCHMARK(BM_PostAfterLateness_Idle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SleepForLateness_Idle)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PostAfterLateness_Loaded)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SleepForLateness_Loaded)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
