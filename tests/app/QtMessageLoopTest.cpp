// The Qt message loop keeps the plain loop's contract.
#include "app/QtMessageLoop.h"

#include "tests/support/MessageLoopContract.h"

namespace tamboro::app {
namespace {

struct QtLoop {
    QtMessageLoop& loop() { return m_loop; }
    QtMessageLoop m_loop;
};

}  // namespace
}  // namespace tamboro::app

namespace tamboro::test {
INSTANTIATE_TYPED_TEST_SUITE_P(QtMessageLoop, MessageLoopContract, app::QtLoop);
}  // namespace tamboro::test
