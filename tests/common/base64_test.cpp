#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "common/qx_base64.h"

namespace {

const char kSentinel = '#';

std::string encode(const std::string &data, int mode = -1, int line_length = 0, int *error = nullptr) {
  std::string out(4096, kSentinel);
  const int n =
      mode < 0 ? qx_base64_encode(data.data(), static_cast<int>(data.size()), &out[0], static_cast<int>(out.size()))
               : qx_base64_encode_ex(data.data(), static_cast<int>(data.size()), &out[0], static_cast<int>(out.size()),
                                     mode, line_length, error);
  // Nothing beyond the returned length may have been touched.
  EXPECT_EQ(out.find_first_not_of(kSentinel, static_cast<size_t>(n)), std::string::npos);
  return out.substr(0, static_cast<size_t>(n));
}

std::string decode(const std::string &text, int flags = 0, const char **bad = nullptr, int *error = nullptr) {
  std::string out(4096, kSentinel);
  const int n = qx_base64_decode_ex(text.data(), static_cast<int>(text.size()), &out[0], static_cast<int>(out.size()),
                                    flags, bad, error);
  EXPECT_EQ(out.find_first_not_of(kSentinel, static_cast<size_t>(n)), std::string::npos);
  return out.substr(0, static_cast<size_t>(n));
}

struct VectorRow {
  const char *name;
  const char *data;
  const char *text;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const VectorRow &row, std::ostream *os) { *os << row.name; }

// RFC 4648 section 10 test vectors.
const VectorRow kRfcVectors[] = {
    {"empty", "", ""},
    {"f", "f", "Zg=="},
    {"fo", "fo", "Zm8="},
    {"foo", "foo", "Zm9v"},
    {"foob", "foob", "Zm9vYg=="},
    {"fooba", "fooba", "Zm9vYmE="},
    {"foobar", "foobar", "Zm9vYmFy"},
};

class CommonBase64Vectors : public ::testing::TestWithParam<VectorRow> {};

TEST_P(CommonBase64Vectors, Encodes) { EXPECT_EQ(encode(GetParam().data), GetParam().text); }

TEST_P(CommonBase64Vectors, Decodes) {
  std::string out(16, kSentinel);
  const int n = qx_base64_decode(GetParam().text, static_cast<int>(std::strlen(GetParam().text)), &out[0],
                                 static_cast<int>(out.size()));
  EXPECT_EQ(out.substr(0, static_cast<size_t>(n)), GetParam().data);
}

INSTANTIATE_TEST_SUITE_P(Rfc4648, CommonBase64Vectors, ::testing::ValuesIn(kRfcVectors),
                         [](const ::testing::TestParamInfo<VectorRow> &info) { return info.param.name; });

TEST(CommonBase64Encode, PaddingByRemainder) {
  EXPECT_EQ(encode(std::string("\x01\x02\x03", 3)), "AQID");
  EXPECT_EQ(encode(std::string("\x01\x02", 2)), "AQI=");
  EXPECT_EQ(encode(std::string("\x01", 1)), "AQ==");
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");  // the last two alphabet characters
}

TEST(CommonBase64SizeQuery, NullOutputGivesNeededSize) {
  for (int length = 1; length <= 3; ++length)
    EXPECT_EQ(qx_base64_encode("abc", length, nullptr, 0), 4) << "encode of " << length << " bytes";
  for (int length = 1; length <= 4; ++length)
    EXPECT_EQ(qx_base64_decode("QUJD", length, nullptr, 0), 3) << "decode of " << length << " characters";
  EXPECT_EQ(qx_base64_decode("QUJDRA", 6, nullptr, 0), 6);
  EXPECT_EQ(qx_base64_encode("", 0, nullptr, 0), 0);
}

struct LineRow {
  const char *name;
  int mode;
  int line_length;
  int data_length;
  std::vector<int> line_lengths;  // expected lengths of the lines between CR LF
};

void PrintTo(const LineRow &row, std::ostream *os) { *os << row.name; }

const LineRow kLineRows[] = {
    {"given_4", QX_BASE64_LINES_GIVEN, 4, 6, {4, 4}},
    {"given_5_uneven", QX_BASE64_LINES_GIVEN, 5, 6, {5, 3}},
    {"given_negative_is_64", QX_BASE64_LINES_GIVEN, -1, 60, {64, 16}},
    {"given_zero_is_none", QX_BASE64_LINES_GIVEN, 0, 60, {80}},
    {"mode_64_exact_line", QX_BASE64_LINES_64, 0, 48, {64}},
    {"mode_64_one_more", QX_BASE64_LINES_64, 0, 49, {64, 4}},
    {"mode_64_three_lines", QX_BASE64_LINES_64, 0, 96 + 1, {64, 64, 4}},
    {"mode_76", QX_BASE64_LINES_76, 10, 58, {76, 4}},
    {"mode_1_is_none", 1, 4, 12, {16}},
    {"mode_15_is_none", 15, 4, 12, {16}},
    {"high_bits_ignored", 0x10 | QX_BASE64_LINES_64, 0, 49, {64, 4}},
    {"empty_with_lines", QX_BASE64_LINES_GIVEN, 4, 0, {}},
};

class CommonBase64Lines : public ::testing::TestWithParam<LineRow> {};

TEST_P(CommonBase64Lines, BreaksBetweenLinesOnly) {
  const LineRow &row = GetParam();
  const std::string data(static_cast<size_t>(row.data_length), 'z');
  std::string expected;
  for (size_t i = 0; i < row.line_lengths.size(); ++i) {
    if (i > 0) expected += "\r\n";
    expected += std::string(static_cast<size_t>(row.line_lengths[i]), '*');
  }
  const int needed = qx_base64_encode_ex(data.data(), row.data_length, nullptr, 0, row.mode, row.line_length, nullptr);
  EXPECT_EQ(needed, static_cast<int>(expected.size()));

  int error = -1;
  std::string text = encode(data, row.mode, row.line_length, &error);
  EXPECT_EQ(error, QX_BASE64_OK);
  // Compare the shape: every Base64 character becomes '*'.
  std::string shape = text;
  for (char &c : shape) {
    if (c != '\r' && c != '\n') c = '*';
  }
  EXPECT_EQ(shape, expected);
  EXPECT_EQ(decode(text), data);
}

INSTANTIATE_TEST_SUITE_P(Modes, CommonBase64Lines, ::testing::ValuesIn(kLineRows),
                         [](const ::testing::TestParamInfo<LineRow> &info) { return info.param.name; });

TEST(CommonBase64Lines, EmptyInputWithLineBreaksNeedsNoRoom) {
  int error = -1;
  EXPECT_EQ(qx_base64_encode_ex("", 0, nullptr, 0, QX_BASE64_LINES_64, 0, &error), 0);
  EXPECT_EQ(error, QX_BASE64_OK);
}

TEST(CommonBase64Lines, NoTrailingBreakWhenCapacityExceedsNeed) {
  // 96 bytes make exactly two lines of 64: one CR LF between them, none after.
  const std::string data(96, 'q');
  const std::string text = encode(data, QX_BASE64_LINES_64, 0);
  ASSERT_EQ(text.size(), 130u);
  EXPECT_EQ(text.substr(64, 2), "\r\n");
  EXPECT_NE(text.back(), '\n');
}

TEST(CommonBase64Capacity, EncodeBelowNeededWritesNothing) {
  const std::string data(49, 'c');
  const int needed = qx_base64_encode_ex(data.data(), 49, nullptr, 0, QX_BASE64_LINES_64, 0, nullptr);
  ASSERT_EQ(needed, 70);
  std::string out(100, kSentinel);
  int error = -1;
  EXPECT_EQ(qx_base64_encode_ex(data.data(), 49, &out[0], needed - 1, QX_BASE64_LINES_64, 0, &error), 0);
  EXPECT_EQ(error, QX_BASE64_NO_ROOM);
  EXPECT_EQ(out, std::string(100, kSentinel));

  EXPECT_EQ(qx_base64_encode_ex(data.data(), 49, &out[0], needed, QX_BASE64_LINES_64, 0, &error), needed);
  EXPECT_EQ(error, QX_BASE64_OK);
  EXPECT_EQ(out.substr(static_cast<size_t>(needed)), std::string(100 - needed, kSentinel));
  EXPECT_EQ(qx_base64_encode("abcd", 4, &out[0], 7), 0);
}

TEST(CommonBase64Capacity, DecodeBelowNeededWritesNothing) {
  // "QQ==" holds one byte but a group of 4 characters may need 3.
  std::string out(8, kSentinel);
  int error = -1;
  EXPECT_EQ(qx_base64_decode_ex("QQ==", 4, &out[0], 2, 0, nullptr, &error), 0);
  EXPECT_EQ(error, QX_BASE64_NO_ROOM);
  EXPECT_EQ(out, std::string(8, kSentinel));
  EXPECT_EQ(qx_base64_decode_ex("QQ==", 4, &out[0], 3, 0, nullptr, &error), 1);
  EXPECT_EQ(error, QX_BASE64_OK);
  EXPECT_EQ(out[0], 'A');
  EXPECT_EQ(qx_base64_decode("QUJDRA", 6, &out[0], 5), 0);
}

struct DecodeRow {
  const char *name;
  const char *text;
  int flags;
  std::string expected;
  int error;
  int bad_offset;  // -1: no bad position
};

void PrintTo(const DecodeRow &row, std::ostream *os) { *os << row.name; }

const DecodeRow kDecodeRows[] = {
    {"space_skipped", "Zm9v YmFy", 0, "foobar", QX_BASE64_OK, -1},
    {"space_refused", "Zm9v YmFy", QX_BASE64_STRICT_BLANK, "", QX_BASE64_BAD_CHARACTER, 4},
    {"tab_refused", "Zm\t9v", QX_BASE64_STRICT_BLANK, "", QX_BASE64_BAD_CHARACTER, 2},
    {"vertical_tab_refused", "Zm9\vv", QX_BASE64_STRICT_BLANK, "", QX_BASE64_BAD_CHARACTER, 3},
    {"backspace_refused", "\bZm9v", QX_BASE64_STRICT_BLANK, "", QX_BASE64_BAD_CHARACTER, 0},
    {"space_kept_by_other_flag", "Zm9v YmFy", QX_BASE64_STRICT_OTHER, "foobar", QX_BASE64_OK, -1},
    {"other_skipped", "Zm9v*YmFy", 0, "foobar", QX_BASE64_OK, -1},
    {"other_skipped_by_blank_flag", "Zm9v*YmFy", QX_BASE64_STRICT_BLANK, "foobar", QX_BASE64_OK, -1},
    {"other_refused", "Zm9v*YmFy", QX_BASE64_STRICT_OTHER, "", QX_BASE64_BAD_CHARACTER, 4},
    {"form_feed_is_other", "Zm9v\fYmFy", QX_BASE64_STRICT_OTHER, "", QX_BASE64_BAD_CHARACTER, 4},
    {"high_byte_refused", "Zm9v\xC3YmFy", QX_BASE64_STRICT_OTHER, "", QX_BASE64_BAD_CHARACTER, 4},
    {"line_ends_always_skipped", "Zm9v\r\nYmFy\n", QX_BASE64_STRICT_OTHER | QX_BASE64_STRICT_BLANK, "foobar",
     QX_BASE64_OK, -1},
    {"one_padding_gives_two_bytes_and_ends", "Zm8=Zm9v", 0, "fo", QX_BASE64_OK, -1},
    {"two_paddings_give_one_byte_and_end", "Zg==Zm9v", 0, "f", QX_BASE64_OK, -1},
    {"three_paddings_give_nothing", "Z===Zm9v", 0, "", QX_BASE64_OK, -1},
    {"incomplete_last_group_dropped", "Zm9vYm", 0, "foo", QX_BASE64_OK, -1},
    {"refusal_after_padding_not_reached", "Zm8= ", QX_BASE64_STRICT_BLANK, "fo", QX_BASE64_OK, -1},
};

class CommonBase64Decode : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(CommonBase64Decode, Row) {
  const DecodeRow &row = GetParam();
  const std::string text(row.text);
  const char *bad = text.data();  // must be reset when nothing is refused
  int error = -1;
  std::string out(64, kSentinel);
  const int n = qx_base64_decode_ex(text.data(), static_cast<int>(text.size()), &out[0], static_cast<int>(out.size()),
                                    row.flags, &bad, &error);
  EXPECT_EQ(n, static_cast<int>(row.expected.size()));
  if (error == QX_BASE64_OK) {
    EXPECT_EQ(out.substr(0, static_cast<size_t>(n)), row.expected);
  }
  EXPECT_EQ(error, row.error);
  if (row.bad_offset < 0) {
    EXPECT_EQ(bad, nullptr);
  } else {
    EXPECT_EQ(bad, text.data() + row.bad_offset);
  }
}

INSTANTIATE_TEST_SUITE_P(Flags, CommonBase64Decode, ::testing::ValuesIn(kDecodeRows),
                         [](const ::testing::TestParamInfo<DecodeRow> &info) { return info.param.name; });

TEST(CommonBase64Decode, NullOutputsAreAllowed) {
  char out[8];
  EXPECT_EQ(qx_base64_decode_ex("Zm 9v", 5, out, sizeof out, QX_BASE64_STRICT_BLANK, nullptr, nullptr), 0);
  EXPECT_EQ(qx_base64_encode_ex("f", 1, out, sizeof out, 0, 0, nullptr), 4);
}

TEST(CommonBase64Arguments, NegativeLengthOrNullInputIsRefused) {
  char out[16];
  int error = -1;
  EXPECT_EQ(qx_base64_encode_ex("abc", -1, out, sizeof out, 0, 0, &error), 0);
  EXPECT_EQ(error, QX_BASE64_BAD_ARGUMENT);
  EXPECT_EQ(qx_base64_encode_ex(nullptr, 3, out, sizeof out, 0, 0, &error), 0);
  EXPECT_EQ(error, QX_BASE64_BAD_ARGUMENT);
  EXPECT_EQ(qx_base64_decode_ex("QUJD", -4, out, sizeof out, 0, nullptr, &error), 0);
  EXPECT_EQ(error, QX_BASE64_BAD_ARGUMENT);
  EXPECT_EQ(qx_base64_decode_ex(nullptr, 4, out, sizeof out, 0, nullptr, &error), 0);
  EXPECT_EQ(error, QX_BASE64_BAD_ARGUMENT);
}

TEST(CommonBase64RoundTrip, AllLengthsAndByteValues) {
  std::mt19937 random(12345);
  for (int length = 0; length <= 200; ++length) {
    std::string data(static_cast<size_t>(length), '\0');
    for (char &c : data) c = static_cast<char>(random() & 0xFF);
    EXPECT_EQ(decode(encode(data)), data) << "length " << length;
    EXPECT_EQ(decode(encode(data, QX_BASE64_LINES_76, 0)), data) << "length " << length << " with lines";
  }
}

}  // namespace
