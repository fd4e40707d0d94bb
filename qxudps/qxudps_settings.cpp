// Settings that outlast a request: keys, proxy and search target.
#include <arpa/inet.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "qxudps/qxudps_state_private.h"

#define QXUDPS_PORT_MAX 65535

int qxudps_set_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
  qxudps_locked hold;
  qx_tea_key &key = qxudps_lib.search_key;
  key.k[0] = k0;
  key.k[1] = k1;
  key.k[2] = k2;
  key.k[3] = k3;
  return 0;
}

int qxudps_set_setup_tea_keys(uint32_t k0, uint32_t k1, uint32_t k2, uint32_t k3) {
  qxudps_locked hold;
  qxudps_lib.setup_key = qx_tea_key{{k0, k1, k2, k3}, QX_TEA_DELTA};
  return 0;
}

namespace {

// Takes over the two copies; null ones mean direct mode.
void replace_proxy(char *address, int port, char *text) {
  qxudps_locked hold;
  free(qxudps_lib.proxy_address);
  free(qxudps_lib.proxy_text);
  qxudps_lib.proxy_address = address;
  qxudps_lib.proxy_text = text;
  qxudps_lib.proxy_port = port;
}

}  // namespace

int qxudps_set_proxy(const char *address, int port, const char *text) {
  if (address == nullptr || text == nullptr) {
    qxudps_record_error(QXUDPS_MSG_POINTER_NULL, 0);
    return -1;
  }
  char *address_copy = strdup(address);
  char *text_copy = strdup(text);
  if (address_copy == nullptr || text_copy == nullptr) {
    qxudps_record_error(qx_error_message(QX_ERR_BUFFER_ALLOC), errno);
    free(address_copy);
    free(text_copy);
    return -1;
  }
  replace_proxy(address_copy, port, text_copy);
  return 0;
}

int qxudps_clr_proxy(void) {
  replace_proxy(nullptr, QXUDPS_DEFAULT_PORT, nullptr);
  return 0;
}

int qxudps_set_search_target(const char *address, int port) {
  in_addr parsed;
  if (address != nullptr && (strlen(address) >= QXUDPS_ADDRESS_TEXT_SIZE || inet_pton(AF_INET, address, &parsed) != 1 ||
                             port < 1 || port > QXUDPS_PORT_MAX)) {
    qxudps_record_error(QXUDPS_MSG_TARGET_NOT_VALID, 0);
    return -1;
  }
  qxudps_locked hold;
  if (address == nullptr) {
    qxudps_lib.target_address[0] = '\0';
    qxudps_lib.target_port = QXUDPS_DEFAULT_PORT;
  } else {
    strcpy(qxudps_lib.target_address, address);
    qxudps_lib.target_port = port;
  }
  return 0;
}
