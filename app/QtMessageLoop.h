#pragma once
// The platform's message loop on top of Qt's event loop, for the desktop
// program: targets receive their messages on the thread that created the
// loop (the user-interface thread) between the toolkit's own events, in the
// order they were posted. Any thread may post; only that thread sends.
//
// Messages wait in one queue of the loop's own; each post also wakes Qt's
// loop with an event, and each such event dispatches the oldest message.
// So RemovePosted can take messages out of the queue by number, and a
// destroyed target's messages are dropped without touching Qt's queue.
#include <chrono>
#include <functional>
#include <memory>

#include "platform/Messages.h"

namespace tamboro::app {

class QtMessageLoop final : public platform::MessageLoop {
  public:
    // Needs a QCoreApplication; binds to the calling thread.
    QtMessageLoop();
    ~QtMessageLoop() override;
    QtMessageLoop(const QtMessageLoop&) = delete;
    QtMessageLoop& operator=(const QtMessageLoop&) = delete;

    std::unique_ptr<platform::MessageTarget> CreateTarget(
        platform::MessageHandler handler) override;

    // The same helpers as the plain EventLoop, for tests and modal waits.
    // They run Qt's own events too. Owner thread.
    std::size_t ProcessPending();
    bool Run(std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Makes Run return. Any thread.
    void Quit();

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

}  // namespace tamboro::app
