// The UDP discovery object against simulated devices on loopback: searches,
// the events they raise, and the device list they leave.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/sdk/test_udps_fixture.h"
#include "tests/support/eventually.h"
#include "tests/support/pump_until.h"

namespace zelvoapi {
namespace udps_test {
namespace {

using qxsupport::PumpUntil;

constexpr char kActionNotSuccess[] = "Action not success";

// The events but the errors, in order.
std::vector<std::string> WithoutErrors(const TUdpsRecorder &recorder) {
  std::vector<std::string> names;
  for (const std::string &name : recorder.Names())
    if (name != kError) names.push_back(name);
  return names;
}

TEST_F(SdkUdpsTest, BusyDuringItsOwnSearchAndRaisesNothingThen) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_EQ(udps.Search(), UDPS_DONE);
  EXPECT_EQ(udps.State.load(), uaSearch);
  EXPECT_EQ(recorder.Names(), std::vector<std::string>{kSearchBegin});

  EXPECT_EQ(udps.Search(), UDPS_BUSY);
  EXPECT_EQ(udps.DeviceCount(), UDPS_BUSY);
  TUdpsDevice device;
  for (int index : {-1, 0, kDevices - 1, kDevices}) {
    EXPECT_EQ(udps.GetDevice(index, device), UDPS_BUSY) << "index " << index;
  }
  EXPECT_EQ(udps.SetDevice(0, device), UDPS_BUSY);
  EXPECT_EQ(udps.Setup(0, device), UDPS_BUSY);
  EXPECT_EQ(udps.SetupWithBit5(0), UDPS_BUSY);
  EXPECT_EQ(recorder.Names(), std::vector<std::string>{kSearchBegin});

  ASSERT_TRUE(PumpUntil([&] { return recorder.Count(kSearchDone) == 1; }, kSearchWait));
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone}));
  EXPECT_TRUE(recorder.AllOnUiThread());
  EXPECT_EQ(udps.State.load(), uaIdle);
  EXPECT_EQ(udps.DeviceCount(), kDevices);
}

TEST_F(SdkUdpsTest, IndexOutsideTheListIsRefusedAndRaisesNothing) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  const int count = udps.DeviceCount();
  ASSERT_EQ(count, kDevices);
  const std::vector<std::string> after_search = recorder.Names();

  TUdpsDevice device;
  for (int index : {-1, count}) {
    EXPECT_EQ(udps.CheckIndex(index), UDPS_BAD_INDEX) << "index " << index;
    EXPECT_EQ(udps.GetDevice(index, device), UDPS_BAD_INDEX) << "index " << index;
    EXPECT_EQ(udps.SetDevice(index, device), UDPS_BAD_INDEX) << "index " << index;
    EXPECT_EQ(udps.Setup(index, device), UDPS_BAD_INDEX) << "index " << index;
    EXPECT_EQ(udps.SetupWithBit5(index), UDPS_BAD_INDEX) << "index " << index;
  }
  EXPECT_EQ(udps.CheckIndex(count - 1), UDPS_DONE);
  EXPECT_EQ(udps.GetDevice(count - 1, device), UDPS_DONE);
  EXPECT_EQ(recorder.Names(), after_search);
  EXPECT_EQ(udps.State.load(), uaIdle);
}

TEST_F(SdkUdpsTest, SearchWithoutRepliesEndsDoneWithAnEmptyList) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  ASSERT_EQ(udps.DeviceCount(), kDevices);

  AimAtSilence();
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone, kSearchBegin, kSearchDone}));
  EXPECT_EQ(udps.DeviceCount(), 0);
  TUdpsDevice device;
  EXPECT_EQ(udps.GetDevice(0, device), UDPS_BAD_INDEX);
}

TEST_F(SdkUdpsTest, SearchRefusedWhileAnotherObjectSearchesRaisesErrorAtOnce) {
  TUdps searching(nullptr);
  TUdps refused(nullptr);
  TUdpsRecorder searching_events(searching);
  TUdpsRecorder refused_events(refused);
  ASSERT_EQ(searching.Search(), UDPS_DONE);

  // Until the library's worker has taken the first search, the second is
  // refused as one already requested; from then on as one the busy worker
  // cannot take. Each refusal must raise its error before the call returns.
  bool accepted = false;
  bool raised_at_once = true;
  const bool busy_refusal = qxsupport::Eventually(
      [&] {
        const size_t before = refused_events.events.size();
        if (refused.Search() != UDPS_REFUSED) {
          accepted = true;
          return true;
        }
        if (refused_events.events.size() != before + 1) {
          raised_at_once = false;
          return true;
        }
        return refused_events.events.back().Error.Text == kActionNotSuccess;
      },
      kWorkerWait);
  ASSERT_FALSE(accepted);
  ASSERT_TRUE(raised_at_once);
  ASSERT_TRUE(busy_refusal);

  for (const TUdpsEvent &event : refused_events.events) {
    EXPECT_EQ(event.Name, kError);
    EXPECT_EQ(event.Operation, UDPS_SEARCH_OPERATION);
  }
  const TSdkError &error = refused_events.events.back().Error;
  EXPECT_EQ(error.Text, kActionNotSuccess);
  EXPECT_EQ(error.SysCode, 0);
  EXPECT_EQ(error.SysText, "");
  EXPECT_EQ(refused.State.load(), uaIdle);

  const size_t refusals = refused_events.events.size();
  ASSERT_TRUE(PumpUntil([&] { return searching_events.Count(kSearchDone) == 1; }, kSearchWait));
  EXPECT_EQ(refused_events.events.size(), refusals);
  EXPECT_EQ(refused.DeviceCount(), 0);
  EXPECT_EQ(searching.DeviceCount(), kDevices);
}

TEST_F(SdkUdpsTest, AnotherObjectsSearchEmptiesTheList) {
  TUdps first(nullptr);
  TUdps second(nullptr);
  TUdpsRecorder first_events(first);
  TUdpsRecorder second_events(second);
  ASSERT_TRUE(SearchAndWait(first, first_events));
  ASSERT_EQ(first.DeviceCount(), kDevices);

  // The second search clears the library's records that the first list
  // points to: the first object must not hand them out as its own.
  ASSERT_TRUE(SearchAndWait(second, second_events));
  EXPECT_EQ(second.DeviceCount(), kDevices);
  EXPECT_EQ(first.DeviceCount(), 0);
  EXPECT_EQ(first.Count.load(), 0);
  TUdpsDevice device;
  EXPECT_EQ(first.GetDevice(0, device), UDPS_BAD_INDEX);
  EXPECT_EQ(first.SetDevice(0, device), UDPS_BAD_INDEX);
  EXPECT_EQ(first.SetupWithBit5(0), UDPS_BAD_INDEX);
  EXPECT_EQ(first_events.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone}));
}

TEST_F(SdkUdpsTest, ObjectDestroyedDuringItsSearchLeavesTheLibraryToTheNext) {
  auto first = std::make_unique<TUdps>(nullptr);
  ASSERT_EQ(first->Search(), UDPS_DONE);
  first.reset();

  // Made at once, so it may well get the address of the first: the first
  // search's completion, still to come, must not reach it.
  auto next = std::make_unique<TUdps>(nullptr);
  TUdpsRecorder events(*next);
  ASSERT_TRUE(PumpUntil([] { return qxudps_search_finish() == 0; }, kSearchWait));
  // The worker goes idle just after it finished the orphaned search.
  ASSERT_TRUE(PumpUntil([&] { return next->Search() == UDPS_DONE; }, kWorkerWait));
  ASSERT_TRUE(PumpUntil([&] { return events.Count(kSearchDone) == 1; }, kSearchWait));
  EXPECT_EQ(WithoutErrors(events), (std::vector<std::string>{kSearchBegin, kSearchDone}));
  EXPECT_EQ(next->DeviceCount(), kDevices);
}

// Owns an object and destroys it from the object's own completion handler,
// as a program may when its search window closes.
class TSelfDestroyer {
 public:
  void Done(TSdkSimpleEventArgs &) {
    ++done;
    object.reset();
  }

  std::unique_ptr<TUdps> object;
  int done = 0;
};

TEST_F(SdkUdpsTest, DoneHandlerMayDestroyItsObject) {
  TSelfDestroyer owner;
  owner.object = std::make_unique<TUdps>(nullptr);
  owner.object->OnSearchDone =
      std::make_unique<EventHandler<TSelfDestroyer, TSdkSimpleEventArgs>>(&owner, &TSelfDestroyer::Done);
  ASSERT_EQ(owner.object->Search(), UDPS_DONE);
  ASSERT_TRUE(PumpUntil([&] { return owner.done == 1; }, kSearchWait));
  EXPECT_EQ(owner.object, nullptr);

  // The family goes on with a new object.
  TUdps next(nullptr);
  TUdpsRecorder events(next);
  ASSERT_TRUE(SearchAndWait(next, events));
  EXPECT_EQ(next.DeviceCount(), kDevices);
  EXPECT_EQ(owner.done, 1);
}

}  // namespace
}  // namespace udps_test
}  // namespace zelvoapi
