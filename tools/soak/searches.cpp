// Searches answered by the simulator's demo fleet through its responder on
// loopback; the search target is set before anything is sent, so no
// datagram leaves loopback.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "qxudps/qxudps.h"
#include "tools/soak/simulator.h"
#include "tools/soak/workload.h"

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

// A search ends a second after the last reply; this is far beyond that on
// loopback, so only a fault reaches it.
constexpr auto kSearchLimit = std::chrono::seconds(30);
// The worker takes a request only once it is idle again, a moment after the
// previous search_done returned.
constexpr auto kIdlePoll = std::chrono::milliseconds(1);

std::string library_failure(const char *what) {
  qx_error_record record{};
  qxudps_error(&record);
  return std::string(what) + ": " + record.text;
}

class Searches : public Workload {
 public:
  ~Searches() override {
    if (initialised_) {
      qxudps_callback(nullptr);
      qxudps_uninit();
    }
  }

  std::string start() override {
    std::string failure = simulator_.start({"--fleet", "demo", "--udp-port", "0"});
    if (!failure.empty()) return failure;
    if (simulator_.udp().port <= 0) return "the simulator answers no search";
    if (qxudps_set_search_target(simulator_.udp().address.c_str(), simulator_.udp().port) != 0)
      return library_failure("search target");
    if (qxudps_init() != 0) return library_failure("init");
    initialised_ = true;
    qxudps_callbacks callbacks{};
    callbacks.search_done = [](void *owner) { static_cast<Searches *>(owner)->ended(); };
    qxudps_callback(&callbacks);
    return "";
  }

  std::string step(long) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      done_ = false;
    }
    const Clock::time_point limit = Clock::now() + kSearchLimit;
    while (qxudps_search(0, this) != 0) {
      if (Clock::now() > limit) return library_failure("search not taken");
      std::this_thread::sleep_for(kIdlePoll);
    }
    std::unique_lock<std::mutex> hold(mutex_);
    if (!done_changed_.wait_until(hold, limit, [this] { return done_; })) return "the search did not end";
    // The callback runs under the library's lock: read the records without ours.
    hold.unlock();
    const std::size_t found = static_cast<std::size_t>(qxudps_count());
    if (found != simulator_.devices().size())
      return "found " + std::to_string(found) + " of " + std::to_string(simulator_.devices().size()) + " devices";
    return "";
  }

 private:
  void ended() {
    std::lock_guard<std::mutex> hold(mutex_);
    done_ = true;
    done_changed_.notify_one();
  }

  Simulator simulator_;
  bool initialised_ = false;
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
};

}  // namespace

std::unique_ptr<Workload> searches() { return std::make_unique<Searches>(); }

}  // namespace soak
