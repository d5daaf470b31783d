#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tamboro::platform {
namespace {

struct Recorder {
    std::vector<std::uint32_t> seen;
    MessageHandler Handler() {
        return [this](std::uint32_t m, WParam w, LParam l) {
            seen.push_back(m);
            return static_cast<LParam>(w) + l;
        };
    }
};

TEST(EventLoop, PostedMessagesArriveInOrderOnTheOwnerThread) {
    EventLoop loop;
    Recorder r;
    auto target = loop.CreateTarget(r.Handler());
    std::thread poster([&] {
        for (std::uint32_t i = 0; i < 1000; ++i)
            ASSERT_TRUE(target->Post(i, 0, 0));
    });
    poster.join();
    EXPECT_EQ(loop.ProcessPending(), 1000u);
    ASSERT_EQ(r.seen.size(), 1000u);
    for (std::uint32_t i = 0; i < 1000; ++i)
        EXPECT_EQ(r.seen[i], i);
}

TEST(EventLoop, SendRunsAtOnceAndAnswers) {
    EventLoop loop;
    Recorder r;
    auto target = loop.CreateTarget(r.Handler());
    target->Post(7, 0, 0);
    EXPECT_EQ(target->Send(9, 40, 2), 42);
    ASSERT_EQ(r.seen.size(), 1u);  // the posted one still waits
    EXPECT_EQ(r.seen[0], 9u);
    loop.ProcessPending();
    EXPECT_EQ(r.seen.back(), 7u);
}

TEST(EventLoop, RemovePostedTakesOnlyThatTargetsMessagesInRange) {
    EventLoop loop;
    Recorder a, b;
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

TEST(EventLoop, DestroyedTargetDropsItsQueueAndHandlerMayDestroyItself) {
    EventLoop loop;
    Recorder r;
    auto gone = loop.CreateTarget(r.Handler());
    gone->Post(1, 0, 0);
    gone.reset();
    EXPECT_EQ(loop.ProcessPending(), 0u);

    std::unique_ptr<MessageTarget> self;
    int calls = 0;
    self = loop.CreateTarget([&](std::uint32_t, WParam, LParam) {
        ++calls;
        self.reset();
        return LParam{0};
    });
    self->Post(1, 0, 0);
    loop.ProcessPending();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(self, nullptr);
}

TEST(EventLoop, RunWaitsForPostsFromOtherThreadsAndQuits) {
    EventLoop loop;
    std::atomic<int> count{0};
    auto target = loop.CreateTarget([&](std::uint32_t m, WParam, LParam) {
        if (++count == 3) loop.Quit();
        return LParam{m};
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

TEST(EventLoop, RunUntilStopsWhenConditionHolds) {
    EventLoop loop;
    int seen = 0;
    auto target = loop.CreateTarget([&](std::uint32_t, WParam, LParam) { return ++seen; });
    for (int i = 0; i < 5; ++i)
        target->Post(1, 0, 0);
    EXPECT_TRUE(loop.RunUntil([&] { return seen == 2; }, std::chrono::seconds(1)));
    EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace tamboro::platform
