// Escaping of texts written into XML documents.
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

}  // namespace
