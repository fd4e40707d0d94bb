// POST /setup.xml: what a posted document changes, how entries are found,
// what is refused, and when a calibration reaches the readings.
#include <gtest/gtest.h>

#include <thread>

#include "tests/devsim/device_fixture.h"
#include "tests/devsim/xml_probe.h"
#include "tests/support/devsim_variant.h"

namespace devsim_test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::string sensor_post(const std::string &entry) {
  return "<Root><SenSet><Entry>" + entry + "</Entry></SenSet></Root>";
}

TEST(DevsimPost, CalibrationByIdIsAppliedAndTheReplyIsTheNewSetup) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  const RawReply reply = device.post(sensor_post("<ID>102</ID><Calib>1.5</Calib>"));
  ASSERT_EQ(reply.status(), 200);
  EXPECT_EQ(reply.header("Content-Type"), "text/xml");
  XmlProbe setup(reply.body());
  ASSERT_TRUE(setup.well_formed());
  EXPECT_EQ(setup.count("/*/Network"), 1u) << "the reply is the whole setup document";
  EXPECT_EQ(setup.text("/*/SenSet/Entry[ID='102']/Calib"), "1.5");
  EXPECT_EQ(setup.text("/*/SenSet/Entry[ID='101']/Calib"), "0.0");
  EXPECT_EQ(device.server().sensor_calibration(102), 1.5);
  EXPECT_EQ(XmlProbe(device.get("/setup.xml").body()).text("/*/SenSet/Entry[ID='102']/Calib"), "1.5");
}

TEST(DevsimPost, CalibrationReachesTheReadingsOnlyAfterTheApplyDelay) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("hygrometer");  // humidity 48.5
  config.apply_delay_ms = 600;
  RunningDevice device(config);
  const auto posted = Clock::now();
  ASSERT_EQ(device.post(sensor_post("<ID>102</ID><Calib>2.0</Calib>")).status(), 200);
  XmlProbe values_now(device.get("/values.xml").body());
  XmlProbe setup_now(device.get("/setup.xml").body());
  if (Clock::now() - posted < milliseconds(550)) {
    EXPECT_EQ(values_now.text("/*/SenSet/Entry[ID='102']/Value"), "48.5");
    EXPECT_EQ(setup_now.text("/*/SenSet/Entry[ID='102']/Value"), "48.5");
    EXPECT_EQ(setup_now.text("/*/SenSet/Entry[ID='102']/Calib"), "2.0") << "Calib shows at once";
    EXPECT_NEAR(*device.server().sensor_reading(102), 48.5, 1e-9);
  }
  std::this_thread::sleep_until(posted + milliseconds(650));
  EXPECT_EQ(XmlProbe(device.get("/values.xml").body()).text("/*/SenSet/Entry[ID='102']/Value"), "50.5");
  EXPECT_EQ(XmlProbe(device.get("/setup.xml").body()).text("/*/SenSet/Entry[ID='102']/Value"), "50.5");
  EXPECT_NEAR(*device.server().sensor_reading(102), 50.5, 1e-9);
}

TEST(DevsimPost, SecondCalibrationDuringTheDelayStartsFromTheReadingShownThen) {
  devsim::DeviceConfig config = qxsupport::SteadyVariant("hygrometer");
  config.apply_delay_ms = 0;
  RunningDevice device(config);
  ASSERT_EQ(device.post(sensor_post("<ID>101</ID><Calib>1.0</Calib>")).status(), 200);
  EXPECT_NEAR(*device.server().sensor_reading(101), 19.4, 1e-9);
  device.server().set_apply_delay_ms(5000);
  ASSERT_EQ(device.post(sensor_post("<ID>101</ID><Calib>3.0</Calib>")).status(), 200);
  EXPECT_NEAR(*device.server().sensor_reading(101), 19.4, 1e-9) << "old calibration until the delay ends";
}

TEST(DevsimPost, IdxDeviceFindsTheEntryByItsIdxBeforeItsId) {
  RunningDevice device(qxsupport::SteadyVariant("idx"));  // sensors 201, 202, 203; operator / secret
  const std::string auth = basic_auth("operator", "secret");
  // As the client's filter sends it: declaration, Idx first in the entry.
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root><SenSet><Entry>\n"
      "<Idx>2</Idx><ID>999</ID><Calib>-1.5</Calib></Entry></SenSet></Root>";
  ASSERT_EQ(device.post(body, auth).status(), 200);
  EXPECT_EQ(device.server().sensor_calibration(202), -1.5);
  EXPECT_EQ(device.server().sensor_calibration(201), 0.0);

  // Without Idx the ID still finds the entry.
  ASSERT_EQ(device.post(sensor_post("<ID>203</ID><Calib>0.3</Calib>"), auth).status(), 200);
  EXPECT_EQ(device.server().sensor_calibration(203), 0.3);

  // An index the device does not have (a failed lookup posts 4294967295) changes nothing.
  ASSERT_EQ(device.post(sensor_post("<Idx>4294967295</Idx><ID>201</ID><Calib>9.0</Calib>"), auth).status(), 200);
  EXPECT_EQ(device.server().sensor_calibration(201), 0.0);

  // Outputs: Idx 2 is the second output whatever its ID says.
  ASSERT_EQ(device
                .post("<Root><BinaryOutSet><Entry><Idx>2</Idx><ID>151</ID><Value>1</Value></Entry>"
                      "</BinaryOutSet></Root>",
                      auth)
                .status(),
            200);
  EXPECT_EQ(device.server().config().outputs[1].value, 1);
  EXPECT_EQ(device.server().config().outputs[0].value, 0);
}

TEST(DevsimPost, DeviceThatMatchesByIdIgnoresIdx) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  ASSERT_EQ(device.post(sensor_post("<Idx>1</Idx><ID>102</ID><Calib>0.5</Calib>")).status(), 200);
  EXPECT_EQ(device.server().sensor_calibration(102), 0.5);
  EXPECT_EQ(device.server().sensor_calibration(101), 0.0);
}

struct ChangeRow {
  const char *name;
  const char *body;
  const char *xpath;  // in the new setup.xml
  const char *expected;
};

void PrintTo(const ChangeRow &row, std::ostream *os) { *os << row.name; }

class DevsimPostChanges : public ::testing::TestWithParam<ChangeRow> {};

TEST_P(DevsimPostChanges, ChangeShowsInTheReplyAndLaterDownloads) {
  const ChangeRow &row = GetParam();
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  const RawReply reply = device.post(row.body);
  ASSERT_EQ(reply.status(), 200) << reply.body();
  EXPECT_EQ(XmlProbe(reply.body()).text(row.xpath), row.expected);
  EXPECT_EQ(XmlProbe(device.get("/setup.xml").body()).text(row.xpath), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimPostChanges,
    ::testing::Values(
        ChangeRow{"sensor_name_utf8_and_reference",
                  "<Root><SenSet><Entry><ID>101</ID><Name>Neu &amp; S\xC3\xBC\xC3\x9F</Name></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Name", "Neu & S\xC3\xBC\xC3\x9F"},
        // Escaped markup is text: the whole of it is the name, and the
        // calibration written inside it changes nothing.
        ChangeRow{"sensor_name_with_escaped_markup",
                  "<Root><SenSet><Entry><ID>101</ID><Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y"
                  "</Name></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Name", "x</Name><Calib>9.9</Calib><Name>y"},
        ChangeRow{"escaped_markup_leaves_calib_alone",
                  "<Root><SenSet><Entry><ID>101</ID><Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y"
                  "</Name></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Calib", "0.0"},
        ChangeRow{"output_name_quotes_and_character_references",
                  "<Root><BinaryOutSet><Entry><ID>151</ID><Name>&quot;Fan&quot; &#38; &#x3C;1&gt;</Name></Entry>"
                  "</BinaryOutSet></Root>",
                  "/*/BinaryOutSet/Entry[ID='151']/Name", "\"Fan\" & <1>"},
        ChangeRow{"sensor_min",
                  "<Root><SenSet><Entry><ID>101</ID><Min>-5.0</Min><Max>45.0</Max></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Min", "-5.0"},
        ChangeRow{"sensor_max",
                  "<Root><SenSet><Entry><ID>101</ID><Min>-5.0</Min><Max>45.0</Max></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Max", "45.0"},
        ChangeRow{"sensor_hyst", "<Root><SenSet><Entry><ID>103</ID><Hyst>1.5</Hyst></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='103']/Hyst", "1.5"},
        ChangeRow{"sensor_calib_signed", "<Root><SenSet><Entry><ID>101</ID><Calib>+0.4</Calib></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Calib", "0.4"},
        ChangeRow{"input_name", "<Root><BinaryInSet><Entry><ID>1</ID><Name>Gate</Name></Entry></BinaryInSet></Root>",
                  "/*/BinaryInSet/Entry[ID='1']/Name", "Gate"},
        ChangeRow{"output_value",
                  "<Root><BinaryOutSet><Entry><ID>151</ID><Value>1</Value></Entry></BinaryOutSet></Root>",
                  "/*/BinaryOutSet/Entry[ID='151']/Value", "1"},
        ChangeRow{"output_name",
                  "<Root><BinaryOutSet><Entry><ID>151</ID><Name>Fan</Name></Entry></BinaryOutSet></Root>",
                  "/*/BinaryOutSet/Entry[ID='151']/Name", "Fan"},
        ChangeRow{"network_name_is_device_name", "<Root><Network><Name>Renamed</Name></Network></Root>",
                  "/*/Agent/DeviceName", "Renamed"},
        ChangeRow{"network_address_text", "<Root><Network><IPAddr>192.168.1.10</IPAddr></Network></Root>",
                  "/*/Network/IPAddr", "192.168.1.10"},
        ChangeRow{"snmp_manager_document",
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<SnmpTraps>\n<Entry>\n<Idx>1</Idx>\n"
                  "<Community>qorvel</Community>\n<IPaddr>192.168.1.10</IPaddr>\n<Port>162</Port>\n<E>1</E>\n"
                  "</Entry>\n</SnmpTraps>\n</Root>",
                  "/*/SnmpTraps/Entry[1]/IPaddr", "192.168.1.10"},
        ChangeRow{"snmp_trap_by_idx",
                  "<Root><SnmpTraps><Entry><Idx>3</Idx><Port>1162</Port></Entry></SnmpTraps></Root>",
                  "/*/SnmpTraps/Entry[3]/Port", "1162"},
        ChangeRow{"snmp_trap_by_position",
                  "<Root><SnmpTraps><Entry/><Entry><Community>ops</Community></Entry></SnmpTraps></Root>",
                  "/*/SnmpTraps/Entry[2]/Community", "ops"},
        ChangeRow{"unknown_elements_ignored",
                  "<Root><Foo>bar</Foo><SenSet><Entry><ID>101</ID><Bogus>1</Bogus><Calib>0.7</Calib></Entry>"
                  "</SenSet><Email><Server>x</Server></Email></Root>",
                  "/*/SenSet/Entry[ID='101']/Calib", "0.7"},
        ChangeRow{"prefixed_root",
                  "<set:Root xmlns:set=\"http://www.example.invalid/setup\"><SenSet><Entry><ID>102</ID>"
                  "<Calib>0.2</Calib></Entry></SenSet></set:Root>",
                  "/*/SenSet/Entry[ID='102']/Calib", "0.2"},
        ChangeRow{"unknown_id_changes_nothing",
                  "<Root><SenSet><Entry><ID>77</ID><Calib>5.0</Calib></Entry></SenSet></Root>",
                  "/*/SenSet/Entry[ID='101']/Calib", "0.0"}),
    [](const auto &info) { return std::string(info.param.name); });

struct RefusedRow {
  const char *name;
  const char *body;
};

void PrintTo(const RefusedRow &row, std::ostream *os) { *os << row.name; }

class DevsimPostRefused : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(DevsimPostRefused, DocumentIsRefusedWholeAndChangesNothing) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  const devsim::DeviceConfig before = device.server().config();
  const RawReply reply = device.post(GetParam().body);
  EXPECT_EQ(reply.status(), 400);
  EXPECT_TRUE(reply.closed);
  const devsim::DeviceConfig after = device.server().config();
  for (std::size_t i = 0; i < before.sensors.size(); ++i) {
    EXPECT_EQ(after.sensors[i].calib, before.sensors[i].calib);
    EXPECT_EQ(after.sensors[i].min, before.sensors[i].min);
    EXPECT_EQ(after.sensors[i].name, before.sensors[i].name);
  }
  EXPECT_EQ(after.outputs[0].value, before.outputs[0].value);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DevsimPostRefused,
    ::testing::Values(
        RefusedRow{"empty", ""}, RefusedRow{"not_xml", "calib=0.5"},
        RefusedRow{"cut_short", "<Root><SenSet><Entry><ID>101</ID><Calib>0.5</Calib></Entry>"},
        RefusedRow{"calib_not_a_number", "<Root><SenSet><Entry><ID>101</ID><Calib>abc</Calib></Entry></SenSet></Root>"},
        RefusedRow{"calib_with_comma", "<Root><SenSet><Entry><ID>101</ID><Calib>0,5</Calib></Entry></SenSet></Root>"},
        RefusedRow{"output_value_not_binary",
                   "<Root><BinaryOutSet><Entry><ID>151</ID><Value>7</Value></Entry></BinaryOutSet></Root>"},
        RefusedRow{"trap_port_out_of_range",
                   "<Root><SnmpTraps><Entry><Idx>1</Idx><Port>70000</Port></Entry></SnmpTraps></Root>"},
        // One bad value spoils the whole document: the good calibration is not applied either.
        RefusedRow{"good_and_bad_together",
                   "<Root><SenSet><Entry><ID>101</ID><Calib>0.5</Calib></Entry><Entry><ID>102</ID>"
                   "<Min>low</Min></Entry></SenSet></Root>"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DevsimPost, ChangeThatWouldOverflowTheSetupDocumentIsRefused) {
  RunningDevice device(qxsupport::SteadyVariant("max-sensors"));
  std::string body = "<Root><SenSet>";
  for (int id = 101; id <= 142; ++id)
    body += "<Entry><ID>" + std::to_string(id) + "</ID><Name>" + std::string(120, 'x') + "</Name></Entry>";
  body += "</SenSet></Root>";
  EXPECT_EQ(device.post(body).status(), 400);
  EXPECT_EQ(device.server().config().sensors[0].name, "Rack 1");
  EXPECT_LE(device.get("/setup.xml").body().size(), 19999u);
}

TEST(DevsimPost, NameOnlyPostNeedsNoCredentialsOnDevicesThatAllowIt) {
  RunningDevice device(qxsupport::SteadyVariant("thermometer"));  // admin / admin, name posts open
  const std::string name_only =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<Network>\n<Name>Hall 2</Name>\n</Network>\n</Root>";
  EXPECT_EQ(device.post(name_only).status(), 200);
  EXPECT_EQ(device.server().config().device_name, "Hall 2");
  EXPECT_EQ(XmlProbe(device.get("/values.xml").body()).text("/*/Agent/DeviceName"), "Hall 2");

  const std::string more = "<Root><Network><Name>X</Name><IPAddr>127.0.0.5</IPAddr></Network></Root>";
  EXPECT_EQ(device.post(more).status(), 401);
  EXPECT_EQ(device.post(sensor_post("<ID>101</ID><Calib>1.0</Calib>")).status(), 401);
  EXPECT_EQ(device.server().config().device_name, "Hall 2");

  RunningDevice closed(qxsupport::SteadyVariant("idx"));  // does not take open name posts
  EXPECT_EQ(closed.post(name_only).status(), 401);
}

TEST(DevsimPost, RefusalStatusFaultLeavesTheDeviceUnchangedOtherStatusesApply) {
  RunningDevice device(qxsupport::SteadyVariant("hygrometer"));
  device.server().set_fault({devsim::FaultKind::status, devsim::FaultTarget::post, 500});
  EXPECT_EQ(device.post(sensor_post("<ID>101</ID><Calib>1.0</Calib>")).status(), 500);
  EXPECT_EQ(device.server().sensor_calibration(101), 0.0);
  device.server().set_fault({devsim::FaultKind::status, devsim::FaultTarget::post, 302});
  EXPECT_EQ(device.post(sensor_post("<ID>101</ID><Calib>1.0</Calib>")).status(), 302);
  EXPECT_EQ(device.server().sensor_calibration(101), 1.0);
}

}  // namespace
}  // namespace devsim_test
