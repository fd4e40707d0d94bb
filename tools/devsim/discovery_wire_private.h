// The datagrams of device discovery as a device sees them: the search it
// answers, its reply, the setup it obeys and the proxy envelope around both.
// Written apart from the client library, which defines the same search key
// and signature text: a change here must be made there too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/devsim/devsim.h"

namespace devsim {

constexpr int kTypeCodeMax = 31;
constexpr int kExtendedType = 31;  // the type whose replies carry the extension list
constexpr int kByteMax = 255;
constexpr std::size_t kFixedSize = 48;
constexpr std::size_t kAuthedSize = 40;  // bytes covered by the authentication code
constexpr std::size_t kEnvelopeHead = 19;
constexpr std::uint32_t kTeaDelta = 0x9E3779B9u;

// Shared with the client library (same values there).
constexpr std::uint32_t kSearchKey[4] = {0x5A454C56u, 0x4F2D5544u, 0x502D5345u, 0x41524348u};
constexpr std::string_view kSearchSignature = "ZELVO-DISCOVERY1";
constexpr std::string_view kSearchFiller = "IIIIMMMMFFFFWWWWUC12345678";

struct TeaKey {
  std::uint32_t k[4];
  std::uint32_t delta;
};

// CBC-MAC of the first 40 bytes of `data` under `key`: 8 bytes.
std::string tea_cbc_mac(const unsigned char *data, const TeaKey &key);
// CRC-16/XMODEM.
std::uint16_t crc16_xmodem(std::string_view data);

TeaKey search_key();
TeaKey setup_key(const Discovery &discovery);

bool is_search(std::string_view datagram);

// A payload with its envelope kind, or the datagram itself (kind 0) when it
// is not in an intact envelope.
struct Unwrapped {
  int kind = 0;  // 1 search, 2 setup
  std::string_view payload;
};
Unwrapped unwrap(std::string_view datagram);

// The authenticated reply of a device at address:http_port, MAC taken from `mac`.
std::string search_reply(const DeviceConfig &config, const unsigned char mac[6], const std::string &address,
                         int http_port);
// The six bytes of a MAC text "00:20:4A:00:00:01"; false when malformed.
bool mac_bytes(const std::string &text, unsigned char out[6]);

// A setup datagram addressed to `config`'s MAC and authenticated with the key
// its capabilities choose, decoded; nothing otherwise.
std::optional<Server::NetworkSetup> read_setup(std::string_view datagram, const DeviceConfig &config);

}  // namespace devsim
