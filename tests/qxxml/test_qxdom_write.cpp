// The tree parser's serializer, editing operations and readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "qxxml/qxdom/qxdom.h"
#include "tests/qxxml/qxdom_test_support.h"

namespace {

using qxdom_test::chain_faults;
using qxdom_test::dump;
using qxdom_test::Parsed;

std::string serialized(const qxdom_node *node) {
  char *text = qxdom_serialize(node);
  if (!text) return "<null>";
  std::string out = text;
  free(text);
  return out;
}

struct WriteCase {
  const char *name;
  std::string input;
  std::string output;
};

std::ostream &operator<<(std::ostream &out, const WriteCase &c) { return out << c.name; }

class SerializeTable : public testing::TestWithParam<WriteCase> {};

TEST_P(SerializeTable, WritesTheTree) {
  Parsed parsed(GetParam().input);
  EXPECT_EQ(serialized(parsed.root()), GetParam().output) << "input: " << GetParam().input;
}

const WriteCase write_cases[] = {
    {"attribute_escapes", "<a x=\"&amp;&lt;&gt;&quot;&#10;&#9;&#13;'\"/>",
     "<a x=\"&amp;&lt;&gt;&quot;&#xA;&#x9;&#xD;'\"></a>"},
    {"text_escapes", "<a>&amp;&lt;&gt;\"'&#10;&#9;&#13;</a>", "<a>&amp;&lt;&gt;\"'\n\t&#xD;</a>"},
    {"text_and_children_interleaved", "<a>1<b>2</b>3<c/>4</a>", "<a>1<b>2</b>3<c></c>4</a>"},
    {"instructions_before_and_after", "<?p before?><a><?q in?></a><?r after?>",
     "<?p before?>\n<a></a>\n<?q in?>\n<?r after?>"},
    {"instruction_without_text", "<?p?><a/>", "<?p?>\n<a></a>"},
    {"declared_defaults_not_overridden",
     "<!DOCTYPE a [<!ATTLIST a d CDATA \"dv\" e CDATA \"ev\" t NMTOKEN #IMPLIED d CDATA \"again\">]><a e=\"own\"/>",
     "<a e=\"own\" d=\"dv\"></a>"},
    {"default_with_unreadable_name_is_not_written",
     "<!DOCTYPE a [<!ATTLIST a x/y CDATA \"1\" p=q CDATA \"2\" ok CDATA \"3\">]><a/>", "<a ok=\"3\"></a>"},
    {"repeated_attribute_written_once", "<a x=\"1\" x=\"2\" y y/>", "<a x=\"1\" y=\"\"></a>"},
    {"cdata_becomes_escaped_text", "<a><![CDATA[<x>&]]></a>", "<a>&lt;x&gt;&amp;</a>"},
    {"entities_are_written_expanded", "<!DOCTYPE a [<!ENTITY e \"E&amp;\">]><a>&e;</a>", "<a>E&amp;</a>"},
    {"no_element_gives_empty_text", "<!-- x -->", ""},
    {"partial_tree_is_closed", "<a>1<b>2 ", "<a>1<b>2</b></a>"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SerializeTable, testing::ValuesIn(write_cases),
                         [](const testing::TestParamInfo<WriteCase> &info) { return info.param.name; });

TEST(Serialize, SubtreeAndNull) {
  Parsed parsed("<?p x?><a><b y=\"1\">t<c/></b></a>");
  EXPECT_EQ(serialized(qxdom_find_child(parsed.root(), "b")), "<b y=\"1\">t<c></c></b>");
  EXPECT_EQ(serialized(nullptr), "");
}

TEST(Serialize, SampleRoundTripIsStable) {
  Parsed first(qxdom_test::fixture("sample.xml"));
  ASSERT_EQ(first.error(), "");
  std::string once = serialized(first.root());
  Parsed second(once);
  ASSERT_EQ(second.error(), "") << once;
  EXPECT_EQ(serialized(second.root()), once);
  for (const char *part :
       {"<DeviceName>Zelvo &amp; Partner device</DeviceName>", "<Title>&lt;b&gt;raw &amp; \"kept\"&lt;/b&gt;</Title>",
        "<Entry tags=\"a b\" id=\"1\" kind=\"sensor\">",
        "<Units>\xC2\xB0"
        "C</Units>",
        "<Greeting>Hello, Zelvo &amp; Partner!</Greeting>", "one <b>bold</b> two<br></br>three",
        "<?style href=\"a.css\"?>\n<?in-subset kept?>\n<Root", "</Root>\n<?inside the root?>"}) {
    EXPECT_NE(once.find(part), std::string::npos) << part << "\nin:\n" << once;
  }
}

TEST(Serialize, OffsetsBeyondAnEditedTextAreClipped) {
  Parsed parsed("<a>long text<b/></a>");
  qxdom_replace_text(parsed.root(), "x");
  EXPECT_EQ(serialized(parsed.root()), "<a>x<b></b></a>");
}

class Edit : public testing::Test {
 protected:
  void TearDown() override { qxdom_release(doc_ ? &doc_->node : nullptr); }
  qxdom_document *doc_ = qxdom_create("r");
};

TEST_F(Edit, BuildsADocument) {
  ASSERT_NE(doc_, nullptr);
  EXPECT_STREQ(qxdom_error_text(&doc_->node), "");
  qxdom_node *child = qxdom_insert_child(&doc_->node, "c", 2);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->parent, &doc_->node);
  qxdom_replace_text(&doc_->node, "abcd");
  qxdom_put_attribute(child, "k", "v&\"");
  qxdom_replace_text(child, "<t>");
  EXPECT_EQ(serialized(&doc_->node), "<r>ab<c k=\"v&amp;&quot;\">&lt;t&gt;</c>cd</r>");
}

TEST_F(Edit, InsertedChildrenAreOrderedByOffset) {
  const struct {
    const char *name;
    uint32_t offset;
  } inserts[] = {{"a", 5}, {"b", 1}, {"a", 3}, {"b", 1}, {"c", 0}, {"a", 9}};
  for (const auto &insert : inserts) {
    ASSERT_NE(qxdom_insert_child(&doc_->node, insert.name, insert.offset), nullptr);
    ASSERT_EQ(chain_faults(&doc_->node, false), "") << insert.name << "@" << insert.offset;
  }
  EXPECT_EQ(dump(&doc_->node), "r(c@0 b@1 b@1 a@3 a@5 a@9)");
  EXPECT_STREQ(doc_->node.first_child->group_next->name, "b");
  EXPECT_EQ(qxdom_find_child(&doc_->node, "a")->text_offset, 3u);
}

TEST_F(Edit, StringsAreCopiedOnlyWhenAsked) {
  char name[] = "given";
  char text[] = "text";
  qxdom_node *plain = qxdom_insert_child(&doc_->node, name, 0);
  qxdom_replace_text(plain, text);
  EXPECT_EQ(plain->name, name);
  EXPECT_EQ(plain->text, text);

  qxdom_mark(&doc_->node, QXDOM_COPY_STRINGS);
  qxdom_node *copied = qxdom_insert_child(&doc_->node, name, 0);
  qxdom_replace_text(copied, text);
  qxdom_put_attribute(copied, name, text);
  name[0] = 'X';
  text[0] = 'X';
  EXPECT_STREQ(copied->name, "given");
  EXPECT_STREQ(copied->text, "text");
  EXPECT_STREQ(qxdom_attribute(copied, "given"), "text");
  EXPECT_EQ(copied->flags & (QXDOM_NAME_ALLOCATED | QXDOM_TEXT_ALLOCATED | QXDOM_COPY_STRINGS),
            QXDOM_NAME_ALLOCATED | QXDOM_TEXT_ALLOCATED | QXDOM_COPY_STRINGS);
  EXPECT_EQ(static_cast<unsigned char>(copied->attributes[3][0]),
            QXDOM_MARK_NAME_ALLOCATED | QXDOM_MARK_VALUE_ALLOCATED);
  qxdom_replace_text(plain, nullptr);  // back to an empty text
  EXPECT_STREQ(plain->text, "");
}

TEST_F(Edit, PutAttributeAddsReplacesAndRemoves) {
  qxdom_node *root = &doc_->node;
  qxdom_put_attribute(root, "a", "1");
  qxdom_put_attribute(root, "b", "2");
  qxdom_put_attribute(root, "a", "3");
  EXPECT_EQ(dump(root), "r[a=3,b=2]");
  EXPECT_EQ(qxdom_put_attribute(root, "none", nullptr), root);
  qxdom_put_attribute(root, "a", nullptr);
  EXPECT_EQ(dump(root), "r[b=2]");
  qxdom_put_attribute(root, "b", nullptr);
  EXPECT_EQ(dump(root), "r");
  EXPECT_EQ(qxdom_put_attribute(nullptr, "a", "1"), nullptr);
  EXPECT_EQ(qxdom_put_attribute(root, nullptr, "1"), nullptr);
}

TEST(EditParsed, RemovingARepeatedAttributeRemovesEveryCopy) {
  Parsed parsed("<a x=\"1\" y=\"2\" x=\"3\"/>");
  qxdom_put_attribute(parsed.root(), "x", nullptr);
  EXPECT_EQ(dump(parsed.root()), "a[y=2]");
}

TEST(EditParsed, DetachingAGroupHeadKeepsTheChains) {
  // The first x heads its group; once it is gone, y is the first child and
  // the second x heads a group after y.
  Parsed parsed("<r><x>1</x><y/><x>2</x><z/></r>");
  qxdom_node *x = qxdom_find_child(parsed.root(), "x");
  EXPECT_EQ(qxdom_detach(x), x);
  EXPECT_EQ(x->parent, nullptr);
  EXPECT_EQ(chain_faults(parsed.root()), "");
  EXPECT_EQ(dump(parsed.root()), "r(y@0 x\"2\"@0 z@0)");
  EXPECT_STREQ(parsed.root()->first_child->group_next->text, "2");
  EXPECT_STREQ(qxdom_error_text(x), "");  // detached: no document
  qxdom_release(x);
}

TEST(EditParsed, ReleasingAnAttachedNodeDetachesItFirst) {
  Parsed parsed("<r><a><b/></a><c/></r>");
  qxdom_release(qxdom_find_child(parsed.root(), "a"));
  EXPECT_EQ(dump(parsed.root()), "r(c@0)");
  EXPECT_EQ(chain_faults(parsed.root()), "");
}

TEST(EditParsed, MarkCannotMakeANodeADocument) {
  Parsed parsed("<r><a/></r>");
  qxdom_node *a = qxdom_find_child(parsed.root(), "a");
  qxdom_mark(a, QXDOM_DOCUMENT | QXDOM_COPY_STRINGS);
  EXPECT_EQ(a->flags, QXDOM_COPY_STRINGS);
  EXPECT_EQ(qxdom_detach(parsed.root()), parsed.root());  // a document has no parent to leave
  EXPECT_EQ(qxdom_mark(nullptr, QXDOM_COPY_STRINGS), nullptr);
}

class Read : public testing::Test {
 protected:
  const std::string path_ = std::string(QX_FIXTURES) + "/qxdom/sample.xml";
  const std::string sample_ = qxdom_test::fixture("sample.xml");
  const std::string expected_ = dump(Parsed(sample_).root());

  void expect_sample(qxdom_document *doc) {
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->buffer_owned, -1);
    EXPECT_STREQ(doc->error, "");
    EXPECT_EQ(dump(&doc->node), expected_);
    qxdom_release(&doc->node);
  }
};

TEST_F(Read, File) { expect_sample(qxdom_read_file(path_.c_str())); }

TEST_F(Read, StreamInSteps) {
  FILE *stream = fopen(path_.c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  expect_sample(qxdom_read_stream(stream));
  fclose(stream);
}

TEST_F(Read, DescriptorOfAPipeIsReadToItsEnd) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(write(ends[1], sample_.data(), sample_.size()), static_cast<ssize_t>(sample_.size()));
  close(ends[1]);
  expect_sample(qxdom_read_descriptor(ends[0]));
  close(ends[0]);
}

TEST_F(Read, LargeStreamAcrossManySteps) {
  FILE *stream = tmpfile();
  ASSERT_NE(stream, nullptr);
  std::string text = "<r>";
  for (int i = 0; i < 2000; i++) text += "<e i=\"" + std::to_string(i) + "\">v</e>";
  text += "</r>";
  fwrite(text.data(), 1, text.size(), stream);
  rewind(stream);
  qxdom_document *doc = qxdom_read_stream(stream);
  fclose(stream);
  ASSERT_NE(doc, nullptr);
  EXPECT_STREQ(doc->error, "");
  EXPECT_STREQ(qxdom_attribute(qxdom_same_name_at(qxdom_find_child(&doc->node, "e"), 1999), "i"), "1999");
  qxdom_release(&doc->node);
}

TEST_F(Read, EmptyAndMissingInputs) {
  FILE *empty = tmpfile();
  qxdom_document *doc = qxdom_read_stream(empty);
  fclose(empty);
  ASSERT_NE(doc, nullptr);
  EXPECT_STREQ(doc->error, "[error near line 1]: root tag missing");
  qxdom_release(&doc->node);
  EXPECT_EQ(qxdom_read_file("/nonexistent.invalid/x.xml"), nullptr);
  EXPECT_EQ(qxdom_read_file(nullptr), nullptr);
  EXPECT_EQ(qxdom_read_stream(nullptr), nullptr);
  EXPECT_EQ(qxdom_read_descriptor(-1), nullptr);
}

}  // namespace
