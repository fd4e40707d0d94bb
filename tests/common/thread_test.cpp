#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>

#include "common/qx_thread.h"
#include "tests/support/eventually.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Thread entries take no argument, so they talk to the tests through these.
std::atomic<int> g_runs{0};
std::atomic<bool> g_stop{false};
std::atomic<bool> g_ended{false};

void count_run() { g_runs.fetch_add(1); }

// Runs until told to stop, at most 10 seconds.
void run_until_stopped() {
  (void)qxsupport::Eventually([] { return g_stop.load(); }, std::chrono::seconds(10));
  g_ended.store(true);
}

class CommonThread : public ::testing::Test {
 protected:
  void SetUp() override {
    g_runs = 0;
    g_stop = false;
    g_ended = false;
  }
};

TEST_F(CommonThread, StartRunsEntryAndJoinReleasesHandle) {
  qx_thread_t thread = qx_thread_start(count_run);
  ASSERT_EQ(qx_thread_check(&thread), 0);
  EXPECT_EQ(qx_thread_join(&thread), 0);
  EXPECT_EQ(g_runs.load(), 1);
  EXPECT_EQ(qx_thread_check(&thread), -1);
  EXPECT_EQ(qx_thread_join(&thread), -1) << "a released handle cannot be joined again";
}

TEST_F(CommonThread, NoEntryGivesNoHandle) {
  qx_thread_t thread = qx_thread_start(nullptr);
  EXPECT_EQ(thread.valid, 0);
  EXPECT_EQ(qx_thread_check(&thread), -1);
  EXPECT_EQ(qx_thread_join(&thread), -1);
  EXPECT_EQ(qx_thread_check(nullptr), -1);
}

TEST_F(CommonThread, JoinGivesUpAfterThreeSecondsAndKeepsHandle) {
  qx_thread_t thread = qx_thread_start(run_until_stopped);
  ASSERT_EQ(qx_thread_check(&thread), 0);
  const auto start = steady_clock::now();
  EXPECT_EQ(qx_thread_join(&thread), -1);
  const auto waited = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
  EXPECT_GE(waited.count(), 2900);
  EXPECT_LE(waited.count(), 3500);
  EXPECT_EQ(qx_thread_check(&thread), 0);

  g_stop = true;
  EXPECT_EQ(qx_thread_join(&thread), 0);
  EXPECT_TRUE(g_ended.load());
}

TEST_F(CommonThread, DetachReleasesHandleAndThreadRunsOn) {
  qx_thread_t thread = qx_thread_start(run_until_stopped);
  ASSERT_EQ(qx_thread_check(&thread), 0);
  EXPECT_EQ(qx_thread_detach(&thread), 0);
  EXPECT_EQ(qx_thread_check(&thread), -1);
  EXPECT_FALSE(g_ended.load());
  g_stop = true;
  EXPECT_TRUE(qxsupport::Eventually([] { return g_ended.load(); }, milliseconds(2000)));
  EXPECT_EQ(qx_thread_detach(&thread), 0) << "detaching a released handle is harmless";
}

TEST(CommonTime, SleepLastsAtLeastTheRequestedTime) {
  const auto start = steady_clock::now();
  qx_sleep_ms(50);
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(steady_clock::now() - start).count(), 50);
}

TEST(CommonTime, SecondsFollowTheWallClock) {
  const long before = static_cast<long>(std::time(nullptr));
  const long now = qx_time_seconds();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 1);
}

}  // namespace
