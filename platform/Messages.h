#pragma once
// Messages between parts of the program: a target receives (message number,
// wParam, lParam) triples on its owner thread, in the order they were posted.
// Anything may post from any thread; only the owner thread sends.
//
// The plain EventLoop below serves tamboro-cli and the tests; the desktop
// program supplies its own MessageLoop on top of the toolkit's event loop.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace tamboro::platform {

using WParam = std::uintptr_t;
using LParam = std::intptr_t;

// Called on the owner thread for every message a target receives.
using MessageHandler = std::function<LParam(std::uint32_t message, WParam w, LParam l)>;

class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    // Queues a message for the owner thread. Any thread. Returns false when
    // the message could not be queued (the loop is gone).
    virtual bool Post(std::uint32_t message, WParam w, LParam l) = 0;
    // Runs the handler at once and returns its answer. Owner thread only.
    virtual LParam Send(std::uint32_t message, WParam w, LParam l) = 0;
    // Removes this target's queued messages whose number lies in
    // first..last; returns how many were removed. Any thread.
    virtual std::size_t RemovePosted(std::uint32_t first, std::uint32_t last) = 0;
};

class MessageLoop {
  public:
    virtual ~MessageLoop() = default;
    // A new target whose messages run `handler` on this loop's thread.
    // Destroying the target drops its queued messages.
    virtual std::unique_ptr<MessageTarget> CreateTarget(MessageHandler handler) = 0;
};

// A plain event loop owned by the thread that creates it.
class EventLoop final : public MessageLoop {
  public:
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    std::unique_ptr<MessageTarget> CreateTarget(MessageHandler handler) override;

    // Dispatches what is queued now (not what handlers post meanwhile) and
    // returns how many messages ran. Owner thread.
    std::size_t ProcessPending();
    // Dispatches messages as they come until Quit() is called or `timeout`
    // has passed; returns false on timeout. Owner thread.
    bool Run(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
    // Like Run, but returns as soon as `done()` holds after a dispatch.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Makes Run return. Any thread.
    void Quit();

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace tamboro::platform
