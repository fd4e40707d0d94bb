// The setup writer: a setup record and its counts back to a document.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "docmodel_slot.h"
#include "tests/support/devsim_variant.h"
#include "tools/devsim/devsim.h"

namespace {

struct Record {
  std::unique_ptr<qxxml_setup> setup = std::make_unique<qxxml_setup>();
  qxxml_setup_counts counts = {};
  Record() { std::memset(setup.get(), 0, sizeof(qxxml_setup)); }
  void set_count(int list, int count) {
    *reinterpret_cast<int *>(reinterpret_cast<char *>(&counts) + qxxml_lists[list].count_offset) = count;
  }
};

struct Written {
  int result;
  std::string text;
};

Written write(const Record &r) {
  std::vector<char> out(QXXML_DOC_MAX, 'Z');
  Written w;
  w.result = qxxml_write_setup_document(r.setup.get(), &r.counts, out.data());
  w.text = out.data();
  return w;
}

size_t occurrences(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

TEST(Writer, EmptyRecordIs1897BytesWithOneEmptyLineBeforeAlarmAction) {
  Record r;
  const Written w = write(r);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.text.size(), 1897u);
  EXPECT_EQ(w.text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Root>\n<Agent>\n<Version></Version>\n", 0), 0u);
  EXPECT_NE(w.text.find("\n<BinaryInSet>\n\n<AlarmAction></AlarmAction>\n</BinaryInSet>\n"), std::string::npos);
  EXPECT_EQ(occurrences(w.text, "\n\n"), 1u);
  EXPECT_EQ(w.text.find('\r'), std::string::npos);
  const std::string tail = "\n</User>\n<Info></Info>\n</Root>";
  EXPECT_EQ(w.text.substr(w.text.size() - tail.size()), tail);
}

TEST(Writer, TopLevelElementsFollowTheKeyTable) {
  Record r;
  const std::string text = write(r).text;
  const char *expected[] = {"Agent",        "Status",       "TemperRange",   "BinaryInSet", "BinaryOutSet",
                            "SenSet",       "TempRangeSet", "AlarmSet",      "GroupSet",    "SnmpTraps",
                            "MailDest",     "Counters",     "BinSetG",       "Global",      "Network",
                            "Email",        "Time",         "SMS",           "DataLogger",  "HTTPIPFilter",
                            "SNMPIPFilter", "SnmpAccess",   "MIBIISysGroup", "User",        "Info"};
  // Every top-level element but Info (a leaf) closes on a line of its own.
  size_t at = text.find("<Root>");
  for (const char *name : expected) {
    const std::string open = std::string("\n<") + name + ">";
    const size_t next = text.find(open, at);
    ASSERT_NE(next, std::string::npos) << name;
    EXPECT_GT(next, at) << name;
    at = next + 1;
    if (std::strcmp(name, "Info") != 0) {
      const std::string close = std::string("\n</") + name + ">";
      at = text.find(close, at);
      ASSERT_NE(at, std::string::npos) << close;
    }
  }
}

// Bytes each entry adds with empty texts.
struct EntrySize {
  const char *name;
  int list;
  size_t bytes;
};

void PrintTo(const EntrySize &c, std::ostream *os) { *os << c.name; }

class EntryBlock : public ::testing::TestWithParam<EntrySize> {};

TEST_P(EntryBlock, EachEntryAddsItsBlock) {
  const EntrySize &c = GetParam();
  Record r;
  r.set_count(c.list, 1);
  const Written one = write(r);
  r.set_count(c.list, 2);
  const Written two = write(r);
  ASSERT_EQ(one.result, 0);
  ASSERT_EQ(two.result, 0);
  EXPECT_EQ(one.text.size(), 1897u + c.bytes);
  EXPECT_EQ(two.text.size(), 1897u + 2 * c.bytes);
}

const EntrySize kEntrySizes[] = {
    {"BinaryInSet", QXXML_LIST_BinaryInSet, 412},
    {"BinaryOutSet", QXXML_LIST_BinaryOutSet, 191},
    {"SenSet", QXXML_LIST_SenSet, 370},
    {"TempRangeSet", QXXML_LIST_TempRangeSet, 69},
    {"GroupSet", QXXML_LIST_GroupSet, 257},
    {"SnmpTraps", QXXML_LIST_SnmpTraps, 93},
    {"MailDest", QXXML_LIST_MailDest, 57},
    {"SnmpAccess", QXXML_LIST_SnmpAccess, 77},
    {"User", QXXML_LIST_User, 57},
};

INSTANTIATE_TEST_SUITE_P(Lists, EntryBlock, ::testing::ValuesIn(kEntrySizes),
                         [](const ::testing::TestParamInfo<EntrySize> &info) { return std::string(info.param.name); });

TEST(Writer, SensorEntryIsWrittenLineByLine) {
  Record r;
  r.counts.SenSet_count = 2;
  std::strcpy(r.setup->SenSet_Entry_Name[1], "Outlet");
  std::strcpy(r.setup->SenSet_Entry_E[1], "1");
  std::strcpy(r.setup->SenSet_Entry_Calib[1], "-1.2");
  std::strcpy(r.setup->SenSet_Entry_Dest_E[1], "0");
  std::strcpy(r.setup->SenSet_Entry_Idx[1], "2");
  const std::string text = write(r).text;
  const std::string expected =
      "\n<Entry>\n<Name>Outlet</Name>\n<ID></ID>\n<Units></Units>\n<Min></Min>\n<Max></Max>\n<Hyst></Hyst>"
      "\n<E>1</E>\n<Value></Value>\n<Exp></Exp>\n<SNMPTrap></SNMPTrap>\n<EmailSMS></EmailSMS>\n<Color></Color>"
      "\n<State></State>\n<Calib>-1.2</Calib>\n<Dest>\n<Snmp1></Snmp1>\n<Snmp2></Snmp2>\n<Snmp3></Snmp3>"
      "\n<Snmp4></Snmp4>\n<Mail1></Mail1>\n<Mail2></Mail2>\n<Delay></Delay>\n<E>0</E>\n</Dest>\n<Idx>2</Idx>"
      "\n</Entry>\n</SenSet>\n<TempRangeSet>\n</TempRangeSet>";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(Writer, GroupEntryNestsAlarmAndDest) {
  Record r;
  r.counts.GroupSet_count = 1;
  std::strcpy(r.setup->GroupSet_Entry_Alarm_Body[0], "b");
  const std::string text = write(r).text;
  EXPECT_NE(text.find("\n<OutState></OutState>\n<Alarm>\n<Subj></Subj>\n<Body>b</Body>\n</Alarm>\n<Dest>\n<Snmp1>"),
            std::string::npos)
      << text;
}

TEST(Writer, EachStoredCharacterAddsOneByte) {
  Record r;
  std::strcpy(r.setup->Agent_Title, "rack B");
  std::strcpy(r.setup->Info, "1");
  EXPECT_EQ(write(r).text.size(), 1897u + 7);
}

TEST(Writer, SnmpTrapsAreWrittenFromEntriesZeroToCountWhateverTheirIdx) {
  Record r;
  const char *idx[] = {"4", "3", "2", "1"};
  for (int i = 0; i < QXXML_SNMP_TRAP_MAX; i++) {
    std::snprintf(r.setup->SnmpTraps_Entry_Community[i], 52, "community%d", i);
    std::strcpy(r.setup->SnmpTraps_Entry_Idx[i], idx[i]);
  }
  r.counts.SnmpTraps_count = 3;
  const std::string text = write(r).text;
  const size_t c0 = text.find("<Community>community0</Community>");
  const size_t c1 = text.find("<Community>community1</Community>");
  const size_t c2 = text.find("<Community>community2</Community>");
  ASSERT_NE(c0, std::string::npos);
  EXPECT_LT(c0, c1);
  EXPECT_LT(c1, c2);
  EXPECT_NE(c2, std::string::npos);
  EXPECT_EQ(text.find("community3"), std::string::npos);
  EXPECT_EQ(occurrences(text, "<Community>"), 3u + 0u /* SnmpAccess has no entries */);
}

// A text is content, never markup: a stored "&" or "</Name>" must not make
// the document malformed or close an element early.
TEST(Writer, MarkupCharactersAreEscaped) {
  Record r;
  std::strcpy(r.setup->Agent_Title, "a<b&c>\"d'");
  r.counts.SenSet_count = 1;
  std::strcpy(r.setup->SenSet_Entry_Name[0], "x</Name><Calib>9.9</Calib><Name>y");
  const std::string text = write(r).text;
  EXPECT_NE(text.find("\n<Title>a&lt;b&amp;c&gt;&quot;d'</Title>\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n<Name>x&lt;/Name&gt;&lt;Calib&gt;9.9&lt;/Calib&gt;&lt;Name&gt;y</Name>\n<ID>"),
            std::string::npos)
      << text;
  EXPECT_EQ(occurrences(text, "<Calib>"), 1u);
}

// A field whose terminating zero is missing is written up to its end only.
TEST(Writer, UnterminatedFieldStopsAtItsEnd) {
  Record r;
  std::memset(r.setup->Agent_Model, 'x', sizeof r.setup->Agent_Model);
  std::strcpy(r.setup->Agent_VendorID, "v");
  EXPECT_NE(write(r).text.find("\n<Model>xxxxxxxx</Model>\n<VendorID>v</VendorID>"), std::string::npos);
}

struct CountCase {
  const char *name;
  int count;
  size_t entries_written;
};

void PrintTo(const CountCase &c, std::ostream *os) { *os << c.name; }

class CountClamp : public ::testing::TestWithParam<CountCase> {};

// Counts come from the parser, which counts every Entry, or from a caller;
// only the entries the arrays hold are written.
TEST_P(CountClamp, CountsOutsideTheArraysAreClamped) {
  const CountCase &c = GetParam();
  Record r;
  r.counts.User_count = c.count;
  r.counts.SnmpAccess_count = c.count;
  const Written w = write(r);
  ASSERT_EQ(w.result, 0);
  EXPECT_EQ(w.text.size(), 1897u + c.entries_written * (57 + 77));
}

const CountCase kCountCases[] = {
    {"Negative", -5, 0},
    {"Zero", 0, 0},
    {"AtCapacity", QXXML_USER_MAX, QXXML_USER_MAX},
    {"AboveCapacity", 1000, QXXML_USER_MAX},
    {"IntMax", 0x7fffffff, QXXML_USER_MAX},
};

INSTANTIATE_TEST_SUITE_P(Cases, CountClamp, ::testing::ValuesIn(kCountCases),
                         [](const ::testing::TestParamInfo<CountCase> &info) { return std::string(info.param.name); });

class WriterLimit : public SlotRecords {};

// 1897 + 43 binary inputs of 412 bytes + 386 characters of text = 19999.
void fill_to_19999(Record *r) {
  r->counts.BinaryInSet_count = 43;
  std::memset(r->setup->Agent_Title, 't', 150);
  std::memset(r->setup->Agent_Contact, 'c', 150);
  std::memset(r->setup->Email_Message, 'm', 86);
}

TEST_F(WriterLimit, DocumentOf19999CharactersFits) {
  Record r;
  fill_to_19999(&r);
  const Written w = write(r);
  EXPECT_EQ(w.result, 0);
  EXPECT_EQ(w.text.size(), 19999u);
  EXPECT_EQ(w.text.substr(w.text.size() - 7), "</Root>");
}

TEST_F(WriterLimit, DocumentThatWouldNotFitIsRefusedAsBufferFull) {
  Record r;
  fill_to_19999(&r);
  std::strcpy(r.setup->Info, "1");
  const Written w = write(r);
  EXPECT_EQ(w.result, -1);
  EXPECT_EQ(w.text, "");
  EXPECT_EQ(last_code(0), QX_ERR_BUFFER_FULL);
}

// Escaping makes a text longer than it is stored; the document is measured
// as written, and refused whole rather than cut.
TEST_F(WriterLimit, DocumentThatNoLongerFitsAfterEscapingIsRefused) {
  Record r;
  fill_to_19999(&r);
  r.setup->Email_Message[0] = '&';
  const Written w = write(r);
  EXPECT_EQ(w.result, -1);
  EXPECT_EQ(w.text, "");
  EXPECT_EQ(last_code(0), QX_ERR_BUFFER_FULL);
}

TEST_F(WriterLimit, AllListsAtCapacityAreRefused) {
  Record r;
  for (int list = 0; list < QXXML_LIST_COUNT; list++) r.set_count(list, qxxml_lists[list].capacity);
  std::vector<char> out(QXXML_DOC_MAX + 64, 'Z');
  EXPECT_EQ(qxxml_write_setup_document(r.setup.get(), &r.counts, out.data()), -1);
  EXPECT_EQ(last_code(0), QX_ERR_BUFFER_FULL);
  EXPECT_EQ(out[0], '\0');
  for (size_t i = QXXML_DOC_MAX; i < out.size(); i++) ASSERT_EQ(out[i], 'Z') << "written past the buffer at " << i;
}

TEST_F(WriterLimit, MissingRecordIsRefusedAsNullPointer) {
  qxxml_setup_counts counts = {};
  std::vector<char> out(QXXML_DOC_MAX);
  EXPECT_EQ(qxxml_write_setup_document(nullptr, &counts, out.data()), -1);
  EXPECT_EQ(last_code(0), QX_ERR_POINTER_NULL);
}

// A device's document, parsed, written and parsed again, gives the same
// record and counts.
class RoundTrip : public SlotRecords {
 protected:
  // Writes the record out, parses the document again and expects the same
  // texts and counts.
  void expect_write_and_parse_again(const qxxml_setup &first, qxxml_setup_counts first_counts) {
    std::vector<char> written(QXXML_DOC_MAX);
    ASSERT_EQ(qxxml_write_setup_document(&first, &first_counts, written.data()), 0);
    ASSERT_EQ(parse(written.data(), QXXML_DOC_SETUP), 0);
    EXPECT_EQ(std::memcmp(&setup_counts(), &first_counts, sizeof first_counts), 0);
    for (int row = 0; row < QXXML_SETUP_KEY_COUNT; row++) {
      const qxxml_key *key = &qxxml_setup_keys[row];
      for (int entry = 0; entry < key->entries; entry++)
        ASSERT_STREQ(qxxml_field(&setup(), key, entry), qxxml_field(&first, key, entry))
            << key->key << "[" << entry << "]";
    }
    EXPECT_EQ(std::memcmp(&setup(), &first, sizeof(qxxml_setup)), 0);
  }
};

TEST_F(RoundTrip, FullSetupDocumentSurvivesWriteAndParse) {
  ASSERT_EQ(parse(read_fixture("setup_full.xml"), QXXML_DOC_SETUP), 0);
  const qxxml_setup_counts first_counts = setup_counts();
  auto first = std::make_unique<qxxml_setup>(setup());

  const qxxml_setup_counts expected_counts = {2, 1, 3, 2, 1, 2, 1, 2, 2};
  EXPECT_EQ(std::memcmp(&first_counts, &expected_counts, sizeof expected_counts), 0);
  EXPECT_STREQ(first->Agent_XmlVer, "2.36");
  EXPECT_STREQ(first->BinaryInSet_AlarmAction, "Siren on output 1");
  EXPECT_STREQ(first->SenSet_Entry_Name[2], "Humidity");
  EXPECT_STREQ(first->SenSet_Entry_Calib[1], "-1.2");
  EXPECT_STREQ(first->GroupSet_Entry_Alarm_Subj[0], "Rack B alarm");
  EXPECT_STREQ(first->DataLogger_Report_Period, "weekly");
  EXPECT_STREQ(first->User_Entry_Pswd[1], "guestpw");
  EXPECT_STREQ(first->Info, "1");
  // Every key of the fixture carries a text, so the round trip covers them all.
  for (int row = 0; row < QXXML_SETUP_KEY_COUNT; row++)
    EXPECT_STRNE(qxxml_field(first.get(), &qxxml_setup_keys[row], 0), "") << qxxml_setup_keys[row].key;

  expect_write_and_parse_again(*first, first_counts);
}

// Including the device whose names hold "&" and "<"; a device with 42
// sensors writes a document beyond 19999 characters, which the writer
// refuses (below).
TEST_F(RoundTrip, EverySimulatedDeviceSetupSurvivesWriteAndParse) {
  for (const std::string &name : devsim::variant_names()) {
    if (name == "max-sensors") continue;
    SCOPED_TRACE(name);
    devsim::Server device;
    ASSERT_GT(device.start(*devsim::variant(name)), 0) << device.error();
    ASSERT_EQ(parse(device.setup_document(), QXXML_DOC_SETUP), 0);
    ASSERT_GT(setup_counts().SenSet_count, 0);
    auto first = std::make_unique<qxxml_setup>(setup());
    expect_write_and_parse_again(*first, setup_counts());
  }
}

TEST_F(RoundTrip, LargestSimulatedDeviceIsRefusedRatherThanCut) {
  devsim::Server device;
  ASSERT_GT(device.start(*devsim::variant("max-sensors")), 0);
  ASSERT_EQ(parse(device.setup_document(), QXXML_DOC_SETUP), 0);
  std::vector<char> written(QXXML_DOC_MAX, 'x');
  EXPECT_EQ(qxxml_write_setup_document(&setup(), &setup_counts(), written.data()), -1);
  EXPECT_EQ(last_code(0), QX_ERR_BUFFER_FULL);
  EXPECT_EQ(written[0], '\0') << "nothing half-written is left behind";
}

// A setup downloaded from a simulated device, posted back whole with
// qxxml_send_setup (writer, filter, post) and downloaded again.
class WrittenSetupPost : public ::testing::Test {
 protected:
  // Loopback exchanges end in milliseconds; the bound only stops a hang.
  static constexpr int kWaitSeconds = 10;

  void SetUp() override { ASSERT_EQ(qxxml_init(), 0); }
  void TearDown() override {
    EXPECT_EQ(qxxml_uninit(), 0);  // closes the slot
    device_.stop();
  }

  void Start(const char *variant) {
    ASSERT_GT(device_.start(qxsupport::SteadyVariant(variant)), 0) << device_.error();
    slot_ = qxxml_open("127.0.0.1", device_.port(), nullptr, nullptr);
    ASSERT_GT(slot_, 0);
    ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_STARTED, kWaitSeconds), 0);
  }
  // The device's setup as the slot parsed it, copied out.
  void Download(Record *r) {
    ASSERT_EQ(qxxml_get_setup(slot_), 0);
    ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_SETUP, kWaitSeconds), 0);
    qxxml_setup *setup = nullptr;
    qxxml_setup_counts *counts = nullptr;
    ASSERT_EQ(qxxml_get_setup_cache(slot_, &setup, &counts), 0) << last_code(slot_);
    *r->setup = *setup;
    r->counts = *counts;
  }
  void Post(const Record &r) {
    ASSERT_EQ(qxxml_send_setup(slot_, r.setup.get(), &r.counts), 0) << last_code(slot_);
    ASSERT_EQ(qxxml_wait_finish(slot_, QXXML_FINISH_POST, kWaitSeconds), 0);
    const auto post = device_.last_post();
    ASSERT_TRUE(post.has_value());
    ASSERT_EQ(post->status, 200) << post->body;
    ASSERT_EQ(last_code(slot_), QX_ERR_NONE);
  }

  devsim::Server device_;
  int slot_ = -1;
};

// The keys, as "key[entry]", whose texts differ between two downloads; the
// device's clock is left out.
std::vector<std::string> changed_fields(const Record &a, const Record &b) {
  std::vector<std::string> changed;
  for (int row = 0; row < QXXML_SETUP_KEY_COUNT; row++) {
    const qxxml_key *key = &qxxml_setup_keys[row];
    if (key->id == QXXML_SETUP_ID_Time_Date || key->id == QXXML_SETUP_ID_Time_Time) continue;
    for (int entry = 0; entry < key->entries; entry++)
      if (std::strcmp(qxxml_field(a.setup.get(), key, entry), qxxml_field(b.setup.get(), key, entry)) != 0)
        changed.push_back(std::string(key->key) + "[" + std::to_string(entry) + "]");
  }
  return changed;
}

// The device's names hold "&" and "<": posted back unchanged, they come back
// unchanged, and so does everything else.
TEST_F(WrittenSetupPost, AmpersandInNameSurvivesPostAndDownload) {
  Start("accented");
  Record before;
  Download(&before);
  ASSERT_STREQ(before.setup->SenSet_Entry_Name[1], "B\xC3\xBCro & Flur");
  ASSERT_STREQ(before.setup->BinaryInSet_Entry_Name[0], "T\xC3\xBCr <Nord>");
  Post(before);
  Record after;
  Download(&after);
  EXPECT_EQ(changed_fields(before, after), std::vector<std::string>{});
  EXPECT_EQ(device_.config().sensors[1].name, "B\xC3\xBCro & Flur");
  EXPECT_EQ(device_.config().inputs[0].name, "T\xC3\xBCr <Nord>");
}

TEST_F(WrittenSetupPost, SensorNameWithMarkupCannotChangeAnotherField) {
  const char name[] = "x</Name><Calib>9.9</Calib><Name>y";
  Start("hygrometer");
  Record before;
  Download(&before);
  Record changed;
  *changed.setup = *before.setup;
  changed.counts = before.counts;
  std::strcpy(changed.setup->SenSet_Entry_Name[0], name);
  Post(changed);
  Record after;
  Download(&after);
  EXPECT_STREQ(after.setup->SenSet_Entry_Name[0], name);
  EXPECT_EQ(changed_fields(before, after), std::vector<std::string>{"Root_SenSet_Entry_Name[0]"});
  EXPECT_EQ(device_.config().sensors[0].name, name);
}

}  // namespace
