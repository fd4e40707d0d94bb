// The path-table parser against a reference that finds keys the plain way:
// every text compares the current path with every key of the table, and the
// prefixed root is searched byte by byte. Both parse every document the
// device simulator serves (each variant, with and without prefixed roots,
// whole, cut short and with bare ampersands), every fixture document and a
// table of hand-made paths; records, counts, the rewritten text, the result
// and how the document parsed must come out the same, byte for byte.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "docmodel_slot.h"
#include "qxxml/qxxml_meter_private.h"
#include "tools/devsim/devsim.h"

namespace {

namespace fs = std::filesystem;

// --- The reference -----------------------------------------------------------

struct free_deleter {
  void operator()(void *p) const { std::free(p); }
};
using zeroed_block = std::unique_ptr<void, free_deleter>;

const char *prefixed_root_start(int kind) { return kind == QXXML_DOC_VALUES ? "<val:Root" : "<set:Root"; }

struct reference_parse {
  int kind = QXXML_DOC_VALUES;
  const qxxml_key *keys = nullptr;
  int key_count = 0;
  int list_count = 0;
  zeroed_block record;
  zeroed_block counts;
  int entry = 0;
  std::string path;
  std::string entry_path;
  int ignored_depth = 0;
  int stopped = 0;
  int not_well_formed = 0;
  int error_line = 0;
  int result = 0;
};

reference_parse *reference_of(void *user_data) { return static_cast<reference_parse *>(user_data); }

void reference_start(void *user_data, const xmlChar *name_text, const xmlChar **) {
  reference_parse *r = reference_of(user_data);
  if (r->stopped) return;
  if (r->ignored_depth > 0) {
    r->ignored_depth++;
    return;
  }
  const std::string name = reinterpret_cast<const char *>(name_text);
  const size_t separator = r->path.empty() ? 0 : 1;
  if (r->path.size() + separator + name.size() >= QXXML_PATH_MAX) {
    r->ignored_depth = 1;
    return;
  }
  if (separator) r->path += '_';
  r->path += name;
  if (name == "Entry") {
    if (r->entry_path != r->path) r->entry = 0;
    r->entry_path = r->path;
  }
}

void reference_end(void *user_data, const xmlChar *name_text) {
  reference_parse *r = reference_of(user_data);
  if (r->stopped) return;
  if (r->ignored_depth > 0) {
    r->ignored_depth--;
    return;
  }
  const std::string name = reinterpret_cast<const char *>(name_text);
  if (name == "Entry") {
    for (int list = 0; list < r->list_count; list++) {
      if (r->entry_path != qxxml_lists[list].entry_path) continue;
      int *count = reinterpret_cast<int *>(static_cast<char *>(r->counts.get()) + qxxml_lists[list].count_offset);
      r->entry = ++*count;
      break;
    }
  }
  r->path.resize(r->path.size() - std::min(r->path.size(), name.size() + 1));
}

void reference_characters(void *user_data, const xmlChar *bytes, int length) {
  reference_parse *r = reference_of(user_data);
  if (r->stopped || r->ignored_depth > 0) return;
  for (int i = 0; i < r->key_count; i++) {
    if (r->path != r->keys[i].key) continue;
    char *field = qxxml_field(r->record.get(), &r->keys[i], r->entry);
    if (!field) return;
    const size_t piece = strnlen(reinterpret_cast<const char *>(bytes), static_cast<size_t>(length));
    const size_t current = strnlen(field, static_cast<size_t>(r->keys[i].bytes));
    if (current + piece >= static_cast<size_t>(r->keys[i].bytes) - 1) return;
    std::memcpy(field + current, bytes, piece);
    field[current + piece] = '\0';
    return;
  }
}

void reference_error(void *user_data, const char *, ...) {
  reference_parse *r = reference_of(user_data);
  if (r->stopped) return;
  r->stopped = 1;
  const xmlError *error = xmlGetLastError();
  if (error && error->code == XML_ERR_TAG_NAME_MISMATCH && r->ignored_depth == 0 && r->path == "Root" && error->str2 &&
      std::strcmp(error->str2, prefixed_root_start(r->kind) + 1) == 0)
    return;
  r->not_well_formed = 1;
  r->error_line = error ? error->line : 0;
}

void reference_rewrite(char *text, int length, int kind) {
  const char *pattern = prefixed_root_start(kind);
  const int pattern_length = static_cast<int>(std::strlen(pattern));
  for (int start = 0; start < length - pattern_length; start++) {
    if (std::memcmp(text + start, pattern, pattern_length) != 0) continue;
    const char *close = static_cast<const char *>(std::memchr(text + start, '>', static_cast<size_t>(length - start)));
    if (!close) return;
    const int end = static_cast<int>(close - text);
    std::memset(text + start, ' ', static_cast<size_t>(end - start + 1));
    std::memcpy(text + start, "<Root>", 6);
    return;
  }
}

void reference_run(reference_parse *r, char *text, int length, int kind) {
  r->kind = kind;
  const bool values = kind == QXXML_DOC_VALUES;
  r->keys = values ? qxxml_values_keys : qxxml_setup_keys;
  r->key_count = values ? static_cast<int>(QXXML_VALUES_KEY_COUNT) : static_cast<int>(QXXML_SETUP_KEY_COUNT);
  r->list_count = values ? QXXML_VALUES_LIST_COUNT : QXXML_LIST_COUNT;
  r->record.reset(std::calloc(1, values ? sizeof(qxxml_values) : sizeof(qxxml_setup)));
  r->counts.reset(std::calloc(1, values ? sizeof(qxxml_values_counts) : sizeof(qxxml_setup_counts)));
  reference_rewrite(text, length, kind);
  xmlSAXHandler handler;
  std::memset(&handler, 0, sizeof handler);
  handler.startElement = reference_start;
  handler.endElement = reference_end;
  handler.characters = reference_characters;
  handler.error = reference_error;
  r->result = xmlSAXUserParseMemory(&handler, r, text, length);
  if (values)
    qxxml_read_meter_tree(static_cast<qxxml_values *>(r->record.get()),
                          static_cast<qxxml_values_counts *>(r->counts.get()), text, length);
}

// --- Comparison ----------------------------------------------------------------

// Where two blocks first differ, for the failure message.
std::string first_difference(const void *a, const void *b, size_t size) {
  const unsigned char *x = static_cast<const unsigned char *>(a);
  const unsigned char *y = static_cast<const unsigned char *>(b);
  for (size_t i = 0; i < size; i++)
    if (x[i] != y[i]) return "first difference at byte " + std::to_string(i);
  return "no difference";
}

class ParseDifferential : public SlotRecords {
 protected:
  // Parses doc as kind with the library and with the reference; every
  // outcome must match.
  void expect_same(const std::string &doc, int kind, const std::string &label) {
    SCOPED_TRACE(label + (kind == QXXML_DOC_VALUES ? " as values" : " as setup"));
    reference_parse reference;
    std::vector<char> reference_text(doc.begin(), doc.end());
    reference_run(&reference, reference_text.data(), static_cast<int>(reference_text.size()), kind);
    ASSERT_TRUE(reference.record && reference.counts);

    const int result = parse(doc, kind);
    EXPECT_EQ(result, reference.result < 0 ? -1 : 0);
    EXPECT_EQ(text, reference_text) << "rewritten text";
    const qxxml_doc_quality &quality = qxxml_slots[kSlot].arriving;
    EXPECT_EQ(quality.not_well_formed, reference.not_well_formed || reference.result < 0);
    EXPECT_EQ(quality.error_line, reference.error_line);

    const qxxml_slot_storage &s = qxxml_slots[kSlot];
    const void *record = kind == QXXML_DOC_VALUES ? static_cast<const void *>(s.values) : s.setup;
    const void *counts = kind == QXXML_DOC_VALUES ? static_cast<const void *>(s.values_counts) : s.setup_counts;
    const size_t record_size = kind == QXXML_DOC_VALUES ? sizeof(qxxml_values) : sizeof(qxxml_setup);
    const size_t counts_size = kind == QXXML_DOC_VALUES ? sizeof(qxxml_values_counts) : sizeof(qxxml_setup_counts);
    ASSERT_TRUE(record && counts);
    EXPECT_EQ(std::memcmp(record, reference.record.get(), record_size), 0)
        << "record: " << first_difference(record, reference.record.get(), record_size);
    EXPECT_EQ(std::memcmp(counts, reference.counts.get(), counts_size), 0)
        << "counts: " << first_difference(counts, reference.counts.get(), counts_size);
  }

  void expect_same_both_kinds(const std::string &doc, const std::string &label) {
    expect_same(doc, QXXML_DOC_VALUES, label);
    expect_same(doc, QXXML_DOC_SETUP, label);
  }

  // The document whole, cut short at several places (the parse stops at
  // the fault) and with every "&amp;" bare, as some devices send it.
  void expect_same_with_damage(const std::string &doc, const std::string &label) {
    expect_same_both_kinds(doc, label);
    constexpr size_t kCuts = 7;
    for (size_t k = 1; k < kCuts; k++) {
      const size_t cut = doc.size() * k / kCuts;
      expect_same_both_kinds(doc.substr(0, cut), label + " cut at " + std::to_string(cut));
    }
    std::string bare = doc;
    for (size_t at = bare.find("&amp;"); at != std::string::npos; at = bare.find("&amp;", at + 1))
      bare.erase(at + 1, 4);
    if (bare != doc) expect_same_both_kinds(bare, label + " with bare ampersands");
  }
};

// --- Every simulated device ----------------------------------------------------

class ParseDifferentialVariant : public ParseDifferential, public ::testing::WithParamInterface<std::string> {};

TEST_P(ParseDifferentialVariant, ServedDocumentsParseAlike) {
  std::optional<devsim::DeviceConfig> config = devsim::variant(GetParam());
  ASSERT_TRUE(config);
  for (const bool prefixed : {false, true}) {
    config->prefixed_root = prefixed;
    devsim::Server server;
    ASSERT_GT(server.start(*config), 0) << server.error();
    const std::string values = server.values_document();
    const std::string setup = server.setup_document();
    server.stop();
    ASSERT_FALSE(values.empty());
    ASSERT_FALSE(setup.empty());
    const std::string form = prefixed ? " prefixed" : " plain";
    expect_same_with_damage(values, GetParam() + form + " values");
    expect_same_with_damage(setup, GetParam() + form + " setup");
  }
}

std::string test_name(const std::string &text) {
  std::string name;
  for (char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Devsim, ParseDifferentialVariant, ::testing::ValuesIn(devsim::variant_names()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return test_name(info.param); });

// --- Every fixture document --------------------------------------------------------

std::vector<std::string> fixture_documents() {
  std::vector<std::string> names;
  for (const fs::directory_entry &entry : fs::recursive_directory_iterator(QX_FIXTURES))
    if (entry.is_regular_file() && entry.path().extension() == ".xml")
      names.push_back(fs::relative(entry.path(), QX_FIXTURES).string());
  return names;
}

class ParseDifferentialFixture : public ParseDifferential, public ::testing::WithParamInterface<std::string> {};

TEST_P(ParseDifferentialFixture, ParsesAlike) {
  const std::string doc = read_fixture(GetParam().c_str());
  ASSERT_FALSE(doc.empty());
  expect_same_with_damage(doc, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ParseDifferentialFixture, ::testing::ValuesIn(fixture_documents()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return test_name(info.param); });

// --- Paths the tables reach in more than one way ---------------------------------

struct EdgeCase {
  const char *name;
  std::string doc;
};
void PrintTo(const EdgeCase &c, std::ostream *os) { *os << c.name; }

// More distinct element names than the parser remembers steps for, each
// opened twice, with keys between, so that remembered steps are replaced and
// taken again; an Entry among them after the replacements.
std::string many_distinct_names() {
  constexpr int kNames = 1200;
  std::string unknown;
  for (int i = 0; i < kNames; i++) unknown += "<u" + std::to_string(i) + ">x</u" + std::to_string(i) + ">";
  return "<Root>" + unknown + "<Agent><Model>1</Model></Agent>" + unknown +
         "<SenSet><Entry><Name>a</Name></Entry><Entry><Name>b</Name></Entry></SenSet><Agent><Version>2</Version>"
         "</Agent></Root>";
}

const EdgeCase kEdgeCases[] = {
    // A key path reached through names that hold '_' themselves.
    {"UnderscoreNames",
     "<Root><Agent_Model>45</Agent_Model><Agent><Version>1</Version></Agent>"
     "<SenSet_Entry><Name>a</Name></SenSet_Entry><SenSet><Entry_Name>b</Entry_Name></SenSet></Root>"},
    {"WholePathAsOneName", "<Root_Agent_DeviceName>whole</Root_Agent_DeviceName>"},
    {"RootWithUnderscore", "<Root_><Agent_Model>1</Agent_Model></Root_>"},
    {"LeadingUnderscoreName", "<Root><_Agent><Model>1</Model></_Agent></Root>"},
    // Entries: lists the kind counts and lists it does not, nested and
    // interleaved entries, entries outside any list.
    {"EntriesOfEveryList",
     "<Root><BinaryInSet><Entry><Name>i</Name></Entry></BinaryInSet>"
     "<TempRangeSet><Entry><Name>t</Name></Entry><Entry/></TempRangeSet>"
     "<User><Entry><Name>u</Name></Entry></User><SenSet><Entry><Name>s</Name></Entry></SenSet></Root>"},
    {"NestedEntry",
     "<Root><SenSet><Entry><Name>a</Name><X><Entry><Name>b</Name></Entry></X><ID>1</ID></Entry>"
     "<Entry><Name>c</Name></Entry></SenSet></Root>"},
    {"ListResumedAfterAnotherList",
     "<Root><SenSet><Entry><Name>a</Name></Entry></SenSet><Foo><Entry/></Foo>"
     "<SenSet><Entry><Name>b</Name></Entry></SenSet></Root>"},
    {"EntryAsRoot", "<Entry><Name>x</Name></Entry>"},
    {"MoreEntriesThanCapacity",
     "<Root><SnmpTraps><Entry><IPAddr>1</IPAddr></Entry><Entry><IPAddr>2</IPAddr></Entry><Entry><IPAddr>3</IPAddr></"
     "Entry>"
     "<Entry><IPAddr>4</IPAddr></Entry><Entry><IPAddr>5</IPAddr></Entry></SnmpTraps></Root>"},
    // Texts: split by references and comments, too long for the field,
    // after a child closed, in a key's child.
    {"TextPieces", "<Root><Agent><DeviceName>a&amp;b<!--c-->d<![CDATA[e]]></DeviceName></Agent></Root>"},
    {"TextTooLong", "<Root><Agent><Model>123456789</Model><MAC>" + std::string(40, 'm') + "</MAC></Agent></Root>"},
    {"TextAroundChildren", "<Root><Agent><Model>1<X>2</X>3</Model>4</Agent></Root>"},
    // A path that no longer fits, and keys after it.
    {"PathTooLong", "<Root><Agent><" + std::string(QXXML_PATH_MAX, 'n') + "><Model>1</Model></" +
                        std::string(QXXML_PATH_MAX, 'n') + "><Model>2</Model></Agent></Root>"},
    {"DeepUnknownTree",
     "<Root><A><B><C><D><E><F><G><H>x</H></G></F></E></D></C></B></A><Agent><Model>5</Model>"
     "</Agent></Root>"},
    // Faults: mismatched tags, a second root, the prefix in either kind.
    {"MismatchedTag", "<Root><Agent><Model>1</Agent><Version>2</Version></Root>"},
    {"PrefixedRootsOfBothKinds",
     "<val:Root xmlns:val=\"u\"><Agent><Model>1</Model></Agent></val:Root><set:Root><Agent/></set:Root>"},
    {"Empty", ""},
    // One name below different parents, keyed and not, each time taking the
    // step of its own parent.
    {"SameNameBelowManyParents",
     "<Root><Agent><Model>1</Model></Agent><X><Model>2</Model><Agent><Model>3</Model></Agent></X>"
     "<SenSet><Entry><Name>a</Name><X><Name>b</Name></X></Entry></SenSet><Name>c</Name>"
     "<Agent><Model>4</Model></Agent></Root>"},
    {"ManyDistinctNames", many_distinct_names()},
    // Colons everywhere before the prefixed root, one of them a near match.
    {"ColonsBeforePrefixedRoot",
     "<?xml version=\"1.0\"?><!-- 12:00 val:Roo set:Rot --><val:Root a:b=\"c:d\"><Agent><Model>1:2</Model>"
     "</Agent></val:Root>"},
};

class ParseDifferentialEdge : public ParseDifferential, public ::testing::WithParamInterface<EdgeCase> {};

TEST_P(ParseDifferentialEdge, ParsesAlike) { expect_same_with_damage(GetParam().doc, GetParam().name); }

INSTANTIATE_TEST_SUITE_P(Cases, ParseDifferentialEdge, ::testing::ValuesIn(kEdgeCases),
                         [](const ::testing::TestParamInfo<EdgeCase> &info) { return std::string(info.param.name); });

}  // namespace
