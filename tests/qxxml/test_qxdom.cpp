// The tree parser: what it builds from each construct, every error it
// reports, the child chains, look-ups and UTF-16 input.
#include <gtest/gtest.h>

#include <string>

#include "qxxml/qxdom/qxdom.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

using qxdom_test::dump;
using qxdom_test::Parsed;

struct ParseCase {
  const char *name;
  std::string input;
  std::string tree;   // dump() of the document
  std::string error;  // the document's error text
};

std::ostream &operator<<(std::ostream &out, const ParseCase &c) { return out << c.name; }

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, BuildsTreeAndReportsError) {
  const ParseCase &c = GetParam();
  Parsed parsed(c.input);
  ASSERT_NE(parsed.doc(), nullptr);
  EXPECT_EQ(dump(parsed.root()), c.tree) << "input: " << c.input;
  EXPECT_EQ(parsed.error(), c.error) << "input: " << c.input;
  EXPECT_EQ(qxdom_test::chain_faults(parsed.root()), "");
}

std::string error_text(int line, const std::string &message) {
  return "[error near line " + std::to_string(line) + "]: " + message;
}

const ParseCase constructs[] = {
    {"text_before_first_lt_is_ignored", "garbage<a>x</a>", "a\"x\"", ""},
    {"bare_attribute_gets_empty_value", "<a x=\"1\" y/>", "a[x=1,y=]", ""},
    {"mixed_text_joins_and_child_keeps_offset", "<a>1<b/>2</a>", "a\"12\"(b@1)", ""},
    {"hex_character_reference_e9_is_two_bytes", "<a>&#xE9;</a>", "a\"\\xC3\\xA9\"", ""},
    {"decimal_character_references", "<a>&#233;&#65;</a>", "a\"\\xC3\\xA9A\"", ""},
    {"four_byte_character_reference", "<a>&#x1F600;</a>", "a\"\\xF0\\x9F\\x98\\x80\"", ""},
    {"ampersand_lt_entity_stays_four_characters", "<a>&amp;lt;</a>", "a\"&lt;\"", ""},
    {"predefined_entities", "<a>&lt;&gt;&quot;&apos;&amp;</a>", "a\"<>\"'&\"", ""},
    {"unresolvable_references_are_kept", "<a>&nope; &#0; &#12 &#x110000; &#xD800;</a>",
     "a\"&nope; &#0; &#12 &#x110000; &#xD800;\"", ""},
    {"crlf_in_attribute_becomes_one_blank", "<a x=\"1\r\n2\"/>", "a[x=1 2]", ""},
    {"whitespace_in_attribute_becomes_blanks", "<a x=\"1\t2\n3\r4\"/>", "a[x=1 2 3 4]", ""},
    {"character_references_to_whitespace_in_attribute_are_kept", "<a x=\"1&#xA;2&#9;3&#13;\"/>", "a[x=1\\n2\\t3\\r]",
     ""},
    {"line_ends_in_text_become_line_feeds", "<a>1\r\n2\r3\n4</a>", "a\"1\\n2\\n3\\n4\"", ""},
    {"cdata_keeps_markup_and_references", "<a>x<![CDATA[<&amp;>]]>y</a>", "a\"x<&amp;>y\"", ""},
    {"cdata_normalises_line_ends", "<a><![CDATA[1\r\n2]]]></a>", "a\"1\\n2]\"", ""},
    {"comment_is_skipped", "<a>1<!-- <b> -->2</a>", "a\"12\"", ""},
    {"single_quoted_value", "<a x='say \"hi\"'/>", "a[x=say \"hi\"]", ""},
    {"unquoted_word_is_the_next_name", "<a x=y z=\"1\"/>", "a[x=,y=,z=1]", ""},
    {"whitespace_after_end_tag_stays_text", "<a><b/> x <c></c> y</a>", "a\" x  y\"(b@0 c@3)", ""},
    {"nested_elements", "<a><b><c>t</c></b></a>", "a(b(c\"t\"@0)@0)", ""},
    {"equal_offsets_keep_document_order", "<a><b/><c/><b/></a>", "a(b@0 c@0 b@0)", ""},
    {"empty_root", "<a/>", "a", ""},
    {"text_outside_the_root_is_ignored", "x<a>1</a>y", "a\"1\"", ""},
    {"end_tag_with_blanks_before_gt", "<a>x</a  >", "a\"x\"", ""},
    {"names_with_bytes_above_0x80", "<\xC3\xA9l>x</\xC3\xA9l>", "\\xC3\\xA9l\"x\"", ""},
    {"byte_order_mark_of_utf8_is_skipped", "\xEF\xBB\xBF<a/>", "a", ""},
    {"references_in_attribute_value", "<a x=\"&lt;&amp;&#x41;\"/>", "a[x=<&A]", ""},
    {"processing_instruction_is_not_text", "<a>1<?p x?>2</a>", "a\"12\"", ""},
    {"declared_entity", "<!DOCTYPE a [<!ENTITY e \"x&amp;y\">]><a>[&e;]</a>", "a\"[x&y]\"", ""},
    {"entity_with_markup_gives_text", "<!DOCTYPE a [<!ENTITY e \"<b>\">]><a>&e;</a>", "a\"<b>\"", ""},
    {"entities_expand_inside_each_other", "<!DOCTYPE a [<!ENTITY i \"in\"><!ENTITY o \"(&i;)\">]><a>&o;</a>",
     "a\"(in)\"", ""},
    {"parameter_entity_in_entity_value", "<!DOCTYPE a [<!ENTITY % p \"pe\"><!ENTITY e \"[%p;]\">]><a>&e;</a>",
     "a\"[pe]\"", ""},
    {"entity_in_attribute_is_normalised", "<!DOCTYPE a [<!ENTITY e \"v&#10;w\">]><a x=\"&e;\"/>", "a[x=v w]", ""},
    {"first_entity_declaration_binds", "<!DOCTYPE a [<!ENTITY e \"1\"><!ENTITY e \"2\">]><a>&e;</a>", "a\"1\"", ""},
    {"external_entity_is_skipped", "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.xml\">]><a>&e;</a>", "a\"&e;\"", ""},
    {"declared_token_attribute_is_collapsed", "<!DOCTYPE a [<!ATTLIST a t NMTOKENS #IMPLIED>]><a t=\"  x   y  \"/>",
     "a[t=x y]", ""},
    {"declared_cdata_attribute_is_not_collapsed", "<!DOCTYPE a [<!ATTLIST a t CDATA #IMPLIED>]><a t=\"  x   y  \"/>",
     "a[t=  x   y  ]", ""},
    {"declaration_of_another_element_does_not_apply", "<!DOCTYPE a [<!ATTLIST b t NMTOKENS #IMPLIED>]><a t=\" x  y\"/>",
     "a[t= x  y]", ""},
    {"quotes_and_brackets_inside_the_doctype",
     "<!DOCTYPE a SYSTEM \"x>y\" [<!ENTITY e \"]>\"><!-- ] --><!ELEMENT a (#PCDATA)>]><a>&e;</a>", "a\"]>\"", ""},
    {"parameter_reference_ends_the_declarations", "<!DOCTYPE a [%ext;<!ENTITY e \"x\">]><a>&e;</a>", "a\"&e;\"", ""},
    {"standalone_document_reads_on_after_parameter_reference",
     "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE a [%ext;<!ENTITY e \"x\">]><a>&e;</a>", "a\"x\"", ""},
};

INSTANTIATE_TEST_SUITE_P(Constructs, ParseTable, testing::ValuesIn(constructs),
                         [](const testing::TestParamInfo<ParseCase> &info) { return info.param.name; });

const ParseCase errors[] = {
    {"empty_input", "", "-", error_text(1, "root tag missing")},
    {"no_markup", "just text", "-", error_text(1, "root tag missing")},
    {"no_element", "<!-- c -->\n", "-", error_text(1, "root tag missing")},
    {"start_tag_after_root", "<a/><b/>", "a", error_text(1, "markup outside of root element")},
    {"missing_double_quote", "<a x=\"1/>", "a", error_text(1, "missing \"")},
    {"missing_single_quote", "<a\nx='1/>", "a", error_text(2, "missing '")},
    {"start_tag_without_gt", "<a b c", "a[b=]", error_text(1, "missing >")},
    {"empty_element_tag_without_gt", "<a/ >", "a", error_text(1, "missing >")},
    {"end_tag_without_gt", "<a></a b>", "a", error_text(1, "missing >")},
    {"mismatched_end_tag", "<a></b>", "a", error_text(1, "unexpected closing tag </b>")},
    {"end_tag_before_any_element", "</a>", "-", error_text(1, "unexpected closing tag </a>")},
    {"unclosed_comment", "<a><!-- x </a>", "a", error_text(1, "unclosed <!--")},
    {"double_dash_inside_comment", "<a><!-- x -- y --></a>", "a", error_text(1, "unclosed <!--")},
    {"unclosed_cdata", "<a><![CDATA[ x </a>", "a", error_text(1, "unclosed <![CDATA[")},
    {"unclosed_doctype", "<!DOCTYPE a [ <!ENTITY x 'y'> ", "-", error_text(1, "unclosed <!DOCTYPE")},
    {"unclosed_doctype_quote", "<!DOCTYPE a SYSTEM \"x ", "-", error_text(1, "unclosed <!DOCTYPE")},
    {"unclosed_processing_instruction", "<a><?pi x </a>", "a", error_text(1, "unclosed <?")},
    {"unknown_declaration", "<a><!x></a>", "a", error_text(1, "unexpected <")},
    {"lt_before_blank", "<a>< b</a>", "a", error_text(1, "unexpected <")},
    {"unclosed_outer_tag", "<a><b></b>", "a(b@0)", error_text(1, "unclosed tag <a>")},
    {"unclosed_inner_tag", "<a>\n<b>\n\n", "a\"\\n\"(b\"\\n\"@1)", error_text(3, "unclosed tag <b>")},
    {"entity_refers_to_itself", "<!DOCTYPE a [<!ENTITY x \"a&x;\">]><a/>", "-",
     error_text(1, "circular entity declaration &x")},
    {"entities_refer_to_each_other", "<!DOCTYPE a [<!ENTITY x \"&y;\">\n<!ENTITY y \"-&x;-\">]><a/>", "-",
     error_text(2, "circular entity declaration &y")},
    {"entity_refers_to_itself_through_character_reference", "<!DOCTYPE a [<!ENTITY x \"&#38;x;\">]><a/>", "-",
     error_text(1, "circular entity declaration &x")},
    {"parameter_entity_refers_to_itself", "<!DOCTYPE a [<!ENTITY % p \"%p;\">]><a/>", "-",
     error_text(1, "circular entity declaration &p")},
    {"attlist_without_element", "<!DOCTYPE a [<!ATTLIST>]><a/>", "-", error_text(1, "unclosed <!ATTLIST")},
    {"attlist_cut_off_after_keyword", "<!DOCTYPE a [<!ATTLIST  ", "-", error_text(1, "unclosed <!ATTLIST")},
    {"attlist_without_type", "<!DOCTYPE a [<!ATTLIST a x>]><a/>", "-", error_text(1, "malformed <!ATTLIST")},
    {"attlist_without_default", "<!DOCTYPE a [<!ATTLIST a x CDATA>]><a/>", "-", error_text(1, "malformed <!ATTLIST")},
    {"attlist_without_closing_quote", "<!DOCTYPE a [<!ATTLIST a x CDATA \"v>]><a/>", "-",
     error_text(1, "malformed <!ATTLIST")},
    {"error_line_counts_line_feeds", "<a>\n<b>\n</c>", "a\"\\n\"(b\"\\n\"@1)",
     error_text(3, "unexpected closing tag </c>")},
    {"error_line_counts_the_text_before_decoding", "<a>&amp;\n\n</b>", "a\"&\\n\\n\"",
     error_text(3, "unexpected closing tag </b>")},
};

INSTANTIATE_TEST_SUITE_P(Errors, ParseTable, testing::ValuesIn(errors),
                         [](const testing::TestParamInfo<ParseCase> &info) { return info.param.name; });

TEST(ParseErrors, LongNameIsCutToTheErrorField) {
  Parsed parsed("<a></" + std::string(300, 'x') + ">");
  std::string error = parsed.error();
  EXPECT_EQ(error.size(), QXDOM_ERROR_MAX - 1u);
  EXPECT_EQ(error.rfind("[error near line 1]: unexpected closing tag </xxx", 0), 0u) << error;
}

TEST(ParseErrors, FirstErrorStopsTheParse) {
  Parsed parsed("<a><b x='1></b><c/></a>");
  EXPECT_EQ(parsed.error(), error_text(1, "missing '"));
  EXPECT_EQ(qxdom_find_child(parsed.root(), "c"), nullptr);
  EXPECT_STREQ(qxdom_error_text(qxdom_find_child(parsed.root(), "b")), parsed.doc()->error);
}

TEST(ParseState, CurrentFollowsTheOpenElement) {
  Parsed closed("<a><b/></a>");
  EXPECT_EQ(closed.doc()->current, nullptr);
  Parsed open("<a><b>x");
  EXPECT_EQ(open.doc()->current, qxdom_find_child(open.root(), "b"));
}

TEST(ParseState, CallerBufferIsKeptAndTextsPointIntoIt) {
  std::string text = "<a x=\"1\">t<b/>&lt;</a>";
  std::vector<char> buffer(text.begin(), text.end());
  qxdom_document *doc = qxdom_parse_memory(buffer.data(), buffer.size());
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->buffer, buffer.data());
  EXPECT_EQ(doc->buffer_owned, 0);
  EXPECT_EQ(doc->text_start, buffer.data());
  EXPECT_EQ(doc->text_end, buffer.data() + buffer.size());
  EXPECT_EQ(doc->node.name, buffer.data() + 1);           // name in place
  EXPECT_EQ(doc->node.attributes[1], buffer.data() + 6);  // value in place
  EXPECT_EQ(std::string(doc->node.attributes[3]), " ");   // marks: not allocated
  EXPECT_TRUE(doc->node.flags & QXDOM_TEXT_ALLOCATED);    // two pieces joined
  EXPECT_STREQ(doc->node.text, "t<");
  qxdom_release(&doc->node);
}

TEST(ParseState, GrownValuesAreAllocatedAndMarked) {
  Parsed parsed("<!DOCTYPE a [<!ENTITY e \"a longer replacement\">]><a x=\"&e;\" y=\"&lt;\">&e;</a>");
  char **attributes = parsed.root()->attributes;
  EXPECT_STREQ(attributes[1], "a longer replacement");
  EXPECT_STREQ(attributes[3], "<");
  const char *marks = attributes[5];
  EXPECT_TRUE(marks[0] & QXDOM_MARK_VALUE_ALLOCATED);
  EXPECT_EQ(marks[1], ' ');  // "&lt;" shrinks in place
  EXPECT_TRUE(parsed.root()->flags & QXDOM_TEXT_ALLOCATED);
}

TEST(Chains, SameNameAndGroupLinksOfXYX) {
  Parsed parsed("<r><x>1</x><y>2</y><x>3</x></r>");
  qxdom_node *first_x = qxdom_find_child(parsed.root(), "x");
  ASSERT_NE(first_x, nullptr);
  EXPECT_STREQ(first_x->text, "1");
  ASSERT_NE(first_x->same_next, nullptr);
  EXPECT_STREQ(first_x->same_next->text, "3");
  ASSERT_NE(first_x->group_next, nullptr);
  EXPECT_STREQ(first_x->group_next->name, "y");
  EXPECT_EQ(first_x->group_next, qxdom_find_child(parsed.root(), "y"));
  EXPECT_EQ(first_x->order_next, first_x->group_next);
  EXPECT_EQ(first_x->order_next->order_next, first_x->same_next);
  EXPECT_EQ(first_x->same_next->group_next, nullptr);
  EXPECT_EQ(first_x->parent, parsed.root());
  EXPECT_EQ(parsed.root()->parent, nullptr);
}

TEST(Chains, KeepInvariantsForInterleavedNames) {
  std::string text = "<r>";
  const char *names[] = {"a", "b", "a", "c", "c", "b", "a", "d", "a"};
  for (int round = 0; round < 20; round++) {
    for (const char *name : names) text += std::string("<") + name + ">t</" + name + ">";
  }
  text += "</r>";
  Parsed parsed(text);
  ASSERT_EQ(parsed.error(), "");
  EXPECT_EQ(qxdom_test::chain_faults(parsed.root()), "");
  int count = 0;
  for (qxdom_node *a = qxdom_find_child(parsed.root(), "a"); a; a = a->same_next) count++;
  EXPECT_EQ(count, 80);
}

TEST(Lookups, FindChildIsCaseSensitiveAndNullSafe) {
  Parsed parsed("<r><Name>n</Name></r>");
  EXPECT_NE(qxdom_find_child(parsed.root(), "Name"), nullptr);
  EXPECT_EQ(qxdom_find_child(parsed.root(), "name"), nullptr);
  EXPECT_EQ(qxdom_find_child(nullptr, "Name"), nullptr);
  EXPECT_EQ(qxdom_find_child(parsed.root(), nullptr), nullptr);
}

TEST(Lookups, SameNameAtAndFollowPath) {
  Parsed parsed("<r><s><e>0</e><e>1</e><e>2</e></s><s><e>3</e></s></r>");
  qxdom_node *s = qxdom_find_child(parsed.root(), "s");
  EXPECT_STREQ(qxdom_same_name_at(qxdom_find_child(s, "e"), 2)->text, "2");
  EXPECT_EQ(qxdom_same_name_at(qxdom_find_child(s, "e"), 3), nullptr);
  EXPECT_EQ(qxdom_same_name_at(qxdom_find_child(s, "e"), -1), nullptr);
  EXPECT_STREQ(qxdom_follow_path(parsed.root(), "s", 0, "e", 1, "")->text, "1");
  EXPECT_STREQ(qxdom_follow_path(parsed.root(), "s", 1, "e", 0, nullptr)->text, "3");
  EXPECT_EQ(qxdom_follow_path(parsed.root(), "s", 2, "e", 0, ""), nullptr);
  EXPECT_EQ(qxdom_follow_path(parsed.root(), ""), parsed.root());
}

TEST(Lookups, AttributeFallsBackToDeclaredDefault) {
  Parsed parsed(
      "<!DOCTYPE r [<!ATTLIST e kind (a|b) \"a\" tags NMTOKENS #IMPLIED note CDATA #IMPLIED "
      "fixed CDATA #FIXED \"&lt;f&gt;\">]><r><e kind=\"b\"/><e/><f/></r>");
  ASSERT_EQ(parsed.error(), "");
  qxdom_node *first = qxdom_find_child(parsed.root(), "e");
  qxdom_node *second = first->same_next;
  struct Row {
    const qxdom_node *node;
    const char *attribute;
    const char *expected;  // null: no value
  } rows[] = {
      {first, "kind", "b"},
      {second, "kind", "a"},
      {second, "fixed", "<f>"},
      {second, "tags", nullptr},
      {second, "note", nullptr},
      {second, "other", nullptr},
      {qxdom_find_child(parsed.root(), "f"), "kind", nullptr},
  };
  for (const Row &row : rows) {
    const char *value = qxdom_attribute(row.node, row.attribute);
    if (row.expected)
      EXPECT_STREQ(value, row.expected) << row.attribute;
    else
      EXPECT_EQ(value, nullptr) << row.attribute << " gave " << value;
  }
  EXPECT_EQ(qxdom_attribute(nullptr, "kind"), nullptr);
  // tags is recorded (for normalisation) with a null default; note is not.
  char **defaults = parsed.doc()->attribute_defaults[0];
  EXPECT_STREQ(defaults[0], "e");
  EXPECT_STREQ(defaults[4], "tags");
  EXPECT_EQ(defaults[5], nullptr);
  EXPECT_STREQ(defaults[6], "*");
  EXPECT_STREQ(defaults[7], "fixed");
  EXPECT_EQ(parsed.doc()->attribute_defaults[1], nullptr);
}

TEST(Lookups, InstructionsByTargetWithTheirPlace) {
  Parsed parsed("<?xml version=\"1.0\"?><?t one?><!DOCTYPE r [<?t two?>]><r><?t  three ?><?u?></r><?t four?>");
  ASSERT_EQ(parsed.error(), "");
  char **texts = qxdom_instructions(parsed.doc(), "t");
  std::vector<std::string> got;
  for (char **t = texts; *t; t++) got.push_back(*t);
  EXPECT_EQ(got, (std::vector<std::string>{"one", "two", "three ", "four"}));
  EXPECT_STREQ(texts[got.size() + 1], "<<>>");
  EXPECT_EQ(qxdom_instructions(parsed.doc(), "u")[0], std::string(""));
  EXPECT_EQ(qxdom_instructions(parsed.doc(), "none")[0], nullptr);
  EXPECT_EQ(qxdom_instructions(parsed.doc(), "xml")[0], nullptr);
  EXPECT_EQ(parsed.doc()->standalone, 0);
}

TEST(Lookups, StandaloneDeclaration) {
  struct Row {
    const char *declaration;
    int standalone;
  } rows[] = {{"<?xml version='1.0' standalone='yes'?>", 1},
              {"<?xml version=\"1.0\" standalone = \"yes\" ?>", 1},
              {"<?xml version='1.0' standalone='no'?>", 0},
              {"<?xml version='1.0'?>", 0}};
  for (const Row &row : rows) {
    Parsed parsed(std::string(row.declaration) + "<a/>");
    EXPECT_EQ(parsed.doc()->standalone, row.standalone) << row.declaration;
  }
}

TEST(Lookups, EntityListStartsWithThePredefinedOnes) {
  Parsed parsed("<!DOCTYPE a [<!ENTITY mine \"m\">]><a/>");
  char **entities = parsed.doc()->entities;
  const char *expected[] = {"lt",   "&#60;", "gt",  "&#62;", "quot", "&#34;",
                            "apos", "&#39;", "amp", "&#38;", "mine", "m"};
  for (size_t i = 0; i < std::size(expected); i++) EXPECT_STREQ(entities[i], expected[i]) << i;
  EXPECT_EQ(entities[std::size(expected)], nullptr);
}

// UTF-16 input: the byte-order mark, then units in that order.
std::string utf16(const std::u16string &text, bool big_endian, char second = 0) {
  std::string out;
  out += big_endian ? '\xFE' : '\xFF';
  out += second ? second : (big_endian ? '\xFF' : '\xFE');
  for (char16_t unit : text) {
    char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  }
  return out;
}

TEST(Utf16, ConvertedByTheFirstByte) {
  struct Row {
    const char *name;
    std::string input;
    std::string tree;
  } rows[] = {
      {"little_endian", utf16(u"<a x=\"\u00E9\">\u20AC</a>", false), "a[x=\\xC3\\xA9]\"\\xE2\\x82\\xAC\""},
      {"big_endian", utf16(u"<a>\u00E9</a>", true), "a\"\\xC3\\xA9\""},
      {"ff_with_any_second_byte", utf16(u"<a>z</a>", false, 'Q'), "a\"z\""},
      {"surrogate_pair", utf16(u"<a>\U0001F600</a>", false), "a\"\\xF0\\x9F\\x98\\x80\""},
      {"unpaired_surrogate_is_replaced", utf16(std::u16string(u"<a>") + char16_t(0xD800) + u"</a>", false),
       "a\"\\xEF\\xBF\\xBD\""},
  };
  for (const Row &row : rows) {
    Parsed parsed(row.input);
    EXPECT_EQ(dump(parsed.root()), row.tree) << row.name;
    EXPECT_EQ(parsed.error(), "") << row.name;
    EXPECT_NE(parsed.doc()->converted, nullptr) << row.name;
    EXPECT_EQ(parsed.doc()->text_start, parsed.doc()->converted) << row.name;
  }
}

TEST(Utf16, ShortInputsReportNoRoot) {
  for (std::string input : {std::string("\xFF"), std::string("\xFF\xFE"), std::string("\xFE\xFF<")}) {
    Parsed parsed(input);
    EXPECT_EQ(parsed.error(), error_text(1, "root tag missing")) << input.size();
  }
}

}  // namespace
