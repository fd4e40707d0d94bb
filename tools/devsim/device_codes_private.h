// The short codes a device writes for states and alarm modes. Each product
// family encodes the same fact in its own way; the client decodes them by
// family, so the simulator must encode them the same way.
#pragma once

#include <string_view>

#include "tools/devsim/devsim.h"

namespace devsim {

// Family of a model code: 0, 1, 3, 4 and 5 are the maker's product families,
// 2 stands for every other code.
int family_of(int model);

enum class EntryState { normal, out_of_range, alarm, invalid };

// State text of a sensor entry, by family.
std::string_view sensor_state_code(int family, EntryState state);
// Colour text of a sensor or binary input; one scheme for all families.
std::string_view color_code(EntryState state);
// State text of a binary input, by family.
std::string_view input_state_code(int family, EntryState state);
// AlarmState / Alarm text of a binary input, by family.
std::string_view input_alarm_code(int family, InputAlarm alarm);

// State of a sensor whose reported value is `value`: in alarm outside
// [min, max], out of range within the hysteresis inside a limit.
EntryState sensor_state(const Sensor &sensor, double value);
EntryState input_state(const BinaryInput &input);

// Reported value of a sensor whose probe is missing.
inline constexpr double kInvalidValue = -999.9;

}  // namespace devsim
