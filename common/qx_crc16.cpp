#include "common/qx_crc16.h"

namespace {

const unsigned int kPolynomial = 0x1021;
const unsigned int kTopBit = 0x8000;
const unsigned int kChecksumBits = 0xFFFF;

}  // namespace

unsigned int qx_crc16(unsigned int initial, const void *data, int length) {
  unsigned int value = initial & kChecksumBits;
  if (data == nullptr) return value;
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  for (int i = 0; i < length; ++i) {
    value ^= static_cast<unsigned int>(bytes[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) value = (value & kTopBit) ? ((value << 1) ^ kPolynomial) : (value << 1);
    value &= kChecksumBits;
  }
  return value;
}
