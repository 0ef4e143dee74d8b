// A test fixture that checks, after every test, that the test left nothing
// behind: COM initialisation back to its depth, no COM object alive that was
// not alive before, and no WinHttp handle open.
#pragma once

#include <gtest/gtest.h>

namespace ck::testing {

class BalancedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // What the test started with.
  int start_depth() const { return depth_; }
  int start_live() const { return live_; }

 private:
  int depth_ = 0;
  int live_ = 0;
};

}  // namespace ck::testing
