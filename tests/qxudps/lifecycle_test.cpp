// Starting and stopping the library, and how it takes, refuses and drops
// requests. Searches go to a simulated device on loopback.
#include <gtest/gtest.h>

#include "qxudps/qxudps_state_private.h"
#include "tests/qxudps/library_fixture.h"
#include "tests/support/eventually.h"

namespace udpstest {
namespace {

using Lifecycle = LibraryTest;

qx_error_record Error() {
  qx_error_record record;
  qxudps_error(&record);
  return record;
}

// Refusals of the state carry their text and no system error.
void ExpectRefusal(const char *text) {
  const qx_error_record record = Error();
  EXPECT_STREQ(record.text, text);
  EXPECT_EQ(record.sys_errno, 0);
  EXPECT_STREQ(record.sys_text, "");
  EXPECT_EQ(record.code, 0);
}

TEST_F(Lifecycle, SecondInitIsRefusedUntilTheStoppedWorkerHasEnded) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  EXPECT_EQ(qxudps_init(), -1);
  ExpectRefusal("Init already run");

  qxudps_uninit();
  ASSERT_TRUE(qxsupport::Eventually(Stopped, kStopBound));
  ASSERT_EQ(qxudps_init(), 0) << ErrorText();
  ASSERT_EQ(qxudps_search(0, this), 0);
  ASSERT_TRUE(
      qxsupport::Eventually([] { return qxudps_search_finish() == 0 && qxudps_lib.worker_idle; }, kSearchBound));
  EXPECT_EQ(log().count(Event::search_done), 0u) << "the start cleared the callbacks";
  InstallCallbacks();
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), 1) << "a restarted library searches again";
}

TEST_F(Lifecycle, RequestsAreRefusedWhileOneWaitsAndWhileTheWorkerRuns) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  qxudps_device request{};
  {
    // The worker cannot take the request while the test holds the lock.
    qxudps_locked hold;
    ASSERT_EQ(qxudps_search(0, this), 0);
    EXPECT_EQ(qxudps_search_finish(), -1);
    EXPECT_EQ(qxudps_search(0, this), -1);
    ExpectRefusal("Search already run");
  }
  ASSERT_TRUE(qxsupport::Eventually([] { return qxudps_lib.worker_idle == 0; }, kSearchBound));
  EXPECT_EQ(qxudps_search(0, this), -1);
  ExpectRefusal("Action not success");
  EXPECT_EQ(qxudps_setup(&request, 0, this), -1);
  ExpectRefusal("Action not success");

  ASSERT_TRUE(log().wait_for(Event::search_done));
  EXPECT_EQ(qxudps_search_finish(), 0);
  ASSERT_TRUE(qxsupport::Eventually([] { return qxudps_lib.worker_idle == 1; }, kSearchBound));
  EXPECT_EQ(qxudps_search(0, this), 0) << "an idle worker takes the next search";
  EXPECT_TRUE(log().wait_for(Event::search_done, 2));
}

TEST_F(Lifecycle, ASearchAndASetupTakenByOneWakeUpRunSearchFirst) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 1);
  qxudps_set_setup_wait_ms(0);
  qxudps_device request = *Found(fleet.server(0).config().mac);
  // The search's callback runs before the worker is idle again; a request
  // made before then is refused as busy.
  ASSERT_TRUE(qxsupport::Eventually([] { return qxudps_lib.worker_idle == 1; }, kSearchBound));
  log().clear();
  {
    qxudps_locked hold;
    ASSERT_EQ(qxudps_search(0, this), 0);
    ASSERT_EQ(qxudps_setup(&request, 0, &request), 0) << "one wake-up serves both";
  }
  ASSERT_TRUE(log().wait_for(Event::setup_done));
  const std::vector<Callback> calls = log().all();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].event, Event::search_done);
  EXPECT_EQ(calls[0].owner, this);
  EXPECT_EQ(calls[1].event, Event::setup_done);
  EXPECT_EQ(calls[1].owner, &request);
}

TEST_F(Lifecycle, ClearingTheOwnerOfARunningSearchGivesItsCallbackANullOwner) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_search(0, this), 0);
  ASSERT_TRUE(qxsupport::Eventually([] { return qxudps_lib.worker_idle == 0; }, kSearchBound));
  qxudps_clr_ptr(this);
  ASSERT_TRUE(log().wait_for(Event::search_done));
  EXPECT_EQ(log().all()[0].owner, nullptr);
  EXPECT_EQ(qxudps_count(), 1) << "the search itself completes";
}

TEST_F(Lifecycle, UninitDuringASearchCompletesItWithANullOwnerAndThenStops) {
  Fleet fleet(Devices(2));
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_search(0, this), 0);
  ASSERT_TRUE(qxsupport::Eventually([] { return qxudps_lib.worker_idle == 0; }, kSearchBound));
  EXPECT_EQ(qxudps_uninit(), 0);
  ASSERT_TRUE(log().wait_for(Event::search_done));
  EXPECT_EQ(log().all()[0].owner, nullptr);
  EXPECT_TRUE(qxsupport::Eventually(Stopped, kStopBound));
  EXPECT_EQ(qxudps_count(), 2) << "records stay after the stop";
  EXPECT_EQ(qxudps_search(0, this), -1) << "a stopped library takes no request";
}

TEST_F(Lifecycle, RecordsAreReadOnceEachUntilRewound) {
  Fleet fleet(Devices(2));
  Start(fleet.udp_port());
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 2);
  qxudps_device *first = nullptr, *second = nullptr, *beyond = nullptr;
  ASSERT_EQ(qxudps_record(&first), 0);
  ASSERT_EQ(qxudps_record(&second), 0);
  EXPECT_NE(first, second);
  EXPECT_EQ(qxudps_record(&beyond), -1);
  EXPECT_EQ(beyond, nullptr);
  qxudps_device copy;
  EXPECT_EQ(qxudps_record_copy(&copy), -1) << "the cursor stays after the last record";
  qxudps_rewind();
  ASSERT_EQ(qxudps_record_copy(&copy), 0);
  EXPECT_EQ(memcmp(&copy, first, sizeof copy), 0);
}

TEST_F(Lifecycle, ASearchWithoutRepliesLeavesNoRecordsOfTheSearchBefore) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 1);
  fleet.responder().stop();
  SearchAndWait();
  EXPECT_EQ(log().count(Event::search_done), 2u);
  EXPECT_EQ(qxudps_count(), 0);
  qxudps_device *record = nullptr;
  EXPECT_EQ(qxudps_record(&record), -1);
}

TEST_F(Lifecycle, KeysSetBeforeInitGiveWayToTheBuiltInKey) {
  Fleet fleet(Devices(1));
  qxudps_set_tea_keys(1, 2, 3, 4);
  Start(fleet.udp_port());
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), 1);
  qxudps_set_tea_keys(1, 2, 3, 4);
  SearchAndWait();
  EXPECT_EQ(qxudps_count(), 0) << "replies under another key are not authentic";
}

TEST_F(Lifecycle, ASearchThatCannotBeSentGetsItsErrorCallbackAndIsDropped) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  ASSERT_EQ(qxudps_set_proxy("not-an-address.invalid", 0, "proxy"), 0);
  ASSERT_EQ(qxudps_search(0, this), 0);
  ASSERT_TRUE(log().wait_for(Event::search_error));
  const Callback failed = log().all()[0];
  EXPECT_EQ(failed.owner, this);
  EXPECT_EQ(failed.text, "Sendto failed");
  EXPECT_TRUE(qxsupport::Eventually([] { return qxudps_search_finish() == 0; }, kSearchBound));
  EXPECT_EQ(log().count(Event::search_done), 0u) << "a failed search ends with its error alone";
}

TEST(LifecycleSettings, RefusesABadSearchTargetAndNullProxyTexts) {
  EXPECT_EQ(qxudps_set_search_target("127.0.0.1", 0), -1);
  EXPECT_EQ(qxudps_set_search_target("localhost", 9999), -1) << "the target is never resolved";
  EXPECT_EQ(qxudps_set_search_target("127.0.0.1", 65536), -1);
  EXPECT_EQ(qxudps_set_search_target("127.0.0.1", 9000), 0);
  EXPECT_EQ(qxudps_set_search_target(nullptr, 0), 0);
  EXPECT_EQ(qxudps_set_proxy(nullptr, 0, "proxy"), -1);
  EXPECT_EQ(qxudps_set_proxy("127.0.0.1", 0, nullptr), -1);
  EXPECT_EQ(qxudps_error(nullptr), -1);
}

}  // namespace
}  // namespace udpstest
