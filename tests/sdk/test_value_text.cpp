// Decoders and display texts of entry values, as tables of named cases.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <set>
#include <string>

#include "comma_locale.h"
#include "sdk/text_number.h"
#include "sdk/value_text.h"

namespace zelvoapi {
namespace {

// A call whose numeric result is compared with the expected one; the call
// itself, written in the row, shows the input.
struct CodeCase {
  const char *Name;
  std::function<double()> Call;
  double Expected;
};

std::ostream &operator<<(std::ostream &os, const CodeCase &c) { return os << c.Name; }

class SdkParseCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(SdkParseCodes, GivesExpectedCode) {
  const CodeCase &c = GetParam();
  EXPECT_EQ(c.Call(), c.Expected) << c.Name;
}

// Results of the two-output parsers, flattened for the table.
double InputAlarmMode(const char *version, int32_t family, const char *alarm_state, const char *alarm) {
  double min = 0, max = 0;
  uint32_t mode = 99;
  parse_input_alarm(version, family, alarm_state, alarm, min, max, mode);
  return mode;
}

double InputAlarmLimit(const char *version, int32_t family, const char *alarm_state, const char *alarm) {
  double min = 0, max = 0;
  uint32_t mode = 99;
  parse_input_alarm(version, family, alarm_state, alarm, min, max, mode);
  EXPECT_EQ(min, max) << "a binary input's limits are one level";
  return min;
}

double SensorMin(int32_t family, uint32_t kind, const char *min_text, const char *max_text) {
  double min = 0, max = 0;
  parse_sensor_limits(family, kind, min_text, max_text, min, max);
  return min;
}

double SensorMax(int32_t family, uint32_t kind, const char *min_text, const char *max_text) {
  double min = 0, max = 0;
  parse_sensor_limits(family, kind, min_text, max_text, min, max);
  return max;
}

const CodeCase kParseCodes[] = {
    // Which of two fields carries a fact.
    {"SecondFieldFamily0V234", [] { return xml_second_field("2.34", 0); }, 1},
    {"SecondFieldFamily0V236", [] { return xml_second_field("2.36", 0); }, 1},
    {"SecondFieldFamily0V220", [] { return xml_second_field("2.20", 0); }, 0},
    {"SecondFieldFamily1V20", [] { return xml_second_field("2.0", 1); }, 1},
    {"SecondFieldFamily1V234", [] { return xml_second_field("2.34", 1); }, 0},
    {"SecondFieldFamily3AnyVersion", [] { return xml_second_field("", 3); }, 1},
    {"SecondFieldFamily5AnyVersion", [] { return xml_second_field("9", 5); }, 1},
    {"SecondFieldFamily2", [] { return xml_second_field("2.34", 2); }, 0},
    {"SecondFieldFamily6", [] { return xml_second_field("2.34", 6); }, 0},

    // Binary input alarm: family 0 reads the alarm-state text before 2.34.
    {"InputAlarmFamily0State2Inactive", [] { return InputAlarmMode("2.20", 0, "2", "0"); }, 0},
    {"InputAlarmFamily0State2NoLimit", [] { return InputAlarmLimit("2.20", 0, "2", "0"); }, NO_LIMIT},
    {"InputAlarmFamily0State0ActiveIfOn", [] { return InputAlarmMode("2.20", 0, "0", "9"); }, 1},
    {"InputAlarmFamily0State0Limit0", [] { return InputAlarmLimit("2.20", 0, "0", "9"); }, 0},
    {"InputAlarmFamily0State1ActiveIfOff", [] { return InputAlarmMode("2.20", 0, "1", "9"); }, 2},
    {"InputAlarmFamily0State1Limit1", [] { return InputAlarmLimit("2.20", 0, "1", "9"); }, 1},
    {"InputAlarmFamily0V234ReadsAlarm", [] { return InputAlarmMode("2.34", 0, "9", "1"); }, 2},
    {"InputAlarmFamily4ReadsAlarm", [] { return InputAlarmMode("", 4, "2", "0"); }, 1},
    {"InputAlarmFamily0OtherText", [] { return InputAlarmMode("2.20", 0, "7", "0"); }, 6},
    {"InputAlarmFamily0OtherTextNoLimit", [] { return InputAlarmLimit("2.20", 0, "7", "0"); }, NO_LIMIT},
    {"InputAlarmFamily1Alarm0Inactive", [] { return InputAlarmMode("2.34", 1, "2", "0"); }, 0},
    {"InputAlarmFamily1Alarm2ActiveIfOn", [] { return InputAlarmMode("2.34", 1, "0", "2"); }, 1},
    {"InputAlarmFamily1Alarm1ActiveIfOff", [] { return InputAlarmMode("2.34", 1, "0", "1"); }, 2},
    {"InputAlarmFamily1Alarm1Limit1", [] { return InputAlarmLimit("2.34", 1, "0", "1"); }, 1},
    {"InputAlarmFamily3None", [] { return InputAlarmMode("2.34", 3, "0", "0"); }, 6},
    {"InputAlarmFamily3NoLimit", [] { return InputAlarmLimit("2.34", 3, "0", "0"); }, NO_LIMIT},

    // Binary input state.
    {"InputStateFamily4State1Normal", [] { return parse_input_state("", 4, "2", "1"); }, 0},
    {"InputStateFamily4State2Alarm", [] { return parse_input_state("", 4, "0", "2"); }, 2},
    {"InputStateFamily4State0Invalid", [] { return parse_input_state("", 4, "1", "0"); }, 3},
    {"InputStateFamily4Other", [] { return parse_input_state("", 4, "1", "3"); }, 5},
    {"InputStateFamily0OldReadsColour", [] { return parse_input_state("2.20", 0, "1", "2"); }, 1},
    {"InputStateFamily0NewReadsState", [] { return parse_input_state("2.35", 0, "1", "2"); }, 2},
    {"InputStateFamily3ReadsState", [] { return parse_input_state("", 3, "2", "0"); }, 0},
    {"InputStateOtherText", [] { return parse_input_state("2.20", 0, "4", "0"); }, 5},

    // Binary output mode and kind.
    {"OutputModeOldVersionNone", [] { return parse_output_mode("2.20", 0, "1"); }, 5},
    {"OutputModeV234Text3", [] { return parse_output_mode("2.34", 0, "3"); }, 3},
    {"OutputModeFamily4Text4", [] { return parse_output_mode("", 4, "4"); }, 4},
    {"OutputModeFamily4Text5", [] { return parse_output_mode("", 4, "5"); }, 5},
    {"OutputKindFamily0Type0Relay", [] { return parse_output_kind(0, "0"); }, 4},
    {"OutputKindFamily0Type1Dtr", [] { return parse_output_kind(0, "1"); }, 6},
    {"OutputKindFamily0Type2Rts", [] { return parse_output_kind(0, "2"); }, 5},
    {"OutputKindFamily0OtherUnknown", [] { return parse_output_kind(0, "3"); }, 8},
    {"OutputKindFamily1Relay", [] { return parse_output_kind(1, "1"); }, 4},
    {"OutputKindFamily3Binary", [] { return parse_output_kind(3, "0"); }, 7},
    {"InputKindFamily1CountersOn", [] { return parse_input_kind(1, "x", "1"); }, 3},
    {"InputKindFamily1CountersOff", [] { return parse_input_kind(1, "x", "0"); }, 2},
    {"InputKindFamily0CountersOn", [] { return parse_input_kind(0, "x", "1"); }, 2},

    // Sensor ID.
    {"SensorIdFamily0", [] { return parse_sensor_id(0, "12"); }, 12},
    {"SensorIdFamily5", [] { return parse_sensor_id(5, " 7x"); }, 7},
    {"SensorIdFamily2IsZero", [] { return parse_sensor_id(2, "12"); }, 0},
    {"SensorIdFamily9IsZero", [] { return parse_sensor_id(9, "12"); }, 0},

    // Units: case is ignored, the first match wins, model 43 means WLD.
    {"UnitsC", [] { return parse_units("C", ""); }, 0},
    {"UnitsLowerC", [] { return parse_units("c", ""); }, 0},
    {"UnitsKwhAnyCase", [] { return parse_units("kwh", ""); }, 14},
    {"UnitsKWHUpper", [] { return parse_units("KWH", ""); }, 14},
    {"UnitsKw", [] { return parse_units("kW", ""); }, 16},
    {"UnitsSwitch", [] { return parse_units("s", ""); }, 6},
    {"UnitsDpC", [] { return parse_units("DP C", ""); }, 9},
    {"UnitsM3h", [] { return parse_units("m3/h", ""); }, 23},
    {"UnitsLux", [] { return parse_units("lux", ""); }, 24},
    {"UnitsFahrenheitUnknown", [] { return parse_units("F", ""); }, 8},
    {"UnitsEmptyUnknown", [] { return parse_units("", "42"); }, 8},
    {"UnitsUnknownOnModel43IsWld", [] { return parse_units("xyz", "43"); }, 11},
    {"UnitsKnownOnModel43Kept", [] { return parse_units("V", "43"); }, 4},
    {"UnitsModel430NotWld", [] { return parse_units("xyz", "430"); }, 8},

    // Exponent: families 0, 1, 3 count the value's decimals.
    {"ExponentFamily0ThreeDecimals", [] { return parse_exponent(0, "-1", "12.345", 0); }, -3},
    {"ExponentFamily0LuxIsOne", [] { return parse_exponent(0, "-1", "12.345", 24); }, 1},
    {"ExponentFamily1NoDot", [] { return parse_exponent(1, "-2", "12", 0); }, 0},
    {"ExponentFamily3FirstDot", [] { return parse_exponent(3, "", "1.2.3", 0); }, -3},
    {"ExponentFamily4ReadsText", [] { return parse_exponent(4, "-2", "12.345", 24); }, -2},
    {"ExponentFamily2ReadsText", [] { return parse_exponent(2, "3", "1.5", 0); }, 3},
    {"ExponentFamily5EmptyText", [] { return parse_exponent(5, "", "1.5", 0); }, 0},

    // Sensor limits.
    {"LimitsFamily0AnalogMin", [] { return SensorMin(0, 0, "-10.5", "40"); }, -10.5},
    {"LimitsFamily0AnalogMax", [] { return SensorMax(0, 0, "-10.5", "40"); }, 40},
    {"LimitsFamily0SwitchLow", [] { return SensorMax(0, 2, "0.0", "0.5"); }, 0},
    {"LimitsFamily4SwitchHigh", [] { return SensorMin(4, 2, "0.5", "1.0"); }, 1},
    {"LimitsFamily3SwitchOther", [] { return SensorMin(3, 2, "0.0", "1.0"); }, NO_LIMIT},
    {"LimitsFamily1AlwaysNone", [] { return SensorMin(1, 0, "-10", "40"); }, NO_LIMIT},
    {"LimitsFamily1AlwaysNoneMax", [] { return SensorMax(1, 0, "-10", "40"); }, NO_LIMIT},
    {"LimitsFamily2None", [] { return SensorMax(2, 0, "-10", "40"); }, NO_LIMIT},

    // Sensor alarm mode.
    {"SensorAlarmNeither", [] { return parse_sensor_alarm_mode(0, "0", "0"); }, 0},
    {"SensorAlarmSnmpOnly", [] { return parse_sensor_alarm_mode(0, "1", "0"); }, 3},
    {"SensorAlarmEmailOnly", [] { return parse_sensor_alarm_mode(4, "0", "1"); }, 4},
    {"SensorAlarmBoth", [] { return parse_sensor_alarm_mode(5, "1", "1"); }, 5},
    {"SensorAlarmBadText", [] { return parse_sensor_alarm_mode(0, "1", "x"); }, 6},
    {"SensorAlarmEmptyText", [] { return parse_sensor_alarm_mode(0, "", "0"); }, 6},
    {"SensorAlarmFamily1None", [] { return parse_sensor_alarm_mode(1, "1", "1"); }, 6},
    {"SensorAlarmFamily2None", [] { return parse_sensor_alarm_mode(2, "0", "0"); }, 6},

    // Sensor state.
    {"SensorStateFamily0OldColour", [] { return parse_sensor_state("2.20", 0, "1", "2", "", "20"); }, 1},
    {"SensorStateFamily0NewState", [] { return parse_sensor_state("2.34", 0, "1", "2", "", "20"); }, 2},
    {"SensorStateFamily0Colour4Invalid", [] { return parse_sensor_state("2.20", 0, "4", "", "", "20"); }, 3},
    {"SensorStateFamily0Other", [] { return parse_sensor_state("2.20", 0, "3", "", "", "20"); }, 5},
    {"SensorStateFamily0NoReadingInvalid", [] { return parse_sensor_state("2.20", 0, "0", "0", "", "-999.9"); }, 3},
    {"SensorStateFamily0MinusNineNineNine", [] { return parse_sensor_state("2.20", 0, "0", "", "", "-999"); }, 3},
    {"SensorStateFamily1Above999Kept", [] { return parse_sensor_state("2.0", 1, "0", "0", "", "-998.9"); }, 0},
    {"SensorStateFamily3State1Normal", [] { return parse_sensor_state("", 3, "", "1", "", "20"); }, 0},
    {"SensorStateFamily3State3OutOfRange", [] { return parse_sensor_state("", 3, "", "3", "", "20"); }, 1},
    {"SensorStateFamily5State5Alarm", [] { return parse_sensor_state("", 5, "", "5", "", "20"); }, 2},
    {"SensorStateFamily3State0Invalid", [] { return parse_sensor_state("", 3, "", "0", "", "20"); }, 3},
    {"SensorStateModel43Value2Invalid", [] { return parse_sensor_state("", 3, "", "1", "43", "2"); }, 3},
    {"SensorStateModel43Value1Kept", [] { return parse_sensor_state("", 3, "", "1", "43", "1"); }, 0},
    {"SensorStateModel44Value2Kept", [] { return parse_sensor_state("", 3, "", "1", "44", "2"); }, 0},
    {"SensorStateFamily4State2Alarm", [] { return parse_sensor_state("", 4, "", "2", "", "20"); }, 2},
    {"SensorStateFamily4State3Other", [] { return parse_sensor_state("", 4, "", "3", "", "20"); }, 5},
    {"SensorStateFamily2None", [] { return parse_sensor_state("", 2, "0", "0", "", "20"); }, 5},

    // Alarm action of the binary inputs.
    {"AlarmActionFamily0Text3", [] { return parse_alarm_action(0, "3"); }, 3},
    {"AlarmActionFamily0Text4None", [] { return parse_alarm_action(0, "4"); }, 4},
    {"AlarmActionFamily1None", [] { return parse_alarm_action(1, "1"); }, 4},

    // Decimals.
    {"DecimalsOfMinus2", [] { return decimals_of(-2); }, 2},
    {"DecimalsOfPlus1", [] { return decimals_of(1); }, 0},
    {"DecimalsOfMostNegativeNoOverflow", [] { return decimals_of(INT32_MIN); }, INT32_MAX},

    // Number texts.
    {"IntBlanksAndTail", [] { return text_to_int32("  42x"); }, 42},
    {"IntSigned", [] { return text_to_int32("-7"); }, -7},
    {"IntPlus", [] { return text_to_int32("+3"); }, 3},
    {"IntNoDigits", [] { return text_to_int32("abc"); }, 0},
    {"IntNull", [] { return text_to_int32(nullptr); }, 0},
    {"IntSaturatesHigh", [] { return text_to_int32("99999999999999999999"); }, INT32_MAX},
    {"IntSaturatesLow", [] { return text_to_int32("-99999999999999999999"); }, INT32_MIN},
    {"IntMostNegative", [] { return text_to_int32("-2147483648"); }, INT32_MIN},
    {"DoubleDecimal", [] { return text_to_double("21.55"); }, 21.55},
    {"DoubleBlanksAndTail", [] { return text_to_double(" -3.5abc"); }, -3.5},
    {"DoubleEmpty", [] { return text_to_double(""); }, 0},
    {"DoubleNull", [] { return text_to_double(nullptr); }, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, SdkParseCodes, ::testing::ValuesIn(kParseCodes),
                         [](const auto &info) { return std::string(info.param.Name); });

// A text function called into a fresh work buffer.
template <typename F, typename... A>
std::string Text(F function, A... args) {
  TSdkText out;
  std::memset(out, 'X', sizeof out);
  function(out, args...);
  return out;
}

struct TextCase {
  const char *Name;
  std::function<std::string()> Call;
  const char *Expected;
};

std::ostream &operator<<(std::ostream &os, const TextCase &c) { return os << c.Name; }

class SdkTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(SdkTexts, GivesExpectedText) {
  const TextCase &c = GetParam();
  EXPECT_EQ(c.Call(), c.Expected) << c.Name;
}

const TextCase kTexts[] = {
    {"IdAnalog", [] { return Text(id_text, 12, 0u); }, "12"},
    {"IdCounter", [] { return Text(id_text, 151, 9u); }, "151"},
    {"IdKind8None", [] { return Text(id_text, 12, 8u); }, "-"},
    {"IdKind10None", [] { return Text(id_text, 12, 10u); }, "-"},

    {"ValueRoundsByFormatting", [] { return Text(value_text, 21.55, 0u, -1); }, "21.6"},
    {"ValueNoDecimals", [] { return Text(value_text, 21.55, 0u, 0); }, "22"},
    {"ValuePositiveExponentNoDecimals", [] { return Text(value_text, 1234.0, 1u, 1); }, "1234"},
    {"ValueTwoDecimals", [] { return Text(value_text, -5.0, 0u, -2); }, "-5.00"},
    {"ValueMinus998None", [] { return Text(value_text, -998.0, 0u, -1); }, "-"},
    {"ValueJustAboveMinus998", [] { return Text(value_text, -997.9, 0u, -1); }, "-997.9"},
    {"ValueBinaryOff", [] { return Text(value_text, 0.0, 2u, 0); }, "Off"},
    {"ValueBinaryOn", [] { return Text(value_text, 1.0, 4u, 0); }, "On"},
    {"ValueBinaryOffAnyAlarm", [] { return Text(value_text, 2.0, 2u, 0); }, "Off any alarm"},
    {"ValueBinaryOnAnyAlarm", [] { return Text(value_text, 3.0, 7u, 0); }, "On any alarm"},
    {"ValueBinary5None", [] { return Text(value_text, 5.0, 2u, 0); }, "-"},
    {"ValueBinaryFractionNone", [] { return Text(value_text, 1.5, 3u, 0); }, "-"},
    {"ValueBinaryNegativeNone", [] { return Text(value_text, -1.0, 3u, 0); }, "-"},
    {"ValueCounterWhole", [] { return Text(value_text, 1234.6, 9u, -2); }, "1235"},
    {"ValueCounterNoReading", [] { return Text(value_text, -999.0, 9u, 0); }, "-"},
    {"ValueKind8None", [] { return Text(value_text, 1.0, 8u, 0); }, "-"},
    {"ValueTooLongForBufferNone", [] { return Text(value_text, 1e300, 0u, -2); }, "-"},
    {"ValueTooManyDecimalsNone", [] { return Text(value_text, 1.5, 0u, -200); }, "-"},
    {"ValueMostNegativeExponentNone", [] { return Text(value_text, 1.5, 0u, INT32_MIN); }, "-"},

    {"CalibAnalog", [] { return Text(calib_text, -1.5, 0, 0u, -1); }, "-1.5"},
    {"CalibFamily4None", [] { return Text(calib_text, -1.5, 4, 0u, -1); }, "-"},
    {"CalibBinaryNone", [] { return Text(calib_text, -1.5, 0, 2u, -1); }, "-"},

    {"LimitAnalogNoMarkerCheck", [] { return Text(limit_text, NO_LIMIT, 0u, -1); }, "-999.9"},
    {"LimitAnalogTwoDecimals", [] { return Text(limit_text, NO_LIMIT, 1u, -2); }, "-999.90"},
    {"LimitBinaryOff", [] { return Text(limit_text, 0.0, 2u, 0); }, "Off"},
    {"LimitBinaryOn", [] { return Text(limit_text, 1.0, 3u, 0); }, "On"},
    {"LimitBinaryNoLimit", [] { return Text(limit_text, NO_LIMIT, 2u, 0); }, "-"},
    {"LimitBinaryMinus999None", [] { return Text(limit_text, -999.0, 2u, 0); }, "-"},
    {"LimitOutputNone", [] { return Text(limit_text, 1.0, 4u, 0); }, "-"},

    {"HystAnalog", [] { return Text(hyst_text, 0.5, 0u, -1); }, "0.5"},
    {"HystBinaryNone", [] { return Text(hyst_text, 0.5, 2u, -1); }, "-"},

    {"CounterFamily1Input", [] { return Text(counter_text, 77, 1, 2u); }, "77"},
    {"CounterFamily1CounterInput", [] { return Text(counter_text, 78, 1, 3u); }, "78"},
    {"CounterFamily0None", [] { return Text(counter_text, 77, 0, 2u); }, "-"},
    {"CounterFamily1OutputNone", [] { return Text(counter_text, 77, 1, 4u); }, "-"},

    {"UnitsCelsiusUtf8", [] { return Text(units_text, 0u); },
     "\xC2\xB0"
     "C"},
    {"UnitsFahrenheitUtf8", [] { return Text(units_text, 1u); },
     "\xC2\xB0"
     "F"},
    {"UnitsPulses", [] { return Text(units_text, 7u); }, "Pulses"},
    {"Units8None", [] { return Text(units_text, 8u); }, "-"},
    {"UnitsKwh", [] { return Text(units_text, 14u); }, "kWh"},
    {"UnitsWld", [] { return Text(units_text, 11u); }, "WLD"},
    {"UnitsLux", [] { return Text(units_text, 24u); }, "lx"},
    {"Units25None", [] { return Text(units_text, 25u); }, "-"},

    {"KindAnalogInput", [] { return Text(kind_text, 0u); }, "Analog sensor input"},
    {"KindCounterInput", [] { return Text(kind_text, 3u); }, "Binary input with counter"},
    {"KindRelayAsWritten", [] { return Text(kind_text, 4u); }, "Realy output"},
    {"KindDtr", [] { return Text(kind_text, 6u); }, "DTR output"},
    {"Kind8None", [] { return Text(kind_text, 8u); }, "-"},
    {"KindCounter", [] { return Text(kind_text, 9u); }, "Counter"},
    {"Kind10None", [] { return Text(kind_text, 10u); }, "-"},

    {"AlarmModeInactive", [] { return Text(alarm_mode_text, 0, 0u); }, "Inactive"},
    {"AlarmModeActiveIfOff", [] { return Text(alarm_mode_text, 0, 2u); }, "Active if Off"},
    {"AlarmModeEmailFamily3", [] { return Text(alarm_mode_text, 3, 4u); }, "Email"},
    {"AlarmModeEmailFamily4", [] { return Text(alarm_mode_text, 4, 4u); }, "Email"},
    {"AlarmModeEmailSmsFamily0", [] { return Text(alarm_mode_text, 0, 4u); }, "Email and SMS"},
    {"AlarmModeAll", [] { return Text(alarm_mode_text, 5, 5u); }, "SNMP trap, e-mail and SMS"},
    {"AlarmMode6None", [] { return Text(alarm_mode_text, 0, 6u); }, "-"},

    {"StateNormal", [] { return Text(state_text, 0u); }, "Normal"},
    {"StateDeviceInvalid", [] { return Text(state_text, 4u); }, "Device invalid"},
    {"State5None", [] { return Text(state_text, 5u); }, "-"},

    {"OutputModeManual", [] { return Text(output_mode_text, 0u); }, "Manual output control"},
    {"OutputModeHigherAsWritten", [] { return Text(output_mode_text, 3u); }, "On if value higher to Triggerl"},
    {"OutputModeLower", [] { return Text(output_mode_text, 4u); }, "On if value lower to Trigger"},
    {"OutputMode5None", [] { return Text(output_mode_text, 5u); }, "-"},

    {"FamilyUnnamedNone", [] { return Text(family_text, 2); }, "-"},
    {"FamilyNegativeNone", [] { return Text(family_text, -1); }, "-"},
    {"Family6None", [] { return Text(family_text, 6); }, "-"},
};

INSTANTIATE_TEST_SUITE_P(Table, SdkTexts, ::testing::ValuesIn(kTexts),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(SdkFamilyText, MakerFamiliesHaveDistinctNames) {
  std::set<std::string> names;
  for (int32_t family : {0, 1, 3, 4, 5}) {
    std::string name = Text(family_text, family);
    EXPECT_NE(name, "-") << "family " << family;
    EXPECT_TRUE(names.insert(name).second) << "family " << family << " repeats " << name;
  }
}

// Sets the time zone for one test and restores the previous one.
class SdkTimeText : public ::testing::Test {
 protected:
  void SetUp() override {
    const char *old = std::getenv("TZ");
    had_tz_ = old != nullptr;
    if (had_tz_) old_tz_ = old;
  }
  void TearDown() override {
    if (had_tz_) {
      setenv("TZ", old_tz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void UseZone(const char *zone) {
    setenv("TZ", zone, 1);
    tzset();
  }

 private:
  bool had_tz_ = false;
  std::string old_tz_;
};

TEST_F(SdkTimeText, EpochOneHourEastOfUtc) {
  UseZone("XXX-1");  // POSIX sign: one hour east of UTC
  EXPECT_EQ(Text(time_text, 0), "01:00:00");
}

TEST_F(SdkTimeText, LocalTimeOfDayInUtc) {
  UseZone("UTC0");
  EXPECT_EQ(Text(time_text, 86400 + 3600 * 13 + 60 * 5 + 9), "13:05:09");
  EXPECT_EQ(Text(time_text, -1), "23:59:59");
}

TEST(SdkSensorEnumToStr, AnalogSensorFillsEveryText) {
  TXmlSensorEnum in;
  in.DeviceName = "Lab \xC5\xBE";
  in.Family = 0;
  in.Mac = "00:11:22:33:44:55";
  in.Host = "127.0.0.1";
  in.Port = 8080;
  in.Id = 3;
  in.Name = "Room";
  in.Value = 21.55;
  in.Units = 0;
  in.Decimals = -1;
  in.Min = -10;
  in.Max = 40;
  in.Hysteresis = 0.5;
  in.Calibration = -1.5;
  in.OutputMode = 5;
  in.Counter = 9;
  in.Kind = KIND_ANALOG_INPUT;
  in.AlarmAction = 3;
  in.State = 0;
  in.Timestamp = 0;

  TXmlSensorStr out;
  sensor_enum_to_str(out, in);
  EXPECT_EQ(out.DeviceName, in.DeviceName);
  EXPECT_EQ(out.FamilyText, Text(family_text, 0));
  EXPECT_EQ(out.Mac, in.Mac);
  EXPECT_EQ(out.Host, in.Host);
  EXPECT_EQ(out.Port, 8080);
  EXPECT_EQ(out.IdText, "3");
  EXPECT_EQ(out.Name, "Room");
  EXPECT_EQ(out.ValueText, "21.6");
  EXPECT_EQ(out.UnitsText,
            "\xC2\xB0"
            "C");
  EXPECT_EQ(out.Decimals, -1);
  EXPECT_EQ(out.MinText, "-10.0");
  EXPECT_EQ(out.MaxText, "40.0");
  EXPECT_EQ(out.HysteresisText, "0.5");
  EXPECT_EQ(out.CalibrationText, "-1.5");
  EXPECT_EQ(out.OutputModeText, "-");
  EXPECT_EQ(out.CounterText, "-");
  EXPECT_EQ(out.KindText, "Analog sensor input");
  EXPECT_EQ(out.AlarmActionText, "SNMP trap");
  EXPECT_EQ(out.StateText, "Normal");
  EXPECT_EQ(out.TimeText, Text(time_text, 0));
}

TEST(SdkSensorEnumToStr, BinaryInputOfFamily1ShowsCounterAndLevels) {
  TXmlSensorEnum in;
  in.Family = 1;
  in.Id = 2;
  in.Value = 1;
  in.Units = UNITS_SWITCH;
  in.Min = in.Max = 1;
  in.Counter = 42;
  in.Kind = KIND_BINARY_INPUT_COUNTER;
  in.AlarmAction = 2;
  in.State = 2;
  in.OutputMode = 5;

  TXmlSensorStr out;
  sensor_enum_to_str(out, in);
  EXPECT_EQ(out.IdText, "2");
  EXPECT_EQ(out.ValueText, "On");
  EXPECT_EQ(out.UnitsText, "Switch");
  EXPECT_EQ(out.MinText, "On");
  EXPECT_EQ(out.MaxText, "On");
  EXPECT_EQ(out.HysteresisText, "-");
  EXPECT_EQ(out.CalibrationText, "-");
  EXPECT_EQ(out.CounterText, "42");
  EXPECT_EQ(out.KindText, "Binary input with counter");
  EXPECT_EQ(out.AlarmActionText, "Active if Off");
  EXPECT_EQ(out.StateText, "Alarm active");
}

// The fixed-point texts round exactly as the runtime's "%.Nf" does.
TEST(SdkFixedText, MatchesPrintfRounding) {
  const double values[] = {0.0,   -0.0,   0.05,       0.15,   0.25,       2.5,  21.55,    -21.55,
                           1.005, 999.95, 1e15 + 0.5, -998.0, 123456.789, 1e-7, 33.333333};
  for (double value : values) {
    for (int decimals = 0; decimals <= 6; ++decimals) {
      char expected[128];
      std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
      EXPECT_EQ(Text(hyst_text, value, 1u, -decimals), expected) << value << " with " << decimals << " decimals";
    }
  }
}

// Qt switches the C locale to the user's; numbers must keep ".".
TEST(SdkNumberLocale, DecimalPointIgnoresProcessLocale) {
  if (!UseCommaLocale()) GTEST_SKIP() << "no locale with a decimal comma can be built here";
  double parsed = text_to_double("21.55");
  std::string shown = Text(value_text, 21.55, 0u, -2);
  char fixed[32];
  bool formatted = format_fixed(fixed, sizeof fixed, -1.25, 3);
  UseCLocale();
  EXPECT_EQ(parsed, 21.55);
  EXPECT_EQ(shown, "21.55");
  EXPECT_TRUE(formatted);
  EXPECT_STREQ(fixed, "-1.250");
}

}  // namespace
}  // namespace zelvoapi
