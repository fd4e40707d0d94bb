// Decoding of texts and attribute values around the bytes that end a run of
// plain text: references, line ends and whitespace at the start, the end and
// next to each other, replacement texts that shrink or grow the result, and
// every such combination checked against libxml2.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <string>
#include <vector>

#include "qxxml/qxdom/qxdom.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

using qxdom_test::Parsed;

// Entities of every kind of replacement: shorter than the reference, longer
// than it, nested, and holding a carriage return from a character reference
// beside a line end of its own.
const std::string kDoctype =
    "<!DOCTYPE r [<!ENTITY s \"S\"><!ENTITY long \"a replacement much longer than its reference\">"
    "<!ENTITY nest \"(&s;&long;&#65;)\"><!ENTITY cr \"1&#13;2\r\n3\">]>";

struct RunCase {
  const char *name;
  std::string input;  // after the doctype
  std::string dump;
};

void PrintTo(const RunCase &c, std::ostream *os) { *os << c.name; }

class QxdomRuns : public ::testing::TestWithParam<RunCase> {};

TEST_P(QxdomRuns, DecodesAsWritten) {
  const RunCase &c = GetParam();
  Parsed parsed(kDoctype + c.input);
  ASSERT_EQ(parsed.error(), "");
  EXPECT_EQ(qxdom_test::dump(parsed.root()), c.dump);
  EXPECT_EQ(qxdom_test::chain_faults(parsed.root()), "");
}

const std::string kLong = "a replacement much longer than its reference";

const RunCase kRunCases[] = {
    {"text_without_references_stays_whole", "<r>plain text</r>", "r\"plain text\""},
    {"reference_first_and_last", "<r>&amp;middle&lt;</r>", "r\"&middle<\""},
    {"references_only", "<r>&amp;&#65;&#x20AC;</r>", "r\"&A\\xE2\\x82\\xAC\""},
    {"carriage_return_last_before_a_child", "<r>a\r<c/>b\r\n</r>", "r\"a\\nb\\n\"(c@2)"},
    {"carriage_return_pairs_in_a_row", "<r>\r\n\r\n\r\r\n</r>", "r\"\\n\\n\\n\\n\""},
    {"referenced_carriage_return_before_a_line_feed", "<r>a&#13;\nb</r>", "r\"a\\r\\nb\""},
    {"shrunk_text_moves_the_rest_back", "<r>&lt;&lt;&lt;" + std::string(100, 'x') + "</r>",
     "r\"<<<" + std::string(100, 'x') + "\""},
    {"text_grows_after_it_shrank", "<r>&lt;x&long;y&lt;</r>", "r\"<x" + kLong + "y<\""},
    {"grown_text_goes_on_in_runs", "<r>&long;" + std::string(100, 'z') + "&amp;z</r>",
     "r\"" + kLong + std::string(100, 'z') + "&z\""},
    {"nested_entities", "<r>[&nest;]</r>", "r\"[(S" + kLong + "A)]\""},
    {"entity_keeps_its_carriage_return_in_text", "<r>&cr;</r>", "r\"1\\r2\\n3\""},
    {"entity_carriage_return_is_a_blank_in_an_attribute", "<r a=\"&cr;\"/>", "r[a=1 2 3]"},
    {"attribute_whitespace_beside_references", "<r a=\"\t&amp;\n&#9;\r\n&s;\t\"/>", "r[a= & \\t S ]"},
    {"single_quoted_attribute_with_runs", "<r a='x\"y&apos;z'/>", "r[a=x\"y'z]"},
    {"cdata_line_ends_at_its_end", "<r><![CDATA[a&amp;\r\n]]><![CDATA[\r]]></r>", "r\"a&amp;\\n\\n\""},
    {"pieces_joined_across_children", "<r>&s;<c/>x&#13;<c/>&long;</r>", "r\"Sx\\r" + kLong + "\"(c@1 c@3)"},
};

INSTANTIATE_TEST_SUITE_P(Cases, QxdomRuns, ::testing::ValuesIn(kRunCases),
                         [](const ::testing::TestParamInfo<RunCase> &info) { return std::string(info.param.name); });

// Pieces that end or begin a run, each well-formed in a text and in a
// double-quoted attribute value. Not &cr;: libxml2 reads the carriage return
// its replacement holds in a text as a line end, where it stands for the
// character reference that put it there (see the table above).
const char *const kPieces[] = {"a",    "bc", "&amp;", "&lt;", "&#65;", "&#x20AC;", "&#13;",  "&#10;", "&#9;",
                               "\r\n", "\r", "\n",    "\t",   " ",     "&s;",      "&long;", "&nest;"};

struct Reference {
  std::string text;
  std::string attribute;
};

Reference reference_reading(const std::string &document) {
  Reference out;
  xmlDoc *doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                              XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) return out;
  xmlNode *root = xmlDocGetRootElement(doc);
  xmlChar *text = root ? xmlNodeGetContent(root) : nullptr;
  xmlChar *attribute = root ? xmlGetProp(root, reinterpret_cast<const xmlChar *>("a")) : nullptr;
  if (text) out.text = reinterpret_cast<const char *>(text);
  if (attribute) out.attribute = reinterpret_cast<const char *>(attribute);
  xmlFree(text);
  xmlFree(attribute);
  xmlFreeDoc(doc);
  return out;
}

// Every sequence of three pieces, as a text and as an attribute value.
TEST(QxdomRunsDifferential, EveryThreePiecesReadAsLibxml2ReadsThem) {
  std::vector<std::string> faults;
  size_t compared = 0;
  for (const char *first : kPieces) {
    for (const char *second : kPieces) {
      for (const char *third : kPieces) {
        const std::string value = std::string(first) + second + third;
        const std::string document = kDoctype + "<r a=\"" + value + "\">" + value + "</r>";
        const Reference expected = reference_reading(document);
        Parsed parsed(document);
        const char *attribute = qxdom_attribute(parsed.root(), "a");
        if (!parsed.error().empty() || parsed.root()->text != expected.text || !attribute ||
            expected.attribute != attribute) {
          faults.push_back(qxdom_test::escaped(value.c_str()));
        }
        compared++;
      }
    }
  }
  for (size_t i = 0; i < faults.size() && i < 20; i++) ADD_FAILURE() << "reads differently: \"" << faults[i] << "\"";
  EXPECT_TRUE(faults.empty()) << faults.size() << " of " << compared << " sequences read differently";
}

}  // namespace
