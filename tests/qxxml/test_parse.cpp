// The path-table parser: documents in, record fields and counts out.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "docmodel_slot.h"

namespace {

using Parse = SlotRecords;
constexpr int kSlot = SlotRecords::kSlot;

std::string sensor(const std::string &name, const std::string &id) {
  return "<Entry><Name>" + name + "</Name><ID>" + id + "</ID></Entry>";
}

// --- Root rewrite ---------------------------------------------------------

struct RewriteCase {
  const char *name;
  int kind;
  std::string input;
  std::string expected;
};
void PrintTo(const RewriteCase &c, std::ostream *os) { *os << c.name; }

class RootRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RootRewrite, ReplacesTheFirstPrefixedStartTagOnly) {
  const RewriteCase &c = GetParam();
  std::string text = c.input;
  qxxml_rewrite_prefixed_root(text.data(), static_cast<int>(text.size()), c.kind);
  EXPECT_EQ(text, c.expected);
}

const RewriteCase kRewriteCases[] = {
    {"ValuesWithNamespace", QXXML_DOC_VALUES, "<?xml?><val:Root xmlns:val=\"u\"><A/></val:Root>",
     "<?xml?><Root>" + std::string(18, ' ') + "<A/></val:Root>"},
    {"SetupPrefix", QXXML_DOC_SETUP, "<set:Root><A/></set:Root>", "<Root>" + std::string(4, ' ') + "<A/></set:Root>"},
    {"OtherKindsPrefixStays", QXXML_DOC_VALUES, "<set:Root><A/></set:Root>", "<set:Root><A/></set:Root>"},
    {"NoClosingBracketStays", QXXML_DOC_SETUP, "<x/><set:Root attr", "<x/><set:Root attr"},
    {"OnlyFirstOccurrence", QXXML_DOC_VALUES, "<val:Root><val:Root>", "<Root>" + std::string(4, ' ') + "<val:Root>"},
    // The pattern must start below length - 9, so one at the very end stays.
    {"PatternAtTheEndStays", QXXML_DOC_VALUES, "<a><val:Root", "<a><val:Root"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RootRewrite, ::testing::ValuesIn(kRewriteCases),
                         [](const ::testing::TestParamInfo<RewriteCase> &info) {
                           return std::string(info.param.name);
                         });

TEST_F(Parse, PrefixedRootParsesAsRootAndTheRewrittenTextIsHandedBack) {
  const std::string doc =
      "<?xml version=\"1.0\"?>\n<val:Root xmlns:val=\"urn:v\"><Agent><Model>45</Model></Agent></val:Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Model, "45");
  const std::string back(text.begin(), text.end());
  const std::string tag = "<val:Root xmlns:val=\"urn:v\">";
  EXPECT_EQ(back.substr(22, tag.size()), "<Root>" + std::string(tag.size() - 6, ' '));
  EXPECT_NE(back.find("</val:Root>"), std::string::npos);
}

// --- Entries and counts ---------------------------------------------------

TEST_F(Parse, EntriesFillArraysInOrderAndEachListStartsAtZero) {
  const std::string doc = "<Root><SenSet>" + sensor("t0", "10") + sensor("t1", "11") + sensor("t2", "12") +
                          "</SenSet><BinaryOutSet><Entry><Name>out0</Name></Entry></BinaryOutSet></Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_EQ(values_counts().SenSet_count, 3);
  EXPECT_EQ(values_counts().BinaryOutSet_count, 1);
  EXPECT_EQ(values_counts().BinaryInSet_count, 0);
  const char *names[] = {"t0", "t1", "t2"};
  const char *ids[] = {"10", "11", "12"};
  for (int i = 0; i < 3; i++) {
    EXPECT_STREQ(values().SenSet_Entry_Name[i], names[i]) << "entry " << i;
    EXPECT_STREQ(values().SenSet_Entry_ID[i], ids[i]) << "entry " << i;
  }
  EXPECT_STREQ(values().SenSet_Entry_Name[3], "");
  EXPECT_STREQ(values().BinaryOutSet_Entry_Name[0], "out0");
}

TEST_F(Parse, EverySetupListIsCounted) {
  const std::string entry = "<Entry><Idx>1</Idx></Entry>";
  std::string doc = "<Root>";
  const char *lists[] = {"BinaryInSet", "BinaryOutSet", "SenSet",     "TempRangeSet", "GroupSet",
                         "SnmpTraps",   "MailDest",     "SnmpAccess", "User"};
  for (int i = 0; i < 9; i++) {
    doc += std::string("<") + lists[i] + ">";
    for (int n = 0; n <= i % 2; n++) doc += entry;
    doc += std::string("</") + lists[i] + ">";
  }
  doc += "</Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_SETUP), 0);
  for (int i = 0; i < 9; i++) EXPECT_EQ(qxxml_list_count(&setup_counts(), i), 1 + i % 2) << lists[i];
  EXPECT_STREQ(setup().User_Entry_Idx[0], "1");
  EXPECT_STREQ(setup().SnmpTraps_Entry_Idx[1], "1");
}

TEST_F(Parse, DocumentCutOffMidEntryKeepsWhatCameBefore) {
  const std::string doc = "<Root><SenSet>" + sensor("t0", "10") + "<Entry><Name>t1</Name><ID>1";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_EQ(values_counts().SenSet_count, 1);
  EXPECT_STREQ(values().SenSet_Entry_Name[0], "t0");
  EXPECT_STREQ(values().SenSet_Entry_ID[0], "10");
  EXPECT_STREQ(values().SenSet_Entry_Name[1], "t1");
}

TEST_F(Parse, NoSenSetLeavesCountZeroAndFieldsEmpty) {
  ASSERT_EQ(parse("<Root><Agent><Model>2</Model></Agent></Root>", QXXML_DOC_VALUES), 0);
  EXPECT_EQ(values_counts().SenSet_count, 0);
  EXPECT_STREQ(values().SenSet_Entry_Name[0], "");
}

// A second run of a list after another list restarts at entry 0 and then
// continues after the entries counted so far.
TEST_F(Parse, SenSetRunInterruptedByTempRangeSet) {
  const std::string doc = "<Root><SenSet>" + sensor("a", "1") + sensor("b", "2") +
                          "</SenSet><TempRangeSet><Entry><Min>5</Min></Entry></TempRangeSet><SenSet>" +
                          sensor("c", "3") + sensor("d", "4") + "</SenSet></Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_SETUP), 0);
  EXPECT_EQ(setup_counts().SenSet_count, 4);
  EXPECT_EQ(setup_counts().TempRangeSet_count, 1);
  EXPECT_STREQ(setup().SenSet_Entry_Name[0], "ac");
  EXPECT_STREQ(setup().SenSet_Entry_Name[1], "b");
  EXPECT_STREQ(setup().SenSet_Entry_Name[2], "");
  EXPECT_STREQ(setup().SenSet_Entry_Name[3], "d");
  EXPECT_STREQ(setup().TempRangeSet_Entry_Min[0], "5");
}

// --- Storing texts --------------------------------------------------------

struct FitCase {
  const char *name;
  int kind;
  const char *open;   // start tags down to the leaf
  const char *close;  // matching end tags
  int id;             // field id in the kind's key table
  int characters;
  bool kept;
};
void PrintTo(const FitCase &c, std::ostream *os) { *os << c.name; }

class FieldFit : public Parse, public ::testing::WithParamInterface<FitCase> {};

// A field of n bytes keeps a plain text of n - 2 characters and drops one of
// n - 1 whole.
TEST_P(FieldFit, KeepsAtMostSizeMinusTwoCharacters) {
  const FitCase &c = GetParam();
  const std::string value(static_cast<size_t>(c.characters), '7');
  ASSERT_EQ(parse(std::string("<Root>") + c.open + value + c.close + "</Root>", c.kind), 0);
  const qxxml_key *keys = c.kind == QXXML_DOC_VALUES ? qxxml_values_keys : qxxml_setup_keys;
  const void *record = c.kind == QXXML_DOC_VALUES ? static_cast<void *>(&values()) : static_cast<void *>(&setup());
  EXPECT_STREQ(qxxml_field(record, &keys[c.id], 0), c.kept ? value.c_str() : "");
}

const FitCase kFitCases[] = {
    {"Idx4Bytes2Kept", QXXML_DOC_VALUES, "<SenSet><Entry><Idx>", "</Idx></Entry></SenSet>",
     QXXML_VALUES_ID_SenSet_Entry_Idx, 2, true},
    {"Idx4Bytes3Dropped", QXXML_DOC_VALUES, "<SenSet><Entry><Idx>", "</Idx></Entry></SenSet>",
     QXXML_VALUES_ID_SenSet_Entry_Idx, 3, false},
    {"Value16Bytes14Kept", QXXML_DOC_VALUES, "<SenSet><Entry><Value>", "</Value></Entry></SenSet>",
     QXXML_VALUES_ID_SenSet_Entry_Value, 14, true},
    {"Value16Bytes15Dropped", QXXML_DOC_VALUES, "<SenSet><Entry><Value>", "</Value></Entry></SenSet>",
     QXXML_VALUES_ID_SenSet_Entry_Value, 15, false},
    {"Calib8Bytes6Kept", QXXML_DOC_SETUP, "<SenSet><Entry><Calib>", "</Calib></Entry></SenSet>",
     QXXML_SETUP_ID_SenSet_Entry_Calib, 6, true},
    {"Title152Bytes150Kept", QXXML_DOC_SETUP, "<Agent><Title>", "</Title></Agent>", QXXML_SETUP_ID_Agent_Title, 150,
     true},
    {"Title152Bytes151Dropped", QXXML_DOC_SETUP, "<Agent><Title>", "</Title></Agent>", QXXML_SETUP_ID_Agent_Title, 151,
     false},
    {"Info4Bytes3Dropped", QXXML_DOC_SETUP, "<Info>", "</Info>", QXXML_SETUP_ID_Info, 3, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, FieldFit, ::testing::ValuesIn(kFitCases),
                         [](const ::testing::TestParamInfo<FitCase> &info) { return std::string(info.param.name); });

TEST_F(Parse, TwoNamesInOneEntryAreJoined) {
  ASSERT_EQ(
      parse("<Root><SenSet><Entry><Name>Outer</Name><Name>Probe</Name></Entry></SenSet></Root>", QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().SenSet_Entry_Name[0], "OuterProbe");
}

TEST_F(Parse, SecondTextThatNoLongerFitsIsDroppedWhole) {
  const std::string first(40, 'a');
  const std::string second(11, 'b');
  ASSERT_EQ(parse("<Root><SenSet><Entry><Name>" + first + "</Name><Name>" + second +
                      "</Name><Name>cc</Name></Entry></SenSet></Root>",
                  QXXML_DOC_VALUES),
            0);
  EXPECT_EQ(std::string(values().SenSet_Entry_Name[0]), first + "cc");
}

TEST_F(Parse, ReferencesAndCdataArriveResolved) {
  ASSERT_EQ(parse("<Root><Agent><Title>a&amp;b&#65;<![CDATA[<c>]]></Title></Agent></Root>", QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Title, "a&bA<c>");
}

TEST_F(Parse, UnknownPathsAndTextBetweenElementsAreIgnored) {
  const std::string doc =
      "<Root>\n  <Agent>\n    <Model>45</Model>\n    <Newer>x</Newer>\n  </Agent>\n"
      "  <Other><Model>99</Model></Other>\n  <SenSet>stray<Entry><Name>n</Name><Extra>e</Extra></Entry></SenSet>\n"
      "</Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Model, "45");
  EXPECT_STREQ(values().SenSet_Entry_Name[0], "n");
  EXPECT_EQ(values_counts().SenSet_count, 1);
}

// --- Limits: nothing is written outside a field ---------------------------

TEST_F(Parse, EntriesBeyondCapacityAreCountedButNotStored) {
  std::string doc = "<Root><User>";
  for (int i = 0; i < QXXML_USER_MAX + 2; i++)
    doc += "<Entry><Name>u" + std::to_string(i) + "</Name><Pswd>p" + std::to_string(i) + "</Pswd></Entry>";
  doc += "</User><Info>1</Info></Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_SETUP), 0);
  EXPECT_EQ(setup_counts().User_count, QXXML_USER_MAX + 2);
  EXPECT_STREQ(setup().User_Entry_Name[0], "u0");
  EXPECT_STREQ(setup().User_Entry_Name[1], "u1");
  // The arrays that follow hold their own texts only.
  EXPECT_STREQ(setup().User_Entry_Pswd[0], "p0");
  EXPECT_STREQ(setup().User_Entry_Pswd[1], "p1");
  EXPECT_STREQ(setup().User_Entry_Idx[0], "");
  EXPECT_STREQ(setup().Info, "1");
}

TEST_F(Parse, SensorsBeyondCapacityLeaveTheNextArrayAlone) {
  std::string doc = "<Root><SenSet>";
  for (int i = 0; i <= QXXML_SENSOR_MAX; i++) doc += sensor("s" + std::to_string(i), "");
  doc += "</SenSet></Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_EQ(values_counts().SenSet_count, QXXML_SENSOR_MAX + 1);
  EXPECT_STREQ(values().SenSet_Entry_Name[QXXML_SENSOR_MAX - 1], "s41");
  EXPECT_STREQ(values().SenSet_Entry_ID[0], "");
}

// A path longer than 9999 characters is not built: the element and all
// below it are skipped, and the elements after it land where they belong.
TEST_F(Parse, NestingTooDeepForThePathIsSkippedAndEndsStillPair) {
  const std::string level(60, 'L');
  std::string deep, undeep;
  for (int i = 0; i < 200; i++) {
    deep += "<" + level + ">";
    undeep += "</" + level + ">";
  }
  const std::string doc = "<Root><Agent>" + deep + "<Entry></Entry><Model>junk</Model>" + undeep +
                          "<Model>45</Model></Agent><SenSet>" + sensor("s", "1") + "</SenSet></Root>";
  ASSERT_EQ(parse(doc, QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Model, "45");
  EXPECT_EQ(values_counts().SenSet_count, 1);
  EXPECT_STREQ(values().SenSet_Entry_Name[0], "s");
}

// --- Faults in the document -----------------------------------------------

struct FaultCase {
  const char *name;
  std::string doc;
  const char *model;
  const char *version;
};
void PrintTo(const FaultCase &c, std::ostream *os) { *os << c.name; }

class BrokenDocument : public Parse, public ::testing::WithParamInterface<FaultCase> {};

// libxml2 goes on reporting text after its first fatal error; none of it
// may reach a field, so the record holds exactly what came before the fault.
TEST_P(BrokenDocument, TextAfterTheFirstFaultIsNotStored) {
  const FaultCase &c = GetParam();
  ASSERT_EQ(parse(c.doc, QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Model, c.model);
  EXPECT_STREQ(values().Agent_Version, c.version);
}

const FaultCase kFaultCases[] = {
    {"MismatchedEndTag", "<Root><Agent><Model>1</X><Version>2</Version><Model>3</Model></Agent></Root>", "1", ""},
    {"UndeclaredEntity", "<Root><Agent><Model>1&nosuch;</Model><Version>2</Version></Agent></Root>", "1", ""},
    {"InvalidUtf8", "<Root><Agent><Version>2</Version><Model>\xff\xfe</Model><Model>3</Model></Agent></Root>", "", "2"},
    {"PrefixedRootClosedUnprefixedAfterAll", "<val:Root><Agent><Model>1</Model></Agent></val:Root><Model>x</Model>",
     "1", ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, BrokenDocument, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase> &info) { return std::string(info.param.name); });

TEST_F(Parse, EachParseStartsFromAZeroedRecord) {
  ASSERT_EQ(
      parse("<Root><Agent><Model>45</Model></Agent><SenSet>" + sensor("a", "1") + "</SenSet></Root>", QXXML_DOC_VALUES),
      0);
  values().timestamp = 1234;
  qxxml_values *first = &values();
  ASSERT_EQ(parse("<Root><Agent><Version>2</Version></Agent></Root>", QXXML_DOC_VALUES), 0);
  EXPECT_EQ(&values(), first) << "the record is reused";
  EXPECT_EQ(values().timestamp, 0);
  EXPECT_STREQ(values().Agent_Model, "");
  EXPECT_STREQ(values().Agent_Version, "2");
  EXPECT_EQ(values_counts().SenSet_count, 0);
  EXPECT_EQ(qxxml_slots[kSlot].setup, nullptr) << "the other kind is not touched";
}

TEST_F(Parse, EmptyTextFailsAsInvalidXml) {
  EXPECT_EQ(parse("", QXXML_DOC_SETUP), -1);
  EXPECT_EQ(last_code(kSlot), QX_ERR_XML_NOT_VALID);
}

TEST_F(Parse, UnknownKindFailsWithoutCodeOrRecords) {
  EXPECT_EQ(parse("<Root/>", 2), -1);
  EXPECT_EQ(last_code(kSlot), QX_ERR_NONE);
  EXPECT_EQ(qxxml_slots[kSlot].values, nullptr);
  EXPECT_EQ(qxxml_slots[kSlot].setup, nullptr);
}

// --- Hooks ----------------------------------------------------------------

struct HookLog {
  int calls = 0;
  int kind = -1;
  int length = -1;
  int seen_result = 0;
  void *record = nullptr;
  int set_result = 0;
  bool change = false;
};
HookLog hook_log;

int pre_hook(int slot, void *owner, char *, int length, int kind) {
  EXPECT_EQ(slot, kSlot);
  EXPECT_NE(owner, nullptr);
  hook_log.calls++;
  hook_log.kind = kind;
  hook_log.length = length;
  return hook_log.set_result;
}

void post_hook(int slot, void *, char *, int length, int kind, void *record, void *, int *result) {
  EXPECT_EQ(slot, kSlot);
  hook_log.calls++;
  hook_log.kind = kind;
  hook_log.length = length;
  hook_log.record = record;
  hook_log.seen_result = *result;
  if (hook_log.change) *result = hook_log.set_result;
}

struct PreHookCase {
  const char *name;
  int hook_result;
  int expected;
  int code;
};
void PrintTo(const PreHookCase &c, std::ostream *os) { *os << c.name; }

class PreParseHook : public Parse, public ::testing::WithParamInterface<PreHookCase> {};

TEST_P(PreParseHook, ReplacesTheParse) {
  const PreHookCase &c = GetParam();
  hook_log = HookLog();
  hook_log.set_result = c.hook_result;
  callbacks().pre_parse_hook = pre_hook;
  EXPECT_EQ(parse("<Root><Agent><Model>45</Model></Agent></Root>", QXXML_DOC_SETUP), c.expected);
  EXPECT_EQ(hook_log.calls, 1);
  EXPECT_EQ(hook_log.kind, QXXML_DOC_SETUP);
  EXPECT_EQ(hook_log.length, 45);
  EXPECT_EQ(last_code(kSlot), c.code);
  EXPECT_EQ(qxxml_slots[kSlot].setup, nullptr) << "no record is touched";
}

const PreHookCase kPreHookCases[] = {
    {"ZeroHandled", 0, 0, QX_ERR_NONE},
    {"NonZeroFails", 3, -1, QX_ERR_XML_NOT_VALID},
    {"NegativeFails", -1, -1, QX_ERR_XML_NOT_VALID},
};

INSTANTIATE_TEST_SUITE_P(Cases, PreParseHook, ::testing::ValuesIn(kPreHookCases),
                         [](const ::testing::TestParamInfo<PreHookCase> &info) {
                           return std::string(info.param.name);
                         });

TEST_F(Parse, PreParseHookLeavesThePreviousRecordUntouched) {
  ASSERT_EQ(parse("<Root><Agent><Model>45</Model></Agent></Root>", QXXML_DOC_VALUES), 0);
  hook_log = HookLog();
  callbacks().pre_parse_hook = pre_hook;
  ASSERT_EQ(parse("<Root><Agent><Model>57</Model></Agent></Root>", QXXML_DOC_VALUES), 0);
  EXPECT_STREQ(values().Agent_Model, "45");
}

struct PostHookCase {
  const char *name;
  std::string doc;
  bool change;
  int new_result;
  int seen_result;  // <0: only its sign matters, >0: not well-formed
  int expected;
  int code;
};
void PrintTo(const PostHookCase &c, std::ostream *os) { *os << c.name; }

class PostParseHook : public Parse, public ::testing::WithParamInterface<PostHookCase> {};

TEST_P(PostParseHook, SeesTheRecordAndDecidesTheResult) {
  const PostHookCase &c = GetParam();
  hook_log = HookLog();
  hook_log.change = c.change;
  hook_log.set_result = c.new_result;
  callbacks().post_parse_hook = post_hook;
  EXPECT_EQ(parse(c.doc, QXXML_DOC_VALUES), c.expected);
  EXPECT_EQ(hook_log.calls, 1);
  EXPECT_EQ(hook_log.kind, QXXML_DOC_VALUES);
  EXPECT_EQ(hook_log.record, static_cast<void *>(qxxml_slots[kSlot].values));
  if (c.seen_result > 0)
    EXPECT_GT(hook_log.seen_result, 0);
  else
    EXPECT_EQ(hook_log.seen_result, c.seen_result);
  EXPECT_EQ(last_code(kSlot), c.code);
}

const PostHookCase kPostHookCases[] = {
    {"Unchanged", "<Root/>", false, 0, 0, 0, QX_ERR_NONE},
    {"MadeNegativeFails", "<Root/>", true, -1, 0, -1, QX_ERR_XML_NOT_VALID},
    {"BrokenDocumentIsPositive", "<Root><A></B></Root>", false, 0, 1, 0, QX_ERR_NONE},
    {"NegativeRepairedByHook", "", true, 0, -1, 0, QX_ERR_NONE},
};

INSTANTIATE_TEST_SUITE_P(Cases, PostParseHook, ::testing::ValuesIn(kPostHookCases),
                         [](const ::testing::TestParamInfo<PostHookCase> &info) {
                           return std::string(info.param.name);
                         });

}  // namespace
