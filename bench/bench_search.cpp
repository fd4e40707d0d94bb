// A search that a thousand devices answer at once, beside the quiet interval
// that ends every search: what it takes beyond that interval.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/bench_support.h"
#include "qxudps/qxudps.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReplies = 1000;
constexpr double kQuietMs = 1000;
constexpr int kSearchRounds = 5;
// Far beyond a search on loopback: only a fault reaches it.
constexpr auto kSearchLimit = std::chrono::seconds(30);
constexpr auto kIdlePoll = std::chrono::milliseconds(1);

struct SearchEnd {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  Clock::time_point at;
};

void on_search_done(void *owner) {
  auto *end = static_cast<SearchEnd *>(owner);
  std::lock_guard<std::mutex> hold(end->mutex);
  end->at = Clock::now();
  end->done = true;
  end->ended.notify_one();
}

// The time from the request to search_done in ms, or a negative value when
// the search did not end.
double one_search(SearchEnd *end) {
  {
    std::lock_guard<std::mutex> hold(end->mutex);
    end->done = false;
  }
  // The library takes a request only while its worker is idle, which it is
  // a moment after qxudps_init and after the last search_done returned.
  const Clock::time_point limit = Clock::now() + kSearchLimit;
  Clock::time_point began = Clock::now();
  while (qxudps_search(0, end) != 0) {
    if (began > limit) return -1;
    std::this_thread::sleep_for(kIdlePoll);
    began = Clock::now();
  }
  std::unique_lock<std::mutex> hold(end->mutex);
  if (!end->ended.wait_for(hold, kSearchLimit, [end] { return end->done; })) return -1;
  return std::chrono::duration<double, std::milli>(end->at - began).count();
}

void search_burst(benchmark::State &state) {
  devsim::DeviceConfig config = bench::variant_config("thermometer");
  config.faults = {{devsim::FaultKind::reply_burst, devsim::FaultTarget::search, kReplies}};
  devsim::Server server;
  devsim::UdpResponder responder;
  int udp_port = server.start(config) > 0 ? responder.start({&server}) : -1;
  // The target is set before anything is sent: no datagram leaves loopback.
  if (udp_port <= 0 || qxudps_set_search_target("127.0.0.1", udp_port) != 0 || qxudps_init() != 0) {
    state.SkipWithError("the simulated responder or the search library did not start");
    return;
  }
  SearchEnd end;
  qxudps_callbacks callbacks{};
  callbacks.search_done = on_search_done;
  qxudps_callback(&callbacks);
  double slowest = 0, fewest = kReplies, dropped = 0;
  std::vector<double> took;
  const int rounds = bench::rounds(kSearchRounds);
  for (auto _ : state) {
    for (int round = 0; round < rounds; round++) {
      const double ms = one_search(&end);
      if (ms < 0) {
        state.SkipWithError("the search did not end");
        break;
      }
      took.push_back(ms);
      slowest = std::max(slowest, ms);
      fewest = std::min(fewest, static_cast<double>(qxudps_count()));
      dropped += qxudps_search_dropped();
    }
    state.SetIterationTime(bench::percentile(took, 0.5) * 1e-3);
  }
  qxudps_callback(nullptr);
  qxudps_uninit();
  state.counters["search_median_ms"] = bench::percentile(took, 0.5);
  state.counters["beyond_quiet_ms"] = bench::percentile(took, 0.5) - kQuietMs;
  state.counters["slowest_ms"] = slowest;
  state.counters["fewest_records"] = fewest;
  state.counters["dropped"] = dropped;
}

}  // namespace

void bench::register_search_cases() {
  benchmark::RegisterBenchmark("search_1000", search_burst)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}
