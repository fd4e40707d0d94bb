// A setup on the socket of the cycle: the datagram to the found device, the
// device's restart, and the name that may follow.
#include <string.h>

#include <atomic>

#include "qxudps/qxudps_state_private.h"

#define QXUDPS_SETUP_WAIT_MS 6000 /* a device restarts with its new settings meanwhile */

namespace {

std::atomic<int> setup_wait_ms{QXUDPS_SETUP_WAIT_MS};

// The request is the caller's copy of a record; its texts are cut to their
// fields before anything reads them as strings.
void terminate_texts(qxudps_device *request) {
  char *bytes = reinterpret_cast<char *>(request);
  for (const qxudps_address_field &address : qxudps_address_fields) bytes[address.field + QXUDPS_ADDR_SIZE - 1] = '\0';
  request->mac[QXUDPS_MAC_SIZE - 1] = '\0';
  request->name[QXUDPS_NAME_SIZE - 1] = '\0';
}

int find_record(const char *mac) {
  const int count = qxudps_lib.count;
  for (int i = 0; i < count; ++i)
    if (strcmp(qxudps_lib.records[i].mac, mac) == 0) return i;
  return -1;
}

}  // namespace

int qxudps_set_setup_wait_ms(int ms) { return setup_wait_ms.exchange(ms < 0 ? QXUDPS_SETUP_WAIT_MS : ms); }

void qxudps_do_setup(const qxudps_cycle *cycle) {
  qxudps_device request;
  {
    qxudps_locked hold;
    request = qxudps_lib.setup_request;
  }
  terminate_texts(&request);
  const int at = find_record(request.mac);
  if (at < 0) {
    qxudps_record_error(QXUDPS_MSG_MODULE_NOT_EXIST, 0);
    qxudps_setup_error_callback();
    return;
  }
  qxudps_device &found = qxudps_lib.records[at];
  uint8_t setup[QXUDPS_SETUP_MAX];
  const int length =
      qxudps_build_setup(&request, &found, qxudps_lib.macs[at], &cycle->search_key, &cycle->setup_key, setup);
  if (qxudps_send(cycle, QXUDPS_PROXY_SETUP, setup, length) != 0) qxudps_setup_error_callback();
  qx_sleep_ms(setup_wait_ms);
  if (cycle->lookup_names && qxudps_in_name_set(found.raw_type >> QXUDPS_TYPE_SHIFT)) {
    qxudps_set_name(request.ip, request.port, request.name, found.type);
  }
}
