// Decoding of the devices' entry texts into codes, and of codes into
// display texts.
//
// Device families and document versions encode the same fact differently;
// the parse functions turn the texts of one entry into the small codes of a
// TXmlSensorEnum, and the text functions turn those codes back into the
// display texts of a TXmlSensorStr. All functions are pure. Text arguments
// are zero-terminated; "version" is the document's Agent_XmlVer text.
#ifndef SDK_VALUE_TEXT_H
#define SDK_VALUE_TEXT_H

#include <cstddef>
#include <cstdint>

#include "common/qx_export.h"
#include "sdk/xml_sensor.h"

namespace zelvoapi {

// Kinds of an entry.
enum : uint32_t {
  KIND_ANALOG_INPUT = 0,
  KIND_ANALOG_OUTPUT = 1,
  KIND_BINARY_INPUT = 2,
  KIND_BINARY_INPUT_COUNTER = 3,
  KIND_RELAY_OUTPUT = 4,
  KIND_RTS_OUTPUT = 5,
  KIND_DTR_OUTPUT = 6,
  KIND_BINARY_OUTPUT = 7,
  KIND_UNKNOWN = 8,
  KIND_COUNTER = 9,
};

// Unit codes that the decoders single out.
enum : uint32_t {
  UNITS_SWITCH = 6,
  UNITS_UNKNOWN = 8,
  UNITS_WLD = 11,
  UNITS_LUX = 24,
};

// "None" codes of the other enumerations.
enum : uint32_t {
  ALARM_MODE_NONE = 6,
  STATE_NONE = 5,
  OUTPUT_MODE_NONE = 5,
  ALARM_ACTION_NONE = 4,
};

// Stands for "no limit" in the minimum and maximum of an entry.
constexpr double NO_LIMIT = -999.9;

// Every display text is formatted into one buffer of this size; a number
// whose text would not fit prints "-" rather than a cut-off figure.
constexpr std::size_t SDK_TEXT_SIZE = 104;
using TSdkText = char[SDK_TEXT_SIZE];

// Parse functions.

// 1 when the family/version pair carries a fact in the second of two
// candidate fields (families 3, 4, 5; family 0 with "2.34".."2.36"; family 1
// with "2.0"), else 0.
QX_EXPORT int xml_second_field(const char *version, int32_t family);
// Limits and alarm mode of a binary input.
QX_EXPORT void parse_input_alarm(const char *version, int32_t family, const char *alarm_state, const char *alarm,
                                 double &min, double &max, uint32_t &mode);
QX_EXPORT uint32_t parse_input_state(const char *version, int32_t family, const char *colour, const char *state);
QX_EXPORT uint32_t parse_output_mode(const char *version, int32_t family, const char *mode);
QX_EXPORT uint32_t parse_output_kind(int32_t family, const char *type);
// The second text is not read; it is kept so that callers pass the same
// arguments for every family.
QX_EXPORT uint32_t parse_input_kind(int32_t family, const char *unused, const char *counters_enabled);
QX_EXPORT int32_t parse_sensor_id(int32_t family, const char *id);
QX_EXPORT uint32_t parse_units(const char *units, const char *model);
QX_EXPORT int32_t parse_exponent(int32_t family, const char *exponent, const char *value, uint32_t units);
QX_EXPORT void parse_sensor_limits(int32_t family, uint32_t kind, const char *min_text, const char *max_text,
                                   double &min, double &max);
QX_EXPORT uint32_t parse_sensor_alarm_mode(int32_t family, const char *snmp_trap, const char *email);
QX_EXPORT uint32_t parse_sensor_state(const char *version, int32_t family, const char *colour, const char *state,
                                      const char *model, const char *value);
// Alarm action of a device's binary inputs as a whole: 0..3, or 4.
QX_EXPORT uint32_t parse_alarm_action(int32_t family, const char *text);

// Text functions: each writes a zero-terminated UTF-8 text into `out`.

// Number of decimals an exponent asks for: -exponent when negative, else 0.
QX_EXPORT int32_t decimals_of(int32_t exponent);
QX_EXPORT void id_text(TSdkText &out, int32_t id, uint32_t kind);
QX_EXPORT void value_text(TSdkText &out, double value, uint32_t kind, int32_t exponent);
QX_EXPORT void calib_text(TSdkText &out, double calibration, int32_t family, uint32_t kind, int32_t exponent);
QX_EXPORT void limit_text(TSdkText &out, double limit, uint32_t kind, int32_t exponent);
QX_EXPORT void hyst_text(TSdkText &out, double hysteresis, uint32_t kind, int32_t exponent);
QX_EXPORT void counter_text(TSdkText &out, int32_t counter, int32_t family, uint32_t kind);
QX_EXPORT void units_text(TSdkText &out, uint32_t units);
QX_EXPORT void kind_text(TSdkText &out, uint32_t kind);
QX_EXPORT void alarm_mode_text(TSdkText &out, int32_t family, uint32_t mode);
QX_EXPORT void state_text(TSdkText &out, uint32_t state);
QX_EXPORT void output_mode_text(TSdkText &out, uint32_t mode);
// Local time of day "hh:mm:ss" of `time` (seconds since 1970), or "-".
QX_EXPORT void time_text(TSdkText &out, int32_t time);
QX_EXPORT void family_text(TSdkText &out, int32_t family);

// Fills every field of `out` from `in`.
QX_EXPORT void sensor_enum_to_str(TXmlSensorStr &out, const TXmlSensorEnum &in);

}  // namespace zelvoapi

#endif
