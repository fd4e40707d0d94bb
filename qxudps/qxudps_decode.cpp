// Turning an authentic search reply into a device record, including the
// extension list that devices of type code 31 append.
#include <stdio.h>
#include <string.h>

#include "qxudps/qxudps_private.h"

namespace {

constexpr int kSettingBits = 6;     // bits 0-5 of the settings byte
constexpr uint8_t kMajorMask = 7;   // low 3 bits of the type byte
constexpr int kMinorShift = 4;      // high 4 bits of the version byte
constexpr uint8_t kBuildMask = 15;  // low 4 bits of the version byte
// Devices without an extension list all set capability bit 5, whose value
// item then reads as this.
constexpr uint16_t kTlv6WithoutList = 99;

// Extension list: items of type, length and value, ended by this type byte
// or by the end of the datagram.
constexpr uint8_t kListEnd = 0xFF;
constexpr int kItemHeader = 2;
enum ItemType : uint8_t {
  kItemCapabilities = 1,
  kItemName = 2,
  kItemModel = 3,
  kItemTypeCode = 4,
  kItemPort2 = 5,
  kItemValue6 = 6,
  kItemValue7 = 7,
};

// Items whose value is a number, and the field each one sets.
struct NumberItem {
  uint8_t type;
  size_t field;  // offset of a uint16_t field in qxudps_device
};
const NumberItem kNumberItems[] = {
    {kItemTypeCode, offsetof(qxudps_device, type)},
    {kItemPort2, offsetof(qxudps_device, port2)},
    {kItemValue6, offsetof(qxudps_device, tlv6_value)},
    {kItemValue7, offsetof(qxudps_device, tlv7_value)},
};

// Bit N of the capabilities item sets cap_bitN.
const size_t kCapabilityFields[] = {
    offsetof(qxudps_device, cap_bit0), offsetof(qxudps_device, cap_bit1), offsetof(qxudps_device, cap_bit2),
    offsetof(qxudps_device, cap_bit3), offsetof(qxudps_device, cap_bit4), offsetof(qxudps_device, cap_bit5),
    offsetof(qxudps_device, cap_bit6),
};

const size_t kSettingFields[kSettingBits] = {
    offsetof(qxudps_device, setting_bit0), offsetof(qxudps_device, setting_bit1), offsetof(qxudps_device, setting_bit2),
    offsetof(qxudps_device, setting_bit3), offsetof(qxudps_device, setting_bit4), offsetof(qxudps_device, setting_bit5),
};

uint8_t *field_of(qxudps_device *record, size_t field) { return reinterpret_cast<uint8_t *>(record) + field; }

// A number item: one byte, or a big-endian 16-bit value; other lengths mean 0.
uint16_t item_number(const uint8_t *value, int length) {
  if (length == 1) return value[0];
  if (length == 2) return static_cast<uint16_t>(value[0] << 8 | value[1]);
  return 0;
}

// Replaces a text field by an item's text, cut to what the field holds.
void set_text(char *field, int size, const uint8_t *value, int length) {
  const int kept = length < size - 1 ? length : size - 1;
  memcpy(field, value, kept);
  memset(field + kept, 0, size - kept);
}

void apply_item(qxudps_device *record, uint8_t type, const uint8_t *value, int length) {
  switch (type) {
    case kItemCapabilities: {
      const uint8_t bits = length > 0 ? value[0] : 0;
      int bit = 0;
      for (size_t field : kCapabilityFields) *field_of(record, field) = (bits >> bit++) & 1u;
      return;
    }
    case kItemName:
      set_text(record->name, QXUDPS_NAME_SIZE, value, length);
      record->has_name = 1;
      return;
    case kItemModel: set_text(record->model, QXUDPS_MODEL_SIZE, value, length); return;
    default:
      for (const NumberItem &item : kNumberItems) {
        if (item.type != type) continue;
        const uint16_t number = item_number(value, length);
        memcpy(field_of(record, item.field), &number, sizeof number);
      }
      return;
  }
}

// Items lie after the fixed part; one that does not fit whole into the
// datagram ends the list, and the items before it keep their effect.
void walk_extension_list(const uint8_t *data, int length, qxudps_device *record) {
  int at = QXUDPS_DATAGRAM_SIZE;
  while (at < length && data[at] != kListEnd) {
    if (at + kItemHeader > length) return;
    const int value_length = data[at + 1];
    if (at + kItemHeader + value_length > length) return;
    apply_item(record, data[at], data + at + kItemHeader, value_length);
    at += kItemHeader + value_length;
  }
}

void decode_type_capabilities(qxudps_device *record) {
  qxudps_type_capabilities(record->type, record);
  record->port2 = record->cap_bit1 ? record->port : 0;
  record->tlv6_value = record->cap_bit5 ? kTlv6WithoutList : 0;
  record->tlv7_value = 0;
}

void mac_text(const uint8_t *mac, char *out) {
  // The last byte's colon finds no room in the field and is dropped.
  for (int i = 0; i < QXUDPS_MAC_BYTES; ++i) snprintf(out + 3 * i, QXUDPS_MAC_SIZE - 3 * i, "%02X:", mac[i]);
}

void address_text(const uint8_t *bytes, char *out) {
  snprintf(out, QXUDPS_ADDR_SIZE, "%i.%i.%i.%i", bytes[0], bytes[1], bytes[2], bytes[3]);
}

}  // namespace

void qxudps_decode_reply(const uint8_t *data, int length, qxudps_device *record, uint8_t *mac) {
  memset(record, 0, sizeof *record);
  memcpy(mac, data + QXUDPS_AT_MAC, QXUDPS_MAC_BYTES);
  mac_text(mac, record->mac);
  char *texts = reinterpret_cast<char *>(record);
  for (const qxudps_address_field &address : qxudps_address_fields) {
    address_text(data + address.offset, texts + address.field);
  }

  const uint8_t version = data[QXUDPS_AT_VERSION];
  const uint8_t type = data[QXUDPS_AT_TYPE];
  record->raw_settings = data[QXUDPS_AT_SETTINGS];
  record->raw_byte29 = data[QXUDPS_AT_BYTE29];
  record->raw_version = version;
  record->raw_type = type;
  memcpy(record->reply_data, data + QXUDPS_AT_DATA, QXUDPS_BLOCK_SIZE);
  memcpy(record->reply_auth, data + QXUDPS_AUTH_OFFSET, QXUDPS_BLOCK_SIZE);
  for (int bit = 0; bit < kSettingBits; ++bit) {
    *field_of(record, kSettingFields[bit]) = (data[QXUDPS_AT_SETTINGS] >> bit) & 1u;
  }

  record->ver_major = type & kMajorMask;
  record->ver_minor = version >> kMinorShift;
  record->ver_build = version & kBuildMask;
  record->type = type >> QXUDPS_TYPE_SHIFT;
  qxudps_model_text(record->model, record->type);
  snprintf(record->version, QXUDPS_VERSION_SIZE, "%i.%i.%i", record->ver_major, record->ver_minor, record->ver_build);
  record->port = static_cast<uint16_t>(data[QXUDPS_AT_PORT] << 8 | data[QXUDPS_AT_PORT + 1]);

  if (record->type == QXUDPS_TYPE_EXTENDED) {
    walk_extension_list(data, length, record);
  } else {
    decode_type_capabilities(record);
  }
}
