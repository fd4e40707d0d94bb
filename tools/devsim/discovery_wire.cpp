#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/devsim/discovery_wire_private.h"

namespace devsim {

namespace {

constexpr std::size_t kMacSize = 6;
constexpr int kTeaRounds = 32;
constexpr std::uint16_t kCrcPolynomial = 0x1021;
constexpr unsigned char kSearchMacByte = 0xFF;
constexpr unsigned char kListEnd = 0xFF;
constexpr std::size_t kItemValueMax = 255;
constexpr std::size_t kSignatureAt = 32;
constexpr std::size_t kProxyTextSize = 16;
constexpr int kKindSearch = 1;
constexpr int kKindSetup = 2;

// Reply field positions.
enum : std::size_t {
  kIpAt = 6,
  kAddrMAt = 10,
  kAddrFAt = 14,
  kAddrWAt = 18,
  kVersionAt = 22,
  kTypeAt = 23,
  kAddrNAt = 24,
  kSettingsAt = 28,
  kPortAt = 30,
  kAuthAt = 40,
};

enum Item : unsigned char { kItemCapabilities = 1, kItemName = 2, kItemModel = 3, kItemPort2 = 5 };

// Bytes 32-39 mean nothing to the simulator; a fixed, recognisable pattern
// shows that a client carries them back unchanged.
constexpr unsigned char kReplyData[8] = {0xD5, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x5D};

std::uint32_t word_at(const unsigned char *p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void put_word(std::string &out, std::uint32_t w) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((w >> shift) & 0xFF));
}

void tea_encrypt(std::uint32_t &left, std::uint32_t &right, const TeaKey &key) {
  std::uint32_t sum = 0;
  for (int i = 0; i < kTeaRounds; ++i) {
    sum += key.delta;
    left += ((right << 4) + key.k[0]) ^ (right + sum) ^ ((right >> 5) + key.k[1]);
    right += ((left << 4) + key.k[2]) ^ (left + sum) ^ ((left >> 5) + key.k[3]);
  }
}

void put_address(std::string &out, const std::string &text) {
  in_addr addr{};
  if (text.empty() || inet_pton(AF_INET, text.c_str(), &addr) != 1) addr.s_addr = INADDR_NONE;
  const auto *b = reinterpret_cast<const unsigned char *>(&addr.s_addr);
  out.append(reinterpret_cast<const char *>(b), 4);
}

std::string address_text(const unsigned char *p) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", p[0], p[1], p[2], p[3]);
  return text;
}

struct Version {
  int major = 0, minor = 0, build = 0;
};

Version version_of(const std::string &text) {
  Version v;
  std::sscanf(text.c_str(), "%d.%d.%d", &v.major, &v.minor, &v.build);
  return v;
}

void put_item(std::string &out, unsigned char type, std::string_view value) {
  value = value.substr(0, kItemValueMax);
  out.push_back(static_cast<char>(type));
  out.push_back(static_cast<char>(value.size()));
  out.append(value);
}

}  // namespace

std::string tea_cbc_mac(const unsigned char *data, const TeaKey &key) {
  std::uint32_t left = 0, right = 0;
  for (std::size_t at = 0; at < kAuthedSize; at += 8) {
    left ^= word_at(data + at);
    right ^= word_at(data + at + 4);
    tea_encrypt(left, right, key);
  }
  std::string code;
  put_word(code, left);
  put_word(code, right);
  return code;
}

std::uint16_t crc16_xmodem(std::string_view data) {
  std::uint16_t crc = 0;
  for (unsigned char byte : data) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ kCrcPolynomial)
                           : static_cast<std::uint16_t>(crc << 1);
  }
  return crc;
}

TeaKey search_key() { return {{kSearchKey[0], kSearchKey[1], kSearchKey[2], kSearchKey[3]}, kTeaDelta}; }

TeaKey setup_key(const Discovery &d) {
  if (!(d.capabilities & 1)) return search_key();
  const bool unset =
      std::all_of(std::begin(d.setup_key), std::end(d.setup_key), [](std::uint32_t w) { return w == 0; });
  // A client that was never given the setup key authenticates with zeros
  // and a zero delta; a device without a key of its own expects just that.
  return {{d.setup_key[0], d.setup_key[1], d.setup_key[2], d.setup_key[3]}, unset ? 0 : kTeaDelta};
}

bool is_search(std::string_view d) {
  if (d.size() != kFixedSize) return false;
  for (std::size_t i = 0; i < kMacSize; ++i)
    if (static_cast<unsigned char>(d[i]) != kSearchMacByte) return false;
  return d.substr(kMacSize, kSearchFiller.size()) == kSearchFiller && d.substr(kSignatureAt) == kSearchSignature;
}

Unwrapped unwrap(std::string_view d) {
  // An envelope starts with its kind and a proxy text, a bare datagram with
  // a MAC; the CRC tells the two apart.
  if (d.size() >= kEnvelopeHead && (d[0] == kKindSearch || d[0] == kKindSetup)) {
    const std::string_view payload = d.substr(kEnvelopeHead);
    const std::uint16_t crc = crc16_xmodem(payload);
    const auto low = static_cast<unsigned char>(d[1 + kProxyTextSize]);
    const auto high = static_cast<unsigned char>(d[2 + kProxyTextSize]);
    if (low == (crc & 0xFF) && high == (crc >> 8)) return Unwrapped{d[0], payload};
  }
  return Unwrapped{0, d};
}

bool mac_bytes(const std::string &text, unsigned char out[6]) {
  unsigned v[kMacSize];
  char tail = 0;
  if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &tail) != 6)
    return false;
  for (std::size_t i = 0; i < kMacSize; ++i) out[i] = static_cast<unsigned char>(v[i]);
  return true;
}

std::string search_reply(const DeviceConfig &config, const unsigned char mac[6], const std::string &address,
                         int http_port) {
  const Discovery &d = config.discovery;
  const Network &n = config.network;
  const Version v = version_of(config.version);
  std::string r(reinterpret_cast<const char *>(mac), kMacSize);
  put_address(r, address);
  put_address(r, n.mask);
  put_address(r, n.dns_secondary);
  put_address(r, n.gateway);
  r.push_back(static_cast<char>(((v.minor & 0xF) << 4) | (v.build & 0xF)));
  r.push_back(static_cast<char>((d.type_code << 3) | (v.major & 7)));
  put_address(r, n.dns_primary);
  r.push_back(static_cast<char>(d.settings));
  r.push_back(0);
  r.push_back(static_cast<char>((http_port >> 8) & 0xFF));
  r.push_back(static_cast<char>(http_port & 0xFF));
  r.append(reinterpret_cast<const char *>(kReplyData), sizeof kReplyData);
  r += tea_cbc_mac(reinterpret_cast<const unsigned char *>(r.data()), search_key());
  if (d.type_code == kExtendedType) {
    put_item(r, kItemCapabilities, std::string(1, static_cast<char>(d.capabilities)));
    put_item(r, kItemName, config.device_name);
    if (!d.model_text.empty()) put_item(r, kItemModel, d.model_text);
    put_item(r, kItemPort2,
             std::string{static_cast<char>((http_port >> 8) & 0xFF), static_cast<char>(http_port & 0xFF)});
    r.push_back(static_cast<char>(kListEnd));
  }
  return r;
}

std::optional<Server::NetworkSetup> read_setup(std::string_view d, const DeviceConfig &config) {
  unsigned char mac[kMacSize];
  if (d.size() < kFixedSize || !mac_bytes(config.mac, mac) || std::memcmp(d.data(), mac, kMacSize) != 0)
    return std::nullopt;
  const auto *b = reinterpret_cast<const unsigned char *>(d.data());
  if (tea_cbc_mac(b, setup_key(config.discovery)) != d.substr(kAuthAt, 8)) return std::nullopt;
  Server::NetworkSetup s;
  s.ip = address_text(b + kIpAt);
  s.addr_m = address_text(b + kAddrMAt);
  s.addr_f = address_text(b + kAddrFAt);
  s.addr_w = address_text(b + kAddrWAt);
  s.addr_n = address_text(b + kAddrNAt);
  s.settings = b[kSettingsAt];
  s.http_port = (b[kPortAt] << 8) | b[kPortAt + 1];
  if ((b[kTypeAt] >> 3) == kExtendedType) {
    // The name item and the list end, nothing else.
    if (d.size() < kFixedSize + 3 || b[kFixedSize] != kItemName) return std::nullopt;
    const std::size_t length = b[kFixedSize + 1];
    if (d.size() != kFixedSize + 3 + length || b[kFixedSize + 2 + length] != kListEnd) return std::nullopt;
    s.name = std::string(d.substr(kFixedSize + 2, length));
  } else if (d.size() != kFixedSize) {
    return std::nullopt;
  }
  return s;
}

}  // namespace devsim
