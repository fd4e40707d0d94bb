// The module list of multi-device slots: adding modules and its refusals,
// module queries, module indexes outside the list, and the slot's return
// to single-device mode on close. No device is contacted.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qxxml/qxxml_private.h"
#include "qxxml_many_support.h"

using qxtest::error_code;

namespace {

class QxxmlModuleList : public qxtest::Library {
 protected:
  void SetUp() override {
    qxtest::Library::SetUp();
    slot = qxtest::open_many_running(&events);
    ASSERT_GT(slot, 0);
  }
  // Adds modules 127.0.0.1:1000 + i until the list holds `count`.
  void fill(int count) {
    for (int i = qxxml_count_modules(slot); i < count; i++)
      ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", 1000 + i, nullptr), i);
  }
  qxtest::ManyEvents events;
  int slot = -1;
};

// One refused qxxml_add_module: what it is given and where its code lands.
struct AddRefusal {
  const char *name;
  enum { MULTI, SINGLE, INDEX_100 } target;
  std::string address;
  int port;
  int code;
  bool on_slot_0;
};

void PrintTo(const AddRefusal &row, std::ostream *os) { *os << row.name; }

class QxxmlAddModuleRefusal : public QxxmlModuleList, public ::testing::WithParamInterface<AddRefusal> {};

TEST_P(QxxmlAddModuleRefusal, RefusesWithItsCode) {
  const AddRefusal &row = GetParam();
  ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", 80, nullptr), 0);
  int target = slot;
  if (row.target == AddRefusal::SINGLE) target = qxtest::open_running("127.0.0.1", 80);
  if (row.target == AddRefusal::INDEX_100) target = QXXML_ID_COUNT_MAX;
  ASSERT_GT(target, 0);
  EXPECT_EQ(qxxml_add_module(target, row.address.c_str(), row.port, nullptr), -1);
  EXPECT_EQ(error_code(row.on_slot_0 ? 0 : target), row.code);
  EXPECT_EQ(qxxml_count_modules(slot), 1) << "a refused module is not listed";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QxxmlAddModuleRefusal,
    ::testing::Values(
        AddRefusal{"single_device_slot", AddRefusal::SINGLE, "127.0.0.2", 80, QX_ERR_ID_NOT_FOUND, false},
        AddRefusal{"slot_index_100", AddRefusal::INDEX_100, "127.0.0.2", 80, QX_ERR_ID_TOO_LARGE, true},
        AddRefusal{"same_address_and_port", AddRefusal::MULTI, "127.0.0.1", 80, QX_ERR_ADDRESS_IN_USE, false},
        AddRefusal{"address_of_100_bytes", AddRefusal::MULTI, std::string(100, 'a'), 80, QX_ERR_IP_NOT_VALID, false},
        AddRefusal{"port_zero", AddRefusal::MULTI, "127.0.0.2", 0, QX_ERR_IP_NOT_VALID, false},
        AddRefusal{"port_above_65535", AddRefusal::MULTI, "127.0.0.2", 65536, QX_ERR_IP_NOT_VALID, false}),
    [](const ::testing::TestParamInfo<AddRefusal> &info) { return std::string(info.param.name); });

TEST_F(QxxmlModuleList, AddsModulesWithTheirAddressPortAndAClearedRecord) {
  std::string longest(99, 'h');
  ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", 80, nullptr), 0);
  ASSERT_EQ(qxxml_add_module(slot, "127.0.0.1", 81, nullptr), 1) << "same address, other port";
  ASSERT_EQ(qxxml_add_module(slot, longest.c_str(), 80, nullptr), 2) << "99 characters fit";
  EXPECT_EQ(qxxml_count_modules(slot), 3);
  char address[QXXML_HOST_MAX];
  char ip[16] = "x";
  int port = 0;
  ASSERT_EQ(qxxml_get_module_many_ex(slot, 2, address, ip, &port), 0);
  EXPECT_EQ(std::string(address), longest);
  EXPECT_EQ(std::string(ip), "") << "nothing resolved before a download";
  EXPECT_EQ(port, 80);
  qx_error_record record;
  ASSERT_EQ(qxxml_error_many(slot, 1, &record), 0);
  EXPECT_EQ(record.code, QX_ERR_NONE);
  EXPECT_STREQ(record.text, "NULL");
}

TEST_F(QxxmlModuleList, ModuleFiveHundredAndOneIsRefusedAsFull) {
  fill(QXXML_MODULES_MAX);
  EXPECT_EQ(qxxml_add_module(slot, "127.0.0.2", 80, nullptr), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_MODULES_FULL);
  EXPECT_EQ(qxxml_add_module(slot, "127.0.0.1", 1000, nullptr), -1) << "a full list is not scanned";
  EXPECT_EQ(error_code(slot), QX_ERR_MODULES_FULL);
  EXPECT_EQ(qxxml_count_modules(slot), QXXML_MODULES_MAX);
}

TEST_F(QxxmlModuleList, GetModuleManyOutsideTheListIsIndexNotFound) {
  fill(2);
  char ip[16];
  int port = 0;
  for (int index : {2, -1, QXXML_MODULES_MAX}) {
    EXPECT_EQ(qxxml_get_module_many(slot, index, ip, &port), -1) << index;
    EXPECT_EQ(error_code(slot), QX_ERR_INDEX_NOT_FOUND) << index;
  }
  EXPECT_EQ(qxxml_get_module_many(slot, 1, ip, &port), 0);
  EXPECT_EQ(port, 1001);
}

TEST_F(QxxmlModuleList, ActiveModulesNeedsTheFlags) {
  fill(1);
  EXPECT_EQ(qxxml_active_modules(slot, nullptr), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_POINTER_NULL);
  int off = 0;
  EXPECT_EQ(qxxml_active_modules(slot, &off), 0);
  EXPECT_EQ(qxxml_slots[slot].modules[0]->active, 0);
}

// Every member that takes a module index, as one call with the index.
struct ModuleMember {
  const char *name;
  std::function<int(int slot, int module)> call;
};

void PrintTo(const ModuleMember &member, std::ostream *os) { *os << member.name; }

char g_text[QXXML_DOC_MAX];
char *g_pointer;
int g_number;
qxxml_values g_values;
qxxml_values_counts g_values_counts;
qxxml_setup g_setup;
qxxml_setup_counts g_setup_counts;
qxxml_values *g_values_pointer;
qxxml_values_counts *g_values_counts_pointer;
qxxml_setup *g_setup_pointer;
qxxml_setup_counts *g_setup_counts_pointer;
qx_error_record g_record;

const ModuleMember kMembers[] = {
    {"values_xml_many", [](int s, int m) { return qxxml_get_values_xml_many(s, m, &g_pointer, &g_number); }},
    {"setup_xml_many", [](int s, int m) { return qxxml_get_setup_xml_many(s, m, &g_pointer, &g_number); }},
    {"values_xml_many_copy", [](int s, int m) { return qxxml_get_values_xml_many_copy(s, m, g_text, &g_number); }},
    {"setup_xml_many_copy", [](int s, int m) { return qxxml_get_setup_xml_many_copy(s, m, g_text, &g_number); }},
    {"values_to_file_many",
     [](int s, int m) { return qxxml_get_values_to_file_many(s, m, "qxxml_module_never_written.xml"); }},
    {"setup_to_file_many",
     [](int s, int m) { return qxxml_get_setup_to_file_many(s, m, "qxxml_module_never_written.xml"); }},
    {"values_cache_many",
     [](int s, int m) { return qxxml_get_values_cache_many(s, m, &g_values_pointer, &g_values_counts_pointer); }},
    {"setup_cache_many",
     [](int s, int m) { return qxxml_get_setup_cache_many(s, m, &g_setup_pointer, &g_setup_counts_pointer); }},
    {"values_cache_many_copy",
     [](int s, int m) { return qxxml_get_values_cache_many_copy(s, m, &g_values, &g_values_counts); }},
    {"setup_cache_many_copy",
     [](int s, int m) { return qxxml_get_setup_cache_many_copy(s, m, &g_setup, &g_setup_counts); }},
    {"values_many_status", [](int s, int m) { return qxxml_get_values_many_status(s, m, &g_number); }},
    {"setup_many_status", [](int s, int m) { return qxxml_get_setup_many_status(s, m, &g_number); }},
    {"error_many", [](int s, int m) { return qxxml_error_many(s, m, &g_record); }},
};

// Where the index points: just past the list, before it, or past the whole
// table of a full list (outside the slot's storage of module pointers).
enum class Outside { count, negative, past_full_table };
const char *const kOutsideNames[] = {"index_count", "index_minus_1", "index_500_of_full_table"};
void PrintTo(Outside where, std::ostream *os) { *os << kOutsideNames[(int)where]; }

class QxxmlModuleIndex : public QxxmlModuleList,
                         public ::testing::WithParamInterface<std::tuple<ModuleMember, Outside>> {};

TEST_P(QxxmlModuleIndex, IndexOutsideTheListIsNotValidAndReadsNothing) {
  const ModuleMember &member = std::get<0>(GetParam());
  Outside where = std::get<1>(GetParam());
  fill(where == Outside::past_full_table ? QXXML_MODULES_MAX : 2);
  int index = where == Outside::negative ? -1 : qxxml_count_modules(slot);
  /* A failed module would hand its record to the slot if the index were
   * used before it is checked. */
  qxxml_set_error(slot, QX_ERR_NONE);
  EXPECT_EQ(member.call(slot, index), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_INDEX_NOT_VALID);
  qxxml_set_error(slot, QX_ERR_NONE);
  member.call(slot, 0);
  EXPECT_NE(error_code(slot), QX_ERR_INDEX_NOT_VALID) << "an index in the list passes";
}

std::string index_case_name(const ::testing::TestParamInfo<std::tuple<ModuleMember, Outside>> &info) {
  return std::string(std::get<0>(info.param).name) + "_" + kOutsideNames[(int)std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Members, QxxmlModuleIndex,
                         ::testing::Combine(::testing::ValuesIn(kMembers),
                                            ::testing::Values(Outside::count, Outside::negative,
                                                              Outside::past_full_table)),
                         index_case_name);

class QxxmlModuleMemberOnSingleSlot : public qxtest::Library, public ::testing::WithParamInterface<ModuleMember> {};

TEST_P(QxxmlModuleMemberOnSingleSlot, IsRefusedAsIdNotFound) {
  int single = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(single, 0);
  EXPECT_EQ(GetParam().call(single, 0), -1);
  EXPECT_EQ(error_code(single), QX_ERR_ID_NOT_FOUND);
  EXPECT_EQ(GetParam().call(QXXML_ID_COUNT_MAX, 0), -1);
  EXPECT_EQ(error_code(0), QX_ERR_ID_TOO_LARGE);
}

INSTANTIATE_TEST_SUITE_P(Members, QxxmlModuleMemberOnSingleSlot, ::testing::ValuesIn(kMembers),
                         [](const ::testing::TestParamInfo<ModuleMember> &info) { return info.param.name; });

TEST_F(QxxmlModuleList, ListQueriesRefuseASingleDeviceSlot) {
  int single = qxtest::open_running("127.0.0.1", 80);
  ASSERT_GT(single, 0);
  int flags[1] = {1};
  EXPECT_EQ(qxxml_count_modules(single), -1);
  EXPECT_EQ(error_code(single), QX_ERR_ID_NOT_FOUND);
  EXPECT_EQ(qxxml_active_modules(single, flags), -1);
  EXPECT_EQ(error_code(single), QX_ERR_ID_NOT_FOUND);
  EXPECT_EQ(qxxml_type_of(single), 0);
  EXPECT_EQ(qxxml_type_of(slot), 1);
  char ip[16];
  int port;
  EXPECT_EQ(qxxml_get_module(slot, ip, &port), -1) << "a multi-device slot has no address of its own";
  EXPECT_EQ(error_code(slot), QX_ERR_ID_NOT_FOUND);
}

TEST_F(QxxmlModuleList, CloseFreesTheModulesAndReturnsToSingleDeviceMode) {
  fill(3);
  ASSERT_EQ(qxxml_close(slot), 0);
  EXPECT_EQ(qxxml_slots[slot].module_count, -1);
  for (int i = 0; i < 3; i++) EXPECT_EQ(qxxml_slots[slot].modules[i], nullptr) << i;
  EXPECT_EQ(qxxml_count_modules(slot), -1);
  EXPECT_EQ(error_code(slot), QX_ERR_ID_NOT_FOUND);
  // The next open of the same index is a plain slot.
  qxxml_lib.next_slot = slot;
  int again = qxtest::open_running("127.0.0.1", 80);
  ASSERT_EQ(again, slot);
  EXPECT_EQ(qxxml_type_of(again), 0);
}

}  // namespace
