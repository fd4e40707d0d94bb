// The callback record and the owners it is called with.
#include "qxudps/qxudps_state_private.h"

int qxudps_callback(const qxudps_callbacks *callbacks) {
  qxudps_locked hold;
  qxudps_lib.callbacks = callbacks != nullptr ? *callbacks : qxudps_callbacks{};
  return 0;
}

int qxudps_clr_callback_struct(qxudps_callbacks *callbacks) {
  if (callbacks != nullptr) *callbacks = qxudps_callbacks{};
  return 0;
}

// Callbacks run under the lock, so once this holds it no callback is running
// with `owner`, and none will start with it.
int qxudps_clr_ptr(void *owner) {
  qxudps_locked hold;
  if (qxudps_lib.search_owner == owner) qxudps_lib.search_owner = nullptr;
  if (qxudps_lib.setup_owner == owner) qxudps_lib.setup_owner = nullptr;
  return 0;
}
