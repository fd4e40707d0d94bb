// Downloads on loopback beside a bare client doing the least a correct one
// must: connect, send the same request, read until the device closes, one
// SAX pass over the body. Project and baseline alternate round by round, so
// that a disturbance of the machine hits both alike.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bench/bench_cases.h"
#include "bench/bench_support.h"
#include "qxxml/qxxml.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kSetupRequest[] = "GET /setup.xml HTTP/1.0\r\n\r\n";
constexpr char kValuesRequest[] = "GET /values.xml HTTP/1.0\r\n\r\n";
constexpr int kDownloadRounds = 400;
constexpr int kFleetSize = 200;
constexpr int kFleetRounds = 10;
constexpr int kStartSeconds = 5;
// Far beyond any round on loopback: only a fault reaches it.
constexpr auto kRoundLimit = std::chrono::seconds(60);

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// The moment a library callback ran, handed to the benchmark thread.
class Completion {
 public:
  void arm() {
    std::lock_guard<std::mutex> hold(mutex_);
    done_ = false;
  }
  void complete() {
    std::lock_guard<std::mutex> hold(mutex_);
    at_ = Clock::now();
    done_ = true;
    ready_.notify_one();
  }
  // When the callback ran, or nothing when it did not within the limit.
  bool wait(Clock::time_point *at) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (!ready_.wait_for(hold, kRoundLimit, [this] { return done_; })) return false;
    *at = at_;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  bool done_ = false;
  Clock::time_point at_;
};

void on_setup_done(int, void *owner, int, qxxml_setup *, qxxml_setup_counts *) {
  static_cast<Completion *>(owner)->complete();
}

void on_pass_done(int, void *owner) { static_cast<Completion *>(owner)->complete(); }

// One bare exchange and its SAX pass; false when either failed.
bool bare_download(int port, const std::string &request, std::vector<char> *reply) {
  int body = bench::bare_exchange(port, request, reply);
  return body >= 0 && bench::sax_pass(reply->data() + body, static_cast<int>(reply->size()) - body) == 0;
}

void report(benchmark::State &state, const char *side, const std::vector<double> &samples) {
  state.counters[std::string(side) + "_median_us"] = bench::percentile(samples, 0.5);
  state.counters[std::string(side) + "_p99_us"] = bench::percentile(samples, 0.99);
}

// A setup download through a slot, from the request to its callback. Beside
// it, a load of the same document (the worker parses what the caller hands
// over, no network): that less a parse is what the hand-off to the worker
// and back costs.
void setup_download(benchmark::State &state) {
  devsim::Server server;
  if (server.start(bench::largest_config()) <= 0) {
    state.SkipWithError("simulator did not start");
    return;
  }
  Completion completion;
  qxxml_settings settings{};
  settings.callbacks.setup_done = on_setup_done;
  qxxml_init();
  int slot = qxxml_open("127.0.0.1", server.port(), &settings, &completion);
  if (slot <= 0 || qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) != 0) {
    state.SkipWithError("slot did not start");
    qxxml_uninit();
    return;
  }
  const std::string document = server.setup_document();
  std::vector<double> project, baseline, load;
  std::vector<char> reply;
  const int rounds = bench::rounds(kDownloadRounds);
  for (auto _ : state) {
    for (int round = 0; round < rounds; round++) {
      completion.arm();
      Clock::time_point began = Clock::now(), called;
      if (qxxml_get_setup(slot) != 0 || !completion.wait(&called)) {
        state.SkipWithError("the slot's download did not complete");
        break;
      }
      project.push_back(micros(called - began));
      began = Clock::now();
      if (!bare_download(server.port(), kSetupRequest, &reply)) {
        state.SkipWithError("the bare download failed");
        break;
      }
      baseline.push_back(micros(Clock::now() - began));
      completion.arm();
      began = Clock::now();
      if (qxxml_load_setup(slot, document.data(), static_cast<int>(document.size())) != 0 ||
          !completion.wait(&called)) {
        state.SkipWithError("the slot's load did not complete");
        break;
      }
      load.push_back(micros(called - began));
    }
    state.SetIterationTime(bench::percentile(project, 0.5) * 1e-6);
  }
  qxxml_close(slot);
  qxxml_uninit();
  report(state, "project", project);
  report(state, "baseline", baseline);
  report(state, "load", load);
  state.counters["rounds"] = static_cast<double>(project.size());
}

// Devices of the largest kind, each on its own port.
std::vector<std::unique_ptr<devsim::Server>> start_fleet(int size) {
  std::vector<std::unique_ptr<devsim::Server>> fleet;
  const devsim::DeviceConfig config = bench::largest_config();
  for (int i = 0; i < size; i++) {
    fleet.push_back(std::make_unique<devsim::Server>());
    if (fleet.back()->start(config) <= 0) return {};
  }
  return fleet;
}

// One values pass of a multi-device slot over the fleet, from the request
// to the pass callback, beside as many bare downloads one after the other.
void values_pass(benchmark::State &state) {
  std::vector<std::unique_ptr<devsim::Server>> fleet = start_fleet(kFleetSize);
  if (fleet.empty()) {
    state.SkipWithError("the simulated fleet did not start");
    return;
  }
  Completion completion;
  qxxml_init();
  int slot = qxxml_open_many(&completion);
  qxxml_callbacks callbacks{};
  callbacks.many_values_done = on_pass_done;
  bool listed = slot > 0 && qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) == 0 &&
                qxxml_callback(slot, &callbacks) == 0;
  for (int i = 0; listed && i < kFleetSize; i++)
    listed = qxxml_add_module(slot, "127.0.0.1", fleet[i]->port(), nullptr) == i;
  if (!listed) {
    state.SkipWithError("the multi-device slot did not start");
    qxxml_uninit();
    return;
  }
  std::vector<double> project, baseline;
  std::vector<char> reply;
  auto bare_pass = [&fleet, &reply] {
    for (const auto &device : fleet)
      if (!bare_download(device->port(), kValuesRequest, &reply)) return false;
    return true;
  };
  const int rounds = bench::rounds(kFleetRounds);
  for (auto _ : state) {
    for (int round = 0; round < rounds; round++) {
      completion.arm();
      Clock::time_point began = Clock::now(), called;
      if (qxxml_get_values(slot) != 0 || !completion.wait(&called)) {
        state.SkipWithError("the values pass did not complete");
        break;
      }
      project.push_back(micros(called - began));
      began = Clock::now();
      if (!bare_pass()) {
        state.SkipWithError("a bare download failed");
        break;
      }
      baseline.push_back(micros(Clock::now() - began));
    }
    state.SetIterationTime(bench::percentile(project, 0.5) * 1e-6);
  }
  qxxml_close(slot);
  qxxml_uninit();
  report(state, "project", project);
  report(state, "baseline", baseline);
  state.counters["devices"] = kFleetSize;
}

}  // namespace

void bench::register_download_cases() {
  benchmark::RegisterBenchmark("setup_download", setup_download)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("values_pass_200", values_pass)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}
