// The generated key tables agree with the records they describe.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "qxxml/qxxml_records.h"

namespace {

struct Table {
  const char *name;
  const qxxml_key *keys;
  int count;
  size_t record_size;
  int list_count;
};

const Table kTables[] = {
    {"values", qxxml_values_keys, QXXML_VALUES_KEY_COUNT, sizeof(qxxml_values), QXXML_VALUES_LIST_COUNT},
    {"setup", qxxml_setup_keys, QXXML_SETUP_KEY_COUNT, sizeof(qxxml_setup), QXXML_LIST_COUNT},
};

class KeyTable : public ::testing::TestWithParam<Table> {};

// Fields follow each other without gaps from the timestamp to the record's
// end, so a copy of the record carries every field and no offset overlaps.
TEST_P(KeyTable, FieldsTileTheRecordInRowOrder) {
  const Table &t = GetParam();
  size_t expected = sizeof(int);
  for (int i = 0; i < t.count; ++i) {
    const qxxml_key &row = t.keys[i];
    EXPECT_EQ(row.id, i) << row.key;
    EXPECT_EQ(row.offset, expected) << row.key;
    expected += static_cast<size_t>(row.bytes) * static_cast<size_t>(row.entries);
  }
  EXPECT_EQ(expected, t.record_size);
}

TEST_P(KeyTable, KeysAreUniqueRootPathsAndEntryKeysBelongToTheirList) {
  const Table &t = GetParam();
  std::set<std::string> seen;
  for (int i = 0; i < t.count; ++i) {
    const qxxml_key &row = t.keys[i];
    std::string key = row.key;
    EXPECT_TRUE(seen.insert(key).second) << "duplicate " << key;
    EXPECT_EQ(key.rfind("Root_", 0), 0u) << key;
    const bool below_entry = key.find("_Entry_") != std::string::npos;
    if (!below_entry) {
      EXPECT_EQ(row.list, -1) << key;
      EXPECT_EQ(row.entries, 1) << key;
      continue;
    }
    ASSERT_GE(row.list, 0) << key;
    ASSERT_LT(row.list, t.list_count) << key;
    const qxxml_list_info &list = qxxml_lists[row.list];
    EXPECT_EQ(key.rfind(std::string(list.entry_path) + "_", 0), 0u) << key << " in " << list.name;
    EXPECT_EQ(row.entries, list.capacity) << key;
  }
}

TEST_P(KeyTable, FieldSizesAreTheDocumentedOnes) {
  const Table &t = GetParam();
  const std::set<int> sizes = {4, 8, 12, 16, 20, 52, 152};
  for (int i = 0; i < t.count; ++i) EXPECT_TRUE(sizes.count(t.keys[i].bytes)) << t.keys[i].key;
}

INSTANTIATE_TEST_SUITE_P(Documents, KeyTable, ::testing::ValuesIn(kTables),
                         [](const ::testing::TestParamInfo<Table> &info) { return std::string(info.param.name); });

// Rows at the edges of every block of both tables, as the devices' documents
// define them: a typo in a name, size or order shows up here.
struct Row {
  const qxxml_key *keys;
  int id;
  const char *key;
  int bytes;
  int entries;
};

const Row kRows[] = {
    {qxxml_values_keys, 0, "Root_Agent_Version", 12, 1},
    {qxxml_values_keys, 7, "Root_Agent_Contact", 152, 1},
    {qxxml_values_keys, 10, "Root_BinaryInSet_Entry_ID", 12, 64},
    {qxxml_values_keys, 21, "Root_BinaryInSet_AlarmAction", 52, 1},
    {qxxml_values_keys, 29, "Root_BinaryOutSet_Entry_Idx", 4, 64},
    {qxxml_values_keys, 33, "Root_SenSet_Entry_Value", 16, 42},
    {qxxml_values_keys, 42, "Root_SenSet_Entry_Calib", 8, 42},
    {qxxml_values_keys, 45, "Root_Time_Time", 20, 1},
    {qxxml_setup_keys, 8, "Root_Status_NtpState", 52, 1},
    {qxxml_setup_keys, 30, "Root_BinaryInSet_Entry_Dest_E", 4, 64},
    {qxxml_setup_keys, 34, "Root_BinaryInSet_AlarmAction", 52, 1},
    {qxxml_setup_keys, 51, "Root_SenSet_Entry_E", 4, 42},
    {qxxml_setup_keys, 58, "Root_SenSet_Entry_Calib", 8, 42},
    {qxxml_setup_keys, 71, "Root_TempRangeSet_Entry_Idx", 4, 42},
    {qxxml_setup_keys, 77, "Root_GroupSet_Entry_Alarm_Subj", 52, 42},
    {qxxml_setup_keys, 89, "Root_SnmpTraps_Entry_IPaddr", 20, 4},
    {qxxml_setup_keys, 96, "Root_MailDest_Entry_Idx", 4, 4},
    {qxxml_setup_keys, 123, "Root_Email_Message", 152, 1},
    {qxxml_setup_keys, 144, "Root_DataLogger_Report_Erase", 52, 1},
    {qxxml_setup_keys, 153, "Root_SnmpAccess_Entry_Idx", 4, 2},
    {qxxml_setup_keys, 158, "Root_User_Entry_Pswd", 52, 2},
    {qxxml_setup_keys, 160, "Root_Info", 4, 1},
};

TEST(KeyRows, EdgeRowsMatchTheDocuments) {
  for (const Row &r : kRows) {
    const qxxml_key &row = r.keys[r.id];
    EXPECT_STREQ(row.key, r.key) << "row " << r.id;
    EXPECT_EQ(row.bytes, r.bytes) << r.key;
    EXPECT_EQ(row.entries, r.entries) << r.key;
  }
}

// Field names, ids and offsets come from the same table entry.
TEST(KeyRows, IdsAndOffsetsNameTheFieldsOfTheirKey) {
  EXPECT_EQ(qxxml_setup_keys[QXXML_SETUP_ID_SenSet_Entry_Calib].offset, offsetof(qxxml_setup, SenSet_Entry_Calib));
  EXPECT_EQ(qxxml_values_keys[QXXML_VALUES_ID_SenSet_Entry_Calib].offset, offsetof(qxxml_values, SenSet_Entry_Calib));
  EXPECT_EQ(qxxml_setup_keys[QXXML_SETUP_ID_Info].offset, offsetof(qxxml_setup, Info));
  // The two documents share key names, not positions.
  EXPECT_NE(qxxml_setup_keys[QXXML_SETUP_ID_SenSet_Entry_Value].offset,
            qxxml_values_keys[QXXML_VALUES_ID_SenSet_Entry_Value].offset);
}

TEST(Lists, CapacitiesAndCountPositions) {
  struct Expected {
    int list;
    const char *entry_path;
    int capacity;
    size_t count_offset;
  };
  const Expected rows[] = {
      {QXXML_LIST_BinaryInSet, "Root_BinaryInSet_Entry", QXXML_BINARY_IN_MAX,
       offsetof(qxxml_values_counts, BinaryInSet_count)},
      {QXXML_LIST_BinaryOutSet, "Root_BinaryOutSet_Entry", QXXML_BINARY_OUT_MAX,
       offsetof(qxxml_values_counts, BinaryOutSet_count)},
      {QXXML_LIST_SenSet, "Root_SenSet_Entry", QXXML_SENSOR_MAX, offsetof(qxxml_values_counts, SenSet_count)},
      {QXXML_LIST_TempRangeSet, "Root_TempRangeSet_Entry", QXXML_TEMP_RANGE_MAX,
       offsetof(qxxml_setup_counts, TempRangeSet_count)},
      {QXXML_LIST_GroupSet, "Root_GroupSet_Entry", QXXML_GROUP_MAX, offsetof(qxxml_setup_counts, GroupSet_count)},
      {QXXML_LIST_SnmpTraps, "Root_SnmpTraps_Entry", QXXML_SNMP_TRAP_MAX,
       offsetof(qxxml_setup_counts, SnmpTraps_count)},
      {QXXML_LIST_MailDest, "Root_MailDest_Entry", QXXML_MAIL_DEST_MAX, offsetof(qxxml_setup_counts, MailDest_count)},
      {QXXML_LIST_SnmpAccess, "Root_SnmpAccess_Entry", QXXML_SNMP_ACCESS_MAX,
       offsetof(qxxml_setup_counts, SnmpAccess_count)},
      {QXXML_LIST_User, "Root_User_Entry", QXXML_USER_MAX, offsetof(qxxml_setup_counts, User_count)},
  };
  ASSERT_EQ(std::size(rows), static_cast<size_t>(QXXML_LIST_COUNT));
  for (const Expected &e : rows) {
    EXPECT_STREQ(qxxml_lists[e.list].entry_path, e.entry_path);
    EXPECT_EQ(qxxml_lists[e.list].capacity, e.capacity) << e.entry_path;
    EXPECT_EQ(qxxml_lists[e.list].count_offset, e.count_offset) << e.entry_path;
  }
  EXPECT_EQ(QXXML_SENSOR_MAX, 42);
  EXPECT_EQ(QXXML_BINARY_IN_MAX, 64);
  EXPECT_EQ(QXXML_USER_MAX, 2);
}

TEST(FieldAccess, SelectsTheEntryAndNeverLeavesTheArray) {
  auto setup = std::make_unique<qxxml_setup>();
  std::memset(setup.get(), 0, sizeof(qxxml_setup));
  const qxxml_key *calib = &qxxml_setup_keys[QXXML_SETUP_ID_SenSet_Entry_Calib];
  EXPECT_EQ(qxxml_field(setup.get(), calib, 3), setup->SenSet_Entry_Calib[3]);
  EXPECT_EQ(qxxml_field(setup.get(), calib, QXXML_SENSOR_MAX - 1), setup->SenSet_Entry_Calib[QXXML_SENSOR_MAX - 1]);
  EXPECT_EQ(qxxml_field(setup.get(), calib, QXXML_SENSOR_MAX), nullptr);
  EXPECT_EQ(qxxml_field(setup.get(), calib, -1), nullptr);
  // A single field ignores the entry number.
  const qxxml_key *info = &qxxml_setup_keys[QXXML_SETUP_ID_Info];
  EXPECT_EQ(qxxml_field(setup.get(), info, 7), setup->Info);
}

TEST(FieldAccess, ListCountReadsEitherCountsRecord) {
  qxxml_values_counts values = {1, 2, 3};
  qxxml_setup_counts setup = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(qxxml_list_count(&values, QXXML_LIST_SenSet), 3);
  EXPECT_EQ(qxxml_list_count(&setup, QXXML_LIST_SenSet), 3);
  EXPECT_EQ(qxxml_list_count(&setup, QXXML_LIST_User), 9);
  EXPECT_EQ(qxxml_list_count(&setup, QXXML_LIST_SnmpTraps), 6);
}

}  // namespace
