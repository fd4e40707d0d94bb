// Shared helpers of the qxxml tests: a library fixture, slots that run,
// error-record access and the bound of waits for a worker's actions.
#pragma once

#include <gtest/gtest.h>

#include <chrono>

#include "qxxml/qxxml.h"
#include "tests/support/eventually.h"
#include "tests/support/ports.h"

namespace qxtest {

// How long a test waits for a worker thread to do what it was asked: far
// beyond what loopback and a parse take, so only a fault reaches it.
constexpr std::chrono::milliseconds kWorkerBound{5000};

// Initialises qxxml for one test and tears it down afterwards.
class Library : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(qxxml_init(), 0); }
  void TearDown() override {
    qxxml_count_ref2zero();
    EXPECT_EQ(qxxml_uninit(), 0);
  }
};

inline int error_code(int slot) {
  qx_error_record record;
  qxxml_error(slot, &record);
  return record.code;
}

// Opens a slot on host:port with the settings and waits until it runs.
int open_running(const char *host, int port, const qxxml_settings *settings = nullptr, void *owner = nullptr);

}  // namespace qxtest
