#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "common/qx_crc16.h"

namespace {

struct CrcRow {
  const char *name;
  std::string data;
  unsigned int initial;
  unsigned int expected;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const CrcRow &row, std::ostream *os) { *os << row.name; }

// Published check values: CRC-16/XMODEM starts at 0, CRC-16/CCITT-FALSE is
// the same polynomial started at 0xFFFF.
const CrcRow kCrcRows[] = {
    {"xmodem_check", "123456789", 0, 0x31C3},
    {"ccitt_false_check", "123456789", 0xFFFF, 0x29B1},
    {"single_letter", "A", 0, 0x58E5},
    {"zero_byte", std::string(1, '\0'), 0, 0x0000},
    {"high_bytes", std::string(4, '\xFF'), 0, 0x99CF},
    {"empty_keeps_initial", "", 0x1234, 0x1234},
};

class CommonCrc16 : public ::testing::TestWithParam<CrcRow> {};

TEST_P(CommonCrc16, MatchesCheckValue) {
  const CrcRow &row = GetParam();
  EXPECT_EQ(qx_crc16(row.initial, row.data.data(), static_cast<int>(row.data.size())), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Vectors, CommonCrc16, ::testing::ValuesIn(kCrcRows),
                         [](const ::testing::TestParamInfo<CrcRow> &info) { return info.param.name; });

TEST(CommonCrc16Use, ContinuingFromAPartialResultGivesTheWholeResult) {
  const unsigned int first = qx_crc16(0, "1234", 4);
  EXPECT_EQ(qx_crc16(first, "56789", 5), 0x31C3u);
}

TEST(CommonCrc16Use, ResultFitsSixteenBits) {
  char data[256];
  for (int i = 0; i < 256; ++i) data[i] = static_cast<char>(i);
  EXPECT_LE(qx_crc16(0, data, sizeof data), 0xFFFFu);
  EXPECT_EQ(qx_crc16(0, data, sizeof data), 0x7E55u);
}

TEST(CommonCrc16Use, NoDataGivesInitial) {
  EXPECT_EQ(qx_crc16(0xBEEF, nullptr, 10), 0xBEEFu);
  EXPECT_EQ(qx_crc16(0xBEEF, "abc", 0), 0xBEEFu);
  EXPECT_EQ(qx_crc16(0xBEEF, "abc", -3), 0xBEEFu);
}

}  // namespace
