// Fault texts, JSON config files and the drift of the readings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "tools/devsim/devsim.h"

namespace devsim_test {
namespace {

using devsim::FaultKind;
using devsim::FaultTarget;

TEST(DevsimFaultText, ParsesKindValueAndTarget) {
  struct Row {
    const char *text;
    bool valid;
    FaultKind kind;
    long value;
    FaultTarget target;
  };
  const Row rows[] = {
      {"status:500@setup", true, FaultKind::status, 500, FaultTarget::setup},
      {"stall:100", true, FaultKind::stall, 100, FaultTarget::all},
      {"no-declaration@values", true, FaultKind::no_declaration, 0, FaultTarget::values},
      {"drip:5@post", true, FaultKind::drip, 5, FaultTarget::post},
      {"not-listening", true, FaultKind::not_listening, 0, FaultTarget::all},
      {"body-size:19999@all", true, FaultKind::body_size, 19999, FaultTarget::all},
      {"status:", false, {}, 0, {}},
      {"status:-1", false, {}, 0, {}},
      {"status:5x", false, {}, 0, {}},
      {"stall@nowhere", false, {}, 0, {}},
      {"explode", false, {}, 0, {}},
      {"", false, {}, 0, {}},
  };
  for (const Row &row : rows) {
    const auto fault = devsim::parse_fault(row.text);
    ASSERT_EQ(fault.has_value(), row.valid) << row.text;
    if (!fault) continue;
    EXPECT_EQ(fault->kind, row.kind) << row.text;
    EXPECT_EQ(fault->value, row.value) << row.text;
    EXPECT_EQ(fault->target, row.target) << row.text;
    const auto again = devsim::parse_fault(devsim::fault_to_string(*fault));
    ASSERT_TRUE(again) << devsim::fault_to_string(*fault);
    EXPECT_EQ(again->kind, fault->kind);
    EXPECT_EQ(again->value, fault->value);
    EXPECT_EQ(again->target, fault->target);
  }
}

TEST(DevsimFaultText, EveryKindNameParses) {
  for (const std::string &name : devsim::fault_kind_names()) {
    const auto fault = devsim::parse_fault(name);
    ASSERT_TRUE(fault) << name;
    EXPECT_EQ(devsim::fault_to_string(*fault), name);
  }
}

TEST(DevsimConfig, ReadsDevicesFromVariantsAndFullDescriptions) {
  const char *text = R"({
    "devices": [
      {"variant": "thermometer", "port": 0, "password": "pw", "faults": ["status:500@setup"]},
      {"name": "Custom", "model": 53, "xml_ver": "2.36", "match_by_idx": true, "apply_delay_ms": 50,
       "sensors": [{"id": 301, "name": "Probe", "units": "C", "value": 20.5, "exp": -1, "min": 0,
                    "max": 40, "calib": 0.5, "dest": {"snmp": [true], "mail": [false, true], "delay": 5}}],
       "inputs": [{"id": 1, "name": "Door", "alarm": "on"}],
       "outputs": [{"id": 151, "name": "Relay", "value": 1}],
       "snmp_traps": [{"community": "ops", "ip": "127.0.0.1", "port": 1162, "enabled": true}],
       "network": {"ip": "127.0.0.9", "http_port": "8080"}}
    ]})";
  const devsim::ConfigLoad load = devsim::parse_config_json(text);
  ASSERT_EQ(load.error, "");
  ASSERT_EQ(load.devices.size(), 2u);
  const devsim::DeviceConfig &a = load.devices[0];
  EXPECT_EQ(a.device_name, "Lab thermometer");
  EXPECT_EQ(a.sensors.size(), 4u);
  EXPECT_EQ(a.user, "admin");
  EXPECT_EQ(a.password, "pw");
  ASSERT_EQ(a.faults.size(), 1u);
  EXPECT_EQ(a.faults[0].kind, FaultKind::status);
  EXPECT_EQ(a.faults[0].target, FaultTarget::setup);

  const devsim::DeviceConfig &b = load.devices[1];
  EXPECT_EQ(b.device_name, "Custom");
  EXPECT_EQ(b.model, 53);
  EXPECT_TRUE(b.match_by_idx);
  EXPECT_EQ(b.apply_delay_ms, 50);
  ASSERT_EQ(b.sensors.size(), 1u);
  EXPECT_EQ(b.sensors[0].id, 301u);
  EXPECT_EQ(b.sensors[0].calib, 0.5);
  ASSERT_TRUE(b.sensors[0].dest);
  EXPECT_TRUE(b.sensors[0].dest->snmp[0]);
  EXPECT_TRUE(b.sensors[0].dest->mail[1]);
  EXPECT_EQ(b.sensors[0].dest->delay, 5);
  EXPECT_EQ(b.inputs[0].alarm, devsim::InputAlarm::when_on);
  EXPECT_EQ(b.outputs[0].value, 1);
  EXPECT_EQ(b.snmp_traps[0].port, 1162);
  EXPECT_EQ(b.network.ip, "127.0.0.9");
  EXPECT_EQ(b.network.http_port, "8080");
}

TEST(DevsimConfig, ReadsDiscoveryFieldsAndTheServerChecksTheirRanges) {
  const devsim::ConfigLoad load = devsim::parse_config_json(R"({"devices": [
      {"variant": "family5", "discovery": {"type_code": 31, "settings": 200, "capabilities": 1,
                                           "model_text": "Bench unit", "setup_key": [1, 2, 3, 4294967295]}},
      {"variant": "family5"}]})");
  ASSERT_EQ(load.error, "");
  ASSERT_EQ(load.devices.size(), 2u);
  const devsim::Discovery &d = load.devices[0].discovery;
  EXPECT_EQ(d.type_code, 31);
  EXPECT_EQ(d.settings, 200);
  EXPECT_EQ(d.capabilities, 1);
  EXPECT_EQ(d.model_text, "Bench unit");
  EXPECT_EQ(d.setup_key[3], 4294967295u);
  EXPECT_EQ(load.devices[1].discovery.type_code, 5) << "the variant's own type code";

  devsim::DeviceConfig bad = load.devices[1];
  bad.discovery.type_code = 32;
  devsim::Server server;
  EXPECT_EQ(server.start(bad), -1);
  EXPECT_NE(server.error().find("type code"), std::string::npos) << server.error();
}

TEST(DevsimConfig, ReportsWhatIsWrongAndWhere) {
  struct Row {
    const char *text;
    const char *error_part;
  };
  const Row rows[] = {
      {"{", "not valid JSON"},
      {"[]", "expected an object"},
      {R"({"devices": []})", "non-empty array"},
      {R"({"devices": [{"variant": "toaster"}]})", "no variant \"toaster\""},
      {R"({"devices": [{"modle": 36}]})", "config.devices[0]: unknown key \"modle\""},
      {R"({"devices": [{"model": "36"}]})", "config.devices[0].model: wrong type"},
      {R"({"devices": [{"sensors": [{"id": 1, "unit": "C"}]}]})", "sensors[0]: unknown key \"unit\""},
      {R"({"devices": [{"inputs": [{"alarm": "sometimes"}]}]})", "inputs[0].alarm"},
      {R"({"devices": [{"faults": ["explode"]}]})", "not a fault: explode"},
      {R"({"devices": [{"faults": [3]}]})", "expected a fault text"},
      {R"({"devices": [{}], "extra": 1})", "unknown key \"extra\""},
      {R"({"devices": [{"discovery": {"type": 31}}]})", "discovery: unknown key \"type\""},
      {R"({"devices": [{"discovery": {"setup_key": [1, 2]}}]})", "setup_key: expected four numbers"},
  };
  for (const Row &row : rows) {
    const devsim::ConfigLoad load = devsim::parse_config_json(row.text);
    EXPECT_NE(load.error.find(row.error_part), std::string::npos) << row.text << " -> " << load.error;
    EXPECT_TRUE(load.devices.empty()) << row.text;
  }
}

TEST(DevsimConfig, LoadsAFileAndNamesAMissingOne) {
  char path[] = "/tmp/devsim_config_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << R"({"devices": [{"variant": "meter-45"}, {"variant": "no-idx"}]})";
  const devsim::ConfigLoad load = devsim::load_config_json(path);
  std::remove(path);
  EXPECT_EQ(load.error, "");
  ASSERT_EQ(load.devices.size(), 2u);
  EXPECT_EQ(load.devices[0].model, 45);
  EXPECT_FALSE(load.devices[1].idx_elements);

  const devsim::ConfigLoad missing = devsim::load_config_json("/nonexistent/devsim.json");
  EXPECT_NE(missing.error.find("/nonexistent/devsim.json"), std::string::npos);
}

TEST(DevsimReadings, DriftIsDeterministicBoundedAndSlow) {
  devsim::Sensor s;
  s.value = 20;
  s.drift = 0.5;
  for (double t : {0.0, 1.0, 37.5, 300.0, 1e5}) {
    const double a = devsim::raw_reading(s, 7, 2, t);
    EXPECT_EQ(a, devsim::raw_reading(s, 7, 2, t)) << "same seed, position and time, same reading";
    EXPECT_LE(std::fabs(a - 20), 0.5) << t;
    EXPECT_LT(std::fabs(devsim::raw_reading(s, 7, 2, t + 1) - a), 0.01) << "a second changes little";
  }
  double low = 100, high = -100;
  for (double t = 0; t < 600; t += 10) {
    low = std::min(low, devsim::raw_reading(s, 7, 2, t));
    high = std::max(high, devsim::raw_reading(s, 7, 2, t));
  }
  EXPECT_GT(high - low, 0.9) << "it does drift over ten minutes";
  EXPECT_NE(devsim::raw_reading(s, 7, 2, 100), devsim::raw_reading(s, 7, 3, 100));
  EXPECT_NE(devsim::raw_reading(s, 7, 2, 100), devsim::raw_reading(s, 8, 2, 100));
  s.drift = 0;
  EXPECT_EQ(devsim::raw_reading(s, 7, 2, 123), 20);
}

}  // namespace
}  // namespace devsim_test
