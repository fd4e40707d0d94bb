// Setup requests of the UDP discovery object against simulated devices on
// loopback. Each test pays the library's six-second wait for the device's
// restart, so there are only these two.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sdk/test_udps_fixture.h"
#include "tests/support/pump_until.h"

namespace zelvoapi {
namespace udps_test {
namespace {

using qxsupport::PumpUntil;

constexpr int kSettingBit1 = 0x02;

TEST_F(SdkUdpsTest, SetupWithBit5SendsTheBitForThatRequestOnly) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  const int at = IndexOf(udps, configs_[0].mac);
  ASSERT_NE(at, -1);
  TUdpsDevice before;
  ASSERT_EQ(udps.GetDevice(at, before), UDPS_DONE);

  ASSERT_EQ(udps.SetupWithBit5(at), UDPS_DONE);
  EXPECT_EQ(udps.Devices[at]->setting_bit5, 0);
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone, kSetupBegin}));
  // The object's own request keeps it busy until the device has restarted.
  TUdpsDevice device;
  EXPECT_EQ(udps.SetupWithBit5(at), UDPS_BUSY);
  EXPECT_EQ(udps.Setup(at, before), UDPS_BUSY);
  EXPECT_EQ(udps.Search(), UDPS_BUSY);
  EXPECT_EQ(udps.GetDevice(at, device), UDPS_BUSY);

  ASSERT_TRUE(PumpUntil([&] { return recorder.Count(kSetupDone) == 1; }, kSetupWait));
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone, kSetupBegin, kSetupDone}));
  EXPECT_TRUE(recorder.AllOnUiThread());
  EXPECT_EQ(responder_.setups_applied(), 1u);
  // The device took bit 5 and kept every other bit as it reported them.
  EXPECT_EQ(servers_[0].config().discovery.settings, kFirstSettings | kSettingBit5);
  EXPECT_EQ(udps.Devices[at]->setting_bit5, 0);
  TUdpsDevice after;
  ASSERT_EQ(udps.GetDevice(at, after), UDPS_DONE);
  EXPECT_EQ(after.SettingBit0, before.SettingBit0);
  EXPECT_EQ(after.SettingBit4, before.SettingBit4);
}

TEST_F(SdkUdpsTest, SetupWithKeysSendsTheChangedSettingsUnderTheSetupKey) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  const int at = IndexOf(udps, configs_[1].mac);
  ASSERT_NE(at, -1);
  TUdpsDevice device;
  ASSERT_EQ(udps.GetDevice(at, device), UDPS_DONE);
  ASSERT_EQ(device.CapBit0, 1) << "the device must ask for the setup key";

  device.Name = "Renamed over UDP";
  device.Ip = "127.0.0.3";
  device.AddrM = "255.255.255.0";
  device.Port = 8088;
  device.SettingBit1 = 1;
  const uint32_t *key = configs_[1].discovery.setup_key;
  ASSERT_EQ(udps.SetupWithKeys(at, device, key[0], key[1], key[2], key[3]), UDPS_DONE);
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone, kSetupBegin}));

  ASSERT_TRUE(PumpUntil([&] { return recorder.Count(kSetupDone) == 1; }, kSetupWait));
  EXPECT_EQ(recorder.Names(), (std::vector<std::string>{kSearchBegin, kSearchDone, kSetupBegin, kSetupDone}));
  // The device checks the datagram under its setup key: it applies it only
  // when the key was installed.
  ASSERT_EQ(responder_.setups_applied(), 1u);
  const devsim::DeviceConfig applied = servers_[1].config();
  EXPECT_EQ(applied.device_name, device.Name);
  EXPECT_EQ(applied.network.ip, device.Ip);
  EXPECT_EQ(applied.network.mask, device.AddrM);
  EXPECT_EQ(applied.network.http_port, std::to_string(device.Port));
  EXPECT_EQ(applied.discovery.settings & kSettingBit1, kSettingBit1);
}

}  // namespace
}  // namespace udps_test
}  // namespace zelvoapi
