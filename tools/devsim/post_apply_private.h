// Applying a document posted to /setup.xml to a device's configuration.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tools/devsim/devsim.h"

namespace devsim {

struct PostOutcome {
  bool ok = false;
  std::string error;                    // why nothing was applied
  std::vector<std::size_t> calibrated;  // positions of sensors whose Calib changed
};

// Applies the changes a posted setup document carries to `config`: Name,
// Calib, Min, Max and Hyst of sensors, Name of inputs and outputs, Value of
// outputs, the Network fields and SnmpTraps entries. Entries are found by ID,
// or by Idx first when `config.match_by_idx` is set; SnmpTraps entries by
// Idx or else by position. Elements the device does not know are ignored.
// A body that is not well-formed, or a number the device cannot read,
// leaves `config` untouched and returns ok == false.
PostOutcome apply_setup_post(DeviceConfig &config, std::string_view body);

// True when the document changes only Network/Name: the one post some
// devices take without credentials.
bool is_name_only_post(std::string_view body);

}  // namespace devsim
