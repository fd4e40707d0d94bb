// Datagrams the library sends: the search, the setup of one device and the
// proxy envelope around either; and the check that a reply is authentic.
#include <arpa/inet.h>
#include <string.h>

#include "common/qx_crc16.h"
#include "qxudps/qxudps_private.h"

namespace {

// Bytes 0-5 of a search address every device.
constexpr uint8_t kSearchMacByte = 0xFF;
// Bytes 6-31 of a search: placeholders where a reply carries its addresses,
// settings and port.
constexpr char kSearchBody[] = "IIIIMMMMFFFFWWWWUC12345678";
// Bytes 32-47 of a search, a fixed text that tells a device the datagram is
// a search of this program's family. Devices that check it only compare it,
// so any 16 ASCII characters serve; this one says whose search it is and
// leaves room to tell a later form apart. The simulator sends the same.
constexpr char kSearchSignature[] = "ZELVO-DISCOVERY1";
static_assert(sizeof kSearchBody - 1 == QXUDPS_AT_DATA - QXUDPS_MAC_BYTES, "the search body fills bytes 6-31");
static_assert(sizeof kSearchSignature - 1 == QXUDPS_SIGNATURE_LENGTH, "the signature fills bytes 32-47");

// Bits of the settings byte that a setup takes from the request; the others
// (3, 6 and 7) the device keeps as it reported them.
struct SettingBit {
  size_t field;  // offset of the setting_bitN field in qxudps_device
  uint8_t bit;
};
const SettingBit kWrittenSettings[] = {
    {offsetof(qxudps_device, setting_bit0), 1u << 0}, {offsetof(qxudps_device, setting_bit1), 1u << 1},
    {offsetof(qxudps_device, setting_bit2), 1u << 2}, {offsetof(qxudps_device, setting_bit4), 1u << 4},
    {offsetof(qxudps_device, setting_bit5), 1u << 5},
};

// The name item a setup of a device with an extension list carries.
constexpr uint8_t kItemName = 2;
constexpr uint8_t kListEnd = 0xFF;

// What an address text that is empty or no dotted address becomes.
constexpr uint8_t kNoAddressByte = 0xFF;

// Envelope layout.
constexpr int kEnvelopeKind = 0;
constexpr int kEnvelopeText = 1;
constexpr int kEnvelopeCrc = 17;

void put_address(const char *text, uint8_t *out) {
  in_addr address;
  if (inet_pton(AF_INET, text, &address) == 1) {
    memcpy(out, &address, QXUDPS_ADDRESS_BYTES);  // already in network order
  } else {
    memset(out, kNoAddressByte, QXUDPS_ADDRESS_BYTES);
  }
}

uint8_t setup_settings(const qxudps_device *request, uint32_t reported) {
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(request);
  uint8_t settings = static_cast<uint8_t>(reported);
  for (const SettingBit &row : kWrittenSettings) {
    settings = static_cast<uint8_t>((settings & ~row.bit) | ((bytes[row.field] & 1u) ? row.bit : 0));
  }
  return settings;
}

}  // namespace

const qxudps_address_field qxudps_address_fields[QXUDPS_ADDRESS_COUNT] = {
    {6, offsetof(qxudps_device, ip)},      {10, offsetof(qxudps_device, addr_m)}, {14, offsetof(qxudps_device, addr_f)},
    {18, offsetof(qxudps_device, addr_w)}, {24, offsetof(qxudps_device, addr_n)},
};

// The default search key is the ASCII text "ZELVO-UDP-SEARCH" read as four
// big-endian words: easy to type into a device's or the simulator's
// configuration, which must hold the same. An installation with a key of its
// own sets it after the library has started.
const qx_tea_key qxudps_default_search_key = {{0x5A454C56u, 0x4F2D5544u, 0x502D5345u, 0x41524348u}, QX_TEA_DELTA};

void qxudps_build_search(uint8_t *out) {
  memset(out + QXUDPS_AT_MAC, kSearchMacByte, QXUDPS_MAC_BYTES);
  memcpy(out + QXUDPS_MAC_BYTES, kSearchBody, sizeof kSearchBody - 1);
  memcpy(out + QXUDPS_AT_DATA, kSearchSignature, QXUDPS_SIGNATURE_LENGTH);
}

int qxudps_reply_authentic(const uint8_t *data, int length, const qx_tea_key *key) {
  if (length < QXUDPS_DATAGRAM_SIZE) return 0;
  uint8_t code[QXUDPS_BLOCK_SIZE];
  qx_tea_cbc_mac(data, key, code);
  return memcmp(code, data + QXUDPS_AUTH_OFFSET, QXUDPS_BLOCK_SIZE) == 0 ? 1 : 0;
}

int qxudps_build_setup(const qxudps_device *request, qxudps_device *found, const uint8_t *mac,
                       const qx_tea_key *search_key, const qx_tea_key *setup_key, uint8_t *out) {
  memcpy(out + QXUDPS_AT_MAC, mac, QXUDPS_MAC_BYTES);
  const char *texts = reinterpret_cast<const char *>(request);
  for (const qxudps_address_field &address : qxudps_address_fields) {
    put_address(texts + address.field, out + address.offset);
  }
  out[QXUDPS_AT_VERSION] = found->raw_version;
  out[QXUDPS_AT_TYPE] = found->raw_type;
  const uint8_t settings = setup_settings(request, found->raw_settings);
  out[QXUDPS_AT_SETTINGS] = settings;
  found->raw_settings = settings;
  out[QXUDPS_AT_BYTE29] = static_cast<uint8_t>(found->raw_byte29);
  out[QXUDPS_AT_PORT] = static_cast<uint8_t>(request->port >> 8);
  out[QXUDPS_AT_PORT + 1] = static_cast<uint8_t>(request->port);
  memcpy(out + QXUDPS_AT_DATA, found->reply_data, QXUDPS_BLOCK_SIZE);
  qx_tea_cbc_mac(out, found->cap_bit0 ? setup_key : search_key, out + QXUDPS_AUTH_OFFSET);

  int length = QXUDPS_DATAGRAM_SIZE;
  if (found->raw_type >> QXUDPS_TYPE_SHIFT == QXUDPS_TYPE_EXTENDED) {
    const size_t name_length = strnlen(request->name, QXUDPS_NAME_SIZE - 1);
    out[length++] = kItemName;
    out[length++] = static_cast<uint8_t>(name_length);
    memcpy(out + length, request->name, name_length);
    length += static_cast<int>(name_length);
    out[length++] = kListEnd;
  }
  return length;
}

int qxudps_wrap_proxy(int kind, const char *proxy_text, const uint8_t *payload, int length, uint8_t *out) {
  out[kEnvelopeKind] = static_cast<uint8_t>(kind);
  memset(out + kEnvelopeText, 0, kEnvelopeCrc - kEnvelopeText);
  memcpy(out + kEnvelopeText, proxy_text, strnlen(proxy_text, QXUDPS_PROXY_TEXT_MAX));
  const unsigned int crc = qx_crc16(0, payload, length);
  out[kEnvelopeCrc] = static_cast<uint8_t>(crc);  // low byte first, unlike the datagrams
  out[kEnvelopeCrc + 1] = static_cast<uint8_t>(crc >> 8);
  memcpy(out + QXUDPS_ENVELOPE_HEADER_SIZE, payload, length);
  return QXUDPS_ENVELOPE_HEADER_SIZE + length;
}
