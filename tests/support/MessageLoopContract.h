#pragma once
// The contract every MessageLoop keeps, as a typed test suite. A suite
// instantiates it with a fixture type that has
//   Loop& loop();    // the loop: a platform::MessageLoop with ProcessPending,
//                    // Run, RunUntil and Quit as platform::EventLoop has them
// and constructs everything the loop needs (a QApplication for the Qt loop).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Messages.h"

namespace tamboro::test {

template <typename Env>
class MessageLoopContract : public ::testing::Test {
  protected:
    Env env;
};

TYPED_TEST_SUITE_P(MessageLoopContract);

struct ContractRecorder {
    std::vector<std::uint32_t> seen;
    platform::MessageHandler Handler() {
        return [this](std::uint32_t m, platform::WParam w, platform::LParam l) {
            seen.push_back(m);
            return static_cast<platform::LParam>(w) + l;
        };
    }
};

TYPED_TEST_P(MessageLoopContract, PostedMessagesArriveInOrderOnTheOwnerThread) {
    auto& loop = this->env.loop();
    ContractRecorder r;
    std::thread::id handlerThread;
    auto target = loop.CreateTarget([&](std::uint32_t m, platform::WParam, platform::LParam) {
        handlerThread = std::this_thread::get_id();
        r.seen.push_back(m);
        return platform::LParam{0};
    });
    std::thread poster([&] {
        for (std::uint32_t i = 0; i < 1000; ++i)
            ASSERT_TRUE(target->Post(i, 0, 0));
    });
    poster.join();
    EXPECT_EQ(loop.ProcessPending(), 1000u);
    ASSERT_EQ(r.seen.size(), 1000u);
    for (std::uint32_t i = 0; i < 1000; ++i)
        EXPECT_EQ(r.seen[i], i);
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TYPED_TEST_P(MessageLoopContract, SendRunsAtOnceAndAnswers) {
    auto& loop = this->env.loop();
    ContractRecorder r;
    auto target = loop.CreateTarget(r.Handler());
    target->Post(7, 0, 0);
    EXPECT_EQ(target->Send(9, 40, 2), 42);
    ASSERT_EQ(r.seen.size(), 1u);  // the posted one still waits
    EXPECT_EQ(r.seen[0], 9u);
    loop.ProcessPending();
    EXPECT_EQ(r.seen.back(), 7u);
}

TYPED_TEST_P(MessageLoopContract, RemovePostedTakesOnlyThatTargetsMessagesInRange) {
    auto& loop = this->env.loop();
    ContractRecorder a, b;
    auto ta = loop.CreateTarget(a.Handler());
    auto tb = loop.CreateTarget(b.Handler());
    ta->Post(0x500, 1, 0);
    ta->Post(0x501, 1, 0);
    tb->Post(0x500, 1, 0);
    ta->Post(0x500, 2, 0);
    EXPECT_EQ(ta->RemovePosted(0x500, 0x500), 2u);
    loop.ProcessPending();
    EXPECT_EQ(a.seen, std::vector<std::uint32_t>({0x501}));
    EXPECT_EQ(b.seen, std::vector<std::uint32_t>({0x500}));
}

TYPED_TEST_P(MessageLoopContract, DestroyedTargetDropsItsQueueAndHandlerMayDestroyItself) {
    auto& loop = this->env.loop();
    ContractRecorder r;
    auto gone = loop.CreateTarget(r.Handler());
    gone->Post(1, 0, 0);
    gone.reset();
    EXPECT_EQ(loop.ProcessPending(), 0u);
    EXPECT_TRUE(r.seen.empty());

    std::unique_ptr<platform::MessageTarget> self;
    int calls = 0;
    self = loop.CreateTarget([&](std::uint32_t, platform::WParam, platform::LParam) {
        ++calls;
        self.reset();
        return platform::LParam{0};
    });
    self->Post(1, 0, 0);
    self->Post(2, 0, 0);
    loop.ProcessPending();
    EXPECT_EQ(calls, 1);  // the second message went with the target
    EXPECT_EQ(self, nullptr);
}

TYPED_TEST_P(MessageLoopContract, RunWaitsForPostsFromOtherThreadsAndQuits) {
    auto& loop = this->env.loop();
    std::atomic<int> count{0};
    auto target = loop.CreateTarget([&](std::uint32_t m, platform::WParam, platform::LParam) {
        if (++count == 3) loop.Quit();
        return platform::LParam{m};
    });
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            target->Post(1, 0, 0);
        }
    });
    EXPECT_TRUE(loop.Run(std::chrono::seconds(10)));
    poster.join();
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(loop.Run(std::chrono::milliseconds(5)));  // nothing more: times out
}

TYPED_TEST_P(MessageLoopContract, RunUntilStopsWhenConditionHolds) {
    auto& loop = this->env.loop();
    int seen = 0;
    auto target = loop.CreateTarget(
        [&](std::uint32_t, platform::WParam, platform::LParam) { return ++seen; });
    for (int i = 0; i < 5; ++i)
        target->Post(1, 0, 0);
    EXPECT_TRUE(loop.RunUntil([&] { return seen == 2; }, std::chrono::seconds(1)));
    EXPECT_EQ(seen, 2);
    loop.ProcessPending();
    EXPECT_EQ(seen, 5);
}

REGISTER_TYPED_TEST_SUITE_P(MessageLoopContract, PostedMessagesArriveInOrderOnTheOwnerThread,
                            SendRunsAtOnceAndAnswers,
                            RemovePostedTakesOnlyThatTargetsMessagesInRange,
                            DestroyedTargetDropsItsQueueAndHandlerMayDestroyItself,
                            RunWaitsForPostsFromOtherThreadsAndQuits,
                            RunUntilStopsWhenConditionHolds);

}  // namespace tamboro::test
