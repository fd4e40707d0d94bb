#include "sdk/value_text.h"

#include <strings.h>
#include <time.h>

#include <cstdio>
#include <cstring>

#include "sdk/text_number.h"

namespace zelvoapi {

namespace {

// One row of an exact-match decoding table.
struct TTextCode {
  const char *Text;
  uint32_t Code;
};

bool Is(const char *text, const char *literal) { return text && std::strcmp(text, literal) == 0; }

// The code of the first row whose text equals `text` byte for byte, else `none`.
template <std::size_t N>
uint32_t Decode(const char *text, const TTextCode (&rows)[N], uint32_t none) {
  for (const TTextCode &row : rows) {
    if (Is(text, row.Text)) return row.Code;
  }
  return none;
}

// Families 0, 1, 3, 4 and 5 are the maker's product families; 2 and every
// other value stand for an unnamed family.
bool IsMakerFamily(int32_t family) { return family >= 0 && family <= 5 && family != 2; }

bool IsAnalog(uint32_t kind) { return kind == KIND_ANALOG_INPUT || kind == KIND_ANALOG_OUTPUT; }

void SetText(TSdkText &out, const char *text) { std::snprintf(out, SDK_TEXT_SIZE, "%s", text); }

// The table's text for `code`, "-" past its end or at a gap.
template <std::size_t N>
void SetTableText(TSdkText &out, const char *const (&table)[N], uint32_t code) {
  SetText(out, code < N && table[code] ? table[code] : "-");
}

// `value` with `decimals` decimals; a text that would not fit the buffer
// (hundreds of digits) prints "-" rather than a cut-off figure.
void SetFixed(TSdkText &out, double value, int32_t decimals) {
  if (!format_fixed(out, SDK_TEXT_SIZE, value, decimals)) SetText(out, "-");
}

void SetInt(TSdkText &out, int32_t value) { std::snprintf(out, SDK_TEXT_SIZE, "%i", static_cast<int>(value)); }

// One row of a binary input's alarm table.
struct TInputAlarm {
  const char *Text;
  uint32_t Mode;
  double Limit;
};

// Sets mode and both limits from the row matching `text`; no match leaves them.
template <std::size_t N>
void DecodeInputAlarm(const char *text, const TInputAlarm (&rows)[N], double &min, double &max, uint32_t &mode) {
  for (const TInputAlarm &row : rows) {
    if (Is(text, row.Text)) {
      mode = row.Mode;
      min = max = row.Limit;
      return;
    }
  }
}

// States "0".."2" as most families report them.
const TTextCode kPlainState[] = {{"0", 0}, {"1", 1}, {"2", 2}};
// Family 4 reports states by its own numbering.
const TTextCode kFamily4State[] = {{"1", 0}, {"2", 2}, {"0", 3}};

}  // namespace

int xml_second_field(const char *version, int32_t family) {
  switch (family) {
    case 0: return Is(version, "2.34") || Is(version, "2.35") || Is(version, "2.36");
    case 1: return Is(version, "2.0");
    case 3:
    case 4:
    case 5: return 1;
    default: return 0;
  }
}

void parse_input_alarm(const char *version, int32_t family, const char *alarm_state, const char *alarm, double &min,
                       double &max, uint32_t &mode) {
  // Alarm mode, and the input level (used as both limits) that raises it.
  static const TInputAlarm kFamily0Or4[] = {{"2", 0, NO_LIMIT}, {"0", 1, 0}, {"1", 2, 1}};
  static const TInputAlarm kFamily1[] = {{"0", 0, NO_LIMIT}, {"2", 1, 0}, {"1", 2, 1}};
  mode = ALARM_MODE_NONE;
  min = max = NO_LIMIT;
  if (family == 0 || family == 4) {
    DecodeInputAlarm(xml_second_field(version, family) ? alarm : alarm_state, kFamily0Or4, min, max, mode);
  } else if (family == 1) {
    DecodeInputAlarm(alarm, kFamily1, min, max, mode);
  }
}

uint32_t parse_input_state(const char *version, int32_t family, const char *colour, const char *state) {
  if (family == 4) return Decode(state, kFamily4State, STATE_NONE);
  return Decode(xml_second_field(version, family) ? state : colour, kPlainState, STATE_NONE);
}

uint32_t parse_output_mode(const char *version, int32_t family, const char *mode) {
  static const TTextCode kModes[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}, {"4", 4}};
  if (!xml_second_field(version, family)) return OUTPUT_MODE_NONE;
  return Decode(mode, kModes, OUTPUT_MODE_NONE);
}

uint32_t parse_output_kind(int32_t family, const char *type) {
  static const TTextCode kFamily0Kinds[] = {{"0", KIND_RELAY_OUTPUT}, {"1", KIND_DTR_OUTPUT}, {"2", KIND_RTS_OUTPUT}};
  if (family == 0) return Decode(type, kFamily0Kinds, KIND_UNKNOWN);
  return family == 1 ? KIND_RELAY_OUTPUT : KIND_BINARY_OUTPUT;
}

uint32_t parse_input_kind(int32_t family, const char *, const char *counters_enabled) {
  return family == 1 && Is(counters_enabled, "1") ? KIND_BINARY_INPUT_COUNTER : KIND_BINARY_INPUT;
}

int32_t parse_sensor_id(int32_t family, const char *id) { return IsMakerFamily(family) ? text_to_int32(id) : 0; }

uint32_t parse_units(const char *units, const char *model) {
  // Compared ignoring case, first match wins; "s" is the devices' switch unit.
  static const TTextCode kUnits[] = {
      {"C", 0},   {"%RH", 3}, {"V", 4},   {"mA", 5},   {"s", UNITS_SWITCH}, {"DP C", 9},  {"WLD", UNITS_WLD},
      {"A", 12},  {"W", 13},  {"kW", 16}, {"kWh", 14}, {"MWh", 17},         {"Wh", 15},   {"J", 18},
      {"kJ", 19}, {"MJ", 20}, {"GJ", 21}, {"kPa", 10}, {"m3", 22},          {"m3/h", 23}, {"LUX", UNITS_LUX},
  };
  uint32_t code = UNITS_UNKNOWN;
  for (const TTextCode &row : kUnits) {
    if (units && strcasecmp(units, row.Text) == 0) {
      code = row.Code;
      break;
    }
  }
  // Model 43 reports its water-leak detector without a unit text.
  if (code == UNITS_UNKNOWN && Is(model, "43")) code = UNITS_WLD;
  return code;
}

int32_t parse_exponent(int32_t family, const char *exponent, const char *value, uint32_t units) {
  if (family == 0 || family == 1 || family == 3) {
    // These families send no exponent: the value text's own decimals count.
    if (units == UNITS_LUX) return 1;
    const char *dot = value ? std::strchr(value, '.') : nullptr;
    return dot ? -static_cast<int32_t>(std::strlen(dot + 1)) : 0;
  }
  return text_to_int32(exponent);
}

void parse_sensor_limits(int32_t family, uint32_t kind, const char *min_text, const char *max_text, double &min,
                         double &max) {
  min = max = NO_LIMIT;
  if (family == 1 || !IsMakerFamily(family)) return;
  if (kind == KIND_BINARY_INPUT) {
    // A sensor reported as a switch: its range names the alarming level.
    if (Is(min_text, "0.0") && Is(max_text, "0.5")) {
      min = max = 0;
    } else if (Is(min_text, "0.5") && Is(max_text, "1.0")) {
      min = max = 1;
    }
    return;
  }
  min = text_to_double(min_text);
  max = text_to_double(max_text);
}

uint32_t parse_sensor_alarm_mode(int32_t family, const char *snmp_trap, const char *email) {
  static const TTextCode kFlags[] = {{"1", 1}, {"0", 0}};
  const uint32_t kNoFlag = 2;
  uint32_t snmp = Decode(snmp_trap, kFlags, kNoFlag);
  uint32_t mail = Decode(email, kFlags, kNoFlag);
  if (snmp == kNoFlag || mail == kNoFlag) return ALARM_MODE_NONE;
  if (family == 1 || !IsMakerFamily(family)) return ALARM_MODE_NONE;
  if (snmp && mail) return 5;
  if (snmp) return 3;
  return mail ? 4 : 0;
}

uint32_t parse_sensor_state(const char *version, int32_t family, const char *colour, const char *state,
                            const char *model, const char *value) {
  static const TTextCode kFamily01[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"4", 3}};
  static const TTextCode kFamily35[] = {{"1", 0}, {"2", 1}, {"3", 1}, {"4", 2}, {"5", 2}, {"0", 3}};
  const uint32_t kSensorInvalid = 3;
  switch (family) {
    case 0:
    case 1: {
      uint32_t code = Decode(xml_second_field(version, family) ? state : colour, kFamily01, STATE_NONE);
      // A reading at or below -999 is the devices' mark of a missing sensor.
      if (code != kSensorInvalid && text_to_double(value) <= -999) code = kSensorInvalid;
      return code;
    }
    case 3:
    case 5: {
      uint32_t code = Decode(state, kFamily35, STATE_NONE);
      // Model 43 reports a disconnected water-leak detector as the value 2.
      if (code != kSensorInvalid && Is(model, "43") && text_to_double(value) == 2) code = kSensorInvalid;
      return code;
    }
    case 4: return Decode(state, kFamily4State, STATE_NONE);
    default: return STATE_NONE;
  }
}

uint32_t parse_alarm_action(int32_t family, const char *text) {
  static const TTextCode kActions[] = {{"0", 0}, {"1", 1}, {"2", 2}, {"3", 3}};
  return family == 0 ? Decode(text, kActions, ALARM_ACTION_NONE) : ALARM_ACTION_NONE;
}

int32_t decimals_of(int32_t exponent) {
  // -INT32_MIN does not exist; such an exponent asks for more decimals than
  // any text can hold anyway.
  if (exponent == INT32_MIN) return INT32_MAX;
  return exponent < 0 ? -exponent : 0;
}

void id_text(TSdkText &out, int32_t id, uint32_t kind) {
  if (kind <= KIND_BINARY_OUTPUT || kind == KIND_COUNTER) {
    SetInt(out, id);
  } else {
    SetText(out, "-");
  }
}

void value_text(TSdkText &out, double value, uint32_t kind, int32_t exponent) {
  static const char *const kBinaryValues[] = {"Off", "On", "Off any alarm", "On any alarm"};
  // Readings at or below -998 are the devices' mark of "no reading".
  const double kNoReading = -998;
  if (IsAnalog(kind)) {
    if (value > kNoReading) {
      SetFixed(out, value, decimals_of(exponent));
    } else {
      SetText(out, "-");
    }
  } else if (kind >= KIND_BINARY_INPUT && kind <= KIND_BINARY_OUTPUT) {
    // Only the exact levels 0..3 have a text; anything else (2.5, -1) has none.
    bool known = value == 0 || value == 1 || value == 2 || value == 3;
    SetText(out, known ? kBinaryValues[static_cast<int>(value)] : "-");
  } else if (kind == KIND_COUNTER && value > kNoReading) {
    SetFixed(out, value, 0);
  } else {
    SetText(out, "-");
  }
}

void calib_text(TSdkText &out, double calibration, int32_t family, uint32_t kind, int32_t exponent) {
  // Family 4 has no calibration offset.
  if (family != 4 && IsAnalog(kind)) {
    SetFixed(out, calibration, decimals_of(exponent));
  } else {
    SetText(out, "-");
  }
}

void limit_text(TSdkText &out, double limit, uint32_t kind, int32_t exponent) {
  if (IsAnalog(kind)) {
    SetFixed(out, limit, decimals_of(exponent));
  } else if ((kind == KIND_BINARY_INPUT || kind == KIND_BINARY_INPUT_COUNTER) && limit > -999) {
    SetText(out, limit == 0 ? "Off" : "On");
  } else {
    SetText(out, "-");
  }
}

void hyst_text(TSdkText &out, double hysteresis, uint32_t kind, int32_t exponent) {
  if (IsAnalog(kind)) {
    SetFixed(out, hysteresis, decimals_of(exponent));
  } else {
    SetText(out, "-");
  }
}

void counter_text(TSdkText &out, int32_t counter, int32_t family, uint32_t kind) {
  if (family == 1 && (kind == KIND_BINARY_INPUT || kind == KIND_BINARY_INPUT_COUNTER)) {
    SetInt(out, counter);
  } else {
    SetText(out, "-");
  }
}

void units_text(TSdkText &out, uint32_t units) {
  // The degree sign is UTF-8 (C2 B0); the literal is split so that the
  // letter is not read as a further hex digit of the escape.
  static const char *const kUnits[] = {
      "\xC2\xB0"
      "C",
      "\xC2\xB0"
      "F",
      "K",
      "%RH",
      "V",
      "mA",
      "Switch",
      "Pulses",
      nullptr,
      "DP C",
      "kPa",
      "WLD",
      "A",
      "W",
      "kWh",
      "Wh",
      "kW",
      "MWh",
      "J",
      "kJ",
      "MJ",
      "GJ",
      "m3",
      "m3/h",
      "lx",
  };
  SetTableText(out, kUnits, units);
}

void kind_text(TSdkText &out, uint32_t kind) {
  static const char *const kKinds[] = {
      "Analog sensor input",
      "Analog sensor output",
      "Binary input",
      "Binary input with counter",
      "Realy output",
      "RTS output",
      "DTR output",
      "Binary output",
      nullptr,
      "Counter",
  };
  SetTableText(out, kKinds, kind);
}

void alarm_mode_text(TSdkText &out, int32_t family, uint32_t mode) {
  static const char *const kModes[] = {
      "Inactive", "Active if On", "Active if Off", "SNMP trap", "Email and SMS", "SNMP trap, e-mail and SMS",
  };
  // Families 3 and 4 send e-mail only.
  if (mode == 4 && (family == 3 || family == 4)) {
    SetText(out, "Email");
  } else {
    SetTableText(out, kModes, mode);
  }
}

void state_text(TSdkText &out, uint32_t state) {
  static const char *const kStates[] = {"Normal", "Out of range", "Alarm active", "Sensor invalid", "Device invalid"};
  SetTableText(out, kStates, state);
}

void output_mode_text(TSdkText &out, uint32_t mode) {
  static const char *const kModes[] = {
      "Manual output control",        "On if any alarm",
      "On if value equal to Trigger", "On if value higher to Triggerl",
      "On if value lower to Trigger",
  };
  SetTableText(out, kModes, mode);
}

void time_text(TSdkText &out, int32_t time) {
  time_t seconds = time;
  struct tm local;
  if (!localtime_r(&seconds, &local)) {
    SetText(out, "-");
    return;
  }
  std::snprintf(out, SDK_TEXT_SIZE, "%02i:%02i:%02i", local.tm_hour, local.tm_min, local.tm_sec);
}

void family_text(TSdkText &out, int32_t family) {
  // Display names of the maker's product families; 2 is the unnamed one.
  static const char *const kFamilies[] = {"Series 0", "Series 1", nullptr, "Series 3", "Series 4", "Series 5"};
  SetTableText(out, kFamilies, static_cast<uint32_t>(family));
}

void sensor_enum_to_str(TXmlSensorStr &out, const TXmlSensorEnum &in) {
  TSdkText work;
  out.DeviceName = in.DeviceName;
  out.Mac = in.Mac;
  out.Host = in.Host;
  out.Port = in.Port;
  out.Name = in.Name;
  out.Decimals = in.Decimals;
  family_text(work, in.Family);
  out.FamilyText = work;
  id_text(work, in.Id, in.Kind);
  out.IdText = work;
  value_text(work, in.Value, in.Kind, in.Decimals);
  out.ValueText = work;
  calib_text(work, in.Calibration, in.Family, in.Kind, in.Decimals);
  out.CalibrationText = work;
  units_text(work, in.Units);
  out.UnitsText = work;
  limit_text(work, in.Min, in.Kind, in.Decimals);
  out.MinText = work;
  limit_text(work, in.Max, in.Kind, in.Decimals);
  out.MaxText = work;
  hyst_text(work, in.Hysteresis, in.Kind, in.Decimals);
  out.HysteresisText = work;
  output_mode_text(work, in.OutputMode);
  out.OutputModeText = work;
  counter_text(work, in.Counter, in.Family, in.Kind);
  out.CounterText = work;
  kind_text(work, in.Kind);
  out.KindText = work;
  alarm_mode_text(work, in.Family, in.AlarmAction);
  out.AlarmActionText = work;
  state_text(work, in.State);
  out.StateText = work;
  time_text(work, in.Timestamp);
  out.TimeText = work;
}

}  // namespace zelvoapi
