// The documents of every built-in variant: well-formed, within the client's
// 19999 bytes, in the element vocabulary the client knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/devsim/device_fixture.h"
#include "tests/devsim/xml_probe.h"
#include "tests/support/devsim_variant.h"

namespace devsim_test {
namespace {

constexpr std::size_t kDocumentMax = 19999;

class DevsimVariantDocuments : public ::testing::TestWithParam<std::string> {};

TEST_P(DevsimVariantDocuments, ServedDocumentsAreWellFormedAndFitTheClient) {
  const devsim::DeviceConfig config = *devsim::variant(GetParam());
  RunningDevice device(config);
  const std::string auth = config.user.empty() ? "" : basic_auth(config.user, config.password);
  for (const std::string path : {"/values.xml", "/setup.xml"}) {
    SCOPED_TRACE(path);
    const RawReply reply = device.get(path, auth);
    ASSERT_EQ(reply.status(), 200);
    EXPECT_TRUE(reply.closed);
    const std::string body = reply.body();
    EXPECT_EQ(reply.header("Content-Type"), "text/xml");
    EXPECT_EQ(reply.header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(body.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u);
    EXPECT_LE(body.size(), kDocumentMax);
    XmlProbe xml(body);
    EXPECT_TRUE(xml.well_formed());
  }
}

TEST_P(DevsimVariantDocuments, AgentBlockCarriesTheIdentity) {
  const devsim::DeviceConfig config = *devsim::variant(GetParam());
  devsim::Server server;
  ASSERT_GT(server.start(config), 0) << server.error();
  for (const std::string &doc : {server.values_document(), server.setup_document()}) {
    XmlProbe xml(doc);
    EXPECT_EQ(xml.text("/*/Agent/XmlVer"), config.xml_ver);
    EXPECT_EQ(xml.text("/*/Agent/Model"), std::to_string(config.model));
    EXPECT_EQ(xml.text("/*/Agent/DeviceName"), config.device_name);
    EXPECT_EQ(xml.text("/*/Agent/MAC"), config.mac);
    EXPECT_EQ(xml.count("/*/Agent/*"), 8u);
  }
}

TEST_P(DevsimVariantDocuments, SetupListsEverySensorWithItsFields) {
  const devsim::DeviceConfig config = *devsim::variant(GetParam());
  devsim::Server server;
  ASSERT_GT(server.start(config), 0) << server.error();
  XmlProbe setup(server.setup_document());
  ASSERT_TRUE(setup.well_formed());
  const auto ids = setup.texts("/*/SenSet/Entry/ID");
  ASSERT_EQ(ids.size(), config.sensors.size());
  for (std::size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], std::to_string(config.sensors[i].id));
  EXPECT_EQ(setup.count("/*/SenSet/Entry/Calib"), config.sensors.size());
  EXPECT_EQ(setup.count("/*/SenSet/Entry/Idx"), config.idx_elements ? config.sensors.size() : 0u);
  EXPECT_EQ(setup.count("/*/BinaryInSet/Entry"), config.inputs.size());
  EXPECT_EQ(setup.count("/*/BinaryOutSet/Entry"), config.outputs.size());
}

TEST_P(DevsimVariantDocuments, ValuesUseTheListOrMeterFormOfTheModel) {
  const devsim::DeviceConfig config = *devsim::variant(GetParam());
  devsim::Server server;
  ASSERT_GT(server.start(config), 0) << server.error();
  XmlProbe values(server.values_document());
  if (devsim::is_meter_model(config.model)) {
    EXPECT_EQ(values.count("/*/SenSet"), 0u);
    EXPECT_EQ(values.count("/*/Meter/Val"), config.sensors.size());
    EXPECT_EQ(values.count("/*/Input"), config.inputs.size());
  } else {
    EXPECT_EQ(values.count("/*/Meter"), 0u);
    EXPECT_EQ(values.count("/*/SenSet/Entry"), config.sensors.size());
    EXPECT_EQ(values.count("/*/BinaryInSet/Entry"), config.inputs.size());
  }
}

INSTANTIATE_TEST_SUITE_P(AllVariants, DevsimVariantDocuments, ::testing::ValuesIn(devsim::variant_names()),
                         [](const auto &info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

TEST(DevsimDocuments, VariantsCoverEveryFamilyAndTheLimits) {
  std::vector<int> models;
  bool prefixed = false, without_idx = false, by_idx = false;
  std::size_t most_sensors = 0;
  for (const std::string &name : devsim::variant_names()) {
    const devsim::DeviceConfig c = *devsim::variant(name);
    models.push_back(c.model);
    prefixed = prefixed || c.prefixed_root;
    without_idx = without_idx || !c.idx_elements;
    by_idx = by_idx || c.match_by_idx;
    most_sensors = std::max(most_sensors, c.sensors.size());
  }
  // One model of each family 0, 1, 3, 4, 5 and an unknown one (71), and all four meter models.
  for (int model : {36, 15, 33, 45, 55, 57, 58, 53, 71})
    EXPECT_NE(std::find(models.begin(), models.end(), model), models.end()) << model;
  EXPECT_TRUE(prefixed);
  EXPECT_TRUE(without_idx);
  EXPECT_TRUE(by_idx);
  EXPECT_EQ(most_sensors, 42u);
}

TEST(DevsimDocuments, PrefixedRootsDeclareTheirNamespace) {
  devsim::Server server;
  ASSERT_GT(server.start(*devsim::variant("prefixed")), 0);
  const std::string values = server.values_document();
  const std::string setup = server.setup_document();
  EXPECT_NE(values.find("<val:Root xmlns:val=\""), std::string::npos);
  EXPECT_NE(setup.find("<set:Root xmlns:set=\""), std::string::npos);
  EXPECT_EQ(XmlProbe(values).root_name(), "val:Root");
  EXPECT_EQ(XmlProbe(setup).root_name(), "set:Root");
  EXPECT_NE(values.find("</val:Root>"), std::string::npos);
}

TEST(DevsimDocuments, AccentedNamesAreUtf8AndAmpersandsEscaped) {
  devsim::Server server;
  ASSERT_GT(server.start(*devsim::variant("accented")), 0);
  const std::string values = server.values_document();
  EXPECT_NE(values.find("<Name>B\xC3\xBCro &amp; Flur</Name>"), std::string::npos);
  EXPECT_NE(values.find("Tür &lt;Nord&gt;"), std::string::npos);
  XmlProbe xml(values);
  EXPECT_EQ(xml.text("/*/SenSet/Entry[1]/Name"),
            "K\xC3\xBChlraum S\xC3\xBC"
            "d");
  EXPECT_EQ(xml.text("/*/Agent/DeviceName"), "Zentrale N\xC3\xBCrnberg & F\xC3\xBCrth");
}

TEST(DevsimDocuments, SetupBlocksComeInTheClientsOrder) {
  devsim::Server server;
  ASSERT_GT(server.start(*devsim::variant("thermometer")), 0);
  XmlProbe xml(server.setup_document());
  const std::vector<std::string> expected = {
      "Agent",      "Status",        "TemperRange", "BinaryInSet", "BinaryOutSet", "SenSet",       "TempRangeSet",
      "AlarmSet",   "GroupSet",      "SnmpTraps",   "MailDest",    "Counters",     "BinSetG",      "Global",
      "Network",    "Email",         "Time",        "SMS",         "DataLogger",   "HTTPIPFilter", "SNMPIPFilter",
      "SnmpAccess", "MIBIISysGroup", "User",        "Info"};
  EXPECT_EQ(xml.count("/*/*"), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string path = "/*/*[" + std::to_string(i + 1) + "]";
    EXPECT_EQ(xml.count("/*/" + expected[i]), 1u) << expected[i];
    EXPECT_EQ(xml.count(path + "[self::" + expected[i] + "]"), 1u) << "position " << i + 1;
  }
}

TEST(DevsimDocuments, SetupNeverShowsThePassword) {
  devsim::Server server;
  ASSERT_GT(server.start(*devsim::variant("thermometer")), 0);
  XmlProbe xml(server.setup_document());
  EXPECT_EQ(xml.text("/*/User/Entry[1]/Name"), "admin");
  EXPECT_NE(xml.text("/*/User/Entry[1]/Pswd"), "admin");
}

TEST(DevsimDocuments, SensorStateFollowsTheAlarmRangeInTheFamilysCodes) {
  struct Row {
    const char *name;
    int model;
    double value;
    const char *state;
    const char *color;
  };
  // min 10, max 35, hyst 0.5
  const Row rows[] = {
      {"family 0 normal", 36, 20, "0", "0"},       {"family 0 alarm", 36, 40, "2", "2"},
      {"family 0 near limit", 36, 34.8, "1", "1"}, {"family 3 normal", 33, 20, "1", "0"},
      {"family 3 alarm", 33, 5, "4", "2"},         {"family 5 alarm", 53, 40, "4", "2"},
  };
  for (const Row &row : rows) {
    devsim::DeviceConfig c = qxsupport::SteadyVariant("unknown-model");
    c.model = row.model;
    c.sensors[0].value = row.value;
    devsim::Server server;
    ASSERT_GT(server.start(c), 0);
    XmlProbe xml(server.values_document());
    EXPECT_EQ(xml.text("/*/SenSet/Entry/State"), row.state) << row.name;
    EXPECT_EQ(xml.text("/*/SenSet/Entry/Color"), row.color) << row.name;
  }
}

TEST(DevsimDocuments, InvalidProbeReportsTheNoValueMarker) {
  devsim::DeviceConfig c = qxsupport::SteadyVariant("thermometer");
  c.sensors[1].invalid = true;
  devsim::Server server;
  ASSERT_GT(server.start(c), 0);
  XmlProbe xml(server.values_document());
  EXPECT_EQ(xml.text("/*/SenSet/Entry[2]/Value"), "-999.9");
  EXPECT_EQ(xml.text("/*/SenSet/Entry[2]/State"), "4");
}

TEST(DevsimDocuments, ConfigWhoseSetupWouldExceedTheLimitIsRefused) {
  devsim::DeviceConfig c = *devsim::variant("max-sensors");
  for (devsim::Sensor &s : c.sensors) {
    s.name = std::string(50, 'n');
    s.dest = devsim::Destinations{};
  }
  devsim::Server server;
  EXPECT_EQ(server.start(c), -1);
  EXPECT_NE(server.error().find("19999"), std::string::npos) << server.error();
  EXPECT_FALSE(server.running());
}

// The meter models: Meter with several Val, Exp only where it changes,
// limits as integers scaled by the exponent, Input with id and cfg.
class DevsimMeterForm : public ::testing::TestWithParam<int> {};

TEST_P(DevsimMeterForm, ValuesListMetersAndInputsWhileSetupStaysOrdinary) {
  const devsim::DeviceConfig config = *devsim::variant("meter-" + std::to_string(GetParam()));
  devsim::Server server;
  ASSERT_GT(server.start(config), 0);
  XmlProbe values(server.values_document());
  ASSERT_TRUE(values.well_formed());
  EXPECT_GE(values.count("/*/Meter"), 2u);
  EXPECT_GE(values.count("/*/Meter[1]/Val"), 2u);
  const std::size_t vals = values.count("/*/Meter/Val");
  const std::size_t with_exp = values.count("/*/Meter/Val[Exp]");
  EXPECT_GT(with_exp, 0u);
  EXPECT_LT(with_exp, vals) << "some readings carry the exponent of the one before";

  // Walk the readings as the client does, carrying the exponent.
  int exp = 0;
  for (std::size_t i = 0; i < config.sensors.size(); ++i) {
    const devsim::Sensor &s = config.sensors[i];
    const std::string val = "/*/Meter/Val[@id='" + std::to_string(s.id) + "']";
    ASSERT_EQ(values.count(val), 1u) << s.id;
    if (values.count(val + "/Exp")) exp = std::stoi(values.text(val + "/Exp"));
    EXPECT_EQ(exp, s.exp) << s.id;
    EXPECT_EQ(std::stoll(values.text(val + "/alarm_start")), std::llround(s.max / std::pow(10.0, s.exp)));
    EXPECT_EQ(std::stoll(values.text(val + "/alarm_end")), std::llround(s.min / std::pow(10.0, s.exp)));
    EXPECT_EQ(values.count(val + "/cfg"), 1u);
    EXPECT_EQ(values.count(val + "/Units") + values.count(val + "/Unit"), 1u);
  }
  EXPECT_EQ(values.text("/*/Meter/Val[1]/cfg"), "12");  // e-mail and trap set on the first reading
  EXPECT_EQ(values.count("/*/Input[@id]"), config.inputs.size());
  EXPECT_EQ(values.texts("/*/Input/cfg"), (std::vector<std::string>{"0", "18", "14"}));

  XmlProbe setup(server.setup_document());
  EXPECT_EQ(setup.count("/*/Meter"), 0u);
  EXPECT_EQ(setup.count("/*/SenSet/Entry"), config.sensors.size());
  EXPECT_EQ(values.texts("/*/Meter/Val/@id"), setup.texts("/*/SenSet/Entry/ID"));
}

// The client's Idx lookup counts readings in values.xml; a meter that
// appears again after another must not pull its readings forward.
TEST(DevsimMeterForm, ReadingsKeepTheSetupOrderWhenAMeterRecurs) {
  devsim::DeviceConfig config = *devsim::variant("meter-45");
  std::swap(config.sensors[1], config.sensors[3]);  // Heating, Water, Heating, Heating
  devsim::Server server;
  ASSERT_GT(server.start(config), 0);
  XmlProbe values(server.values_document());
  EXPECT_EQ(values.texts("/*/Meter/Val/@id"), XmlProbe(server.setup_document()).texts("/*/SenSet/Entry/ID"));
  EXPECT_EQ(values.texts("/*/Meter/Name"), (std::vector<std::string>{"Heating", "Water", "Heating"}));
}

INSTANTIATE_TEST_SUITE_P(Models, DevsimMeterForm, ::testing::Values(45, 55, 57, 58),
                         [](const auto &info) { return "model_" + std::to_string(info.param); });

}  // namespace
}  // namespace devsim_test
