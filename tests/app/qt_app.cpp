#include "tests/app/qt_app.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <memory>

#include <gtest/gtest.h>

namespace ck::testing {
namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "app_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

void run_event_loop(int ms, const std::function<bool()>& done) {
  if (done && done()) return;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done && done()) loop.quit();
  });
  deadline.start(ms);
  if (done) poll.start(10);
  loop.exec();
}

}  // namespace ck::testing
