// Setups of simulated devices on loopback: the datagram's effect on the
// device, the name setting that follows, and the failures of a setup.
#include <gtest/gtest.h>

#include <cstring>

#include "qxudps/qxudps_private.h"
#include "tests/qxudps/library_fixture.h"
#include "tests/support/eventually.h"

namespace udpstest {
namespace {

constexpr int kKeptSettingBits = 0xC8;     // bits 3, 6 and 7: a setup never writes them
constexpr int kWrittenSettingBits = 0x37;  // bits 0, 1, 2, 4 and 5

class SetupRequest : public LibraryTest {
 protected:
  // Starts the library on `fleet`, whose one device it finds, with setups
  // that do not wait for a restart; returns the device's record.
  qxudps_device FindTheDevice(Fleet &fleet) {
    Start(fleet.udp_port());
    qxudps_set_setup_wait_ms(0);
    SearchAndWait();
    EXPECT_EQ(qxudps_count(), 1);
    return qxudps_count() == 1 ? Records()[0] : qxudps_device{};
  }
};

void SetText(char *field, std::size_t size, const std::string &text) { std::snprintf(field, size, "%s", text.c_str()); }

// Runs a setup of `request` and waits for its setup_done.
void SetupAndWait(const qxudps_device &request, int lookup_names, void *owner) {
  ASSERT_EQ(qxudps_setup(&request, lookup_names, owner), 0);
  ASSERT_TRUE(LibraryTest::log().wait_for(Event::setup_done, 1, kSearchBound + milliseconds(6000)));
}

TEST_F(SetupRequest, ADeviceNotInTheListGetsModuleNotExistThenSetupDone) {
  Fleet fleet(Devices(1));
  Start(fleet.udp_port());
  SearchAndWait();
  log().clear();
  qxudps_device request = Records()[0];
  SetText(request.mac, sizeof request.mac, "02:00:5E:10:FF:FF");
  SetupAndWait(request, 0, &request);
  const std::vector<Callback> calls = log().all();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].event, Event::setup_error);
  EXPECT_EQ(calls[0].text, "Module not exist");
  EXPECT_EQ(calls[1].event, Event::setup_done);
  EXPECT_EQ(calls[1].owner, &request);
  EXPECT_EQ(fleet.responder().setups_applied(), 0u);
}

TEST_F(SetupRequest, ChangesPortAddressSettingsAndNameButNeverBits3To7) {
  std::vector<devsim::DeviceConfig> configs = Devices(1, QXUDPS_TYPE_EXTENDED);
  configs[0].discovery.settings = kKeptSettingBits;
  Fleet fleet(configs);
  qxudps_device request = FindTheDevice(fleet);
  request.port = 8080;
  SetText(request.addr_w, sizeof request.addr_w, "127.0.0.254");
  SetText(request.name, sizeof request.name, "Cold store");
  request.setting_bit0 = request.setting_bit1 = request.setting_bit2 = 1;
  request.setting_bit3 = 0;  // not written: bit 3 stays as the device has it
  request.setting_bit4 = request.setting_bit5 = 1;
  SetupAndWait(request, 0, &request);

  ASSERT_TRUE(qxsupport::Eventually([&] { return fleet.responder().setups_applied() == 1; }, kSearchBound));
  const devsim::DeviceConfig applied = fleet.server(0).config();
  EXPECT_EQ(applied.network.http_port, "8080");
  EXPECT_EQ(applied.network.gateway, "127.0.0.254");
  EXPECT_EQ(applied.device_name, "Cold store");
  EXPECT_EQ(applied.discovery.settings, kKeptSettingBits | kWrittenSettingBits);
  EXPECT_EQ(Found(configs[0].mac)->raw_settings, static_cast<uint32_t>(kKeptSettingBits | kWrittenSettingBits))
      << "the found record keeps the settings byte sent";
  EXPECT_EQ(log().count(Event::setup_error), 0u);
}

TEST_F(SetupRequest, ADeviceThatAsksForTheSetupKeyTakesASetupUnderIt) {
  std::vector<devsim::DeviceConfig> configs = Devices(1, QXUDPS_TYPE_EXTENDED);
  configs[0].discovery.capabilities = 0x01;
  const uint32_t key[4] = {0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10};
  std::memcpy(configs[0].discovery.setup_key, key, sizeof key);
  Fleet fleet(configs);
  qxudps_device request = FindTheDevice(fleet);
  request.port = 8081;
  SetupAndWait(request, 0, this);
  EXPECT_EQ(fleet.responder().setups_applied(), 0u) << "refused under the search key";

  qxudps_set_setup_tea_keys(key[0], key[1], key[2], key[3]);
  log().clear();
  SetupAndWait(request, 0, this);
  ASSERT_TRUE(qxsupport::Eventually([&] { return fleet.responder().setups_applied() == 1; }, kSearchBound));
  EXPECT_EQ(fleet.server(0).config().network.http_port, "8081");
}

// The name goes over HTTP after the device's restart, and comes back the
// same from a search with look-ups, markup characters and all. This test
// pays the whole restart wait.
TEST_F(SetupRequest, ANameWithMarkupCharactersSurvivesASetAndALookUp) {
  std::vector<devsim::DeviceConfig> configs = Devices(1);
  configs[0].name_post_without_auth = true;
  Fleet fleet(configs);
  Start(fleet.udp_port());
  SearchAndWait();
  ASSERT_EQ(qxudps_count(), 1);
  qxudps_device request = Records()[0];
  const std::string name = "R&D <cold> store";
  SetText(request.name, sizeof request.name, name);
  ASSERT_EQ(qxudps_setup(&request, 1, this), 0);
  EXPECT_EQ(qxudps_setup_finish(), -1);
  ASSERT_TRUE(log().wait_for(Event::setup_done, 1, kSearchBound + milliseconds(6000)));
  EXPECT_EQ(qxudps_setup_finish(), 0);
  EXPECT_EQ(fleet.server(0).config().device_name, name);

  SearchAndWait(1);
  ASSERT_EQ(qxudps_count(), 1);
  EXPECT_EQ(std::string(Records()[0].name), name);
}

TEST_F(SetupRequest, ASetupThatCannotBeSentGetsItsErrorAndStillEndsWithSetupDone) {
  Fleet fleet(Devices(1));
  const qxudps_device request = FindTheDevice(fleet);
  ASSERT_EQ(qxudps_set_proxy("not-an-address.invalid", 0, "proxy"), 0);
  log().clear();
  SetupAndWait(request, 0, this);
  const std::vector<Callback> calls = log().all();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].event, Event::setup_error);
  EXPECT_EQ(calls[0].text, "Sendto failed");
  EXPECT_EQ(calls[1].event, Event::setup_done);
}

}  // namespace
}  // namespace udpstest
