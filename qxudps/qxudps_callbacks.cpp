// The caller-side helpers of the callback record.
#include <stddef.h>

#include "qxudps/qxudps.h"

int qxudps_clr_callback_struct(qxudps_callbacks *callbacks) {
  if (callbacks != NULL) *callbacks = qxudps_callbacks{};
  return 0;
}
