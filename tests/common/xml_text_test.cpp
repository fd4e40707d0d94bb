// Escaping of texts written into XML documents, and decoding of texts read
// from them.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "common/qx_xml_text.h"

namespace {

struct EscapeRow {
  const char *name;
  std::string text;
  int length;  // as passed; negative: up to the zero
  std::string expected;
};

void PrintTo(const EscapeRow &row, std::ostream *os) { *os << row.name; }

class CommonXmlEscape : public ::testing::TestWithParam<EscapeRow> {};

// Each row is escaped into a buffer with exactly room for the result and its
// zero, and the size query agrees with what was written.
TEST_P(CommonXmlEscape, WritesTheEscapedText) {
  const EscapeRow &row = GetParam();
  const int length = row.length < 0 ? row.length : static_cast<int>(row.text.size());
  std::vector<char> out(row.expected.size() + 1 + 8, 'Z');
  const int size = static_cast<int>(row.expected.size()) + 1;
  ASSERT_EQ(qx_xml_escape(row.text.c_str(), length, out.data(), size), static_cast<int>(row.expected.size()));
  EXPECT_EQ(std::string(out.data(), row.expected.size()), row.expected);
  EXPECT_EQ(out[row.expected.size()], '\0');
  for (size_t i = static_cast<size_t>(size); i < out.size(); i++) EXPECT_EQ(out[i], 'Z') << "written past at " << i;
  EXPECT_EQ(qx_xml_escape(row.text.c_str(), length, nullptr, 0), static_cast<int>(row.expected.size()));
}

const EscapeRow kEscapeRows[] = {
    {"plain_text_is_copied", "Probe 1", 0, "Probe 1"},
    {"ampersand", "a&b", 0, "a&amp;b"},
    {"markup_cannot_close_its_element", "x</Name><Calib>9.9</Calib><Name>y", 0,
     "x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y"},
    {"double_quote_for_attribute_values", "say \"hi\"", 0, "say &quot;hi&quot;"},
    {"apostrophe_and_blanks_kept", "it's\t\n", 0, "it's\t\n"},
    {"references_are_escaped_again", "&amp;", 0, "&amp;amp;"},
    {"utf8_unchanged", "K\xC3\xBChlraum S\xC3\xBC\x64", 0, "K\xC3\xBChlraum S\xC3\xBC\x64"},
    {"empty", "", 0, ""},
    {"up_to_the_zero", "<a>", -1, "&lt;a&gt;"},
    {"zero_byte_inside_the_length_is_copied", std::string("a\0&", 3), 0, std::string("a\0&amp;", 7)},
};

INSTANTIATE_TEST_SUITE_P(Rows, CommonXmlEscape, ::testing::ValuesIn(kEscapeRows),
                         [](const ::testing::TestParamInfo<EscapeRow> &info) { return std::string(info.param.name); });

TEST(CommonXmlEscapeUse, OnlyTheGivenLengthIsRead) {
  char out[16];
  EXPECT_EQ(qx_xml_escape("a&b<c", 2, out, sizeof out), 6);
  EXPECT_STREQ(out, "a&amp;");
}

// A text that does not fit is refused whole: nothing of it, not even the
// zero, reaches the buffer.
TEST(CommonXmlEscapeUse, TextThatDoesNotFitIsRefusedWithNothingWritten) {
  struct Row {
    const char *name;
    const char *text;
    int out_size;
  };
  const Row rows[] = {
      {"reference_one_byte_short", "a&", 6},
      {"no_room_for_the_zero", "abc", 3},
      {"empty_buffer", "", 0},
      {"negative_size", "a", -1},
  };
  for (const Row &row : rows) {
    std::vector<char> out(8, 'Z');
    EXPECT_EQ(qx_xml_escape(row.text, -1, out.data(), row.out_size), -1) << row.name;
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(8, 'Z')) << row.name;
  }
  char exact[7];
  EXPECT_EQ(qx_xml_escape("a&", -1, exact, sizeof exact), 6) << "the same text with room for its zero";
}

// Callers size buffers by the declared growth: a text of the worst bytes
// fills such a buffer exactly.
TEST(CommonXmlEscapeUse, NoByteGrowsBeyondTheDeclaredMaximum) {
  for (int byte = 0; byte < 256; byte++) {
    const char text[] = {static_cast<char>(byte), '\0'};
    EXPECT_LE(qx_xml_escape(text, 1, nullptr, 0), QX_XML_ESCAPE_GROWTH_MAX) << byte;
  }
  const std::string quotes(64, '"');
  std::vector<char> out(quotes.size() * QX_XML_ESCAPE_GROWTH_MAX + 1);
  EXPECT_EQ(qx_xml_escape(quotes.c_str(), -1, out.data(), static_cast<int>(out.size())),
            static_cast<int>(out.size()) - 1);
}

TEST(CommonXmlEscapeUse, MissingTextIsRefused) {
  char out[8] = "kept";
  EXPECT_EQ(qx_xml_escape(nullptr, 3, out, sizeof out), -1);
  EXPECT_EQ(qx_xml_escape(nullptr, -1, nullptr, 0), -1);
  EXPECT_STREQ(out, "kept");
}

struct UnescapeRow {
  const char *name;
  std::string text;
  std::string expected;
};

void PrintTo(const UnescapeRow &row, std::ostream *os) { *os << row.name; }

class CommonXmlUnescape : public ::testing::TestWithParam<UnescapeRow> {};

// Each row is decoded into a buffer with exactly room for the result and its
// zero, and the size query agrees with what was written.
TEST_P(CommonXmlUnescape, WritesTheDecodedText) {
  const UnescapeRow &row = GetParam();
  const int length = static_cast<int>(row.text.size());
  std::vector<char> out(row.expected.size() + 1 + 8, 'Z');
  const int size = static_cast<int>(row.expected.size()) + 1;
  ASSERT_EQ(qx_xml_unescape(row.text.data(), length, out.data(), size), static_cast<int>(row.expected.size()));
  EXPECT_EQ(std::string(out.data(), row.expected.size()), row.expected);
  EXPECT_EQ(out[row.expected.size()], '\0');
  for (size_t i = static_cast<size_t>(size); i < out.size(); i++) EXPECT_EQ(out[i], 'Z') << "written past at " << i;
  EXPECT_EQ(qx_xml_unescape(row.text.data(), length, nullptr, 0), static_cast<int>(row.expected.size()));
}

// In place, as a reader decodes the text it received.
TEST_P(CommonXmlUnescape, DecodesInPlace) {
  const UnescapeRow &row = GetParam();
  std::vector<char> text(row.text.begin(), row.text.end());
  text.push_back('\0');
  ASSERT_EQ(qx_xml_unescape(text.data(), static_cast<int>(row.text.size()), text.data(), static_cast<int>(text.size())),
            static_cast<int>(row.expected.size()));
  EXPECT_EQ(std::string(text.data(), row.expected.size()), row.expected);
}

const UnescapeRow kUnescapeRows[] = {
    {"plain_text_is_copied", "Probe 1", "Probe 1"},
    {"predefined_references", "&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
    {"name_with_markup", "x&lt;/Name&gt;&lt;Network&gt;y", "x</Name><Network>y"},
    {"decimal_reference", "a&#38;b", "a&b"},
    {"hexadecimal_reference", "a&#x26;b", "a&b"},
    {"hexadecimal_digits_in_either_case", "&#x4a;&#x4A;", "JJ"},
    {"leading_zeros", "&#0038;", "&"},
    {"tab_reference", "a&#9;b", "a\tb"},
    {"two_byte_utf8", "&#xE9;", "\xC3\xA9"},
    {"three_byte_utf8", "&#8364;", "\xE2\x82\xAC"},
    {"four_byte_utf8", "&#x1F600;", "\xF0\x9F\x98\x80"},
    {"last_code_point", "&#x10FFFF;", "\xF4\x8F\xBF\xBF"},
    {"decoded_once", "&amp;amp;", "&amp;"},
    {"bare_ampersand_kept", "a & b", "a & b"},
    {"ampersand_before_a_reference", "&&lt;", "&<"},
    {"trailing_ampersand_kept", "a&", "a&"},
    {"unknown_entity_kept", "&nbsp;x", "&nbsp;x"},
    {"name_without_semicolon_kept", "&amp x", "&amp x"},
    {"unterminated_at_the_end_kept", "&lt", "&lt"},
    {"predefined_names_are_case_sensitive", "&AMP;", "&AMP;"},
    {"number_without_semicolon_kept", "&#38 x", "&#38 x"},
    {"number_without_digits_kept", "&#;&#x;", "&#;&#x;"},
    {"capital_x_kept", "&#X26;", "&#X26;"},
    {"letters_in_a_decimal_kept", "&#3a;", "&#3a;"},
    {"zero_kept", "&#0;", "&#0;"},
    {"control_character_kept", "&#1;", "&#1;"},
    {"surrogate_kept", "&#xD800;", "&#xD800;"},
    {"non_character_kept", "&#xFFFE;", "&#xFFFE;"},
    {"beyond_the_last_code_point_kept", "&#x110000;", "&#x110000;"},
    {"number_too_long_for_any_integer_kept", "&#99999999999999999999999;", "&#99999999999999999999999;"},
    {"utf8_unchanged", "K\xC3\xBChlraum", "K\xC3\xBChlraum"},
    {"zero_byte_inside_the_length_is_copied", std::string("a\0&lt;", 6), std::string("a\0<", 3)},
    {"empty", "", ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, CommonXmlUnescape, ::testing::ValuesIn(kUnescapeRows),
                         [](const ::testing::TestParamInfo<UnescapeRow> &info) {
                           return std::string(info.param.name);
                         });

TEST(CommonXmlUnescapeUse, OnlyTheGivenLengthIsRead) {
  char out[16];
  EXPECT_EQ(qx_xml_unescape("a&amp;b", 4, out, sizeof out), 4) << "a reference cut by the length is kept";
  EXPECT_STREQ(out, "a&am");
  EXPECT_EQ(qx_xml_unescape("&lt;b&gt;", -1, out, sizeof out), 3) << "a negative length reads up to the zero";
  EXPECT_STREQ(out, "<b>");
}

// Whatever the escaping writes decodes back to the text it was given, for
// every byte and for texts of them.
TEST(CommonXmlUnescapeUse, UndoesTheEscaping) {
  std::string every_byte;
  for (int byte = 1; byte < 256; byte++) every_byte.push_back(static_cast<char>(byte));
  const std::string texts[] = {every_byte, "x</Name></Network><Network><Name>y", "a&b & c;", "&amp;&#38;"};
  for (const std::string &text : texts) {
    std::vector<char> escaped(text.size() * QX_XML_ESCAPE_GROWTH_MAX + 1);
    const int escaped_length =
        qx_xml_escape(text.data(), static_cast<int>(text.size()), escaped.data(), static_cast<int>(escaped.size()));
    ASSERT_GE(escaped_length, 0) << text;
    std::vector<char> decoded(text.size() + 1);
    ASSERT_EQ(qx_xml_unescape(escaped.data(), escaped_length, decoded.data(), static_cast<int>(decoded.size())),
              static_cast<int>(text.size()))
        << text;
    EXPECT_EQ(std::string(decoded.data(), text.size()), text);
  }
}

// A text that does not fit is refused whole: nothing of it, not even the
// zero, reaches the buffer.
TEST(CommonXmlUnescapeUse, TextThatDoesNotFitIsRefusedWithNothingWritten) {
  struct Row {
    const char *name;
    const char *text;
    int out_size;
  };
  const Row rows[] = {
      {"no_room_for_the_zero", "&lt;ab", 3},
      {"empty_buffer", "", 0},
      {"negative_size", "a", -1},
  };
  for (const Row &row : rows) {
    std::vector<char> out(8, 'Z');
    EXPECT_EQ(qx_xml_unescape(row.text, -1, out.data(), row.out_size), -1) << row.name;
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string(8, 'Z')) << row.name;
  }
  char exact[4];
  EXPECT_EQ(qx_xml_unescape("&lt;ab", -1, exact, sizeof exact), 3) << "the same text with room for its zero";
}

TEST(CommonXmlUnescapeUse, MissingTextIsRefused) {
  char out[8] = "kept";
  EXPECT_EQ(qx_xml_unescape(nullptr, 3, out, sizeof out), -1);
  EXPECT_EQ(qx_xml_unescape(nullptr, -1, nullptr, 0), -1);
  EXPECT_STREQ(out, "kept");
}

}  // namespace
