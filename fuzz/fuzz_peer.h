// The other end of a connection, run beside the code under test for each
// input. One thread lives for the whole run and takes one job per input: the
// sanitizers keep a record of every thread that ever ran, so a thread per
// input grows a long run by about half a kilobyte per input until the RSS
// limit ends it.
#ifndef FUZZ_FUZZ_PEER_H
#define FUZZ_FUZZ_PEER_H

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class fuzz_peer {
 public:
  // The one peer; its thread starts on first use and is never joined.
  static fuzz_peer &instance() {
    static fuzz_peer *peer = new fuzz_peer;
    return *peer;
  }

  // Runs `job` on the peer thread; the previous job must have been waited for.
  void start(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
    changed_.notify_all();
  }

  // Returns once the job has returned and been released.
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
  }

 private:
  fuzz_peer() {
    std::thread([this] { run(); }).detach();
  }

  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return static_cast<bool>(job_); });
      std::function<void()> job = std::move(job_);
      job_ = nullptr;
      lock.unlock();
      job();
      job = nullptr;  // released before the waiter hears of it
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;  // taken off by the peer thread as it starts it
  bool busy_ = false;          // from start() until the job has returned
};

#endif
