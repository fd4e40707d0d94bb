// Readings of the document wrappers on records filled field by field.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "sdk/document_xml.h"

namespace zelvoapi {
namespace {

template <std::size_t N>
void Put(char (&field)[N], const char *text) {
  std::snprintf(field, N, "%s", text);
}

// Model codes and the family each gives.
struct FamilyRow {
  int32_t Model;
  int32_t Family;
};

TEST(SdkModelFamily, EveryListedCodeAndItsNeighbours) {
  const FamilyRow rows[] = {
      {3, 0},  {4, 0},  {6, 0},  {10, 0}, {14, 0}, {21, 0}, {26, 0}, {34, 0}, {36, 0}, {65, 0},
      {68, 0}, {2, 1},  {15, 1}, {17, 1}, {40, 1}, {69, 1}, {33, 3}, {43, 3}, {51, 3}, {52, 3},
      {70, 3}, {45, 4}, {55, 4}, {57, 4}, {58, 4}, {53, 5}, {54, 5}, {56, 5}, {0, 2},  {1, 2},
      {5, 2},  {9, 2},  {18, 2}, {20, 2}, {27, 2}, {35, 2}, {64, 2}, {71, 2}, {-3, 2},
  };
  for (const FamilyRow &row : rows) {
    EXPECT_EQ(model_family(row.Model), row.Family) << "model " << row.Model;
  }
}

struct VersionRow {
  const char *Text;
  int32_t Code;
};

TEST(SdkXmlVersionCode, ExactTextsOnly) {
  const VersionRow rows[] = {
      {"2.0", 0},  {"2.20", 1}, {"2.34", 2}, {"2.35", 5},  {"2.36", 6}, {"1.00", 4},
      {"1.01", 7}, {"2.3", 3},  {"", 3},     {"2.35 ", 3}, {"1.0", 3},  {"2.00", 3},
  };
  for (const VersionRow &row : rows) {
    EXPECT_EQ(xml_version_code(row.Text), row.Code) << "version \"" << row.Text << "\"";
  }
}

// A values record of a family-0 device with one sensor, one input and one
// output, and a setup record of the same device.
class SdkDocumentXml : public ::testing::Test {
 protected:
  void SetUp() override {
    Put(values_->Agent_DeviceName, "Hall");
    Put(values_->Agent_Model, "3");
    Put(values_->Agent_MAC, "00:0A:59:00:00:01");
    Put(values_->Agent_XmlVer, "2.34");
    Put(values_->Agent_Title, "Title");
    Put(values_->Agent_Version, "4.5");
    Put(values_->BinaryInSet_AlarmAction, "2");
    values_->timestamp = 1234;
    Put(values_->SenSet_Entry_Name[0], "Room \xC4\x8D");
    Put(values_->SenSet_Entry_ID[0], "7");
    Put(values_->SenSet_Entry_Units[0], "C");
    Put(values_->SenSet_Entry_Value[0], "21.55");
    Put(values_->SenSet_Entry_Min[0], "-10.5");
    Put(values_->SenSet_Entry_Max[0], "40");
    Put(values_->SenSet_Entry_Hyst[0], "0.5");
    Put(values_->SenSet_Entry_Calib[0], "-1.5");
    Put(values_->SenSet_Entry_SNMPTrap[0], "1");
    Put(values_->SenSet_Entry_EmailSMS[0], "0");
    Put(values_->SenSet_Entry_State[0], "2");
    Put(values_->SenSet_Entry_Color[0], "0");
    Put(values_->SenSet_Entry_Name[1], "Door");
    Put(values_->SenSet_Entry_ID[1], "9");
    Put(values_->SenSet_Entry_Units[1], "S");
    Put(values_->SenSet_Entry_Value[1], "1");
    Put(values_->SenSet_Entry_Min[1], "0.5");
    Put(values_->SenSet_Entry_Max[1], "1.0");
    values_counts_.SenSet_count = 2;
    Put(values_->BinaryInSet_Entry_Name[0], "Input");
    Put(values_->BinaryInSet_Entry_ID[0], "1");
    Put(values_->BinaryInSet_Entry_Value[0], "1");
    Put(values_->BinaryInSet_Entry_Alarm[0], "0");
    Put(values_->BinaryInSet_Entry_State[0], "2");
    Put(values_->BinaryInSet_Entry_Cnt[0], "17");
    values_counts_.BinaryInSet_count = 1;
    Put(values_->BinaryOutSet_Entry_Name[0], "Relay");
    Put(values_->BinaryOutSet_Entry_ID[0], "999");
    Put(values_->BinaryOutSet_Entry_Value[0], "1");
    Put(values_->BinaryOutSet_Entry_Mode[0], "2");
    values_counts_.BinaryOutSet_count = 1;

    Put(setup_->Agent_DeviceName, "Hall");
    Put(setup_->Agent_Model, "2");  // family 1
    Put(setup_->Agent_XmlVer, "2.0");
    Put(setup_->Counters_E, "1");
    Put(setup_->Global_Units, "F");
    Put(setup_->Network_IPAddr, "127.0.0.9");
    Put(setup_->Network_DNSPrimary, "127.0.0.53");
    Put(setup_->Network_DNSSecondary, "127.0.0.54");
    Put(setup_->Network_HTTPport, "8080");
    Put(setup_->Network_TelnetPort, "2323");
    Put(setup_->Network_SNMPPort, "161");
    Put(setup_->HTTPIPFilter_IPAddr, "127.0.0.0");
    Put(setup_->HTTPIPFilter_Mask, "255.0.0.0");
    Put(setup_->SNMPIPFilter_IPAddr, "127.1.0.0");
    Put(setup_->SNMPIPFilter_Mask, "255.255.0.0");
    Put(setup_->Time_SNTPServer, "ntp.example.invalid");
    Put(setup_->BinaryInSet_Entry_Name[0], "Counter in");
    Put(setup_->BinaryOutSet_Entry_Type[0], "1");
    setup_counts_.BinaryInSet_count = 1;
    setup_counts_.BinaryOutSet_count = 1;
    for (int i = 0; i < QXXML_SNMP_TRAP_MAX; ++i) {
      std::snprintf(setup_->SnmpTraps_Entry_Community[i], 52, "trap%d", i);
      std::snprintf(setup_->SnmpTraps_Entry_IPaddr[i], 20, "127.0.1.%d", i);
      std::snprintf(setup_->SnmpTraps_Entry_Port[i], 8, "%d", 162 + i);
      Put(setup_->SnmpTraps_Entry_E[i], i % 2 ? "1" : "0");
    }
    Put(setup_->SnmpAccess_Entry_Community[0], "public");
    Put(setup_->SnmpAccess_Entry_R[0], "1");
    Put(setup_->SnmpAccess_Entry_W[0], "0");
    Put(setup_->SnmpAccess_Entry_E[0], "1");
    Put(setup_->SnmpAccess_Entry_Community[1], "private");
    Put(setup_->SnmpAccess_Entry_W[1], "1");
    setup_counts_.SnmpTraps_count = 3;
    setup_counts_.SnmpAccess_count = 2;
  }

  TValuesXml<TValuesXmlBuffer> Values() { return {values_.get(), &values_counts_, "127.0.0.1", 8081}; }
  TSetupXml<TSetupXmlBuffer> SetupDoc() { return {setup_.get(), &setup_counts_, "127.0.0.2", 8082}; }

  std::unique_ptr<qxxml_values> values_ = std::make_unique<qxxml_values>();
  qxxml_values_counts values_counts_{};
  std::unique_ptr<qxxml_setup> setup_ = std::make_unique<qxxml_setup>();
  qxxml_setup_counts setup_counts_{};
};

TEST_F(SdkDocumentXml, GetCommonFillsOnlyTheCommonFields) {
  TXmlSensorEnum out;
  out.Name = "kept";
  out.Value = 5;
  Values().GetCommon(out);
  EXPECT_EQ(out.DeviceName, "Hall");
  EXPECT_EQ(out.Family, 0);
  EXPECT_EQ(out.Mac, "00:0A:59:00:00:01");
  EXPECT_EQ(out.Host, "127.0.0.1");
  EXPECT_EQ(out.Port, 8081);
  EXPECT_EQ(out.XmlVersion, 2);
  EXPECT_EQ(out.Timestamp, 1234);
  EXPECT_EQ(out.Name, "kept");
  EXPECT_EQ(out.Value, 5);
}

TEST_F(SdkDocumentXml, GetSensorDecodesAnAnalogSensor) {
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  ASSERT_EQ(doc.GetSensor(0, out), 0);
  EXPECT_EQ(out.Name, "Room \xC4\x8D");
  EXPECT_EQ(out.Id, 7);
  EXPECT_EQ(out.Units, 0u);
  EXPECT_DOUBLE_EQ(out.Value, 21.55);
  EXPECT_EQ(out.Decimals, -2);
  EXPECT_EQ(out.Kind, KIND_ANALOG_INPUT);
  EXPECT_DOUBLE_EQ(out.Min, -10.5);
  EXPECT_DOUBLE_EQ(out.Max, 40);
  EXPECT_DOUBLE_EQ(out.Hysteresis, 0.5);
  EXPECT_DOUBLE_EQ(out.Calibration, -1.5);
  EXPECT_EQ(out.Counter, 0);
  EXPECT_EQ(out.OutputMode, OUTPUT_MODE_NONE);
  EXPECT_EQ(out.AlarmAction, 3u);  // SNMP trap only
  EXPECT_EQ(out.State, 2u);        // version 2.34 reads the state text
}

TEST_F(SdkDocumentXml, SensorWithSwitchUnitIsABinaryInput) {
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  ASSERT_EQ(doc.GetSensor(1, out), 0);
  EXPECT_EQ(out.Units, UNITS_SWITCH);
  EXPECT_EQ(out.Kind, KIND_BINARY_INPUT);
  EXPECT_EQ(out.Min, 1);
  EXPECT_EQ(out.Max, 1);
}

TEST_F(SdkDocumentXml, GetSensorOutOfRangeLeavesRecord) {
  auto doc = Values();
  for (int index : {2, -1, QXXML_SENSOR_MAX}) {
    TXmlSensorEnum out;
    out.Name = "untouched";
    out.Id = 99;
    EXPECT_EQ(doc.GetSensor(index, out), -2) << "index " << index;
    EXPECT_EQ(out.Name, "untouched") << "index " << index;
    EXPECT_EQ(out.Id, 99) << "index " << index;
  }
}

TEST_F(SdkDocumentXml, UnnamedFamilyHasNoSensorId) {
  Put(values_->Agent_Model, "71");
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  ASSERT_EQ(doc.GetSensor(0, out), 0);
  EXPECT_EQ(out.Family, 2);
  EXPECT_EQ(out.Id, 0);
  EXPECT_EQ(out.Min, NO_LIMIT);
  EXPECT_EQ(out.AlarmAction, ALARM_MODE_NONE);
}

TEST_F(SdkDocumentXml, BinaryInputOfValuesDocument) {
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  doc.GetBinaryIn(0, out);
  EXPECT_EQ(out.Name, "Input");
  EXPECT_EQ(out.Id, 1);
  EXPECT_EQ(out.Value, 1);
  EXPECT_EQ(out.Units, UNITS_SWITCH);
  EXPECT_EQ(out.Decimals, 0);
  EXPECT_EQ(out.AlarmAction, 1u);  // 2.34 reads the alarm text: "0" is active if on
  EXPECT_EQ(out.Min, 0);
  EXPECT_EQ(out.Counter, 17);
  EXPECT_EQ(out.Kind, KIND_BINARY_INPUT);
  EXPECT_EQ(out.OutputMode, OUTPUT_MODE_NONE);
  EXPECT_EQ(out.State, 2u);
}

TEST_F(SdkDocumentXml, BinaryOutputIdIsIndexPlus151) {
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  doc.GetBinaryOut(0, out);
  EXPECT_EQ(out.Id, 151);
  EXPECT_EQ(out.Name, "Relay");
  EXPECT_EQ(out.Value, 1);
  EXPECT_EQ(out.Kind, KIND_BINARY_OUTPUT);  // family 0
  EXPECT_EQ(out.OutputMode, 2u);
  EXPECT_EQ(out.AlarmAction, ALARM_MODE_NONE);
  EXPECT_EQ(out.State, STATE_NONE);
  doc.GetBinaryOut(5, out);
  EXPECT_EQ(out.Id, 156);
}

TEST_F(SdkDocumentXml, SetupKindsComeFromSetupFields) {
  auto doc = SetupDoc();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  ASSERT_EQ(out.Family, 1);
  doc.GetBinaryIn(0, out);
  EXPECT_EQ(out.Kind, KIND_BINARY_INPUT_COUNTER);
  doc.GetBinaryOut(0, out);
  EXPECT_EQ(out.Kind, KIND_RELAY_OUTPUT);  // family 1 is always a relay

  Put(setup_->Counters_E, "0");
  Put(setup_->Agent_Model, "3");  // family 0: the type text decides
  doc.GetCommon(out);
  doc.GetBinaryIn(0, out);
  EXPECT_EQ(out.Kind, KIND_BINARY_INPUT);
  doc.GetBinaryOut(0, out);
  EXPECT_EQ(out.Kind, KIND_DTR_OUTPUT);
  // The same record read as a values document keeps the plain kinds.
  TValuesXml<TSetupXmlBuffer> plain(setup_.get(), &setup_counts_, "127.0.0.2", 80);
  plain.GetBinaryOut(0, out);
  EXPECT_EQ(out.Kind, KIND_BINARY_OUTPUT);
}

TEST_F(SdkDocumentXml, FindSensorGivesOneBasedIndex) {
  auto doc = Values();
  int index = 0;
  EXPECT_EQ(doc.FindSensor(7, index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(doc.FindSensor(9, index), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(doc.FindSensor(8, index), -1);
  EXPECT_EQ(index, -1);
  Put(values_->SenSet_Entry_ID[0], "-1");
  EXPECT_EQ(doc.FindSensor(0xFFFFFFFFu, index), -1) << "a negative ID text never matches a large ID";
}

TEST_F(SdkDocumentXml, ValuesDeviceInfo) {
  TXmlDeviceInfo info;
  info.SntpServer = "untouched";
  Values().GetDeviceInfo(info);
  EXPECT_EQ(info.DeviceName, "Hall");
  EXPECT_EQ(info.Title, "Title");
  EXPECT_EQ(info.Version, "4.5");
  EXPECT_EQ(info.XmlVer, "2.34");
  EXPECT_EQ(info.Family, 0);
  EXPECT_EQ(info.Model, 3);
  EXPECT_EQ(info.IpAddress, "127.0.0.1");
  EXPECT_EQ(info.DnsPrimary, "");
  EXPECT_EQ(info.HttpPort, 8081);
  EXPECT_EQ(info.TelnetPort, -1);
  EXPECT_EQ(info.SnmpPort, -1);
  EXPECT_EQ(info.SensorCount, 2);
  EXPECT_EQ(info.BinaryInCount, 1);
  EXPECT_EQ(info.BinaryOutCount, 1);
  EXPECT_EQ(info.Units, UNITS_UNKNOWN);
  EXPECT_EQ(info.AlarmAction, 2u);
  EXPECT_EQ(info.SnmpTrapCount, -1);
  EXPECT_EQ(info.SntpServer, "untouched");
}

TEST_F(SdkDocumentXml, SetupDeviceInfo) {
  TXmlDeviceInfo info;
  SetupDoc().GetDeviceInfo(info);
  EXPECT_EQ(info.Family, 1);
  EXPECT_EQ(info.IpAddress, "127.0.0.9");
  EXPECT_EQ(info.DnsPrimary, "127.0.0.53");
  EXPECT_EQ(info.DnsSecondary, "127.0.0.54");
  EXPECT_EQ(info.HttpPort, 8080);
  EXPECT_EQ(info.TelnetPort, 2323);
  EXPECT_EQ(info.SnmpPort, 161);
  EXPECT_EQ(info.Units, UNITS_UNKNOWN);  // "F" is not a known unit text
  EXPECT_EQ(info.AlarmAction, ALARM_ACTION_NONE);
  ASSERT_EQ(info.SnmpTrapCount, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(info.SnmpTraps[i].Community, "trap" + std::to_string(i)) << i;
    EXPECT_EQ(info.SnmpTraps[i].IpAddress, "127.0.1." + std::to_string(i)) << i;
    EXPECT_EQ(info.SnmpTraps[i].Port, 162 + i) << i;
    EXPECT_EQ(info.SnmpTraps[i].Enabled, i % 2) << i;
  }
  EXPECT_EQ(info.SnmpTraps[3].Community, "") << "past the count stays untouched";
  EXPECT_EQ(info.SnmpAccess[0].Community, "public");
  EXPECT_EQ(info.SnmpAccess[0].Read, 1);
  EXPECT_EQ(info.SnmpAccess[0].Write, 0);
  EXPECT_EQ(info.SnmpAccess[0].Enabled, 1);
  EXPECT_EQ(info.SnmpAccess[1].Community, "private");
  EXPECT_EQ(info.SnmpAccess[1].Read, 0);
  EXPECT_EQ(info.SnmpAccess[1].Write, 1);
  EXPECT_EQ(info.HttpFilterIp, "127.0.0.0");
  EXPECT_EQ(info.HttpFilterMask, "255.0.0.0");
  EXPECT_EQ(info.SnmpFilterIp, "127.1.0.0");
  EXPECT_EQ(info.SnmpFilterMask, "255.255.0.0");
  EXPECT_EQ(info.SntpServer, "ntp.example.invalid");

  Put(setup_->Global_Units, "c");
  SetupDoc().GetDeviceInfo(info);
  EXPECT_EQ(info.Units, 0u);
}

// Counts above capacity (a corrupted or hand-made counts record) never make
// a reader index past the arrays.
TEST_F(SdkDocumentXml, CountsAboveCapacityAreClamped) {
  values_counts_.SenSet_count = 1000;
  values_counts_.BinaryInSet_count = 1000;
  values_counts_.BinaryOutSet_count = 1000;
  setup_counts_.SnmpTraps_count = 1000;
  setup_counts_.SnmpAccess_count = 1000;
  auto doc = Values();
  TXmlSensorEnum out;
  doc.GetCommon(out);
  EXPECT_EQ(doc.GetSensor(QXXML_SENSOR_MAX - 1, out), 0);
  EXPECT_EQ(doc.GetSensor(QXXML_SENSOR_MAX, out), -2);
  EXPECT_EQ(doc.GetBinaryIn(QXXML_BINARY_IN_MAX, out), -2);
  EXPECT_EQ(doc.GetBinaryOut(QXXML_BINARY_OUT_MAX, out), -2);
  EXPECT_EQ(doc.GetBinaryIn(-1, out), -2);
  int index = 0;
  EXPECT_EQ(doc.FindSensor(123456, index), -1);
  TXmlDeviceInfo info;
  doc.GetDeviceInfo(info);
  EXPECT_EQ(info.SensorCount, QXXML_SENSOR_MAX);
  EXPECT_EQ(info.BinaryInCount, QXXML_BINARY_IN_MAX);
  EXPECT_EQ(info.BinaryOutCount, QXXML_BINARY_OUT_MAX);
  SetupDoc().GetDeviceInfo(info);
  EXPECT_EQ(info.SnmpTrapCount, QXXML_SNMP_TRAP_MAX);

  values_counts_.SenSet_count = -5;
  EXPECT_EQ(doc.GetSensor(0, out), -2);
}

TEST(SdkDocumentXmlEmpty, WrapperWithoutRecordReadsAsEmptyDocument) {
  TSetupXml<TSetupXmlBuffer> doc;
  TXmlSensorEnum out;
  doc.GetCommon(out);
  EXPECT_EQ(out.DeviceName, "");
  EXPECT_EQ(out.Family, 2);
  EXPECT_EQ(out.XmlVersion, 3);
  EXPECT_EQ(doc.GetSensor(0, out), -2);
  int index = 0;
  EXPECT_EQ(doc.FindSensor(0, index), -1);
  TXmlDeviceInfo info;
  EXPECT_EQ(doc.GetDeviceInfo(info), 0);
  EXPECT_EQ(info.SensorCount, 0);
}

TEST(SdkDocumentXmlEmpty, HostIsCutToItsField) {
  TValuesXml<TValuesXmlBuffer> doc(nullptr, nullptr, "127.000.000.001.extra", 1);
  EXPECT_EQ(std::string(doc.Host), "127.000.000.001");
}

}  // namespace
}  // namespace zelvoapi
