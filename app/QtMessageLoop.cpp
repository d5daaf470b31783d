#include "app/QtMessageLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <mutex>

namespace tamboro::app {

namespace {
const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

struct TargetState {
    platform::MessageHandler handler;
    std::atomic<bool> alive{true};
};

struct QtMessageLoop::State {
    struct Queued {
        std::shared_ptr<TargetState> target;
        std::uint32_t message;
        platform::WParam w;
        platform::LParam l;
    };
    std::mutex mutex;
    std::deque<Queued> queue;
    QObject* dispatcher = nullptr;  // null once the loop is gone; guarded by mutex
    QThread* thread = nullptr;
    std::atomic<bool> quit{false};
    // While RunUntil dispatches one message at a time itself, the wake
    // events only wake. Owner thread.
    int manual = 0;

    // Takes the oldest message and runs it. Owner thread.
    bool DispatchOne() {
        Queued q;
        {
            std::lock_guard lock(mutex);
            if (queue.empty()) return false;
            q = std::move(queue.front());
            queue.pop_front();
        }
        // The handler may destroy its own target: `q.target` keeps the
        // handler alive until it returns.
        if (q.target->alive.load()) q.target->handler(q.message, q.w, q.l);
        return true;
    }
};

namespace {

class Dispatcher final : public QObject {
  public:
    explicit Dispatcher(QtMessageLoop::State* state) : m_state(state) {}
    bool event(QEvent* e) override {
        if (e->type() != kWakeEvent) return QObject::event(e);
        if (m_state->manual == 0) m_state->DispatchOne();
        return true;
    }

  private:
    QtMessageLoop::State* m_state;
};

class QtTarget final : public platform::MessageTarget {
  public:
    QtTarget(std::shared_ptr<QtMessageLoop::State> loop, platform::MessageHandler handler)
        : m_loop(std::move(loop)), m_target(std::make_shared<TargetState>()) {
        m_target->handler = std::move(handler);
    }
    ~QtTarget() override {
        m_target->alive = false;
        std::lock_guard lock(m_loop->mutex);
        std::erase_if(m_loop->queue, [&](const auto& q) { return q.target == m_target; });
    }

    bool Post(std::uint32_t message, platform::WParam w, platform::LParam l) override {
        std::lock_guard lock(m_loop->mutex);
        if (m_loop->dispatcher == nullptr) return false;
        m_loop->queue.push_back({m_target, message, w, l});
        QCoreApplication::postEvent(m_loop->dispatcher, new QEvent(kWakeEvent));
        return true;
    }

    platform::LParam Send(std::uint32_t message, platform::WParam w, platform::LParam l) override {
        Q_ASSERT(QThread::currentThread() == m_loop->thread);
        auto keep = m_target;
        return keep->handler(message, w, l);
    }

    std::size_t RemovePosted(std::uint32_t first, std::uint32_t last) override {
        std::lock_guard lock(m_loop->mutex);
        return std::erase_if(m_loop->queue, [&](const auto& q) {
            return q.target == m_target && q.message >= first && q.message <= last;
        });
    }

  private:
    std::shared_ptr<QtMessageLoop::State> m_loop;
    std::shared_ptr<TargetState> m_target;
};

}  // namespace

QtMessageLoop::QtMessageLoop() : m_state(std::make_shared<State>()) {
    m_state->thread = QThread::currentThread();
    m_state->dispatcher = new Dispatcher(m_state.get());
}

QtMessageLoop::~QtMessageLoop() {
    QObject* dispatcher = nullptr;
    {
        std::lock_guard lock(m_state->mutex);
        dispatcher = m_state->dispatcher;
        m_state->dispatcher = nullptr;
        m_state->queue.clear();
    }
    delete dispatcher;  // drops its wake events from Qt's queue
}

std::unique_ptr<platform::MessageTarget> QtMessageLoop::CreateTarget(
    platform::MessageHandler handler) {
    return std::make_unique<QtTarget>(m_state, std::move(handler));
}

std::size_t QtMessageLoop::ProcessPending() {
    std::size_t pending = 0;
    {
        std::lock_guard lock(m_state->mutex);
        pending = m_state->queue.size();
    }
    std::size_t ran = 0;
    while (ran < pending && m_state->DispatchOne())
        ++ran;
    // Qt's own events, and the wake events of what ran (now no-ops).
    QCoreApplication::sendPostedEvents();
    return ran;
}

bool QtMessageLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool endless = timeout == std::chrono::milliseconds::max();
    const auto deadline = endless ? Clock::time_point::max() : Clock::now() + timeout;
    struct Manual {
        State& s;
        explicit Manual(State& state) : s(state) { ++s.manual; }
        ~Manual() { --s.manual; }
    } manual(*m_state);
    QTimer tick;  // wakes the wait below at the deadline
    for (;;) {
        if (m_state->quit.exchange(false)) return true;
        if (m_state->DispatchOne()) {
            if (done && done()) return true;
            continue;
        }
        const auto now = Clock::now();
        if (!endless && now >= deadline) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        tick.start(static_cast<int>(std::min<long long>(50, left.count() + 1)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (done && done()) return true;
    }
}

bool QtMessageLoop::Run(std::chrono::milliseconds timeout) {
    return RunUntil(nullptr, timeout);
}

void QtMessageLoop::Quit() {
    m_state->quit = true;
    if (auto* d = QAbstractEventDispatcher::instance(m_state->thread)) d->wakeUp();
}

}  // namespace tamboro::app
