// The reader of meter-form values documents and its scaled-number text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qxxml/qxxml_meter_private.h"
#include "qxxml/qxxml_records.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

struct ScaledCase {
  int32_t value;
  int16_t exponent;
  int16_t max_decimals;
  const char *text;
};

TEST(FormatScaled, Examples) {
  const ScaledCase rows[] = {
      // The documented examples, with the reader's 32 decimals.
      {123, -1, 32, "12.3"},
      {5, -2, 32, "0.05"},
      {-5, -1, 32, "-0.5"},
      {0, -1, 32, "0.0"},
      {7, 2, 32, "700"},
      {0, 2, 32, "0"},
      {1234, 0, 32, "1234"},
      // Cutting decimals.
      {12345, -3, 2, "12.34"},
      {12345, -3, 0, "12"},
      {12345, -3, -1, "12.345"},
      {12345, -3, 3, "12.345"},
      {-150, -2, 32, "-1.50"},
      // The whole range of values, and results cut at 31 characters.
      {INT32_MIN, -2, 32, "-21474836.48"},
      {INT32_MAX, 0, 32, "2147483647"},
      {7, 40, 32, "7000000000000000000000000000000"},
      {5, -40, 32, "0.00000000000000000000000000000"},
      {5, -40, 3, "0.000"},
      {-1, INT16_MIN, 32, "-0.0000000000000000000000000000"},
  };
  for (const ScaledCase &row : rows) {
    char *text = qxxml_format_scaled(nullptr, row.value, row.exponent, row.max_decimals, "%s");
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, row.text) << row.value << " e" << row.exponent << " max " << row.max_decimals;
    EXPECT_LE(strlen(text), 31u);
    free(text);
  }
}

TEST(FormatScaled, PrintsThroughTheFormatToAStream) {
  char printed[64] = {};
  FILE *stream = fmemopen(printed, sizeof printed, "w");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(qxxml_format_scaled(stream, 2155, -2, 1, "[%s]"), nullptr);
  fclose(stream);
  EXPECT_STREQ(printed, "[21.5]");
}

// A values record as the path-table pass leaves it, owned by the test.
struct Record {
  std::unique_ptr<qxxml_values> values = std::make_unique<qxxml_values>();
  qxxml_values_counts counts{};

  explicit Record(const char *model) { snprintf(values->Agent_Model, sizeof values->Agent_Model, "%s", model); }

  // The field of key "Root_" + name, element entry of an array.
  std::string field(const std::string &name, int entry = 0) const {
    for (const qxxml_key &row : qxxml_values_keys) {
      if (row.key == "Root_" + name) return qxxml_field(values.get(), &row, entry);
    }
    ADD_FAILURE() << "no key " << name;
    return "";
  }

  void read(const std::string &text) {
    qxxml_read_meter_tree(values.get(), &counts, text.data(), static_cast<int>(text.size()));
  }
};

struct Expected {
  const char *field;
  int entry;
  const char *text;
};

struct ModelCase {
  const char *name;
  const char *model;
  const char *fixture;
  int sensors;
  int inputs;
  std::vector<Expected> fields;
};

std::ostream &operator<<(std::ostream &out, const ModelCase &c) { return out << c.name; }

class MeterModels : public testing::TestWithParam<ModelCase> {};

TEST_P(MeterModels, AppendsMetersAndInputs) {
  const ModelCase &c = GetParam();
  Record record(c.model);
  const std::string text = qxdom_test::fixture(c.fixture);
  const std::string untouched = text;
  record.read(text);
  EXPECT_EQ(text, untouched) << "the text handed in stays as it was";
  EXPECT_EQ(record.counts.SenSet_count, c.sensors);
  EXPECT_EQ(record.counts.BinaryInSet_count, c.inputs);
  EXPECT_EQ(record.counts.BinaryOutSet_count, 0);
  for (const Expected &e : c.fields) {
    EXPECT_EQ(record.field(e.field, e.entry), e.text) << e.field << "[" << e.entry << "]";
  }
  for (int k = 0; k < c.sensors; k++) EXPECT_EQ(record.field("SenSet_Entry_Calib", k), "0") << k;
}

const ModelCase model_cases[] = {
    {"model_45_three_readings_then_a_second_meter",
     "45",
     "meter_45.xml",
     4,
     4,
     {
         {"SenSet_Entry_Name", 0, "Heating.Flow"},
         {"SenSet_Entry_Units", 0, "m3/h"},
         {"SenSet_Entry_ID", 0, "10"},
         {"SenSet_Entry_Exp", 0, "-2"},
         {"SenSet_Entry_Value", 0, "1234"},
         {"SenSet_Entry_Min", 0, "-1.50"},
         {"SenSet_Entry_Max", 0, "25.00"},
         {"SenSet_Entry_Hyst", 0, "0.05"},
         {"SenSet_Entry_State", 0, "0"},
         {"SenSet_Entry_EmailSMS", 0, "1"},
         {"SenSet_Entry_SNMPTrap", 0, "1"},
         // No Exp: the -2 of the reading before; Unit when there is no Units; no cfg.
         {"SenSet_Entry_Name", 1, "Heating.Return"},
         {"SenSet_Entry_Units", 1, "C"},
         {"SenSet_Entry_Exp", 1, ""},
         {"SenSet_Entry_Min", 1, "1.00"},
         {"SenSet_Entry_Max", 1, "90.00"},
         {"SenSet_Entry_Hyst", 1, ""},
         {"SenSet_Entry_EmailSMS", 1, ""},
         {"SenSet_Entry_SNMPTrap", 1, ""},
         {"SenSet_Entry_Name", 2, "Heating.Power"},
         {"SenSet_Entry_Max", 2, "70"},
         {"SenSet_Entry_Min", 2, ""},
         {"SenSet_Entry_EmailSMS", 2, "0"},
         {"SenSet_Entry_SNMPTrap", 2, "0"},
         // The exponent carries over into the next meter.
         {"SenSet_Entry_Name", 3, "Water.Volume"},
         {"SenSet_Entry_ID", 3, "20"},
         {"SenSet_Entry_Hyst", 3, "30"},
         {"SenSet_Entry_Value", 3, "77"},
         {"BinaryInSet_Entry_Name", 0, "Door"},
         {"BinaryInSet_Entry_ID", 0, "1"},
         {"BinaryInSet_Entry_State", 0, "1"},
         {"BinaryInSet_Entry_Value", 0, "0"},
         {"BinaryInSet_Entry_Alarm", 0, "1"},
         {"BinaryInSet_Entry_EmailSMS", 0, "0"},
         {"BinaryInSet_Entry_SNMPTrap", 0, "0"},
         {"BinaryInSet_Entry_Alarm", 1, "0"},
         {"BinaryInSet_Entry_Name", 2, ""},
         {"BinaryInSet_Entry_Alarm", 2, "2"},
         {"BinaryInSet_Entry_ID", 3, "0"},
         {"BinaryInSet_Entry_Alarm", 3, "2"},
     }},
    {"model_55_prefixed_root_and_skipped_meters",
     "55",
     "meter_55.xml",
     2,
     1,
     {
         {"SenSet_Entry_Name", 0, "Gas."},
         {"SenSet_Entry_Units", 0, "m3"},
         {"SenSet_Entry_ID", 0, "5"},
         {"SenSet_Entry_Value", 0, "12345"},
         {"SenSet_Entry_Min", 0, "0.005"},
         {"SenSet_Entry_Max", 0, ""},  // "123.456" is too long
         {"SenSet_Entry_EmailSMS", 0, "1"},
         {"SenSet_Entry_SNMPTrap", 0, "0"},
         {"SenSet_Entry_Name", 1, "Gas.Rate"},
         {"SenSet_Entry_Units", 1, "l/h"},
         {"SenSet_Entry_ID", 1, "0"},
         {"SenSet_Entry_Min", 1, "-0.007"},
         {"SenSet_Entry_EmailSMS", 1, "0"},
         {"SenSet_Entry_SNMPTrap", 1, "1"},  // 260: low byte 4
         {"BinaryInSet_Entry_Name", 0, "Tamper"},
         {"BinaryInSet_Entry_Alarm", 0, "1"},
         {"BinaryInSet_Entry_EmailSMS", 0, "1"},
         {"BinaryInSet_Entry_SNMPTrap", 0, "1"},
     }},
    {"model_57_texts_too_long_for_their_fields_are_dropped",
     "57",
     "meter_57.xml",
     2,
     1,
     {
         {"SenSet_Entry_Name", 0, ""},
         {"SenSet_Entry_Units", 0, "kWh"},
         {"SenSet_Entry_Value", 0, "12345678901234"},
         {"SenSet_Entry_State", 0, "1"},
         {"SenSet_Entry_Name", 1, "Main electricity meter hall A.P"},
         {"SenSet_Entry_Value", 1, ""},
         {"BinaryInSet_Entry_Name", 0, "Relay feedback"},
         {"BinaryInSet_Entry_State", 0, "2"},
         {"BinaryInSet_Entry_Value", 0, "1"},
         {"BinaryInSet_Entry_Alarm", 0, ""},
     }},
    {"model_58_cut_off_document_read_as_far_as_built",
     "58",
     "meter_58_cut.xml",
     2,
     0,
     {
         {"SenSet_Entry_Name", 0, "Boiler & tank.Temp"},
         {"SenSet_Entry_Units", 0,
          "\xC2\xB0"
          "C"},
         {"SenSet_Entry_Min", 0, "15.0"},
         {"SenSet_Entry_Max", 0, "80.0"},
         {"SenSet_Entry_Hyst", 0, "1.0"},
         {"SenSet_Entry_Name", 1, "Boiler & tank.Press"},
         {"SenSet_Entry_ID", 1, "2"},
     }},
};

INSTANTIATE_TEST_SUITE_P(Fixtures, MeterModels, testing::ValuesIn(model_cases),
                         [](const testing::TestParamInfo<ModelCase> &info) { return info.param.name; });

const char meter_document[] =
    "<Root><Agent><Model>45</Model></Agent>"
    "<Meter><Name>M</Name><Val id=\"1\"><Name>a</Name><cfg>12</cfg></Val><Val id=\"2\"><Name>b</Name></Val></Meter>"
    "<Input id=\"9\"><Name>i</Name><cfg>6</cfg></Input></Root>";

TEST(MeterReader, OtherModelsLeaveTheRecordExactlyAsItWas) {
  for (const char *model : {"44", "", "abc", "0", "450", "-45"}) {
    Record record(model);
    snprintf(record.values->SenSet_Entry_Name[0], 52, "from the first pass");
    record.counts = {1, 2, 1};
    auto before = std::make_unique<qxxml_values>(*record.values);
    qxxml_values_counts counts_before = record.counts;
    record.read(meter_document);
    EXPECT_EQ(memcmp(before.get(), record.values.get(), sizeof(qxxml_values)), 0) << "model '" << model << "'";
    EXPECT_EQ(memcmp(&counts_before, &record.counts, sizeof counts_before), 0) << "model '" << model << "'";
  }
}

TEST(MeterReader, EntriesFollowThoseOfTheFirstPassAndReplaceTexts) {
  Record record("45");
  record.counts.SenSet_count = 2;
  record.counts.BinaryInSet_count = 3;
  snprintf(record.values->SenSet_Entry_Name[1], 52, "kept");
  snprintf(record.values->SenSet_Entry_Name[2], 52, "old text");
  snprintf(record.values->SenSet_Entry_Calib[2], 8, "1.5");
  record.read(meter_document);
  EXPECT_EQ(record.counts.SenSet_count, 4);
  EXPECT_EQ(record.counts.BinaryInSet_count, 4);
  EXPECT_EQ(record.field("SenSet_Entry_Name", 1), "kept");
  EXPECT_EQ(record.field("SenSet_Entry_Name", 2), "M.a");
  EXPECT_EQ(record.field("SenSet_Entry_Calib", 2), "0");
  EXPECT_EQ(record.field("SenSet_Entry_Name", 3), "M.b");
  EXPECT_EQ(record.field("BinaryInSet_Entry_Name", 3), "i");
  EXPECT_EQ(record.field("BinaryInSet_Entry_ID", 3), "9");
}

TEST(MeterReader, EntriesBeyondTheCapacitiesAreDropped) {
  Record record("58");
  record.counts.SenSet_count = QXXML_SENSOR_MAX - 1;
  record.counts.BinaryInSet_count = QXXML_BINARY_IN_MAX - 1;
  snprintf(record.values->SenSet_Entry_ID[0], 12, "first ID");
  snprintf(record.values->BinaryInSet_Entry_Value[0], 16, "first value");
  std::string text = "<Root><Meter><Name>M</Name>";
  for (int i = 0; i < 5; i++)
    text += "<Val id=\"" + std::to_string(i) + "\"><Name>" + std::string(45, 'n') + "</Name></Val>";
  text += "</Meter>";
  for (int i = 0; i < 5; i++)
    text += "<Input id=\"" + std::to_string(i) + "\"><Name>" + std::string(50, 'i') + "</Name></Input>";
  record.read(text + "</Root>");
  EXPECT_EQ(record.counts.SenSet_count, QXXML_SENSOR_MAX);
  EXPECT_EQ(record.counts.BinaryInSet_count, QXXML_BINARY_IN_MAX);
  EXPECT_EQ(record.field("SenSet_Entry_Name", QXXML_SENSOR_MAX - 1), "M." + std::string(45, 'n'));
  EXPECT_EQ(record.field("SenSet_Entry_ID", QXXML_SENSOR_MAX - 1), "0");
  EXPECT_EQ(record.field("BinaryInSet_Entry_Name", QXXML_BINARY_IN_MAX - 1), std::string(50, 'i'));
  // The arrays that follow in the record are untouched.
  EXPECT_EQ(record.field("SenSet_Entry_ID", 0), "first ID");
  EXPECT_EQ(record.field("BinaryInSet_Entry_Value", 0), "first value");
}

TEST(MeterReader, CountsAlreadyBeyondTheCapacityAddNothing) {
  Record record("45");
  record.counts.SenSet_count = QXXML_SENSOR_MAX + 3;
  record.counts.BinaryInSet_count = QXXML_BINARY_IN_MAX + 1;
  auto before = std::make_unique<qxxml_values>(*record.values);
  record.read(meter_document);
  EXPECT_EQ(record.counts.SenSet_count, QXXML_SENSOR_MAX + 3);
  EXPECT_EQ(record.counts.BinaryInSet_count, QXXML_BINARY_IN_MAX + 1);
  EXPECT_EQ(memcmp(before.get(), record.values.get(), sizeof(qxxml_values)), 0);
}

TEST(MeterReader, CfgBitsOfReadingsAndInputs) {
  struct Row {
    const char *cfg;
    const char *email_sms, *snmp_trap;                      // of a Val
    const char *alarm, *input_email_sms, *input_snmp_trap;  // of an Input
  } rows[] = {
      {"12", "1", "1", "2", "1", "0"}, {"0", "0", "0", "2", "0", "0"},  {"8", "1", "0", "2", "1", "0"},
      {"4", "0", "1", "2", "0", "0"},  {"6", "0", "1", "1", "0", "0"},  {"2", "0", "0", "0", "0", "0"},
      {"16", "0", "0", "2", "0", "1"}, {"30", "1", "1", "1", "1", "1"}, {"268", "1", "1", "2", "1", "0"},
  };
  for (const Row &row : rows) {
    Record record("57");
    std::string cfg = std::string("<cfg>") + row.cfg + "</cfg>";
    record.read("<Root><Meter><Name>M</Name><Val>" + cfg + "</Val></Meter><Input>" + cfg + "</Input></Root>");
    EXPECT_EQ(record.field("SenSet_Entry_EmailSMS"), row.email_sms) << "cfg " << row.cfg;
    EXPECT_EQ(record.field("SenSet_Entry_SNMPTrap"), row.snmp_trap) << "cfg " << row.cfg;
    EXPECT_EQ(record.field("BinaryInSet_Entry_Alarm"), row.alarm) << "cfg " << row.cfg;
    EXPECT_EQ(record.field("BinaryInSet_Entry_EmailSMS"), row.input_email_sms) << "cfg " << row.cfg;
    EXPECT_EQ(record.field("BinaryInSet_Entry_SNMPTrap"), row.input_snmp_trap) << "cfg " << row.cfg;
  }
}

TEST(MeterReader, NothingToReadInEmptyOrBrokenInput) {
  for (const char *text : {"", "no markup", "<Root><Meter><Name>"}) {
    Record record("45");
    record.read(text);
    EXPECT_EQ(record.counts.SenSet_count, 0) << text;
    EXPECT_EQ(record.counts.BinaryInSet_count, 0) << text;
  }
  qxxml_values_counts counts{};
  qxxml_read_meter_tree(nullptr, &counts, meter_document, sizeof meter_document - 1);
  Record record("45");
  qxxml_read_meter_tree(record.values.get(), nullptr, meter_document, sizeof meter_document - 1);
  qxxml_read_meter_tree(record.values.get(), &record.counts, nullptr, 10);
  EXPECT_EQ(record.counts.SenSet_count, 0);
}

}  // namespace
