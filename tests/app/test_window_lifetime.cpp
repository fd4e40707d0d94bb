// The main window against a simulated device when the device goes away while
// one of its events is still queued for the user-interface thread.
#include "qxxml/qxxml.h"
#include "tests/app/main_window_fixture.h"

namespace calibrator_test {
namespace {

// The library slot open for the device on loopback `port`, -1 for none.
int SlotServing(int port) {
  for (int slot = 1; slot < QXXML_ID_COUNT_MAX; ++slot) {
    char ip[16] = {};
    int slot_port = 0;
    if (qxxml_get_module(slot, ip, &slot_port) == 0 && slot_port == port) return slot;
  }
  return -1;
}

using AppWindowLifetime = MainWindowTest;

TEST_F(AppWindowLifetime, RefreshThenCloseWhileBusyDoesNotReadFreedRecords) {
  StartDevice(qxsupport::SteadyVariant("thermometer"));
  OpenDevice("admin", "admin");
  const int slot = SlotServing(port_);
  ASSERT_NE(slot, -1);

  QTest::mouseClick(ReadButton(), Qt::LeftButton);
  // The user-interface thread is busy until the download has ended on the
  // worker. Its setup event is then queued, or being posted, which the close
  // waits for before the slot's records are freed.
  ASSERT_EQ(qxxml_wait_finish(slot, QXXML_FINISH_SETUP, kWaitMs / 1000), 0);
  QTest::mouseClick(UseCloseButton(), Qt::LeftButton);
  ASSERT_EQ(UseCloseButton()->text(), "&Open This Device");

  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(LogLines().count(DownloadedLine()), 1) << "only the download before the close is listed\n" << Dump();
  EXPECT_EQ(Grid()->rowCount(), 1) << "the list the refresh cleared stays empty";
  EXPECT_FALSE(ReadButton()->isEnabled()) << "no refresh of a closed device";
}

}  // namespace
}  // namespace calibrator_test
