#include <algorithm>
#include <iterator>

#include "tools/devsim/device_codes_private.h"

namespace devsim {

namespace {

struct FamilyRange {
  int first;
  int last;
  int family;
};

constexpr FamilyRange kFamilies[] = {
    {3, 4, 0},   {6, 6, 0},   {10, 14, 0}, {21, 26, 0}, {34, 34, 0}, {36, 36, 0}, {65, 68, 0},
    {2, 2, 1},   {15, 17, 1}, {40, 40, 1}, {69, 69, 1}, {33, 33, 3}, {43, 43, 3}, {51, 52, 3},
    {70, 70, 3}, {45, 45, 4}, {55, 55, 4}, {57, 58, 4}, {53, 54, 5}, {56, 56, 5},
};

// Indexed by EntryState: normal, out_of_range, alarm, invalid.
constexpr std::string_view kStateCodesCommon[] = {"0", "1", "2", "4"};
constexpr std::string_view kStateCodesFamily35[] = {"1", "2", "4", "0"};
constexpr std::string_view kStateCodesFamily4[] = {"1", "1", "2", "0"};

std::size_t index_of(EntryState state) { return static_cast<std::size_t>(state); }

}  // namespace

int family_of(int model) {
  auto it = std::find_if(std::begin(kFamilies), std::end(kFamilies),
                         [model](const FamilyRange &r) { return model >= r.first && model <= r.last; });
  return it == std::end(kFamilies) ? 2 : it->family;
}

std::string_view sensor_state_code(int family, EntryState state) {
  switch (family) {
    case 3:
    case 5: return kStateCodesFamily35[index_of(state)];
    case 4: return kStateCodesFamily4[index_of(state)];
    default: return kStateCodesCommon[index_of(state)];
  }
}

std::string_view color_code(EntryState state) { return kStateCodesCommon[index_of(state)]; }

std::string_view input_state_code(int family, EntryState state) {
  if (family == 4) return kStateCodesFamily4[index_of(state)];
  return kStateCodesCommon[index_of(state)];
}

std::string_view input_alarm_code(int family, InputAlarm alarm) {
  // Family 1 counts 0 inactive, 2 on, 1 off; the others 2 inactive, 0 on, 1 off.
  const bool family1 = family == 1;
  switch (alarm) {
    case InputAlarm::inactive: return family1 ? "0" : "2";
    case InputAlarm::when_on: return family1 ? "2" : "0";
    case InputAlarm::when_off: return "1";
  }
  return "2";
}

EntryState sensor_state(const Sensor &sensor, double value) {
  if (sensor.invalid) return EntryState::invalid;
  if (sensor.min >= sensor.max) return EntryState::normal;  // no alarm range set
  if (value < sensor.min || value > sensor.max) return EntryState::alarm;
  if (value < sensor.min + sensor.hyst || value > sensor.max - sensor.hyst) return EntryState::out_of_range;
  return EntryState::normal;
}

EntryState input_state(const BinaryInput &input) {
  const bool active = (input.alarm == InputAlarm::when_on && input.value != 0) ||
                      (input.alarm == InputAlarm::when_off && input.value == 0);
  return active ? EntryState::alarm : EntryState::normal;
}

}  // namespace devsim
