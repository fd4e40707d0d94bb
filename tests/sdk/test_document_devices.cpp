// The document wrappers on records that qxxml parsed from documents of
// simulated devices, one device per family.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "qxxml/qxxml.h"
#include "sdk/document_xml.h"
#include "tools/devsim/devsim.h"

namespace zelvoapi {
namespace {

struct DeviceCase {
  const char *Name;
  int Model;
  const char *XmlVer;
  const char *UnitsText;  // device unit text of the sensor
  double Value;
  int Exp;
  int32_t Family;
  uint32_t Units;    // decoded unit code
  int32_t Decimals;  // decoded exponent
  const char *ValueText;
};

std::ostream &operator<<(std::ostream &os, const DeviceCase &c) { return os << c.Name; }

const DeviceCase kDevices[] = {
    {"Family0", 36, "2.34", "C", 21.5, -1, 0, 0, -1, "21.5"},
    {"Family1", 15, "2.0", "%RH", 48.25, -2, 1, 3, -2, "48.25"},
    {"Family3", 33, "1.00", "mA", 12.25, -2, 3, 5, -2, "12.25"},
    {"Family3Lux", 33, "1.00", "LUX", 350, 1, 3, 24, 1, "350"},
    {"Family5", 53, "2.36", "C", -18.3, -1, 5, 0, -1, "-18.3"},
    {"Family2", 71, "3.10", "C", 22, -1, 2, 0, -1, "22.0"},
};

// One simulated device and one qxxml slot opened on it.
class SdkDocumentDevices : public ::testing::TestWithParam<DeviceCase> {
 protected:
  void SetUp() override {
    const DeviceCase &c = GetParam();
    config_.model = c.Model;
    config_.xml_ver = c.XmlVer;
    config_.device_name = "Device " + std::string(c.Name);
    devsim::Sensor sensor;
    sensor.id = 101;
    sensor.name = "Probe \xC3\xBC";
    sensor.units = c.UnitsText;
    sensor.value = c.Value;
    sensor.exp = c.Exp;
    sensor.min = -30;
    sensor.max = 400;
    sensor.drift = 0;
    config_.sensors = {sensor};
    devsim::BinaryInput input;
    input.id = 1;
    input.name = "Door";
    input.value = 1;
    config_.inputs = {input};
    devsim::BinaryOutput output;
    output.id = 151;
    output.name = "Horn";
    config_.outputs = {output};
    port_ = server_.start(config_);
    ASSERT_GT(port_, 0) << server_.error();
    ASSERT_EQ(qxxml_init(), 0);
    slot_ = qxxml_open("127.0.0.1", port_, nullptr, nullptr);
    ASSERT_GT(slot_, 0);
    ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_STARTED, 2), 0);
  }
  void TearDown() override {
    if (slot_ > 0) qxxml_close(slot_);
    qxxml_count_ref2zero();
    qxxml_uninit();
    server_.stop();
  }

  // Checks what every family's sensor, input and output read as.
  template <class TDoc>
  void CheckReadings(const TDoc &doc) {
    const DeviceCase &c = GetParam();
    TXmlSensorEnum entry;
    doc.GetCommon(entry);
    EXPECT_EQ(entry.DeviceName, config_.device_name);
    EXPECT_EQ(entry.Family, c.Family);
    EXPECT_EQ(entry.Mac, config_.mac);
    EXPECT_EQ(entry.Host, "127.0.0.1");
    EXPECT_EQ(entry.Port, port_);
    EXPECT_EQ(entry.XmlVersion, xml_version_code(c.XmlVer));
    EXPECT_EQ(entry.Timestamp, doc.Record->timestamp);
    EXPECT_NE(entry.Timestamp, 0) << "stamped by the download";

    ASSERT_EQ(doc.GetSensor(0, entry), 0);
    EXPECT_EQ(doc.GetSensor(1, entry), -2);
    EXPECT_EQ(entry.Name, "Probe \xC3\xBC");
    EXPECT_EQ(entry.Id, c.Family == 2 ? 0 : 101);
    EXPECT_EQ(entry.Units, c.Units);
    EXPECT_EQ(entry.Decimals, c.Decimals);
    EXPECT_NEAR(entry.Value, c.Value, 1e-9);
    EXPECT_EQ(entry.Kind, KIND_ANALOG_INPUT);
    TXmlSensorStr text;
    sensor_enum_to_str(text, entry);
    EXPECT_EQ(text.ValueText, c.ValueText);

    int index = 0;
    EXPECT_EQ(doc.FindSensor(101, index), 0);
    EXPECT_EQ(index, 1);

    TXmlSensorEnum out;
    doc.GetCommon(out);
    doc.GetBinaryOut(0, out);
    EXPECT_EQ(out.Id, 151);
    EXPECT_EQ(out.Name, "Horn");
    TXmlSensorEnum in;
    doc.GetCommon(in);
    doc.GetBinaryIn(0, in);
    EXPECT_EQ(in.Name, "Door");
    EXPECT_EQ(in.Id, 1);
    EXPECT_EQ(in.Value, 1);

    TXmlDeviceInfo info;
    doc.GetDeviceInfo(info);
    EXPECT_EQ(info.Model, c.Model);
    EXPECT_EQ(info.SensorCount, 1);
    EXPECT_EQ(info.BinaryInCount, 1);
    EXPECT_EQ(info.BinaryOutCount, 1);
  }

  devsim::DeviceConfig config_;
  devsim::Server server_;
  int port_ = -1;
  int slot_ = -1;
};

TEST_P(SdkDocumentDevices, ValuesDocumentReadings) {
  ASSERT_EQ(qxxml_get_values(slot_), 0);
  ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_VALUES, 5), 0);
  qxxml_values *record = nullptr;
  qxxml_values_counts *counts = nullptr;
  ASSERT_EQ(qxxml_get_values_cache(slot_, &record, &counts), 0);
  char host[16] = {};
  int port = 0;
  ASSERT_EQ(qxxml_get_module(slot_, host, &port), 0);
  TValuesXml<TValuesXmlBuffer> doc(record, counts, host, port);
  CheckReadings(doc);
}

TEST_P(SdkDocumentDevices, SetupDocumentReadings) {
  ASSERT_EQ(qxxml_get_setup(slot_), 0);
  ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_SETUP, 5), 0);
  qxxml_setup *record = nullptr;
  qxxml_setup_counts *counts = nullptr;
  ASSERT_EQ(qxxml_get_setup_cache(slot_, &record, &counts), 0);
  char host[16] = {};
  int port = 0;
  ASSERT_EQ(qxxml_get_module(slot_, host, &port), 0);
  TSetupXml<TSetupXmlBuffer> doc(record, counts, host, port);
  CheckReadings(doc);
  TXmlDeviceInfo info;
  doc.GetDeviceInfo(info);
  EXPECT_EQ(info.IpAddress, config_.network.ip);
  EXPECT_EQ(info.HttpPort, port_);
}

INSTANTIATE_TEST_SUITE_P(Devices, SdkDocumentDevices, ::testing::ValuesIn(kDevices),
                         [](const auto &info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace zelvoapi
