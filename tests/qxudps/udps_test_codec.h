// A test-side encoder of search replies, written from the datagram layout
// and the published TEA algorithm without the library's code, so that the
// library's decoder and verifier meet input they did not make themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace udpstest {

struct Key {
  uint32_t k[4];
  uint32_t delta;
};

constexpr uint32_t kDelta = 0x9E3779B9u;

// Published TEA on one block of two words.
void TeaEncrypt(uint32_t block[2], const Key &key);

// CBC-MAC of the first 40 bytes of `data`, 8 bytes big-endian.
std::vector<uint8_t> CbcMac(const uint8_t *data, const Key &key);

// The fixed part of a reply, field by field.
struct Reply {
  uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  uint8_t ip[4] = {127, 0, 0, 1};
  uint8_t addr_m[4] = {255, 255, 255, 0};
  uint8_t addr_f[4] = {127, 0, 0, 254};
  uint8_t addr_w[4] = {10, 0, 0, 9};
  uint8_t version = 0x00;  // high 4 bits minor, low 4 bits build
  uint8_t type = 0x00;     // high 5 bits type code, low 3 bits major
  uint8_t addr_n[4] = {192, 0, 2, 7};
  uint8_t settings = 0x00;
  uint8_t byte29 = 0x00;
  uint16_t port = 80;
  uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> extension;  // bytes after the fixed part, sent as given
};

// The type byte of `code` and `major`.
uint8_t TypeByte(unsigned code, unsigned major);

// The whole reply: fixed part authenticated under `key`, then the extension.
std::vector<uint8_t> Encode(const Reply &reply, const Key &key);

// An extension item of `type` with the value bytes given.
std::vector<uint8_t> Item(uint8_t type, const std::vector<uint8_t> &value);
std::vector<uint8_t> TextItem(uint8_t type, const std::string &text);

}  // namespace udpstest
