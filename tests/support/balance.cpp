#include "tests/support/balance.h"

#include "platform/com.h"
#include "platform/winhttp.h"

namespace ck::testing {

void BalancedTest::SetUp() {
  depth_ = platform::com_init_depth();
  live_ = platform::ComObject::live_count();
}

void BalancedTest::TearDown() {
  EXPECT_EQ(platform::com_init_depth(), depth_) << "COM initialisation is not balanced";
  EXPECT_EQ(platform::ComObject::live_count(), live_) << "an object survived the test";
  EXPECT_EQ(platform::winhttp_open_handles(), 0) << "a handle survived the test";
}

}  // namespace ck::testing
