// The TEA cipher unit: the block cipher, the CBC-MAC that authenticates
// datagrams, and the challenge-and-answer operations built on them.
#include <errno.h>
#include <string.h>
#include <sys/random.h>

#include "common/qx_base64.h"
#include "qxudps/qxudps_private.h"

namespace {

constexpr int kRounds = 32;
constexpr uint32_t kDecryptStartSum = 0xC6EF3720u;  // kRounds times QX_TEA_DELTA
constexpr int kWordBytes = 4;
// Bytes of a challenge's check sum: the eight bytes and the one that makes
// the total 0 modulo 256.
constexpr int kSummedBytes = QX_TEA_CHALLENGE_BYTES + 1;
// A random byte of this value is drawn again, so that every challenge byte is
// 0..254 with equal chance.
constexpr uint8_t kRefusedByte = 255;

uint32_t load_word(const uint8_t *bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void store_word(uint32_t word, uint8_t *bytes) {
  bytes[0] = static_cast<uint8_t>(word >> 24);
  bytes[1] = static_cast<uint8_t>(word >> 16);
  bytes[2] = static_cast<uint8_t>(word >> 8);
  bytes[3] = static_cast<uint8_t>(word);
}

void encrypt_block(uint8_t *block, const qx_tea_key *key) {
  uint32_t left = load_word(block);
  uint32_t right = load_word(block + kWordBytes);
  qx_tea_encrypt(&left, &right, key);
  store_word(left, block);
  store_word(right, block + kWordBytes);
}

void decrypt_block(uint8_t *block, const qx_tea_key *key) {
  uint32_t left = load_word(block);
  uint32_t right = load_word(block + kWordBytes);
  qx_tea_decrypt(&left, &right, key);
  store_word(left, block);
  store_word(right, block + kWordBytes);
}

// The byte that makes the first QX_TEA_CHALLENGE_BYTES bytes and itself sum
// to 0 modulo 256.
uint8_t balancing_byte(const uint8_t *bytes) {
  unsigned int sum = 0;
  for (int i = 0; i < QX_TEA_CHALLENGE_BYTES; ++i) sum += bytes[i];
  return static_cast<uint8_t>(0u - sum);
}

// Decodes a challenge or answer text into nine bytes and checks their sum.
bool decode_summed(const char *text, uint8_t *bytes) {
  if (qx_base64_decode(text, QX_TEA_CHALLENGE_TEXT_LENGTH, bytes, kSummedBytes) != kSummedBytes) return false;
  return bytes[QX_TEA_CHALLENGE_BYTES] == balancing_byte(bytes);
}

void encode_summed(const uint8_t *bytes, char *text) {
  qx_base64_encode(bytes, kSummedBytes, text, QX_TEA_CHALLENGE_TEXT_LENGTH);
  text[QX_TEA_CHALLENGE_TEXT_LENGTH] = '\0';
}

// Fills `out` with `count` bytes of 0..254 from the system's random source,
// which unlike a time-seeded generator cannot be predicted by a peer and is
// safe from any thread.
bool draw_challenge_bytes(uint8_t *out, int count) {
  int filled = 0;
  while (filled < count) {
    uint8_t draw[QX_TEA_CHALLENGE_BYTES];
    const ssize_t got = getrandom(draw, sizeof draw, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t i = 0; i < got && filled < count; ++i) {
      if (draw[i] != kRefusedByte) out[filled++] = draw[i];
    }
  }
  return true;
}

}  // namespace

void qx_tea_encrypt(uint32_t *left, uint32_t *right, const qx_tea_key *key) {
  uint32_t l = *left, r = *right, sum = 0;
  for (int round = 0; round < kRounds; ++round) {
    sum += key->delta;
    l += ((r << 4) + key->k[0]) ^ (r + sum) ^ ((r >> 5) + key->k[1]);
    r += ((l << 4) + key->k[2]) ^ (l + sum) ^ ((l >> 5) + key->k[3]);
  }
  *left = l;
  *right = r;
}

void qx_tea_decrypt(uint32_t *left, uint32_t *right, const qx_tea_key *key) {
  uint32_t l = *left, r = *right, sum = kDecryptStartSum;
  for (int round = 0; round < kRounds; ++round) {
    r -= ((l << 4) + key->k[2]) ^ (l + sum) ^ ((l >> 5) + key->k[3]);
    l -= ((r << 4) + key->k[0]) ^ (r + sum) ^ ((r >> 5) + key->k[1]);
    sum -= key->delta;
  }
  *left = l;
  *right = r;
}

void qx_tea_cbc_mac(const uint8_t *data, const qx_tea_key *key, uint8_t *out) {
  uint32_t left = 0, right = 0;
  for (int offset = 0; offset < QX_TEA_MAC_DATA_SIZE; offset += QXUDPS_BLOCK_SIZE) {
    left ^= load_word(data + offset);
    right ^= load_word(data + offset + kWordBytes);
    qx_tea_encrypt(&left, &right, key);
  }
  store_word(left, out);
  store_word(right, out + kWordBytes);
}

int qx_tea_challenge_make(uint8_t *buffer, char *text) {
  if (!draw_challenge_bytes(buffer, QX_TEA_CHALLENGE_BYTES)) return -1;
  buffer[QX_TEA_CHALLENGE_BYTES] = balancing_byte(buffer);
  encode_summed(buffer, text);
  // The caller keeps the eight bytes as a zero-terminated challenge.
  buffer[QX_TEA_CHALLENGE_BYTES] = 0;
  return 0;
}

int qx_tea_challenge_check(const char *text, uint8_t *buffer, const qx_tea_key *key, int mode) {
  uint8_t bytes[kSummedBytes];
  if (!decode_summed(text, bytes)) return QX_TEA_CHALLENGE_BAD_SUM;
  if (mode == QX_TEA_CHALLENGE_ANSWER) {
    encrypt_block(bytes, key);
    bytes[QX_TEA_CHALLENGE_BYTES] = balancing_byte(bytes);
    encode_summed(bytes, reinterpret_cast<char *>(buffer));
    return QX_TEA_CHALLENGE_OK;
  }
  bytes[QX_TEA_CHALLENGE_BYTES] = 0;
  decrypt_block(bytes, key);
  // Compared as zero-terminated texts, as challenges have always been kept.
  return strcmp(reinterpret_cast<const char *>(bytes), reinterpret_cast<const char *>(buffer)) == 0
             ? QX_TEA_CHALLENGE_OK
             : QX_TEA_CHALLENGE_MISMATCH;
}
