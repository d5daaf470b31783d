#include "platform/Messages.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace tamboro::platform {

struct EventLoop::State {
    struct Queued {
        std::uint64_t target;
        std::uint32_t message;
        WParam w;
        LParam l;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Queued> queue;  // written: any thread; read: owner
    bool quit = false;
    bool closed = false;
    std::uint64_t nextId = 1;
    // Handlers by target id; written and called on the owner thread.
    std::unordered_map<std::uint64_t, MessageHandler> handlers;

    bool Dispatch(const Queued& q) {
        MessageHandler h;  // a copy: the handler may destroy its own target
        {
            std::lock_guard lock(mutex);
            auto it = handlers.find(q.target);
            if (it == handlers.end()) return false;
            h = it->second;
        }
        h(q.message, q.w, q.l);
        return true;
    }
};

namespace {

class LoopTarget final : public MessageTarget {
  public:
    LoopTarget(std::shared_ptr<EventLoop::State> state, std::uint64_t id)
        : m_state(std::move(state)), m_id(id) {}

    ~LoopTarget() override {
        std::lock_guard lock(m_state->mutex);
        m_state->handlers.erase(m_id);
        std::erase_if(m_state->queue, [this](const auto& q) { return q.target == m_id; });
    }

    bool Post(std::uint32_t message, WParam w, LParam l) override {
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->closed) return false;
            m_state->queue.push_back({m_id, message, w, l});
        }
        m_state->wake.notify_one();
        return true;
    }

    LParam Send(std::uint32_t message, WParam w, LParam l) override {
        MessageHandler h;
        {
            std::lock_guard lock(m_state->mutex);
            auto it = m_state->handlers.find(m_id);
            if (it == m_state->handlers.end()) return 0;
            h = it->second;
        }
        return h(message, w, l);
    }

    std::size_t RemovePosted(std::uint32_t first, std::uint32_t last) override {
        std::lock_guard lock(m_state->mutex);
        return std::erase_if(m_state->queue, [&](const auto& q) {
            return q.target == m_id && q.message >= first && q.message <= last;
        });
    }

  private:
    std::shared_ptr<EventLoop::State> m_state;
    std::uint64_t m_id;
};

}  // namespace

EventLoop::EventLoop() : m_state(std::make_shared<State>()) {}

EventLoop::~EventLoop() {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    m_state->queue.clear();
}

std::unique_ptr<MessageTarget> EventLoop::CreateTarget(MessageHandler handler) {
    std::lock_guard lock(m_state->mutex);
    const std::uint64_t id = m_state->nextId++;
    m_state->handlers.emplace(id, std::move(handler));
    return std::make_unique<LoopTarget>(m_state, id);
}

std::size_t EventLoop::ProcessPending() {
    std::size_t available;
    {
        std::lock_guard lock(m_state->mutex);
        available = m_state->queue.size();
    }
    std::size_t ran = 0;
    while (available-- > 0) {
        State::Queued q;
        {
            std::lock_guard lock(m_state->mutex);
            if (m_state->queue.empty()) break;
            q = m_state->queue.front();
            m_state->queue.pop_front();
        }
        if (m_state->Dispatch(q)) ++ran;
    }
    return ran;
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const bool forever = timeout == std::chrono::milliseconds::max();
    const auto deadline = forever ? Clock::time_point::max() : Clock::now() + timeout;
    for (;;) {
        State::Queued q;
        {
            std::unique_lock lock(m_state->mutex);
            for (;;) {
                if (m_state->quit) {
                    m_state->quit = false;
                    return true;
                }
                if (!m_state->queue.empty()) break;
                if (forever) {
                    m_state->wake.wait(lock);
                } else if (m_state->wake.wait_until(lock, deadline) == std::cv_status::timeout &&
                           m_state->queue.empty() && !m_state->quit) {
                    return false;
                }
            }
            q = m_state->queue.front();
            m_state->queue.pop_front();
        }
        m_state->Dispatch(q);
        if (done && done()) return true;
    }
}

bool EventLoop::Run(std::chrono::milliseconds timeout) {
    return RunUntil(nullptr, timeout);
}

void EventLoop::Quit() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->quit = true;
    }
    m_state->wake.notify_all();
}

}  // namespace tamboro::platform
