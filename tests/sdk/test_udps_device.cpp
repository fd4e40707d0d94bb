// The device list of the UDP discovery object against simulated devices on
// loopback: what GetDevice copies out of a record and what SetDevice writes
// back into it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/sdk/test_udps_fixture.h"

namespace zelvoapi {
namespace udps_test {
namespace {

std::string Number(int32_t value) { return std::to_string(value); }

TEST_F(SdkUdpsTest, GetDeviceCopiesEachDevicesRecord) {
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  ASSERT_EQ(udps.DeviceCount(), kDevices);

  const int plain_at = IndexOf(udps, configs_[0].mac);
  const int extended_at = IndexOf(udps, configs_[1].mac);
  ASSERT_NE(plain_at, -1);
  ASSERT_NE(extended_at, -1);
  TUdpsDevice plain;
  TUdpsDevice extended;
  ASSERT_EQ(udps.GetDevice(plain_at, plain), UDPS_DONE);
  ASSERT_EQ(udps.GetDevice(extended_at, extended), UDPS_DONE);

  struct TFieldRow {
    const char *Field;
    std::string Actual;
    std::string Expected;
  };
  const TFieldRow rows[] = {
      {"plain Name", plain.Name, configs_[0].device_name},
      {"plain Ip", plain.Ip, kLoopback},
      {"plain Port", Number(plain.Port), Number(servers_[0].port())},
      {"plain AddrM", plain.AddrM, configs_[0].network.mask},
      {"plain AddrF", plain.AddrF, configs_[0].network.dns_secondary},
      {"plain AddrW", plain.AddrW, configs_[0].network.gateway},
      {"plain AddrN", plain.AddrN, configs_[0].network.dns_primary},
      {"plain SettingBit0", Number(plain.SettingBit0), "1"},
      {"plain SettingBit1", Number(plain.SettingBit1), "0"},
      {"plain SettingBit2", Number(plain.SettingBit2), "1"},
      {"plain SettingBit3", Number(plain.SettingBit3), "1"},
      {"plain SettingBit4", Number(plain.SettingBit4), "1"},
      {"plain Type", Number(plain.Type), Number(kPlainType)},
      {"plain Version", plain.Version, configs_[0].version},
      {"plain Tlv6Value", Number(plain.Tlv6Value), Number(kPlainTlv6)},
      {"plain Tlv7Value", Number(plain.Tlv7Value), "0"},
      {"plain HasName", Number(plain.HasName), "1"},
      {"extended Name", extended.Name, configs_[1].device_name},
      {"extended Model", extended.Model, configs_[1].discovery.model_text},
      {"extended Type", Number(extended.Type), Number(kExtendedType)},
      {"extended Port2", Number(extended.Port2), Number(servers_[1].port())},
      {"extended CapBit0", Number(extended.CapBit0), "1"},
      {"extended CapBit1", Number(extended.CapBit1), "0"},
      {"extended CapBit2", Number(extended.CapBit2), "1"},
      {"extended CapBit3", Number(extended.CapBit3), "0"},
      {"extended CapBit4", Number(extended.CapBit4), "1"},
      {"extended CapBit5", Number(extended.CapBit5), "0"},
      {"extended CapBit6", Number(extended.CapBit6), "1"},
      {"extended HasName", Number(extended.HasName), "1"},
  };
  for (const TFieldRow &row : rows) EXPECT_EQ(row.Actual, row.Expected) << row.Field;
}

// One field of TUdpsDevice: whether SetDevice writes it, and how to change it.
struct TFieldCase {
  const char *Field;
  bool Written;
  std::string TUdpsDevice::*Text;
  int32_t TUdpsDevice::*Number;
  bool Bit;             // a number that holds 0 or 1
  const char *NewText;  // for a text
};

constexpr int32_t kOtherNumber = 4242;

const TFieldCase kFieldCases[] = {
    {"Name", true, &TUdpsDevice::Name, nullptr, false, "Renamed device"},
    {"Mac", false, &TUdpsDevice::Mac, nullptr, false, "02:00:00:00:00:FF"},
    {"Ip", true, &TUdpsDevice::Ip, nullptr, false, "127.0.0.9"},
    {"Port", true, nullptr, &TUdpsDevice::Port, false, nullptr},
    {"AddrM", true, &TUdpsDevice::AddrM, nullptr, false, "255.255.255.0"},
    {"AddrN", true, &TUdpsDevice::AddrN, nullptr, false, "127.0.0.7"},
    {"AddrF", true, &TUdpsDevice::AddrF, nullptr, false, "127.0.0.8"},
    {"AddrW", true, &TUdpsDevice::AddrW, nullptr, false, "127.0.0.10"},
    {"SettingBit1", true, nullptr, &TUdpsDevice::SettingBit1, true, nullptr},
    {"SettingBit2", true, nullptr, &TUdpsDevice::SettingBit2, true, nullptr},
    {"SettingBit0", true, nullptr, &TUdpsDevice::SettingBit0, true, nullptr},
    {"SettingBit4", true, nullptr, &TUdpsDevice::SettingBit4, true, nullptr},
    {"SettingBit3", false, nullptr, &TUdpsDevice::SettingBit3, true, nullptr},
    {"Model", false, &TUdpsDevice::Model, nullptr, false, "Changed model"},
    {"Type", false, nullptr, &TUdpsDevice::Type, false, nullptr},
    {"Version", false, &TUdpsDevice::Version, nullptr, false, "7.7.7"},
    {"Port2", false, nullptr, &TUdpsDevice::Port2, false, nullptr},
    {"Tlv6Value", false, nullptr, &TUdpsDevice::Tlv6Value, false, nullptr},
    {"CapBit0", false, nullptr, &TUdpsDevice::CapBit0, true, nullptr},
    {"CapBit1", false, nullptr, &TUdpsDevice::CapBit1, true, nullptr},
    {"CapBit2", false, nullptr, &TUdpsDevice::CapBit2, true, nullptr},
    {"CapBit3", false, nullptr, &TUdpsDevice::CapBit3, true, nullptr},
    {"CapBit4", false, nullptr, &TUdpsDevice::CapBit4, true, nullptr},
    {"CapBit5", false, nullptr, &TUdpsDevice::CapBit5, true, nullptr},
    {"HasName", false, nullptr, &TUdpsDevice::HasName, true, nullptr},
    {"CapBit6", false, nullptr, &TUdpsDevice::CapBit6, true, nullptr},
    {"Tlv7Value", false, nullptr, &TUdpsDevice::Tlv7Value, false, nullptr},
};

std::string FieldValue(const TFieldCase &c, const TUdpsDevice &device) {
  return c.Text ? device.*c.Text : Number(device.*c.Number);
}

void ChangeField(const TFieldCase &c, TUdpsDevice &device) {
  if (c.Text) {
    device.*c.Text = c.NewText;
  } else if (c.Bit) {
    device.*c.Number = device.*c.Number ? 0 : 1;
  } else {
    device.*c.Number = device.*c.Number == kOtherNumber ? kOtherNumber + 1 : kOtherNumber;
  }
}

TEST_F(SdkUdpsTest, SetDeviceChangesTheWrittenFieldsOnly) {
  static_assert(sizeof kFieldCases / sizeof kFieldCases[0] == 27, "every field of TUdpsDevice has a case");
  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  ASSERT_EQ(udps.DeviceCount(), kDevices);

  TUdpsDevice before;
  ASSERT_EQ(udps.GetDevice(0, before), UDPS_DONE);
  TUdpsDevice changed = before;
  for (const TFieldCase &c : kFieldCases) {
    ChangeField(c, changed);
    ASSERT_NE(FieldValue(c, changed), FieldValue(c, before)) << c.Field;
  }
  ASSERT_EQ(udps.SetDevice(0, changed), UDPS_DONE);
  TUdpsDevice after;
  ASSERT_EQ(udps.GetDevice(0, after), UDPS_DONE);
  for (const TFieldCase &c : kFieldCases) {
    EXPECT_EQ(FieldValue(c, after), FieldValue(c, c.Written ? changed : before)) << c.Field;
  }
  // The other device's record is not touched.
  TUdpsDevice other;
  ASSERT_EQ(udps.GetDevice(1, other), UDPS_DONE);
  EXPECT_NE(other.Name, changed.Name);
}

// A value SetDevice cuts to what its record field holds.
struct TCutCase {
  const char *Name;
  const char *Field;  // a case of kFieldCases
  std::string Given;
  std::string Kept;
};

std::string Digits(size_t length) {
  std::string text;
  for (size_t i = 0; i < length; ++i) text += static_cast<char>('0' + i % 10);
  return text;
}

const TCutCase kCutCases[] = {
    {"Name120", "Name", Digits(120), Digits(99)},
    {"Name99", "Name", Digits(99), Digits(99)},
    {"Ip16", "Ip", "127.000.000.0012", "127.000.000.001"},
    {"AddrN16", "AddrN", "255.255.255.2550", "255.255.255.255"},
    {"PortAbove16Bits", "Port", Number(65536 + 8080), "8080"},
    {"SettingBitTwo", "SettingBit4", "2", "1"},
};

void PrintTo(const TCutCase &cut, std::ostream *out) { *out << cut.Name; }

class SdkUdpsCut : public SdkUdpsTest, public ::testing::WithParamInterface<TCutCase> {};

TEST_P(SdkUdpsCut, KeepsWhatTheFieldHolds) {
  const TCutCase &cut = GetParam();
  const TFieldCase *field = nullptr;
  for (const TFieldCase &c : kFieldCases)
    if (std::string(c.Field) == cut.Field) field = &c;
  ASSERT_NE(field, nullptr);

  TUdps udps(nullptr);
  TUdpsRecorder recorder(udps);
  ASSERT_TRUE(SearchAndWait(udps, recorder));
  TUdpsDevice device;
  ASSERT_EQ(udps.GetDevice(0, device), UDPS_DONE);
  if (field->Text) {
    device.*field->Text = cut.Given;
  } else {
    device.*field->Number = std::stoi(cut.Given);
  }
  ASSERT_EQ(udps.SetDevice(0, device), UDPS_DONE);
  TUdpsDevice after;
  ASSERT_EQ(udps.GetDevice(0, after), UDPS_DONE);
  EXPECT_EQ(FieldValue(*field, after), cut.Kept);
}

INSTANTIATE_TEST_SUITE_P(Fields, SdkUdpsCut, ::testing::ValuesIn(kCutCases),
                         [](const ::testing::TestParamInfo<TCutCase> &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace udps_test
}  // namespace zelvoapi
