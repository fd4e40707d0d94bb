// Resident memory of the library: idle after qxxml_init, after a refresh
// (values and setup downloaded and parsed) of one slot, and per further
// slot refreshed the same way, against a simulated device of the largest
// kind on loopback. `--slots N` sets how many slots are opened (default 20).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "qxxml/qxxml_private.h"

namespace {

constexpr int kDefaultSlots = 20;
constexpr int kWaitSeconds = 20;
constexpr int kStartSeconds = 5;

long resident_kb() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Opens a slot on the device and downloads both documents; the slot, or -1.
int open_refreshed(int port) {
  int slot = qxxml_open("127.0.0.1", port, nullptr, nullptr);
  if (slot <= 0 || qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) != 0) return -1;
  if (qxxml_get_values(slot) != 0 || qxxml_wait_finish(slot, QXXML_FINISH_VALUES, kWaitSeconds) != 0) return -1;
  if (qxxml_get_setup(slot) != 0 || qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kWaitSeconds) != 0) return -1;
  return slot;
}

int slots_wanted(int argc, char **argv) {
  for (int i = 1; i + 1 < argc; i++)
    if (std::strcmp(argv[i], "--slots") == 0) return std::atoi(argv[i + 1]);
  return kDefaultSlots;
}

}  // namespace

int main(int argc, char **argv) {
  const int wanted = slots_wanted(argc, argv);
  if (wanted < 2 || wanted >= QXXML_ID_COUNT_MAX - 1) {
    std::fprintf(stderr, "--slots takes 2..%d\n", QXXML_ID_COUNT_MAX - 2);
    return 2;
  }
  devsim::Server server;
  if (server.start(bench::largest_config()) <= 0) {
    std::fprintf(stderr, "simulator did not start: %s\n", server.error().c_str());
    return 1;
  }
  // The simulator's own allocations reach their steady size before the
  // first figure, so that what follows is the library's.
  std::vector<char> reply;
  bench::bare_exchange(server.port(), "GET /values.xml HTTP/1.0\r\n\r\n", &reply);
  bench::bare_exchange(server.port(), "GET /setup.xml HTTP/1.0\r\n\r\n", &reply);
  const long before = resident_kb();
  qxxml_init();
  const long idle = resident_kb();
  std::vector<int> slots;
  slots.push_back(open_refreshed(server.port()));
  const long refreshed = resident_kb();
  while (slots.back() > 0 && static_cast<int>(slots.size()) < wanted) slots.push_back(open_refreshed(server.port()));
  const long all = resident_kb();
  const bool ok = slots.back() > 0;
  for (int slot : slots)
    if (slot > 0) qxxml_close(slot);
  qxxml_uninit();
  if (!ok) {
    std::fprintf(stderr, "a slot did not open or refresh\n");
    return 1;
  }
  std::printf("memory before_init_kb %ld\n", before);
  std::printf("memory idle_kb %ld\n", idle);
  std::printf("memory one_slot_refreshed_kb %ld\n", refreshed);
  std::printf("memory per_further_slot_kb %.1f\n", static_cast<double>(all - refreshed) / (wanted - 1));
  std::printf("memory slots %d\n", wanted);
  std::printf("size values_record_bytes %zu\n", sizeof(qxxml_values) + sizeof(qxxml_values_counts));
  std::printf("size setup_record_bytes %zu\n", sizeof(qxxml_setup) + sizeof(qxxml_setup_counts));
  std::printf("size slot_storage_bytes %zu\n", sizeof(qxxml_slot_storage));
  return 0;
}
