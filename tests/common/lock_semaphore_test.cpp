#include <gtest/gtest.h>

#include <chrono>

#include "common/qx_thread.h"
#include "tests/common/helper_thread.h"
#include "tests/support/eventually.h"

namespace {

using common_test::Helper;
using std::chrono::milliseconds;

// Long enough for a helper thread to reach a blocking call on a loaded machine.
const milliseconds kBlockProbe(200);
const milliseconds kLimit(2000);

class CommonLock : public ::testing::Test {
 protected:
  qx_thread_mutex_t lock_;
  void SetUp() override { ASSERT_EQ(qx_thread_mutex_init(&lock_), 0); }
  void TearDown() override { qx_thread_mutex_destroy(&lock_); }
};

TEST_F(CommonLock, TakenTwiceAndReleasedTwiceIsFreeForOthers) {
  {
    Helper owner([this] {
      EXPECT_EQ(qx_thread_mutex_lock(&lock_), 0);
      EXPECT_EQ(qx_thread_mutex_lock(&lock_), 0);  // a plain lock would hang here
      EXPECT_EQ(qx_thread_mutex_unlock(&lock_), 0);
      EXPECT_EQ(qx_thread_mutex_unlock(&lock_), 0);
    });
    ASSERT_TRUE(owner.finished_within(kLimit)) << "taking the lock a second time blocked";
  }
  Helper other([this] {
    EXPECT_EQ(qx_thread_mutex_lock(&lock_), 0);
    EXPECT_EQ(qx_thread_mutex_unlock(&lock_), 0);
  });
  EXPECT_TRUE(other.finished_within(kLimit)) << "lock still held after two releases";
}

TEST_F(CommonLock, TakenTwiceAndReleasedOnceStillExcludesOthers) {
  ASSERT_EQ(qx_thread_mutex_lock(&lock_), 0);
  ASSERT_EQ(qx_thread_mutex_lock(&lock_), 0);
  ASSERT_EQ(qx_thread_mutex_unlock(&lock_), 0);
  Helper other([this] {
    qx_thread_mutex_lock(&lock_);
    qx_thread_mutex_unlock(&lock_);
  });
  EXPECT_FALSE(other.finished_within(kBlockProbe)) << "one release freed a lock taken twice";
  ASSERT_EQ(qx_thread_mutex_unlock(&lock_), 0);
  EXPECT_TRUE(other.finished_within(kLimit));
}

TEST(CommonLockArguments, NullLockIsRefused) {
  EXPECT_EQ(qx_thread_mutex_init(nullptr), -1);
  EXPECT_EQ(qx_thread_mutex_lock(nullptr), -1);
  EXPECT_EQ(qx_thread_mutex_unlock(nullptr), -1);
  qx_thread_mutex_destroy(nullptr);
}

class CommonSemaphore : public ::testing::Test {
 protected:
  qx_sem_t sem_;
  void SetUp() override { ASSERT_EQ(qx_sem_init(&sem_), 0); }
  void TearDown() override { EXPECT_NE(qx_sem_destroy(&sem_), 0); }

  int waiters() {
    pthread_mutex_lock(&sem_.mutex);
    const int count = sem_.waiters;
    pthread_mutex_unlock(&sem_.mutex);
    return count;
  }
};

TEST_F(CommonSemaphore, SecondPostIsRefusedAndOnlyOneWaitPasses) {
  EXPECT_EQ(qx_sem_post(&sem_), 0);
  EXPECT_EQ(qx_sem_post(&sem_), -1);
  {
    Helper first([this] { EXPECT_EQ(qx_sem_wait(&sem_), 0); });
    ASSERT_TRUE(first.finished_within(kLimit)) << "wait on a posted semaphore blocked";
  }
  Helper second([this] { EXPECT_EQ(qx_sem_wait(&sem_), 0); });
  EXPECT_FALSE(second.finished_within(kBlockProbe)) << "the refused post was counted";
  EXPECT_EQ(qx_sem_post(&sem_), 0);
  EXPECT_TRUE(second.finished_within(kLimit));
}

TEST_F(CommonSemaphore, NewSemaphoreBlocksUntilPosted) {
  Helper waiter([this] { EXPECT_EQ(qx_sem_wait(&sem_), 0); });
  EXPECT_FALSE(waiter.finished_within(kBlockProbe));
  EXPECT_EQ(qx_sem_post(&sem_), 0);
  EXPECT_TRUE(waiter.finished_within(kLimit));
  EXPECT_EQ(qx_sem_post(&sem_), 0) << "a passed wait must lower the count again";
  EXPECT_EQ(qx_sem_wait(&sem_), 0);
}

TEST_F(CommonSemaphore, DestroyIsRefusedWhileAThreadWaits) {
  Helper waiter([this] { EXPECT_EQ(qx_sem_wait(&sem_), 0); });
  ASSERT_TRUE(qxsupport::Eventually([this] { return waiters() == 1; }, kLimit));
  EXPECT_EQ(qx_sem_destroy(&sem_), 0);
  EXPECT_EQ(qx_sem_post(&sem_), 0);
  EXPECT_TRUE(waiter.finished_within(kLimit));
}

TEST(CommonSemaphoreArguments, NullSemaphoreIsRefused) {
  EXPECT_EQ(qx_sem_init(nullptr), -1);
  EXPECT_EQ(qx_sem_post(nullptr), -1);
  EXPECT_EQ(qx_sem_wait(nullptr), -1);
  EXPECT_EQ(qx_sem_destroy(nullptr), 0);
}

}  // namespace
