// The meter reader on the values documents the device simulator serves for
// the four meter models: every reading and input of the device comes out as
// the entry it stands for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "qxxml/qxxml_meter_private.h"
#include "qxxml/qxxml_records.h"
#include "tools/devsim/devsim.h"

namespace {

// The limit text the reader should store: the device's scaled integer
// written with its exponent, or nothing when that does not fit the 8-byte
// field (at most 6 characters).
std::string limit_text(double value, int exp) {
  long long scaled = std::llround(value / std::pow(10.0, exp));
  char *text = qxxml_format_scaled(nullptr, static_cast<int32_t>(scaled), static_cast<int16_t>(exp), 32, "%s");
  std::string out = text && strlen(text) <= 6 ? text : "";
  free(text);
  return out;
}

class MeterDevsim : public testing::TestWithParam<const char *> {};

TEST_P(MeterDevsim, ReadsEveryReadingAndInput) {
  std::optional<devsim::DeviceConfig> config = devsim::variant(GetParam());
  ASSERT_TRUE(config);
  devsim::Server server;
  ASSERT_GT(server.start(*config), 0) << server.error();
  const std::string text = server.values_document();
  server.stop();
  ASSERT_FALSE(text.empty());

  auto record = std::make_unique<qxxml_values>();
  qxxml_values_counts counts{};
  snprintf(record->Agent_Model, sizeof record->Agent_Model, "%d", config->model);
  qxxml_read_meter_tree(record.get(), &counts, text.data(), static_cast<int>(text.size()));

  ASSERT_EQ(counts.SenSet_count, static_cast<int>(config->sensors.size()));
  int carried_exp = 0;
  for (size_t k = 0; k < config->sensors.size(); k++) {
    const devsim::Sensor &s = config->sensors[k];
    SCOPED_TRACE("sensor " + std::to_string(s.id));
    EXPECT_EQ(std::string(record->SenSet_Entry_Name[k]), s.meter + "." + s.name);
    EXPECT_EQ(std::string(record->SenSet_Entry_ID[k]), std::to_string(s.id));
    EXPECT_EQ(std::string(record->SenSet_Entry_Units[k]), s.units);
    // The device writes Exp only where the exponent changes.
    EXPECT_EQ(std::string(record->SenSet_Entry_Exp[k]), s.exp != carried_exp ? std::to_string(s.exp) : "");
    carried_exp = s.exp;
    EXPECT_EQ(std::string(record->SenSet_Entry_Min[k]), limit_text(s.min, s.exp));
    EXPECT_EQ(std::string(record->SenSet_Entry_Max[k]), limit_text(s.max, s.exp));
    EXPECT_EQ(std::string(record->SenSet_Entry_Hyst[k]), limit_text(s.hyst, s.exp));
    EXPECT_STRNE(record->SenSet_Entry_Value[k], "");
    EXPECT_STREQ(record->SenSet_Entry_EmailSMS[k], s.email_sms ? "1" : "0");
    EXPECT_STREQ(record->SenSet_Entry_SNMPTrap[k], s.snmp_trap ? "1" : "0");
    EXPECT_STREQ(record->SenSet_Entry_Calib[k], "0");
  }

  ASSERT_EQ(counts.BinaryInSet_count, static_cast<int>(config->inputs.size()));
  for (size_t k = 0; k < config->inputs.size(); k++) {
    const devsim::BinaryInput &in = config->inputs[k];
    SCOPED_TRACE("input " + std::to_string(in.id));
    EXPECT_EQ(std::string(record->BinaryInSet_Entry_Name[k]), in.name);
    EXPECT_EQ(std::string(record->BinaryInSet_Entry_ID[k]), std::to_string(in.id));
    EXPECT_EQ(std::string(record->BinaryInSet_Entry_Value[k]), std::to_string(in.value));
    const char *alarm = in.alarm == devsim::InputAlarm::inactive  ? "2"
                        : in.alarm == devsim::InputAlarm::when_on ? "0"
                                                                  : "1";
    EXPECT_STREQ(record->BinaryInSet_Entry_Alarm[k], alarm);
    EXPECT_STREQ(record->BinaryInSet_Entry_EmailSMS[k], in.email_sms ? "1" : "0");
    EXPECT_STREQ(record->BinaryInSet_Entry_SNMPTrap[k], in.snmp_trap ? "1" : "0");
  }
  EXPECT_EQ(counts.BinaryOutSet_count, 0);
}

INSTANTIATE_TEST_SUITE_P(Models, MeterDevsim, testing::Values("meter-45", "meter-55", "meter-57", "meter-58"),
                         [](const testing::TestParamInfo<const char *> &info) {
                           std::string name = info.param;
                           for (char &c : name) c = c == '-' ? '_' : c;
                           return name;
                         });

}  // namespace
