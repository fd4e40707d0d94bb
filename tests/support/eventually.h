// Polling with a bound: the one way a test waits for something another
// thread does, so that a fault fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace qxsupport {

// Checks `condition` every few milliseconds until it holds or `timeout`
// passes; returns whether it held. The condition is checked once more at the
// bound, so a slow machine never fails a test that just made it.
inline bool Eventually(const std::function<bool()> &condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace qxsupport
