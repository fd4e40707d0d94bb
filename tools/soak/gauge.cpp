#include "tools/soak/gauge.h"

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace soak {

namespace {

long count_descriptors() {
  DIR *dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  long count = 0;
  while (const dirent *entry = readdir(dir))
    if (entry->d_name[0] != '.') count++;
  closedir(dir);
  return count - 1;  // the directory stream's own descriptor
}

// The number after "name:" in /proc/self/status, or -1.
long status_field(const std::string &name) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = name + ":";
  for (std::string line; std::getline(status, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stol(line.substr(prefix.size()));
  return -1;
}

// Far longer than a worker takes to close what it holds once its callback
// returned; the window of a reading without baseline, and the most a reading
// waits for the baseline.
constexpr int kSettleReads = 20;
constexpr auto kSettlePause = std::chrono::milliseconds(10);
constexpr auto kSettleLimit = std::chrono::seconds(5);

struct Field {
  const char *name;
  long Gauge::*value;
  long Tolerance::*allowed;
  const char *unit;
};

const Field kFields[] = {
    {"descriptors", &Gauge::fds, &Tolerance::fds, ""},
    {"threads", &Gauge::threads, &Tolerance::threads, ""},
    {"resident memory", &Gauge::rss_kib, &Tolerance::rss_kib, " KiB"},
};

}  // namespace

Gauge read_gauge(long step) {
  Gauge gauge;
  gauge.step = step;
  gauge.fds = count_descriptors();
  gauge.threads = status_field("Threads");
  gauge.rss_kib = status_field("VmRSS");
  return gauge;
}

Gauge settled_gauge(long step, const Gauge *baseline) {
  const auto limit = std::chrono::steady_clock::now() + kSettleLimit;
  Gauge least = read_gauge(step);
  for (int reads = 1;; reads++) {
    const bool back = baseline && least.fds <= baseline->fds && least.threads <= baseline->threads;
    if (back || (!baseline && reads >= kSettleReads) || std::chrono::steady_clock::now() > limit) return least;
    std::this_thread::sleep_for(kSettlePause);
    const Gauge now = read_gauge(step);
    least.fds = std::min(least.fds, now.fds);
    least.threads = std::min(least.threads, now.threads);
    least.rss_kib = now.rss_kib;
  }
}

void print_header() { std::printf("%-10s %10s %6s %8s %10s\n", "soak", "after", "fds", "threads", "rss_kib"); }

void print_rows(const SoakRun &run) {
  for (const Gauge &gauge : run.gauges)
    std::printf("%-10s %10ld %6ld %8ld %10ld\n", run.name.c_str(), gauge.step, gauge.fds, gauge.threads, gauge.rss_kib);
}

std::vector<std::string> growth_beyond(const SoakRun &run, const Tolerance &tolerance) {
  if (run.gauges.size() < 2) return {"fewer than two readings"};
  const Gauge &first = run.gauges.front();
  const Gauge &last = run.gauges.back();
  std::vector<std::string> growths;
  for (const Field &field : kFields) {
    const long start = first.*field.value, end = last.*field.value;
    if (start < 0 || end < 0) {
      growths.push_back(std::string(field.name) + " unreadable");
    } else if (end - start > tolerance.*field.allowed) {
      char text[160];
      std::snprintf(text, sizeof text, "%s grew from %ld to %ld%s (allowed: +%ld)", field.name, start, end, field.unit,
                    tolerance.*field.allowed);
      growths.push_back(text);
    }
  }
  return growths;
}

}  // namespace soak
