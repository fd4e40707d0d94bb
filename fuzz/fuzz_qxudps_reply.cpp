// Fuzz entry of the search reply decoder behind its authentication check.
// With the first byte odd, the datagram (the rest) is first signed with the
// search key, so that the decoder behind the check sees the fuzzed bytes;
// with it even, the datagram meets the check as it came. A reply the check
// refuses is never decoded; an accepted one must decode into a record whose
// texts all end inside their fields.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "qxudps/qxudps_private.h"

namespace {

const uint8_t kSignBit = 1;
const uint8_t kFill = 0xA5;  // what the record held before, to catch fields left unwritten

void check_text(const char *field, size_t size, const char *what) {
  fuzz_check(memchr(field, '\0', size) != nullptr, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  // An exactly sized copy, so that a read past the datagram is caught.
  std::vector<uint8_t> datagram(data + 1, data + size);
  const int length = static_cast<int>(datagram.size());
  if ((data[0] & kSignBit) && length >= QXUDPS_DATAGRAM_SIZE)
    qx_tea_cbc_mac(datagram.data(), &qxudps_default_search_key, datagram.data() + QXUDPS_AUTH_OFFSET);

  if (!qxudps_reply_authentic(datagram.empty() ? nullptr : datagram.data(), length, &qxudps_default_search_key))
    return 0;
  fuzz_check(length >= QXUDPS_DATAGRAM_SIZE, "only a whole fixed part is authentic");
  qxudps_device record;
  memset(&record, kFill, sizeof record);
  uint8_t mac[QXUDPS_MAC_BYTES];
  qxudps_decode_reply(datagram.data(), length, &record, mac);
  fuzz_check(memcmp(mac, datagram.data() + QXUDPS_AT_MAC, QXUDPS_MAC_BYTES) == 0, "raw MAC address");
  check_text(record.name, sizeof record.name, "name ends in its field");
  check_text(record.model, sizeof record.model, "model ends in its field");
  check_text(record.version, sizeof record.version, "version ends in its field");
  check_text(record.mac, sizeof record.mac, "MAC text ends in its field");
  for (const qxudps_address_field &address : qxudps_address_fields)
    check_text(reinterpret_cast<const char *>(&record) + address.field, QXUDPS_ADDR_SIZE, "address ends in its field");
  return 0;
}
