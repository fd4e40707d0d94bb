// What a device's type code says about it: its model text, whether it has a
// name, and the capability bits of devices that do not list them.
#include <stddef.h>
#include <string.h>

#include "qxudps/qxudps_private.h"

namespace {

// Type codes as bit masks: bit N set means code N is in the set.
constexpr uint32_t codes(unsigned int first, unsigned int last) {
  uint32_t mask = 0;
  for (unsigned int code = first; code <= last; ++code) mask |= uint32_t{1} << code;
  return mask;
}
constexpr uint32_t code(unsigned int only) { return codes(only, only); }

constexpr unsigned int kTypeCodeCount = 32;  // five bits of the type byte
constexpr uint32_t kNoCodes = 0;
constexpr uint32_t kAllCodes = codes(0, kTypeCodeCount - 1);

// Devices of these types serve DeviceName in values.xml and take a Network
// Name post.
constexpr uint32_t kNameSet = codes(2, 4) | code(6) | codes(10, 17) | codes(21, 26);

// Bits 3, 4 and 6 are set for the same types.
constexpr uint32_t kBasicDevices = code(0) | code(7) | code(9) | code(18) | code(19);

struct CapabilityRow {
  size_t field;  // offset of the byte field in qxudps_device
  uint32_t types;
};

const CapabilityRow kCapabilities[] = {
    {offsetof(qxudps_device, cap_bit0), kNoCodes},
    {offsetof(qxudps_device, cap_bit1), codes(2, 6) | code(8) | codes(10, 17) | codes(20, 26)},
    {offsetof(qxudps_device, cap_bit2), code(2) | codes(13, 17) | code(20) | codes(22, 26)},
    {offsetof(qxudps_device, cap_bit3), kBasicDevices},
    {offsetof(qxudps_device, cap_bit4), kBasicDevices},
    {offsetof(qxudps_device, cap_bit5), kAllCodes},
    {offsetof(qxudps_device, cap_bit6), kBasicDevices},
    {offsetof(qxudps_device, has_name), kNameSet},
};

bool in_set(uint32_t types, unsigned int type) { return type < kTypeCodeCount && (types >> type) & 1u; }

// Model texts by type code; codes from the end of the table on are kept for
// devices not made yet.
const char *const kModels[] = {
    "Unspecified device",   // 0
    "Development version",  // 1
    "Sensor unit SU-02",    // 2
    "Sensor unit SU-03",    // 3
    "Sensor unit SU-04",    // 4
    "Sensor unit SU-05",    // 5
    "Sensor unit SU-06",    // 6
    "Sensor unit SU-07",    // 7
    "Sensor unit SU-08",    // 8
    "Sensor unit SU-09",    // 9
    "Sensor unit SU-10",    // 10
    "Sensor unit SU-11",    // 11
    "Sensor unit SU-12",    // 12
    "Sensor unit SU-13",    // 13
    "Sensor unit SU-14",    // 14
    "Sensor unit SU-15",    // 15
    "Sensor unit SU-16",    // 16
    "Sensor unit SU-17",    // 17
    "Sensor unit SU-18",    // 18
    "Sensor unit SU-19",    // 19
    "Sensor unit SU-20",    // 20
    "Sensor unit SU-21",    // 21
    "Partner unit PU-22",   // 22: made with a partner company
    "Sensor unit SU-23",    // 23
    "Sensor unit SU-24",    // 24
    "Sensor unit SU-25",    // 25
    "Sensor unit SU-26",    // 26
};
const char *const kReservedModel = "Reserved for future devices";
constexpr unsigned int kModelCount = sizeof kModels / sizeof kModels[0];

}  // namespace

void qxudps_model_text(char *out, unsigned int type) {
  const char *text = type < kModelCount ? kModels[type] : kReservedModel;
  strncpy(out, text, QXUDPS_MODEL_SIZE - 1);
  out[QXUDPS_MODEL_SIZE - 1] = '\0';
}

int qxudps_in_name_set(unsigned int type) { return in_set(kNameSet, type) ? 1 : 0; }

void qxudps_type_capabilities(unsigned int type, qxudps_device *record) {
  uint8_t *bytes = reinterpret_cast<uint8_t *>(record);
  for (const CapabilityRow &row : kCapabilities) bytes[row.field] = in_set(row.types, type) ? 1 : 0;
}
