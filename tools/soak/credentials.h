// Settings that carry a simulated device's credentials, for downloads and
// posts alike.
#pragma once

#include <cstdio>

#include "qxxml/qxxml.h"
#include "tools/devsim/devsim.h"

namespace soak {

inline qxxml_settings credentials_of(const devsim::DeviceConfig &device) {
  qxxml_settings settings;
  qxxml_clr_settings_struct(&settings);
  std::snprintf(settings.get_user, sizeof settings.get_user, "%s", device.user.c_str());
  std::snprintf(settings.get_password, sizeof settings.get_password, "%s", device.password.c_str());
  std::snprintf(settings.set_user, sizeof settings.set_user, "%s", device.user.c_str());
  std::snprintf(settings.set_password, sizeof settings.set_password, "%s", device.password.c_str());
  return settings;
}

}  // namespace soak
