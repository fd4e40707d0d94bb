// A helper thread for tests of blocking primitives.
#ifndef TESTS_COMMON_HELPER_THREAD_H
#define TESTS_COMMON_HELPER_THREAD_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "tests/support/eventually.h"

namespace common_test {

// Runs `work` on a helper thread whose end can be awaited with a limit, so a
// test that meets a blocked primitive fails instead of hanging. A helper that
// never ends is detached when the object goes away.
class Helper {
 public:
  explicit Helper(std::function<void()> work) : done_(std::make_shared<std::atomic<bool>>(false)) {
    auto done = done_;
    thread_ = std::thread([work = std::move(work), done] {
      work();
      done->store(true);
    });
  }
  ~Helper() {
    if (finished_within(std::chrono::milliseconds(0)))
      thread_.join();
    else
      thread_.detach();
  }
  Helper(const Helper &) = delete;
  Helper &operator=(const Helper &) = delete;

  bool finished() const { return done_->load(); }
  bool finished_within(std::chrono::milliseconds limit) const {
    return qxsupport::Eventually([this] { return finished(); }, limit);
  }

 private:
  std::shared_ptr<std::atomic<bool>> done_;
  std::thread thread_;
};

}  // namespace common_test

#endif
