// The caller-side helper of the callback record.
#include <gtest/gtest.h>

#include "qxudps/qxudps.h"

namespace {

void Done(void *) {}
void Failed(void *, qx_error_record *) {}

TEST(UdpsCallbacks, ClearingEmptiesEveryEntry) {
  qxudps_callbacks callbacks = {Done, Done, Failed, Failed};
  EXPECT_EQ(qxudps_clr_callback_struct(&callbacks), 0);
  EXPECT_EQ(callbacks.search_done, nullptr);
  EXPECT_EQ(callbacks.setup_done, nullptr);
  EXPECT_EQ(callbacks.search_error, nullptr);
  EXPECT_EQ(callbacks.setup_error, nullptr);
}

TEST(UdpsCallbacks, ClearingNoRecordIsHarmless) { EXPECT_EQ(qxudps_clr_callback_struct(nullptr), 0); }

}  // namespace
