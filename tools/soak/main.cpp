// zelvo-soak: repeats the library's long-running workloads against simulated
// devices on loopback and fails when descriptors, threads or resident memory
// grow from the start of a soak (after its warm-up) to its end.
//
//   zelvo-soak                     the full counts
//   zelvo-soak --quick             short counts, for a check by hand
//   zelvo-soak --searches 100      any count changed; 0 skips that soak
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qxxml/qxxml.h"
#include "tools/soak/gauge.h"
#include "tools/soak/workload.h"

namespace {

constexpr int kExitGrowth = 1;
constexpr int kExitUsage = 2;

// Resident memory may end this much above its start. The allocator extends
// its heaps in steps of 128 KiB and more, and keeps freed blocks to reuse
// rather than returning them, so a block freed in one place and taken again
// in another may cost a step while nothing is lost: two steps are allowed.
// A steady leak still crosses the line within the full counts: 27 bytes per
// cycle, 270 per search, 14 per device of a pass.
constexpr long kRssToleranceKib = 256;

// Opens take the slot indices in turn, and a slot's storage becomes resident
// when it is first used: the first soak's warm-up goes once round all of
// them. The others need only their devices and library started and each
// kind of request made a few times.
constexpr long kCyclesWarmup = QXXML_ID_COUNT_MAX;
constexpr long kWarmup = 2;

struct Counts {
  long cycles = 10000;
  long searches = 1000;
  long passes = 100;
  long devices = 200;  // of each multi-device pass
  long warmup = -1;    // iterations of each soak before its first reading; -1: the soak's own
  long readings = 10;  // readings after the first, evenly spaced
  long rss_tolerance_kib = kRssToleranceKib;
};

// --quick: every soak, briefly, over a smaller fleet.
const Counts kQuick = [] {
  Counts counts;
  counts.cycles = 500;
  counts.searches = 10;
  counts.passes = 10;
  counts.devices = 50;
  return counts;
}();

struct Option {
  const char *name;
  long Counts::*value;
  long least;
};

const Option kOptions[] = {
    {"--cycles", &Counts::cycles, 0},
    {"--searches", &Counts::searches, 0},
    {"--passes", &Counts::passes, 0},
    {"--devices", &Counts::devices, 1},
    {"--warmup", &Counts::warmup, 0},
    {"--readings", &Counts::readings, 1},
    {"--rss-tolerance-kib", &Counts::rss_tolerance_kib, 0},
};

void usage() {
  std::fprintf(stderr, "usage: zelvo-soak [--quick]");
  for (const Option &option : kOptions) std::fprintf(stderr, " [%s N]", option.name);
  std::fprintf(stderr, "\n(--quick first: later options change its counts; a count of 0 skips that soak)\n");
}

bool parse(int argc, char **argv, Counts *counts) {
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      *counts = kQuick;
      continue;
    }
    const Option *found = nullptr;
    for (const Option &option : kOptions)
      if (std::strcmp(argv[i], option.name) == 0) found = &option;
    if (!found || i + 1 >= argc) return false;
    char *end = nullptr;
    const long value = std::strtol(argv[++i], &end, 10);
    if (*end != '\0' || value < found->least) return false;
    counts->*found->value = value;
  }
  return true;
}

// Prints the verdict of one soak; true when it ran whole without growth.
bool judge(const soak::SoakRun &run, const soak::Tolerance &tolerance) {
  std::vector<std::string> problems = soak::growth_beyond(run, tolerance);
  if (!run.failure.empty()) problems.insert(problems.begin(), run.failure);
  std::printf("%s: %ld iterations, %.1f s", run.name.c_str(), run.count, run.seconds);
  if (run.gauges.size() >= 2) {
    const soak::Gauge &first = run.gauges.front(), &last = run.gauges.back();
    std::printf(", fds %ld -> %ld, threads %ld -> %ld, rss %ld -> %ld KiB", first.fds, last.fds, first.threads,
                last.threads, first.rss_kib, last.rss_kib);
  }
  std::printf(": %s\n", problems.empty() ? "ok" : "FAILED");
  for (const std::string &problem : problems) std::printf("  %s\n", problem.c_str());
  return problems.empty();
}

}  // namespace

int main(int argc, char **argv) {
  Counts counts;
  if (!parse(argc, argv, &counts)) {
    usage();
    return kExitUsage;
  }
  struct Planned {
    const char *name;
    long count;
    long warmup;
    std::unique_ptr<soak::Workload> (*make)(const Counts &);
  };
  const Planned planned[] = {
      {"cycles", counts.cycles, kCyclesWarmup, [](const Counts &) { return soak::open_post_close_cycles(); }},
      {"searches", counts.searches, kWarmup, [](const Counts &) { return soak::searches(); }},
      {"passes", counts.passes, kWarmup,
       [](const Counts &c) { return soak::multi_device_passes(static_cast<int>(c.devices)); }},
  };
  std::vector<soak::SoakRun> runs;
  for (const Planned &soak_plan : planned) {
    if (soak_plan.count == 0) continue;
    const long warmup = counts.warmup >= 0 ? counts.warmup : soak_plan.warmup;
    std::fprintf(stderr, "%s: %ld iterations after %ld of warm-up\n", soak_plan.name, soak_plan.count, warmup);
    runs.push_back(soak::run_soak(soak_plan.name, soak_plan.make(counts), warmup, soak_plan.count,
                                  static_cast<int>(counts.readings)));
  }
  soak::print_header();
  for (const soak::SoakRun &run : runs) soak::print_rows(run);
  std::printf("\n");
  const soak::Tolerance tolerance{0, 0, counts.rss_tolerance_kib};
  bool all_ok = true;
  for (const soak::SoakRun &run : runs) all_ok = judge(run, tolerance) && all_ok;
  return all_ok ? 0 : kExitGrowth;
}
