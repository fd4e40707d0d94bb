#ifndef TESTS_COMMON_BOUNDED_WAIT_H
#define TESTS_COMMON_BOUNDED_WAIT_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace common_test {

// Checks `done` every few milliseconds until it holds or `limit` passes.
inline bool wait_until(const std::function<bool()> &done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

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
    return wait_until([this] { return finished(); }, limit);
  }

 private:
  std::shared_ptr<std::atomic<bool>> done_;
  std::thread thread_;
};

}  // namespace common_test

#endif
