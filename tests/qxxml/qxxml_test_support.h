// Shared helpers of the qxxml tests: a library fixture, polling with a
// bound, a loopback port that refuses connections, and error-record access.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "qxxml/qxxml.h"

namespace qxtest {

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

// Polls until the predicate holds or the bound passes; returns the last result.
inline bool eventually(const std::function<bool()> &predicate, int milliseconds = 5000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A loopback port with nobody listening: bound, then closed again.
int refused_port();

// Opens a slot on host:port with the settings and waits until it runs.
int open_running(const char *host, int port, const qxxml_settings *settings = nullptr, void *owner = nullptr);

}  // namespace qxtest
