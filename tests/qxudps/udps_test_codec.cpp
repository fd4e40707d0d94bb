#include "tests/qxudps/udps_test_codec.h"

namespace udpstest {

namespace {

void PutWord(uint32_t word, std::vector<uint8_t> &out) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
}

uint32_t GetWord(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void PutBytes(const uint8_t *bytes, int count, std::vector<uint8_t> &out) {
  out.insert(out.end(), bytes, bytes + count);
}

}  // namespace

void TeaEncrypt(uint32_t block[2], const Key &key) {
  uint32_t v0 = block[0], v1 = block[1], sum = 0;
  for (int i = 0; i < 32; i++) {
    sum += key.delta;
    v0 += ((v1 << 4) + key.k[0]) ^ (v1 + sum) ^ ((v1 >> 5) + key.k[1]);
    v1 += ((v0 << 4) + key.k[2]) ^ (v0 + sum) ^ ((v0 >> 5) + key.k[3]);
  }
  block[0] = v0;
  block[1] = v1;
}

std::vector<uint8_t> CbcMac(const uint8_t *data, const Key &key) {
  uint32_t chain[2] = {0, 0};
  for (int block = 0; block < 5; ++block) {
    chain[0] ^= GetWord(data + 8 * block);
    chain[1] ^= GetWord(data + 8 * block + 4);
    TeaEncrypt(chain, key);
  }
  std::vector<uint8_t> out;
  PutWord(chain[0], out);
  PutWord(chain[1], out);
  return out;
}

uint8_t TypeByte(unsigned code, unsigned major) { return static_cast<uint8_t>(code << 3 | (major & 7)); }

std::vector<uint8_t> Encode(const Reply &reply, const Key &key) {
  std::vector<uint8_t> out;
  PutBytes(reply.mac, 6, out);
  PutBytes(reply.ip, 4, out);
  PutBytes(reply.addr_m, 4, out);
  PutBytes(reply.addr_f, 4, out);
  PutBytes(reply.addr_w, 4, out);
  out.push_back(reply.version);
  out.push_back(reply.type);
  PutBytes(reply.addr_n, 4, out);
  out.push_back(reply.settings);
  out.push_back(reply.byte29);
  out.push_back(static_cast<uint8_t>(reply.port >> 8));
  out.push_back(static_cast<uint8_t>(reply.port & 0xFF));
  PutBytes(reply.data, 8, out);
  const std::vector<uint8_t> code = CbcMac(out.data(), key);
  out.insert(out.end(), code.begin(), code.end());
  out.insert(out.end(), reply.extension.begin(), reply.extension.end());
  return out;
}

std::vector<uint8_t> Item(uint8_t type, const std::vector<uint8_t> &value) {
  std::vector<uint8_t> out = {type, static_cast<uint8_t>(value.size())};
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

std::vector<uint8_t> TextItem(uint8_t type, const std::string &text) {
  return Item(type, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace udpstest
