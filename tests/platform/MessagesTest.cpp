#include "platform/Messages.h"

#include <gtest/gtest.h>

#include "tests/support/MessageLoopContract.h"

namespace tamboro::platform {
namespace {

struct PlainLoop {
    EventLoop& loop() { return m_loop; }
    EventLoop m_loop;
};

}  // namespace
}  // namespace tamboro::platform

namespace tamboro::test {
INSTANTIATE_TYPED_TEST_SUITE_P(EventLoop, MessageLoopContract, platform::PlainLoop);
}  // namespace tamboro::test
