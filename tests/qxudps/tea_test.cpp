// The TEA cipher unit: published test vectors, the CBC-MAC of a fixed block
// and the challenge-and-answer round trips.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>

#include "common/qx_base64.h"
#include "qxudps/qxudps_private.h"
#include "tests/qxudps/udps_test_codec.h"

namespace {

qx_tea_key LibraryKey(const udpstest::Key &key) {
  return qx_tea_key{{key.k[0], key.k[1], key.k[2], key.k[3]}, key.delta};
}

const udpstest::Key kZeroKey = {{0, 0, 0, 0}, udpstest::kDelta};
const udpstest::Key kVectorKey = {{0x01234567u, 0x12345678u, 0x23456789u, 0x3456789Au}, udpstest::kDelta};

struct VectorRow {
  const char *name;
  udpstest::Key key;
  uint32_t plain[2];
  uint32_t cipher[2];
};

void PrintTo(const VectorRow &row, std::ostream *os) { *os << row.name; }

// Published TEA vectors (32 rounds, big-endian words).
const VectorRow kVectors[] = {
    {"zero_key_zero_block", kZeroKey, {0, 0}, {0x41EA3A0Au, 0x94BAA940u}},
    {"zero_key_counting_block", kZeroKey, {0x01020304u, 0x05060708u}, {0x6A2F9CF3u, 0xFCCF3C55u}},
    {"counting_key_zero_block", kVectorKey, {0, 0}, {0x34E943B0u, 0x900F5DCBu}},
    {"counting_key_counting_block", kVectorKey, {0x01020304u, 0x05060708u}, {0x773DC179u, 0x878A81C0u}},
};

class UdpsTeaVector : public ::testing::TestWithParam<VectorRow> {};

TEST_P(UdpsTeaVector, EncryptsToThePublishedBlockAndDecryptsBack) {
  const VectorRow &row = GetParam();
  const qx_tea_key key = LibraryKey(row.key);
  uint32_t left = row.plain[0], right = row.plain[1];
  qx_tea_encrypt(&left, &right, &key);
  EXPECT_EQ(left, row.cipher[0]);
  EXPECT_EQ(right, row.cipher[1]);
  qx_tea_decrypt(&left, &right, &key);
  EXPECT_EQ(left, row.plain[0]);
  EXPECT_EQ(right, row.plain[1]);
}

// The test-side cipher signs the test replies; it must meet the same vectors.
TEST_P(UdpsTeaVector, TestSideCipherMatchesThePublishedBlock) {
  const VectorRow &row = GetParam();
  uint32_t block[2] = {row.plain[0], row.plain[1]};
  udpstest::TeaEncrypt(block, row.key);
  EXPECT_EQ(block[0], row.cipher[0]);
  EXPECT_EQ(block[1], row.cipher[1]);
}

INSTANTIATE_TEST_SUITE_P(Published, UdpsTeaVector, ::testing::ValuesIn(kVectors),
                         [](const ::testing::TestParamInfo<VectorRow> &info) { return info.param.name; });

struct MacRow {
  const char *name;
  udpstest::Key key;
};

void PrintTo(const MacRow &row, std::ostream *os) { *os << row.name; }

// A setup key that was never set is all zero, its delta too, and still signs.
const MacRow kMacKeys[] = {
    {"never_set_key", {{0, 0, 0, 0}, 0}},
    {"counting_key", kVectorKey},
    {"high_words", {{0xFFFFFFFFu, 0x80000000u, 0xDEADBEEFu, 0x0000FFFFu}, udpstest::kDelta}},
};

class UdpsTeaCbcMac : public ::testing::TestWithParam<MacRow> {};

TEST_P(UdpsTeaCbcMac, MatchesAStraightforwardChainOverFortyBytes) {
  uint8_t data[QX_TEA_MAC_DATA_SIZE];
  for (int i = 0; i < QX_TEA_MAC_DATA_SIZE; ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  const qx_tea_key key = LibraryKey(GetParam().key);
  uint8_t code[QXUDPS_BLOCK_SIZE];
  qx_tea_cbc_mac(data, &key, code);
  EXPECT_EQ(std::vector<uint8_t>(code, code + QXUDPS_BLOCK_SIZE), udpstest::CbcMac(data, GetParam().key));
}

INSTANTIATE_TEST_SUITE_P(Keys, UdpsTeaCbcMac, ::testing::ValuesIn(kMacKeys),
                         [](const ::testing::TestParamInfo<MacRow> &info) { return info.param.name; });

TEST(UdpsTeaCbcMacChain, EveryBlockCountsTowardTheCode) {
  const qx_tea_key key = LibraryKey(kVectorKey);
  uint8_t data[QX_TEA_MAC_DATA_SIZE] = {};
  uint8_t reference[QXUDPS_BLOCK_SIZE];
  qx_tea_cbc_mac(data, &key, reference);
  for (int block = 0; block < QX_TEA_MAC_DATA_SIZE / QXUDPS_BLOCK_SIZE; ++block) {
    uint8_t changed[QX_TEA_MAC_DATA_SIZE] = {};
    changed[block * QXUDPS_BLOCK_SIZE] = 1;
    uint8_t code[QXUDPS_BLOCK_SIZE];
    qx_tea_cbc_mac(changed, &key, code);
    EXPECT_NE(0, memcmp(code, reference, sizeof code)) << "block " << block;
  }
}

// ---- Challenge and answer ----

constexpr int kSummed = QX_TEA_CHALLENGE_BYTES + 1;

// The text of eight challenge bytes and the byte that balances their sum,
// built here from the description of the format.
std::string SummedText(const uint8_t *eight) {
  uint8_t bytes[kSummed];
  memcpy(bytes, eight, QX_TEA_CHALLENGE_BYTES);
  unsigned sum = 0;
  for (int i = 0; i < QX_TEA_CHALLENGE_BYTES; ++i) sum += bytes[i];
  bytes[QX_TEA_CHALLENGE_BYTES] = static_cast<uint8_t>(256 - sum % 256);
  char text[QX_TEA_CHALLENGE_TEXT_LENGTH];
  EXPECT_EQ(qx_base64_encode(bytes, kSummed, text, sizeof text), QX_TEA_CHALLENGE_TEXT_LENGTH);
  return std::string(text, sizeof text);
}

// A challenge without zero bytes, so that comparing it as a text covers all
// eight bytes.
const uint8_t kChallenge[QX_TEA_CHALLENGE_BYTES] = {'c', 'h', 'a', 'l', 'l', 'e', 'n', 'g'};

TEST(UdpsTeaChallenge, MakeDrawsEightBytesBelow255AndABalancedText) {
  uint8_t buffer[QX_TEA_CHALLENGE_BUFFER_SIZE];
  char text[QX_TEA_CHALLENGE_TEXT_SIZE];
  ASSERT_EQ(qx_tea_challenge_make(buffer, text), 0);
  EXPECT_EQ(strlen(text), static_cast<size_t>(QX_TEA_CHALLENGE_TEXT_LENGTH));
  EXPECT_EQ(buffer[QX_TEA_CHALLENGE_BYTES], 0);
  uint8_t decoded[kSummed];
  ASSERT_EQ(qx_base64_decode(text, QX_TEA_CHALLENGE_TEXT_LENGTH, decoded, sizeof decoded), kSummed);
  unsigned sum = 0;
  for (int i = 0; i < kSummed; ++i) sum += decoded[i];
  EXPECT_EQ(sum % 256, 0u);
  for (int i = 0; i < QX_TEA_CHALLENGE_BYTES; ++i) {
    EXPECT_LE(buffer[i], 254) << "byte " << i;
    EXPECT_EQ(decoded[i], buffer[i]) << "byte " << i;
  }
}

// A time-seeded generator hands out the same challenge twice within a second.
TEST(UdpsTeaChallenge, ChallengesMadeInARowDiffer) {
  std::set<std::string> texts;
  for (int i = 0; i < 16; ++i) {
    uint8_t buffer[QX_TEA_CHALLENGE_BUFFER_SIZE];
    char text[QX_TEA_CHALLENGE_TEXT_SIZE];
    ASSERT_EQ(qx_tea_challenge_make(buffer, text), 0);
    texts.insert(text);
  }
  EXPECT_EQ(texts.size(), 16u);
}

TEST(UdpsTeaChallenge, AnswerIsTheEncryptedChallengeBalancedAgain) {
  const qx_tea_key key = LibraryKey(kVectorKey);
  char answer[QX_TEA_CHALLENGE_TEXT_SIZE];
  ASSERT_EQ(qx_tea_challenge_check(SummedText(kChallenge).c_str(), reinterpret_cast<uint8_t *>(answer), &key,
                                   QX_TEA_CHALLENGE_ANSWER),
            QX_TEA_CHALLENGE_OK);

  uint32_t block[2] = {uint32_t('c') << 24 | uint32_t('h') << 16 | uint32_t('a') << 8 | 'l',
                       uint32_t('l') << 24 | uint32_t('e') << 16 | uint32_t('n') << 8 | 'g'};
  udpstest::TeaEncrypt(block, kVectorKey);
  uint8_t encrypted[QX_TEA_CHALLENGE_BYTES];
  for (int i = 0; i < 4; ++i) {
    encrypted[i] = static_cast<uint8_t>(block[0] >> (24 - 8 * i));
    encrypted[4 + i] = static_cast<uint8_t>(block[1] >> (24 - 8 * i));
  }
  EXPECT_EQ(std::string(answer), SummedText(encrypted));
}

TEST(UdpsTeaChallenge, MadeChallengeAnsweredWithTheKeyVerifies) {
  const qx_tea_key key = LibraryKey(kVectorKey);
  uint8_t buffer[QX_TEA_CHALLENGE_BUFFER_SIZE];
  char text[QX_TEA_CHALLENGE_TEXT_SIZE];
  ASSERT_EQ(qx_tea_challenge_make(buffer, text), 0);
  char answer[QX_TEA_CHALLENGE_TEXT_SIZE];
  ASSERT_EQ(qx_tea_challenge_check(text, reinterpret_cast<uint8_t *>(answer), &key, QX_TEA_CHALLENGE_ANSWER),
            QX_TEA_CHALLENGE_OK);
  EXPECT_EQ(qx_tea_challenge_check(answer, buffer, &key, QX_TEA_CHALLENGE_VERIFY), QX_TEA_CHALLENGE_OK);
}

TEST(UdpsTeaChallenge, AnswerMadeWithAnotherKeyIsAMismatch) {
  const qx_tea_key key = LibraryKey(kVectorKey);
  const qx_tea_key other = LibraryKey(kZeroKey);
  uint8_t challenge[QX_TEA_CHALLENGE_BUFFER_SIZE] = {};
  memcpy(challenge, kChallenge, QX_TEA_CHALLENGE_BYTES);
  char answer[QX_TEA_CHALLENGE_TEXT_SIZE];
  ASSERT_EQ(qx_tea_challenge_check(SummedText(kChallenge).c_str(), reinterpret_cast<uint8_t *>(answer), &other,
                                   QX_TEA_CHALLENGE_ANSWER),
            QX_TEA_CHALLENGE_OK);
  EXPECT_EQ(qx_tea_challenge_check(answer, challenge, &key, QX_TEA_CHALLENGE_VERIFY), QX_TEA_CHALLENGE_MISMATCH);
  EXPECT_EQ(qx_tea_challenge_check(answer, challenge, &other, QX_TEA_CHALLENGE_VERIFY), QX_TEA_CHALLENGE_OK);
}

class UdpsTeaChallengeSum : public ::testing::TestWithParam<int> {};

TEST_P(UdpsTeaChallengeSum, TextWhoseBytesDoNotSumToZeroIsRefused) {
  const qx_tea_key key = LibraryKey(kVectorKey);
  std::string text = SummedText(kChallenge);
  text[0] = text[0] == 'A' ? 'B' : 'A';  // changes the first byte and so the sum
  uint8_t buffer[QX_TEA_CHALLENGE_TEXT_SIZE] = {};
  memcpy(buffer, kChallenge, QX_TEA_CHALLENGE_BYTES);
  EXPECT_EQ(qx_tea_challenge_check(text.c_str(), buffer, &key, GetParam()), QX_TEA_CHALLENGE_BAD_SUM);
}

INSTANTIATE_TEST_SUITE_P(Modes, UdpsTeaChallengeSum,
                         ::testing::Values(QX_TEA_CHALLENGE_ANSWER, QX_TEA_CHALLENGE_VERIFY),
                         [](const ::testing::TestParamInfo<int> &info) {
                           return info.param == QX_TEA_CHALLENGE_ANSWER ? "answer" : "verify";
                         });

}  // namespace
