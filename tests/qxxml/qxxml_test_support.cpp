#include "qxxml_test_support.h"

namespace qxtest {

namespace {

// A worker starts within milliseconds; the bound only stops a broken start.
constexpr int kStartSeconds = 5;

}  // namespace

int open_running(const char *host, int port, const qxxml_settings *settings, void *owner) {
  int slot = qxxml_open(host, port, settings, owner);
  if (slot > 0 && qxxml_wait_finish(slot, QXXML_FINISH_STARTED, kStartSeconds) != 0) return -1;
  return slot;
}

}  // namespace qxtest
