// The setup update filter: what a posted setup document looks like.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "docmodel_slot.h"

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

struct Filtered {
  int result;
  std::string text;
};

// Filters doc in a buffer with spare zero bytes after it, as posts give it.
Filtered filter(const std::string &doc, size_t spare = 1024) {
  std::vector<char> buffer(doc.begin(), doc.end());
  buffer.resize(doc.size() + spare, '\0');
  Filtered f;
  f.result = qxxml_filter_setup_update(SlotRecords::kSlot, buffer.data(), static_cast<int>(buffer.size()));
  f.text.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  return f;
}

size_t occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

struct FilterCase {
  const char *name;
  std::string input;
  std::string expected;  // after the declaration line
};

void PrintTo(const FilterCase &c, std::ostream *os) { *os << c.name; }

class FilterOutput : public SlotRecords, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterOutput, ProducesTheBody) {
  const FilterCase &c = GetParam();
  const Filtered f = filter(c.input);
  ASSERT_EQ(f.result, 0) << "code " << last_code(kSlot);
  EXPECT_EQ(f.text, kDeclaration + c.expected);
  EXPECT_EQ(last_code(kSlot), QX_ERR_NONE);
}

const FilterCase kFilterCases[] = {
    {"CalibrationUpdate", "<Root><SenSet><Entry><Idx>3</Idx><ID>12</ID><Calib>0.5</Calib></Entry></SenSet></Root>",
     "<Root><SenSet><Entry>\n<Idx>3</Idx><ID>12</ID><Calib>0.5</Calib></Entry></SenSet></Root>"},
    {"NoIdxIsNotReordered", "<Root><SenSet><Entry><ID>1</ID><Units>C</Units><Calib>1</Calib></Entry></SenSet></Root>",
     "<Root><SenSet><Entry><ID>1</ID><Calib>1</Calib></Entry></SenSet></Root>"},
    {"IdxAsLastChildMovesToTheFront", "<Root><SenSet><Entry>\n<ID>1</ID>\n<Idx>4</Idx>\n</Entry>\n</SenSet></Root>",
     "<Root><SenSet><Entry>\n<Idx>4</Idx>\n<ID>1</ID>\n</Entry>\n</SenSet></Root>"},
    {"AgentRemovedAndLineFeedsFolded",
     "<Root>\n<Agent>\n<Model>45</Model>\n<MAC>m</MAC>\n</Agent>\n<Global>\n<Units>C</Units>\n</Global>\n</Root>",
     "<Root>\n<Global>\n<Units>C</Units>\n</Global>\n</Root>"},
    {"AttributesDropped", "<Root><SenSet a=\"1\"><Entry b='2'><ID c=\"3\" d=\"4\">1</ID></Entry></SenSet></Root>",
     "<Root><SenSet><Entry><ID>1</ID></Entry></SenSet></Root>"},
    {"RemovedTextNeverAppears", "<Root><Time><Date>2024\nsecret</Date><Port>123</Port><Time>t</Time></Time></Root>",
     "<Root><Time><Port>123</Port></Time></Root>"},
    {"DeclarationAppearsOnce",
     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root><Global><Units>C</Units></Global></Root>",
     "<Root><Global><Units>C</Units></Global></Root>"},
    {"UserEntryKeepsOnlyItsIdx",
     "<Root><User><Entry><Name>admin</Name><Pswd>pw</Pswd><Idx>1</Idx></Entry></User></Root>",
     "<Root><User><Entry>\n<Idx>1</Idx></Entry></User></Root>"},
    {"ReadOnlyPathsOfEveryBlock",
     "<Root><BinaryInSet><Entry><Value>1</Value><State>2</State><Name>n</Name></Entry></BinaryInSet>"
     "<BinaryOutSet><Entry><Type>1</Type><Value>0</Value></Entry></BinaryOutSet>"
     "<Network><Name>x</Name><IPAddr>a</IPAddr><Submask>b</Submask><Gateway>c</Gateway><HTTPport>80</HTTPport>"
     "<DHCP>on</DHCP><SNMPPort>161</SNMPPort></Network><Time><TimeShift>1</TimeShift><Period>2</Period></Time>"
     "<MIBIISysGroup><SysName>s</SysName><SysLocation>l</SysLocation></MIBIISysGroup></Root>",
     "<Root><BinaryInSet><Entry><Name>n</Name></Entry></BinaryInSet><BinaryOutSet><Entry><Value>0</Value></Entry>"
     "</BinaryOutSet><Network><Name>x</Name><SNMPPort>161</SNMPPort></Network><Time><Period>2</Period></Time>"
     "<MIBIISysGroup><SysLocation>l</SysLocation></MIBIISysGroup></Root>"},
    // libxml2 hands the texts over with their references resolved; written
    // out again, they are escaped again, so that the device reads the same.
    {"ReferencesResolvedAndEscapedAgain",
     "<Root><Global><Logo>a&amp;b&lt;c&gt;&quot;d&quot;&#65;&apos;</Logo></Global></Root>",
     "<Root><Global><Logo>a&amp;b&lt;c&gt;&quot;d&quot;A'</Logo></Global></Root>"},
    {"CommentsAndInstructionsVanishCdataIsEscapedText",
     "<Root><!-- note --><?tool x?><Global><Logo><![CDATA[<b>&]]></Logo></Global></Root>",
     "<Root><Global><Logo>&lt;b&gt;&amp;</Logo></Global></Root>"},
    {"EscapedMarkupInANameStaysText",
     "<Root><SenSet><Entry><ID>1</ID><Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y</Name></Entry>"
     "</SenSet></Root>",
     "<Root><SenSet><Entry><ID>1</ID><Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y</Name></Entry>"
     "</SenSet></Root>"},
    {"MovedIdxTextIsEscapedToo", "<Root><SenSet><Entry><ID>1</ID><Idx>&lt;2&amp;</Idx></Entry></SenSet></Root>",
     "<Root><SenSet><Entry>\n<Idx>&lt;2&amp;</Idx><ID>1</ID></Entry></SenSet></Root>"},
    {"BrokenDocumentKeepsThePartBeforeTheFault",
     "<Root><Global><Units>C</Units><Logo>x</Bad><HWSec>s</HWSec></Global></Root>",
     "<Root><Global><Units>C</Units><Logo>x"},
    // Regressions of pairing Idx texts with entries by order and path.
    {"EmptyIdxBeforeTheLastDoesNotShiftIndexes",
     "<Root><SenSet><Entry><Idx></Idx><ID>1</ID></Entry><Entry><Idx>2</Idx><ID>2</ID></Entry></SenSet></Root>",
     "<Root><SenSet><Entry>\n<Idx></Idx><ID>1</ID></Entry><Entry>\n<Idx>2</Idx><ID>2</ID></Entry></SenSet></Root>"},
    {"EntryWithoutIdxDoesNotTakeTheNextOnesIndex",
     "<Root><SenSet><Entry><ID>1</ID></Entry><Entry><ID>2</ID><Idx>5</Idx></Entry></SenSet></Root>",
     "<Root><SenSet><Entry><ID>1</ID></Entry><Entry>\n<Idx>5</Idx><ID>2</ID></Entry></SenSet></Root>"},
    {"IdxInsideARemovedElementGoesWithIt",
     "<Root><Agent><Entry><Idx>1</Idx><Name>n</Name></Entry></Agent><SenSet><Entry><Idx>2</Idx></Entry></SenSet>"
     "</Root>",
     "<Root><SenSet><Entry>\n<Idx>2</Idx></Entry></SenSet></Root>"},
    {"IdxOfEachListStaysInItsList",
     "<Root><SenSet><Entry><Idx>1</Idx></Entry></SenSet><SnmpTraps><Entry><E>1</E><Idx>7</Idx></Entry></SnmpTraps>"
     "</Root>",
     "<Root><SenSet><Entry>\n<Idx>1</Idx></Entry></SenSet><SnmpTraps><Entry>\n<Idx>7</Idx><E>1</E></Entry>"
     "</SnmpTraps></Root>"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FilterOutput, ::testing::ValuesIn(kFilterCases),
                         [](const ::testing::TestParamInfo<FilterCase> &info) { return std::string(info.param.name); });

// Texts longer than any one buffer of libxml2 reach the body whole.
TEST_F(FilterOutput, TextPieceLongerThan1024BytesIsCopiedWhole) {
  const std::string message(3000, 'm');
  const Filtered f = filter("<Root><Email><Message>" + message + "</Message></Email></Root>");
  ASSERT_EQ(f.result, 0);
  EXPECT_EQ(f.text, kDeclaration + "<Root><Email><Message>" + message + "</Message></Email></Root>");
}

struct FailureCase {
  const char *name;
  std::string input;
  size_t spare;
  int code;
};

void PrintTo(const FailureCase &c, std::ostream *os) { *os << c.name; }

std::string nested(int levels, const std::string &name) {
  std::string open, close;
  for (int i = 0; i < levels; i++) {
    open += "<" + name + ">";
    close += "</" + name + ">";
  }
  return "<Root>" + open + close + "</Root>";
}

std::string repeated(const std::string &text, int count) {
  std::string out;
  for (int i = 0; i < count; i++) out += text;
  return out;
}

std::string idx_entries(int count) {
  std::string doc = "<R>";
  for (int i = 0; i < count; i++) doc += "<E><Idx>1</Idx></E>";
  return doc + "</R>";
}

class FilterFailure : public SlotRecords, public ::testing::WithParamInterface<FailureCase> {};

// A failing filter records its code and leaves the text as it was.
TEST_P(FilterFailure, RecordsTheCodeAndLeavesTheTextUnchanged) {
  const FailureCase &c = GetParam();
  const Filtered f = filter(c.input, c.spare);
  EXPECT_EQ(f.result, -1);
  EXPECT_EQ(last_code(kSlot), c.code);
  EXPECT_EQ(f.text, c.input);
}

const FailureCase kFailureCases[] = {
    {"LastIdxEmpty", "<Root><SenSet><Entry><Idx>1</Idx></Entry><Entry><Idx></Idx></Entry></SenSet></Root>", 1024,
     QX_ERR_POINTER_NULL},
    {"OnlyIdxEmpty", "<Root><SenSet><Entry><Idx/><ID>1</ID></Entry></SenSet></Root>", 1024, QX_ERR_POINTER_NULL},
    // The declaration adds 39 bytes that a buffer without spare room lacks.
    {"ResultLargerThanTheBuffer", "<Root><Global><Units>C</Units></Global></Root>", 1, QX_ERR_BUFFER_FULL},
    {"IdxTextOf100Characters", "<Root><SenSet><Entry><Idx>" + std::string(100, '9') + "</Idx></Entry></SenSet></Root>",
     1024, QX_ERR_BUFFER_FULL},
    {"Idx1000Elements", idx_entries(1000), 1024, QX_ERR_BUFFER_FULL},
    {"PathLongerThan9999Characters", nested(200, std::string(60, 'N')), 1024, QX_ERR_BUFFER_FULL},
    // 4000 ampersands are 4000 characters once read, but 20000 once escaped
    // again: beyond the 19999 of a posted body, so refused, never cut.
    {"ResultBeyondTheLimitOnceEscaped",
     "<Root><Email><Message>" + repeated("&amp;", 4000) + "</Message></Email></Root>", 1024, QX_ERR_BUFFER_FULL},
};

INSTANTIATE_TEST_SUITE_P(Cases, FilterFailure, ::testing::ValuesIn(kFailureCases),
                         [](const ::testing::TestParamInfo<FailureCase> &info) {
                           return std::string(info.param.name);
                         });

// The limits themselves still pass.
TEST_F(FilterOutput, LimitsThemselvesPass) {
  const std::string idx(99, '9');
  const Filtered text = filter("<Root><SenSet><Entry><Idx>" + idx + "</Idx></Entry></SenSet></Root>");
  ASSERT_EQ(text.result, 0);
  EXPECT_NE(text.text.find("<Entry>\n<Idx>" + idx + "</Idx></Entry>"), std::string::npos);

  const Filtered many = filter(idx_entries(999), 2048);
  ASSERT_EQ(many.result, 0);
  EXPECT_EQ(occurrences(many.text, "<E>\n<Idx>1</Idx></E>"), 999u);

  // Exactly room for the result and its zero.
  const std::string doc = "<Root><Global><Units>C</Units></Global></Root>";
  const Filtered tight = filter(doc, kDeclaration.size() + 1);
  ASSERT_EQ(tight.result, 0);
  EXPECT_EQ(tight.text, kDeclaration + doc);
}

TEST_F(FilterOutput, EmptyLengthFailsAsInvalidXml) {
  char text[] = "<Root/>";
  EXPECT_EQ(qxxml_filter_setup_update(kSlot, text, 0), -1);
  EXPECT_EQ(last_code(kSlot), QX_ERR_XML_NOT_VALID);
  EXPECT_STREQ(text, "<Root/>");
}

TEST_F(FilterOutput, MissingTextIsRefusedAsNullPointer) {
  EXPECT_EQ(qxxml_filter_setup_update(kSlot, nullptr, 100), -1);
  EXPECT_EQ(last_code(kSlot), QX_ERR_POINTER_NULL);
}

// A full document from the writer, as qxxml_send_setup posts it.
TEST_F(FilterOutput, WrittenSetupDocumentBecomesThePostedBody) {
  ASSERT_EQ(parse(read_fixture("setup_full.xml"), QXXML_DOC_SETUP), 0);
  std::vector<char> buffer(QXXML_DOC_MAX);
  ASSERT_EQ(qxxml_write_setup_document(&setup(), &setup_counts(), buffer.data()), 0);
  const int length = static_cast<int>(strlen(buffer.data())) + 1;
  ASSERT_EQ(qxxml_filter_setup_update(kSlot, buffer.data(), length), 0);
  const std::string body = buffer.data();

  EXPECT_EQ(body.rfind(kDeclaration + "<Root>\n<Status>\n", 0), 0u);
  EXPECT_EQ(occurrences(body, "<?xml"), 1u);
  EXPECT_EQ(occurrences(body, "\n\n"), 0u);
  const char *gone[] = {"<Agent>",
                        "Server room probe",
                        "<Value>1</Value>",
                        "<Units>%RH</Units>",
                        "<Type>",
                        "<IPAddr>127.0.0.2</IPAddr>",
                        "<Date>",
                        "<TimeShift>",
                        "<SysName>",
                        "adminpw",
                        "guest"};
  for (const char *text : gone) EXPECT_EQ(body.find(text), std::string::npos) << text;
  // Every entry of every list begins with its Idx.
  const size_t entries = 2 + 1 + 3 + 2 + 1 + 2 + 1 + 2 + 2;
  EXPECT_EQ(occurrences(body, "<Entry>"), entries);
  EXPECT_EQ(occurrences(body, "<Entry>\n<Idx>"), entries);
  EXPECT_EQ(occurrences(body, "<Idx>"), entries);
  EXPECT_NE(body.find("<User>\n<Entry>\n<Idx>1</Idx>\n</Entry>\n<Entry>\n<Idx>2</Idx>\n</Entry>\n</User>"),
            std::string::npos);
  EXPECT_NE(body.find("<Calib>-1.2</Calib>"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - 7), "</Root>");
}

}  // namespace
