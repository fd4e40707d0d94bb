// What the soak watches of its own process, and the rows it prints.
#pragma once

#include <string>
#include <vector>

namespace soak {

// One reading of the process's resources.
struct Gauge {
  long step = 0;     // iterations done after the warm-up when read
  long fds = 0;      // entries of /proc/self/fd
  long threads = 0;  // Threads of /proc/self/status
  long rss_kib = 0;  // VmRSS of /proc/self/status
};

// -1 in a field that could not be read.
Gauge read_gauge(long step);

// A reading that does not count what a worker is still releasing after the
// iteration that the caller saw end (a search's socket is closed just after
// its callback, a slot's thread after its last wake-up): descriptors and
// threads are the least seen over a short window, and when `baseline` is
// given, the window stretches up to a few seconds until they are back at its
// level. A leaked resource never comes back, so it still shows.
Gauge settled_gauge(long step, const Gauge *baseline);

// How far the end reading may lie above the start reading.
struct Tolerance {
  long fds = 0;
  long threads = 0;
  long rss_kib = 0;
};

// The readings of one soak and how it ended.
struct SoakRun {
  std::string name;
  long count = 0;  // iterations asked for after the warm-up
  std::vector<Gauge> gauges;
  std::string failure;  // why the soak stopped early; empty when it ran whole
  double seconds = 0;   // warm-up included
};

// Prints the readings as table rows under print_header().
void print_header();
void print_rows(const SoakRun &run);

// The growths beyond tolerance from the first to the last reading, one text
// each; a run without two readings or with an unreadable field is a growth.
std::vector<std::string> growth_beyond(const SoakRun &run, const Tolerance &tolerance);

}  // namespace soak
